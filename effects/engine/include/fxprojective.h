// Four-corner projective mapping: the 3x3 homogeneous matrix that maps one
// quadrilateral onto another (corner k onto corner k), for objects whose
// corners were moved independently.
//   x' = (a x + b y + c) / (g x + h y + i),  y' = (d x + e y + f) / (g x + h y + i)
#pragma once

#include <cstdint>

constexpr int32_t PM_PROJECTIVE = 0;
constexpr int32_t PM_AFFINE = 1;   // the last row is 0 0 1

struct ProjectiveMatrix {
    int32_t kind;
    int32_t pad;
    double m[9];   // a b c / d e f / g h i, row order
};
static_assert(sizeof(ProjectiveMatrix) == 80, "ProjectiveMatrix is 80 bytes");

// Corner k matches the unit-square corner (0,0), (1,0), (1,1), (0,1).
struct Quad {
    double x[4];
    double y[4];
};
static_assert(sizeof(Quad) == 64, "Quad is 64 bytes");

struct IntPoint {
    int32_t x, y;
};

// 1 when the quad is usable (the denominator stays positive over the whole
// square); the matrix is filled either way.
int SquareToQuad(const Quad *quad, ProjectiveMatrix *out);
// Always 1; a degenerate quad gives whatever the arithmetic gives.
// Not reentrant: it works in two static matrices.
int QuadToQuad(const Quad *source, const Quad *target, ProjectiveMatrix *out);
int AdjointMatrix(const ProjectiveMatrix *in, ProjectiveMatrix *out);
// out = B x A: B applied after A.
int MultiplyMatrix(const ProjectiveMatrix *a, const ProjectiveMatrix *b, ProjectiveMatrix *out);
int MapPointInt(IntPoint *pt, const ProjectiveMatrix *m);
int MapPointDouble(double *x, double *y, const ProjectiveMatrix *m);
