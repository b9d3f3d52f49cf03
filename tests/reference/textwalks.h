// The self-avoiding and the short-range walk grown the slow, literal way: chain texts and
// the zone text held as strings, every occupancy question a std::string::find, trimming
// done ';' by ';'. Quadratic in the trials on purpose; the fast growers must match it.
#pragma once

#include <cstdint>
#include <string>

#include "reference/textmodel.h"

namespace polychain::reference {

// What happened while growing, counted on the side without changing the walk.
struct TextWalkEvents {
  std::int64_t trials = 0;            // trials (replacement trials not included)
  std::int64_t replacements = 0;      // replacement trials after a zone refusal
  std::int64_t zoneRefusals = 0;      // trial records found in the older zone
  std::int64_t discarded = 0;         // trials that added no site
  std::int64_t backups = 0;           // back-up passes
  std::int64_t backupsToOrigin = 0;   // back-up passes that reset the chain to the origin
  std::int64_t substringMatches = 0;  // searches that found a record only inside another
  std::int64_t longestBackUp = 0;     // most passes of one back-up loop
  std::int64_t fiveTaken = 0;         // passes repeated for an end with five neighbours taken
};

// The record "x,y,z;".
std::string textRecord(std::int32_t x, std::int32_t y, std::int32_t z);

// Record trimming with `passes` passes: each pass cuts the text just before its last ';'
// or, when it holds none, empties it and stops.
std::string trimRecords(std::string text, std::int64_t passes);

// The record search, counting substring-only matches into `events` when given.
bool textFound(const std::string& text, const std::string& record, TextWalkEvents* events);

// How many of the six unit neighbours of (x, y, z) the record search finds in `text`.
int textStrTestXYZ(const std::string& text, std::int32_t x, std::int32_t y, std::int32_t z,
                   TextWalkEvents* events);

// Result texts and export text of a run of the self-avoiding or short-range walk, from the
// sums S, D, G and the last chain's text; `label` and `value` are the second header pair.
TextRun textWalkResults(const std::string& title, const std::string& label, std::int32_t value,
                        std::int32_t n, std::int32_t iterations, double s, double d, double g,
                        const std::string& lastChain);

// The most trials a text-model chain may make: past it the model throws
// std::runtime_error, so that a changed random stream fails a test instead of hanging it.
inline constexpr std::int64_t kTextTrialCap = 20'000'000;

// The self-avoiding walk with avoidance `avoid`.
TextRun textSAW(std::int32_t n, std::int32_t iterations, std::int32_t avoid, std::uint64_t seed,
                TextWalkEvents* events = nullptr);

// The short-range interaction walk with Kuhn length `kuhn` (not 0).
TextRun textShortRange(std::int32_t n, std::int32_t iterations, std::int32_t kuhn,
                       std::uint64_t seed, TextWalkEvents* events = nullptr);

}  // namespace polychain::reference
