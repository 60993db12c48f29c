/*
 * The scheduler window's lists as the screen shows them: every row state's
 * colours in the source and title lists, "ERROR" and missing paths in red,
 * the selected row's highlight after a real click, the coloured header, and
 * the run log's SUCCESS and FAIL lines; the columns' widths after loading.
 * Screenshots go to the artefacts folder.
 */
#include <catch2/catch.hpp>

#include <windows.h>
#include <commctrl.h>
#include <string>
#include <utility>
#include <vector>

#include "clock/schedule_clock.h"
#include "resource.h"
#include "scheduler_test_support.h"
#include "scheduler_window.h"
#include "screen_shot.h"

namespace {

void Pump(DWORD ms = 100)
{
    PumpUntil([] { return false; }, ms);
}

/* A COLORREF (0x00BBGGRR) as the screenshot holds it (0x00RRGGBB). */
unsigned Rgb(COLORREF c)
{
    return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

/* Where a cell lies on the screen. */
RECT CellOnScreen(HWND list, int row, int column)
{
    RECT r = {};
    r.top = column;
    r.left = LVIR_BOUNDS;
    SendMessageA(list, LVM_GETSUBITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&r));
    MapWindowPoints(list, nullptr, reinterpret_cast<POINT *>(&r), 2);
    return r;
}

/* Pixels of a screen rectangle near a colour (0x00RRGGBB). */
int CountNear(const RECT &r, unsigned rgb, int tol = 40)
{
    const ScreenShot s = ScreenShot::Take(r.left, r.top, r.right - r.left, r.bottom - r.top);
    int n = 0;
    for (unsigned p : s.px)
        if (ScreenShot::Near(p, rgb, tol))
            ++n;
    return n;
}

/* The pixel a few points in from a cell's right edge, half way down: past
 * any centred text of a wide cell. */
unsigned CellBackground(HWND list, int row, int column)
{
    const RECT r = CellOnScreen(list, row, column);
    return ScreenShot::Take(r.right - 4, (r.top + r.bottom) / 2, 1, 1).At(0, 0);
}

void ClickAt(int x, int y)
{
    SetCursorPos(x, y);
    INPUT click[2] = {};
    click[0].type = click[1].type = INPUT_MOUSE;
    click[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    click[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, click, sizeof(INPUT));
}

std::string Today()
{
    SYSTEMTIME st;
    GetLocalTime(&st);
    return ScheduleClock::FormatDate(st.wYear, st.wMonth, st.wDay);
}

/* 'n' network items of a minute each from 01:00:00, then one file item
 * whose clip is missing. */
std::string WriteSources(RecordingPrompt &prompt, const std::string &path, int n)
{
    SourceSchedule s(prompt);
    for (int i = 1; i <= n + 1; ++i) {
        char num[8], ch[4];
        snprintf(num, sizeof num, "%04d", i);
        snprintf(ch, sizeof ch, "%d", (i - 1) % 5 + 1);
        const bool file = i == n + 1;
        const std::string v = file ? "C:\\nowhere\\gone.avi" : "http://host/clip" + Num(i) + ".wmv";
        REQUIRE(s.AddItemFromFields({Today(), num, ScheduleClock::SecondsToText(3600 + 60 * (i - 1)), "00:01:00",
                                     "00:00:00", file ? "IN FILE" : "IN URL", "item " + Num(i), v, v, "Cut", "1.0",
                                     ch, file ? "0" : "2"}));
    }
    REQUIRE(s.SaveScheduleFile(path));
    return path;
}

struct Window {
    RecordingPrompt prompt;
    SchedulerMainWindow win;
    HWND w = nullptr;
    explicit Window(const std::string &log) : win(&prompt, log)
    {
        win.connectAtStart = false;
        win.deviceEnumerator = [](bool, int, std::string &) { return false; };
    }
    void Open()
    {
        REQUIRE(win.Create());
        w = win.m_hWnd;
        win.ShowWindow(SW_SHOW);
        SetWindowPos(w, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        SetForegroundWindow(w);
        Pump();
    }
    ~Window()
    {
        if (w && IsWindow(w)) {
            prompt.answers = {false, false};
            SendMessageA(w, WM_CLOSE, 0, 0);
            Pump();
        }
    }
    void Repaint()
    {
        RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        Pump(300);
    }
};

} // namespace

TEST_CASE("the lists draw their rows' states, the header and the run log in colour", "[lists]")
{
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    const std::string folder = TestFolder("tarnell_lists");
    Window t(folder + "autolog.txt");
    t.Open();
    REQUIRE(t.win.OpenSourceSchedule(WriteSources(t.prompt, folder + "states.dsf", 5)));
    HWND list = GetDlgItem(t.w, IDC_SOURCE_LIST);
    REQUIRE(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0) == 6);
    /* The states a run gives its rows; row 4 waits, row 5's clip is missing. */
    const int states[] = {kStateLoad, kStateReady, kStateOnAir, kStateDone};
    for (int i = 0; i < 4; ++i)
        t.win.Sources().SetItemState(static_cast<size_t>(i), states[i]);
    t.win.RefreshSourceList();
    CHECK(t.win.Sources().Item(5).missing);

    /* Titles: waiting, waiting with a missing file, ready, on air, done. */
    const char *const titleStates[] = {"IN CG", "IN CG", "READY", "ON AIR", "DONE"};
    const std::string lmf = folder + "t.lmf";
    WriteBytes(lmf, "x");
    for (int i = 0; i < 5; ++i) {
        char num[8];
        snprintf(num, sizeof num, "%04d", i + 1);
        REQUIRE(t.win.Titles().AddItemFromFields({Today(), num, ScheduleClock::SecondsToText(3600 + 60 * i),
                                                  "00:00:30", titleStates[i], "title " + Num(i + 1),
                                                  i == 1 ? folder + "gone.lmf" : lmf}));
    }
    t.win.RefreshTitleList();
    EnableWindow(GetDlgItem(t.w, IDC_TITLE_LIST), TRUE);
    HWND titles = GetDlgItem(t.w, IDC_TITLE_LIST);

    /* The run log: a success in orange, a failure in yellow. */
    t.win.Log().Add("Stop ENCODING", "SUCCESS");
    t.win.Log().Add("AS 0002 : load refused", "FAIL");
    t.win.RefreshLog();
    HWND log = GetDlgItem(t.w, IDC_LOG_LIST);
    REQUIRE(SendMessageA(log, LVM_GETITEMCOUNT, 0, 0) == 2);

    t.Repaint();
    ScreenShot::Window(t.w).Save("tarnell_list_states.bmp");

    /* Row backgrounds by state (a cell's blank right-hand part). */
    CHECK(ScreenShot::Near(CellBackground(list, 0, 6), Rgb(0x141414), 8)); /* loading: dark */
    CHECK(ScreenShot::Near(CellBackground(list, 1, 6), Rgb(0xAFFFAF), 8));
    CHECK(ScreenShot::Near(CellBackground(list, 2, 6), Rgb(0xFFAFFF), 8));
    CHECK(ScreenShot::Near(CellBackground(list, 3, 6), Rgb(0xAFFFFF), 8));
    CHECK(ScreenShot::Near(CellBackground(list, 4, 6), Rgb(0x141414), 8));
    /* Texts: loading in 0xFF7D00, the state words in their own colours. */
    CHECK(CountNear(CellOnScreen(list, 0, 6), Rgb(0xFF7D00)) > 0);
    CHECK(CountNear(CellOnScreen(list, 1, 5), Rgb(0x009600)) > 0);
    CHECK(CountNear(CellOnScreen(list, 2, 5), Rgb(0x000096)) > 0);
    CHECK(CountNear(CellOnScreen(list, 3, 5), Rgb(0x009696)) > 0);
    CHECK(CountNear(CellOnScreen(list, 4, 5), Rgb(0xFF7DAF)) > 0); /* "IN URL" */
    CHECK(CountNear(CellOnScreen(list, 4, 6), Rgb(0xDCDCDC)) > 0);
    /* The missing clip's paths in red, its subject not. */
    CHECK(CountNear(CellOnScreen(list, 5, 7), Rgb(0x0000FF)) > 0);
    CHECK(CountNear(CellOnScreen(list, 5, 8), Rgb(0x0000FF)) > 0);
    CHECK(CountNear(CellOnScreen(list, 5, 6), Rgb(0x0000FF)) == 0);

    /* The header: its fill, outline and light text. */
    HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
    RECT hr = {};
    SendMessageA(header, HDM_GETITEMRECT, 6, reinterpret_cast<LPARAM>(&hr));
    MapWindowPoints(header, nullptr, reinterpret_cast<POINT *>(&hr), 2);
    CHECK(ScreenShot::Near(ScreenShot::Take(hr.right - 4, (hr.top + hr.bottom) / 2, 1, 1).At(0, 0),
                           Rgb(kHeaderFill), 8));
    CHECK(CountNear(hr, Rgb(kHeaderText)) > 0);
    CHECK(CountNear(hr, Rgb(kHeaderBorder), 8) > 0);
    CHECK(t.win.List(IDC_SOURCE_LIST).Header().ItemsDrawn() > 0);

    /* Titles by state. */
    CHECK(CountNear(CellOnScreen(titles, 0, 4), Rgb(0xFF7DAF)) > 0); /* "IN CG" */
    CHECK(CountNear(CellOnScreen(titles, 1, 6), Rgb(0x0000FF)) > 0); /* the missing file */
    CHECK(ScreenShot::Near(CellBackground(titles, 2, 5), Rgb(0xAFFFAF), 8));
    CHECK(CountNear(CellOnScreen(titles, 2, 4), Rgb(0x009600)) > 0);
    CHECK(ScreenShot::Near(CellBackground(titles, 3, 5), Rgb(0xFFAFFF), 8));
    CHECK(ScreenShot::Near(CellBackground(titles, 4, 5), Rgb(0xAFFFFF), 8));
    CHECK(CountNear(CellOnScreen(titles, 4, 4), Rgb(0x009696)) > 0);

    /* The run log: "Stop ENCODING" orange with "SUCCESS" sky blue; the FAIL
     * line's text yellow and "FAIL" orange, on dark grey. */
    CHECK(CountNear(CellOnScreen(log, 0, 2), Rgb(RGB(255, 175, 0))) > 0);
    CHECK(CountNear(CellOnScreen(log, 0, 3), Rgb(RGB(0, 175, 255))) > 0);
    CHECK(CountNear(CellOnScreen(log, 1, 2), Rgb(RGB(255, 255, 0))) > 0);
    CHECK(CountNear(CellOnScreen(log, 1, 1), Rgb(RGB(255, 255, 0))) > 0);
    CHECK(CountNear(CellOnScreen(log, 1, 3), Rgb(RGB(255, 175, 0))) > 0);
    CHECK(CountNear(CellOnScreen(log, 1, 3), Rgb(RGB(255, 255, 0)), 20) == 0);
    CHECK(ScreenShot::Near(CellBackground(log, 1, 2), Rgb(RGB(20, 20, 20)), 8));

    /* A real click selects the ready row: it is drawn 0xC800FF on dark grey,
     * never in the system's highlight. */
    const RECT ready = CellOnScreen(list, 1, 6);
    ClickAt(ready.left + 5, (ready.top + ready.bottom) / 2);
    PumpUntil([&] { return SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED) == 1; },
              5000);
    REQUIRE(SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED) == 1);
    t.Repaint();
    ScreenShot::Window(t.w).Save("tarnell_list_selected.bmp");
    CHECK(ScreenShot::Near(CellBackground(list, 1, 6), Rgb(0x141414), 8));
    CHECK(CountNear(CellOnScreen(list, 1, 6), Rgb(0xC800FF)) > 0);
    CHECK(CountNear(CellOnScreen(list, 1, 6), Rgb(GetSysColor(COLOR_HIGHLIGHT)), 4) == 0);
}

TEST_CASE("loading sets the last columns' widths by the line count; clearing widens them back", "[lists]")
{
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    const std::string folder = TestFolder("tarnell_lists");
    Window t(folder + "autolog2.txt");
    t.Open();
    HWND list = GetDlgItem(t.w, IDC_SOURCE_LIST), titles = GetDlgItem(t.w, IDC_TITLE_LIST);
    auto width = [](HWND l, int c) { return static_cast<int>(SendMessageA(l, LVM_GETCOLUMNWIDTH, c, 0)); };

    /* 13 lines (12 items and the missing clip) bring the scroll bar. */
    REQUIRE(t.win.OpenSourceSchedule(WriteSources(t.prompt, folder + "long.dsf", 12)));
    CHECK(width(list, 11) == 51);
    /* 12 lines leave room for it. */
    REQUIRE(t.win.OpenSourceSchedule(WriteSources(t.prompt, folder + "short.dsf", 11)));
    CHECK(width(list, 11) == 67);
    REQUIRE(t.win.OpenSourceSchedule(folder + "long.dsf"));
    CHECK(width(list, 11) == 51);

    /* The run log's "State" column: 100 below 11 lines, 84 from 11 on, set
     * as the mixer's replies come in. */
    HWND log = GetDlgItem(t.w, IDC_LOG_LIST);
    SendMessageA(t.w, remote::kMixerRemoteMessage, remote::RC_MIXER_OFF_DONE, 0);
    CHECK(width(log, 3) == 100);
    while (t.win.Log().Count() < 11)
        t.win.Log().Add("line", "SUCCESS");
    SendMessageA(t.w, remote::kMixerRemoteMessage, remote::RC_MIXER_OFF_DONE, 0);
    CHECK(width(log, 3) == 84);

    t.prompt.answers = {true};
    SendMessageA(t.w, WM_COMMAND, ID_NEW_SOURCE, 0);
    Pump();
    CHECK(t.win.Sources().Empty());
    CHECK(width(list, 11) == 67);

    /* The title schedule's "Title Source" column: 102 from 13 lines, else 118. */
    TitleSchedule ts(t.prompt);
    for (int i = 1; i <= 13; ++i) {
        char num[8];
        snprintf(num, sizeof num, "%04d", i);
        REQUIRE(ts.AddItemFromFields({Today(), num, ScheduleClock::SecondsToText(60 * i), "00:00:30", "IN CG",
                                      "t" + Num(i), "C:\\t\\t" + Num(i) + ".lmf"}));
    }
    REQUIRE(ts.SaveScheduleFile(folder + "titles.tsf"));
    t.win.choosePath = [&](ScheduleDialog) { return folder + "titles.tsf"; };
    SendMessageA(t.w, WM_COMMAND, ID_OPEN_TITLE, 0);
    Pump();
    REQUIRE(t.win.Titles().Count() == 13u);
    CHECK(width(titles, 6) == 102);
    t.prompt.answers = {true};
    SendMessageA(t.w, WM_COMMAND, ID_NEW_TITLE, 0);
    Pump();
    CHECK(t.win.Titles().Empty());
    CHECK(width(titles, 6) == 118);
    t.win.choosePath = nullptr;
}

#include <ole2.h>
#include <shlobj.h>

#include "skinned_controls.h"

namespace {

std::string Media(const char *name)
{
    char dir[MAX_PATH] = "";
    GetEnvironmentVariableA("TARNELL_MEDIA", dir, sizeof dir);
    std::string d = dir;
    for (char &c : d)
        if (c == '/')
            c = '\\';
    return (d.size() > 1 && d[1] == ':' ? d : "Z:" + d) + "\\" + name;
}

/* A shell shortcut at 'lnk' to 'target'. */
bool MakeShortcut(const std::string &lnk, const std::string &target)
{
    IShellLinkA *link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void **>(&link))))
        return false;
    link->SetPath(target.c_str());
    IPersistFile *file = nullptr;
    bool saved = false;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void **>(&file)))) {
        WCHAR wide[MAX_PATH] = {};
        MultiByteToWideChar(CP_ACP, 0, lnk.c_str(), -1, wide, MAX_PATH);
        saved = SUCCEEDED(file->Save(wide, TRUE));
        file->Release();
    }
    link->Release();
    return saved;
}

/* Drops 'paths' on 'target' from drop_sender.exe, a process of its own:
 * true when it posted the drop (its event set, or its exit code 0).  A
 * sender still running after that is ended. */
bool DropFromAnotherProcess(HWND target, const std::vector<std::string> &paths)
{
    const std::string eventName = "TarnellDropSent" + Num(GetCurrentProcessId());
    HANDLE sent = CreateEventA(nullptr, TRUE, FALSE, eventName.c_str());
    std::string cmd = "\"" + ProgramFolder() + "drop_sender.exe\" " + eventName + " " +
                      Num(reinterpret_cast<UINT_PTR>(target)) + " 20 20";
    for (const std::string &p : paths)
        cmd += " \"" + p + "\"";
    STARTUPINFOA si = {sizeof si};
    PROCESS_INFORMATION pi = {};
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back('\0');
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        WARN("drop_sender did not start: " << GetLastError() << " " << cmd);
        CloseHandle(sent);
        return false;
    }
    DWORD code = 1;
    PumpUntil([&] {
        return WaitForSingleObject(sent, 0) == WAIT_OBJECT_0 || WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0;
    }, 20000);
    const bool posted = WaitForSingleObject(sent, 0) == WAIT_OBJECT_0 ||
                        (GetExitCodeProcess(pi.hProcess, &code) && code == 0);
    if (!PumpUntil([&] { return WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0; }, 3000))
        TerminateProcess(pi.hProcess, 0);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    CloseHandle(sent);
    return posted;
}

} // namespace

TEST_CASE("files dropped from another process become items with their measured lengths", "[lists][drops]")
{
    OleInitialize(nullptr);
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    const std::string folder = TestFolder("tarnell_drops");
    Window t(folder + "autolog.txt");
    t.Open();
    HWND list = GetDlgItem(t.w, IDC_SOURCE_LIST), titles = GetDlgItem(t.w, IDC_TITLE_LIST);
    const std::string red = Media("red7.avi"), blue = Media("blue12.avi"), text = Media("text.avi");
    REQUIRE(GetFileAttributesA(blue.c_str()) != INVALID_FILE_ATTRIBUTES);
    const std::string lnk = folder + "blue clip.lnk";
    REQUIRE(MakeShortcut(lnk, blue));
    CHECK(ScheduleListCtrl::ResolveShortcut(lnk) == blue);
    CHECK(ScheduleListCtrl::ResolveShortcut(red) == red);

    /* The empty list takes files; a folder is passed over, the shortcut
     * becomes its clip, a file the player cannot open lasts 0 s. */
    const int opened = t.win.Progress().Opened();
    REQUIRE(DropFromAnotherProcess(list, {red, folder.substr(0, folder.size() - 1), lnk, text}));
    PumpUntil([&] { return t.win.Sources().Count() == 3u; }, 30000);
    REQUIRE(t.win.Sources().Count() == 3u);
    struct Expected {
        std::string path;
        int start, duration, channel;
    } const expected[] = {{red, 0, 7, 1}, {blue, 7, 12, 2}, {text, 19, 0, 3}};
    for (int i = 0; i < 3; ++i) {
        INFO("item " << i);
        const ScheduleItem &it = t.win.Sources().Item(static_cast<size_t>(i));
        CHECK(it.number == i + 1);
        CHECK(it.date == Today());
        CHECK(it.start == expected[i].start);
        CHECK(it.duration == expected[i].duration);
        CHECK(it.position == 0);
        CHECK(it.channel == expected[i].channel);
        CHECK(it.kind == kKindFile);
        CHECK(it.state == kStateInFile);
        CHECK(it.subject == expected[i].path);
        CHECK(it.video == expected[i].path);
        CHECK(it.audio == expected[i].path);
        CHECK(it.transition == 0);
    }
    CHECK(IsWindowEnabled(list));
    CHECK(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0) == 3);
    CHECK(t.win.List(IDC_SOURCE_LIST).CellText(1, 3) == "00:00:12");
    CHECK(t.win.List(IDC_SOURCE_LIST).CellText(2, 2) == "00:00:19");
    CHECK(t.win.SourceChanged());
    /* One progress strip for the drop, gone at its end. */
    CHECK(t.win.Progress().Opened() == opened + 1);
    CHECK(t.win.Progress().LastPercent() == 100);
    CHECK(t.win.Progress().m_hWnd == nullptr);

    /* A second drop follows the last item. */
    REQUIRE(DropFromAnotherProcess(list, {blue}));
    PumpUntil([&] { return t.win.Sources().Count() == 4u; }, 30000);
    REQUIRE(t.win.Sources().Count() == 4u);
    CHECK(t.win.Sources().Item(3).start == 19);
    CHECK(t.win.Sources().Item(3).duration == 12);
    CHECK(t.win.Sources().Item(3).channel == 4);

    /* Titles: only ".lmf" files, whatever their case; 30 s each. */
    const std::string a = folder + "a.lmf", b = folder + "B.LMF", notes = folder + "notes.txt";
    for (const std::string &f : {a, b, notes})
        WriteBytes(f, "x");
    REQUIRE(DropFromAnotherProcess(titles, {a, notes, folder.substr(0, folder.size() - 1), b}));
    PumpUntil([&] { return t.win.Titles().Count() == 2u; }, 30000);
    REQUIRE(t.win.Titles().Count() == 2u);
    CHECK(t.win.Titles().Item(0).source == a);
    CHECK(t.win.Titles().Item(0).start == 0);
    CHECK(t.win.Titles().Item(1).source == b);
    CHECK(t.win.Titles().Item(1).start == 30);
    CHECK(t.win.Titles().Item(1).duration == 30);
    CHECK(t.win.Titles().Item(1).state == kTitleInCg);
    CHECK(IsWindowEnabled(titles));
    CHECK(SendMessageA(titles, LVM_GETITEMCOUNT, 0, 0) == 2);
    /* Nothing the lists took was lost without a word, and nothing asked. */
    CHECK(t.prompt.warnings.empty());

    t.Repaint();
    ScreenShot::Window(t.w).Save("tarnell_dropped.bmp");
}

#include "app.h"
#include "source_entry_dialog.h"
#include "title_entry_dialog.h"

namespace {

/* The program's own loop: messages pass the application's filter (where
 * the buttons relay the mouse to their tool tips) before dispatch. */
template <class Pred> bool PumpAsProgram(Pred pred, DWORD ms)
{
    const DWORD end = GetTickCount() + ms;
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (cl::CWinApp::FilterMessage(MSGF_DIALOGBOX, &msg))
                continue;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (pred())
            return true;
        if (static_cast<int>(GetTickCount() - end) > 0)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

/* Marks on a face: pixels inside its 1-pixel frame that differ from its
 * fill (the commonest colour there): a blank face has none. */
int FaceMarks(HWND control)
{
    RECT r;
    GetWindowRect(control, &r);
    const ScreenShot s = ScreenShot::Take(r.left + 1, r.top + 1, r.right - r.left - 2, r.bottom - r.top - 2);
    std::vector<std::pair<unsigned, int>> counts;
    for (unsigned p : s.px) {
        bool known = false;
        for (auto &c : counts)
            if (c.first == p) {
                ++c.second;
                known = true;
            }
        if (!known)
            counts.push_back({p, 1});
    }
    int fill = 0;
    for (auto &c : counts)
        fill = c.second > fill ? c.second : fill;
    return static_cast<int>(s.px.size()) - fill;
}

/* Pixels of the skin's words' colour inside a client rectangle of 'w'. */
int WordPixels(HWND w, int x, int y, int width, int height)
{
    POINT at = {x, y};
    ClientToScreen(w, &at);
    return CountNear(RECT{at.x, at.y, at.x + width, at.y + height}, 0xC8D2EB, 12);
}

std::string VisibleTip()
{
    HWND tip = nullptr;
    while ((tip = FindWindowExA(nullptr, tip, TOOLTIPS_CLASSA, nullptr)))
        if (IsWindowVisible(tip)) {
            char text[128] = "";
            GetWindowTextA(tip, text, sizeof text);
            return text[0] ? text : "(visible)";
        }
    return "";
}

} // namespace

TEST_CASE("the window's buttons and both entry dialogs show their words, pictures and tool tips", "[skin]")
{
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES | ICC_DATE_CLASSES};
    InitCommonControlsEx(&icc);
    const std::string folder = TestFolder("tarnell_skin");
    {
        Window t(folder + "autolog.txt");
        t.Open();
        t.Repaint();
        ScreenShot::Window(t.w).Save("tarnell_main_buttons.bmp");
        /* Every button's face carries a word or a glyph: a frame, a fill
         * and the letters at least. */
        for (UINT id : {IDC_MENU_PROJECT, IDC_MENU_EDIT, IDC_MENU_HELP, IDC_MINIMIZE, IDC_EXIT, IDC_ON_NOW, IDC_ON_AIR,
                        IDC_HOLD, IDC_HOLD_TITLE, IDC_GO_MIXER}) {
            INFO("button " << id);
            CHECK(FaceMarks(GetDlgItem(t.w, id)) > 3);
        }
        /* The mouse resting on "On Air" brings its tool tip. */
        RECT b;
        GetWindowRect(GetDlgItem(t.w, IDC_ON_AIR), &b);
        SetCursorPos(b.left + 5, b.top + 5);
        INPUT move = {};
        move.type = INPUT_MOUSE;
        move.mi.dwFlags = MOUSEEVENTF_MOVE;
        move.mi.dx = 3;
        SendInput(1, &move, sizeof move);
        PumpAsProgram([] { return !VisibleTip().empty(); }, 8000);
        CHECK(VisibleTip() == "On Air");
        ScreenShot::Window(t.w).Save("tarnell_main_tooltip.bmp");
        SetCursorPos(600, 440);
    }

    SourceEntryDialog source;
    source.context.number = 3;
    REQUIRE(source.Create());
    HWND s = source.m_hWnd;
    ShowWindow(s, SW_SHOW);
    SetWindowPos(s, HWND_TOP, 20, 20, 0, 0, SWP_NOSIZE);
    RedrawWindow(s, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Pump(300);
    ScreenShot::Window(s).Save("tarnell_source_entry.bmp");
    /* The words beside the controls, from the skin's background. */
    const struct {
        int x, y, w;
    } sourceWords[] = {{28, 52, 12}, {360, 53, 24}, {28, 84, 42}, {290, 104, 24}, {400, 104, 36}, {28, 165, 30},
                       {28, 193, 30}, {400, 165, 42}, {28, 260, 30}, {28, 288, 48}, {28, 316, 48}, {318, 243, 60}};
    for (const auto &word : sourceWords) {
        INFO("word at " << word.x << "," << word.y);
        CHECK(WordPixels(s, word.x, word.y, word.w, 7) > 8);
    }
    CHECK(WordPixels(s, 200, 130, 60, 7) == 0); /* plain background */
    for (int i = 0; i < 3; ++i) {
        INFO("button " << i);
        CHECK(FaceMarks(source.Button(i).m_hWnd) > 3);
        CHECK(source.Button(i).ToolTip() != nullptr);
    }
    /* The palette's Right button follows the real mouse: lit under it,
     * pressed and paging on a click, plain again when the mouse leaves. */
    HWND right = GetDlgItem(s, SourceEntryDialog::kRight);
    RECT rr;
    GetWindowRect(right, &rr);
    const std::vector<unsigned> plainFace = ScreenShot::Take(rr.left, rr.top, 19, 20).px;
    SetForegroundWindow(s);
    SetCursorPos(rr.left + 9, rr.top + 10);
    INPUT nudge = {};
    nudge.type = INPUT_MOUSE;
    nudge.mi.dwFlags = MOUSEEVENTF_MOVE;
    nudge.mi.dx = 1;
    SendInput(1, &nudge, sizeof nudge);
    PumpUntil([&] { return source.PagingButton(2).Face() == 1; }, 5000);
    CHECK(source.PagingButton(2).Face() == 1);
    Pump(100);
    CHECK(ScreenShot::Take(rr.left, rr.top, 19, 20).px != plainFace);
    ClickAt(rr.left + 9, rr.top + 10);
    PumpUntil([&] { return source.Page() == 1; }, 5000);
    CHECK(source.Page() == 1);
    CHECK(source.PagingButton(2).Face() == 1);
    SetCursorPos(rr.left - 200, rr.top + 60);
    SendInput(1, &nudge, sizeof nudge);
    PumpUntil([&] { return source.PagingButton(2).Face() == 0; }, 5000);
    CHECK(source.PagingButton(2).Face() == 0);
    Pump(100);
    CHECK(ScreenShot::Take(rr.left, rr.top, 19, 20).px == plainFace);

    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    CHECK(GetWindowRgn(s, rgn) != ERROR);
    CHECK_FALSE(PtInRegion(rgn, 0, 0));
    CHECK(PtInRegion(rgn, 280, 200));
    DeleteObject(rgn);
    DestroyWindow(s);

    TitleEntryDialog title;
    title.context.number = "1";
    REQUIRE(title.Create());
    HWND w = title.m_hWnd;
    ShowWindow(w, SW_SHOW);
    SetWindowPos(w, HWND_TOP, 20, 20, 0, 0, SWP_NOSIZE);
    RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Pump(300);
    ScreenShot::Window(w).Save("tarnell_title_entry_skin.bmp");
    const struct {
        int x, y, w;
    } titleWords[] = {{28, 46, 12}, {222, 46, 24}, {28, 98, 30}, {28, 126, 48}, {28, 171, 42}, {28, 230, 60}};
    for (const auto &word : titleWords) {
        INFO("word at " << word.x << "," << word.y);
        CHECK(WordPixels(w, word.x, word.y, word.w, 7) > 8);
    }
    for (int i = 0; i < 3; ++i) {
        INFO("button " << i);
        CHECK(FaceMarks(title.Button(i).m_hWnd) > 3);
        CHECK(title.Button(i).ToolTip() != nullptr);
    }
    /* The shift mark shows its first picture while on, the second off. */
    HWND mark = GetDlgItem(w, TitleEntryDialog::kShuffle);
    RECT mr;
    GetWindowRect(mark, &mr);
    CHECK(title.Shuffle());
    CHECK_FALSE(title.ShuffleMark().SecondSelected());
    const std::vector<unsigned> on = ScreenShot::Take(mr.left, mr.top, 14, 12).px;
    title.ToggleShuffle();
    Pump(100);
    CHECK(title.ShuffleMark().SecondSelected());
    CHECK(ScreenShot::Take(mr.left, mr.top, 14, 12).px != on);
    DestroyWindow(w);
}

#include "msgbox_capture.h"
#include "scheduler_app.h"

TEST_CASE("Ctrl+Alt+V pressed on the main window opens the version box", "[window][keys]")
{
    MsgBoxCapture boxes;
    Window t(TestFolder("tarnell_version") + "autolog.txt");
    t.Open();
    SchedulerApp app;
    app.Attach(&t.win);
    SetForegroundWindow(t.w);
    PumpAsProgram([&] { return GetForegroundWindow() == t.w; }, 3000);
    ScreenShot::Window(t.w).Save("tarnell_version_keys.bmp");
    boxes.clear(); /* what the start-up said */
    const WORD keys[] = {VK_CONTROL, VK_MENU, 'V'};
    INPUT in[6] = {};
    for (int i = 0; i < 3; ++i) {
        in[i].type = in[5 - i].type = INPUT_KEYBOARD;
        in[i].ki.wVk = in[5 - i].ki.wVk = keys[i];
        in[5 - i].ki.dwFlags = KEYEVENTF_KEYUP;
    }
    SendInput(6, in, sizeof(INPUT));
    PumpAsProgram([&] { return boxes.count() > 0; }, 8000);
    for (const auto &b : boxes.boxes())
        UNSCOPED_INFO("box \"" << b.caption << "\": " << b.text);
    REQUIRE(boxes.count() == 1u);
    CHECK(boxes.boxes()[0].caption == "Version");
    CHECK(boxes.boxes()[0].text == "Tarnell Version 1.00, 03/ 27/ 2003 23:30");
    /* The box closed, the window goes on. */
    CHECK(IsWindowVisible(t.w));
    app.Attach(nullptr);
}
