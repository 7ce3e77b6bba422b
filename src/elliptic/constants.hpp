// Constants shared by the elliptic-integral routines.
#pragma once

namespace magnifex::elliptic_detail {

inline constexpr double kPi = 3.141592653589793;
inline constexpr double kPiOver2 = 1.5707963267948966;
// 64-bit machine epsilon, 2^-52.
inline constexpr double kEpsilon = 2.220446049250313e-16;
// Relative stop test of the arithmetic-geometric mean used by the one-zero
// forms of RF and RD: 2.7 eps, a few ulps above where the iteration stalls.
inline constexpr double kAgmTolerance = 5.995204332975846e-16;

}  // namespace magnifex::elliptic_detail
