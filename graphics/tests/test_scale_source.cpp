// Scale scanline engine and background scanline source: axis tables, the
// output-ready / input-wanted contract line by line, both ways of handing in
// source lines, repositioning, tiling and bad arguments.
#include <catch2/catch.hpp>

#include <cmath>
#include <utility>
#include <vector>

#include "image_fixture.h"
#include "scale_source.h"

using namespace fixture;

namespace {

struct Flags {
    LONG ready, wanted, offered;
    bool operator==(const Flags &o) const { return ready == o.ready && wanted == o.wanted && offered == o.offered; }
};
std::ostream &operator<<(std::ostream &os, const Flags &f)
{
    return os << "{ready " << f.ready << ", wanted " << f.wanted << ", line " << f.offered << "}";
}

// Runs the engine the way a converter does: offer a line; take the output
// when output-ready is set; move to the next source line when input-wanted
// is set.  With viaBuffer the line is written into the engine's own buffer
// and offered as null.
struct Run {
    std::vector<DWORD> out;
    std::vector<Flags> calls;
};

Run run_engine(const std::vector<DWORD> &src, LONG sw, LONG sh, LONG dw, LONG dh, bool viaBuffer,
               LONG x = 0, LONG y = 0, LONG n = -1, LONG firstSourceRow = 0, LONG outRows = -1)
{
    Run r;
    ScaleScanlineState *st = BeginScaleScanline(sw, sh, dw, dh);
    REQUIRE(st);
    if (n >= 0) REQUIRE(OffsetScaleScanline(st, x, y, n) == 1);
    LONG perLine = n >= 0 ? n : dw;
    LONG rows = outRows >= 0 ? outRows : dh;
    std::vector<DWORD> line((size_t)perLine + 1);
    LONG srow = firstSourceRow;
    for (int guard = 0; guard < 4 * (sh + dh) + 8; guard++) {
        const DWORD *s = &src[(size_t)srow * sw];
        if (viaBuffer) {
            DWORD *b = GetBufferScaleScanline(st);
            REQUIRE(b);
            std::copy(s, s + sw, b);
            REQUIRE(ScaleScanline(line.data(), nullptr, st) == 1);
        } else {
            REQUIRE(ScaleScanline(line.data(), s, st) == 1);
        }
        r.calls.push_back({st->outputReady, st->inputWanted, srow});
        if (st->outputReady) r.out.insert(r.out.end(), line.begin(), line.begin() + perLine);
        if (st->inputWanted && srow + 1 < sh) srow++;
        if (!st->outputReady && !st->inputWanted) break;
        if ((LONG)(r.out.size() / (perLine ? perLine : 1)) >= rows && perLine) {
            // One more call shows the engine has nothing left.
            REQUIRE(ScaleScanline(line.data(), s, st) == 1);
            r.calls.push_back({st->outputReady, st->inputWanted, srow});
            break;
        }
    }
    EndScaleScanline(st);
    return r;
}

std::vector<DWORD> opaque_column(std::initializer_list<DWORD> greens)
{
    std::vector<DWORD> v;
    for (DWORD g : greens) v.push_back(argb(255, 0, g, 0));
    return v;
}

}  // namespace

TEST_CASE("axis tables: reduction is an area average, enlargement a linear blend", "[scale]")
{
    struct Entry { LONG middle, advance; double first, last; };
    struct Case { LONG S, D; double header; std::vector<Entry> entries; };
    const Case cases[] = {
        {3, 3, 1.0, {{0, 1, 1.0, 0.0}, {0, 1, 1.0, 0.0}, {0, 1, 1.0, 0.0}}},
        {4, 2, 0.5, {{1, 2, 0.5, 0.0}, {1, 2, 0.5, 0.0}}},
        {3, 2, 2.0 / 3, {{0, 1, 2.0 / 3, 1.0 / 3}, {1, 2, 1.0 / 3, 0.0}}},
        {5, 1, 0.2, {{4, 5, 0.2, 0.0}}},
        {2, 4, 0.0, {{-1, 0, 1.0, 0.0}, {0, 0, 0.75, 0.25}, {0, 1, 0.25, 0.75}, {-1, 0, 1.0, 0.0}}},
        {1, 3, 0.0, {{-1, 0, 1.0, 0.0}, {-1, 0, 1.0, 0.0}, {-1, 0, 1.0, 0.0}}},
    };
    for (const Case &c : cases) {
        INFO("S " << c.S << " D " << c.D);
        std::vector<AxisContribution> t((size_t)c.D + 1);
        BuildAxisContributions(t.data(), c.S, c.D);
        CHECK(t[0].firstWeight == Approx(c.header));
        for (LONG i = 0; i < c.D; i++) {
            INFO("output " << i);
            CHECK(t[i + 1].middle == c.entries[i].middle);
            CHECK(t[i + 1].advance == c.entries[i].advance);
            CHECK(t[i + 1].firstWeight == Approx(c.entries[i].first));
            CHECK(t[i + 1].lastWeight == Approx(c.entries[i].last).margin(1e-12));
        }
    }
}

TEST_CASE("axis tables: weights add up to one and never reach past the source", "[scale]")
{
    for (LONG S = 1; S <= 40; S++) {
        for (LONG D = 1; D <= 40; D++) {
            std::vector<AxisContribution> t((size_t)D + 1);
            BuildAxisContributions(t.data(), S, D);
            LONG pos = 0;
            for (LONG i = 1; i <= D; i++) {
                const AxisContribution &e = t[i];
                double sum = e.firstWeight;
                LONG lastIndex = pos;
                if (e.middle >= 0) {
                    sum += e.middle * t[0].firstWeight + e.lastWeight;
                    lastIndex = pos + e.middle + (e.lastWeight > 0.0 ? 1 : 0);
                }
                if (std::fabs(sum - 1.0) > 1e-9 || lastIndex > S - 1) {
                    INFO("S " << S << " D " << D << " output " << i - 1);
                    CHECK(sum == Approx(1.0));
                    CHECK(lastIndex <= S - 1);
                }
                pos += e.advance;
            }
            if (S >= D) CHECK(pos == S);
            else CHECK(pos <= S);
        }
    }
}

TEST_CASE("scale engine: flags follow the contract line by line", "[scale]")
{
    SECTION("halving 4 lines to 2")
    {
        auto src = opaque_column({0, 100, 200, 250});
        for (bool viaBuffer : {false, true}) {
            INFO("via buffer " << viaBuffer);
            Run r = run_engine(src, 1, 4, 1, 2, viaBuffer);
            CHECK(r.out == opaque_column({50, 225}));
            if (!viaBuffer) {
                // The third line is the (unweighted) last row of the first
                // output and is offered again as the first row of the next.
                const std::vector<Flags> want = {{0, 1, 0}, {0, 1, 1}, {1, 0, 2}, {0, 1, 2}, {1, 0, 3}, {0, 0, 3}};
                CHECK(r.calls == want);
            } else {
                const std::vector<Flags> want = {{0, 1, 0}, {1, 1, 1}, {0, 1, 2}, {1, 0, 3}, {0, 0, 3}};
                CHECK(r.calls == want);
            }
        }
    }
    SECTION("doubling 2 lines to 4 reuses lines without asking for more")
    {
        auto src = opaque_column({0, 200});
        const std::vector<Flags> want = {{1, 0, 0}, {0, 1, 0}, {1, 0, 1}, {1, 0, 1}, {1, 0, 1}, {0, 0, 1}};
        for (bool viaBuffer : {false, true}) {
            INFO("via buffer " << viaBuffer);
            Run r = run_engine(src, 1, 2, 1, 4, viaBuffer);
            CHECK(r.out == opaque_column({0, 50, 150, 200}));
            CHECK(r.calls == want);
        }
    }
    SECTION("three lines to two with a shared partial line")
    {
        auto src = opaque_column({0, 90, 180});
        for (bool viaBuffer : {false, true}) {
            Run r = run_engine(src, 1, 3, 1, 2, viaBuffer);
            CHECK(r.out == opaque_column({30, 150}));
        }
    }
}

TEST_CASE("scale engine: both ways of handing in lines give the same picture", "[scale]")
{
    const std::pair<LONG, LONG> sizes[] = {{7, 3}, {3, 7}, {9, 4}, {4, 9}, {5, 5}, {1, 6}, {6, 1}, {13, 5}};
    for (auto [sw, dw] : sizes) {
        for (auto [sh, dh] : sizes) {
            INFO(sw << "x" << sh << " -> " << dw << "x" << dh);
            auto src = noise((size_t)sw * sh, (uint32_t)(sw * 131 + sh * 7 + dw * 3 + dh));
            Run a = run_engine(src, sw, sh, dw, dh, false);
            Run b = run_engine(src, sw, sh, dw, dh, true);
            CHECK(a.out.size() == (size_t)dw * dh);
            CHECK(a.out == b.out);
        }
    }
}

TEST_CASE("scale engine: area average, linear edges and transparency", "[scale]")
{
    SECTION("a one-pixel checkerboard halves to the average of its two colours")
    {
        const DWORD c0 = argb(255, 0, 0, 0), c1 = argb(255, 200, 100, 50);
        std::vector<DWORD> src;
        for (int y = 0; y < 8; y++)
            for (int x = 0; x < 8; x++) src.push_back(((x + y) & 1) ? c1 : c0);
        Run r = run_engine(src, 8, 8, 4, 4, false);
        CHECK(r.out == std::vector<DWORD>(16, argb(255, 100, 50, 25)));
    }
    SECTION("enlarging a row keeps both edge pixels and blends linearly between")
    {
        std::vector<DWORD> src = {argb(255, 0, 0, 0), argb(255, 200, 40, 0)};
        Run r = run_engine(src, 2, 1, 4, 1, false);
        const std::vector<DWORD> want = {argb(255, 0, 0, 0), argb(255, 50, 10, 0), argb(255, 150, 30, 0),
                                         argb(255, 200, 40, 0)};
        CHECK(r.out == want);
    }
    SECTION("transparent pixels lend no colour; a transparent area gives 0 in all bytes")
    {
        std::vector<DWORD> src = {argb(255, 255, 0, 0), 0x000000FF, 0x00FFFFFF, 0x0012FF34};
        Run r = run_engine(src, 4, 1, 2, 1, false);
        // Colours are divided by the rounded alpha (128), hence 254.
        CHECK(r.out[0] == argb(128, 254, 0, 0));
        CHECK(r.out[1] == 0u);
    }
}

TEST_CASE("scale engine: Offset repositions to a part of the output", "[scale]")
{
    const LONG sw = 9, sh = 7, dw = 4, dh = 3;
    auto src = noise((size_t)sw * sh, 99);
    Run full = run_engine(src, sw, sh, dw, dh, false);
    REQUIRE(full.out.size() == (size_t)dw * dh);

    ScaleScanlineState *st = BeginScaleScanline(sw, sh, dw, dh);
    REQUIRE(st);
    RECT rc = {1, 1, 3, 3};
    REQUIRE(ConvertRectangleScaleScanline(st, &rc) == 1);
    EndScaleScanline(st);
    // Horizontal advances 2,2,2,3 (9 over 4); vertical 2,2,3 (7 over 3).
    CHECK(rc.left == 2);
    CHECK(rc.right == 7);
    CHECK(rc.top == 2);
    CHECK(rc.bottom == 8);

    for (bool viaBuffer : {false, true}) {
        Run part = run_engine(src, sw, sh, dw, dh, viaBuffer, 1, 1, 2, rc.top, 2);
        REQUIRE(part.out.size() == 4);
        CHECK(part.out[0] == full.out[1 * dw + 1]);
        CHECK(part.out[1] == full.out[1 * dw + 2]);
        CHECK(part.out[2] == full.out[2 * dw + 1]);
        CHECK(part.out[3] == full.out[2 * dw + 2]);
    }
}

TEST_CASE("scale engine: bad arguments fail without a crash", "[scale]")
{
    const LONG bad[][4] = {{0, 1, 1, 1}, {1, 0, 1, 1}, {1, 1, 0, 1}, {1, 1, 1, 0}, {-3, 2, 2, 2}, {2, 2, 2, -1}};
    for (auto &b : bad) CHECK(BeginScaleScanline(b[0], b[1], b[2], b[3]) == nullptr);
    // Sizes whose tables or line ring cannot be addressed are refused.
    const LONG huge[][4] = {{0x7FFFFFFF, 1, 1, 1}, {1, 1, 0x7FFFFFFF, 1}, {1, 1, 1, 0x7FFFFFFF},
                            {1, 0x7FFFFFFF, 1, 1}, {100000, 100000, 1, 1}};
    for (auto &b : huge) {
        INFO(b[0] << "x" << b[1] << " -> " << b[2] << "x" << b[3]);
        CHECK(BeginScaleScanline(b[0], b[1], b[2], b[3]) == nullptr);
    }

    DWORD line[4] = {};
    CHECK(ScaleScanline(line, line, nullptr) == 0);
    CHECK(GetBufferScaleScanline(nullptr) == nullptr);
    CHECK(EndScaleScanline(nullptr) == 0);
    CHECK(OffsetScaleScanline(nullptr, 0, 0, 1) == 0);
    RECT rc = {0, 0, 1, 1};
    CHECK(ConvertRectangleScaleScanline(nullptr, &rc) == 0);

    ScaleScanlineState *st = BeginScaleScanline(4, 4, 4, 4);
    REQUIRE(st);
    CHECK(st->valid == 1);
    const LONG offsets[][3] = {{-1, 0, 1}, {0, -1, 1}, {5, 0, 0}, {2, 0, 3}, {0, 5, 1}, {0, 0, -1}};
    for (auto &o : offsets) {
        INFO(o[0] << "," << o[1] << "," << o[2]);
        CHECK(OffsetScaleScanline(st, o[0], o[1], o[2]) == 0);
    }
    CHECK(st->firstColumn == 0);
    CHECK(st->pixelsPerLine == 4);
    CHECK(OffsetScaleScanline(st, 4, 4, 0) == 1);
    // Past the last line nothing is written and nothing is wanted.
    line[0] = 0x12345678;
    CHECK(ScaleScanline(line, line, st) == 1);
    CHECK(st->outputReady == 0);
    CHECK(st->inputWanted == 0);
    CHECK(line[0] == 0x12345678u);
    // A null output line is refused.
    CHECK(OffsetScaleScanline(st, 0, 0, 4) == 1);
    CHECK(ScaleScanline(nullptr, line, st) == 0);
    // Out-of-range rectangles are cut to the table.
    RECT wide = {-5, -5, 100, 100};
    CHECK(ConvertRectangleScaleScanline(st, &wide) == 1);
    CHECK(wide.left == 0);
    CHECK(wide.right == 5);
    EndScaleScanline(st);
}

TEST_CASE("background source: tiles the background under a line", "[background]")
{
    // 3 by 2 background; alpha bytes are forced opaque when tiled.
    auto bg = make_layer(3, 2, {0x00000001, 0x80000002, 0xFF000003, 0x11000004, 0x22000005, 0x33000006});
    REQUIRE(bg);
    BackgroundScanlineState *s = BeginBackgroundScanlineLayer(7, bg.get());
    REQUIRE(s);
    CHECK(s->dirty1 == 1);
    CHECK(s->dirty2 == 1);
    // The source holds its own reference: the creator's release leaves the
    // background alive until the source ends.
    Layer *raw = bg.release();
    CHECK(DeleteLayer(raw) == 0);

    std::vector<DWORD> clear(7, 0), out(7);
    auto expect = [](std::initializer_list<DWORD> ids) {
        std::vector<DWORD> v;
        for (DWORD i : ids) v.push_back(0xFF000000u | i);
        return v;
    };
    SECTION("rows advance and wrap; the period repeats")
    {
        BackgroundScanline(out.data(), clear.data(), s);
        CHECK(out == expect({1, 2, 3, 1, 2, 3, 1}));
        BackgroundScanline(out.data(), clear.data(), s);
        CHECK(out == expect({4, 5, 6, 4, 5, 6, 4}));
        BackgroundScanline(out.data(), clear.data(), s);
        CHECK(out == expect({1, 2, 3, 1, 2, 3, 1}));
    }
    SECTION("Offset picks column, line and count; negative tile offsets wrap")
    {
        CHECK(OffsetBackgroundScanline(2, 5, 4, s) == s);
        std::fill(out.begin(), out.end(), 0xDEADBEEF);
        BackgroundScanline(out.data(), clear.data(), s);
        CHECK(std::vector<DWORD>(out.begin(), out.begin() + 4) == expect({6, 4, 5, 6}));
        CHECK(out[4] == 0xDEADBEEFu);

        CHECK(SetTileOffsetBackgroundScanline(-1, -3, s) == s);
        CHECK(OffsetBackgroundScanline(0, 0, 0, s) == s);
        BackgroundScanline(out.data(), clear.data(), s);
        CHECK(out == expect({5, 6, 4, 5, 6, 4, 5}));
        CHECK(SetTileOffsetBackgroundScanline(1, 0, s) == s);
        CHECK(OffsetBackgroundScanline(0, -1, 0, s) == s);
        BackgroundScanline(out.data(), clear.data(), s);
        CHECK(out == expect({6, 4, 5, 6, 4, 5, 6}));
    }
    SECTION("the line is laid over the background; a null source means the destination")
    {
        std::vector<DWORD> line = {0xFF102030, 0x00FFFFFF, argb(128, 255, 255, 255), 0, 0, 0, 0};
        BackgroundScanline(out.data(), line.data(), s);
        CHECK(out[0] == 0xFF102030u);
        CHECK(out[1] == 0xFF000002u);
        CHECK(out[2] == CompositPel(line[2], 0xFF000003u));
        std::vector<DWORD> inplace = line;
        OffsetBackgroundScanline(0, 0, 0, s);
        BackgroundScanline(inplace.data(), nullptr, s);
        CHECK(inplace == out);
    }
    CHECK(raw->refCount >= 1);
    CHECK(EndBackgroundScanline(s) == 1);
}

TEST_CASE("background source: stock layers and the default checkerboard", "[background]")
{
    ensure_started();
    BackgroundScanlineState *s = BeginBackgroundScanline(20);
    REQUIRE(s);
    std::vector<DWORD> clear(20, 0), out(20);
    BackgroundScanline(out.data(), clear.data(), s);
    for (int x = 0; x < 20; x++) {
        INFO("x " << x);
        CHECK(out[x] == ((x / 8) % 2 == 0 ? 0xFF7C7C7Cu : 0xFF6C6C6Cu));
    }
    EndBackgroundScanline(s);

    s = BeginBackgroundScanlineID(3, 3);  // red
    REQUIRE(s);
    BackgroundScanline(out.data(), clear.data(), s);
    CHECK(out[0] == 0xFFFF0000u);
    CHECK(out[2] == 0xFFFF0000u);
    EndBackgroundScanline(s);

    CHECK(BeginBackgroundScanline(0) == nullptr);
    CHECK(BeginBackgroundScanlineLayer(-4, nullptr) == nullptr);
    CHECK(BeginBackgroundScanlineID(0, 2) == nullptr);
    CHECK(EndBackgroundScanline(nullptr) == 0);
    CHECK(OffsetBackgroundScanline(0, 0, 0, nullptr) == nullptr);
    CHECK(SetTileOffsetBackgroundScanline(0, 0, nullptr) == nullptr);
    CHECK(BackgroundScanline(out.data(), nullptr, nullptr) == 0);
}

TEST_CASE("BackgroundLayer flattens a layer onto a tiled background", "[background]")
{
    auto bg = make_layer(2, 1, {0xFF0000AA, 0xFF0000BB});
    auto src = make_layer(3, 2, {0x00000000, 0xFF123456, 0x00000000, 0x00000000, 0x00000000, 0xFF654321});
    auto dst = filled_layer(3, 2, 0x11111111);
    REQUIRE(BackgroundLayer(dst.get(), src.get(), bg.get()) == 1);
    const std::vector<DWORD> want = {0xFF0000AA, 0xFF123456, 0xFF0000AA, 0xFF0000AA, 0xFF0000BB, 0xFF654321};
    CHECK(pixels_of(dst.get()) == want);
    CHECK(bg->refCount == 1);

    CHECK(BackgroundLayer(nullptr, src.get(), bg.get()) == 0);
    CHECK(BackgroundLayer(dst.get(), nullptr, bg.get()) == 0);
    auto outside = clip(src.get(), 10, 10, 2, 2);
    CHECK(BackgroundLayer(dst.get(), outside.get(), bg.get()) == 0);
}

TEST_CASE("alpha display line shows alpha as opaque grey", "[background]")
{
    auto bg = filled_layer(1, 1, 0xFF000000);
    BackgroundScanlineState *s = BeginBackgroundScanlineLayer(3, bg.get());
    REQUIRE(s);
    std::vector<DWORD> src = {0x00FFFFFF, 0x80123456, 0xFF000000}, out(3);
    CHECK(AlphaDisplayScanline(out.data(), src.data(), s) == 1);
    CHECK(out == std::vector<DWORD>{0xFF000000, 0xFF808080, 0xFFFFFFFF});
    EndBackgroundScanline(s);
}
