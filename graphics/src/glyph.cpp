// Run-length glyph rows from one-bit glyph bitmaps and from glyph outlines.
#include <windows.h>
#include <wine/debug.h>
#include <math.h>
#include <stdint.h>
#include <string.h>
#include <algorithm>
#include <vector>

#include "glyph.h"
#include "m32.h"

WINE_DEFAULT_DEBUG_CHANNEL(pixmoor);

namespace {

// Writes the codes of one row of pixels; false when the output is full.
// ink(x) tells whether pixel x is ink.
template <class Ink> bool rle_row(Ink ink, LONG width, WORD *out, LONG capacity, LONG &count)
{
    LONG first = count;
    auto put = [&](DWORD code) {
        if ((count + 1) * 2 > capacity) return false;
        out[count++] = (WORD)code;
        return true;
    };
    bool cur = ink(0);
    LONG run = 0;
    for (LONG x = 0; x < width; ++x) {
        bool b = ink(x);
        if (b != cur) {
            // A row that starts with ink writes no empty clear run: its first
            // ink run carries bit 15 instead.
            if (run) {
                DWORD code = (DWORD)run | (count == first && cur ? RLE_INK : 0);
                if (!put(code)) return false;
            }
            cur = b;
            run = 0;
        }
        ++run;
    }
    // Every ink run is written, also the one that ends the row; a clear run
    // that ends a row is left out once the row has codes.
    if (count == first) return put((DWORD)run | RLE_ROW_END | (cur ? RLE_INK : 0));
    if (cur) return put((DWORD)run | RLE_ROW_END);
    out[count - 1] |= RLE_ROW_END;
    return true;
}

struct Edge {
    double x0, y0, x1, y1;
};

inline double fixed_at(const BYTE *p)
{
    int32_t v = (int32_t)(p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24);
    return v / 65536.0;
}
inline DWORD dword_at(const BYTE *p) { return p[0] | p[1] << 8 | p[2] << 16 | (DWORD)p[3] << 24; }
inline WORD word_at(const BYTE *p) { return (WORD)(p[0] | p[1] << 8); }

// Edge list in a growing block of M32 memory.
struct EdgeList {
    Edge *e = nullptr;
    size_t n = 0, cap = 0;
    bool failed = false;
    ~EdgeList() { M32_free(e); }
    void add(double x0, double y0, double x1, double y1)
    {
        if (failed || y0 == y1) return;
        if (n == cap) {
            size_t bytes = (cap * sizeof(Edge) + 32768);
            if (bytes > 0x7FFFFFFF) { failed = true; return; }
            Edge *g = (Edge *)M32_realloc(e, (DWORD)bytes);
            if (!g) { failed = true; return; }
            e = g;
            cap = bytes / sizeof(Edge);
        }
        e[n++] = { x0, y0, x1, y1 };
    }
};

// Walks the polygon headers and curve records; false when malformed.
bool parse_outline(const BYTE *buf, LONG length, EdgeList &edges, double box[4])
{
    box[0] = box[1] = 1e300;
    box[2] = box[3] = -1e300;
    auto see = [&](double x, double y) {
        box[0] = std::min(box[0], x);
        box[1] = std::min(box[1], y);
        box[2] = std::max(box[2], x);
        box[3] = std::max(box[3], y);
    };
    LONG at = 0;
    while (at < length) {
        if (length - at < 16) return false;
        DWORD cb = dword_at(buf + at), type = dword_at(buf + at + 4);
        if (cb < 16 || cb > (DWORD)(length - at)) return false;
        if (type == 24) {
            double sx = fixed_at(buf + at + 8), sy = fixed_at(buf + at + 12);
            double cx = sx, cy = sy;
            see(sx, sy);
            LONG p = at + 16, end = at + (LONG)cb;
            while (p < end) {
                if (end - p < 4) return false;
                WORD ct = word_at(buf + p), n = word_at(buf + p + 2);
                LONG bytes = 4 + 8 * (LONG)n;
                if (bytes > end - p) return false;
                const BYTE *pts = buf + p + 4;
                if (ct == 1) {
                    for (WORD i = 0; i < n; ++i) {
                        double x = fixed_at(pts + 8 * i), y = fixed_at(pts + 8 * i + 4);
                        see(x, y);
                        edges.add(cx, cy, x, y);
                        cx = x;
                        cy = y;
                    }
                } else if (ct == 2 && n >= 2) {
                    // Quadratic B-spline: the on-curve points between
                    // consecutive control points are their midpoints.
                    for (WORD i = 0; i + 1 < n; ++i) {
                        double qx = fixed_at(pts + 8 * i), qy = fixed_at(pts + 8 * i + 4);
                        double ex = fixed_at(pts + 8 * (i + 1)), ey = fixed_at(pts + 8 * (i + 1) + 4);
                        if (i + 2 < n) {
                            ex = (qx + ex) / 2;
                            ey = (qy + ey) / 2;
                        }
                        see(qx, qy);
                        see(ex, ey);
                        const int steps = 16;
                        double px = cx, py = cy;
                        for (int k = 1; k <= steps; ++k) {
                            double t = (double)k / steps, u = 1 - t;
                            double x = u * u * cx + 2 * u * t * qx + t * t * ex;
                            double y = u * u * cy + 2 * u * t * qy + t * t * ey;
                            edges.add(px, py, x, y);
                            px = x;
                            py = y;
                        }
                        cx = ex;
                        cy = ey;
                    }
                }
                // other record types are skipped by their byte count
                p += bytes;
            }
            edges.add(cx, cy, sx, sy);
        }
        at += (LONG)cb;
    }
    return !edges.failed;
}

}  // namespace

extern "C" {

LONG PIXAPI IP_RLEBitChar(const BYTE *bitmap, LONG width, LONG rows, WORD *out, LONG outBytes)
{
    WINE_TRACE("(%p, %d, %d, %p, %d)\n", bitmap, width, rows, out, outBytes);
    if (!bitmap || !out || width < 1 || width > (LONG)RLE_LENGTH || rows < 1 || outBytes < 2) return 0;
    LONG stride = ((width + 31) / 8) & ~3;
    LONG count = 0;
    for (LONG y = 0; y < rows; ++y) {
        const BYTE *row = bitmap + (size_t)y * stride;
        auto ink = [row](LONG x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; };
        if (!rle_row(ink, width, out, outBytes, count)) return 0;
    }
    return count * 2;
}

LONG PIXAPI TrueTypeToRLE(const BYTE *outline, LONG length, WORD *out, LONG outBytes, LONG *box)
{
    WINE_TRACE("(%p, %d, %p, %d, %p)\n", outline, length, out, outBytes, box);
    if (!outline || length < 16 || !out || outBytes < 2) return 0;
    EdgeList edges;
    double b[4];
    if (!parse_outline(outline, length, edges, b) || !edges.n) return 0;
    double left = floor(b[0]), right = ceil(b[2]), bottom = floor(b[1]), top = ceil(b[3]);
    if (right - left < 1 || top - bottom < 1 || right - left > RLE_LENGTH || top - bottom > 32768) return 0;
    LONG width = (LONG)(right - left), height = (LONG)(top - bottom);
    if (box) {
        box[0] = (LONG)left;
        box[1] = (LONG)top;
        box[2] = width;
        box[3] = height;
    }
    std::vector<BYTE> ink((size_t)width);
    std::vector<std::pair<double, int>> xs;
    LONG count = 0;
    for (LONG row = 0; row < height; ++row) {
        double y = top - row - 0.5;
        xs.clear();
        for (size_t i = 0; i < edges.n; ++i) {
            const Edge &e = edges.e[i];
            double lo = std::min(e.y0, e.y1), hi = std::max(e.y0, e.y1);
            if (y < lo || y >= hi) continue;
            double x = e.x0 + (y - e.y0) * (e.x1 - e.x0) / (e.y1 - e.y0);
            xs.push_back({ x, e.y1 > e.y0 ? 1 : -1 });
        }
        std::sort(xs.begin(), xs.end());
        std::fill(ink.begin(), ink.end(), 0);
        int winding = 0;
        for (size_t i = 0; i + 1 < xs.size(); ++i) {
            winding += xs[i].second;
            if (!winding) continue;
            // Pixels whose centre lies in [xs[i], xs[i+1]).
            double from = ceil(xs[i].first - left - 0.5), to = ceil(xs[i + 1].first - left - 0.5);
            for (LONG x = (LONG)std::max(0.0, from); x < (LONG)std::min((double)width, to); ++x) ink[x] = 1;
        }
        if (!rle_row([&](LONG x) { return ink[x] != 0; }, width, out, outBytes, count)) return 0;
    }
    return count * 2;
}

}  // extern "C"
