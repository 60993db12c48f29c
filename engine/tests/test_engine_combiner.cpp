/*
 * The programme combiner: title export files built byte by byte from their
 * layout, loaded into the programme and preview slots and drawn over known
 * surfaces (pixels against an independent over of premultiplied samples),
 * moving layers, text layers, CG clips at 50 ms steps with their loops, bad
 * files of both kinds, and titles laid over the frame clock's output.
 */
#include <catch2/catch.hpp>
#include <windows.h>
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>
#include "engine_host.h"
#include "synthetic_source.h"
#include "msgbox_capture.h"
#include "clock.h"
#include "combiner.h"
#include "title_file.h"
#include "cga_file.h"
#include "title_over.h"
#include <dxtrans.h>

namespace {

const int W = 320, H = 240;

/* ---- independent reference arithmetic ---- */

uint32_t RefPremultiply(uint32_t px)
{
    uint32_t a = px >> 24;
    if (a == 255) return px;
    if (a == 0) return 0;
    uint32_t out = a << 24;
    for (int sh = 0; sh < 24; sh += 8)
        out |= (uint32_t)std::lround(((px >> sh) & 0xFF) * a / 255.0) << sh;
    return out;
}

/* dst := src + dst x (255 - src alpha) / 255, per byte, src premultiplied. */
uint32_t RefOver(uint32_t dst, uint32_t src)
{
    uint32_t a = src >> 24, out = 0;
    for (int sh = 0; sh < 32; sh += 8) {
        long v = (long)((src >> sh) & 0xFF) + std::lround(((dst >> sh) & 0xFF) * (255 - a) / 255.0);
        out |= (uint32_t)(v > 255 ? 255 : v) << sh;
    }
    return out;
}

/* ---- byte fixtures ---- */

struct Bytes {
    std::vector<uint8_t> b;
    void i32(int32_t v) { for (int i = 0; i < 4; i++) b.push_back((uint8_t)((uint32_t)v >> (8 * i))); }
    void f32(float f) { uint32_t v; memcpy(&v, &f, 4); i32((int32_t)v); }
    void u8(uint8_t v) { b.push_back(v); }
    void raw(const void *p, size_t n) { b.insert(b.end(), (const uint8_t *)p, (const uint8_t *)p + n); }
    void zeros(size_t n) { b.insert(b.end(), n, 0); }
    void put32(size_t at, int32_t v) { for (int i = 0; i < 4; i++) b[at + i] = (uint8_t)((uint32_t)v >> (8 * i)); }
};

struct Layer {
    int type = 1, width = 0, height = 0, motion = 0, fromX = 0, fromY = 0, toX = 0, toY = 0;
    float duration = 0;
    std::vector<uint8_t> block;
};

/* Straight pixels (0xAARRGGBB, rows top-down) as an image layer's block,
 * rows bottom-up. */
Layer ImageLayer(int x, int y, int w, int h, const std::vector<uint32_t> &px)
{
    Layer l;
    l.type = 1; l.width = w; l.height = h; l.fromX = l.toX = x; l.fromY = l.toY = y;
    Bytes b;
    for (int row = h - 1; row >= 0; row--)
        for (int col = 0; col < w; col++) b.i32((int32_t)px[(size_t)row * w + col]);
    l.block = b.b;
    return l;
}

struct TextStyle {
    const char *face = "Arial";
    int height = -40, escapement = 0, weight = 700;
    int align = 0, textColour = 0x0000FF, outlineColour = 0, outline = 0, shadowType = 0, spacing = 100;
    int depthX = 0, depthY = 0, shadowColour = 0, box = 0, boxOpacity = 0, boxColour = 0;
    int width = 0, quality = 0;   /* LOGFONT width and quality */
};

/* The 112-byte header and the string (length rounded up to 4, plus 4). */
std::vector<uint8_t> TextBlock(const TextStyle &s, const std::string &text)
{
    Bytes b;
    b.i32(s.height); b.i32(s.width); b.i32(s.escapement); b.i32(s.escapement); b.i32(s.weight);
    for (int i = 0; i < 6; i++) b.u8(0);      /* italic .. clip precision */
    b.u8((uint8_t)s.quality); b.u8(0);
    char face[32] = {};
    strncpy(face, s.face, 31);
    b.raw(face, 32);
    REQUIRE(b.b.size() == 60);
    b.i32(s.align); b.i32(s.textColour); b.i32(s.outlineColour); b.i32(s.outline);
    b.i32(s.shadowType); b.i32(s.spacing); b.i32(s.depthX); b.i32(s.depthY); b.i32(s.shadowColour);
    b.i32(s.box); b.i32(s.boxOpacity); b.i32(s.boxColour);
    const int n = (int)((text.size() + 3) / 4 * 4 + 4);
    b.i32(n);
    REQUIRE(b.b.size() == 112);
    b.raw(text.data(), text.size());
    b.zeros(n - text.size());
    return b.b;
}

Layer TextLayer(int x, int y, int w, int h, const TextStyle &s, const std::string &text)
{
    Layer l;
    l.type = 0; l.width = w; l.height = h; l.fromX = l.toX = x; l.fromY = l.toY = y;
    l.block = TextBlock(s, text);
    return l;
}

Layer ClipLayer(const std::string &path)
{
    Layer l;
    l.type = 2; l.width = 320; l.height = 240;
    l.block = TextBlock(TextStyle(), path);
    return l;
}

std::vector<uint8_t> TitleFile(const std::vector<Layer> &layers, int32_t magic = 4737)
{
    Bytes b;
    int32_t total = 0;
    for (const auto &l : layers) total += (int32_t)l.block.size();
    b.i32(magic); b.i32((int32_t)layers.size()); b.i32(total); b.i32(0x5A5A5A5A);
    for (const auto &l : layers) {
        b.i32(l.type); b.i32(l.width); b.i32(l.height); b.i32(l.motion);
        b.i32(l.fromX); b.i32(l.fromY); b.i32(l.toX); b.i32(l.toY); b.f32(l.duration);
        b.i32(0); b.i32(0); b.i32(0); b.i32((int32_t)l.block.size());
    }
    for (const auto &l : layers) b.raw(l.block.data(), l.block.size());
    return b.b;
}

/* A clip frame of runs (pixel, count) as the writer packs them. */
std::vector<uint8_t> Runs(const std::vector<std::pair<uint32_t, int>> &runs)
{
    Bytes b;
    for (const auto &r : runs) { b.i32((int32_t)r.first); b.u8((uint8_t)r.second); }
    return b.b;
}

/* One colour over the whole 320 x 240 frame: 301 runs of 255 and one of 45. */
std::vector<uint8_t> SolidFrame(uint32_t px)
{
    std::vector<std::pair<uint32_t, int>> r(301, {px, 255});
    r.push_back({px, 45});
    return Runs(r);
}

std::vector<uint8_t> CgaFile(int animated, int frameCount, int loops, const std::vector<std::vector<uint8_t>> &frames)
{
    Bytes b;
    const int S = 8;
    const int32_t words[15] = {60, 0x12000, animated, frameCount, 0, 0, 320, 240, 32, 60 + S, loops, 60, 0, 0, S};
    for (int32_t v : words) b.i32(v);
    b.zeros(S);                                /* record data */
    for (const auto &f : frames) { b.i32((int32_t)f.size()); b.raw(f.data(), f.size()); }
    return b.b;
}

void WriteFile(const std::string &path, const std::vector<uint8_t> &bytes)
{
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    REQUIRE(f != INVALID_HANDLE_VALUE);
    DWORD done = 0;
    if (!bytes.empty()) REQUIRE(::WriteFile(f, bytes.data(), (DWORD)bytes.size(), &done, nullptr));
    CloseHandle(f);
}

/* The temporary folder of this test program: its own, so nothing else's
 * title files are in the way. */
std::string TempDir()
{
    static std::string dir;
    if (dir.empty()) {
        char base[MAX_PATH];
        GetTempPathA(MAX_PATH, base);
        dir = std::string(base) + "combiner_test_" + std::to_string(GetCurrentProcessId()) + "\\";
        CreateDirectoryA(dir.c_str(), nullptr);
        SetEnvironmentVariableA("TMP", dir.c_str());
        SetEnvironmentVariableA("TEMP", dir.c_str());
    }
    return dir;
}

std::string ProgrammeFile() { return TempDir() + "~lmTemp.lme"; }
std::string PreviewFile() { return TempDir() + "~lmPrevTemp.LME"; }

/* A target surface of the working size filled with a known picture. */
struct Target {
    EngineSurface *s = nullptr;
    std::vector<uint32_t> base;
    explicit Target(unsigned seed = 7)
    {
        REQUIRE(SUCCEEDED(EngineCreateSurface(g_engine.surfaceFactory, W, H, 0x80000, &s)));
        Reset(seed);
    }
    ~Target() { EngineSurfaceRelease(s); }
    void Reset(unsigned seed = 7)
    {
        base = Picture(W, H, seed, false);
        Put(base);
    }
    void Put(const std::vector<uint32_t> &px)
    {
        EngineRows r;
        REQUIRE(SUCCEEDED(EngineLockRows(s, INFINITE, TRUE, &r)));
        for (int y = 0; y < r.height; y++) memcpy(r.first + (ptrdiff_t)y * r.pitch, &px[(size_t)y * W], W * 4);
        EngineUnlockRows(&r);
    }
    std::vector<uint32_t> Read() const { return ReadSurface(s); }
};

/* base with px (straight, w x h, top-down) blended at (x, y), clipped. */
std::vector<uint32_t> RefImage(std::vector<uint32_t> out, int x, int y, int w, int h, const std::vector<uint32_t> &px)
{
    for (int r = 0; r < h; r++)
        for (int c = 0; c < w; c++) {
            int tx = x + c, ty = y + r;
            if (tx < 0 || ty < 0 || tx >= W || ty >= H) continue;
            uint32_t &d = out[(size_t)ty * W + tx];
            d = RefOver(d, RefPremultiply(px[(size_t)r * w + c]));
        }
    return out;
}

/* Pixels with every kind of alpha: 0, 255 and values between. */
std::vector<uint32_t> LayerPixels(int w, int h)
{
    std::vector<uint32_t> px((size_t)w * h);
    static const uint32_t alphas[] = {0, 255, 1, 128, 200, 254, 77};
    for (int i = 0; i < w * h; i++)
        px[i] = (alphas[i % 7] << 24) | ((uint32_t)(i * 2654435761u) & 0xFFFFFF);
    return px;
}

int LoadProgrammeFile(const std::vector<uint8_t> &bytes)
{
    WriteFile(ProgrammeFile(), bytes);
    return g_combiner.LoadProgramme();
}

size_t Differences(const std::vector<uint32_t> &a, const std::vector<uint32_t> &b)
{
    size_t n = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); i++) n += a[i] != b[i];
    return n + (a.size() > b.size() ? a.size() - b.size() : b.size() - a.size());
}

/* The engine started with its clock stopped (the tests draw themselves). */
struct Engine {
    EngineHost host;
    Engine() { TempDir(); g_transformer.Stop(); }
};

}  // namespace

TEST_CASE("Title export records keep their byte layout", "[combiner][format]")
{
    CHECK(sizeof(TitleExportHeader) == 16);
    CHECK(sizeof(TitleLayerRecord) == 52);
    CHECK(sizeof(TextLayerHeader) == 112);
    CHECK(sizeof(CgaFileHeader) == 60);
    CHECK(sizeof(CgaRunRecord) == 5);
    const std::vector<std::pair<size_t, size_t>> offsets = {
        {offsetof(TitleLayerRecord, motion), 12}, {offsetof(TitleLayerRecord, toY), 28},
        {offsetof(TitleLayerRecord, duration), 32}, {offsetof(TitleLayerRecord, dataLength), 48},
        {offsetof(TextLayerHeader, alignment), 60}, {offsetof(TextLayerHeader, shadowType), 76},
        {offsetof(TextLayerHeader, boxColour), 104}, {offsetof(TextLayerHeader, stringLength), 108},
        {offsetof(CgaFileHeader, firstFrame), 36}, {offsetof(CgaFileHeader, loopCount), 40},
        {offsetof(CgaFileHeader, recordSize), 56}};
    for (const auto &o : offsets) CHECK(o.first == o.second);
}

TEST_CASE("Premultiplying rounds every colour byte to nearest and clears alpha 0", "[combiner][format]")
{
    std::vector<uint32_t> px;
    for (uint32_t a = 0; a < 256; a++)
        for (uint32_t c = 0; c < 256; c += 3) px.push_back((a << 24) | (c << 16) | ((255 - c) << 8) | (c ^ 0x5A));
    std::vector<uint32_t> got = px;
    TitlePremultiply(reinterpret_cast<uint8_t *>(got.data()), got.size());
    size_t wrong = 0;
    for (size_t i = 0; i < px.size(); i++) wrong += got[i] != RefPremultiply(px[i]);
    CHECK(wrong == 0);
}

TEST_CASE("A title export file parses into layers and its data blocks", "[combiner][format]")
{
    TextStyle soft;
    soft.shadowType = 3;
    Layer text = TextLayer(5, 6, 4, 2, soft, "Abcd");
    Bytes mask;
    for (int i = 0; i < 8; i++) mask.i32(0x80102030);
    text.block.insert(text.block.end(), mask.b.begin(), mask.b.end());
    auto bytes = TitleFile({ImageLayer(1, 2, 3, 1, {0xFF112233, 0x00FFFFFF, 0x80FF0000}), text, ClipLayer("c:\\x.cga")});
    TitleData t;
    REQUIRE(ParseTitleExport(bytes.data(), bytes.size(), &t) == TITLE_OK);
    REQUIRE(t.layers.size() == 3);
    CHECK(t.header.total == (int32_t)(12 + 112 + 8 + 32 + 112 + 12));
    CHECK(t.layers[1].string == "Abcd");
    CHECK(t.layers[1].text.stringLength == 8);
    CHECK(t.layers[2].string == "c:\\x.cga");
    CHECK_FALSE(t.layers[2].hasPixels);
    const uint32_t *img = reinterpret_cast<const uint32_t *>(t.data.data() + t.layers[0].pixelOffset);
    CHECK(img[0] == 0xFF112233u);
    CHECK(img[1] == 0u);
    CHECK(img[2] == RefPremultiply(0x80FF0000));
    const uint32_t *m = reinterpret_cast<const uint32_t *>(t.data.data() + t.layers[1].pixelOffset);
    CHECK(m[0] == RefPremultiply(0x80102030));

    /* An empty page: 16 bytes, nothing to draw. */
    auto empty = TitleFile({});
    CHECK(empty.size() == 16);
    REQUIRE(ParseTitleExport(empty.data(), empty.size(), &t) == TITLE_OK);
    CHECK(t.layers.empty());
}

TEST_CASE("Bad title export files are refused whole", "[combiner][format][bad]")
{
    auto good = TitleFile({ImageLayer(0, 0, 2, 2, LayerPixels(2, 2)), TextLayer(0, 0, 10, 10, TextStyle(), "Hi")});
    struct Case { const char *name; std::vector<uint8_t> bytes; TitleParseResult expect; };
    std::vector<Case> cases;
    cases.push_back({"shorter than a header", std::vector<uint8_t>(good.begin(), good.begin() + 10), TITLE_SHORT});
    auto magic = good; magic[0] = 0x82;
    cases.push_back({"wrong magic", magic, TITLE_BAD_MAGIC});
    cases.push_back({"truncated data", std::vector<uint8_t>(good.begin(), good.end() - 1), TITLE_BAD_COUNTS});
    auto count = good; Bytes c{count}; c.put32(4, 0x7FFFFFFF);
    cases.push_back({"count past the end", c.b, TITLE_BAD_COUNTS});
    Bytes neg{good}; neg.put32(4, -1);
    cases.push_back({"negative count", neg.b, TITLE_BAD_COUNTS});
    Bytes total{good}; total.put32(8, 0x40000000);
    cases.push_back({"total past the end", total.b, TITLE_BAD_COUNTS});
    Bytes len{good}; len.put32(16 + 48, 1000);
    cases.push_back({"block past the total", len.b, TITLE_BAD_LAYER});
    Bytes big{good}; big.put32(16 + 4, 100000); big.put32(16 + 8, 100000);
    cases.push_back({"image larger than its block", big.b, TITLE_BAD_LAYER});
    Bytes negw{good}; negw.put32(16 + 4, -2);
    cases.push_back({"negative width", negw.b, TITLE_BAD_LAYER});
    Bytes str{good}; str.put32(16 + 52 * 2 + 16 + 108, 5000);
    cases.push_back({"string past its block", str.b, TITLE_BAD_LAYER});
    Bytes shortText{good}; shortText.put32(16 + 52 + 48, 50); shortText.put32(8, 16 + 50);
    cases.push_back({"text block shorter than its header", shortText.b, TITLE_BAD_LAYER});
    Bytes soft{good}; soft.put32(16 + 52 * 2 + 16 + 76, 3);
    cases.push_back({"soft shadow without its mask", soft.b, TITLE_BAD_LAYER});

    for (const auto &k : cases) {
        INFO(k.name);
        TitleData t;
        CHECK(ParseTitleExport(k.bytes.data(), k.bytes.size(), &t) == k.expect);
        CHECK(t.layers.empty());
        CHECK(t.data.empty());
    }
}

TEST_CASE("Image layers blend their premultiplied pixels over the target, clipped", "[combiner][draw]")
{
    Engine e;
    MsgBoxCapture boxes;
    Target t;
    const int lw = 9, lh = 7;
    auto px = LayerPixels(lw, lh);
    struct Pos { int x, y; };
    const Pos table[] = {{10, 20}, {-4, -3}, {W - 5, H - 2}, {W - lw, H - lh}, {W, 10}, {-lw, 0}, {50, H}};
    for (const auto &p : table) {
        INFO("at " << p.x << "," << p.y);
        REQUIRE(LoadProgrammeFile(TitleFile({ImageLayer(p.x, p.y, lw, lh, px)})) == 0);
        t.Reset();
        CHECK(g_combiner.DrawProgramme(t.s) == S_OK);
        CHECK(Differences(t.Read(), RefImage(t.base, p.x, p.y, lw, lh, px)) == 0);
    }
    /* The block's first row is the picture's bottom row. */
    std::vector<uint32_t> two = {0xFFFF0000, 0xFF0000FF};   /* red on top, blue below */
    REQUIRE(LoadProgrammeFile(TitleFile({ImageLayer(3, 4, 1, 2, two)})) == 0);
    t.Reset();
    g_combiner.DrawProgramme(t.s);
    auto got = t.Read();
    CHECK(got[4 * W + 3] == 0xFFFF0000u);
    CHECK(got[5 * W + 3] == 0xFF0000FFu);
    CHECK(boxes.count() == 0);
}

TEST_CASE("Blocks with empty rows and clear margins draw as a whole block would, clipped", "[combiner][draw]")
{
    /* The draw reads each block row only between its first and last pixel
     * that holds anything: rows of nothing, clear margins of every width and
     * single pixels, at positions that clip every side.  An image leaves the
     * clear pixels alone; a soft shadow still makes its whole rectangle
     * opaque. */
    Engine e;
    MsgBoxCapture boxes;
    Target t;
    const int lw = 23, lh = 11;
    std::vector<uint32_t> px = LayerPixels(lw, lh);
    const int spans[lh][2] = {{0, 0}, {0, 0}, {0, 23}, {5, 6}, {1, 22}, {0, 0}, {9, 23}, {0, 14}, {22, 23}, {3, 19}, {0, 0}};
    for (int r = 0; r < lh; r++)
        for (int c = 0; c < lw; c++) {
            uint32_t &p = px[(size_t)r * lw + c];
            if (c < spans[r][0] || c >= spans[r][1]) p = 0;
            else if (c == spans[r][0] || c == spans[r][1] - 1) p |= 0x01000000u;   /* ends that hold something */
        }
    struct Pos { int x, y; };
    const Pos table[] = {{10, 20}, {-7, -3}, {W - 12, H - 4}, {-4, H - 6}, {W - lw, 0}, {W, 10}, {5, -lh}};
    for (const auto &p : table) {
        INFO("at " << p.x << "," << p.y);
        REQUIRE(LoadProgrammeFile(TitleFile({ImageLayer(p.x, p.y, lw, lh, px)})) == 0);
        t.Reset();
        CHECK(g_combiner.DrawProgramme(t.s) == S_OK);
        CHECK(Differences(t.Read(), RefImage(t.base, p.x, p.y, lw, lh, px)) == 0);

        TextStyle s;
        s.shadowType = 3; s.depthX = 2; s.depthY = 1;
        Layer l = TextLayer(p.x - 2, p.y - 1, lw, lh, s, "");
        Bytes m;
        for (int row = lh - 1; row >= 0; row--) for (int c = 0; c < lw; c++) m.i32((int32_t)px[(size_t)row * lw + c]);
        l.block.insert(l.block.end(), m.b.begin(), m.b.end());
        REQUIRE(LoadProgrammeFile(TitleFile({l})) == 0);
        t.Reset();
        CHECK(g_combiner.DrawProgramme(t.s) == S_OK);
        auto want = RefImage(t.base, p.x, p.y, lw, lh, px);
        for (int py = (std::max)(p.y, 0); py < (std::min)(p.y + lh, H); py++)
            for (int pxx = (std::max)(p.x, 0); pxx < (std::min)(p.x + lw, W); pxx++) want[(size_t)py * W + pxx] |= 0xFF000000u;
        CHECK(Differences(t.Read(), want) == 0);
    }
    CHECK(boxes.count() == 0);
}

TEST_CASE("Moving layers step from their start to their end in duration x 30 draws", "[combiner][motion]")
{
    TitleLayerRecord r = {};
    r.motion = 1; r.fromX = 10; r.fromY = 100; r.toX = 70; r.toY = 40; r.duration = 2.0f;
    int32_t s = 0;
    int x, y;
    std::vector<std::pair<int, int>> seen;
    for (int i = 0; i < 62; i++) { TitleLayerPosition(r, &s, &x, &y); seen.push_back({x, y}); }
    CHECK(seen[0] == std::make_pair(10, 100));
    CHECK(seen[30] == std::make_pair(40, 70));
    CHECK(seen[59] == std::make_pair(10 + 59 * 60 / 60, 100 - 59));
    CHECK(seen[60] == std::make_pair(70, 40));
    CHECK(seen[61] == std::make_pair(70, 40));
    CHECK(s == -1);

    /* Still layers stand at from; a duration that is no positive number
     * ends at once. */
    struct Case { int motion; float duration; int x, y; };
    const Case cases[] = {{0, 2.0f, 10, 100}, {1, 0.0f, 70, 40}, {1, -1.0f, 70, 40}, {1, NAN, 70, 40}, {1, INFINITY, 70, 40}};
    for (const auto &c : cases) {
        r.motion = c.motion; r.duration = c.duration; s = 0;
        TitleLayerPosition(r, &s, &x, &y);
        CHECK(std::make_pair(x, y) == std::make_pair(c.x, c.y));
    }
}

TEST_CASE("A moving image layer advances one step per draw and then stays", "[combiner][motion]")
{
    Engine e;
    MsgBoxCapture boxes;
    Target t;
    Layer l = ImageLayer(0, 0, 1, 1, {0xFFFFFFFF});
    l.motion = 1; l.fromX = 0; l.fromY = 10; l.toX = 30; l.toY = 10; l.duration = 1.0f;  /* 30 draws */
    REQUIRE(LoadProgrammeFile(TitleFile({l})) == 0);
    auto whereIsWhite = [&]() {
        t.Put(std::vector<uint32_t>((size_t)W * H, 0xFF000000u));
        g_combiner.DrawProgramme(t.s);
        auto px = t.Read();
        for (int x = 0; x < W; x++) if (px[10 * W + x] == 0xFFFFFFFFu) return x;
        return -1;
    };
    for (int i = 0; i < 30; i++) CHECK(whereIsWhite() == i);
    CHECK(whereIsWhite() == 30);
    CHECK(g_combiner.slots[COMBINER_PROGRAMME].counters[0] == -1);
    CHECK(whereIsWhite() == 30);
    /* A new load starts the motion again. */
    REQUIRE(g_combiner.LoadProgramme() == 0);
    CHECK(whereIsWhite() == 0);
}

TEST_CASE("Text layers draw their box, soft shadow and text inside their rectangle", "[combiner][text]")
{
    Engine e;
    MsgBoxCapture boxes;
    Target t;
    const std::vector<uint32_t> black((size_t)W * H, 0xFF000000u);
    const int x = 40, y = 50, w = 200, h = 80;
    auto inside = [&](int px, int py) { return px >= x && px < x + w && py >= y && py < y + h; };

    SECTION("box and text")
    {
        TextStyle s;
        s.box = 1; s.boxOpacity = 100; s.boxColour = 0x00404040; s.textColour = 0x0000FF;  /* red */
        REQUIRE(LoadProgrammeFile(TitleFile({TextLayer(x, y, w, h, s, "Title\r\nTwo")})) == 0);
        t.Put(black);
        CHECK(g_combiner.DrawProgramme(t.s) == S_OK);
        auto px = t.Read();
        size_t red = 0, outside = 0, redLower = 0, mixed = 0;
        for (int py = 0; py < H; py++)
            for (int pxx = 0; pxx < W; pxx++) {
                uint32_t v = px[(size_t)py * W + pxx] & 0xFFFFFF;
                if (!inside(pxx, py)) { outside += v != 0; continue; }
                if ((v & 0xFF0000) > 0x800000 && (v & 0xFF) < 0x40) { red++; if (py > y + h / 2) redLower++; }
                /* Inside the box every pixel is the box grey, the text red
                 * or an edge pixel between the two (smoothing blends with a
                 * gamma, so only the direction is fixed): green and blue
                 * equal and below the grey exactly where red is above it. */
                const int r = (int)(v >> 16), g = (int)((v >> 8) & 0xFF), b = (int)(v & 0xFF);
                if (g != b || g > 0x40 || r < 0x40 || (g == 0x40) != (r == 0x40)) mixed++;
            }
        CHECK(outside == 0);
        CHECK(mixed == 0);
        CHECK(red > 50);
        CHECK(redLower > 10);                           /* the second line is drawn below */
        CHECK((px[(size_t)(y + 1) * W + x + w - 2]) == 0xFF404040u);   /* box corner, opaque */
    }
    SECTION("a box at half opacity over a picture, an empty string draws only the box")
    {
        TextStyle s;
        s.box = 1; s.boxOpacity = 50; s.boxColour = 0x00FF8000;   /* blue 0xFF, green 0x80 */
        REQUIRE(LoadProgrammeFile(TitleFile({TextLayer(-10, -10, 30, 20, s, "")})) == 0);
        t.Reset();
        g_combiner.DrawProgramme(t.s);
        auto got = t.Read();
        const uint32_t a = 50 * 255 / 100;
        const uint32_t box = RefPremultiply((a << 24) | 0x0080FF);
        auto want = t.base;
        for (int py = 0; py < 10; py++)
            for (int pxx = 0; pxx < 20; pxx++) {
                uint32_t &d = want[(size_t)py * W + pxx];
                d = RefOver(d, box) | 0xFF000000u;
            }
        CHECK(Differences(got, want) == 0);
    }
    SECTION("soft shadow mask at its depth, made opaque")
    {
        TextStyle s;
        s.shadowType = 3; s.depthX = 3; s.depthY = 2; s.shadowColour = 0x00FF00;
        Layer l = TextLayer(100, 100, 4, 3, s, "");
        std::vector<uint32_t> mask(12);
        for (int i = 0; i < 12; i++) mask[i] = ((uint32_t)(i * 20) << 24) | 0x00FF00;
        Bytes m;
        for (int row = 2; row >= 0; row--) for (int c = 0; c < 4; c++) m.i32((int32_t)mask[row * 4 + c]);
        l.block.insert(l.block.end(), m.b.begin(), m.b.end());
        REQUIRE(LoadProgrammeFile(TitleFile({l})) == 0);
        t.Reset();
        g_combiner.DrawProgramme(t.s);
        auto want = RefImage(t.base, 103, 102, 4, 3, mask);
        for (int py = 102; py < 105; py++) for (int pxx = 103; pxx < 107; pxx++) want[(size_t)py * W + pxx] |= 0xFF000000u;
        CHECK(Differences(t.Read(), want) == 0);
    }
    SECTION("outline and hard shadow in their colours around the text")
    {
        TextStyle s;
        s.textColour = 0xFFFFFF; s.outline = 2; s.outlineColour = 0x0000FF; s.shadowType = 2;
        s.depthX = 6; s.depthY = 6; s.shadowColour = 0x00FF00;
        REQUIRE(LoadProgrammeFile(TitleFile({TextLayer(x, y, w, h, s, "WM")})) == 0);
        t.Put(black);
        g_combiner.DrawProgramme(t.s);
        auto px = t.Read();
        size_t white = 0, red = 0, green = 0, outside = 0;
        /* Each copy is clipped to the rectangle moved by its own offset. */
        auto reach = [&](int px, int py) { return px >= x - 2 && px < x + w + 6 && py >= y - 2 && py < y + h + 6; };
        for (int py = 0; py < H; py++)
            for (int pxx = 0; pxx < W; pxx++) {
                uint32_t v = px[(size_t)py * W + pxx] & 0xFFFFFF;
                if (!reach(pxx, py)) { outside += v != 0; continue; }
                white += v == 0xFFFFFF; red += v == 0xFF0000; green += v == 0x00FF00;
            }
        CHECK(outside == 0);
        CHECK(white > 20);
        CHECK(red > 20);
        CHECK(green > 20);
    }
    CHECK(boxes.count() == 0);
}

namespace {
/* The box around the pixels of one colour after drawing a text layer on
 * black: left, top, right, bottom (exclusive); all -1 when none. */
struct Ink { int left = -1, top = -1, right = -1, bottom = -1; size_t count = 0; };

Ink DrawInk(Target &t, const Layer &l)
{
    REQUIRE(LoadProgrammeFile(TitleFile({l})) == 0);
    t.Put(std::vector<uint32_t>((size_t)W * H, 0xFF000000u));
    REQUIRE(g_combiner.DrawProgramme(t.s) == S_OK);
    auto px = t.Read();
    Ink k;
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++)
            if (px[(size_t)y * W + x] & 0xFFFFFF) {
                if (!k.count++) { k.left = x; k.top = y; k.right = x + 1; k.bottom = y + 1; }
                k.left = (std::min)(k.left, x); k.top = (std::min)(k.top, y);
                k.right = (std::max)(k.right, x + 1); k.bottom = (std::max)(k.bottom, y + 1);
            }
    return k;
}
}  // namespace

TEST_CASE("A target held by another thread ends the pass with the lock's error", "[combiner][draw]")
{
    Engine e;
    MsgBoxCapture boxes;
    Target t;
    TextStyle st;
    st.box = 1; st.boxOpacity = 100;
    REQUIRE(LoadProgrammeFile(TitleFile({ImageLayer(0, 0, 4, 4, LayerPixels(4, 4)),
                                         TextLayer(10, 10, 50, 20, st, "x")})) == 0);
    struct Hold {
        EngineSurface *s;
        HANDLE locked = CreateEventW(nullptr, TRUE, FALSE, nullptr), release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        static DWORD WINAPI Run(void *p)
        {
            auto *h = static_cast<Hold *>(p);
            EngineRows r;
            if (SUCCEEDED(EngineLockRows(h->s, INFINITE, TRUE, &r))) {
                SetEvent(h->locked);
                WaitForSingleObject(h->release, INFINITE);
                EngineUnlockRows(&r);
            }
            return 0;
        }
    } hold{t.s};
    HANDLE th = CreateThread(nullptr, 0, Hold::Run, &hold, 0, nullptr);
    REQUIRE(WaitForSingleObject(hold.locked, 5000) == WAIT_OBJECT_0);
    DWORD begin = GetTickCount();
    HRESULT hr = g_combiner.DrawProgramme(t.s);
    DWORD took = GetTickCount() - begin;
    CHECK(FAILED(hr));
    CHECK(took >= 25);
    CHECK(took < 1000);
    SetEvent(hold.release);
    WaitForSingleObject(th, INFINITE);
    CloseHandle(th);
    CloseHandle(hold.locked);
    CloseHandle(hold.release);
    CHECK(t.Read() == t.base);
    /* The next pass draws everything. */
    CHECK(g_combiner.DrawProgramme(t.s) == S_OK);
    CHECK(t.Read()[(size_t)15 * W + 30] == 0xFF000000u);   /* black box */
}

TEST_CASE("A text layer learnt at load draws what its GDI passes draw, on any picture and anywhere",
          "[combiner][text]")
{
    /* The coverage is learnt once and replayed on every draw: held word
     * for word to the layer's passes drawn with GDI over the same picture,
     * for every kind of pass, vertical text, positions that clip each edge,
     * a moving layer and other pictures under it.  Smoothed text and styles
     * that are not learnt are drawn with GDI, and must match as well. */
    Engine e;
    MsgBoxCapture boxes;
    Target t, ref;
    struct Case {
        const char *name;
        int quality, escapement, shadowType, depthX, depthY, outline, align, spacing, underline;
        bool learnt;
    };
    const Case cases[] = {
        {"plain text", NONANTIALIASED_QUALITY, 0, 0, 0, 0, 0, 0, 100, 0, true},
        {"single shadow up and left, outline 2, centred", NONANTIALIASED_QUALITY, 0, 1, -6, -4, 2, 1, 120, 0, true},
        {"solid shadow, right aligned, tight lines", NONANTIALIASED_QUALITY, 0, 2, 7, 5, 1, 2, 60, 0, true},
        {"vertical with an outline: drawn each time", NONANTIALIASED_QUALITY, -900, 0, 0, 0, 1, 1, 100, 0, false},
        {"negative spacing: drawn each time", NONANTIALIASED_QUALITY, 0, 1, 3, 3, 0, 0, -80, 0, false},
        {"underlined: drawn each time", NONANTIALIASED_QUALITY, 0, 0, 0, 0, 0, 0, 100, 1, false},
        {"default quality", 0, 0, 1, 2, 2, 1, 0, 100, 0, false},
    };
    struct Pos { int x, y; };
    const Pos places[] = {{40, 50}, {-30, -12}, {W - 90, H - 40}};
    for (const Case &c : cases) {
        TextStyle s;
        s.height = -30; s.quality = c.quality; s.escapement = c.escapement; s.align = c.align; s.spacing = c.spacing;
        s.textColour = 0x20E0FF; s.outline = c.outline; s.outlineColour = 0x802000;
        s.shadowType = c.shadowType; s.depthX = c.depthX; s.depthY = c.depthY; s.shadowColour = 0x00A040;
        for (const Pos &p : places) {
            INFO(c.name << " at " << p.x << "," << p.y);
            Layer l = TextLayer(p.x, p.y, 160, 110, s, "Evening\r\nNews");
            if (c.underline) l.block[21] = 1;   /* the font's underline byte */
            REQUIRE(LoadProgrammeFile(TitleFile({l})) == 0);
            const TitleSlot &slot = g_combiner.slots[COMBINER_PROGRAMME];
            REQUIRE(slot.text.size() == 1);
            if (c.learnt) CHECK(slot.text[0].exact);
            if (!c.learnt && c.quality == NONANTIALIASED_QUALITY) CHECK_FALSE(slot.text[0].exact);
            for (unsigned seed : {7u, 99u}) {
                t.Reset(seed);
                ref.Reset(seed);
                CHECK(g_combiner.DrawProgramme(t.s) == S_OK);
                CHECK(g_combiner.DrawText(slot.title.layers[0], p.x, p.y, ref.s) == S_OK);
                size_t ink = 0;
                const auto got = t.Read(), want = ref.Read();
                for (size_t i = 0; i < want.size(); i++) ink += want[i] != ref.base[i];
                if (&p == &places[0]) CHECK(ink > 100);
                CHECK(Differences(got, want) == 0);
            }
        }
    }
    /* A moving layer: the learnt text goes along, clipped at the edge. */
    TextStyle s;
    s.height = -30; s.quality = NONANTIALIASED_QUALITY; s.outline = 1; s.outlineColour = 0xFF;
    Layer l = TextLayer(W - 100, 20, 160, 60, s, "Moving");
    l.motion = 1; l.toX = -40; l.toY = H - 30; l.duration = 1.0f / 30 * 4;
    REQUIRE(LoadProgrammeFile(TitleFile({l})) == 0);
    const TitleSlot &slot = g_combiner.slots[COMBINER_PROGRAMME];
    CHECK(slot.text[0].exact);
    for (int step = 0; step < 6; step++) {
        INFO("step " << step);
        TitleLayerRecord r = slot.title.layers[0].rec;
        int32_t counter = slot.counters[0];
        int x, y;
        TitleLayerPosition(r, &counter, &x, &y);
        t.Reset();
        ref.Reset();
        CHECK(g_combiner.DrawProgramme(t.s) == S_OK);
        CHECK(g_combiner.DrawText(slot.title.layers[0], x, y, ref.s) == S_OK);
        CHECK(Differences(t.Read(), ref.Read()) == 0);
    }
    CHECK(boxes.count() == 0);
}

TEST_CASE("Text lines follow the alignment, the line spacing and vertical fonts", "[combiner][text]")
{
    Engine e;
    MsgBoxCapture boxes;
    Target t;
    const int x = 20, y = 30, w = 280, h = 180;
    TextStyle s;
    s.textColour = 0xFFFFFF;
    s.height = -24;

    /* Alignment: where the ink of one short line sits across the rectangle. */
    Ink at[3];
    for (int a = 0; a < 3; a++) {
        s.align = a;
        at[a] = DrawInk(t, TextLayer(x, y, w, h, s, "Ab"));
        REQUIRE(at[a].count > 0);
        CHECK(at[a].left >= x);
        CHECK(at[a].right <= x + w);
    }
    CHECK(at[0].left < x + 10);
    CHECK(std::abs((at[1].left + at[1].right) / 2 - (x + w / 2)) <= 3);
    CHECK(at[2].right > x + w - 10);

    /* Line spacing in percent of the line height: the second line's ink
     * moves down by the extra spacing. */
    s.align = 0;
    Ink one = DrawInk(t, TextLayer(x, y, w, h, s, "_"));
    Ink lines100 = DrawInk(t, TextLayer(x, y, w, h, s, "_\r\n_"));
    s.spacing = 200;
    Ink lines200 = DrawInk(t, TextLayer(x, y, w, h, s, "_\r\n_"));
    const int line = lines100.bottom - one.bottom;
    CHECK(line > 10);
    CHECK(std::abs((lines200.bottom - one.bottom) - 2 * line) <= 2);

    /* A font turned a quarter clockwise lays its line down a column at the
     * rectangle's right edge: taller than wide. */
    s.spacing = 100;
    s.escapement = -900;
    Ink vert = DrawInk(t, TextLayer(x, y, w, h, s, "Vertical"));
    REQUIRE(vert.count > 0);
    CHECK(vert.bottom - vert.top > 2 * (vert.right - vert.left));
    CHECK(vert.right > x + w - 40);
    CHECK(vert.right <= x + w);
    CHECK(boxes.count() == 0);
}

TEST_CASE("A preview surface that cannot be made is reported", "[combiner][init]")
{
    Engine e;
    {
        MsgBoxCapture boxes;
        CHECK(FAILED(g_combiner.Init(0, 0)));
        REQUIRE(boxes.count() == 1);
        CHECK(boxes.boxes()[0].text == "Failed to create Output DXSurface!");
        CHECK(g_combiner.preview == nullptr);
    }
    MsgBoxCapture boxes;
    CHECK(g_combiner.Init(W, H) == S_OK);
    CHECK(g_combiner.preview != nullptr);
    CHECK(g_transformer.drawTitles == &CDXSurfCombiner::DrawProgrammeHook);
    CHECK(boxes.count() == 0);
}

TEST_CASE("Loading refuses bad title files with the message and leaves the slot empty", "[combiner][bad]")
{
    Engine e;
    Target t;
    auto good = TitleFile({ImageLayer(0, 0, 4, 4, LayerPixels(4, 4))});
    struct Case { const char *name; int slot; bool missing; std::vector<uint8_t> bytes; int result; const char *text; };
    auto magic = good; magic[1] = 0;
    auto truncated = std::vector<uint8_t>(good.begin(), good.begin() + 40);
    Bytes huge{good}; huge.put32(4, 0x7FFFFFFF);
    const std::vector<Case> cases = {
        {"programme file missing", COMBINER_PROGRAMME, true, {}, 0, "Failed to read a LMExported Image"},
        {"preview file missing", COMBINER_PREVIEW, true, {}, 0, "Failed to read a LMExported Image"},
        {"programme wrong magic", COMBINER_PROGRAMME, false, magic, -1, "Failed to read a LMExported Image"},
        {"preview wrong magic", COMBINER_PREVIEW, false, magic, -1, "Failed to read a Exported Image"},
        {"empty file", COMBINER_PROGRAMME, false, {}, -1, "Failed to read a LMExported Image"},
        {"truncated records", COMBINER_PREVIEW, false, truncated, -1, "Failed to read a Exported Image"},
        {"count larger than the file", COMBINER_PROGRAMME, false, huge.b, -1, "Failed to read a LMExported Image"},
    };
    for (const auto &c : cases) {
        INFO(c.name);
        const std::string path = c.slot == COMBINER_PREVIEW ? PreviewFile() : ProgrammeFile();
        WriteFile(path, good);
        {
            MsgBoxCapture boxes;
            REQUIRE(g_combiner.LoadTitle(c.slot) == 0);
            CHECK(boxes.count() == 0);
        }
        if (c.missing) DeleteFileA(path.c_str());
        else WriteFile(path, c.bytes);
        MsgBoxCapture boxes;
        CHECK(g_combiner.LoadTitle(c.slot) == c.result);
        REQUIRE(boxes.count() == 1);
        CHECK(boxes.boxes()[0].text == c.text);
        CHECK(boxes.boxes()[0].caption == "err");
        t.Reset();
        CHECK(g_combiner.DrawTitles(c.slot, t.s) == S_OK);
        CHECK(t.Read() == t.base);          /* the old title is gone too */
    }
}

TEST_CASE("PreviewTitle reloads the preview slot and draws it onto the preview surface", "[combiner][preview]")
{
    Engine e;
    MsgBoxCapture boxes;
    auto px = LayerPixels(6, 5);
    for (auto &p : px) p |= 0xFF000000u;           /* opaque, so the DC copy shows it exactly */
    Layer l = ImageLayer(0, 0, 6, 5, px);
    l.motion = 1; l.fromX = 0; l.fromY = 0; l.toX = 100; l.toY = 0; l.duration = 1.0f;
    WriteFile(PreviewFile(), TitleFile({l}));
    WriteFile(ProgrammeFile(), TitleFile({ImageLayer(0, 0, 1, 1, {0xFFFFFFFF})}));
    REQUIRE(g_combiner.LoadProgramme() == 0);

    HDC dc = CreateCompatibleDC(nullptr);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = W; bi.bmiHeader.biHeight = -H; bi.bmiHeader.biPlanes = 1; bi.bmiHeader.biBitCount = 32;
    uint32_t *bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, reinterpret_cast<void **>(&bits), nullptr, 0);
    HGDIOBJ old = SelectObject(dc, dib);

    for (int call = 0; call < 3; call++) {
        PreviewTitle(dc, call == 0);
        GdiFlush();
        CHECK(g_engine.titlePreview == 1);
        const int x0 = call * 100 / 30;             /* one step per call */
        for (int r = 0; r < 5; r++)
            for (int c = 0; c < 6; c++) CHECK((bits[(size_t)r * W + x0 + c] & 0xFFFFFF) == (px[(size_t)r * 6 + c] & 0xFFFFFF));
        CHECK((bits[(size_t)100 * W + 200] & 0xFFFFFF) == 0u);   /* cleared */
    }
    /* The programme slot was not touched. */
    CHECK(g_combiner.slots[COMBINER_PROGRAMME].title.layers.size() == 1);
    CHECK(g_combiner.slots[COMBINER_PREVIEW].counters[0] == 3);
    CHECK(g_combiner.lastSlot == COMBINER_PREVIEW);
    SelectObject(dc, old);
    DeleteObject(dib);
    DeleteDC(dc);
    CHECK(boxes.count() == 0);
}

TEST_CASE("Clip frames expand from their runs and never past the frame", "[combiner][clip][format]")
{
    std::vector<uint32_t> frame(CGA_FRAME_PIXELS, 0xDEADBEEF);
    auto solid = SolidFrame(0x80102030);
    CHECK(solid.size() == 1510);
    CHECK(CgaExpandRuns(solid.data(), solid.size(), frame.data(), frame.size()) == (size_t)CGA_FRAME_PIXELS);
    CHECK(std::count(frame.begin(), frame.end(), 0x80102030u) == CGA_FRAME_PIXELS);

    /* Count 0 adds nothing; a part-run at the end is ignored; the rest is 0. */
    auto runs = Runs({{1, 255}, {2, 0}, {3, 2}});
    runs.push_back(9); runs.push_back(9);
    std::vector<uint32_t> shortFrame(300, 0xDEADBEEF);
    CHECK(CgaExpandRuns(runs.data(), runs.size(), shortFrame.data(), shortFrame.size()) == 257);
    CHECK(shortFrame[254] == 1u);
    CHECK(shortFrame[255] == 3u);
    CHECK(shortFrame[256] == 3u);
    CHECK(shortFrame[257] == 0u);

    /* Runs for more pixels than the frame holds stop at its end. */
    std::vector<uint32_t> guarded(10 + 2, 0xABCDEF01);
    auto many = Runs({{5, 255}, {6, 255}});
    CHECK(CgaExpandRuns(many.data(), many.size(), guarded.data(), 10) == 10);
    CHECK(guarded[10] == 0xABCDEF01u);
    CHECK(guarded[11] == 0xABCDEF01u);
}

TEST_CASE("An animated clip shows a frame per 50 ms tick, loops and ends", "[combiner][clip]")
{
    Engine e;
    MsgBoxCapture boxes;
    Target t;
    const uint32_t colours[3] = {0xFF0000FF, 0x80FF0000, 0xFF00FF00};
    std::vector<std::vector<uint8_t>> frames;
    for (uint32_t c : colours) frames.push_back(SolidFrame(c));
    const std::string clip = TempDir() + "anim.cga";
    auto title = TitleFile({ClipLayer(clip), ImageLayer(0, 0, 1, 1, {0xFFFFFFFF})});
    TitleSlot &s = g_combiner.slots[COMBINER_PROGRAMME];

    auto shown = [&]() {
        t.Reset();
        g_combiner.DrawProgramme(t.s);
        return t.Read()[(size_t)100 * W + 100];
    };
    auto expect = [&](int i) { return RefOver(t.base[(size_t)100 * W + 100], RefPremultiply(colours[i])); };
    auto step = [&]() { s.timer.nextFrame = 1; return shown(); };

    SECTION("loop count 1 plays the frames once, then the clip is gone")
    {
        WriteFile(clip, CgaFile(4, 3, 1, frames));
        REQUIRE(LoadProgrammeFile(title) == 0);
        REQUIRE(s.clipLayer == 0);
        CHECK(s.timer.eventId != 0u);
        s.timer.Stop();                              /* the test gives the ticks */
        CHECK(shown() == t.base[(size_t)100 * W + 100]);     /* nothing before the first tick */
        CHECK(step() == expect(0));
        CHECK(shown() == expect(0));                 /* held until the next tick */
        CHECK(step() == expect(1));
        CHECK(step() == expect(2));
        shown();
        CHECK_FALSE(s.clip);
        CHECK(step() == t.base[(size_t)100 * W + 100]);
        /* The image layer after it is still drawn. */
        CHECK(t.Read()[0] == 0xFFFFFFFFu);
    }
    SECTION("loop count 0 starts again from the first frame for ever")
    {
        WriteFile(clip, CgaFile(4, 3, 0, frames));
        REQUIRE(LoadProgrammeFile(title) == 0);
        s.timer.Stop();
        for (int round = 0; round < 3; round++) {
            for (int i = 0; i < 3; i++) CHECK(step() == expect(i));
            CHECK(shown() == expect(2));             /* the turn: last frame held */
        }
        CHECK(s.clip);
    }
    SECTION("loop count 2 plays twice; a file holding fewer frames than counted ends early")
    {
        WriteFile(clip, CgaFile(4, 5, 2, frames));
        REQUIRE(LoadProgrammeFile(title) == 0);
        s.timer.Stop();
        for (int round = 0; round < 2; round++) {
            for (int i = 0; i < 3; i++) CHECK(step() == expect(i));
            step();                                  /* frame 4 is not in the file */
            shown();
        }
        CHECK_FALSE(s.clip);
    }
    SECTION("the clip timer raises the next-frame flag every 50 ms")
    {
        WriteFile(clip, CgaFile(4, 3, 0, frames));
        REQUIRE(LoadProgrammeFile(title) == 0);
        std::vector<DWORD> changes;
        uint32_t last = 0;
        DWORD start = GetTickCount();
        while (GetTickCount() - start < 600 && changes.size() < 8) {
            uint32_t v = shown();
            if (v != last) { changes.push_back(GetTickCount()); last = v; }
            Sleep(5);
        }
        REQUIRE(changes.size() >= 6);
        const double mean = (double)(changes.back() - changes[1]) / (changes.size() - 2);
        CHECK(mean > 35.0);
        CHECK(mean < 110.0);                     /* generous: a loaded machine wakes late */
    }
    g_combiner.slots[COMBINER_PROGRAMME].timer.Stop();
    CHECK(boxes.count() == 0);
}

TEST_CASE("A still clip is expanded once at load and drawn every time", "[combiner][clip]")
{
    Engine e;
    MsgBoxCapture boxes;
    Target t;
    const std::string clip = TempDir() + "still.cga";
    /* Top half red, bottom half half-transparent blue. */
    auto half = Runs({});
    {
        std::vector<std::pair<uint32_t, int>> r;
        for (int i = 0; i < 38400 / 255; i++) r.push_back({0xFFFF0000, 255});
        r.push_back({0xFFFF0000, 38400 % 255});
        for (int i = 0; i < 38400 / 255; i++) r.push_back({0x400000FF, 255});
        r.push_back({0x400000FF, 38400 % 255});
        half = Runs(r);
    }
    WriteFile(clip, CgaFile(0, 1, 1, {half}));
    REQUIRE(LoadProgrammeFile(TitleFile({ClipLayer(clip)})) == 0);
    CHECK(DeleteFileA(clip.c_str()));              /* the file was closed at load */
    CHECK(g_combiner.slots[COMBINER_PROGRAMME].timer.eventId == 0u);
    for (int i = 0; i < 2; i++) {
        t.Reset();
        g_combiner.DrawProgramme(t.s);
        std::vector<uint32_t> frame((size_t)W * H);
        for (size_t p = 0; p < frame.size(); p++) frame[p] = p < 38400 ? 0xFFFF0000 : 0x400000FF;
        CHECK(Differences(t.Read(), RefImage(t.base, 0, 0, W, H, frame)) == 0);
    }
    CHECK(boxes.count() == 0);
}

TEST_CASE("Bad clip files show their message and the rest of the title still draws", "[combiner][clip][bad]")
{
    Engine e;
    Target t;
    const std::string clip = TempDir() + "bad.cga";
    auto frame = SolidFrame(0xFF00FF00);
    struct Case { const char *name; std::vector<uint8_t> bytes; bool box; };
    auto past = CgaFile(4, 2, 0, {frame});
    { Bytes b{past}; b.put32(60 + 8, 0x7FFFFFF0); past = b.b; }
    auto negative = CgaFile(4, 2, 0, {frame});
    { Bytes b{negative}; b.put32(60 + 8, -5); negative = b.b; }
    auto ragged = CgaFile(4, 1, 0, {std::vector<uint8_t>(frame.begin(), frame.end() - 3)});
    auto firstOut = CgaFile(4, 1, 0, {frame});
    { Bytes b{firstOut}; b.put32(36, 1 << 30); firstOut = b.b; }
    const std::vector<Case> cases = {
        {"missing file", {}, true},
        {"shorter than its header", std::vector<uint8_t>(20, 1), true},
        {"first frame past the end", firstOut, true},
        {"frame count past the end", past, false},
        {"negative frame count", negative, false},
        {"frame of a part-run", ragged, false},
    };
    for (const auto &c : cases) {
        INFO(c.name);
        DeleteFileA(clip.c_str());
        if (!c.bytes.empty()) WriteFile(clip, c.bytes);
        MsgBoxCapture boxes;
        CHECK(LoadProgrammeFile(TitleFile({ClipLayer(clip), ImageLayer(5, 5, 1, 1, {0xFFFFFFFF})})) == 0);
        if (c.box) {
            REQUIRE(boxes.count() == 1);
            CHECK(boxes.boxes()[0].text == "Failed to load CGA File \n " + clip);
            CHECK(boxes.boxes()[0].caption == "CGA Error");
        } else {
            CHECK(boxes.count() == 0);
        }
        g_combiner.slots[COMBINER_PROGRAMME].timer.Stop();
        for (int i = 0; i < 4; i++) {
            g_combiner.slots[COMBINER_PROGRAMME].timer.nextFrame = 1;
            t.Reset();
            g_combiner.DrawProgramme(t.s);
        }
        CHECK(t.Read()[5 * W + 5] == 0xFFFFFFFFu);
        LoadProgrammeFile(TitleFile({}));       /* lets the clip file go */
    }
}

TEST_CASE("With titles on, every tick lays the programme title over the composed frame", "[combiner][clock]")
{
    Engine e;
    MsgBoxCapture boxes;
    SyntheticSource *a = PlaceSynthetic(1), *b = PlaceSynthetic(2);
    auto pa = Picture(W, H, 11, false), pb = Picture(W, H, 12, false);
    a->Put(pa);
    b->Put(pb);
    REQUIRE(SelectChannel(1));
    REQUIRE(SelectChannel(2));
    REQUIRE(g_transformer.drawTitles == &CDXSurfCombiner::DrawProgrammeHook);

    auto img = LayerPixels(12, 8);
    Layer moving = ImageLayer(0, 0, 12, 8, img);
    moving.motion = 1; moving.fromX = 0; moving.fromY = 30; moving.toX = 60; moving.toY = 30; moving.duration = 1.0f;
    WriteFile(ProgrammeFile(), TitleFile({ImageLayer(200, 100, 12, 8, img), moving}));

    g_transformer.tick();
    CHECK(ReadSurface(g_engine.outputSurface) == pa);       /* titles off */
    TitleApply(1, 0, 0);
    CHECK(g_engine.titleOn == 1);
    for (int i = 0; i < 3; i++) {
        g_transformer.tick();
        auto want = RefImage(RefImage(pa, 200, 100, 12, 8, img), i * 60 / 30, 30, 12, 8, img);
        CHECK(Differences(ReadSurface(g_engine.outputSurface), want) == 0);
    }
    TitleApply(0, 0, 0);
    g_transformer.tick();
    CHECK(ReadSurface(g_engine.outputSurface) == pa);
    CHECK(g_combiner.slots[COMBINER_PROGRAMME].title.layers.size() == 2);   /* kept until the next load */
    CHECK(boxes.count() == 0);
}

TEST_CASE("On the running clock a clip plays out and its timer stops from the tick", "[combiner][clock][clip]")
{
    Engine e;
    MsgBoxCapture boxes;
    SyntheticSource *a = PlaceSynthetic(1), *b = PlaceSynthetic(2);
    a->Put(Picture(W, H, 1));
    b->Put(Picture(W, H, 2));
    REQUIRE(SelectChannel(1));
    REQUIRE(SelectChannel(2));
    const std::string clip = TempDir() + "clock.cga";
    WriteFile(clip, CgaFile(4, 4, 1, {SolidFrame(0xFF0000FF), SolidFrame(0xFF00FF00), SolidFrame(0xFFFF0000),
                                      SolidFrame(0x80FFFFFF)}));
    WriteFile(ProgrammeFile(), TitleFile({ClipLayer(clip)}));
    TitleApply(1, 0, 0);
    TitleSlot &s = g_combiner.slots[COMBINER_PROGRAMME];
    REQUIRE(s.timer.eventId != 0u);
    /* Every tick's output seen right after the titles were laid. */
    struct Probe {
        static void Draw(EngineSurface *out)
        {
            CDXSurfCombiner::DrawProgrammeHook(out);
            uint32_t v = ReadSurface(out)[(size_t)120 * W + 160];
            if (seen().empty() || seen().back() != v) seen().push_back(v);
        }
        static std::vector<uint32_t> &seen() { static std::vector<uint32_t> v; return v; }
    };
    Probe::seen().clear();
    g_transformer.drawTitles = Probe::Draw;
    REQUIRE(g_transformer.Start() == 0);
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 3000) {
        EnterCriticalSection(&s.lock);
        bool gone = !s.clip;
        LeaveCriticalSection(&s.lock);
        if (gone) break;
        Sleep(5);
    }
    g_transformer.Stop();
    g_transformer.drawTitles = &CDXSurfCombiner::DrawProgrammeHook;
    const std::vector<uint32_t> seen = Probe::seen();
    TitleApply(0, 0, 0);
    EnterCriticalSection(&s.lock);
    CHECK_FALSE(s.clip);
    CHECK(s.timer.eventId == 0u);
    LeaveCriticalSection(&s.lock);
    CHECK(std::find(seen.begin(), seen.end(), 0xFF0000FFu) != seen.end());
    CHECK(std::find(seen.begin(), seen.end(), 0xFFFF0000u) != seen.end());
    CHECK(boxes.count() == 0);
}

TEST_CASE("Reloading the title while the clock draws it never tears the slot", "[combiner][clock][stress]")
{
    Engine e;
    MsgBoxCapture boxes;
    SyntheticSource *a = PlaceSynthetic(1), *b = PlaceSynthetic(2);
    a->Put(Picture(W, H, 1));
    b->Put(Picture(W, H, 2));
    REQUIRE(SelectChannel(1));
    REQUIRE(SelectChannel(2));
    TextStyle s;
    s.box = 1; s.boxOpacity = 60;
    std::vector<std::vector<uint8_t>> files = {
        TitleFile({ImageLayer(10, 10, 50, 40, LayerPixels(50, 40)), TextLayer(0, 100, 300, 60, s, "Live")}),
        TitleFile({ImageLayer(-20, 200, 400, 60, LayerPixels(400, 60))}),
        TitleFile({}),
    };
    WriteFile(ProgrammeFile(), files[0]);
    TitleApply(1, 0, 0);
    REQUIRE(g_transformer.Start() == 0);
    const unsigned before = g_transformer.ticks;
    for (int i = 0; i < 150; i++) {
        WriteFile(ProgrammeFile(), files[i % files.size()]);
        TitleApply(1, 0, 0);
    }
    Sleep(100);
    g_transformer.Stop();
    CHECK(g_transformer.ticks - before > 2);
    TitleApply(0, 0, 0);
    CHECK(boxes.count() == 0);
}

namespace {
/* The bytes copied to the end of committed memory whose next page is
 * inaccessible: a reader that looks one byte too far faults. */
struct GuardedBytes {
    uint8_t *base = nullptr, *first = nullptr;
    size_t span = 0;
    explicit GuardedBytes(const std::vector<uint8_t> &bytes)
    {
        const size_t page = 4096;
        const size_t body = (bytes.size() + page - 1) / page * page + page;
        span = body + page;
        base = static_cast<uint8_t *>(VirtualAlloc(nullptr, span, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        REQUIRE(base);
        DWORD old;
        REQUIRE(VirtualProtect(base + body, page, PAGE_NOACCESS, &old));
        first = base + body - bytes.size();
        if (!bytes.empty()) memcpy(first, bytes.data(), bytes.size());
    }
    ~GuardedBytes() { VirtualFree(base, 0, MEM_RELEASE); }
};

/* A text layer with a soft shadow whose mask is w x h. */
Layer SoftShadowLayer(int w, int h, const std::vector<uint32_t> &mask)
{
    TextStyle s;
    s.shadowType = 3;
    Layer l = TextLayer(0, 0, w, h, s, "");
    Bytes m;
    for (uint32_t v : mask) m.i32((int32_t)v);
    l.block.insert(l.block.end(), m.b.begin(), m.b.end());
    return l;
}
}  // namespace

TEST_CASE("Sizes whose byte count overflows are refused, and no truncation reads past the file",
          "[combiner][format][bad]")
{
    /* Each fixture holds a small block (16 pixels) and declares a size
     * whose pixel bytes are far more; several products overflow 32 bits
     * and 0x7FFFFFFF x 0x7FFFFFFF x 4 overflows 64 bits. */
    struct Size { int32_t w, h; };
    const Size sizes[] = {{0x7FFFFFFF, 0x7FFFFFFF}, {0x60000000, 0x60000000}, {0x40000000, 4}, {4, 0x40000001},
                          {0x7FFFFFFF, 1}, {0x10000, 0x10000}, {5, 4}};
    for (int kind = 0; kind < 2; kind++)
        for (const Size &z : sizes) {
            INFO((kind ? "soft shadow mask " : "image ") << std::hex << z.w << " x " << z.h);
            Layer l = kind ? SoftShadowLayer(4, 4, LayerPixels(4, 4)) : ImageLayer(0, 0, 4, 4, LayerPixels(4, 4));
            l.width = z.w;
            l.height = z.h;
            const auto bytes = TitleFile({l});
            GuardedBytes g(bytes);
            TitleData t;
            CHECK(ParseTitleExport(g.first, bytes.size(), &t) == TITLE_BAD_LAYER);
            CHECK(t.layers.empty());
        }

    /* Every cut of a good file that holds every kind of block. */
    const auto good = TitleFile({ImageLayer(3, 3, 5, 3, LayerPixels(5, 3)), SoftShadowLayer(3, 2, LayerPixels(3, 2)),
                                 TextLayer(0, 0, 10, 10, TextStyle(), "Cut"), ClipLayer("none.cga")});
    {
        GuardedBytes g(good);
        TitleData t;
        REQUIRE(ParseTitleExport(g.first, good.size(), &t) == TITLE_OK);
        CHECK(t.layers.size() == 4);
    }
    size_t refused = 0;
    for (size_t n = 0; n < good.size(); n++) {
        std::vector<uint8_t> cut(good.begin(), good.begin() + n);
        GuardedBytes g(cut);
        TitleData t;
        refused += ParseTitleExport(g.first, n, &t) != TITLE_OK;
    }
    CHECK(refused == good.size());

    /* Loaded by the combiner: the message, -1, and nothing drawn. */
    Engine e;
    Target target;
    const Size loaded[] = {{0x7FFFFFFF, 0x7FFFFFFF}, {0x60000000, 0x60000000}};
    for (const Size &z : loaded)
        for (int kind = 0; kind < 2; kind++) {
            INFO((kind ? "soft shadow mask " : "image ") << std::hex << z.w << " x " << z.h);
            Layer l = kind ? SoftShadowLayer(4, 4, LayerPixels(4, 4)) : ImageLayer(0, 0, 4, 4, LayerPixels(4, 4));
            l.width = z.w;
            l.height = z.h;
            MsgBoxCapture boxes;
            CHECK(LoadProgrammeFile(TitleFile({l})) == -1);
            REQUIRE(boxes.count() == 1);
            CHECK(boxes.boxes()[0].text == "Failed to read a LMExported Image");
            target.Reset();
            CHECK(g_combiner.DrawProgramme(target.s) == S_OK);
            CHECK(target.Read() == target.base);
        }
}

TEST_CASE("Font sizes are bounded by the output, keeping their sign", "[combiner][text][bad]")
{
    struct Case { int32_t height, width; int outW, outH; LONG wantHeight, wantWidth; };
    const Case cases[] = {
        {-40, 0, 320, 240, -40, 0},
        {-320, 0, 320, 240, -320, 0},
        {-65320, 0, 320, 240, -320, 0},
        {0x10000, 0, 320, 240, 320, 0},
        {-40, (int32_t)0x80000000, 320, 240, -40, -320},
        {(int32_t)0x80000000, 0x7FFFFFFF, 720, 576, -720, 720},
        {-600, 0, 720, 576, -600, 0},
        {0, 0, 0, 0, 0, 0},
    };
    for (const Case &c : cases) {
        INFO(c.height << " x " << c.width << " on " << c.outW << " x " << c.outH);
        LONG h = 1, w = 1;
        TitleFontBounds(c.height, c.width, c.outW, c.outH, &h, &w);
        CHECK(h == c.wantHeight);
        CHECK(w == c.wantWidth);
    }

    /* Layers with such fonts draw (in moments: unbounded, one of them took
     * minutes and gigabytes) and ink stays inside their rectangles. */
    Engine e;
    MsgBoxCapture boxes;
    Target t;
    struct Font { int32_t height, width; };
    const Font fonts[] = {{-65320, 0}, {0x10000, 0}, {-40, (int32_t)0x80000000}, {(int32_t)0x80000000, 0x7FFFFFFF}};
    for (const Font &f : fonts) {
        INFO("font " << f.height << " x " << f.width);
        TextStyle s;
        s.textColour = 0xFFFFFF;
        s.height = f.height;
        s.width = f.width;
        s.outline = 1;
        s.outlineColour = 0x0000FF;
        s.shadowType = 2;
        s.depthX = 0x7FFFFFFF;
        s.depthY = (int32_t)0x80000000;
        Ink k = DrawInk(t, TextLayer(10, 20, 0x7FFFFFFF - 5, 100, s, "Wide\r\nTall"));
        CHECK(k.top >= 20 - 1);
        CHECK(k.bottom <= 20 + 100 + 1);
    }
    CHECK(boxes.count() == 0);
}

namespace {
/* Where one line of text in white ink falls when drawn plainly (no
 * smoothing) into rc of a W x H picture: a mask of W x H flags. */
std::vector<uint8_t> GlyphMask(const TextStyle &s, const std::string &line, RECT rc, UINT align, TEXTMETRICA *tm)
{
    HDC dc = CreateCompatibleDC(nullptr);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = W; bi.bmiHeader.biHeight = -H; bi.bmiHeader.biPlanes = 1; bi.bmiHeader.biBitCount = 32;
    uint32_t *bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, reinterpret_cast<void **>(&bits), nullptr, 0);
    HGDIOBJ oldBmp = SelectObject(dc, dib);
    LOGFONTA lf = {};
    lf.lfHeight = s.height;
    lf.lfWeight = s.weight;
    lf.lfQuality = (BYTE)s.quality;
    strncpy(lf.lfFaceName, s.face, LF_FACESIZE - 1);
    HFONT font = CreateFontIndirectA(&lf);
    HGDIOBJ oldFont = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    if (tm) GetTextMetricsA(dc, tm);
    if (!line.empty()) DrawTextA(dc, line.data(), (int)line.size(), &rc, DT_SINGLELINE | DT_NOPREFIX | align);
    GdiFlush();
    std::vector<uint8_t> mask((size_t)W * H);
    for (size_t i = 0; i < mask.size(); i++) mask[i] = (bits[i] & 0xFFFFFF) != 0;
    SelectObject(dc, oldFont);
    DeleteObject(font);
    SelectObject(dc, oldBmp);
    DeleteObject(dib);
    DeleteDC(dc);
    return mask;
}

/* Paint colour wherever mask, moved by (dx, dy), is set. */
void PaintMask(std::vector<uint32_t> &out, const std::vector<uint8_t> &mask, int dx, int dy, uint32_t rgb)
{
    for (int y = 0; y < H; y++)
        for (int x = 0; x < W; x++) {
            const int sx = x - dx, sy = y - dy;
            if (sx < 0 || sy < 0 || sx >= W || sy >= H || !mask[(size_t)sy * W + sx]) continue;
            out[(size_t)y * W + x] = (out[(size_t)y * W + x] & 0xFF000000u) | rgb;
        }
}

uint32_t Rgb(int colorref) { return ((colorref & 0xFF) << 16) | (colorref & 0xFF00) | ((colorref >> 16) & 0xFF); }

size_t RgbDifferences(const std::vector<uint32_t> &a, const std::vector<uint32_t> &b)
{
    size_t n = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); i++) n += ((a[i] ^ b[i]) & 0xFFFFFF) != 0;
    return n;
}
}  // namespace

TEST_CASE("Text layers match a per-pixel reference of box, soft shadow, hard shadow, outline and text",
          "[combiner][text][reference]")
{
    /* Plain (unsmoothed) glyphs make each copy of a line a set of whole
     * pixels, so the reference is exact: the box and the soft shadow by the
     * premultiply-and-over rule, then per line the hard shadow copies, the
     * outline ring and the text, each the glyph mask moved by its offset. */
    Engine e;
    MsgBoxCapture boxes;
    Target t;
    const int x = 30, y = 40, w = 250, h = 150;
    struct Case {
        const char *name;
        int shadowType, depthX, depthY, outline, box, boxOpacity, align, spacing;
    };
    const Case cases[] = {
        {"box at 60 % and soft shadow under the text", 3, 4, 3, 0, 1, 60, 1, 100},
        {"solid hard shadow along the longer depth, outline 2", 2, 5, -2, 2, 0, 0, 0, 150},
        {"single hard shadow, outline 1, right aligned", 1, -3, 4, 1, 0, 0, 2, 80},
    };
    const std::string lines[] = {"WAVE", "jig"};
    for (const Case &c : cases) {
        INFO(c.name);
        TextStyle s;
        s.height = -36; s.quality = NONANTIALIASED_QUALITY; s.align = c.align; s.spacing = c.spacing;
        s.textColour = 0x00FFFF; s.outline = c.outline; s.outlineColour = 0xFF0000;
        s.shadowType = c.shadowType; s.depthX = c.depthX; s.depthY = c.depthY; s.shadowColour = 0x00C000;
        s.box = c.box; s.boxOpacity = c.boxOpacity; s.boxColour = 0x00204080;
        Layer l = TextLayer(x, y, w, h, s, lines[0] + "\r\n" + lines[1]);
        std::vector<uint32_t> mask;
        if (c.shadowType == 3) {
            mask = LayerPixels(w, h);
            Bytes m;
            for (int row = h - 1; row >= 0; row--) for (int col = 0; col < w; col++) m.i32((int32_t)mask[(size_t)row * w + col]);
            l.block.insert(l.block.end(), m.b.begin(), m.b.end());
        }
        REQUIRE(LoadProgrammeFile(TitleFile({l})) == 0);
        t.Reset();
        REQUIRE(g_combiner.DrawProgramme(t.s) == S_OK);
        const auto got = t.Read();

        std::vector<uint32_t> want = t.base;
        if (c.box) {
            const uint32_t a = (uint32_t)c.boxOpacity * 255 / 100;
            const uint32_t box = RefPremultiply((a << 24) | Rgb(s.boxColour));
            for (int py = y; py < y + h; py++)
                for (int px = x; px < x + w; px++) {
                    uint32_t &d = want[(size_t)py * W + px];
                    d = RefOver(d, box) | 0xFF000000u;
                }
        }
        if (c.shadowType == 3) {
            want = RefImage(want, x + c.depthX, y + c.depthY, w, h, mask);
            for (int py = y + c.depthY; py < y + c.depthY + h; py++)
                for (int px = x + c.depthX; px < x + c.depthX + w; px++) want[(size_t)py * W + px] |= 0xFF000000u;
        }
        const UINT align = c.align == 1 ? DT_CENTER : c.align == 2 ? DT_RIGHT : DT_LEFT;
        TEXTMETRICA tm = {};
        GlyphMask(s, "", RECT{0, 0, 1, 1}, align, &tm);
        for (int i = 0; i < 2; i++) {
            const int top = y + tm.tmExternalLeading + (int)(i * (tm.tmHeight + tm.tmExternalLeading) * c.spacing * 0.01);
            const auto glyphs = GlyphMask(s, lines[i], RECT{x, top, x + w, y + h}, align, nullptr);
            if (c.shadowType == 1) PaintMask(want, glyphs, c.depthX, c.depthY, Rgb(s.shadowColour));
            if (c.shadowType == 2) {
                const int len = (std::max)(std::abs(c.depthX), std::abs(c.depthY));
                for (int k = 1; k <= len; k++)
                    PaintMask(want, glyphs, c.depthX * k / len, c.depthY * k / len, Rgb(s.shadowColour));
            }
            for (int oi = -c.outline; oi <= c.outline; oi++)
                for (int oj = -c.outline; oj <= c.outline; oj++)
                    if (oi || oj) PaintMask(want, glyphs, oi, oj, Rgb(s.outlineColour));
            PaintMask(want, glyphs, 0, 0, Rgb(s.textColour));
        }
        size_t ink = 0;
        for (size_t i = 0; i < want.size(); i++) ink += ((want[i] ^ t.base[i]) & 0xFFFFFF) != 0;
        CHECK(ink > 500);
        CHECK(RgbDifferences(got, want) == 0);
    }
    CHECK(boxes.count() == 0);
}

TEST_CASE("The title over gives the surfaces' over word for word, on every path", "[combiner][format]")
{
    /* Premultiplied samples of every kind, in runs and alone, so groups of
     * four and eight are all transparent, all opaque or mixed, and every
     * length leaves a different tail. */
    std::vector<uint32_t> src, dst;
    static const uint32_t alphas[] = {0, 255, 1, 128, 254, 77};
    uint32_t seed = 12345;
    auto next = [&]() { seed = seed * 1103515245u + 12345u; return seed >> 8; };
    for (int run = 0; run < 400; run++) {
        const uint32_t a = alphas[next() % 6];
        const int len = 1 + (int)(next() % 11);
        for (int i = 0; i < len; i++) {
            uint32_t straight = (a << 24) | (next() & 0xFFFFFF);
            src.push_back(RefPremultiply(straight));
            dst.push_back((next() & 0xFFFFFF) | ((next() % 3 == 0 ? 0u : 255u) << 24));
        }
    }
    src.push_back(0x00102030u);    /* alpha 0 with colour: added, saturated */
    dst.push_back(0xFFF0F0F0u);
    for (int opaque = 0; opaque < 2; opaque++)
        for (size_t start = 0; start < 9; start++)
            for (size_t n : {(size_t)0, (size_t)1, (size_t)3, (size_t)7, (size_t)8, (size_t)13, src.size() - start}) {
                INFO("opaque " << opaque << " start " << start << " length " << n);
                std::vector<uint32_t> want(dst.begin() + start, dst.begin() + start + n);
                DXOverArray(reinterpret_cast<DXPMSAMPLE *>(want.data()),
                            reinterpret_cast<const DXPMSAMPLE *>(src.data() + start), (ULONG)n);
                for (size_t i = 0; i < n; i++) {
                    CHECK(want[i] == RefOver(dst[start + i], src[start + i]));
                    if (opaque) want[i] |= 0xFF000000u;
                }
                std::vector<uint32_t> fast(dst.begin() + start, dst.begin() + start + n), sse2 = fast;
                TitleOverRow(fast.data(), src.data() + start, n, opaque != 0);
                TitleOverRowSse2(sse2.data(), src.data() + start, n, opaque != 0);
                CHECK(Differences(fast, want) == 0);
                CHECK(Differences(sse2, want) == 0);
                if (opaque) {
                    /* Clear title pixels over the same row: alpha only. */
                    std::vector<uint32_t> clear(dst.begin() + start, dst.begin() + start + n), made = clear;
                    for (uint32_t &d : clear) d |= 0xFF000000u;
                    TitleOpaqueRow(made.data(), n);
                    CHECK(Differences(made, clear) == 0);
                }
            }
}
