// Render and take on a real display, through the editor a CG link host
// (host kind 0x2C910000) opens: the host puts the editor's menu on its
// window and translates its accelerators; "Render && Take Animation" comes
// from its key (NumPad Enter, VK_F24 here), "Render Animation" from the
// Play menu opened with the keyboard.  The host names the movie file in
// its data record and records the video-service calls of a take.
#include <catch2/catch.hpp>

#include <cstring>
#include <string>
#include <vector>

#include "editor_host.h"
#include "editor_menu_routing.h"

using namespace fxtest;

namespace {

struct Service {
    uint32_t code, first;
    bool hasTake;
    FxTakeRecord take;
};

struct TakeHost : EditorHost {
    MenuRouting routing;            // undone before the editor host closes
    std::string target;             // the file the host names
    std::vector<Service> services;  // 2254 calls other than format queries
    int changed = 0;                // FXN_CHANGED seen

    TakeHost() : EditorHost(0, FX_HOST_KIND_PLAIN)
    {
        host.iniPath = WriteIni("fxrendertake.ini", "[Cubby Test]\r\n");
        char dir[MAX_PATH];
        GetTempPathA(MAX_PATH, dir);
        target = std::string(dir) + "fxtake_" + std::to_string(GetCurrentProcessId()) + ".vexa";
        DeleteFileA(target.c_str());
        auto windows = host.answer;
        host.answer = [this, windows](UINT message, WPARAM wp, void *record, bool &handled) -> INT_PTR {
            if (message == FXN_GET_DATA && wp == 0 && record) {
                auto *r = static_cast<FxHostDataRecord *>(record);
                if (r->selector == 0) {
                    if (target.size() >= sizeof r->zero)
                        std::memcpy(r->zero, target.data(), sizeof r->zero);
                    else
                        lstrcpynA(reinterpret_cast<char *>(r->zero), target.c_str(), sizeof r->zero);
                    handled = true;
                    return 1;
                }
            }
            if (message == FXN_VIDEO_FORMAT && record) {
                const auto *q = static_cast<const FxVideoFormatQuery *>(record);
                if (q->code != 0 && q->code != 17) {
                    Service s = {q->code, q->form, q->out != nullptr, {}};
                    if (q->out) std::memcpy(&s.take, q->out, sizeof s.take);
                    services.push_back(s);
                    handled = true;
                    return 1;
                }
            }
            if (message == FXN_CHANGED) ++changed;
            return windows(message, wp, record, handled);
        };
    }
    ~TakeHost()
    {
        routing.Stop();
        DeleteFileA(target.c_str());
    }
    bool OpenRouted()
    {
        if (!Open()) return false;
        const bool routed = routing.Start(frame, Bind(), Inst()->menu, host.lib.accelerators);
        Front(frame);
        SetFocus(Inst()->mainWindow);
        Pump(100);
        return routed;
    }
    bool FileThere() const { return GetFileAttributesA(target.c_str()) != INVALID_FILE_ATTRIBUTES; }
};

// Alt+P opens the Play menu; then the item's mnemonic.
void PlayMenu(WORD item)
{
    std::vector<INPUT> in;
    auto push = [&](WORD vk, bool up) {
        INPUT i = {};
        i.type = INPUT_KEYBOARD;
        i.ki.wVk = vk;
        i.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        in.push_back(i);
    };
    push(VK_MENU, false);
    push('P', false);
    push('P', true);
    push(VK_MENU, true);
    push(item, false);
    push(item, true);
    SendInputs(in);
}

std::vector<uint32_t> Codes(const std::vector<Service> &s)
{
    std::vector<uint32_t> c;
    for (const Service &x : s) c.push_back(x.code);
    return c;
}

}  // namespace

TEST_CASE("Render and take: the key renders a stale effect and hands the file over, the menu renders again",
          "[rendertake][screen]")
{
    REQUIRE(Library());
    TakeHost e;
    REQUIRE(e.OpenRouted());
    e.Inst()->frameWidth = 16;
    e.Inst()->frameHeight = 16;
    FxEffect *fx = e.Effect();
    fx->endFrame = 4;
    fx->flags |= FXE_RENDER_STALE;

    // NumPad Enter: the effect must be rendered, so it is, then taken.
    Key(VK_F24);
    REQUIRE(PumpUntil([&] { return e.services.size() >= 4; }, 20000));
    CHECK(e.FileThere());
    CHECK(std::string(fx->renderFile) == e.target);
    CHECK((fx->flags & FXE_RENDER_STALE) == 0);
    CHECK(fx->renderTimeStamp != 0);
    CHECK(e.changed >= 1);
    CHECK(Codes(e.services) == std::vector<uint32_t>{1, 6, 10, 12});
    CHECK(e.services[0].first == 14);
    for (int i : {2, 3}) {
        const FxTakeRecord &t = e.services[size_t(i)].take;
        REQUIRE(e.services[size_t(i)].hasTake);
        CHECK(t.size == 624);
        CHECK(t.flags == 0x8000);
        CHECK(t.kind == 14);
        CHECK(t.frames == 4);
        CHECK(std::string(t.fileName) == e.target);
    }
    e.Shot("rendertake_taken.bmp");

    // Again with nothing changed: taken without a render.
    REQUIRE(DeleteFileA(e.target.c_str()));
    e.services.clear();
    Key(VK_F24);
    REQUIRE(PumpUntil([&] { return e.services.size() >= 4; }, 10000));
    CHECK(Codes(e.services) == std::vector<uint32_t>{1, 6, 10, 12});
    CHECK_FALSE(e.FileThere());

    // "Force Re-Render" from the Play menu renders and takes nothing.
    e.services.clear();
    PlayMenu('R');
    REQUIRE(PumpUntil([&] { return e.FileThere(); }, 20000));
    Pump(200);
    CHECK(e.services.empty());
    CHECK((fx->flags & FXE_RENDER_STALE) == 0);
    e.Shot("rendertake_rendered.bmp");
}

TEST_CASE("Render and take does nothing without a target file or for another host", "[rendertake][screen]")
{
    REQUIRE(Library());
    SECTION("the host names no file")
    {
        TakeHost e;
        e.target.clear();
        REQUIRE(e.OpenRouted());
        e.Effect()->flags |= FXE_RENDER_STALE;
        uintptr_t record[2] = {FX_CMD_RENDER_TAKE, 0};
        CHECK(e.host.Send(FXN_COMMAND, 0, record) == 0);
        CHECK(e.services.empty());
        CHECK((e.Effect()->flags & FXE_RENDER_STALE) != 0);
    }
    SECTION("a name that fills the record without its end is refused")
    {
        TakeHost e;
        e.target = std::string(300, 'x');
        REQUIRE(e.OpenRouted());
        uintptr_t record[2] = {FX_CMD_RENDER, 0};
        CHECK(e.host.Send(FXN_COMMAND, 0, record) == 0);
        CHECK(e.services.empty());
    }
    SECTION("a host that is not the CG link")
    {
        EditorHost e(0);
        REQUIRE(e.Open());
        e.Effect()->flags |= FXE_RENDER_STALE;
        const int asked = e.host.Count(FXN_GET_DATA), served = e.host.Count(FXN_VIDEO_FORMAT);
        uintptr_t record[2] = {FX_CMD_RENDER_TAKE, 0};
        CHECK(e.host.Send(FXN_COMMAND, 0, record) == 0);
        // Not even asked for a file; nothing handed over.
        CHECK(e.host.Count(FXN_GET_DATA) == asked);
        CHECK(e.host.Count(FXN_VIDEO_FORMAT) == served);
        CHECK((e.Effect()->flags & FXE_RENDER_STALE) != 0);
    }
}
