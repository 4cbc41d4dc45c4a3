// The linear model of an adjustment's last pass, as the tests after the adjustment use it:
// every observation a group of equations (one weighted row, or a direction set with its
// orientation eliminated), the moving reference points' coordinate pseudo-observations, and
// the normal matrix over the unknowns, to which the coordinates of fixed points can be added
// as unknowns when a point is released. Worked in double: the tests print far fewer digits
// than the adjustment carries.
#pragma once

#include "control/quality_control.h"
#include "solver/supernodal_structure.h"

#include <Eigen/Dense>
#include <Eigen/Sparse>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ptw3 {

/// A sparse row over the extended unknowns: the adjustment's unknowns 0..n−1 first, then
/// the two coordinates of every fixed point that an observation reaches.
using SparseRow = std::vector<std::pair<int32_t, double>>;

/// One observation of the tests: a single equation, or a direction set. A set of n
/// directions is carried as its rows d_k = b_k − b_1 (b the bearing's row, cc per m; d_1 = 0),
/// its free terms τ_k (cc, τ_1 = 0) and the weights of its Schreiber angles as a Laplacian
/// L (L_ij = −w_ij, L_ii = Σ_j w_ij); its share of [pvv] is eᵀ L e with e = D x + τ, which
/// eliminates the station's orientation. A single equation has its weighted row, free term
/// and L = 1.
struct ObservationGroup {
    int32_t firstObservation = -1; ///< in the outcome's list; −1 for a pseudo-observation
    bool directionSet = false;
    std::vector<SparseRow> rows;
    std::vector<double> tau;
    Eigen::MatrixXd laplacian;
    /// The forms rows N⁻¹ rowsᵀ of the adjustment as given (set: of d_i, d_j).
    Eigen::MatrixXd forms;
    /// Single: √p of the observation, to bring its residual back to cc or m.
    double weightRoot = 1;
    /// Set: the directions' mean errors (cc); their weights are 1/m².
    std::vector<double> meanErrors;
    int32_t size() const { return static_cast<int32_t>(rows.size()); }
};

struct ControlModel {
    int32_t unknowns = 0;             ///< n of the adjustment
    int32_t extended = 0;             ///< n + 2 × the fixed points in fixedPoints
    std::vector<int32_t> fixedPoints; ///< point indices, in the order of their unknowns
    std::vector<ObservationGroup> groups;
    /// Moving reference points: point index and, per axis, the group of its pseudo-observation
    /// (−1 when that coordinate has none).
    struct MovingPoint {
        int32_t point = 0;
        int32_t unknownX = 0, unknownY = 0; ///< 0-based
        int32_t groupX = -1, groupY = -1;
    };
    std::vector<MovingPoint> movingPoints;
    int32_t redundancy = 0; ///< f of the adjustment
    /// The supernodes of the adjustment's factor, when there is one: N has its pattern.
    std::shared_ptr<const SupernodalStructure> structure;

    /// The extended index of a fixed point's coordinate (axis 0 = X, 1 = Y).
    int32_t fixedIndex(size_t ordinal, int axis) const {
        return unknowns + 2 * static_cast<int32_t>(ordinal) + axis;
    }
    bool hasReferencePoints() const { return !fixedPoints.empty() || !movingPoints.empty(); }
};

/// The model of the outcome, or the reason it cannot be made.
std::optional<ControlModel> buildControlModel(const NetworkData& network,
                                              const AdjustmentOutcome& outcome,
                                              std::string& reason);

/// The Schreiber weights of a direction set reduced to the directions still in it, as the
/// adjustment weighs them: w_ij = 1/(√Σp · m_i m_j)² over the kept directions.
Eigen::MatrixXd setLaplacian(const std::vector<double>& meanErrors, const std::vector<bool>& kept);

/// A supernodal Cholesky factor P N Pᵀ = L Lᵀ of a sparse symmetric positive definite matrix,
/// with a fill-reducing ordering P. Once factorised it is only read: its solutions may run
/// on several threads at once.
class SparseFactor {
public:
    SparseFactor();
    ~SparseFactor();
    SparseFactor(const SparseFactor&) = delete;
    SparseFactor& operator=(const SparseFactor&) = delete;
    /// False when the matrix is not positive definite (a defect). The ordering P as the
    /// column of N at each column of L, or empty for one of CHOLMOD's choice.
    bool factorise(const Eigen::SparseMatrix<double>& lower,
                   const std::vector<int>& ordering = {});
    /// The same in double over the supernodes of the adjustment's factor, on the threads
    /// (0: one per processor). False, and nothing factorised, when N reaches outside their
    /// pattern or a pivot falls to 0.002: CHOLMOD is then left to decide.
    bool factorise(const Eigen::SparseMatrix<double>& lower,
                   std::shared_ptr<const SupernodalStructure> structure, int32_t threads);
    Eigen::VectorXd solve(const Eigen::VectorXd& b) const;
    Eigen::MatrixXd solve(const Eigen::MatrixXd& b) const;
    /// Bᵀ N⁻¹ B = (L⁻¹ P B)ᵀ (L⁻¹ P B) for each set B of a few sparse columns.
    std::vector<Eigen::MatrixXd> inverseForms(const std::vector<std::vector<SparseRow>>& sets) const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

/// Σ Rᵀ L R over the groups (the lower triangle), over the adjustment's unknowns; the fixed
/// points' coordinates are constants.
Eigen::SparseMatrix<double> normalMatrix(const ControlModel& model);

/// The columns of the normal matrix extended by the fixed points' coordinates at those
/// coordinates, in the order of the extended indices n, n+1, …: (extended index, value).
std::vector<SparseRow> fixedColumns(const ControlModel& model);

/// e = R x + τ of a group, x over the adjustment's unknowns.
Eigen::VectorXd groupResiduals(const ObservationGroup& group, const Eigen::VectorXd& x);

/// Σ Rᵀ L τ over the groups (the gradient of the objective at x = 0).
Eigen::VectorXd gradientAtZero(const ControlModel& model);

/// The adjustment as given, worked again in double on the control model: N factorised, the
/// solution x = −N⁻¹ b and [pvv] at it. Data snooping and the reference-point check both
/// start from it.
struct GivenSolution {
    SparseFactor factor;
    Eigen::VectorXd x;
    double sumOfSquares = 0;
    bool regular = false; ///< false when N is singular (a defect of the network)
};

/// Factorises N of the model and solves it; `regular` tells whether N was positive definite.
/// `apart`: the ordering is found on a thread of its own.
void solveGivenModel(const ControlModel& model, GivenSolution& solution, bool apart = false);

Snooping snoopData(const ControlModel& model, const GivenSolution& given,
                   const ControlOptions& options);
ReferenceCheck checkReferencePoints(const ControlModel& model, const GivenSolution& given);

} // namespace ptw3
