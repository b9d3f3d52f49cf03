// The common statistics flow from their one table into every writer: each statistic, given a
// value of its own, shows that value under its own name in the texts, the sweep's table and
// CSV, and the JSON, for every model; and the six results likewise.
#include "polychain/commonstats.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <set>
#include <string>

#include "chain/numbertext.h"
#include "polychain/json.h"
#include "polychain/texts.h"

namespace polychain {
namespace {

// Stats whose every statistic has a value and error no other has (and that no text of the
// others contains).
ExtendedStats distinctStats() {
  ExtendedStats stats;
  stats.chains = 7;
  double value = 11.0;
  for (const CommonStatistic& s : commonStatistics()) {
    stats.*s.value = {value, value / 1000.0};
    value += 11.0;
  }
  return stats;
}

TEST(CommonStatistics, EachShowsItsOwnValueEverywhereForEveryModel) {
  const ExtendedStats stats = distinctStats();
  std::set<std::string> names;
  for (const CommonStatistic& s : commonStatistics()) {
    EXPECT_TRUE(names.insert(std::string(s.measure.name)).second) << s.measure.name;
  }
  for (const ModelInfo* model : modelTable()) {
    SCOPED_TRACE(model->key);
    RunParams params;
    params.model = model->defaults();
    params.steps = 10;
    params.iterations = 7;
    RunResult run;
    run.extended = stats;
    const nlohmann::json json = runJsonObject(params, run);
    const std::string text = extendedStatsText(*model, stats, {});

    SweepParams sweepParams;
    sweepParams.run = params;
    sweepParams.steps = {10};
    SweepResult sweep;
    sweep.points.push_back({.steps = 10, .seed = 1, .stats = stats});
    const std::string table = sweepReport(sweepParams, sweep);
    const std::string csv = sweepCsv(sweep, *model);
    const std::string heading = csv.substr(0, csv.find('\n'));
    const std::string row = csv.substr(csv.find('\n') + 1);

    std::set<double> written;
    for (const CommonStatistic& s : commonStatistics()) {
      SCOPED_TRACE(s.measure.name);
      const Estimate& e = stats.*s.value;
      const nlohmann::json& inJson = json["extended"][std::string(s.shown.json)];
      EXPECT_EQ(inJson["value"], e.value);
      EXPECT_EQ(inJson["se"], e.standardError);
      // A value of its own: no two statistics read the same member.
      EXPECT_TRUE(written.insert(inJson["value"].get<double>()).second);
      const std::string shown = estimateText(e);
      if (!s.shown.caption.empty()) {
        EXPECT_NE(text.find("  " + std::string(s.shown.caption) + " "), std::string::npos);
        EXPECT_NE(text.find(shown), std::string::npos);
      }
      if (!s.shown.column.empty()) {
        EXPECT_NE(table.find(std::string(s.shown.column)), std::string::npos);
        EXPECT_NE(table.find(shown), std::string::npos);
      }
      // The CSV's value and error are beside each other, in the column its heading names.
      const std::string name(s.measure.name);
      std::size_t column = 0;
      std::size_t at = 0;
      std::string cell;
      for (std::size_t i = 0; i <= heading.size(); ++i) {
        if (i == heading.size() || heading[i] == ',') {
          if (cell == name) break;
          cell.clear();
          ++column;
        } else {
          cell += heading[i];
        }
      }
      ASSERT_EQ(cell, name);
      EXPECT_NE(heading.find("," + name + "," + name + "_se"), std::string::npos);
      for (std::size_t c = 0; c < column; ++c) at = row.find(',', at) + 1;
      EXPECT_EQ(row.substr(at, row.find(',', at) - at), formatNumber(e.value));
    }
  }
}

TEST(CommonStatistics, TheSixResultsAreWrittenUnderTheirNames) {
  ResultValues values;
  double value = 1.5;
  for (const CommonResult& r : commonResults()) {
    values.*r.value = {value, value / 10.0};
    value += 1.0;
  }
  const ResultTexts texts = resultTexts(values);
  RunParams params;
  RunResult run;
  run.values = values;
  const nlohmann::json json = runJsonObject(params, run);
  for (const CommonResult& r : commonResults()) {
    const std::string& text = texts.*r.text;
    EXPECT_EQ(text, formatNumber((values.*r.value).value));
    EXPECT_EQ(json["results"][std::string(r.shown.json)], text);
  }
}

}  // namespace
}  // namespace polychain
