// Settings of the host section and "Preferences", the cached booleans, and
// the host's video format.
#include <catch2/catch.hpp>

#include "fxhost_host.h"

using namespace fxtest;

TEST_CASE("Boolean and insert texts read as the settings file writes them", "[settings]")
{
    struct Case {
        const char *text;
        int value;
    };
    const Case booleans[] = {{"0x0", 0},   {"no", 1}, {"false", 0}, {"FALSE", 0}, {"TRUE", 1}, {"12", 12},
                             {"010", 8},   {"-1", -1}, {"0x1F", 31}, {"", 1},     {"  0", 0}, {"falsey", 1}};
    for (const Case &c : booleans) {
        INFO("\"" << c.text << "\"");
        CHECK(FxParseBool(c.text) == c.value);
    }
    const Case inserts[] = {{"at", 0}, {"-1", -1}, {"BEFORE", -1}, {"Before", -1}, {"after", 1},
                            {"3", 3},  {"", 0},    {"Aft", 0}};
    for (const Case &c : inserts) {
        INFO("\"" << c.text << "\"");
        CHECK(FxParseInsert(c.text) == c.value);
    }
}

TEST_CASE("An instance reads its host section from the settings file", "[settings]")
{
    TestHost host;  // section "Cubby Test" of the fixture
    REQUIRE(host.Attach() == 1);
    FxInstance *inst = host.Instance();
    REQUIRE(inst);

    struct Setting {
        int number, value;
    };
    const Setting settings[] = {{1, -1}, {2, 2047}, {3, 0}, {4, 1}, {5, 0},  {9, 2},  {10, 0},
                                {11, 12}, {12, 1},  {13, 0}, {14, 10}, {15, 0}, {0, 0}, {-1, 0}};
    for (const Setting &s : settings) {
        INFO("setting " << s.number);
        CHECK(FxReadSetting(inst, s.number) == s.value);
    }
    CHECK(inst->viewSettings == 2047);
    // "Before": neither the after nor the at bit; inverted fields.
    CHECK((inst->displayFlags & (FXDF_INSERT_AFTER | FXDF_INSERT_AT)) == 0);
    CHECK((inst->displayFlags & FXDF_INVERT_FIELDS) != 0);
    // RenderingFlags 6 in "Preferences".
    CHECK((inst->flags & (FXI_RENDER_4 | FXI_RENDER_8)) == (FXI_RENDER_4 | FXI_RENDER_8));
    CHECK((inst->viewFlags & 0xC0000) == 0xC0000);
    CHECK((inst->displayFlags & FXDF_SQUARE_PIXELS) == 0);
    // The default soft border of the new effect.
    CHECK(FxCurrentEffect(inst)->first->head->softness == 12);
    // Crops are read only for the embedding host.
    CHECK(inst->crop[0] == 0.0);
}

TEST_CASE("Missing settings give the defaults", "[settings]")
{
    TestHost host("Nobody Here");
    host.iniPath = WriteIni("empty.ini", "");
    REQUIRE(host.Attach() == 1);
    FxInstance *inst = host.Instance();
    CHECK(FxReadSetting(inst, 1) == 1);  // "After"
    CHECK(FxReadSetting(inst, 2) == 1904);
    CHECK(FxReadSetting(inst, 4) == 0);
    CHECK(FxReadSetting(inst, 11) == 8);
    CHECK(FxReadSetting(inst, 14) == 8);
    CHECK((inst->displayFlags & FXDF_INSERT_AFTER) != 0);
    // RenderingFlags 1 by default: neither rendering flag.
    CHECK((inst->flags & (FXI_RENDER_4 | FXI_RENDER_8)) == 0);
    host.Detach();

    // The embedding host inserts "At" by default.
    TestHost embedded("Nobody Here");
    embedded.iniPath = host.iniPath;
    embedded.Number(0, FX_HOST_EMBEDDED);
    REQUIRE(embedded.Attach() == 1);
    CHECK(FxReadSetting(embedded.Instance(), 1) == 0);
    CHECK((embedded.Instance()->displayFlags & FXDF_INSERT_AT) != 0);
    embedded.Detach();
    DeleteFileA(host.iniPath.c_str());
}

TEST_CASE("Without an answer from the host the settings file lies beside the host's module", "[settings]")
{
    TestHost host;
    host.iniPath.clear();
    REQUIRE(host.Attach() == 1);
    CHECK(host.Instance()->iniPath == BinDir() + "quillon.ini");
    // A long answer is cut to the path's size.
    TestHost longer;
    longer.iniPath = std::string(400, 'x');
    REQUIRE(longer.Attach() == 1);
    CHECK(std::string(longer.Instance()->iniPath) == std::string(259, 'x'));
}

TEST_CASE("The embedding host's crop comes from its section", "[settings]")
{
    TestHost host("Embedded Host");
    host.Number(0, FX_HOST_EMBEDDED);
    REQUIRE(host.Attach() == 1);
    FxInstance *inst = host.Instance();
    CHECK(inst->crop[0] == 1.5);
    CHECK(inst->crop[1] == 2.25);
    CHECK(inst->crop[2] == 0.0);  // not a number
    CHECK(inst->crop[3] == -3.0);
    CHECK(inst->cropMode == 1);
    CHECK((host.lib.flags & 1) == 0);
}

TEST_CASE("The host's video format and its defaults", "[settings][format]")
{
    SECTION("no answer: 720 x 486 at 30 frames, 4:3")
    {
        TestHost host;
        host.answerFormat = false;
        REQUIRE(host.Attach() == 1);
        FxInstance *inst = host.Instance();
        CHECK(inst->frameWidth == 720);
        CHECK(inst->frameHeight == 486);
        CHECK(inst->frameRate == 30);
        CHECK(inst->aspectX == 4);
        CHECK(inst->aspectY == 3);
        CHECK(inst->fieldOrder == 6);
        CHECK((inst->flags & FXI_INTERLACED) == 0);
        CHECK(inst->defaults.frameRate == 30);
        CHECK(inst->defaults.colours[1] == 0x00FF80);
        CHECK(inst->defaults.grid[0] == 40.0);
        CHECK(inst->defaults.step == 5);
        for (HPEN pen : inst->pens) CHECK(pen);
        CHECK(inst->brush);
        CHECK(host.Count(FXN_VIDEO_FORMAT) == 2);
    }
    SECTION("the host's answer, and its extension merged into the features")
    {
        TestHost host;
        host.PalFormat();
        host.extension.words[2] = 0x00800000;  // personalities 0 and 3 read this word
        host.extension.words[4] = 0x1;
        REQUIRE(host.Attach() == 1);
        FxInstance *inst = host.Instance();
        CHECK(inst->frameWidth == 720);
        CHECK(inst->frameHeight == 576);
        CHECK(inst->frameRate == 25);
        CHECK(inst->fieldOrder == 5);
        CHECK((inst->flags & FXI_INTERLACED) != 0);
        CHECK(inst->formatWords[0] == 11);
        CHECK(inst->formatWords[3] == 44);
        CHECK(inst->extensionWords[0] == 0x00800000);
        CHECK(inst->extensionWords[2] == 0x1);
        CHECK(inst->features == FxMergeFeatures(0x711FFFFF, 0x00800000));
        CHECK(inst->features == 0x00800000);

        TestHost dve;
        dve.Number(1);
        dve.extension = host.extension;
        REQUIRE(dve.Attach() == 1);
        CHECK(dve.Instance()->features == FxMergeFeatures(0x110C06C3, 0x1));
    }
    SECTION("square pixels take effect at the next read of the format")
    {
        TestHost host;
        host.iniPath = WriteIni("square.ini", "[Preferences]\r\nOneToOneAspectRatio=TRUE\r\n");
        host.PalFormat();
        REQUIRE(host.Attach() == 1);
        FxInstance *inst = host.Instance();
        CHECK((inst->displayFlags & FXDF_SQUARE_PIXELS) != 0);
        CHECK(inst->aspectX == 4);
        uintptr_t reread[3] = {894, 0, 0};
        host.Send(FXN_WINDOW_MESSAGE, 0, reread);
        CHECK(inst->aspectX == 720);
        CHECK(inst->aspectY == 576);
        host.Detach();
        DeleteFileA(host.iniPath.c_str());
    }
}

TEST_CASE("Cached booleans are read once per process", "[settings][cache]")
{
    FxResetCachedBools();
    const std::string on = WriteIni("cache_on.ini", "[Cubby Test]\r\nFXRDoesRealtime=TRUE\r\nFXRDoesMeshes=1\r\n");
    const std::string off = WriteIni("cache_off.ini", "[Cubby Test]\r\nFXRDoesRealtime=FALSE\r\n");
    TestHost first;
    first.iniPath = on;
    REQUIRE(first.Attach() == 1);
    CHECK(FxCachedBool(first.Instance(), FXC_REALTIME) == 1);
    CHECK(FxCachedBool(first.Instance(), FXC_MESH_TAB) == 0);

    TestHost second;
    second.iniPath = off;
    REQUIRE(second.Attach() == 1);
    CHECK(FxCachedBool(second.Instance(), FXC_REALTIME) == 1);  // the first read stands

    SECTION("meshes: the feature bit or a new enough host answer without reading")
    {
        FxResetCachedBools();
        second.Instance()->features |= 0x400000;
        CHECK(FxCachedBool(second.Instance(), FXC_MESHES) == 1);
        second.Instance()->features &= ~0x400000u;
        second.version = 0x05040000;
        CHECK(FxCachedBool(second.Instance(), FXC_MESHES) == 1);
        second.version = 0x05030000;
        CHECK(FxCachedBool(second.Instance(), FXC_MESHES) == 0);  // "off" has no key
    }
    first.Detach();
    second.Detach();
    DeleteFileA(on.c_str());
    DeleteFileA(off.c_str());
    FxResetCachedBools();
}
