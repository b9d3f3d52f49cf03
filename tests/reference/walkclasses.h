// Every self-avoiding walk of N steps on the simple cubic lattice classed by its contacts (pairs
// of sites one unit apart that no step joins) and bends (sites where the walk turns): the exact
// means of a walk weighed by exp(-energy), for any contact and bend energies.
#pragma once

#include <cstdint>
#include <vector>

namespace polychain::reference {

// Exact means over the walks, each weighed by exp(-(E contacts + K bends)).
struct WalkMeans {
  double contacts = 0.0;
  double bends = 0.0;
  double energy = 0.0;
  double heatCapacity = 0.0;  // <U^2> - <U>^2
  double r2 = 0.0;            // <R^2>
};

class WalkClasses {
 public:
  // Enumerates the walks of `steps` steps (1 to 12), by depth-first search.
  explicit WalkClasses(int steps);

  double walks() const;  // c_N, the number of walks
  WalkMeans means(double contactEnergy, double bendEnergy) const;

 private:
  // count[c][b]: the walks of c contacts and b bends; r2[c][b] their summed R^2.
  std::vector<std::vector<double>> m_count;
  std::vector<std::vector<double>> m_r2;
};

}  // namespace polychain::reference
