#include "control/statistics.h"

#include <boost/math/distributions/chi_squared.hpp>
#include <boost/math/distributions/fisher_f.hpp>

namespace ptw3 {

double chiSquareQuantile(int32_t f, double p) {
    return boost::math::quantile(boost::math::chi_squared_distribution<double>(f), p);
}

double fisherQuantile(int32_t d1, int32_t d2, double p) {
    return boost::math::quantile(boost::math::fisher_f_distribution<double>(d1, d2), p);
}

} // namespace ptw3
