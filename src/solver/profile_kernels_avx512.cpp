// The double-double loops on 512-bit vectors (AVX-512F: eight doubles a lane group).
// Compiled with -mavx512f; called only when the processor reports it.
#include "solver/profile_kernels_lanes.h"

#include <immintrin.h>

namespace ptw3 {
namespace {

struct Avx512Lanes {
    using V = __m512d;
    static constexpr int32_t width = 8;
    static V load(const double* p) { return _mm512_loadu_pd(p); }
    static void store(double* p, V v) { _mm512_storeu_pd(p, v); }
    static __mmask8 mask(int32_t lanes) { return static_cast<__mmask8>((1u << lanes) - 1); }
    static V loadFirst(const double* p, int32_t lanes) { return _mm512_maskz_loadu_pd(mask(lanes), p); }
    static void storeFirst(double* p, V v, int32_t lanes) { _mm512_mask_storeu_pd(p, mask(lanes), v); }
    static V broadcast(double x) { return _mm512_set1_pd(x); }
    static V zero() { return _mm512_setzero_pd(); }
    static V add(V a, V b) { return _mm512_add_pd(a, b); }
    static V sub(V a, V b) { return _mm512_sub_pd(a, b); }
    static V mul(V a, V b) { return _mm512_mul_pd(a, b); }
    static V fma(V a, V b, V c) { return _mm512_fmadd_pd(a, b, c); }
    static V fms(V a, V b, V c) { return _mm512_fmsub_pd(a, b, c); }
};

} // namespace

extern const DoubleDoubleKernels avx512DoubleDoubleKernels = {
    "avx512", LaneKernels<Avx512Lanes>::subtractProducts, LaneKernels<Avx512Lanes>::scale,
    LaneKernels<Avx512Lanes>::dot, LaneKernels<Avx512Lanes>::symmetricRow,
    LaneKernels<Avx512Lanes>::multiplySubtract,
    LaneKernels<Avx512Lanes>::multiplySubtractDouble,
    LaneKernels<Avx512Lanes>::subtractProductsDouble, LaneKernels<Avx512Lanes>::dotDouble};

} // namespace ptw3
