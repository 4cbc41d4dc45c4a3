#include "engine/synthetic_network.h"

#include "common/number_format.h"

#include <algorithm>
#include <cmath>

namespace ptw3::test {
namespace {
constexpr Real rho = 636619.772368L; // cc per radian
std::string text(Real v, int decimals) { return fixed(v, 1, decimals); }
} // namespace

std::vector<TruePoint> scatter(int count, int fixed, std::mt19937& random) {
    std::uniform_real_distribution<double> u(0, 3000);
    std::vector<TruePoint> points;
    while (static_cast<int>(points.size()) < count) {
        const Real x = 5000 + u(random), y = 7000 + u(random);
        bool clear = true;
        for (const TruePoint& p : points) {
            clear = clear && std::hypot(p.x - x, p.y - y) > 300;
        }
        if (clear) {
            const int i = static_cast<int>(points.size());
            points.push_back({(i < fixed ? "F" : "P") + std::to_string(i + 1), x, y, i < fixed});
        }
    }
    return points;
}

// ρ·π differs from 2 000 000 cc by 1.3e-6 cc, since ρ is rounded: the quadrants are placed
// with the exact half and full circle, as the grid bearings of the adjustment are.
Real azimuthCc(Real dx, Real dy) {
    const Real theta = std::atan(std::fabs(dy) / std::fabs(dx)) * rho;
    if (dx > 0) {
        return dy >= 0 ? theta : 4000000 - theta;
    }
    if (dx < 0) {
        return dy > 0 ? 2000000 - theta : 2000000 + theta;
    }
    return dy > 0 ? 1000000 : dy < 0 ? 3000000 : 0;
}

std::vector<int> nearest(const std::vector<TruePoint>& p, int i, int count) {
    std::vector<int> order;
    for (int j = 0; j < static_cast<int>(p.size()); ++j) {
        if (j != i) {
            order.push_back(j);
        }
    }
    std::sort(order.begin(), order.end(), [&](int a, int b) {
        return std::hypot(p[a].x - p[i].x, p[a].y - p[i].y) <
               std::hypot(p[b].x - p[i].x, p[b].y - p[i].y);
    });
    order.resize(static_cast<size_t>(count));
    return order;
}

std::map<std::string, std::string> networkFiles(const std::vector<TruePoint>& p,
                                                std::mt19937& random) {
    std::normal_distribution<double> noise(0, 1);
    std::map<std::string, std::string> f;
    for (const TruePoint& q : p) {
        if (q.fixed) {
            f["XY.sta"] += q.number + " " + text(q.x, 3) + " " + text(q.y, 3) + "\n";
        } else {
            f["XY.prz"] += q.number + " " + text(q.x + 0.3 * noise(random), 2) + " " +
                           text(q.y + 0.3 * noise(random), 2) + "\n";
        }
    }
    f["XY.prz"] += "0 0 0\n";
    const int n = static_cast<int>(p.size());
    std::uniform_real_distribution<double> orientation(0, 400);
    for (int i = 0; i < n; ++i) {
        // A direction set to the four nearest points, mean error 5 cc.
        f["KIERUNKI"] += p[i].number + " 1\n";
        const Real o = orientation(random);
        for (int j : nearest(p, i, 4)) {
            Real reading = azimuthCc(p[j].x - p[i].x, p[j].y - p[i].y) / 10000 - o + 400 +
                           0.0005 * noise(random);
            reading = std::fmod(reading, 400.0L);
            f["KIERUNKI"] += p[j].number + " " + text(reading, 5) + "\n";
        }
        f["KIERUNKI"] += "0 0.0005\n";
        // Distances to the two nearest, with individual mean errors of 3 mm.
        for (int j : nearest(p, i, 2)) {
            if (j > i) {
                const Real d = std::hypot(p[j].x - p[i].x, p[j].y - p[i].y) + 0.003 * noise(random);
                f["DLUGOSCI.b"] += p[i].number + " " + p[j].number + " " + text(d, 4) + " 0.003\n";
            }
        }
    }
    // A few measured angles (10 cc) and topographic azimuths (8 cc).
    for (int i = 0; i < n; i += 3) {
        const auto nb = nearest(p, i, 2);
        Real a = azimuthCc(p[nb[1]].x - p[i].x, p[nb[1]].y - p[i].y) -
                 azimuthCc(p[nb[0]].x - p[i].x, p[nb[0]].y - p[i].y);
        a = std::fmod(a + 4000000, 4000000.0L) / 10000 + 0.001 * noise(random);
        f["KATY.b"] += p[nb[0]].number + " " + p[i].number + " " + p[nb[1]].number + " " +
                       text(a, 5) + " 10\n";
    }
    for (int i = 1; i < n; i += 4) {
        const int j = nearest(p, i, 1)[0];
        const Real a = azimuthCc(p[j].x - p[i].x, p[j].y - p[i].y) / 10000 + 0.0008 * noise(random);
        f["AZYMUTY"] += p[i].number + " " + p[j].number + " " + text(a, 5) + " 8\n";
    }
    return f;
}

} // namespace ptw3::test
