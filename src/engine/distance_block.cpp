// The distance block of an adjustment pass: each length reduced to the plane of the coordinate
// system (the projection reduction from the scale distortion along the line; the height
// reduction to the ellipsoid for lengths measured on the ground) and linearised at the working
// coordinates. The first iteration lists the reductions and free terms; the last pass prints the
// adjusted lengths with their mean errors, the residual statistics and the systematic scale
// postulate (the least-squares scale of the residuals), and leaves the mean distortion of the
// lengths for the result files to write back to redukcje.
#include "common/encoding.h"
#include "common/number_format.h"
#include "engine/observation_blocks.h"
#include "engine/residual_analysis.h"
#include "engine/weighting.h"
#include "observations/distance_observations.h"

#include <array>
#include <cmath>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ptw3 {
namespace {

/// A postulated height change beyond this (m) points the user at the heights.
constexpr Real heightHintLimitM = 10;

// The texts of the distance tables and of the questions, in UTF-8.
// clang-format off
namespace text {
constexpr std::string_view listingTitle =
    "  DŁUGOŚCI BOKÓW, BŁĘDY ŚREDNIE, REDUKCJE ODWZOROWAWCZE";
constexpr std::string_view listingHeader[] = {
    "  ------------------------------------------------------------------- tarvel_2006----",
    "  |          PLANY   BOKÓW          | DŁUG.OBS.|BŁ.ŚR |     REDUKCJE    |OBS.ZREDUK.|",
    "  |---------------------------------|          |      |-----------------|           |",
    "  |        Nr(i)   |       Nr(j)    |  D(obs)  |  mD  |dD(odwz)| dD(wys)|  D(zred)  |",
    "  |----------------+----------------+----------+------+--------+--------+-----------|"};
constexpr std::string_view freeTermTitle =
    "  DŁUGOŚCI BOKÓW, BŁĘDY ŚREDNIE, REDUKCJE, WYRAZY WOLNE RÓWNAŃ POPRAWEK";
constexpr std::string_view freeTermHeader[] = {
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
constexpr std::string_view resultHeader[] = {
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

constexpr StatisticsLabels statistics{
    "    ANALIZA STATYSTYCZNA POPRAWEK:",
    "    Liczba poprawek \"-\" istotnych  : ",
    "    Liczba poprawek \"+\" istotnych  : ",
    "    Liczba poprawek bliskich zera  : ", "  (|v| < 0.0001m )",
    "    Liczba obserwacji \"odstających\": ", "  (|v| > 3 * Mv )"};

constexpr std::string_view postulateHead[] = {
    "    Ocena wielkości błędu:",
    "    Postulat ewentualnej korekty systematycznej:"};
constexpr std::string_view postulateFactor = "    - współczynnik korekty długości : ";
constexpr std::string_view postulateHeight[] = {
    "      [ matematyczna eliminacja błędu odpowiada",
    "      np. zmianie wysokości n.p.m. o wartość:"};
constexpr std::string_view heightFileHint[] = {
    "      - sprawdź wysokości punktów w pliku H.prz ]"};
constexpr std::string_view parameterHint[] = {
    "      - zobacz drugi parametr w pliku REDUKCJE ",
    "        lub wysokości punktów w pliku XYH.sta ]"};
constexpr std::string_view outlierCount = "    STWIERDZONO: ";
constexpr std::string_view outlierCountSuffix = " OBSERWCJI \"ODSTAJĄCYCH\"";
constexpr std::string_view outlierCountNote = "    [z poprawkami przekraczającymi błąd graniczny]";

constexpr std::string_view coincidenceText = " *** Podobne współrzędne przybliżone punktów: ";
constexpr std::string_view reductionText = " *** ZBYT DUŻA REDUKCJA ODWZOROWAWCZA DLUGOSCI";
constexpr std::string_view reductionQuestion =
    " *** ZBYT DUŻA REDUKCJA ODWZOROWAWCZA DLUGOSCI\n"
    "     sprawdź poprawnosc wyboru ukladu i strefy\n"
    "     Czy chcesz liczyć dalej?";
constexpr std::string_view continueQuestion = "     Czy chcesz liczyć dalej?";
} // namespace text
// clang-format on

/// One distance reduced to the plane and linearised at the working coordinates.
struct DistanceEvaluation {
    int32_t i = 0, j = 0; ///< point indices; i is the end with the smaller position
    bool gps = false;
    Real measuredM = 0;  ///< D
    Real meanErrorM = 0; ///< mD
    ProjectionReduction projection;
    Real heightReductionM = 0; ///< dD(wys)
    Real reducedM = 0;         ///< D(zred)
    DistanceEquation equation;
    Real weightRoot = 0; ///< s = 1/mD (1/m), robust-reduced when distances are so estimated
    EquationRow row;     ///< multiplied by s
    /// Not multiplied by s: the cofactor of the adjusted length is then in m².
    EquationRow unweightedRow;
    std::vector<Question> questions;

    Real weightedFreeTerm() const { return weightRoot * equation.freeTermM; }
};

/// The row of the distance multiplied by the factor; fixed points' coefficients are dropped.
EquationRow equationRow(const NetworkData& n, const DistanceEvaluation& e, Real factor) {
    const std::array<Real, 4>& c = e.equation.coefficients;
    return lineEquationRow(n, e.i, e.j, c[0] * factor, c[1] * factor, c[2] * factor,
                           c[3] * factor);
}

// Both questions write their line to the control report first; Yes goes on (a nearly
// coincident line with d = 0.1 m in its coefficients), No stops the computation. The
// reduction's question follows the line's row of the listing.
std::vector<Question> distanceQuestions(const Linearisation& at, const DistanceEvaluation& e) {
    std::vector<Question> questions;
    if (e.equation.nearlyCoincident) {
        const NetworkData& n = at.network;
        const std::string line =
            cp1250(text::coincidenceText) + n.points[e.i].number + " " + n.points[e.j].number;
        questions.push_back({{line}, line + "\n" + cp1250(text::continueQuestion)});
    }
    if (distortionTooLarge(e.projection.distortionPpm, at.projection.distortionLimitPpt)) {
        questions.push_back(
            {{cp1250(text::reductionText)}, cp1250(text::reductionQuestion), true});
    }
    return questions;
}

DistanceEvaluation evaluateDistance(const Linearisation& at, int32_t k) {
    const NetworkData& n = at.network;
    const LineObservation& o = n.distances[k];
    DistanceEvaluation e;
    e.i = o.from;
    e.j = o.to;
    if (n.ordering.position[e.j] < n.ordering.position[e.i]) {
        std::swap(e.i, e.j);
    }
    e.gps = k > n.ldk;
    e.measuredM = o.value;
    e.meanErrorM = o.meanError;
    const GridPoint pi = at.point(e.i);
    const GridPoint pj = at.point(e.j);
    e.projection = projectionReduction(at.projection, pi, pj, o.value);
    // A GPS length lies on the ellipsoid already.
    e.heightReductionM =
        e.gps ? 0
              : heightReduction(at.working[e.i].h, at.working[e.j].h,
                                at.projection.geoidUndulation, o.value);
    e.reducedM = o.value + e.projection.lengthM + e.heightReductionM;
    e.equation = distanceEquation(pi, pj, e.reducedM);
    e.weightRoot = 1 / o.meanError;
    if (at.robust) {
        e.weightRoot = robustWeightRoot(e.weightRoot, e.equation.freeTermM);
    }
    e.row = equationRow(n, e, e.weightRoot);
    e.unweightedRow = equationRow(n, e, 1);
    e.questions = distanceQuestions(at, e);
    return e;
}

std::string ends(const NetworkData& n, const DistanceEvaluation& e) {
    return "  |" + numberField(n, e.i) + "|" + numberField(n, e.j) + "|";
}

// The reductions (main report) and initial free terms (control report) of the first
// iteration, classical lengths first, then the GPS ones under their own caption.
class DistanceListing {
  public:
    explicit DistanceListing(AdjustmentState& s)
        : m_s(s) {}

    void begin() {
        m_s.mainReport.line(" ");
        m_s.mainReport.line(cp1250(text::listingTitle));
        m_s.controlReport.line(cp1250(text::freeTermTitle));
        writeLines(m_s.mainReport, text::listingHeader);
        writeLines(m_s.controlReport, text::freeTermHeader);
        if (m_s.network.ldk > 0) {
            m_s.mainReport.line(cp1250(text::listingClassical));
            m_s.controlReport.line(cp1250(text::freeTermClassical));
        }
    }

    // The GPS caption goes with the first GPS row, after the questions of that length.
    void heading(int32_t) {}

    void row(int32_t k, const DistanceEvaluation& e) {
        if (k == m_s.network.ldk + 1) {
            m_s.mainReport.line(cp1250(text::listingGps));
            m_s.controlReport.line(cp1250(text::freeTermGps));
        }
        const std::string row = ends(m_s.network, e) + fixed(e.measuredM, 10, 4) + "|" +
                                fixed(e.meanErrorM, 6, 4) + "|" +
                                fixed(e.projection.lengthM, 8, 4) + "|" +
                                fixed(e.heightReductionM, 8, 4) + "|" + fixed(e.reducedM, 11, 4) +
                                "|";
        m_s.mainReport.line(row);
        m_s.controlReport.line(row + fixed(e.equation.freeTermM, 9, 4) + "|");
    }

    void end() {
        m_s.mainReport.line(text::listingEnd);
        m_s.controlReport.line(text::freeTermEnd);
    }

  private:
    AdjustmentState& m_s;
};

// The adjusted lengths of the last pass with the statistics of their residuals, the scale
// postulate K = Σ(v·D·p)/Σ(D²·p) and the mean distortion μ̄ of the lengths.
class DistanceTables {
  public:
    explicit DistanceTables(AdjustmentState& s)
        : m_s(s)
        , m_full(s.options.analysisMode == AnalysisMode::Full) {}

    void begin() {
        m_s.mainReport.line(" ");
        m_s.mainReport.line(cp1250(text::resultTitle));
        m_s.controlReport.line(cp1250(text::outlierTitle));
        for (const std::string_view line : text::resultHeader) {
            m_s.mainReport.line(cp1250(line));
            m_s.controlReport.line(cp1250(line));
        }
        if (m_s.network.ldk > 0) {
            m_s.mainReport.line(cp1250(text::resultClassical));
            m_s.controlReport.line(cp1250(text::resultClassical));
        }
    }

    // The GPS caption goes with the first GPS row, after the questions of that length.
    void heading(int32_t) {}

    // q: the cofactor of the unweighted row, m² (full analysis only).
    void row(int32_t k, const DistanceEvaluation& e, Real q) {
        if (k == m_s.network.ldk + 1) {
            m_s.mainReport.line(cp1250(text::resultGps));
            m_s.controlReport.line(cp1250(text::resultGps));
        }
        const Real v = e.equation.freeTermM;
        const Real mObs = e.meanErrorM * m_s.mo;
        const Real mAdj =
            m_full ? std::sqrt(q) * m_s.mo : e.meanErrorM * m_s.otrebski * m_s.mo;
        const ResidualJudgement judgement = judgeResidual(distanceResiduals, v, mObs, mAdj);
        m_counts.count(distanceResiduals, v, judgement.outlier);
        const Real weight = e.weightRoot * e.weightRoot;
        if (m_s.outcome != nullptr) {
            // The unweighted row's q is in m²; the weight makes it the observation's share.
            m_s.outcome->observations.push_back(
                {e.gps ? ListedKind::GpsDistance : ListedKind::Distance,
                 m_s.network.distances[k].source, 0, e.i, e.j, e.reducedM, e.equation.lengthM, v,
                 e.meanErrorM, mAdj, judgement.mV, judgement.outlier,
                 m_full ? std::optional<Real>(q * weight) : std::nullopt});
        }
        // The adjusted length is the true one, also where a nearly coincident line took
        // d = 0.1 m for its coefficients.
        writeResultRow(m_s,
                       ends(m_s.network, e) + fixed(e.reducedM, 10, 4) + "|" + fixed(mObs, 6, 4) +
                           "|" + fixed(v, 8, 4) + "|" + fixed(judgement.mV, 6, 4) + "|" +
                           fixed(e.equation.lengthM, 10, 4) + "|" + fixed(mAdj, 6, 4) +
                           std::string(judgement.marker()),
                       judgement.outlier);
        m_sumResidualLength += v * e.measuredM * weight;
        m_sumLengthSquared += e.measuredM * e.measuredM * weight;
        m_distortionSum += e.projection.distortionPpm;
    }

    // The mean distortion is read back as the first parameter of REDUKCJE next time.
    void end() {
        m_s.mainReport.line(text::resultEnd);
        writeStatistics(m_s.mainReport, m_s.controlReport, text::statistics, m_counts);
        writeScalePostulate(scalePostulate(m_sumResidualLength, m_sumLengthSquared));
        m_s.meanDistortionPpm = m_distortionSum / m_s.network.ld();
    }

  private:
    /// The least-squares scale of the residuals and the height change it stands for, with a
    /// pointer to where the heights come from when that change is large.
    void writeScalePostulate(const ScalePostulate& postulate) {
        ReportFile& r = m_s.mainReport;
        writeLines(r, text::postulateHead);
        r.line(cp1250(text::postulateFactor) + fixed(postulate.factor, 15, 10));
        writeLines(r, text::postulateHeight);
        r.line("    " + fixed(postulate.heightChangeM, 10, 2) + "m");
        if (std::fabs(postulate.heightChangeM) > heightHintLimitM) {
            using Lines = std::span<const std::string_view>;
            writeLines(r, m_s.network.heightFileFound ? Lines(text::heightFileHint)
                                                      : Lines(text::parameterHint));
        }
        r.line(cp1250(text::outlierCount) + std::to_string(m_counts.outliers) +
               cp1250(text::outlierCountSuffix));
        r.line(cp1250(text::outlierCountNote));
    }

    AdjustmentState& m_s;
    bool m_full;
    ResidualStatistics m_counts;
    Real m_sumResidualLength = 0; ///< Σ v·D·p
    Real m_sumLengthSquared = 0;  ///< Σ D²·p
    Real m_distortionSum = 0;     ///< Σ μ, ppm
};

struct Distances {
    using Evaluation = DistanceEvaluation;
    using Listing = DistanceListing;
    using Tables = DistanceTables;

    static int32_t count(const NetworkData& n) { return n.ld(); }
    static bool robust(const AdjustmentState& s) { return s.robustDistances; }
    static ObservationKind sumKind(const NetworkData&, int32_t) {
        return ObservationKind::Distances;
    }
    static Evaluation evaluate(const Linearisation& at, int32_t k) {
        return evaluateDistance(at, k);
    }
    static const EquationRow& cofactorRow(const Evaluation& e) { return e.unweightedRow; }
    static Real weightRoot(const Evaluation& e) { return e.weightRoot; }
};

} // namespace

void distanceBlock(AdjustmentState& state) { observationBlock<Distances>(state); }

} // namespace ptw3
