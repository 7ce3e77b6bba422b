#include "models/light_curve.hpp"

#include <cmath>
#include <vector>

namespace magnifex {

namespace {

// a b, with 0 for a zero factor whatever the other (an infinite slope times
// a motion that vanishes).
double product(double a, double b) { return a == 0.0 || b == 0.0 ? 0.0 : a * b; }

}  // namespace

void light_curve(const LimbDarkenedSource& source, std::span<const double> t, double t0, double u0, double te,
                 double rho, double* value, double* jacobian) {
    const std::size_t n = t.size();
    std::vector<double> tau(n), u(n);
    for (std::size_t i = 0; i < n; ++i) {
        tau[i] = (t[i] - t0) / te;
        u[i] = std::hypot(tau[i], u0);
    }
    if (jacobian == nullptr) {
        source.magnify(u, rho, value, nullptr);
        return;
    }
    const std::size_t inner = source.jacobian_width();  // d/du, d/drho, d/dc
    const std::size_t width = inner + 2;
    const std::size_t bands = source.bands();
    std::vector<double> partial(bands * n * inner);
    source.magnify(u, rho, value, partial.data());
    for (std::size_t band = 0; band < bands; ++band) {
        for (std::size_t i = 0; i < n; ++i) {
            const double* p = partial.data() + (band * n + i) * inner;
            double* row = jacobian + (band * n + i) * width;
            const double a_u = p[0];
            // At u = 0 the slope in u vanishes by symmetry and so do these.
            const double ui = u[i];
            // tau/u (at most 1) first, so that te u cannot underflow to 0.
            const double ratio = ui == 0.0 ? 0.0 : tau[i] / ui;
            const double du_dt0 = -ratio / te;
            const double du_du0 = ui == 0.0 ? 0.0 : u0 / ui;
            const double du_dte = -(tau[i] * ratio) / te;
            row[0] = product(a_u, du_dt0);
            row[1] = product(a_u, du_du0);
            row[2] = product(a_u, du_dte);
            for (std::size_t j = 1; j < inner; ++j) row[2 + j] = p[j];
            if (std::isnan(ui)) {
                for (std::size_t j = 0; j < width; ++j) row[j] = ui;
            }
        }
    }
}

}  // namespace magnifex
