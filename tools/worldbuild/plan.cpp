#include "worldbuild/plan.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace worldbuild {
namespace {

// Plans come from a person's decimal fractions: points this close count as on a line.
constexpr double onLine = 1e-3;
// Insides closer than this do not overlap: rooms that touch share a wall.
constexpr double overlapSlack = 1e-4;

double cross(double ax, double az, double bx, double bz) { return ax * bz - az * bx; }

std::string pointName(size_t i, const PlanPoint& p) {
    char text[96];
    std::snprintf(text, sizeof text, "point %zu (%g, %g)", i + 1, double(p.x), double(p.z));
    return text;
}

double signedArea(const std::vector<PlanPoint>& p) {
    double twice = 0;
    for (size_t i = 0; i < p.size(); ++i) {
        const PlanPoint& a = p[i];
        const PlanPoint& b = p[(i + 1) % p.size()];
        twice += cross(a.x, a.z, b.x, b.z);
    }
    return twice / 2;
}

// The turn at point i+1, in the plan's own winding: positive where it bends inward.
bool checkTurns(const std::vector<PlanPoint>& p, double winding, std::string& why) {
    const size_t n = p.size();
    double turning = 0;
    for (size_t i = 0; i < n; ++i) {
        const PlanPoint& a = p[i];
        const PlanPoint& b = p[(i + 1) % n];
        const PlanPoint& c = p[(i + 2) % n];
        const double ex = b.x - a.x, ez = b.z - a.z, fx = c.x - b.x, fz = c.z - b.z;
        const double turn = cross(ex, ez, fx, fz) * winding;
        const double scale = std::hypot(ex, ez) * std::hypot(fx, fz);
        if (std::fabs(turn) <= 1e-6 * scale) {
            why = pointName((i + 1) % n, b) + " lies on the line from its neighbours: leave it out";
            return false;
        }
        if (turn < 0) {
            why = "the plan is not convex: it bends outward at " + pointName((i + 1) % n, b) +
                  " (split the room into convex rooms joined by doorways)";
            return false;
        }
        turning += std::atan2(turn, ex * fx + ez * fz);
    }
    if (turning > 3 * M_PI) {
        why = "the plan winds round more than once: give its points in order round its edge";
        return false;
    }
    return true;
}

}  // namespace

bool normalisePlan(std::vector<PlanPoint>& points, std::string& why) {
    if (points.size() < 3) {
        why = "a plan needs at least three points";
        return false;
    }
    for (size_t i = 0; i < points.size(); ++i)
        for (size_t j = i + 1; j < points.size(); ++j)
            if (points[i].x == points[j].x && points[i].z == points[j].z) {
                why = pointName(j, points[j]) + " repeats point " + std::to_string(i + 1);
                return false;
            }
    const double area = signedArea(points);
    if (area == 0) {
        why = "the plan has no area";
        return false;
    }
    if (!checkTurns(points, area > 0 ? 1 : -1, why)) return false;
    if (area < 0) std::reverse(points.begin(), points.end());
    return true;
}

std::vector<PlanEdge> planEdges(const std::vector<PlanPoint>& points) {
    std::vector<PlanEdge> edges;
    for (size_t i = 0; i < points.size(); ++i) {
        PlanEdge e;
        e.a = points[i];
        e.b = points[(i + 1) % points.size()];
        const float dx = e.b.x - e.a.x, dz = e.b.z - e.a.z;
        e.length = float(std::hypot(double(dx), double(dz)));
        e.along = std::fabs(dx) >= std::fabs(dz) ? 0 : 2;
        const float ua = e.along == 0 ? e.a.x : e.a.z, ub = e.along == 0 ? e.b.x : e.b.z;
        e.uLow = std::min(ua, ub);
        e.uHigh = std::max(ua, ub);
        // Counter-clockwise, the room lies to the left: outward is the direction turned right.
        e.outward = {float(dz / e.length), float(-dx / e.length)};
        if (dz == 0) e.side = dx > 0 ? "-z" : "+z";
        if (dx == 0) e.side = dz > 0 ? "+x" : "-x";
        edges.push_back(e);
    }
    return edges;
}

PlanPoint pointAlong(const PlanEdge& edge, float u) {
    const bool aFirst = edge.along == 0 ? edge.a.x <= edge.b.x : edge.a.z <= edge.b.z;
    const PlanPoint& low = aFirst ? edge.a : edge.b;
    const PlanPoint& high = aFirst ? edge.b : edge.a;
    const float lowU = edge.along == 0 ? low.x : low.z, highU = edge.along == 0 ? high.x : high.z;
    const float lowV = edge.along == 0 ? low.z : low.x, highV = edge.along == 0 ? high.z : high.x;
    float v = lowV;
    if (u == highU) v = highV;
    else if (lowV != highV && u != lowU) v = float(double(lowV) + double(u - lowU) * double(highV - lowV) / double(highU - lowU));
    return edge.along == 0 ? PlanPoint{u, v} : PlanPoint{v, u};
}

float stretchPerU(const PlanEdge& edge) {
    const float du = edge.uHigh - edge.uLow;
    return du > 0 ? edge.length / du : 1;
}

bool sharedStretch(const PlanEdge& e, const PlanEdge& f, float& u1, float& u2) {
    if (e.outward.x * f.outward.x + e.outward.z * f.outward.z > -0.99999f) return false;
    const double dx = double(e.b.x) - e.a.x, dz = double(e.b.z) - e.a.z;
    for (const PlanPoint& p : {f.a, f.b})
        if (std::fabs(cross(dx, dz, double(p.x) - e.a.x, double(p.z) - e.a.z)) / e.length > onLine) return false;
    if (e.along != f.along) return false;
    u1 = std::max(e.uLow, f.uLow);
    u2 = std::min(e.uHigh, f.uHigh);
    return u1 < u2;
}

bool plansOverlap(const std::vector<PlanPoint>& p, const std::vector<PlanPoint>& q) {
    // Separating axes: the outward normal of some edge of either plan with the other
    // plan wholly beyond its line.
    for (const auto* pair : {&p, &q}) {
        const std::vector<PlanPoint>& own = *pair;
        const std::vector<PlanPoint>& other = pair == &p ? q : p;
        for (const PlanEdge& e : planEdges(own)) {
            double nearest = INFINITY;
            for (const PlanPoint& v : other)
                nearest = std::min(nearest, double(e.outward.x) * (double(v.x) - e.a.x) +
                                                double(e.outward.z) * (double(v.z) - e.a.z));
            if (nearest >= -overlapSlack) return false;
        }
    }
    return true;
}

bool planHolds(const std::vector<PlanPoint>& plan, float x, float z) {
    for (const PlanEdge& e : planEdges(plan))
        if (double(e.outward.x) * (double(x) - e.a.x) + double(e.outward.z) * (double(z) - e.a.z) > overlapSlack)
            return false;
    return true;
}

bool touchAtCorner(const std::vector<PlanPoint>& p, const std::vector<PlanPoint>& q, PlanPoint& corner) {
    if (plansOverlap(p, q)) return false;
    for (const PlanEdge& e : planEdges(p))
        for (const PlanEdge& f : planEdges(q)) {
            float u1 = 0, u2 = 0;
            if (sharedStretch(e, f, u1, u2)) return false;
        }
    for (const auto* pair : {&p, &q})
        for (const PlanPoint& v : *pair)
            if (planHolds(pair == &p ? q : p, v.x, v.z)) {
                corner = v;
                return true;
            }
    return false;
}

std::vector<PlanPoint> boxPlan(float x1, float z1, float x2, float z2) {
    return {{x1, z1}, {x2, z1}, {x2, z2}, {x1, z2}};
}

std::array<float, 4> planBounds(const std::vector<PlanPoint>& plan) {
    std::array<float, 4> b = {plan[0].x, plan[0].z, plan[0].x, plan[0].z};
    for (const PlanPoint& p : plan) {
        b[0] = std::min(b[0], p.x);
        b[1] = std::min(b[1], p.z);
        b[2] = std::max(b[2], p.x);
        b[3] = std::max(b[3], p.z);
    }
    return b;
}

}  // namespace worldbuild
