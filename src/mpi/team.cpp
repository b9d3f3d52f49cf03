#include "polychain/team.h"

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <system_error>
#include <thread>

#include "polychain/params.h"

#ifdef POLYCHAIN_WITH_MPI
#include "mpi/lazympi.h"
#endif

namespace polychain {

namespace {

// The first of the launchers' rank variables that is set: Open MPI's, PMIx's, PMI's
// (MPICH, Slurm) and Slurm's own.
[[maybe_unused]] const char* launchVariable(const char* const (&names)[4]) {
  for (const char* name : names) {
    if (const char* value = std::getenv(name)) return value;
  }
  return nullptr;
}

[[maybe_unused]] constexpr const char* kRankVariables[4] = {"OMPI_COMM_WORLD_RANK", "PMIX_RANK",
                                                            "PMI_RANK", "SLURM_PROCID"};
[[maybe_unused]] constexpr const char* kSizeVariables[4] = {"OMPI_COMM_WORLD_SIZE", "PMI_SIZE",
                                                            "SLURM_NTASKS", "OMPI_UNIVERSE_SIZE"};

}  // namespace

Team::Team([[maybe_unused]] int& argc, [[maybe_unused]] char**& argv) {
#ifdef POLYCHAIN_WITH_MPI
  if (launchVariable(kRankVariables) == nullptr && launchVariable(kSizeVariables) == nullptr) {
    return;  // started on its own: no MPI at all, not even its library
  }
  const char* error = nullptr;
  if (!loadMpi(error)) {
    std::fprintf(stderr, "polychain: cannot load the MPI library, so this process runs alone: %s\n",
                 error);
    return;
  }
  int provided = 0;
  MPI_Init_thread(&argc, &argv, MPI_THREAD_FUNNELED, &provided);
  if (provided < MPI_THREAD_FUNNELED) {
    // A rank grows its chains on other threads while its main thread talks to the team; an
    // MPI library that cannot have that would garble the messages.
    std::fprintf(stderr,
                 "polychain: the MPI library offers threads at level %d, below the level %d "
                 "(MPI_THREAD_FUNNELED) a team needs; the job is stopped.\n",
                 provided, MPI_THREAD_FUNNELED);
    MPI_Abort(MPI_COMM_WORLD, 1);
  }
  m_joined = true;
  MPI_Comm_rank(MPI_COMM_WORLD, &m_rank);
  MPI_Comm_size(MPI_COMM_WORLD, &m_size);
  MPI_Comm here = MPI_COMM_NULL;
  MPI_Comm_split_type(MPI_COMM_WORLD, MPI_COMM_TYPE_SHARED, 0, MPI_INFO_NULL, &here);
  MPI_Comm_size(here, &m_processesHere);
  MPI_Comm_free(&here);
#endif
}

std::uint64_t Team::agreeOnSeed(const std::optional<std::uint64_t>& seed) const {
  std::uint64_t value = m_rank == 0 ? seed.value_or(clockSeed()) : 0;
#ifdef POLYCHAIN_WITH_MPI
  if (m_joined) MPI_Bcast(&value, 1, MPI_UINT64_T, 0, MPI_COMM_WORLD);
#endif
  return value;
}

bool Team::allOk(bool ok) const {
  int all = ok ? 1 : 0;
#ifdef POLYCHAIN_WITH_MPI
  if (m_joined) MPI_Allreduce(MPI_IN_PLACE, &all, 1, MPI_INT, MPI_LAND, MPI_COMM_WORLD);
#endif
  return all != 0;
}

void Team::leave([[maybe_unused]] int exitCode) {
#ifdef POLYCHAIN_WITH_MPI
  if (!m_joined) return;
  m_joined = false;
  if (exitCode == 0) {
    MPI_Finalize();
    return;
  }
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  std::mutex mutex;
  std::condition_variable finished;
  bool left = false;
  std::thread guard;
  try {
    guard = std::thread([&] {
      std::unique_lock lock(mutex);
      if (!finished.wait_for(lock, std::chrono::milliseconds(50), [&] { return left; })) {
        ::_exit(exitCode);
      }
    });
  } catch (const std::system_error&) {
    // No thread to spare: leave unguarded, as a process exiting with 0 does.
  }
  MPI_Finalize();
  {
    const std::lock_guard lock(mutex);
    left = true;
  }
  finished.notify_all();
  if (guard.joinable()) guard.join();
#endif
}

Team::~Team() { leave(0); }

}  // namespace polychain
