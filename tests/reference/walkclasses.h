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
  double rg2 = 0.0;           // <Rg^2>, about the centre of mass
  double r = 0.0;             // <|R|>
  double logZ = 0.0;          // ln of the sum of the weights, the partition function Z_N
};

class WalkClasses {
 public:
  // Enumerates the walks of `steps` steps (1 to 12), by depth-first search.
  explicit WalkClasses(int steps);

  double walks() const;  // c_N, the number of walks
  WalkMeans means(double contactEnergy, double bendEnergy) const;

 private:
  // count[c][b]: the walks of c contacts and b bends; r2[c][b], rg2[c][b] and r[c][b] their
  // summed R^2, Rg^2 and |R|.
  std::vector<std::vector<double>> m_count;
  std::vector<std::vector<double>> m_r2;
  std::vector<std::vector<double>> m_rg2;
  std::vector<std::vector<double>> m_r;
};

}  // namespace polychain::reference
