// The baseline (SSE2, or one-lane elsewhere) batched disks of many radii, the
// scalar fallback, and the choice of the widest version the CPU runs.
#include "models/disk_radii_batch.hpp"

#include "models/witt_mao.hpp"

#include "elliptic/lanes_dispatch.hpp"
#include "elliptic/lanes_sse2.hpp"

#include "models/disk_radii_lanes.hpp"

namespace magnifex::disk_radii_batch {

double disk_or_nan(double u, double rho) {
    const Fallible a = witt_mao_carlson_kernel(u, rho);
    return a.failed() ? __builtin_nan("") : a.value;
}

void disk_radii_run_sse2(double u, const double* rho, unsigned long n, double* out) {
    lanes::disk_radii_run<lanes::Lanes2, 2>(u, rho, n, out, disk_or_nan);
}

namespace {

using DiskRadiiRun = void (*)(double, const double*, unsigned long, double*);

DiskRadiiRun pick_disk_radii_run() {
    return lanes::widest_supported<DiskRadiiRun>(disk_radii_run_sse2, disk_radii_run_avx2, disk_radii_run_avx512);
}

}  // namespace

void disk_radii(double u, const double* rho, unsigned long n, double* out) {
    static const DiskRadiiRun run = pick_disk_radii_run();
    if (u >= 0.0 && u <= lanes::kMax) {
        run(u, rho, n, out);
        return;
    }
    for (unsigned long i = 0; i < n; ++i) out[i] = disk_or_nan(u, rho[i]);
}

}  // namespace magnifex::disk_radii_batch
