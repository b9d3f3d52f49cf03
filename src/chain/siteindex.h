// Constant-time answers to the record search on chain texts held as stacks of records.
// The record "X,Y,Z;" occurs in a text of whole records exactly when some record a,Y,Z;
// has the decimal text of X as a suffix of the decimal text of a; every record is filed
// under each such X (one to four keys for coordinates below 1000 in size, at most 11).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "chain/lattice.h"

namespace polychain {

namespace detail {

inline constexpr std::array<std::uint64_t, 11> kPowersOfTen = {
    1ULL,         10ULL,         100ULL,         1000ULL,         10000ULL,        100000ULL,
    1000000ULL,   10000000ULL,   100000000ULL,   1000000000ULL,   10000000000ULL};

// Suffixes of the digits of m with D or more digits, each with no leading zero.
template <int D, class Emit>
inline void emitLongerSuffixes(std::uint64_t m, Emit& emit) {
  if constexpr (D <= 10) {
    if (m < kPowersOfTen[D - 1]) return;
    const std::uint64_t s = m % kPowersOfTen[D];
    if (s >= kPowersOfTen[D - 1] && s <= 0x7fffffffULL) emit(static_cast<std::int32_t>(s));
    emitLongerSuffixes<D + 1>(m, emit);
  }
}

}  // namespace detail

// Calls emit(X) once for every 32-bit X whose decimal text ends the decimal text of a:
// a itself, and for each k the last k digits of |a| when they have no leading zero.
template <class Emit>
inline void forEachSuffixKey(std::int32_t a, Emit&& emit) {
  std::uint64_t m = static_cast<std::uint64_t>(a < 0 ? -std::int64_t{a} : std::int64_t{a});
  if (a < 0) emit(a);
  if (m < 10) {
    emit(static_cast<std::int32_t>(m));
    return;
  }
  emit(static_cast<std::int32_t>(m % 10));
  detail::emitLongerSuffixes<2>(m, emit);
}

namespace detail {

inline std::uint64_t mix64(std::uint64_t v) {
  v ^= v >> 33;
  v *= 0xff51afd7ed558ccdULL;
  v ^= v >> 33;
  v *= 0xc4ceb9fe1a85ec53ULL;
  return v ^ (v >> 33);
}

// Three coordinates of at most 21 bits each (-2^20 to 2^20 - 1), packed into 64 bits.
struct PackedKey {
  std::uint64_t bits = 0;
  static constexpr std::int32_t kLimit = 1 << 20;
  static bool fits(std::int32_t x, std::int32_t y, std::int32_t z) {
    return static_cast<std::uint32_t>(x + kLimit) < 2u * kLimit &&
           static_cast<std::uint32_t>(y + kLimit) < 2u * kLimit &&
           static_cast<std::uint32_t>(z + kLimit) < 2u * kLimit;
  }
  static PackedKey of(std::int32_t x, std::int32_t y, std::int32_t z) {
    return {(std::uint64_t{static_cast<std::uint32_t>(x + kLimit)} << 42) |
            (std::uint64_t{static_cast<std::uint32_t>(y + kLimit)} << 21) |
            static_cast<std::uint32_t>(z + kLimit)};
  }
  std::uint64_t hash() const { return mix64(bits); }
  friend bool operator==(const PackedKey&, const PackedKey&) = default;
};

// Any three 32-bit coordinates.
struct WideKey {
  std::int32_t x = 0, y = 0, z = 0;
  static WideKey of(std::int32_t x, std::int32_t y, std::int32_t z) { return {x, y, z}; }
  std::uint64_t hash() const {
    const std::uint64_t v = (std::uint64_t{static_cast<std::uint32_t>(x)} << 32) |
                            static_cast<std::uint32_t>(y);
    return mix64(v ^ std::uint64_t{static_cast<std::uint32_t>(z)} * 0x9e3779b97f4a7c15ULL);
  }
  friend bool operator==(const WideKey&, const WideKey&) = default;
};

// Open-addressing table (linear probing, load at most 0.7) from a key to a positive
// count. A key whose count falls to 0 is removed (backward shift, no tombstones); clear()
// costs O(1) through an epoch stamp on every slot.
template <class Key>
class KeyCounts {
 public:
  KeyCounts() { allocate(kInitialBits); }

  std::int32_t count(const Key& key) const {
    for (std::uint64_t i = key.hash() & m_mask;; i = (i + 1) & m_mask) {
      const Slot& s = m_slots[i];
      if (!live(s)) return 0;
      if (s.key == key) return s.count;
    }
  }

  void increment(const Key& key, std::int32_t by = 1) {
    for (std::uint64_t i = key.hash() & m_mask;; i = (i + 1) & m_mask) {
      Slot& s = m_slots[i];
      if (!live(s)) {
        if (10 * (m_size + 1) > 7 * m_slots.size()) {
          grow();
          increment(key, by);
          return;
        }
        s = Slot{key, by, m_epoch};
        ++m_size;
        return;
      }
      if (s.key == key) {
        s.count += by;
        return;
      }
    }
  }

  // The key must be present.
  void decrement(const Key& key) {
    std::uint64_t i = key.hash() & m_mask;
    while (!(live(m_slots[i]) && m_slots[i].key == key)) i = (i + 1) & m_mask;
    if (--m_slots[i].count == 0) erase(i);
  }

  void clear() {
    m_size = 0;
    if (++m_epoch == 0) {
      for (Slot& s : m_slots) s.epoch = 0;
      m_epoch = 1;
    }
  }

  // Calls f(key, count) for every key.
  template <class F>
  void forEach(F&& f) const {
    for (const Slot& s : m_slots) {
      if (live(s)) f(s.key, s.count);
    }
  }

  std::size_t keys() const { return m_size; }
  std::size_t bytes() const { return m_slots.capacity() * sizeof(Slot); }

 private:
  struct Slot {
    Key key;
    std::int32_t count;   // 0: free
    std::uint32_t epoch;  // the slot is free unless this is the table's epoch
  };

  static constexpr int kInitialBits = 10;

  bool live(const Slot& s) const { return s.epoch == m_epoch && s.count > 0; }

  // Frees slot i and moves later keys of its probe run back into the gap.
  void erase(std::uint64_t i) {
    --m_size;
    for (std::uint64_t j = (i + 1) & m_mask; live(m_slots[j]); j = (j + 1) & m_mask) {
      const std::uint64_t home = m_slots[j].key.hash() & m_mask;
      // The key at j stays when its home lies cyclically in (i, j].
      const bool stays = i <= j ? (i < home && home <= j) : (i < home || home <= j);
      if (!stays) {
        m_slots[i] = m_slots[j];
        i = j;
      }
    }
    m_slots[i].count = 0;
  }

  void allocate(int bits) {
    m_slots.assign(std::size_t{1} << bits, Slot{Key{}, 0, 0});
    m_mask = (std::uint64_t{1} << bits) - 1;
    m_bits = bits;
    m_epoch = 1;
    m_size = 0;
  }

  void grow() {
    std::vector<Slot> old;
    old.swap(m_slots);
    const std::uint32_t epoch = m_epoch;
    allocate(m_bits + 1);
    for (const Slot& s : old) {
      if (s.epoch != epoch || s.count <= 0) continue;
      std::uint64_t j = s.key.hash() & m_mask;
      while (live(m_slots[j])) j = (j + 1) & m_mask;
      m_slots[j] = Slot{s.key, s.count, m_epoch};
      ++m_size;
    }
  }

  std::vector<Slot> m_slots;
  std::uint64_t m_mask = 0;
  std::size_t m_size = 0;
  std::uint32_t m_epoch = 1;
  int m_bits = 0;
};

}  // namespace detail

// True when the record of needle occurs inside the record of `record` ("X,Y,Z;" within
// "a,Y,Z;" with the text of X ending the text of a).
inline bool recordMatches(const Point& needle, const Point& record) {
  if (needle.y != record.y || needle.z != record.z) return false;
  bool match = false;
  forEachSuffixKey(record.x, [&](std::int32_t key) { match = match || key == needle.x; });
  return match;
}

// The record search on a chain text that grows and shrinks at its end. Each question
// costs a few hash probes; push and pop file one to four keys for coordinates below 1000
// in size. Memory: 16 bytes a slot, 1.4 to 3 slots a key at the text's largest size
// (20 bytes a slot once a coordinate passes 2^20 in size).
class SiteIndex {
 public:
  // Forgets every record, in constant time.
  void clear() {
    m_narrow.clear();
    m_wide.clear();
    m_isWide = false;
  }

  // The record of p appended at the end.
  void push(const Point& p) {
    forEachSuffixKey(p.x, [&](std::int32_t key) {
      if (!m_isWide) {
        if (detail::PackedKey::fits(key, p.y, p.z)) {
          m_narrow.increment(detail::PackedKey::of(key, p.y, p.z));
          return;
        }
        widen();
      }
      m_wide.increment(detail::WideKey{key, p.y, p.z});
    });
  }

  // The newest record, which must be that of p, removed.
  void pop(const Point& p) {
    forEachSuffixKey(p.x, [&](std::int32_t key) {
      if (m_isWide) {
        m_wide.decrement(detail::WideKey{key, p.y, p.z});
      } else {
        m_narrow.decrement(detail::PackedKey::of(key, p.y, p.z));
      }
    });
  }

  // How many records hold the record of p (itself or inside a longer one).
  std::int32_t count(const Point& p) const { return count(p.x, p.y, p.z); }
  std::int32_t count(std::int32_t x, std::int32_t y, std::int32_t z) const {
    if (m_isWide) return m_wide.count(detail::WideKey{x, y, z});
    // Every key filed so far fits, so one that does not is absent.
    return detail::PackedKey::fits(x, y, z) ? m_narrow.count(detail::PackedKey::of(x, y, z))
                                            : 0;
  }

  // True when the record of p occurs in the text (the record search, substrings included).
  bool found(const Point& p) const { return count(p.x, p.y, p.z) > 0; }
  bool found(std::int32_t x, std::int32_t y, std::int32_t z) const { return count(x, y, z) > 0; }

  // How many of the six sites at distance `step` along the axes from p are found (0 to 6);
  // with step 1 this is StrTestXYZ on the text.
  int neighboursFound(const Point& p, std::int32_t step) const {
    return found(p.x + step, p.y, p.z) + found(p.x - step, p.y, p.z) +
           found(p.x, p.y - step, p.z) + found(p.x, p.y + step, p.z) +
           found(p.x, p.y, p.z + step) + found(p.x, p.y, p.z - step);
  }

  // True when all six sites at distance `step` are found; stops at the first that is not.
  bool allNeighboursFound(const Point& p, std::int32_t step) const {
    return found(p.x + step, p.y, p.z) && found(p.x - step, p.y, p.z) &&
           found(p.x, p.y - step, p.z) && found(p.x, p.y + step, p.z) &&
           found(p.x, p.y, p.z + step) && found(p.x, p.y, p.z - step);
  }

  std::size_t keys() const { return m_isWide ? m_wide.keys() : m_narrow.keys(); }
  std::size_t bytes() const { return m_narrow.bytes() + m_wide.bytes(); }

 private:
  // Moves every key to the table of full-width keys, for coordinates beyond 2^20.
  void widen() {
    m_narrow.forEach([&](const detail::PackedKey& key, std::int32_t count) {
      const auto unpack = [&](int shift) {
        return static_cast<std::int32_t>((key.bits >> shift) & ((1u << 21) - 1)) -
               detail::PackedKey::kLimit;
      };
      m_wide.increment(detail::WideKey{unpack(42), unpack(21), unpack(0)}, count);
    });
    m_narrow.clear();
    m_isWide = true;
  }

  detail::KeyCounts<detail::PackedKey> m_narrow;
  detail::KeyCounts<detail::WideKey> m_wide;
  bool m_isWide = false;
};

// The record search on the text of a record stack without its newest records, which the
// caller names: a record is found there when more records hold it than among the newest.
// Costs a hash probe, plus a scan of the newest records when the probe finds it.
class OlderRecordSearch {
 public:
  OlderRecordSearch(const SiteIndex& all, std::span<const Point> newest)
      : m_all(all), m_newest(newest) {}

  bool found(const Point& p) const {
    const std::int32_t total = m_all.count(p);
    if (total == 0) return false;
    std::int32_t recent = 0;
    for (const Point& r : m_newest) recent += recordMatches(p, r) ? 1 : 0;
    return total > recent;
  }

  // StrTestXYZ at p on that text.
  int neighboursFound(const Point& p) const {
    return found({p.x + 1, p.y, p.z}) + found({p.x - 1, p.y, p.z}) +
           found({p.x, p.y - 1, p.z}) + found({p.x, p.y + 1, p.z}) +
           found({p.x, p.y, p.z + 1}) + found({p.x, p.y, p.z - 1});
  }

 private:
  const SiteIndex& m_all;
  std::span<const Point> m_newest;
};

}  // namespace polychain
