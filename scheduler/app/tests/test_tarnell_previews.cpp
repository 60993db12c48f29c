/*
 * The scheduler's previews and the edits through its dialogs, on a
 * (virtual) display: the media preview pane on real clips and for devices,
 * the title preview pane with the title-box control and the engine's
 * animated drawing, the loaders' progress dialog, Insert, Modify and Delete
 * of sources and titles through the entry dialogs, and the Project menu's
 * New and Save As.
 */
#include <catch2/catch.hpp>

#include <windows.h>
#include <commctrl.h>
#include <oleauto.h>
#include <functional>
#include <vector>

#include "clock/schedule_clock.h"
#include "msgbox_capture.h"
#include "resource.h"
#include "scheduler_test_support.h"
#include "scheduler_window.h"
#include "screen_shot.h"
#include "source_entry_dialog.h"
#include "title_entry_dialog.h"

namespace {

std::string Media(const char *name)
{
    char dir[MAX_PATH] = "";
    GetEnvironmentVariableA("TARNELL_MEDIA", dir, sizeof dir);
    std::string d = dir;
    for (char &c : d)
        if (c == '/')
            c = '\\';
    /* A Unix folder is reached through the Z: drive. */
    if (!d.empty() && d[0] == '\\')
        d = "Z:" + d;
    return d + "\\" + name;
}

void Pump(DWORD ms = 100)
{
    PumpUntil([] { return false; }, ms);
}

std::string Text(HWND w, UINT id)
{
    char buf[260] = "";
    GetDlgItemTextA(w, id, buf, sizeof buf);
    return buf;
}

void Click(HWND w, UINT id)
{
    SendMessageA(w, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

/* A .dsf of file items: (subject, video, duration) each, from 10:00:00 on
 * 'day'. */
struct Row {
    std::string subject, video;
    int duration;
};
std::string WriteFileSchedule(const std::string &name, const std::string &day, const std::vector<Row> &rows)
{
    RecordingPrompt p;
    SourceSchedule s(p);
    int t = 36000;
    for (size_t i = 0; i < rows.size(); ++i) {
        char num[8], ch[4];
        snprintf(num, sizeof num, "%04d", static_cast<int>(i + 1));
        snprintf(ch, sizeof ch, "%d", static_cast<int>(i % 5 + 1));
        REQUIRE(s.AddItemFromFields({day, num, ScheduleClock::SecondsToText(t),
                                     ScheduleClock::SecondsToText(rows[i].duration), "00:00:00", "IN FILE",
                                     rows[i].subject, rows[i].video, rows[i].video, "Cut", "1.0", ch, "0"}));
        t += rows[i].duration;
    }
    const std::string path = TestFolder("tarnell_previews") + name;
    REQUIRE(s.SaveScheduleFile(path));
    return path;
}

/* Drives the next modal dialog of this thread that holds control 'id'. */
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

UINT g_driveId = 0;
std::function<void(HWND)> g_drive;
bool g_driven = false;
void CALLBACK DriveTimer(HWND, UINT, UINT_PTR id, DWORD)
{
    HWND d = ThreadDialogWith(g_driveId);
    if (!d)
        return;
    KillTimer(nullptr, id);
    g_driven = true;
    g_drive(d);
}
/* Sends 'command' to the window while 'drive' answers the dialog it opens. */
void WithDialog(HWND window, UINT command, UINT dialogControl, std::function<void(HWND)> drive)
{
    g_driveId = dialogControl;
    g_drive = std::move(drive);
    g_driven = false;
    SetTimer(nullptr, 0, 50, DriveTimer);
    SendMessageA(window, WM_COMMAND, command, 0);
    REQUIRE(g_driven);
}

void SetTime(HWND d, UINT h, UINT m, UINT s, int seconds)
{
    SendDlgItemMessageA(d, h, CB_SETCURSEL, seconds / 3600, 0);
    SendDlgItemMessageA(d, m, CB_SETCURSEL, seconds / 60 % 60, 0);
    SendDlgItemMessageA(d, s, CB_SETCURSEL, seconds % 60, 0);
}

/* One dispatch call on the title-box control. */
void Invoke(IDispatch *d, DISPID id, const std::string *text)
{
    VARIANT arg;
    VariantInit(&arg);
    DISPPARAMS p = {};
    if (text) {
        std::u16string w(text->begin(), text->end());
        V_VT(&arg) = VT_BSTR;
        V_BSTR(&arg) = SysAllocString(reinterpret_cast<const OLECHAR *>(w.c_str()));
        p.rgvarg = &arg;
        p.cArgs = 1;
    }
    VARIANT r;
    VariantInit(&r);
    REQUIRE(SUCCEEDED(d->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &p, &r, nullptr, nullptr)));
    VariantClear(&arg);
    VariantClear(&r);
}

FILETIME WriteTime(const std::string &path)
{
    WIN32_FILE_ATTRIBUTE_DATA a = {};
    GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &a);
    return a.ftLastWriteTime;
}

} // namespace

TEST_CASE("a title file goes to the control only when it opens it", "[titlepreview]")
{
    struct Case {
        const char *path;
        TitleLoad load;
    };
    const Case cases[] = {
        {"C:\\t\\a.lmf", TitleLoad::OpenFile},  {"C:\\t\\A.LMF", TitleLoad::OpenFile},
        {"a.Lmf", TitleLoad::OpenFile},            {"C:\\t\\a.cgb", TitleLoad::EmptyPage},
        {"C:\\t\\A.CGB", TitleLoad::EmptyPage}, {"C:\\t\\a.txt", TitleLoad::EmptyPage},
        {"mf", TitleLoad::EmptyPage},              {"", TitleLoad::Nothing},
    };
    for (const Case &c : cases) {
        INFO(c.path);
        CHECK(TitleLoadFor(c.path) == c.load);
    }
    CHECK(PreviewClockText(3725) == "01:02:05");
    CHECK(PreviewClockText(-1) == "00:00:00");
}

TEST_CASE("the media preview shows files through the preview player and the colour bars for devices",
          "[mediapreview]")
{
    MediaPreviewDialog pane;
    REQUIRE(pane.Create());
    HWND w = pane.m_hWnd;
    pane.ShowWindow(SW_SHOW);
    RECT r;
    GetWindowRect(w, &r);
    CHECK(r.right - r.left == MediaPreviewDialog::kWidth);
    CHECK(r.bottom - r.top == MediaPreviewDialog::kHeight);
    /* Put back to its size after any resize. */
    SetWindowPos(w, nullptr, 0, 0, 500, 400, SWP_NOMOVE | SWP_NOZORDER);
    GetWindowRect(w, &r);
    CHECK(r.right - r.left == MediaPreviewDialog::kWidth);

    SECTION("a file: number, size, duration, path; the transport moves the position within the clip")
    {
        const std::string clip = Media("red7.avi");
        pane.ShowSource(clip, false, 3);
        CHECK(pane.OpenedPath() == clip);
        CHECK(Text(w, MediaPreviewDialog::kNumber) == "0003");
        CHECK(Text(w, MediaPreviewDialog::kSize) == "160 x 120");
        CHECK(Text(w, MediaPreviewDialog::kDuration) == "00:00:07");
        CHECK(Text(w, MediaPreviewDialog::kPath) == clip);
        CHECK(Text(w, MediaPreviewDialog::kPosition) == "00:00:00");
        CHECK_FALSE(pane.PositionTimerOn());

        Click(w, MediaPreviewDialog::kForward);
        CHECK(pane.PositionTimerOn());
        CHECK(Text(w, MediaPreviewDialog::kPosition) == "00:00:05");
        Click(w, MediaPreviewDialog::kForward); /* stops at the end */
        CHECK(Text(w, MediaPreviewDialog::kPosition) == "00:00:07");
        Click(w, MediaPreviewDialog::kRewind);
        CHECK(Text(w, MediaPreviewDialog::kPosition) == "00:00:02");
        Click(w, MediaPreviewDialog::kRewind); /* not below 0 */
        CHECK(Text(w, MediaPreviewDialog::kPosition) == "00:00:00");
        Click(w, MediaPreviewDialog::kPause);
        CHECK_FALSE(pane.PositionTimerOn());
        Click(w, MediaPreviewDialog::kPlay);
        CHECK(pane.PositionTimerOn());
        Click(w, MediaPreviewDialog::kStop);
        CHECK_FALSE(pane.PositionTimerOn());
        CHECK(Text(w, MediaPreviewDialog::kPosition) == "00:00:01");

        /* The close picture hides the pane; it stays for the next source. */
        Click(w, MediaPreviewDialog::kClose);
        CHECK_FALSE(IsWindowVisible(w));
        CHECK(IsWindow(w));
    }
    SECTION("a device or an address never reaches the player: the colour bars, no timer")
    {
        pane.ShowSource(Media("red7.avi"), false, 1);
        Click(w, MediaPreviewDialog::kPlay);
        REQUIRE(pane.PositionTimerOn());
        for (const char *source : {"Microsoft DV Camera and VCR", "http://host/live.asf"}) {
            pane.ShowSource(source, true, 12);
            CHECK_FALSE(pane.PositionTimerOn());
            CHECK(pane.OpenedPath() == MediaPreviewDialog::DefaultColorBarPath());
            CHECK(Text(w, MediaPreviewDialog::kSize) == "0 x 0");
            CHECK(Text(w, MediaPreviewDialog::kDuration) == "00:00:00");
            CHECK(Text(w, MediaPreviewDialog::kNumber) == "0012");
            CHECK(Text(w, MediaPreviewDialog::kPath) == source);
        }
        /* The clip is there for the program to open. */
        CHECK(GetFileAttributesA(MediaPreviewDialog::DefaultColorBarPath().c_str()) != INVALID_FILE_ATTRIBUTES);
    }
    SECTION("a file the player cannot open shows nothing and no size")
    {
        pane.ShowSource(Media("text.avi"), false, 2);
        CHECK(Text(w, MediaPreviewDialog::kSize) == "0 x 0");
        CHECK(Text(w, MediaPreviewDialog::kDuration) == "00:00:00");
        CHECK(Text(w, MediaPreviewDialog::kPosition) == "00:00:00");
    }
    pane.DestroyWindow();
    Pump();
    CHECK_FALSE(IsWindow(w));
}

TEST_CASE("the title preview loads only what the control opens and animates one timer at a time",
          "[titlepreview]")
{
    OleInitialize(nullptr);
    const std::string dir = TestFolder("tarnell_previews");
    TitlePreviewDialog pane;
    REQUIRE(pane.Create());
    HWND w = pane.m_hWnd;
    pane.ShowWindow(SW_SHOWNOACTIVATE);
    /* From here on every message box is caught (the pane is a dialog too:
     * it is shown before the catching starts). */
    MsgBoxCapture boxes;
    REQUIRE(pane.Control() != nullptr);
    CHECK_FALSE(IsWindowVisible(GetDlgItem(w, TitlePreviewDialog::kControl)));

    /* A title file made by the control itself: one text object. */
    const std::string text = dir + "title.txt", title = dir + "Title.LMF";
    WriteBytes(text, "ON AIR TITLE");
    Invoke(pane.Control(), 87, &text);
    Invoke(pane.Control(), 89, &title);
    REQUIRE(GetFileAttributesA(title.c_str()) != INVALID_FILE_ATTRIBUTES);
    Invoke(pane.Control(), 1, nullptr);

    /* Other files are never handed to the control (it would refuse them
     * with a box); an empty path does nothing. */
    for (const std::string &other : {dir + "old.cgb", dir + "OLD.CGB", dir + "notes.txt", std::string()})
        pane.ShowTitle(other);
    CHECK(boxes.count() == 0);
    pane.ShowTitle(title);
    CHECK(boxes.count() == 0);

    char tmp[MAX_PATH];
    GetTempPathA(MAX_PATH, tmp);
    const std::string exported = std::string(tmp) + "~lmPrevTemp.LME";
    DeleteFileA(exported.c_str());
    CHECK_FALSE(pane.Animating());
    Click(w, TitlePreviewDialog::kShow);
    CHECK(pane.Animating());
    CHECK(GetFileAttributesA(exported.c_str()) != INVALID_FILE_ATTRIBUTES);
    CHECK(pane.Drawings() >= 1);
    const long first = pane.Drawings();
    CHECK(PumpUntil([&] { return pane.Drawings() >= first + 3; }, 5000));

    /* The title is drawn into the preview area: more than one colour. */
    Pump(200);
    RECT area;
    GetWindowRect(GetDlgItem(w, TitlePreviewDialog::kArea), &area);
    ScreenShot shot = ScreenShot::Take(area.left, area.top, 320, 240);
    unsigned firstColour = shot.At(0, 0);
    bool varied = false;
    for (int y = 0; y < 240 && !varied; y += 2)
        for (int x = 0; x < 320 && !varied; x += 2)
            varied = shot.At(x, y) != firstColour;
    CHECK(varied);
    ScreenShot::Window(w).Save("tarnell_title_preview.bmp");

    /* Show again: a fresh export and still one timer. */
    const FILETIME before = WriteTime(exported);
    Sleep(20);
    Click(w, TitlePreviewDialog::kShow);
    CHECK(pane.Animating());
    const FILETIME after = WriteTime(exported);
    CHECK(CompareFileTime(&before, &after) <= 0);

    /* Closing stops the drawing before the pane goes. */
    Click(w, TitlePreviewDialog::kClose);
    CHECK_FALSE(pane.Animating());
    CHECK_FALSE(IsWindowVisible(w));
    const long stopped = pane.Drawings();
    Pump(300);
    CHECK(pane.Drawings() == stopped);

    Click(w, TitlePreviewDialog::kShow);
    CHECK(pane.Animating());
    pane.DestroyWindow();
    CHECK_FALSE(pane.Animating());
    CHECK(boxes.count() == 0);
}

TEST_CASE("the source entry measures a picked video file with the preview player", "[sourcedialog]")
{
    SourceEntryDialog dlg;
    dlg.duration = 600;
    REQUIRE(dlg.Create());
    HWND w = dlg.m_hWnd;
    auto duration = [&] {
        return Text(w, SourceEntryDialog::kDurH) + ":" + Text(w, SourceEntryDialog::kDurM) + ":" +
               Text(w, SourceEntryDialog::kDurS);
    };
    CHECK(duration() == "00:10:00");
    /* A file the player cannot open leaves the duration as it was. */
    dlg.chooseMediaFile = [] { return Media("text.avi"); };
    Click(w, SourceEntryDialog::kPickVideo);
    CHECK(duration() == "00:10:00");
    CHECK(Text(w, SourceEntryDialog::kVideo) == Media("text.avi"));
    dlg.chooseMediaFile = [] { return Media("red7.avi"); };
    Click(w, SourceEntryDialog::kPickVideo);
    CHECK(duration() == "00:00:07");
    CHECK(Text(w, SourceEntryDialog::kVideo) == Media("red7.avi"));
    CHECK(Text(w, SourceEntryDialog::kAudio) == Media("red7.avi"));
    CHECK(SendDlgItemMessageA(w, SourceEntryDialog::kVideo, CB_GETCOUNT, 0, 0) == 2);
    /* The audio picker touches only the audio box. */
    dlg.chooseMediaFile = [] { return std::string("C:\\sound\\music.wav"); };
    Click(w, SourceEntryDialog::kPickAudio);
    CHECK(Text(w, SourceEntryDialog::kAudio) == "C:\\sound\\music.wav");
    CHECK(Text(w, SourceEntryDialog::kVideo) == Media("red7.avi"));
    /* Cancel picks nothing. */
    dlg.chooseMediaFile = [] { return std::string(); };
    Click(w, SourceEntryDialog::kPickVideo);
    CHECK(Text(w, SourceEntryDialog::kVideo) == Media("red7.avi"));
    dlg.DestroyWindow();
}

namespace {

/* A scheduler window with a recording prompt and no mixer. */
struct Scheduler {
    RecordingPrompt prompt;
    SchedulerMainWindow win;
    HWND w = nullptr;
    std::string saveAs; /* the answer of the save dialogs */
    std::string open;   /* the answer of the open dialogs */
    std::vector<ScheduleDialog> asked;

    explicit Scheduler(const char *log) : win(&prompt, TestFolder("tarnell_previews") + log)
    {
        win.connectAtStart = false;
        win.deviceEnumerator = [](bool, int, std::string &) { return false; };
        win.choosePath = [this](ScheduleDialog d) {
            asked.push_back(d);
            return d == ScheduleDialog::OpenSource || d == ScheduleDialog::OpenTitle ? open : saveAs;
        };
        REQUIRE(win.Create());
        w = win.m_hWnd;
    }
    ~Scheduler()
    {
        prompt.answers.clear();
        if (IsWindow(w))
            SendMessageA(w, WM_CLOSE, 0, 0);
        Pump();
    }
    std::string Cell(UINT list, int row, int col)
    {
        char buf[260] = "";
        LVITEMA it = {};
        it.iSubItem = col;
        it.pszText = buf;
        it.cchTextMax = sizeof buf;
        SendMessageA(GetDlgItem(w, list), LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&it));
        return buf;
    }
};

const char kDay[] = "2031/03/04";

std::string WriteTitles(const std::string &name, int n)
{
    RecordingPrompt p;
    TitleSchedule t(p);
    for (int i = 1; i <= n; ++i) {
        char num[8];
        snprintf(num, sizeof num, "%04d", i);
        REQUIRE(t.AddItemFromFields({kDay, num, ScheduleClock::SecondsToText(36000 + 60 * (i - 1)), "00:01:00",
                                     "IN CG", "title " + Num(i), "C:\\t\\t" + Num(i) + ".lmf"}));
    }
    const std::string path = TestFolder("tarnell_previews") + name;
    REQUIRE(t.SaveScheduleFile(path));
    return path;
}

} // namespace

TEST_CASE("Insert and Modify sources through the entry dialog; Insert with nothing selected", "[window][edit]")
{
    Scheduler s("edit_sources.txt");
    REQUIRE(s.win.OpenSourceSchedule(WriteFileSchedule(
        "three.dsf", kDay, {{"one", "C:\\m\\a.avi", 60}, {"two", "C:\\m\\b.avi", 60}, {"three", "C:\\m\\c.avi", 60}})));
    s.win.SelectRow(IDC_SOURCE_LIST, -1);
    SendMessageA(s.w, WM_COMMAND, ID_INSERT_SOURCE, 0);
    CHECK(s.prompt.warnings == std::vector<std::string>{"The new schedule cannot be inserted."});
    CHECK(s.win.Sources().Count() == 3u);

    /* Insert before "two": the dialog shows it; its own file is refused. */
    s.win.SelectRow(IDC_SOURCE_LIST, 1);
    std::string shownNumber, shownSubject, refusal;
    WithDialog(s.w, ID_INSERT_SOURCE, SourceEntryDialog::kMessage, [&](HWND d) {
        shownNumber = Text(d, SourceEntryDialog::kNumber);
        shownSubject = Text(d, SourceEntryDialog::kSubject);
        SetDlgItemTextA(d, SourceEntryDialog::kSubject, "inserted");
        SetTime(d, SourceEntryDialog::kDurH, SourceEntryDialog::kDurM, SourceEntryDialog::kDurS, 30);
        Click(d, SourceEntryDialog::kOk);
        refusal = Text(d, SourceEntryDialog::kMessage);
        SetDlgItemTextA(d, SourceEntryDialog::kVideo, "C:\\m\\new.avi");
        SetDlgItemTextA(d, SourceEntryDialog::kAudio, "C:\\m\\new.avi");
        Click(d, SourceEntryDialog::kOk);
    });
    CHECK(shownNumber == "0002");
    CHECK(shownSubject == "two");
    CHECK(refusal == "Source Error");
    REQUIRE(s.win.Sources().Count() == 4u);
    const char *subjects[] = {"one", "inserted", "two", "three"};
    const int channels[] = {1, 2, 3, 4};
    for (int i = 0; i < 4; ++i) {
        const ScheduleItem &it = s.win.Sources().Item(static_cast<size_t>(i));
        CHECK(it.number == i + 1);
        CHECK(it.subject == subjects[i]);
        CHECK(it.channel == channels[i]);
    }
    /* The new item takes the place in time; the later ones follow it. */
    CHECK(s.win.Sources().Item(1).start == 36060);
    CHECK(s.win.Sources().Item(2).start == 36090);
    CHECK(s.Cell(IDC_SOURCE_LIST, 1, 6) == "inserted");
    CHECK(s.win.SourceChanged());

    /* Modify "three": the item before it is its neighbour now. */
    s.win.SelectRow(IDC_SOURCE_LIST, 3);
    WithDialog(s.w, ID_MODIFY_SOURCE, SourceEntryDialog::kMessage, [&](HWND d) {
        shownSubject = Text(d, SourceEntryDialog::kSubject);
        SetDlgItemTextA(d, SourceEntryDialog::kSubject, "changed");
        SetDlgItemTextA(d, SourceEntryDialog::kVideo, "C:\\m\\b.avi");
        SetDlgItemTextA(d, SourceEntryDialog::kAudio, "C:\\m\\b.avi");
        Click(d, SourceEntryDialog::kOk);
        refusal = Text(d, SourceEntryDialog::kMessage);
        SetDlgItemTextA(d, SourceEntryDialog::kVideo, "C:\\m\\d.avi");
        SetDlgItemTextA(d, SourceEntryDialog::kAudio, "C:\\m\\d.avi");
        Click(d, SourceEntryDialog::kOk);
    });
    CHECK(shownSubject == "three");
    CHECK(refusal == "Source Error");
    REQUIRE(s.win.Sources().Count() == 4u);
    CHECK(s.win.Sources().Item(3).subject == "changed");
    CHECK(s.win.Sources().Item(3).video == "C:\\m\\d.avi");
    CHECK(s.win.Sources().Item(3).number == 4);
    CHECK(s.win.Sources().Item(3).channel == 4);

    /* Cancel changes nothing. */
    s.win.SelectRow(IDC_SOURCE_LIST, 0);
    WithDialog(s.w, ID_MODIFY_SOURCE, SourceEntryDialog::kMessage, [&](HWND d) {
        SetDlgItemTextA(d, SourceEntryDialog::kSubject, "not kept");
        Click(d, SourceEntryDialog::kCancel);
    });
    CHECK(s.win.Sources().Item(0).subject == "one");
    s.prompt.answers = {false};
}

TEST_CASE("Insert, Modify and Delete titles through the title entry dialog", "[window][edit]")
{
    Scheduler s("edit_titles.txt");
    s.open = WriteTitles("three.tsf", 3);
    SendMessageA(s.w, WM_COMMAND, ID_OPEN_TITLE, 0);
    REQUIRE(s.win.Titles().Count() == 3u);

    s.win.SelectRow(IDC_TITLE_LIST, 1);
    std::string refusal;
    WithDialog(s.w, ID_INSERT_TITLE, TitleEntryDialog::kMessage, [&](HWND d) {
        SetDlgItemTextA(d, TitleEntryDialog::kSubject, "inserted");
        SetTime(d, TitleEntryDialog::kDurH, TitleEntryDialog::kDurM, TitleEntryDialog::kDurS, 20);
        /* The file of the title before it is refused. */
        SetDlgItemTextA(d, TitleEntryDialog::kFile, "C:\\t\\t1.lmf");
        Click(d, TitleEntryDialog::kOk);
        refusal = Text(d, TitleEntryDialog::kMessage);
        SetDlgItemTextA(d, TitleEntryDialog::kFile, "C:\\t\\new.lmf");
        Click(d, TitleEntryDialog::kOk);
    });
    CHECK(refusal == "Title Source Error");
    REQUIRE(s.win.Titles().Count() == 4u);
    CHECK(s.win.Titles().Item(1).subject == "inserted");
    CHECK(s.win.Titles().Item(1).start == 36060);
    for (int i = 0; i < 4; ++i)
        CHECK(s.win.Titles().Item(static_cast<size_t>(i)).number == i + 1);
    CHECK(s.win.TitleChanged());

    s.win.SelectRow(IDC_TITLE_LIST, 0);
    std::string shown;
    WithDialog(s.w, ID_MODIFY_TITLE, TitleEntryDialog::kMessage, [&](HWND d) {
        shown = Text(d, TitleEntryDialog::kSubject);
        SetDlgItemTextA(d, TitleEntryDialog::kSubject, "first, changed");
        Click(d, TitleEntryDialog::kOk);
        refusal = Text(d, TitleEntryDialog::kMessage); /* a comma cannot be stored */
        SetDlgItemTextA(d, TitleEntryDialog::kSubject, "first changed");
        Click(d, TitleEntryDialog::kOk);
    });
    CHECK(shown == "title 1");
    CHECK(s.win.Titles().Item(0).subject == "first changed");
    CHECK(s.win.Titles().Item(0).source == "C:\\t\\t1.lmf");

    /* Delete: the later titles follow on from the one before. */
    s.win.SelectRow(IDC_TITLE_LIST, 1);
    SendMessageA(s.w, WM_COMMAND, ID_DELETE_TITLE, 0);
    REQUIRE(s.win.Titles().Count() == 3u);
    CHECK(s.win.Titles().Item(1).subject == "title 2");
    CHECK(s.win.Titles().Item(1).number == 2);
    CHECK(s.win.Titles().Item(1).start == s.win.Titles().Item(0).start + s.win.Titles().Item(0).duration);
    CHECK(SendMessageA(GetDlgItem(s.w, IDC_TITLE_LIST), LVM_GETITEMCOUNT, 0, 0) == 3);
    s.prompt.answers = {false, false};
}

TEST_CASE("New and Save As through the Project menu; the progress dialog while reading", "[window][files]")
{
    Scheduler s("files.txt");
    const std::string dir = TestFolder("tarnell_previews");
    std::vector<Row> rows;
    for (int i = 0; i < 30; ++i)
        rows.push_back({"item " + Num(i), "C:\\m\\" + Num(i) + ".avi", 60});
    const std::string path = WriteFileSchedule("thirty.dsf", kDay, rows);

    const int opened = s.win.Progress().Opened();
    REQUIRE(s.win.OpenSourceSchedule(path));
    CHECK(s.win.Progress().Opened() == opened + 1);
    CHECK(s.win.Progress().LastPercent() == 100);
    CHECK(s.win.Progress().m_hWnd == nullptr);
    CHECK(s.win.Files().SourcePath() == path);

    /* Save As writes a copy; the schedule's own file stays current.  The
     * title schedule's Save As follows (and has nothing to save). */
    s.saveAs = dir + "copy.dsf";
    s.asked.clear();
    SendMessageA(s.w, WM_COMMAND, ID_SAVE_SOURCE_AS, 0);
    CHECK(s.asked == std::vector<ScheduleDialog>{ScheduleDialog::SaveSourceAs});
    CHECK(ReadBytes(dir + "copy.dsf") == ReadBytes(path));
    CHECK(s.win.Files().SourcePath() == path);

    /* New asks before the list goes, and No keeps it. */
    s.prompt.Reset();
    s.prompt.answers = {false};
    SendMessageA(s.w, WM_COMMAND, ID_NEW_SOURCE, 0);
    CHECK(s.prompt.questions == std::vector<std::string>{"Current schedule list will be deleted.     "});
    CHECK(s.win.Sources().Count() == 30u);
    s.prompt.Reset();
    s.prompt.answers = {true};
    SendMessageA(s.w, WM_COMMAND, ID_NEW_SOURCE, 0);
    CHECK(s.win.Sources().Empty());
    CHECK(SendMessageA(GetDlgItem(s.w, IDC_SOURCE_LIST), LVM_GETITEMCOUNT, 0, 0) == 0);
    CHECK(s.win.Log().Count() == 0u);
    /* Nothing left: New asks nothing. */
    s.prompt.Reset();
    SendMessageA(s.w, WM_COMMAND, ID_NEW_SOURCE, 0);
    CHECK(s.prompt.questions.empty());

    /* A file broken at its fifth line: the rows before it stay and the
     * progress dialog still goes away. */
    std::string bytes = ReadBytes(path);
    size_t at = 0;
    for (int i = 0; i < 4; ++i)
        at = bytes.find('\n', at) + 1;
    bytes.insert(at, "broken line\r\n");
    WriteBytes(dir + "broken.dsf", bytes);
    CHECK_FALSE(s.win.OpenSourceSchedule(dir + "broken.dsf"));
    CHECK(s.win.Sources().Count() == 4u);
    CHECK(s.win.Progress().m_hWnd == nullptr);
    CHECK(s.prompt.warnings.size() == 1u);
    s.prompt.answers = {false, false};
}

TEST_CASE("the window's previews follow the source list; a dialog hides them; screenshot", "[window][preview]")
{
    OleInitialize(nullptr);
    Scheduler s("preview.txt");
    SetWindowPos(s.w, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ShowWindow(s.w, SW_SHOW);
    REQUIRE(s.win.OpenSourceSchedule(WriteFileSchedule(
        "preview.dsf", kDay, {{"red", Media("red7.avi"), 7}, {"other", "C:\\m\\missing.avi", 60}})));
    s.open = WriteTitles("preview.tsf", 2);
    SendMessageA(s.w, WM_COMMAND, ID_OPEN_TITLE, 0);

    s.win.SelectRow(IDC_SOURCE_LIST, 0);
    SendMessageA(s.w, WM_COMMAND, ID_LIST_PREVIEW_SOURCE, 0);
    HWND pane = s.win.MediaPreview().m_hWnd;
    REQUIRE(pane);
    CHECK(IsWindowVisible(pane));
    RECT wr, pr;
    GetWindowRect(s.w, &wr);
    GetWindowRect(pane, &pr);
    CHECK(pr.left - wr.left == 586);
    CHECK(pr.top - wr.top == 447);
    CHECK(Text(pane, MediaPreviewDialog::kNumber) == "0001");
    CHECK(Text(pane, MediaPreviewDialog::kDuration) == "00:00:07");
    Pump(300);
    ScreenShot::Window(s.w).Save("tarnell_schedule_preview.bmp");

    /* The pane follows the selection. */
    s.win.SelectRow(IDC_SOURCE_LIST, 1);
    CHECK(Text(pane, MediaPreviewDialog::kNumber) == "0002");
    CHECK(Text(pane, MediaPreviewDialog::kPath) == "C:\\m\\missing.avi");

    /* An entry dialog hides the previews first. */
    bool hiddenMeanwhile = false;
    WithDialog(s.w, ID_ADD_SOURCE, SourceEntryDialog::kMessage, [&](HWND d) {
        hiddenMeanwhile = !IsWindowVisible(pane);
        Click(d, SourceEntryDialog::kCancel);
    });
    CHECK(hiddenMeanwhile);

    /* The title pane takes the place of the media pane. */
    s.win.SelectRow(IDC_SOURCE_LIST, 0);
    SendMessageA(s.w, WM_COMMAND, ID_LIST_PREVIEW_SOURCE, 0);
    s.win.SelectRow(IDC_TITLE_LIST, 0);
    SendMessageA(s.w, WM_COMMAND, ID_LIST_PREVIEW_TITLE, 0);
    REQUIRE(s.win.TitlePreview().m_hWnd);
    CHECK(IsWindowVisible(s.win.TitlePreview().m_hWnd));
    CHECK_FALSE(IsWindowVisible(pane));
    s.prompt.answers = {false, false};
}

namespace {

/* A key pressed and let go on the real keyboard. */
void PressKey(WORD vk)
{
    INPUT in[2] = {};
    in[0].type = in[1].type = INPUT_KEYBOARD;
    in[0].ki.wVk = in[1].ki.wVk = vk;
    in[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, in, sizeof(INPUT));
}

void ClickScreen(int x, int y)
{
    SetCursorPos(x - 1, y);
    INPUT in[3] = {};
    in[0].type = in[1].type = in[2].type = INPUT_MOUSE;
    in[0].mi.dwFlags = MOUSEEVENTF_MOVE;
    in[0].mi.dx = 1;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    in[2].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(3, in, sizeof(INPUT));
}

UINT_PTR g_watch = 0;
HWND g_stillOpen = nullptr;
std::string g_leftOpenRefusal;
void CALLBACK CancelIfStillOpen(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    g_stillOpen = ThreadDialogWith(TitleEntryDialog::kMessage);
    if (g_stillOpen) {
        g_leftOpenRefusal = Text(g_stillOpen, TitleEntryDialog::kMessage);
        Click(g_stillOpen, TitleEntryDialog::kCancel);
    }
}

HWND ComboEdit(HWND d, UINT id)
{
    COMBOBOXINFO ci = {sizeof ci};
    GetComboBoxInfo(GetDlgItem(d, id), &ci);
    return ci.hwndItem;
}

} // namespace

TEST_CASE("the title entry's time lists show and keep two digits typed on the keyboard", "[window][edit][keys]")
{
    Scheduler s("typed_titles.txt");
    s.open = WriteTitles("typed.tsf", 3);
    SendMessageA(s.w, WM_COMMAND, ID_OPEN_TITLE, 0);
    REQUIRE(s.win.Titles().Count() == 3u);
    s.win.ShowWindow(SW_SHOW);

    /* Each list: clicked at its text, then two digits typed after what it shows. */
    const struct {
        UINT id;
        const char *digits, *want;
    } typed[] = {{TitleEntryDialog::kStartH, "12", "12"}, {TitleEntryDialog::kStartM, "34", "34"},
                 {TitleEntryDialog::kStartS, "56", "56"}, {TitleEntryDialog::kDurM, "21", "21"},
                 {TitleEntryDialog::kDurS, "45", "45"},   {TitleEntryDialog::kDurH, "7", "07"}};
    std::vector<std::string> shown;
    std::vector<int> room, needed;
    std::string refusal;
    bool closedByOk = false;
    WithDialog(s.w, ID_ADD_TITLE, TitleEntryDialog::kMessage, [&](HWND d) {
        SetForegroundWindow(d);
        PumpUntil([&] { return GetForegroundWindow() == d; }, 3000);
        SetDlgItemTextA(d, TitleEntryDialog::kSubject, "typed");
        SetDlgItemTextA(d, TitleEntryDialog::kFile, "C:\\t\\typed.lmf");
        for (const auto &t : typed) {
            HWND edit = ComboEdit(d, t.id);
            RECT r;
            GetWindowRect(edit, &r);
            ClickScreen((r.left + r.right) / 2, (r.top + r.bottom) / 2);
            PumpUntil([&] { return GetFocus() == edit; }, 3000);
            PressKey(VK_END);
            for (const char *c = t.digits; *c; ++c) {
                const std::string before = Text(d, t.id);
                PressKey(static_cast<WORD>(*c));
                PumpUntil([&] { return Text(d, t.id) != before; }, 3000);
            }
            Pump(50);
            shown.push_back(Text(d, t.id));
            /* The box's text area holds both digits in its own font. */
            RECT area = {};
            SendMessageA(edit, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&area));
            HDC dc = GetDC(edit);
            HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(edit, WM_GETFONT, 0, 0)));
            SIZE two = {};
            GetTextExtentPoint32A(dc, "00", 2, &two);
            SelectObject(dc, old);
            ReleaseDC(edit, dc);
            room.push_back(area.right - area.left);
            needed.push_back(two.cx);
        }
        RedrawWindow(d, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        Pump(200);
        ScreenShot::Window(d).Save("tarnell_title_entry_typed.bmp");
        RECT ok;
        GetWindowRect(GetDlgItem(d, TitleEntryDialog::kOk), &ok);
        ClickScreen((ok.left + ok.right) / 2, (ok.top + ok.bottom) / 2);
        /* The click ends the dialog once this returns to its loop; should
         * it not, the dialog is cancelled after a while, its message kept. */
        g_stillOpen = nullptr;
        g_leftOpenRefusal.clear();
        g_watch = SetTimer(nullptr, 0, 8000, CancelIfStillOpen);
    });
    KillTimer(nullptr, g_watch);
    refusal = g_leftOpenRefusal;
    closedByOk = g_stillOpen == nullptr;
    CHECK(refusal.empty());
    CHECK(closedByOk);
    REQUIRE(shown.size() == sizeof typed / sizeof typed[0]);
    for (size_t i = 0; i < shown.size(); ++i) {
        INFO("list " << typed[i].id);
        CHECK(shown[i] == typed[i].want);
        CHECK(room[i] >= needed[i]);
    }
    REQUIRE(s.win.Titles().Count() == 4u);
    const auto &added = s.win.Titles().Item(3);
    CHECK(added.subject == "typed");
    CHECK(added.start == 12 * 3600 + 34 * 60 + 56);
    CHECK(added.duration == 7 * 3600 + 21 * 60 + 45);
    s.prompt.answers = {false, false};
}
