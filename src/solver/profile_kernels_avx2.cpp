// The double-double loops on 256-bit vectors (AVX2 with FMA: four doubles a lane group).
// Compiled with -mavx2 -mfma; called only when the processor reports both.
#include "solver/profile_kernels_lanes.h"

#include <immintrin.h>

namespace ptw3 {
namespace {

struct Avx2Lanes {
    using V = __m256d;
    static constexpr int32_t width = 4;
    static V load(const double* p) { return _mm256_loadu_pd(p); }
    static void store(double* p, V v) { _mm256_storeu_pd(p, v); }
    /// All ones in the 64 bits of each of the first `lanes` lanes.
    static __m256i mask(int32_t lanes) {
        return _mm256_cmpgt_epi64(_mm256_set1_epi64x(lanes), _mm256_setr_epi64x(0, 1, 2, 3));
    }
    static V loadFirst(const double* p, int32_t lanes) { return _mm256_maskload_pd(p, mask(lanes)); }
    static void storeFirst(double* p, V v, int32_t lanes) { _mm256_maskstore_pd(p, mask(lanes), v); }
    static V broadcast(double x) { return _mm256_set1_pd(x); }
    static V zero() { return _mm256_setzero_pd(); }
    static V add(V a, V b) { return _mm256_add_pd(a, b); }
    static V sub(V a, V b) { return _mm256_sub_pd(a, b); }
    static V mul(V a, V b) { return _mm256_mul_pd(a, b); }
    static V fma(V a, V b, V c) { return _mm256_fmadd_pd(a, b, c); }
    static V fms(V a, V b, V c) { return _mm256_fmsub_pd(a, b, c); }
};

} // namespace

extern const DoubleDoubleKernels avx2DoubleDoubleKernels = {
    "avx2", LaneKernels<Avx2Lanes>::subtractProducts, LaneKernels<Avx2Lanes>::scale,
    LaneKernels<Avx2Lanes>::dot, LaneKernels<Avx2Lanes>::symmetricRow,
    LaneKernels<Avx2Lanes>::multiplySubtract,
    LaneKernels<Avx2Lanes>::multiplySubtractDouble,
    LaneKernels<Avx2Lanes>::subtractProductsDouble, LaneKernels<Avx2Lanes>::dotDouble};

} // namespace ptw3
