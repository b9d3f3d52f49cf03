// The naive g(r) and g(q): the chain text parsed record by record and every ordered pair of
// sites visited one by one with double counters; the texts written line by line.
// Quadratic in the number of sites; the fast pair count must give the same texts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace polychain::reference {

struct TextCorrelation {
  std::string gofr;
  std::string gofq;
  std::vector<double> histogram;  // h(b) before normalisation, bins 0 to top
  double total = 0;
  std::int32_t top = 0;
};

// The distances from the origin of every record of a chain text, in order.
std::vector<double> textDistances(const std::string& chainText);

// The plain double loop over every ordered pair of `distances`, then the texts.
TextCorrelation textGorFromDistances(const std::vector<double>& distances);

// g(r) and g(q) of a chain text, every record entering.
TextCorrelation textGorCalc(const std::string& chainText);

}  // namespace polychain::reference
