// ln x = e ln 2 + 2 atanh z with x = m 2^e, m in [sqrt(1/2), sqrt 2), z = (m - 1)/(m + 1);
// atan t by the half-angle identity atan t = 2 atan(t / (1 + sqrt(1 + t^2))) applied
// until |t| < tan(pi/32), then its Maclaurin series; both series summed by Horner's rule.
#include "bench/portable_math.h"

#include <cassert>
#include <cmath>

namespace ptw3::bench {
namespace {

constexpr double ln2 = 0.693147180559945309417232121458176568;
constexpr double sqrtHalf = 0.707106781186547524400844362104849039;
constexpr double gradPerRadian = 63.6619772367581343075535053490057448; // 200 / pi
constexpr double fullCircleGrad = 400;
constexpr double quarterCircleGrad = 100;
constexpr double halfCircleGrad = 200;

// |z| <= 0.1716, so z^2 <= 0.0295 and the 13th term is below 1e-19 of the sum.
constexpr int atanhTerms = 13;
// Three halvings leave |t| <= tan(pi/32) = 0.0985; the 9th series term is below 1e-19.
constexpr int atanHalvings = 3;
constexpr int atanTerms = 9;

// sum over k < terms of sign^k z^(2k) / (2k + 1), by Horner's rule in z^2.
double oddSeriesFactor(double z2, int terms, double sign) {
    double sum = 1.0 / (2 * terms - 1);
    for (int k = terms - 2; k >= 0; --k) {
        sum = 1.0 / (2 * k + 1) + sign * z2 * sum;
    }
    return sum;
}

// atan t in radians for 0 <= t <= 1.
double arcTangentUnit(double t) {
    double u = t;
    for (int k = 0; k < atanHalvings; ++k) {
        u = u / (1 + std::sqrt(1 + u * u));
    }
    return (1 << atanHalvings) * u * oddSeriesFactor(u * u, atanTerms, -1);
}

} // namespace

double naturalLog(double x) {
    assert(x > 0);
    int e = 0;
    double m = std::frexp(x, &e); // exact: m in [1/2, 1)
    if (m < sqrtHalf) {
        m *= 2;
        --e;
    }
    const double z = (m - 1) / (m + 1);
    return e * ln2 + 2 * z * oddSeriesFactor(z * z, atanhTerms, 1);
}

double bearingGrad(double dx, double dy) {
    assert(dx != 0 || dy != 0);
    const double ax = std::fabs(dx);
    const double ay = std::fabs(dy);
    // The angle from the nearer axis keeps the argument of atan within [0, 1].
    const double fromNorthGrad = ay <= ax
                                     ? gradPerRadian * arcTangentUnit(ay / ax)
                                     : quarterCircleGrad - gradPerRadian * arcTangentUnit(ax / ay);
    if (dx >= 0 && dy >= 0) {
        return fromNorthGrad;
    }
    if (dx < 0 && dy >= 0) {
        return halfCircleGrad - fromNorthGrad;
    }
    if (dx < 0) {
        return halfCircleGrad + fromNorthGrad;
    }
    return normalizedGrad(fullCircleGrad - fromNorthGrad);
}

double normalizedGrad(double angleGrad) {
    double a = std::fmod(angleGrad, fullCircleGrad); // exact
    if (a < 0) {
        a += fullCircleGrad;
    }
    return a < fullCircleGrad ? a : 0.0;
}

} // namespace ptw3::bench
