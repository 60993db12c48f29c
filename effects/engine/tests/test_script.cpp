// FX script: the writer's canonical text against a hand-checked fixture,
// round trips through every source and sink, the reader's lexical and
// slot rules, the frame and rotation rules, paste mode, and bad input
// (truncated text, oversized numbers, garbage bytes) read without harm.
#include <catch2/catch.hpp>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fxscript.h"

namespace {

// The effect data written for a header and one default keyframe.
const char kDefaultEffect[] =
    "Header\r\n"
    "{\r\n"
    "\tversion = 3\r\n"
    "\tDescription \"\"\r\n"
    "\twhoami = 7\r\n"
    "\tVirtualRes: width 720, height 576\r\n"
    "\tRenderInfo File \"\" TimeStamp 0\r\n"
    "\tThumbnail frame 0\r\n"
    "}\r\n"
    "\r\n"
    "Path 1:\r\n"
    "\r\n"
    "Keyframe 1.1\r\n"
    "{\r\n"
    "\tidentifier = 0\r\n"
    "\tpathflags = 0\r\n"
    "\tat frame 1, with delay = 0\r\n"
    "\t\r\n"
    "\tPosition:\r\n"
    "\t\tx = 0,\r\n"
    "\t\ty = 0,\r\n"
    "\t\tz = 1000.\r\n"
    "\t\tSpeed In = 50, Out 50\r\n"
    "\t\ttension = 0.000\r\n"
    "\t\tcontinuity = 0.000\r\n"
    "\t\tbias = 0.000\r\n"
    "\t\tDefault x = 0.0000, y 0.0000\r\n"
    "\t\r\n"
    "\tRotation:\r\n"
    "\t\tx = 0.000 degrees\r\n"
    "\t\ty = 0.000 degrees\r\n"
    "\t\tz = 0.000 degrees\r\n"
    "\t\tquatw 1\r\n"
    "\t\tqhackw = 1.000000000000000\r\n"
    "\t\tqhackx = 0.000000000000000\r\n"
    "\t\tqhacky = 0.000000000000000\r\n"
    "\t\tqhackz = 0.000000000000000\r\n"
    "\t\ttension = 0.000\r\n"
    "\t\tcontinuity = 0.000\r\n"
    "\t\tbias = 0.000\r\n"
    "\t\tSpeed In = 50, Out 50\r\n"
    "\t\tSpins: x 0, y 0, z 0\r\n"
    "\t\r\n"
    "\tShape:\r\n"
    "\t\tWidth  = 640.000\r\n"
    "\t\tHeight = 480.000\r\n"
    "\t\tScale : x = 1.000, y = 1.000, z = 1.000\r\n"
    "\t\tOffset: x = 0.000, y = 0.000, z = 0.000\r\n"
    "\t\tExtend: x = 0.000, y = 0.000, z = 0.000\r\n"
    "\t\tSkew  : x = 0.000, y = 0.000, z = 0.000\r\n"
    "\t\tTwist : x = 0.000, y = 0.000, z = 0.000\r\n"
    "\t\ttension = 0.000\r\n"
    "\t\tcontinuity = 0.000\r\n"
    "\t\tbias = 0.000\r\n"
    "\t\tSpeed In = 50, Out 50\r\n"
    "\t\r\n"
    "\tBorder:\r\n"
    "\t\twidth = 0\r\n"
    "\t\tsoftness = 0\r\n"
    "\t\tmode = 1\r\n"
    "\t\tcolor red 0 green 0 blue 0 alpha 0\r\n"
    "\t\r\n"
    "\tShadow:\r\n"
    "\t\tleft 0%, top 0%, width 0%, height 0%\r\n"
    "\t\tcolour red 0 green 0 blue 0 alpha 0\r\n"
    "\t\tfade = 50\r\n"
    "\t\r\n"
    "\tAttributes:\r\n"
    "\t\tfade = 0\r\n"
    "\t\tmode = 0\r\n"
    "\t\r\n"
    "\tFilters:\r\n"
    "\t\tMonochrome: flags 0, monocolor -2147483648\r\n"
    "\t\tPosterize 0\r\n"
    "\t\tStrobe: value 1, flags 0\r\n"
    "\t\tProcamp: videogain 1.0000, videosetup 0.0000, chromagain 1.0000, hue 0\r\n"
    "\t\t\r\n"
    "\t\tWarp: flags -2147483648, mode 0 guid_data1 0 guid_data2 0 guid_data3 0 guid_data4 0 guid_data5 0, param1 0.0000, param2 0.0000, param3 0.0000, param4 0.0000, param5 0.0000, param6 0.0000, param7 0.0000, param8 0.0000, param9 0.0000, param10 0.0000, param11 0.0000, param12 0.0000, param13 0.0000, param14 0.0000, param15 0.0000, param16 0.0000\r\n"
    "\tCharacter:\r\n"
    "\t\tKerning: 1\r\n"
    "\t\tFaceSheen: size 0, angle 0\r\n"
    "\t\r\n"
    "}\r\n"
    "\r\n";

struct Effect {
    FxPath *list = nullptr;
    Effect() { REQUIRE(AppendNewPath(&list)); }
    ~Effect() { FreeEffect(list); }
    FxKeyframe *Key(int path, int index)
    {
        FxPath *p = list;
        for (int i = 1; i < path && p; ++i)
            p = p->next;
        return p ? FindKeyframeByIndex(p, index) : nullptr;
    }
    int Read(const std::string &text, FxHeader *h = nullptr, uint32_t mode = FXS_MEMORY)
    {
        return parsefx(text.c_str(), list, h, mode);
    }
};

std::string Text(FxPath *list, FxHeader *h = nullptr)
{
    int n = WriteFxScriptText(list, h, nullptr);
    std::vector<char> buf(size_t(n) + 1, '\x7f');
    int written = WriteFxScriptText(list, h, buf.data());
    CHECK(written == n - 1);
    CHECK(buf[size_t(written)] == 0);
    return std::string(buf.data(), size_t(written));
}

// A keyframe block around the given lines.
std::string Key(const std::string &body)
{
    return "Keyframe 1.1\n{\n" + body + "\n}\n";
}

} // namespace

TEST_CASE("The writer's canonical text", "[script][writer]")
{
    Effect e;
    FxHeader h{};
    h.version = 3;
    h.whoAmI = 7;
    h.virtualWidth = 720;
    h.virtualHeight = 576;
    CHECK(Text(e.list, &h) == kDefaultEffect);

    SECTION("header lines that are left out when zero")
    {
        h.flags = 4;
        h.markIn = 10;
        h.clipLength = 99;
        std::string t = Text(e.list, &h);
        CHECK(t.find("\tflags = 4\r\n") != std::string::npos);
        CHECK(t.find("\tmarkin = 10\r\n") != std::string::npos);
        CHECK(t.find("markout") == std::string::npos);
        CHECK(t.find("\tcliplen = 99\r\n") != std::string::npos);
    }

    SECTION("whole numbers truncate; filter lines appear only when set")
    {
        FxKeyframe *kf = e.list->head;
        kf->position[0] = 12.7;
        kf->position[1] = -0.5;
        kf->orientation = Quat{ 0, 1, 0, 0 };
        kf->mosaic[0] = 2;
        kf->blur[1] = 3.9;
        kf->crop[2] = 12.25;
        kf->emboss[1] = 5;
        kf->groupDuration = 8;
        strcpy(kf->imageName, "C:\\pics\\a.tga");
        std::string t = Text(e.list);
        CHECK(t.find("\t\tx = 12,\r\n") != std::string::npos);
        CHECK(t.find("\t\ty = 0,\r\n") != std::string::npos);
        CHECK(t.find("\t\tquatw 1\r\n") != std::string::npos);
        CHECK(t.find("\t\tMosaic: width 2, height 1\r\n") != std::string::npos);
        CHECK(t.find("\t\tBlur: width 0, height 3\r\n") != std::string::npos);
        CHECK(t.find("\t\tCrop: left 0.0%, right 0.0%, top 12.2%, bottom 0.0%, mode 0\r\n") != std::string::npos);
        CHECK(t.find("\t\tEmboss: elevation 0 asimuth 5 radius 0\r\n") != std::string::npos);
        CHECK(t.find("\tgroupduration = 8\r\n") != std::string::npos);
        CHECK(t.find("\tImage: C:\\pics\\a.tga\r\n") != std::string::npos);
        CHECK(t.find("Luminance") == std::string::npos);
        CHECK(t.find("Tint") == std::string::npos);
    }

    SECTION("only the first keyframe of a path carries its flags")
    {
        e.list->pathFlags = 0xFF;
        REQUIRE(parsefx(Key("frame 1") .c_str(), e.list, nullptr, FXS_MEMORY));
        FxKeyframe *two = NewKeyframe();
        two->index = 2;
        two->startFrame = two->endFrame = 5;
        e.list->head->next = e.list->head->prev = two;
        two->next = two->prev = e.list->head;
        std::string t = Text(e.list);
        size_t first = t.find("pathflags");
        CHECK(t.substr(first, 20) == "pathflags = 111\r\n\tat");
        CHECK(t.find("pathflags", first + 1) == std::string::npos);
        CHECK(t.find("Keyframe 1.2\r\n") != std::string::npos);
    }

    SECTION("sinks: bad arguments, a file, a buffered file, counting")
    {
        CHECK(WriteFxScript(nullptr, nullptr, nullptr, FXW_COUNT) == 0);
        CHECK(WriteFxScript(nullptr, e.list, nullptr, 4) == 0);
        CHECK(WriteFxScript(nullptr, e.list, nullptr, FXW_FILE) == 0);
        CHECK(WriteFxScript((void *)"", e.list, nullptr, FXW_FILE) == 0);
        CHECK(WriteFxScript(nullptr, e.list, nullptr, FXW_BUFFER) == 0);
        CHECK(WriteFxScript(nullptr, e.list, nullptr, FXW_BUFFERED) == 0);

        std::string want = Text(e.list, &h);
        char name[MAX_PATH];
        GetTempPathA(MAX_PATH, name);
        strcat(name, "fxscript_test.fx");
        CHECK(WriteFxScript(name, e.list, &h, FXW_FILE) == int(want.size()));
        HANDLE f = CreateFileA(name, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        REQUIRE(f != INVALID_HANDLE_VALUE);
        std::string got(want.size() + 10, '\0');
        DWORD n = 0;
        ReadFile(f, &got[0], DWORD(got.size()), &n, nullptr);
        CloseHandle(f);
        got.resize(n);
        CHECK(got == want);

        Effect back;
        FxHeader h2{};
        CHECK(parsefx(name, back.list, &h2, FXS_FILE) == 1);
        CHECK(h2.virtualWidth == 720);
        DeleteFileA(name);
        CHECK(parsefx(name, back.list, nullptr, FXS_FILE) == 0);   // gone

        // Without the buffered-file library the text is only counted.
        FxBufferedFile bf{};
        CHECK(WriteFxScript(&bf, e.list, &h, FXW_BUFFERED) == int(want.size()));
    }
}

namespace {

std::string g_written;
int __cdecl CaptureWrite(FxBufferedFile *, const void *data, int n)
{
    g_written.append(static_cast<const char *>(data), size_t(n));
    return n;
}

// Refills the record a few bytes at a time from g_written.
size_t g_readAt = 0;
int __cdecl RefillGetc(FxBufferedFile *f)
{
    if (g_readAt >= g_written.size()) {
        f->flags |= 1;
        return -1;
    }
    int c = (unsigned char)g_written[g_readAt++];
    size_t chunk = std::min<size_t>(7, g_written.size() - g_readAt);
    f->readPtr = reinterpret_cast<uint8_t *>(&g_written[g_readAt]);
    f->left = uint32_t(chunk);
    g_readAt += chunk;
    return c;
}

void FillEffect(FxPath *list)
{
    FxPath *slot = list;
    REQUIRE(AppendNewPath(&slot));
    int n = 0;
    for (FxPath *p = list; p; p = p->next) {
        FxKeyframe *prev = p->head;
        for (int k = 1; k <= 3; ++k) {
            FxKeyframe *kf = k == 1 ? p->head : NewKeyframe();
            if (k > 1) {
                kf->index = k;
                kf->prev = prev;
                kf->next = p->head;
                prev->next = kf;
                p->head->prev = kf;
                prev = kf;
            }
            ++n;
            kf->startFrame = 1 + 20 * (k - 1) + n;
            kf->delay = k;
            kf->endFrame = kf->startFrame + kf->delay;
            kf->startTime = kf->startFrame;
            kf->endTime = kf->endFrame;
            kf->identifier = 0x100 * n;
            kf->position[0] = 10 * n - 35;
            kf->position[1] = -3 * n;
            kf->position[2] = 900 + n;
            kf->positionTcb = FxTcb{ 0.125, -0.5, 0.25 * n };
            kf->rotationTcb.c = -1;
            kf->shapeTcb.b = 0.75;
            kf->positionSpeed.speedIn = uint16_t(10 * n);
            kf->rotationSpeed.speedOut = uint16_t(5 * n);
            kf->shapeSpeed.speedIn = 100;
            kf->defaultX = 1.5 * n;
            kf->defaultY = -2.25;
            kf->orientation = QuatFromEuler(0.1 * n, -0.2, 0.3);
            kf->spins[0] = n;
            kf->spins[2] = -1;
            kf->width = 320 + n;
            kf->height = 240.5;
            kf->scale[0] = 1.5;
            kf->offset[1] = 4.25;
            kf->extend[2] = 0.125;
            kf->skew[0] = -0.25;
            kf->twist[1] = 0.5;
            kf->borderWidth = 3;
            kf->borderColour = 0x80402010u + uint32_t(n);
            kf->softness = 2;
            kf->borderMode = 2;
            kf->shadowRect[0] = 5;
            kf->shadowRect[3] = 50;
            kf->shadowColour = 0x00A0B0C0;
            kf->shadowFade = 75;
            kf->fade = 10 + n;
            kf->attributeMode = 3;
            kf->emboss[0] = 45;
            kf->luminance[1] = -20;
            kf->tint[2] = 60;
            kf->mosaic[0] = 8;
            kf->blur[0] = 4;
            kf->crop[0] = 12.5;
            kf->crop[3] = 3.5;
            kf->cropMode = 1;
            kf->monoFlags = 4;
            kf->monoColour = 0x123456;
            kf->posterize = 6;
            kf->strobeValue = 3;
            kf->strobeFlags = 1;
            kf->procamp[0] = 1.25;
            kf->procamp[3] = 30;
            kf->warpFlags = 0x5;
            kf->warpId = GUID{ 0xDEADBEEF, 0xFFFE, 7, { 1, 2, 3, 4, 0xF5, 6, 7, 8 } };
            kf->warpParams[0] = 0.5;
            kf->warpParams[15] = -2.75;
            kf->kerning = 3;
            kf->faceSheen[0] = 2;
            kf->faceSheen[1] = 45;
            kf->groupDuration = k == 2 ? 12 : 0;
            UpdateKeyframeCorners(kf);
        }
        p->pathFlags = 0x21;
    }
}

} // namespace

TEST_CASE("Effects come back from their text", "[script][roundtrip]")
{
    Effect src;
    FillEffect(src.list);
    FxHeader h{};
    h.version = 2;
    h.flags = 1;
    strcpy(h.description, "Two paths, three keys");
    h.virtualWidth = 768;
    h.virtualHeight = 576;
    h.markIn = 3;
    h.markOut = 60;
    h.clipLength = 58;
    h.whoAmI = 0x4242;
    strcpy(h.renderFile, "C:\\out\\render.avi");
    h.timeStamp = 123456;
    h.thumbnailFrame = 17;
    std::string text = Text(src.list, &h);

    Effect dst;
    FxHeader h2{};
    REQUIRE(dst.Read(text, &h2) == 1);
    CHECK(memcmp(&h, &h2, sizeof h) == 0);
    CHECK(CountPaths(dst.list) == 2);
    CHECK(dst.list->pathFlags == 0x21);
    CHECK(dst.list->imageId == 0x100);

    for (int p = 1; p <= 2; ++p)
        for (int k = 1; k <= 3; ++k) {
            FxKeyframe *a = src.Key(p, k), *b = dst.Key(p, k);
            INFO("path " << p << " key " << k);
            REQUIRE(b);
            CHECK(b->startFrame == a->startFrame);
            CHECK(b->endFrame == a->endFrame);
            CHECK(b->endTime == a->endTime);
            CHECK(b->delay == a->delay);
            CHECK(b->identifier == a->identifier);
            CHECK(b->groupDuration == a->groupDuration);
            for (int i = 0; i < 3; ++i) {
                CHECK(b->position[i] == a->position[i]);
                CHECK(b->scale[i] == a->scale[i]);
                CHECK(b->offset[i] == a->offset[i]);
                CHECK(b->extend[i] == a->extend[i]);
                CHECK(b->skew[i] == a->skew[i]);
                CHECK(b->twist[i] == a->twist[i]);
                CHECK(b->spins[i] == a->spins[i]);
                CHECK(b->corners[i][0] == Approx(a->corners[i][0]));
            }
            CHECK(memcmp(&b->positionTcb, &a->positionTcb, sizeof(FxTcb)) == 0);
            CHECK(memcmp(&b->rotationTcb, &a->rotationTcb, sizeof(FxTcb)) == 0);
            CHECK(memcmp(&b->shapeTcb, &a->shapeTcb, sizeof(FxTcb)) == 0);
            CHECK(b->positionSpeed.speedIn == a->positionSpeed.speedIn);
            CHECK(b->rotationSpeed.speedOut == a->rotationSpeed.speedOut);
            CHECK(b->shapeSpeed.speedIn == 100);
            CHECK(b->defaultX == a->defaultX);
            CHECK(b->defaultY == a->defaultY);
            CHECK(b->orientation.w == Approx(a->orientation.w).margin(1e-14));
            CHECK(b->orientation.x == Approx(a->orientation.x).margin(1e-14));
            CHECK(b->orientation.z == Approx(a->orientation.z).margin(1e-14));
            CHECK(b->width == a->width);
            CHECK(b->height == a->height);
            CHECK(b->borderWidth == a->borderWidth);
            CHECK(b->borderColour == a->borderColour);
            CHECK(b->softness == a->softness);
            CHECK(b->borderMode == a->borderMode);
            CHECK(memcmp(b->shadowRect, a->shadowRect, sizeof a->shadowRect) == 0);
            CHECK(b->shadowColour == a->shadowColour);
            CHECK(b->shadowFade == a->shadowFade);
            CHECK(b->fade == a->fade);
            CHECK(b->attributeMode == a->attributeMode);
            CHECK(memcmp(b->emboss, a->emboss, sizeof a->emboss) == 0);
            CHECK(memcmp(b->luminance, a->luminance, sizeof a->luminance) == 0);
            CHECK(memcmp(b->tint, a->tint, sizeof a->tint) == 0);
            CHECK(memcmp(b->mosaic, a->mosaic, sizeof a->mosaic) == 0);
            CHECK(memcmp(b->blur, a->blur, sizeof a->blur) == 0);
            CHECK(memcmp(b->crop, a->crop, sizeof a->crop) == 0);
            CHECK(b->cropMode == a->cropMode);
            CHECK(b->monoFlags == a->monoFlags);
            CHECK(b->monoColour == a->monoColour);
            CHECK(b->posterize == a->posterize);
            CHECK(b->strobeValue == a->strobeValue);
            CHECK(b->strobeFlags == a->strobeFlags);
            CHECK(memcmp(b->procamp, a->procamp, sizeof a->procamp) == 0);
            CHECK(b->warpFlags == a->warpFlags);
            CHECK(IsEqualGUID(b->warpId, a->warpId));
            CHECK(memcmp(b->warpParams, a->warpParams, sizeof a->warpParams) == 0);
            CHECK(b->kerning == a->kerning);
            CHECK(memcmp(b->faceSheen, a->faceSheen, sizeof a->faceSheen) == 0);
        }

    // The canonical form reads back to itself.
    CHECK(Text(dst.list, &h2) == text);

    SECTION("through a buffered file, refilled a few bytes at a time")
    {
        g_written.clear();
        g_fxStolid.bfWrite = CaptureWrite;
        g_fxStolid.bfGetc = RefillGetc;
        FxBufferedFile out{};
        CHECK(WriteFxScript(&out, src.list, &h, FXW_BUFFERED) == int(text.size()));
        CHECK(g_written == text);
        FxBufferedFile in{};
        in.readPtr = reinterpret_cast<uint8_t *>(&g_written[0]);
        in.left = 5;
        g_readAt = 5;
        Effect viaFile;
        FxHeader h3{};
        CHECK(parsefx(&in, viaFile.list, &h3, FXS_BUFFERED) == 1);
        CHECK(Text(viaFile.list, &h3) == text);
        g_fxStolid = {};
    }

    SECTION("through the buffered-file library bound by name")
    {
        REQUIRE(FxBindStolid() == 1);
        HMODULE dll = GetModuleHandleA("stolid.dll");
        auto setMem = reinterpret_cast<FxBufferedFile *(__cdecl *)(void *, int, int, int)>(GetProcAddress(dll, "bfSetMem"));
        auto seek = reinterpret_cast<int(__cdecl *)(FxBufferedFile *, int, int)>(GetProcAddress(dll, "bfSeek"));
        auto destroy = reinterpret_cast<void(__cdecl *)(FxBufferedFile *)>(GetProcAddress(dll, "bfDestroy"));
        REQUIRE(setMem);
        FxBufferedFile *f = setMem(nullptr, 0, 0, 4);
        REQUIRE(f);
        CHECK(WriteFxScript(f, src.list, &h, FXW_BUFFERED) == int(text.size()));
        CHECK(seek(f, 0, 2) == int(text.size()));
        seek(f, 0, 0);
        Effect viaLib;
        FxHeader h3{};
        CHECK(parsefx(f, viaLib.list, &h3, FXS_BUFFERED | FXS_PASTE | FXS_KEEP_PATHS) == 1);
        CHECK(CountPaths(viaLib.list) == 1);
        CHECK(h3.timeStamp == 0);                 // not taken when pasting
        CHECK(h3.whoAmI == 0x4242);
        CHECK(viaLib.list->head->position[0] == src.list->head->position[0]);
        destroy(f);
        g_fxStolid = {};
    }

    SECTION("into an effect that already has paths and keyframes")
    {
        Effect again;
        FillEffect(again.list);
        REQUIRE(again.Read(text) == 1);
        CHECK(CountPaths(again.list) == 2);
        CHECK(LastKeyframe(again.list)->index == 3);
        CHECK(Text(again.list, &h2) == text);
    }
}

TEST_CASE("Lexical rules of the reader", "[script][reader]")
{
    SECTION("keywords are case-blind and punctuation only separates")
    {
        for (const char *body : { "position x 5", "Position: x = 5,", "POSITION X=5 ", "x 5 degrees at with" }) {
            Effect e;
            REQUIRE(e.Read(Key(body)) == 1);
            CHECK(e.list->head->position[0] == 5);
        }
    }

    SECTION("numbers")
    {
        const struct { const char *text; double x; } cases[] = {
            { "x -.5 ", -0.5 }, { "x - 5 ", 5 }, { "x 1e3 ", 1 }, { "x +7. ", 7 }, { "x .25.5 ", 0.25 },
            { "x -- 3 ", 3 },   { "x -.y 4 ", 0 }, { "x 12abc ", 12 },
        };
        for (auto &c : cases) {
            Effect e;
            INFO(c.text);
            REQUIRE(e.Read(Key(c.text)) == 1);
            CHECK(e.list->head->position[0] == c.x);
        }
    }

    SECTION("comments, strings and high bytes")
    {
        Effect e;
        FxHeader h{};
        std::string t = "Header { Description \"abc//def\" version 4\n version 3 }\n" +
                        Key("x 5 // y 7\n y 8\n z 9\xE9" "1\n");
        REQUIRE(e.Read(t, &h) == 1);
        CHECK(std::string(h.description) == "abc");
        CHECK(h.version == 3);
        CHECK(e.list->head->position[0] == 5);
        CHECK(e.list->head->position[1] == 8);
        CHECK(e.list->head->position[2] == 9);   // the high byte ends the number
    }

    SECTION("a number at the very end is lost")
    {
        Effect e;
        REQUIRE(e.Read("Keyframe { x 5") == 1);
        CHECK(e.list->head->position[0] == 0);
    }

    SECTION("Path inside a keyframe block is ignored; an inner brace starts a new keyframe")
    {
        Effect e;
        REQUIRE(e.Read("Keyframe { x 1 Path frame 3 } Keyframe { x 2 frame 9 }") == 1);
        CHECK(CountPaths(e.list) == 1);
        CHECK(e.Key(1, 2)->position[0] == 2);
        Effect f;
        REQUIRE(f.Read("Keyframe { Position { x 4 } }") == 1);
        CHECK(LastKeyframe(f.list)->index == 2);
        CHECK(f.Key(1, 2)->position[0] == 4);
    }

    SECTION("slots: first value wins, a value without a slot goes to the header")
    {
        Effect e;
        FxHeader h{};
        REQUIRE(e.Read(Key("x 5 x 7 version 9 Description 12"), &h) == 1);
        CHECK(e.list->head->position[0] == 5);
        CHECK(h.version == 9);
        CHECK(e.list->name[0] == 0);   // a number in a text slot is not given
    }

    SECTION("words and strings longer than a token are cut, never overrun")
    {
        Effect e;
        FxHeader h{};
        std::string big(1000, 'x'), digits(600, '7'), name(200, 'n');
        REQUIRE(e.Read("Header { Description \"" + name + "\" }" + Key(big + " frame " + digits + " x 3"), &h) == 1);
        CHECK(strlen(h.description) == 63);
        CHECK(e.list->head->startFrame == INT32_MAX);
        CHECK(e.list->head->endFrame == INT32_MAX);
        CHECK(e.list->head->position[0] == 3);
    }
}

TEST_CASE("Frame, rotation and path rules of the reader", "[script][reader]")
{
    SECTION("a header alone fills the header and reads no keyframe")
    {
        Effect e;
        FxHeader h{};
        CHECK(e.Read("Header { version 5 VirtualRes: width 640, height 480 Thumbnail frame 4 }", &h) == 0);
        CHECK(h.version == 5);
        CHECK(h.virtualHeight == 480);
        CHECK(h.thumbnailFrame == 4);
    }

    SECTION("frame 0 on a first keyframe shifts the whole path by one")
    {
        Effect e;
        REQUIRE(e.Read("Keyframe { frame 0 delay 2 } Keyframe { frame 10 } Keyframe { frame 5 delay -3 }") == 1);
        CHECK(e.Key(1, 1)->startFrame == 1);
        CHECK(e.Key(1, 1)->endFrame == 3);
        CHECK(e.Key(1, 2)->startFrame == 11);
        CHECK(e.Key(1, 3)->startFrame == 12);   // 6 is not after 11
        CHECK(e.Key(1, 3)->delay == 0);
        CHECK(e.Key(1, 3)->startTime == 12.0);
    }

    SECTION("rotation: degrees, the sign word and the four quaternion values")
    {
        Effect e;
        REQUIRE(e.Read(Key("Rotation: z = 90 degrees quatw -1")) == 1);
        Quat q = QuatFromEuler(0, 0, 90 * 0.01745329424738884);
        CHECK(e.list->head->orientation.w == Approx(-q.w));
        CHECK(e.list->head->orientation.z == Approx(-q.z));
        CHECK(e.list->head->rotation[2] == Approx(FX_HALF_PI));

        Effect three;
        REQUIRE(three.Read(Key("Rotation: x = 30 qhackw 0 qhackx 1 qhacky 0")) == 1);
        CHECK(three.list->head->orientation.x == Approx(QuatFromEuler(30 * 0.01745329424738884, 0, 0).x));

        Effect four;
        REQUIRE(four.Read(Key("qhackw 2 qhackx 0 qhacky 0 qhackz 2")) == 1);
        CHECK(four.list->head->orientation.w == Approx(sqrt(0.5)));
        CHECK(four.list->head->orientation.z == Approx(sqrt(0.5)));

        Effect zero;
        REQUIRE(zero.Read(Key("qhackw 0 qhackx 0 qhacky 0 qhackz 0")) == 1);
        CHECK(zero.list->head->orientation.w == 1.0);   // no orientation named: the angles'
    }

    SECTION("more paths than the list: appended, or ignored with the keep bit")
    {
        std::string t = "Path 1: " + Key("x 1") + "Path 2: " + Key("x 2") + "Path 3: " + Key("x 3");
        Effect e;
        REQUIRE(e.Read(t) == 1);
        CHECK(CountPaths(e.list) == 3);
        CHECK(e.list->next->next->number == 3);
        CHECK(e.Key(3, 1)->position[0] == 3);
        Effect k;
        CHECK(k.Read(t, nullptr, FXS_MEMORY | FXS_KEEP_PATHS) == 1);
        CHECK(CountPaths(k.list) == 1);
        CHECK(k.list->head->position[0] == 1);
    }

    SECTION("paste mode leaves identity, size, name and most path flags alone")
    {
        Effect e;
        e.list->head->identifier = 77;
        e.list->head->attributeMode = 5;
        std::string body = "identifier 9 pathflags 127 width 10 Description \"name\" x 4 Attributes: fade 3 mode 1";
        REQUIRE(e.Read(Key(body), nullptr, FXS_MEMORY | FXS_PASTE) == 1);
        FxKeyframe *kf = e.list->head;
        CHECK(kf->identifier == 77);
        CHECK(kf->width == 640);
        CHECK(e.list->name[0] == 0);
        CHECK(e.list->pathFlags == 0x62);
        CHECK(kf->position[0] == 4);
        CHECK(kf->fade == 3);
        CHECK(kf->attributeMode == 5);   // 0 and 1 are not taken when pasting
        REQUIRE(e.Read(Key(body)) == 1);
        CHECK(kf->identifier == 9);
        CHECK(kf->width == 10);
        CHECK(std::string(e.list->name) == "name");
        CHECK(e.list->pathFlags == 0x6F);
    }

    SECTION("colours: given bytes replace, the shadow's alpha is cleared")
    {
        Effect e;
        e.list->head->borderColour = 0xAABBCCDD;
        e.list->head->shadowColour = 0xFF000000;
        REQUIRE(e.Read(Key("Border: color red 1 alpha 2 Shadow: colour blue 3")) == 1);
        CHECK(e.list->head->borderColour == 0x02BBCC01);
        CHECK(e.list->head->shadowColour == 0x00030000);
    }
}

TEST_CASE("Bad input is read without harm", "[script][reader][bad]")
{
    Effect e;
    CHECK(parsefx(nullptr, e.list, nullptr, FXS_MEMORY) == 0);
    CHECK(parsefx("Keyframe { }", nullptr, nullptr, FXS_MEMORY) == 0);
    CHECK(parsefx("Keyframe { }", e.list, nullptr, 3) == 0);
    CHECK(parsefx("Z:\\no\\such\\dir\\x.fx", e.list, nullptr, FXS_FILE) == 0);
    CHECK(parsefx("", e.list, nullptr, FXS_MEMORY) == 0);

    // Every cut of a full effect's text reads cleanly.
    Effect src;
    FillEffect(src.list);
    std::string text = Text(src.list);
    for (size_t cut = 0; cut < text.size(); cut += 37) {
        Effect t;
        std::string part = text.substr(0, cut);
        int r = t.Read(part);
        CHECK(r == (part.find('{') != std::string::npos ? 1 : 0));
        for (FxPath *p = t.list; p; p = p->next) {
            FxKeyframe *last = LastKeyframe(p);
            CHECK(last->index >= 1);
            CHECK(p->head->startFrame >= 1);
        }
    }

    // Garbage bytes and mutated text from a fixed seed.
    uint32_t seed = 99;
    auto rnd = [&] { seed = seed * 1103515245u + 12345u; return (seed >> 16) & 0x7FFF; };
    int rounds = getenv("FX_FUZZ_ROUNDS") ? atoi(getenv("FX_FUZZ_ROUNDS")) : 150;
    for (int i = 0; i < rounds; ++i) {
        std::string m = text;
        for (int k = 0; k < 20; ++k)
            m[size_t(rnd()) % m.size()] = char(rnd() % 255 + 1);
        std::string junk;
        for (int k = 0; k < 300; ++k)
            junk += char(rnd() % 255 + 1);
        Effect a, b;
        a.Read(m);
        b.Read(junk + "{" + junk);
        CHECK(CountPaths(a.list) >= 1);
    }
}
