// Quadrel.dll on the simulated board device, driven through the real
// graphics core as a program drives a board: detection, the build check,
// the slots of each board kind, the frame-buffer operations and their
// device-control words, takes through the play thread, and remote control.
#include <catch2/catch.hpp>
#include <windows.h>
#include <string.h>
#include <string>
#include <vector>
#include "pixmoor.h"
#include "murnak_ioctl.h"
#include "murnak_kit.h"
#include "msgbox_capture.h"

using namespace murnak_kit;

namespace {

std::string quadrel_path() { return bin_dir() + "\\Quadrel.dll"; }

// The library loaded for one test: its attach runs on load.
struct Driver {
    HMODULE module;
    explicit Driver(DWORD boards = 1, DWORD width = 64, DWORD height = 48)
    {
        REQUIRE(install_device());
        reset_params(boards, width, height);
        module = LoadLibraryA(quadrel_path().c_str());
        REQUIRE(module);
        clear_log();
    }
    ~Driver() { FreeLibrary(module); }
    LONG boards() const
    {
        auto f = (LONG(WINAPI *)(void))(void *)GetProcAddress(module, "GetNumBoards");
        return f ? f() : -1;
    }
};

FrameBufferRecord *open_board(DWORD board)
{
    char text[400];
    wsprintfA(text, "dllname=\"%s\" board=%u", quadrel_path().c_str(), (unsigned)board);
    return EnableFrameBuffer(text);
}

std::string name_of(FrameBufferRecord *rec)
{
    char buf[128] = {};
    GetNameOfFrameBuffer(rec, (LONG_PTR)buf, sizeof buf);
    return buf;
}

LONG_PTR dbl(double d)
{
    LONG_PTR v = 0;
    memcpy(&v, &d, sizeof d);
    return v;
}

// Pixel (x, y) of the board's on-screen or off-screen memory.
DWORD *pixel(FrameBufferRecord *rec, bool on, LONG x, LONG y)
{
    BYTE *l = (BYTE *)(LONG_PTR)(on ? OnScreenFrameBufferLine(rec, y) : OffScreenFrameBufferLine(rec, y));
    return l ? (DWORD *)l + x : nullptr;
}

void paint_offscreen(FrameBufferRecord *rec, DWORD base)
{
    for (LONG y = 0; y < rec->frameHeight; ++y)
        for (LONG x = 0; x < rec->frameWidth; ++x) *pixel(rec, false, x, y) = base + (DWORD)(y * 1000 + x);
}

bool onscreen_is(FrameBufferRecord *rec, DWORD base)
{
    for (LONG y = 0; y < rec->frameHeight; ++y)
        for (LONG x = 0; x < rec->frameWidth; ++x)
            if (*pixel(rec, true, x, y) != base + (DWORD)(y * 1000 + x)) return false;
    return true;
}

// Waits (bounded) until the log holds a request with this code.
std::vector<Request> wait_for(DWORD code)
{
    for (int i = 0; i < 100; ++i) {
        auto log = read_log();
        if (!requests(log, code).empty()) return log;
        Sleep(20);
    }
    return read_log();
}

} // namespace

TEST_CASE("Detection with 0, 1 and 2 boards", "[attach]")
{
    for (DWORD boards : { 0u, 1u, 2u }) {
        INFO(boards << " boards");
        Driver d(boards);
        CHECK(d.boards() == (LONG)boards);
        CHECK(GetNumFrameBuffers(quadrel_path().c_str()) == (LONG)boards);
        FrameBufferRecord *first = open_board(0), *second = open_board(1);
        CHECK((first != nullptr) == (boards >= 1));
        CHECK((second != nullptr) == (boards >= 2));
        if (first) {
            CHECK(first->frameWidth == 64);
            CHECK(first->frameHeight == 48);
            CHECK(first->caps == 0);
        }
        DisableFrameBuffer(first);
        DisableFrameBuffer(second);
    }
}

TEST_CASE("A wrong driver build is refused like a missing device", "[attach]")
{
    for (DWORD build : { 344u, 346u }) {
        INFO(build);
        REQUIRE(install_device());
        reset_params(2);
        set_param("Build", build);
        MsgBoxCapture boxes;
        HMODULE m = LoadLibraryA(quadrel_path().c_str());
        REQUIRE(m);
        REQUIRE(boxes.count() == 1);
        CHECK(boxes.boxes()[0].text == "Incorrect MURNAK.SYS version");
        auto count = (LONG(WINAPI *)(void))(void *)GetProcAddress(m, "GetNumBoards");
        CHECK(count() == 0);
        CHECK(open_board(0) == nullptr);
        RemoteControlRecord rc = {};
        rc.device = 1;
        auto enable = (LONG(WINAPI *)(RemoteControlRecord *))(void *)GetProcAddress(m, "EnableControl");
        CHECK(enable(&rc) == 0);
        FreeLibrary(m);
    }
    SECTION("the right build shows nothing (Caps Lock up: no version box)")
    {
        MsgBoxCapture boxes;
        Driver d(1);
        CHECK(boxes.count() == 0);
    }
    set_param("Build", 345);
}

TEST_CASE("Backplane adapters choose the board's build message", "[attach]")
{
    clear_backplanes();
    set_adapter(1, 2, "Quadrel rev B");
    set_adapter(2, 0, "PallasetDTV 2");          // the first connector in order wins
    set_adapter(2, 3, "QUADREL");
    set_adapter(3, 4, "pallasetlite");
    set_adapter(3, 1, "Something else");
    {
        Driver d(4);
        const char *want[] = { "No Pallaset Detected Build 345", "Quadrel Driver Build #345",
                               "Pallaset DTV Driver Build #345", "Pallaset LE Driver Build #345" };
        for (DWORD b = 0; b < 4; ++b) {
            INFO(b);
            FrameBufferRecord *rec = open_board(b);
            REQUIRE(rec);
            CHECK(name_of(rec) == want[b]);
            if (b == 0) {
                char shortBuf[10];
                CHECK(GetNameOfFrameBuffer(rec, (LONG_PTR)shortBuf, sizeof shortBuf) == 30);   // bounded print
                CHECK(std::string(shortBuf) == "No Pallas");
            }
            DisableFrameBuffer(rec);
        }
    }
    clear_backplanes();
}

TEST_CASE("Each board kind gets its own slots", "[board]")
{
    Driver d(1);
    struct Kind { DWORD word; std::vector<int> slots; bool onScreen, offScreen; };
    const std::vector<int> common = { FBW_DISABLE,      FBW_TAKE,        FBW_TAKE_EVENT,     FBW_CONTROL_EFFECT,
                                      FBW_MASTER_DVE,   FBW_GET_WINDOW_RECT, FBW_ASPECT,     FBW_KEYING,
                                      FBW_TAKE_EVENT_EX, FBW_TAKE_AT_TIME, FBW_GET_NAME };
    auto with = [&](std::vector<int> extra) {
        extra.insert(extra.end(), common.begin(), common.end());
        return extra;
    };
    const Kind kinds[] = {
        { 0, with({ FBW_ONSCREEN_LAYER, FBW_ONSCREEN_LINE, FBW_OFFSCREEN_LAYER, FBW_OFFSCREEN_LINE, FBW_ROLL,
                    FBW_VEXA, FBW_GRAB, FBW_ROLL_LAYER, FBW_WINDOW, FBW_LIVE_DVE }), true, true },
        { 64, with({ FBW_OFFSCREEN_LAYER, FBW_OFFSCREEN_LINE, FBW_WINDOW }), false, true },
        { 200, with({ FBW_VEXA, FBW_WINDOW }), false, false },
        { 40, common, false, false },
    };
    for (const Kind &k : kinds) {
        INFO("board word " << k.word);
        FrameBufferRecord *rec = open_board(k.word);
        REQUIRE(rec);
        for (int w = FBW_DISABLE; w < FBW_COUNT; ++w) {
            INFO("slot " << w);
            bool want = std::find(k.slots.begin(), k.slots.end(), w) != k.slots.end();
            CHECK((FB_SLOT(rec, w) != nullptr) == want);
        }
        CHECK((OnScreenFrameBufferLayer(rec) != 0) == k.onScreen);
        CHECK((OffScreenFrameBufferLayer(rec) != 0) == k.offScreen);
        DisableFrameBuffer(rec);
    }
    auto log = read_log();
    // The host-buffer board handed its layer to the driver and took it back.
    auto attach = requests(log, IOCTL_MURNAK_ATTACH_HOST_LO);
    REQUIRE(attach.size() == 1);
    CHECK(attach[0].words[0] == 0);
    CHECK(attach[0].words[4] == 64 * 48 * 4);
    CHECK(requests(log, IOCTL_MURNAK_DETACH_HOST_LO).size() == 1);
    CHECK(requests(log, IOCTL_MURNAK_OPEN_BOARD).size() == 4);
    CHECK(requests(log, IOCTL_MURNAK_CLOSE_BOARD).size() == 4);
}

TEST_CASE("Frame-buffer operations and their device-control words", "[board]")
{
    Driver d(1, 128, 96);
    set_param("Keying", 7);
    set_param("Aspect", 0x00100009);
    FrameBufferRecord *rec = open_board(0);
    REQUIRE(rec);

    SECTION("lines of the board memory")
    {
        BYTE *first = (BYTE *)(LONG_PTR)OnScreenFrameBufferLine(rec, 0);
        REQUIRE(first);
        CHECK((BYTE *)(LONG_PTR)OnScreenFrameBufferLine(rec, 1) == first + 3072);
        CHECK((BYTE *)(LONG_PTR)OffScreenFrameBufferLine(rec, 0) == first + 0x200000);
        CHECK(OnScreenFrameBufferLine(rec, 96) == 0);
        CHECK(OnScreenFrameBufferLine(rec, -1) == 0);
        Layer *on = (Layer *)(LONG_PTR)OnScreenFrameBufferLayer(rec);
        REQUIRE(on);
        CHECK(on->width == 128);
        CHECK(on->height == 96);
        CHECK(on->pitch == 3072);
    }
    SECTION("the window is clipped to the frame and made even in field mode")
    {
        clear_log();
        CHECK(WindowFrameBuffer(rec, -10, 5, 100, 11));
        RECT r = {};
        GetWindowRectFrameBuffer(rec, (LONG_PTR)&r);
        CHECK(r.left == 0);
        CHECK(r.right == 90);
        CHECK(r.top == 4);
        CHECK(r.bottom == 14);
        auto w = requests(read_log(), IOCTL_MURNAK_WINDOW);
        REQUIRE(w.size() == 1);
        CHECK(std::vector<DWORD>(w[0].words.begin() + 1, w[0].words.end()) == std::vector<DWORD>{ 4, 0, 14, 90 });
        // The views follow the window.
        Layer *view = (Layer *)(LONG_PTR)OffScreenFrameBufferLayer(rec);
        CHECK(view->position.left == 0);
        CHECK(view->position.top == 4);
        CHECK(view->position.right == 90);
        CHECK(view->position.bottom == 14);
        // Nothing for an empty window.
        CHECK(WindowFrameBuffer(rec, 200, 0, 10, 10) == 0);
        CHECK(requests(read_log(), IOCTL_MURNAK_WINDOW).size() == 1);
    }
    SECTION("DVE values go out as 8.24, the master one with its first two swapped")
    {
        clear_log();
        CHECK(MasterDVEFrameBuffer(rec, dbl(0.5), dbl(0.25), dbl(1.0), dbl(2.0), 0, 0, 0, 0) == 1);
        CHECK(LiveDVEFrameBuffer(rec, dbl(0.5), dbl(0.25), dbl(1.0), dbl(-1.0), 0, 0, 0, 0) == 1);
        auto log = read_log();
        auto m = requests(log, IOCTL_MURNAK_MASTER_DVE), l = requests(log, IOCTL_MURNAK_LIVE_DVE);
        REQUIRE(m.size() == 1);
        REQUIRE(l.size() == 1);
        CHECK(std::vector<DWORD>(m[0].words.begin() + 1, m[0].words.end()) ==
              std::vector<DWORD>{ 0x400000, 0x800000, 0x1000000, 0x2000000 });
        CHECK(std::vector<DWORD>(l[0].words.begin() + 1, l[0].words.end()) ==
              std::vector<DWORD>{ 0x800000, 0x400000, 0x1000000, 0xFF000000u });
    }
    SECTION("keying and aspect come from the open")
    {
        int x = 0, y = 0;
        CHECK(GetAspectRatioFrameBuffer(rec, (LONG_PTR)&x, (LONG_PTR)&y));
        CHECK(x == 16);
        CHECK(y == 9);
        CHECK(GetKeyingFrameBuffer(rec) == 7);
    }
    DisableFrameBuffer(rec);
    set_param("Keying", 0);
    set_param("Aspect", 0x00040003);
}

TEST_CASE("Takes play through the board's play thread", "[play]")
{
    Driver d(1);
    FrameBufferRecord *rec = open_board(0);
    REQUIRE(rec);
    auto control = [&](LONG type, void *inout = nullptr) { return ControlEffectFrameBuffer(rec, type, (LONG_PTR)inout); };

    SECTION("idle: finished, no done event to wait on")
    {
        CHECK(control(7) == 1);
        void *ev = (void *)1;
        CHECK(control(6, &ev) == 0);
        CHECK(ev == nullptr);
        CHECK(control(10, &ev) == 0);
        CHECK(ev != nullptr);
        auto slot = (LONG(PIXAPI *)(FrameBufferRecord *, LONG_PTR, LONG_PTR))FB_SLOT(rec, FBW_CONTROL_EFFECT);
        CHECK(slot(nullptr, 7, 0) == -1);
    }
    SECTION("a wipe and an image take reveal the off-screen picture, lists submitted, played and freed in order")
    {
        paint_offscreen(rec, 0xFF000000);
        CHECK(TakeFrameBuffer(rec, 0x000001, 6) == 0);
        CHECK(control(4) == 0);                          // waits for done, back to idle
        CHECK(onscreen_is(rec, 0xFF000000));

        paint_offscreen(rec, 0xFF400000);
        CHECK(TakeFrameBuffer(rec, 0x040100, 2) == 0);   // colour of the third view, no key
        CHECK(control(4) == 0);
        CHECK(onscreen_is(rec, 0xFF400000));

        auto log = wait_for(IOCTL_MURNAK_FREE_LIST);
        for (int i = 0; i < 50 && requests(log, IOCTL_MURNAK_FREE_LIST).size() < 2; ++i) {
            Sleep(20);
            log = read_log();
        }
        // submit, frame records by ascending offset, play, free; twice.
        std::vector<DWORD> order;
        DWORD lastOffset = 0;
        bool ascending = true;
        for (const auto &r : log) {
            if (r.code == IOCTL_MURNAK_SUBMIT_LIST || r.code == IOCTL_MURNAK_PLAY_QUEUE ||
                r.code == IOCTL_MURNAK_FREE_LIST)
                order.push_back(r.code);
            if (r.code == IOCTL_MURNAK_SUBMIT_LIST) lastOffset = 0;
            if (r.code == IOCTL_MURNAK_QUEUE_FRAME) {
                if (r.words[2] && r.words[2] <= lastOffset) ascending = false;
                lastOffset = r.words[2];
            }
        }
        CHECK(ascending);
        const std::vector<DWORD> want = { IOCTL_MURNAK_SUBMIT_LIST, IOCTL_MURNAK_PLAY_QUEUE, IOCTL_MURNAK_FREE_LIST,
                                          IOCTL_MURNAK_SUBMIT_LIST, IOCTL_MURNAK_PLAY_QUEUE, IOCTL_MURNAK_FREE_LIST };
        CHECK(order == want);
    }
    SECTION("a take whose trigger never fires is cancelled by a stop")
    {
        HANDLE never = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        paint_offscreen(rec, 0xFF800000);
        // The off-screen lines were touched above; the take queues now.
        CHECK(TakeFrameBufferEvent(rec, 0x000002, 4, (LONG_PTR)never) == 0);
        CHECK(control(7) == 0);
        CHECK(control(1) == 0);
        CHECK(control(7) == 1);
        auto log = wait_for(IOCTL_MURNAK_FREE_LIST);
        CHECK(requests(log, IOCTL_MURNAK_PLAY_QUEUE).empty());
        CHECK(requests(log, IOCTL_MURNAK_STOP).size() == 1);
        CHECK(requests(log, IOCTL_MURNAK_FREE_LIST).size() == 1);
        CHECK_FALSE(onscreen_is(rec, 0xFF800000));
        CloseHandle(never);
    }
    SECTION("a take waits for its trigger; one at a time plays at the given time")
    {
        HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        paint_offscreen(rec, 0xFF200000);
        CHECK(TakeFrameBufferEvent(rec, 0x000003, 4, (LONG_PTR)go) == 0);
        CHECK(requests(read_log(), IOCTL_MURNAK_PLAY_QUEUE).empty());
        SetEvent(go);
        CHECK(control(4) == 0);
        CHECK(onscreen_is(rec, 0xFF200000));
        CloseHandle(go);

        clear_log();
        CHECK(TakeFrameBufferAtTime(rec, 0x000004, 0, 4, 1234) == 0);
        CHECK(control(4) == 0);
        auto at = requests(read_log(), IOCTL_MURNAK_PLAY_AT_TIME);
        REQUIRE(at.size() == 1);
        CHECK(at[0].words[1] == 1234);
    }
    SECTION("crop values are kept, not queued")
    {
        clear_log();
        double crop[4] = { 0.0, 0.5, 0.25, 1.0 };
        CHECK(TakeFrameBuffer(rec, 0xFF0000, (LONG_PTR)crop) == 0);
        CHECK(requests(read_log(), IOCTL_MURNAK_SUBMIT_LIST).empty());
        paint_offscreen(rec, 0xFF300000);
        CHECK(TakeFrameBuffer(rec, 0x000001, 2) == 0);
        CHECK(control(4) == 0);
        CHECK(onscreen_is(rec, 0xFF300000));
    }
    DisableFrameBuffer(rec);
}

TEST_CASE("Host-buffer boards send pattern lists; durations are clamped to 600", "[play]")
{
    Driver d(1);
    FrameBufferRecord *rec = open_board(64);
    REQUIRE(rec);
    CHECK(TakeFrameBuffer(rec, 0x000002, 601) == 0);
    CHECK(ControlEffectFrameBuffer(rec, 4, 0) == 0);
    auto submit = requests(read_log(), IOCTL_MURNAK_SUBMIT_LIST);
    REQUIRE(submit.size() == 1);
    // {list pointer (two words), size, 0}: 601 pattern records and the closing one.
    CHECK(submit[0].words[2] == 601 * 36 + 28 + 4);
    auto frames = requests(read_log(), IOCTL_MURNAK_QUEUE_FRAME);
    CHECK(frames.size() == 602);
    // Bad values never reach the device.
    CHECK(TakeFrameBuffer(rec, 0xFF0000, 0) == 0);
    DisableFrameBuffer(rec);
}

TEST_CASE("Grabs reach the effects device of a Pallaset backplane", "[grab]")
{
    clear_backplanes();
    const char *adapterKey = "SOFTWARE\\PALLAS2\\ADAPTERS\\PALLASETDTV";
    set_adapter(1, 0, adapterKey);
    set_effects_device(adapterKey, "PALLASFX");
    {
        Driver d(2);
        FrameBufferRecord *rec = open_board(1);
        REQUIRE(rec);
        CHECK(GrabFrameBuffer(rec, 1) == 1);
        CHECK(GrabFrameBuffer(rec, 2) == 1);
        auto log = read_log();
        std::vector<DWORD> fx;
        for (const auto &r : log)
            if ((r.code & 0xFF000000) == 0x83000000) fx.push_back(r.code);
        CHECK(fx == std::vector<DWORD>{ IOCTL_EFFECTS_RELEASE, IOCTL_EFFECTS_FREEZE, IOCTL_EFFECTS_CAPTURE });
        auto cap = requests(log, IOCTL_EFFECTS_CAPTURE);
        REQUIRE(cap.size() == 1);
        REQUIRE(cap[0].words.size() == 17);
        CHECK(cap[0].words[0] == 68);
        CHECK(cap[0].words[3] == (48 / 4) * 64 * 16);
        CHECK(cap[0].words[4] == 64);
        CHECK(cap[0].words[5] == 48);
        CHECK(cap[0].words[16] == 1);                 // not a Quadrel backplane
        // The captured picture (opaque) is on screen.
        CHECK((*pixel(rec, true, 3, 3) >> 24) == 0xFF);
        DisableFrameBuffer(rec);

        // A "NULL" effects device means none.
        set_effects_device(adapterKey, "NULL");
        clear_log();
        rec = open_board(1);
        REQUIRE(rec);
        CHECK(GrabFrameBuffer(rec, 4) == 1);
        auto grabs = requests(read_log(), IOCTL_MURNAK_GRAB);
        REQUIRE(grabs.size() == 1);
        CHECK(grabs[0].words[1] == 4);
        for (const auto &r : read_log()) CHECK((r.code & 0xFF000000) != 0x83000000);
        DisableFrameBuffer(rec);
    }
    clear_backplanes();
}

TEST_CASE("Remote control through the graphics core", "[control]")
{
    Driver d(1);
    // The core loads remote-control libraries from the system directory.
    char sys[MAX_PATH];
    UINT n = GetSystemDirectoryA(sys, MAX_PATH);
    const std::string to = std::string(sys, n) + "\\Quadrel.dll";
    REQUIRE(CopyFileA(quadrel_path().c_str(), to.c_str(), FALSE));
    REQUIRE(CopyFileA((quadrel_path() + ".so").c_str(), (to + ".so").c_str(), FALSE));

    CHECK(EnableRemoteControl("Quadrel.dll 7") == nullptr);      // no such deck
    RemoteControlRecord *rc = EnableRemoteControl("Quadrel.dll 2");
    REQUIRE(rc);
    CHECK(RC_SLOT(rc, RCW_SETUP_AT_TIME) == nullptr);
    CHECK(SetupRemoteControl(rc, 2, 3) == 5);
    CHECK(SetupRemoteControlClearCutlist(rc) == 1);
    CHECK(SetupRemoteControlAddCutlist(rc, 10, 20, 30) == 1);
    CHECK(SetupRemoteControlAddCutlist(rc, 40, 50, 60) == 2);
    CHECK(SetupRemoteControlPlayCutlist(rc) == 2);
    auto adds = requests(read_log(), IOCTL_MURNAK_CUT_ADD);
    REQUIRE(adds.size() == 2);
    CHECK(adds[1].words == std::vector<DWORD>{ 2, 40, 50, 60 });
    DisableRemoteControl(rc);
    auto off = requests(read_log(), IOCTL_MURNAK_RC_DISABLE);
    REQUIRE(off.size() == 1);
    CHECK(off[0].words == std::vector<DWORD>{ 2 });
}

TEST_CASE("A roll moves its view with the board's line", "[roll]")
{
    Driver d(1);
    FrameBufferRecord *rec = open_board(0);
    REQUIRE(rec);
    MurnakRollStart req = {};
    req.mode = 0;                                    // down
    req.speed[0] = 5;
    CHECK(RollFrameBuffer(rec, 16, 0) == 0);        // no request, no roll
    CHECK(RollFrameBuffer(rec, 16, (LONG_PTR)&req) == 1);
    CHECK(ControlEffectFrameBuffer(rec, 7, 0) == 0);     // rolling, not done
    auto start = requests(read_log(), IOCTL_MURNAK_ROLL);
    REQUIRE(start.size() == 1);
    REQUIRE(start[0].words.size() == 19);
    CHECK(start[0].words[1] == 1);
    CHECK(start[0].words[2] == 64 * 4);              // line bytes of the roll layer
    CHECK(start[0].words[11] == 64);
    CHECK(start[0].words[12] == 4 * 48);             // down: four windows high
    CHECK(start[0].words[13] == 48);                 // period: the travel

    for (LONG want : { 0, 5, 10 }) {
        LONG pos = -1;
        Layer *view = (Layer *)(LONG_PTR)RollFrameBufferLayer(rec, (LONG_PTR)&pos);
        REQUIRE(view);
        CHECK(pos == want);
        CHECK(view->position.top == want);
        LONG kept = -1;
        ControlEffectFrameBuffer(rec, 3, (LONG_PTR)&kept);
        CHECK(kept == want);
        DeleteLayer(view);                           // the reference the call added
    }
    CHECK(ControlEffectFrameBuffer(rec, 1, 0) == 0);     // roll 3, then roll 14
    std::vector<DWORD> subs;
    for (const auto &r : requests(read_log(), IOCTL_MURNAK_ROLL)) subs.push_back(r.words[1]);
    CHECK(subs == std::vector<DWORD>{ 1, 8, 8, 8, 4, 5 });
    CHECK(RollFrameBufferLayer(rec, 0) == 0);        // the roll is gone
    DisableFrameBuffer(rec);
}

TEST_CASE("Movie commands run only while a movie is set up", "[movie]")
{
    Driver d(1);
    FrameBufferRecord *rec = open_board(0);
    REQUIRE(rec);
    CHECK(VexaFrameBuffer(rec, 2, 0) == 0);          // no movie: no position
    static BYTE frames[256];
    LONG_PTR list[2] = { (LONG_PTR)frames, sizeof frames };
    CHECK(VexaFrameBuffer(rec, 0, (LONG_PTR)list) == 1);
    LONG_PTR range[2] = { 3, 10 };
    CHECK(VexaFrameBuffer(rec, 1, (LONG_PTR)range) == 1);
    HANDLE done = nullptr;
    CHECK(VexaFrameBuffer(rec, 17, (LONG_PTR)&done) == 1);
    CHECK(done != nullptr);
    CHECK(VexaFrameBuffer(rec, 3, 0) == 1);
    CHECK(WaitForSingleObject(done, 5000) == WAIT_OBJECT_0);
    CHECK(ControlEffectFrameBuffer(rec, 1, 0) == 0);     // movie 5: stop and free
    auto log = read_log();
    auto submit = requests(log, IOCTL_MURNAK_SUBMIT_LIST);
    REQUIRE(submit.size() == 1);
    CHECK(submit[0].words[2] == sizeof frames);
    auto queued = requests(log, IOCTL_MURNAK_QUEUE_FRAME);
    REQUIRE(queued.size() == 1);
    CHECK(queued[0].words.size() == 5);
    CHECK(std::vector<DWORD>(queued[0].words.begin() + 2, queued[0].words.end()) == std::vector<DWORD>{ 3, 10, 1 });
    CHECK(requests(log, IOCTL_MURNAK_FREE_LIST).size() == 1);
    CHECK(VexaFrameBuffer(rec, 17, (LONG_PTR)&done) == 1);
    CHECK(done == nullptr);                          // no movie any more
    DisableFrameBuffer(rec);
}

TEST_CASE("Without the device the library stays loaded and does nothing", "[attach]")
{
    REQUIRE(install_device());
    stop_device();
    char sys[MAX_PATH];
    UINT n = GetSystemDirectoryA(sys, MAX_PATH);
    const std::string file = std::string(sys, n) + "\\drivers\\MURNAK.sys";
    REQUIRE(MoveFileExA(file.c_str(), (file + ".away").c_str(), MOVEFILE_REPLACE_EXISTING));
    {
        MsgBoxCapture boxes;
        HMODULE m = LoadLibraryA(quadrel_path().c_str());
        REQUIRE(m);
        REQUIRE(boxes.count() == 1);
        CHECK(boxes.boxes()[0].caption == "Error");
        // (A task-modal box is activated before its text is set under Wine,
        // so only its caption can be read here.)
        auto count = (LONG(WINAPI *)(void))(void *)GetProcAddress(m, "GetNumBoards");
        CHECK(count() == 0);
        CHECK(open_board(0) == nullptr);
        FrameBufferRecord fake = {};
        auto enable = (LONG(WINAPI *)(FrameBufferRecord *))(void *)GetProcAddress(m, "EnableBoard");
        CHECK(enable(&fake) == 0);
        CHECK(fake.driver == nullptr);
        FreeLibrary(m);
    }
    MoveFileExA((file + ".away").c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING);
    REQUIRE(install_device());
}

TEST_CASE("A full board queue or a failed open is answered cleanly", "[play]")
{
    Driver d(1);
    SECTION("a take longer than the board's queue is dropped and the board stays usable")
    {
        FrameBufferRecord *rec = open_board(64);
        REQUIRE(rec);
        set_param("QueueLimit", 100);
        CHECK(TakeFrameBuffer(rec, 0x000002, 300) == 0);
        CHECK(ControlEffectFrameBuffer(rec, 7, 0) == 1);          // nothing playing
        auto log = read_log();
        CHECK(requests(log, IOCTL_MURNAK_PLAY_QUEUE).empty());
        CHECK(requests(log, IOCTL_MURNAK_FREE_LIST).size() == 1);
        CHECK(requests(log, IOCTL_MURNAK_QUEUE_FRAME).size() == 101);   // the last one refused
        // A short take still plays.
        CHECK(TakeFrameBuffer(rec, 0x000002, 10) == 0);
        CHECK(ControlEffectFrameBuffer(rec, 4, 0) == 0);
        CHECK(requests(read_log(), IOCTL_MURNAK_PLAY_QUEUE).size() == 1);
        set_param("QueueLimit", 4096);
        DisableFrameBuffer(rec);
    }
    SECTION("a play request the board refuses still ends the take")
    {
        FrameBufferRecord *rec = open_board(0);
        REQUIRE(rec);
        set_param("RefusePlay", 1);
        CHECK(TakeFrameBuffer(rec, 0x000001, 4) == 0);
        CHECK(ControlEffectFrameBuffer(rec, 4, 0) == 0);          // done was signalled: no hang
        CHECK(ControlEffectFrameBuffer(rec, 7, 0) == 1);
        set_param("RefusePlay", 0);
        wait_for(IOCTL_MURNAK_FREE_LIST);
        CHECK(requests(read_log(), IOCTL_MURNAK_FREE_LIST).size() == 1);
        DisableFrameBuffer(rec);
    }
    SECTION("a board the device cannot open leaves no block in the record")
    {
        set_param("RefuseOpen", 1);
        auto enable = (LONG(WINAPI *)(FrameBufferRecord *))(void *)GetProcAddress(d.module, "EnableBoard");
        FrameBufferRecord fake = {};
        CHECK(enable(&fake) == 0);
        CHECK(fake.driver == nullptr);
        CHECK(open_board(0) == nullptr);
        set_param("RefuseOpen", 0);
    }
}
