// Map reductions of the 1965 family (the 1965 system and its 1965/86 realisation): zones 1 to
// 4 are oblique stereographic projections about a zone centre (X0, Y0), zone 5 is a
// Gauss-Krüger strip whose central meridian lies at y = 237 km. Convergence, arc-to-chord
// reduction and scale distortion are the system's polynomial working formulas in kilometres
// about the zone centre; 1965/86 changes only the distortion constants of the zones.
#pragma once

#include "common/real.h"
#include "observations/projections.h"

#include <cstdint>

namespace ptw3 {

/// Convergence of meridians γ (cc) at a stored point (x, y in metres) of a 1965 zone; zones
/// other than 1..5 give 0.
Real zone1965Convergence(int32_t zone, Real x, Real y);

/// Arc-to-chord reduction δ12 (cc) of the direction 1→2 between stored points (metres); the
/// chord's grid bearing is the projected geodesic's bearing at point 1 plus δ12. Zones other
/// than 1..5 give 0.
Real zone1965ArcToChord(int32_t zone, GridPoint p1, GridPoint p2);

/// Scale distortion (m - 1)·10^6 at a point given in kilometres; `constants` selects the 1965
/// (Zone1965) or 1965/86 (Zone1965of86) values. Zones other than 1..5 give 0.
Real zone1965Distortion(int32_t zone, ProjectionFormulas constants, Real xKm, Real yKm);

} // namespace ptw3
