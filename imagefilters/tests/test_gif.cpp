// GIF reader: entry, hand-made files (with a small LZW coder of our own),
// interlacing, extensions, clipping and bad input.
#include <catch2/catch.hpp>

#include <map>

#include "fmt_helpers.h"

using namespace fmt_test;

namespace {

FxReaderOpen ReaderOpen() { return Entry(GIFEnumReadFormats, 0).u.read.open; }

// LZW coding as GIF does it: codes least significant bit first, the width
// growing when the next code reaches the current limit.
Bytes Lzw(const Bytes& pixels, int minSize)
{
    Bytes data;
    uint32_t acc = 0;
    int have = 0;
    int size = minSize + 1;
    const int clear = 1 << minSize, eoi = clear + 1;
    auto emit = [&](int code) {
        acc |= uint32_t(code) << have;
        have += size;
        while (have >= 8) {
            data.push_back(uint8_t(acc));
            acc >>= 8;
            have -= 8;
        }
    };
    std::map<std::pair<int, int>, int> table;
    int next = clear + 2;
    emit(clear);
    int cur = -1;
    for (uint8_t p : pixels) {
        if (cur < 0) {
            cur = p;
            continue;
        }
        auto it = table.find({cur, p});
        if (it != table.end()) {
            cur = it->second;
            continue;
        }
        emit(cur);
        if (next >= (1 << size) && size < 12) ++size;  // the decoder widens after the same code
        if (next < 4096) {
            table[{cur, p}] = next++;
        } else {
            emit(clear);
            table.clear();
            next = clear + 2;
            size = minSize + 1;
        }
        cur = p;
    }
    if (cur >= 0) {
        emit(cur);
        if (next >= (1 << size) && size < 12) ++size;
    }
    emit(eoi);
    if (have) data.push_back(uint8_t(acc));
    // Into sub-blocks of up to 255 bytes.
    Bytes out;
    Put8(out, minSize);
    for (size_t i = 0; i < data.size(); i += 255) {
        size_t n = std::min<size_t>(255, data.size() - i);
        Put8(out, uint32_t(n));
        out.insert(out.end(), data.begin() + i, data.begin() + i + n);
    }
    Put8(out, 0);
    return out;
}

Bytes Screen(int w, int h, bool global = true, int bits = 2, const char* sig = "GIF89a")
{
    Bytes b;
    Str(b, sig);
    Le16(b, w);
    Le16(b, h);
    Put8(b, (global ? 0x80 : 0) | (bits - 1));
    Put8(b, 0);
    Put8(b, 0);
    if (global)
        for (int i = 0; i < (1 << bits); ++i) {
            Put8(b, 10 * i);
            Put8(b, 20 * i);
            Put8(b, 30 * i);
        }
    return b;
}

Bytes Image(int left, int top, int w, int h, const Bytes& pixels, int minSize = 2, int flags = 0)
{
    Bytes b;
    Put8(b, 0x2C);
    Le16(b, left);
    Le16(b, top);
    Le16(b, w);
    Le16(b, h);
    Put8(b, flags);
    if (flags & 0x80)
        for (int i = 0; i < (3 << ((flags & 7) + 1)); ++i) Put8(b, 0xEE);
    Append(b, Lzw(pixels, minSize));
    return b;
}

// Image rows top first, from the decoded buffer (rows counted from the bottom).
std::vector<Bytes> TopDown(const Decoded& d, int width)
{
    std::vector<Bytes> rows;
    for (auto it = d.rows.rbegin(); it != d.rows.rend(); ++it) rows.emplace_back(it->begin(), it->begin() + width);
    return rows;
}

Bytes Row(std::initializer_list<int> v)
{
    Bytes r;
    for (int x : v) r.push_back(uint8_t(x));
    return r;
}

}  // namespace

TEST_CASE("GIF entry", "[gif]")
{
    int left = -5;
    FormatRecord r = Entry(GIFEnumReadFormats, 0, &left);
    CHECK(left == 0);
    CHECK(std::string(r.name) == "GIF Compuserve");
    CHECK(r.formatId == 6);
    CHECK(r.depthMask == 0x88);
    CHECK(r.u.read.probe != 0);
    CHECK(std::memcmp(r.u.read.extensions, "GIF\0\0", 5) == 0);
    CHECK(GIFEnumReadFormats(1, &r) == -1);
}

TEST_CASE("GIF reader: hand-made files", "[gif]")
{
    SECTION("a 5 x 3 image: geometry, palette and pixels; rows of 8 bytes")
    {
        Bytes px;
        for (int i = 0; i < 15; ++i) px.push_back(uint8_t(i % 4 == 3 ? 0 : i % 4));
        Bytes b = Screen(5, 3);
        Append(b, Image(0, 0, 5, 3, px));
        Put8(b, 0x3B);
        Decoded d = Decode(ReaderOpen(), b);
        REQUIRE(d.openRc == 0);
        REQUIRE(d.rc == 0);
        CHECK(d.s.width == 5);
        CHECK(d.s.height == 3);
        CHECK(d.s.depth == 8);
        CHECK(d.s.bytesPerRow == 8);
        CHECK(d.s.paletteCount == 256);
        CHECK(d.s.formatId == 6);
        REQUIRE(d.palette.size() == 256);
        CHECK((d.palette[2].rgbRed == 20 && d.palette[2].rgbGreen == 40 && d.palette[2].rgbBlue == 60));
        CHECK(d.palette[4].rgbRed == 0);
        auto rows = TopDown(d, 5);
        CHECK(rows[0] == Bytes(px.begin(), px.begin() + 5));
        CHECK(rows[2] == Bytes(px.begin() + 10, px.end()));
    }
    SECTION("long runs exercise the string codes and the growing code width")
    {
        const int w = 64, h = 64;
        Bytes px(w * h);
        for (int i = 0; i < w * h; ++i) px[i] = uint8_t((i / 7 + i / 200) & 15);
        Bytes b = Screen(w, h, true, 4);
        Append(b, Image(0, 0, w, h, px, 4));
        Decoded d = Decode(ReaderOpen(), b);
        REQUIRE(d.rc == 0);
        auto rows = TopDown(d, w);
        bool same = true;
        for (int y = 0; y < h; ++y) same = same && rows[y] == Bytes(px.begin() + y * w, px.begin() + (y + 1) * w);
        CHECK(same);
    }
    SECTION("an interlaced image of 10 rows is placed 0, 8, 4, 2, 6, 1, 3, 5, 7, 9")
    {
        Bytes px;
        for (int i = 0; i < 10; ++i) px.push_back(uint8_t(i));  // stream row i holds value i
        Bytes b = Screen(1, 10, true, 4);
        Append(b, Image(0, 0, 1, 10, px, 4, 0x40));
        Decoded d = Decode(ReaderOpen(), b);
        REQUIRE(d.rc == 0);
        auto rows = TopDown(d, 1);
        const int order[10] = {0, 8, 4, 2, 6, 1, 3, 5, 7, 9};
        for (int i = 0; i < 10; ++i) CHECK(rows[order[i]][0] == i);
    }
    SECTION("extension blocks before the image read the same")
    {
        Bytes px = Row({1, 2, 3, 1});
        Bytes plain = Screen(2, 2);
        Append(plain, Image(0, 0, 2, 2, px));
        Bytes ext = Screen(2, 2);
        Append(ext, Row({0x21, 0xF9, 4, 0, 0, 0, 2, 0}));            // graphic control, no transparency
        Append(ext, Row({0x21, 0xFE, 3, 'a', 'b', 'c', 2, 'd', 'e', 0}));  // comment in two sub-blocks
        Append(ext, Image(0, 0, 2, 2, px, 2));
        Decoded a = Decode(ReaderOpen(), plain), e = Decode(ReaderOpen(), ext);
        REQUIRE(a.rc == 0);
        REQUIRE(e.rc == 0);
        CHECK(a.rows == e.rows);
        CHECK(a.palette[3].rgbBlue == e.palette[3].rgbBlue);
        CHECK(a.s.transparent == 0);
        CHECK(e.s.transparent == 0);
    }
    SECTION("a local colour table is the palette; the graphic control's transparent index is reported")
    {
        // Global: grey steps; local: red, green, blue, yellow; index 2 transparent.
        Bytes b = Screen(2, 2);
        Append(b, Row({0x21, 0xF9, 4, 1, 0, 0, 2, 0}));
        Bytes image = Row({0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0x81});
        Append(image, Row({255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 0}));
        Append(image, Lzw(Row({0, 1, 2, 3}), 2));
        Append(b, image);
        Put8(b, 0x3B);
        Decoded d = Decode(ReaderOpen(), b);
        REQUIRE(d.openRc == 0);
        REQUIRE(d.rc == 0);
        CHECK(d.s.transparent == 3);
        REQUIRE(d.palette.size() == 256);
        CHECK((d.palette[0].rgbRed == 255 && d.palette[0].rgbGreen == 0 && d.palette[0].rgbBlue == 0));
        CHECK((d.palette[1].rgbRed == 0 && d.palette[1].rgbGreen == 255 && d.palette[1].rgbBlue == 0));
        CHECK((d.palette[3].rgbRed == 255 && d.palette[3].rgbGreen == 255 && d.palette[3].rgbBlue == 0));
        CHECK(TopDown(d, 2)[1] == Row({2, 3}));
        // A local table cut short by the end of the file is a read error.
        Bytes cut = Screen(2, 2);
        Append(cut, Row({0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0x81, 255, 0}));
        Decoded c = Decode(ReaderOpen(), cut);
        CHECK(c.openRc == 0);
        CHECK(c.rc == FX_E_READ);
    }
    SECTION("an image placed past the screen is clipped, never written outside the buffer")
    {
        Bytes px(16, 3);
        Bytes b = Screen(3, 3);
        Append(b, Image(1, 1, 4, 4, px));
        Decoded d = Decode(ReaderOpen(), b);
        REQUIRE(d.rc == 0);
        auto rows = TopDown(d, 4);  // 4 = the whole padded row
        CHECK(rows[0] == Row({0, 0, 0, 0}));
        CHECK(rows[1] == Row({0, 3, 3, 0}));
        CHECK(rows[2] == Row({0, 3, 3, 0}));
    }
    SECTION("a screen of 4096 x 4096 is still read")
    {
        Bytes b = Screen(4096, 4096);
        Append(b, Image(0, 0, 2, 1, Bytes(2, 1)));
        Decoded d = Decode(ReaderOpen(), b);
        REQUIRE(d.openRc == 0);
        CHECK(d.rc == 0);
        CHECK(d.s.width == 4096);
    }
    SECTION("no global table: a default palette of the colour bits")
    {
        Bytes b = Screen(1, 1, false, 1);
        Append(b, Image(0, 0, 1, 1, Row({1})));
        Decoded d = Decode(ReaderOpen(), b);
        REQUIRE(d.rc == 0);
        CHECK(d.palette[1].rgbRed == 255);
        CHECK(TopDown(d, 1)[0][0] == 1);
    }
}

TEST_CASE("GIF reader: bad input", "[gif]")
{
    Bytes good = Screen(4, 4);
    Append(good, Image(0, 0, 4, 4, Bytes(16, 1)));
    struct { const char* what; Bytes data; int openRc, rc; } cases[] = {
        {"short header", Bytes(good.begin(), good.begin() + 12), FX_E_READ, 0},
        {"another version", [] { Bytes b = Screen(1, 1); b[4] = '8'; return b; }(), FX_E_UNSUPPORTED, 0},
        {"not a GIF", [] { Bytes b = Screen(1, 1); b[0] = 'J'; return b; }(), FX_E_FORMAT, 0},
        {"zero screen", Screen(0, 4), FX_E_UNSUPPORTED, 0},
        // The whole screen is allocated: a damaged header may not ask for 65 million pixels.
        {"screen of 1000 x 65283", [] { Bytes b = Screen(1000, 65283); Append(b, Image(0, 0, 1, 1, Bytes(1, 1))); return b; }(), FX_E_UNSUPPORTED, 0},
        {"screen of 4097 x 4096", Screen(4097, 4096), FX_E_UNSUPPORTED, 0},
        {"short palette", Bytes(good.begin(), good.begin() + 16), 0, FX_E_READ},
        {"truncated image data", Bytes(good.begin(), good.end() - 3), 0, FX_E_READ},
        {"truncated descriptor", Bytes(good.begin(), good.begin() + 13 + 12 + 5), 0, FX_E_READ},
        {"code size 12", [] { Bytes b = Screen(2, 2); Append(b, Row({0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0, 12, 1, 0, 0})); return b; }(), 0, FX_E_FORMAT},
        // clear (4), then code 7 with an empty table
        {"code past the table", [] { Bytes b = Screen(2, 2); Append(b, Row({0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0, 2, 1, 0x3C, 0})); return b; }(), 0, FX_E_FORMAT},
        {"truncated extension", [] { Bytes b = Screen(2, 2); Append(b, Row({0x21, 0xFE, 9, 1})); return b; }(), 0, FX_E_READ},
    };
    for (auto& c : cases) {
        INFO(c.what);
        Decoded d = Decode(ReaderOpen(), c.data);
        CHECK(d.openRc == c.openRc);
        if (d.openRc == 0) CHECK(d.rc == c.rc);
    }
}

TEST_CASE("GIF through ferrixConvert: local colours and a transparent colour in a 32-bit picture", "[gif][convert]")
{
    Bytes b = Screen(3, 2);
    Append(b, Row({0x21, 0xF9, 4, 1, 0, 0, 2, 0}));
    Bytes image = Row({0x2C, 0, 0, 0, 0, 3, 0, 2, 0, 0x81});
    Append(image, Row({255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 0}));
    Append(image, Lzw(Row({0, 1, 2, 3, 2, 0}), 2));
    Append(b, image);
    Put8(b, 0x3B);
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    const std::string path = std::string(dir) + "local_table.gif";
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    REQUIRE(f != INVALID_HANDLE_VALUE);
    DWORD n = 0;
    WriteFile(f, b.data(), DWORD(b.size()), &n, nullptr);
    CloseHandle(f);

    ConvertSource s;
    std::memset(&s, 0, sizeof s);
    s.version = FX_REQUEST_VERSION;
    std::strncpy(s.path, path.c_str(), 259);
    HGLOBAL dib = nullptr;
    ConvertTarget t;
    std::memset(&t, 0, sizeof t);
    t.version = FX_REQUEST_VERSION;
    t.resultDib = &dib;
    t.depth = 32;
    REQUIRE(ferrixConvert(&s, &t) == 0);
    REQUIRE(dib);
    const BYTE* p = static_cast<const BYTE*>(GlobalLock(dib));
    const BITMAPINFOHEADER* bi = reinterpret_cast<const BITMAPINFOHEADER*>(p);
    REQUIRE(bi->biBitCount == 32);
    REQUIRE(bi->biWidth == 3);
    const uint32_t* px = reinterpret_cast<const uint32_t*>(p + bi->biSize + bi->biClrUsed * 4);
    auto at = [&](int x, int y) { return px[(bi->biHeight > 0 ? 1 - y : y) * 3 + x]; };
    // 0xAARRGGBB: red, green, transparent blue / yellow, transparent, red.
    CHECK(at(0, 0) == 0xFFFF0000u);
    CHECK(at(1, 0) == 0xFF00FF00u);
    CHECK(at(2, 0) == 0x000000FFu);
    CHECK(at(0, 1) == 0xFFFFFF00u);
    CHECK(at(1, 1) == 0x000000FFu);
    CHECK(at(2, 1) == 0xFFFF0000u);
    GlobalUnlock(dib);
    GlobalFree(dib);
    CHECK(s.transparent == 3);
    DeleteFileA(path.c_str());
}
