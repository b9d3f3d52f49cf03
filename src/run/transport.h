// A run shared by the processes of a team, written once against the messages they pass: the
// leader hands out blocks of chains (or pivot walkers) on demand, never far ahead of the
// oldest unfinished block, and adds their results up in chain order; every rank grows its
// blocks on its own threads. How the messages travel is a Transport: MPI between processes,
// or anything else that delivers bytes (the tests use threads of one process).
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "polychain/run.h"

namespace polychain {

// A message's bytes, left uninitialised when made: a message is written or received whole.
template <class T>
struct UninitialisedAllocator : std::allocator<T> {
  template <class U>
  struct rebind {
    using other = UninitialisedAllocator<U>;
  };
  template <class U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};
using Bytes = std::vector<char, UninitialisedAllocator<char>>;

// A buffer kept from an earlier message (empty, with room), so that large blocks of results
// need not come from the system afresh each time; and one handed back for the next message.
Bytes spareBytes();
void keepBytes(Bytes&& bytes);

struct Message {
  int from = -1;
  int tag = 0;
  Bytes bytes;
};

// Every message's bytes open with the index of its run, a std::int64_t in this machine's
// byte order: the `run` of runOnTeam.
std::int64_t messageRun(const Bytes& bytes);

// How the ranks of a team pass messages, used by one thread of each rank. Messages from one
// rank to another arrive in the order they were sent.
class Transport {
 public:
  virtual ~Transport() = default;
  virtual int rank() const = 0;
  virtual int size() const = 0;
  // Sends `bytes` to rank `to` under `tag` without waiting for it to arrive.
  virtual void send(int to, int tag, Bytes bytes) = 0;
  // The next message from any rank into `in`, or false when none has come yet.
  virtual bool receive(Message& in) = 0;
  // Moves the sends along; called often.
  virtual void progress() = 0;
  // The most bytes a long record is sent in at once (a message may hold up to 2^31 - 1).
  virtual std::size_t mostBytes() const { return std::size_t{1} << 30; }
  // Ends run `run` on every rank together: returns once every rank's sends are through and
  // every rank has called it, keeping the messages of later runs for receive() and dropping
  // those of this one.
  virtual void endRun(std::int64_t run) = 0;
};

// Runs `checked` (its seed set, the same on every rank) over the ranks of `transport` as the
// team's run number `run` (counted alike on every rank). Every rank calls it with the same
// parameters, checked on each. On the leader (rank 0) `observer` hears the progress of every
// rank's chains; elsewhere only its cancel request and trapped-chain notices count.
TeamRun runOnTeam(Transport& transport, std::int64_t run, const CheckedRun& checked,
                  RunObserver& observer);

}  // namespace polychain
