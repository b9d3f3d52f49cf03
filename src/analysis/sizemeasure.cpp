#include "analysis/sizemeasure.h"

#include "chain/chaintext.h"

namespace polychain {

double CalcRgTotal(std::string_view chainText, std::int32_t m, Point* last) {
  const std::vector<Point> sites = parseChainText(chainText);
  if (last != nullptr && !sites.empty()) *last = sites.back();
  return CalcRgTotal(std::span<const Point>(sites), m);
}

double CalcRgTotal(std::span<const Point> sites, std::int32_t m) {
  const double reciprocal = 1.0 / static_cast<double>(m);
  double sum = 0.0;
  for (const Point& p : sites) sum += distanceFromOrigin(p);
  const double mean = sum * reciprocal;
  double squares = 0.0;
  for (const Point& p : sites) {
    const double deviation = distanceFromOrigin(p) - mean;
    squares += deviation * deviation;
  }
  return squares * reciprocal;
}

}  // namespace polychain
