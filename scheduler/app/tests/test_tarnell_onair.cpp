/*
 * The unattended run with the real programs: Tarnell.exe is started, starts
 * Corvane.exe with "TARNELL", opens a schedule of three generated clips (red
 * with a cut, green with a left wipe, blue with a dissolve) and its
 * companion title schedule, and runs it from now; the mixer records the
 * programme.  Then the scheduler is closed and the mixer goes with it.
 *
 * Checked: the run log's lines in order, the recording (it plays in the
 * ffmpeg tool, lasts the scheduled 30 s within a second, shows each clip's
 * colour in its window of time, and the title's box over the first clip
 * while the title is on and not after) and that no box waited on anyone.
 * Each wait is bounded; the whole run takes about a minute.
 */
#include <catch2/catch.hpp>

#include <windows.h>
#include <atlbase.h>
#include <atliface.h>
#include <oleauto.h>
#include <tlhelp32.h>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "clock/schedule_clock.h"
#include "media_probe.h"
#include "protocol/remote_protocol.h"
#include "resource.h"
#include "scheduler_test_support.h"
#include "schedule/source_schedule.h"
#include "schedule/title_schedule.h"
#include "screen_shot.h"

namespace {

std::string Folder()
{
    char self[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string f = self;
    return f.substr(0, f.rfind('\\') + 1);
}

std::string Clip(const char *name)
{
    char dir[MAX_PATH] = "";
    GetEnvironmentVariableA("TARNELL_ONAIR_CLIPS", dir, sizeof dir);
    std::string d = dir;
    for (char &c : d)
        if (c == '/')
            c = '\\';
    if (!d.empty() && d[0] == '\\')
        d = "Z:" + d;
    return d + "\\" + name;
}

std::string UnixPath(const std::string &dos)
{
    std::u16string w(dos.begin(), dos.end());
    return probe::UnixPath(reinterpret_cast<const WCHAR *>(w.c_str()));
}

void Pump(DWORD ms)
{
    const DWORD end = GetTickCount() + ms;
    while (static_cast<LONG>(end - GetTickCount()) > 0) {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&m);
        Sleep(20);
    }
}

template <class F> bool WaitFor(F f, DWORD ms)
{
    const DWORD end = GetTickCount() + ms;
    for (;;) {
        if (f())
            return true;
        if (static_cast<LONG>(end - GetTickCount()) <= 0)
            return false;
        Pump(50);
    }
}

int CountProcessesNamed(const char *name)
{
    int n = 0;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 pe = {sizeof pe};
    for (BOOL ok = Process32First(snap, &pe); ok; ok = Process32Next(snap, &pe))
        if (lstrcmpiA(pe.szExeFile, name) == 0)
            ++n;
    CloseHandle(snap);
    return n;
}

void EndProcessesNamed(const char *name)
{
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 pe = {sizeof pe};
    for (BOOL ok = Process32First(snap, &pe); ok; ok = Process32Next(snap, &pe))
        if (lstrcmpiA(pe.szExeFile, name) == 0)
            if (HANDLE p = OpenProcess(PROCESS_TERMINATE, FALSE, pe.th32ProcessID)) {
                TerminateProcess(p, 1);
                CloseHandle(p);
            }
    CloseHandle(snap);
}

/* Message boxes of the other processes: their texts, and whether one is up. */
struct Boxes {
    HWND scheduler = nullptr, mixer = nullptr; /* the main windows */
    std::vector<std::string> seen;
    static BOOL CALLBACK Find(HWND w, LPARAM lp)
    {
        auto *self = reinterpret_cast<Boxes *>(lp);
        char cls[16] = "";
        GetClassNameA(w, cls, sizeof cls);
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        char title[64] = "";
        GetWindowTextA(w, title, sizeof title);
        if (pid != GetCurrentProcessId() && std::string(cls) == "#32770" && IsWindowVisible(w) &&
            w != self->scheduler && w != self->mixer && std::string(title) != "File Open" &&
            std::string(title) != "Loading" /* the schedule readers' progress, no question */) {
            /* The box's text: its longest static text. */
            std::string text;
            for (HWND c = GetWindow(w, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
                char ccls[16] = "", t[256] = "";
                GetClassNameA(c, ccls, sizeof ccls);
                GetWindowTextA(c, t, sizeof t);
                if (lstrcmpiA(ccls, "Static") == 0 && std::string(t).size() > text.size())
                    text = t;
            }
            char caption[128] = "";
            GetWindowTextA(w, caption, sizeof caption);
            self->seen.push_back(std::string(caption) + ": " + text);
        }
        return TRUE;
    }
    std::vector<std::string> Now()
    {
        seen.clear();
        EnumWindows(Find, reinterpret_cast<LPARAM>(this));
        return seen;
    }
};

/* The title's text box on its page of 320 x 240. */
struct TitleBox {
    int x = 0, y = 0, w = 0, h = 0;
};

/* A title file written by the title-box control itself: one text with a
 * white box behind it, whose place and size are read back. */
bool MakeTitle(const std::string &dir, const std::string &lmf, TitleBox *box)
{
    AtlAxWinInit();
    HWND host = CreateWindowExA(0, "AtlAxWin", "Lumicard.LumicardCtrl.1", WS_POPUP, 0, 0, 320, 240, nullptr,
                                nullptr, GetModuleHandleA(nullptr), nullptr);
    IUnknown *unk = nullptr;
    IDispatch *d = nullptr;
    if (!host || AtlAxGetControl(host, &unk) != S_OK || !unk)
        return false;
    unk->QueryInterface(IID_IDispatch, reinterpret_cast<void **>(&d));
    unk->Release();
    if (!d)
        return false;
    const std::string text = dir + "title.txt";
    WriteBytes(text, "TARNELL ON AIR");
    auto call = [&](DISPID id, const std::string &s) {
        std::u16string w(s.begin(), s.end());
        VARIANT arg;
        V_VT(&arg) = VT_BSTR;
        V_BSTR(&arg) = SysAllocString(reinterpret_cast<const OLECHAR *>(w.c_str()));
        DISPPARAMS p = {&arg, nullptr, 1, 0};
        VARIANT r;
        VariantInit(&r);
        d->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &p, &r, nullptr, nullptr);
        VariantClear(&arg);
        VariantClear(&r);
    };
    auto number = [&](DISPID id, VARTYPE vt, long value) {
        VARIANT arg;
        VariantInit(&arg);
        V_VT(&arg) = vt;
        if (vt == VT_I2)
            V_I2(&arg) = static_cast<SHORT>(value);
        else
            V_I4(&arg) = value;
        DISPPARAMS p = {&arg, nullptr, vt == VT_EMPTY ? 0u : 1u, 0};
        VARIANT r;
        VariantInit(&r);
        d->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &p, &r, nullptr, nullptr);
        VARIANT n;
        VariantInit(&n);
        long got = SUCCEEDED(VariantChangeType(&n, &r, 0, VT_I4)) ? V_I4(&n) : -1;
        VariantClear(&r);
        return got;
    };
    call(87, text);                     /* LMOpenDirectlyText: the new text is selected */
    number(22, VT_I2, 1);               /* SetTextBack */
    number(29, VT_I4, 0xFFFFFF);        /* SetTextBackColor */
    box->x = number(77, VT_EMPTY, 0);   /* GetObjPositionX */
    box->y = number(78, VT_EMPTY, 0);   /* GetObjPositionY */
    box->w = number(65, VT_EMPTY, 0);   /* GetObjWidth */
    box->h = number(66, VT_EMPTY, 0);   /* GetObjHeight */
    call(89, lmf);                      /* LMSaveDirectlyLMF */
    d->Release();
    DestroyWindow(host);
    return GetFileAttributesA(lmf.c_str()) != INVALID_FILE_ATTRIBUTES;
}

const char kArchiveKey[] = "Software\\Halvard\\Corvane\\EncodingOption\\WindowsMedia";

struct SavedArchive {
    std::string file;
    DWORD profile = 0;
    bool hadFile = false, hadProfile = false;
};

SavedArchive PointRecording(const std::string &file)
{
    SavedArchive s;
    HKEY k;
    RegCreateKeyExA(HKEY_CURRENT_USER, kArchiveKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr);
    char buf[MAX_PATH] = "";
    DWORD n = sizeof buf, type = 0;
    s.hadFile = RegQueryValueExA(k, "ArchivingFileName", nullptr, &type, reinterpret_cast<BYTE *>(buf), &n) == 0;
    s.file = buf;
    n = sizeof s.profile;
    s.hadProfile = RegQueryValueExA(k, "WM8ProfileIndex", nullptr, &type, reinterpret_cast<BYTE *>(&s.profile), &n) == 0;
    RegSetValueExA(k, "ArchivingFileName", 0, REG_SZ, reinterpret_cast<const BYTE *>(file.c_str()),
                   static_cast<DWORD>(file.size() + 1));
    DWORD profile = 9;
    RegSetValueExA(k, "WM8ProfileIndex", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&profile), sizeof profile);
    RegCloseKey(k);
    return s;
}

void RestoreRecording(const SavedArchive &s)
{
    HKEY k;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kArchiveKey, 0, KEY_ALL_ACCESS, &k))
        return;
    if (s.hadFile)
        RegSetValueExA(k, "ArchivingFileName", 0, REG_SZ, reinterpret_cast<const BYTE *>(s.file.c_str()),
                       static_cast<DWORD>(s.file.size() + 1));
    else
        RegDeleteValueA(k, "ArchivingFileName");
    if (s.hadProfile)
        RegSetValueExA(k, "WM8ProfileIndex", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&s.profile),
                       sizeof s.profile);
    else
        RegDeleteValueA(k, "WM8ProfileIndex");
    RegCloseKey(k);
}

/* Lines of the run log's file, without date and number. */
std::vector<std::string> LogTexts(const std::string &path)
{
    std::vector<std::string> out;
    const std::string bytes = ReadBytes(path);
    size_t at = 0;
    while (at < bytes.size()) {
        size_t e = bytes.find('\n', at);
        if (e == std::string::npos)
            e = bytes.size();
        std::string line = bytes.substr(at, e - at);
        at = e + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t c1 = line.find(','), c2 = c1 == std::string::npos ? c1 : line.find(',', c1 + 1);
        if (c2 != std::string::npos)
            out.push_back(line.substr(c2 + 1));
    }
    return out;
}

/* Index of the first line at or after 'from' that holds 'part', or -1. */
int FindFrom(const std::vector<std::string> &lines, size_t from, const std::string &part)
{
    for (size_t i = from; i < lines.size(); ++i)
        if (Contains(lines[i], part))
            return static_cast<int>(i);
    return -1;
}

} // namespace

TEST_CASE("Tarnell runs a schedule on Corvane unattended and the programme is recorded", "[onair][program]")
{
    OleInitialize(nullptr);
    /* No other scheduler or mixer (an earlier test's may still be ending). */
    REQUIRE(WaitFor([] { return CountProcessesNamed("Tarnell.exe") == 0 && CountProcessesNamed("Corvane.exe") == 0; },
                    30000));
    const std::string dir = TestFolder("tarnell_onair");
    const std::string show = dir + "programme.wmv";
    DeleteFileA(show.c_str());
    const std::string autoLog = "C:\\autolog.txt";
    DeleteFileA(autoLog.c_str());

    /* The schedule: three clips of 10 s, cut, left wipe, dissolve; one title. */
    const std::string day = "2030/01/01";
    TitleBox title;
    {
        RecordingPrompt p;
        SourceSchedule s(p);
        const char *clips[] = {"red.avi", "green.avi", "blue.avi"};
        const char *transitions[] = {"Cut", "LeftWipe", "Dissolve"};
        for (int i = 0; i < 3; ++i) {
            char num[8], ch[4];
            snprintf(num, sizeof num, "%04d", i + 1);
            snprintf(ch, sizeof ch, "%d", i + 1);
            const std::string clip = Clip(clips[i]);
            REQUIRE(s.AddItemFromFields({day, num, ScheduleClock::SecondsToText(36000 + 10 * i), "00:00:10",
                                         "00:00:00", "IN FILE", clips[i], clip, clip, transitions[i], "1.0", ch,
                                         "0"}));
        }
        REQUIRE(s.SaveScheduleFile(dir + "show.dsf"));
        TitleSchedule t(p);
        REQUIRE(MakeTitle(dir, dir + "caption.lmf", &title));
        INFO("title box " << title.x << "," << title.y << " " << title.w << " x " << title.h);
        REQUIRE(title.x >= 0);
        REQUIRE(title.y >= 0);
        REQUIRE(title.w >= 40);
        REQUIRE(title.h >= 40);
        REQUIRE(title.x + title.w <= 320);
        REQUIRE(title.y + title.h <= 240);
        REQUIRE(t.AddItemFromFields({day, "0001", "10:00:00", "00:00:06", "IN CG", "caption", dir + "caption.lmf"}));
        REQUIRE(t.SaveScheduleFile(dir + "show.csf"));
    }
    const SavedArchive saved = PointRecording(show);

    /* Tarnell starts and starts the mixer. */
    std::string cmd = "\"" + Folder() + "Tarnell.exe\"";
    STARTUPINFOA si = {sizeof si};
    PROCESS_INFORMATION pi = {};
    REQUIRE(CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, Folder().c_str(), &si, &pi));
    HWND tarnell = nullptr, corvane = nullptr;
    CHECK(WaitFor([&] { return (tarnell = FindWindowA(nullptr, remote::kSchedulerWindowTitle)) != nullptr; }, 60000));
    CHECK(WaitFor([&] { return (corvane = FindWindowA(nullptr, remote::kMixerWindowTitle)) != nullptr; }, 60000));
    Boxes boxes;
    boxes.scheduler = tarnell;
    boxes.mixer = corvane;
    std::vector<std::string> allBoxes;
    if (tarnell && corvane) {
        /* Project > Open: the file dialog is answered like an operator would. */
        PostMessageA(tarnell, WM_COMMAND, ID_OPEN_SOURCE, 0);
        HWND open = nullptr;
        CHECK(WaitFor([&] { return (open = FindWindowA("#32770", "File Open")) != nullptr; }, 20000));
        if (open) {
            Pump(300);
            /* The file name box: the combo box of the newer dialog, the
             * edit box of the older one. */
            const std::string name = dir + "show.dsf";
            if (GetDlgItem(open, 0x47C))
                SetDlgItemTextA(open, 0x47C, name.c_str());
            if (GetDlgItem(open, 0x480))
                SetDlgItemTextA(open, 0x480, name.c_str());
            PostMessageA(open, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(open, IDOK)));
            CHECK(WaitFor([&] { return !IsWindow(open); }, 20000));
        }
        Pump(500);
        /* "On": the schedule runs from now (its first item in 8 s). */
        PostMessageA(tarnell, WM_COMMAND, IDC_ON_NOW, 0);
        /* 8 s lead + 30 s programme, then the end notice, which goes by
         * itself. */
        auto seen = [&] {
            for (const std::string &b : boxes.Now())
                if (std::find(allBoxes.begin(), allBoxes.end(), b) == allBoxes.end())
                    allBoxes.push_back(b);
        };
        auto endNoticeUp = [&] {
            for (const std::string &b : boxes.Now())
                if (Contains(b, "Successfully Scheduled."))
                    return true;
            return false;
        };
        CHECK(WaitFor([&] {
            seen();
            return endNoticeUp();
        }, 90000));
        CHECK(WaitFor([&] {
            seen();
            return !endNoticeUp();
        }, 20000));
        /* The operator closes the scheduler; the mixer follows. */
        PostMessageA(tarnell, WM_CLOSE, 0, 0);
    }
    CHECK(WaitFor([] { return CountProcessesNamed("Tarnell.exe") == 0; }, 30000));
    CHECK(WaitFor([] { return CountProcessesNamed("Corvane.exe") == 0; }, 30000));
    /* Whatever this run started and did not end is ended here. */
    for (const char *name : {"Tarnell.exe", "Corvane.exe"})
        EndProcessesNamed(name);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    RestoreRecording(saved);

    /* Nothing waited on an operator but the end notice, which closes itself. */
    for (const std::string &b : allBoxes) {
        INFO(b);
        CHECK(Contains(b, "Successfully Scheduled."));
    }

    /* The run log, in order. */
    const std::vector<std::string> log = LogTexts(autoLog);
    std::string whole;
    for (const std::string &l : log)
        whole += l + "\n";
    INFO(whole);
    CHECK(FindFrom(log, 0, "ON Corvane") >= 0);
    /* The end: the schedule's end line and the mixer's last answers. */
    const int last = FindFrom(log, 0, "PLAY AS 0003 : Ch03");
    CHECK(last >= 0);
    for (const char *e : {"Schedulling The end", "Stop ENCODING", "OFF Corvane"}) {
        INFO(e);
        CHECK(FindFrom(log, last < 0 ? 0 : static_cast<size_t>(last), e) > last);
    }
    const char *const expected[] = {
        "AS 0001 : Ch01 : Picture tuning",
        "PLAY AS 0001 : Ch01",
        "Start ENCODING",
        "AS 0002 : Ch02 : Picture tuning",
        "SELECT AS 0002 : Ch02",
        "Effect Type 01",
        "PLAY AS 0002 : Ch02",
        "AS 0003 : Ch03 : Picture tuning",
        "SELECT AS 0003 : Ch03",
        "Effect Type 19",
        "PLAY AS 0003 : Ch03",
    };
    size_t at = 0;
    for (const char *e : expected) {
        INFO("expected next: " << e);
        const int found = FindFrom(log, at, e);
        CHECK(found >= 0);
        if (found >= 0)
            at = static_cast<size_t>(found) + 1;
    }
    CHECK(FindFrom(log, 0, "Title 0001 : Title On") >= 0);
    CHECK(FindFrom(log, 0, "FAIL") < 0);

    /* The recording. */
    const std::string unixShow = UnixPath(show);
    const probe::Info info = probe::Probe(unixShow);
    REQUIRE(info.Count("video") == 1);
    const double length = info.Duration();
    CHECK(length == Approx(30.0).margin(1.0));
    const int w = atoi(info.Get("video", "width").c_str()), h = atoi(info.Get("video", "height").c_str());
    REQUIRE(w > 0);
    REQUIRE(h > 0);
    struct Window {
        double at;
        unsigned colour;
    };
    /* Pictures of the programme for the artefacts folder. */
    char art[MAX_PATH] = "";
    if (GetEnvironmentVariableA("CORV_ARTEFACTS", art, sizeof art))
        for (int t : {3, 9, 15, 25})
            probe::Run("ffmpeg -v error -y -ss " + Num(t) + " -i " + probe::Quote(unixShow) + " -frames:v 1 " +
                       probe::Quote(std::string(art) + "/tarnell_programme_" + Num(t) + "s.png"));
    /* Each clip in the middle of its 10 s (clear of the transitions). */
    for (const Window &win : {Window{5.0, 0xFF0000u}, Window{15.0, 0x008000u}, Window{25.0, 0x0000FFu}}) {
        INFO("at " << win.at << " s");
        const std::vector<unsigned char> pic = probe::FrameAt(unixShow, win.at, w, h);
        REQUIRE(!pic.empty());
        int rgb[3];
        probe::MeanColour(pic, w, w / 8, h * 3 / 4, w / 4, h / 8, rgb);
        INFO(rgb[0] << "," << rgb[1] << "," << rgb[2]);
        CHECK(probe::Near(rgb, win.colour, 60));
    }
    /* The title: on with the first clip for its 6 s, its white box (half
     * see-through) over the red below the text line; off again before the
     * wipe to green.  The box is placed on a page of the working size. */
    const int bx = (title.x + title.w / 4) * w / 320, by = (title.y + title.h * 3 / 5) * h / 240;
    const int bw = std::max(1, title.w / 2 * w / 320), bh = std::max(1, title.h / 4 * h / 240);
    for (double at : {3.0, 8.0}) {
        const bool on = at < 6.0;
        INFO("title box at " << at << " s");
        const std::vector<unsigned char> pic = probe::FrameAt(unixShow, at, w, h);
        REQUIRE(!pic.empty());
        int rgb[3];
        probe::MeanColour(pic, w, bx, by, bw, bh, rgb);
        INFO(rgb[0] << "," << rgb[1] << "," << rgb[2]);
        if (on) {
            /* White over red, at any opacity the box may have: red stays,
             * green and blue rise together. */
            CHECK(rgb[0] > 200);
            CHECK(rgb[1] > 80);
            CHECK(rgb[2] > 80);
            CHECK(std::abs(rgb[1] - rgb[2]) < 40);
        } else {
            CHECK(probe::Near(rgb, 0xFF0000u, 60));
        }
    }
}

namespace {

/* The mixer's programme window (its control 1020) as the screen shows it. */
ScreenShot Programme(HWND corvane)
{
    HWND programme = GetDlgItem(corvane, 1020);
    SetWindowPos(corvane, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return ScreenShot::Window(programme);
}

/* The programme's middle, low down (clear of the title area). */
unsigned ProgrammeColour(HWND corvane)
{
    const ScreenShot s = Programme(corvane);
    return s.At(s.w / 2, s.h * 3 / 4);
}

/* Colour bars: grey at the left, then yellow and cyan in the upper part. */
bool ShowsColourBars(const ScreenShot &s)
{
    const int y = s.h / 3;
    return s.w > 0 && ScreenShot::Near(s.At(s.w / 14, y), 0xC0C0C0, 40) &&
           ScreenShot::Near(s.At(s.w * 3 / 14, y), 0xC0C000, 40) &&
           ScreenShot::Near(s.At(s.w * 5 / 14, y), 0x00C0C0, 40);
}

/* A real left click on the middle of a control of another process's window. */
void ClickOn(HWND top, HWND control)
{
    SetWindowPos(top, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(top);
    Pump(300);
    RECT r = {};
    GetWindowRect(control, &r);
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_MOUSE;
    in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, in, sizeof(INPUT));
    Pump(300);
}

} // namespace

TEST_CASE("Hold puts the colour bars on the programme and the schedule goes on after it", "[onair][hold][program]")
{
    OleInitialize(nullptr);
    REQUIRE(WaitFor([] { return CountProcessesNamed("Tarnell.exe") == 0 && CountProcessesNamed("Corvane.exe") == 0; },
                    30000));
    const std::string dir = TestFolder("tarnell_hold");
    const std::string show = dir + "hold.wmv";
    DeleteFileA(show.c_str());
    {
        RecordingPrompt p;
        SourceSchedule s(p);
        const char *clips[] = {"red.avi", "green.avi"};
        for (int i = 0; i < 2; ++i) {
            char num[8], ch[4];
            snprintf(num, sizeof num, "%04d", i + 1);
            snprintf(ch, sizeof ch, "%d", i + 1);
            const std::string clip = Clip(clips[i]);
            REQUIRE(s.AddItemFromFields({"2030/01/01", num, ScheduleClock::SecondsToText(36000 + 10 * i), "00:00:10",
                                         "00:00:00", "IN FILE", clips[i], clip, clip, "Cut", "1.0", ch, "0"}));
        }
        REQUIRE(s.SaveScheduleFile(dir + "hold.dsf"));
        DeleteFileA((dir + "hold.csf").c_str());
    }
    const SavedArchive saved = PointRecording(show);

    std::string cmd = "\"" + Folder() + "Tarnell.exe\"";
    STARTUPINFOA si = {sizeof si};
    PROCESS_INFORMATION pi = {};
    REQUIRE(CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, Folder().c_str(), &si, &pi));
    HWND tarnell = nullptr, corvane = nullptr;
    CHECK(WaitFor([&] { return (tarnell = FindWindowA(nullptr, remote::kSchedulerWindowTitle)) != nullptr; }, 60000));
    CHECK(WaitFor([&] { return (corvane = FindWindowA(nullptr, remote::kMixerWindowTitle)) != nullptr; }, 60000));
    Boxes boxes;
    boxes.scheduler = tarnell;
    boxes.mixer = corvane;
    std::vector<std::string> allBoxes;
    auto seen = [&] {
        for (const std::string &b : boxes.Now())
            if (std::find(allBoxes.begin(), allBoxes.end(), b) == allBoxes.end())
                allBoxes.push_back(b);
    };
    if (tarnell && corvane) {
        PostMessageA(tarnell, WM_COMMAND, ID_OPEN_SOURCE, 0);
        HWND open = nullptr;
        CHECK(WaitFor([&] { return (open = FindWindowA("#32770", "File Open")) != nullptr; }, 20000));
        if (open) {
            Pump(300);
            const std::string name = dir + "hold.dsf";
            if (GetDlgItem(open, 0x47C))
                SetDlgItemTextA(open, 0x47C, name.c_str());
            if (GetDlgItem(open, 0x480))
                SetDlgItemTextA(open, 0x480, name.c_str());
            PostMessageA(open, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(open, IDOK)));
            CHECK(WaitFor([&] { return !IsWindow(open); }, 20000));
        }
        Pump(500);
        ClickOn(tarnell, GetDlgItem(tarnell, IDC_ON_NOW));
        /* The first item (red) on air, then Hold clicked well before the
         * next item's lead-in. */
        CHECK(WaitFor([&] {
            seen();
            return ScreenShot::Near(ProgrammeColour(corvane), 0xFF0000, 60);
        }, 40000));
        ClickOn(tarnell, GetDlgItem(tarnell, IDC_HOLD));
        bool bars = WaitFor([&] {
            seen();
            return ShowsColourBars(Programme(corvane));
        }, 15000);
        const ScreenShot held = Programme(corvane);
        held.Save("tarnell_hold_programme.bmp");
        INFO("programme during the hold at (w/14, h/3): " << std::hex << held.At(held.w / 14, held.h / 3));
        CHECK(bars);
        /* It stays on the bars while held. */
        Pump(3000);
        CHECK(ShowsColourBars(Programme(corvane)));
        /* Back on air: the held item, then the next one after its remaining time. */
        ClickOn(tarnell, GetDlgItem(tarnell, IDC_HOLD));
        CHECK(WaitFor([&] {
            seen();
            return ScreenShot::Near(ProgrammeColour(corvane), 0xFF0000, 60);
        }, 15000));
        const bool green = WaitFor([&] {
            seen();
            return ScreenShot::Near(ProgrammeColour(corvane), 0x008000, 60);
        }, 30000);
        Programme(corvane).Save("tarnell_after_hold_programme.bmp");
        CHECK(green);
        CHECK(WaitFor([&] {
            seen();
            for (const std::string &b : boxes.Now())
                if (Contains(b, "Successfully Scheduled."))
                    return true;
            return false;
        }, 40000));
        PostMessageA(tarnell, WM_CLOSE, 0, 0);
    }
    CHECK(WaitFor([] { return CountProcessesNamed("Tarnell.exe") == 0; }, 30000));
    CHECK(WaitFor([] { return CountProcessesNamed("Corvane.exe") == 0; }, 30000));
    for (const char *name : {"Tarnell.exe", "Corvane.exe"})
        EndProcessesNamed(name);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    RestoreRecording(saved);
    for (const std::string &b : allBoxes) {
        INFO(b);
        CHECK(Contains(b, "Successfully Scheduled."));
    }
}
