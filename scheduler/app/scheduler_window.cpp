#include "scheduler_window.h"

#include <commctrl.h>
#include <cstdio>

#include "clock/schedule_clock.h"
#include "common/texts.h"
#include "filedlg.h"
#include "resource.h"
#include "source_entry_dialog.h"
#include "media_length.h"
#include "skinned_controls.h"
#include "title_entry_dialog.h"
#include "schedule/list_display.h"

using namespace remote;

namespace {

struct ButtonPlace {
    UINT id;
    int x, y, w, h;
    UINT plain, hover, pressed;
    UINT tip;
};
const ButtonPlace kButtons[SchedulerMainWindow::kButtonCount] = {
    {IDC_MENU_PROJECT, 26, 0, 59, 22, 182, 181, 0, 95},
    {IDC_MENU_EDIT, 90, 0, 41, 22, 176, 175, 0, 96},
    {IDC_MENU_HELP, 140, 0, 44, 22, 178, 177, 0, 98},
    {IDC_MINIMIZE, 961, 6, 14, 12, 173, 183, 0, 74},
    {IDC_EXIT, 981, 6, 14, 12, 174, 172, 0, 75},
    {IDC_ON_NOW, 290, 53, 89, 20, 209, 207, 0, 67},
    {IDC_ON_AIR, 391, 53, 89, 20, 200, 210, 0, 69},
    {IDC_HOLD, 492, 53, 89, 20, 206, 204, 0, 68},
    {IDC_HOLD_TITLE, 451, 473, 89, 20, 206, 204, 0, 76},
    {IDC_GO_MIXER, 647, 53, 55, 20, 202, 203, 201, 73},
};

struct LabelPlace {
    UINT id;
    int x, y, w, h;
    int size;
    COLORREF colour;
    const char *text;
};
const LabelPlace kLabels[SchedulerMainWindow::kLabelCount] = {
    {IDC_NUMBER, 35, 54, 95, 17, 18, RGB(0, 255, 0), "0000"},
    {IDC_COUNT, 146, 54, 95, 17, 18, RGB(0, 255, 0), "00:00:00"},
    {IDC_TITLE_NUMBER, 35, 474, 95, 17, 18, RGB(255, 125, 0), "0000"},
    {IDC_TITLE_COUNT, 146, 474, 95, 17, 18, RGB(255, 125, 0), "00:00:00"},
    {IDC_DATE, 748, 54, 100, 17, 16, RGB(255, 255, 0), ""},
    {IDC_WEEK, 850, 54, 52, 17, 16, RGB(255, 255, 0), ""},
    {IDC_TIME, 906, 54, 70, 17, 16, RGB(255, 255, 0), ""},
};

struct ListPlace {
    UINT id;
    int x, y, w, h;
};
const ListPlace kLists[] = {
    {IDC_SOURCE_LIST, 31, 87, 954, 323},
    {IDC_TITLE_LIST, 31, 507, 518, 230},
    {IDC_LOG_LIST, 611, 482, 374, 255},
};

struct Column {
    const char *name;
    int width;
};
const Column kSourceColumns[] = {{"Date", 0}, {"No", 44}, {"StartTime", 80}, {"Duration", 80},
                                 {"Position", 80}, {"State", 80}, {"Subject", 100}, {"VideoSource", 143},
                                 {"AudioSource", 143}, {"Transition Type", 123}, {"TS", 40}, {"Ch", 37}};
const Column kTitleColumns[] = {{"Date", 0}, {"No", 44}, {"StartTime", 80}, {"Duration", 80},
                                {"State", 77}, {"Subject", 95}, {"Title Source", 138}};
const Column kLogColumns[] = {{"Date", 0}, {"No", 44}, {"Description", 240}, {"State", 86}};

void AddColumns(HWND list, const Column *cols, size_t n, int leftColumn)
{
    for (size_t i = 0; i < n; ++i) {
        LVCOLUMNA c = {};
        c.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
        c.fmt = static_cast<int>(i) == leftColumn ? LVCFMT_LEFT : LVCFMT_CENTER;
        c.cx = cols[i].width;
        c.pszText = const_cast<char *>(cols[i].name);
        c.iSubItem = static_cast<int>(i);
        SendMessageA(list, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&c));
    }
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
}

void FillList(HWND list, const std::vector<std::vector<std::string>> &rows)
{
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    for (size_t r = 0; r < rows.size(); ++r) {
        for (size_t c = 0; c < rows[r].size(); ++c) {
            LVITEMA it = {};
            it.mask = LVIF_TEXT;
            it.iItem = static_cast<int>(r);
            it.iSubItem = static_cast<int>(c);
            it.pszText = const_cast<char *>(rows[r][c].c_str());
            SendMessageA(list, c == 0 ? LVM_INSERTITEMA : LVM_SETITEMTEXTA, c == 0 ? 0 : r,
                         reinterpret_cast<LPARAM>(&it));
        }
    }
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
}

std::string ResourceString(UINT id)
{
    char buf[256] = "";
    LoadStringA(GetModuleHandleA(nullptr), id, buf, sizeof buf);
    return buf;
}

/* An information box that closes itself after ten seconds: a thread
 * timer, served by the box's own message loop, answers it with OK. */
const char kEndNoticeCaption[] = "Tarnell";

BOOL CALLBACK CloseEndNotice(HWND w, LPARAM)
{
    char cls[16] = "", caption[32] = "";
    GetClassNameA(w, cls, sizeof cls);
    GetWindowTextA(w, caption, sizeof caption);
    if (std::string(cls) == "#32770" && std::string(caption) == kEndNoticeCaption && IsWindowVisible(w))
        PostMessageA(w, WM_COMMAND, IDOK, 0);
    return TRUE;
}

void CALLBACK EndNoticeTimer(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    EnumThreadWindows(GetCurrentThreadId(), CloseEndNotice, 0);
}

void EndNotice(HWND owner, const std::string &text)
{
    const UINT_PTR timer = SetTimer(nullptr, 0, 10000, EndNoticeTimer);
    MessageBoxA(owner, text.c_str(), kEndNoticeCaption, MB_OK | MB_ICONINFORMATION);
    KillTimer(nullptr, timer);
}

/* The .dsf fields of an accepted source entry. */
Fields EnteredSourceFields(const SourceEntryDialog &dlg, int number)
{
    char num[16], ch[8], kind[8];
    std::snprintf(num, sizeof num, "%04d", number);
    std::snprintf(ch, sizeof ch, "%d", dlg.channel);
    std::snprintf(kind, sizeof kind, "%d", dlg.kind);
    return {NormalizeDate(dlg.dateText), num, ScheduleClock::SecondsToText(dlg.start),
            ScheduleClock::SecondsToText(dlg.duration), ScheduleClock::SecondsToText(dlg.position),
            kSourceStateWords[dlg.kind], dlg.subject, dlg.video, dlg.audio,
            kTransitionNames[dlg.transition], dlg.transitionTime, ch, kind};
}

/* The dialog shows an item as it stands. */
void FillSourceDialog(SourceEntryDialog &dlg, const ScheduleItem &it)
{
    dlg.date = NormalizeDate(it.date);
    dlg.start = it.start;
    dlg.duration = it.duration;
    dlg.position = it.position;
    dlg.subject = it.subject;
    dlg.video = it.video;
    dlg.audio = it.audio;
    dlg.transition = it.transition < 0 ? 0 : it.transition;
    char t[16];
    std::snprintf(t, sizeof t, "%.1f", it.transitionTime);
    dlg.transitionTime = t;
    dlg.kind = it.kind == kKindDevice ? kKindDevice : kKindFile;
}

void FillTitleNeighbours(TitleEntryContext &c, const TitleSchedule &t, int previous, int next)
{
    if (previous >= 0) {
        const TitleItem &p = t.Item(static_cast<size_t>(previous));
        c.previousDate = p.date;
        c.previousEnd = p.start + p.duration;
        c.previousSource = p.source;
    }
    if (next >= 0 && static_cast<size_t>(next) < t.Count()) {
        const TitleItem &n = t.Item(static_cast<size_t>(next));
        c.nextExists = true;
        c.nextDate = n.date;
        c.nextStart = n.start;
        c.nextSource = n.source;
    }
}

/* A title the dialog accepted that the schedule then refused is never lost
 * without a word. */
constexpr char kTitleNotEntered[] = "The title could not be entered in the schedule.";

Fields EnteredTitleFields(const TitleEntryDialog &dlg, int number)
{
    char num[16];
    std::snprintf(num, sizeof num, "%04d", number);
    return {NormalizeDate(dlg.dateText), num, ScheduleClock::SecondsToText(dlg.values.start),
            ScheduleClock::SecondsToText(dlg.values.duration), kTitleStateWords[kTitleInCg],
            dlg.values.subject, dlg.values.source};
}

/* An insert or change at an existing title starts from its number, date
 * and start. */
void StartTitleEntry(TitleEntryDialog &dlg, int mode, const TitleItem &at)
{
    char num[16];
    std::snprintf(num, sizeof num, "%d", at.number);
    dlg.context.mode = mode;
    dlg.context.number = num;
    dlg.context.date = at.date;
    dlg.context.earliestStart = at.start;
}

SourceSlot SlotOf(const SourceSchedule &s, int row)
{
    if (row < 0 || static_cast<size_t>(row) >= s.Count())
        return {};
    const ScheduleItem &it = s.Item(static_cast<size_t>(row));
    return {it.video, it.audio, it.channel};
}

/* An insert or change at 'row' is checked against the item there, the one
 * after it and the one before it. */
void SetSourceNeighbours(SourceEntryContext &c, const SourceSchedule &s, int row)
{
    c.a = SlotOf(s, row);
    c.b = SlotOf(s, row + 1);
    c.c = SlotOf(s, row - 1);
}

} // namespace

MixerLinkHooks SchedulerMainWindow::LinkHooks()
{
    MixerLinkHooks h;
    h.post = [this](HWND to, int code, LPARAM arg) { Post(to, code, arg); };
    h.sendCopyData = [](HWND to, HWND from, const COPYDATASTRUCT &cds) {
        /* A window that is gone gets nothing. */
        if (to && IsWindow(to))
            SendMessageTimeoutA(to, WM_COPYDATA, reinterpret_cast<WPARAM>(from),
                                reinterpret_cast<LPARAM>(&cds), SMTO_ABORTIFHUNG, 5000, nullptr);
    };
    h.showSourceNumberBlinking = [this](int item) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%04d", item);
        Label(IDC_NUMBER).SetBlinkText(TRUE, buf);
    };
    h.showTitleNumberBlinking = [this](int item) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%04d", item);
        Label(IDC_TITLE_NUMBER).SetBlinkText(TRUE, buf);
    };
    h.stopTitleNumberBlinking = [this] { Label(IDC_TITLE_NUMBER).SetBlinkText(FALSE, "0000"); };
    h.repaintTitles = [this] { RefreshTitleList(); };
    h.closeWindow = [this] { OnClose(); };
    h.stopTimer = [this](int id) {
        if (m_hWnd)
            ::KillTimer(m_hWnd, id);
    };
    h.resetSourceRun = [this] { sequencer_->ResetSourceRun(); };
    h.resetTitleRun = [this] { sequencer_->ResetTitleRun(); };
    h.finishSchedule = [this] { sequencer_->FinishSchedule(); };
    h.sourceChanged = [this] { return files_.SourceChanged(); };
    h.titleChanged = [this] { return files_.TitleChanged(); };
    h.saveSource = [this] {
        /* Only to a known file: no dialog waits during a run. */
        if (!files_.SourcePath().empty())
            files_.SaveSourceSchedule();
    };
    h.sourceLoadAnswer = [this](int item, bool loaded) { sequencer_->OnSourceLoadAnswer(item, loaded); };
    h.setLogStateColumn = [this](int width) {
        if (m_hWnd)
            SendDlgItemMessageA(m_hWnd, IDC_LOG_LIST, LVM_SETCOLUMNWIDTH, 3, width);
    };
    h.scrollLog = [this](int px) {
        SendDlgItemMessageA(m_hWnd, IDC_LOG_LIST, LVM_SCROLL, 0, px);
    };
    return h;
}

ScheduleFileHooks SchedulerMainWindow::FileHooks()
{
    ScheduleFileHooks h;
    h.choosePath = [this](ScheduleDialog d) -> std::string {
        if (choosePath)
            return choosePath(d);
        const ScheduleDialogText t = DialogText(d);
        const bool open = d == ScheduleDialog::OpenSource || d == ScheduleDialog::OpenTitle;
        cl::CFileDialog dlg(open, t.defaultExtension, nullptr,
                            OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_ALLOWMULTISELECT, t.filter, m_hWnd);
        dlg.SetTitle(t.title);
        return dlg.DoModal() == IDOK ? dlg.GetPathName() : std::string();
    };
    h.resetSourceRun = [this] { sequencer_->ResetSourceRun(); };
    h.resetTitleRun = [this] { sequencer_->ResetTitleRun(); };
    h.clearRunLog = [this] {
        log_.Clear();
        RefreshLog();
    };
    h.hidePreviews = [this] { HidePreviews(); };
    h.sourceLoaded = [this] {
        lastLoadOk_ = true;
        sequencer_->EnableOnAirButtons();
    };
    h.loopReset = [this] {
        /* The pending loop reset: lists on, Loop off, the clock restarted. */
        if (sequencer_->OnAir() || sequencer_->SourceStandBy())
            return;
        ::EnableWindow(GetDlgItem(IDC_SOURCE_LIST), TRUE);
        ::EnableWindow(GetDlgItem(IDC_TITLE_LIST), TRUE);
        loopChecked_ = false;
        if (menu_)
            CheckMenuItem(menu_, ID_LOOP, MF_BYCOMMAND | MF_UNCHECKED);
        sequencer_->SetLoopMode(false);
        ::SetTimer(m_hWnd, onair::kClockTimer, 1000, nullptr);
    };
    return h;
}

SchedulerMainWindow::SchedulerMainWindow(OperatorPrompt *prompt, const std::string &autoLog)
    : cl::CDialog(IDD_SCHEDULER), ownPrompt_(prompt ? nullptr : new MessageBoxPrompt()),
      prompt_(prompt ? *prompt : *ownPrompt_), sources_(prompt_), titles_(prompt_), log_(prompt_, autoLog),
      link_(sources_, titles_, log_, prompt_, LinkHooks()), files_(sources_, titles_, prompt_, FileHooks())
{
    /* Every read starts with (0, lines): the loads are counted for the
     * columns' widths. */
    sources_.readProgress = [this](size_t done, size_t total) {
        if (done == 0)
            ++sourceLoads_;
        progress_.Step(done, total);
        if (done == 0 && m_hWnd)
            progress_.LieOver(GetDlgItem(IDC_SOURCE_LIST), 951);
    };
    titles_.readProgress = [this](size_t done, size_t total) {
        if (done == 0)
            ++titleLoads_;
        progress_.Step(done, total);
        if (done == 0 && m_hWnd)
            progress_.LieOver(GetDlgItem(IDC_TITLE_LIST), 514);
    };

    SequencerView v;
    v.setTimer = [this](int id, unsigned ms) {
        if (m_hWnd)
            ::SetTimer(m_hWnd, id, ms, nullptr);
    };
    v.killTimer = [this](int id) {
        if (m_hWnd)
            ::KillTimer(m_hWnd, id);
    };
    v.showText = [this](int control, const std::string &text, bool blink) {
        Label(control).SetBlinkText(FALSE, text.c_str());
        if (blink)
            Label(control).SetBlinkText(TRUE, text.c_str());
        else
            Label(control).SetWindowText(text);
    };
    v.showButton = [this](int id, int image, int enable) {
        for (int i = 0; i < kButtonCount; ++i)
            if (kButtons[i].id == static_cast<UINT>(id)) {
                if (image)
                    buttons_[i].SetState(image == 2 ? 1 : 0);
                if (enable >= 0)
                    buttons_[i].EnableButton(enable);
            }
    };
    v.enableList = [this](bool sources, bool on) {
        if (m_hWnd)
            ::EnableWindow(GetDlgItem(sources ? IDC_SOURCE_LIST : IDC_TITLE_LIST), on);
    };
    v.scrollList = [this](bool sources, int px) {
        SendDlgItemMessageA(m_hWnd, sources ? IDC_SOURCE_LIST : IDC_TITLE_LIST, LVM_SCROLL, 0, px);
    };
    v.repaintList = [this](bool sources) {
        if (sources)
            RefreshSourceList();
        else
            RefreshTitleList();
    };
    v.findMixer = [this] {
        HWND w = FindWindowA(nullptr, kMixerWindowTitle);
        return w ? w : link_.MixerWindow();
    };
    v.inform = [this](const std::string &t) {
        /* The end of an unattended run: the notice closes itself. */
        if (ownPrompt_)
            EndNotice(m_hWnd, t);
        else
            prompt_.Warn(t);
    };
    sequencer_.reset(new OnAirSequencer(sources_, titles_, link_, log_, prompt_, TheChannelPlan(), clock_, v));
    /* The stand-by's colour bars are sent as a whole path: the mixer runs in a folder of its own. */
    sequencer_->SetProgramFolder(ProgramFolder());

    handlers.Message(WM_TIMER, [this](WPARAM id, LPARAM) -> LRESULT {
        sequencer_->OnScheduleTimer(static_cast<int>(id));
        RefreshLog();
        return 0;
    });
    handlers.Message(kMixerRemoteMessage, [this](WPARAM code, LPARAM arg) -> LRESULT {
        LRESULT r = link_.OnMixerReply(code, arg);
        RefreshLog();
        return r;
    });
    KeepSkinnedFrame(handlers, *this, background_, kWidth, kHeight);
    handlers.Message(WM_LBUTTONDOWN, [this](WPARAM, LPARAM lp) -> LRESULT {
        const int x = static_cast<short>(LOWORD(lp)), y = static_cast<short>(HIWORD(lp));
        if (x >= 0 && x < kWidth && y >= 0 && y < 20)
            PostMessage(WM_NCLBUTTONDOWN, HTCAPTION, lp);
        return 0;
    });
    handlers.Message(WM_CLOSE, [this](WPARAM, LPARAM) -> LRESULT {
        OnClose();
        return 0;
    });
    handlers.Message(WM_DESTROY, [this](WPARAM, LPARAM) -> LRESULT {
        OnDestroy();
        return 0;
    });
    handlers.Message(WM_SYSCOMMAND, [this](WPARAM wp, LPARAM lp) -> LRESULT {
        if ((wp & 0xFFF0) == SC_KEYMENU) {
            switch (static_cast<char>(lp)) {
            case 'P': case 'p': ShowPopup(0, IDC_MENU_PROJECT); return 0;
            case 'E': case 'e': ShowPopup(1, IDC_MENU_EDIT); return 0;
            case 'H': case 'h': ShowPopup(3, IDC_MENU_HELP); return 0;
            default: break;
            }
        }
        return Default();
    });
    handlers.Message(WM_KEYDOWN, [this](WPARAM key, LPARAM) -> LRESULT {
        if (key == VK_DELETE)
            DeleteSelectedSource();
        return 0;
    });
    handlers.Notify(IDC_SOURCE_LIST, LVN_KEYDOWN, [this](NMHDR *h) -> LRESULT {
        if (reinterpret_cast<NMLVKEYDOWN *>(h)->wVKey == VK_DELETE)
            DeleteSelectedSource();
        return 0;
    });

    handlers.Command(IDC_MENU_PROJECT, [this] { ShowPopup(0, IDC_MENU_PROJECT); });
    handlers.Command(IDC_MENU_EDIT, [this] { ShowPopup(1, IDC_MENU_EDIT); });
    handlers.Command(IDC_MENU_HELP, [this] { ShowPopup(3, IDC_MENU_HELP); });
    handlers.Command(IDC_MINIMIZE, [this] { PostMessage(WM_SYSCOMMAND, SC_MINIMIZE, 0); });
    handlers.Command(IDC_EXIT, [this] { ExitButton(); });
    handlers.Command(ID_APP_EXIT, [this] { MenuExit(); });
    handlers.Command(IDC_ON_NOW, [this] { OnNowButton(); });
    handlers.Command(ID_NOW, [this] { OnNowButton(); });
    handlers.Command(IDC_ON_AIR, [this] { OnAirButton(); });
    handlers.Command(IDC_HOLD, [this] { StandByButton(); });
    handlers.Command(IDC_HOLD_TITLE, [this] { sequencer_->ToggleTitleStandBy(); });
    handlers.Command(IDC_GO_MIXER, [this] { GoToMixer(); });
    handlers.Command(ID_LOOP, [this] { ToggleLoop(); });
    /* Ctrl+Alt+V: the version box. */
    handlers.Command(ID_VERSION, [this] {
        MessageBoxA(m_hWnd, "Tarnell Version 1.00, 03/ 27/ 2003 23:30", "Version", MB_OK | MB_ICONINFORMATION);
    });
    handlers.Command(ID_DELETE_SOURCE, [this] { DeleteSelectedSource(); });
    handlers.Command(ID_ADD_TITLE, [this] { AddTitle(); });
    handlers.Command(ID_ADD_SOURCE, [this] { AddSource(); });
    handlers.Command(ID_INSERT_SOURCE, [this] { InsertSource(); });
    handlers.Command(ID_MODIFY_SOURCE, [this] { ModifySource(); });
    handlers.Command(ID_INSERT_TITLE, [this] { InsertTitle(); });
    handlers.Command(ID_MODIFY_TITLE, [this] { ModifyTitle(); });
    handlers.Command(ID_DELETE_TITLE, [this] { DeleteSelectedTitle(); });
    handlers.Command(ID_LIST_PREVIEW_SOURCE, [this] { PreviewSource(SelectedRow(IDC_SOURCE_LIST)); });
    handlers.Command(ID_LIST_PREVIEW_TITLE, [this] { PreviewTitleItem(SelectedRow(IDC_TITLE_LIST)); });
    handlers.Command(ID_NEW_SOURCE, [this] { FileCommand(&ScheduleFiles::NewSourceSchedule); });
    handlers.Command(ID_NEW_TITLE, [this] { FileCommand(&ScheduleFiles::NewTitleSchedule); });
    handlers.Command(ID_OPEN_SOURCE, [this] { FileCommand(&ScheduleFiles::OpenSourceSchedule); });
    handlers.Command(ID_OPEN_TITLE, [this] { FileCommand(&ScheduleFiles::OpenTitleSchedule); });
    handlers.Command(ID_SAVE_SOURCE, [this] { FileCommand(&ScheduleFiles::SaveSourceSchedule); });
    handlers.Command(ID_SAVE_SOURCE_AS, [this] { FileCommand(&ScheduleFiles::SaveSourceScheduleAs); });
    handlers.Command(ID_SAVE_TITLE, [this] { FileCommand(&ScheduleFiles::SaveTitleSchedule); });
    handlers.Command(ID_SAVE_TITLE_AS, [this] { FileCommand(&ScheduleFiles::SaveTitleScheduleAs); });
    for (UINT list : {IDC_SOURCE_LIST, IDC_TITLE_LIST}) {
        handlers.Notify(list, NM_RCLICK, [this, list](NMHDR *) -> LRESULT {
            ContextMenu(list);
            return 0;
        });
        handlers.Notify(list, NM_DBLCLK, [this, list](NMHDR *) -> LRESULT {
            if (list == IDC_SOURCE_LIST)
                ModifySource();
            else
                ModifyTitle();
            return 0;
        });
        /* While a pane is open it follows the selection. */
        handlers.Notify(list, LVN_ITEMCHANGED, [this, list](NMHDR *h) -> LRESULT {
            const auto *n = reinterpret_cast<NMLISTVIEW *>(h);
            if (!previewFollow_ || !(n->uNewState & LVIS_SELECTED) || (n->uOldState & LVIS_SELECTED))
                return 0;
            if (list == IDC_SOURCE_LIST && mediaPreview_.m_hWnd && ::IsWindowVisible(mediaPreview_.m_hWnd))
                PreviewSource(n->iItem);
            else if (list == IDC_TITLE_LIST && titlePreview_.m_hWnd && ::IsWindowVisible(titlePreview_.m_hWnd))
                PreviewTitleItem(n->iItem);
            return 0;
        });
    }
}

SchedulerMainWindow::~SchedulerMainWindow()
{
    if (listMenu_)
        DestroyMenu(listMenu_);
    if (menu_)
        DestroyMenu(menu_);
    if (background_)
        DeleteObject(background_);
}

ColorLabel &SchedulerMainWindow::Label(UINT id)
{
    for (int i = 0; i < kLabelCount; ++i)
        if (kLabels[i].id == id)
            return labels_[i];
    return labels_[0];
}

void SchedulerMainWindow::Post(HWND to, int code, LPARAM arg)
{
    /* No mixer: the request goes nowhere (never to the thread's queue). */
    if (to && IsWindow(to))
        ::PostMessageA(to, kMixerRemoteMessage, static_cast<WPARAM>(code), arg);
}

BOOL SchedulerMainWindow::OnInitDialog()
{
    /* 1. One scheduler at a time. */
    if (CountProcesses(instanceName.c_str()) > 1) {
        MessageBoxA(m_hWnd, "Already Tarnell running !", texts::kErrorCaption, MB_OK | MB_ICONSTOP);
        EndDialog(IDCANCEL);
        return FALSE;
    }
    /* 2. Icon, styles, title (the mixer finds the scheduler by it). */
    HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_TARNELL));
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    ModifyStyle(0, WS_SYSMENU | WS_MINIMIZEBOX);
    SetWindowText(kSchedulerWindowTitle);
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, kWidth, kHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    /* 3. Labels, background, outline, buttons. */
    SetupLabels();
    background_ = static_cast<HBITMAP>(
        LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_BACKGROUND), IMAGE_BITMAP, 0, 0, 0));
    SetWindowRgn(m_hWnd, CreateMainWindowRegion(), TRUE);
    SetupButtons();
    /* 4-5. Texts and places; the clock. */
    PlaceControls();
    ::SetTimer(m_hWnd, onair::kClockTimer, 1000, nullptr);
    sequencer_->OnScheduleTimer(onair::kClockTimer);
    /* 6. Columns and the device tables. */
    CreateColumns();
    SetupLists();
    devices_.reset(new CaptureDeviceNames(deviceEnumerator));
    devices_->Fill();
    /* 7. The popup menus. */
    menu_ = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAIN_MENU));
    listMenu_ = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_LIST_MENU));
    /* 8. The mixer (whose answers to loads decide what goes on air). */
    sequencer_->SetLoadAcknowledgement(acknowledgeLoads);
    link_.SetOwnWindow(m_hWnd);
    if (connectAtStart)
        link_.Start();
    RefreshLog();
    /* 9. No schedule yet. */
    ::EnableWindow(GetDlgItem(IDC_SOURCE_LIST), FALSE);
    ::EnableWindow(GetDlgItem(IDC_TITLE_LIST), FALSE);
    return TRUE;
}

void SchedulerMainWindow::SetupLabels()
{
    for (int i = 0; i < kLabelCount; ++i) {
        ColorLabel &l = labels_[i];
        l.SubclassDlgItem(kLabels[i].id, m_hWnd);
        l.SetFontName("Arial").SetFontSize(kLabels[i].size).SetFontBold(TRUE).SetTextColor(kLabels[i].colour);
        l.SetBkColor(RGB(0, 0, 0));
        l.SetWindowText(kLabels[i].text);
    }
}

void SchedulerMainWindow::SetupButtons()
{
    for (int i = 0; i < kButtonCount; ++i) {
        const ButtonPlace &b = kButtons[i];
        buttons_[i].SubclassDlgItem(b.id, m_hWnd);
        /* Pictures: idle, pressed, hover. */
        buttons_[i].SetBitmaps(b.plain, b.pressed ? b.pressed : b.hover, b.hover);
        buttons_[i].SetToolTip(ResourceString(b.tip).c_str());
    }
}

void SchedulerMainWindow::PlaceControls()
{
    for (const ButtonPlace &b : kButtons)
        ::MoveWindow(GetDlgItem(b.id), b.x, b.y, b.w, b.h, TRUE);
    for (const LabelPlace &l : kLabels)
        ::MoveWindow(GetDlgItem(l.id), l.x, l.y, l.w, l.h, TRUE);
    for (const ListPlace &l : kLists)
        ::MoveWindow(GetDlgItem(l.id), l.x, l.y, l.w, l.h, TRUE);
}

void SchedulerMainWindow::CreateColumns()
{
    AddColumns(GetDlgItem(IDC_SOURCE_LIST), kSourceColumns, sizeof kSourceColumns / sizeof *kSourceColumns, -1);
    AddColumns(GetDlgItem(IDC_TITLE_LIST), kTitleColumns, sizeof kTitleColumns / sizeof *kTitleColumns, -1);
    AddColumns(GetDlgItem(IDC_LOG_LIST), kLogColumns, sizeof kLogColumns / sizeof *kLogColumns, 2);
    LoadTransitionPictures(GetDlgItem(IDC_SOURCE_LIST));
    for (UINT id : {IDC_SOURCE_LIST, IDC_TITLE_LIST, IDC_LOG_LIST}) {
        HWND l = GetDlgItem(id);
        ::SendMessageA(l, LVM_SETBKCOLOR, 0, 0x141414);
        ::SendMessageA(l, LVM_SETTEXTBKCOLOR, 0, 0x141414);
        ::SendMessageA(l, LVM_SETTEXTCOLOR, 0, RGB(220, 220, 220));
    }
}

void SchedulerMainWindow::SetupLists()
{
    sourceList_.Attach(m_hWnd, IDC_SOURCE_LIST);
    titleList_.Attach(m_hWnd, IDC_TITLE_LIST);
    logList_.Attach(m_hWnd, IDC_LOG_LIST);
    /* Rows are coloured by their item's state; a row the list shows before
     * the window refilled it is drawn as an unknown state. */
    sourceList_.cellColours = [this](int row, int column, const std::string &text, bool highlighted) {
        if (row < 0 || static_cast<size_t>(row) >= sources_.Count())
            return SourceCellColours(-1, text, highlighted);
        const ScheduleItem &it = sources_.Item(static_cast<size_t>(row));
        return SourceCellColours(it.state, text, highlighted, it.missing && (column == 7 || column == 8));
    };
    titleList_.cellColours = [this](int row, int column, const std::string &text, bool highlighted) {
        if (row < 0 || static_cast<size_t>(row) >= titles_.Count())
            return TitleCellColours(-1, text, highlighted);
        const TitleItem &it = titles_.Item(static_cast<size_t>(row));
        return TitleCellColours(it.state, text, highlighted, it.missing && column == 6);
    };
    /* Any regular file on the source list; only ".lmf" titles on the title list. */
    sourceDrops_.Set(DropOptions::kRegularFiles, "", nullptr);
    titleDrops_.Set(DropOptions::kRegularFiles | DropOptions::kExtensionOnly, ".lmf", nullptr);
    sourceList_.AcceptDrops([this](const std::vector<std::string> &paths) { DropSources(paths); });
    titleList_.AcceptDrops([this](const std::vector<std::string> &paths) { DropTitles(paths); });
    logList_.fillCellsBlack = true;
    logList_.cellColours = [this](int row, int, const std::string &text, bool) {
        const int status = row >= 0 && static_cast<size_t>(row) < log_.Count()
                               ? log_.Line(static_cast<size_t>(row)).status
                               : kLogOther;
        const RunLogColours c = RunLog::Colours(status, text);
        return CellColours{c.text, c.back};
    };
}

ScheduleListCtrl &SchedulerMainWindow::List(UINT id)
{
    return id == IDC_TITLE_LIST ? titleList_ : id == IDC_LOG_LIST ? logList_ : sourceList_;
}

namespace {

/* The paths a list takes from a drop: shortcuts resolved, the options
 * applied; paths handed to the options' callback are not added. */
std::vector<std::string> TakenPaths(const std::vector<std::string> &paths, const DropOptions &options)
{
    std::vector<std::string> taken;
    for (const std::string &p : paths) {
        const std::string path = ScheduleListCtrl::ResolveShortcut(p);
        if (!options.Accepts(path) || options.HandToCallback(path))
            continue;
        taken.push_back(path);
    }
    return taken;
}

constexpr int kDropStripWidth = 951;
constexpr char kDropNotEntered[] = "These files could not be entered in the schedule:";

} // namespace

void SchedulerMainWindow::DropSources(const std::vector<std::string> &paths)
{
    /* The run holds the list while it is on air. */
    if (SourcesLocked())
        return;
    const std::vector<std::string> taken = TakenPaths(paths, sourceDrops_);
    if (taken.empty())
        return;
    /* The preview player measures the files: the panes give it up first. */
    HidePreviews();
    HWND list = GetDlgItem(IDC_SOURCE_LIST);
    progress_.Step(0, taken.size());
    progress_.LieOver(list, kDropStripWidth);
    std::string refused;
    for (size_t i = 0; i < taken.size(); ++i) {
        const int seconds = MeasureMediaSeconds(m_hWnd, taken[i]);
        if (!sources_.AddItemFromFields(DroppedSourceFields(sources_, taken[i], seconds, RunLog::Today())))
            refused += "\n" + taken[i];
        progress_.Step(i + 1, taken.size());
    }
    if (!sources_.Empty())
        ::EnableWindow(list, TRUE);
    AfterSourceEdit();
    if (!refused.empty())
        prompt_.Warn(kDropNotEntered + refused);
}

void SchedulerMainWindow::DropTitles(const std::vector<std::string> &paths)
{
    if (RunActive())
        return;
    const std::vector<std::string> taken = TakenPaths(paths, titleDrops_);
    if (taken.empty())
        return;
    HWND list = GetDlgItem(IDC_TITLE_LIST);
    progress_.Step(0, taken.size());
    progress_.LieOver(list, kDropStripWidth);
    std::string refused;
    for (size_t i = 0; i < taken.size(); ++i) {
        if (!titles_.AddItemFromFields(DroppedTitleFields(titles_, taken[i], RunLog::Today())))
            refused += "\n" + taken[i];
        progress_.Step(i + 1, taken.size());
    }
    AfterTitleEdit();
    if (!refused.empty())
        prompt_.Warn(kDropNotEntered + refused);
}

void SchedulerMainWindow::FitColumns(bool sourceLoaded, bool titleLoaded)
{
    HWND s = GetDlgItem(IDC_SOURCE_LIST), t = GetDlgItem(IDC_TITLE_LIST);
    if (sourceLoaded)
        ::SendMessageA(s, LVM_SETCOLUMNWIDTH, 11,
                       SourceChannelColumnWidth(static_cast<size_t>(sources_.LoadedLineCount())));
    else if (sources_.Empty() && ::SendMessageA(s, LVM_GETCOLUMNWIDTH, 11, 0) == 51)
        ::SendMessageA(s, LVM_SETCOLUMNWIDTH, 11, 67);
    if (titleLoaded)
        ::SendMessageA(t, LVM_SETCOLUMNWIDTH, 6,
                       TitleSourceColumnWidth(static_cast<size_t>(titles_.LoadedLineCount())));
    else if (titles_.Empty() && ::SendMessageA(t, LVM_GETCOLUMNWIDTH, 6, 0) == 102)
        ::SendMessageA(t, LVM_SETCOLUMNWIDTH, 6, 118);
}

void SchedulerMainWindow::RefreshSourceList()
{
    if (m_hWnd) {
        FillList(GetDlgItem(IDC_SOURCE_LIST), sources_.RowSnapshot());
        ShowTransitionPictures(GetDlgItem(IDC_SOURCE_LIST), 9);
    }
}

void SchedulerMainWindow::RefreshTitleList()
{
    if (m_hWnd)
        FillList(GetDlgItem(IDC_TITLE_LIST), titles_.RowSnapshot());
}

void SchedulerMainWindow::RefreshLog()
{
    if (!m_hWnd)
        return;
    std::vector<std::vector<std::string>> rows;
    for (size_t i = 0; i < log_.Count(); ++i) {
        const RunLogRecord &r = log_.Line(i);
        rows.push_back({r.date, r.numberText, r.text, r.statusText});
    }
    HWND list = GetDlgItem(IDC_LOG_LIST);
    if (static_cast<size_t>(::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)) != rows.size())
        FillList(list, rows);
}

bool SchedulerMainWindow::OpenSourceSchedule(const std::string &path)
{
    /* The Project menu's Open with this file chosen. */
    auto chooser = choosePath;
    choosePath = [&path](ScheduleDialog) { return path; };
    lastLoadOk_ = false;
    FileCommand(&ScheduleFiles::OpenSourceSchedule);
    choosePath = chooser;
    return lastLoadOk_;
}

void SchedulerMainWindow::FileCommand(void (ScheduleFiles::*command)())
{
    files_.SetRunActive(RunActive());
    const size_t sourceLoads = sourceLoads_, titleLoads = titleLoads_;
    (files_.*command)();
    FitColumns(sourceLoads_ != sourceLoads, titleLoads_ != titleLoads);
    if (!sources_.Empty())
        ::EnableWindow(GetDlgItem(IDC_SOURCE_LIST), TRUE);
    if (!titles_.Empty())
        ::EnableWindow(GetDlgItem(IDC_TITLE_LIST), TRUE);
    RefreshSourceList();
    RefreshTitleList();
    RefreshLog();
}

BOOL SchedulerMainWindow::CheckSourcePaths() const
{
    for (size_t i = 0; i < sources_.Count(); ++i)
        if (sources_.Item(i).video == "ERROR")
            return FALSE;
    return TRUE;
}

bool SchedulerMainWindow::SourcesLocked() const
{
    return sequencer_->OnAir() && !sequencer_->SourceStandBy();
}

bool SchedulerMainWindow::RunActive() const
{
    return sequencer_->OnAir() || sequencer_->SourceStandBy() || sequencer_->TitleRunOn();
}

void SchedulerMainWindow::OfferDevices(SourceEntryDialog &dlg) const
{
    if (devices_) {
        dlg.videoDevices = devices_->VideoTable();
        dlg.audioDevices = devices_->AudioTable();
    }
}

void SchedulerMainWindow::AfterSourceEdit()
{
    files_.MarkSourceChanged();
    sequencer_->EnableOnAirButtons();
    RefreshSourceList();
}

void SchedulerMainWindow::DeleteSelectedSource()
{
    if (SourcesLocked())
        return;
    HWND list = GetDlgItem(IDC_SOURCE_LIST);
    const int sel = static_cast<int>(::SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (sel < 0 || sel < link_.LastHandledSourceIndex())
        return;
    if (!sources_.DeleteItemAt(static_cast<size_t>(sel)))
        return;
    if (sources_.Count() < 13 && ::SendMessageA(list, LVM_GETCOLUMNWIDTH, 11, 0) == 51)
        ::SendMessageA(list, LVM_SETCOLUMNWIDTH, 11, 67);
    sources_.ChannelsByPosition();
    AfterSourceEdit();
}

void SchedulerMainWindow::AddSource()
{
    if (SourcesLocked())
        return;
    HidePreviews();
    SourceEntryDialog dlg(m_hWnd);
    const size_t n = sources_.Count();
    dlg.context.mode = 0;
    dlg.context.number = static_cast<int>(n + 1);
    if (n) {
        const ScheduleItem &last = sources_.Item(n - 1);
        ProposeAddedStart(last.date, last.start, last.duration, dlg.date, dlg.start);
        dlg.context.a = {last.video, last.audio, last.channel};
    } else {
        dlg.date = RunLog::Today();
    }
    OfferDevices(dlg);
    if (dlg.DoModal() != IDOK)
        return;
    if (!sources_.AddItemFromFields(EnteredSourceFields(dlg, static_cast<int>(n + 1))))
        return;
    ::EnableWindow(GetDlgItem(IDC_SOURCE_LIST), TRUE);
    AfterSourceEdit();
}

void SchedulerMainWindow::AddTitle()
{
    if (RunActive())
        return;
    HidePreviews();
    TitleEntryDialog dlg(m_hWnd);
    const size_t n = titles_.Count();
    char num[16];
    std::snprintf(num, sizeof num, "%d", static_cast<int>(n + 1));
    dlg.context.mode = 0;
    dlg.context.number = num;
    if (n) {
        const TitleItem &last = titles_.Item(n - 1);
        std::string date = NormalizeDate(last.date);
        int end = last.start + last.duration;
        while (end > 86399) {
            end -= 86400;
            date = NormalizeDate(ScheduleClock::NextDay(date));
        }
        dlg.context.date = date;
        dlg.context.earliestStart = end;
        FillTitleNeighbours(dlg.context, titles_, static_cast<int>(n - 1), -1);
    } else {
        dlg.context.date = RunLog::Today();
    }
    if (dlg.DoModal() != IDOK)
        return;
    titles_.SetShift(dlg.shuffleAccepted);
    if (!titles_.AddItemFromFields(EnteredTitleFields(dlg, static_cast<int>(n + 1)))) {
        prompt_.Warn(kTitleNotEntered);
        return;
    }
    AfterTitleEdit();
}

void SchedulerMainWindow::ExitButton()
{
    if (sequencer_->OnAir() && !sequencer_->SourceStandBy()) {
        if (!prompt_.AskYesNo("On-air. Exit this program?"))
            return;
    } else if (sequencer_->SourceStandBy()) {
        if (!prompt_.AskYesNo("Stand-by. Exit this program?"))
            return;
    }
    OnClose();
}

void SchedulerMainWindow::MenuExit()
{
    /* Alt+F4 asks the same questions as the Exit button, and ends the
     * program through the ordinary close (closing notice included). */
    exitCode_ = 17;
    ExitButton();
    if (!closing_)
        exitCode_ = 0;
}

void SchedulerMainWindow::ToggleLoop()
{
    loopChecked_ = !loopChecked_;
    if (menu_)
        CheckMenuItem(menu_, ID_LOOP, MF_BYCOMMAND | (loopChecked_ ? MF_CHECKED : MF_UNCHECKED));
    sequencer_->SetLoopMode(loopChecked_);
}

void SchedulerMainWindow::GoToMixer()
{
    HWND mixer = FindWindowA(nullptr, kMixerWindowTitle);
    if (!mixer)
        return;
    link_.SetMixerWindow(mixer);
    RECT own = GetWindowRect(), other;
    ::GetWindowRect(mixer, &other);
    ::SetWindowPos(m_hWnd, HWND_NOTOPMOST, own.left, own.top, kWidth, kHeight, SWP_SHOWWINDOW);
    ::SetWindowPos(mixer, HWND_TOP, other.left, other.top, 1024, 737, SWP_SHOWWINDOW);
}

void SchedulerMainWindow::OnAirButton()
{
    if (sources_.Empty())
        return;
    link_.Plain(RC_TAKE_CONTROL);
    sequencer_->ToggleOnAir();
    RefreshLog();
}

void SchedulerMainWindow::OnNowButton()
{
    sequencer_->OnAirNowButton();
    RefreshLog();
}

void SchedulerMainWindow::StandByButton()
{
    if (sequencer_->CurrentItem() >= 1 && static_cast<size_t>(sequencer_->CurrentItem()) <= sources_.Count())
        sequencer_->ToggleSourceStandBy();
}

void SchedulerMainWindow::ShowPopup(int index, UINT button)
{
    if (!menu_)
        return;
    HMENU sub = GetSubMenu(menu_, index);
    if (!sub)
        return;
    RECT r = GetWindowRect();
    const int dx = index == 0 ? 26 : index == 1 ? 90 : 140;
    for (int i = 0; i < kButtonCount; ++i)
        if (kButtons[i].id == button)
            buttons_[i].SetState(1);
    TrackPopupMenu(sub, TPM_LEFTALIGN | TPM_TOPALIGN, r.left + dx, r.top + 20, 0, m_hWnd, nullptr);
    for (int i = 0; i < 3; ++i)
        buttons_[i].SetState(0);
}

void SchedulerMainWindow::KillRunTimers()
{
    for (int id : {onair::kCountdownTimer, onair::kClockTimer, onair::kSourceTimer, onair::kTitleTimer})
        ::KillTimer(m_hWnd, id);
}

void SchedulerMainWindow::OnClose()
{
    if (closing_)
        return;
    closing_ = true;
    KillRunTimers();
    EndDialog(exitCode_ ? exitCode_ : IDCANCEL);
}

void SchedulerMainWindow::OnDestroy()
{
    HidePreviews();
    /* Unsaved schedules: a name is asked for when they have none. */
    if (files_.SourceChanged() && !sources_.Empty() && prompt_.AskYesNo(texts::kSaveSchedule)) {
        std::string path = files_.SourcePath();
        if (path.empty())
            path = FileHooks().choosePath(ScheduleDialog::SaveSource);
        if (!path.empty())
            sources_.SaveScheduleFile(path);
    }
    if (files_.TitleChanged() && !titles_.Empty() && prompt_.AskYesNo(texts::kSaveTitleSchedule)) {
        std::string path = files_.TitlePath();
        if (path.empty())
            path = FileHooks().choosePath(ScheduleDialog::SaveTitle);
        if (!path.empty())
            titles_.SaveScheduleFile(path);
    }
    if (menu_) {
        DestroyMenu(menu_);
        menu_ = nullptr;
    }
    KillRunTimers();
    sources_.ClearItems();
    titles_.ClearItems();
    log_.Clear();
    if (HWND mixer = link_.MixerWindow())
        Post(mixer, RC_SCHEDULER_CLOSING, 0);
}

int SchedulerMainWindow::SelectedRow(UINT list) const
{
    if (!m_hWnd)
        return -1;
    return static_cast<int>(
        ::SendMessageA(GetDlgItem(list), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void SchedulerMainWindow::SelectRow(UINT list, int row)
{
    HWND l = GetDlgItem(list);
    LVITEMA it = {};
    it.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    it.state = 0;
    ::SendMessageA(l, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&it));
    if (row >= 0) {
        it.state = LVIS_SELECTED | LVIS_FOCUSED;
        ::SendMessageA(l, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&it));
        ::SendMessageA(l, LVM_SETSELECTIONMARK, 0, row);
    }
}

void SchedulerMainWindow::ContextMenu(UINT list)
{
    if (!listMenu_)
        return;
    const bool onRow = SelectedRow(list) >= 0;
    const int popup = (list == IDC_SOURCE_LIST ? 0 : 2) + (onRow ? 0 : 1);
    POINT pt;
    GetCursorPos(&pt);
    TrackPopupMenu(GetSubMenu(listMenu_, popup), TPM_LEFTALIGN | TPM_RIGHTBUTTON, pt.x, pt.y, 0, m_hWnd, nullptr);
}

void SchedulerMainWindow::InsertSource()
{
    if (SourcesLocked())
        return;
    const int sel = SelectedRow(IDC_SOURCE_LIST);
    if (sel < 0) {
        prompt_.Warn(texts::kCannotInsert);
        return;
    }
    if (sel < link_.LastHandledSourceIndex())
        return;
    HidePreviews();
    const ScheduleItem &at = sources_.Item(static_cast<size_t>(sel));
    SourceEntryDialog dlg(m_hWnd);
    FillSourceDialog(dlg, at);
    dlg.context.mode = 1;
    dlg.context.number = at.number;
    SetSourceNeighbours(dlg.context, sources_, sel);
    OfferDevices(dlg);
    if (dlg.DoModal() != IDOK)
        return;
    if (!sources_.InsertItemAt(static_cast<size_t>(sel), EnteredSourceFields(dlg, at.number)))
        return;
    /* The items after the new one move on by one channel. */
    sources_.AdvanceChannelsFrom(static_cast<size_t>(sel) + 1);
    AfterSourceEdit();
}

void SchedulerMainWindow::ModifySource()
{
    if (SourcesLocked())
        return;
    const int sel = SelectedRow(IDC_SOURCE_LIST);
    if (sel < 0 || sel < link_.LastHandledSourceIndex())
        return;
    HidePreviews();
    const ScheduleItem it = sources_.Item(static_cast<size_t>(sel));
    SourceEntryDialog dlg(m_hWnd);
    FillSourceDialog(dlg, it);
    dlg.context.mode = 2;
    dlg.context.number = it.number;
    dlg.context.ownChannel = it.channel;
    SetSourceNeighbours(dlg.context, sources_, sel);
    OfferDevices(dlg);
    if (dlg.DoModal() != IDOK)
        return;
    if (!sources_.ModifyItemAt(static_cast<size_t>(sel), EnteredSourceFields(dlg, it.number)))
        return;
    AfterSourceEdit();
}


void SchedulerMainWindow::InsertTitle()
{
    if (RunActive())
        return;
    const int sel = SelectedRow(IDC_TITLE_LIST);
    if (sel < 0)
        return;
    HidePreviews();
    const TitleItem at = titles_.Item(static_cast<size_t>(sel));
    TitleEntryDialog dlg(m_hWnd);
    StartTitleEntry(dlg, 1, at);
    FillTitleNeighbours(dlg.context, titles_, sel - 1, sel);
    if (dlg.DoModal() != IDOK)
        return;
    titles_.SetShift(dlg.shuffleAccepted);
    if (!titles_.InsertItemAt(static_cast<size_t>(sel), EnteredTitleFields(dlg, at.number))) {
        prompt_.Warn(kTitleNotEntered);
        return;
    }
    AfterTitleEdit();
}

void SchedulerMainWindow::ModifyTitle()
{
    if (RunActive())
        return;
    const int sel = SelectedRow(IDC_TITLE_LIST);
    if (sel < 0)
        return;
    HidePreviews();
    const TitleItem it = titles_.Item(static_cast<size_t>(sel));
    TitleEntryDialog dlg(m_hWnd);
    StartTitleEntry(dlg, 2, it);
    dlg.values.start = it.start;
    dlg.values.duration = it.duration;
    dlg.values.subject = it.subject;
    dlg.values.source = it.source;
    FillTitleNeighbours(dlg.context, titles_, sel - 1, sel + 1);
    if (dlg.DoModal() != IDOK)
        return;
    titles_.SetShift(dlg.shuffleAccepted);
    if (!titles_.ModifyItemAt(static_cast<size_t>(sel), EnteredTitleFields(dlg, it.number))) {
        prompt_.Warn(kTitleNotEntered);
        return;
    }
    AfterTitleEdit();
}

void SchedulerMainWindow::DeleteSelectedTitle()
{
    if (RunActive())
        return;
    const int sel = SelectedRow(IDC_TITLE_LIST);
    if (sel < 0)
        return;
    const size_t before = titles_.Count();
    if (!titles_.DeleteItemAt(static_cast<size_t>(sel)))
        return;
    /* The titles from the deleted place on follow one another again. */
    if (static_cast<size_t>(sel) < titles_.Count())
        titles_.ChainFrom(static_cast<size_t>(sel));
    HWND list = GetDlgItem(IDC_TITLE_LIST);
    if (before <= 11 && ::SendMessageA(list, LVM_GETCOLUMNWIDTH, 6, 0) == 102)
        ::SendMessageA(list, LVM_SETCOLUMNWIDTH, 6, 118);
    AfterTitleEdit();
}

void SchedulerMainWindow::AfterTitleEdit()
{
    files_.MarkTitleChanged();
    ::EnableWindow(GetDlgItem(IDC_TITLE_LIST), TRUE);
    RefreshTitleList();
}

void SchedulerMainWindow::PreviewSource(int row)
{
    if (row < 0 || static_cast<size_t>(row) >= sources_.Count())
        return;
    if (titlePreview_.m_hWnd)
        titlePreview_.HidePane();
    if (!mediaPreview_.m_hWnd && !mediaPreview_.Create(m_hWnd))
        return;
    const ScheduleItem &it = sources_.Item(static_cast<size_t>(row));
    RECT r = GetWindowRect();
    ::SetWindowPos(mediaPreview_.m_hWnd, HWND_TOP, r.left + 586, r.top + 447, MediaPreviewDialog::kWidth,
                   MediaPreviewDialog::kHeight, SWP_SHOWWINDOW | SWP_NOACTIVATE);
    mediaPreview_.ShowSource(it.video, it.kind != kKindFile, it.number);
    previewFollow_ = true;
}

void SchedulerMainWindow::PreviewTitleItem(int row)
{
    if (row < 0 || static_cast<size_t>(row) >= titles_.Count())
        return;
    if (mediaPreview_.m_hWnd)
        mediaPreview_.HidePane();
    if (!titlePreview_.m_hWnd && !titlePreview_.Create(m_hWnd))
        return;
    RECT r = GetWindowRect();
    ::SetWindowPos(titlePreview_.m_hWnd, HWND_TOP, r.left + 586, r.top + 447, TitlePreviewDialog::kWidth,
                   TitlePreviewDialog::kHeight, SWP_SHOWWINDOW | SWP_NOACTIVATE);
    titlePreview_.ShowTitle(titles_.Item(static_cast<size_t>(row)).source);
    previewFollow_ = true;
}

void SchedulerMainWindow::HidePreviews()
{
    if (mediaPreview_.m_hWnd)
        mediaPreview_.HidePane();
    if (titlePreview_.m_hWnd)
        titlePreview_.HidePane();
    previewFollow_ = false;
}
