// numpy arrays over the core's buffers: the array takes the vector over through a capsule, so
// no element is copied and the memory goes when the last view of the array goes. Constant
// time whatever the size.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

#include "polychain/point.h"

namespace polychain::python {

// An array of `Element` with `shape` over the elements of `values`, which it owns from now on.
// The shape must cover exactly the vector's bytes.
template <class Element, class T>
pybind11::array ownedArray(std::vector<T>&& values, std::vector<pybind11::ssize_t> shape) {
  static_assert(std::is_standard_layout_v<T> && sizeof(T) % sizeof(Element) == 0);
  auto owned = std::make_unique<std::vector<T>>(std::move(values));
  const auto* data = reinterpret_cast<const Element*>(owned->data());
  pybind11::capsule base(owned.get(),
                         [](void* vector) { delete static_cast<std::vector<T>*>(vector); });
  owned.release();  // the capsule owns it now
  return pybind11::array_t<Element>(std::move(shape), data, base);
}

// Sites as an int32 array of shape (count, sites per chain, 3), or (sites, 3) when `count`
// is 0 (a count above 0 must divide the sites): the last chain of a run, or the chains of a sample
// laid end to end.
inline pybind11::array sitesArray(std::vector<Point>&& sites, pybind11::ssize_t count = 0) {
  static_assert(sizeof(Point) == 3 * sizeof(std::int32_t));
  const auto total = static_cast<pybind11::ssize_t>(sites.size());
  if (count == 0) return ownedArray<std::int32_t>(std::move(sites), {total, 3});
  return ownedArray<std::int32_t>(std::move(sites), {count, total / count, 3});
}

// Values such as g(r) as a float64 array.
inline pybind11::array valuesArray(std::vector<double>&& values) {
  const auto size = static_cast<pybind11::ssize_t>(values.size());
  return ownedArray<double>(std::move(values), {size});
}

}  // namespace polychain::python
