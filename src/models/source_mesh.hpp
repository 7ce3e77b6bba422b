// The partition of the source's radius into pieces on which fixed quadrature
// rules are accurate. The integrand of a limb-darkened source, written in the
// angle theta with x = sin(theta) (x the radius in source radii, mu = cos
// theta), is analytic except where the ring through the lens meets a
// singularity of the point-lens kernel:
//   x = +-l            the lens itself: the ring average is log-singular,
//   x = +-l +- 2i/rho  the kernel's branch points, one Einstein radius
//                      scale (2/rho source radii) from the lens,
// each at theta = asin(x) and its images pi - theta, -theta, ..., and, for
// the bases that are not analytic there, the limb theta = pi/2.
//
// A piece whose ends are regular is integrated by Gauss-Legendre, whose
// error falls like r^(-2n) with r the parameter of the largest Bernstein
// ellipse around the piece that holds no singularity (Trefethen 2008, SIAM
// Rev. 50, 67); a piece that ends at the lens by the logarithmic generalized
// Gauss rule, and one that ends at the limb by product weights for the
// basis's power of mu; both converge like r^(-n). The partition takes, from
// one end, the longest piece whose ellipse of parameter kGaussEllipse
// (kEndEllipse for the pieces at a singular end) clears every singularity:
// the pieces shrink geometrically towards a singular point and stay long
// where the integrand is smooth. The longest piece from p is closed form: z
// lies on the ellipse of parameter r of [p, p + t] when
//   |z - p| + |z - p - t| = t s,  s = (r + 1/r)/2,  i.e.  t = 2 (s |z - p| - Re(z - p)) / (s^2 - 1).
#pragma once

#include <complex>
#include <cstddef>
#include <span>

namespace magnifex {

// The end rules converge like r^-n: the pieces at the lens and the limb
// take r = 5.8 (5.8^-12 = 7e-10 by the bound, ~1e-15 measured for the
// logarithmic rule, whose error constant is small; the limb's product rule
// takes 16 nodes for it). Just under 3 + sqrt(8), the parameter of a point
// as far beyond a piece's end as the piece is long: the lens's mirror images
// across the centre and the limb (-theta_l, pi - theta_l) lie twice as far
// from it as those are, so the part on either side of the lens is one piece
// unless the lens is near the centre or the kernel's branch points are near.
// An integrand with a pole at the limb takes r = 8 (source_pass.cpp).
#ifndef MAGNIFEX_TUNE_END_ELLIPSE
inline constexpr double kEndEllipse = 5.8;
#else
inline constexpr double kEndEllipse = MAGNIFEX_TUNE_END_ELLIPSE;
#endif
inline constexpr double kPoleEndEllipse = 8.0;
// Bernstein-ellipse parameter of the Gauss pieces: 12-point Gauss-Legendre
// on a piece whose ellipse of parameter 4 holds no singularity errs by
// ~4^-24 = 4e-15 of the piece's scale. Measured against the mpmath oracle
// (tests/python/test_law_oracle.py).
#ifndef MAGNIFEX_TUNE_GAUSS_ELLIPSE
inline constexpr double kGaussEllipse = 4.0;
#else
inline constexpr double kGaussEllipse = MAGNIFEX_TUNE_GAUSS_ELLIPSE;
#endif

enum class PieceRule {
    Gauss,       // Gauss-Legendre
    LogAtStart,  // logarithmic rule, singular at lo
    LogAtEnd,    // logarithmic rule, singular at hi
};

struct Piece {
    double lo, hi;
    PieceRule rule;
};

// (r + 1/r)/2 of an ellipse parameter r: the sum of a point's distances to
// the foci over the foci's distance, on the ellipse.
inline constexpr double half_sum(double r) { return (r + 1.0 / r) * 0.5; }

// The longest t, at most cap, such that every point lies on or outside the
// ellipse of parameter r of [p, p + t] (direction +1) or [p - t, p] (-1).
double clear_length(std::span<const std::complex<double>> points, double p, double r, double direction, double cap);

// The half_sum of the largest ellipse with foci a < b that holds none of
// the points inside: the least (|z - a| + |z - b|)/(b - a).
double clear_ellipse(std::span<const std::complex<double>> points, double a, double b);

// The pieces of [a, b] (in order) admissible with respect to `singular`;
// start_rule / end_rule: the rule of the piece at a / at b when that end is
// itself singular (LogAtStart or LogAtEnd), or Gauss when it is not.
// Returns the number of pieces written (at most out.size()). `end_ellipse`:
// the ellipse parameter of the pieces at a singular end (kEndEllipse, or
// kPoleEndEllipse). `merge`: a last Gauss piece shorter than kMergeFraction
// of the one before joins it (one piece fewer, on an ellipse up to that much
// narrower).
std::size_t partition(double a, double b, std::span<const std::complex<double>> singular, PieceRule start_rule,
                      PieceRule end_rule, double end_ellipse, std::span<Piece> out, bool merge = true);

}  // namespace magnifex
