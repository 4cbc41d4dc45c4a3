// The distance block of an adjustment pass: each length reduced to the plane of the coordinate
// system (projection reduction; height reduction for lengths measured on the ground), its
// observation equation at the working coordinates, the listing of the first iteration, and in
// the last pass the adjusted lengths with their mean errors, the residual statistics, the
// systematic scale postulate and the mean projection distortion the result files write back.
#include "common/encoding.h"
#include "common/number_format.h"
#include "engine/observation_blocks.h"
#include "engine/pass_progress.h"
#include "engine/residual_analysis.h"
#include "engine/weighting.h"
#include "observations/distance_observations.h"

#include <array>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ptw3 {
namespace {

/// A postulated height change beyond this (m) points the user at the heights.
constexpr Real heightHintLimitM = 10;

// clang-format off
constexpr std::string_view listingTitle =
    "  DŁUGOŚCI BOKÓW, BŁĘDY ŚREDNIE, REDUKCJE ODWZOROWAWCZE";
constexpr std::array<std::string_view, 5> listingHeader = {
    "  ------------------------------------------------------------------- tarvel_2006----",
    "  |          PLANY   BOKÓW          | DŁUG.OBS.|BŁ.ŚR |     REDUKCJE    |OBS.ZREDUK.|",
    "  |---------------------------------|          |      |-----------------|           |",
    "  |        Nr(i)   |       Nr(j)    |  D(obs)  |  mD  |dD(odwz)| dD(wys)|  D(zred)  |",
    "  |----------------+----------------+----------+------+--------+--------+-----------|"};
constexpr std::string_view freeTermTitle =
    "  DŁUGOŚCI BOKÓW, BŁĘDY ŚREDNIE, REDUKCJE, WYRAZY WOLNE RÓWNAŃ POPRAWEK";
constexpr std::array<std::string_view, 5> freeTermHeader = {
    "  ------------------------------------------------------------------- tarvel_2006--------------",
    "  |          PLANY   BOKÓW          | DŁUG.OBS.|BŁ.ŚR |     REDUKCJE    |OBS.ZREDUK.| Wyrazy  |",
    "  |---------------------------------|          |      |-----------------|           | wolne   |",
    "  |        Nr(i)   |       Nr(j)    |  D(obs)  |  mD  |dD(odwz)| dD(wys)|  D(zred)  |         |",
    "  |----------------+----------------+----------+------+--------+--------+-----------+---------|"};
constexpr std::string_view listingClassical =
    "  |      ... długości klasyczne ...                                                 |";
constexpr std::string_view freeTermClassical =
    "  |      ... długości klasyczne ...                                                           |";
constexpr std::string_view listingGps =
    "  |      ... długości jako pseudoobserwacje GPS ...                                 |";
constexpr std::string_view freeTermGps =
    "  |      ... długości jako pseudoobserwacje GPS ...                                           |";
constexpr std::string_view listingEnd =
    "  -----------------------------------------------------------------------------------";
constexpr std::string_view freeTermEnd =
    "  ---------------------------------------------------------------------------------------------";

constexpr std::string_view resultTitle = "  WYRÓWNANIE DŁUGOŚCI BOKÓW";
constexpr std::string_view outlierTitle = "  WYKAZ \"ODSTAJĄCYCH\" OBSERWACJI DŁUGOŚCI";
constexpr std::array<std::string_view, 5> resultHeader = {
    "  ---------------------------------------------------------------------- tarvel_2006-----",
    "  |           PLANY BOKÓW           |    OBSERWACJE   |       WYNIKI WYRÓWNANIA         |",
    "  |---------------------------------+-----------------+---------------------------------|",
    "  |          Nr(i) |          Nr(j) |D+redukcje| mD*Mo|    V   |  mV  |    Dwyr  | mDwyr|",
    "  |----------------+----------------+----------+------+--------+------+----------+------|"};
constexpr std::string_view resultClassical =
    "  |      ... długości klasyczne ...                                                     |";
constexpr std::string_view resultGps =
    "  |      ... długości jako pseudoobserwacje GPS ...                                     |";
constexpr std::string_view resultEnd =
    "  ---------------------------------------------------------------------------------------";

constexpr std::string_view coincidenceText = " *** Podobne współrzędne przybliżone punktów: ";
constexpr std::string_view reductionText = " *** ZBYT DUŻA REDUKCJA ODWZOROWAWCZA DLUGOSCI";
constexpr std::string_view reductionQuestion =
    " *** ZBYT DUŻA REDUKCJA ODWZOROWAWCZA DLUGOSCI\n"
    "     sprawdź poprawnosc wyboru ukladu i strefy\n"
    "     Czy chcesz liczyć dalej?";
constexpr std::string_view continueQuestion = "     Czy chcesz liczyć dalej?";
// clang-format on

/// One distance of the pass, reduced and linearised at the working coordinates.
struct ReducedDistance {
    int32_t i = 0, j = 0; ///< point indices; i is the end with the smaller position
    bool gps = false;
    Real measuredM = 0;  ///< D
    Real meanErrorM = 0; ///< mD
    ProjectionReduction projection;
    Real heightReductionM = 0; ///< dD(wys)
    Real reducedM = 0;         ///< D(zred)
    DistanceEquation equation;
    Real weightRoot = 0; ///< s = 1/mD (1/m), robust-reduced when distances are so estimated
};

ReducedDistance reduceDistance(const AdjustmentState& s, int32_t k) {
    const NetworkData& n = s.network;
    const LineObservation& o = n.distances[k];
    ReducedDistance r;
    r.i = o.from;
    r.j = o.to;
    if (n.ordering.position[r.j] < n.ordering.position[r.i]) {
        std::swap(r.i, r.j);
    }
    r.gps = k > n.ldk;
    r.measuredM = o.value;
    r.meanErrorM = o.meanError;
    const WorkingPoint& wi = s.working[r.i];
    const WorkingPoint& wj = s.working[r.j];
    const GridPoint pi{wi.x, wi.y};
    const GridPoint pj{wj.x, wj.y};
    r.projection = projectionReduction(s.projection, pi, pj, o.value);
    // A GPS length lies on the ellipsoid already.
    r.heightReductionM =
        r.gps ? 0 : heightReduction(wi.h, wj.h, s.projection.geoidUndulation, o.value);
    r.reducedM = o.value + r.projection.lengthM + r.heightReductionM;
    r.equation = distanceEquation(pi, pj, r.reducedM);
    r.weightRoot = 1 / o.meanError;
    if (s.robustDistances) {
        r.weightRoot = robustWeightRoot(r.weightRoot, r.equation.freeTermM);
    }
    return r;
}

/// The row of the distance multiplied by the factor; fixed points' coefficients are dropped.
EquationRow equationRow(const NetworkData& n, const ReducedDistance& r, Real factor) {
    const std::array<Real, 4>& c = r.equation.coefficients;
    return lineEquationRow(n, r.i, r.j, c[0] * factor, c[1] * factor, c[2] * factor,
                           c[3] * factor);
}

std::string ends(const NetworkData& n, const ReducedDistance& r) {
    return "  |" + rightAlign(n.points[r.i].number, pointNumberWidth) + "|" +
           rightAlign(n.points[r.j].number, pointNumberWidth) + "|";
}

// Both questions write their line to the control report first; Yes goes on (a nearly
// coincident line with d = 0.1 m in its coefficients), No stops the computation.
void askAboutCoincidence(AdjustmentState& s, const ReducedDistance& r) {
    const std::string text =
        cp1250(coincidenceText) + s.network.points[r.i].number + " " + s.network.points[r.j].number;
    s.controlReport.line(text);
    askToContinue(s, text + "\n" + cp1250(continueQuestion));
}

void askAboutReduction(AdjustmentState& s) {
    s.controlReport.line(cp1250(reductionText));
    askToContinue(s, cp1250(reductionQuestion));
}

void writeListingHeader(AdjustmentState& s) {
    s.mainReport.line(" ");
    s.mainReport.line(cp1250(listingTitle));
    s.controlReport.line(cp1250(freeTermTitle));
    for (size_t k = 0; k < listingHeader.size(); ++k) {
        s.mainReport.line(cp1250(listingHeader[k]));
        s.controlReport.line(cp1250(freeTermHeader[k]));
    }
    if (s.network.ldk > 0) {
        s.mainReport.line(cp1250(listingClassical));
        s.controlReport.line(cp1250(freeTermClassical));
    }
}

void writeListingRow(AdjustmentState& s, const ReducedDistance& r, int32_t k) {
    if (k == s.network.ldk + 1) {
        s.mainReport.line(cp1250(listingGps));
        s.controlReport.line(cp1250(freeTermGps));
    }
    const std::string row = ends(s.network, r) + fixed(r.measuredM, 10, 4) + "|" +
                            fixed(r.meanErrorM, 6, 4) + "|" + fixed(r.projection.lengthM, 8, 4) +
                            "|" + fixed(r.heightReductionM, 8, 4) + "|" + fixed(r.reducedM, 11, 4) +
                            "|";
    s.mainReport.line(row);
    s.controlReport.line(row + fixed(r.equation.freeTermM, 9, 4) + "|");
}

void iterationPass(AdjustmentState& s) {
    const NetworkData& n = s.network;
    const bool listing = s.iteration == 1;
    const Real limitPpt = s.projection.distortionLimitPpt;
    if (listing) {
        writeListingHeader(s);
    }
    for (int32_t k = 1; k <= n.ld(); ++k) {
        const ReducedDistance r = reduceDistance(s, k);
        if (r.equation.nearlyCoincident) {
            askAboutCoincidence(s, r);
        }
        if (listing) {
            writeListingRow(s, r, k);
        }
        if (distortionTooLarge(r.projection.distortionPpm, limitPpt)) {
            askAboutReduction(s);
        }
        addEquation(s, ObservationKind::Distances, equationRow(n, r, r.weightRoot),
                    r.weightRoot * r.equation.freeTermM);
        observationStep(s);
    }
    if (listing) {
        s.mainReport.line(listingEnd);
        s.controlReport.line(freeTermEnd);
    }
}

void writeResultHeader(AdjustmentState& s) {
    s.mainReport.line(" ");
    s.mainReport.line(cp1250(resultTitle));
    s.controlReport.line(cp1250(outlierTitle));
    for (const std::string_view line : resultHeader) {
        s.mainReport.line(cp1250(line));
        s.controlReport.line(cp1250(line));
    }
    if (s.network.ldk > 0) {
        s.mainReport.line(cp1250(resultClassical));
        s.controlReport.line(cp1250(resultClassical));
    }
}

/// The least-squares scale of the residuals and the height change it stands for, with a
/// pointer to where the heights come from when that change is large.
void writeScalePostulate(AdjustmentState& s, const ScalePostulate& postulate, int32_t outliers) {
    ReportFile& r = s.mainReport;
    r.line(cp1250("    Ocena wielkości błędu:"));
    r.line("    Postulat ewentualnej korekty systematycznej:");
    r.line(cp1250("    - współczynnik korekty długości : ") + fixed(postulate.factor, 15, 10));
    r.line(cp1250("      [ matematyczna eliminacja błędu odpowiada"));
    r.line(cp1250("      np. zmianie wysokości n.p.m. o wartość:"));
    r.line("    " + fixed(postulate.heightChangeM, 10, 2) + "m");
    if (std::fabs(postulate.heightChangeM) > heightHintLimitM) {
        if (s.network.heightFileFound) {
            r.line(cp1250("      - sprawdź wysokości punktów w pliku H.prz ]"));
        } else {
            r.line("      - zobacz drugi parametr w pliku REDUKCJE ");
            r.line(cp1250("        lub wysokości punktów w pliku XYH.sta ]"));
        }
    }
    r.line("    STWIERDZONO: " + std::to_string(outliers) + cp1250(" OBSERWCJI \"ODSTAJĄCYCH\""));
    r.line(cp1250("    [z poprawkami przekraczającymi błąd graniczny]"));
}

// Everything is computed first and the cofactors of all rows at once; the rows, and the lines
// of any question met, are then written distance by distance in table order.
void finalPass(AdjustmentState& s) {
    const NetworkData& n = s.network;
    const Real limitPpt = s.projection.distortionLimitPpt;
    writeResultHeader(s);

    std::vector<ReducedDistance> distances;
    std::vector<EquationRow> rows;
    distances.reserve(static_cast<size_t>(n.ld()));
    rows.reserve(static_cast<size_t>(n.ld()));
    Real distortionSum = 0;
    for (int32_t k = 1; k <= n.ld(); ++k) {
        const ReducedDistance r = reduceDistance(s, k);
        // The cofactor of an adjusted length takes the unweighted row: q is then in m².
        rows.push_back(equationRow(n, r, 1));
        // Nothing is accumulated in the last pass: only (s·l)² joins the sums.
        addEquation(s, ObservationKind::Distances, EquationRow{},
                    r.weightRoot * r.equation.freeTermM);
        distortionSum += r.projection.distortionPpm;
        distances.push_back(r);
        observationStep(s);
    }
    const bool full = s.options.analysisMode == AnalysisMode::Full;
    std::vector<Real> cofactors;
    if (full) {
        cofactors = observationCofactors(s.normal, rows);
    }

    ResidualStatistics counts;
    Real sumResidualLength = 0;
    Real sumLengthSquared = 0;
    for (int32_t k = 1; k <= n.ld(); ++k) {
        const ReducedDistance& r = distances[static_cast<size_t>(k - 1)];
        if (r.equation.nearlyCoincident) {
            askAboutCoincidence(s, r);
        }
        if (distortionTooLarge(r.projection.distortionPpm, limitPpt)) {
            askAboutReduction(s);
        }
        if (k == n.ldk + 1) {
            s.mainReport.line(cp1250(resultGps));
            s.controlReport.line(cp1250(resultGps));
        }
        const Real v = r.equation.freeTermM;
        const Real mObs = r.meanErrorM * s.mo;
        const Real mAdj = full ? std::sqrt(cofactors[static_cast<size_t>(k - 1)]) * s.mo
                               : r.meanErrorM * s.otrebski * s.mo;
        const ResidualJudgement judgement = judgeResidual(distanceResiduals, v, mObs, mAdj);
        counts.count(distanceResiduals, v, judgement.outlier);
        if (s.outcome != nullptr) {
            // The unweighted row's q is in m²; the weight makes it the observation's share.
            const Real weight = r.weightRoot * r.weightRoot;
            s.outcome->observations.push_back(
                {r.gps ? ListedKind::GpsDistance : ListedKind::Distance,
                 n.distances[k].source, 0, r.i, r.j, r.reducedM, r.equation.lengthM, v,
                 r.meanErrorM, mAdj, judgement.mV, judgement.outlier,
                 full ? std::optional<Real>(cofactors[static_cast<size_t>(k - 1)] * weight)
                      : std::nullopt});
        }
        // The adjusted length is the true one, also where a nearly coincident line took
        // d = 0.1 m for its coefficients.
        const std::string row = ends(n, r) + fixed(r.reducedM, 10, 4) + "|" + fixed(mObs, 6, 4) +
                                "|" + fixed(v, 8, 4) + "|" + fixed(judgement.mV, 6, 4) + "|" +
                                fixed(r.equation.lengthM, 10, 4) + "|" + fixed(mAdj, 6, 4) +
                                std::string(judgement.marker());
        s.mainReport.line(row);
        if (judgement.outlier) {
            s.controlReport.line(row);
        }
        const Real weight = r.weightRoot * r.weightRoot;
        sumResidualLength += v * r.measuredM * weight;
        sumLengthSquared += r.measuredM * r.measuredM * weight;
    }
    s.mainReport.line(resultEnd);
    writeStatistics(s.mainReport, s.controlReport, distanceStatistics, counts);
    writeScalePostulate(s, scalePostulate(sumResidualLength, sumLengthSquared), counts.outliers);
    // The mean distortion is read back as the first parameter of REDUKCJE next time.
    s.meanDistortionPpm = distortionSum / n.ld();
}

} // namespace

void distanceBlock(AdjustmentState& s) {
    if (s.network.ld() == 0) {
        return;
    }
    if (s.lastPass) {
        finalPass(s);
    } else {
        iterationPass(s);
    }
}

} // namespace ptw3
