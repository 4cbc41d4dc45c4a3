// The angle block of an adjustment pass: the angles of the angle files (entries 1 to lka1) and
// the Schreiber angles formed from the direction sets (entries lka1 + 1 to lka). Each angle is
// linearised at the working coordinates as the difference of its two grid bearings, the
// observed angle carried to the plane by the arc-to-chord reductions of its lines. The first
// iteration lists the observations with their reductions; the last pass prints the adjusted
// angles, and the directions rebuilt set by set from the residuals of their Schreiber angles
// (Schreiber's rule undone: the station's orientation as the weighted mean of the set).
#include "common/encoding.h"
#include "common/number_format.h"
#include "engine/direction_cofactors.h"
#include "engine/observation_blocks.h"
#include "engine/residual_analysis.h"
#include "engine/weighting.h"
#include "observations/angle_observations.h"

#include <cassert>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ptw3 {
namespace {

constexpr Real gradPerCc = 1e-4L;
constexpr Real ccPerGrad = 10000;

// The texts of the angle and direction tables and of the questions, in UTF-8.
// clang-format off
namespace text {
constexpr std::string_view listingTitleMain = "  KĄTY, BŁEDY ŚREDNIE, REDUKCJE ODWZOROWAWCZE";
constexpr std::string_view listingTitleControl =
    "  KĄTY, BŁEDY ŚREDNIE, REDUKCJE ODWZOROWAWCZE, POCZĄTKOWE WYRAZY WOLNE ";
constexpr std::string_view schreiberNote = "  [obserwacje kierunkowe zamieniono na kąty Schreibera]";
constexpr std::string_view angleListingMain[] = {
    "  ------------------------------------------------------------------------- tarvel_2006-----",
    "  |             P L A N Y   K Ą T Ó W                |  KĄT OBS., BŁ.ŚR.,REDUKCJA, KĄT ZRED|",
    "  |--------------------------------------------------+-------------------------------------|",
    "  |       Nr(L)    |       Nr(C)    |       Nr(P)    |   Al(obs)  | mAL |d(AL)|   Al(zred) |",
    "  |----------------+----------------+----------------+------------+-----+-----+------------|",
};
constexpr std::string_view angleListingControl[] = {
    "  ------------------------------------------------------------------------------------ tarvel_2006----",
    "  |             P L A N Y   K Ą T Ó W                |  KĄT OBS., BŁ.ŚR.,REDUKCJA, OBS.ZRED. W.WOLNY |",
    "  |--------------------------------------------------+-----------------------------------------------|",
    "  |       Nr(L)    |       Nr(C)    |       Nr(P)    |   Al(obs)  | mAL |d(AL)|   Al(zred) |    dL   |",
    "  |----------------+----------------+----------------+------------+-----+-----+------------+---------|",
};
constexpr std::string_view angleListingEndMain =
    "  |----------------------------------------------------------------------------------------|";
constexpr std::string_view angleListingEndControl =
    "  |--------------------------------------------------------------------------------------------------|";
constexpr std::string_view directionListingMain[] = {
    "  ----------------------------------------------------- tarvel_2006-----",
    "  |       P L A N Y  KIERUNKÓW      |KIER.OBS.|BL.ŚR|REDUKCJA|KIER.ZRED|",
    "  |                                 |         |     |ODWZOR. |         |",
    "  |---------------------------------+---------------+------------------|",
    "  |  Nr stanowiska |    Nr celu     | Ki_OBS  |m(Ki)|    dKi |Ki_ZRED  |",
    "  |                |                |  [ g ]  |[cc] |   [cc] |  [ g ]  |",
    "  |----------------+----------------+---------+-----+--------+---------|",
};
constexpr std::string_view directionListingControl[] = {
    "  --------------------------------------------------------------- tarvel_2006-----",
    "  |       P L A N Y  KIERUNKÓW      |KIER.OBS.|BL.ŚR|REDUKCJA|KIER.ZRED|   WYRAZ |",
    "  |                                 |         |     |ODWZOR. |         |   WOLNY |",
    "  |---------------------------------+---------------+------------------+---------|",
    "  |  Nr stanowiska |    Nr celu     | Ki_OBS  |m(Ki)|    dKi |Ki_ZRED  |         |",
    "  |                |                |  [ g ]  |[cc] |   [cc] |  [ g ]  |         |",
    "  |----------------+----------------+---------+-----+--------+---------+---------|",
};
constexpr std::string_view setEndMain =
    "  |----------------+----------------+---------+-----+--------+---------|";
constexpr std::string_view setEndControl =
    "  |----------------+----------------+---------+-----+--------+---------+---------|";

constexpr std::string_view resultsTitle = "  WYKAZ WYRÓWNANYCH MIAR KĄTÓW lub KIERUNKÓW";
constexpr std::string_view outliersTitle = "  WYKAZ \"ODSTAJĄCYCH\" OBSERWACJI KĄTOWYCH/KIERUNKOWYCH";
constexpr std::string_view angleResultsRuleMain =
    "  ------------------------------------------------------------------------------- tarvel_2006------";
constexpr std::string_view angleResultsRule =
    "  -------------------------------------------------------------------------------------------------";
constexpr std::string_view angleResultsHead[] = {
    "  |             P L A N Y   K Ą T Ó W                |  OBSERWACJE   |     WIELKOŚCI WYRÓWNANE    |",
    "  |--------------------------------------------------+---------------+----------------------------|",
    "  |       Nr(L)    |       Nr(C)    |       Nr(P)    | Al(obs) |mA*Mo|    V | mV  | Al(wyr) |mAwyr|",
};
constexpr std::string_view angleResultsUnits =
    "  |                |                |                |  [ g ]  |[cc] |  [cc]|[cc] |  [ g ]  |[cc] |";
constexpr std::string_view angleResultsHeadEnd =
    "  |----------------+----------------+----------------+---------+-----+------+-----+---------+-----|";
constexpr std::string_view directionResultsHead[] = {
    "  -------------------------------------------------------------- tarvel_2006------",
    "  |       P L A N Y  KIERUNKÓW      |  OBSERWACJE   |     KIERUNKI WYRÓWNANE     |",
    "  |---------------------------------+---------------+----------------------------|",
    "  |  Nr stanowiska |    Nr celu     | Ki(obs) |mK*Mo|    V | mV  | Ki(wyr) |mKwyr|",
    "  |                |                |  [ g ]  |[cc] |  [cc]| [cc]|  [ g ]  | [cc]|",
    "  |----------------+----------------+---------+-----+------+-----+---------+-----|",
};
constexpr std::string_view directionResultsSetEnd =
    "  --------------------------------------------------------------------------------";

constexpr StatisticsLabels angleStatistics{
    "    ANALIZA STATYSTYCZNA POPRAWEK KĄTÓW: ",
    "     Liczba poprawek \"-\" istotnych (> 0.1) : ",
    "     Liczba poprawek \"+\" istotnych (<-0.1) : ",
    "     Liczba poprawek bliskich zera         : ", "   (|v| < 0.1[cc])",
    "     Liczba \"odstających\" obs. kątowych    : ", "   (|v| > 3 * Mv)"};
constexpr StatisticsLabels directionStatistics{
    "    ANALIZA STATYSTYCZNA POPRAWEK KIERUNKÓW: ",
    "     Liczba poprawek \"-\" istotnych  : ",
    "     Liczba poprawek \"+\" istotnych  : ",
    "     Liczba poprawek bliskich zera  : ", "   (|v| < 0.1[cc])",
    "     Liczba kierunków \"odstających\" : ", "   (|v| > 3 * Mv)"};

constexpr std::string_view coincidenceLine = "*** Podobne współrzędne przybliżone punktów: ";
constexpr std::string_view coincidenceQuestion = " ***  Podobne współrzędne przybliżone punktów: ";
constexpr std::string_view continueQuestion = "      Czy chcesz liczyć dalej?";
constexpr std::string_view reductionLine = " UWAGA: ZBYT DUŻA REDUKCJA ODWZOROWAWCZA KIERUNKU";
constexpr std::string_view reductionHint[] = {
    "  sprawdz poprawność wyboru układu i strefy",
    "  dla używanych współrzędnych!"};
constexpr std::string_view reductionQuestion =
    " *** ZBYT DUŻA REDUKCJA ODWZOROWAWCZA KIERUNKU\n"
    "     sprawdź poprawność wyboru układu i strefy\n"
    "     Czy chcesz liczyć dalej?";
} // namespace text
// clang-format on

/// One angle linearised at the working coordinates.
struct AngleEvaluation {
    Real computedCc = 0;        ///< αc, from the grid bearings of the working coordinates
    AngleReductions reductions; ///< δL, δP: arc-to-chord reductions of the two lines (cc)
    AngleFreeTerm freeTerm;     ///< αr and l = αc − αr (cc)
    Real weightRoot = 0;        ///< s = 1/mα (1/cc), robust-reduced when angles are so estimated
    EquationRow row;            ///< multiplied by s
    std::vector<Question> questions;

    Real weightedFreeTerm() const { return weightRoot * freeTerm.freeTermCc; }
};

// The line from the station to a target; nearly coincident ends raise a question naming the
// two points in the given order, and the line goes on with the squared length 0.1 m² so that
// its bearing and coefficients stay finite.
LineIncrements checkedLine(const Linearisation& at, int32_t station, int32_t target,
                           const PointNumber& first, const PointNumber& second,
                           std::vector<Question>& questions) {
    LineIncrements line = lineIncrements(at.point(station), at.point(target));
    if (line.d2 < nearlyCoincidentSquaredM2) {
        const std::string pair = first + " " + second;
        questions.push_back({{cp1250(text::coincidenceLine) + pair},
                             cp1250(text::coincidenceQuestion) + pair + "\n" +
                                 cp1250(text::continueQuestion)});
        line.d2 = nearlyCoincidentSquaredM2;
    }
    return line;
}

// A reduction too large for the chosen system and zone puts that choice in doubt.
void checkReduction(Real reductionCc, std::string_view mark, const PointNumber& station,
                    const PointNumber& target, std::vector<Question>& questions) {
    if (std::fabs(reductionCc) <= largeReductionCc) {
        return;
    }
    questions.push_back({{std::string(mark) + cp1250(text::reductionLine),
                          station + " ---> " + target + " popr = " + general(reductionCc) + "[cc]",
                          cp1250(text::reductionHint[0]), cp1250(text::reductionHint[1])},
                         cp1250(text::reductionQuestion)});
}

AngleEvaluation evaluateAngle(const Linearisation& at, int32_t k) {
    const NetworkData& n = at.network;
    const Angle& a = n.angles[k];
    const PointNumber& left = n.points[a.left].number;
    const PointNumber& station = n.points[a.station].number;
    const PointNumber& right = n.points[a.right].number;
    AngleEvaluation e;
    const LineIncrements toLeft = checkedLine(at, a.station, a.left, left, station, e.questions);
    const LineIncrements toRight = checkedLine(at, a.station, a.right, station, right, e.questions);
    e.computedCc = computedAngleCc(toLeft, toRight);
    e.reductions = angleReductions(at.projection, at.point(a.station), at.point(a.left),
                                   at.point(a.right));
    checkReduction(e.reductions.left, " ***", station, left, e.questions);
    checkReduction(e.reductions.right, " **", station, right, e.questions);
    e.freeTerm = angleFreeTerm(e.computedCc, a.value, e.reductions);

    e.weightRoot = angleWeightRoot(a.meanError);
    if (at.robust) {
        e.weightRoot = robustWeightRoot(e.weightRoot, e.freeTerm.freeTermCc);
    }
    const AngleCoefficients c = angleCoefficients(toLeft, toRight, e.weightRoot);
    const PointUnknowns l = unknownsOf(n, a.left);
    const PointUnknowns p = unknownsOf(n, a.right);
    const PointUnknowns st = unknownsOf(n, a.station);
    e.row.add(l.dx, c.leftX);
    e.row.add(l.dy, c.leftY);
    e.row.add(p.dx, c.rightX);
    e.row.add(p.dy, c.rightY);
    e.row.add(st.dx, c.stationX);
    e.row.add(st.dy, c.stationY);
    return e;
}

// Where a Schreiber angle stands in its direction set. The angles of a set follow each other
// in set order, the first n − 1 running from the set's first target to its targets 2..n.
struct SetPosition {
    int32_t set = 0; ///< direction set
    int32_t j = 0;   ///< angle of the set, from 1
    int32_t n = 0;   ///< directions of the set

    void advance(const NetworkData& network) {
        if (j == schreiberAngleCount(n)) {
            ++set;
            j = 0;
            n = network.directionSets[set].directions.count();
        }
        ++j;
    }
    bool setEnds() const { return j == schreiberAngleCount(n); }
};

std::string anglePoints(const NetworkData& n, const Angle& a) {
    return "  |" + numberField(n, a.left) + "|" + numberField(n, a.station) + "|" +
           numberField(n, a.right) + "|";
}

// The observations with their reductions (main report) and initial free terms (control
// report), written in the first iteration; the directions are listed set by set from their
// Schreiber angles.
class AngleListing {
  public:
    explicit AngleListing(AdjustmentState& s)
        : m_s(s) {}

    void begin() {
        if (m_s.network.lka1 > 0) {
            m_s.mainReport.line(cp1250(text::listingTitleMain));
            m_s.mainReport.line(cp1250(text::schreiberNote));
            writeLines(m_s.mainReport, text::angleListingMain);
            m_s.controlReport.line(cp1250(text::listingTitleControl));
            m_s.controlReport.line(cp1250(text::schreiberNote));
            writeLines(m_s.controlReport, text::angleListingControl);
        }
    }

    void heading(int32_t k) {
        const NetworkData& n = m_s.network;
        if (k == n.lka1 + 1) {
            if (n.lka1 > 0) {
                closeAngles();
            }
            m_s.mainReport.line(" ");
            m_s.controlReport.line(" ");
            writeLines(m_s.mainReport, text::directionListingMain);
            writeLines(m_s.controlReport, text::directionListingControl);
        }
    }

    void row(int32_t k, const AngleEvaluation& e) {
        const NetworkData& n = m_s.network;
        if (k > n.lka1) {
            m_position.advance(n);
            directionRows(n.angles[k], e);
            return;
        }
        angleRow(n.angles[k], e);
        if (k == n.lka() && n.lka2() == 0) {
            closeAngles();
        }
    }

    void end() {}

  private:
    void closeAngles() {
        m_s.mainReport.line(text::angleListingEndMain);
        m_s.controlReport.line(text::angleListingEndControl);
    }

    void angleRow(const Angle& a, const AngleEvaluation& e) {
        const std::string row = anglePoints(m_s.network, a) + fixed(a.value, 12, 5) + "|" +
                                fixed(a.meanError, 5, 1) + "|" +
                                fixed(e.reductions.right - e.reductions.left, 5, 1) + "|" +
                                fixed(e.freeTerm.reducedCc * gradPerCc, 12, 5) + "|";
        m_s.mainReport.line(row);
        m_s.controlReport.line(row + fixed(e.freeTerm.freeTermCc, 9, 1) + "|");
    }

    static std::string directionColumns(const Direction& d, Real reductionCc) {
        return fixed(d.value, 9, 5) + "|" + fixed(d.meanError, 5, 1) + "|" +
               fixed(reductionCc, 8, 1) + "|" +
               fixed((d.value * ccPerGrad + reductionCc) * gradPerCc, 9, 5) + "|";
    }

    // Angle j of a set lists the set's first direction (j = 1, reduced by δL) and, while
    // j < n, direction j + 1, the angle's right target (reduced by δP).
    void directionRows([[maybe_unused]] const Angle& a, const AngleEvaluation& e) {
        const NetworkData& n = m_s.network;
        const DirectionSet& set = n.directionSets[m_position.set];
        assert(set.station == a.station);
        if (m_position.j == 1) {
            const Direction& d = set.directions[1];
            assert(d.target == a.left);
            const std::string row = "  |" + numberField(n, set.station) + "|" +
                                    numberField(n, d.target) + "|" +
                                    directionColumns(d, e.reductions.left);
            m_s.mainReport.line(row);
            m_s.controlReport.line(row + std::string(9, ' ') + "|");
        }
        if (m_position.j < m_position.n) {
            const Direction& d = set.directions[m_position.j + 1];
            assert(d.target == a.right);
            const std::string row = "  |" + std::string(pointNumberWidth, ' ') + "|" +
                                    numberField(n, d.target) + "|" +
                                    directionColumns(d, e.reductions.right);
            m_s.mainReport.line(row);
            m_s.controlReport.line(row + fixed(e.freeTerm.freeTermCc, 9, 1) + "|");
        }
        if (m_position.setEnds()) {
            m_s.mainReport.line(text::setEndMain);
            m_s.controlReport.line(text::setEndControl);
        }
    }

    AdjustmentState& m_s;
    SetPosition m_position;
};

// The adjusted angles and directions of the last pass: every row to the main report, the
// outliers to the control report, and the statistics of each kind.
class AngleTables {
  public:
    explicit AngleTables(AdjustmentState& s)
        : m_s(s)
        , m_approximate(s.options.analysisMode == AnalysisMode::Approximate)
        // Robust weights of the Schreiber angles no longer stand for a set of directions
        // with one orientation.
        , m_directionShares(s.outcome != nullptr && !m_approximate && !s.robustAngles) {}

    void begin() {
        ReportFile& main = m_s.mainReport;
        ReportFile& control = m_s.controlReport;
        control.line(" ");
        control.line(cp1250(text::outliersTitle));
        main.line(" ");
        main.line(cp1250(text::resultsTitle));
        if (m_s.network.lka1 > 0) {
            main.line(text::angleResultsRuleMain);
            control.line(text::angleResultsRule);
            for (const std::string_view line : text::angleResultsHead) {
                main.line(cp1250(line));
                control.line(cp1250(line));
            }
            main.line(text::angleResultsUnits);
            main.line(text::angleResultsHeadEnd);
            control.line(text::angleResultsHeadEnd);
        }
    }

    void heading(int32_t k) {
        if (k == m_s.network.lka1 + 1) {
            m_counts = {};
            for (const std::string_view line : text::directionResultsHead) {
                m_s.mainReport.line(cp1250(line));
                m_s.controlReport.line(cp1250(line));
            }
        }
    }

    // q: the cofactor of the angle's weighted row (full analysis only).
    void row(int32_t k, const AngleEvaluation& e, Real q) {
        const NetworkData& n = m_s.network;
        const Angle& a = n.angles[k];
        const Real mObs = a.meanError * m_s.mo;
        const Real mAdj = m_approximate ? a.meanError * m_s.otrebski * m_s.mo
                                        : adjustedAngleMeanErrorCc(q, m_s.mo, a.meanError);
        if (k > n.lka1) {
            schreiberAngle(a, e, mObs, mAdj, q);
            return;
        }
        angleRow(a, e, mObs, mAdj, q);
        if (k == n.lka1) {
            m_s.mainReport.line(text::angleResultsRule);
            m_s.controlReport.line(text::angleResultsRule);
            writeStatistics(m_s.mainReport, m_s.controlReport, text::angleStatistics, m_counts);
        }
    }

    void end() {
        if (m_s.network.lka2() > 0) {
            writeStatistics(m_s.mainReport, m_s.controlReport, text::directionStatistics,
                            m_counts);
        }
    }

  private:
    void angleRow(const Angle& a, const AngleEvaluation& e, Real mObs, Real mAdj, Real q) {
        const Real v = e.freeTerm.freeTermCc;
        const ResidualJudgement judged = judgeResidual(angleResiduals, v, mObs, mAdj);
        m_counts.count(angleResiduals, v, judged.outlier);
        if (m_s.outcome != nullptr) {
            m_s.outcome->observations.push_back(
                {ListedKind::Angle, a.source, a.left, a.station, a.right,
                 e.freeTerm.reducedCc * gradPerCc, e.computedCc * gradPerCc, v, a.meanError, mAdj,
                 judged.mV, judged.outlier,
                 m_approximate ? std::nullopt : std::optional<Real>(q)});
        }
        writeResultRow(m_s,
                       anglePoints(m_s.network, a) +
                           angularResultColumns(e.freeTerm.reducedCc * gradPerCc, mObs, v,
                                                judged.mV, e.computedCc * gradPerCc, mAdj,
                                                judged.marker()),
                       judged.outlier);
    }

    // The set's directions gather from its Schreiber angles: angle j brings direction j + 1
    // (j < n) with the angle's free term, and every angle its mean-error ratio to Q.
    void schreiberAngle([[maybe_unused]] const Angle& a, const AngleEvaluation& e, Real mObs,
                        Real mAdj, Real q) {
        m_position.advance(m_s.network);
        const DirectionSet& set = m_s.network.directionSets[m_position.set];
        assert(set.station == a.station);
        if (m_position.j == 1) {
            const Direction& d = set.directions[1];
            m_directions.clear();
            m_directions.push_back({d.value * ccPerGrad + e.reductions.left, d.meanError, 0});
            m_ratioSum = 0;
            m_angleForms.clear();
        }
        if (m_directionShares) {
            m_angleForms.push_back(q / (e.weightRoot * e.weightRoot)); // the unweighted cofactor
        }
        if (m_position.j < m_position.n) {
            const Direction& d = set.directions[m_position.j + 1];
            assert(d.target == a.right);
            m_directions.push_back(
                {d.value * ccPerGrad + e.reductions.right, d.meanError, e.freeTerm.freeTermCc});
        }
        m_ratioSum += meanErrorRatioSquared(mAdj, mObs);
        if (m_position.setEnds()) {
            directionRows(set);
        }
    }

    void directionRows(const DirectionSet& set) {
        std::vector<Real> shares;
        if (m_directionShares) {
            std::vector<Real> meanErrors;
            for (const SetDirection& d : m_directions) {
                meanErrors.push_back(d.meanErrorCc);
            }
            shares = directionShares(m_angleForms, meanErrors);
        }
        const Real orientation = stationOrientationCc(m_directions);
        const Real factor = directionAccuracyFactor(m_ratioSum, m_position.n);
        for (int32_t k = 1; k <= m_position.n; ++k) {
            const auto i = static_cast<size_t>(k - 1);
            directionRow(set, k, orientation, factor,
                         shares.empty() ? std::nullopt : std::optional<Real>(shares[i]));
        }
        m_s.mainReport.line(text::directionResultsSetEnd);
    }

    // Direction k of the set: its residual is the Schreiber angle's free term less the
    // station's orientation.
    void directionRow(const DirectionSet& set, int32_t k, Real orientationCc, Real factor,
                      std::optional<Real> share) {
        const NetworkData& n = m_s.network;
        const SetDirection& d = m_directions[static_cast<size_t>(k - 1)];
        const DirectionMeanErrors m =
            m_approximate ? DirectionMeanErrors{d.meanErrorCc * m_s.mo,
                                                d.meanErrorCc * m_s.otrebski * m_s.mo}
                          : directionMeanErrors(d.meanErrorCc, m_s.mo, factor);
        const Real v = d.freeTermCc - orientationCc;
        const ResidualJudgement judged =
            judgeResidual(directionResiduals, v, m.observedCc, m.adjustedCc);
        m_counts.count(directionResiduals, v, judged.outlier);
        const Direction& direction = set.directions[k];
        if (m_s.outcome != nullptr) {
            m_s.outcome->observations.push_back(
                {ListedKind::Direction, direction.source, 0, set.station, direction.target,
                 d.readingCc * gradPerCc, adjustedReadingGrad(d.readingCc, v), v, d.meanErrorCc,
                 m.adjustedCc, judged.mV, judged.outlier, share});
        }
        const std::string columns =
            numberField(n, direction.target) + "|" +
            angularResultColumns(d.readingCc * gradPerCc, m.observedCc, v, judged.mV,
                                 adjustedReadingGrad(d.readingCc, v), m.adjustedCc,
                                 judged.marker());
        const std::string withStation = "  |" + numberField(n, set.station) + "|" + columns;
        m_s.mainReport.line(k == 1 ? withStation
                                   : "  |" + std::string(pointNumberWidth, ' ') + "|" + columns);
        if (judged.outlier) {
            m_s.controlReport.line(withStation);
        }
    }

    AdjustmentState& m_s;
    bool m_approximate;
    bool m_directionShares; ///< the outcome takes the directions' shares
    ResidualStatistics m_counts;
    SetPosition m_position;
    std::vector<SetDirection> m_directions; ///< the current set's directions, 1..n at 0..n−1
    Real m_ratioSum = 0;                    ///< Q of the current set
    std::vector<Real> m_angleForms;         ///< unweighted cofactors of the set's angles
};

struct Angles {
    using Evaluation = AngleEvaluation;
    using Listing = AngleListing;
    using Tables = AngleTables;

    static int32_t count(const NetworkData& n) { return n.lka(); }
    static bool robust(const AdjustmentState& s) { return s.robustAngles; }
    static ObservationKind sumKind(const NetworkData& n, int32_t k) {
        return k <= n.lka1 ? ObservationKind::Angles : ObservationKind::Directions;
    }
    static Evaluation evaluate(const Linearisation& at, int32_t k) { return evaluateAngle(at, k); }
    static const EquationRow& cofactorRow(const Evaluation& e) { return e.row; }
    static Real weightRoot(const Evaluation& e) { return e.weightRoot; }
};

} // namespace

void angleBlock(AdjustmentState& state) { observationBlock<Angles>(state); }

} // namespace ptw3
