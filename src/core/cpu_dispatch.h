// Kernels with a second build for processors with AVX2: the one to call is chosen once at start
// from what the processor reports, so the default build stays portable.
#pragma once

#if defined(__x86_64__) && defined(__GNUC__)
#define VKEST_AVX2 [[gnu::target("avx2")]]
#define VKEST_AVX2_FMA [[gnu::target("avx2,fma")]]
#else
#define VKEST_AVX2
#define VKEST_AVX2_FMA
#endif

// avx2 where the processor has AVX2 (and FMA when fma is set), else baseline.
template <class Kernel> Kernel ChooseByProcessor(Kernel baseline, Kernel avx2, bool fma) {
#if defined(__x86_64__) && defined(__GNUC__)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2") && (!fma || __builtin_cpu_supports("fma"))) return avx2;
#endif
  return baseline;
}
