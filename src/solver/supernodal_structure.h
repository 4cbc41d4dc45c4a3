// The symbolic side of the sparse Cholesky factorisation of the normal equations: a
// fill-reducing ordering of the points (nested dissection by METIS or approximate minimum
// degree by AMD, whichever leaves the factor fewer operations) and the supernodes of the
// factor under it, as CHOLMOD's symbolic analysis finds them (fundamental supernodes merged
// where few zeros are added). Each point keeps its two unknowns side by side in the
// ordering, so that the 2x2 block of a point is one small dense block of the factor.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ptw3 {

/// The points to be determined (0..points-1) and the pairs that an observation joins, as
/// adjacency lists: every pair in both lists, no point in its own.
struct PointGraph {
    int32_t points = 0;
    std::vector<int64_t> start{0}; ///< the neighbours of p are neighbours[start[p] .. start[p+1])
    std::vector<int32_t> neighbours;
};

/// Which ordering of the points the analysis kept.
enum class FillOrdering { NestedDissection, MinimumDegree, Natural };

/// The factor L of P N P^T = L L^T by supernodes: supernode s holds the columns
/// first[s] .. first[s+1]-1 of L over its rows rows[rowStart[s] .. rowStart[s+1]) (its
/// own columns first, then the rows below them, increasing), as a dense block of nsrow x
/// nscol values stored column by column from valueStart[s]. Unknowns are 0-based here.
struct SupernodalStructure {
    int32_t n = 0;                  ///< unknowns (twice the points)
    std::vector<int32_t> permutation; ///< position k of the factor holds unknown permutation[k]
    std::vector<int32_t> position;    ///< its inverse: unknown u sits at position[u]
    std::vector<int32_t> first;       ///< [supernodes + 1]
    std::vector<int64_t> rowStart;    ///< [supernodes + 1]
    std::vector<int32_t> rows;
    std::vector<int64_t> valueStart;  ///< [supernodes + 1]
    std::vector<int32_t> supernodeOf; ///< the supernode of each column
    /// the supernodes that update s, increasing: updaters[updaterStart[s] .. [s+1])
    std::vector<int64_t> updaterStart;
    std::vector<int32_t> updaters;
    /// the parent of each supernode in the elimination tree, -1 at a root
    std::vector<int32_t> parent;
    /// the last supernode of the subtree of s is s itself, its first is subtreeFirst[s]
    std::vector<int32_t> subtreeFirst;
    FillOrdering ordering = FillOrdering::Natural;
    double operations = 0; ///< multiply-adds of the numerical factorisation, by CHOLMOD's count

    int32_t supernodes() const { return static_cast<int32_t>(first.size()) - 1; }
    int32_t columns(int32_t s) const { return first[s + 1] - first[s]; }
    int32_t rowCount(int32_t s) const { return static_cast<int32_t>(rowStart[s + 1] - rowStart[s]); }
    int64_t entries() const { return valueStart.back(); }
    /// Index of L[row][column] (row >= column, 0-based positions) in the values, or -1 when
    /// the factor's pattern does not hold it.
    int64_t indexOf(int32_t row, int32_t column) const;
};

/// The points in the order nested dissection (METIS) places them, at each position the
/// point placed there; empty when METIS fails. Self-loops and repeated neighbours are left out.
std::vector<int32_t> nestedDissection(const PointGraph& graph);

/// Analyses the normal matrix of the graph (each point two unknowns, every point coupled
/// with its neighbours) under both orderings and keeps the one with fewer operations.
SupernodalStructure analyseSupernodal(const PointGraph& graph);

/// "nested dissection", "minimum degree" or "natural" for the benchmarks' logs.
std::string nameOf(FillOrdering ordering);

} // namespace ptw3
