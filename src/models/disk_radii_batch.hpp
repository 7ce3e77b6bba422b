// Batched uniform disks of many radii at one separation, one version per
// instruction set, all instances of lanes::disk_radii_run: out[i] is the
// magnification of the disk of radius rho[i] at separation u, 0 <= u <= max
// double (Einstein radii), or NaN where the scalar kernel fails.
#pragma once

namespace magnifex::disk_radii_batch {

void disk_radii_run_sse2(double u, const double* rho, unsigned long n, double* out);
void disk_radii_run_avx2(double u, const double* rho, unsigned long n, double* out);
void disk_radii_run_avx512(double u, const double* rho, unsigned long n, double* out);

// out[i] = the scalar kernel's value for (u, rho[i]), NaN where it fails,
// bit for bit, for any u: the widest version this CPU runs where
// 0 <= u <= max double, the scalar kernel elsewhere.
void disk_radii(double u, const double* rho, unsigned long n, double* out);

// The scalar kernel's value, NaN where it fails.
double disk_or_nan(double u, double rho);

}  // namespace magnifex::disk_radii_batch
