// The messages of a team's run as they travel: each opens with the index of its run, then
// what its tag says, every value in this machine's byte order (the ranks of one job share
// one build).
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "chain/random.h"
#include "run/transport.h"

namespace polychain::wire {

enum Tag : int {
  kRequest = 1,  // a rank asks the leader for a block
  kBlock,        // the leader hands one out: BlockNote (no units: no more)
  kSites,        // part of the last chain's sites: the whole count, then the part's sites
  kResult,       // a block's results: its first unit and count, then each unit's result
  kFailed,       // a rank stopped for a reason of its own: StopNote
  kStop,         // the leader stops every rank: StopNote
  kDone,         // the leader has every result
  kParts,        // a rank's record of a step of a shared unit (PartShare), for every other rank
};

struct BlockNote {
  std::int64_t first = 0;
  std::int64_t count = 0;  // 0: no more blocks
  RandomSource::State state{};
};

struct StopNote {
  std::int32_t status = 0;  // a RunStatus
  std::int32_t rank = -1;   // where the run stopped; -1: cancelled on the leader
};

static_assert(std::is_trivially_copyable_v<BlockNote>);

// The bytes of a result block before its units' results: run, first unit, count.
constexpr std::size_t kResultHead = 3 * sizeof(std::int64_t);

// Sites travel in parts well below the 2^31-byte limit of a message.
constexpr std::size_t kSitesPerPart = std::size_t{1} << 24;

template <class T>
void append(Bytes& bytes, const T& value) {
  static_assert(std::is_trivially_copyable_v<T>);
  const std::size_t at = bytes.size();
  bytes.resize(at + sizeof(T));
  std::memcpy(bytes.data() + at, &value, sizeof(T));
}

template <class T>
T read(const Bytes& bytes, std::size_t& at) {
  static_assert(std::is_trivially_copyable_v<T>);
  T value;
  std::memcpy(&value, bytes.data() + at, sizeof(T));
  at += sizeof(T);
  return value;
}

// A message of run `run` with nothing after its index yet, in a spare buffer.
inline Bytes opening(std::int64_t run) {
  Bytes bytes = spareBytes();
  append(bytes, run);
  return bytes;
}

}  // namespace polychain::wire
