// The profile solver's loops in the extended type, the one-lane double-double loops, and
// the choice of the widest double-double loops the processor can run.
#include "solver/profile_kernels_lanes.h"

#include <algorithm>
#include <array>

namespace ptw3 {

extern const DoubleDoubleKernels avx512DoubleDoubleKernels;
extern const DoubleDoubleKernels avx2DoubleDoubleKernels;

namespace {

const DoubleDoubleKernels scalarDoubleDoubleKernels = {
    "scalar", LaneKernels<ScalarLanes>::subtractProducts, LaneKernels<ScalarLanes>::scale,
    LaneKernels<ScalarLanes>::dot, LaneKernels<ScalarLanes>::symmetricRow,
    LaneKernels<ScalarLanes>::multiplySubtract,
    LaneKernels<ScalarLanes>::multiplySubtractDouble,
    LaneKernels<ScalarLanes>::subtractProductsDouble, LaneKernels<ScalarLanes>::dotDouble};

/// Sources applied together: with the 80-bit loads and stores costing far more than the
/// arithmetic, each target element is loaded and stored once for four of them. The result
/// is that of one source at a time, since the running value stays in an 80-bit register.
constexpr int32_t extendedGroup = 4;

template <int K>
void subtractGroup(Real* x, int32_t count, const Real* const* u, const Real* f) {
    const Real f0 = f[0];
    [[maybe_unused]] const Real f1 = K > 1 ? f[1] : 0;
    [[maybe_unused]] const Real f2 = K > 2 ? f[2] : 0;
    [[maybe_unused]] const Real f3 = K > 3 ? f[3] : 0;
    const Real* u0 = u[0];
    [[maybe_unused]] const Real* u1 = K > 1 ? u[1] : nullptr;
    [[maybe_unused]] const Real* u2 = K > 2 ? u[2] : nullptr;
    [[maybe_unused]] const Real* u3 = K > 3 ? u[3] : nullptr;
    for (int32_t m = 0; m < count; ++m) {
        Real e = x[m] - f0 * u0[m];
        if constexpr (K > 1) {
            e -= f1 * u1[m];
        }
        if constexpr (K > 2) {
            e -= f2 * u2[m];
        }
        if constexpr (K > 3) {
            e -= f3 * u3[m];
        }
        x[m] = e;
    }
}

const DoubleDoubleKernels& chosenKernels() {
    static const DoubleDoubleKernels* const chosen = [] {
        std::array<const DoubleDoubleKernels*, 3> list{};
        availableDoubleDoubleKernels(list.data(), static_cast<int32_t>(list.size()));
        return list[0];
    }();
    return *chosen;
}

} // namespace

void subtractProducts(Real* target, int32_t count, const Real* const* sources,
                      const Real* factors, int32_t sourceCount) {
    for (int32_t s = 0; s < sourceCount; s += extendedGroup) {
        const Real* const* u = sources + s;
        const Real* f = factors + s;
        switch (std::min(extendedGroup, sourceCount - s)) {
        case 1:
            subtractGroup<1>(target, count, u, f);
            break;
        case 2:
            subtractGroup<2>(target, count, u, f);
            break;
        case 3:
            subtractGroup<3>(target, count, u, f);
            break;
        default:
            subtractGroup<4>(target, count, u, f);
            break;
        }
    }
}

void scale(Real* target, int32_t count, Real factor) {
    for (int32_t m = 0; m < count; ++m) {
        target[m] *= factor;
    }
}

Real dot(Real init, const Real* a, const Real* b, int32_t count) {
    Real h = init;
    for (int32_t m = 0; m < count; ++m) {
        h += a[m] * b[m];
    }
    return h;
}

void subtractProducts(DoubleDoubleRow target, int32_t count, const DoubleDoubleRow* sources,
                      const DoubleDouble* factors, int32_t sourceCount) {
    chosenKernels().subtractProducts(target, count, sources, factors, sourceCount);
}

void scale(DoubleDoubleRow target, int32_t count, DoubleDouble factor) {
    chosenKernels().scale(target, count, factor);
}

DoubleDouble dot(DoubleDouble init, DoubleDoubleRow a, DoubleDoubleRow b, int32_t count) {
    return chosenKernels().dot(init, a, b, count);
}

void multiplySubtract(DoubleDoubleRow c, int64_t ldc, DoubleDoubleRow a, int64_t lda,
                      DoubleDoubleRow b, int64_t ldb, int32_t rows, int32_t columns, int32_t depth) {
    chosenKernels().multiplySubtract(c, ldc, a, lda, b, ldb, rows, columns, depth);
}

void subtractProducts(DoubleRow target, int32_t count, const DoubleRow* sources,
                      const double* factors, int32_t sourceCount) {
    chosenKernels().subtractProductsDouble(target, count, sources, factors, sourceCount);
}

void scale(DoubleRow target, int32_t count, double factor) {
    for (int32_t m = 0; m < count; ++m) {
        target.v[m] *= factor;
    }
}

double dot(double init, DoubleRow a, DoubleRow b, int32_t count) {
    return chosenKernels().dotDouble(init, a, b, count);
}

void multiplySubtract(DoubleRow c, int64_t ldc, DoubleRow a, int64_t lda, DoubleRow b,
                      int64_t ldb, int32_t rows, int32_t columns, int32_t depth) {
    chosenKernels().multiplySubtractDouble(c, ldc, a, lda, b, ldb, rows, columns, depth);
}

void symmetricRow(DoubleDoubleRow z, int32_t count, const DoubleDoubleRow* u,
                  const DoubleDoubleRow* s, int32_t rows, DoubleDouble* dots) {
    chosenKernels().symmetricRow(z, count, u, s, rows, dots);
}

void symmetricRow(const Real* z, int32_t count, const Real* const* u, Real* const* s,
                  int32_t rows, Real* dots) {
    for (int32_t p = 0; p < rows; ++p) {
        const Real* up = u[p];
        Real* sp = s[p];
        const Real f = up[0];
        Real h = 0;
        for (int32_t j = 1; j < count; ++j) {
            h += up[j] * z[j];
            sp[j] += f * z[j];
        }
        dots[p] = h;
    }
}

int32_t availableDoubleDoubleKernels(const DoubleDoubleKernels** list, int32_t capacity) {
    int32_t count = 0;
    const auto add = [&](const DoubleDoubleKernels& kernels) {
        if (count < capacity) {
            list[count++] = &kernels;
        }
    };
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f")) {
        add(avx512DoubleDoubleKernels);
    }
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) {
        add(avx2DoubleDoubleKernels);
    }
    add(scalarDoubleDoubleKernels);
    return count;
}

} // namespace ptw3
