// A host of bin/Tarvofx/Tarvofx.dll, loaded by file name, that speaks the
// record forms: the thumbnail transfer into the image filters' conversion
// target, effect templates stored and read back through the store of
// numbered entries, the state codes and the relay codes, each checked by
// what it leaves behind (files read back, the store's entries, the
// effect's keyframes).
#include <catch2/catch.hpp>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ferrix.h"
#include "fxclip.h"
#include "fxedit.h"
#include "fxhost_host.h"
#include "fxprogress.h"
#include "fxregdlg.h"
#include "fxrtdve.h"
#include "tallyset.h"

using namespace fxtest;

namespace {

std::string TempName(const std::string &stem)
{
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    return std::string(dir) + stem + "_" + std::to_string(GetCurrentProcessId());
}

// A red object of an eighth of the frame's width moving from a quarter
// left of the centre (frame 1) to a quarter right of it (frame 10), in a
// 640 x 480 space.
const char *const kMoving =
    "Header { VirtualRes: width 640, height 480 }"
    " Path 1: Keyframe 1.1 { at frame 1 Position: x = -160, y = 0, z = 1000."
    " Shape: Width = 80.000 Height = 60.000 }"
    " Keyframe 1.2 { at frame 10 Position: x = 160, y = 0, z = 1000."
    " Shape: Width = 80.000 Height = 60.000 }";

// A host of the library file with the moving object and a 64 x 48 frame.
struct DllHost {
    TestHost host{"Cubby Test", /*dll*/ true};
    DllHost()
    {
        REQUIRE(host.Attach() == 1);
        FxRequest set = Current(FXD_EFFECT_TEXT, FXM_TEXT, const_cast<char *>(kMoving));
        REQUIRE(host.Send(FXN_REQUEST, FXP_RECEIVE | FXP_TRANSFER, &set) == 1);
        std::vector<uint32_t> px(16 * 16, 0xFFFF0000);
        FxRequest img = Current(FXD_OBJECT_IMAGE, FXM_MEMORY, px.data(), Pack(16, 16));
        REQUIRE(host.Send(FXN_REQUEST, FXP_RECEIVE | FXP_TRANSFER, &img) == 1);
        // The image set gives the keyframes its own pixel size.
        FxKeyframe *k = FxCurrentEffect(host.Instance())->first->head;
        do {
            SetKeyframeSize(k, 80, 60);
            k = k->next;
        } while (k != FxCurrentEffect(host.Instance())->first->head);
    }
};

// The pixels of a 24- or 32-bit BMP file, top row first, as 0xRRGGBB.
struct Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> px;
    uint32_t At(int x, int y) const { return px[size_t(y) * width + x]; }
};

bool ReadBmp(const std::string &name, Picture *out)
{
    HANDLE f = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    std::vector<uint8_t> b;
    uint8_t chunk[4096];
    DWORD n = 0;
    while (ReadFile(f, chunk, sizeof chunk, &n, nullptr) && n > 0) b.insert(b.end(), chunk, chunk + n);
    CloseHandle(f);
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') return false;
    auto u32 = [&](size_t o) { return uint32_t(b[o]) | uint32_t(b[o + 1]) << 8 | uint32_t(b[o + 2]) << 16 | uint32_t(b[o + 3]) << 24; };
    const uint32_t offset = u32(10);
    const int32_t w = int32_t(u32(18)), h = int32_t(u32(22));
    const int bits = b[28] | b[29] << 8;
    if (w <= 0 || h == 0 || (bits != 24 && bits != 32)) return false;
    const int rows = h < 0 ? -h : h;
    const size_t stride = (size_t(w) * (bits / 8) + 3) & ~size_t(3);
    if (offset + stride * rows > b.size()) return false;
    out->width = w;
    out->height = rows;
    out->px.assign(size_t(w) * rows, 0);
    for (int y = 0; y < rows; ++y) {
        const uint8_t *row = &b[offset + stride * size_t(h < 0 ? y : rows - 1 - y)];
        for (int x = 0; x < w; ++x) {
            const uint8_t *p = row + size_t(x) * (bits / 8);
            out->px[size_t(y) * w + x] = uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
        }
    }
    return true;
}

// The mean column of the reddish pixels; -1 when there are none.
double RedColumn(const Picture &p)
{
    double sum = 0;
    int count = 0;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const uint32_t c = p.At(x, y);
            if (((c >> 16) & 0xFF) > 160 && ((c >> 8) & 0xFF) < 80 && (c & 0xFF) < 80) {
                sum += x;
                ++count;
            }
        }
    return count ? sum / count : -1;
}

}  // namespace

TEST_CASE("The thumbnail is drawn at the asked size into the caller's conversion target", "[hostdll][thumbnail]")
{
    DllHost d;
    TestHost &h = d.host;
    const std::string file = TempName("fxhost_thumb") + ".bmp";
    DeleteFileA(file.c_str());
    ConvertTarget target;
    std::memset(&target, 0, sizeof target);
    target.version = FX_REQUEST_VERSION;
    std::snprintf(target.path, sizeof target.path, "%s", file.c_str());

    SECTION("the size query answers the frame size when the size word has none")
    {
        h.Instance()->frameWidth = 320;
        h.Instance()->frameHeight = 240;
        FxRequest q = Current(FXD_THUMBNAIL, FXM_WIDE, &target, Pack(0, 48));
        CHECK(h.Send(FXN_REQUEST, FXP_SIZE, &q) == 1);
        CHECK(q.second == Pack(320, 240));
        // A transfer without a size draws nothing.
        FxRequest none = Current(FXD_THUMBNAIL, FXM_WIDE, &target, Pack(64, 0));
        CHECK(h.Send(FXN_REQUEST, FXP_TRANSFER, &none) == 0);
        CHECK(GetFileAttributesA(file.c_str()) == INVALID_FILE_ATTRIBUTES);
    }
    SECTION("the thumbnail frame decides where the object is")
    {
        // Frame 1 holds the object left of the centre, frame 10 right of it.
        struct Case {
            int thumbnail, current;
            bool right;
        } cases[] = {{1, 5, false}, {10, 1, true}, {-1, 10, true}, {-1, 1, false}};
        for (const Case &c : cases) {
            Effect(h)->thumbnailFrame = c.thumbnail;
            Effect(h)->currentFrame = c.current;
            DeleteFileA(file.c_str());
            FxRequest r = Current(FXD_THUMBNAIL, FXM_WIDE, &target, Pack(64, 48));
            INFO("thumbnail frame " << c.thumbnail << ", current frame " << c.current);
            REQUIRE(h.Send(FXN_REQUEST, FXP_TRANSFER, &r) == 1);
            Picture p;
            REQUIRE(ReadBmp(file, &p));
            CHECK(p.width == 64);
            CHECK(p.height == 48);
            const double column = RedColumn(p);
            CHECK(column >= 0);
            // 64 pixels across: the centre at 16 or at 48.
            CHECK(column == Approx(c.right ? 48 : 16).margin(2));
        }
    }
    SECTION("another medium, no target, or a target that cannot be written: nothing")
    {
        FxRequest text = Current(FXD_THUMBNAIL, FXM_TEXT, &target, Pack(64, 48));
        CHECK(h.Send(FXN_REQUEST, FXP_TRANSFER, &text) == 0);
        FxRequest none = Current(FXD_THUMBNAIL, FXM_WIDE, nullptr, Pack(64, 48));
        CHECK(h.Send(FXN_REQUEST, FXP_TRANSFER, &none) == 0);
        void *page = VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_READONLY);
        FxRequest ro = Current(FXD_THUMBNAIL, FXM_WIDE, page, Pack(64, 48));
        CHECK(h.Send(FXN_REQUEST, FXP_TRANSFER, &ro) == 0);
        VirtualFree(page, 0, MEM_RELEASE);
        CHECK(GetFileAttributesA(file.c_str()) == INVALID_FILE_ATTRIBUTES);
        // A target the filters cannot write (no such folder) answers 0.
        ConvertTarget bad = target;
        std::snprintf(bad.path, sizeof bad.path, "%s", (TempName("no_such_folder") + "\\x.bmp").c_str());
        FxRequest r = Current(FXD_THUMBNAIL, FXM_WIDE, &bad, Pack(64, 48));
        CHECK(h.Send(FXN_REQUEST, FXP_TRANSFER, &r) == 0);
    }
    DeleteFileA(file.c_str());
}

namespace {

// The store library the module binds (bin/tallyset.dll), held loaded by
// the test so that its entries can be read between requests.
struct StoreView {
    HMODULE dll = LoadLibraryA((BinDir() + "tallyset.dll").c_str());
    decltype(&RegGetData) get = reinterpret_cast<decltype(&RegGetData)>(GetProcAddress(dll, "RegGetData"));
    decltype(&RegFreeData) release = reinterpret_cast<decltype(&RegFreeData)>(GetProcAddress(dll, "RegFreeData"));
    decltype(&RegSetFile) setFile = reinterpret_cast<decltype(&RegSetFile)>(GetProcAddress(dll, "RegSetFile"));
    ~StoreView()
    {
        if (dll) FreeLibrary(dll);
    }
    // The text of the card numbered `number` of kind 2, "" when none.
    std::string Text(int number, std::string *name = nullptr)
    {
        char n[80] = "";
        int length = 0;
        void *rec = get(2, number, n, &length);
        if (!rec) return std::string();
        std::string text;
        const FxCardRecord *card = static_cast<const FxCardRecord *>(rec);
        if (card->type == FX_CARD_TYPE && card->block && FxCheckBlock(card->block, card->blockSize) == FXB_OK)
            text = FxBlockText(card->block);
        if (name) *name = n;
        release(rec);
        return text;
    }
};

}  // namespace

TEST_CASE("Effect templates are stored by name and read back as FX script", "[hostdll][templates]")
{
    StoreView store;
    REQUIRE(store.get);
    const std::string reg = TempName("fxhost_templates") + ".tly";
    DeleteFileA(reg.c_str());
    store.setFile(reg.c_str());
    TestHost h("Cubby Test", /*dll*/ true);
    h.regPath = reg;
    REQUIRE(h.Attach() == 1);

    const char *swoop =
        "Path 1: Keyframe 1.1 { at frame 1 Position: x = -50, y = 0, z = 1000. }"
        " Keyframe 1.2 { at frame 12 Position: x = 75, y = 0, z = 1000. }";
    char name[] = "Quick Swoop";
    FxRequest set = Current(FXD_EFFECT_SCRIPT, FXM_TEXT, const_cast<char *>(swoop));
    set.extra = reinterpret_cast<uintptr_t>(name);
    REQUIRE(h.Send(FXN_REQUEST, FXP_RECEIVE | FXP_TRANSFER, &set) == 1);
    CHECK((h.Instance()->changeMask & 0x8000000) != 0);
    // The store holds a card whose block carries the template.
    std::string stored;
    const std::string text1 = store.Text(1, &stored);
    CHECK(stored == "Quick Swoop");
    CHECK(text1.find("at frame 12") != std::string::npos);
    CHECK(text1.find("x = 75") != std::string::npos);

    SECTION("a size query names the template and sizes its text; the transfer writes it")
    {
        FxRequest q = Current(FXD_EFFECT_SCRIPT, FXM_TEXT);
        REQUIRE(h.Send(FXN_REQUEST, FXP_SIZE, &q) == 1);
        REQUIRE(q.extra != 0);
        CHECK(std::string(reinterpret_cast<const char *>(q.extra)) == "Quick-Swoop");
        CHECK(q.second == text1.size() + 1);
        std::vector<char> out(q.second + 8, '#');
        FxRequest get = Current(FXD_EFFECT_SCRIPT, FXM_TEXT, out.data(), q.second);
        get.extra = q.extra;
        CHECK(h.Send(FXN_REQUEST, FXP_TRANSFER, &get) == INT_PTR(text1.size()));
        CHECK(std::string(out.data()) == text1);
        CHECK(out[q.second] == '#');
        // The text read back parses into the template's keyframes.
        FxPath *paths = ParseEffectText(out.data());
        REQUIRE(paths);
        CHECK(paths->head->prev->startFrame == 12);
        FreeEffect(paths);
    }
    SECTION("the same name replaces the template, a new name takes the next number")
    {
        const char *other = "Path 1: Keyframe 1.1 { at frame 1 } Keyframe 1.2 { at frame 30 }";
        char dashed[] = "Quick-Swoop";
        FxRequest again = Current(FXD_EFFECT_SCRIPT, FXM_TEXT, const_cast<char *>(other));
        again.extra = reinterpret_cast<uintptr_t>(dashed);
        REQUIRE(h.Send(FXN_REQUEST, FXP_RECEIVE | FXP_TRANSFER, &again) == 1);
        CHECK(store.Text(1).find("at frame 30") != std::string::npos);
        CHECK(store.Text(2).empty());
        char second[] = "Slow Fade";
        FxRequest add = Current(FXD_EFFECT_SCRIPT, FXM_TEXT, const_cast<char *>(swoop));
        add.extra = reinterpret_cast<uintptr_t>(second);
        REQUIRE(h.Send(FXN_REQUEST, FXP_RECEIVE | FXP_TRANSFER, &add) == 1);
        CHECK(store.Text(2).find("at frame 12") != std::string::npos);
        // Read by name.
        std::vector<char> out(4096, 0);
        FxRequest get = Current(FXD_EFFECT_SCRIPT, FXM_TEXT, out.data(), out.size());
        get.extra = reinterpret_cast<uintptr_t>(dashed);
        CHECK(h.Send(FXN_REQUEST, FXP_TRANSFER, &get) > 0);
        CHECK(std::string(out.data()).find("at frame 30") != std::string::npos);
    }
    SECTION("refused requests leave the store and the caller's buffer as they were")
    {
        std::vector<char> out(8, '#');
        char missing[] = "No Such";
        FxRequest get = Current(FXD_EFFECT_SCRIPT, FXM_TEXT, out.data(), out.size());
        get.extra = reinterpret_cast<uintptr_t>(missing);
        CHECK(h.Send(FXN_REQUEST, FXP_TRANSFER, &get) == 0);
        // Too small a buffer for the template.
        get.extra = reinterpret_cast<uintptr_t>(name);
        CHECK(h.Send(FXN_REQUEST, FXP_TRANSFER, &get) == 0);
        CHECK(std::string(out.begin(), out.end()) == "########");
        // Another medium.
        FxRequest wide = Current(FXD_EFFECT_SCRIPT, FXM_WIDE, const_cast<char *>(swoop));
        wide.extra = reinterpret_cast<uintptr_t>(name);
        CHECK(h.Send(FXN_REQUEST, FXP_RECEIVE | FXP_TRANSFER, &wide) == 0);
        // A name without its end within 64 characters.
        std::string longName(200, 'n');
        FxRequest unended = Current(FXD_EFFECT_SCRIPT, FXM_TEXT, const_cast<char *>(swoop));
        unended.extra = reinterpret_cast<uintptr_t>(longName.data());
        h.Instance()->templateName[0] = 0;
        CHECK(h.Send(FXN_REQUEST, FXP_RECEIVE | FXP_TRANSFER, &unended) == 0);
        // Text that holds no path.
        char junk[] = "not a script at all";
        FxRequest bad = Current(FXD_EFFECT_SCRIPT, FXM_TEXT, junk);
        bad.extra = reinterpret_cast<uintptr_t>(missing);
        CHECK(h.Send(FXN_REQUEST, FXP_RECEIVE | FXP_TRANSFER, &bad) == 0);
        CHECK(store.Text(2).empty());
        CHECK(store.Text(1) == text1);
    }
    h.Detach();
    DeleteFileA(reg.c_str());
}

namespace {

// Start and end frames of every keyframe of a path, in ring order.
std::vector<std::pair<int, int>> Frames(FxPath *p)
{
    std::vector<std::pair<int, int>> out;
    FxKeyframe *k = p->head;
    do {
        out.push_back({k->startFrame, k->endFrame});
        k = k->next;
    } while (k != p->head);
    return out;
}

typedef std::vector<std::pair<int, int>> FrameList;

}  // namespace

TEST_CASE("State codes 2 and 3 put time into the paths and take it out", "[hostdll][state]")
{
    TestHost h("Cubby Test", /*dll*/ true);
    REQUIRE(h.Attach() == 1);
    const char *script =
        "Path 1: Keyframe 1.1 { at frame 1 } Keyframe 1.2 { at frame 5 } Keyframe 1.3 { at frame 9 }"
        " Path 2: Keyframe 2.1 { at frame 6 } Keyframe 2.2 { at frame 12 }";
    FxRequest set = Current(FXD_EFFECT_TEXT, FXM_TEXT, const_cast<char *>(script));
    REQUIRE(h.Send(FXN_REQUEST, FXP_RECEIVE | FXP_TRANSFER, &set) == 1);
    FxEffect *e = Effect(h);
    REQUIRE(Frames(e->first) == (FrameList{{1, 1}, {5, 5}, {9, 9}}));
    struct Case {
        int code, at, frames, result;
        FrameList first, second;
    } cases[] = {
        // Keyframes from frame 5 on move 3 later.
        {2, 5, 3, 1, {{1, 1}, {8, 8}, {12, 12}}, {{9, 9}, {15, 15}}},
        // Nothing lies at or after frame 40.
        {2, 40, 3, 0, {{1, 1}, {5, 5}, {9, 9}}, {{6, 6}, {12, 12}}},
        // Frames 5 to 7 go: frame 5's keyframe stays at 5, the later ones
        // move 3 earlier, a keyframe inside the cut keeps the cut's frame.
        {3, 5, 3, 1, {{1, 1}, {5, 5}, {6, 6}}, {{5, 5}, {9, 9}}},
        // No frames, or frames before the effect: nothing.
        {3, 5, 0, 0, {{1, 1}, {5, 5}, {9, 9}}, {{6, 6}, {12, 12}}},
        {2, 0, 4, 0, {{1, 1}, {5, 5}, {9, 9}}, {{6, 6}, {12, 12}}},
    };
    for (const Case &c : cases) {
        // A fresh copy of the effect each time.
        REQUIRE(h.Send(FXN_REQUEST, FXP_RECEIVE | FXP_TRANSFER, &set) == 1);
        e = Effect(h);
        h.Instance()->changeMask = 0;
        int32_t words[2] = {c.at, c.frames};
        INFO("code " << c.code << " at " << c.at << " for " << c.frames);
        CHECK(h.Send(FXN_STATE, WPARAM(c.code), words) == c.result);
        CHECK(Frames(e->first) == c.first);
        CHECK(Frames(e->first->next) == c.second);
        CHECK(((h.Instance()->changeMask & 0x15FFFFFF) == 0x15FFFFFF) == (c.result == 1));
    }
    CHECK(h.Send(FXN_STATE, 2, nullptr) == 0);
}

TEST_CASE("State codes 13, 14 and 17 read and set the objects' option word", "[hostdll][state]")
{
    for (int personality : {2, 0}) {
        TestHost h("Cubby Test", /*dll*/ true);
        h.Number(uint32_t(personality));
        REQUIRE(h.Attach() == 1);
        const char *two = "Path 1: Keyframe 1.1 { at frame 1 } Path 2: Keyframe 2.1 { at frame 1 }";
        FxRequest set = Current(FXD_EFFECT_TEXT, FXM_TEXT, const_cast<char *>(two));
        REQUIRE(h.Send(FXN_REQUEST, FXP_RECEIVE | FXP_TRANSFER, &set) == 1);
        INFO("personality " << personality);
        CHECK(h.Send(FXN_STATE, 13) == 0);
        CHECK(h.Send(FXN_STATE, 17) == 0);
        const bool takes = personality == 2;
        struct Row {
            uintptr_t word;
            int bit1, bit2;
        } rows[] = {{1, 1, 0}, {2, 0, 1}, {3, 1, 1}, {0, 0, 0}};
        for (const Row &r : rows) {
            CHECK(h.Send(FXN_STATE, 14, reinterpret_cast<void *>(r.word)) == 0);
            CHECK(h.Send(FXN_STATE, 13) == (takes ? r.bit1 : 0));
            CHECK(h.Send(FXN_STATE, 17) == (takes ? r.bit2 : 0));
        }
        h.Detach();
    }
}

TEST_CASE("State code 11 exports frames of the effect or of the text it brings", "[hostdll][state]")
{
    DllHost d;
    TestHost &h = d.host;
    // Without a block: the bytes the sequence needs, in the last word.
    uintptr_t sizeOnly[6] = {0, 0, FXD_FRAME_EXPORT, 0, 0, Pack(1, 6)};
    CHECK(h.Send(FXN_STATE, 11, sizeOnly) == 1);
    CHECK(sizeOnly[5] == 10u * 184u);
    // Into a block: the effect's own frames, then the frames of a text.
    for (const char *text : {static_cast<const char *>(nullptr), kMoving}) {
        std::vector<uint8_t> memory(10 * 184 + 64, 0xEE);
        RtParamBlock block = {};
        block.buffer = memory.data();
        block.capacity = 10 * 184;
        uintptr_t words[6] = {0, reinterpret_cast<uintptr_t>(text), FXD_FRAME_EXPORT,
                              reinterpret_cast<uintptr_t>(&block), 0, Pack(1, 6)};
        CHECK(h.Send(FXN_STATE, 11, words) == 1);
        CHECK(block.used > 0);
        CHECK(block.used <= block.capacity);
        CHECK(memory[10 * 184] == 0xEE);
    }
    // The effect itself is left as it was; bad records answer 0.
    CHECK(CountPaths(Effect(h)->first) == 1);
    char junk[] = "no paths here";
    uintptr_t bad[6] = {0, reinterpret_cast<uintptr_t>(junk), FXD_FRAME_EXPORT, 0, 0, Pack(1, 6)};
    CHECK(h.Send(FXN_STATE, 11, bad) == 0);
    uintptr_t code[6] = {0, 0, FXD_MOVIE, 0, 0, Pack(1, 6)};
    CHECK(h.Send(FXN_STATE, 11, code) == 0);
    CHECK(h.Send(FXN_STATE, 11, nullptr) == 0);
}

TEST_CASE("A host that embeds the editor hears of a render before it starts", "[hostdll][state]")
{
    for (uint32_t kind : {uint32_t(FX_HOST_EMBEDDED), 0u}) {
        TestHost h("Cubby Test", /*dll*/ true);
        h.Number(0, kind);
        HWND window = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 640, 480,
                                      nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        HWND tools = CreateWindowExA(0, "STATIC", "tools", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr, nullptr,
                                     GetModuleHandleA(nullptr), nullptr);
        h.self.node.window = tools;
        REQUIRE(h.Attach() == 1);
        FxRequest set = Current(FXD_EFFECT_TEXT, FXM_TEXT, const_cast<char *>(kMoving));
        REQUIRE(h.Send(FXN_REQUEST, FXP_RECEIVE | FXP_TRANSFER, &set) == 1);
        HWND parent = window;
        REQUIRE(h.Send(FXN_PREPARE_EDITOR, 0, &parent) == 1);
        h.calls.clear();
        uintptr_t go[2] = {FX_ID_GO, 0};
        INFO("host kind " << std::hex << kind);
        Effect(h)->currentFrame = 1;
        h.Send(FXN_COMMAND, 0, go);
        // The render ran to the effect's last frame either way.
        CHECK(Effect(h)->currentFrame == 10);
        bool told = false;
        for (const Call &c : h.calls) told = told || (c.message == FXN_STATE && c.wparam == 7);
        CHECK(told == (kind == FX_HOST_EMBEDDED));
        h.Send(FXN_CLOSE);
        h.Detach();
        DestroyWindow(window);
        DestroyWindow(tools);
    }
}

namespace {

// Answers the library's modal question from a thread timer inside its
// loop: checks radio `pick` (0 leaves the checks) and presses OK, or
// Cancel when `pick` is negative.  `first` names the question's first
// radio, by which the dialog is found.
struct Question {
    int first = 0;
    int pick = 0;
    bool seen = false;
    std::string text;  // the first radio's caption
};
Question *g_question;

BOOL CALLBACK FindQuestion(HWND w, LPARAM out)
{
    if (!GetDlgItem(w, g_question->first)) return TRUE;
    *reinterpret_cast<HWND *>(out) = w;
    return FALSE;
}

void CALLBACK AnswerQuestion(HWND, UINT, UINT_PTR id, DWORD)
{
    HWND dialog = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindQuestion, LPARAM(&dialog));
    if (!dialog || g_question->seen) return;
    KillTimer(nullptr, id);
    g_question->seen = true;
    char text[256] = "";
    GetDlgItemTextA(dialog, g_question->first, text, sizeof text);
    g_question->text = text;
    if (g_question->pick < 0) {
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        return;
    }
    CheckRadioButton(dialog, g_question->first, g_question->first + 3, g_question->first + g_question->pick);
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
}

INT_PTR Ask(TestHost &h, uintptr_t code, uintptr_t value, Question &q)
{
    g_question = &q;
    SetTimer(nullptr, 0, 50, AnswerQuestion);
    uintptr_t words[3] = {code, value, 0};
    const INT_PTR r = h.Send(FXN_WINDOW_MESSAGE, 0, words);
    g_question = nullptr;
    return r;
}

// A 24-bit BMP of w x h pixels of one colour (0xRRGGBB), bottom-up.
void WriteBmp(const std::string &name, int w, int hgt, uint32_t colour)
{
    const uint32_t stride = (uint32_t(w) * 3 + 3) & ~3u;
    std::vector<uint8_t> b(54 + stride * hgt, 0);
    auto put32 = [&](size_t o, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[o + i] = uint8_t(v >> (8 * i));
    };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, uint32_t(b.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, uint32_t(w));
    put32(22, uint32_t(hgt));
    b[26] = 1;
    b[28] = 24;
    for (int y = 0; y < hgt; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t *p = &b[54 + stride * y + x * 3];
            p[0] = uint8_t(colour);
            p[1] = uint8_t(colour >> 8);
            p[2] = uint8_t(colour >> 16);
        }
    HANDLE f = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    REQUIRE(f != INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(f, b.data(), DWORD(b.size()), &written, nullptr);
    CloseHandle(f);
}

}  // namespace

TEST_CASE("Relays 878 and 879 ask the clip-length and gap questions", "[hostdll][relay]")
{
    DllHost d;
    TestHost &h = d.host;
    FxEffect *e = Effect(h);
    e->flags &= ~0x30000000u;
    SECTION("878: the method chosen becomes the effect's, Cancel keeps it")
    {
        Question q;
        q.first = 3360;
        q.pick = 2;
        CHECK(Ask(h, 878, 0, q) == 2);
        CHECK(q.seen);
        CHECK(((e->flags >> 28) & 3) == 2u);
        Question cancel;
        cancel.first = 3360;
        cancel.pick = -1;
        CHECK(Ask(h, 878, 0, cancel) == -1);
        CHECK(((e->flags >> 28) & 3) == 2u);
    }
    SECTION("879: the choice over the host's record, Cancel -1, no record 0")
    {
        FxGapQuestion record = {5, 12, 3, 1};
        Question q;
        q.first = 3790;
        q.pick = 3;
        CHECK(Ask(h, 879, reinterpret_cast<uintptr_t>(&record), q) == 3);
        CHECK(q.text == "Add 5 frames and Extend Past End");
        Question cancel;
        cancel.first = 3790;
        cancel.pick = -1;
        CHECK(Ask(h, 879, reinterpret_cast<uintptr_t>(&record), cancel) == -1);
        uintptr_t none[3] = {879, 0, 0};
        CHECK(h.Send(FXN_WINDOW_MESSAGE, 0, none) == 0);
    }
}

TEST_CASE("Relay 881 makes the named image the effect's picture", "[hostdll][relay]")
{
    TestHost h("Cubby Test", /*dll*/ true);
    REQUIRE(h.Attach() == 1);
    FxRequest set = Current(FXD_EFFECT_TEXT, FXM_TEXT, const_cast<char *>(kMoving));
    REQUIRE(h.Send(FXN_REQUEST, FXP_RECEIVE | FXP_TRANSFER, &set) == 1);
    const std::string file = TempName("fxhost_relay_image") + ".bmp";
    WriteBmp(file, 6, 4, 0x2040C0);
    uintptr_t words[3] = {881, reinterpret_cast<uintptr_t>(file.c_str()), 0};
    CHECK(h.Send(FXN_WINDOW_MESSAGE, 0, words) == 0);
    FxPath *p = Effect(h)->first;
    REQUIRE(p->image.pixels);
    CHECK(p->image.width == 6);
    CHECK(p->image.height == 4);
    CHECK((static_cast<uint32_t *>(p->image.pixels)[0] & 0xFFFFFF) == 0x2040C0u);
    CHECK(std::string(h.Instance()->lastImageName) == file);
    // A file that is not there, or no name: the picture stays.
    const std::string missing = TempName("fxhost_no_image") + ".bmp";
    uintptr_t gone[3] = {881, reinterpret_cast<uintptr_t>(missing.c_str()), 0};
    CHECK(h.Send(FXN_WINDOW_MESSAGE, 0, gone) == 0);
    uintptr_t none[3] = {881, 0, 0};
    CHECK(h.Send(FXN_WINDOW_MESSAGE, 0, none) == 0);
    CHECK(Effect(h)->first->image.width == 6);
    CHECK(CountPaths(Effect(h)->first) == 1);
    DeleteFileA(file.c_str());
}

TEST_CASE("Relays 183, 184 and 992 hand the host its movie and its answers", "[hostdll][relay]")
{
    const std::string movie = TempName("fxhost_relay_movie") + ".vexa";
    std::vector<uint32_t> services;
    auto listen = [&](TestHost &h) {
        h.answer = [&services, &movie](UINT message, WPARAM, void *record, bool &handled) -> INT_PTR {
            if (message == FXN_VIDEO_FORMAT && record) {
                const uint32_t code = static_cast<FxVideoFormatQuery *>(record)->code;
                if (code == 6 || code == 10 || code == 12) {
                    services.push_back(code);
                    handled = true;
                    return code == 12 ? 77 : 1;
                }
            }
            if (message == FXN_GET_DATA && record && static_cast<FxHostDataRecord *>(record)->selector == 10) {
                static_cast<FxHostDataRecord *>(record)->value = reinterpret_cast<uintptr_t>(movie.c_str());
                handled = true;
                return 1;
            }
            return 0;
        };
    };
    SECTION("personality 0: a changed effect becomes the host's movie")
    {
        DllHost d;
        TestHost &h = d.host;
        listen(h);
        h.Instance()->frameWidth = 64;
        h.Instance()->frameHeight = 48;
        DeleteFileA(movie.c_str());
        Effect(h)->flags |= FXE_UNSAVED;
        uintptr_t words[3] = {183, 0, 0};
        CHECK(h.Send(FXN_WINDOW_MESSAGE, 0, words) == 1);
        CHECK(GetFileAttributesA(movie.c_str()) != INVALID_FILE_ATTRIBUTES);
        CHECK(std::string(Effect(h)->renderFile) == movie);
        CHECK(Effect(h)->renderTimeStamp > 0);
        CHECK((Effect(h)->flags & FXE_UNSAVED) == 0);
        CHECK(services == (std::vector<uint32_t>{6, 10}));
        CHECK(h.Count(FXN_PUT_DATA) >= 1);
        // Nothing changed since: only 184's service 12.
        services.clear();
        uintptr_t again[3] = {184, 0, 0};
        CHECK(h.Send(FXN_WINDOW_MESSAGE, 0, again) == 1);
        CHECK(services == (std::vector<uint32_t>{12}));
        // 992 without a realtime renderer: the host's answer to service 12.
        services.clear();
        uintptr_t render[3] = {992, 5, 0};
        CHECK(h.Send(FXN_WINDOW_MESSAGE, 0, render) == 77);
        CHECK(services == (std::vector<uint32_t>{12}));
        DeleteFileA(movie.c_str());
    }
    SECTION("personality 1 refuses, and the change is dropped")
    {
        TestHost h("Cubby Test", /*dll*/ true);
        h.Number(1);
        REQUIRE(h.Attach() == 1);
        FxRequest set = Current(FXD_EFFECT_TEXT, FXM_TEXT, const_cast<char *>(kMoving));
        REQUIRE(h.Send(FXN_REQUEST, FXP_RECEIVE | FXP_TRANSFER, &set) == 1);
        listen(h);
        DeleteFileA(movie.c_str());
        Effect(h)->flags |= FXE_UNSAVED;
        uintptr_t words[3] = {183, 0, 0};
        CHECK(h.Send(FXN_WINDOW_MESSAGE, 0, words) == 0);
        CHECK(GetFileAttributesA(movie.c_str()) == INVALID_FILE_ATTRIBUTES);
        CHECK((Effect(h)->flags & FXE_UNSAVED) == 0);
        CHECK(services == (std::vector<uint32_t>{10}));
    }
}

extern "C" char *CDECL wine_get_unix_file_name(LPCWSTR dos);

namespace {

std::string ProbeMovie(const std::string &win)
{
    WCHAR w[MAX_PATH];
    if (!MultiByteToWideChar(CP_ACP, 0, win.c_str(), -1, w, MAX_PATH)) return std::string();
    char *u = wine_get_unix_file_name(w);
    if (!u) return std::string();
    const std::string cmd = "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                            "stream=codec_type,width,height,nb_read_frames -of default=nw=1 '" +
                            std::string(u) + "' 2>/dev/null";
    HeapFree(GetProcessHeap(), 0, u);
    std::string out;
    FILE *p = popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[512];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
    return out;
}

}  // namespace

TEST_CASE("The movie request writes into a movie the host made with the movie library", "[hostdll][movie]")
{
    HMODULE vexa = LoadLibraryA((BinDir() + "vexa.dll").c_str());
    REQUIRE(vexa);
    typedef LONG_PTR(WINAPI * CreateProc)(const char *, LONG_PTR, LONG_PTR, LONG_PTR, LONG_PTR);
    typedef LONG_PTR(WINAPI * CloseProc)(LONG_PTR);
    auto create = reinterpret_cast<CreateProc>(GetProcAddress(vexa, "_quibCreate@20"));
    auto close = reinterpret_cast<CloseProc>(GetProcAddress(vexa, "_quibClose@4"));
    REQUIRE(create);
    REQUIRE(close);
    DllHost d;
    TestHost &h = d.host;
    h.Instance()->frameWidth = 64;
    h.Instance()->frameHeight = 48;
    const std::string file = TempName("fxhost_options_movie") + ".vexa";
    DeleteFileA(file.c_str());
    const LONG_PTR movie = create(file.c_str(), 0, 0, 0, 0);
    REQUIRE(movie);
    FxRequest r = Current(FXD_MOVIE, FXM_FILE_OPTIONS, reinterpret_cast<void *>(movie), Pack(1, 6));
    CHECK(h.Send(FXN_REQUEST, FXP_TRANSFER, &r) == 1);
    // The movie stays the host's until it closes it.
    CHECK(close(movie) == 1);
    const std::string probe = ProbeMovie(file);
    INFO(probe);
    CHECK(probe.find("codec_type=video") != std::string::npos);
    CHECK(probe.find("width=64") != std::string::npos);
    CHECK(probe.find("height=48") != std::string::npos);
    CHECK(probe.find("nb_read_frames=6") != std::string::npos);
    DeleteFileA(file.c_str());
    // Something that is not a movie of the library writes nothing.
    static char notMovie[64] = {};
    FxRequest bad = Current(FXD_MOVIE, FXM_FILE_OPTIONS, notMovie, Pack(1, 6));
    CHECK(h.Send(FXN_REQUEST, FXP_TRANSFER, &bad) == 0);
    FreeLibrary(vexa);
}
