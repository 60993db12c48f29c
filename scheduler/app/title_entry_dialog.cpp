#include "title_entry_dialog.h"

#include <commctrl.h>
#include <cstdio>
#include <cstdlib>

#include "clock/schedule_clock.h"
#include "filedlg.h"

namespace {
/* The controls' places in client pixels (the time lists keep their dropped height;
 * each is wide enough for its two digits beside the arrow). */
const ControlPlace kPlaces[] = {
    {TitleEntryDialog::kShuffle, 385, 5, 14, 12},   {TitleEntryDialog::kNumber, 77, 40, 87, 18},
    {TitleEntryDialog::kDate, 269, 40, 118, 24},    {TitleEntryDialog::kStartH, 120, 93, 50, 128},
    {TitleEntryDialog::kStartM, 180, 93, 50, 128},  {TitleEntryDialog::kStartS, 240, 93, 50, 128},
    {TitleEntryDialog::kDurH, 120, 121, 50, 128},   {TitleEntryDialog::kDurM, 180, 121, 50, 128},
    {TitleEntryDialog::kDurS, 240, 121, 50, 128},   {TitleEntryDialog::kSubject, 28, 183, 360, 24},
    {TitleEntryDialog::kFile, 28, 242, 222, 24},    {TitleEntryDialog::kPick, 260, 245, 31, 19},
    {TitleEntryDialog::kMessage, 34, 281, 262, 19}, {TitleEntryDialog::kOk, 317, 250, 77, 19},
    {TitleEntryDialog::kCancel, 317, 282, 77, 19},
};
} // namespace

TitleEntryDialog::TitleEntryDialog(HWND parent) : cl::CDialog(139, parent)
{
    SYSTEMTIME st;
    GetLocalTime(&st);
    context.earliestStart = ScheduleClock::ToSeconds(st.wHour, st.wMinute, st.wSecond);
    handlers.Command(kOk, [this] { OnOK(); });
    handlers.Command(kCancel, [this] { OnCancel(); });
    handlers.CommandCode(kShuffle, STN_CLICKED, [this] { ToggleShuffle(); });
    for (UINT id : {kStartH, kStartM, kStartS, kDurH, kDurM, kDurS})
        handlers.CommandCode(id, CBN_EDITCHANGE, [this, id] { CheckTimeList(id); });
    handlers.Command(kPick, [this] {
        cl::CFileDialog dlg(true, nullptr, nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_ALLOWMULTISELECT,
                            "All Title Files(*.lmf;*.cgb)|*.lmf;*.cgb|Lumicard Files (*.lmf)|*.lmf| Veskar Runebox "
                            "Files(*.cgb)|*.cgb||",
                            m_hWnd);
        dlg.SetTitle("Open files");
        if (dlg.DoModal() == IDOK)
            SetDlgItemText(kFile, dlg.GetPathName());
    });
    /* One size, the skin's background (213); a press on it moves the dialog. */
    KeepSkinnedFrame(handlers, *this, background_, kWidth, kHeight);
    handlers.Message(WM_LBUTTONDOWN, [this](WPARAM, LPARAM lp) -> LRESULT {
        PostMessage(WM_NCLBUTTONDOWN, HTCAPTION, lp);
        return 0;
    });
}

TitleEntryDialog::~TitleEntryDialog()
{
    for (HBITMAP b : {shuffleOn_, shuffleOff_, background_})
        if (b)
            DeleteObject(b);
}

void TitleEntryDialog::ShowShuffle()
{
    HINSTANCE inst = GetModuleHandleA(nullptr);
    if (!shuffleOn_)
        shuffleOn_ = LoadBitmapA(inst, MAKEINTRESOURCEA(172));
    if (!shuffleOff_)
        shuffleOff_ = LoadBitmapA(inst, MAKEINTRESOURCEA(174));
    SendDlgItemMessageA(m_hWnd, kShuffle, STM_SETIMAGE, IMAGE_BITMAP,
                        reinterpret_cast<LPARAM>(context.shuffle ? shuffleOn_ : shuffleOff_));
    if (!mark_.m_hWnd && mark_.SubclassDlgItem(kShuffle, m_hWnd))
        mark_.SetBitmaps(shuffleOn_, shuffleOff_);
    mark_.SelectSecond(!context.shuffle);
}

BOOL TitleEntryDialog::OnInitDialog()
{
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, kWidth, kHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    PlaceControls(m_hWnd, kPlaces, sizeof kPlaces / sizeof kPlaces[0]);
    /* No caption bar (it took the room of the lowest buttons); the window keeps its name. */
    SetWindowText("Title");
    if (!background_)
        background_ = static_cast<HBITMAP>(
            LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kBackground), IMAGE_BITMAP, 0, 0, 0));
    SetWindowRgn(m_hWnd, CreateSteppedRegion(kWidth, kHeight), TRUE);
    /* Ok, Cancel and "...": plain, pressed, lit, each with its tool tip (the
     * Ok button's says "Ok", not "Cancel"). */
    const struct {
        UINT id, plain, pressed, hover;
        const char *tip;
    } skinned[3] = {{kOk, 214, 216, 215, "Ok"}, {kCancel, 217, 219, 218, "Cancel"},
                    {kPick, 229, 231, 230, "Title FileSource"}};
    for (int i = 0; i < 3; ++i) {
        buttons_[i].SubclassDlgItem(skinned[i].id, m_hWnd);
        buttons_[i].SetBitmaps(skinned[i].plain, skinned[i].pressed, skinned[i].hover);
        buttons_[i].SetToolTip(skinned[i].tip);
    }
    number_.SubclassDlgItem(kNumber, m_hWnd);
    message_.SubclassDlgItem(kMessage, m_hWnd);
    for (ColorLabel *l : {&number_, &message_})
        l->SetFontName("Arial").SetFontSize(14).SetTextColor(RGB(0, 255, 0)).SetBkColor(RGB(0, 0, 0));
    char buf[8];
    for (UINT id : {kStartH, kStartM, kStartS, kDurH, kDurM, kDurS}) {
        const int last = id == kStartH || id == kDurH ? 23 : 59;
        for (int i = 0; i <= last; ++i) {
            std::snprintf(buf, sizeof buf, "%02d", i);
            SendDlgItemMessageA(m_hWnd, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(buf));
        }
    }
    ShowShuffle();
    /* 1. Number and the picker's format. */
    SetDlgItemText(kNumber, context.number);
    HWND picker = GetDlgItem(kDate);
    ::SendMessageA(picker, DTM_SETFORMATA, 0, reinterpret_cast<LPARAM>(" yyyy / MM / dd"));
    /* 2. The earliest start. */
    SelectTime(kStartH, kStartM, kStartS, context.earliestStart);
    /* 3. The entry's date. */
    if (!context.date.empty() && std::atoi(context.number.c_str()) != 0) {
        int y, m, d;
        ScheduleClock::SplitDate(context.date, y, m, d);
        SYSTEMTIME st = {};
        st.wYear = static_cast<WORD>(y);
        st.wMonth = static_cast<WORD>(m);
        st.wDay = static_cast<WORD>(d);
        ::SendMessageA(picker, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st));
    }
    /* 4. A modified title's own values. */
    if (context.mode == 2) {
        SetDlgItemText(kSubject, values.subject);
        SelectTime(kDurH, kDurM, kDurS, values.duration);
        SetDlgItemText(kFile, values.source);
        SelectTime(kStartH, kStartM, kStartS, values.start);
    } else {
        SelectTime(kDurH, kDurM, kDurS, 0);
    }
    /* 5. Only the first title chooses its date. */
    ::EnableWindow(picker, std::atoi(context.number.c_str()) <= 1);
    return TRUE;
}

void TitleEntryDialog::SelectTime(UINT h, UINT m, UINT s, int seconds)
{
    int hh, mm, ss;
    ScheduleClock::SplitSeconds(seconds < 0 ? 0 : seconds, hh, mm, ss);
    SendDlgItemMessageA(m_hWnd, h, CB_SETCURSEL, hh % 24, 0);
    SendDlgItemMessageA(m_hWnd, m, CB_SETCURSEL, mm, 0);
    SendDlgItemMessageA(m_hWnd, s, CB_SETCURSEL, ss, 0);
}

int TitleEntryDialog::ReadTime(UINT h, UINT m, UINT s) const
{
    auto v = [&](UINT id) { return std::atoi(GetDlgItemText(id).c_str()); };
    return v(h) * 3600 + v(m) * 60 + v(s);
}

void TitleEntryDialog::CheckTimeList(UINT id)
{
    const std::string typed = GetDlgItemText(id);
    DWORD from = 0, to = 0;
    SendDlgItemMessageA(m_hWnd, id, CB_GETEDITSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
    int caret = static_cast<int>(to);
    const std::string kept = TypedTimeText(typed, id == kStartH || id == kDurH, caret);
    if (kept == typed)
        return;
    SetDlgItemText(id, kept);
    SendDlgItemMessageA(m_hWnd, id, CB_SETEDITSEL, 0, MAKELPARAM(caret, caret));
}

void TitleEntryDialog::ToggleShuffle()
{
    context.shuffle = !context.shuffle;
    ShowShuffle();
}

void TitleEntryDialog::OnOK()
{
    TitleEntryValues v;
    v.start = ReadTime(kStartH, kStartM, kStartS);
    v.duration = ReadTime(kDurH, kDurM, kDurS);
    v.subject = GetDlgItemText(kSubject);
    v.source = GetDlgItemText(kFile);
    TitleEntryContext c = context;
    const std::string shown = GetDlgItemText(kDate);
    if (!shown.empty())
        c.date = shown;
    const std::string refusal = CheckTitleEntry(c, v);
    if (!refusal.empty()) {
        message_.SetWindowText(refusal);
        return;
    }
    values = v;
    dateText = c.date;
    shuffleAccepted = context.shuffle;
    context.shuffle = false;
    EndDialog(IDOK);
}
