// The run's texts read back as numbers for the plots, and the choice of sites a chain plot
// draws. No toolkit; every function is linear in its input and never alters the data.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "chain/lattice.h"

namespace polychain {

struct Sample {
  double x = 0.0;
  double y = 0.0;
};

// The sites of a chain export text: every "x,y,z" line after the header line "x,y,z", in
// chain order. A line that is not three whole numbers ends the list.
std::vector<Point> sitesOfChainExport(std::string_view text);

// The lines "index,value" of a g(r) or g(q) text, in order. Lines that are not two numbers
// (such as the buffers' starting text) are left out.
std::vector<Sample> samplesOfIndexText(std::string_view text);

// The positions of at most `maxPoints` (at least 2) of `count` sites, evenly spread along
// the chain, ascending, the first and the last site always among them; all of them when
// `count` <= `maxPoints`.
std::vector<std::size_t> displayIndices(std::size_t count, std::size_t maxPoints);

}  // namespace polychain
