// Batched ring averages, one version per instruction set, all instances of the
// template in heyrovsky_lanes.hpp (see lanes::ring_run): rings x[0..n) at one
// separation l and beta, 0 < l < inf, 0 < beta < inf.
#pragma once

namespace magnifex::ring_batch {

void ring_run_sse2(double l, const double* x, unsigned long n, double beta, double* out);
void ring_run_avx2(double l, const double* x, unsigned long n, double beta, double* out);
void ring_run_avx512(double l, const double* x, unsigned long n, double beta, double* out);

}  // namespace magnifex::ring_batch
