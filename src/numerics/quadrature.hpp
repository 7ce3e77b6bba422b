// (declarations; implemented in this header)
#pragma once
#include <cstdint>
namespace magnifex {
struct QuadratureResult {
    double error_estimate;
    double integral;
    std::uint32_t evaluation_count;
};
// template <class F> QuadratureResult integrate(F&& f, double a, double b, double tolerance);
}  // namespace magnifex
