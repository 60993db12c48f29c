// The layer containers of the block codec: a directory of chunks (spans of
// pixels, alpha spans and coded tiles) and the record form written for
// frame differences.  Readers never trust a length beyond the buffer: every
// item is checked against the buffer's end before it is read.
#include <windows.h>
#include <wine/debug.h>
#include <stdint.h>
#include <string.h>
#include <vector>

#include "access.h"
#include "codec.h"
#include "m32.h"

WINE_DEFAULT_DEBUG_CHANNEL(pixmoor);

namespace {

inline DWORD rd32(const BYTE *p) { return p[0] | p[1] << 8 | p[2] << 16 | (DWORD)p[3] << 24; }

// Pixels of a layer as a drawing target, in the layer's own coordinates;
// in field mode line y is line 2y + field of the layer.
struct Canvas {
    BYTE *base;
    LONG pitch;
    RECT vis;
    LONG field;   // -1 whole layer

    DWORD *px(long long x, long long y) const
    {
        long long a = field < 0 ? y : 2 * y + field;
        if (x < vis.left || x >= vis.right || a < vis.top || a >= vis.bottom) return nullptr;
        return (DWORD *)(base + (INT_PTR)a * pitch + (INT_PTR)x * 4);
    }
};

// Cursor of the span words of one chunk or record.
struct SpanCursor {
    long long line = 0, col = 0;   // wide: a long list of hops cannot wrap
    DWORD n = 0;
    bool flag = false;
    void step(DWORD w)
    {
        n = w & 0x3FF;
        line += (w >> 10) & 0x3FF;
        LONG right = (LONG)((w >> 20) & 0x7FF);
        if (right & 0x400) right -= 0x800;
        col += right;
        flag = (w & 0x80000000u) != 0;
    }
};

// Items of chunk types 0x80000001, 0x80000002 and 0x80000007 (and of the
// span records); false when an item would pass `end`.
bool apply_spans(const Canvas &cv, DWORD type, const BYTE *p, const BYTE *end, DWORD count)
{
    SpanCursor c;
    DWORD last = 0;
    for (DWORD i = 0; i < count; ++i) {
        if (end - p < 4) return false;
        c.step(rd32(p));
        p += 4;
        bool fill;
        if (type == VEXA_RUNS) fill = true;
        else if (type == VEXA_LITERALS) fill = false;
        else fill = c.flag;
        if (fill) {
            if (!(type == VEXA_RUNS && c.flag)) {
                if (end - p < 4) return false;
                last = rd32(p);
                p += 4;
            }
            for (DWORD k = 0; k < c.n; ++k)
                if (DWORD *d = cv.px(c.col + k, c.line)) *d = last;
        } else {
            if ((size_t)(end - p) < (size_t)c.n * 4) return false;
            for (DWORD k = 0; k < c.n; ++k, p += 4)
                if (DWORD *d = cv.px(c.col + k, c.line)) *d = rd32(p);
        }
    }
    return true;
}

bool apply_alpha(const Canvas &cv, const BYTE *chunk, const BYTE *end, DWORD count)
{
    if ((size_t)(end - chunk) / 4 < count) return false;
    const BYTE *bytes = chunk + (size_t)count * 4;
    SpanCursor c;
    for (DWORD i = 0; i < count; ++i) {
        c.step(rd32(chunk + 4 * i));
        if (c.flag && (size_t)(end - bytes) < c.n) return false;
        for (DWORD k = 0; k < c.n; ++k) {
            BYTE a = c.flag ? bytes[k] : 0;
            if (DWORD *d = cv.px(c.col + k, c.line)) *d = (*d & 0x00FFFFFFu) | (DWORD)a << 24;
        }
        if (c.flag) bytes += c.n;
    }
    return true;
}

bool apply_tiles(const Canvas &cv, const BYTE *p, const BYTE *end, DWORD count)
{
    std::vector<DWORD> strip;
    for (DWORD i = 0; i < count; ++i) {
        if (end - p < 20) return false;
        LONG x = (LONG)rd32(p), y = (LONG)rd32(p + 4), w = (LONG)rd32(p + 8), h = (LONG)rd32(p + 12);
        DWORD len = rd32(p + 16);
        p += 20;
        if ((size_t)(end - p) < len) return false;
        if (w < 1 || w > CODEC_MAX_WIDTH || h < 1 || h > CODEC_STRIP_LINES) return false;
        strip.assign((size_t)w * CODEC_STRIP_LINES, 0);
        if (!codec_decode_strip(p, len, w, strip.data(), w)) return false;
        for (LONG r = 0; r < h; ++r)
            for (LONG k = 0; k < w; ++k)
                if (DWORD *d = cv.px((long long)x + k, (long long)y + r)) *d = strip[(size_t)r * w + k];
        p += len;
    }
    return true;
}

// The header: size S of what follows, then its complement.  Gives the
// buffer's end, bounded by what the caller says is there.
bool header_end(const BYTE *buf, size_t available, const BYTE *&end)
{
    if (!buf || available < 8) return false;
    DWORD s = rd32(buf);
    if (rd32(buf + 4) != (DWORD)~s) return false;
    uint64_t total = 8ull + s;
    end = buf + (total < available ? total : available);
    return true;
}

bool open_canvas(Access &acc, LONG field, Canvas &cv)
{
    if (!acc.ok) return false;
    cv.base = acc.a.firstBase;
    cv.pitch = acc.a.firstPitch;
    cv.vis = acc.a.firstVisible;
    cv.field = field;
    return true;
}

// ---- encoding ----------------------------------------------------------

struct Bytes {
    std::vector<BYTE> v;
    void u32(DWORD x)
    {
        for (int i = 0; i < 4; ++i) v.push_back((BYTE)(x >> (8 * i)));
    }
    void set32(size_t at, DWORD x)
    {
        for (int i = 0; i < 4; ++i) v[at + i] = (BYTE)(x >> (8 * i));
    }
    size_t size() const { return v.size(); }
};

// Span words relative to the previous span; distances beyond a word's
// reach go through empty spans.
struct SpanWriter {
    Bytes &out;
    bool hopFlag;       // flag of an empty span (runs chunk: reuse the pixel)
    LONG line = 0, col = 0;
    DWORD count = 0;

    void place(LONG L, LONG C, DWORD n, bool flag)
    {
        for (;;) {
            LONG down = L - line, right = C - col;
            if (down <= 1023 && right >= -1024 && right <= 1023) {
                out.u32(vexa_span(n, (DWORD)down, right, flag));
                line = L;
                col = C;
                ++count;
                return;
            }
            LONG d = down > 1023 ? 1023 : down;
            LONG r = right > 1023 ? 1023 : right < -1024 ? -1024 : right;
            out.u32(vexa_span(0, (DWORD)d, r, hopFlag));
            line += d;
            col += r;
            ++count;
        }
    }
};

// Maximal runs of pixels that differ from the previous frame, cut at 1023
// pixels, then split into runs of more than two equal pixels (fills) and
// the rest (literals).
struct Piece {
    LONG x, y, n;
    bool fill;
    DWORD pixel;
};

std::vector<Piece> differing_pieces(const Access &cur, const Access *prev, LONG firstLine, LONG lineStep)
{
    std::vector<Piece> out;
    const RECT &v = cur.a.firstVisible;
    const BYTE *base = cur.a.firstBase;
    for (LONG y = v.top + firstLine; y < v.bottom; y += lineStep) {
        const DWORD *row = (const DWORD *)(base + (INT_PTR)y * cur.a.firstPitch);
        auto differs = [&](LONG x) {
            if (!prev || !prev->ok) return true;
            const RECT &pv = prev->a.firstVisible;
            if (x < pv.left || x >= pv.right || y < pv.top || y >= pv.bottom) return true;
            const DWORD *pr = (const DWORD *)(prev->a.firstBase + (INT_PTR)y * prev->a.firstPitch);
            return pr[x] != row[x];
        };
        LONG x = v.left;
        while (x < v.right) {
            if (!differs(x)) { ++x; continue; }
            LONG s = x;
            while (x < v.right && x - s < 1023 && differs(x)) ++x;
            // [s, x) differs: split into fills and literals.
            LONG i = s, lit = s;
            while (i < x) {
                LONG j = i + 1;
                while (j < x && row[j] == row[i]) ++j;
                if (j - i > 2) {
                    if (lit < i) out.push_back({ lit, y, i - lit, false, 0 });
                    out.push_back({ i, y, j - i, true, row[i] });
                    lit = j;
                }
                i = j;
            }
            if (lit < x) out.push_back({ lit, y, x - lit, false, 0 });
        }
    }
    return out;
}

void put_literal_pixels(Bytes &b, const Access &cur, const Piece &p)
{
    const DWORD *row = (const DWORD *)(cur.a.firstBase + (INT_PTR)p.y * cur.a.firstPitch);
    for (LONG k = 0; k < p.n; ++k) b.u32(row[p.x + k]);
}

// Mixed spans: a fill is a flagged span and one pixel, a literal its pixels.
DWORD write_mixed(Bytes &b, const Access &cur, const std::vector<Piece> &pieces)
{
    SpanWriter w{ b, false };
    for (const Piece &p : pieces) {
        w.place(p.y, p.x, (DWORD)p.n, p.fill);
        if (p.fill) b.u32(p.pixel);
        else put_literal_pixels(b, cur, p);
    }
    return w.count;
}

bool encode_kind1(Bytes &b, const Access &cur, const Access *prev)
{
    auto pieces = differing_pieces(cur, prev, 0, 1);
    b.v.resize(40, 0);
    b.set32(8, VEXA_RUNS);
    b.set32(12, 40);
    Bytes &o = b;
    SpanWriter runs{ o, true };
    DWORD lastPixel = 0;
    bool have = false;
    for (const Piece &p : pieces) {
        if (!p.fill) continue;
        bool reuse = have && p.pixel == lastPixel;
        runs.place(p.y, p.x, (DWORD)p.n, reuse);
        if (!reuse) b.u32(p.pixel);
        lastPixel = p.pixel;
        have = true;
    }
    b.set32(16, runs.count);
    b.set32(20, VEXA_LITERALS);
    b.set32(24, (DWORD)b.size());
    SpanWriter lits{ o, false };
    for (const Piece &p : pieces) {
        if (p.fill) continue;
        lits.place(p.y, p.x, (DWORD)p.n, false);
        put_literal_pixels(b, cur, p);
    }
    b.set32(28, lits.count);
    return true;
}

bool encode_kind2(Bytes &b, const Access &cur)
{
    const RECT &v = cur.a.firstVisible;
    b.v.resize(44, 0);
    b.set32(8, VEXA_TILES);
    b.set32(12, 44);
    DWORD tiles = 0;
    std::vector<BYTE> coded(CODEC_STRIP_LIMIT);
    for (LONG ty = v.top; ty < v.bottom; ty += CODEC_STRIP_LINES)
        for (LONG tx = v.left; tx < v.right; tx += CODEC_MAX_WIDTH) {
            LONG w = v.right - tx < CODEC_MAX_WIDTH ? v.right - tx : CODEC_MAX_WIDTH;
            LONG h = v.bottom - ty < CODEC_STRIP_LINES ? v.bottom - ty : CODEC_STRIP_LINES;
            // The rows of the tile, packed.
            std::vector<DWORD> px((size_t)w * h);
            for (LONG r = 0; r < h; ++r)
                memcpy(&px[(size_t)r * w], cur.a.firstBase + (INT_PTR)(ty + r) * cur.a.firstPitch + (INT_PTR)tx * 4,
                       (size_t)w * 4);
            size_t n = codec_encode_strip(px.data(), w, w, h, coded.data(), coded.size());
            if (!n) return false;
            b.u32((DWORD)tx);
            b.u32((DWORD)ty);
            b.u32((DWORD)w);
            b.u32((DWORD)h);
            b.u32((DWORD)n);
            b.v.insert(b.v.end(), coded.begin(), coded.begin() + n);
            ++tiles;
        }
    b.set32(16, tiles);
    // Alpha: runs of transparent pixels clear the alpha byte; runs of partly
    // transparent pixels take theirs from the byte area after the spans.
    b.set32(20, VEXA_ALPHA);
    b.set32(24, (DWORD)b.size());
    Bytes spans;
    std::vector<BYTE> alphas;
    SpanWriter w{ spans, false };
    for (LONG y = v.top; y < v.bottom; ++y) {
        const DWORD *row = (const DWORD *)(cur.a.firstBase + (INT_PTR)y * cur.a.firstPitch);
        LONG x = v.left;
        while (x < v.right) {
            DWORD a = row[x] >> 24;
            if (a == 255) { ++x; continue; }
            bool clear = a == 0;
            LONG s = x;
            while (x < v.right && x - s < 1023) {
                DWORD ax = row[x] >> 24;
                if (ax == 255 || (ax == 0) != clear) break;
                ++x;
            }
            w.place(y, s, (DWORD)(x - s), !clear);
            if (!clear)
                for (LONG k = s; k < x; ++k) alphas.push_back((BYTE)(row[k] >> 24));
        }
    }
    b.set32(28, w.count);
    b.v.insert(b.v.end(), spans.v.begin(), spans.v.end());
    b.v.insert(b.v.end(), alphas.begin(), alphas.end());
    return true;
}

bool encode_kind3(Bytes &b, const Access &cur, const Access *prev)
{
    auto pieces = differing_pieces(cur, prev, 0, 1);
    b.v.resize(28, 0);
    b.set32(8, VEXA_MIXED);
    b.set32(12, 28);
    b.set32(16, write_mixed(b, cur, pieces));
    return true;
}

// Record form; kind 5 leaves the first line out.
bool encode_kind45(Bytes &b, const Access &cur, const Access *prev, LONG kind)
{
    auto pieces = differing_pieces(cur, prev, kind == 5 ? 1 : 0, 1);
    b.v.resize(8, 0);
    b.u32(8);
    b.u32(kind == 4 ? VEXA_REC_KIND4 : VEXA_REC_KIND5);
    size_t rec = b.size();
    b.u32(0);
    b.u32(VEXA_REC_SPANS);
    b.u32(0);
    DWORD n = write_mixed(b, cur, pieces);
    b.set32(rec, (DWORD)(b.size() - rec));
    b.set32(rec + 8, n);
    b.u32(8);
    b.u32(0);
    return true;
}

}  // namespace

extern "C" {

LONG vexa_decode(Layer *layer, const BYTE *buffer, size_t available, LONG field)
{
    const BYTE *end;
    if (!layer || !header_end(buffer, available, end)) return 0;
    Access acc(layer);
    Canvas cv;
    if (!open_canvas(acc, field, cv)) return 0;
    LONG result = 0;
    for (const BYTE *dir = buffer + 8; end - dir >= 4;) {
        DWORD type = rd32(dir);
        if (type == 0) { result = 1; break; }
        if (end - dir < 12) break;
        DWORD off = rd32(dir + 4), count = rd32(dir + 8);
        dir += 12;
        if (type != VEXA_RUNS && type != VEXA_LITERALS && type != VEXA_MIXED && type != VEXA_ALPHA &&
            type != VEXA_TILES)
            continue;   // skipped and unknown types
        if (off >= (size_t)(end - buffer)) break;
        const BYTE *chunk = buffer + off;
        bool ok = type == VEXA_ALPHA   ? apply_alpha(cv, chunk, end, count)
                  : type == VEXA_TILES ? apply_tiles(cv, chunk, end, count)
                                       : apply_spans(cv, type, chunk, end, count);
        if (!ok) {
            WINE_WARN("chunk %08x at %u stops early\n", (unsigned)type, (unsigned)off);
            break;
        }
    }
    return result;
}

LONG vexa_decode_records(Layer *layer, const BYTE *buffer, size_t available, LONG fieldWord)
{
    const BYTE *end;
    if (!layer || !header_end(buffer, available, end)) return 0;
    Access acc(layer);
    Canvas cv;
    if (!open_canvas(acc, -1, cv)) return 1;   // nothing to draw into
    for (const BYTE *p = buffer + 8;;) {
        if (end - p < 8) return 0;
        DWORD len = rd32(p), type = rd32(p + 4);
        if (type == 0) return 1;
        // A record shorter than its own two words would never move on.
        if (len < 8 || len > VEXA_RECORD_LIMIT || (size_t)(end - p) < len) return 0;
        const BYTE *body = p + 8, *recEnd = p + len;
        switch (type) {
        case VEXA_REC_SPANS:
        case VEXA_REC_SPANS12:
        case VEXA_REC_SPANS13:
            if (recEnd - body < 4) return 0;
            if (!apply_spans(cv, VEXA_MIXED, body + 4, recEnd, rd32(body))) return 0;
            break;
        case VEXA_REC_FIELD21:
        case VEXA_REC_FIELD22: {
            if (recEnd - body < 16) return 0;
            LONG w = (LONG)rd32(body), h = (LONG)rd32(body + 4);
            LONG x = (LONG)rd32(body + 8), y = (LONG)rd32(body + 12);
            if (w < 0 || h < 0 || (uint64_t)w * (uint64_t)h * 4 > (uint64_t)(recEnd - body - 16)) return 0;
            const BYTE *rows = body + 16;
            for (LONG r = (fieldWord & 1) ? 1 : 0; r < h; r += 2)
                for (LONG k = 0; k < w; ++k)
                    if (DWORD *d = cv.px((long long)x + k, (long long)y + r))
                        *d = rd32(rows + ((size_t)r * w + k) * 4);
            break;
        }
        default:
            break;   // skipped
        }
        p += len;
    }
}

BYTE *PIXAPI EncodeVexaLayer(Layer *layer, BYTE *buffer, LONG size, LONG kind, Layer *previous)
{
    WINE_TRACE("(%p, %p, %d, %d, %p)\n", layer, buffer, size, kind, previous);
    if (!layer || kind < 1 || kind > 5) return nullptr;
    RefreshLayer(layer);
    Bytes b;
    {
        Access cur(layer);
        if (!cur.ok) return nullptr;
        Access prev(previous);
        const Access *pp = previous ? &prev : nullptr;
        bool ok;
        switch (kind) {
        case 1: ok = encode_kind1(b, cur, pp); break;
        case 2: ok = encode_kind2(b, cur); break;
        case 3: ok = encode_kind3(b, cur, pp); break;
        default: ok = encode_kind45(b, cur, pp, kind); break;
        }
        if (!ok) return nullptr;
    }
    DWORD total = (DWORD)b.size();
    b.set32(0, total - 8);
    b.set32(4, ~(total - 8));
    DWORD have = buffer ? (DWORD)(size > 0 ? size : 0) : 0;
    if (!buffer) {
        buffer = (BYTE *)M32_alloc(32768);
        if (!buffer) return nullptr;
        have = 32768;
    }
    if (have < total) {
        DWORD grown = have + ((total - have + 32767) / 32768) * 32768;
        BYTE *n = (BYTE *)M32_realloc(buffer, grown);
        if (!n) {
            M32_free(buffer);
            return nullptr;
        }
        buffer = n;
    }
    memcpy(buffer, b.v.data(), total);
    return buffer;
}

LONG PIXAPI DecodeVexa2Layer(Layer *layer, const BYTE *buffer, LONG fieldFlag, LONG field)
{
    WINE_TRACE("(%p, %p, %d, %d)\n", layer, buffer, fieldFlag, field);
    if (!layer || !buffer) return 0;
    vexa_decode(layer, buffer, SIZE_MAX, fieldFlag ? (field ? 1 : 0) : -1);
    UpdateLayer(layer);
    return 1;
}

LONG PIXAPI DecodeVexaLayer(Layer *layer, const BYTE *buffer)
{
    return DecodeVexa2Layer(layer, buffer, 0, 0);
}

LONG PIXAPI ZozoreDecodeVexaLayerEx(Layer *layer, const BYTE *buffer, LONG fieldWord)
{
    WINE_TRACE("(%p, %p, %d)\n", layer, buffer, fieldWord);
    LONG r = vexa_decode_records(layer, buffer, SIZE_MAX, fieldWord);
    if (layer) UpdateLayer(layer);
    return r;
}

LONG PIXAPI ZozoreDecodeVexaLayer(Layer *layer, const BYTE *buffer)
{
    ZozoreDecodeVexaLayerEx(layer, buffer, 0);
    return 1;
}

}  // extern "C"
