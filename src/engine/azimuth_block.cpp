// The azimuth block of an adjustment pass: topographic azimuths (grid bearings) and GPS azimuths
// (geodesic azimuths reduced to the chord's grid bearing) linearised at the working coordinates
// and accumulated with the weights 1/mA²; the first iteration lists them with their reductions
// and free terms, the last pass reports the adjusted bearings with the mean errors of the
// adjusted observations and residuals. Azimuths keep their weights under robust estimation.
#include "common/encoding.h"
#include "common/number_format.h"
#include "engine/observation_blocks.h"
#include "engine/pass_progress.h"
#include "engine/residual_analysis.h"
#include "observations/azimuth_observations.h"

#include <cmath>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ptw3 {
namespace {

constexpr Real gradsPerCc = 0.0001L;

// clang-format off
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

constexpr std::string_view nearlyCoincidentLine = " podobne współrzędne przybliżone punktów: ";
constexpr std::string_view nearlyCoincidentQuestion =
    " ***  Podobne współrzędne przybliżone punktów: ";
constexpr std::string_view continueQuestion = "      Czy chcesz liczyć dalej?";
// clang-format on

void lines(ReportFile& report, std::span<const std::string_view> texts) {
    for (const std::string_view text : texts) {
        report.line(cp1250(text));
    }
}

std::string pointField(const AdjustmentState& s, int32_t point) {
    return rightAlign(s.network.points[point].number, pointNumberWidth);
}

/// An azimuth of the last pass waiting for the cofactor of its row.
struct AdjustedAzimuth {
    int32_t i = 0, j = 0; ///< listed ends
    Real meanErrorCc = 0;
    AzimuthEquation equation;
    SourceLine source;
    bool gps = false;
};

/// The result tables of the last pass. Rows are gathered so that their cofactors are computed
/// together; any line that a question writes into the control report between two rows first
/// prints the rows gathered before it, so both reports keep the order of the table.
class ResultTables {
  public:
    explicit ResultTables(AdjustmentState& s)
        : m_s(s) {}

    void add(AdjustedAzimuth azimuth, const EquationRow& row) {
        m_azimuths.push_back(azimuth);
        m_rows.push_back(row);
    }

    void print() {
        std::vector<Real> q;
        const bool full = m_s.options.analysisMode == AnalysisMode::Full;
        if (full) {
            q = observationCofactors(m_s.normal, m_rows);
        }
        for (size_t r = 0; r < m_azimuths.size(); ++r) {
            const AdjustedAzimuth& a = m_azimuths[r];
            const AzimuthEquation& e = a.equation;
            const Real mObs = a.meanErrorCc * m_s.mo;
            // The row carries the weight root, so √q is relative to mA.
            const Real mAdj = full ? std::sqrt(std::fabs(q[r])) * m_s.mo * a.meanErrorCc
                                   : a.meanErrorCc * m_s.otrebski * m_s.mo;
            const Real v = e.freeTerm.cc;
            const ResidualJudgement judgement = judgeResidual(azimuthResiduals, v, mObs, mAdj);
            m_counts.count(azimuthResiduals, v, judgement.outlier);
            if (m_s.outcome != nullptr) {
                m_s.outcome->observations.push_back(
                    {a.gps ? ListedKind::GpsAzimuth : ListedKind::Azimuth, a.source, 0, a.i, a.j,
                     e.reducedCc * gradsPerCc, e.computedCc * gradsPerCc, v, a.meanErrorCc, mAdj,
                     judgement.mV, judgement.outlier,
                     full ? std::optional<Real>(q[r]) : std::nullopt});
            }
            const std::string row = "  |" + pointField(m_s, a.i) + "|" + pointField(m_s, a.j) +
                                    "|" + fixed(e.reducedCc * gradsPerCc, 9, 5) + "|" +
                                    fixed(mObs, 5, 1) + "|" + fixed(v, 6, 1) + "|" +
                                    fixed(judgement.mV, 5, 1) + "|" +
                                    fixed(e.computedCc * gradsPerCc, 9, 5) + "|" +
                                    fixed(mAdj, 5, 1) + std::string(judgement.marker());
            m_s.mainReport.line(row);
            if (judgement.outlier) {
                m_s.controlReport.line(row);
            }
        }
        m_azimuths.clear();
        m_rows.clear();
    }

    const ResidualStatistics& counts() const { return m_counts; }

  private:
    AdjustmentState& m_s;
    std::vector<AdjustedAzimuth> m_azimuths;
    std::vector<EquationRow> m_rows;
    ResidualStatistics m_counts;
};

} // namespace

void azimuthBlock(AdjustmentState& s) {
    const NetworkData& n = s.network;
    if (n.laz() == 0) {
        return;
    }
    const bool listing = s.iteration == 1 && !s.lastPass;
    std::optional<ResultTables> results;

    if (listing) {
        s.mainReport.line(" ");
        lines(s.mainReport, listingHead);
        lines(s.controlReport, listingHeadWithFreeTerms);
        if (n.lazt > 0) {
            s.mainReport.line(cp1250(listingTopographic));
            s.controlReport.line(cp1250(listingTopographicWithFreeTerms));
        }
    }
    if (s.lastPass) {
        results.emplace(s);
        s.mainReport.line("  ");
        s.mainReport.line(cp1250(resultsTitle));
        s.mainReport.line(cp1250(resultsTopRule));
        lines(s.mainReport, resultsHead);
        s.controlReport.line(cp1250(outliersTitle));
        s.controlReport.line(cp1250(outliersTopRule));
        lines(s.controlReport, resultsHead);
        if (n.lazt > 0) {
            s.mainReport.line(cp1250(resultsTopographic));
            s.controlReport.line(cp1250(resultsTopographic));
        }
    }

    for (int32_t k = 1; k <= n.laz(); ++k) {
        const LineObservation& azimuth = n.azimuths[k];
        const bool gps = k > n.lazt;
        if (k == n.lazt + 1) {
            if (listing) {
                s.mainReport.line(cp1250(listingGps));
                s.controlReport.line(cp1250(listingGpsWithFreeTerms));
            }
            if (results) {
                results->print();
                s.mainReport.line(cp1250(resultsGps));
                s.controlReport.line(cp1250(resultsGps));
            }
        }

        const GridPoint from = workingPoint(s, azimuth.from);
        const GridPoint to = workingPoint(s, azimuth.to);
        const LineVector line = lineBetween(from, to);
        if (line.d < nearlyCoincidentLengthM) {
            if (results) {
                results->print();
            }
            const std::string pair =
                n.points[azimuth.from].number + " " + n.points[azimuth.to].number;
            s.controlReport.line(cp1250(nearlyCoincidentLine) + pair);
            askToContinue(s, cp1250(nearlyCoincidentQuestion) + pair + "\n" +
                                 cp1250(continueQuestion));
        }

        const Real reduction = gps ? gpsAzimuthReduction(s.projection, from, to) : 0;
        const bool exchange = n.ordering.position[azimuth.to] < n.ordering.position[azimuth.from];
        const AzimuthEquation e =
            azimuthEquation(line, azimuth.value, reduction, azimuth.meanError, exchange);
        const int32_t i = exchange ? azimuth.to : azimuth.from;
        const int32_t j = exchange ? azimuth.from : azimuth.to;
        const BearingCoefficients& a = e.row;
        const EquationRow row = lineEquationRow(n, i, j, a.dXi, a.dYi, a.dXj, a.dYj);
        addEquation(s, ObservationKind::Azimuths, row, e.weightRoot * e.freeTerm.cc);

        if (listing) {
            const std::string listed =
                "  |" + pointField(s, i) + "|" + pointField(s, j) + "|" +
                fixed(e.listedValueGrad, 10, 5) + "|" + fixed(azimuth.meanError, 6, 1) + "|" +
                fixed(reduction, 9, 1) + "|" + fixed(e.reducedCc * gradsPerCc, 11, 5) + "|";
            s.mainReport.line(listed);
            s.controlReport.line(listed + fixed(e.freeTerm.listedCc, 10, 1));
        }
        if (results) {
            results->add({i, j, azimuth.meanError, e, azimuth.source, gps}, row);
        }
        observationStep(s);
    }

    if (listing) {
        s.mainReport.line(listingEnd);
        s.controlReport.line(listingEndWithFreeTerms);
    }
    if (results) {
        results->print();
        s.mainReport.line(resultsEnd);
        s.controlReport.line(resultsEnd);
        writeStatistics(s.mainReport, s.controlReport, azimuthStatistics, results->counts());
    }
}

} // namespace ptw3
