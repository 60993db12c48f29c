#include "geometry.h"

namespace skin {

int ClampThumb(int thumb, int w, int b)
{
    if (thumb + b > w - b) thumb = w - 2 * b;
    if (thumb < b) thumb = b;
    return thumb;
}

int PositionFromThumb(int thumb, int w, int b, int range)
{
    thumb = ClampThumb(thumb, w, b);
    int span = w - 3 * b;
    if (span <= 0 || range <= 0) return 0;
    int pos = (int)(((double)range / span) * (thumb - b) + 0.5);
    if (pos < 0) pos = 0;
    if (pos > range) pos = range;
    return pos;
}

int ThumbFromPosition(int position, int w, int b, int range)
{
    int span = w - 3 * b;
    int thumb = b;
    if (range > 0 && span > 0) thumb = b + (int)(position * ((double)span / range) + 0.5);
    return ClampThumb(thumb, w, b);
}

int SliderThumbY(int clientBottom, int thumbHeight, int position, int min, int max)
{
    if (position == min || max <= min) return thumbHeight / 2;
    return ((clientBottom - thumbHeight) / (max - min)) * position;
}

int SliderThumbX(int clientRight, int thumbWidth, int position, int min, int max)
{
    int den = max - min + thumbWidth / 2;
    if (den <= 0) return 0;
    return ((clientRight - thumbWidth) * position) / den;
}

std::string FitText(const std::string &text, int width, int offset,
                    const std::function<int(const std::string &)> &extent)
{
    if (extent(text) + offset <= width) return text;
    std::string rest = text;
    int dots = extent("...");
    while (rest.size() > 1 && extent(rest) + dots + offset > width) rest.pop_back();
    return rest + "...";
}

} // namespace skin
