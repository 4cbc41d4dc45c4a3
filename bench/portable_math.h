// Logarithm and bearing built from the four basic operations and the square root
// only, which IEEE 754 rounds exactly, so that a generated network has the same bits
// on every platform; the library's log and atan2 may differ in the last place.
#pragma once

namespace ptw3::bench {

/// ln x for x > 0.
double naturalLog(double x);

/// The bearing of the vector (dx, dy) in grads, clockwise from the +X axis (north)
/// towards +Y (east), in [0, 400); dx and dy in metres, not both zero.
double bearingGrad(double dx, double dy);

/// The angle brought into [0, 400) grads.
double normalizedGrad(double angleGrad);

} // namespace ptw3::bench
