// The effects link against our test effects library (tests/fx), loaded by
// file name from the install directory of the file-type registration, as
// the real library is.
#include <catch2/catch.hpp>

#include <cstring>
#include <string>
#include <vector>

#include "fxlink.h"
#include "qcg_build.h"

using namespace qcgtest;
using namespace cuelink;

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
    explicit InstallDir(const std::string& dir)
    {
        HKEY key;
        RegCreateKeyExA(HKEY_CLASSES_ROOT, "QuillonFileType\\shell\\open", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr);
        const std::string cmd = "\"" + dir + "Quillon.exe\" \"%1\"";
        RegSetValueExA(key, "command", 0, REG_SZ, reinterpret_cast<const BYTE*>(cmd.c_str()), DWORD(cmd.size() + 1));
        RegCloseKey(key);
    }
    ~InstallDir() { RegDeleteTreeA(HKEY_CLASSES_ROOT, "QuillonFileType"); }
};

std::string LibLog(HMODULE lib)
{
    auto fn = reinterpret_cast<int(WINAPI*)(char*, int)>(GetProcAddress(lib, "TestFxLog"));
    if (!fn) return "";
    std::string s(size_t(fn(nullptr, 0)) + 1, '\0');
    fn(&s[0], int(s.size()));
    s.resize(s.size() - 1);
    return s;
}
void LibState(HMODULE lib, int* attaches, int* detaches, FxFrameFormat* f)
{
    auto fn = reinterpret_cast<void(WINAPI*)(int*, int*, FxFrameFormat*)>(GetProcAddress(lib, "TestFxState"));
    REQUIRE(fn);
    fn(attaches, detaches, f);
}

// An animation record: part A ends with [object][size][effect][size].
Bytes AnimationBlock(uint32_t background, uint32_t step, uint32_t objectWord, const Pixels& still, int w, int h)
{
    Bytes a = MakePartA(w, h, 4, 0, 0, 50, 32);
    const uint32_t obj[1] = {objectWord}, fx[2] = {background, step};
    auto add = [&](const void* p, uint32_t n) {
        a.insert(a.end(), static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + n);
        a.insert(a.end(), reinterpret_cast<const uint8_t*>(&n), reinterpret_cast<const uint8_t*>(&n) + 4);
    };
    add(obj, sizeof obj);
    add(fx, sizeof fx);
    return MakeBlock(a, {}, "anim", MakeImage(200, w, h, still), QCG_BLOCK_OBJECT_DATA | QCG_BLOCK_EFFECT_DATA);
}

// Task-modal boxes get their text after they are activated, so this
// capture reads them when their dialog initialisation has returned.
struct Box {
    std::string text, caption;
};
std::vector<Box> g_boxes;
HHOOK g_boxHook;
LRESULT CALLBACK BoxHook(int code, WPARAM wp, LPARAM lp)
{
    const CWPRETSTRUCT* m = reinterpret_cast<const CWPRETSTRUCT*>(lp);
    if (code == HC_ACTION && m->message == WM_INITDIALOG) {
        char cls[32] = {}, buf[1024] = {};
        GetClassNameA(m->hwnd, cls, sizeof cls);
        if (!std::strcmp(cls, "#32770")) {
            Box b;
            if (GetDlgItemTextA(m->hwnd, 0xFFFF, buf, sizeof buf)) b.text = buf;
            GetWindowTextA(m->hwnd, buf, sizeof buf);
            b.caption = buf;
            g_boxes.push_back(b);
            PostMessageA(m->hwnd, WM_COMMAND, IDOK, 0);
        }
    }
    return CallNextHookEx(g_boxHook, code, wp, lp);
}
struct BoxCapture {
    BoxCapture()
    {
        g_boxes.clear();
        g_boxHook = SetWindowsHookExA(WH_CALLWNDPROCRET, BoxHook, nullptr, GetCurrentThreadId());
    }
    ~BoxCapture() { UnhookWindowsHookEx(g_boxHook); }
    size_t count() const { return g_boxes.size(); }
    const std::vector<Box>& boxes() const { return g_boxes; }
};

// Nodes of our own for the exchange: each logs the phases it is called with.
struct Recorder {
    std::string calls;
    INT_PTR answer = 1;
    INT_PTR failOn = -1;  // phase that answers 0
};
Recorder g_rec[2];
INT_PTR WINAPI RecNotify(CubbyNode* node, CubbyNode*, UINT msg, WPARAM wp, void* record)
{
    Recorder& r = g_rec[node->reserved8];
    r.calls += std::to_string(msg) + ":" + std::to_string(wp) + " ";
    auto* q = static_cast<FxRequest*>(record);
    if (q && wp == FXP_DIRECT_SET) q->second = 0xABCD;  // an answer the caller must see
    return INT_PTR(wp) == r.failOn ? 0 : r.answer;
}

}  // namespace

TEST_CASE("Link start binds the library from the install directory and counts its uses", "[link]")
{
    const std::string dir = BinDir() + "fxtest\\";
    InstallDir inst(dir);
    char found[MAX_PATH];
    FxInstallDir(found, sizeof found);
    REQUIRE(std::string(found) == dir);

    REQUIRE(FxLinkStart(GetModuleHandleA(nullptr), 419, found) == 1);
    CubbyNode* lib = FxLibraryNode();
    REQUIRE(lib->notify);
    REQUIRE(lib->module);
    CHECK(FxOwnNode()->id == kOwnKindPlain);
    CHECK(std::string(FxOwnNode()->name) == "Cubby 4.0 Renderer");
    CHECK(std::string(FxRecordA()->path) == dir + "Tarvofx.dll");
    CHECK(lib->id == 0x2C800000);
    CHECK(std::string(lib->name) == "Animation");
    const std::string log = LibLog(lib->module);
    CHECK(log == "attach id 2c800000 name Animation ini " + dir + "quillon.ini reg " + dir +
                     "quillon.reg video 1 640x480@25 private 4\nstate 7 80010000 7d7fffff\n");
    CHECK(lib->capCount == 1);

    SECTION("a second start only counts; the last release detaches")
    {
        int att0, det0;
        LibState(lib->module, &att0, &det0, nullptr);
        CHECK(FxLinkStart(GetModuleHandleA(nullptr), 2048, found) == 2);
        CHECK(FxLinkRelease() == 1);
        int att, det;
        LibState(lib->module, &att, &det, nullptr);
        CHECK((att == att0 && det == det0));
        CHECK(FxLinkRelease() == 0);
        LibState(lib->module, &att, &det, nullptr);
        CHECK(det == det0 + 1);
        CHECK(lib->caps == nullptr);
        CHECK(lib->capCount == 0);
        CHECK(FxLinkRelease() == 0);  // never below zero
    }
}

TEST_CASE("The link's own node answers the library", "[own]")
{
    CubbyNode* own = FxOwnNode();
    CHECK(FxOwnNotify(nullptr, nullptr, FXN_SETTINGS_PATH, 0, nullptr) == 0);
    CHECK(FxOwnNotify(own, nullptr, FXN_SETTINGS_PATH, 2, nullptr) == 0);
    CHECK(FxOwnNotify(own, nullptr, FXN_EFFECT_CHANGED, 0, nullptr) == 0);
    CHECK(FxOwnNotify(own, nullptr, 4000, 0, nullptr) == 0);

    uint32_t out[22];
    FxVideoFormatQuery reset = {0, 0, 0, nullptr};
    CHECK(FxOwnNotify(own, nullptr, FXN_VIDEO_FORMAT, 0, &reset) == 1);
    std::memset(out, 0xEE, sizeof out);
    FxVideoFormatQuery head = {17, 0, 0, out};
    REQUIRE(FxOwnNotify(own, nullptr, FXN_VIDEO_FORMAT, 0, &head) == 1);
    CHECK((out[0] == 24 && out[1] == 1));
    CHECK(out[6] == 0xEEEEEEEEu);  // 24 bytes only
    FxVideoFormatQuery entry = {17, 0, 1, out};
    std::memset(out, 0xEE, sizeof out);
    REQUIRE(FxOwnNotify(own, nullptr, FXN_VIDEO_FORMAT, 0, &entry) == 1);
    // size, view, field order, a word, flags, a word, rate, width, height, aspect.
    CHECK((out[0] == 88 && out[1] == 0 && out[2] == 2));
    CHECK((out[4] & 3) == 2);
    CHECK((out[6] == 25 && out[7] == 640 && out[8] == 480 && out[9] == 4 && out[10] == 3));
    CHECK(out[21] == 0);
    FxVideoFormatQuery shortForm = {17, 0x2C0000F3, 1, out};
    std::memset(out, 0xEE, sizeof out);
    REQUIRE(FxOwnNotify(own, nullptr, FXN_VIDEO_FORMAT, 0, &shortForm) == 1);
    CHECK((out[0] == 28 && out[1] == 0x2C0000F3));
    CHECK(out[6] == 0);
    CHECK(out[7] == 0xEEEEEEEEu);  // seven words
    FxVideoFormatQuery past = {17, 0, 2, out};
    CHECK(FxOwnNotify(own, nullptr, FXN_VIDEO_FORMAT, 0, &past) == 0);
    FxVideoFormatQuery other = {5, 0, 0, out};
    CHECK(FxOwnNotify(own, nullptr, FXN_VIDEO_FORMAT, 0, &other) == 0);
}

TEST_CASE("Requests: direct calls in both forms, format matching and phases", "[exchange]")
{
    CubbyNode a = {}, b = {}, own = {};
    a.notify = b.notify = RecNotify;
    a.reserved8 = 0;
    b.reserved8 = 1;
    g_rec[0] = g_rec[1] = Recorder();

    SECTION("a direct set request goes to the receiver; an old-form caller sees the answer in its form")
    {
        uint8_t payload[4] = {1, 2, 3, 4};
        FxRequestOld old = {};
        old.data = payload;
        old.code = FXD_EFFECT_BLOCK;
        old.unit = 16;
        old.flags = 15;
        old.tail = 0x77;
        CHECK(FxExchange(&old, &b, &a, &own) == 1);
        CHECK(g_rec[1].calls == "2036:43 ");
        CHECK(g_rec[0].calls.empty());
        CHECK(old.second == 0xABCD);
        CHECK((old.code == FXD_EFFECT_BLOCK && old.unit == 16 && old.flags == 15 && old.tail == 0x77));
        CHECK(old.data == payload);
        // Without a receiver the giver is asked directly.
        FxRequest cur = {};
        cur.marker = FXR_MARKER;
        cur.code = FXD_RENDER_FRAME;
        cur.flags = 15;
        CHECK(FxExchange(&cur, nullptr, &a, &own) == 1);
        CHECK(g_rec[0].calls == "2036:42 ");
        CHECK(cur.marker == FXR_MARKER);
    }
    SECTION("the conversion moves every word after the data pointer by one")
    {
        FxRequestOld old;
        for (size_t i = 0; i < sizeof old; ++i) reinterpret_cast<uint8_t*>(&old)[i] = uint8_t(i + 1);
        FxRequest cur;
        FxFromOld(&cur, &old);
        CHECK(cur.marker == FXR_MARKER_CONVERTED);
        CHECK((cur.code == old.code && cur.flags == old.flags && cur.second == old.second && cur.extra == old.extra &&
               cur.tail[0] == old.tail && cur.tail[1] == 0));
        FxRequestOld again;
        FxToOld(&again, &cur);
        CHECK((again.data == old.data && again.code == old.code && again.unit == old.unit &&
               again.sourceFlags == old.sourceFlags && again.destFlags == old.destFlags && again.flags == old.flags &&
               std::memcmp(again.words, old.words, sizeof old.words) == 0 && again.second == old.second &&
               again.extra == old.extra && again.tail == old.tail));
    }
    SECTION("format matching takes the nearest capability pair and the lowest common unit")
    {
        uint32_t na, nb;
        CHECK(FxFlagDistance(0x20000001, 0x10000007, &na, &nb) == 0);
        CHECK(FxFlagDistance(0x20000010, 0x10000007, &na, &nb) == 1);
        CHECK(FxFlagDistance(0x20000001, 0x10000002, &na, &nb) == 32000);
        CubbyFormatEntry src[2] = {{FXD_EFFECT_BLOCK, 0x12, 0, 0x20000010, 0, 0, 0, nullptr},
                                   {FXD_EFFECT_BLOCK, 0x18, 0, 0x20000001, 0, 0, 0, nullptr}};
        CubbyFormatEntry dst[1] = {{FXD_EFFECT_BLOCK, 0x1A, 0, 0, 0x10000007, 0, 0, nullptr}};
        a.capCount = 2;
        a.caps = src;
        b.capCount = 1;
        b.caps = dst;
        FxRequest r = {};
        r.code = FXD_EFFECT_BLOCK;
        REQUIRE(FxMatchFormats(&r, &a, &b));
        CHECK(r.unit == 0x8);
        CHECK(r.sourceFlags == 0x20000001);
        CHECK(r.destFlags == 0x10000007);
        dst[0].destination = 0x40000007;  // bit 30: not usable
        CHECK_FALSE(FxMatchFormats(&r, &a, &b));
        // Two nodes without entries match on the request itself.
        a.capCount = b.capCount = 0;
        FxRequest self = {};
        self.code = 7;
        self.unit = 0x14;
        self.sourceFlags = 0x1;
        self.destFlags = 0x7;
        REQUIRE(FxMatchFormats(&self, &a, &b));
        CHECK(self.unit == 0x4);
    }
    SECTION("a phased exchange runs size, prepare, transfer and take; a refusal cleans up")
    {
        FxRequest r = {};
        r.marker = FXR_MARKER;
        r.code = 9;
        r.unit = 2;
        r.sourceFlags = 1;
        r.destFlags = 7;
        uint8_t buf[8];
        r.data = buf;
        CHECK(FxExchange(&r, &b, &a, &own) == 1);
        CHECK(g_rec[0].calls == "2036:6 2036:56 2036:32 ");
        CHECK(g_rec[1].calls == "2036:5 2036:33 2036:33 ");
        g_rec[0] = g_rec[1] = Recorder();
        g_rec[1].failOn = FXP_RECEIVE | FXP_FINISH;
        CHECK(FxExchange(&r, &b, &a, &own) == 0);
        CHECK(g_rec[1].calls == "2036:5 2036:33 2036:49 ");
        CHECK(g_rec[0].calls == "2036:6 2036:56 2036:48 2036:32 ");
    }
}

TEST_CASE("Animation records are drawn by the effects library through the module", "[animation]")
{
    const std::string dir = BinDir() + "fxtest\\";
    InstallDir inst(dir);
    const int w = 32, h = 16;
    const Pixels still = Pattern(w, h, 77);
    const Bytes blk = AnimationBlock(0xFF203040, 3, 0x00112233, still, w, h);
    Pixels buf(size_t(w) * h, 0);
    DWORD flags = 0;
    REQUIRE(GetRenderedData(reinterpret_cast<const QcgRecordBlock*>(blk.data()), buf.data(), w, h, 5, 50, &flags) == 1);
    HMODULE lib = GetModuleHandleA((dir + "Tarvofx.dll").c_str());
    REQUIRE(lib);
    FxFrameFormat f;
    int att, det;
    LibState(lib, &att, &det, &f);
    // The link hands the library the height negated: a top-down buffer is
    // described as bottom-up (0x50), its first row drawn last.
    CHECK(f.size == 40);
    CHECK(f.format == (0x2004u | 0x4000u | 0x50000000u));
    CHECK((f.width == 32 && f.height == 16 && f.position == 5 && f.frames == 50 && f.stride == 128));
    const uint32_t bar = (5 * 3) % w;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int logical = h - 1 - y;
            const uint32_t want = logical == 0 ? 0xFF112233u : (x >= int(bar) && x < int(bar) + 3) ? 0xFFFFFFFFu : 0xFF203040u;
            INFO(x << "," << y);
            REQUIRE(buf[size_t(y) * w + x] == want);
        }
    const std::string log = LibLog(lib);
    CHECK(log.find("request 2c800002 phase 43 current marker ffff0034") != std::string::npos);
    CHECK(log.find("request 2c80000b phase 43 current marker ffff0034") != std::string::npos);
    CHECK(log.find("request 2c80000c phase 42 current marker ffff0034") != std::string::npos);

    SECTION("one field: height halved, field bits in the description")
    {
        DWORD field = QCG_RENDER_FIELD_EVEN;
        REQUIRE(GetRenderedData(reinterpret_cast<const QcgRecordBlock*>(blk.data()), buf.data(), w, h, 6, 50, &field) == 1);
        LibState(lib, &att, &det, &f);
        CHECK(f.height == 8);
        CHECK(((f.format >> 16) & 0xFF) == (4 | 1));
    }
    SECTION("CuelinkDone detaches the library")
    {
        int before;
        LibState(lib, &att, &before, nullptr);
        CHECK(CuelinkDone() == 1);
        LibState(lib, &att, &det, nullptr);
        CHECK(det == before + 1);
    }
}

// Run in processes of their own (the link binds once per process).
TEST_CASE("A missing effects library is reported and the record's image drawn", "[.missing]")
{
    const std::string dir = BinDir() + "fxnone\\";
    InstallDir inst(dir);
    const int w = 16, h = 8;
    const Pixels still = Pattern(w, h, 12);
    const Bytes blk = AnimationBlock(0xFF203040, 3, 0x00112233, still, w, h);
    Pixels buf(size_t(w) * h, 0);
    BoxCapture boxes;
    REQUIRE(GetRenderedData(reinterpret_cast<const QcgRecordBlock*>(blk.data()), buf.data(), w, h, 5, 50, nullptr) == 1);
    REQUIRE(boxes.count() == 1);
    CHECK(boxes.boxes()[0].caption == "Animation");
    CHECK(boxes.boxes()[0].text == "Could not load Animation (" + dir + "Tarvofx.dll);  Error 126");
    Pixels want(size_t(w) * h, 0);
    const Bytes plain = MakeBlock(MakePartA(w, h, 0), {}, "", MakeImage(200, w, h, still));
    GetRenderedData(reinterpret_cast<const QcgRecordBlock*>(plain.data()), want.data(), w, h, 0, 0, nullptr);
    CHECK(buf == want);
    // Later frames neither ask again nor fail.
    REQUIRE(GetRenderedData(reinterpret_cast<const QcgRecordBlock*>(blk.data()), buf.data(), w, h, 6, 50, nullptr) == 1);
    CHECK(boxes.count() == 1);
}

TEST_CASE("An effects library without its notify function is reported", "[.broken]")
{
    const std::string dir = BinDir() + "fxbroken\\";
    InstallDir inst(dir);
    const int w = 16, h = 8;
    const Bytes blk = AnimationBlock(0xFF203040, 3, 0x00112233, Pattern(w, h, 13), w, h);
    Pixels buf(size_t(w) * h, 0);
    BoxCapture boxes;
    REQUIRE(GetRenderedData(reinterpret_cast<const QcgRecordBlock*>(blk.data()), buf.data(), w, h, 5, 50, nullptr) == 1);
    REQUIRE(boxes.count() == 1);
    CHECK(boxes.boxes()[0].text == "Could not find FXNotify in Animation (" + dir + "Tarvofx.dll);  Error 127");
}
