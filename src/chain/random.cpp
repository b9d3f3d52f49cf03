#include "chain/random.h"

#include <array>
#include <chrono>

namespace polychain {

std::uint64_t splitMix64(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

RandomSource::RandomSource(std::uint64_t seed) {
  for (auto& word : m_s) word = splitMix64(seed);
}

RandomSource RandomSource::fromState(const State& state) {
  RandomSource source;
  source.m_s = state;
  return source;
}

namespace {

// The generator's standard jump polynomial, applied bit by bit: 256 draws.
RandomSource::State jumpedByPolynomial(const RandomSource::State& state) {
  static constexpr std::uint64_t kJump[] = {0x180ec6d33cfd0abaULL, 0xd5a61266f0c9392cULL,
                                            0xa9582618e03fc9aaULL, 0x39abdc4529b1661cULL};
  RandomSource walker = RandomSource::fromState(state);
  RandomSource::State s{};
  for (const std::uint64_t word : kJump) {
    for (int b = 0; b < 64; ++b) {
      if (word & (std::uint64_t{1} << b)) {
        for (std::size_t i = 0; i < 4; ++i) s[i] ^= walker.state()[i];
      }
      walker.next();
    }
  }
  return s;
}

// A jump is linear over GF(2) in the 256 state bits, so it is the XOR of the images of the
// state's 32 bytes: one table row of 256 images per byte (256 KiB), built once from the
// image of each single bit.
class JumpTable {
 public:
  template <class Jump>
  explicit JumpTable(Jump jump) {
    std::array<RandomSource::State, 256> ofBit{};
    for (std::size_t bit = 0; bit < 256; ++bit) {
      RandomSource::State unit{};
      unit[bit / 64] = std::uint64_t{1} << (bit % 64);
      ofBit[bit] = jump(unit);
    }
    for (std::size_t byte = 0; byte < 32; ++byte) {
      for (std::size_t value = 0; value < 256; ++value) {
        RandomSource::State image{};
        for (std::size_t b = 0; b < 8; ++b) {
          if ((value >> b) & 1U) {
            for (std::size_t i = 0; i < 4; ++i) image[i] ^= ofBit[byte * 8 + b][i];
          }
        }
        m_rows[byte][value] = image;
      }
    }
  }

  RandomSource::State apply(const RandomSource::State& state) const {
    RandomSource::State s{};
    for (std::size_t byte = 0; byte < 32; ++byte) {
      const auto value = static_cast<std::size_t>((state[byte / 8] >> (8 * (byte % 8))) & 0xffU);
      const RandomSource::State& image = m_rows[byte][value];
      for (std::size_t i = 0; i < 4; ++i) s[i] ^= image[i];
    }
    return s;
  }

 private:
  std::array<std::array<RandomSource::State, 256>, 32> m_rows{};
};

}  // namespace

void RandomSource::jump() {
  static const JumpTable table(jumpedByPolynomial);  // built on first use
  m_s = table.apply(m_s);
}

void RandomSource::jump64() {
  static const JumpTable table([](const State& unit) {
    RandomSource source = fromState(unit);
    for (int i = 0; i < 64; ++i) source.jump();
    return source.state();
  });
  m_s = table.apply(m_s);
}

void RandomSource::jumpBy(std::int64_t jumps) {
  for (; jumps >= 64; jumps -= 64) jump64();
  for (; jumps > 0; --jumps) jump();
}

}  // namespace polychain
