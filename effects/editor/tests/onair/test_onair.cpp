// An animation record on air through the real libraries: Cuelink.dll
// renders it with QCGGetRenderedData, binding bin/Tarvofx/Tarvofx.dll by
// file name, which reads the record's objects through mobra.dll.  The
// object's place is measured on the pixels of each frame.
#include <catch2/catch.hpp>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "cuelink.h"
#include "mobra_build.h"
#include "qcg_build.h"

using namespace qcgtest;

namespace {

std::string BinDir()
{
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string s(exe);
    return s.substr(0, s.find_last_of("\\/") + 1);
}

// Points the file-type registration at a folder for the test's length.
struct InstallDir {
    explicit InstallDir(const std::string &dir)
    {
        HKEY key;
        RegCreateKeyExA(HKEY_CLASSES_ROOT, "QuillonFileType\\shell\\open", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr);
        const std::string cmd = "\"" + dir + "Quillon.exe\" \"%1\"";
        RegSetValueExA(key, "command", 0, REG_SZ, reinterpret_cast<const BYTE *>(cmd.c_str()), DWORD(cmd.size() + 1));
        RegCloseKey(key);
    }
    ~InstallDir() { RegDeleteTreeA(HKEY_CLASSES_ROOT, "QuillonFileType"); }
};

// One object sliding from left to right over frames 1 to 21.
const char kScript[] =
    "Path 1:\r\n"
    "Keyframe 1.1\r\n{\r\n\tat frame 1, with delay = 0\r\n"
    "\tPosition:\r\n\t\tx = -200,\r\n\t\ty = 0,\r\n\t\tz = 1000.\r\n"
    "\tShape:\r\n\t\tWidth  = 80.000\r\n\t\tHeight = 60.000\r\n}\r\n"
    "Keyframe 1.2\r\n{\r\n\tat frame 21, with delay = 0\r\n"
    "\tPosition:\r\n\t\tx = 200,\r\n\t\ty = 100,\r\n\t\tz = 1000.\r\n"
    "\tShape:\r\n\t\tWidth  = 80.000\r\n\t\tHeight = 60.000\r\n}\r\n";

// The effect data: a 112-byte block header and the script.
Bytes EffectBlock(const char *script)
{
    const uint32_t n = uint32_t(std::strlen(script) + 1);
    Bytes b(112 + n, 0);
    const uint16_t head16[2] = {112, 2};
    std::memcpy(b.data(), head16, 4);
    const uint32_t words[4] = {0, n, 112, n};
    std::memcpy(b.data() + 4, words, sizeof words);
    const uint32_t stamp = 0xFFFFFFFF, end = 21;
    std::memcpy(b.data() + 28, &stamp, 4);
    std::memcpy(b.data() + 32, &end, 4);
    std::memcpy(b.data() + 112, script, n);
    return b;
}

// An animation record: part A ends with [object][size][effect][size]; its
// still picture is plain green.
Bytes AnimationRecord(const Bytes &object, const Bytes &effect, int w, int h)
{
    Bytes a = MakePartA(w, h, 4, 0, 0, 21, 32);
    auto add = [&](const Bytes &p) {
        const uint32_t n = uint32_t(p.size());
        a.insert(a.end(), p.begin(), p.end());
        a.insert(a.end(), reinterpret_cast<const uint8_t *>(&n), reinterpret_cast<const uint8_t *>(&n) + 4);
    };
    add(object);
    add(effect);
    return MakeBlock(a, {}, "anim", MakeImage(200, w, h, Pixels(size_t(w) * h, 0xFF00FF00)),
                     QCG_BLOCK_OBJECT_DATA | QCG_BLOCK_EFFECT_DATA);
}

struct Spot {
    int count = 0;
    double x = 0, y = 0;  // centre, top-down rows
};

// Where the red pixels are in a top-down frame.
Spot Red(const std::vector<uint32_t> &px, int w, int h)
{
    Spot s;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t p = px[size_t(y) * w + x];
            if (((p >> 16) & 0xFF) > 200 && ((p >> 8) & 0xFF) < 60 && (p & 0xFF) < 60) {
                ++s.count;
                s.x += x;
                s.y += y;
            }
        }
    if (s.count) {
        s.x /= s.count;
        s.y /= s.count;
    }
    return s;
}

}  // namespace

TEST_CASE("An animation record moves on air through the real effects library", "[onair]")
{
    InstallDir install(BinDir() + "Tarvofx\\");
    MobraSource red;
    red.box = {1, 21, 0, 0, 280, 210, 80, 60, 0, 0, 0, 0, 0};
    red.name = "red box";
    red.pixels.assign(size_t(80) * 60, 0xFFFF0000);
    const Bytes object = MobraWrite(640, 480, 1, {red});
    const Bytes block = AnimationRecord(object, EffectBlock(kScript), 640, 480);
    auto *head = reinterpret_cast<const QcgRecordBlock *>(block.data());
    const uint8_t *partA = block.data() + sizeof(QcgRecordBlock);
    const uint8_t *image = partA + head->sizeA + head->dataSize + head->textSize;

    const int w = 640, h = 480;
    Spot at[3];
    const int positions[3] = {0, 10, 20};
    for (int i = 0; i < 3; ++i) {
        std::vector<uint32_t> px(size_t(w) * h, 0);
        INFO("position " << positions[i]);
        REQUIRE(QCGGetRenderedData(0x101, partA, image, px.data(), w, h, w * 4, positions[i], 21, head) == 1);
        at[i] = Red(px, w, h);
        // Not the still picture: nothing of its green is drawn.
        size_t green = 0;
        for (uint32_t p : px) green += (p & 0xFFFFFF) == 0x00FF00;
        CHECK(green == 0);
        REQUIRE(at[i].count > 80 * 60 / 2);
    }
    // Left of centre, at the centre, right of centre; and downwards.
    CHECK(at[0].x < 320 - 120);
    CHECK(at[1].x > 320 - 60);
    CHECK(at[1].x < 320 + 60);
    CHECK(at[2].x > 320 + 120);
    CHECK(at[0].y < at[2].y);

    // The same record in a title file, rendered by name: with the caller's
    // block giving the animation flags, and with none (the file's own).
    Bytes file(144, 0);
    const uint32_t magic = 0xF7F5AECBu;
    std::memcpy(file.data(), &magic, 4);
    file.insert(file.end(), block.begin(), block.end());
    char dir[MAX_PATH], name[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    GetTempFileNameA(dir, "qcg", 0, name);
    HANDLE f = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD put = 0;
    WriteFile(f, file.data(), DWORD(file.size()), &put, nullptr);
    CloseHandle(f);
    for (const QcgRecordBlock *caller : {head, static_cast<const QcgRecordBlock *>(nullptr)}) {
        INFO("caller's block " << (caller ? "given" : "none"));
        Spot byName[2];
        for (int i = 0; i < 2; ++i) {
            std::vector<uint32_t> px(size_t(w) * h, 0);
            REQUIRE(GetQCGRenderedData(0x101, name, px.data(), w, h, i * 20, 21, caller) == 1);
            byName[i] = Red(px, w, h);
            REQUIRE(byName[i].count > 80 * 60 / 2);
        }
        CHECK(byName[0].x == Approx(at[0].x).margin(2));
        CHECK(byName[1].x == Approx(at[2].x).margin(2));
    }
    DeleteFileA(name);
    CHECK(CuelinkDone() == 1);
}
