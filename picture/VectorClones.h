#pragma once

// The engines' hottest loops are built twice, for the x86-64 baseline and for
// AVX2, and the processor's build is picked when the program starts. No fused
// multiply-add is enabled for either, so both compute the very same values;
// AVX2 only does twice as many of them at once. Helpers of such a loop are
// forced inline so that each build gets its own copy of them.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define MELVARO_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define MELVARO_VECTOR_CLONES
#endif
#define MELVARO_INLINE inline __attribute__((always_inline))
