#include "source_entry_dialog.h"

#include <commctrl.h>
#include <cstdio>
#include <cstdlib>

#include "clock/schedule_clock.h"
#include "filedlg.h"
#include "media_length.h"
#include "schedule/schedule_words.h"
#include "title_entry_rules.h"

namespace {
const UINT kTimeBoxes[] = {SourceEntryDialog::kStartH, SourceEntryDialog::kStartM, SourceEntryDialog::kStartS,
                           SourceEntryDialog::kDurH,   SourceEntryDialog::kDurM,   SourceEntryDialog::kDurS,
                           SourceEntryDialog::kPosH,   SourceEntryDialog::kPosM,   SourceEntryDialog::kPosS};
/* The controls' places in client pixels. */
const ControlPlace kPlaces[] = {
    {SourceEntryDialog::kNumber, 78, 46, 87, 18},     {SourceEntryDialog::kDate, 411, 47, 118, 20},
    {SourceEntryDialog::kSubject, 28, 96, 238, 24},   {SourceEntryDialog::kFileKind, 332, 102, 11, 11},
    {SourceEntryDialog::kDeviceKind, 458, 102, 11, 11}, {SourceEntryDialog::kVideo, 117, 160, 224, 0},
    {SourceEntryDialog::kAudio, 117, 188, 224, 0},    {SourceEntryDialog::kPickVideo, 350, 163, 31, 19},
    {SourceEntryDialog::kPickAudio, 350, 191, 31, 19}, {SourceEntryDialog::kTrTime, 464, 161, 65, 0},
    {SourceEntryDialog::kStartH, 120, 255, 42, 0},    {SourceEntryDialog::kStartM, 180, 255, 42, 0},
    {SourceEntryDialog::kStartS, 240, 255, 42, 0},    {SourceEntryDialog::kDurH, 120, 283, 42, 0},
    {SourceEntryDialog::kDurM, 180, 283, 42, 0},      {SourceEntryDialog::kDurS, 240, 283, 42, 0},
    {SourceEntryDialog::kPosH, 120, 311, 42, 0},      {SourceEntryDialog::kPosM, 180, 311, 42, 0},
    {SourceEntryDialog::kPosS, 240, 311, 42, 0},      {SourceEntryDialog::kLeft, 318, 255, 19, 20},
    {SourceEntryDialog::kHome, 344, 257, 16, 16},     {SourceEntryDialog::kRight, 367, 255, 19, 20},
    {SourceEntryDialog::kType, 400, 255, 130, 20},    {SourceEntryDialog::kMessage, 36, 352, 251, 19},
    {SourceEntryDialog::kOk, 365, 355, 77, 19},       {SourceEntryDialog::kCancel, 454, 355, 77, 19},
    {SourceEntryDialog::kClose, 527, 5, 14, 12},
};
bool IsHourBox(UINT id)
{
    return id == SourceEntryDialog::kStartH || id == SourceEntryDialog::kDurH || id == SourceEntryDialog::kPosH;
}
} // namespace

SourceEntryDialog::SourceEntryDialog(HWND parent) : cl::CDialog(138, parent)
{
    SYSTEMTIME st;
    GetLocalTime(&st);
    start = ScheduleClock::ToSeconds(st.wHour, st.wMinute, st.wSecond);
    handlers.Command(kOk, [this] { OnOK(); });
    handlers.Command(kCancel, [this] { OnCancel(); });
    handlers.Command(kClose, [this] { OnCancel(); });
    handlers.Command(kLeft, [this] { ShowPage(PageLeft(page_)); });
    handlers.Command(kRight, [this] { ShowPage(PageRight(page_)); });
    handlers.Command(kHome, [this] { ShowPage(0); });
    handlers.Command(kPickVideo, [this] {
        const std::string path = PickMediaFile();
        if (!path.empty())
            TakeVideoFile(path);
    });
    handlers.Command(kPickAudio, [this] {
        const std::string path = PickMediaFile();
        if (!path.empty())
            TakeAudioFile(path);
    });
    handlers.Command(kFileKind, [this] { SetKind(kKindFile); });
    handlers.Command(kDeviceKind, [this] { SetKind(kKindDevice); });
    handlers.CommandCode(kVideo, CBN_EDITCHANGE, [this] { SetDlgItemText(kAudio, GetDlgItemText(kVideo)); });
    for (UINT id : kTimeBoxes)
        handlers.CommandCode(id, CBN_EDITCHANGE, [this] { CheckTimeBoxes(); });
    handlers.Message(PictureCell::kPictureClicked, [this](WPARAM id, LPARAM) -> LRESULT {
        if (id >= kFirstCell && id < kFirstCell + kTransitionCount)
            SelectTransition(static_cast<int>(id - kFirstCell));
        return 0;
    });
    /* One size, the skin's background; a press on it moves the dialog. */
    KeepSkinnedFrame(handlers, *this, background_, kWidth, kHeight);
    handlers.Message(WM_LBUTTONDOWN, [this](WPARAM, LPARAM lp) -> LRESULT {
        PostMessage(WM_NCLBUTTONDOWN, HTCAPTION, lp);
        return 0;
    });
}

SourceEntryDialog::~SourceEntryDialog()
{
    if (background_)
        DeleteObject(background_);
    for (HBITMAP b : pagingFaces_)
        if (b)
            DeleteObject(b);
}

BOOL SourceEntryDialog::OnInitDialog()
{
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, kWidth, kHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    PlaceControls(m_hWnd, kPlaces, sizeof kPlaces / sizeof kPlaces[0]);
    if (!background_)
        background_ = static_cast<HBITMAP>(
            LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kBackground), IMAGE_BITMAP, 0, 0, 0));
    SetWindowRgn(m_hWnd, CreateSteppedRegion(kWidth, kHeight), TRUE);
    SetWindowText("Source");
    /* OK, Cancel and the close picture: plain, pressed, lit. */
    const struct {
        UINT id, plain, pressed, hover;
        const char *tip;
    } skinned[3] = {{kOk, 214, 216, 215, "OK"}, {kCancel, 217, 219, 218, "Cancel"}, {kClose, 174, 172, 172, "Cancel"}};
    for (int i = 0; i < 3; ++i) {
        buttons_[i].SubclassDlgItem(skinned[i].id, m_hWnd);
        buttons_[i].SetBitmaps(skinned[i].plain, skinned[i].pressed, skinned[i].hover);
        buttons_[i].SetToolTip(skinned[i].tip);
    }
    /* Left, Home, Right: plain, lit, pressed faces 220-228. */
    const UINT pagingIds[3] = {kLeft, kHome, kRight};
    for (int i = 0; i < 3; ++i) {
        for (int f = 0; f < 3; ++f)
            if (!pagingFaces_[i * 3 + f])
                pagingFaces_[i * 3 + f] = LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(220 + i * 3 + f));
        paging_[i].SubclassDlgItem(pagingIds[i], m_hWnd);
        paging_[i].SetBitmaps(pagingFaces_[i * 3], pagingFaces_[i * 3 + 1], pagingFaces_[i * 3 + 2]);
    }
    number_.SubclassDlgItem(kNumber, m_hWnd);
    type_.SubclassDlgItem(kType, m_hWnd);
    message_.SubclassDlgItem(kMessage, m_hWnd);
    for (ColorLabel *l : {&number_, &type_, &message_})
        l->SetFontName("MS Sans Serif").SetBkColor(RGB(0, 0, 0));
    number_.SetTextColor(RGB(0, 255, 0)).SetFontBold(TRUE);
    type_.SetTextColor(RGB(255, 255, 0));
    message_.SetTextColor(RGB(0, 255, 0));
    char buf[16];
    for (UINT id : kTimeBoxes)
        for (int i = 0; i <= (IsHourBox(id) ? 23 : 59); ++i) {
            std::snprintf(buf, sizeof buf, "%02d", i);
            SendDlgItemMessageA(m_hWnd, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(buf));
        }
    for (int i = 1; i <= 10; ++i) {
        std::snprintf(buf, sizeof buf, "%d.0", i);
        SendDlgItemMessageA(m_hWnd, kTrTime, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(buf));
    }
    /* The palette: one picture cell per transition, five to a page.  A
     * missing picture leaves its cell blank (still clickable). */
    if (!PictureCell::RegisterCellClass())
        message_.SetWindowText("Couldn't register class!!");
    for (int k = 0; k < kTransitionCount; ++k) {
        const int x = 315 + 44 * (k % sourceentry::kPagePictures);
        cells_[k].CreateEx(0, PictureCell::kClassName, "", WS_CHILD, RECT{x, 281, x + 40, 281 + 40}, m_hWnd,
                           kFirstCell + k);
        char name[64];
        std::snprintf(name, sizeof name, ".\\Transition\\%s.bmp", kTransitionNames[k]);
        cells_[k].SetBitmap(LoadPictureBitmap(name));
    }
    HWND picker = GetDlgItem(kDate);
    ::SendMessageA(picker, DTM_SETFORMATA, 0, reinterpret_cast<LPARAM>(" yyyy / MM / dd"));
    int y, m, d;
    ScheduleClock::SplitDate(date, y, m, d);
    SYSTEMTIME st = {};
    st.wYear = static_cast<WORD>(y);
    st.wMonth = static_cast<WORD>(m);
    st.wDay = static_cast<WORD>(d);
    ::SendMessageA(picker, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st));
    SelectTime(kStartH, kStartM, kStartS, start);
    SelectTime(kDurH, kDurM, kDurS, duration);
    SelectTime(kPosH, kPosM, kPosS, position);
    std::snprintf(buf, sizeof buf, "%04d", context.number);
    SetDlgItemText(kNumber, buf);
    SetDlgItemText(kSubject, subject);
    SetKind(kind);
    SetDlgItemText(kVideo, video);
    SetDlgItemText(kAudio, audio);
    SetDlgItemText(kTrTime, transitionTime);
    SelectTransition(transition);
    ShowPage(PageOfTransition(transition));
    return TRUE;
}

void SourceEntryDialog::ShowPage(int page)
{
    page_ = page < 0 ? 0 : page > sourceentry::kLastPage ? sourceentry::kLastPage : page;
    for (int k = 0; k < kTransitionCount; ++k)
        ::ShowWindow(GetDlgItem(kFirstCell + k), k / sourceentry::kPagePictures == page_ ? SW_SHOW : SW_HIDE);
}

void SourceEntryDialog::SelectTransition(int index)
{
    if (index < 0 || index >= kTransitionCount)
        index = 0;
    if (transition >= 0 && transition < kTransitionCount && cells_[transition].m_hWnd)
        cells_[transition].SetSelected(FALSE);
    transition = index;
    if (cells_[transition].m_hWnd)
        cells_[transition].SetSelected(TRUE);
    SetDlgItemText(kType, kTransitionNames[index]);
}

void SourceEntryDialog::SetKind(int k)
{
    kind = k == kKindDevice ? kKindDevice : kKindFile;
    CheckRadioButton(m_hWnd, kFileKind, kDeviceKind, kind == kKindDevice ? kDeviceKind : kFileKind);
    ::EnableWindow(GetDlgItem(kPickVideo), kind != kKindDevice);
    ::EnableWindow(GetDlgItem(kPickAudio), kind != kKindDevice);
    for (UINT id : {kVideo, kAudio}) {
        ::SendDlgItemMessageA(m_hWnd, id, CB_RESETCONTENT, 0, 0);
        SetDlgItemText(id, "");
    }
    if (kind == kKindDevice) {
        for (const auto &n : videoDevices)
            ::SendDlgItemMessageA(m_hWnd, kVideo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(n.c_str()));
        for (const auto &n : audioDevices)
            ::SendDlgItemMessageA(m_hWnd, kAudio, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(n.c_str()));
    }
}

void SourceEntryDialog::SelectTime(UINT h, UINT m, UINT s, int seconds)
{
    int hh, mm, ss;
    ScheduleClock::SplitSeconds(seconds < 0 ? 0 : seconds, hh, mm, ss);
    ::SendDlgItemMessageA(m_hWnd, h, CB_SETCURSEL, hh % 24, 0);
    ::SendDlgItemMessageA(m_hWnd, m, CB_SETCURSEL, mm, 0);
    ::SendDlgItemMessageA(m_hWnd, s, CB_SETCURSEL, ss, 0);
}

int SourceEntryDialog::ReadTime(UINT h, UINT m, UINT s) const
{
    auto v = [&](UINT id) { return std::atoi(GetDlgItemText(id).c_str()); };
    return v(h) * 3600 + v(m) * 60 + v(s);
}

void SourceEntryDialog::CheckTimeBoxes()
{
    for (UINT id : kTimeBoxes) {
        const std::string t = GetDlgItemText(id);
        if (!TimeListTextValid(t, IsHourBox(id)))
            ::SendDlgItemMessageA(m_hWnd, id, CB_SETCURSEL, 0, 0);
    }
}

void SourceEntryDialog::OnOK()
{
    SourceEntryValues v;
    v.duration = ReadTime(kDurH, kDurM, kDurS);
    v.subject = GetDlgItemText(kSubject);
    v.video = GetDlgItemText(kVideo);
    v.audio = GetDlgItemText(kAudio);
    int ch = 0;
    const std::string refusal = CheckSourceEntry(context, v, &ch);
    if (!refusal.empty()) {
        message_.SetWindowText(refusal);
        return;
    }
    start = ReadTime(kStartH, kStartM, kStartS);
    duration = v.duration;
    position = ReadTime(kPosH, kPosM, kPosS);
    subject = v.subject;
    video = v.video;
    audio = v.audio;
    transitionTime = GetDlgItemText(kTrTime);
    dateText = GetDlgItemText(kDate);
    channel = ch;
    EndDialog(IDOK);
}

std::string SourceEntryDialog::PickMediaFile()
{
    if (chooseMediaFile)
        return chooseMediaFile();
    cl::CFileDialog dlg(true, nullptr, nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                        "All Media Files(*.avi;*.mpg;*.mpeg;*.dat;*.wmv;*.asf;*.bmp;*.gif;*.jpg)|"
                        "*.avi;*.mpg;*.mpeg;*.dat;*.wmv;*.asf;*.bmp;*.gif;*.jpg|AVI Files(*.avi)|*.avi|"
                        "MPEG 1 Files(*.mpg;*.mpeg)|*.mpg;*.mpeg|Video CD data(*.dat)|*.dat|"
                        "WMV Files(*.wmv;*.asf)|*.wmv;*.asf||",
                        m_hWnd);
    dlg.SetTitle("Get Media File Name");
    return dlg.DoModal() == IDOK ? dlg.GetPathName() : std::string();
}

void SourceEntryDialog::TakeAudioFile(const std::string &path)
{
    const LRESULT i = ::SendDlgItemMessageA(m_hWnd, kAudio, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(path.c_str()));
    ::SendDlgItemMessageA(m_hWnd, kAudio, CB_SETCURSEL, i, 0);
}

void SourceEntryDialog::TakeVideoFile(const std::string &path)
{
    const LRESULT i = ::SendDlgItemMessageA(m_hWnd, kVideo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(path.c_str()));
    ::SendDlgItemMessageA(m_hWnd, kVideo, CB_SETCURSEL, i, 0);
    TakeAudioFile(path);
    /* The length, measured out of sight. */
    const int seconds = MeasureMediaSeconds(m_hWnd, path);
    if (seconds >= 0)
        SelectTime(kDurH, kDurM, kDurS, seconds);
}
