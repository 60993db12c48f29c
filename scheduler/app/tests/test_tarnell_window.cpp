/*
 * The scheduler's main window on a (virtual) display: start-up, size and
 * outline, the placed controls and the lists' columns, a schedule shown,
 * Enter, Delete, Loop, the exit questions, an on-air run started and
 * stopped against a stand-in mixer window, and the closing notice.  The
 * screenshot goes to the artefacts folder.
 */
#include <catch2/catch.hpp>

#include <windows.h>
#include <commctrl.h>
#include <cstdlib>
#include <vector>

#include "clock/schedule_clock.h"
#include "resource.h"
#include "scheduler_test_support.h"
#include "scheduler_window.h"
#include "screen_shot.h"

using namespace remote;

namespace {

/* A hidden window standing in for the mixer: it records message 3000. */
std::vector<int> g_mixerCodes;
LRESULT CALLBACK MixerProc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == kMixerRemoteMessage)
        g_mixerCodes.push_back(static_cast<int>(wp));
    return DefWindowProcA(w, msg, wp, lp);
}

HWND MakeMixer()
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = MixerProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "TarnellTestMixer";
    RegisterClassA(&wc);
    return CreateWindowExA(0, "TarnellTestMixer", "stand-in mixer", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                           wc.hInstance, nullptr);
}

void Pump(DWORD ms = 100)
{
    PumpUntil([] { return false; }, ms);
}

RECT ClientRectOf(HWND parent, UINT id)
{
    RECT r;
    GetWindowRect(GetDlgItem(parent, id), &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT *>(&r), 2);
    return r;
}

std::vector<int> ColumnWidths(HWND list)
{
    std::vector<int> w;
    HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
    const int n = static_cast<int>(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < n; ++i)
        w.push_back(static_cast<int>(SendMessageA(list, LVM_GETCOLUMNWIDTH, i, 0)));
    return w;
}

std::string Cell(HWND list, int row, int col)
{
    char buf[260] = "";
    LVITEMA it = {};
    it.iSubItem = col;
    it.pszText = buf;
    it.cchTextMax = sizeof buf;
    SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&it));
    return buf;
}

std::string Text(HWND w, UINT id)
{
    char buf[64] = "";
    GetDlgItemTextA(w, id, buf, sizeof buf);
    return buf;
}

/* A .dsf of 'n' network items, 60 s each, the first 'ahead' seconds from now. */
std::string WriteSchedule(RecordingPrompt &prompt, int n, int ahead)
{
    SYSTEMTIME st;
    GetLocalTime(&st);
    const std::string today = ScheduleClock::FormatDate(st.wYear, st.wMonth, st.wDay);
    int t = ScheduleClock::ToSeconds(st.wHour, st.wMinute, st.wSecond) + ahead;
    std::string day = today;
    if (t >= 86400 - 60 * n) {
        t = 60;
        day = NormalizeDate(ScheduleClock::NextDay(today));
    }
    SourceSchedule s(prompt);
    for (int i = 1; i <= n; ++i) {
        char num[8], ch[4];
        snprintf(num, sizeof num, "%04d", i);
        snprintf(ch, sizeof ch, "%d", (i - 1) % 5 + 1);
        std::string v = "http://host/clip" + Num(i) + ".wmv";
        REQUIRE(s.AddItemFromFields({day, num, ScheduleClock::SecondsToText(t + 60 * (i - 1)), "00:01:00",
                                     "00:00:00", "IN URL", "item " + Num(i), v, v, i == 2 ? "LeftWipe" : "Cut",
                                     "1.0", ch, "2"}));
    }
    const std::string path = TestFolder("tarnell_window") + "run.dsf";
    REQUIRE(s.SaveScheduleFile(path));
    return path;
}

} // namespace

TEST_CASE("the main window starts, shows a schedule, runs and closes", "[window]")
{
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    g_mixerCodes.clear();
    HWND mixer = MakeMixer();
    REQUIRE(mixer);

    RecordingPrompt prompt;
    const std::string folder = TestFolder("tarnell_window");
    SchedulerMainWindow win(&prompt, folder + "autolog.txt");
    win.connectAtStart = false;
    win.instanceName = "Tarnell.exe";
    win.deviceEnumerator = [](bool video, int index, std::string &name) {
        static const char *const cams[] = {"Microsoft DV Camera and VCR", "Microsoft DV Camera and VCR (1)"};
        if (!video || index < 0 || index > 1)
            return false;
        name = cams[index];
        return true;
    };
    REQUIRE(win.Create());
    HWND w = win.m_hWnd;
    win.ShowWindow(SW_SHOW);
    win.Link().SetMixerWindow(mixer);
    Pump();

    /* Title, size, outline. */
    char title[32] = "";
    GetWindowTextA(w, title, sizeof title);
    CHECK(std::string(title) == "Tarnell");
    RECT wr;
    GetWindowRect(w, &wr);
    CHECK(wr.right - wr.left == 1016);
    CHECK(wr.bottom - wr.top == 768);
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    CHECK(GetWindowRgn(w, rgn) != ERROR);
    CHECK_FALSE(PtInRegion(rgn, 0, 0));
    CHECK(PtInRegion(rgn, 500, 400));
    DeleteObject(rgn);
    /* A resize is undone. */
    SetWindowPos(w, nullptr, 0, 0, 640, 480, SWP_NOMOVE | SWP_NOZORDER);
    GetWindowRect(w, &wr);
    CHECK(wr.right - wr.left == 1016);

    /* Placed controls. */
    struct Place {
        UINT id;
        int x, y, w, h;
    };
    const Place places[] = {
        {IDC_MENU_PROJECT, 26, 0, 59, 22}, {IDC_EXIT, 981, 6, 14, 12},     {IDC_ON_NOW, 290, 53, 89, 20},
        {IDC_ON_AIR, 391, 53, 89, 20},     {IDC_HOLD_TITLE, 451, 473, 89, 20}, {IDC_GO_MIXER, 647, 53, 55, 20},
        {IDC_NUMBER, 35, 54, 95, 17},      {IDC_TIME, 906, 54, 70, 17},    {IDC_SOURCE_LIST, 31, 87, 954, 323},
        {IDC_TITLE_LIST, 31, 507, 518, 230}, {IDC_LOG_LIST, 611, 482, 374, 255},
    };
    for (const Place &p : places) {
        INFO("control " << p.id);
        RECT r = ClientRectOf(w, p.id);
        CHECK(r.left == p.x);
        CHECK(r.top == p.y);
        CHECK(r.right - r.left == p.w);
        CHECK(r.bottom - r.top == p.h);
    }
    CHECK(Text(w, IDC_NUMBER) == "0000");
    CHECK(Text(w, IDC_COUNT) == "00:00:00");
    CHECK(Text(w, IDC_TITLE_COUNT) == "00:00:00");
    CHECK(Text(w, IDC_DATE).size() == 10u);
    CHECK(win.Label(IDC_NUMBER).Font().lfHeight == -18);
    CHECK(std::string(win.Label(IDC_DATE).Font().lfFaceName) == "Arial");

    /* Columns. */
    CHECK(ColumnWidths(GetDlgItem(w, IDC_SOURCE_LIST)) ==
          std::vector<int>{0, 44, 80, 80, 80, 80, 100, 143, 143, 123, 40, 37});
    CHECK(ColumnWidths(GetDlgItem(w, IDC_TITLE_LIST)) == std::vector<int>{0, 44, 80, 80, 77, 95, 138});
    CHECK(ColumnWidths(GetDlgItem(w, IDC_LOG_LIST)) == std::vector<int>{0, 44, 240, 86});

    /* Two stand-in DV cameras, no microphone. */
    CHECK(win.Devices().VideoTable().size() == 2u);
    CHECK(win.Devices().AudioTable() == std::vector<std::string>{"Microsoft DV Camera and VCR"});

    /* Lists start disabled; a schedule enables and fills them. */
    HWND list = GetDlgItem(w, IDC_SOURCE_LIST);
    CHECK_FALSE(IsWindowEnabled(list));
    REQUIRE(win.OpenSourceSchedule(WriteSchedule(prompt, 7, 600)));
    CHECK(IsWindowEnabled(list));
    REQUIRE(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0) == 7);
    CHECK(Cell(list, 1, 1) == "0002");
    CHECK(Cell(list, 1, 9) == "LeftWipe");
    /* The small transition pictures, picture i for transition i, in column 9. */
    HIMAGELIST pictures = reinterpret_cast<HIMAGELIST>(SendMessageA(list, LVM_GETIMAGELIST, LVSIL_SMALL, 0));
    REQUIRE(pictures);
    CHECK(ImageList_GetImageCount(pictures) == 44);
    int iw = 0, ih = 0;
    ImageList_GetIconSize(pictures, &iw, &ih);
    CHECK((iw == 20 && ih == 20));
    for (int row : {0, 1}) {
        LVITEMA it = {};
        it.mask = LVIF_IMAGE;
        it.iItem = row;
        it.iSubItem = 9;
        SendMessageA(list, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&it));
        CHECK(it.iImage == row); /* "Cut" is 0, "LeftWipe" 1 */
    }
    CHECK(win.CheckSourcePaths());

    /* Enter and Esc leave the window open. */
    SendMessageA(w, WM_COMMAND, IDOK, 0);
    SendMessageA(w, WM_COMMAND, IDCANCEL, 0);
    Pump();
    CHECK(IsWindow(w));

    /* Delete the third of seven: channels by position. */
    LVITEMA sel = {};
    sel.stateMask = sel.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(list, LVM_SETITEMSTATE, 2, reinterpret_cast<LPARAM>(&sel));
    SendMessageA(w, WM_COMMAND, ID_DELETE_SOURCE, 0);
    REQUIRE(win.Sources().Count() == 6u);
    std::vector<int> channels;
    for (size_t i = 0; i < win.Sources().Count(); ++i)
        channels.push_back(win.Sources().Item(i).channel);
    CHECK(channels == std::vector<int>{1, 2, 3, 4, 5, 1});
    CHECK(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0) == 6);
    CHECK(win.SourceChanged());

    /* Loop toggles the sequencer's request. */
    SendMessageA(w, WM_COMMAND, ID_LOOP, 0);
    CHECK(win.Sequencer().LoopMode());
    SendMessageA(w, WM_COMMAND, ID_LOOP, 0);
    CHECK_FALSE(win.Sequencer().LoopMode());

    /* Screenshot with the schedule loaded. */
    RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Pump(300);
    ScreenShot shot = ScreenShot::Window(w);
    shot.Save("tarnell_main.bmp");
    CHECK(ScreenShot::Near(shot.At(600, 430), 0x3A425C)); /* the background between the lists */
    CHECK((ScreenShot::Near(shot.At(36, 56), 0x000000, 40) || ScreenShot::Near(shot.At(36, 56), 0x00FF00, 40)));

    /* On air against the stand-in mixer. */
    g_mixerCodes.clear();
    SendMessageA(w, WM_COMMAND, IDC_ON_AIR, 0);
    REQUIRE(win.Sequencer().OnAir());
    Pump();
    CHECK(g_mixerCodes == std::vector<int>{RC_TAKE_CONTROL, RC_ONAIR_START, RC_SEEK_CHANNEL});
    CHECK(!IsWindowEnabled(list));

    /* Exit while on air asks; No keeps it running. */
    prompt.Reset();
    SendMessageA(w, WM_COMMAND, IDC_EXIT, 0);
    CHECK(prompt.questions == std::vector<std::string>{"On-air. Exit this program?"});
    CHECK(IsWindow(w));
    /* Alt+F4's menu command asks the same. */
    SendMessageA(w, WM_COMMAND, ID_APP_EXIT, 0);
    CHECK(prompt.questions.size() == 2u);
    CHECK(IsWindow(w));
    CHECK(win.ExitCode() == 0);

    /* Stop with Yes: no recording was started, so only the mixer goes off. */
    g_mixerCodes.clear();
    prompt.Reset();
    prompt.answers = {true};
    SendMessageA(w, WM_COMMAND, IDC_ON_AIR, 0);
    Pump();
    CHECK_FALSE(win.Sequencer().OnAir());
    CHECK(g_mixerCodes == std::vector<int>{RC_TAKE_CONTROL, RC_MIXER_OFF});

    /* Close: the changed schedule is offered for saving, the mixer told. */
    g_mixerCodes.clear();
    prompt.Reset();
    SendMessageA(w, WM_CLOSE, 0, 0);
    Pump();
    CHECK_FALSE(IsWindow(w));
    CHECK(prompt.questions == std::vector<std::string>{"Would you like to save schedule ?"});
    CHECK(g_mixerCodes == std::vector<int>{RC_SCHEDULER_CLOSING});
    DestroyWindow(mixer);
}

#include "title_entry_dialog.h"

TEST_CASE("the title entry dialog refuses on its message line and accepts a good entry", "[titledialog]")
{
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES | ICC_DATE_CLASSES};
    InitCommonControlsEx(&icc);
    TitleEntryDialog dlg;
    dlg.context.mode = 1;
    dlg.context.number = "2";
    dlg.context.date = "2024/05/01";
    dlg.context.earliestStart = 3600;
    dlg.context.previousDate = "2024/05/01";
    dlg.context.previousEnd = 3600;
    dlg.context.previousSource = "C:\\t\\a.lmf";
    dlg.context.nextExists = true;
    dlg.context.nextDate = "2024/05/01";
    dlg.context.nextStart = 3700;
    dlg.context.nextSource = "C:\\t\\c.lmf";
    dlg.context.shuffle = false;
    REQUIRE(dlg.Create());
    HWND w = dlg.m_hWnd;
    Pump();
    RECT r;
    GetWindowRect(w, &r);
    CHECK(r.right - r.left == TitleEntryDialog::kWidth);
    CHECK(r.bottom - r.top == TitleEntryDialog::kHeight);
    CHECK(Text(w, TitleEntryDialog::kNumber) == "2");
    CHECK(Text(w, TitleEntryDialog::kStartH) == "01");
    CHECK(Text(w, TitleEntryDialog::kDurS) == "00");
    /* Only the first title chooses its date. */
    CHECK_FALSE(IsWindowEnabled(GetDlgItem(w, TitleEntryDialog::kDate)));

    /* A minute list takes no "75". */
    SetDlgItemTextA(w, TitleEntryDialog::kDurM, "75");
    SendMessageA(w, WM_COMMAND, MAKEWPARAM(TitleEntryDialog::kDurM, CBN_EDITCHANGE),
                 reinterpret_cast<LPARAM>(GetDlgItem(w, TitleEntryDialog::kDurM)));
    CHECK(Text(w, TitleEntryDialog::kDurM) == "00");
    /* Nor an hour list "24": a schedule's day ends at 23:59:59. */
    SetDlgItemTextA(w, TitleEntryDialog::kStartH, "24");
    SendMessageA(w, WM_COMMAND, MAKEWPARAM(TitleEntryDialog::kStartH, CBN_EDITCHANGE),
                 reinterpret_cast<LPARAM>(GetDlgItem(w, TitleEntryDialog::kStartH)));
    CHECK(Text(w, TitleEntryDialog::kStartH) == "00");
    SendDlgItemMessageA(w, TitleEntryDialog::kStartH, CB_SETCURSEL, 1, 0);

    auto ok = [&] { SendMessageA(w, WM_COMMAND, MAKEWPARAM(TitleEntryDialog::kOk, BN_CLICKED), 0); };
    ok();
    CHECK(dlg.Message() == "Subject Error");
    SetDlgItemTextA(w, TitleEntryDialog::kSubject, "news");
    SendDlgItemMessageA(w, TitleEntryDialog::kDurS, CB_SETCURSEL, 2, 0);
    ok();
    CHECK(dlg.Message() == "Duration Time Error.");
    SendDlgItemMessageA(w, TitleEntryDialog::kDurM, CB_SETCURSEL, 2, 0); /* 2 min 2 s: into the next title */
    ok();
    CHECK(dlg.Message() == "Title Source Error");
    SetDlgItemTextA(w, TitleEntryDialog::kFile, "C:\\t\\b.lmf");
    ok();
    CHECK(dlg.Message() == "Mark the Shuffle");
    REQUIRE(IsWindow(w));
    /* The shift mark lets later titles move instead: a real click on its
     * picture flips it and the picture with it. */
    HWND mark = GetDlgItem(w, TitleEntryDialog::kShuffle);
    const HANDLE offPicture = reinterpret_cast<HANDLE>(SendMessageA(mark, STM_GETIMAGE, IMAGE_BITMAP, 0));
    ShowWindow(w, SW_SHOW);
    SetWindowPos(w, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(w);
    UpdateWindow(w);
    Pump(300);
    RECT mr = {};
    GetWindowRect(mark, &mr);
    auto markPixels = [&] {
        std::vector<COLORREF> px;
        HDC screen = GetDC(nullptr);
        for (int y = mr.top; y < mr.bottom; ++y)
            for (int x = mr.left; x < mr.right; ++x)
                px.push_back(GetPixel(screen, x, y));
        ReleaseDC(nullptr, screen);
        return px;
    };
    const std::vector<COLORREF> offPixels = markPixels();
    {
        POINT c = {(mr.left + mr.right) / 2, (mr.top + mr.bottom) / 2};
        HWND under = WindowFromPoint(c);
        char cls[32] = "";
        GetClassNameA(under, cls, sizeof cls);
        INFO("under the mark: " << cls << " " << GetDlgCtrlID(under) << " rect " << mr.left << "," << mr.top << " "
                                << mr.right - mr.left << "x" << mr.bottom - mr.top << " visible " << IsWindowVisible(mark));
        CHECK(under == mark);
    }
    SetCursorPos((mr.left + mr.right) / 2, (mr.top + mr.bottom) / 2);
    INPUT click[2] = {};
    click[0].type = click[1].type = INPUT_MOUSE;
    click[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    click[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, click, sizeof(INPUT));
    const DWORD until = GetTickCount() + 5000;
    while (!dlg.Shuffle() && static_cast<LONG>(until - GetTickCount()) > 0)
        Pump(50);
    CHECK(dlg.Shuffle());
    UpdateWindow(w);
    Pump();
    CHECK(reinterpret_cast<HANDLE>(SendMessageA(mark, STM_GETIMAGE, IMAGE_BITMAP, 0)) != offPicture);
    CHECK(markPixels() != offPixels);
    /* Every control lies inside the dialog: nothing is cut off at its edges. */
    RECT client = {};
    GetClientRect(w, &client);
    for (UINT id : {TitleEntryDialog::kShuffle, TitleEntryDialog::kDate, TitleEntryDialog::kSubject,
                    TitleEntryDialog::kFile, TitleEntryDialog::kPick, TitleEntryDialog::kMessage,
                    TitleEntryDialog::kOk, TitleEntryDialog::kCancel}) {
        RECT c = {};
        GetWindowRect(GetDlgItem(w, id), &c);
        MapWindowPoints(nullptr, w, reinterpret_cast<POINT *>(&c), 2);
        INFO("control " << id);
        CHECK(c.left >= 0);
        CHECK(c.top >= 0);
        CHECK(c.right <= client.right);
        CHECK(c.bottom <= client.bottom);
    }
    ScreenShot::Window(w).Save("tarnell_title_entry.bmp");
    ok();
    Pump();
    CHECK_FALSE(IsWindow(w));
    CHECK(dlg.values.start == 3600);
    CHECK(dlg.values.duration == 122);
    CHECK(dlg.values.source == "C:\\t\\b.lmf");
    CHECK(dlg.shuffleAccepted);
    CHECK(ScheduleClock::DateKey(dlg.dateText) == 20240501);
}

namespace {
/* Drives the modal title dialog from a thread timer inside its loop. */
struct TitleDriver {
    std::string file, subject, firstRefusal;
    int durationSeconds = 10;
    bool refuseOnce = false;
    bool done = false;
} g_driver;

void CALLBACK DriveTitleDialog(HWND, UINT, UINT_PTR id, DWORD)
{
    HWND d = FindWindowA("#32770", "Title");
    if (!d || !IsWindowVisible(d))
        return;
    KillTimer(nullptr, id);
    SetDlgItemTextA(d, TitleEntryDialog::kSubject, g_driver.subject.c_str());
    SendDlgItemMessageA(d, TitleEntryDialog::kDurS, CB_SETCURSEL, g_driver.durationSeconds, 0);
    if (g_driver.refuseOnce) {
        SendMessageA(d, WM_COMMAND, MAKEWPARAM(TitleEntryDialog::kOk, BN_CLICKED), 0);
        g_driver.firstRefusal = Text(d, TitleEntryDialog::kMessage);
    }
    SetDlgItemTextA(d, TitleEntryDialog::kFile, g_driver.file.c_str());
    SendMessageA(d, WM_COMMAND, MAKEWPARAM(TitleEntryDialog::kOk, BN_CLICKED), 0);
    g_driver.done = true;
}
} // namespace

TEST_CASE("Add title appends through the entry dialog, proposing the last title's end", "[titledialog]")
{
    RecordingPrompt prompt;
    SchedulerMainWindow win(&prompt, TestFolder("tarnell_window") + "autolog2.txt");
    win.connectAtStart = false;
    win.deviceEnumerator = [](bool, int, std::string &) { return false; };
    REQUIRE(win.Create());
    HWND w = win.m_hWnd;
    win.ShowWindow(SW_SHOW);
    Pump();

    g_driver = TitleDriver();
    g_driver.subject = "opening";
    g_driver.file = "C:\\t\\a.lmf";
    SetTimer(nullptr, 0, 50, DriveTitleDialog);
    SendMessageA(w, WM_COMMAND, ID_ADD_TITLE, 0);
    REQUIRE(g_driver.done);
    REQUIRE(win.Titles().Count() == 1u);
    const TitleItem first = win.Titles().Item(0);
    CHECK(first.subject == "opening");
    CHECK(first.duration == 10);
    CHECK(IsWindowEnabled(GetDlgItem(w, IDC_TITLE_LIST)));

    /* The second: the same file is refused first, then another is taken;
     * it starts where the first ends. */
    g_driver = TitleDriver();
    g_driver.subject = "lower third";
    g_driver.file = "C:\\t\\b.lmf";
    g_driver.refuseOnce = true;
    SetTimer(nullptr, 0, 50, DriveTitleDialog);
    SendMessageA(w, WM_COMMAND, ID_ADD_TITLE, 0);
    REQUIRE(g_driver.done);
    CHECK(g_driver.firstRefusal == "Title Source Error");
    REQUIRE(win.Titles().Count() == 2u);
    CHECK(win.Titles().Item(1).start == (first.start + first.duration) % 86400);
    CHECK(win.Titles().Item(1).number == 2);
    CHECK(SendMessageA(GetDlgItem(w, IDC_TITLE_LIST), LVM_GETITEMCOUNT, 0, 0) == 2);

    prompt.answers = {false};
    SendMessageA(w, WM_CLOSE, 0, 0);
    Pump();
    CHECK_FALSE(IsWindow(w));
}

#include "source_entry_dialog.h"

TEST_CASE("the source entry dialog: refusals in order, palette pages, device kind, accepted entry", "[sourcedialog]")
{
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES | ICC_DATE_CLASSES};
    InitCommonControlsEx(&icc);
    SourceEntryDialog dlg;
    dlg.context.mode = 0;
    dlg.context.number = 11;
    dlg.context.a = {"C:\\m\\last.avi", "C:\\m\\last.avi", 5};
    dlg.date = "2024/05/01";
    dlg.start = 3600;
    dlg.duration = 4;
    dlg.transition = 19;
    dlg.videoDevices = {"Microsoft DV Camera and VCR", "Microsoft DV Camera and VCR (1)"};
    dlg.audioDevices = {"Microsoft DV Camera and VCR"};
    REQUIRE(dlg.Create());
    HWND w = dlg.m_hWnd;
    Pump();
    RECT r;
    GetWindowRect(w, &r);
    CHECK(r.right - r.left == SourceEntryDialog::kWidth);
    CHECK(Text(w, SourceEntryDialog::kNumber) == "0011");
    CHECK(Text(w, SourceEntryDialog::kType) == "Dissolve");
    CHECK(dlg.Page() == 3);
    CHECK((GetWindowLongA(GetDlgItem(w, SourceEntryDialog::kFirstCell + 19), GWL_STYLE) & WS_VISIBLE) != 0);
    CHECK((GetWindowLongA(GetDlgItem(w, SourceEntryDialog::kFirstCell + 0), GWL_STYLE) & WS_VISIBLE) == 0);

    /* Pages stay inside 0..8. */
    auto cmd = [&](UINT id) { SendMessageA(w, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); };
    for (int i = 0; i < 12; ++i)
        cmd(SourceEntryDialog::kRight);
    CHECK(dlg.Page() == 8);
    cmd(SourceEntryDialog::kHome);
    cmd(SourceEntryDialog::kLeft);
    CHECK(dlg.Page() == 0);
    SendMessageA(GetDlgItem(w, SourceEntryDialog::kFirstCell + 1), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    CHECK(Text(w, SourceEntryDialog::kType) == "LeftWipe");

    /* Capture devices fill the source boxes and disable the file pickers. */
    cmd(SourceEntryDialog::kDeviceKind);
    CHECK(SendDlgItemMessageA(w, SourceEntryDialog::kVideo, CB_GETCOUNT, 0, 0) == 2);
    CHECK(SendDlgItemMessageA(w, SourceEntryDialog::kAudio, CB_GETCOUNT, 0, 0) == 1);
    CHECK_FALSE(IsWindowEnabled(GetDlgItem(w, SourceEntryDialog::kPickVideo)));
    cmd(SourceEntryDialog::kFileKind);
    CHECK(IsWindowEnabled(GetDlgItem(w, SourceEntryDialog::kPickVideo)));

    /* Typing a video source copies it into the audio box. */
    SetDlgItemTextA(w, SourceEntryDialog::kVideo, "C:\\m\\last.avi");
    SendMessageA(w, WM_COMMAND, MAKEWPARAM(SourceEntryDialog::kVideo, CBN_EDITCHANGE), 0);
    CHECK(Text(w, SourceEntryDialog::kAudio) == "C:\\m\\last.avi");

    cmd(SourceEntryDialog::kOk);
    CHECK(dlg.Message() == "DurationTime Error");
    SendDlgItemMessageA(w, SourceEntryDialog::kDurS, CB_SETCURSEL, 5, 0);
    cmd(SourceEntryDialog::kOk);
    CHECK(dlg.Message() == "Subject Error");
    SetDlgItemTextA(w, SourceEntryDialog::kSubject, "news");
    cmd(SourceEntryDialog::kOk);
    CHECK(dlg.Message() == "Source Error"); /* the last item's file */
    SetDlgItemTextA(w, SourceEntryDialog::kVideo, "C:\\m\\new.avi");
    SetDlgItemTextA(w, SourceEntryDialog::kAudio, "C:\\m\\new.avi");
    /* An hour box takes no "24". */
    SetDlgItemTextA(w, SourceEntryDialog::kPosH, "24");
    SendMessageA(w, WM_COMMAND, MAKEWPARAM(SourceEntryDialog::kPosH, CBN_EDITCHANGE), 0);
    CHECK(Text(w, SourceEntryDialog::kPosH) == "00");
    REQUIRE(IsWindow(w));
    cmd(SourceEntryDialog::kOk);
    Pump();
    CHECK_FALSE(IsWindow(w));
    CHECK(dlg.channel == 1); /* item 11 */
    CHECK(dlg.duration == 5);
    CHECK(dlg.start == 3600);
    CHECK(dlg.transition == 1);
    CHECK(dlg.video == "C:\\m\\new.avi");
    CHECK(ScheduleClock::DateKey(dlg.dateText) == 20240501);
}

namespace {
/* Moves a file aside for the life of the guard. */
struct FileAside {
    std::string path;
    bool moved;
    explicit FileAside(std::string p) : path(std::move(p)), moved(MoveFileA(path.c_str(), (path + ".aside").c_str())) {}
    ~FileAside()
    {
        if (moved)
            MoveFileA((path + ".aside").c_str(), path.c_str());
    }
};
bool Near(COLORREF a, COLORREF b)
{
    return std::abs(GetRValue(a) - GetRValue(b)) <= 8 && std::abs(GetGValue(a) - GetGValue(b)) <= 8 &&
           std::abs(GetBValue(a) - GetBValue(b)) <= 8;
}
COLORREF PixelOf(HWND w, int x, int y)
{
    HDC dc = GetDC(w);
    const COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(w, dc);
    return c;
}
} // namespace

TEST_CASE("the transition palette shows its pictures, selects on a click and survives a missing picture",
          "[sourcedialog]")
{
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES | ICC_DATE_CLASSES};
    InitCommonControlsEx(&icc);
    const std::string pictures = ProgramFolder() + "Transition\\";
    REQUIRE(GetFileAttributesA((pictures + "LeftWipe.bmp").c_str()) != INVALID_FILE_ATTRIBUTES);
    CHECK(LoadPictureBitmap(".\\Transition\\NoSuchTransition.bmp") == nullptr);

    FileAside missing(pictures + "UpWipe.bmp"); /* cell 3 */
    REQUIRE(missing.moved);
    SourceEntryDialog dlg;
    dlg.transition = 2; /* RightWipe: page 0 */
    REQUIRE(dlg.Create());
    HWND w = dlg.m_hWnd;
    ShowWindow(w, SW_SHOW);
    SetWindowPos(w, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    UpdateWindow(w);
    Pump();
    auto cell = [&](int k) { return GetDlgItem(w, SourceEntryDialog::kFirstCell + k); };
    /* The palette row and its label, in client pixels, clear of each other. */
    const struct {
        UINT id;
        int x, y, w, h;
    } places[] = {{SourceEntryDialog::kFirstCell, 315, 281, 40, 40}, {SourceEntryDialog::kFirstCell + 4, 491, 281, 40, 40},
                  {SourceEntryDialog::kType, 400, 255, 130, 20},     {SourceEntryDialog::kRight, 367, 255, 19, 20},
                  {SourceEntryDialog::kOk, 365, 355, 77, 19}};
    for (const auto &p : places) {
        INFO("control " << p.id);
        const RECT r = ClientRectOf(w, p.id);
        CHECK((r.left == p.x && r.top == p.y && r.right - r.left == p.w && r.bottom - r.top == p.h));
    }

    const COLORREF face = GetSysColor(COLOR_3DFACE), blue = RGB(40, 70, 170), orange = RGB(235, 150, 40);
    /* LeftWipe: its first picture on the left, the second on the right. */
    CHECK(dlg.Cell(1).Bitmap() != nullptr);
    CHECK(Near(PixelOf(cell(1), 5, 5), blue));
    CHECK(Near(PixelOf(cell(1), 30, 5), orange));
    CHECK_FALSE(Near(PixelOf(cell(1), 5, 5), face));
    /* The selected cell: a red frame round the inset picture. */
    CHECK(dlg.Cell(2).Selected());
    CHECK(Near(PixelOf(cell(2), 1, 1), PictureCell::kFrameColour));
    CHECK(Near(PixelOf(cell(2), 6, 20), orange));
    CHECK(Near(PixelOf(cell(1), 1, 1), blue)); /* no frame on the others */
    /* The missing picture leaves its cell blank. */
    CHECK(dlg.Cell(3).Bitmap() == nullptr);
    CHECK(Near(PixelOf(cell(3), 20, 20), face));

    /* A click (the cell's message 137 to the dialog) moves the selection. */
    SendMessageA(cell(4), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    Pump();
    CHECK(Text(w, SourceEntryDialog::kType) == "DownWipe");
    CHECK(dlg.transition == 4);
    CHECK(dlg.Cell(4).Selected());
    CHECK_FALSE(dlg.Cell(2).Selected());
    CHECK(Near(PixelOf(cell(4), 1, 1), PictureCell::kFrameColour));
    /* The blank cell still selects its transition. */
    SendMessageA(cell(3), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    CHECK(Text(w, SourceEntryDialog::kType) == "UpWipe");

    /* Paging: Right shows cells 5-9, Left goes back, Home returns to 0. */
    auto visible = [&](int k) { return IsWindowVisible(cell(k)) != FALSE; };
    auto cmd = [&](UINT id) { SendMessageA(w, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); };
    cmd(SourceEntryDialog::kRight);
    CHECK((visible(5) && visible(9) && !visible(4) && !visible(10)));
    cmd(SourceEntryDialog::kRight);
    cmd(SourceEntryDialog::kLeft);
    CHECK(dlg.Page() == 1);
    for (int i = 0; i < 9; ++i)
        cmd(SourceEntryDialog::kRight);
    CHECK((dlg.Page() == 8 && visible(40) && visible(43) && !visible(39)));
    UpdateWindow(w);
    CHECK_FALSE(Near(PixelOf(cell(43), 20, 20), face));
    cmd(SourceEntryDialog::kHome);
    CHECK((dlg.Page() == 0 && visible(0) && !visible(5)));
    cmd(SourceEntryDialog::kCancel);
    Pump();
    CHECK_FALSE(IsWindow(w));
}

namespace {
/* The visible dialog of this thread holding control 'id'. */
struct FindDialog {
    UINT id;
    HWND found;
};
BOOL CALLBACK FindDialogProc(HWND h, LPARAM lp)
{
    auto *f = reinterpret_cast<FindDialog *>(lp);
    char cls[16] = "";
    GetClassNameA(h, cls, sizeof cls);
    if (std::string(cls) == "#32770" && IsWindowVisible(h) && GetDlgItem(h, f->id)) {
        f->found = h;
        return FALSE;
    }
    return TRUE;
}
HWND ThreadDialogWith(UINT id)
{
    FindDialog f = {id, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), FindDialogProc, reinterpret_cast<LPARAM>(&f));
    return f.found;
}

std::string g_sourceRefusal;
bool g_sourceDone = false;
void CALLBACK DriveSourceDialog(HWND, UINT, UINT_PTR id, DWORD)
{
    HWND d = ThreadDialogWith(SourceEntryDialog::kMessage);
    if (!d)
        return;
    KillTimer(nullptr, id);
    SetDlgItemTextA(d, SourceEntryDialog::kSubject, "second");
    SendDlgItemMessageA(d, SourceEntryDialog::kDurS, CB_SETCURSEL, 30, 0);
    SendDlgItemMessageA(d, SourceEntryDialog::kDurM, CB_SETCURSEL, 0, 0);
    SendDlgItemMessageA(d, SourceEntryDialog::kDurH, CB_SETCURSEL, 0, 0);
    /* The last item's file first: refused. */
    SetDlgItemTextA(d, SourceEntryDialog::kVideo, "http://host/clip1.wmv");
    SetDlgItemTextA(d, SourceEntryDialog::kAudio, "http://host/clip1.wmv");
    SendMessageA(d, WM_COMMAND, MAKEWPARAM(SourceEntryDialog::kOk, BN_CLICKED), 0);
    g_sourceRefusal = Text(d, SourceEntryDialog::kMessage);
    SetDlgItemTextA(d, SourceEntryDialog::kVideo, "http://host/clip9.wmv");
    SetDlgItemTextA(d, SourceEntryDialog::kAudio, "http://host/clip9.wmv");
    SendMessageA(d, WM_COMMAND, MAKEWPARAM(SourceEntryDialog::kOk, BN_CLICKED), 0);
    g_sourceDone = true;
}
} // namespace

TEST_CASE("Add source appends through the entry dialog after the last item", "[sourcedialog]")
{
    RecordingPrompt prompt;
    SchedulerMainWindow win(&prompt, TestFolder("tarnell_window") + "autolog3.txt");
    win.connectAtStart = false;
    win.deviceEnumerator = [](bool, int, std::string &) { return false; };
    REQUIRE(win.Create());
    HWND w = win.m_hWnd;
    REQUIRE(win.OpenSourceSchedule(WriteSchedule(prompt, 1, 600)));
    const ScheduleItem first = win.Sources().Item(0);

    g_sourceDone = false;
    SetTimer(nullptr, 0, 50, DriveSourceDialog);
    SendMessageA(w, WM_COMMAND, ID_ADD_SOURCE, 0);
    REQUIRE(g_sourceDone);
    CHECK(g_sourceRefusal == "Source Error");
    REQUIRE(win.Sources().Count() == 2u);
    const ScheduleItem &added = win.Sources().Item(1);
    CHECK(added.number == 2);
    CHECK(added.subject == "second");
    CHECK(added.duration == 30);
    CHECK(added.channel == 2);
    CHECK(added.start == (first.start + first.duration) % 86400);
    CHECK(win.SourceChanged());
    CHECK(SendMessageA(GetDlgItem(w, IDC_SOURCE_LIST), LVM_GETITEMCOUNT, 0, 0) == 2);

    prompt.answers = {false};
    SendMessageA(w, WM_CLOSE, 0, 0);
    Pump();
    CHECK_FALSE(IsWindow(w));
}

#include "msgbox_capture.h"

/* A second copy of this program that only waits (the single-instance test
 * counts it). */
TEST_CASE("a copy that waits", "[.waiter]")
{
    Sleep(4000);
}

TEST_CASE("a second scheduler warns and closes; the first keeps running", "[window]")
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string self = path;
    const std::string base = self.substr(self.find_last_of("\\/") + 1);
    std::string cmd = "\"" + self + "\" [.waiter]";
    STARTUPINFOA si = {sizeof si};
    PROCESS_INFORMATION pi = {};
    REQUIRE(CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    /* Wait until the copy is counted. */
    for (int i = 0; i < 100 && CountProcesses(base.c_str()) < 2; ++i)
        Sleep(20);
    REQUIRE(CountProcesses(base.c_str()) >= 2);

    MsgBoxCapture boxes;
    RecordingPrompt prompt;
    SchedulerMainWindow second(&prompt, TestFolder("tarnell_window") + "autolog4.txt");
    second.connectAtStart = false;
    second.instanceName = base;
    second.deviceEnumerator = [](bool, int, std::string &) { return false; };
    second.Create();
    Pump();
    CHECK((second.m_hWnd == nullptr || !IsWindow(second.m_hWnd)));
    /* The capture also reports the window itself, which closes while it
     * starts; the warning is the one box with a caption. */
    int warnings = 0;
    for (const auto &b : boxes.boxes())
        if (!b.caption.empty()) {
            ++warnings;
            CHECK(b.text == "Already Tarnell running !");
            CHECK(b.caption == "Error");
        }
    CHECK(warnings == 1);
    /* The waiting copy was not touched. */
    CHECK(CountProcesses(base.c_str()) >= 2);
    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, 5000);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
}
