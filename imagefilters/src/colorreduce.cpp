// Colour reduction of a deep image to one palette of at most 256 entries.
//
// Entries 0-19 are always the 20 static colours of the system palette; the
// other 236 come from a histogram of the whole image over the RGB555 cube
// (32 x 32 x 32 cells): very frequent cells get entries of their own, the
// rest of the cube is walked along a three-dimensional Hilbert curve and cut
// into runs of equal pixel population, each run giving its population-
// weighted mean colour.  An inverse map then gives every occupied cell its
// nearest entry, and the reducing row converters write each pixel through it.
//
// The state is process-wide; it is used under the library lock, one
// conversion at a time.
#include "colorreduce.h"
#include "depthconv.h"

#include <cstdlib>
#include <cstring>

namespace {

const int kCells = 32768;

struct Entry5 {
    uint8_t b, g, r;  // 5-bit components
};

struct ReducerState {
    uint32_t* histogram = nullptr;  // one count per cell
    uint32_t total = 0;             // counted pixels not yet given an entry
    Entry5* working = nullptr;      // 256 entries
    int n = 0;
    uint8_t* map = nullptr;  // palette index of each cell
    uint32_t toPlace = 0;
    uint32_t threshold = 0;
    // run accumulators
    uint32_t runPop = 0, sumX = 0, sumY = 0, sumZ = 0;
    uint16_t* sq = nullptr;  // 32 x 32 squared differences
    uint16_t paletteMap[256] = {};
};

ReducerState g_rd;

// Blue, green, red of the 20 reserved colours.
const uint8_t kReserved[20][3] = {
    {0, 0, 0},       {0, 0, 128},     {0, 128, 0},     {0, 128, 128},   {128, 0, 0},
    {128, 0, 128},   {128, 128, 0},   {192, 192, 192}, {192, 220, 192}, {240, 202, 166},
    {240, 251, 255}, {164, 160, 160}, {128, 128, 128}, {0, 0, 255},     {0, 255, 0},
    {0, 255, 255},   {255, 0, 0},     {255, 0, 255},   {255, 255, 0},   {255, 255, 255}};

inline uint32_t CellOf(uint32_t b, uint32_t g, uint32_t r)
{
    return ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
}

void AppendEntry(uint32_t x, uint32_t y, uint32_t z)
{
    if (g_rd.n >= 256) return;  // never past the palette (cannot happen by the run arithmetic)
    g_rd.working[g_rd.n].b = uint8_t(x);
    g_rd.working[g_rd.n].g = uint8_t(y);
    g_rd.working[g_rd.n].r = uint8_t(z);
    ++g_rd.n;
}

// Hilbert walk: twelve states, each fixing the octant order (octant =
// x + 2y + 4z) and the state of each octant in that order.
const uint8_t kOrder[12][8] = {
    {0, 4, 6, 2, 3, 7, 5, 1}, {0, 1, 3, 2, 6, 7, 5, 4}, {0, 4, 5, 1, 3, 7, 6, 2}, {3, 1, 0, 2, 6, 4, 5, 7},
    {3, 7, 5, 1, 0, 4, 6, 2}, {3, 7, 6, 2, 0, 4, 5, 1}, {5, 1, 0, 4, 6, 2, 3, 7}, {5, 4, 6, 7, 3, 2, 0, 1},
    {5, 7, 3, 1, 0, 2, 6, 4}, {6, 2, 3, 7, 5, 1, 0, 4}, {6, 4, 0, 2, 3, 1, 5, 7}, {6, 4, 5, 7, 3, 1, 0, 2}};
const uint8_t kChild[12][8] = {
    {1, 2, 2, 10, 10, 5, 5, 7}, {0, 2, 2, 3, 3, 9, 9, 8},   {1, 0, 0, 6, 6, 4, 4, 11},
    {5, 4, 4, 1, 1, 10, 10, 6}, {3, 5, 5, 8, 8, 2, 2, 11},  {3, 4, 4, 9, 9, 0, 0, 7},
    {7, 8, 8, 2, 2, 10, 10, 3}, {8, 6, 6, 11, 11, 5, 5, 0}, {6, 7, 7, 4, 4, 1, 1, 9},
    {11, 10, 10, 5, 5, 8, 8, 1}, {9, 11, 11, 0, 0, 3, 3, 6}, {9, 10, 10, 7, 7, 4, 4, 2}};

template <class Visit>
void Walk(int x, int y, int z, int size, int state, Visit& visit)
{
    if (size == 1) {
        visit(x, y, z);
        return;
    }
    int half = size / 2;
    for (int i = 0; i < 8; ++i) {
        int o = kOrder[state][i];
        Walk(x + (o & 1) * half, y + ((o >> 1) & 1) * half, z + ((o >> 2) & 1) * half, half, kChild[state][i], visit);
    }
}

void CountRow(const uint8_t* row, int width, int depth)
{
    uint32_t* h = g_rd.histogram;
    const uint16_t* pm = g_rd.paletteMap;
    switch (depth) {
    case 1:
        for (int i = 0; i < width; ++i) h[pm[(row[i >> 3] >> (7 - (i & 7))) & 1]]++;
        break;
    case 4:
        // Every pixel, an odd last one included (high nibble first).
        for (int i = 0; i < width; ++i) h[pm[(i & 1) ? (row[i >> 1] & 15) : (row[i >> 1] >> 4)]]++;
        break;
    case 8:
        for (int i = 0; i < width; ++i) h[pm[row[i]]]++;
        break;
    case 16:
        for (int i = 0; i < width; ++i) h[(row[2 * i] | (row[2 * i + 1] << 8)) & 0x7FFF]++;
        break;
    case 24:
        for (int i = 0; i < width; ++i, row += 3) h[CellOf(row[0], row[1], row[2])]++;
        break;
    case 32:
        for (int i = 0; i < width; ++i, row += 4) h[CellOf(row[0], row[1], row[2])]++;
        break;
    }
}

}  // namespace

namespace ferrix {

void ReduceStart()
{
    if (!g_rd.histogram) g_rd.histogram = static_cast<uint32_t*>(std::calloc(kCells, sizeof(uint32_t)));
    else std::memset(g_rd.histogram, 0, kCells * sizeof(uint32_t));
    g_rd.total = 0;
    for (int i = 0; i < 256; ++i) g_rd.paletteMap[i] = 0;
}

void ReduceSetSourcePalette(const RGBQUAD* entries, int count)
{
    for (int i = 0; i < 256; ++i) g_rd.paletteMap[i] = 0;
    for (int i = 0; i < count && i < 256; ++i)
        g_rd.paletteMap[i] = uint16_t(CellOf(entries[i].rgbBlue, entries[i].rgbGreen, entries[i].rgbRed));
}

void ReduceCountRow(const uint8_t* row, int width, int depth)
{
    if (!g_rd.histogram || !row || width < 1) return;
    g_rd.total += uint32_t(width);
    CountRow(row, width, depth);
}

const uint32_t* ReduceHistogram() { return g_rd.histogram; }
const uint8_t* ReduceMap() { return g_rd.map; }
int ReduceEntryCount() { return g_rd.n; }

void WalkHilbert(void (*visit)(int x, int y, int z, void* user), void* user)
{
    auto v = [&](int x, int y, int z) { visit(x, y, z, user); };
    Walk(0, 0, 0, 32, 0, v);
}

}  // namespace ferrix

using namespace ferrix;

extern "C" int fxReduceHistogram(ConvertSource* s)
{
    if (!s) return FX_E_NOSOURCE;
    ReduceStart();
    if (!g_rd.histogram) return FX_E_MEMORY;
    int depth = s->depth, width = s->width;
    if (depth <= 8) {
        RGBQUAD pal[256];
        std::memset(pal, 0, sizeof pal);
        int count = s->paletteCount ? s->paletteCount : (1 << depth);
        if (count > 256) count = 256;
        if (s->getPalette) count = s->getPalette(s, pal, count);
        else count = 0;
        ReduceSetSourcePalette(pal, count < 0 ? 0 : count);
    }
    if (s->beginRows) {
        int r = s->beginRows(s);
        if (r < 0) return r;
    }
    // Rows come from the reader's skip routine, which hands back the row in
    // memory; a reader without one is read row by row into a buffer of ours.
    uint8_t* own = nullptr;
    int result = 0;
    for (int y = 0; y < s->height; ++y) {
        if (s->callback) s->callback(s, 0, y);
        const uint8_t* row = nullptr;
        if (s->skipRow) {
            LONG_PTR p = s->skipRow(s);
            if (p < 0) {
                result = int(p);
                break;
            }
            row = reinterpret_cast<const uint8_t*>(p);
        }
        if (!row && s->readRow) {
            if (!own) own = static_cast<uint8_t*>(std::calloc(1, size_t(s->bytesPerRow) + 16));
            if (!own) {
                result = FX_E_MEMORY;
                break;
            }
            int r = s->readRow(s, own);
            if (r < 0) {
                result = r;
                break;
            }
            row = own;
        }
        if (!row) {  // no way to see the row: refuse rather than count nothing
            result = FX_E_READ;
            break;
        }
        ReduceCountRow(row, width, depth);
    }
    std::free(own);
    return result;
}

extern "C" int fxReduceBuildPalette(RGBQUAD palette[256])
{
    std::memset(palette, 0, 256 * sizeof(RGBQUAD));
    if (!g_rd.histogram) return FX_E_MEMORY;
    if (!g_rd.map) g_rd.map = static_cast<uint8_t*>(std::calloc(kCells, 1));
    else std::memset(g_rd.map, 0, kCells);
    if (!g_rd.working) g_rd.working = static_cast<Entry5*>(std::calloc(256, sizeof(Entry5)));
    if (!g_rd.map || !g_rd.working) return FX_E_MEMORY;
    uint32_t* h = g_rd.histogram;
    g_rd.n = 0;

    for (int i = 0; i < 20; ++i) {
        uint32_t b = kReserved[i][0], g = kReserved[i][1], r = kReserved[i][2];
        AppendEntry(b >> 3, g >> 3, r >> 3);
        uint32_t cell = CellOf(b, g, r);
        g_rd.total -= (h[cell] <= g_rd.total ? h[cell] : g_rd.total);
        h[cell] = 0;
        g_rd.map[cell] = uint8_t(i);
    }
    fxProgress();

    int occupied = 0;
    for (int c = 0; c < kCells; ++c)
        if (h[c]) ++occupied;

    if (occupied <= 236) {
        for (int c = 0; c < kCells; ++c)
            if (h[c]) {
                g_rd.map[c] = uint8_t(g_rd.n);
                AppendEntry(c & 31, (c >> 5) & 31, (c >> 10) & 31);
            }
    } else {
        g_rd.toPlace = 236;
        g_rd.threshold = g_rd.total / g_rd.toPlace + 1;
        bool placed = true;
        while (placed && g_rd.toPlace > 1) {
            placed = false;
            for (int c = 0; c < kCells && g_rd.toPlace > 1; ++c) {
                if (h[c] && h[c] >= g_rd.threshold) {
                    g_rd.map[c] = uint8_t(g_rd.n);
                    AppendEntry(c & 31, (c >> 5) & 31, (c >> 10) & 31);
                    g_rd.total -= h[c];
                    h[c] = 0;
                    --g_rd.toPlace;
                    g_rd.threshold = g_rd.total / g_rd.toPlace + 1;
                    placed = true;
                }
            }
        }

        g_rd.runPop = g_rd.sumX = g_rd.sumY = g_rd.sumZ = 0;
        auto visit = [h](int x, int y, int z) {
            uint32_t c = h[(z << 10) | (y << 5) | x];
            if (!c) return;
            const uint32_t th = g_rd.threshold;
            while (g_rd.runPop + c >= th) {
                uint32_t t = th - g_rd.runPop;
                uint64_t sx = uint64_t(g_rd.sumX) + uint64_t(t) * x + (th >> 1);
                uint64_t sy = uint64_t(g_rd.sumY) + uint64_t(t) * y + (th >> 1);
                uint64_t sz = uint64_t(g_rd.sumZ) + uint64_t(t) * z + (th >> 1);
                AppendEntry(uint32_t(sx / th), uint32_t(sy / th), uint32_t(sz / th));
                g_rd.runPop = g_rd.sumX = g_rd.sumY = g_rd.sumZ = 0;
                c -= t;
                if (!c) return;
            }
            g_rd.runPop += c;
            g_rd.sumX += c * x;
            g_rd.sumY += c * y;
            g_rd.sumZ += c * z;
        };
        Walk(0, 0, 0, 32, 0, visit);
        fxProgress();
        if (g_rd.runPop)
            AppendEntry(g_rd.sumX / g_rd.runPop, g_rd.sumY / g_rd.runPop, g_rd.sumZ / g_rd.runPop);
    }

    for (int i = 0; i < 20; ++i) {
        palette[i].rgbBlue = kReserved[i][0];
        palette[i].rgbGreen = kReserved[i][1];
        palette[i].rgbRed = kReserved[i][2];
    }
    for (int i = 20; i < g_rd.n; ++i) {
        palette[i].rgbBlue = uint8_t(Widen5(g_rd.working[i].b));
        palette[i].rgbGreen = uint8_t(Widen5(g_rd.working[i].g));
        palette[i].rgbRed = uint8_t(Widen5(g_rd.working[i].r));
    }
    return 0;
}

extern "C" void fxReduceBuildInverseMap(void)
{
    if (!g_rd.sq) g_rd.sq = static_cast<uint16_t*>(std::calloc(32 * 32, sizeof(uint16_t)));
    if (g_rd.sq)
        for (int a = 0; a < 32; ++a)
            for (int b = 0; b < 32; ++b) g_rd.sq[a * 32 + b] = uint16_t((a - b) * (a - b));
    fxProgress();
    if (g_rd.histogram && g_rd.map && g_rd.working && g_rd.sq) {
        const uint16_t* sq = g_rd.sq;
        for (int c = 0; c < kCells; ++c) {
            if (!g_rd.histogram[c]) continue;
            int x = c & 31, y = (c >> 5) & 31, z = (c >> 10) & 31;
            uint32_t best = 16000;
            int bestIndex = 0;
            for (int i = 0; i < g_rd.n; ++i) {
                const Entry5& e = g_rd.working[i];
                uint32_t d = sq[y * 32 + e.g];
                if (d >= best) continue;
                d += sq[z * 32 + e.r];
                if (d >= best) continue;
                d += sq[x * 32 + e.b];
                if (d < best) {
                    best = d;
                    bestIndex = i;
                }
            }
            g_rd.map[c] = uint8_t(bestIndex);
        }
    }
    fxProgress();
    std::free(g_rd.histogram);
    g_rd.histogram = nullptr;
}

extern "C" void fxReduceRelease(void)
{
    std::free(g_rd.histogram);
    std::free(g_rd.map);
    std::free(g_rd.working);
    std::free(g_rd.sq);
    g_rd.histogram = nullptr;
    g_rd.map = nullptr;
    g_rd.working = nullptr;
    g_rd.sq = nullptr;
    g_rd.n = 0;
    g_rd.total = 0;
}

// ---- reducing row converters: each pixel's cell through the inverse map ----
namespace {

template <int Bpp>
inline uint32_t PixelCell(const uint8_t* p)
{
    if (Bpp == 2) return (p[0] | (p[1] << 8)) & 0x7FFF;
    return CellOf(p[0], p[1], p[2]);
}

template <int Bpp>
int ReducePlain(FxConverter*, const BYTE* src, BYTE* dst, int count)
{
    const uint8_t* map = g_rd.map;
    for (int i = 0; i < count; ++i, src += Bpp) dst[i] = map ? map[PixelCell<Bpp>(src)] : 0;
    return 3;
}

template <int Bpp>
int ReduceResample(FxConverter*, const BYTE* src, BYTE* dst, int count, const BYTE* steps)
{
    const uint8_t* map = g_rd.map;
    for (int i = 0; i < count; ++i) {
        src += steps[i] * Bpp;
        dst[i] = map ? map[PixelCell<Bpp>(src)] : 0;
    }
    return 1;
}

}  // namespace

extern "C" const FxPlainConv fxReducePlainTable[5] = {nullptr, nullptr, &ReducePlain<2>, &ReducePlain<3>,
                                                      &ReducePlain<4>};
extern "C" const FxResampleConv fxReduceResampleTable[5] = {nullptr, nullptr, &ReduceResample<2>,
                                                            &ReduceResample<3>, &ReduceResample<4>};
