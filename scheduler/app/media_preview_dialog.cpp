#include "media_preview_dialog.h"

#include <cstdio>

#include "glancer.h"
#include "skinned_controls.h"

namespace {

struct PreviewButton {
    UINT id;
    int x, y, w, h;
    UINT plain, pressed, hover;
    UINT tip;
};
const PreviewButton kPreviewButtons[] = {
    {MediaPreviewDialog::kClose, 349, 5, 14, 12, 172, 174, 172, 94},
    {MediaPreviewDialog::kRewind, 296, 163, 9, 9, 242, 243, 242, 89},
    {MediaPreviewDialog::kStop, 308, 163, 9, 9, 244, 245, 244, 90},
    {MediaPreviewDialog::kPause, 320, 163, 8, 9, 238, 239, 238, 92},
    {MediaPreviewDialog::kPlay, 331, 163, 9, 9, 240, 241, 240, 91},
    {MediaPreviewDialog::kForward, 343, 163, 9, 9, 236, 237, 236, 93},
};

struct PreviewText {
    UINT id;
    int x, y, w, h;
    COLORREF colour;
};
const PreviewText kPreviewTexts[] = {
    {MediaPreviewDialog::kPosition, 198, 163, 42, 10, RGB(0, 255, 0)},
    {MediaPreviewDialog::kDuration, 248, 163, 42, 10, RGB(0, 255, 0)},
    {MediaPreviewDialog::kNumber, 224, 52, 130, 24, 0x848284},
    {MediaPreviewDialog::kSize, 224, 81, 130, 24, 0x848284},
};

const char kVideoClass[] = "TarnellPreviewVideo";

std::string LoadText(UINT id)
{
    char buf[128] = "";
    LoadStringA(GetModuleHandleA(nullptr), id, buf, sizeof buf);
    return buf;
}

} // namespace

std::string PreviewClockText(int seconds)
{
    if (seconds < 0)
        seconds = 0;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", seconds / 3600, seconds / 60 % 60, seconds % 60);
    return buf;
}

std::string MediaPreviewDialog::DefaultColorBarPath()
{
    return ProgramFolder() + ".\\ColorBar\\colorbar.wmv";
}

MediaPreviewDialog::MediaPreviewDialog(HWND parent) : cl::CDialog(149, parent), colorBarPath(DefaultColorBarPath())
{
    handlers.Command(kClose, [this] { HidePane(); });
    handlers.Command(kRewind, [this] {
        StartTimer();
        MyRewind(5);
        ShowPosition();
    });
    handlers.Command(kForward, [this] {
        StartTimer();
        MyForward(5);
        ShowPosition();
    });
    handlers.Command(kPlay, [this] {
        StartTimer();
        MyRun();
    });
    handlers.Command(kStop, [this] {
        MyStop();
        StopTimer();
        ShowPosition();
    });
    handlers.Command(kPause, [this] {
        MyPause();
        StopTimer();
    });
    handlers.Message(WM_TIMER, [this](WPARAM id, LPARAM) -> LRESULT {
        if (id == kPositionTimer)
            ShowPosition();
        return 0;
    });
    KeepSkinnedFrame(handlers, *this, skin_, kWidth, kHeight);
    /* The path edit: grey text on black. */
    handlers.Message(WM_CTLCOLOREDIT, [this](WPARAM wp, LPARAM lp) -> LRESULT {
        if (reinterpret_cast<HWND>(lp) != GetDlgItem(kPath))
            return Default();
        ::SetTextColor(reinterpret_cast<HDC>(wp), 0x848284);
        ::SetBkMode(reinterpret_cast<HDC>(wp), TRANSPARENT);
        return reinterpret_cast<LRESULT>(black_);
    });
    handlers.Message(WM_CTLCOLORSTATIC, [this](WPARAM wp, LPARAM lp) -> LRESULT {
        if (reinterpret_cast<HWND>(lp) != GetDlgItem(kPath))
            return Default();
        ::SetTextColor(reinterpret_cast<HDC>(wp), 0x848284);
        ::SetBkMode(reinterpret_cast<HDC>(wp), TRANSPARENT);
        return reinterpret_cast<LRESULT>(black_);
    });
    handlers.Message(WM_DESTROY, [this](WPARAM, LPARAM) -> LRESULT {
        OnDestroy();
        return 0;
    });
}

MediaPreviewDialog::~MediaPreviewDialog()
{
    if (black_)
        DeleteObject(black_);
    if (skin_)
        DeleteObject(skin_);
}

BOOL MediaPreviewDialog::OnInitDialog()
{
    const HINSTANCE inst = GetModuleHandleA(nullptr);
    for (int i = 0; i < 4; ++i) {
        texts_[i].SubclassDlgItem(kPreviewTexts[i].id, m_hWnd);
        texts_[i].SetFontName("Arial").SetFontSize(10).SetTextColor(kPreviewTexts[i].colour);
        texts_[i].SetBkColor(RGB(0, 0, 0));
    }
    black_ = CreateSolidBrush(RGB(0, 0, 0));
    for (int i = 0; i < kButtons; ++i) {
        const PreviewButton &b = kPreviewButtons[i];
        buttons_[i].SubclassDlgItem(b.id, m_hWnd);
        buttons_[i].SetBitmaps(b.plain, b.pressed, b.hover);
        buttons_[i].SetToolTip(LoadText(b.tip).c_str());
    }
    skin_ = static_cast<HBITMAP>(LoadImageA(inst, MAKEINTRESOURCEA(235), IMAGE_BITMAP, 0, 0, 0));
    SetWindowRgn(m_hWnd, CreateSteppedRegion(kWidth, kHeight), TRUE);

    /* The video area: its own class so the player's window has a plain
     * black owner.  A second pane finds the class already there. */
    WNDCLASSA wc = {};
    wc.lpfnWndProc = ::DefWindowProcA;
    wc.hInstance = inst;
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hIcon = LoadIconA(inst, MAKEINTRESOURCEA(135));
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = kVideoClass;
    if (!RegisterClassA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        MessageBoxA(m_hWnd, "Couldn't register class! (Already registered?)", nullptr, MB_OK);
    video_ = CreateWindowExA(0, kVideoClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 27, 53, 160, 120, m_hWnd,
                             reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kVideo)), inst, nullptr);
    SetMyVideoWindows(video_);

    ::SetWindowPos(m_hWnd, nullptr, 0, 0, kWidth, kHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (const PreviewButton &b : kPreviewButtons)
        ::MoveWindow(GetDlgItem(b.id), b.x, b.y, b.w, b.h, TRUE);
    for (const PreviewText &t : kPreviewTexts)
        ::MoveWindow(GetDlgItem(t.id), t.x, t.y, t.w, t.h, TRUE);
    ::MoveWindow(GetDlgItem(kPath), 224, 110, 130, 44, TRUE);
    SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    return TRUE;
}

void MediaPreviewDialog::ShowSource(const std::string &path, bool deviceOrUrl, int number)
{
    SetMyVideoWindows(video_);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d", number);
    if (deviceOrUrl) {
        /* Devices and addresses never reach the player. */
        StopTimer();
        SetDlgItemText(kSize, "");
        SetDlgItemText(kDuration, "");
        opened_ = colorBarPath;
        MyFileOpen(colorBarPath.c_str());
        SetDlgItemText(kSize, "0 x 0");
        SetDlgItemText(kDuration, "00:00:00");
    } else {
        opened_ = path;
        MyFileOpen(path.c_str());
        int w = 0, h = 0;
        GetMyVideoSize(&w, &h);
        char size[48];
        if (w < 0 || h < 0)
            w = h = 0;
        std::snprintf(size, sizeof size, "%d x %d", w, h);
        SetDlgItemText(kSize, size);
        SetDlgItemText(kDuration, PreviewClockText(GetMyVideoDuration()));
    }
    SetDlgItemText(kNumber, buf);
    SetDlgItemText(kPath, path);
    ShowPosition();
}

void MediaPreviewDialog::HidePane()
{
    MyPause();
    StopTimer();
    if (m_hWnd)
        ShowWindow(SW_HIDE);
}

void MediaPreviewDialog::StartTimer()
{
    ::SetTimer(m_hWnd, kPositionTimer, 1000, nullptr);
    timerOn_ = true;
}

void MediaPreviewDialog::StopTimer()
{
    if (m_hWnd)
        ::KillTimer(m_hWnd, kPositionTimer);
    timerOn_ = false;
}

void MediaPreviewDialog::ShowPosition()
{
    SetDlgItemText(kPosition, PreviewClockText(GetMyPosition()));
}

void MediaPreviewDialog::OnDestroy()
{
    StopTimer();
    MyReleaseAll();
}
