// Constant-time answers to the record search on chain texts held as stacks of records.
// The record "X,Y,Z;" occurs in a text of whole records exactly when some record a,Y,Z;
// has the decimal text of X as a suffix of the decimal text of a; every record is filed
// under each such X (one to four keys for coordinates below 1000 in size, at most 11).
#pragma once

#include <array>
#include <cstdint>
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

// Open-addressing table (linear probing, load at most 1/2) keyed by three 32-bit
// coordinates. Slots are never removed: a key whose count falls to 0 stays as a dead
// entry until clear(), which costs the number of keys filed since the last clear.
template <class Slot>
class KeyTable {
 public:
  KeyTable() { allocate(kInitialBits); }

  const Slot* find(std::int32_t x, std::int32_t y, std::int32_t z) const {
    for (std::uint64_t i = hash(x, y, z) & m_mask;; i = (i + 1) & m_mask) {
      const Slot& s = m_slots[i];
      if (s.count < 0) return nullptr;
      if (s.x == x && s.y == y && s.z == z) return &s;
    }
  }

  Slot* find(std::int32_t x, std::int32_t y, std::int32_t z) {
    return const_cast<Slot*>(static_cast<const KeyTable&>(*this).find(x, y, z));
  }

  // The slot of the key, created with count 0 when new.
  Slot& findOrInsert(std::int32_t x, std::int32_t y, std::int32_t z) {
    for (std::uint64_t i = hash(x, y, z) & m_mask;; i = (i + 1) & m_mask) {
      Slot& s = m_slots[i];
      if (s.count < 0) {
        if (2 * (m_used.size() + 1) > m_slots.size()) {
          grow();
          return findOrInsert(x, y, z);
        }
        s = Slot{};
        s.x = x, s.y = y, s.z = z, s.count = 0;
        m_used.push_back(static_cast<std::uint32_t>(i));
        return s;
      }
      if (s.x == x && s.y == y && s.z == z) return s;
    }
  }

  void clear() {
    if (m_used.size() * 8 > m_slots.size()) {
      for (Slot& s : m_slots) s.count = -1;
    } else {
      for (const std::uint32_t i : m_used) m_slots[i].count = -1;
    }
    m_used.clear();
  }

  std::size_t keys() const { return m_used.size(); }
  std::size_t bytes() const {
    return m_slots.capacity() * sizeof(Slot) + m_used.capacity() * sizeof(std::uint32_t);
  }

 private:
  static constexpr int kInitialBits = 10;

  static std::uint64_t hash(std::int32_t x, std::int32_t y, std::int32_t z) {
    std::uint64_t v = (std::uint64_t{static_cast<std::uint32_t>(x)} << 32) |
                      static_cast<std::uint32_t>(y);
    v ^= std::uint64_t{static_cast<std::uint32_t>(z)} * 0x9e3779b97f4a7c15ULL;
    v ^= v >> 33;
    v *= 0xff51afd7ed558ccdULL;
    v ^= v >> 33;
    v *= 0xc4ceb9fe1a85ec53ULL;
    return v ^ (v >> 33);
  }

  void allocate(int bits) {
    m_slots.assign(std::size_t{1} << bits, Slot{});
    for (Slot& s : m_slots) s.count = -1;
    m_mask = (std::uint64_t{1} << bits) - 1;
    m_bits = bits;
    m_used.clear();
  }

  // Doubles the table, keeping the live keys and dropping the dead ones.
  void grow() {
    std::vector<Slot> old;
    old.swap(m_slots);
    const std::vector<std::uint32_t> used = std::move(m_used);
    allocate(m_bits + 1);
    m_used.reserve(used.size());
    for (const std::uint32_t i : used) {
      const Slot& s = old[i];
      if (s.count <= 0) continue;
      std::uint64_t j = hash(s.x, s.y, s.z) & m_mask;
      while (m_slots[j].count >= 0) j = (j + 1) & m_mask;
      m_slots[j] = s;
      m_used.push_back(static_cast<std::uint32_t>(j));
    }
  }

  std::vector<Slot> m_slots;
  std::vector<std::uint32_t> m_used;  // slots holding a key, live or dead
  std::uint64_t m_mask = 0;
  int m_bits = 0;
};

struct CountSlot {
  std::int32_t x = 0, y = 0, z = 0;
  std::int32_t count = -1;  // -1: empty slot
};

struct ZoneSlot {
  std::int32_t x = 0, y = 0, z = 0;
  std::int32_t count = -1;  // -1: empty slot
  std::int64_t oldest = 0;  // position of the oldest live record filed under the key
};

}  // namespace detail

// The record search on a chain text that grows and shrinks at its end. Each call costs a
// few hash probes; push and pop file one to four keys for coordinates below 1000 in size.
class SiteIndex {
 public:
  // Forgets every record; costs the number of keys filed since the last clear.
  void clear() { m_table.clear(); }

  // The record of p appended at the end.
  void push(const Point& p) {
    forEachSuffixKey(p.x, [&](std::int32_t key) { ++m_table.findOrInsert(key, p.y, p.z).count; });
  }

  // The newest record, which must be that of p, removed.
  void pop(const Point& p) {
    forEachSuffixKey(p.x, [&](std::int32_t key) { --m_table.find(key, p.y, p.z)->count; });
  }

  // True when the record of p occurs in the text (the record search, substrings included).
  bool found(const Point& p) const { return found(p.x, p.y, p.z); }
  bool found(std::int32_t x, std::int32_t y, std::int32_t z) const {
    const detail::CountSlot* s = m_table.find(x, y, z);
    return s != nullptr && s->count > 0;
  }

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

  std::size_t keys() const { return m_table.keys(); }
  std::size_t bytes() const { return m_table.bytes(); }

 private:
  detail::KeyTable<detail::CountSlot> m_table;
};

// The record search restricted to the oldest records of a text that grows and shrinks at
// its end: records are numbered 0, 1, ... from the oldest, and a search may ask about the
// records numbered below some limit. Constant time per search, as SiteIndex.
class ZoneIndex {
 public:
  void clear() {
    m_table.clear();
    m_size = 0;
  }

  // Records in the text.
  std::int64_t size() const { return m_size; }

  // The record of p appended as record number size().
  void push(const Point& p) {
    const std::int64_t position = m_size++;
    forEachSuffixKey(p.x, [&](std::int32_t key) {
      detail::ZoneSlot& s = m_table.findOrInsert(key, p.y, p.z);
      if (s.count++ == 0) s.oldest = position;
    });
  }

  // The newest record, which must be that of p, removed.
  void pop(const Point& p) {
    --m_size;
    forEachSuffixKey(p.x, [&](std::int32_t key) { --m_table.find(key, p.y, p.z)->count; });
  }

  // True when the record of p occurs in the text of the records numbered below `limit`.
  bool foundBefore(const Point& p, std::int64_t limit) const {
    return foundBefore(p.x, p.y, p.z, limit);
  }
  bool foundBefore(std::int32_t x, std::int32_t y, std::int32_t z, std::int64_t limit) const {
    const detail::ZoneSlot* s = m_table.find(x, y, z);
    return s != nullptr && s->count > 0 && s->oldest < limit;
  }

  // StrTestXYZ at p on the text of the records numbered below `limit`.
  int neighboursFoundBefore(const Point& p, std::int64_t limit) const {
    if (limit <= 0) return 0;
    return foundBefore(p.x + 1, p.y, p.z, limit) + foundBefore(p.x - 1, p.y, p.z, limit) +
           foundBefore(p.x, p.y - 1, p.z, limit) + foundBefore(p.x, p.y + 1, p.z, limit) +
           foundBefore(p.x, p.y, p.z + 1, limit) + foundBefore(p.x, p.y, p.z - 1, limit);
  }

  std::size_t keys() const { return m_table.keys(); }
  std::size_t bytes() const { return m_table.bytes(); }

 private:
  detail::KeyTable<detail::ZoneSlot> m_table;
  std::int64_t m_size = 0;
};

}  // namespace polychain
