// Runtime choice among the versions of a batched kernel compiled for SSE2,
// AVX2 and AVX-512 (elliptic/lanes_*.hpp): one wheel runs on any x86-64 and
// uses the widest instruction set the CPU has.
#pragma once

namespace magnifex::lanes {

// The widest of the three versions this CPU runs (SSE2 is part of x86-64;
// elsewhere the "sse2" version is the generic two-lane one).
template <class Run>
Run widest_supported(Run sse2, [[maybe_unused]] Run avx2, [[maybe_unused]] Run avx512) {
#if defined(__x86_64__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f")) return avx512;
    if (__builtin_cpu_supports("avx2")) return avx2;
#endif
    return sse2;
}

}  // namespace magnifex::lanes
