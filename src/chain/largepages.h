// An allocator for large tables read at random (a melt's cells and sites): blocks of 2 MiB and
// more are aligned to 2 MiB and offered to the kernel for transparent huge pages, so that a
// large box costs fewer page faults to fill, fewer TLB misses to sweep and less time to free.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdlib>
#include <new>

namespace polychain {

template <class T>
struct LargePageAllocator {
  using value_type = T;
  static constexpr std::size_t kLargePage = std::size_t{1} << 21;

  LargePageAllocator() = default;
  template <class U>
  explicit LargePageAllocator(const LargePageAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) {
    if (n > static_cast<std::size_t>(-1) / sizeof(T) - kLargePage) throw std::bad_alloc();
    const std::size_t bytes = n * sizeof(T);
    if (bytes < kLargePage) return static_cast<T*>(::operator new(bytes));
    const std::size_t rounded = (bytes + kLargePage - 1) / kLargePage * kLargePage;
    void* p = std::aligned_alloc(kLargePage, rounded);
    if (p == nullptr) throw std::bad_alloc();
    ::madvise(p, rounded, MADV_HUGEPAGE);  // advice only: a kernel without it ignores it
    return static_cast<T*>(p);
  }
  void deallocate(T* p, std::size_t n) noexcept {
    if (n * sizeof(T) < kLargePage) {
      ::operator delete(p);
    } else {
      std::free(p);
    }
  }
  template <class U>
  bool operator==(const LargePageAllocator<U>&) const noexcept {
    return true;
  }
};

}  // namespace polychain
