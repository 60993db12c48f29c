// The on-board pattern generator: a transition drawn field by field as the
// rectangles of the new picture the board reveals, the lines it slides and
// the mix levels.  Every pattern appends its items through one clipping
// routine and emits both fields whenever a batch of v items is complete;
// the last fields always reveal the whole frame.
#include "cmdlist.h"
#include <string.h>
#include <vector>
#include <algorithm>

namespace {

struct Rect { LONG y, x, w, h; };
struct Slide { LONG a, y, value, x0, x1; };

struct FieldLists {
    std::vector<Rect> rects;
    std::vector<Slide> slides;
    LONG counter = 0;                   // fields emitted
};

struct Generator {
    ListBuilder out;
    PatternWindow win;
    FieldLists field[2];
    LONG v = 1;                         // batch size
    LONG items = 0;                     // items appended so far
    int mixType = 0;
    bool mixRunning = false;
    LONG mixStep = 0, n = 2;
    LONG cropCounter = 0;

    void emit(int f)
    {
        FieldLists &l = field[f];
        out.begin_frame();
        if (mixRunning) {
            LONG c = std::min(std::max(mixStep, (LONG)0), n);
            double t = (double)c / n, a = 1, b = 1;
            bool finished = false;
            switch (mixType) {
            case 1: a = 1 - t; b = t; finished = t >= 1; break;
            case 2:
                if (c * 2 < n) { a = 1; b = 2.0 * c / n; }
                else { a = 1 - (2.0 * c - n) / n; b = 1; }
                finished = a <= 0 && b >= 1;
                break;
            case 3: a = 1; b = 1; finished = true; break;
            case 4: a = 0; b = 1; finished = true; break;
            case 5: a = 0; b = 0; finished = true; break;
            default: a = 1; b = 0; finished = true; break;
            }
            DWORD levels[2] = { fix24(a), fix24(b) };
            out.sub(CL_TAG_LEVELS, levels, 2);
            ++mixStep;
            if (finished) mixRunning = false;
        }
        if (cropCounter == 1) out.sub(CL_TAG_CROP, win.crop, 4);
        if (cropCounter > 1) --cropCounter;
        if (!l.rects.empty()) {
            std::vector<DWORD> p;
            p.push_back((DWORD)l.rects.size());
            for (const Rect &r : l.rects) p.insert(p.end(), { (DWORD)r.y, (DWORD)r.x, (DWORD)r.w, (DWORD)r.h });
            out.sub(CL_TAG_RECTS, p.data(), (DWORD)p.size());
        }
        if (!l.slides.empty()) {
            std::vector<DWORD> p;
            p.push_back((DWORD)l.slides.size());
            for (const Slide &s : l.slides)
                p.insert(p.end(), { (DWORD)s.a, (DWORD)s.y, (DWORD)s.value, (DWORD)s.x0, (DWORD)s.x1 });
            out.sub(CL_TAG_SLIDES, p.data(), (DWORD)p.size());
        }
        out.end_frame();
        l.rects.clear();
        l.slides.clear();
        ++l.counter;
    }

    void emit_both()
    {
        emit(0);
        emit(1);
    }

    void counted()
    {
        if (++items % v == 0) emit_both();
    }

    // Clips to the frame, adds the window offset, and puts the rectangle in
    // both fields' lists.
    void rect(LONG x, LONG y, LONG w, LONG h)
    {
        if (x < 0) { w += x; x = 0; }
        if (y < 0) { h += y; y = 0; }
        if (x >= win.width || y >= win.height || w <= 0 || h <= 0) return;
        w = std::min(w, win.width - x);
        h = std::min(h, win.height - y);
        Rect r = { y + win.y0, x + win.x0, w, h };
        field[0].rects.push_back(r);
        field[1].rects.push_back(r);
        counted();
    }

    void slide(LONG y, LONG value, LONG x0, LONG x1)
    {
        if (y < 0 || y >= win.height) return;
        x0 = std::max((LONG)0, x0);
        x1 = std::min(win.width, x1);
        if (x1 <= x0) return;
        Slide s = { 0, y + win.y0, value, x0 + win.x0, x1 + win.x0 };
        field[0].slides.push_back(s);
        field[1].slides.push_back(s);
        counted();
    }
};

// Block grid of class 1 at a size level.
void block_size(LONG width, LONG height, LONG level, LONG &bw, LONG &bh)
{
    bw = width > 128 ? (width + 127) / 128 : 2;
    (void)height;
    bh = std::max((LONG)2, bw);   // square blocks
    for (LONG i = 0; i < level; ++i) {
        bw *= 2;
        bh *= 2;
    }
}

} // namespace

LONG pattern_batch(DWORD code, LONG n, LONG width, LONG height, LONG blocks)
{
    n = std::max((LONG)1, n);
    switch (code) {
    case 0: return std::max((LONG)1, (height / n) / 2);
    case 5: case 6: case 9: case 10: case 11: case 12: case 21: case 22: case 23: case 24: case 25: case 29:
    case 30: return 4;
    case 7: case 8: case 14: case 26: case 27: return 8;
    case 13: case 28: return 16;
    case 15: return 2 * width;
    case 16: return 2 * height;
    case 1: case 2: case 3: case 4: case 17: case 18: case 19: case 20: return 2;
    case 0x10000: return std::max((LONG)1, blocks / n);
    case 0x20000: case 0x20001: case 0x20003: return std::max((LONG)1, height / n);
    case 0x20002: case 0x20004: return std::max((LONG)1, width / n);
    case 0x20005: case 0x20006: return std::max((LONG)1, 2 * height / n);
    case 0x20007: case 0x20008: return std::max((LONG)1, 6 * width / n);
    case 0x20009: case 0x2000A: case 0x2000B: case 0x2000C: case 0x2001D: case 0x2001E:
        return std::max((LONG)1, 2 * width / n);
    case 0x2000D: case 0x2000E: return std::max((LONG)1, 8 * height / n);
    case 0x30001: case 0x30002: case 0x30003: case 0x30004: case 0x40000: case 0x50000: case 0x7FFFF:
    case 0x80000: case 0x80001: case 0x80002: case 0x80003: case 0x80004: return 1;
    case 0x60001: case 0x60002: case 0x60003: case 0x60004: return 2;
    case 0x70001: case 0x70002: case 0x70003: case 0x70004: return 3;
    case 0x90000: return 4 * std::max(width, height);
    }
    return -1;
}

BYTE *BoardTransitionList(const PatternWindow &window, DWORD code, DWORD second, DWORD duration, DWORD *size,
                          unsigned seed)
{
    Generator g;
    g.win = window;
    g.win.width &= ~(LONG)1;
    g.win.height &= ~(LONG)1;
    const LONG W = g.win.width, H = g.win.height;
    LONG n = (LONG)(duration & ~1u);
    DWORD cls = (code >> 16) & 0xFF, wipe = code & 0xFF;
    if (n < 1) {
        wipe = 255;
        cls = 0;
        n = 2;
    }
    n = std::min(n, (LONG)600);
    g.n = n;

    // Class 1: blocks at a size level; the wipe code picks their order.
    LONG level = second <= 4 ? (LONG)second : 2, bw = 2, bh = 2, across = 1, down = 1;
    if (cls == 1) {
        block_size(W, H, level, bw, bh);
        across = (W + bw - 1) / bw;
        down = (H + bh - 1) / bh;
    }
    DWORD key;
    if (cls == 1) key = 0x10000;
    else if (cls == 9) key = 0x90000;
    else key = cls << 16 | wipe;
    if (second > 4) second = 2;
    LONG v = pattern_batch(key, n, W, H, across * down);
    if (v < 0) {
        key = 255;
        v = 1;
    }
    g.v = std::max((LONG)1, v);

    if (g.win.cropSet) {
        g.cropCounter = 1;
        g.emit_both();
        g.cropCounter = 0;
    }
    if (key == 0x40000) { g.mixType = 1; g.mixRunning = true; }
    if (key == 0x50000) { g.mixType = 2; g.mixRunning = true; }

    srand(seed);
    if (key == 0) {
        // Random dissolve of line pairs.
        std::vector<LONG> pairs(H / 2);
        for (size_t i = 0; i < pairs.size(); ++i) pairs[i] = (LONG)i;
        for (LONG u = (LONG)pairs.size() - 1; u >= 0; --u) {
            LONG r = rand() & 0x7FFF;
            std::swap(pairs[(size_t)(((long long)u * r) >> 15)], pairs[(size_t)u]);
        }
        for (LONG p : pairs) g.rect(0, 2 * p, W, 2);
    } else if (key == 0x10000) {
        std::vector<POINT> blocks;
        for (LONG j = 0; j < down; ++j)
            for (LONG i = 0; i < across; ++i) blocks.push_back({ i * bw, j * bh });
        switch (wipe % 4) {
        case 1: std::reverse(blocks.begin(), blocks.end()); break;
        case 2:
            std::stable_sort(blocks.begin(), blocks.end(), [](POINT a, POINT b) { return a.x < b.x; });
            break;
        case 3:
            for (size_t u = blocks.size(); u-- > 1;) std::swap(blocks[u], blocks[(size_t)rand() % (u + 1)]);
            break;
        }
        for (const POINT &p : blocks) g.rect(p.x, p.y, bw, bh);
    } else if (key >= 17 && key <= 28) {
        // Lines slide in from the side, a band of lines at a time.
        const LONG steps = std::max((LONG)1, n / 2);
        for (LONG s = 1; s <= steps; ++s)
            for (LONG y = 0; y < H; y += std::max((LONG)1, H / g.v)) {
                LONG shown = W * s / steps;
                g.slide(y, key & 1 ? W - shown : 0, key & 1 ? W - shown : 0, key & 1 ? W : shown);
            }
    } else if (key >= 1 && key <= 16) {
        // Wipes: bands across (odd codes) or down (even codes), two per step.
        const bool across_ = key & 1;
        const LONG extent = across_ ? W : H;
        const LONG steps = std::max((LONG)1, (extent + g.v - 1) / g.v);
        for (LONG i = 0; i < extent; i += steps) {
            if (across_) g.rect(key == 3 ? W - i - steps : i, 0, steps, H);
            else g.rect(0, key == 4 ? H - i - steps : i, W, steps);
        }
    } else if (key == 29 || key == 30) {
        // Vertical bands from both sides.
        const LONG band = std::max((LONG)2, W / 16);
        for (LONG x = 0; x < W / 2; x += band) {
            g.rect(x, 0, band, H);
            g.rect(W - x - band, 0, band, H);
        }
    } else if (key != 255 && key != 0x40000 && key != 0x50000) {
        // Other classes: horizontal bands, v per frame, over the duration.
        const LONG total = std::max((LONG)1, g.v * std::max((LONG)1, n / 2));
        const LONG band = std::max((LONG)1, (H + total - 1) / total);
        for (LONG y = 0; y < H; y += band) g.rect(0, y, W, band);
    } else if (key == 0x40000 || key == 0x50000) {
        for (LONG i = 0; i < n; ++i) g.emit_both();
    }

    // The whole new picture at the end.
    g.rect(0, 0, W, H);
    if (g.items % g.v != 0) {
        if (g.field[1].counter >= g.field[0].counter) g.emit_both();
        else {
            g.emit(1);
            g.emit(0);
        }
    }
    return g.out.finish(size);
}
