// Rooms of any convex plan: the polygon in X-Z, its walls as edges, and the tests the
// layout needs between plans (shared stretches of wall, overlaps, what a box reaches).
// A box room is a plan too: its four corners, its walls in the order -z, +x, +z, -x.
// Required for: the standard library only.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace worldbuild {

// The most corners a plan may have.
constexpr size_t maxPlanPoints = 64;

struct PlanPoint {
    float x = 0, z = 0;
};

// Checks the points of a plan and turns them counter-clockwise (X to the right, Z up),
// the order a box's corners go in. false with `why` for fewer than three points, a point
// repeated, three in a line, a turn the wrong way or a polygon that winds round twice.
bool normalisePlan(std::vector<PlanPoint>& points, std::string& why);

// One wall of a plan: from a to b, the room on its left. Positions along it are given
// by `u`, the world coordinate of the axis it runs most along (X when |dx| >= |dz|),
// so that a wall of constant Z is measured over X and one of constant X over Z.
struct PlanEdge {
    PlanPoint a, b;
    int along = 0;       // 0: u is X; 2: u is Z
    float uLow = 0, uHigh = 0;  // its extent in u
    PlanPoint outward;   // unit normal away from the room
    float length = 0;
    std::string side;    // "+x", "-x", "+z" or "-z" for a wall square to an axis, else ""
};

std::vector<PlanEdge> planEdges(const std::vector<PlanPoint>& points);

// The point of the edge's line at position u, computed from the edge's lower end so
// that two rooms writing the same stretch get the same numbers.
PlanPoint pointAlong(const PlanEdge& edge, float u);

// Length along the edge per unit of u (1 for a wall square to an axis).
float stretchPerU(const PlanEdge& edge);

// Where two walls lie on one line, face each other and overlap: their common u range.
bool sharedStretch(const PlanEdge& e, const PlanEdge& f, float& u1, float& u2);

// Whether the insides of two convex plans overlap (touching edges or corners do not).
bool plansOverlap(const std::vector<PlanPoint>& p, const std::vector<PlanPoint>& q);

// Whether a point lies inside or on the plan.
bool planHolds(const std::vector<PlanPoint>& plan, float x, float z);

// A point that two plans share, when they touch only there; false otherwise.
bool touchAtCorner(const std::vector<PlanPoint>& p, const std::vector<PlanPoint>& q, PlanPoint& corner);

// The four corners of a box's X-Z extent, in plan order.
std::vector<PlanPoint> boxPlan(float x1, float z1, float x2, float z2);

// x1 z1 x2 z2 of the plan's bounding rectangle.
std::array<float, 4> planBounds(const std::vector<PlanPoint>& plan);

}  // namespace worldbuild
