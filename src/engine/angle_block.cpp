// The angle block of an adjustment pass: the angles of the angle files (entries 1 to lka1) and
// the Schreiber angles formed from the direction sets (entries lka1 + 1 to lka). Every pass
// linearises them at the working coordinates; the first iteration lists the observations
// with their arc-to-chord reductions, and the last pass prints the adjusted angles and the
// directions rebuilt set by set from the residuals of their Schreiber angles.
#include "common/encoding.h"
#include "common/number_format.h"
#include "engine/direction_cofactors.h"
#include "engine/observation_blocks.h"
#include "engine/pass_progress.h"
#include "engine/residual_analysis.h"
#include "engine/weighting.h"
#include "observations/angle_observations.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ptw3 {
namespace {

constexpr Real gradPerCc = 1e-4L;
constexpr Real ccPerGrad = 10000;
/// Angles evaluated together in the last pass, so that their cofactors are computed at once.
constexpr int32_t lastPassBatch = 2048;

// clang-format off
constexpr std::array angleListingMain = {
    "  ------------------------------------------------------------------------- tarvel_2006-----",
    "  |             P L A N Y   K Ą T Ó W                |  KĄT OBS., BŁ.ŚR.,REDUKCJA, KĄT ZRED|",
    "  |--------------------------------------------------+-------------------------------------|",
    "  |       Nr(L)    |       Nr(C)    |       Nr(P)    |   Al(obs)  | mAL |d(AL)|   Al(zred) |",
    "  |----------------+----------------+----------------+------------+-----+-----+------------|",
};
constexpr std::array angleListingControl = {
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
constexpr std::array directionListingMain = {
    "  ----------------------------------------------------- tarvel_2006-----",
    "  |       P L A N Y  KIERUNKÓW      |KIER.OBS.|BL.ŚR|REDUKCJA|KIER.ZRED|",
    "  |                                 |         |     |ODWZOR. |         |",
    "  |---------------------------------+---------------+------------------|",
    "  |  Nr stanowiska |    Nr celu     | Ki_OBS  |m(Ki)|    dKi |Ki_ZRED  |",
    "  |                |                |  [ g ]  |[cc] |   [cc] |  [ g ]  |",
    "  |----------------+----------------+---------+-----+--------+---------|",
};
constexpr std::array directionListingControl = {
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

constexpr std::string_view angleResultsRuleMain =
    "  ------------------------------------------------------------------------------- tarvel_2006------";
constexpr std::string_view angleResultsRule =
    "  -------------------------------------------------------------------------------------------------";
constexpr std::array angleResultsHead = {
    "  |             P L A N Y   K Ą T Ó W                |  OBSERWACJE   |     WIELKOŚCI WYRÓWNANE    |",
    "  |--------------------------------------------------+---------------+----------------------------|",
    "  |       Nr(L)    |       Nr(C)    |       Nr(P)    | Al(obs) |mA*Mo|    V | mV  | Al(wyr) |mAwyr|",
};
constexpr std::string_view angleResultsUnits =
    "  |                |                |                |  [ g ]  |[cc] |  [cc]|[cc] |  [ g ]  |[cc] |";
constexpr std::string_view angleResultsHeadEnd =
    "  |----------------+----------------+----------------+---------+-----+------+-----+---------+-----|";
constexpr std::array directionResultsHead = {
    "  -------------------------------------------------------------- tarvel_2006------",
    "  |       P L A N Y  KIERUNKÓW      |  OBSERWACJE   |     KIERUNKI WYRÓWNANE     |",
    "  |---------------------------------+---------------+----------------------------|",
    "  |  Nr stanowiska |    Nr celu     | Ki(obs) |mK*Mo|    V | mV  | Ki(wyr) |mKwyr|",
    "  |                |                |  [ g ]  |[cc] |  [cc]| [cc]|  [ g ]  | [cc]|",
    "  |----------------+----------------+---------+-----+------+-----+---------+-----|",
};
constexpr std::string_view directionResultsSetEnd =
    "  --------------------------------------------------------------------------------";
// clang-format on

// A question met while an angle is evaluated: its lines in the control report and its text.
struct Question {
    std::vector<std::string> controlLines;
    std::string text;
};

// One angle at the working coordinates, with the weighted equation row as accumulated.
struct AngleEvaluation {
    Real computedCc = 0;
    AngleReductions reductions;
    AngleFreeTerm freeTerm;
    Real s = 0;
    EquationRow row;
};

const PointNumber& numberOf(const AdjustmentState& s, int32_t point) {
    return s.network.points[point].number;
}

std::string field(int32_t point, const AdjustmentState& s) {
    return rightAlign(numberOf(s, point), pointNumberWidth);
}

// The line from the station to a target; nearly coincident ends raise a question naming the
// two points in the given order, and the line goes on with the squared length 0.1 m² so that
// its bearing and coefficients stay finite.
LineIncrements checkedLine(const AdjustmentState& s, int32_t station, int32_t target,
                           const PointNumber& first, const PointNumber& second,
                           std::vector<Question>& questions) {
    LineIncrements line = lineIncrements(workingPoint(s, station), workingPoint(s, target));
    if (line.d2 < nearlyCoincidentSquaredM2) {
        const std::string pair = first + " " + second;
        questions.push_back({{cp1250("*** Podobne współrzędne przybliżone punktów: ") + pair},
                             cp1250(" ***  Podobne współrzędne przybliżone punktów: ") + pair +
                                 "\n" + cp1250("      Czy chcesz liczyć dalej?")});
        line.d2 = nearlyCoincidentSquaredM2;
    }
    return line;
}

// A reduction too large for the chosen system and zone raises a question.
void checkReduction(Real reductionCc, std::string_view mark, const PointNumber& station,
                    const PointNumber& target, std::vector<Question>& questions) {
    if (std::fabs(reductionCc) <= largeReductionCc) {
        return;
    }
    questions.push_back(
        {{std::string(mark) + cp1250(" UWAGA: ZBYT DUŻA REDUKCJA ODWZOROWAWCZA KIERUNKU"),
          station + " ---> " + target + " popr = " + general(reductionCc) + "[cc]",
          cp1250("  sprawdz poprawność wyboru układu i strefy"),
          cp1250("  dla używanych współrzędnych!")},
         cp1250(" *** ZBYT DUŻA REDUKCJA ODWZOROWAWCZA KIERUNKU\n"
                "     sprawdź poprawność wyboru układu i strefy\n"
                "     Czy chcesz liczyć dalej?")});
}

AngleEvaluation evaluateAngle(const AdjustmentState& s, const Angle& a,
                              std::vector<Question>& questions) {
    const PointNumber& left = numberOf(s, a.left);
    const PointNumber& station = numberOf(s, a.station);
    const PointNumber& right = numberOf(s, a.right);
    const LineIncrements toLeft = checkedLine(s, a.station, a.left, left, station, questions);
    const LineIncrements toRight = checkedLine(s, a.station, a.right, station, right, questions);

    AngleEvaluation e;
    e.computedCc = computedAngleCc(toLeft, toRight);
    e.reductions = angleReductions(s.projection, workingPoint(s, a.station),
                                   workingPoint(s, a.left), workingPoint(s, a.right));
    checkReduction(e.reductions.left, " ***", station, left, questions);
    checkReduction(e.reductions.right, " **", station, right, questions);
    e.freeTerm = angleFreeTerm(e.computedCc, a.value, e.reductions);

    e.s = angleWeightRoot(a.meanError);
    if (s.robustAngles) {
        e.s = robustWeightRoot(e.s, e.freeTerm.freeTermCc);
    }
    const AngleCoefficients c = angleCoefficients(toLeft, toRight, e.s);
    const PointUnknowns l = unknownsOf(s.network, a.left);
    const PointUnknowns p = unknownsOf(s.network, a.right);
    const PointUnknowns st = unknownsOf(s.network, a.station);
    e.row.add(l.dx, c.leftX);
    e.row.add(l.dy, c.leftY);
    e.row.add(p.dx, c.rightX);
    e.row.add(p.dy, c.rightY);
    e.row.add(st.dx, c.stationX);
    e.row.add(st.dy, c.stationY);
    return e;
}

void raise(AdjustmentState& s, const Question& q) {
    for (const std::string& line : q.controlLines) {
        s.controlReport.line(line);
    }
    askToContinue(s, q.text);
}

ObservationKind kindOf(const NetworkData& n, int32_t entry) {
    return entry <= n.lka1 ? ObservationKind::Angles : ObservationKind::Directions;
}

template <size_t N> void writeLines(ReportFile& report, const std::array<const char*, N>& lines) {
    for (const char* line : lines) {
        report.line(cp1250(line));
    }
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

std::string anglePoints(const AdjustmentState& s, const Angle& a) {
    return "  |" + field(a.left, s) + "|" + field(a.station, s) + "|" + field(a.right, s) + "|";
}

// The observations with their reductions (main report) and initial free terms (control
// report), written in the first iteration.
class ObservationListing {
  public:
    explicit ObservationListing(AdjustmentState& s)
        : m_s(s) {}

    // Headings due before entry k.
    void before(int32_t k) {
        const NetworkData& n = m_s.network;
        if (k == 1 && n.lka1 > 0) {
            m_s.mainReport.line(cp1250("  KĄTY, BŁEDY ŚREDNIE, REDUKCJE ODWZOROWAWCZE"));
            m_s.mainReport.line(schreiberNote());
            writeLines(m_s.mainReport, angleListingMain);
            m_s.controlReport.line(
                cp1250("  KĄTY, BŁEDY ŚREDNIE, REDUKCJE ODWZOROWAWCZE, POCZĄTKOWE WYRAZY WOLNE "));
            m_s.controlReport.line(schreiberNote());
            writeLines(m_s.controlReport, angleListingControl);
        }
        if (k == n.lka1 + 1) {
            if (n.lka1 > 0) {
                closeAngles();
            }
            m_s.mainReport.line(" ");
            m_s.controlReport.line(" ");
            writeLines(m_s.mainReport, directionListingMain);
            writeLines(m_s.controlReport, directionListingControl);
        }
    }

    void row(int32_t k, const AngleEvaluation& e) {
        const NetworkData& n = m_s.network;
        if (k <= n.lka1) {
            angleRow(n.angles[k], e);
            if (k == n.lka() && n.lka2() == 0) {
                closeAngles();
            }
        } else {
            m_position.advance(n);
            directionRows(n.angles[k], e);
        }
    }

  private:
    static std::string schreiberNote() {
        return cp1250("  [obserwacje kierunkowe zamieniono na kąty Schreibera]");
    }

    void closeAngles() {
        m_s.mainReport.line(angleListingEndMain);
        m_s.controlReport.line(angleListingEndControl);
    }

    void angleRow(const Angle& a, const AngleEvaluation& e) {
        const std::string row = anglePoints(m_s, a) + fixed(a.value, 12, 5) + "|" +
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
        const DirectionSet& set = m_s.network.directionSets[m_position.set];
        assert(set.station == a.station);
        if (m_position.j == 1) {
            const Direction& d = set.directions[1];
            assert(d.target == a.left);
            const std::string row = "  |" + field(set.station, m_s) + "|" + field(d.target, m_s) +
                                    "|" + directionColumns(d, e.reductions.left);
            m_s.mainReport.line(row);
            m_s.controlReport.line(row + std::string(9, ' ') + "|");
        }
        if (m_position.j < m_position.n) {
            const Direction& d = set.directions[m_position.j + 1];
            assert(d.target == a.right);
            const std::string row = "  |" + std::string(pointNumberWidth, ' ') + "|" +
                                    field(d.target, m_s) + "|" +
                                    directionColumns(d, e.reductions.right);
            m_s.mainReport.line(row);
            m_s.controlReport.line(row + fixed(e.freeTerm.freeTermCc, 9, 1) + "|");
        }
        if (m_position.setEnds()) {
            m_s.mainReport.line(setEndMain);
            m_s.controlReport.line(setEndControl);
        }
    }

    AdjustmentState& m_s;
    SetPosition m_position;
};

// The adjusted angles and directions of the last pass: every row to the main report, the
// outliers to the control report, and the statistics of each kind.
class ResultListing {
  public:
    explicit ResultListing(AdjustmentState& s)
        : m_s(s)
        , m_approximate(s.options.analysisMode == AnalysisMode::Approximate)
        // Robust weights of the Schreiber angles no longer stand for a set of directions
        // with one orientation.
        , m_directionShares(s.outcome != nullptr && !m_approximate && !s.robustAngles) {}

    // Headings due before entry k.
    void before(int32_t k) {
        const NetworkData& n = m_s.network;
        ReportFile& main = m_s.mainReport;
        ReportFile& control = m_s.controlReport;
        if (k == 1) {
            control.line(" ");
            control.line(cp1250("  WYKAZ \"ODSTAJĄCYCH\" OBSERWACJI KĄTOWYCH/KIERUNKOWYCH"));
            main.line(" ");
            main.line(cp1250("  WYKAZ WYRÓWNANYCH MIAR KĄTÓW lub KIERUNKÓW"));
            if (n.lka1 > 0) {
                main.line(angleResultsRuleMain);
                control.line(angleResultsRule);
                for (const char* line : angleResultsHead) {
                    main.line(cp1250(line));
                    control.line(cp1250(line));
                }
                main.line(angleResultsUnits);
                main.line(angleResultsHeadEnd);
                control.line(angleResultsHeadEnd);
            }
        }
        if (k == n.lka1 + 1) {
            m_counts = {};
            for (const char* line : directionResultsHead) {
                main.line(cp1250(line));
                control.line(cp1250(line));
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
        if (k <= n.lka1) {
            angleRow(a, e, mObs, mAdj, q);
            if (k == n.lka1) {
                m_s.mainReport.line(angleResultsRule);
                m_s.controlReport.line(angleResultsRule);
                writeStatistics(m_s.mainReport, m_s.controlReport, angleStatistics, m_counts);
            }
            return;
        }
        schreiberAngle(a, e, mObs, mAdj, q);
        if (k == n.lka()) {
            writeStatistics(m_s.mainReport, m_s.controlReport, directionStatistics, m_counts);
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
        const std::string row =
            anglePoints(m_s, a) + fixed(e.freeTerm.reducedCc * gradPerCc, 9, 5) + "|" +
            fixed(mObs, 5, 1) + "|" + fixed(v, 6, 1) + "|" + fixed(judged.mV, 5, 1) + "|" +
            fixed(e.computedCc * gradPerCc, 9, 5) + "|" + fixed(mAdj, 5, 1) +
            std::string(judged.marker());
        m_s.mainReport.line(row);
        if (judged.outlier) {
            m_s.controlReport.line(row);
        }
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
            m_angleForms.push_back(q / (e.s * e.s)); // the angle's unweighted cofactor
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
        const Real o = stationOrientationCc(m_directions);
        const Real factor = directionAccuracyFactor(m_ratioSum, m_position.n);
        for (int32_t k = 1; k <= m_position.n; ++k) {
            const SetDirection& d = m_directions[static_cast<size_t>(k - 1)];
            const DirectionMeanErrors m =
                m_approximate ? DirectionMeanErrors{d.meanErrorCc * m_s.mo,
                                                    d.meanErrorCc * m_s.otrebski * m_s.mo}
                              : directionMeanErrors(d.meanErrorCc, m_s.mo, factor);
            const Real v = d.freeTermCc - o;
            const ResidualJudgement judged =
                judgeResidual(directionResiduals, v, m.observedCc, m.adjustedCc);
            m_counts.count(directionResiduals, v, judged.outlier);
            if (m_s.outcome != nullptr) {
                const Direction& direction = set.directions[k];
                m_s.outcome->observations.push_back(
                    {ListedKind::Direction, direction.source, 0, set.station, direction.target,
                     d.readingCc * gradPerCc, adjustedReadingGrad(d.readingCc, v), v,
                     d.meanErrorCc, m.adjustedCc, judged.mV, judged.outlier,
                     shares.empty() ? std::nullopt
                                    : std::optional<Real>(shares[static_cast<size_t>(k - 1)])});
            }
            const std::string columns =
                field(set.directions[k].target, m_s) + "|" + fixed(d.readingCc * gradPerCc, 9, 5) +
                "|" + fixed(m.observedCc, 5, 1) + "|" + fixed(v, 6, 1) + "|" +
                fixed(judged.mV, 5, 1) + "|" + fixed(adjustedReadingGrad(d.readingCc, v), 9, 5) +
                "|" + fixed(m.adjustedCc, 5, 1) + std::string(judged.marker());
            const std::string withStation = "  |" + field(set.station, m_s) + "|" + columns;
            m_s.mainReport.line(
                k == 1 ? withStation : "  |" + std::string(pointNumberWidth, ' ') + "|" + columns);
            if (judged.outlier) {
                m_s.controlReport.line(withStation);
            }
        }
        m_s.mainReport.line(directionResultsSetEnd);
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

void iterationPass(AdjustmentState& s) {
    const NetworkData& n = s.network;
    const bool listing = s.iteration == 1;
    ObservationListing observations(s);
    std::vector<Question> questions;
    for (int32_t k = 1; k <= n.lka(); ++k) {
        if (listing) {
            observations.before(k);
        }
        questions.clear();
        const AngleEvaluation e = evaluateAngle(s, n.angles[k], questions);
        for (const Question& q : questions) {
            raise(s, q);
        }
        addEquation(s, kindOf(n, k), e.row, e.s * e.freeTerm.freeTermCc);
        if (listing) {
            observations.row(k, e);
        }
        observationStep(s);
    }
}

// The angles are evaluated a batch at a time and their cofactors computed together; the
// questions met are raised when their angle is printed, so the control report holds their
// lines where a pass that printed each angle as it went would have put them.
void lastPass(AdjustmentState& s) {
    const NetworkData& n = s.network;
    const bool full = s.options.analysisMode != AnalysisMode::Approximate;
    ResultListing results(s);
    std::vector<AngleEvaluation> batch;
    std::vector<EquationRow> rows;
    std::vector<std::pair<int32_t, Question>> pending;
    std::vector<Question> questions;
    for (int32_t first = 1; first <= n.lka(); first += lastPassBatch) {
        const int32_t last = std::min(n.lka(), first + lastPassBatch - 1);
        batch.clear();
        rows.clear();
        pending.clear();
        for (int32_t k = first; k <= last; ++k) {
            questions.clear();
            const AngleEvaluation& e = batch.emplace_back(evaluateAngle(s, n.angles[k], questions));
            for (Question& q : questions) {
                pending.emplace_back(k, std::move(q));
            }
            addEquation(s, kindOf(n, k), e.row, e.s * e.freeTerm.freeTermCc);
            if (full) {
                rows.push_back(e.row);
            }
            observationStep(s);
        }
        const std::vector<Real> q = full ? observationCofactors(s.normal, rows)
                                         : std::vector<Real>(batch.size());
        auto question = pending.begin();
        for (int32_t k = first; k <= last; ++k) {
            results.before(k);
            for (; question != pending.end() && question->first == k; ++question) {
                raise(s, question->second);
            }
            const auto i = static_cast<size_t>(k - first);
            results.row(k, batch[i], q[i]);
        }
    }
}

} // namespace

void angleBlock(AdjustmentState& state) {
    if (state.lastPass) {
        lastPass(state);
    } else {
        iterationPass(state);
    }
}

} // namespace ptw3
