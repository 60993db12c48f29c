// transition_sheet [out.png] [elapsed-percent]
//
// Draws every pattern of the transition table at one progress (default half
// time, auto-transition mode) from two generated pictures and writes them as
// one PNG contact sheet, eight tiles a row, each tile labelled with its index.
#include "transitions.h"

#include <zlib.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

const int kTileW = 160, kTileH = 120, kGap = 6, kCols = 8;

// A: colour bars over a grey ramp at the bottom; B: a blue-green target of
// rings with a diagonal stripe, so both pictures stay recognisable in pieces.
void MakeSources(std::vector<uint32_t> &a, std::vector<uint32_t> &b)
{
    static const uint32_t bars[8] = {0xFFC0C0C0, 0xFFC0C000, 0xFF00C0C0, 0xFF00C000,
                                     0xFFC000C0, 0xFFC00000, 0xFF0000C0, 0xFF101010};
    a.resize(size_t(kTileW) * kTileH);
    b.resize(a.size());
    for (int y = 0; y < kTileH; ++y)
        for (int x = 0; x < kTileW; ++x)
        {
            uint32_t v = bars[x * 8 / kTileW];
            if (y >= kTileH * 3 / 4)
            {
                uint32_t g = uint32_t(x * 255 / (kTileW - 1));
                v = 0xFF000000u | (g << 16) | (g << 8) | g;
            }
            a[size_t(y) * kTileW + x] = v;
            double dx = x - kTileW / 2.0, dy = y - kTileH / 2.0;
            int ring = int(std::sqrt(dx * dx + dy * dy) / 8) & 1;
            bool stripe = ((x + y) / 10) % 4 == 0;
            uint32_t c = ring ? 0xFF2060E0u : 0xFF20C080u;
            if (stripe) c = 0xFFF0F040u;
            b[size_t(y) * kTileW + x] = c;
        }
}

// 3 x 5 digits, one row per 3 bits.
const uint8_t kDigits[10][5] = {{7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7},
                                {5, 5, 7, 1, 1}, {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 1, 1, 1},
                                {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7}};

void Label(std::vector<uint32_t> &img, int stride, int x0, int y0, int number)
{
    char text[8];
    snprintf(text, sizeof text, "%d", number);
    const int scale = 2, n = int(strlen(text));
    for (int y = 0; y < 7 * scale; ++y)
        for (int x = 0; x < (n * 4 + 1) * scale; ++x) img[size_t(y0 + y) * stride + x0 + x] = 0xFF000000u;
    for (int i = 0; i < n; ++i)
        for (int r = 0; r < 5; ++r)
            for (int c = 0; c < 3; ++c)
                if (kDigits[text[i] - '0'][r] & (4 >> c))
                    for (int sy = 0; sy < scale; ++sy)
                        for (int sx = 0; sx < scale; ++sx)
                            img[size_t(y0 + (1 + r) * scale + sy) * stride + x0 + (1 + i * 4 + c) * scale + sx] =
                                0xFFFFFFFFu;
}

void Chunk(FILE *f, const char *type, const std::vector<uint8_t> &data)
{
    uint8_t len[4] = {uint8_t(data.size() >> 24), uint8_t(data.size() >> 16), uint8_t(data.size() >> 8),
                      uint8_t(data.size())};
    fwrite(len, 1, 4, f);
    fwrite(type, 1, 4, f);
    if (!data.empty()) fwrite(data.data(), 1, data.size(), f);
    uLong crc = crc32(0, reinterpret_cast<const Bytef *>(type), 4);
    if (!data.empty()) crc = crc32(crc, data.data(), uInt(data.size()));
    uint8_t c[4] = {uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8), uint8_t(crc)};
    fwrite(c, 1, 4, f);
}

bool WritePng(const char *path, const std::vector<uint32_t> &img, int w, int h)
{
    std::vector<uint8_t> raw;
    raw.reserve(size_t(h) * (1 + size_t(w) * 3));
    for (int y = 0; y < h; ++y)
    {
        raw.push_back(0); // no filter
        for (int x = 0; x < w; ++x)
        {
            uint32_t p = img[size_t(y) * w + x];
            raw.push_back(uint8_t(p >> 16));
            raw.push_back(uint8_t(p >> 8));
            raw.push_back(uint8_t(p));
        }
    }
    uLongf zlen = compressBound(uLong(raw.size()));
    std::vector<uint8_t> z(zlen);
    if (compress2(z.data(), &zlen, raw.data(), uLong(raw.size()), 9) != Z_OK) return false;
    z.resize(zlen);

    FILE *f = fopen(path, "wb");
    if (!f) return false;
    static const uint8_t sig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    fwrite(sig, 1, 8, f);
    std::vector<uint8_t> ihdr = {uint8_t(w >> 24), uint8_t(w >> 16), uint8_t(w >> 8), uint8_t(w),
                                 uint8_t(h >> 24), uint8_t(h >> 16), uint8_t(h >> 8), uint8_t(h),
                                 8, 2, 0, 0, 0}; // 8-bit RGB
    Chunk(f, "IHDR", ihdr);
    Chunk(f, "IDAT", z);
    Chunk(f, "IEND", {});
    bool ok = !ferror(f);
    return fclose(f) == 0 && ok;
}

} // namespace

int main(int argc, char **argv)
{
    const char *path = argc > 1 ? argv[1] : "transitions.png";
    const int percent = argc > 2 ? atoi(argv[2]) : 50;
    std::vector<uint32_t> a, b, tile(size_t(kTileW) * kTileH);
    MakeSources(a, b);

    const int rows = (kTransitionCount + kCols - 1) / kCols;
    const int W = kCols * (kTileW + kGap) + kGap, H = rows * (kTileH + kGap) + kGap;
    std::vector<uint32_t> sheet(size_t(W) * H, 0xFF303030u);
    for (int i = 0; i < kTransitionCount; ++i)
    {
        TransitionFrame f = {};
        f.a = reinterpret_cast<const uint8_t *>(a.data());
        f.b = reinterpret_cast<const uint8_t *>(b.data());
        f.out = reinterpret_cast<uint8_t *>(tile.data());
        f.aPitch = f.bPitch = f.outPitch = kTileW * 4;
        f.elapsed = uint32_t(percent * 10);
        f.duration = 1000;
        f.width = kTileW;
        f.height = kTileH;
        f.autoTransition = 1;
        TransitionEffects[i].routine(f);
        const int x0 = kGap + (i % kCols) * (kTileW + kGap), y0 = kGap + (i / kCols) * (kTileH + kGap);
        for (int y = 0; y < kTileH; ++y)
            memcpy(&sheet[size_t(y0 + y) * W + x0], &tile[size_t(y) * kTileW], size_t(kTileW) * 4);
        Label(sheet, W, x0, y0, i);
    }
    if (!WritePng(path, sheet, W, H))
    {
        fprintf(stderr, "transition_sheet: cannot write %s\n", path);
        return 1;
    }
    printf("wrote %s: %d patterns at %d%%, %dx%d\n", path, kTransitionCount, percent, W, H);
    return 0;
}
