// The chain models a run can grow.
#pragma once

namespace polychain {

// The free walk, the self-avoiding growth walk with back-ups, the short-range walk with steps
// of K lattice units, and the true self-avoiding walk sampled by the pivot algorithm.
enum class Model { Meander, SAW, ShortRange, Pivot };

}  // namespace polychain
