// The chain models a run can grow.
#pragma once

namespace polychain {

// The free walk, the self-avoiding growth walk with back-ups, and the short-range walk with
// steps of K lattice units.
enum class Model { Meander, SAW, ShortRange };

}  // namespace polychain
