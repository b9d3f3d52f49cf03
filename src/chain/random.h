// The run's random source: xoshiro256** 1.0 seeded through SplitMix64, one stream per chain.
// The same seed gives the same draws on every platform and compiler; chain i's stream does
// not depend on which thread grows it.
#pragma once

#include <array>
#include <cstdint>

namespace polychain {

// SplitMix64 step: advances `state` and returns the next output.
std::uint64_t splitMix64(std::uint64_t& state);

class RandomSource {
 public:
  using State = std::array<std::uint64_t, 4>;

  // Seeded with four successive SplitMix64 outputs started at `seed`.
  explicit RandomSource(std::uint64_t seed);
  static RandomSource fromState(const State& state);

  std::uint64_t next() {
    const std::uint64_t result = rotl(m_s[1] * 5, 7) * 9;
    const std::uint64_t t = m_s[1] << 17;
    m_s[2] ^= m_s[0];
    m_s[3] ^= m_s[1];
    m_s[1] ^= m_s[2];
    m_s[0] ^= m_s[3];
    m_s[2] ^= t;
    m_s[3] = rotl(m_s[3], 45);
    return result;
  }

  // Uniform single-precision draw in [0, 1): the top 24 bits of next() times 2^-24.
  float uniform() { return static_cast<float>(next() >> 40) * 0x1.0p-24f; }

  // Advances the state by 2^128 draws (the generator's standard jump), in 32 table look-ups.
  void jump();
  // Advances the state by 64 jumps, as fast as one.
  void jump64();
  // Advances the state by `jumps` jumps, 64 at a time where it can.
  void jumpBy(std::int64_t jumps);

  const State& state() const { return m_s; }

 private:
  RandomSource() = default;
  static std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
  State m_s{};
};

}  // namespace polychain
