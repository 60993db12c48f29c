// Glyph run-length coverage: hand-made one-bit glyphs and outlines against
// their hand-worked codes, row endings, output limits and malformed input.
#include <catch2/catch.hpp>

#include <algorithm>
#include <string>
#include <vector>

#include "glyph.h"
#include "image_fixture.h"

namespace {

// Rows given as strings of '#' (ink) and '.', packed to the padded one-bit
// layout.
std::vector<BYTE> bitmap(const std::vector<std::string> &rows)
{
    size_t w = rows[0].size(), stride = ((w + 31) / 8) & ~(size_t)3;
    std::vector<BYTE> b(stride * rows.size(), 0);
    for (size_t y = 0; y < rows.size(); ++y)
        for (size_t x = 0; x < w; ++x)
            if (rows[y][x] == '#') b[y * stride + x / 8] |= (BYTE)(0x80 >> (x % 8));
    return b;
}

std::vector<WORD> rle(const std::vector<std::string> &rows, LONG outBytes = 4096)
{
    auto b = bitmap(rows);
    std::vector<WORD> out(2048, 0xEEEE);
    LONG n = IP_RLEBitChar(b.data(), (LONG)rows[0].size(), (LONG)rows.size(), out.data(), outBytes);
    out.resize(n > 0 ? (size_t)n / 2 : 0);
    return out;
}

// Rows rendered back from codes: the independent reading of the format.
std::vector<std::string> unrle(const std::vector<WORD> &codes, size_t width)
{
    std::vector<std::string> rows;
    std::string row;
    bool ink = false, first = true;
    for (WORD c : codes) {
        if (first) ink = (c & 0x8000) != 0;
        row.append(c & 0x3FFF, ink ? '#' : '.');
        ink = !ink;
        first = false;
        if (c & 0x4000) {
            row.resize(width, '.');
            rows.push_back(row);
            row.clear();
            first = true;
        }
    }
    return rows;
}

}  // namespace

TEST_CASE("one-bit glyphs: codes of hand-made rows", "[glyph]")
{
    struct Case { std::vector<std::string> rows; std::vector<WORD> codes; } cases[] = {
        { { "....." }, { 0x4005 } },                       // all clear: one code
        { { "#####" }, { 0xC005 } },                       // all ink
        { { "..##." }, { 0x0002, 0x4002 } },               // trailing clear left out
        { { "##..." }, { 0xC002 } },                       // starts with ink
        { { "..###" }, { 0x0002, 0x4003 } },               // ends in ink: the ink run is written
        { { "#.#.#" }, { 0x8001, 0x0001, 0x0001, 0x0001, 0x4001 } },
        { { "#", "." }, { 0xC001, 0x4001 } },              // one pixel wide
        { { ".#..#", "#####", "....." }, { 0x0001, 0x0001, 0x0002, 0x4001, 0xC005, 0x4005 } },
    };
    for (auto &c : cases) {
        INFO(c.rows[0]);
        CHECK(rle(c.rows) == c.codes);
    }
}

TEST_CASE("one-bit glyphs: wide rows keep every ink run", "[glyph]")
{
    // 40 pixels: rows span two 32-bit words of padding.
    std::vector<std::string> rows = {
        "#......................................#",
        "..........#########################..###",
        "........................................",
        "########################################",
    };
    auto codes = rle(rows);
    CHECK(unrle(codes, 40) == rows);
    CHECK(codes.front() == 0x8001);
}

TEST_CASE("one-bit glyphs: output limits and bad arguments", "[glyph][bad]")
{
    std::vector<std::string> rows = { "#.#.#" };   // five codes = 10 bytes
    CHECK(rle(rows, 10).size() == 5);
    CHECK(rle(rows, 9).empty());
    CHECK(rle(rows, 2).empty());
    auto b = bitmap(rows);
    std::vector<WORD> out(8, 0xEEEE);
    CHECK(IP_RLEBitChar(b.data(), 5, 1, out.data(), 8) == 0);
    for (size_t i = 4; i < out.size(); ++i) CHECK(out[i] == 0xEEEE);   // nothing past the limit
    CHECK(IP_RLEBitChar(nullptr, 5, 1, out.data(), 16) == 0);
    CHECK(IP_RLEBitChar(b.data(), 5, 1, nullptr, 16) == 0);
    CHECK(IP_RLEBitChar(b.data(), 0, 1, out.data(), 16) == 0);
    CHECK(IP_RLEBitChar(b.data(), 5, 0, out.data(), 16) == 0);
    CHECK(IP_RLEBitChar(b.data(), 20000, 1, out.data(), 16) == 0);
}

// ---- outlines ----------------------------------------------------------------

namespace {

struct Outline {
    std::vector<BYTE> b;
    size_t header = 0;
    void u32(DWORD v) { for (int i = 0; i < 4; ++i) b.push_back((BYTE)(v >> (8 * i))); }
    void u16(WORD v) { b.push_back((BYTE)v); b.push_back((BYTE)(v >> 8)); }
    void fx(double v) { u32((DWORD)(LONG)(v * 65536.0)); }
    void polygon(double x, double y)
    {
        header = b.size();
        u32(0);
        u32(24);
        fx(x);
        fx(y);
    }
    void curve(WORD type, const std::vector<std::pair<double, double>> &pts)
    {
        u16(type);
        u16((WORD)pts.size());
        for (auto &p : pts) { fx(p.first); fx(p.second); }
    }
    void close()
    {
        DWORD cb = (DWORD)(b.size() - header);
        for (int i = 0; i < 4; ++i) b[header + i] = (BYTE)(cb >> (8 * i));
    }
};

std::vector<std::string> render(const Outline &o, LONG box[4])
{
    std::vector<WORD> out(4096);
    LONG n = TrueTypeToRLE(o.b.data(), (LONG)o.b.size(), out.data(), 8192, box);
    if (n <= 0) return {};
    out.resize((size_t)n / 2);
    return unrle(out, (size_t)box[2]);
}

}  // namespace

TEST_CASE("outlines: a square with a square hole, sampled at pixel centres", "[glyph]")
{
    Outline o;
    o.polygon(1, 1);   // outer, counter-clockwise
    o.curve(1, { { 7, 1 }, { 7, 6 }, { 1, 6 } });
    o.close();
    o.polygon(3, 2);   // inner, clockwise: a hole under the non-zero rule
    o.curve(1, { { 3, 4 }, { 5, 4 }, { 5, 2 } });
    o.close();
    LONG box[4] = {};
    auto rows = render(o, box);
    CHECK(box[0] == 1);
    CHECK(box[1] == 6);
    CHECK(box[2] == 6);
    CHECK(box[3] == 5);
    std::vector<std::string> want = {
        "######",
        "######",
        "##..##",
        "##..##",
        "######",
    };
    CHECK(rows == want);
}

TEST_CASE("outlines: a triangle and a quadratic arc", "[glyph]")
{
    Outline t;
    t.polygon(0, 0);
    t.curve(1, { { 8, 0 }, { 0, 8 } });
    t.close();
    LONG box[4] = {};
    auto rows = render(t, box);
    REQUIRE(rows.size() == 8);
    // Row r (from the top) has its centre at y = 7.5 - r: ink where x + 0.5 < 8 - y.
    for (int r = 0; r < 8; ++r) {
        double y = 7.5 - r;
        std::string want;
        for (int x = 0; x < 8; ++x) want += (x + 0.5 < 8 - y) ? '#' : '.';
        CHECK(rows[r] == want);
    }
    // A bulge to the right: the spline's middle lies right of the chord.
    Outline q;
    q.polygon(0, 0);
    q.curve(1, { { 0, 0 } });
    q.curve(2, { { 8, 4 }, { 0, 8 } });
    q.close();
    auto arc = render(q, box);
    REQUIRE(arc.size() == 8);
    CHECK(box[2] == 8);   // control point widens the box
    CHECK(arc[3].substr(0, 4) == "####");
    CHECK(arc[0][0] == '#');
}

TEST_CASE("outlines: malformed buffers and limits", "[glyph][bad]")
{
    Outline o;
    o.polygon(0, 0);
    o.curve(1, { { 4, 0 }, { 4, 4 }, { 0, 4 } });
    o.close();
    std::vector<WORD> out(64);
    LONG box[4];
    CHECK(TrueTypeToRLE(o.b.data(), (LONG)o.b.size(), out.data(), 128, box) > 0);
    CHECK(TrueTypeToRLE(nullptr, 64, out.data(), 128, box) == 0);
    CHECK(TrueTypeToRLE(o.b.data(), (LONG)o.b.size(), nullptr, 128, box) == 0);
    CHECK(TrueTypeToRLE(o.b.data(), (LONG)o.b.size(), out.data(), 4, box) == 0);   // output too small
    for (size_t n = 1; n < o.b.size(); ++n) {
        std::vector<BYTE> cut(o.b.begin(), o.b.begin() + n);
        CHECK(TrueTypeToRLE(cut.data(), (LONG)n, out.data(), 128, box) == 0);
    }
    // A curve record that claims more points than its polygon holds.
    auto bad = o.b;
    bad[18] = 200;
    CHECK(TrueTypeToRLE(bad.data(), (LONG)bad.size(), out.data(), 128, box) == 0);
    // A header byte count below its own size would never advance.
    auto zero = o.b;
    zero[0] = 4;
    CHECK(TrueTypeToRLE(zero.data(), (LONG)zero.size(), out.data(), 128, box) == 0);
    // A huge box is refused rather than allocated.
    Outline big;
    big.polygon(0, 0);
    big.curve(1, { { 30000, 0 }, { 0, 20 } });
    big.close();
    CHECK(TrueTypeToRLE(big.b.data(), (LONG)big.b.size(), out.data(), 128, box) == 0);
}

// ---- real glyphs of the platform's font engine -------------------------------------

namespace {

struct FontDC {
    HDC dc = nullptr;
    HFONT font = nullptr, old = nullptr;
    FontDC(int height)
    {
        dc = CreateCompatibleDC(nullptr);
        LOGFONTA lf = {};
        lf.lfHeight = -height;
        lf.lfWeight = FW_NORMAL;
        lf.lfQuality = NONANTIALIASED_QUALITY;
        lstrcpyA(lf.lfFaceName, "Tahoma");
        font = CreateFontIndirectA(&lf);
        if (dc && font) old = (HFONT)SelectObject(dc, font);
    }
    ~FontDC()
    {
        if (old) SelectObject(dc, old);
        if (font) DeleteObject(font);
        if (dc) DeleteDC(dc);
    }
};

}  // namespace

TEST_CASE("real glyphs: one-bit glyph rows and outlines of the same letters agree", "[glyph]")
{
    FontDC f(40);
    REQUIRE(f.dc);
    const MAT2 identity = { { 0, 1 }, { 0, 0 }, { 0, 0 }, { 0, 1 } };
    int compared = 0;
    for (char ch : { 'O', 'A', 'g', '8' }) {
        INFO("letter " << ch);
        GLYPHMETRICS gm, gmNative;   // the bitmap's own metrics
        DWORD bmSize = GetGlyphOutlineA(f.dc, (BYTE)ch, GGO_BITMAP, &gm, 0, nullptr, &identity);
        DWORD olSize = GetGlyphOutlineA(f.dc, (BYTE)ch, GGO_NATIVE, &gmNative, 0, nullptr, &identity);
        if (bmSize == GDI_ERROR || olSize == GDI_ERROR || !bmSize || !olSize) {
            WARN("no glyph for " << ch << " from the font engine");
            continue;
        }
        std::vector<BYTE> bits(bmSize), outline(olSize);
        REQUIRE(GetGlyphOutlineA(f.dc, (BYTE)ch, GGO_BITMAP, &gm, bmSize, bits.data(), &identity) != GDI_ERROR);
        REQUIRE(GetGlyphOutlineA(f.dc, (BYTE)ch, GGO_NATIVE, &gmNative, olSize, outline.data(), &identity) != GDI_ERROR);
        LONG w = (LONG)gm.gmBlackBoxX, h = (LONG)gm.gmBlackBoxY;
        std::vector<std::string> rows;
        LONG stride = ((w + 31) / 32) * 4;
        for (LONG y = 0; y < h; ++y) {
            std::string r;
            for (LONG x = 0; x < w; ++x) r += (bits[(size_t)y * stride + x / 8] & (0x80 >> (x % 8))) ? '#' : '.';
            rows.push_back(r);
        }
        // The run-length rows of the bitmap read back as the bitmap.
        std::vector<WORD> codes(8192);
        LONG n = IP_RLEBitChar(bits.data(), w, h, codes.data(), 16384);
        REQUIRE(n > 0);
        codes.resize((size_t)n / 2);
        CHECK(unrle(codes, (size_t)w) == rows);

        // The outline scan-converted lands on (nearly) the same pixels.
        std::vector<WORD> oc(8192);
        LONG box[4] = {};
        LONG m = TrueTypeToRLE(outline.data(), (LONG)olSize, oc.data(), 16384, box);
        REQUIRE(m > 0);
        oc.resize((size_t)m / 2);
        auto orows = unrle(oc, (size_t)box[2]);
        REQUIRE((LONG)orows.size() == box[3]);
        // The font engine's bitmap is grid-fitted, the outline is not: thin
        // strokes may land a pixel apart, so up to a fifth of the ink may
        // differ (best of the shifts by up to one pixel).
        auto fromBitmap = [&](LONG X, LONG Y) { return X >= 0 && Y >= 0 && X < w && Y < h && rows[Y][X] == '#'; };
        int ink = 0, differ = 1 << 30;
        for (LONG dy = -1; dy <= 1; ++dy)
            for (LONG dx = -1; dx <= 1; ++dx) {
                int in = 0, d = 0;
                for (LONG y = -2; y < h + 2; ++y)
                    for (LONG x = -2; x < w + 2; ++x) {
                        LONG ox = x + gm.gmptGlyphOrigin.x - box[0] + dx, oy = y + box[1] - gm.gmptGlyphOrigin.y + dy;
                        bool b = fromBitmap(x, y);
                        bool o = ox >= 0 && oy >= 0 && ox < box[2] && oy < box[3] && orows[oy][ox] == '#';
                        in += b;
                        d += b != o;
                    }
                ink = in;
                differ = (std::min)(differ, d);
            }
        CHECK(ink > 50);
        CHECK(differ * 5 <= ink);
        ++compared;
    }
    if (!compared) WARN("the font engine gave no glyphs: nothing compared");
}
