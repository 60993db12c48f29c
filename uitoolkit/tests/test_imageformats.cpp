/* Format lists of the image dialogs. */
#include <catch2/catch.hpp>

#include "imageformats.h"
#include "tundrix32.h"

#include <cstring>

namespace {

FormatRecord Read(const char *name, uint16_t id, const char *exts, size_t exts_len, uint32_t form = FX_RECORD_FORM,
                  uint16_t depth = FX_DEPTH_ALL)
{
    FormatRecord r = {};
    r.form = form;
    strncpy(r.name, name, sizeof r.name);
    r.formatId = id;
    r.depthMask = depth;
    memcpy(r.u.read.extensions, exts, exts_len);
    return r;
}
#define REC(name, id, exts, ...) Read(name, id, exts, sizeof(exts), ##__VA_ARGS__)

std::vector<std::string> Pieces(const std::string &text)
{
    std::vector<std::string> out;
    size_t i = 0;
    while (i < text.size() && text[i]) {
        size_t n = strlen(text.c_str() + i);
        out.emplace_back(text.c_str() + i, n);
        i += n + 1;
    }
    return out;
}

}  // namespace

TEST_CASE("Image filter text from format records", "[imageformats]")
{
    std::vector<FormatRecord> all = {
        REC("TIFF", 5, "TIF\0TIFF\0"),
        REC("Bitmap", 1, "BMP\0RLE\0"),
        REC("Other TIFF", 9, "tif\0"),
        REC("Old form", 3, "OLD\0", 0x01000200u),
        REC("Targa", 2, "TGA\0VDA\0", FX_RECORD_FORM | 3),
        REC("Half", 4, "HLF\0", FX_RECORD_FORM | 1),
        REC("Mono only", 6, "MON\0", FX_RECORD_FORM, FX_DEPTH_1),
    };
    std::vector<FormatRecord> usable = UsableFormats(all, 0);
    std::vector<std::string> names;
    for (const auto &r : usable) names.push_back(r.name);
    /* Sorted by name; old forms and half capabilities never appear. */
    CHECK(names == std::vector<std::string>{"Bitmap", "Mono only", "Other TIFF", "TIFF", "Targa"});
    CHECK(UsableFormats(all, FX_DEPTH_24).size() == 4);

    std::string text = ImageFilterText(usable, true, nullptr);
    CHECK(text.size() >= 2);
    CHECK(text.substr(text.size() - 2) == std::string(2, '\0'));
    std::vector<std::string> p = Pieces(text);
    REQUIRE(p.size() == 12);
    CHECK(p[0] == "All Formats");
    /* Each extension once ("tif" is shared), ordered by first letter. */
    CHECK(p[1] == "*.bmp;*.mon;*.rle;*.tif;*.tiff;*.tga;*.vda");
    CHECK(p[2] == "Bitmap, (*.bmp;*.rle)");
    CHECK(p[3] == "*.bmp;*.rle");
    CHECK(p[6] == "Other TIFF, (*.tif)");
    CHECK(p[8] == "TIFF, (*.tif;*.tiff)");
    CHECK(p[9] == "*.tif;*.tiff");

    const char *required[] = {"PNG", "bmp", nullptr};
    CHECK(Pieces(ImageFilterText(usable, true, required))[1] == "*.bmp;*.mon;*.png;*.rle;*.tif;*.tiff;*.tga;*.vda");
    /* The save dialog lists the formats alone. */
    CHECK(Pieces(ImageFilterText({}, false, nullptr)).empty());
}

TEST_CASE("Extension lists never run past their field", "[imageformats]")
{
    FormatRecord r = {};
    r.form = FX_RECORD_FORM;
    memset(r.u.read.extensions, 'A', sizeof r.u.read.extensions);
    auto exts = FormatExtensions(r, true);
    REQUIRE(exts.size() == 1);
    CHECK(exts[0].size() == sizeof r.u.read.extensions);
}

TEST_CASE("Type2GFW finds the wanted writer", "[imageformats]")
{
    FormatRecord want = {};
    want.formatId = 7;
    want.u.write.subFormat = 2;
    FormatRecord other = {}, match = {};
    other.formatId = 7;
    other.u.write.subFormat = 1;
    match.formatId = 7;
    match.u.write.subFormat = 2;
    strcpy(match.name, "Found");
    CHECK(Type2GFW(&other, reinterpret_cast<LPARAM>(&want)) == 1);
    CHECK(Type2GFW(&match, reinterpret_cast<LPARAM>(&want)) == 0);
    CHECK(std::string(want.name) == "Found");
}

TEST_CASE("The image filters' own formats", "[imageformats]")
{
    std::vector<FormatRecord> read = EnumerateImageFormats(true);
    REQUIRE_FALSE(read.empty());
    std::vector<std::string> pieces = Pieces(ImageFilterText(UsableFormats(read, 0), true, nullptr));
    REQUIRE(pieces.size() >= 2);
    CHECK(pieces[0] == "All Formats");
    CHECK(strstr(pieces[1].c_str(), "*.bmp"));
    CHECK(strstr(pieces[1].c_str(), "*.tga"));
    CHECK_FALSE(EnumerateImageFormats(false).empty());
}
