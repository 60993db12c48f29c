/*
 * The pure geometry of the skinned controls, shared by their windows and
 * their tests.  Spans that would divide by zero (a scroll bar no wider than
 * its three bitmap pieces, a range of 0, a slider whose minimum equals its
 * maximum) are answered without dividing: the thumb rests at its first
 * place and the position at 0.
 */
#ifndef CORV_CONTROLS_GEOMETRY_H
#define CORV_CONTROLS_GEOMETRY_H

#include <functional>
#include <string>

namespace skin {

/* Scroll bar along one axis: w client length, b bitmap length (arrow and
 * thumb), R range (highest position). */
int ClampThumb(int thumb, int w, int b);
int PositionFromThumb(int thumb, int w, int b, int range);
int ThumbFromPosition(int position, int w, int b, int range);

/* Bitmap slider thumb placement (client right/bottom, thumb size). */
int SliderThumbY(int clientBottom, int thumbHeight, int position, int min, int max);
int SliderThumbX(int clientRight, int thumbWidth, int position, int min, int max);

/* Fits text into width (with offset already taken): removes characters from
 * the end until the rest plus "..." fits, keeping at least one. */
std::string FitText(const std::string &text, int width, int offset, const std::function<int(const std::string &)> &extent);

} // namespace skin

#endif
