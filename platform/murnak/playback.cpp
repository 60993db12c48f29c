// Frame records: {size, ~size, sub-records..., {8, 0}}.  Sub-records are
// {size, tag, payload}; every size is checked against what is left before a
// payload word is read, so a damaged list cannot take the board past its
// own buffers.
#include "playback.h"
#include "murnak_ioctl.h"
#include <string.h>
#include <algorithm>

namespace murnak {

static DWORD word(const BYTE *p) { DWORD v; memcpy(&v, p, 4); return v; }

DWORD check_frame_record(const BYTE *data, size_t avail)
{
    if (!data || avail < 16) return 0;
    DWORD size = word(data);
    if (size < 16 || size > avail || (size & 3) || word(data + 4) != ~size) return 0;
    DWORD at = 8;
    while (at + 8 <= size) {
        DWORD sub = word(data + at), tag = word(data + at + 4);
        if (sub < 8 || (sub & 3) || sub > size - at) return 0;
        if (tag == CL_TAG_END) return at + 8 == size ? size : 0;
        at += sub;
    }
    return 0;
}

namespace {

// Copies a rectangle of the incoming picture at (sx, sy) to (tx, ty) of the
// visible frame, clipped to both.
void copy_rect(Stage &s, LONG sx, LONG sy, LONG w, LONG h, LONG tx, LONG ty)
{
    const Plane &in = s.incoming, &out = s.visible;
    if (!in.pixels || !out.pixels) return;
    if (sx < 0) { w += sx; tx -= sx; sx = 0; }
    if (sy < 0) { h += sy; ty -= sy; sy = 0; }
    if (tx < 0) { w += tx; sx -= tx; tx = 0; }
    if (ty < 0) { h += ty; sy -= ty; ty = 0; }
    w = std::min({ w, in.width - sx, out.width - tx });
    h = std::min({ h, in.height - sy, out.height - ty });
    if (w <= 0 || h <= 0) return;
    for (LONG y = 0; y < h; ++y) memmove(out.at(tx, ty + y), in.at(sx, sy + y), (size_t)w * 4);
}

DWORD mix(DWORD a, DWORD b, ULONGLONG la, ULONGLONG lb)
{
    DWORD r = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        ULONGLONG v = (((a >> shift) & 0xFF) * la + ((b >> shift) & 0xFF) * lb + (FIX24_ONE / 2)) >> 24;
        r |= (DWORD)std::min<ULONGLONG>(v, 255) << shift;
    }
    return r;
}

void play_levels(Stage &s, DWORD la, DWORD lb)
{
    if (!s.old.pixels || !s.incoming.pixels || !s.visible.pixels) return;
    LONG w = std::min({ s.old.width, s.incoming.width, s.visible.width });
    LONG h = std::min({ s.old.height, s.incoming.height, s.visible.height });
    for (LONG y = 0; y < h; ++y)
        for (LONG x = 0; x < w; ++x) *s.visible.at(x, y) = mix(*s.old.at(x, y), *s.incoming.at(x, y), la, lb);
}

// Image payload: {0, fields, colour-only, colour plane, [alpha plane]} at
// the frame size; shown over the visible frame through the alpha plane.
int play_image(Stage &s, const BYTE *p, DWORD bytes, bool withKey)
{
    if (bytes < 12) return 1;
    DWORD fields = word(p + 4);
    const Plane &out = s.visible;
    if (!out.pixels) return (int)std::max<DWORD>(fields, 1);
    size_t plane = (size_t)out.width * out.height * 4;
    const BYTE *colour = p + 12;
    if (bytes - 12 < plane) return (int)std::max<DWORD>(fields, 1);
    const BYTE *key = withKey && bytes - 12 >= 2 * plane ? colour + plane : nullptr;
    for (LONG y = 0; y < out.height; ++y) {
        const DWORD *c = (const DWORD *)(colour + (size_t)y * out.width * 4);
        const DWORD *k = key ? (const DWORD *)(key + (size_t)y * out.width * 4) : nullptr;
        DWORD *o = out.at(0, y);
        for (LONG x = 0; x < out.width; ++x) {
            if (!k) { o[x] = c[x]; continue; }
            DWORD a = k[x] >> 24;
            o[x] = mix(o[x], c[x], (ULONGLONG)(255 - a) * FIX24_ONE / 255, (ULONGLONG)a * FIX24_ONE / 255);
        }
    }
    return (int)std::max<DWORD>(fields, 1);
}

} // namespace

int play_frame_record(const BYTE *data, DWORD size, Stage &s)
{
    int fields = 1;
    DWORD at = 8;
    while (at + 8 <= size) {
        DWORD sub = word(data + at), tag = word(data + at + 4);
        const BYTE *p = data + at + 8;
        DWORD bytes = sub - 8;
        if (tag == CL_TAG_END) break;
        if ((tag == CL_TAG_RECTS || tag == CL_TAG_MOVES || tag == CL_TAG_MOVES_PRE || tag == CL_TAG_SLIDES) &&
            bytes >= 4) {
            DWORD n = word(p);
            DWORD item = tag == CL_TAG_RECTS ? 16 : tag == CL_TAG_SLIDES ? 20 : 24;
            n = std::min<DWORD>(n, (bytes - 4) / item);
            for (DWORD i = 0; i < n; ++i) {
                const BYTE *e = p + 4 + i * item;
                LONG v[6];
                for (DWORD k = 0; k < item / 4; ++k) v[k] = (LONG)word(e + 4 * k);
                if (tag == CL_TAG_RECTS) copy_rect(s, v[1], v[0], v[2], v[3], v[1], v[0]);
                else if (tag == CL_TAG_SLIDES) {
                    // {a, y, value, x0, x1}: the line's span x0..x1 of the
                    // incoming picture, shifted left by value.
                    LONG x0 = v[3], x1 = v[4];
                    copy_rect(s, x0 + v[2], v[1], x1 - x0, 1, x0, v[1]);
                } else copy_rect(s, v[1], v[0], v[2], v[3], v[5], v[4]);
            }
        } else if (tag == CL_TAG_LEVELS && bytes >= 8) {
            play_levels(s, word(p), word(p + 4));
        } else if (tag == CL_TAG_CROP && bytes >= 16) {
            for (int i = 0; i < 4; ++i) s.crop[i] = word(p + 4 * i);
        } else if (tag == CL_TAG_PATTERN && bytes >= 12) {
            for (int i = 0; i < 3; ++i) s.lastPattern[i] = word(p + 4 * i);
        } else if (tag == CL_TAG_CLOSE && bytes >= 4) {
            s.closeValue = word(p);
            s.closed = true;
        } else if (tag == CL_TAG_IMAGE_KEY || tag == CL_TAG_IMAGE) {
            fields = play_image(s, p, bytes, tag == CL_TAG_IMAGE_KEY);
        }
        at += sub;
    }
    return fields;
}

} // namespace murnak
