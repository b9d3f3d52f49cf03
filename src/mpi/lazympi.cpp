#ifdef POLYCHAIN_WITH_MPI

#include "mpi/lazympi.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

namespace polychain {

namespace {
void* g_library = nullptr;
}  // namespace

bool loadMpi(const char*& error) {
  if (g_library == nullptr) {
    // Global, so that the components Open MPI opens in turn find its symbols.
    g_library = ::dlopen(POLYCHAIN_MPI_LIBRARY, RTLD_NOW | RTLD_GLOBAL);
  }
  if (g_library == nullptr) error = ::dlerror();
  return g_library != nullptr;
}

void* mpiSymbol(const char* name) {
  void* address = g_library != nullptr ? ::dlsym(g_library, name) : nullptr;
  if (address == nullptr) {
    std::fprintf(stderr, "polychain: %s is not in the MPI library %s.\n", name,
                 POLYCHAIN_MPI_LIBRARY);
    std::abort();
  }
  return address;
}

}  // namespace polychain

#endif
