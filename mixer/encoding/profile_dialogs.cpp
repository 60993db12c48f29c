#include "profile_dialogs.h"
#include "app.h"
#include "encoding_ids.h"
#include "profile_manager_dlg.h"
#include <cstdlib>

namespace {
struct Place { UINT id; int x, y, w, h; };

/* Centres the window of w x h pixels on the screen and puts its controls
 * at their client-pixel rectangles. */
void Layout(HWND dlg, int w, int h, const Place *places, size_t n)
{
    MoveWindow(dlg, GetSystemMetrics(SM_CXFULLSCREEN) / 2 - w / 2, GetSystemMetrics(SM_CYFULLSCREEN) / 2 - h / 2, w, h,
               FALSE);
    for (size_t i = 0; i < n; ++i) {
        HWND c = GetDlgItem(dlg, places[i].id);
        if (c) MoveWindow(c, places[i].x, places[i].y, places[i].w, places[i].h, FALSE);
    }
}

const char *AppName()
{
    cl::CWinApp *app = cl::CWinApp::Current();
    return app ? app->m_pszAppName.c_str() : "";
}
} // namespace

long DecimalOf(const std::string &text)
{
    return strtol(text.c_str(), nullptr, 10);
}

CProfileTargetDlg::CProfileTargetDlg(HWND parent) : CDialog(IDD_PROFILE_TARGET, parent) {}

BOOL CProfileTargetDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    static const Place places[] = {{IDC_TARGET_NAME_LABEL, 30, 10, 100, 20}, {IDC_TARGET_NAME, 30, 35, 240, 20},
                                   {IDC_TARGET_BITRATE_LABEL, 30, 65, 100, 20}, {IDC_TARGET_BITRATE, 30, 90, 150, 20},
                                   {IDC_TARGET_BPS, 190, 90, 50, 20}, {IDOK, 140, 130, 60, 20},
                                   {IDCANCEL, 210, 130, 60, 20}};
    Layout(m_hWnd, 300, 190, places, sizeof(places) / sizeof(places[0]));
    SetDlgItemText(IDC_TARGET_NAME, m_strTargetName);
    EnableWindow(GetDlgItem(IDC_TARGET_NAME), m_bNameEditable == 1);
    SetDlgItemText(IDC_TARGET_BITRATE, std::to_string((long)m_nMaxBitrate));
    return TRUE;
}

void CProfileTargetDlg::OnOK()
{
    m_strTargetName = GetDlgItemText(IDC_TARGET_NAME);
    long bitrate = DecimalOf(GetDlgItemText(IDC_TARGET_BITRATE));
    m_nMaxBitrate = bitrate > 0x7FFFFFFF ? 0x7FFFFFFF : bitrate < 0 ? -1 : (INT32)bitrate;
    if (m_bNameEditable == 1 && m_strTargetName.empty()) {
        MessageBoxA(m_hWnd, "Target Name is Empty!", AppName(), MB_OK);
        return;
    }
    if (m_nMaxBitrate > 0) {
        EndDialog(IDOK);
        return;
    }
    MessageBoxA(m_hWnd, "Max Bitrate must be greater than 0", AppName(), MB_OK);
}

CVideoSizeDlg::CVideoSizeDlg(HWND parent) : CDialog(IDD_VIDEO_SIZE, parent) {}

BOOL CVideoSizeDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    static const Place places[] = {{IDC_SIZE_GROUP, 10, 10, 224, 75},       {IDC_SIZE_WIDTH_LABEL, 20, 30, 87, 20},
                                   {IDC_SIZE_HEIGHT_LABEL, 137, 30, 87, 20}, {IDC_SIZE_WIDTH, 20, 50, 87, 20},
                                   {IDC_SIZE_X_LABEL, 117, 50, 10, 20},     {IDC_SIZE_HEIGHT, 137, 50, 82, 20},
                                   {IDOK, 104, 95, 60, 20},                 {IDCANCEL, 174, 95, 60, 20}};
    Layout(m_hWnd, 250, 150, places, sizeof(places) / sizeof(places[0]));
    return TRUE;
}

void CVideoSizeDlg::OnOK()
{
    long w = DecimalOf(GetDlgItemText(IDC_SIZE_WIDTH));
    long h = DecimalOf(GetDlgItemText(IDC_SIZE_HEIGHT));
    /* Sides past what any encoder takes are refused with the same message. */
    if (w >= 1 && h >= 1 && w <= 16384 && h <= 16384) {
        m_nWidth = (INT32)w;
        m_nHeight = (INT32)h;
        EndDialog(IDOK);
        return;
    }
    MessageBoxA(m_hWnd, "Please type valid video Size.", AppName(), MB_OK);
    SetDlgItemText(IDC_SIZE_WIDTH, "320");
    SetDlgItemText(IDC_SIZE_HEIGHT, "240");
}

/* Enter and Escape close neither dialog. */
BOOL CProfileTargetDlg::PreTranslateMessage(MSG *msg)
{
    return IsDialogClosingKey(msg) ? TRUE : CDialog::PreTranslateMessage(msg);
}

BOOL CVideoSizeDlg::PreTranslateMessage(MSG *msg)
{
    return IsDialogClosingKey(msg) ? TRUE : CDialog::PreTranslateMessage(msg);
}
