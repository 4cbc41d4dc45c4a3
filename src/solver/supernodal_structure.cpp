// Orderings by METIS (multilevel nested dissection, George 1973; Karypis and Kumar 1998)
// and AMD (Amestoy, Davis and Duff 1996) on the graph of the points, each point's two
// unknowns kept together; the supernodes and the operation count of each from CHOLMOD's
// symbolic factorisation (Davis 2006) with its weighted postorder of the elimination tree.

#include "solver/supernodal_structure.h"

#include <amd.h>
#include <cholmod.h>
#include <metis.h>

#include <algorithm>
#include <cassert>
#include <numeric>
#include <stdexcept>

namespace ptw3 {

// METIS wants a simple graph: a point listed among its own neighbours (an observation from a
// point to itself) or a neighbour listed twice can keep its refinement from ever ending.
std::vector<int32_t> nestedDissection(const PointGraph& g) {
    idx_t count = g.points;
    std::vector<idx_t> start{0};
    std::vector<idx_t> neighbours;
    neighbours.reserve(g.neighbours.size());
    std::vector<int32_t> listedFor(static_cast<size_t>(g.points), -1); // the list q is in
    for (int32_t p = 0; p < g.points; ++p) {
        listedFor[static_cast<size_t>(p)] = p;
        for (int64_t e = g.start[static_cast<size_t>(p)]; e < g.start[static_cast<size_t>(p) + 1];
             ++e) {
            const int32_t q = g.neighbours[static_cast<size_t>(e)];
            if (listedFor[static_cast<size_t>(q)] != p) {
                listedFor[static_cast<size_t>(q)] = p;
                neighbours.push_back(q);
            }
        }
        start.push_back(static_cast<idx_t>(neighbours.size()));
    }
    std::vector<idx_t> order(static_cast<size_t>(count));
    std::vector<idx_t> inverse(static_cast<size_t>(count));
    idx_t options[METIS_NOPTIONS];
    METIS_SetDefaultOptions(options);
    options[METIS_OPTION_NUMBERING] = 0; // and the fixed default seed: the same order each time
    neighbours.push_back(0); // METIS reads the array even when no point has a neighbour
    if (METIS_NodeND(&count, start.data(), neighbours.data(), nullptr, options, order.data(),
                     inverse.data()) != METIS_OK) {
        return {};
    }
    // The first array: at each position of the order, the point placed there.
    return {order.begin(), order.end()};
}

namespace {

/// The points in approximate minimum degree order; empty when AMD fails.
std::vector<int32_t> minimumDegree(const PointGraph& g) {
    std::vector<int> start(g.start.begin(), g.start.end());
    std::vector<int> neighbours(g.neighbours.begin(), g.neighbours.end());
    std::vector<int> order(static_cast<size_t>(g.points));
    neighbours.push_back(0);
    const int status = amd_order(g.points, start.data(), neighbours.data(), order.data(), nullptr,
                                 nullptr);
    if (status != AMD_OK && status != AMD_OK_BUT_JUMBLED) {
        return {};
    }
    return {order.begin(), order.end()};
}

class Cholmod {
public:
    Cholmod() { cholmod_start(&common); }
    ~Cholmod() { cholmod_finish(&common); }
    Cholmod(const Cholmod&) = delete;
    Cholmod& operator=(const Cholmod&) = delete;
    cholmod_common common;
};

/// The upper triangle of the normal matrix's pattern over the unknowns, column by column.
cholmod_sparse* patternOf(const PointGraph& g, cholmod_common& common) {
    const auto n = static_cast<size_t>(2 * g.points);
    size_t entries = 0;
    for (int32_t p = 0; p < g.points; ++p) {
        entries += 3 + 4 * static_cast<size_t>(g.start[p + 1] - g.start[p]);
    }
    cholmod_sparse* a = cholmod_allocate_sparse(n, n, entries, 1, 1, 1, CHOLMOD_PATTERN, &common);
    if (a == nullptr) {
        throw std::bad_alloc();
    }
    int* columnStart = static_cast<int*>(a->p);
    int* rowsOf = static_cast<int*>(a->i);
    int k = 0;
    for (int32_t p = 0; p < g.points; ++p) {
        for (int32_t coordinate = 0; coordinate < 2; ++coordinate) {
            columnStart[2 * p + coordinate] = k;
            for (int64_t e = g.start[p]; e < g.start[p + 1]; ++e) {
                const int32_t q = g.neighbours[static_cast<size_t>(e)];
                if (q < p) {
                    rowsOf[k++] = 2 * q;
                    rowsOf[k++] = 2 * q + 1;
                }
            }
            rowsOf[k++] = 2 * p;
            if (coordinate == 1) {
                rowsOf[k++] = 2 * p + 1;
            }
        }
    }
    columnStart[n] = k;
    a->sorted = 0;
    return a;
}

/// The supernodal structure under the order of the points given.
SupernodalStructure analyse(const PointGraph& g, const std::vector<int32_t>& points,
                            FillOrdering ordering) {
    Cholmod cholmod;
    cholmod_common& common = cholmod.common;
    common.nmethods = 1;
    common.method[0].ordering = CHOLMOD_GIVEN;
    common.postorder = 1;
    common.supernodal = CHOLMOD_SUPERNODAL;
    const int32_t n = 2 * g.points;
    std::vector<int> given(static_cast<size_t>(n));
    for (int32_t k = 0; k < g.points; ++k) {
        given[2 * static_cast<size_t>(k)] = 2 * points[static_cast<size_t>(k)];
        given[2 * static_cast<size_t>(k) + 1] = 2 * points[static_cast<size_t>(k)] + 1;
    }
    cholmod_sparse* a = patternOf(g, common);
    cholmod_factor* l = cholmod_analyze_p(a, given.data(), nullptr, 0, &common);
    cholmod_free_sparse(&a, &common);
    if (l == nullptr || !l->is_super) {
        cholmod_free_factor(&l, &common);
        throw std::runtime_error("the symbolic analysis of the normal equations failed");
    }

    SupernodalStructure s;
    s.n = n;
    s.ordering = ordering;
    s.operations = common.fl / 2;
    const int* perm = static_cast<const int*>(l->Perm);
    s.permutation.assign(perm, perm + n);
    s.position.assign(static_cast<size_t>(n), 0);
    for (int32_t k = 0; k < n; ++k) {
        s.position[static_cast<size_t>(s.permutation[static_cast<size_t>(k)])] = k;
    }
    const auto supernodes = static_cast<int32_t>(l->nsuper);
    const int* super = static_cast<const int*>(l->super);
    const int* pi = static_cast<const int*>(l->pi);
    const int* ls = static_cast<const int*>(l->s);
    s.first.assign(super, super + supernodes + 1);
    s.rowStart.assign(pi, pi + supernodes + 1);
    s.rows.assign(ls, ls + pi[supernodes]);
    cholmod_free_factor(&l, &common);

    s.valueStart.assign(static_cast<size_t>(supernodes) + 1, 0);
    s.supernodeOf.assign(static_cast<size_t>(n), 0);
    for (int32_t t = 0; t < supernodes; ++t) {
        std::sort(s.rows.begin() + s.rowStart[t], s.rows.begin() + s.rowStart[t + 1]);
        s.valueStart[t + 1] =
            s.valueStart[t] + static_cast<int64_t>(s.rowCount(t)) * s.columns(t);
        for (int32_t c = s.first[t]; c < s.first[t + 1]; ++c) {
            s.supernodeOf[static_cast<size_t>(c)] = t;
            assert(s.rows[static_cast<size_t>(s.rowStart[t] + c - s.first[t])] == c);
        }
    }
    // Each supernode updates the supernodes that hold its rows below its own columns, all
    // of them its ancestors; listed by increasing updater.
    std::vector<int32_t>& parent = s.parent;
    parent.assign(static_cast<size_t>(supernodes), -1);
    std::vector<std::vector<int32_t>> updaters(static_cast<size_t>(supernodes));
    for (int32_t d = 0; d < supernodes; ++d) {
        int32_t last = -1;
        for (int64_t e = s.rowStart[d] + s.columns(d); e < s.rowStart[d + 1]; ++e) {
            const int32_t t = s.supernodeOf[static_cast<size_t>(s.rows[static_cast<size_t>(e)])];
            if (t != last) {
                updaters[static_cast<size_t>(t)].push_back(d);
                if (last == -1) {
                    parent[static_cast<size_t>(d)] = t;
                }
                last = t;
            }
        }
    }
    s.updaterStart.assign(static_cast<size_t>(supernodes) + 1, 0);
    for (int32_t t = 0; t < supernodes; ++t) {
        const std::vector<int32_t>& list = updaters[static_cast<size_t>(t)];
        s.updaterStart[t + 1] = s.updaterStart[t] + static_cast<int64_t>(list.size());
        s.updaters.insert(s.updaters.end(), list.begin(), list.end());
    }
    // The postorder keeps every subtree contiguous, ending with its root.
    s.subtreeFirst.resize(static_cast<size_t>(supernodes));
    std::iota(s.subtreeFirst.begin(), s.subtreeFirst.end(), 0);
    for (int32_t t = 0; t < supernodes; ++t) {
        const int32_t up = parent[static_cast<size_t>(t)];
        if (up >= 0) {
            assert(up > t);
            s.subtreeFirst[static_cast<size_t>(up)] =
                std::min(s.subtreeFirst[static_cast<size_t>(up)], s.subtreeFirst[static_cast<size_t>(t)]);
        }
    }
    return s;
}

} // namespace

int64_t SupernodalStructure::indexOf(int32_t row, int32_t column) const {
    assert(row >= column && column >= 0 && row < n);
    const int32_t t = supernodeOf[static_cast<size_t>(column)];
    const int32_t j = column - first[t];
    const auto begin = rows.begin() + rowStart[t];
    const auto end = rows.begin() + rowStart[t + 1];
    const auto at = std::lower_bound(begin + j, end, row);
    if (at == end || *at != row) {
        return -1;
    }
    return valueStart[t] + static_cast<int64_t>(j) * rowCount(t) + (at - begin);
}

SupernodalStructure analyseSupernodal(const PointGraph& graph) {
    std::vector<int32_t> natural(static_cast<size_t>(graph.points));
    std::iota(natural.begin(), natural.end(), 0);
    if (graph.points <= 2) {
        return analyse(graph, natural, FillOrdering::Natural);
    }
    std::vector<int32_t> dissection = nestedDissection(graph);
    std::vector<int32_t> degree = minimumDegree(graph);
    if (dissection.empty() && degree.empty()) {
        return analyse(graph, natural, FillOrdering::Natural);
    }
    if (degree.empty()) {
        return analyse(graph, dissection, FillOrdering::NestedDissection);
    }
    SupernodalStructure byDegree = analyse(graph, degree, FillOrdering::MinimumDegree);
    if (dissection.empty()) {
        return byDegree;
    }
    SupernodalStructure byDissection = analyse(graph, dissection, FillOrdering::NestedDissection);
    return byDissection.operations <= byDegree.operations ? std::move(byDissection)
                                                          : std::move(byDegree);
}

std::string nameOf(FillOrdering ordering) {
    switch (ordering) {
    case FillOrdering::NestedDissection: return "nested dissection";
    case FillOrdering::MinimumDegree: return "minimum degree";
    case FillOrdering::Natural: return "natural";
    }
    return {};
}

} // namespace ptw3
