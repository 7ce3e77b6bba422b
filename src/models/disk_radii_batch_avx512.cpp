// The batched disks of many radii for CPUs with AVX512F: 8 doubles a vector. Chosen
// at run time (limb_darkened.cpp); only builtins and intrinsics here, see
// disk_radii_lanes.hpp.
#include "models/disk_radii_batch.hpp"

#if defined(__x86_64__)
#pragma GCC target("avx512f")
#include "elliptic/lanes_avx512.hpp"

#include "models/disk_radii_lanes.hpp"

namespace magnifex::disk_radii_batch {

void disk_radii_run_avx512(double u, const double* rho, unsigned long n, double* out) {
    lanes::disk_radii_run<lanes::Lanes, 8>(u, rho, n, out, disk_or_nan);
}

}  // namespace magnifex::disk_radii_batch

#else
// Not x86-64: never chosen; the scalar kernel does all.
namespace magnifex::disk_radii_batch {

void disk_radii_run_avx512(double u, const double* rho, unsigned long n, double* out) {
    for (unsigned long i = 0; i < n; ++i) out[i] = disk_or_nan(u, rho[i]);
}

}  // namespace magnifex::disk_radii_batch
#endif
