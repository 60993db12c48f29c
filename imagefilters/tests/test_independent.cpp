// Every reader against files written by an independent encoder: the ffmpeg
// tool writes each variant it offers (depths, palettes, compressions, odd
// sizes), our conversion reads it into a 32-bit bitmap, and the pixels must
// be the tool's own decoding of the same file.  Variants the readers do not
// take must be refused with their result code, never decoded wrongly.
#include <catch2/catch.hpp>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ff_tool.h"
#include "fx_helpers.h"
#include "registry.h"

namespace {

// The filters this program reads through, linked in by reference.
const FxEnumFormats kFilters[] = {BMPEnumReadFormats, GIFEnumReadFormats, TIFEnumReadFormats,
                                  TGAEnumReadFormats, PCXEnumReadFormats};

struct Variant {
    const char* file;      // name: its extension picks the reader
    const char* options;   // the tool's encoder options
    int result;            // 0: decodes to the tool's pixels; else the conversion's result
    int tolerance;         // per channel (16-bit colours widen differently)
};

// The variant table (also in imagefilters/README.md).
const Variant kVariants[] = {
    {"v.bmp", "-pix_fmt bgr24", 0, 0},
    {"v.bmp", "-pix_fmt bgra", 0, 0},
    {"v.bmp", "-pix_fmt pal8", 0, 0},
    {"v.bmp", "-pix_fmt rgb8", 0, 0},
    {"v.bmp", "-pix_fmt bgr8", 0, 0},
    {"v.bmp", "-pix_fmt rgb4_byte", 0, 0},
    {"v.bmp", "-pix_fmt bgr4_byte", 0, 0},
    {"v.bmp", "-pix_fmt gray", 0, 0},
    {"v.bmp", "-pix_fmt monob", 0, 0},
    {"v.bmp", "-pix_fmt rgb555le", 0, 7},
    {"v.bmp", "-pix_fmt rgb565le", FX_E_UNSUPPORTED, 0},  // bit fields
    {"v.bmp", "-pix_fmt rgb444le", FX_E_UNSUPPORTED, 0},  // bit fields
    {"v.gif", "-pix_fmt pal8", 0, 0},
    {"v.gif", "-pix_fmt rgb8", 0, 0},
    {"v.gif", "-pix_fmt gray", 0, 0},
    {"v.gif", "-pix_fmt rgb4_byte", 0, 0},
    {"v.tif", "-pix_fmt rgb24 -compression_algo raw", 0, 0},
    {"v.tif", "-pix_fmt rgb24 -compression_algo packbits", 0, 0},
    {"v.tif", "-pix_fmt rgb24 -compression_algo lzw", 0, 0},
    {"v.tif", "-pix_fmt rgba -compression_algo lzw", 0, 0},
    {"v.tif", "-pix_fmt pal8 -compression_algo lzw", 0, 0},
    {"v.tif", "-pix_fmt gray -compression_algo packbits", 0, 0},
    {"v.tif", "-pix_fmt monob -compression_algo raw", 0, 0},
    {"v.tif", "-pix_fmt monow -compression_algo lzw", 0, 0},
    {"v.tif", "-pix_fmt rgb24 -compression_algo deflate", FX_E_UNSUPPORTED, 0},
    {"v.tif", "-pix_fmt rgb48le -compression_algo raw", FX_E_UNSUPPORTED, 0},
    {"v.tif", "-pix_fmt gray16le -compression_algo raw", FX_E_UNSUPPORTED, 0},
    {"v.tif", "-pix_fmt ya8 -compression_algo raw", FX_E_UNSUPPORTED, 0},
    {"v.tif", "-pix_fmt yuv444p -compression_algo raw", FX_E_UNSUPPORTED, 0},
    {"v.tga", "-pix_fmt bgr24 -rle 0", 0, 0},
    {"v.tga", "-pix_fmt bgr24 -rle 1", 0, 0},
    {"v.tga", "-pix_fmt bgra -rle 1", 0, 0},
    {"v.tga", "-pix_fmt rgb555le -rle 0", 0, 7},
    {"v.tga", "-pix_fmt rgb555le -rle 1", 0, 7},
    {"v.tga", "-pix_fmt pal8 -rle 0", 0, 0},
    {"v.tga", "-pix_fmt pal8 -rle 1", 0, 0},
    {"v.tga", "-pix_fmt gray -rle 0", FX_E_UNSUPPORTED, 0},
    {"v.pcx", "-pix_fmt rgb24", 0, 0},
    {"v.pcx", "-pix_fmt pal8", 0, 0},
    {"v.pcx", "-pix_fmt gray", 0, 0},
    {"v.pcx", "-pix_fmt monob", 0, 0},
    {"v.pcx", "-pix_fmt bgr8", 0, 0},
};

struct Outcome {
    int rc = 1;
    int worst = 0;
    int w = 0, h = 0;
};

// Reads `path` through our conversion into a 32-bit DIB and compares it
// with the tool's 32-bit decoding `ref`.
Outcome ReadAndCompare(const std::string& path, const ff_tool::Bytes& ref)
{
    Outcome o;
    ConvertSource s = fxt::source();
    fxt::setPath(s.path, path);
    HGLOBAL dib = nullptr;
    ConvertTarget t = fxt::target();
    t.resultDib = &dib;
    t.depth = 32;
    o.rc = ferrixConvert(&s, &t);
    if (o.rc != 0) return o;
    o.w = s.width;
    o.h = s.height;
    if (ref.size() != size_t(o.w) * o.h * 4) {
        o.worst = 1000;
    } else {
        for (int y = 0; y < o.h; ++y)
            for (int x = 0; x < o.w; ++x) {
                uint32_t p = fxt::dibPixel(dib, x, y);
                const uint8_t* q = &ref[(size_t(y) * o.w + x) * 4];
                for (int c = 0; c < 3; ++c) {
                    int d = std::abs(int((p >> (8 * c)) & 255) - int(q[c]));
                    if (d > o.worst) o.worst = d;
                }
            }
    }
    GlobalFree(dib);
    return o;
}

}  // namespace

TEST_CASE("readers against files written by the ffmpeg tool", "[independent][ffmpeg]")
{
    REQUIRE(kFilters[0]);
    // Every variant at an odd size and at 1 x 1; a larger size (longer runs,
    // several strips) with FERRIX_LONG_TESTS set, as each run of the tool
    // costs a process start.
    struct { int w, h; } sizes[] = {{17, 9}, {1, 1}, {64, 33}};
    const int count = std::getenv("FERRIX_LONG_TESTS") ? 3 : 2;
    for (int k = 0; k < count; ++k) {
        const auto& size = sizes[k];
        // One run of the tool writes every variant, one more decodes them all.
        std::vector<std::string> names, options;
        for (size_t i = 0; i < sizeof kVariants / sizeof kVariants[0]; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "v%02u%s", unsigned(i), std::strrchr(kVariants[i].file, '.'));
            names.push_back(name);
            options.push_back(kVariants[i].options);
        }
        std::vector<std::string> paths = ff_tool::MakeMany(names, options, size.w, size.h);
        std::vector<std::string> written;
        for (auto& p : paths)
            if (!p.empty()) written.push_back(p);
        std::vector<ff_tool::Bytes> refs = ff_tool::DecodeMany(written, "bgra");
        size_t next = 0;
        for (size_t i = 0; i < paths.size(); ++i) {
            const Variant& v = kVariants[i];
            INFO(v.file << " " << v.options << " at " << size.w << " x " << size.h);
            if (paths[i].empty()) {
                // The tool itself could not write this variant at this size.
                WARN("the ffmpeg tool did not write " << v.file << " " << v.options);
                continue;
            }
            Outcome o = ReadAndCompare(paths[i], refs[next++]);
            DeleteFileA(paths[i].c_str());
            CHECK(o.rc == v.result);
            if (o.rc == 0 && v.result == 0) {
                CHECK(o.w == size.w);
                CHECK(o.h == size.h);
                CHECK(o.worst <= v.tolerance);
            }
        }
    }
}
