#include <cmath>
#include <string>

#include "chain/lattice.h"
#include "chain/numbertext.h"
#include "reference/textmodel.h"

namespace polychain::reference {

std::string chainTextOf(std::span<const Point> sites) {
  std::string text;
  for (const Point& p : sites) {
    text += std::to_string(p.x) + "," + std::to_string(p.y) + "," + std::to_string(p.z) + ";";
  }
  return text;
}

double textCalcRgTotal(const std::string& chainText, std::int32_t m) {
  const double reciprocal = 1.0 / m;
  auto pass = [&](double mean, bool squares) {
    std::string rest = chainText;
    double sum = 0.0;
    while (!rest.empty()) {
      const std::size_t cut = rest.find(';');
      std::string record = rest.substr(0, cut);
      rest.erase(0, cut + 1);
      const std::size_t c1 = record.find(',');
      const std::size_t c2 = record.find(',', c1 + 1);
      const double x = std::stoi(record.substr(0, c1));
      const double y = std::stoi(record.substr(c1 + 1, c2 - c1 - 1));
      const double z = std::stoi(record.substr(c2 + 1));
      const double d = std::sqrt(x * x + y * y + z * z);
      sum += squares ? (d - mean) * (d - mean) : d;
    }
    return sum;
  };
  const double mean = pass(0.0, false) * reciprocal;
  return pass(mean, true) * reciprocal;
}

RandomSource chainStream(std::uint64_t seed, std::int64_t chain) {
  RandomSource random(seed);
  for (std::int64_t i = 0; i < chain; ++i) random.jump();
  return random;
}

TextRun textMeander(std::int32_t n, std::int32_t iterations, std::uint64_t seed) {
  double s = 0, d = 0, g = 0;
  std::string text;
  for (std::int32_t it = 0; it < iterations; ++it) {
    RandomSource random = chainStream(seed, it);
    Point p;
    text = "0,0,0;";
    for (std::int32_t step = 0; step < n; ++step) {
      ChooseDir(random, p, 1);
      text += std::to_string(p.x) + "," + std::to_string(p.y) + "," + std::to_string(p.z) + ";";
    }
    s += p.x + p.y + p.z;
    d += std::sqrt(double(p.x) * p.x + double(p.y) * p.y + double(p.z) * p.z);
    g += textCalcRgTotal(text, n);
  }
  TextRun run;
  ResultTexts& r = run.results;
  r.eR = formatNumber(s / (double(iterations) * n));
  r.TR = "0";
  r.Rsqred = formatNumber(d / iterations);
  r.TRsqred = formatNumber(std::pow(double(n), 0.5));
  r.pers = formatNumber((d / iterations) / std::pow(double(n), 0.5));
  r.Rgtxt = formatNumber(std::sqrt(g / iterations));
  std::string lines = text;
  for (char& c : lines)
    if (c == ';') c = '\n';
  run.chainText = "Meander\nIterations:," + std::to_string(iterations) + ",R:," + r.eR +
                  "\nR Theoretical:," + r.TR + "\n<R^2>^(1/2):," + r.Rsqred +
                  "\n<R^2>^(1/2) Theoretical:," + r.TRsqred + "\nRadius of gyration:," + r.Rgtxt +
                  "\nPersistence Length:," + r.pers + "\nx,y,z\n" + lines;
  run.lastChain = text;
  return run;
}

}  // namespace polychain::reference
