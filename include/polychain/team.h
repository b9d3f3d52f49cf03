// The processes of one polychain job. Started by an MPI launcher (mpirun, srun, ...), a
// process joins the job and learns its rank; started on its own, or in a build without MPI,
// it is a team of one.
#pragma once

#include <cstdint>
#include <optional>

namespace polychain {

class Team {
 public:
  // Joins the job when an MPI launcher started this process (MPI with the main thread as the
  // only one that calls it). Construct once, on the main thread, before other threads start.
  // Every rank must leave the job the same way: through leave(), or else the destructor.
  Team(int& argc, char**& argv);
  ~Team();  // leaves the job as leave(0) does, unless left already
  Team(const Team&) = delete;
  Team& operator=(const Team&) = delete;

  int rank() const { return m_rank; }
  int size() const { return m_size; }
  bool leader() const { return m_rank == 0; }
  // The processes of the team on this machine, this one among them.
  int processesHere() const { return m_processesHere; }
  // The seed of the leader (its `seed`, or the clock's when it has none), on every rank.
  std::uint64_t agreeOnSeed(const std::optional<std::uint64_t>& seed) const;
  // True on every rank when `ok` is true on every rank.
  bool allOk(bool ok) const;
  // Leaves the job on the main thread, as a process that is to exit with `exitCode`. A
  // launcher ends the whole job once any rank exits with a code other than 0, and stops
  // answering the ranks still leaving (Open MPI's mpirun for a second, until it sends them
  // SIGTERM); so a rank leaving with such a code waits at most 0.05 s for the job's last
  // handshake, then ends the process itself with `exitCode` (standard output and error
  // flushed first). Every message of this rank's is through by then.
  void leave(int exitCode);
  // Counts the runs of the job, the same on every rank: the index of the next run.
  std::int64_t nextRun() { return m_runs++; }

 private:
  int m_rank = 0;
  int m_size = 1;
  int m_processesHere = 1;
  bool m_joined = false;
  std::int64_t m_runs = 0;
};

}  // namespace polychain
