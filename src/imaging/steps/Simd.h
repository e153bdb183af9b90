#pragma once

// Hot loops are compiled twice, for the baseline instruction set and for AVX2, and the loader
// picks one from the CPU's flags at start-up. Toolchains without function multiversioning
// (the build says so) get the baseline loop only.
#if defined(NIVEXA_HAVE_TARGET_CLONES)
#define NIVEXA_SIMD_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define NIVEXA_SIMD_CLONES
#endif
