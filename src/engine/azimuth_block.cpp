// The azimuth block of an adjustment pass: topographic azimuths (grid bearings) and GPS azimuths
// (geodesic azimuths reduced to the chord's grid bearing by the meridian convergence and the
// arc-to-chord reduction) linearised at the working coordinates with the weights 1/mA². The
// first iteration lists them with their reductions and free terms; the last pass reports the
// adjusted bearings with the mean errors of the adjusted observations and residuals. Azimuths
// keep their weights under robust estimation.
#include "common/encoding.h"
#include "common/number_format.h"
#include "engine/observation_blocks.h"
#include "engine/residual_analysis.h"
#include "observations/azimuth_observations.h"

#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ptw3 {
namespace {

constexpr Real gradsPerCc = 0.0001L;

// The texts of the azimuth tables and of the question, in UTF-8.
// clang-format off
namespace text {
constexpr std::string_view listingHead[] = {
    "  AZYMUTY, BŁEDY ŚREDNIE, REDUKCJE ODWZOROWAWCZE",
    "  ----------------------------------------------------------- tarvel_2006----",
    "  |          PLANY   AZYMUTÓW       |          |BŁ.ŚR |REDUKCJA |OBS.ZREDUK.|",
    "  |---------------------------------|          |      |         |-----------|",
    "  |        Nr(i)   |       Nr(j)    | Az(dany) |  mAz |dAz(odwz)|  Az(zred) |",
    "  |----------------+----------------+----------+------+---------+-----------|",
};
constexpr std::string_view listingHeadWithFreeTerms[] = {
    "  AZYMUTY, BŁEDY ŚREDNIE, REDUKCJE ODWZOROWAWCZE, WYRAZY WOLNE RÓWNAŃ POPRAWEK",
    "  --------------------------------------------------------------------- tarvel_2006----",
    "  |          PLANY   AZYMUTÓW       |          |BŁ.ŚR |REDUKCJA |OBS.ZREDUK.| Wyrazy  |",
    "  |---------------------------------|          |      |         |-----------| wolne   |",
    "  |        Nr(i)   |       Nr(j)    | Az(dany) |  mAz |dAz(odwz)|  Az(zred) |         |",
    "  |----------------+----------------+----------+------+---------+-----------+---------|",
};
constexpr std::string_view listingTopographic =
    "  |    ... kąty kierunkowe ...                                              |";
constexpr std::string_view listingTopographicWithFreeTerms =
    "  |    ... kąty kierunkowe ...                                                        |";
constexpr std::string_view listingGps =
    "  |    ... azymuty jako pseudoobserwacje GPS ...                            |";
constexpr std::string_view listingGpsWithFreeTerms =
    "  |    ... azymuty jako pseudoobserwacje GPS ...                                      |";
constexpr std::string_view listingEnd =
    "  ---------------------------------------------------------------------------";
constexpr std::string_view listingEndWithFreeTerms =
    "  -------------------------------------------------------------------------------------";

constexpr std::string_view resultsTitle = "  AZYMUTY";
constexpr std::string_view outliersTitle = "  WYKAZ \"ODSTAJĄCYCH\" AZYMUTÓW ";
constexpr std::string_view resultsTopRule =
    "  ---------------------------------------------------------------- tarvel_2006---";
constexpr std::string_view outliersTopRule =
    "  ----------------------------------------------------------------- tarvel_2006---";
constexpr std::string_view resultsHead[] = {
    "  |         P L A N Y  AZYMUTÓW     |  OBSERWACJE   |    WIELKOŚCI  WYRÓWNANE    |",
    "  |---------------------------------+---------------+----------------------------|",
    "  |          Nr(I) |          Nr(J) | Az(zred)|mA.Mo|   V  |  mV | Az(wyr) |mAwyr|",
    "  |----------------+----------------+---------+-----+------+-----+---------+-----|",
};
constexpr std::string_view resultsTopographic =
    "  |    ... kąty kierunkowe ...                                                   |";
constexpr std::string_view resultsGps =
    "  |    ... azymuty jako pseudoobserwacje GPS ...                                  |";
constexpr std::string_view resultsEnd =
    "  --------------------------------------------------------------------------------";

constexpr StatisticsLabels statistics{
    "    ANALIZA STATYSTYCZNA POPRAWEK AZYMUTÓW: ",
    "     Liczba poprawek \"-\" istotnych  : ",
    "     Liczba poprawek \"+\" istotnych  : ",
    "     Liczba poprawek bliskich zera  : ", "   (|v| < 0.1[cc])",
    "     Liczba azymutów \"odstających\"  : ", "   (|v| > 3 * Mv)"};

constexpr std::string_view coincidenceLine = " podobne współrzędne przybliżone punktów: ";
constexpr std::string_view coincidenceQuestion = " ***  Podobne współrzędne przybliżone punktów: ";
constexpr std::string_view continueQuestion = "      Czy chcesz liczyć dalej?";
} // namespace text
// clang-format on

/// One azimuth linearised at the working coordinates.
struct AzimuthEvaluation {
    int32_t i = 0, j = 0;     ///< listed ends: the file's order, exchanged by position
    bool gps = false;
    Real reductionCc = 0;     ///< dAz(odwz) of a GPS azimuth, 0 for a topographic one
    AzimuthEquation equation; ///< reduced and computed bearings, free term, weight root
    EquationRow row;          ///< multiplied by the weight root
    std::vector<Question> questions;

    Real weightedFreeTerm() const { return equation.weightRoot * equation.freeTerm.cc; }
};

AzimuthEvaluation evaluateAzimuth(const Linearisation& at, int32_t k) {
    const NetworkData& n = at.network;
    const LineObservation& azimuth = n.azimuths[k];
    AzimuthEvaluation e;
    e.gps = k > n.lazt;
    const GridPoint from = at.point(azimuth.from);
    const GridPoint to = at.point(azimuth.to);
    const LineVector line = lineBetween(from, to);
    if (line.d < nearlyCoincidentLengthM) {
        const std::string pair = n.points[azimuth.from].number + " " + n.points[azimuth.to].number;
        e.questions.push_back({{cp1250(text::coincidenceLine) + pair},
                               cp1250(text::coincidenceQuestion) + pair + "\n" +
                                   cp1250(text::continueQuestion)});
    }
    e.reductionCc = e.gps ? gpsAzimuthReduction(at.projection, from, to) : 0;
    const bool exchange = n.ordering.position[azimuth.to] < n.ordering.position[azimuth.from];
    e.equation = azimuthEquation(line, azimuth.value, e.reductionCc, azimuth.meanError, exchange);
    e.i = exchange ? azimuth.to : azimuth.from;
    e.j = exchange ? azimuth.from : azimuth.to;
    const BearingCoefficients& a = e.equation.row;
    e.row = lineEquationRow(n, e.i, e.j, a.dXi, a.dYi, a.dXj, a.dYj);
    return e;
}

std::string ends(const NetworkData& n, const AzimuthEvaluation& e) {
    return "  |" + numberField(n, e.i) + "|" + numberField(n, e.j) + "|";
}

// The reductions (main report) and free terms (control report) of the first iteration,
// topographic azimuths first, then the GPS ones under their own caption.
class AzimuthListing {
  public:
    explicit AzimuthListing(AdjustmentState& s)
        : m_s(s) {}

    void begin() {
        m_s.mainReport.line(" ");
        writeLines(m_s.mainReport, text::listingHead);
        writeLines(m_s.controlReport, text::listingHeadWithFreeTerms);
        if (m_s.network.lazt > 0) {
            m_s.mainReport.line(cp1250(text::listingTopographic));
            m_s.controlReport.line(cp1250(text::listingTopographicWithFreeTerms));
        }
    }

    void heading(int32_t k) {
        if (k == m_s.network.lazt + 1) {
            m_s.mainReport.line(cp1250(text::listingGps));
            m_s.controlReport.line(cp1250(text::listingGpsWithFreeTerms));
        }
    }

    void row(int32_t k, const AzimuthEvaluation& e) {
        const LineObservation& azimuth = m_s.network.azimuths[k];
        const std::string listed =
            ends(m_s.network, e) + fixed(e.equation.listedValueGrad, 10, 5) + "|" +
            fixed(azimuth.meanError, 6, 1) + "|" + fixed(e.reductionCc, 9, 1) + "|" +
            fixed(e.equation.reducedCc * gradsPerCc, 11, 5) + "|";
        m_s.mainReport.line(listed);
        m_s.controlReport.line(listed + fixed(e.equation.freeTerm.listedCc, 10, 1));
    }

    void end() {
        m_s.mainReport.line(text::listingEnd);
        m_s.controlReport.line(text::listingEndWithFreeTerms);
    }

  private:
    AdjustmentState& m_s;
};

// The adjusted bearings of the last pass: every row to the main report, the outliers to the
// control report, and the statistics of their residuals.
class AzimuthTables {
  public:
    explicit AzimuthTables(AdjustmentState& s)
        : m_s(s)
        , m_full(s.options.analysisMode == AnalysisMode::Full) {}

    void begin() {
        ReportFile& main = m_s.mainReport;
        ReportFile& control = m_s.controlReport;
        main.line("  ");
        main.line(cp1250(text::resultsTitle));
        main.line(cp1250(text::resultsTopRule));
        writeLines(main, text::resultsHead);
        control.line(cp1250(text::outliersTitle));
        control.line(cp1250(text::outliersTopRule));
        writeLines(control, text::resultsHead);
        if (m_s.network.lazt > 0) {
            main.line(cp1250(text::resultsTopographic));
            control.line(cp1250(text::resultsTopographic));
        }
    }

    void heading(int32_t k) {
        if (k == m_s.network.lazt + 1) {
            m_s.mainReport.line(cp1250(text::resultsGps));
            m_s.controlReport.line(cp1250(text::resultsGps));
        }
    }

    // q: the cofactor of the weighted row, so √q is relative to mA (full analysis only).
    void row(int32_t k, const AzimuthEvaluation& e, Real q) {
        const LineObservation& azimuth = m_s.network.azimuths[k];
        const AzimuthEquation& eq = e.equation;
        const Real meanErrorCc = azimuth.meanError;
        const Real mObs = meanErrorCc * m_s.mo;
        const Real mAdj = m_full ? std::sqrt(std::fabs(q)) * m_s.mo * meanErrorCc
                                 : meanErrorCc * m_s.otrebski * m_s.mo;
        const Real v = eq.freeTerm.cc;
        const ResidualJudgement judgement = judgeResidual(azimuthResiduals, v, mObs, mAdj);
        m_counts.count(azimuthResiduals, v, judgement.outlier);
        if (m_s.outcome != nullptr) {
            m_s.outcome->observations.push_back(
                {e.gps ? ListedKind::GpsAzimuth : ListedKind::Azimuth, azimuth.source, 0, e.i,
                 e.j, eq.reducedCc * gradsPerCc, eq.computedCc * gradsPerCc, v, meanErrorCc,
                 mAdj, judgement.mV, judgement.outlier,
                 m_full ? std::optional<Real>(q) : std::nullopt});
        }
        writeResultRow(m_s,
                       ends(m_s.network, e) +
                           angularResultColumns(eq.reducedCc * gradsPerCc, mObs, v, judgement.mV,
                                                eq.computedCc * gradsPerCc, mAdj,
                                                judgement.marker()),
                       judgement.outlier);
    }

    void end() {
        m_s.mainReport.line(text::resultsEnd);
        m_s.controlReport.line(text::resultsEnd);
        writeStatistics(m_s.mainReport, m_s.controlReport, text::statistics, m_counts);
    }

  private:
    AdjustmentState& m_s;
    bool m_full;
    ResidualStatistics m_counts;
};

struct Azimuths {
    using Evaluation = AzimuthEvaluation;
    using Listing = AzimuthListing;
    using Tables = AzimuthTables;

    static int32_t count(const NetworkData& n) { return n.laz(); }
    static bool robust(const AdjustmentState&) { return false; }
    static ObservationKind sumKind(const NetworkData&, int32_t) {
        return ObservationKind::Azimuths;
    }
    static Evaluation evaluate(const Linearisation& at, int32_t k) {
        return evaluateAzimuth(at, k);
    }
    static const EquationRow& cofactorRow(const Evaluation& e) { return e.row; }
    static Real weightRoot(const Evaluation& e) { return e.equation.weightRoot; }
};

} // namespace

void azimuthBlock(AdjustmentState& state) { observationBlock<Azimuths>(state); }

} // namespace ptw3
