// Cuthill-McKee ordering (E. Cuthill, J. McKee, "Reducing the bandwidth of sparse
// symmetric matrices", 1969), with a profile (sum of half-band widths) as the
// measure. Each point stands for its two coordinate unknowns.

#include "input/ordering.h"

#include "common/encoding.h"
#include "common/number_format.h"

#include <algorithm>
#include <array>

namespace ptw3 {
namespace {

class AdjacencyBuilder {
public:
    AdjacencyBuilder(NetworkData& network, DiagnosticReport& report)
        : m_network(network)
        , m_report(report) {
        m_network.neighbours.clear();
        m_network.neighbours.resize(network.lp());
    }

    void link(int32_t a, int32_t b, std::string_view boxEnding) {
        append(a, b, boxEnding);
        append(b, a, boxEnding);
    }

private:
    // A point's list is short (at most 500): it is its own record of the links made.
    void append(int32_t a, int32_t b, std::string_view boxEnding) {
        Table<int32_t>& list = m_network.neighbours[a];
        if (std::find(list.begin(), list.end(), b) != list.end()) {
            return;
        }
        if (list.count() == maxNeighbours) {
            const PointNumber& number = m_network.points[a].number;
            m_report.line(cp1250(" *** Przekroczenie maksymalnej liczby (500) incydencji "));
            m_report.fatal("     Punkt nr: " + number,
                           " Punkt nr: " + number + cp1250(boxEnding));
        }
        list.append(b);
    }

    NetworkData& m_network;
    DiagnosticReport& m_report;
};

struct Variant {
    int32_t start;
    int64_t profile;
};

// The point to be determined with the extreme coordinate; the first of equal ones wins,
// and entry 1 when nothing beats it.
int32_t extremePoint(const NetworkData& n, bool useY, bool largest) {
    int32_t best = 1;
    for (int32_t i = 2; i <= n.determinedCount(); ++i) {
        const Real c = useY ? n.points[i].y : n.points[i].x;
        const Real b = useY ? n.points[best].y : n.points[best].x;
        if (largest ? c > b : c < b) {
            best = i;
        }
    }
    return best;
}

} // namespace

void buildAdjacency(NetworkData& n, DiagnosticReport& report) {
    AdjacencyBuilder builder(n, report);
    constexpr std::string_view linesEnding = " ma > 500 powiązań obserwayjnych";
    constexpr std::string_view anglesEnding = " ma > 500 powiązań obserwacyjnych";
    for (const LineObservation& d : n.distances) {
        builder.link(d.from, d.to, linesEnding);
    }
    for (const LineObservation& a : n.azimuths) {
        builder.link(a.from, a.to, linesEnding);
    }
    for (const Angle& a : n.angles) {
        builder.link(a.left, a.station, anglesEnding);
        builder.link(a.left, a.right, anglesEnding);
        builder.link(a.station, a.right, anglesEnding);
    }
    for (Table<int32_t>& list : n.neighbours) {
        std::stable_sort(list.begin(), list.end(), [&](int32_t p, int32_t q) {
            return n.neighbours[p].count() < n.neighbours[q].count();
        });
    }
}

int64_t orderFromStart(const NetworkData& n, int32_t start, UnknownOrdering& ordering) {
    const int32_t lp = n.lp();
    const int32_t determined = n.determinedCount();
    Table<int32_t>& order = ordering.order;
    Table<int32_t>& position = ordering.position;
    Table<int32_t>& halfBand = ordering.halfBand;
    order.clear();
    position.clear();
    halfBand.clear();
    order.resize(lp);
    position.resize(lp);
    halfBand.resize(lp);

    if (determined > 0) {
        const auto place = [&](int32_t placed, int32_t p) {
            order[placed] = p;
            position[p] = placed;
        };
        place(1, start);
        int32_t placed = 1;
        int32_t head = 1;
        int32_t current = start;
        int32_t lowestUnplaced = 1;
        for (;;) {
            for (const int32_t q : n.neighbours[current]) {
                if (q <= determined && position[q] == 0) {
                    place(++placed, q);
                }
            }
            if (placed == head) {
                if (placed == determined) {
                    break;
                }
                // Another part of the network: it starts at its lowest index.
                while (position[lowestUnplaced] != 0) {
                    ++lowestUnplaced;
                }
                place(++placed, lowestUnplaced);
                ++head;
                current = lowestUnplaced;
            } else {
                current = order[++head];
            }
        }
    }

    // Row k reaches as far as the farthest row that it or an earlier row is linked to.
    int64_t profile = 0;
    for (int32_t k = 1; k <= determined; ++k) {
        int32_t width = k > 1 && halfBand[k - 1] >= 2 ? halfBand[k - 1] - 1 : 1;
        for (const int32_t q : n.neighbours[order[k]]) {
            if (q <= determined && position[q] > k) {
                width = std::max(width, position[q] - k + 1);
            }
        }
        halfBand[k] = width;
        profile += width;
    }
    for (int32_t k = determined + 1; k <= lp; ++k) {
        halfBand[k] = 1;
        order[k] = k;
        position[k] = k;
        profile += 1;
    }
    return profile;
}

void optimiseOrdering(NetworkData& n, DiagnosticReport& report) {
    const std::array<int32_t, 4> starts = {extremePoint(n, false, false),
                                           extremePoint(n, true, false),
                                           extremePoint(n, false, true),
                                           extremePoint(n, true, true)};
    std::array<Variant, 4> variants{};
    Variant best{};
    for (size_t v = 0; v < starts.size(); ++v) {
        variants[v] = {starts[v], orderFromStart(n, starts[v], n.ordering)};
        if (v == 0 || variants[v].profile < best.profile) {
            best = variants[v];
        }
    }
    orderFromStart(n, best.start, n.ordering);

    // clang-format off
    constexpr std::array<std::string_view, 5> labels = {
        " 1-wariant - wielkość półpasma:",
        " 2-wariant -      -\"-         :",
        " 3-wariant -      -\"-         :",
        " 4-wariant -      -\"-         :",
        " Wybór optymalny  -\"-         :",
    };
    // clang-format on
    const auto line = [&](size_t i, const Variant& v) {
        report.line(cp1250(labels[i]) + integer(v.profile, 10) + " " + integer(v.start, 5) +
                    (i == 0 ? " indeks punktu pocz." : " -\"-"));
    };
    report.line(" Optymalizacja profilu macierzy URN: ");
    for (size_t v = 0; v < variants.size(); ++v) {
        line(v, variants[v]);
    }
    line(4, best);
}

} // namespace ptw3
