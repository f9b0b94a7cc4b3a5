// Every numerical tolerance of the layout solver and of its checks, in one place.
#pragma once

namespace setup::layout {

// The engine: |x| < kNearZero counts as zero. Coefficients below it are
// dropped when a constraint becomes a row, cells that cancel to below it are removed,
// and an artificial objective below it counts as reached.
inline constexpr double kNearZero = 1e-8;

inline bool nearZero(double x) {
  return (x < 0.0 ? -x : x) < kNearZero;
}

// The primal optimisation: an entering coefficient that no row bounds is taken for the
// rounding residue of a cancellation, not for an unbounded objective, when its size is
// below kResidueRelative times max(1, the largest coefficient of that objective).
// (The objective is a sum of non-negative weights times non-negative errors: it cannot
// be unbounded in exact arithmetic, but with the container's weights near 1e9 a
// cancellation leaves residues near 1e-7, above kNearZero.)
inline constexpr double kResidueRelative = 1e-8;

// The checks (tests and benchmark only; the engine never reads these).
namespace check {

// A required constraint holds when its expression misses its bound by at most this.
inline constexpr double kRequiredSlack = 1e-6;

// Two weighted violations agree when they differ by at most
//   kOptimumRelative * max(1, |optimum|) + kValueAbsolute * (sum of the weights):
// solved values carry float64 rounding of about 1e-13 at the magnitudes of the
// checked systems (below 1e3), and a weight up to 1001000999 multiplies it.
inline constexpr double kOptimumRelative = 1e-6;
inline constexpr double kValueAbsolute = 1e-12;

}  // namespace check
}  // namespace setup::layout
