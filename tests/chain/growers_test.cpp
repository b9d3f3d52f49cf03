// The model table and the growers it hands out, on their own: what every front end relies on
// when it loops over the table, and the shape of the chains each grower leaves.
#include <absl/container/flat_hash_set.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "chain/growth.h"
#include "polychain/inputerror.h"
#include "polychain/model.h"

namespace polychain {
namespace {

// Stops a chain after a million trials, so a grower that could not finish fails the test.
class Capped final : public ChainWatch {
 public:
  std::int64_t check(std::int64_t, std::int64_t trials, std::int64_t) override {
    return trials > 1'000'000 ? 0 : trials + 1024;
  }
};

TEST(ModelTable, EachEntryIsTheModelOfItsOwnSettingsWithAUniqueKey) {
  std::set<std::string> keys;
  // An option that several models read (such as --burn-in) names a setting of one key and
  // kind in each, so that the command, the window and Python read it alike.
  std::map<std::string, std::pair<std::string_view, SettingKind>> options;
  for (std::size_t i = 0; i < kModelCount; ++i) {
    const ModelInfo& model = *modelTable()[i];
    const ModelSettings defaults = model.defaults();
    EXPECT_EQ(defaults.index(), i) << model.key;
    EXPECT_EQ(&modelOf(defaults), &model) << model.key;
    EXPECT_EQ(findModel(model.key), &model);
    EXPECT_TRUE(keys.insert(std::string(model.key)).second) << model.key;
    EXPECT_NO_THROW(model.check(defaults, 100)) << model.key;
    ASSERT_TRUE(model.headline < static_cast<int>(model.settings.size())) << model.key;
    for (const SettingInfo& setting : model.settings) {
      // Each setting reads back what was set, at both ends of what the readers accept.
      const auto [known, fresh] =
          options.try_emplace(std::string(setting.option), setting.key, setting.kind);
      if (!fresh) {
        EXPECT_EQ(known->second.first, setting.key) << setting.option;
        EXPECT_EQ(known->second.second, setting.kind) << setting.option;
      }
      if (setting.kind != SettingKind::Whole) continue;
      for (const std::int64_t value : {setting.least, setting.most}) {
        ModelSettings s = defaults;
        setting.set(s, value);
        EXPECT_EQ(setting.get(s), SettingValue(value)) << setting.key;
      }
    }
  }
  EXPECT_EQ(findModel("Meander"), nullptr);
  EXPECT_EQ(std::string(modelKeyList()), "meander, saw, short-range, pivot, melt or perm");
}

TEST(ModelTable, ChecksNameTheSettingTheyRefuse) {
  const auto message = [](const ModelSettings& s, std::int32_t steps) -> std::string {
    try {
      modelOf(s).check(s, steps);
    } catch (const InputError& e) {
      return e.what();
    }
    return "";
  };
  EXPECT_NE(message(ShortRangeSettings{0}, 10).find("Kuhn Length must not be 0"),
            std::string::npos);
  EXPECT_NE(message(ShortRangeSettings{1 << 30}, 3).find("Kuhn Length"), std::string::npos);
  EXPECT_EQ(message(ShortRangeSettings{1 << 30}, 2), "");
  EXPECT_NE(message(PivotSettings{.pivotsPerSample = 0}, 10).find("Pivots per sample"),
            std::string::npos);
  EXPECT_NE(message(PivotSettings{.walkers = 0}, 10).find("Walkers"), std::string::npos);
  EXPECT_NE(message(PivotSettings{.burnIn = -1}, 10).find("Burn-in"), std::string::npos);
  EXPECT_NE(message(PivotSettings{}, 1 << 26).find("at most"), std::string::npos);
  EXPECT_EQ(message(SawSettings{-7}, 10), "");  // any avoidance but 2 and 3 is the plain walk
}

// Every grower's chain starts at the origin and moves along one axis by its step length; the
// self-avoiding ones never hold a site twice, whatever their back-ups did.
TEST(Growers, ChainsHaveTheShapeTheirModelPromises) {
  const ModelSettings models[] = {MeanderSettings{}, SawSettings{1}, SawSettings{2},
                                  ShortRangeSettings{3}, ShortRangeSettings{-1}};
  constexpr std::int32_t kSteps = 300;
  for (const ModelSettings& settings : models) {
    const ModelInfo& model = modelOf(settings);
    const std::int64_t step = model.stepLength(settings);
    const auto grower = makeGrower(settings, kSteps);
    for (std::uint64_t seed = 1; seed <= 5; ++seed) {
      SCOPED_TRACE(std::string(model.key) + " seed " + std::to_string(seed));
      Capped watch;
      TrialCounter counter(watch, TrialCounter::kNever, 1024);
      RandomSource random(seed);
      std::vector<Point> sites;
      const ChainGrowth growth = grower->grow(random, sites, counter);
      ASSERT_FALSE(growth.stopped);
      ASSERT_FALSE(sites.empty());
      EXPECT_EQ(sites.front(), Point{});
      // The short-range walk counts the origin among its N sites and loses one per back-up.
      if (model.key == "short-range") {
        EXPECT_EQ(std::ssize(sites), kSteps - growth.backups);
      } else {
        EXPECT_EQ(std::ssize(sites), kSteps + 1);
      }
      for (std::size_t i = 1; i < sites.size(); ++i) {
        const Point& a = sites[i - 1];
        const Point& b = sites[i];
        const std::int64_t moved = std::llabs(std::int64_t{b.x} - a.x) +
                                   std::llabs(std::int64_t{b.y} - a.y) +
                                   std::llabs(std::int64_t{b.z} - a.z);
        const int axes = (a.x != b.x) + (a.y != b.y) + (a.z != b.z);
        ASSERT_TRUE(moved == step && axes == 1) << "site " << i;
      }
      if (model.countsTrials) {
        absl::flat_hash_set<std::tuple<std::int32_t, std::int32_t, std::int32_t>> seen;
        for (const Point& p : sites) EXPECT_TRUE(seen.insert({p.x, p.y, p.z}).second);
        EXPECT_GE(growth.trials, std::ssize(sites) - 1);
      }
    }
  }
  EXPECT_THROW(makeGrower(PivotSettings{}, 10), std::invalid_argument);
}

// Without a zone, a probe regrows a chain only when it is closed in for good. Probing from
// the first trial of every stall on, a grower leaves every chain that finishes without
// regrowing as it was, and regrows each chain that never finishes, which then does.
TEST(Growers, ProbesRegrowOnlyChainsClosedInForGood) {
  constexpr std::int32_t kSteps = 3000;
  int closedIn = 0;
  for (const std::int32_t avoid : {1, 0, 5}) {
    const auto grower = makeSawGrower(kSteps, avoid);
    std::vector<Point> plainSites, probedSites;
    for (std::uint64_t seed = 1; seed <= 40; ++seed) {
      SCOPED_TRACE("avoidance " + std::to_string(avoid) + " seed " + std::to_string(seed));
      Capped watch;
      TrialCounter plain(watch, TrialCounter::kNever, 1024);
      TrialCounter probing(watch, std::int64_t{1} << 62, 1024, 1);
      RandomSource a(seed), b(seed);
      const ChainGrowth once = grower->grow(a, plainSites, plain);
      const ChainGrowth probed = grower->grow(b, probedSites, probing);
      ASSERT_FALSE(probed.stopped);
      if (once.stopped) {
        ++closedIn;
        EXPECT_GT(probed.restarts, 0);
      } else {
        EXPECT_EQ(probed.restarts, 0);
        EXPECT_EQ(probed.trials, once.trials);
        EXPECT_EQ(probedSites, plainSites);
      }
    }
  }
  EXPECT_GT(closedIn, 0);
}

}  // namespace
}  // namespace polychain
