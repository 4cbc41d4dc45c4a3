// The linear model of an adjustment's last pass, as the tests after the adjustment use it:
// every observation a group of equations (one weighted row, or a direction set with its
// orientation eliminated), the moving reference points' coordinate pseudo-observations, and
// the normal matrix over the unknowns, to which the coordinates of fixed points can be added
// as unknowns when a point is released. Worked in double: the tests print far fewer digits
// than the adjustment carries.
#pragma once

#include "control/quality_control.h"

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

    /// The extended index of a fixed point's coordinate (axis 0 = X, 1 = Y).
    int32_t fixedIndex(size_t ordinal, int axis) const {
        return unknowns + 2 * static_cast<int32_t>(ordinal) + axis;
    }
};

/// The model of the outcome, or the reason it cannot be made.
std::optional<ControlModel> buildControlModel(const NetworkData& network,
                                              const AdjustmentOutcome& outcome,
                                              std::string& reason);

/// The Schreiber weights of a direction set reduced to the directions still in it, as the
/// adjustment weighs them: w_ij = 1/(√Σp · m_i m_j)² over the kept directions.
Eigen::MatrixXd setLaplacian(const std::vector<double>& meanErrors, const std::vector<bool>& kept);

/// A Cholesky factor P N Pᵀ = L Lᵀ of a sparse symmetric positive definite matrix, with a
/// fill-reducing ordering P. Supernodal for solutions with many right-hand sides; simplicial
/// for the forms of sparse columns, whose forward substitution touches only the rows its
/// nonzeros reach along the elimination tree.
class SparseFactor {
public:
    enum class Layout { Supernodal, Simplicial };
    explicit SparseFactor(Layout layout = Layout::Supernodal);
    ~SparseFactor();
    SparseFactor(const SparseFactor&) = delete;
    SparseFactor& operator=(const SparseFactor&) = delete;
    /// False when the matrix is not positive definite (a defect).
    bool factorise(const Eigen::SparseMatrix<double>& lower);
    Eigen::VectorXd solve(const Eigen::VectorXd& b) const;
    Eigen::MatrixXd solve(const Eigen::MatrixXd& b) const;
    /// Bᵀ N⁻¹ B = (L⁻¹ P B)ᵀ (L⁻¹ P B) of a few sparse columns (simplicial layout only).
    Eigen::MatrixXd inverseForm(const std::vector<SparseRow>& columns) const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

/// Which extended unknowns take part, and where: index → column, −1 for left out.
using UnknownMap = std::vector<int32_t>;

/// Assembles Σ Rᵀ L R over the groups (the lower triangle), with each group's Laplacian
/// replaced where `laplacians` holds one (an empty matrix leaves the group out).
Eigen::SparseMatrix<double> normalMatrix(const ControlModel& model, const UnknownMap& map,
                                         int32_t size,
                                         const std::vector<const Eigen::MatrixXd*>& laplacians);

/// e = R x + τ of a group, x over the mapped unknowns.
Eigen::VectorXd groupResiduals(const ObservationGroup& group, const UnknownMap& map,
                               const Eigen::VectorXd& x);

/// Σ Rᵀ L τ over the groups (the gradient of the objective at x = 0).
Eigen::VectorXd gradientAtZero(const ControlModel& model, const UnknownMap& map, int32_t size,
                               const std::vector<const Eigen::MatrixXd*>& laplacians);

Snooping snoopData(const ControlModel& model, const AdjustmentOutcome& outcome,
                   const ControlOptions& options);
ReferenceCheck checkReferencePoints(const ControlModel& model, const NetworkData& network,
                                    const AdjustmentOutcome& outcome);

} // namespace ptw3
