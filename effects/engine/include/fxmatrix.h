// Small 4 x 4 and 3 x 4 matrix routines for the realtime export's geometry.
// Matrices are row-major doubles in the row-vector convention: a point is
// p' = [x y z 1] M, so the translation sits in the last row.
#pragma once

// Multiplies the x, y and z rows (all four columns) by sx, sy, sz: the
// scale is applied before what the matrix already does.  A factor of 0
// leaves its row unchanged.
void ScaleMatrixAxes(double m[16], double sx, double sy, double sz);
// The same on a 3 x 4 matrix: three rows of three values, then the
// translation row (left as it is).
void ScaleAffineAxes(double m[12], double sx, double sy, double sz);
// Adds (tx, ty, tz) transformed by the matrix to its last row: the
// translation is applied before what the matrix already does.
void TranslateMatrix(double m[16], double tx, double ty, double tz);
// The map x' = (a x + b y + c) / w, y' = (d x + e y + f) / w with
// w = g x + h y + 1; z passes through.  When |g| and |h| are both below
// the tolerance 0.00005 the map is affine (a parallelogram) and the
// perspective terms are stored as 0.
void BuildQuadMatrix(double m[16], double a, double b, double c, double d, double e, double f, double g, double h);
// Plane records from the values given, each negated.
void MakePlane(double out[5], double a, double b, double x, double y, double z);
void MakePlane4(double out[4], double x, double y, double z, double w);
