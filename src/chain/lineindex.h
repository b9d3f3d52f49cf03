// Constant-time answers to the record search on chain texts held as stacks of records.
// The record "X,Y,Z;" occurs in a text of whole records exactly when some record a,Y,Z;
// has the decimal text of X as a suffix of the decimal text of a. So the records are
// filed by their line (Y, Z), and a search reads the x values of one line.
#pragma once

#include <absl/container/flat_hash_map.h>

#include <array>
#include <cstdint>
#include <span>
#include <type_traits>
#include <vector>

#include "chain/lattice.h"

namespace polychain {

// Whether the decimal text of a whole number ends with the decimal text of `needle`
// (1 ends 1, -1, 11, -21, 101; -1 ends only -1; 0 ends 0, 10, -10, 100).
class SuffixTest {
 public:
  explicit SuffixTest(std::int32_t needle) : m_needle(needle) {
    if (needle < 0) return;
    m_digits = static_cast<std::uint64_t>(needle);
    m_power = 10;
    while (m_power <= m_digits) m_power *= 10;
  }

  bool operator()(std::int32_t a) const {
    if (a == m_needle) return true;
    if (m_needle < 0) return false;
    const std::uint64_t m = a < 0 ? std::uint64_t{0} - static_cast<std::uint64_t>(std::int64_t{a})
                                  : static_cast<std::uint64_t>(a);
    // a's digits are the needle's with more digits (or a '-') in front.
    return m >= m_digits && (m - m_digits) % 10 == 0 && (m - m_digits) % m_power == 0;
  }

 private:
  std::int32_t m_needle;
  std::uint64_t m_digits = 0;  // the needle, when not negative
  std::uint64_t m_power = 1;   // 10 to the number of its digits
};

// The record search on a chain text that grows and shrinks at its end. Records are filed
// by line (y, z); one cache line holds a line's first distinct x values (12 of them, or 6
// with their counts when sites may repeat), so a search, a push or a pop usually touches
// one cache line (more on a probe collision, and a list for lines with more x values).
// With `kRepeats` false every pushed site must be new to the text (a walk's own chain).
template <bool kRepeats>
class LineIndex {
 public:
  LineIndex() { allocate(kInitialBits); }

  // Forgets every record, in constant time (plus the crowded lines' lists).
  void clear() {
    m_used = 0;
    m_sites = 0;
    m_crowded.clear();
    if (++m_epoch == 0) {
      for (Line& l : m_lines) l.epoch = 0;
      m_epoch = 1;
    }
  }

  // The record of p appended at the end.
  void push(const Point& p) {
    const std::uint64_t key = lineKey(p.y, p.z);
    Line& line = findOrAddLine(key);
    const std::uint32_t here = line.n < kInline ? line.n : kInline;
    if constexpr (kRepeats) {
      for (std::uint32_t i = 0; i < here; ++i) {
        if (line.xs[i].x == p.x) {
          ++line.xs[i].count;
          return;
        }
      }
      if (line.n > kInline) {
        for (Entry& e : m_crowded.at(key)) {
          if (e.x == p.x) {
            ++e.count;
            return;
          }
        }
      }
    }
    ++m_sites;
    const Entry entry = newEntry(p.x);
    if (line.n < kInline) {
      line.xs[line.n++] = entry;
    } else {
      m_crowded[key].push_back(entry);
      ++line.n;
    }
  }

  // The newest record, which must be that of p, removed.
  void pop(const Point& p) {
    const std::uint64_t key = lineKey(p.y, p.z);
    std::uint64_t slot = hash(key) & m_mask;
    while (!(live(m_lines[slot]) && m_lines[slot].key == key)) slot = (slot + 1) & m_mask;
    Line& line = m_lines[slot];
    const std::uint32_t here = line.n < kInline ? line.n : kInline;
    Entry* entry = nullptr;
    for (std::uint32_t i = 0; i < here && entry == nullptr; ++i) {
      if (xOf(line.xs[i]) == p.x) entry = &line.xs[i];
    }
    std::vector<Entry>* more = line.n > kInline ? &m_crowded.at(key) : nullptr;
    if (entry == nullptr) {
      for (Entry& e : *more) {
        if (xOf(e) == p.x) entry = &e;
      }
    }
    if constexpr (kRepeats) {
      if (--entry->count > 0) return;
    }
    // The site is gone: the line's last x value takes its place.
    --m_sites;
    if (more != nullptr) {
      *entry = more->back();
      more->pop_back();
      if (more->empty()) m_crowded.erase(key);
    } else {
      *entry = line.xs[line.n - 1];
    }
    if (--line.n == 0) eraseLine(slot);
  }

  // How many records hold the record of p (itself or inside a longer one).
  std::int32_t count(const Point& p) const {
    const Line* line = findLine(lineKey(p.y, p.z));
    if (line == nullptr) return 0;
    const SuffixTest ends(p.x);
    std::int32_t total = 0;
    const std::uint32_t here = line->n < kInline ? line->n : kInline;
    for (std::uint32_t i = 0; i < here; ++i) {
      if (ends(xOf(line->xs[i]))) total += countOf(line->xs[i]);
    }
    if (line->n > kInline) {
      for (const Entry& e : m_crowded.at(line->key)) {
        if (ends(xOf(e))) total += countOf(e);
      }
    }
    return total;
  }

  // True when the record of p occurs in the text (the record search, substrings included).
  bool found(const Point& p) const {
    const Line* line = findLine(lineKey(p.y, p.z));
    if (line == nullptr) return false;
    const std::uint32_t here = line->n < kInline ? line->n : kInline;
    for (std::uint32_t i = 0; i < here; ++i) {
      if (xOf(line->xs[i]) == p.x) return true;
    }
    const SuffixTest ends(p.x);
    for (std::uint32_t i = 0; i < here; ++i) {
      if (ends(xOf(line->xs[i]))) return true;
    }
    if (line->n > kInline) {
      for (const Entry& e : m_crowded.at(line->key)) {
        if (ends(xOf(e))) return true;
      }
    }
    return false;
  }
  bool found(std::int32_t x, std::int32_t y, std::int32_t z) const { return found({x, y, z}); }

  // How many of the six sites at distance `step` along the axes from p are found (0 to 6);
  // with step 1 this is StrTestXYZ on the text.
  int neighboursFound(const Point& p, std::int32_t step) const {
    return found(p.x + step, p.y, p.z) + found(p.x - step, p.y, p.z) + found(p.x, p.y - step, p.z) +
           found(p.x, p.y + step, p.z) + found(p.x, p.y, p.z + step) + found(p.x, p.y, p.z - step);
  }

  // True when all six sites at distance `step` are found; stops at the first that is not.
  bool allNeighboursFound(const Point& p, std::int32_t step) const {
    return found(p.x + step, p.y, p.z) && found(p.x - step, p.y, p.z) &&
           found(p.x, p.y - step, p.z) && found(p.x, p.y + step, p.z) &&
           found(p.x, p.y, p.z + step) && found(p.x, p.y, p.z - step);
  }

  // Distinct sites filed.
  std::size_t keys() const { return m_sites; }

 private:
  struct XCount {
    std::int32_t x;
    std::int32_t count;
  };
  using Entry = std::conditional_t<kRepeats, XCount, std::int32_t>;
  static constexpr std::uint32_t kInline = kRepeats ? 6 : 12;

  static Entry newEntry(std::int32_t x) {
    if constexpr (kRepeats) {
      return XCount{x, 1};
    } else {
      return x;
    }
  }
  static std::int32_t xOf(const Entry& e) {
    if constexpr (kRepeats) {
      return e.x;
    } else {
      return e;
    }
  }
  static std::int32_t countOf(const Entry& e) {
    if constexpr (kRepeats) {
      return e.count;
    } else {
      (void)e;
      return 1;
    }
  }

  // One line (y, z) of the lattice: 64 bytes.
  struct alignas(64) Line {
    std::uint64_t key;    // y and z
    std::uint32_t epoch;  // the slot is free unless this is the table's epoch and n > 0
    std::uint32_t n;      // distinct x values, the first kInline of them here
    std::array<Entry, kInline> xs;
  };
  static_assert(sizeof(Line) == 64);

  static constexpr int kInitialBits = 8;

  static std::uint64_t lineKey(std::int32_t y, std::int32_t z) {
    return (std::uint64_t{static_cast<std::uint32_t>(y)} << 32) | static_cast<std::uint32_t>(z);
  }
  static std::uint64_t hash(std::uint64_t v) {
    v ^= v >> 33;
    v *= 0xff51afd7ed558ccdULL;
    v ^= v >> 33;
    v *= 0xc4ceb9fe1a85ec53ULL;
    return v ^ (v >> 33);
  }

  bool live(const Line& l) const { return l.epoch == m_epoch && l.n > 0; }

  const Line* findLine(std::uint64_t key) const {
    for (std::uint64_t i = hash(key) & m_mask;; i = (i + 1) & m_mask) {
      const Line& l = m_lines[i];
      if (!live(l)) return nullptr;
      if (l.key == key) return &l;
    }
  }

  Line& findOrAddLine(std::uint64_t key) {
    for (std::uint64_t i = hash(key) & m_mask;; i = (i + 1) & m_mask) {
      Line& l = m_lines[i];
      if (!live(l)) {
        if (2 * (m_used + 1) > m_lines.size()) {
          grow();
          return findOrAddLine(key);
        }
        l.key = key;
        l.epoch = m_epoch;
        l.n = 0;
        ++m_used;
        return l;
      }
      if (l.key == key) return l;
    }
  }

  // Frees slot i and moves later lines of its probe run back into the gap.
  void eraseLine(std::uint64_t i) {
    --m_used;
    for (std::uint64_t j = (i + 1) & m_mask; live(m_lines[j]); j = (j + 1) & m_mask) {
      const std::uint64_t home = hash(m_lines[j].key) & m_mask;
      // The line at j stays when its home lies cyclically in (i, j].
      const bool stays = i <= j ? (i < home && home <= j) : (i < home || home <= j);
      if (!stays) {
        m_lines[i] = m_lines[j];
        i = j;
      }
    }
    m_lines[i].n = 0;
  }

  void allocate(int bits) {
    m_lines.assign(std::size_t{1} << bits, Line{});
    m_mask = (std::uint64_t{1} << bits) - 1;
    m_bits = bits;
    m_epoch = 1;
    m_used = 0;
  }

  void grow() {
    std::vector<Line> old;
    old.swap(m_lines);
    const std::uint32_t epoch = m_epoch;
    allocate(m_bits + 1);
    for (const Line& l : old) {
      if (l.epoch != epoch || l.n == 0) continue;
      std::uint64_t j = hash(l.key) & m_mask;
      while (live(m_lines[j])) j = (j + 1) & m_mask;
      m_lines[j] = l;
      m_lines[j].epoch = m_epoch;
      ++m_used;
    }
  }

  std::vector<Line> m_lines;
  std::uint64_t m_mask = 0;
  std::size_t m_used = 0;  // live lines
  std::size_t m_sites = 0;
  std::uint32_t m_epoch = 1;
  int m_bits = 0;
  // x values beyond the first kInline of a line.
  absl::flat_hash_map<std::uint64_t, std::vector<Entry>> m_crowded;
};

// Records that may repeat (an avoidance zone), and records of distinct sites (a walk's own
// chain, which never holds a site twice).
using RepeatingRecordIndex = LineIndex<true>;
using DistinctRecordIndex = LineIndex<false>;

// The record search on the text of a record stack without its newest records, which the
// caller names: a record is found there when more records hold it than among the newest.
// Costs a search of the index, plus a scan of the newest records when that finds it.
class OlderRecordSearch {
 public:
  OlderRecordSearch(const RepeatingRecordIndex& all, std::span<const Point> newest)
      : m_all(all), m_newest(newest) {}

  bool found(const Point& p) const {
    const std::int32_t total = m_all.count(p);
    if (total == 0) return false;
    const SuffixTest ends(p.x);
    std::int32_t recent = 0;
    for (const Point& r : m_newest) recent += (r.y == p.y && r.z == p.z && ends(r.x)) ? 1 : 0;
    return total > recent;
  }

  // StrTestXYZ at p on that text.
  int neighboursFound(const Point& p) const {
    return found({p.x + 1, p.y, p.z}) + found({p.x - 1, p.y, p.z}) + found({p.x, p.y - 1, p.z}) +
           found({p.x, p.y + 1, p.z}) + found({p.x, p.y, p.z + 1}) + found({p.x, p.y, p.z - 1});
  }

 private:
  const RepeatingRecordIndex& m_all;
  std::span<const Point> m_newest;
};

}  // namespace polychain
