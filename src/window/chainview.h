// Which sites of a long chain a plot draws. No toolkit.
#pragma once

#include <cstddef>
#include <vector>

namespace polychain {

// The positions of at most `maxPoints` (at least 2) of `count` sites, evenly spread along
// the chain, ascending, the first and the last site always among them; all of them when
// `count` <= `maxPoints`. Linear in the result.
std::vector<std::size_t> displayIndices(std::size_t count, std::size_t maxPoints);

}  // namespace polychain
