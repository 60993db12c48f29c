// Thumbnail, Float, rise-time, VMP/BITMAP and DDB scanline sources: tables
// worked by hand, the line protocol, pixels against hand-worked values and
// bad arguments.
#include <catch2/catch.hpp>

#include <cstring>
#include <string>
#include <vector>

#include "convert.h"
#include "image_fixture.h"
#include "scanline_other.h"

using namespace fixture;

namespace {

struct Entry { LONG middle, advance; double first, last; };

std::vector<Entry> float_table(LONG S, LONG D)
{
    std::vector<AxisContribution> t((size_t)D + 1);
    BuildFloatAxisContributions(t.data(), S, D);
    std::vector<Entry> v;
    for (LONG i = 1; i <= D; ++i) v.push_back({ t[i].middle, t[i].advance, t[i].firstWeight, t[i].lastWeight });
    return v;
}

// Runs a resampling engine over a whole image the way a converter does.
template <class Step>
std::vector<DWORD> run(ScaleScanlineState *st, Step step, const std::vector<DWORD> &src, LONG sw, LONG sh, LONG dw, LONG dh)
{
    std::vector<DWORD> out, line((size_t)dw);
    LONG sy = 0;
    for (int guard = 0; guard < 4 * (sh + dh) + 8 && (LONG)out.size() < dw * dh; ++guard) {
        REQUIRE(step(line.data(), &src[(size_t)sy * sw], st) == 1);
        if (st->outputReady) out.insert(out.end(), line.begin(), line.end());
        if (st->inputWanted && sy + 1 < sh) ++sy;
    }
    return out;
}

DWORD grey(DWORD v) { return argb(255, v, v, v); }

std::string hex(DWORD v)
{
    char b[16];
    wsprintfA(b, "%08X", v);
    return b;
}

}  // namespace

TEST_CASE("Float tables: area averages both ways", "[float]")
{
    struct Case { LONG S, D; std::vector<Entry> want; } cases[] = {
        { 3, 3, { { -1, 1, 1, 0 }, { -1, 1, 1, 0 }, { -1, 1, 1, 0 } } },
        { 4, 2, { { 1, 2, 0.5, 0 }, { 1, 2, 0.5, 0 } } },   // a whole last sample counts as a middle one
        { 2, 4, { { -1, 0, 1, 0 }, { -1, 1, 1, 0 }, { -1, 0, 1, 0 }, { -1, 1, 1, 0 } } },
        { 3, 4, { { -1, 0, 1, 0 }, { 0, 1, 1.0 / 3, 2.0 / 3 }, { 0, 1, 2.0 / 3, 1.0 / 3 }, { -1, 1, 1, 0 } } },
        { 5, 2, { { 1, 2, 0.4, 0.2 }, { 2, 3, 0.2, 0 } } },
    };
    for (auto &c : cases) {
        INFO(c.S << " to " << c.D);
        auto got = float_table(c.S, c.D);
        REQUIRE(got.size() == c.want.size());
        for (size_t i = 0; i < got.size(); ++i) {
            INFO("entry " << i);
            CHECK(got[i].middle == c.want[i].middle);
            CHECK(got[i].advance == c.want[i].advance);
            CHECK(got[i].first == Approx(c.want[i].first));
            CHECK(got[i].last == Approx(c.want[i].last));
        }
    }
    // Every table walks the whole source once and each entry's weights sum to 1.
    for (LONG S = 1; S <= 23; ++S)
        for (LONG D = 1; D <= 23; ++D) {
            auto t = float_table(S, D);
            LONG adv = 0;
            for (auto &e : t) {
                adv += e.advance;
                double sum = e.middle < 0 ? e.first : e.first + e.middle * (double)D / S + e.last;
                CHECK(sum == Approx(1.0));
            }
            CHECK(adv == S);
        }
}

TEST_CASE("Float engine: halving averages, enlarging repeats, blends at straddles", "[float]")
{
    ensure_started();
    // 4 x 2 -> 2 x 1: each output the mean of a 2 x 2 cell.
    std::vector<DWORD> src = { grey(10), grey(30), grey(100), grey(200), grey(50), grey(70), grey(0), grey(100) };
    ScaleScanlineState *st = BeginFloatScanline(4, 2, 2, 1);
    REQUIRE(st);
    CHECK(run(st, FloatScanline, src, 4, 2, 2, 1) == std::vector<DWORD>{ grey(40), grey(100) });
    EndFloatScanline(st);
    // 2 x 1 -> 4 x 2: samples repeated, no blending.
    std::vector<DWORD> two = { grey(10), grey(90) };
    st = BeginFloatScanline(2, 1, 4, 2);
    REQUIRE(st);
    auto up = run(st, FloatScanline, two, 2, 1, 4, 2);
    CHECK(up == std::vector<DWORD>{ grey(10), grey(10), grey(90), grey(90), grey(10), grey(10), grey(90), grey(90) });
    EndFloatScanline(st);
    // 3 -> 4: the two middle outputs straddle two samples (1/3 : 2/3).
    std::vector<DWORD> three = { grey(0), grey(90), grey(180) };
    st = BeginFloatScanline(3, 1, 4, 1);
    REQUIRE(st);
    CHECK(run(st, FloatScanline, three, 3, 1, 4, 1) == std::vector<DWORD>{ grey(0), grey(60), grey(120), grey(180) });
    // The engine's own buffer and the Offset of the scale engine work the same.
    CHECK(GetBufferFloatScanline(st) != nullptr);
    CHECK(OffsetFloatScanline(st, 1, 0, 2) == 1);
    CHECK(OffsetFloatScanline(st, 3, 0, 2) == 0);
    CHECK(EndFloatScanline(st) == 1);
    CHECK(BeginFloatScanline(0, 1, 1, 1) == nullptr);
    CHECK(BeginFloatScanline(1, 1, 1, -1) == nullptr);
}

TEST_CASE("Thumbnail: background under the source, then the scale engine", "[thumbnail]")
{
    ensure_started();
    // Opaque and transparent halves over a one-pixel red background.
    auto bg = make_layer(1, 1, { 0xFFFF0000u });
    auto src = make_layer(4, 2, { grey(20), grey(40), 0, 0, grey(60), grey(80), 0, 0 });
    auto dst = filled_layer(2, 1, 0x12345678u);
    REQUIRE(FXSThumbnailLayer(dst.get(), src.get(), 0, bg.get()) == 1);
    CHECK(hex(pel(dst.get(), 0, 0)) == hex(grey(50)));
    CHECK(hex(pel(dst.get(), 1, 0)) == hex(0xFFFF0000u));

    // An odd enlargement matches the scale engine fed with the flattened lines.
    auto px = noise(5 * 3, 11);
    for (auto &p : px) p |= 0xFF000000u;
    auto s2 = make_layer(5, 3, px);
    auto d2 = make_layer(7, 4);
    REQUIRE(FXSThumbnailLayer(d2.get(), s2.get(), 0, bg.get()) == 1);
    ScaleScanlineState *ref = BeginScaleScanline(5, 3, 7, 4);
    auto want = run(ref, ScaleScanline, px, 5, 3, 7, 4);
    EndScaleScanline(ref);
    CHECK(pixels_of(d2.get()) == want);

    // With the gamma flag each flattened line goes through the gamma curve.
    std::vector<BYTE> curve(768);
    for (int i = 0; i < 768; ++i) curve[i] = (BYTE)(255 - i % 256);
    REQUIRE(SetGammaTable(curve.data()));
    auto d3 = filled_layer(2, 1, 0);
    REQUIRE(FXSThumbnailLayer(d3.get(), src.get(), 1, bg.get()) == 1);
    CHECK(hex(pel(d3.get(), 0, 0)) == hex(grey(205)));
    CHECK(hex(pel(d3.get(), 1, 0)) == hex(0xFF00FFFFu));
    for (int i = 0; i < 768; ++i) curve[i] = (BYTE)(i % 256);
    SetGammaTable(curve.data());

    CHECK(FXSThumbnailLayer(nullptr, src.get(), 0, bg.get()) == 0);
    CHECK(FXSThumbnailLayer(dst.get(), nullptr, 0, bg.get()) == 0);
}

TEST_CASE("Thumbnail: flags follow the scale engine; Offset repositions both sources", "[thumbnail]")
{
    ensure_started();
    ThumbnailScanlineState *t = BeginThumbnailScanline(4, 4, 2, 2, 0);
    REQUIRE(t);
    CHECK(t->inputWanted == 1);
    CHECK(GetScaleThumbnailScanline(t) == t->scale);
    CHECK(GetBackgroundThumbnailScanline(t) == t->background);
    std::vector<DWORD> line(4, grey(100)), out(2);
    // Halving: two lines are held (input wanted each time), the third call
    // writes the first output line.
    for (int call = 0; call < 3; ++call) {
        INFO("call " << call);
        CHECK(ThumbnailScanline(out.data(), line.data(), t) == (call == 2 ? 1 : 0));
        CHECK(t->outputReady == t->scale->outputReady);
        CHECK(t->inputWanted == t->scale->inputWanted);
    }
    CHECK(out == std::vector<DWORD>{ grey(100), grey(100) });

    // Destination column 1, line 1, one pixel: source columns 2.. and line 2.
    BackgroundScanlineState *b = OffsetThumbnailScanline(t, 1, 1, 1);
    REQUIRE(b == t->background);
    CHECK(t->inputWanted == 1);
    CHECK(t->outputReady == 0);
    CHECK(b->column == 2);
    CHECK(b->line == 2);
    CHECK(t->scale->firstColumn == 1);
    CHECK(t->scale->currentLine == 1);
    CHECK(OffsetThumbnailScanline(t, 2, 0, 1) == nullptr);   // outside the destination
    CHECK(EndThumbnailScanline(t) == 1);

    CHECK(BeginThumbnailScanline(0, 4, 2, 2, 0) == nullptr);
    CHECK(BeginThumbnailScanlineID(4, 4, 2, 0, 0, 0) == nullptr);
    CHECK(EndThumbnailScanline(nullptr) == 0);
}

TEST_CASE("Rise time: luma smoothing and the studio-range conversion", "[risetime]")
{
    ensure_started();
    std::vector<DWORD> line = { grey(0), grey(0), grey(240), grey(240), 0x80102030u };
    // Weights (0, 1, 0) leave every pixel unchanged (mode 2).
    RiseTimeScanlineState *s = BeginRiseTimeScanline(5, 0, 1, 0, 2);
    REQUIRE(s);
    std::vector<DWORD> out(5);
    CHECK(RiseTimeScanline(out.data(), line.data(), s) == 1);
    CHECK(s->outputReady == 1);
    CHECK(s->inputWanted == 1);
    CHECK(out == line);
    EndRiseTimeScanline(s);

    // (1, 2, 1): each grey moves by (prev + next - 2 cur) / 4 of the luma.
    s = BeginRiseTimeScanline(4, 1, 2, 1, 2);
    REQUIRE(s);
    CHECK(RiseTimeScanline(out.data(), line.data(), s) == 1);
    CHECK(hex(out[0]) == hex(grey(0)));
    CHECK(hex(out[1]) == hex(grey(60)));
    CHECK(hex(out[2]) == hex(grey(180)));
    CHECK(hex(out[3]) == hex(grey(240)));
    // In place gives the same.
    std::vector<DWORD> inplace(line.begin(), line.begin() + 4);
    CHECK(RiseTimeScanline(inplace.data(), nullptr, s) == 1);
    CHECK(std::vector<DWORD>(out.begin(), out.begin() + 4) == inplace);
    EndRiseTimeScanline(s);

    // Mode 0: Cb low byte, Y, Cr, alpha kept.  Pure colours by the BT.601
    // weights, Y to 16..235 and colour to 16..240.
    auto studio = [](DWORD r, DWORD g, DWORD b, DWORD a) {
        long y = (19595L * r + 38469L * g + 7471L * b + 0x8000) >> 16;
        long cb = (-11075L * r - 21692L * g + 32768L * b + 0x808000) >> 16;
        long cr = (32768L * r - 27459L * g - 5308L * b + 0x808000) >> 16;
        // Pure blue (Cb) and pure red (Cr) reach 256: the table's last entry.
        cb = cb > 255 ? 255 : cb;
        cr = cr > 255 ? 255 : cr;
        auto Y = 16 + 219 * y / 255, C1 = 128 + (224 * cb - 28672) / 255, C2 = 128 + (224 * cr - 28672) / 255;
        return (a << 24) | (DWORD)C2 << 16 | (DWORD)Y << 8 | (DWORD)C1;
    };
    std::vector<DWORD> pure = { argb(255, 255, 255, 255), argb(255, 0, 0, 0), argb(255, 255, 0, 0), argb(9, 0, 255, 0),
                                argb(255, 0, 0, 255) };
    s = BeginRiseTimeScanline(5, 0, 1, 0, 0);
    REQUIRE(RiseTimeScanline(out.data(), pure.data(), s) == 1);
    CHECK(hex(out[0]) == hex(0xFF80EB80u));   // white: Y 235, Cb = Cr = 128
    CHECK(hex(out[1]) == hex(0xFF801080u));   // black: Y 16
    for (size_t i = 0; i < pure.size(); ++i) {
        INFO("pixel " << i);
        CHECK(hex(out[i]) == hex(studio((pure[i] >> 16) & 0xFF, (pure[i] >> 8) & 0xFF, pure[i] & 0xFF, pure[i] >> 24)));
    }
    EndRiseTimeScanline(s);
    // Mode 1 with (1, 0, 1): Y is the mean of the neighbours' luma.
    std::vector<DWORD> alt = { grey(0), grey(200), grey(100) };
    s = BeginRiseTimeScanline(3, 1, 0, 1, 1);
    REQUIRE(RiseTimeScanline(out.data(), alt.data(), s) == 1);
    CHECK(((out[0] >> 8) & 0xFF) == (DWORD)(16 + 219 * 100 / 255));
    CHECK(((out[1] >> 8) & 0xFF) == (DWORD)(16 + 219 * 50 / 255));
    CHECK(((out[2] >> 8) & 0xFF) == (DWORD)(16 + 219 * 150 / 255));
    CHECK((out[1] & 0xFF) == 128u);
    EndRiseTimeScanline(s);

    CHECK(BeginRiseTimeScanline(0, 1, 1, 1, 2) == nullptr);
    CHECK(BeginRiseTimeScanline(4, 1, 1, 1, 3) == nullptr);
    CHECK(EndRiseTimeScanline(nullptr) == 0);
}

TEST_CASE("VMP and BITMAP lines: black with a blue grid under transparency", "[vmp]")
{
    ensure_started();
    const LONG w = 40;
    DisplayScanlineState *s = BeginVMPScanline(w);
    REQUIRE(s);
    std::vector<DWORD> clear(w, 0), out(w);
    for (LONG line = 0; line < 33; ++line) {
        REQUIRE(VMPScanline(out.data(), clear.data(), s) == 1);
        for (LONG x = 0; x < w; ++x) {
            bool dot = line % 16 == 0 && x % 16 == 0;
            INFO("line " << line << " column " << x);
            CHECK(out[x] == (dot ? 0xFF0000FFu : 0xFF000000u));
        }
    }
    // Offset: the grid follows the first column and the line number; the
    // source null means the state's own buffer.
    REQUIRE(OffsetVMPScanline(s, 15, 32, 3) == 1);
    DWORD *own = GetBufferVMPScanline(s);
    own[0] = 0;
    own[1] = 0x80FF8040u;
    own[2] = 0xFFFFFFFFu;
    REQUIRE(VMPScanline(out.data(), nullptr, s) == 1);
    CHECK(out[0] == 0xFF000000u);
    CHECK(hex(out[1]) == hex(0xFF80409Fu));   // over blue: scale(128, c), blue + 127
    CHECK(out[2] == 0xFFFFFFFFu);
    REQUIRE(OffsetVMPScanline(s, 1, 1, 3) == 1);
    REQUIRE(BITMAPScanline(out.data(), own, s) == 1);
    CHECK(hex(out[1]) == hex(0xFF804020u));   // over black
    struct Case { LONG x, y, n, ok; } cases[] = {
        { 0, 0, 40, 1 }, { 39, 0, 1, 1 }, { 39, 0, 2, 0 }, { -1, 0, 1, 0 }, { 0, -1, 1, 0 }, { 0, 0, 0, 0 },
    };
    for (auto &c : cases) CHECK(OffsetVMPScanline(s, c.x, c.y, c.n) == c.ok);
    CHECK(EndVMPScanline(s) == 1);
    CHECK(BeginVMPScanline(0) == nullptr);
    CHECK(VMPScanline(out.data(), clear.data(), nullptr) == 0);
}

TEST_CASE("DDB lines: packed display pixels, zoomed", "[ddb]")
{
    ensure_started();
    // A 16-bit 5-6-5 display as the probe would read it back.
    LONG savedMode = g_displayMode;
    DWORD saved[3][256];
    std::memcpy(saved[0], g_workRed, sizeof saved[0]);
    std::memcpy(saved[1], g_workGreen, sizeof saved[1]);
    std::memcpy(saved[2], g_workBlue, sizeof saved[2]);
    std::vector<BYTE> rows[3];
    for (int k = 0; k < 3; ++k)
        for (int i = 0; i < 256; ++i) {
            WORD v = k == 0 ? (WORD)((i >> 3) << 11) : k == 1 ? (WORD)((i >> 2) << 5) : (WORD)(i >> 3);
            rows[k].push_back((BYTE)v);
            rows[k].push_back((BYTE)(v >> 8));
        }
    REQUIRE(pixmoor_tables_from_rows(16, rows[0].data(), rows[1].data(), rows[2].data()) == 2);

    DisplayScanlineState *s = BeginDDBScanline(2, 2);
    REQUIRE(s);
    std::vector<DWORD> src = { 0xFFFF0000u, 0xFF0000FFu };
    std::vector<BYTE> out(8, 0xEE);
    std::vector<LONG> wanted;
    for (int call = 0; call < 4; ++call) {
        REQUIRE(DDBScanline(out.data(), src.data(), s) == 1);
        CHECK(s->outputReady == 1);
        wanted.push_back(s->inputWanted);
    }
    CHECK(wanted == std::vector<LONG>{ 0, 1, 0, 1 });
    CHECK(out == std::vector<BYTE>{ 0x00, 0xF8, 0x00, 0xF8, 0x1F, 0x00, 0x1F, 0x00 });
    // Offset restarts the repeat count.
    REQUIRE(DDBScanline(out.data(), src.data(), s) == 1);
    REQUIRE(OffsetDDBScanline(s, 1, 0, 1) == 1);
    REQUIRE(DDBScanline(out.data(), src.data(), s) == 1);
    CHECK(s->inputWanted == 0);
    CHECK(OffsetDDBScanline(s, 1, 0, 2) == 0);
    CHECK(EndDDBScanline(s) == 1);
    CHECK(BeginDDBScanline(4, 0) == nullptr);
    CHECK(BeginDDBScanline(0, 1) == nullptr);

    // No probed display format: nothing is packed.
    g_displayMode = 0;
    s = BeginDDBScanline(2, 1);
    std::fill(out.begin(), out.end(), 0xEE);
    CHECK(DDBScanline(out.data(), src.data(), s) == 0);
    CHECK(out == std::vector<BYTE>(8, 0xEE));
    EndDDBScanline(s);
    g_displayMode = savedMode;
    std::memcpy(g_workRed, saved[0], sizeof saved[0]);
    std::memcpy(g_workGreen, saved[1], sizeof saved[1]);
    std::memcpy(g_workBlue, saved[2], sizeof saved[2]);
}
