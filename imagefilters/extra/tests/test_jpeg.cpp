// The extra filters' JPEG reader over JPEG32.dll (found by name beside the
// program): pictures written by the ffmpeg tool come out as the tool decodes
// them, grey pictures with a grey ramp, bottom-up rows; damaged files fail.
#include <catch2/catch.hpp>

#include <cstdlib>

#include "extra.h"
#include "ff_tool.h"
#include "fmt_helpers.h"
#include "jpeg_write.h"

extern "C" int WINAPI JPEGEnumReadFormats(int, FormatRecord*);
extern "C" int WINAPI JPEGCallBack(int code, void* source, BYTE* buffer, int length);

using namespace fmt_test;

namespace {
FxReaderOpen ReaderOpen() { return Entry(JPEGEnumReadFormats, 0).u.read.open; }

// Mean difference of luma between our bottom-up rows and the tool's top-down
// pixels (3 or 1 bytes each).
double LumaDifference(const Decoded& d, const Bytes& ref, int bpp)
{
    double sum = 0;
    const int w = d.s.width, h = d.s.height;
    if (ref.size() != size_t(w) * h * bpp || d.rows.size() != size_t(h)) return 999;
    for (int y = 0; y < h; ++y) {
        const Bytes& row = d.rows[size_t(h - 1 - y)];
        for (int x = 0; x < w; ++x) {
            const uint8_t* a = &row[size_t(x) * bpp];
            const uint8_t* b = &ref[(size_t(y) * w + x) * bpp];
            int la = bpp == 1 ? a[0] : (a[0] * 29 + a[1] * 150 + a[2] * 77) >> 8;
            int lb = bpp == 1 ? b[0] : (b[0] * 29 + b[1] * 150 + b[2] * 77) >> 8;
            sum += std::abs(la - lb);
        }
    }
    return sum / (double(w) * h);
}
}  // namespace

TEST_CASE("JPEG reader over JPEG32", "[extra][jpeg]")
{
    struct { int w, h; const char* options; const char* pixFmt; int bpp; } cases[] = {
        {96, 64, "-c:v mjpeg -q:v 3 -pix_fmt yuvj420p", "bgr24", 3},
        {17, 9, "-c:v mjpeg -q:v 3 -pix_fmt yuvj444p", "bgr24", 3},
    };
    for (auto& c : cases) {
        INFO(c.w << " x " << c.h);
        std::string path = ff_tool::Make("extra.jpg", c.w, c.h, c.options);
        REQUIRE(!path.empty());
        Bytes file = LoadFile(path);
        Bytes ref = ff_tool::Decode(path, c.pixFmt);
        DeleteFileA(path.c_str());
        Decoded d = Decode(ReaderOpen(), file);
        REQUIRE(d.openRc == 0);
        REQUIRE(d.rc == 0);
        CHECK_FALSE(d.overrun);
        CHECK(d.s.formatId == 9);
        CHECK(d.s.rowOrder == 0x300);
        CHECK(d.s.depth == 24);
        CHECK(d.s.width == c.w);
        CHECK(d.s.height == c.h);
        CHECK(LumaDifference(d, ref, c.bpp) < 1.5);
    }
    SECTION("a grey picture is 8-bit with a grey ramp")
    {
        Bytes px(40 * 30);
        for (size_t i = 0; i < px.size(); ++i) px[i] = uint8_t((i % 40) * 6 + (i / 40));
        std::vector<unsigned char> grey = JpegTestWrite(px.data(), 40, 30, 1, 92, true, 0);
        Decoded d = Decode(ReaderOpen(), Bytes(grey.begin(), grey.end()));
        REQUIRE(d.openRc == 0);
        REQUIRE(d.rc == 0);
        CHECK(d.s.depth == 8);
        REQUIRE(d.palette.size() == 256);
        CHECK(d.palette[200].rgbRed == 200);
        CHECK(d.palette[200].rgbBlue == 200);
        double sum = 0;
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x) sum += std::abs(int(d.rows[size_t(29 - y)][x]) - int(px[size_t(y) * 40 + x]));
        CHECK(sum / 1200 < 3.0);
    }
    SECTION("damaged and foreign files")
    {
        std::string path = ff_tool::Make("extra_cut.jpg", 64, 64, "-c:v mjpeg -q:v 3");
        Bytes file = LoadFile(path);
        DeleteFileA(path.c_str());
        REQUIRE(file.size() > 100);
        Decoded cut = Decode(ReaderOpen(), Bytes(file.begin(), file.begin() + file.size() / 2));
        REQUIRE(cut.openRc == 0);
        CHECK(cut.rc == FX_E_READ);
        CHECK_FALSE(cut.overrun);
        CHECK(Decode(ReaderOpen(), Bytes(300, 0x42)).openRc == FX_E_FORMAT);
        CHECK(Decode(ReaderOpen(), Bytes(file.begin(), file.begin() + 20)).openRc == FX_E_READ);
    }
    SECTION("the callback reads for code 2 only")
    {
        Bytes data = {1, 2, 3, 4, 5};
        BufferedStream* st = bfSetMem(data.data(), 5, 5, 0);
        ConvertSource s;
        std::memset(&s, 0, sizeof s);
        s.stream = st;
        BYTE buf[8] = {};
        CHECK(JPEGCallBack(1, &s, buf, 8) == 0);
        CHECK(JPEGCallBack(2, &s, buf, 3) == 3);
        CHECK(buf[2] == 3);
        CHECK(JPEGCallBack(2, &s, buf, 8) == 2);
        CHECK(JPEGCallBack(2, nullptr, buf, 8) == 0);
        bfDestroy(st);
    }
}
