// Sources whose radial brightness the caller tabulates: radii bl (source
// radii) and brightness values bf.
#pragma once

#include <vector>

#include "models/outcome.hpp"

namespace magnifex {

Outcome<std::vector<double>> integrated_flux_map_witt_mao_magnification(
    std::vector<double> l, double re, double rstar, std::vector<double> bl, std::vector<double> bf);
Outcome<std::vector<double>> integrated_flux_map_heyrovsky_magnification(
    std::vector<double> l, double re, double rstar, std::vector<double> bl, std::vector<double> bf);
Outcome<std::vector<double>> discrete_flux_map_heyrovsky_magnification(
    std::vector<double> l, double re, double rstar, std::vector<double> bl, std::vector<double> bf);

}  // namespace magnifex
