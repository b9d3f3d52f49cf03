// MPI, loaded only when a launcher started the process: the program does not link the MPI
// library, which loadMpi() opens at run time, and every MPI function and predefined handle
// used after this header is looked up there on its first use (once per place of use).
// Include this instead of <mpi.h>; only in a build with MPI.
#pragma once

// The C interface only: the C++ bindings' inline functions would call the library directly.
#define OMPI_SKIP_MPICXX 1
#define MPICH_SKIP_MPICXX 1
#include <mpi.h>

namespace polychain {

// Opens the MPI library (and the libraries it needs); false, with the reason in `error`, when
// it cannot. Call before any MPI function.
bool loadMpi(const char*& error);

// The address of `name` in the MPI library that loadMpi() opened; ends the process with a
// message when there is none, which only a library other than the one built against gives.
void* mpiSymbol(const char* name);

}  // namespace polychain

// A function of the library, through a pointer of its own type looked up on first use. The
// name inside is not expanded again, so decltype sees the declaration in <mpi.h>.
#define POLYCHAIN_LAZY_MPI(name)                                \
  (*reinterpret_cast<decltype(&::name)>([] {                    \
    static void* const address = ::polychain::mpiSymbol(#name); \
    return address;                                             \
  }()))

// Open MPI's predefined handles (MPI_COMM_WORLD, MPI_BYTE, ...) are the addresses of its
// objects.
#undef OMPI_PREDEFINED_GLOBAL
#define OMPI_PREDEFINED_GLOBAL(type, global)                      \
  (static_cast<type>([] {                                         \
    static void* const address = ::polychain::mpiSymbol(#global); \
    return address;                                               \
  }()))

#define MPI_Abort POLYCHAIN_LAZY_MPI(MPI_Abort)
#define MPI_Allreduce POLYCHAIN_LAZY_MPI(MPI_Allreduce)
#define MPI_Bcast POLYCHAIN_LAZY_MPI(MPI_Bcast)
#define MPI_Comm_free POLYCHAIN_LAZY_MPI(MPI_Comm_free)
#define MPI_Comm_rank POLYCHAIN_LAZY_MPI(MPI_Comm_rank)
#define MPI_Comm_size POLYCHAIN_LAZY_MPI(MPI_Comm_size)
#define MPI_Comm_split_type POLYCHAIN_LAZY_MPI(MPI_Comm_split_type)
#define MPI_Finalize POLYCHAIN_LAZY_MPI(MPI_Finalize)
#define MPI_Get_count POLYCHAIN_LAZY_MPI(MPI_Get_count)
#define MPI_Ibarrier POLYCHAIN_LAZY_MPI(MPI_Ibarrier)
#define MPI_Init_thread POLYCHAIN_LAZY_MPI(MPI_Init_thread)
#define MPI_Iprobe POLYCHAIN_LAZY_MPI(MPI_Iprobe)
#define MPI_Isend POLYCHAIN_LAZY_MPI(MPI_Isend)
#define MPI_Recv POLYCHAIN_LAZY_MPI(MPI_Recv)
#define MPI_Test POLYCHAIN_LAZY_MPI(MPI_Test)
