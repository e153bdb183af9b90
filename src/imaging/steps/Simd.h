#pragma once

// Hot loops are compiled twice, for the baseline instruction set and for AVX2, and the loader
// picks one from the CPU's flags at start-up. Toolchains without function multiversioning
// (the build says so) get the baseline loop only.
#if defined(NIVEXA_HAVE_TARGET_CLONES)
#define NIVEXA_SIMD_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define NIVEXA_SIMD_CLONES
#endif

// Kernels written with AVX2 intrinsics are compiled for that target function by function and
// chosen at run time by `useAvx2()`: no loader resolver is involved, so sanitizer builds run
// them too.
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define NIVEXA_HAVE_AVX2_KERNELS 1
#endif

namespace nivexa::imaging::steps {

// Whether the hand-written AVX2 kernels run: the processor has AVX2 and no test turned them off.
bool useAvx2();
// Tests run the portable kernels on machines that have AVX2 too; never switched in production.
void setAvx2Allowed(bool allowed);

}  // namespace nivexa::imaging::steps
