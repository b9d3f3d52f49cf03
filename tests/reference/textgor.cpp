#include "reference/textgor.h"

#include <cmath>
#include <string>

#include "analysis/fourier.h"
#include "chain/numbertext.h"

namespace polychain::reference {

std::vector<double> textDistances(const std::string& chainText) {
  std::vector<double> d;
  std::string rest = chainText;
  while (!rest.empty()) {
    const std::size_t cut = rest.find(';');
    std::string record = rest.substr(0, cut);
    rest.erase(0, cut + 1);
    const std::size_t c1 = record.find(',');
    const int x = std::stoi(record.substr(0, c1));
    record.erase(0, c1 + 1);
    const std::size_t c2 = record.find(',');
    const int y = std::stoi(record.substr(0, c2));
    record.erase(0, c2 + 1);
    const int z = std::stoi(record);
    d.push_back(std::sqrt(double(x) * x + double(y) * y + double(z) * z));
  }
  return d;
}

TextCorrelation textGorFromDistances(const std::vector<double>& d) {
  TextCorrelation out;
  std::vector<double>& h = out.histogram;
  double total = 0;
  std::int32_t top = 0;
  for (std::size_t j = 0; j < d.size(); ++j) {
    for (std::size_t k = 0; k < d.size(); ++k) {
      const double b = std::nearbyint(d[j] - d[k]);
      if (b >= 0) {
        const auto bin = std::size_t(b);
        if (bin >= h.size()) h.resize(bin + 1, 0.0);
        h[bin] = h[bin] + 1;
        total = total + 1;
        if (top < b) top = std::int32_t(b);
      }
    }
  }
  if (h.empty()) h.push_back(0.0);
  out.total = total;
  out.top = top;

  std::size_t length = 512;
  if (top <= 7) {
    length = 8;
  } else if (top <= 15) {
    length = 16;
  } else if (top <= 31) {
    length = 32;
  } else if (top <= 63) {
    length = 64;
  } else if (top <= 127) {
    length = 128;
  } else if (top <= 255) {
    length = 256;
  }

  std::vector<double> g(513, 0.0);
  for (std::size_t b = 0; b <= length && b < h.size(); ++b) g[b] = h[b];
  if (total > 0) {
    const double g0 = g[0] * (1 / total);
    for (std::size_t b = 0; b <= length; ++b) g[b] = (1 / (total * g0)) * g[b];
  }

  std::vector<double> realIn(513, 0.0), imagIn(513, 0.0), realOut(513, 0.0), imagOut(513, 0.0);
  for (std::size_t b = 0; b <= length; ++b) {
    realIn[b] = g[b];
    imagIn[b] = 0;
  }
  Fourier(std::int32_t(length), realIn, imagIn, realOut, imagOut, false);

  for (std::size_t b = 0; b < length; ++b) {
    out.gofr += std::to_string(b) + "," + formatNumber(g[b]) + "\n";
  }
  for (std::size_t k = 0; k <= length / 2; ++k) {
    out.gofq += std::to_string(k) + "," +
                formatNumber(imagOut[k] * imagOut[k] + realOut[k] * realOut[k]) + "\n";
  }
  return out;
}

TextCorrelation textGorCalc(const std::string& chainText) {
  return textGorFromDistances(textDistances(chainText));
}

}  // namespace polychain::reference
