// The simulated board device: the frame-record player on plain memory, and
// the device itself as the board driver reaches it (service, "\\.\MURNAK",
// device controls).
#include <catch2/catch.hpp>
#include <windows.h>
#include <vector>
#include "murnak_ioctl.h"
#include "murnak_kit.h"
#include "playback.h"

using namespace murnak;

namespace {

// Builds one frame record from sub-records given as word lists {tag, payload...}.
std::vector<BYTE> record(std::initializer_list<std::vector<DWORD>> subs)
{
    std::vector<DWORD> w = { 0, 0 };
    for (const auto &s : subs) {
        w.push_back((DWORD)(s.size() + 1) * 4);
        w.insert(w.end(), s.begin(), s.end());
    }
    w.push_back(8);
    w.push_back(0);
    w[0] = (DWORD)w.size() * 4;
    w[1] = ~w[0];
    std::vector<BYTE> b(w.size() * 4);
    memcpy(b.data(), w.data(), b.size());
    return b;
}

struct Frames {
    static const LONG W = 8, H = 4;
    std::vector<DWORD> visible, incoming, old;
    Stage stage;
    Frames() : visible(W * H, 0x11111111), incoming(W * H, 0x99999999), old(visible)
    {
        for (LONG i = 0; i < W * H; ++i) incoming[i] = 0xFF000000u | (DWORD)i;
        stage.visible = { (BYTE *)visible.data(), W, H, W * 4 };
        stage.incoming = { (BYTE *)incoming.data(), W, H, W * 4 };
        stage.old = { (BYTE *)old.data(), W, H, W * 4 };
    }
};

} // namespace

TEST_CASE("Frame records are checked before they are played", "[playback]")
{
    auto good = record({ { CL_TAG_RECTS, 1, 0, 0, 2, 2 } });
    CHECK(check_frame_record(good.data(), good.size()) == good.size());

    SECTION("bad records are refused")
    {
        auto truncated = good;
        CHECK(check_frame_record(truncated.data(), truncated.size() - 4) == 0);
        auto badCheck = good;
        badCheck[4] ^= 1;
        CHECK(check_frame_record(badCheck.data(), badCheck.size()) == 0);
        auto overrun = good;
        DWORD big = 0x1000;
        memcpy(overrun.data() + 8, &big, 4);      // sub-record larger than the record
        CHECK(check_frame_record(overrun.data(), overrun.size()) == 0);
        auto noEnd = good;
        DWORD tag = CL_TAG_LEVELS;
        memcpy(noEnd.data() + noEnd.size() - 4, &tag, 4);   // end sub-record missing
        CHECK(check_frame_record(noEnd.data(), noEnd.size()) == 0);
        CHECK(check_frame_record(nullptr, 100) == 0);
    }
}

TEST_CASE("Playing rectangles, moves, levels and images", "[playback]")
{
    Frames f;
    SECTION("a rectangle {y, x, w, h} reveals the incoming picture there, clipped to the frame")
    {
        auto r = record({ { CL_TAG_RECTS, 2, 1, 6, 5, 9 } });
        play_frame_record(r.data(), (DWORD)r.size(), f.stage);
        for (LONG y = 0; y < Frames::H; ++y)
            for (LONG x = 0; x < Frames::W; ++x) {
                bool inside = y >= 1 && x >= 6;
                INFO(x << "," << y);
                CHECK(f.visible[y * Frames::W + x] == (inside ? f.incoming[y * Frames::W + x] : 0x11111111u));
            }
    }
    SECTION("a move copies a source rectangle to a target place")
    {
        auto r = record({ { CL_TAG_MOVES, 1, 0, 0, 2, 1, 3, 5 } });
        play_frame_record(r.data(), (DWORD)r.size(), f.stage);
        CHECK(f.visible[3 * Frames::W + 5] == f.incoming[0]);
        CHECK(f.visible[3 * Frames::W + 6] == f.incoming[1]);
        CHECK(f.visible[0] == 0x11111111u);
    }
    SECTION("levels mix the old frame and the incoming picture")
    {
        auto r = record({ { CL_TAG_LEVELS, FIX24_ONE / 2, FIX24_ONE / 2 } });
        f.incoming.assign(f.incoming.size(), 0x33333333);
        play_frame_record(r.data(), (DWORD)r.size(), f.stage);
        CHECK(f.visible[5] == 0x22222222u);
    }
    SECTION("an image record counts its fields and shows its colour plane")
    {
        std::vector<DWORD> sub = { CL_TAG_IMAGE, 0, 6, 1 };
        for (LONG i = 0; i < Frames::W * Frames::H; ++i) sub.push_back(0xFF00AA00u + (DWORD)i);
        auto r = record({ sub });
        CHECK(play_frame_record(r.data(), (DWORD)r.size(), f.stage) == 6);
        CHECK(f.visible[9] == 0xFF00AA09u);
    }
}

namespace {

HANDLE open_device()
{
    return CreateFileA("\\\\.\\MURNAK", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}

// Starts the device the way a board driver does: a demand-start kernel
// service at the drivers folder.
bool start_device()
{
    SC_HANDLE m = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!m) return false;
    SC_HANDLE s = OpenServiceA(m, "MURNAK", SERVICE_ALL_ACCESS);
    if (!s) {
        char path[MAX_PATH];
        ExpandEnvironmentStringsA("%SystemRoot%\\System32\\drivers\\MURNAK.sys", path, MAX_PATH);
        s = CreateServiceA(m, "MURNAK", "MURNAK", SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                           SERVICE_ERROR_IGNORE, path, nullptr, nullptr, nullptr, nullptr, nullptr);
    }
    bool ok = s && (StartServiceA(s, 0, nullptr) || GetLastError() == ERROR_SERVICE_ALREADY_RUNNING) &&
              murnak_kit::wait_service(s, SERVICE_RUNNING);
    if (s) CloseServiceHandle(s);
    CloseServiceHandle(m);
    return ok;
}

DWORD ask(HANDLE h, DWORD code, std::vector<DWORD> in, DWORD *ok = nullptr)
{
    DWORD out[8] = {}, got = 0;
    BOOL r = DeviceIoControl(h, code, in.empty() ? nullptr : in.data(), (DWORD)in.size() * 4, out, sizeof out, &got,
                             nullptr);
    if (ok) *ok = r;
    return out[0];
}

} // namespace

TEST_CASE("The device answers as a board driver reaches it", "[device]")
{
    REQUIRE(murnak_kit::install_device());
    murnak_kit::reset_params(2, 16, 8);
    REQUIRE(start_device());
    HANDLE h = open_device();
    REQUIRE(h != INVALID_HANDLE_VALUE);

    CHECK(ask(h, IOCTL_MURNAK_BUILD, {}) == 345);
    CHECK(ask(h, IOCTL_MURNAK_BOARD_COUNT, {}) == 2);
    murnak_kit::set_param("Boards", 0);
    CHECK(ask(h, IOCTL_MURNAK_BOARD_COUNT, {}) == 0);
    murnak_kit::set_param("Boards", 2);

    MurnakOpenBoard ob = {};
    DWORD got = 0, word = 3;
    REQUIRE(DeviceIoControl(h, IOCTL_MURNAK_OPEN_BOARD, &word, 4, &ob, sizeof ob, &got, nullptr));
    CHECK(ob.handle < 0);                      // board 3 of 2
    word = 1;
    REQUIRE(DeviceIoControl(h, IOCTL_MURNAK_OPEN_BOARD, &word, 4, &ob, sizeof ob, &got, nullptr));
    REQUIRE(got == 20);
    REQUIRE(ob.handle >= 0);
    CHECK(ob.width == 16);
    CHECK(ob.height == 8);
    CHECK(ob.aspect == 0x00040003u);

    // Frame memory in this process: visible at 0, incoming at 2 MiB, 3072 bytes a line.
    BYTE *mem = nullptr;
    DWORD handle = (DWORD)ob.handle;
    REQUIRE(DeviceIoControl(h, IOCTL_MURNAK_FRAME_MEMORY, &handle, 4, &mem, sizeof mem, &got, nullptr));
    REQUIRE(mem);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) ((DWORD *)(mem + 0x200000 + y * 3072))[x] = 0xFF000000u + y * 16 + x;

    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    MurnakEvent ev = { handle, 0, done };
    REQUIRE(DeviceIoControl(h, IOCTL_MURNAK_EVENT_DONE, &ev, sizeof ev, nullptr, 0, &got, nullptr));

    // A list of two frame records and the terminator.
    auto a = record({ { CL_TAG_RECTS, 1, 0, 0, 16, 4 } });
    auto b = record({ { CL_TAG_RECTS, 1, 4, 0, 16, 4 } });
    std::vector<BYTE> list(a);
    list.insert(list.end(), b.begin(), b.end());
    list.resize(list.size() + 4, 0);
    MurnakSubmitList sl = { list.data(), (DWORD)list.size(), 0 };
    DWORD id = 0;
    REQUIRE(DeviceIoControl(h, IOCTL_MURNAK_SUBMIT_LIST, &sl, sizeof sl, &id, 4, &got, nullptr));
    MurnakQueueFrame q1 = { handle, id, 0 }, q2 = { handle, id, (DWORD)a.size() };
    REQUIRE(DeviceIoControl(h, IOCTL_MURNAK_QUEUE_FRAME, &q1, sizeof q1, nullptr, 0, &got, nullptr));
    REQUIRE(DeviceIoControl(h, IOCTL_MURNAK_QUEUE_FRAME, &q2, sizeof q2, nullptr, 0, &got, nullptr));
    CHECK(WaitForSingleObject(done, 0) == WAIT_TIMEOUT);
    DWORD play[2] = { handle, 1 };
    REQUIRE(DeviceIoControl(h, IOCTL_MURNAK_PLAY_QUEUE, play, sizeof play, nullptr, 0, &got, nullptr));
    CHECK(WaitForSingleObject(done, 0) == WAIT_OBJECT_0);
    CHECK(((DWORD *)(mem + 7 * 3072))[15] == 0xFF000000u + 7 * 16 + 15);
    CHECK(ask(h, IOCTL_MURNAK_POSITION, { handle }) == 2);

    SECTION("bad requests fail cleanly")
    {
        DWORD ok = 1;
        ask(h, IOCTL_MURNAK_POSITION, { 9999 }, &ok);
        CHECK_FALSE(ok);
        MurnakSubmitList bad = { (const void *)0x10, 64, 0 };     // unreadable list
        CHECK_FALSE(DeviceIoControl(h, IOCTL_MURNAK_SUBMIT_LIST, &bad, sizeof bad, &id, 4, &got, nullptr));
        ask(h, 0x80002F00, {}, &ok);
        CHECK_FALSE(ok);
    }

    auto log = murnak_kit::read_log();
    INFO("log entries " << log.size());
    auto opens = murnak_kit::requests(log, IOCTL_MURNAK_OPEN_BOARD);
    REQUIRE(opens.size() >= 2);
    CHECK(opens.back().words == std::vector<DWORD>{ 1 });

    ask(h, IOCTL_MURNAK_CLOSE_BOARD, { handle });
    CloseHandle(done);
    CloseHandle(h);
}
