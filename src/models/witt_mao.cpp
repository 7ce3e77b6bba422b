// Magnification of a uniformly bright circular source by a point-mass lens,
// H. J. Witt & S. Mao 1994, ApJ 430, 505, eq. (9):
//   A = [ (u+rho) sqrt(4+(u-rho)^2)/(2 rho^2) E(m)
//         - (u-rho)(8-rho^2+u^2)/(2 rho^2 sqrt(4+(u-rho)^2)) K(m)
//         + (u-rho)^2 (1+rho^2)/(rho^2 (u+rho) sqrt(4+(u-rho)^2)) Pi(n, m) ] / pi
// with n = 4 u rho/(u+rho)^2 and m = 4n/(4+(u-rho)^2); on the limb (u = rho)
//   A = [ 2/rho + (1+rho^2)/rho^2 (pi/2 + asin((rho^2-1)/(rho^2+1))) ] / pi.
// The three terms are each O(1/rho^2) and cancel to O(1): for rho -> 0 the
// relative rounding error grows like eps/rho^2.
#include "models/witt_mao.hpp"

#include <cmath>
#include <utility>

#include "elliptic/carlson.hpp"
#include "elliptic/complete.hpp"

namespace magnifex {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 6.283185307179586;
constexpr double kHalfPi = 1.5707963267948966;

// The general form loses accuracy as u -> rho (its terms cancel), the limb form
// is off by O(|u - rho|/rho). The band below, relative to rho, is where the two
// errors meet (about 2e-5 relative). Non-strict so that rho = 0 (rstar = 0)
// takes the limb form and gives NaN rather than a convergence failure.
constexpr double kLimbBand = 3e-6;

// Everything that depends on the source radius alone, formed once per source.
class UniformDisk {
public:
    explicit UniformDisk(double rho)
        : rho_(rho),
          rho2_(rho * rho),
          four_rho_(4.0 * rho),
          two_rho2_(rho2_ + rho2_),
          one_plus_rho2_(1.0 + rho2_),
          two_over_rho_(2.0 / rho),
          limb_ratio_(one_plus_rho2_ / rho2_),
          limb_arg_((-1.0 + rho2_) / one_plus_rho2_) {}

    Fallible at(double u) const {
        const double delta = u - rho_;
        if (std::fabs(delta) <= kLimbBand * rho_) {
            return Fallible::ok(((std::asin(limb_arg_) + kHalfPi) * limb_ratio_ + two_over_rho_) / kPi);
        }
        const double sigma = rho_ + u;
        const double n = (four_rho_ * u) / (sigma * sigma);
        const double delta2 = delta * delta;
        const double q = std::sqrt(delta2 + 4.0);
        const double k = std::sqrt(n * 4.0) / q;  // m = 4n/(delta^2+4), through k
        const double m = k * k;
        const double h = (u * u - rho2_) * 0.5;

        const Fallible e = ellipe(m);
        if (e.failed()) return e;
        const Fallible kk = ellipk(m);
        if (kk.failed()) return kk;
        const Fallible pi = ellippi(n, m);
        if (pi.failed()) return pi;

        const double t_e = e.value * ((q * sigma) / two_rho2_);
        const double t_k = kk.value * ((delta * (h + 4.0)) / (rho2_ * q));
        const double t_pi = pi.value * ((one_plus_rho2_ * (delta2 + delta2)) / ((rho2_ * sigma) * q));
        const double s = t_pi + (t_e - t_k);
        // S/pi, as two quotients whose sum fixes the rounding.
        return Fallible::ok((s + kPi) / kTwoPi + (s - kPi) / kTwoPi);
    }

private:
    double rho_, rho2_, four_rho_, two_rho2_, one_plus_rho2_, two_over_rho_, limb_ratio_, limb_arg_;
};

}  // namespace

Fallible witt_mao_kernel(double u, double rho) { return UniformDisk(rho).at(u); }

// With K = RF(0,c,1), E = RF - (m/3) RD(0,c,1) and Pi = RF + (n/3) RJ(0,c,1,1-n)
// (DLMF 19.25.1, c = 1 - m), h = (u - rho)(u + rho)/2 and 1 - n = p = (u-rho)^2/(u+rho)^2,
// the three terms of the Witt-Mao form collapse to
//   pi A = (2q/sigma) RF(0,c,1) + 8u/(3 rho sigma q) [ p (1+rho^2) RJ(0,c,1,p) - RD(0,c,1) ],
// sigma = u + rho, q = sqrt((u-rho)^2 + 4): the RF coefficients sum exactly to 2q/sigma, so
// only the O(rho/u) bracket cancels, against a prefactor O(u/rho) instead of O((u/rho)^2).
Fallible witt_mao_carlson_kernel(double u, double rho) {
    const double delta = u - rho;
    if (std::fabs(delta) <= kLimbBand * rho) return witt_mao_kernel(u, rho);
    const double sigma = u + rho;
    const double delta2 = delta * delta;
    const double q = std::sqrt(delta2 + 4.0);
    const double n = (4.0 * rho * u) / (sigma * sigma);
    const double c = 1.0 - (4.0 * n) / (q * q);
    const double p = delta2 / (sigma * sigma);

    const Fallible rf = elliprf(0.0, c, 1.0);
    if (rf.failed()) return rf;
    const Fallible rd = elliprd(0.0, c, 1.0);
    if (rd.failed()) return rd;
    const Fallible rj = elliprj(0.0, c, 1.0, p);
    if (rj.failed()) return rj;

    const double s = ((2.0 * q) / sigma) * rf.value +
                     ((8.0 * u) / (3.0 * rho * sigma * q)) * (p * (1.0 + rho * rho) * rj.value - rd.value);
    return Fallible::ok(s / kPi);
}

Outcome<std::vector<double>> witt_mao_magnification(std::vector<double> l, double re, double rstar) {
    const double rho = rstar / re;
    const UniformDisk disk(rho);
    std::vector<double> result;
    result.reserve(l.size());
    for (const double li : l) {
        const Fallible a = disk.at(li * rho);
        if (a.failed()) return PendingRuntimeError{a.failure};
        result.push_back(a.value);
    }
    return result;
}

}  // namespace magnifex
