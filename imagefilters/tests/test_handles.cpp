// Image handle API: write 32-bit rows to a file, open it again (by path and
// from memory), read the whole image, columns and rows, and the caller's
// buffer rules.
#include <catch2/catch.hpp>
#include "fx_helpers.h"
#include "registry.h"

using namespace fxt;

namespace {

// The Targa and FLC filters are referenced here so that this program links them in.
const FxEnumFormats kTarga[] = { TGAEnumReadFormats, TGAEnumWriteFormats };
const FxEnumFormats kFlc[] = { FLCEnumReadFormats };

uint32_t pixel(int x, int y) { return 0xFF000000u | (uint32_t)(x * 20) << 16 | (uint32_t)(y * 30) << 8 | 7u; }

std::vector<DWORD> image(int w, int h)
{
    std::vector<DWORD> px((size_t)w * h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) px[(size_t)y * w + x] = pixel(x, y);
    return px;
}

}  // namespace

TEST_CASE("handle round trip through a file", "[handles]")
{
    REQUIRE(kTarga[0]);
    std::string path = tempFile("fx_handles.tga");
    DeleteFileA(path.c_str());
    const int w = 5, h = 4;
    auto px = image(w, h);

    FxImage *out = intCreate(path.c_str(), 0);
    REQUIRE(out);
    REQUIRE(intWriteData(out, px.data(), w * 4, 0, w, h, 0) == w * h * 4);
    size_t once = readFile(path).size();
    CHECK(once > (size_t)w * h * 4);
    // A second write appends instead of truncating.
    REQUIRE(intWriteData(out, px.data(), w * 4, 0, w, h, 0) == w * h * 4);
    CHECK(readFile(path).size() == 2 * once);
    CHECK(intClose(out) == 0);

    FxImageInfo info;
    memset(&info, 0, sizeof(info));
    info.size = sizeof(info);
    FxImage *in = intOpen(path.c_str(), &info);
    REQUIRE(in);
    CHECK(info.width == (uint32_t)w);
    CHECK(info.height == (uint32_t)h);
    CHECK(info.depth == 32);
    CHECK(info.kind == 2);
    CHECK(info.imageBytes == (uint32_t)(w * h * 4));
    CHECK(info.version == 0);   // the caller's first two words are its own

    SECTION("mode 0 copies at most the 56-byte block")
    {
        BYTE buf[100];
        memset(buf, 0xEE, sizeof(buf));
        CHECK(intReadData(in, 0, 0, buf, 0, 0, 0, 0, 0) == 56);
        CHECK(intReadData(in, 0, 0, buf, 0, 100, 0, 0, 0) == 56);
        FxImageInfo copy;
        memcpy(&copy, buf, 56);
        CHECK(copy.version == 3);
        CHECK(copy.size == 56);
        CHECK(copy.width == (uint32_t)w);
        CHECK(buf[56] == 0xEE);
        CHECK(intReadData(in, 0, 0, buf, 0, 8, 0, 0, 0) == 8);
    }
    SECTION("mode 2: the whole image, top-down or bottom-up")
    {
        CHECK(intReadData(in, 2, 0, nullptr, w * 4, 0, w, h, 0xF0) == w * h * 4);
        for (DWORD flags : { 0xF0u, 0xF4u }) {
            std::vector<DWORD> buf((size_t)w * h, 0);
            REQUIRE(intReadData(in, 2, 0, buf.data(), w * 4, w * h * 4, w, h, flags) == h * w * 4);
            for (int y = 0; y < h; y++)
                for (int x = 0; x < w; x++) {
                    int row = (flags & 4) ? h - 1 - y : y;
                    CHECK(buf[(size_t)row * w + x] == pixel(x, y));
                }
        }
    }
    SECTION("mode 2 keeps the aspect inside a larger frame")
    {
        std::vector<DWORD> buf((size_t)10 * 4, 0);
        intSetFillColor(in, 0xFF0000FF);
        REQUIRE(intReadData(in, 2, 0, buf.data(), 40, 160, 10, 4, 0x100) > 0);
        // A 5 x 4 image kept at 5 x 4 and centred in 10 x 4 at column
        // 10 / 2 - 5 / 2 = 3; the rest filled.
        CHECK(buf[0] == 0xFF0000FF);
        CHECK(buf[2] == 0xFF0000FF);
        CHECK(buf[3] == pixel(0, 0));
        CHECK(buf[7] == pixel(4, 0));
        CHECK(buf[8] == 0xFF0000FF);
        CHECK(buf[39] == 0xFF0000FF);
    }
    SECTION("mode 2 with 0x800 fits the image to the given size")
    {
        std::vector<DWORD> buf((size_t)20 * 8, 0);
        intSetFillColor(in, 0xFF0000FF);
        REQUIRE(intReadData(in, 2, 0, buf.data(), 80, 80 * 8, 20, 8, 0x800 | 0x100) > 0);
        // 5 x 4 doubled to 10 x 8 and centred in 20 x 8 at column 5.
        CHECK(buf[4] == 0xFF0000FF);
        CHECK(buf[5] == pixel(0, 0));
        CHECK(buf[14] == pixel(4, 0));
        CHECK(buf[15] == 0xFF0000FF);
        CHECK(buf[(size_t)7 * 20 + 14] == pixel(4, 3));
    }
    SECTION("mode 3 columns and mode 4 rows")
    {
        std::vector<DWORD> cols((size_t)2 * h, 0);
        REQUIRE(intReadData(in, 3, 1, cols.data(), 8, 8 * h, 2, 0, 0) == h * 8);
        for (int y = 0; y < h; y++) {
            CHECK(cols[(size_t)y * 2] == pixel(1, y));
            CHECK(cols[(size_t)y * 2 + 1] == pixel(2, y));
        }
        std::vector<DWORD> rows((size_t)w * 2, 0);
        REQUIRE(intReadData(in, 4, 2, rows.data(), w * 4, w * 8, w, 2, 0) > 0);
        for (int x = 0; x < w; x++) {
            CHECK(rows[x] == pixel(x, 2));
            CHECK(rows[(size_t)w + x] == pixel(x, 3));
        }
    }
    SECTION("a buffer too small for the rows is refused, not overrun")
    {
        std::vector<DWORD> buf((size_t)w * h + 4, 0xABABABAB);
        CHECK(intReadData(in, 2, 0, buf.data(), w * 4, w * h * 4 - 1, w, h, 0xF0) == FX_E_BUFFER);
        CHECK(intReadData(in, 2, 0, buf.data(), w * 4 - 4, w * h * 4, w, h, 0xF0) == FX_E_BUFFER);
        CHECK(intReadData(in, 3, 0, buf.data(), 4, 4 * (h - 1), 1, 0, 0) == FX_E_BUFFER);
        CHECK(buf[0] == 0xABABABAB);
    }
    CHECK(intClose(in) == 0);

    SECTION("memory type 6 reads the bytes as a Targa file")
    {
        auto bytes = readFile(path);
        FxImage *m = intMemoryOpen(bytes.data(), (DWORD)bytes.size(), 6, nullptr);
        REQUIRE(m);
        std::vector<DWORD> buf((size_t)w * h, 0);
        REQUIRE(intReadData(m, 2, 0, buf.data(), w * 4, w * h * 4, w, h, 0xF0) == h * w * 4);
        CHECK(buf[0] == pixel(0, 0));
        CHECK(buf[(size_t)w * h - 1] == pixel(w - 1, h - 1));
        intClose(m);
        // As a BMP (type 5) the same bytes are refused.
        CHECK(intMemoryOpen(bytes.data(), (DWORD)bytes.size(), 5, nullptr) == nullptr);
    }
    DeleteFileA(path.c_str());
}

TEST_CASE("an FLI file is read through a handle", "[handles]")
{
    // The FLI reader reports a format id of its own (11) that no reader is
    // registered under: the handle's reads must still find the reader.
    REQUIRE(kFlc[0]);
    std::vector<BYTE> f(128, 0);
    f[4] = 0x11, f[5] = 0xAF, f[8] = 3, f[10] = 2;   // FLI, 3 x 2
    std::vector<BYTE> chunks;
    auto chunk = [&](uint16_t type, const std::vector<BYTE> &data) {
        uint32_t size = 6 + (uint32_t)data.size();
        for (int i = 0; i < 4; i++) chunks.push_back(BYTE(size >> (8 * i)));
        chunks.push_back(BYTE(type)), chunks.push_back(BYTE(type >> 8));
        chunks.insert(chunks.end(), data.begin(), data.end());
    };
    // 64-level colours: one packet, skip 0, copy 2: (63, 0, 0) and (0, 0, 63).
    chunk(11, { 1, 0, 0, 2, 63, 0, 0, 0, 0, 63 });
    chunk(16, { 0, 1, 0, 1, 1, 0 });               // literal rows
    uint32_t size = 16 + (uint32_t)chunks.size();
    std::vector<BYTE> frame = { BYTE(size), BYTE(size >> 8), 0, 0, 0xFA, 0xF1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0 };
    frame.insert(frame.end(), chunks.begin(), chunks.end());
    f.insert(f.end(), frame.begin(), frame.end());
    std::string path = tempFile("fx_handles.fli");
    writeFile(path, f);

    FxImage *in = intOpen(path.c_str(), nullptr);
    REQUIRE(in);
    DWORD buf[6] = {};
    REQUIRE(intReadData(in, 2, 0, buf, 12, sizeof(buf), 3, 2, 0xF0) == 2 * 12);
    const DWORD red = 0xFF0000, blue = 0x0000FF;
    CHECK((buf[0] & 0xFFFFFF) == red);
    CHECK((buf[1] & 0xFFFFFF) == blue);
    CHECK((buf[2] & 0xFFFFFF) == red);
    CHECK((buf[3] & 0xFFFFFF) == blue);
    CHECK((buf[5] & 0xFFFFFF) == red);
    // Columns and rows read the same way.
    DWORD col[2] = {};
    CHECK(intReadData(in, 3, 1, col, 4, sizeof(col), 1, 0, 0) > 0);
    CHECK((col[0] & 0xFFFFFF) == blue);
    intClose(in);
    DeleteFileA(path.c_str());
}

TEST_CASE("handle API on bad arguments", "[handles]")
{
    CHECK(intOpen(nullptr, nullptr) == nullptr);
    CHECK(intOpen("C:\\no\\such\\file.tga", nullptr) == nullptr);
    CHECK(intCreate(nullptr, 0) == nullptr);
    CHECK(intCreate("", 0) == nullptr);
    CHECK(intClose(nullptr) == 0);
    CHECK(intSetFillColor(nullptr, 0x123) == 0x123);
    CHECK(intReadData(nullptr, 0, 0, nullptr, 0, 0, 0, 0, 0) < 0);
    CHECK(intMemoryOpen(nullptr, 10, 6, nullptr) == nullptr);
    BYTE junk[8] = { 1, 2, 3, 4, 5, 6, 7, 8 };
    CHECK(intMemoryOpen(junk, sizeof(junk), 6, nullptr) == nullptr);
    FxImage *h = intCreate("C:\\no\\such\\folder\\x.tga", 0);
    REQUIRE(h);
    DWORD px[4] = {};
    CHECK(intWriteData(h, px, 8, 0, 2, 2, 0) == -1);
    CHECK(intWriteData(h, nullptr, 8, 0, 2, 2, 0) == -1);
    CHECK(intWriteData(h, px, 4, 0, 2, 2, 0) == -1);   // rows shorter than the width
    intClose(h);
}

TEST_CASE("a crawl's parts are stitched side by side", "[handles][crawl]")
{
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, sizeof(exe));
    std::string bin(exe);
    bin = bin.substr(0, bin.find_last_of('\\'));
    SetEnvironmentVariableA("FERRIX_TESTFILTER", "title");
    fxDiscoverFolder(bin.c_str());
    std::string path = tempFile("fx_crawl.VIS");
    writeFile(path, { 0 });

    FxImageInfo info;
    memset(&info, 0, sizeof(info));
    info.size = sizeof(info);
    FxImage *h = intOpen(path.c_str(), &info);
    REQUIRE(h);
    CHECK(info.kind == 3);
    CHECK(info.frameWidth == 9);   // 2 + 3 + 4
    CHECK(info.frameHeight == 2);
    CHECK(info.frameCount == 3);
    intSetFillColor(h, 0xFFABCDEF);
    auto part = [](int p, int x, int y) { return 0xFF000000u | (uint32_t)p << 16 | (uint32_t)x << 8 | (uint32_t)y; };

    struct Case { int start, width; std::vector<std::pair<int, int>> cols; };   // (part, x) or (-1, fill)
    auto c = GENERATE_REF(
        Case{ 0, 9, { { 0, 0 }, { 0, 1 }, { 1, 0 }, { 1, 1 }, { 1, 2 }, { 2, 0 }, { 2, 1 }, { 2, 2 }, { 2, 3 } } },
        Case{ 3, 4, { { 1, 1 }, { 1, 2 }, { 2, 0 }, { 2, 1 } } },
        Case{ 7, 4, { { 2, 2 }, { 2, 3 }, { -1, 0 }, { -1, 0 } } },
        Case{ 1, 2, { { 0, 1 }, { 1, 0 } } });
    INFO("start " << c.start << " width " << c.width);
    const int rows = 3;   // one row more than the parts: filled
    std::vector<DWORD> buf((size_t)c.width * rows, 0);
    CHECK(intReadData(h, 3, c.start, nullptr, c.width * 4, 0, c.width, rows, 2) == c.width * 4 * rows);
    int copied = intReadData(h, 3, c.start, buf.data(), c.width * 4, (int)buf.size() * 4, c.width, rows, 2);
    int fromParts = 0;
    for (size_t i = 0; i < c.cols.size(); i++) {
        for (int y = 0; y < rows; y++) {
            uint32_t want = (c.cols[i].first < 0 || y == 2) ? 0xFFABCDEF : part(c.cols[i].first, c.cols[i].second, y);
            CHECK(buf[(size_t)y * c.width + i] == want);
        }
        if (c.cols[i].first >= 0) fromParts += 2 * 4;
    }
    CHECK(copied == fromParts);
    intClose(h);
    SetEnvironmentVariableA("FERRIX_TESTFILTER", nullptr);
    fxRegistryReset();
    DeleteFileA(path.c_str());
}

TEST_CASE("a roll's parts are stacked", "[handles][roll]")
{
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, sizeof(exe));
    std::string bin(exe);
    bin = bin.substr(0, bin.find_last_of('\\'));
    SetEnvironmentVariableA("FERRIX_TESTFILTER", "roll");
    fxDiscoverFolder(bin.c_str());
    std::string path = tempFile("fx_roll.vic");
    writeFile(path, { 0 });
    FxImageInfo info;
    memset(&info, 0, sizeof(info));
    info.size = sizeof(info);
    FxImage *h = intOpen(path.c_str(), &info);
    REQUIRE(h);
    CHECK(info.kind == 4);
    CHECK(info.frameHeight == 9);   // 2 + 3 + 4
    CHECK(info.frameWidth == 2);
    intSetFillColor(h, 0xFF00FF00);
    // Rows 1 to 6 of the stitched picture, one column wider than the parts.
    const int w = 3, rows = 6;
    std::vector<DWORD> buf((size_t)w * rows, 0);
    int copied = intReadData(h, 4, 1, buf.data(), w * 4, w * 4 * rows, w, rows, 2);
    CHECK(copied == rows * 2 * 4);
    std::pair<int, int> from[rows] = { { 0, 1 }, { 1, 0 }, { 1, 1 }, { 1, 2 }, { 2, 0 }, { 2, 1 } };
    for (int y = 0; y < rows; y++) {
        for (int x = 0; x < 2; x++)
            CHECK(buf[(size_t)y * w + x] ==
                  (0xFF000000u | (uint32_t)from[y].first << 16 | (uint32_t)x << 8 | (uint32_t)from[y].second));
        CHECK(buf[(size_t)y * w + 2] == 0xFF00FF00);
    }
    // Past the end: the rows are filled.
    std::vector<DWORD> tail((size_t)w * 4, 0);
    intReadData(h, 4, 7, tail.data(), w * 4, w * 4 * 4, w, 4, 2);
    CHECK(tail[(size_t)2 * w] == 0xFF00FF00);
    CHECK(tail[(size_t)3 * w + 1] == 0xFF00FF00);
    CHECK(tail[0] == (0xFF000000u | 2u << 16 | 2u));
    intClose(h);
    SetEnvironmentVariableA("FERRIX_TESTFILTER", nullptr);
    fxRegistryReset();
    DeleteFileA(path.c_str());
}
