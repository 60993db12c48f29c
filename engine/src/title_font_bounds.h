/*
 * The font sizes a title's text is drawn with.  The engine's combiner and
 * the title-box control's title model both take stored title records from
 * outside and bound their font sizes by this one rule.
 */
#ifndef CORVENGINE_TITLE_FONT_BOUNDS_H
#define CORVENGINE_TITLE_FONT_BOUNDS_H

#include <windows.h>
#include <cstdint>

/* No glyph larger than the frame can be shown whole, and the system's text
 * output spends time and memory on the whole glyph: sizes are bounded by
 * the longer side of the outW x outH output (at least 1), keeping their
 * sign (a negative height asks for the character height, a positive one
 * for the cell height). */
inline void TitleFontBounds(int32_t height, int32_t width, int outW, int outH, LONG *fontHeight, LONG *fontWidth)
{
    int64_t limit = outW > outH ? outW : outH;
    if (limit < 1) limit = 1;
    auto bound = [limit](int32_t v) -> LONG {
        const int64_t x = v;
        return (LONG)(x > limit ? limit : x < -limit ? -limit : x);
    };
    *fontHeight = bound(height);
    *fontWidth = bound(width);
}

#endif
