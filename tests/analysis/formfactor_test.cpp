// The form and structure factors against direct sums of exp(i q x) over the sites, and the
// wave numbers they are taken at.
#include "analysis/formfactor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

#include "analysis/measureslots.h"
#include "chain/random.h"

namespace polychain {
namespace {

// |sum_j exp(i q c_j)|^2 along `axis`, straight from the definition.
double directPower(const std::vector<Point>& sites, int axis, double q) {
  std::complex<double> sum;
  for (const Point& p : sites) {
    const int c = axis == 0 ? p.x : axis == 1 ? p.y : p.z;
    sum += std::polar(1.0, q * c);
  }
  return std::norm(sum);
}

// A walk of `steps` random unit steps from `start`, revisits allowed, drawn from `seed`.
std::vector<Point> randomWalk(std::int32_t steps, Point start, std::uint64_t seed) {
  RandomSource random(seed);
  std::vector<Point> sites{start};
  for (std::int32_t i = 0; i < steps; ++i) {
    Point p = sites.back();
    const auto d = static_cast<int>(random.uniform() * 6.0f);
    (d / 2 == 0 ? p.x : d / 2 == 1 ? p.y : p.z) += d % 2 == 0 ? 1 : -1;
    sites.push_back(p);
  }
  return sites;
}

TEST(WaveNumbers, AllWholeWaveNumbersWhenFewOtherwiseALogScaleFromOneToHalfThePeriod) {
  const WaveNumbers few = waveNumbers(10);
  ASSERT_EQ(few.count, 5);
  for (std::int32_t i = 0; i < 5; ++i) EXPECT_EQ(few.m[static_cast<std::size_t>(i)], i + 1);
  for (const std::int32_t period : {64, 100, 4096, 1 << 20}) {
    const WaveNumbers w = waveNumbers(period);
    ASSERT_EQ(w.count, static_cast<std::int32_t>(kWavePoints)) << period;
    EXPECT_EQ(w.m[0], 1);
    EXPECT_EQ(w.m[kWavePoints - 1], period / 2);
    for (std::size_t i = 1; i < kWavePoints; ++i) EXPECT_LT(w.m[i - 1], w.m[i]) << period;
    EXPECT_DOUBLE_EQ(w.q(kWavePoints - 1),
                     period % 2 == 0 ? M_PI : 2 * M_PI * (period / 2) / period);
  }
  EXPECT_GE(formFactorPeriod(1000, 0.6), 32 * std::pow(1000.0, 0.6));
}

TEST(FormFactor, EqualsTheDirectSumAveragedOverTheAxesForAnyStart) {
  AxisFourier fourier(waveNumbers(formFactorPeriod(60, 0.5)));
  for (const Point start : {Point{0, 0, 0}, Point{-1000, 77, 5}}) {
    const std::vector<Point> sites = randomWalk(60, start, 11);
    const auto factor = fourier.formFactor(sites);
    const double n = static_cast<double>(sites.size());
    for (std::size_t i = 0; i < static_cast<std::size_t>(fourier.waves().count); ++i) {
      const double q = fourier.waves().q(i);
      const double direct =
          (directPower(sites, 0, q) + directPower(sites, 1, q) + directPower(sites, 2, q)) /
          (3 * n * n);
      EXPECT_NEAR(factor[i], direct, 1e-12) << "q = " << q;
    }
  }
  // One site, or all on one: 1 at every q.
  const auto single = fourier.formFactor(std::vector<Point>(4, Point{3, -2, 9}));
  for (std::size_t i = 0; i < static_cast<std::size_t>(fourier.waves().count); ++i)
    EXPECT_NEAR(single[i], 1.0, 1e-12);
}

TEST(StructureFactor, EqualsTheDirectSumOverThePeriodicAxesOfTheWrappedSites) {
  const std::int32_t side = 7;
  AxisFourier box(waveNumbers(side));
  // Two chains with sites outside the box, which count at their images inside it.
  const std::vector<Point> a = randomWalk(40, {1, 2, 3}, 5), b = randomWalk(25, {6, 0, -4}, 6);
  const std::array<bool, 3> slit{true, true, false};
  for (int round = 0; round < 2; ++round) {  // the counts start afresh after each take
    box.countInBox(a, slit);
    box.countInBox(b, slit);
    const auto factor = box.takeStructureFactor(slit);
    std::vector<Point> all = a;
    all.insert(all.end(), b.begin(), b.end());
    ASSERT_EQ(box.waves().count, 3);
    for (std::size_t i = 0; i < 3; ++i) {
      const double q = box.waves().q(i);
      const double direct =
          (directPower(all, 0, q) + directPower(all, 1, q)) / (2 * static_cast<double>(all.size()));
      EXPECT_NEAR(factor[i], direct, 1e-11) << "q = " << q;
    }
  }
}

TEST(FormFactor, DebyeFunctionAndTheRunsAverage) {
  EXPECT_DOUBLE_EQ(debyeFunction(0.0, 5.0), 1.0);
  EXPECT_NEAR(debyeFunction(1.0, 1.0), 2 * (std::exp(-1.0) - 1 + 1), 1e-15);
  EXPECT_NEAR(debyeFunction(1e-5, 1.0), 1.0 - 1e-10 / 3, 1e-15);
  // At large q^2 Rg^2 = x it goes as 2 / x.
  EXPECT_NEAR(debyeFunction(100.0, 1.0) * 1e4 / 2, 1.0, 1e-3);

  WaveSums sums;
  std::array<double, kWavePoints> one{}, two{};
  one.fill(0.25);
  two.fill(0.75);
  sums.add(one);
  sums.add(two);
  const FormFactor f = formFactorResult(waveNumbers(64), sums, 2.0, true, 16);
  ASSERT_EQ(f.P.size(), kWavePoints);
  EXPECT_DOUBLE_EQ(f.P[3], 0.5);
  EXPECT_DOUBLE_EQ(f.error[3], 0.25);  // s = sqrt(0.125), over sqrt(2)
  EXPECT_DOUBLE_EQ(f.debye[3], debyeFunction(f.q[3], 2.0));
  EXPECT_EQ(f.chains, 2);
  EXPECT_EQ(f.every, 16);
  EXPECT_TRUE(std::isnan(formFactorResult(waveNumbers(64), sums, 2.0, false, 1).error[0]));
}

TEST(MeasureSlots, RefuseANameTheModelDoesNotListAndReachNothingBeyondItsMeasures) {
  enum class Slot { Walkers, Count };
  const ModelInfo& pivot = modelInfo(PivotSettings{});
  using One = MeasureSlots<Slot, 1>;
  EXPECT_THROW(One(pivot, {"walkers"}), std::logic_error);  // the others left unfilled
  std::vector<MeasureValue> values(pivot.measures.size());
  EXPECT_THROW(measureNamed(pivot, values, "walker"), std::logic_error);
  EXPECT_EQ(&measureNamed(pivot, values, "walkers"),
            &values[static_cast<std::size_t>(pivot.findMeasure("walkers"))]);
}

}  // namespace
}  // namespace polychain
