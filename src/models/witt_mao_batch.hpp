// Batched uniform-disk magnifications, one version per instruction set, all
// instances of the templates in witt_mao_lanes.hpp. Each returns how many
// leading separations it did (see lanes::disk_run).
#pragma once

namespace magnifex::disk_batch {

unsigned long disk_run_sse2(const double* l, unsigned long n, double rho, double* out);
unsigned long disk_run_avx2(const double* l, unsigned long n, double rho, double* out);
unsigned long disk_run_avx512(const double* l, unsigned long n, double rho, double* out);

}  // namespace magnifex::disk_batch
