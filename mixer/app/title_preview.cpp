#include "title_preview.h"
#include "engine_calls.h"
#include "lumicard.h"
#include "resource.h"
#include "title_ids.h"
#include <mmsystem.h>

const POINT kTitlePreviewOutline[40] = {
    {0, 9}, {1, 9}, {1, 6}, {3, 4}, {3, 3}, {4, 3}, {6, 1}, {9, 1}, {9, 0}, {340, 0},
    {340, 1}, {343, 1}, {345, 3}, {346, 3}, {346, 4}, {348, 6}, {348, 9}, {349, 9}, {349, 305}, {348, 305},
    {348, 308}, {346, 310}, {346, 311}, {345, 311}, {343, 313}, {340, 313}, {340, 314}, {9, 314}, {9, 313}, {6, 313},
    {4, 311}, {3, 311}, {3, 309}, {2, 309}, {1, 308}, {1, 304}, {0, 304}, {0, 0}, {0, 0}, {0, 0}};

std::atomic<int> CTitlePreviewDlg::live_{0};

CTitlePreviewDlg::CTitlePreviewDlg(CLumicard &box, const int &surfaceWidth, const int &surfaceHeight)
    : CDialog(IDD_TITLE_PREVIEW), box_(box), surfaceWidth_(surfaceWidth), surfaceHeight_(surfaceHeight)
{
    handlers.Command(IDC_PREVIEW_SHOW, [this] { OnShow(); });
    handlers.Command(IDC_PREVIEW_EXIT, [this] { OnExit(); });
    handlers.Message(WM_ERASEBKGND, [this](WPARAM wp, LPARAM) {
        HDC dc = (HDC)wp;
        if (background_) {
            HDC mem = CreateCompatibleDC(dc);
            HGDIOBJ old = SelectObject(mem, background_);
            BitBlt(dc, 0, 0, 350, 315, mem, 0, 0, SRCCOPY);
            SelectObject(mem, old);
            DeleteDC(mem);
        }
        return (LRESULT)TRUE;
    });
    handlers.Message(WM_LBUTTONDOWN, [this](WPARAM, LPARAM lp) {
        ReleaseCapture();
        ::SendMessageA(m_hWnd, WM_NCLBUTTONDOWN, HTCAPTION, lp);
        return (LRESULT)0;
    });
    handlers.Message(WM_SIZE, [this](WPARAM type, LPARAM lp) {
        if (type != SIZE_MINIMIZED && (LOWORD(lp) != 350 || HIWORD(lp) != 315))
            SetWindowPos(m_hWnd, nullptr, 0, 0, 350, 315, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        return Default();
    });
    /* Closing stops the drawing; "exit" only hides. */
    handlers.Message(WM_CLOSE, [this](WPARAM, LPARAM) {
        StopTimer();
        ShowWindow(SW_HIDE);
        return (LRESULT)0;
    });
    handlers.Message(WM_DESTROY, [this](WPARAM, LPARAM) {
        StopTimer();
        return Default();
    });
}

CTitlePreviewDlg::~CTitlePreviewDlg()
{
    StopTimer();
    if (m_hWnd) DestroyWindow();
    for (HBITMAP b : {background_, showUp_, showDown_, exitUp_, exitDown_})
        if (b) DeleteObject(b);
}

BOOL CTitlePreviewDlg::OnInitDialog()
{
    timer_ = 0;
    HINSTANCE inst = GetModuleHandleA(nullptr);
    auto load = [inst](UINT id) { return (HBITMAP)LoadImageA(inst, MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, 0); };
    background_ = load(IDB_PREVIEW_BACKGROUND);
    showUp_ = load(IDB_PREVIEW_SHOW_UP);
    showDown_ = load(IDB_PREVIEW_SHOW_UP + 1);
    exitUp_ = load(IDB_EXIT_UP);
    exitDown_ = load(IDB_EXIT_DOWN);
    if (show_.SubclassWindow(GetDlgItem(IDC_PREVIEW_SHOW))) show_.Setup(showUp_, showDown_, showDown_, 1, nullptr);
    if (exit_.SubclassWindow(GetDlgItem(IDC_PREVIEW_EXIT))) {
        exit_.Setup(exitUp_, exitDown_, exitDown_, 1, nullptr);
        exit_.SetToolTip("Title Preview Exit");
    }
    area_ = GetDlgItem(IDC_PREVIEW_AREA);

    SetWindowRgn(m_hWnd, nullptr, FALSE);
    SetWindowRgn(m_hWnd, CreatePolygonRgn(kTitlePreviewOutline, 40, ALTERNATE), TRUE);
    SetWindowPos(m_hWnd, nullptr, 0, 0, 350, 315, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    Layout();
    return TRUE;
}

void CTitlePreviewDlg::Layout()
{
    auto place = [this](UINT id, int x, int y, int w, int h) {
        if (HWND c = GetDlgItem(id)) SetWindowPos(c, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
    };
    place(IDC_PREVIEW_EXIT, 316, 5, 14, 12);
    place(IDC_PREVIEW_SHOW, 137, 283, 77, 19);
    if (surfaceWidth_ == 720) place(IDC_PREVIEW_AREA, 15, 50, 320, 213);
    else place(IDC_PREVIEW_AREA, 15, 37, 320, 240);
}

void CTitlePreviewDlg::StopTimer()
{
    if (!timer_) return;
    timeKillEvent(timer_);
    timeEndPeriod(kPreviewTimerMs);
    timer_ = 0;
    --live_;
}

void CTitlePreviewDlg::OnShow()
{
    box_.LMSaveAsPreview();
    StopTimer();
    if (area_ && g_engine.PreviewTitle) {
        /* The engine scales its work-space surface onto the 320 by 240 area itself. */
        HDC dc = ::GetDC(area_);
        g_engine.PreviewTitle(dc, TRUE);
        ::ReleaseDC(area_, dc);
    }
    timeBeginPeriod(kPreviewTimerMs);
    timer_ = timeSetEvent(kPreviewTimerMs, kPreviewTimerMs, OnTimer, (DWORD_PTR)this,
                          TIME_PERIODIC | TIME_CALLBACK_FUNCTION | TIME_KILL_SYNCHRONOUS);
    if (timer_) ++live_;
    else timeEndPeriod(kPreviewTimerMs);
}

void CALLBACK CTitlePreviewDlg::OnTimer(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR)
{
    auto *self = (CTitlePreviewDlg *)user;
    HWND area = self->area_;
    if (!area || !g_engine.PreviewTitle) return;
    HDC dc = ::GetDC(area);
    if (!dc) return;
    g_engine.PreviewTitle(dc, FALSE);
    ::ReleaseDC(area, dc);
    ++self->frames_;
}

void CTitlePreviewDlg::OnExit() { ShowWindow(SW_HIDE); }
