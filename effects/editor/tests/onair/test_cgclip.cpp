// An animation record as a CG clip of a title page, on the programme: the
// title's CG clip is made from a .qcg title through the CG link and the
// real effects library, the page is exported, and the engine's TitleApply
// lays the clip over the programme frame by frame.  The object's place is
// measured on the programme's pixels at two frame times.
#include <catch2/catch.hpp>
#include <windows.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cga_clip.h"
#include "clock.h"
#include "combiner.h"
#include "engine_host.h"
#include "mobra_build.h"
#include "qcg_build.h"
#include "synthetic_source.h"
#include "title_export.h"

namespace tb = titlebox;
using namespace qcgtest;

namespace {

const int W = 320, H = 240;

std::string BinDir()
{
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string s(exe);
    return s.substr(0, s.find_last_of("\\/") + 1);
}

// The export goes to the temporary folder: a folder of this process.
std::string PrivateTemp()
{
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    const std::string dir = std::string(base) + "cgclip_" + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryA(dir.c_str(), nullptr);
    SetEnvironmentVariableA("TMP", dir.c_str());
    SetEnvironmentVariableA("TEMP", dir.c_str());
    return dir;
}

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

// One 40 x 30 object from the upper left to the lower right over 20 frames.
const char kScript[] =
    "Path 1:\r\n"
    "Keyframe 1.1\r\n{\r\n\tat frame 1, with delay = 0\r\n"
    "\tPosition:\r\n\t\tx = -100,\r\n\t\ty = -60,\r\n\t\tz = 1000.\r\n"
    "\tShape:\r\n\t\tWidth  = 40.000\r\n\t\tHeight = 30.000\r\n}\r\n"
    "Keyframe 1.2\r\n{\r\n\tat frame 20, with delay = 0\r\n"
    "\tPosition:\r\n\t\tx = 100,\r\n\t\ty = 60,\r\n\t\tz = 1000.\r\n"
    "\tShape:\r\n\t\tWidth  = 40.000\r\n\t\tHeight = 30.000\r\n}\r\n";

Bytes EffectBlock(const char *script)
{
    const uint32_t n = uint32_t(std::strlen(script) + 1);
    Bytes b(112 + n, 0);
    const uint16_t head16[2] = {112, 2};
    std::memcpy(b.data(), head16, 4);
    const uint32_t words[4] = {0, n, 112, n};
    std::memcpy(b.data() + 4, words, sizeof words);
    const uint32_t stamp = 0xFFFFFFFF, end = 20;
    std::memcpy(b.data() + 28, &stamp, 4);
    std::memcpy(b.data() + 32, &end, 4);
    std::memcpy(b.data() + 112, script, n);
    return b;
}

// A .qcg title holding one animation record of 20 frames.
Bytes QcgTitle()
{
    MobraSource red;
    red.box = {1, 20, 0, 0, 0, 0, 40, 30, 0, 0, 0, 0, 0};
    red.name = "red";
    red.pixels.assign(size_t(40) * 30, 0xFFFF0000);
    const Bytes object = MobraWrite(W, H, 1, {red});
    const Bytes effect = EffectBlock(kScript);
    Bytes a = MakePartA(W, H, 4, 0, 0, 20, 32);
    for (const Bytes *p : {&object, &effect}) {
        const uint32_t n = uint32_t(p->size());
        a.insert(a.end(), p->begin(), p->end());
        a.insert(a.end(), reinterpret_cast<const uint8_t *>(&n), reinterpret_cast<const uint8_t *>(&n) + 4);
    }
    const Bytes block = MakeBlock(a, {}, "anim", MakeImage(200, W, H, Pixels(size_t(W) * H, 0xFF00FF00)),
                                  QCG_BLOCK_OBJECT_DATA | QCG_BLOCK_EFFECT_DATA);
    Bytes file(144, 0);
    const uint32_t magic = 0xF7F5AECBu, frames = 20;
    std::memcpy(file.data(), &magic, 4);
    std::memcpy(file.data() + 12, &frames, 4);
    file.insert(file.end(), block.begin(), block.end());
    const uint32_t kind = 4;  // the block header's kind word: animation
    std::memcpy(file.data() + 144 + 16, &kind, 4);
    return file;
}

void Write(const std::string &name, const Bytes &b)
{
    HANDLE f = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD put = 0;
    WriteFile(f, b.data(), DWORD(b.size()), &put, nullptr);
    CloseHandle(f);
}

struct Spot {
    int count = 0;
    double x = 0, y = 0;
};

Spot Red(const std::vector<uint32_t> &px)
{
    Spot s;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const uint32_t p = px[size_t(y) * W + x];
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

TEST_CASE("A CG clip of an animation record moves on the programme", "[cgclip]")
{
    const std::string dir = PrivateTemp();
    InstallDir install(BinDir() + "Tarvofx\\");
    const std::string qcg = dir + "anim.qcg";
    Write(qcg, QcgTitle());

    // The page's clip object: the title made into a clip file beside it.
    tb::CgAnimationClip clip;
    clip.quiet = true;
    REQUIRE(clip.LoadQcgTitle(qcg.c_str()));
    REQUIRE(clip.frameCount == 20);
    const std::string cga = tb::CgaPathFor(qcg);
    REQUIRE(clip.WriteCgaFile(cga.c_str()));
    CuelinkDone();

    tb::TitleObjectList page;
    std::unique_ptr<tb::TitleObject> o(new tb::TitleObject(tb::TitleDefaults(), tb::PageScale{1.0f, 1.0f}));
    o->tracker.reset(new tb::RectTracker);
    o->tracker->rect = {0, 0, W, H};
    o->tracker->hFactor = o->tracker->vFactor = 1.0f;
    o->type = tb::TITLE_CLIP;
    o->text = cga;
    page.push_back(std::move(o));
    REQUIRE(tb::ExportTitle(page, tb::EXPORT_PROGRAMME));

    // The engine lays the exported page over a black programme; the test
    // gives the clip's frame ticks itself.
    EngineHost host;
    g_transformer.Stop();
    TitleApply(1, 0, 0);
    TitleSlot &slot = g_combiner.slots[COMBINER_PROGRAMME];
    REQUIRE(slot.clip);
    slot.timer.Stop();
    EngineSurface *s = nullptr;
    REQUIRE(SUCCEEDED(EngineCreateSurface(g_engine.surfaceFactory, W, H, 0x80000, &s)));
    auto frame = [&]() {
        EngineSurfaceFill(s, INFINITE, 0xFF000000);
        slot.timer.nextFrame = 1;
        REQUIRE(g_combiner.DrawProgramme(s) == S_OK);
        return Red(ReadSurface(s));
    };
    const Spot first = frame();
    Spot later;
    for (int i = 1; i < 15; ++i) later = frame();
    EngineSurfaceRelease(s);
    TitleApply(0, 0, 0);

    INFO("first at " << first.x << "," << first.y << " (" << first.count << "), later at " << later.x << ","
                     << later.y << " (" << later.count << ")");
    REQUIRE(first.count > 40 * 30 / 2);
    REQUIRE(later.count > 40 * 30 / 2);
    // Up and left of the centre first, down and right of it later.
    CHECK(first.x < W / 2 - 60);
    CHECK(first.y < H / 2 - 30);
    CHECK(later.x > W / 2 + 20);
    CHECK(later.y > H / 2 + 10);
}
