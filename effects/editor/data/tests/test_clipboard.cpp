// Keyframes through the clipboard as text (copy, cut, paste, foreign and
// unterminated clipboard contents) and path lists from blocks and cards.
#include <catch2/catch.hpp>

#include <cstring>
#include <string>
#include <vector>

#include "fxclip.h"
#include "fxedit.h"

namespace {

int g_deletes;

LRESULT CALLBACK MainProc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_COMMAND && LOWORD(wp) == FX_CMD_DELETE_KEYFRAME)
        ++g_deletes;
    return DefWindowProcA(w, msg, wp, lp);
}

struct Editor {
    FxEffectHost host{};
    HWND main = nullptr;
    Editor()
    {
        WNDCLASSA wc{};
        wc.lpfnWndProc = MainProc;
        wc.lpszClassName = "FxDataClipMain";
        RegisterClassA(&wc);
        main = CreateWindowA("FxDataClipMain", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        host.mainWindow = main;
        host.effect = NewEffect(&host, 0);
        REQUIRE(host.effect);
        g_deletes = 0;
    }
    ~Editor()
    {
        DeleteEffect(host.effect);
        DestroyWindow(main);
    }
    FxKeyframe *kf() { return host.effect->first->head; }
};

std::string ReadClipboard()
{
    std::string s;
    if (!OpenClipboard(nullptr))
        return s;
    if (HANDLE h = GetClipboardData(CF_TEXT)) {
        if (const char *p = static_cast<const char *>(GlobalLock(h))) {
            s = p;
            GlobalUnlock(h);
        }
    }
    CloseClipboard();
    return s;
}

// Puts raw bytes on the clipboard in the given format, without a NUL.
void PutClipboard(UINT format, const char *bytes, size_t n)
{
    HGLOBAL m = GlobalAlloc(GMEM_MOVEABLE, n);
    memcpy(GlobalLock(m), bytes, n);
    GlobalUnlock(m);
    REQUIRE(OpenClipboard(nullptr));
    EmptyClipboard();
    SetClipboardData(format, m);
    CloseClipboard();
}

std::vector<uint8_t> Block(const std::string &text, uint16_t version = 2)
{
    std::vector<uint8_t> b(112 + text.size() + 1, 0);
    FxEffectBlock h{};
    h.size = 112;
    h.version = version;
    h.textLength = h.dataLength = uint32_t(text.size() + 1);
    h.textOffset = 112;
    memcpy(b.data(), &h, sizeof h);
    memcpy(&b[112], text.c_str(), text.size() + 1);
    return b;
}

const char kTwoPaths[] = "Path 1:\nKeyframe 1.1 { at frame 1 Position: x = 55, y = 5 }\n"
                         "Path 2:\nKeyframe 2.1 { at frame 1 Position: x = 66 }\n";

}  // namespace

TEST_CASE("copy and cut put the current keyframe on the clipboard as text", "[clipboard]")
{
    Editor ed;
    ed.kf()->position[0] = 33;
    REQUIRE(CopyKeyframe(ed.host.effect, 0));
    std::string text = ReadClipboard();
    CHECK(text.find("Keyframe 1.1") != std::string::npos);
    CHECK(text.find("x = 33,") != std::string::npos);
    CHECK(g_deletes == 0);

    ed.kf()->position[0] = 44;
    REQUIRE(CopyKeyframe(ed.host.effect, 1));
    CHECK(ReadClipboard().find("x = 44,") != std::string::npos);
    CHECK(g_deletes == 1);

    CHECK(CopyKeyframe(nullptr, 0) == 0);
}

TEST_CASE("paste reads the clipboard's text into the keyframe clipboard", "[clipboard]")
{
    Editor ed;
    FxKeyframe *probe = NewKeyframe();
    ed.kf()->position[0] = 21;
    REQUIRE(CopyKeyframe(ed.host.effect, 0));
    REQUIRE(PasteKeyframe() == 1);
    PasteKeyframeFromClipboard(probe);
    CHECK(probe->position[0] == 21);

    SECTION("content that is not text changes nothing")
    {
        UINT own = RegisterClipboardFormatA("FxDataTestFormat");
        PutClipboard(own, "x", 1);
        CHECK(PasteKeyframe() == 0);
        probe->position[0] = 0;
        PasteKeyframeFromClipboard(probe);
        CHECK(probe->position[0] == 21);
    }
    SECTION("text without a keyframe changes nothing")
    {
        const char hello[] = "hello";
        PutClipboard(CF_TEXT, hello, sizeof hello);
        CHECK(PasteKeyframe() == 0);
        probe->position[0] = 0;
        PasteKeyframeFromClipboard(probe);
        CHECK(probe->position[0] == 21);
    }
    SECTION("text whose memory has no terminating NUL is read to its end")
    {
        const char text[] = "Keyframe 1.1 { Position: x = 7 }";
        PutClipboard(CF_TEXT, text, sizeof text - 1);
        CHECK(PasteKeyframe() == 1);
        PasteKeyframeFromClipboard(probe);
        CHECK(probe->position[0] == 7);
    }
    FreeKeyframe(probe);
}

TEST_CASE("path lists from blocks and cards", "[clipboard][block]")
{
    std::vector<uint8_t> b = Block(kTwoPaths);
    FxPath *paths = PathsFromBlock(reinterpret_cast<FxEffectBlock *>(b.data()), b.size());
    REQUIRE(paths);
    CHECK(CountPaths(paths) == 2);
    CHECK(paths->head->position[0] == 55);
    CHECK(paths->next->head->position[0] == 66);
    FreeEffect(paths);

    std::vector<uint8_t> old = Block(kTwoPaths, 11);
    paths = PathsFromBlock(reinterpret_cast<FxEffectBlock *>(old.data()), old.size());
    CHECK(paths);
    FreeEffect(paths);

    std::vector<uint8_t> v3 = Block(kTwoPaths, 3);
    CHECK(PathsFromBlock(reinterpret_cast<FxEffectBlock *>(v3.data()), v3.size()) == nullptr);
    CHECK(PathsFromBlock(reinterpret_cast<FxEffectBlock *>(b.data()), b.size() - 1) == nullptr);
    CHECK(PathsFromBlock(nullptr) == nullptr);
    std::vector<uint8_t> empty = Block("no keyframes here");
    CHECK(PathsFromBlock(reinterpret_cast<FxEffectBlock *>(empty.data()), empty.size()) == nullptr);

    SECTION("a card's paths are laid onto the current path")
    {
        Editor ed;
        FxCardRecord rec{};
        rec.type = FX_CARD_TYPE;
        rec.block = reinterpret_cast<FxEffectBlock *>(b.data());
        rec.blockSize = uint32_t(b.size());
        CHECK(ApplyCardPaths(&rec, ed.host.effect) == 1);
        CHECK(ed.kf()->position[0] == 55);
        CHECK(ed.kf()->position[1] == 5);

        rec.block = reinterpret_cast<FxEffectBlock *>(v3.data());
        rec.blockSize = uint32_t(v3.size());
        CHECK(ApplyCardPaths(&rec, ed.host.effect) == 2);
        CHECK(ApplyCardPaths(nullptr, ed.host.effect) == 2);
        CHECK(ApplyCardPaths(&rec, nullptr) == 2);
    }
}
