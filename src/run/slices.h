// Large buffers filled a slice at a time, so that a cancel need not wait for the whole of them
// to be touched (filling a few gigabytes takes seconds).
#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <vector>

namespace polychain {

// Resizes `values` to `size` elements equal to `value`, asking `keepGoing` before each slice
// of 32 MiB: false (`values` left part filled) when it answered false. Throws std::bad_alloc
// when the memory cannot be had, before anything is filled.
template <class T>
bool fillInSlices(std::vector<T>& values, std::size_t size, const T& value,
                  const std::function<bool()>& keepGoing) {
  constexpr std::size_t kSlice = std::max<std::size_t>((std::size_t{32} << 20) / sizeof(T), 1);
  values.clear();
  values.reserve(size);
  while (values.size() < size) {
    if (keepGoing && !keepGoing()) return false;
    values.resize(std::min(size, values.size() + kSlice), value);
  }
  return true;
}

}  // namespace polychain
