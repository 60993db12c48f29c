// Frame-buffer dispatch: the parameter string, the board word, where driver
// libraries are loaded from, binding of the stand-in driver TestBoard.dll,
// and every forwarder of the real Pixmoor.dll with a null record, an empty
// slot and a filled slot.
#include <catch2/catch.hpp>
#include <cstring>
#include <string>
#include <vector>
#include "layer_fixture.h"
#include "framebuffer.h"
#include "board/board_state.h"

namespace {

HMODULE core_dll()
{
    static HMODULE h = LoadLibraryA("Pixmoor.dll");
    return h;
}

std::string bin_dir()
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string s(path, n);
    return s.substr(0, s.find_last_of('\\'));
}

std::string board_path() { return bin_dir() + "\\TestBoard.dll"; }

// Plain driver names are looked up in the system directory: the stand-in
// driver is put there (the test prefix is this build's own).
bool install_board()
{
    char sys[MAX_PATH];
    UINT n = GetSystemDirectoryA(sys, MAX_PATH);
    if (!n) return false;
    const std::string to = std::string(sys, n) + "\\TestBoard.dll";
    return CopyFileA(board_path().c_str(), to.c_str(), FALSE) &&
           CopyFileA((board_path() + ".so").c_str(), (to + ".so").c_str(), FALSE);
}

// The test holds the board library itself, so its recorded state lives on
// between the core's loads and unloads.
HMODULE board_dll()
{
    static bool installed = install_board();
    static HMODULE h = LoadLibraryA(board_path().c_str());
    (void)installed;
    return h;
}

// The copy in the system directory is a module of its own, with its own
// state: what the core loads from there shows up only in this one.
HMODULE system_board_dll()
{
    board_dll();
    char sys[MAX_PATH];
    UINT n = GetSystemDirectoryA(sys, MAX_PATH);
    static HMODULE h = LoadLibraryA((std::string(sys, n) + "\\TestBoard.dll").c_str());
    return h;
}

TestBoardStateBlock &state_of(HMODULE module)
{
    REQUIRE(module);
    auto fn = (TestBoardStateBlock * (PIXAPI *)(void))(void *)GetProcAddress(module, "TestBoardState");
    REQUIRE(fn);
    return *fn();
}

TestBoardStateBlock &board_state() { return state_of(board_dll()); }

struct ParamsPtr {
    FrameBufferParams *p;
    explicit ParamsPtr(const char *s) : p(ParseFrameBufferParams(s)) {}
    ~ParamsPtr() { DeleteFrameBufferParams(p); }
};

struct Expect {
    const char *text;
    const char *library;
    DWORD flags, board, base;
    LONG x, y, w, h;
    DWORD noinit;
};

} // namespace

TEST_CASE("Parameter strings fill the params record")
{
    lf::start();
    static const Expect cases[] = {
        { "mydrv.dll,1,10,20,640,480", "mydrv.dll", 1, 1, 0, 10, 20, 640, 480, 0 },
        { "dllname=mydrv.dll board=0x21 noinit", "mydrv.dll", 0, 1, 0x20, 0, 0, 0, 0, 1 },
        { "board=0x300", "", 0, 0, 0x300, 0, 0, 0, 0, 0 },
        { "base=0x300", "", 0, 0, 0x300, 0, 0, 0, 0, 0 },
        { "drv.dll 3 left=5 top=6 dx=7 dy=8", "drv.dll", 1, 3, 0, 5, 6, 7, 8, 0 },
        { "drv.dll  010   0x10", "drv.dll", 1, 8, 0, 16, 0, 0, 0, 0 },           // octal and hex
        { "a.dll,1,2,3,4,5,6,7", "a.dll", 1, 1, 0, 2, 3, 4, 5, 0 },              // a 7th positional ends
        { "a.dll,,5", "a.dll", 0, 0, 0, 0, 0, 0, 0, 0 },                         // an empty token ends
        { "a.dll , 2 , 3", "a.dll", 1, 2, 0, 3, 0, 0, 0, 0 },
        { "dllname=\"C:\\Program Files\\drv.dll\" board=4", "C:\\Program Files\\drv.dll", 0, 4, 0, 0, 0, 0, 0, 0 },
        { "\"C:\\My Drivers\\b.dll\" 2", "C:\\My Drivers\\b.dll", 0, 2, 0, 0, 0, 0, 0, 0 },
        { "NOINIT DllName=x.dll BOARD=2", "x.dll", 0, 2, 0, 0, 0, 0, 0, 1 },
        { "noinit=0 x.dll", "x.dll", 0, 0, 0, 0, 0, 0, 0, 0 },
        { "colour=3 x.dll", "x.dll", 0, 0, 0, 0, 0, 0, 0, 0 },                  // unknown keys ignored
        { "x.dll width=-1", "x.dll", 1, 0, 0, 0, 0, -1, 0, 0 },
        { "", "", 0, 0, 0, 0, 0, 0, 0, 0 },
        { "   ", "", 0, 0, 0, 0, 0, 0, 0, 0 },
    };
    for (const Expect &e : cases) {
        INFO(e.text);
        ParamsPtr fp(e.text);
        REQUIRE(fp.p);
        CHECK(fp.p->reserved == 0);
        CHECK(fp.p->size == 300);
        CHECK(std::string(fp.p->library) == e.library);
        CHECK(fp.p->flags == e.flags);
        CHECK(fp.p->board == e.board);
        CHECK(fp.p->base == e.base);
        CHECK(fp.p->x == e.x);
        CHECK(fp.p->y == e.y);
        CHECK(fp.p->width == e.w);
        CHECK(fp.p->height == e.h);
        CHECK(fp.p->noinit == e.noinit);
    }

    SECTION("a null string gives an empty record")
    {
        ParamsPtr fp(nullptr);
        REQUIRE(fp.p);
        CHECK(fp.p->size == 300);
        CHECK(fp.p->library[0] == 0);
    }
    SECTION("a token longer than 259 characters ends the parsing; 259 is still a token")
    {
        std::string ok(259, 'A'), longer(260, 'A');
        ParamsPtr a(("x.dll " + ok + " 5").c_str());
        CHECK(std::string(a.p->library) == "x.dll");
        CHECK(a.p->x == 5);   // the 259-character token took the board place
        ParamsPtr b(("x.dll " + longer + " 5").c_str());
        CHECK(std::string(b.p->library) == "x.dll");
        CHECK(b.p->board == 0);
        CHECK(b.p->x == 0);
        CHECK(b.p->flags == 0);
        ParamsPtr c(("dllname=" + std::string(251, 'n')).c_str());   // 259 with the key
        CHECK(strlen(c.p->library) == 251);
    }
}

TEST_CASE("The board word packs board, base, options and noinit")
{
    struct Case { DWORD board, base, flags, noinit, word; };
    static const Case cases[] = {
        { 1, 0, 0, 0, 0x00000001 },
        { 1, 0x300, 0, 0, 0x00000301 },
        { 31, 0xFFE0, 0, 0, 0x0000FFFF },
        { 0, 0, 1u << 6, 0, 1u << 25 },
        { 0, 0, 1u << 5, 0, 1u << 26 },
        { 0, 0, 1u << 4, 0, 1u << 27 },
        { 0, 0, 1u << 3, 0, 1u << 28 },
        { 0, 0, 1u << 2, 0, 1u << 29 },
        { 0, 0, 1u << 1, 0, 1u << 30 },
        { 0, 0, 0x7F, 0, 0x7E000000 },               // geometry bit 0 is not an option
        { 2, 0x20, 0, 1, 0x80000022 },
        { 1, 0x10000, 0, 0, 0x00000001 },            // a base past 16 bits stays out of the options
    };
    for (const Case &c : cases) {
        FrameBufferParams fp = {};
        fp.board = c.board;
        fp.base = c.base;
        fp.flags = c.flags;
        fp.noinit = c.noinit;
        INFO(c.board << " " << c.base << " " << c.flags);
        CHECK(fb_board_word(&fp) == c.word);
    }
}

TEST_CASE("Driver libraries load from the system directory unless the name is a path")
{
    char sys[MAX_PATH];
    UINT n = GetSystemDirectoryA(sys, MAX_PATH);
    REQUIRE(n > 0);
    const std::string sysdir(sys, n);
    struct Case { const char *name; std::string path; };
    const Case cases[] = {
        { "C:\\drv\\b.dll", "C:\\drv\\b.dll" },
        { "\\drv\\b.dll", "\\drv\\b.dll" },
        { "z:b.dll", "z:b.dll" },
        { "b.dll", sysdir + "\\b.dll" },
        { "drv\\b.dll", sysdir + "\\drv\\b.dll" },
    };
    for (const Case &c : cases) {
        char out[MAX_PATH * 2];
        INFO(c.name);
        REQUIRE(fb_library_path(c.name, out, sizeof out) == 1);
        CHECK(std::string(out) == c.path);
    }
    char tiny[8];
    CHECK(fb_library_path("C:\\a\\long.dll", tiny, sizeof tiny) == 0);
    CHECK(fb_library_path(nullptr, tiny, sizeof tiny) == 0);
}

TEST_CASE("Binding a board driver library by file name")
{
    lf::start();
    REQUIRE(board_dll());
    TestBoardStateBlock &st = board_state();
    const std::string path = board_path();

    SECTION("GetNumFrameBuffers asks the library and lets it go")
    {
        CHECK(GetNumFrameBuffers(path.c_str()) == 3);
        CHECK(GetNumFrameBuffers("kernel32.dll") == 0);    // no GetNumBoards
        CHECK(GetNumFrameBuffers("NoSuchBoard.dll") == 0);
        CHECK(GetNumFrameBuffers(nullptr) == 0);
    }
    SECTION("a board with geometry opens, gets its window and closes")
    {
        LONG enables = st.enables, disables = st.disables;
        st.lastWord = 0;
        FrameBufferRecord *rec = EnableFrameBuffer((path + ",5,10,20,640,480").c_str());
        REQUIRE(rec);
        CHECK(st.enables == enables + 1);
        CHECK(st.boardWord == 5);
        CHECK(st.libraryAtEnable == board_dll());   // handle stored before EnableBoard
        CHECK(rec->library == board_dll());
        CHECK(rec->frameWidth == 720);
        CHECK(rec->frameHeight == 486);
        CHECK(rec->driver != nullptr);
        CHECK(GetBoardCaps(rec) == 0);
        // The window was set right after the board opened.
        CHECK(st.lastWord == FBW_WINDOW);
        CHECK(st.lastRecord == rec);
        REQUIRE(st.lastCount == 4);
        CHECK(st.lastArgs[0] == 10);
        CHECK(st.lastArgs[1] == 20);
        CHECK(st.lastArgs[2] == 640);
        CHECK(st.lastArgs[3] == 480);
        CHECK(DisableFrameBuffer(rec) == 0);
        CHECK(st.disables == disables + 1);
    }
    SECTION("without geometry no window is set; options and noinit reach the board word")
    {
        std::string text = "dllname=\"" + path + "\" board=0x43 noinit";
        ParamsPtr fp(text.c_str());
        REQUIRE(fp.p);
        fp.p->flags |= 0x7E;   // board options a caller sets before opening
        st.lastWord = 0;
        FrameBufferRecord *rec = EnableFrameBufferEx(fp.p);
        REQUIRE(rec);
        CHECK(st.lastWord == 0);
        CHECK(st.boardWord == (0x43u | 0x7E000000u | 0x80000000u));
        DisableFrameBuffer(rec);
    }
    SECTION("refusals and missing pieces give null")
    {
        LONG enables = st.enables;
        CHECK(EnableFrameBuffer((path + ",31").c_str()) == nullptr);    // the board refuses
        CHECK(st.enables == enables + 1);
        CHECK(EnableFrameBuffer("C:\\windows\\system32\\kernel32.dll") == nullptr);   // no EnableBoard
        CHECK(EnableFrameBuffer("NoSuchBoard.dll") == nullptr);
        CHECK(EnableFrameBuffer("") == nullptr);
        CHECK(EnableFrameBuffer(nullptr) == nullptr);
        CHECK(EnableFrameBufferEx(nullptr) == nullptr);
        CHECK(DisableFrameBuffer(nullptr) == 0);
        CHECK(GetBoardCaps(nullptr) == 0);
        // A caller-filled name without its NUL is cut, not overrun.
        FrameBufferParams fp = {};
        fp.size = 300;
        memset(fp.library, 'q', sizeof fp.library);
        CHECK(EnableFrameBufferEx(&fp) == nullptr);
    }
    SECTION("a plain name is looked up in the system directory")
    {
        REQUIRE(system_board_dll());
        REQUIRE(system_board_dll() != board_dll());
        FrameBufferRecord *rec = EnableFrameBuffer("TestBoard.dll 1");
        REQUIRE(rec);
        CHECK(rec->library == system_board_dll());
        CHECK(state_of(system_board_dll()).boardWord == 1);
        DisableFrameBuffer(rec);
    }
}

namespace {

enum Kind { FB, FBPTR, MB, MBZERO, MBCUT, SDRCONNECT };
struct Fwd { const char *name; int word; int args; Kind kind; };

// Every frame-buffer forwarder, its slot word and its arguments after the
// record.
const Fwd kForwarders[] = {
    { "OnScreenFrameBufferLayer", 7, 0, FBPTR }, { "OnScreenFrameBufferLine", 8, 1, FBPTR },
    { "OffScreenFrameBufferLayer", 9, 0, FBPTR }, { "OffScreenFrameBufferLine", 10, 1, FBPTR },
    { "TakeFrameBuffer", 11, 2, FB }, { "RollFrameBuffer", 12, 2, FB }, { "VexaFrameBuffer", 14, 2, FB },
    { "GrabFrameBuffer", 15, 1, FB }, { "RollFrameBufferLayer", 16, 1, FB }, { "WindowFrameBuffer", 18, 4, FB },
    { "TakeFrameBufferEvent", 21, 3, FB }, { "ControlEffectFrameBuffer", 22, 2, FB },
    { "MasterDVEFrameBuffer", 23, 8, FB }, { "LiveDVEFrameBuffer", 24, 8, FB },
    { "EncodeVexaFrameBuffer", 25, 5, FB }, { "GetWindowRectFrameBuffer", 26, 1, FB },
    { "CreateOffScreenFrameBufferLayer", 27, 2, FBPTR }, { "GetAspectRatioFrameBuffer", 28, 2, FB },
    { "GetKeyingFrameBuffer", 29, 0, FB },
    { "MB_GetMotionBoardInfo", 30, 1, MB }, { "MB_GetPos", 31, 1, MBZERO }, { "MB_GetAudioL", 32, 1, MBZERO },
    { "MB_GetAudioR", 33, 1, MBZERO }, { "MB_GetPlayStatus", 34, 1, MB }, { "MB_CreateCutList", 35, 0, MBCUT },
    { "MB_AddAnimationToCutList", 36, 5, MBCUT }, { "MB_AddLayerToCutList", 37, 2, MBCUT },
    { "MB_AddRenderedFXToCutList", 38, 2, MBCUT }, { "MB_GetReferenceFromCutList", 39, 2, MBCUT },
    { "MB_ClearCutList", 40, 1, MB }, { "MB_RenderCutList", 41, 1, MB }, { "MB_DeleteCutList", 42, 1, MB },
    { "MB_Setup", 43, 2, MB }, { "MB_SetScrubMode", 44, 2, MB }, { "MB_Seek", 45, 3, MB }, { "MB_Play", 46, 3, MB },
    { "MB_PlayFromTo", 47, 5, MB }, { "MB_Pause", 48, 2, MB }, { "MB_Shuttle", 49, 4, MB }, { "MB_Record", 50, 2, MB },
    { "MB_Stop", 51, 1, MB }, { "MB_GetClipFileInfo", 52, 3, MB }, { "MB_GetClipFilePostageStamp", 53, 7, MB },
    { "MB_SpyDlg", 54, 0, MB }, { "MB_TestDlg", 55, 0, MB }, { "MB_StatusDlg", 56, 0, MB },
    { "MB_ConfigDlg", 57, 0, MB }, { "MB_Command", 58, 3, MB },
    { "TakeFrameBufferEventEx", 59, 4, FB }, { "TakeFrameBufferAtTime", 60, 4, FB },
    { "GetNameOfFrameBuffer", 61, 2, FB }, { "FrameBufferQueueControl", 62, 2, FB }, { "GetBoardMode", 65, 2, FB },
    { "SDRConnectFrameBuffer", 68, 2, SDRCONNECT }, { "SDRCommitFrameBuffer", 69, 0, FB },
};

typedef LONG_PTR P;
// R: the forwarder's result type (pointer-sized for layers and lines).
template <class R> LONG_PTR call_as(FARPROC f, void *rec, int n, const P *a)
{
    switch (n) {
    case 0: return ((R(PIXAPI *)(void *))f)(rec);
    case 1: return ((R(PIXAPI *)(void *, P))f)(rec, a[0]);
    case 2: return ((R(PIXAPI *)(void *, P, P))f)(rec, a[0], a[1]);
    case 3: return ((R(PIXAPI *)(void *, P, P, P))f)(rec, a[0], a[1], a[2]);
    case 4: return ((R(PIXAPI *)(void *, P, P, P, P))f)(rec, a[0], a[1], a[2], a[3]);
    case 5: return ((R(PIXAPI *)(void *, P, P, P, P, P))f)(rec, a[0], a[1], a[2], a[3], a[4]);
    case 7: return ((R(PIXAPI *)(void *, P, P, P, P, P, P, P))f)(rec, a[0], a[1], a[2], a[3], a[4], a[5], a[6]);
    case 8: return ((R(PIXAPI *)(void *, P, P, P, P, P, P, P, P))f)(rec, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]);
    }
    FAIL("arity " << n);
    return 0;
}
LONG_PTR call(FARPROC f, void *rec, int n, const P *a, bool wide = false)
{
    return wide ? call_as<LONG_PTR>(f, rec, n, a) : call_as<LONG>(f, rec, n, a);
}

struct RecordPtr {
    FrameBufferRecord *r;
    explicit RecordPtr(const std::string &text) : r(EnableFrameBuffer(text.c_str())) {}
    ~RecordPtr() { DisableFrameBuffer(r); }
};

} // namespace

TEST_CASE("Every forwarder calls its slot, or answers for a missing record or slot")
{
    lf::start();
    REQUIRE(core_dll());
    REQUIRE(board_dll());
    TestBoardStateBlock &st = board_state();
    RecordPtr full(board_path() + ",1"), empty(board_path() + ",2");
    REQUIRE(full.r);
    REQUIRE(empty.r);
    // Pointer-wide arguments arrive whole.
    const P args[8] = { 11, -22, 33, (P)0x123456789ALL, 55, 66, 77, 88 };
    for (const Fwd &f : kForwarders) {
        INFO(f.name);
        FARPROC fn = GetProcAddress(core_dll(), f.name);
        REQUIRE(fn);
        const LONG nullResult = f.kind == MB || f.kind == MBCUT ? -2 : 0;
        const LONG emptyResult = f.kind == MB ? -30 : 0;
        // Layer and line addresses come back whole (the test board's lie
        // above 4 GB).
        const bool wide = f.kind == FBPTR;
        const LONG_PTR base = wide ? (LONG_PTR)0x7F0000000000LL : 0;
        CHECK(call(fn, nullptr, f.args, args, wide) == nullResult);
        CHECK(call(fn, empty.r, f.args, args, wide) == emptyResult);
        st.lastWord = 0;
        CHECK(call(fn, full.r, f.args, args, wide) == base + f.word * 1000 + f.args);
        CHECK(st.lastWord == f.word);
        CHECK(st.lastRecord == full.r);
        REQUIRE(st.lastCount == f.args);
        for (int i = 0; i < f.args; ++i) CHECK(st.lastArgs[i] == args[i]);
    }
    SECTION("SDRConnectFrameBuffer refuses a null first argument")
    {
        st.lastWord = 0;
        CHECK(SDRConnectFrameBuffer(full.r, 0, 5) == 0);
        CHECK(st.lastWord == 0);
    }
    SECTION("the place holders do nothing")
    {
        CHECK(GetProcAddress(core_dll(), "_PlaceHolder1"));
        CHECK(GetProcAddress(core_dll(), "_PlaceHolder2"));
        CHECK(_PlaceHolder1() == 0);
        CHECK(_PlaceHolder2() == 0);
    }
}

TEST_CASE("A second record for the same board (SDR)")
{
    lf::start();
    TestBoardStateBlock &st = board_state();
    RecordPtr full(board_path() + ",1"), empty(board_path() + ",2");
    REQUIRE(full.r);

    FrameBufferRecord *second = SDRCreateFrameBuffer(full.r, 1, 2, 3, 4, 5, 6);
    REQUIRE(second);
    CHECK(second != full.r);
    CHECK(st.lastRecord == second);   // the slot sees the new record
    CHECK(st.lastArgs[0] == 1);
    CHECK(st.lastArgs[5] == 6);
    CHECK(second->library == full.r->library);
    CHECK(second->frameWidth == 720);
    CHECK(FB_SLOT(second, FBW_TAKE) == FB_SLOT(full.r, FBW_TAKE));
    LONG deletes = st.sdrDeletes;
    CHECK(SDRDeleteFrameBuffer(second) == 0);
    CHECK(st.sdrDeletes == deletes + 1);

    CHECK(SDRCreateFrameBuffer(full.r, 0, 2, 3, 4, 5, 6) == nullptr);   // the driver refused
    CHECK(SDRCreateFrameBuffer(empty.r, 1, 2, 3, 4, 5, 6) == nullptr);  // no slot
    CHECK(SDRCreateFrameBuffer(nullptr, 1, 2, 3, 4, 5, 6) == nullptr);
    CHECK(SDRDeleteFrameBuffer(nullptr) == 0);
    CHECK(SDRDeleteFrameBuffer(empty.r) == 0);   // no slot: nothing happens
    CHECK(empty.r->frameWidth == 720);
}

TEST_CASE("Remote control of a playback device")
{
    lf::start();
    TestBoardStateBlock &st = state_of(system_board_dll());

    SECTION("the device number follows the last blank; the library comes from the system directory")
    {
        struct Case { const char *text; DWORD device; };
        const Case cases[] = { { "TestBoard.dll 3", 3 }, { "TestBoard.dll", 0 }, { "TestBoard.dll x 12", 12 } };
        for (const Case &c : cases) {
            INFO(c.text);
            RemoteControlRecord *rc = EnableRemoteControl(c.text);
            REQUIRE(rc);
            CHECK(st.controlDevice == c.device);
            CHECK(rc->device == c.device);
            CHECK(rc->library == system_board_dll());
            LONG disables = st.controlDisables;
            CHECK(DisableRemoteControl(rc) == 0);
            CHECK(st.controlDisables == disables + 1);
        }
    }
    SECTION("the forwarders")
    {
        RemoteControlRecord *rc = EnableRemoteControl("TestBoard.dll 4");
        REQUIRE(rc);
        CHECK(SetupRemoteControl(rc, 7, 8) == RCW_SETUP * 1000 + 2);
        CHECK(st.lastArgs[0] == 7);
        CHECK(st.lastArgs[1] == 8);
        CHECK(SetupRemoteControlClearCutlist(rc) == RCW_CLEAR_CUTLIST * 1000);
        CHECK(SetupRemoteControlAddCutlist(rc, 1, 2, 3) == RCW_ADD_CUTLIST * 1000 + 3);
        CHECK(st.lastArgs[2] == 3);
        CHECK(SetupRemoteControlPlayCutlist(rc) == RCW_PLAY_CUTLIST * 1000);
        CHECK(SetupRemoteControlAtTime(rc, 1, 2, 3) == 0);   // the slot the driver leaves empty
        CHECK(SetupRemoteControl(nullptr, 7, 8) == 0);
        CHECK(SetupRemoteControlPlayCutlist(nullptr) == 0);
        DisableRemoteControl(rc);
    }
    SECTION("refusals")
    {
        CHECK(EnableRemoteControl("TestBoard.dll 99") == nullptr);
        CHECK(st.controlDevice == 99);
        CHECK(EnableRemoteControl("NoSuchControl.dll 1") == nullptr);
        CHECK(EnableRemoteControl("kernel32.dll 1") == nullptr);   // no EnableControl
        CHECK(EnableRemoteControl(nullptr) == nullptr);
        CHECK(EnableRemoteControl("") == nullptr);
        CHECK(EnableRemoteControl((std::string("TestBoard.dll ") + std::string(242, '1')).c_str()) == nullptr);
        CHECK(DisableRemoteControl(nullptr) == 0);
    }
}
