#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

#include "chain/lattice.h"
#include "chain/numbertext.h"
#include "reference/textwalks.h"

namespace polychain::reference {

std::string textRecord(std::int32_t x, std::int32_t y, std::int32_t z) {
  return std::to_string(x) + "," + std::to_string(y) + "," + std::to_string(z) + ";";
}

std::string trimRecords(std::string text, std::int64_t passes) {
  for (std::int64_t pass = 0; pass < passes; ++pass) {
    const std::size_t last = text.rfind(';');
    if (last == std::string::npos) {
      text.clear();
      break;
    }
    text.erase(last);
  }
  return text;
}

bool textFound(const std::string& text, const std::string& record, TextWalkEvents* events) {
  const bool found = text.find(record) != std::string::npos;
  if (found && events != nullptr) {
    const bool whole =
        text.compare(0, record.size(), record) == 0 || text.find(";" + record) != std::string::npos;
    if (!whole) ++events->substringMatches;
  }
  return found;
}

int textStrTestXYZ(const std::string& text, std::int32_t x, std::int32_t y, std::int32_t z,
                   TextWalkEvents* events) {
  const std::string neighbours[6] = {textRecord(x + 1, y, z), textRecord(x - 1, y, z),
                                     textRecord(x, y - 1, z), textRecord(x, y + 1, z),
                                     textRecord(x, y, z + 1), textRecord(x, y, z - 1)};
  int count = 0;
  for (const std::string& record : neighbours) {
    if (textFound(text, record, events)) ++count;
  }
  return count;
}

TextRun textWalkResults(const std::string& title, const std::string& label, std::int32_t value,
                        std::int32_t n, std::int32_t iterations, double s, double d, double g,
                        const std::string& lastChain) {
  TextRun run;
  ResultTexts& r = run.results;
  const double mean = d / iterations;
  r.eR = formatNumber(s / (double(iterations) * n));
  r.TR = "0";
  r.Rsqred = formatNumber(mean);
  r.TRsqred = formatNumber(std::pow(double(n), 3.0 / 5.0));
  r.pers = formatNumber(mean * mean / n);
  r.Rgtxt = formatNumber(std::sqrt(g / iterations));
  std::string lines = lastChain;
  for (char& c : lines) {
    if (c == ';') c = '\n';
  }
  run.chainText = title + "\nIterations:," + std::to_string(iterations) + "," + label + ":," +
                  std::to_string(value) + ",R:," + r.eR + "\nR Theoretical:," + r.TR +
                  "\n<R^2>^(1/2):," + r.Rsqred + "\n<R^2>^(1/2) Theoretical:," + r.TRsqred +
                  "\nRadius of gyration:," + r.Rgtxt + "\nPersistence Length:," + r.pers +
                  "\nx,y,z\n" + lines;
  run.lastChain = lastChain;
  return run;
}

namespace {

// Appends the zone records of the trial site p for avoidance 2 or 3.
void appendZone(std::string& zone, std::int32_t avoid, const Point& p) {
  const std::int32_t x = p.x, y = p.y, z = p.z;
  if (avoid == 3) {
    zone += textRecord(x, y, z) + textRecord(x + 3, y, z) + textRecord(x - 3, y, z) +
            textRecord(x, y + 3, z) + textRecord(x, y - 3, z) + textRecord(x, y, z + 3) +
            textRecord(x, y, z - 3);
    for (std::int32_t j = -2; j <= 2; ++j) {
      for (std::int32_t k = -2; k <= 2; ++k) zone += textRecord(x + j, y + k, z + j);
    }
  } else if (avoid == 2) {
    zone += textRecord(x, y, z) + textRecord(x + 2, y, z) + textRecord(x - 2, y, z) +
            textRecord(x, y + 2, z) + textRecord(x, y - 2, z) + textRecord(x, y, z + 2) +
            textRecord(x, y, z - 2);
    for (std::int32_t k = -1; k <= 1; ++k) zone += textRecord(x + 1, y + k, z + 1);
  }
}

}  // namespace

TextRun textSAW(std::int32_t n, std::int32_t iterations, std::int32_t avoid, std::uint64_t seed,
                TextWalkEvents* events) {
  TextWalkEvents ignored;
  TextWalkEvents& ev = events != nullptr ? *events : ignored;
  TextWalkEvents* counted = events;
  double s = 0, d = 0, g = 0;
  std::string chain;
  for (std::int32_t it = 0; it < iterations; ++it) {
    RandomSource random = chainStream(seed, it);
    std::int64_t chainTrials = 0;
    Point p;                 // x, y, z
    std::int32_t steps = 0;  // n
    chain = "0,0,0;";
    std::string zone;
    std::int64_t c = 0;  // no value: counts as 0
    while (steps < n) {
      ++ev.trials;
      if (++chainTrials > kTextTrialCap) throw std::runtime_error("text model: trial cap passed");
      const Point saved = p;
      ChooseDir(random, p, 1);
      if (avoid == 3) c = 32;
      if (avoid == 2) c = 11;
      appendZone(zone, avoid, p);
      std::string trial = textRecord(p.x, p.y, p.z);
      bool backUp = false;
      if (avoid > 1) {
        const std::string older = trimRecords(zone, avoid * c);
        while (textFound(older, trial, counted)) {
          ++ev.zoneRefusals;
          p = saved;
          if (textStrTestXYZ(older, p.x, p.y, p.z, counted) > 4) {
            backUp = true;
            break;
          }
          ChooseDir(random, p, 1);
          ++ev.replacements;
          if (textStrTestXYZ(older, p.x, p.y, p.z, counted) > 4) {
            backUp = true;
            break;
          }
          trial = textRecord(p.x, p.y, p.z);
        }
      }
      bool accepted = false;
      if (!backUp) {
        if (!textFound(chain, trial, counted)) {
          chain += trial;
          ++steps;
          accepted = true;
        } else {
          p = saved;
          const std::string around[6] = {
              textRecord(p.x + 1, p.y, p.z), textRecord(p.x - 1, p.y, p.z),
              textRecord(p.x, p.y - 1, p.z), textRecord(p.x, p.y + 1, p.z),
              textRecord(p.x, p.y, p.z + 1), textRecord(p.x, p.y, p.z - 1)};
          int found = 0;
          for (const std::string& record : around) {
            if (textFound(chain, record, counted)) ++found;
          }
          if (found == 6) backUp = true;
        }
      }
      if (!accepted) ++ev.discarded;
      std::int64_t passes = 0;
      while (backUp) {
        ++ev.backups;
        ev.longestBackUp = std::max(ev.longestBackUp, ++passes);
        steps -= 1;
        if (steps <= 0) {
          ++ev.backupsToOrigin;
          steps = 0;
          chain = "0,0,0;";
          p = Point{};
        } else {
          chain.erase(chain.size() - 1);      // the final ';'
          chain.erase(chain.rfind(';') + 1);  // and the record it closed
          const std::string body = chain.substr(0, chain.size() - 1);
          const std::string record = body.substr(body.rfind(';') + 1);  // the record now last
          const std::size_t c1 = record.find(',');
          const std::size_t c2 = record.find(',', c1 + 1);
          // Read back as 32-bit integers, so long chains keep their coordinates.
          p.x = std::stoi(record.substr(0, c1));
          p.y = std::stoi(record.substr(c1 + 1, c2 - c1 - 1));
          p.z = std::stoi(record.substr(c2 + 1));
        }
        if (avoid > 1) {
          zone = trimRecords(zone, c) + ";";
          const std::string older = trimRecords(zone, avoid * c);
          if (textStrTestXYZ(older, p.x, p.y, p.z, counted) > 4) continue;
        }
        if (textStrTestXYZ(chain, p.x, p.y, p.z, counted) == 5) {
          ++ev.fiveTaken;
          continue;
        }
        backUp = false;
      }
    }
    s += p.x + p.y + p.z;
    d += std::sqrt(double(p.x) * p.x + double(p.y) * p.y + double(p.z) * p.z);
    g += textCalcRgTotal(chain, n);
  }
  return textWalkResults("Self Avoidance Walk", "Avoidance", avoid, n, iterations, s, d, g, chain);
}

}  // namespace polychain::reference
