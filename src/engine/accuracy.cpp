// Error ellipse from the 2×2 cofactor block: the eigenvalues (s ± f)/2 of the block
// give the squared semi-axes, the angle of the eigenvector the azimuth of the major
// axis (tan 2Fi = 2qxy/(qxx − qyy)).

#include "engine/accuracy.h"

#include "common/encoding.h"
#include "common/number_format.h"

#include <cmath>
#include <string_view>

namespace ptw3 {
namespace {

constexpr Real gradsPerRadian = 63.662L; // as the ellipse azimuth is defined, to 5 digits
constexpr Real smallestSum = 0.01L;

} // namespace

ErrorEllipseAxes errorEllipse(Real qxx, Real qyy, Real qxy) {
    const Real d = qxx - qyy;
    const Real e = 2 * qxy;
    const Real f = std::sqrt(std::fabs(d * d + e * e));
    const Real s = qxx + qyy;
    ErrorEllipseAxes axes;
    axes.a = std::sqrt((s + f) / 2 + 1e-12L);
    axes.b = std::sqrt(std::fabs(s - f) / 2 + 1e-12L);
    Real t = std::asin(e / (f + 1e-11L)) * gradsPerRadian;
    if (d < 0) {
        t = 200 - t;
    } else if (e < 0) {
        t = t + 400;
    }
    axes.fi = t / 2;
    return axes;
}

PointAccuracy pointAccuracy(Real qx, Real qy, Real qxx, Real qyy, Real qxy, Real mo) {
    PointAccuracy p;
    p.mx = mo * std::sqrt(std::fabs(qx));
    p.my = mo * std::sqrt(std::fabs(qy));
    p.mp = std::sqrt(p.mx * p.mx + p.my * p.my);
    p.ellipse = errorEllipse(qxx, qyy, qxy);
    p.ellipse.a *= mo;
    p.ellipse.b *= mo;
    return p;
}

std::array<PartialUnitError, observationKindCount>
partialUnitErrors(const UnitErrorSums& in, int32_t unknowns, int32_t observations) {
    std::array<PartialUnitError, observationKindCount> partial{};
    const auto estimate = [](PartialUnitError& p, Real sum) {
        p.shown = true;
        if (sum <= smallestSum) {
            p.mo = 1;
            p.apriori = true;
        } else {
            p.mo = std::sqrt(sum / p.freedom);
        }
    };
    for (size_t i = 0; i < 4; ++i) {
        const int32_t count = in.counts[i];
        const bool present = i == static_cast<size_t>(ObservationKind::Directions)
                                 ? in.schreiberAnglesExist
                                 : count > 0;
        if (!present) {
            continue;
        }
        partial[i].freedom = count - static_cast<Real>(count) * unknowns / (observations + 1e-12L);
        if (partial[i].freedom > 1) {
            estimate(partial[i], in.sums[i]);
        }
    }
    const auto pseudo = static_cast<size_t>(ObservationKind::CoordinatePseudo);
    if (in.counts[pseudo] > 0) {
        partial[pseudo].freedom = in.counts[pseudo];
        estimate(partial[pseudo], in.sums[pseudo]);
    }
    return partial;
}

Real otrebskiFactor(int32_t unknowns, int32_t observations) {
    return std::sqrt(unknowns / (observations + 1e-11L));
}

void writeUnitErrorBlock(ReportFile& report, Real mo,
                         const std::array<PartialUnitError, observationKindCount>& partial,
                         bool robust) {
    report.line("    ");
    report.line("    INFORMACJE KONTROLNE:");
    report.line(cp1250("    Błąd średni jednostkowy Mo = ") + fixed(mo, 10, 5) +
                " (w. niemianowana)");
    if (!robust) {
        report.line(cp1250("    Estymaty cząstkowe Mo i liczby stopni swobody:"));
        struct Label {
            std::string_view mo, f;
        };
        // clang-format off
        constexpr std::array<Label, observationKindCount> labels = {{
            {"    - dla długości      Mo(1) = ", "  f1 = "},
            {"    - dla kątów         Mo(2) = ", "  f2 = "},
            {"    - dla kierunków     Mo(3) = ", "  f3 = "},
            {"    - dla azymutów      Mo(4) = ", "  f4 = "},
            {"    - dla ~x, ~y (naw.) Mo(5) = ", "  f5 = "},
        }};
        // clang-format on
        for (size_t i = 0; i < partial.size(); ++i) {
            if (partial[i].shown) {
                report.line(cp1250(labels[i].mo) + fixed(partial[i].mo, 10, 5) +
                            std::string(labels[i].f) + fixed(partial[i].freedom, 6, 1) +
                            (partial[i].apriori ? " a-priori" : "         "));
            }
        }
    }
    if (mo > 1.1L) {
        report.line(cp1250("    Globalna wartość Mo przekracza >10% wartość nominalną 1.0"));
    } else if (mo > 0.9L) {
        report.line(cp1250("    Globalna wartość Mo wskazuje na poprawność wagowania"));
    }
}

} // namespace ptw3
