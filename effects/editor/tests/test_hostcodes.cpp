// A host that speaks the record forms drives the codes of the protocol:
// commands and window messages for the editor, state codes, the object and
// image sets, the realtime frame exports and the movie request.  The movie
// is read back with ffprobe, the realtime descriptions from the caller's
// own block.
#include <catch2/catch.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fxeditor.h"
#include "fxhost_host.h"
#include "fxrtdve.h"
#include "mobra_build.h"

extern "C" char *CDECL wine_get_unix_file_name(LPCWSTR dos);

using namespace fxtest;

namespace {

// One path from frame 1 to frame 10, one from 4 to 10.
const char *const kEffect =
    "Path 1: Keyframe 1.1 { at frame 1 Position: x = -100, y = 0, z = 1000. }"
    " Keyframe 1.2 { at frame 10 Position: x = 100, y = 0, z = 1000. }"
    " Path 2: Keyframe 2.1 { at frame 4 } Keyframe 2.2 { at frame 10 }";

FxKeyframe *Last(FxPath *p)
{
    return p->head->prev;
}

std::string UnixPath(const std::string &win)
{
    WCHAR w[MAX_PATH];
    if (!MultiByteToWideChar(CP_ACP, 0, win.c_str(), -1, w, MAX_PATH)) return std::string();
    char *u = wine_get_unix_file_name(w);
    if (!u) return std::string();
    std::string out(u);
    HeapFree(GetProcessHeap(), 0, u);
    return out;
}

std::string Probe(const std::string &win)
{
    std::string out;
    const std::string cmd = "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                            "stream=codec_type,width,height,nb_read_frames -of default=nw=1 '" +
                            UnixPath(win) + "' 2>/dev/null";
    FILE *p = popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[512];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
    return out;
}

struct Loaded {
    TestHost host;
    Loaded()
    {
        REQUIRE(host.Attach() == 1);
        FxRequest set = Current(FXD_EFFECT_TEXT, FXM_TEXT, const_cast<char *>(kEffect));
        REQUIRE(host.Send(FXN_REQUEST, FXP_RECEIVE | FXP_TRANSFER, &set) == 1);
        REQUIRE(CountPaths(Effect(host)->first) == 2);
    }
};

}  // namespace

TEST_CASE("Editor commands and window messages reach the editor's handler", "[hostcodes]")
{
    Loaded l;
    TestHost &h = l.host;
    // FXN_COMMAND takes the command from its record, not from wparam.
    CHECK(h.Send(FXN_COMMAND, FX_ID_UNDO, nullptr) == 0);
    uintptr_t undo[2] = {FX_ID_UNDO, 0};
    uintptr_t unknown[2] = {4999, 0};
    CHECK(h.Send(FXN_COMMAND, 0, unknown) == 0);
    CHECK(h.Send(FXN_COMMAND, 0, undo) == 1);
    // Relay codes answered by the host link; others go to the handler as
    // the message they name (a command here).
    uintptr_t count[3] = {857, 0, 0};
    CHECK(h.Send(FXN_WINDOW_MESSAGE, 0, count) == Effect(h)->endFrame);
    uintptr_t relayed[3] = {WM_COMMAND, FX_ID_REDO, 0};
    CHECK(h.Send(FXN_WINDOW_MESSAGE, WM_COMMAND, relayed) == 1);
    CHECK(h.Send(FXN_WINDOW_MESSAGE, WM_COMMAND, nullptr) == 0);
    // Any other window message goes to the main window's procedure with
    // the record's wParam and lParam.
    uintptr_t refresh[3] = {0, 0x1234, 0};
    CHECK(h.Send(FXN_WINDOW_MESSAGE, FXM_REFRESH, refresh) == 0);  // no main window yet
    WNDCLASSA wc = {};
    wc.lpfnWndProc = MainWndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "HostCodesMain";
    RegisterClassA(&wc);
    HWND main = CreateWindowA("HostCodesMain", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance,
                              h.Instance());
    REQUIRE(main);
    h.Instance()->mainWindow = main;
    CHECK(FxLastRefreshWord() != 0x1234);
    CHECK(h.Send(FXN_WINDOW_MESSAGE, FXM_REFRESH, refresh) == 0);
    CHECK(FxLastRefreshWord() == 0x1234);
    // A relay code the host link does not answer is a message too.
    uintptr_t relayedRefresh[3] = {FXM_REFRESH, 0, 0x5678};
    CHECK(h.Send(FXN_WINDOW_MESSAGE, 0, relayedRefresh) == 0);
    CHECK(FxLastRefreshWord() == 0x5678);
    DestroyWindow(main);
    CHECK(h.Instance()->mainWindow == nullptr);
}

TEST_CASE("State codes change the effect's time as the host asks", "[hostcodes]")
{
    Loaded l;
    TestHost &h = l.host;
    FxEffect *e = Effect(h);
    SECTION("9: the duration stretches the keyframes by the clip-length method")
    {
        e->flags &= ~0x30000000u;  // method 0: scale
        CHECK(h.Send(FXN_STATE, 9, reinterpret_cast<void *>(uintptr_t(19))) == 1);
        CHECK(e->endFrame == 19);
        CHECK(h.Instance()->hostDuration == 19);
        CHECK(Last(e->first)->endFrame == 19);
        CHECK(e->first->head->startFrame == 1);
    }
    SECTION("4: the current path starts at the frame given and keeps its length")
    {
        e->current = e->first->next;
        int32_t where[2] = {6, 0};
        CHECK(h.Send(FXN_STATE, 4, where) == 0);
        CHECK(e->first->next->head->startFrame == 6);
        CHECK(Last(e->first->next)->startFrame == 12);
        CHECK(e->first->head->startFrame == 1);
        CHECK(h.Send(FXN_STATE, 6) == 1);
    }
}

TEST_CASE("Images and animation-data objects become the effect's pictures", "[hostcodes]")
{
    Loaded l;
    TestHost &h = l.host;
    FxEffect *e = Effect(h);
    std::vector<uint32_t> px(4 * 3, 0xFF112233);
    SECTION("image object: the first path, then a new one")
    {
        for (uint32_t code : {uint32_t(FXD_OBJECT_IMAGE), uint32_t(FXD_OBJECT_POSITION)}) {
            FxRequest r = Current(code, FXM_MEMORY, px.data(), Pack(4, 3));
            CHECK(h.Send(FXN_REQUEST, FXP_RECEIVE | FXP_TRANSFER, &r) == 1);
        }
        CHECK(e->first->image.width == 4);
        CHECK(static_cast<uint32_t *>(e->first->image.pixels)[5] == 0xFF112233u);
        CHECK(CountPaths(e->first) == 3);
        // No size, or another medium: nothing.
        FxRequest r = Current(FXD_OBJECT_IMAGE, FXM_MEMORY, px.data(), Pack(0, 3));
        CHECK(h.Send(FXN_REQUEST, FXP_RECEIVE | FXP_TRANSFER, &r) == 0);
        r = Current(FXD_OBJECT_IMAGE, FXM_TEXT, px.data(), Pack(4, 3));
        CHECK(h.Send(FXN_REQUEST, FXP_RECEIVE | FXP_TRANSFER, &r) == 0);
        CHECK(CountPaths(e->first) == 3);
    }
    SECTION("object data: pictures for the paths, a new path for a third object")
    {
        std::vector<MobraSource> objects(3);
        for (int i = 0; i < 3; ++i) {
            objects[i].box = {1, 30, 0, 0, 100 * i, 50, 2, 2, 0, 0, 0, 0, 0};
            objects[i].name = "object " + std::to_string(i + 1);
            objects[i].pixels.assign(4, 0xFF000000u | uint32_t(i + 1));
        }
        std::vector<uint8_t> rec = MobraWrite(640, 480, 42, objects);
        FxRequest r = Current(FXD_OBJECT_DATA, FXM_WIDE, rec.data(), rec.size());
        CHECK(h.Send(FXN_REQUEST, FXP_RECEIVE | FXP_TRANSFER, &r) == 1);
        REQUIRE(CountPaths(e->first) == 3);
        FxPath *third = e->first->next->next;
        CHECK(static_cast<uint32_t *>(e->first->next->image.pixels)[0] == 0xFF000002u);
        CHECK(std::string(third->name) == "object 3");
        CHECK(e->animationRecord == 42);
        // The record runs to frame 30, past the effect's end.
        CHECK((e->flags & 0x4) != 0);
        // A record cut short is refused whole.
        FxRequest cut = Current(FXD_OBJECT_DATA, FXM_WIDE, rec.data(), rec.size() - 1);
        CHECK(h.Send(FXN_REQUEST, FXP_RECEIVE | FXP_TRANSFER, &cut) == 0);
    }
}

TEST_CASE("Frame exports write realtime descriptions into the host's block", "[hostcodes]")
{
    Loaded l;
    TestHost &h = l.host;
    SECTION("sequence: two fields a frame into the block's memory")
    {
        RtParamBlock block = {};
        FxRequest size = Current(FXD_FRAME_EXPORT, FXM_WIDE, &block, Pack(1, 6));
        CHECK(h.Send(FXN_REQUEST, FXP_SIZE, &size) == 1);
        CHECK(size.second == 10u * RT_SAMPLE_SIZE);
        CHECK(block.formatSize == RT_FORMAT_SIZE);
        std::vector<uint8_t> memory(size.second + 64, 0xEE);
        block.buffer = memory.data();
        block.capacity = uint32_t(size.second);
        FxRequest put = Current(FXD_FRAME_EXPORT, FXM_WIDE, &block, Pack(1, 6));
        CHECK(h.Send(FXN_REQUEST, FXP_TRANSFER, &put) == 1);
        CHECK(block.used > 0);
        CHECK(block.used <= block.capacity);
        CHECK(memory[size.second] == 0xEE);  // nothing past the block
        // A transfer without a block does nothing.
        FxRequest none = Current(FXD_FRAME_EXPORT, FXM_WIDE, nullptr, Pack(1, 6));
        CHECK(h.Send(FXN_REQUEST, FXP_TRANSFER, &none) == 0);
    }
    SECTION("still: the entry list sizes the description")
    {
        RtParamEntry entries[2] = {};
        entries[0].type = 0;
        entries[1].type = 1;
        RtParamBlock block = {};
        block.entryCount = 2;
        block.entries = entries;
        FxRequest size = Current(FXD_FRAME_EXPORT_2, FXM_WIDE, &block, Pack(1, 3));
        CHECK(h.Send(FXN_REQUEST, FXP_SIZE, &size) == 1);
        CHECK(size.second == 4u * (72 + 104));
        std::vector<uint8_t> a(72 * 8), b(104 * 8);
        entries[0].data = a.data();
        entries[1].data = b.data();
        FxRequest put = Current(FXD_FRAME_EXPORT_2, FXM_WIDE, &block, Pack(1, 3));
        CHECK(h.Send(FXN_REQUEST, FXP_TRANSFER, &put) == 1);
    }
}

TEST_CASE("The movie request writes a movie of the effect's frames", "[hostcodes]")
{
    Loaded l;
    TestHost &h = l.host;
    std::vector<uint32_t> px(16 * 16, 0xFFFF0000);
    FxRequest img = Current(FXD_OBJECT_IMAGE, FXM_MEMORY, px.data(), Pack(16, 16));
    REQUIRE(h.Send(FXN_REQUEST, FXP_RECEIVE | FXP_TRANSFER, &img) == 1);
    h.Instance()->frameWidth = 64;
    h.Instance()->frameHeight = 48;
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    const std::string movie = std::string(dir) + "fxhost_codes_" + std::to_string(GetCurrentProcessId()) + ".vexa";
    DeleteFileA(movie.c_str());
    FxRequest r = Current(FXD_MOVIE, FXM_FILE, const_cast<char *>(movie.c_str()), Pack(1, 6));
    REQUIRE(h.Send(FXN_REQUEST, FXP_TRANSFER, &r) == 1);
    const std::string probe = Probe(movie);
    INFO(probe);
    CHECK(probe.find("codec_type=video") != std::string::npos);
    CHECK(probe.find("width=64") != std::string::npos);
    CHECK(probe.find("height=48") != std::string::npos);
    CHECK(probe.find("nb_read_frames=6") != std::string::npos);
    DeleteFileA(movie.c_str());
    // Another medium, or no name: nothing.
    FxRequest text = Current(FXD_MOVIE, FXM_TEXT, const_cast<char *>(movie.c_str()), Pack(1, 6));
    CHECK(h.Send(FXN_REQUEST, FXP_TRANSFER, &text) == 0);
    CHECK(GetFileAttributesA(movie.c_str()) == INVALID_FILE_ATTRIBUTES);
}

TEST_CASE("A frame is rendered in the effect's own space, scaled to the request", "[hostcodes][space]")
{
    TestHost h;
    REQUIRE(h.Attach() == 1);
    // An effect made at 1200 x 900: a 300 x 225 object right of centre.
    const char *script =
        "Header { VirtualRes: width 1200, height 900 }"
        " Path 1: Keyframe 1.1 { at frame 1 Position: x = 300, y = 0, z = 1000."
        " Shape: Width = 300.000 Height = 225.000 }";
    FxRequest set = Current(FXD_EFFECT_TEXT, FXM_TEXT, const_cast<char *>(script));
    REQUIRE(h.Send(FXN_REQUEST, FXP_RECEIVE | FXP_TRANSFER, &set) == 1);
    std::vector<uint32_t> px(8 * 8, 0xFF0000FF);
    FxRequest img = Current(FXD_OBJECT_IMAGE, FXM_MEMORY, px.data(), Pack(8, 8));
    REQUIRE(h.Send(FXN_REQUEST, FXP_RECEIVE | FXP_TRANSFER, &img) == 1);
    FxKeyframe *kf = Effect(h)->first->head;
    SetKeyframeSize(kf, 300, 225);  // the image set gives its own pixel size

    const int w = 320, hgt = 240;
    std::vector<uint32_t> out(size_t(w) * hgt, 0);
    const uint32_t format[10] = {40, 0x90002004, uint32_t(w), uint32_t(hgt), 0, 1, 1, uint32_t(w * 4), 0, 0};
    FxRequest frame = Current(FXD_RENDER_FRAME, FXM_WIDE, out.data(), uintptr_t(format));
    REQUIRE(h.Send(FXN_REQUEST, FXP_TRANSFER, &frame) == 1);
    int left = w, right = -1, top = hgt, bottom = -1;
    for (int y = 0; y < hgt; ++y)
        for (int x = 0; x < w; ++x)
            if ((out[size_t(y) * w + x] & 0xFFFFFF) == 0x0000FF) {
                left = (std::min)(left, x);
                right = (std::max)(right, x);
                top = (std::min)(top, y);
                bottom = (std::max)(bottom, y);
            }
    // 300 x 225 of 1200 x 900 is 80 x 60 of 320 x 240; x = 300 is 80 right.
    INFO("drawn " << left << "," << top << " to " << right << "," << bottom);
    CHECK(right - left + 1 == Approx(80).margin(2));
    CHECK(bottom - top + 1 == Approx(60).margin(2));
    CHECK((left + right + 1) / 2.0 == Approx(240).margin(2));
    CHECK((top + bottom + 1) / 2.0 == Approx(120).margin(2));
}

TEST_CASE("A warp keyframe is written, read and written again byte for byte", "[hostcodes][warp]")
{
    TestHost h(/*name*/ "Cubby Test", /*dll*/ true);
    REQUIRE(h.Attach() == 1);
    const char *script =
        "Path 1: Keyframe 1.1 { at frame 1 Warp: flags 5, mode 3 guid_data1 305419896 guid_data2 4660"
        " guid_data3 22136 guid_data4 16909060 guid_data5 84281096, param1 0.2500, param2 -1.5000 }"
        " Keyframe 1.2 { at frame 9 Warp: flags 0, mode 2 }";
    auto text = [&]() {
        FxRequest size = Current(FXD_EFFECT_TEXT, FXM_WIDE);
        REQUIRE(h.Send(FXN_REQUEST, FXP_SIZE, &size) == 1);
        std::vector<char> out(size.second);
        FxRequest get = Current(FXD_EFFECT_TEXT, FXM_WIDE, out.data(), size.second);
        REQUIRE(h.Send(FXN_REQUEST, FXP_TRANSFER, &get) > 0);
        return std::string(out.data());
    };
    FxRequest set = Current(FXD_EFFECT_TEXT, FXM_TEXT, const_cast<char *>(script));
    REQUIRE(h.Send(FXN_REQUEST, FXP_RECEIVE | FXP_TRANSFER, &set) == 1);
    const std::string first = text();
    CHECK(first.find("Warp: flags 5, mode 3 guid_data1 305419896 guid_data2 4660 guid_data3 22136") !=
          std::string::npos);
    CHECK(first.find("param1 0.2500, param2 -1.5000") != std::string::npos);
    CHECK(first.find("Warp: flags 0, mode 2") != std::string::npos);
    FxRequest again = Current(FXD_EFFECT_TEXT, FXM_TEXT, const_cast<char *>(first.c_str()));
    REQUIRE(h.Send(FXN_REQUEST, FXP_RECEIVE | FXP_TRANSFER, &again) == 1);
    CHECK(text() == first);
}

namespace {

// Drives the UI toolkit's directory dialog from a thread timer inside its
// modal loop: picks the first export type of the filters' list (or none)
// and presses OK or Cancel on the dialog the request opened.  The
// type list is the one the effects library adds to the dialog (1138).
struct SequenceDialog {
    bool accept = true;
    bool pickType = true;
    bool seen = false;
    std::string title;
    std::string folder;
    int types = 0;
};
SequenceDialog *g_sequence;

BOOL CALLBACK FindTypeList(HWND w, LPARAM out)
{
    if (GetDlgCtrlID(w) != 1138) return TRUE;
    *reinterpret_cast<HWND *>(out) = w;
    return FALSE;
}

BOOL CALLBACK FindSequenceFrame(HWND w, LPARAM out)
{
    HWND list = nullptr;
    EnumChildWindows(w, FindTypeList, LPARAM(&list));
    if (!list) return TRUE;
    *reinterpret_cast<HWND *>(out) = w;
    return FALSE;
}

void CALLBACK DriveSequenceDialog(HWND, UINT, UINT_PTR id, DWORD)
{
    HWND frame = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindSequenceFrame, LPARAM(&frame));
    if (!frame || g_sequence->seen) return;
    HWND list = nullptr;
    EnumChildWindows(frame, FindTypeList, LPARAM(&list));
    KillTimer(nullptr, id);
    g_sequence->seen = true;
    char buf[MAX_PATH] = {};
    GetWindowTextA(frame, buf, sizeof buf);
    g_sequence->title = buf;
    buf[0] = 0;
    SendMessageA(frame, CDM_GETFOLDERPATH, sizeof buf, LPARAM(buf));
    g_sequence->folder = buf;
    g_sequence->types = int(SendMessageA(list, CB_GETCOUNT, 0, 0));
    SendMessageA(list, CB_SETCURSEL, g_sequence->pickType ? 0 : WPARAM(-1), 0);
    // OK is the toolkit's button (it goes to the inner dialog); Cancel is
    // the frame's own.
    if (g_sequence->accept)
        PostMessageA(GetParent(list), WM_COMMAND, IDOK, 0);
    else
        PostMessageA(frame, WM_COMMAND, IDCANCEL, 0);
}

std::vector<std::string> FilesIn(const std::string &dir)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE f = FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (f == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(fd.cFileName);
    } while (FindNextFileA(f, &fd));
    FindClose(f);
    std::sort(names.begin(), names.end());
    return names;
}

void EmptyFolder(const std::string &dir)
{
    for (const std::string &n : FilesIn(dir)) DeleteFileA((dir + "\\" + n).c_str());
}

}  // namespace

TEST_CASE("The image-sequence request asks for a directory and writes every frame there", "[hostcodes][sequence]")
{
    Loaded l;
    TestHost &h = l.host;
    std::vector<uint32_t> px(16 * 16, 0xFF00FF00);
    FxRequest img = Current(FXD_OBJECT_IMAGE, FXM_MEMORY, px.data(), Pack(16, 16));
    REQUIRE(h.Send(FXN_REQUEST, FXP_RECEIVE | FXP_TRANSFER, &img) == 1);
    h.Instance()->frameWidth = 64;
    h.Instance()->frameHeight = 48;
    // The dialog opens where it was last left, else in the current folder:
    // the same folder either way.
    char tmp[MAX_PATH];
    GetTempPathA(MAX_PATH, tmp);
    std::string dir = std::string(tmp) + "fxhost_sequence";
    CreateDirectoryA(dir.c_str(), nullptr);
    char full[MAX_PATH];
    GetFullPathNameA(dir.c_str(), MAX_PATH, full, nullptr);
    dir = full;
    EmptyFolder(dir);
    char before[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, before);
    REQUIRE(SetCurrentDirectoryA(dir.c_str()));

    SequenceDialog drive;
    g_sequence = &drive;
    SECTION("OK with a type: one image a frame, read back")
    {
        SetTimer(nullptr, 0, 50, DriveSequenceDialog);
        FxRequest r = Current(FXD_IMAGE_SEQUENCE, FXM_MEMORY);
        CHECK(h.Send(FXN_REQUEST, FXP_SIZE, &r) == 1);
        CHECK(drive.seen);
        CHECK(drive.title == "Select an Image Directory");
        CHECK(drive.types > 0);
        CHECK(drive.folder == dir);
        const std::vector<std::string> files = FilesIn(dir);
        INFO("first file: " << (files.empty() ? std::string("none") : files.front()));
        // Frames 1 to 10, each a picture of the host's frame size.
        REQUIRE(files.size() == 10u);
        CHECK(files.front().rfind("fx000001.", 0) == 0);
        CHECK(files.back().rfind("fx000010.", 0) == 0);
        const std::string probe = Probe(dir + "\\" + files.front());
        INFO(probe);
        CHECK(probe.find("width=64") != std::string::npos);
        CHECK(probe.find("height=48") != std::string::npos);
    }
    SECTION("Cancel, or OK without a type, writes nothing")
    {
        const bool accept = GENERATE(false, true);
        drive.accept = accept;
        drive.pickType = false;
        SetTimer(nullptr, 0, 50, DriveSequenceDialog);
        FxRequest r = Current(FXD_IMAGE_SEQUENCE, FXM_MEMORY);
        CHECK(h.Send(FXN_REQUEST, FXP_SIZE, &r) == 0);
        CHECK(drive.seen);
        CHECK(FilesIn(dir).empty());
    }
    SECTION("only the size query runs the dialog")
    {
        FxRequest r = Current(FXD_IMAGE_SEQUENCE, FXM_MEMORY);
        CHECK(h.Send(FXN_REQUEST, FXP_TRANSFER, &r) == 0);
        CHECK(FilesIn(dir).empty());
    }
    g_sequence = nullptr;
    SetCurrentDirectoryA(before);
    EmptyFolder(dir);
    RemoveDirectoryA(dir.c_str());
}
