// What every format of placed chains shares: the extent of an ensemble, the bond lengths the
// formats take, and the writing of an ensemble's files as one set.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "chain/numbertext.h"
#include "files/ensemblecoords.h"
#include "polychain/ensemble.h"

namespace polychain {

namespace {

// `value` (positive and finite) with three significant digits, rounded up or down so that
// the text is on the same side of it.
std::string roundedText(double value, bool up) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2e", value);  // "d.dde-XX"
  const char* e = std::strchr(text, 'e');
  long digits = std::lround(
      std::strtod(std::string(text, static_cast<std::size_t>(e - text)).c_str(), nullptr) * 100);
  long power = std::strtol(e + 1, nullptr, 10);
  const double read = std::strtod(text, nullptr);
  if (up && read < value) ++digits;
  if (!up && read > value) --digits;
  if (digits > 999) digits = 100, ++power;
  if (digits < 100) digits = 999, --power;
  std::snprintf(text, sizeof text, "%ld.%02lde%ld", digits / 100, digits % 100, power);
  return formatNumber(std::strtod(text, nullptr));
}

std::string formatNames(std::span<const FormatInfo* const> formats) {
  std::string names;
  for (std::size_t i = 0; i < formats.size(); ++i) {
    names += (i == 0                    ? ""
              : i + 1 == formats.size() ? " and "
                                        : ", ") +
             std::string(formats[i]->name);
  }
  return names;
}

}  // namespace

double EnsembleExtent::widest(std::int64_t box) const {
  return std::max({std::abs(lowest), std::abs(highest), static_cast<double>(box)});
}

std::optional<EnsembleExtent> measureExtent(const Ensemble& e,
                                            const std::function<bool()>& keepGoing) {
  EnsembleExtent extent;
  bool first = true;
  constexpr std::int64_t kPollEvery = std::int64_t{1} << 20;
  std::int64_t countdown = kPollEvery;
  const bool whole = ensembletext::forEachSite(e, [&](std::int64_t i, std::int64_t c) {
    const Point& w = e.sites[static_cast<std::size_t>(i)];
    const Point& image = e.images[static_cast<std::size_t>(i)];
    for (const auto& [v, n] :
         {std::pair{w.x, image.x}, std::pair{w.y, image.y}, std::pair{w.z, image.z}}) {
      const double at = ensembletext::unwrapped(v, n, e.box, 1.0);
      if (first || at < extent.lowest) extent.lowest = at, extent.lowestChain = c;
      if (first || at > extent.highest) extent.highest = at, extent.highestChain = c;
      first = false;
    }
    if (--countdown > 0) return true;
    countdown = kPollEvery;
    return !keepGoing || keepGoing();
  });
  if (!whole) return std::nullopt;
  return extent;
}

void checkBondLength(double bondLength, std::span<const FormatInfo* const> formats,
                     std::int64_t box, double widest, std::string_view field) {
  double least = 0.0;
  double most = std::numeric_limits<double>::infinity();
  for (const FormatInfo* format : formats) {
    const auto [low, high] = format->writeEnsemble->bondLengths(box, widest);
    least = std::max(least, low);
    most = std::min(most, high);
  }
  if (bondLength >= least && bondLength <= most) return;
  const std::string where = " for these chains in " + formatNames(formats) +
                            " (beyond it the box side or a coordinate is not a finite number "
                            "in the file, or neighbouring sites are written alike); " +
                            formatNumber(bondLength) + " is not.";
  if (least > most) throw InputError(std::string(field) + ": no bond length works" + where);
  throw InputError(std::string(field) + " must be from " + roundedText(least, true) + " to " +
                   roundedText(most, false) + where);
}

FileSetResult writeEnsembleFiles(const std::string& name, const Ensemble& ensemble,
                                 std::span<const FormatInfo* const> formats,
                                 const FileSetSteps& steps) {
  FileSetResult result;
  const auto goOn = [&steps] { return !steps.keepGoing || steps.keepGoing(0.0); };
  const std::optional<EnsembleExtent> extent = measureExtent(ensemble, goOn);
  if (!extent) {
    result.cancelled = true;
    return result;
  }
  std::vector<FileJob> jobs;
  for (const FormatInfo* format : formats) {
    const std::string path = name + std::string(format->extension);
    try {
      format->writeEnsemble->check(ensemble, *extent);
    } catch (const InputError& e) {
      result.refused = true;
      result.failed.emplace_back(path, e.what());
      return result;
    }
    jobs.push_back({path, [format, &ensemble](ByteSink& sink) {
                      return format->writeEnsemble->write(sink, ensemble);
                    }});
  }
  return writeFileSet(jobs, steps, FileSetPolicy::AllOrNone);
}

namespace ensembletext {

void checkCommon(const FormatInfo& format, const Ensemble& e, const EnsembleExtent& extent) {
  checkFits(format, e.siteCount());
  const FormatInfo* const one[] = {&format};
  checkBondLength(e.bondLength, one, e.box, extent.widest(e.box), "The bond length");
}

std::pair<double, double> floatingBondLengths(double least, double most, std::int64_t box,
                                              double widest) {
  // A hair below most / reach, so that no rounding of a product passes `most`.
  const double reach = std::max({static_cast<double>(box), widest, 1.0});
  return {2 * least, most / reach * (1 - 4 * std::numeric_limits<double>::epsilon())};
}

}  // namespace ensembletext

}  // namespace polychain
