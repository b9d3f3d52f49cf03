#include <cmath>
#include <stdexcept>
#include <string>

#include "chain/lattice.h"
#include "reference/textwalks.h"

namespace polychain::reference {

TextRun textShortRange(std::int32_t n, std::int32_t iterations, std::int32_t kuhn,
                       std::uint64_t seed, TextWalkEvents* events) {
  TextWalkEvents ignored;
  TextWalkEvents& ev = events != nullptr ? *events : ignored;
  double s = 0, d = 0, g = 0;
  std::string chain;
  for (std::int32_t it = 0; it < iterations; ++it) {
    RandomSource random = chainStream(seed, it);
    std::int64_t chainTrials = 0;
    Point p;
    std::int32_t steps = 1;
    chain = "0,0,0;";
    while (steps < n) {
      ++ev.trials;
      if (++chainTrials > kTextTrialCap) throw std::runtime_error("text model: trial cap passed");
      const Point saved = p;
      ChooseDir(random, p, kuhn);
      const std::string trial = textRecord(p.x, p.y, p.z);
      if (!textFound(chain, trial, events)) {
        chain += trial;
        steps += 1;
      } else {
        p = saved;
        ++ev.discarded;
        const std::int32_t k = kuhn;
        const std::string around[6] = {
            textRecord(p.x + k, p.y, p.z), textRecord(p.x - k, p.y, p.z),
            textRecord(p.x, p.y - k, p.z), textRecord(p.x, p.y + k, p.z),
            textRecord(p.x, p.y, p.z + k), textRecord(p.x, p.y, p.z - k)};
        int found = 0;
        for (const std::string& record : around) {
          if (textFound(chain, record, events)) ++found;
        }
        if (found == 6) {
          ++ev.backups;
          chain.erase(chain.size() - 1);      // the final ';'
          chain.erase(chain.rfind(';') + 1);  // and the record it closed
          const std::string body = chain.substr(0, chain.size() - 1);
          const std::string record = body.substr(body.rfind(';') + 1);  // the record now last
          const std::size_t c1 = record.find(',');
          const std::size_t c2 = record.find(',', c1 + 1);
          p.x = std::stoi(record.substr(0, c1));
          p.y = std::stoi(record.substr(c1 + 1, c2 - c1 - 1));
          p.z = std::stoi(record.substr(c2 + 1));
        }
      }
    }
    s += p.x + p.y + p.z;
    d += std::sqrt(double(p.x) * p.x + double(p.y) * p.y + double(p.z) * p.z);
    g += textCalcRgTotal(chain, n);
  }
  return textWalkResults("Short Range Interaction (1-10 Steps)", "Kuhn Length", kuhn, n, iterations,
                         s, d, g, chain);
}

}  // namespace polychain::reference
