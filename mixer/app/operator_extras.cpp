#include "operator_extras.h"
#include "engine_calls.h"
#include "mixer_dlg.h"
#include "resource.h"
#include <commctrl.h>
#include <cstdlib>
#include <shellapi.h>

/* ---- the transition-time field ---- */

bool CorrectTransTimeField(const std::string &text, std::string *corrected)
{
    if (text.empty()) return false;
    const char *s = text.c_str();
    char *end = nullptr;
    double t = strtod(s, &end);
    bool number = end != s;
    const char *out = nullptr;
    if (!number || !(t >= 0)) out = "0.1";
    else if (t > 10.0) out = "10.0";
    if (!out || text == out) return false;
    *corrected = out;
    return true;
}

/* ---- monitors ---- */

std::vector<RECT> &CMonitorList::StandIn()
{
    static std::vector<RECT> layout;
    return layout;
}

int CMonitorList::SystemCount()
{
    if (!StandIn().empty()) return (int)StandIn().size();
    return GetSystemMetrics(SM_CMONITORS);
}

namespace {
BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM list)
{
    reinterpret_cast<std::vector<CMonitorInfo> *>(list)->emplace_back(monitor);
    return TRUE;
}
} // namespace

void CMonitorList::Build()
{
    monitors.clear();
    if (!StandIn().empty()) {
        for (const RECT &r : StandIn()) monitors.emplace_back(r);
        return;
    }
    EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&monitors));
    if (monitors.empty()) {
        /* No multi-monitor support: one monitor covering the screen. */
        RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        monitors.emplace_back(screen);
    }
}

int CMonitorList::TvOutIndex() const
{
    if (monitors.size() < 2) return -1;
    return monitors[1].IsPrimary() ? 0 : 1;
}

RECT CMonitorInfo::FullRect() const
{
    if (standIn_) return rect_;
    MONITORINFO mi = {};
    mi.cbSize = sizeof(mi);
    if (!monitor_ || !GetMonitorInfoA(monitor_, &mi)) return RECT{};
    return mi.rcMonitor;
}

bool CMonitorInfo::IsPrimary() const
{
    RECT r = FullRect();
    return r.left <= 0 && r.top <= 0 && r.right > 0 && r.bottom > 0;
}

/* ---- TV-out window ---- */

CTvOutDlg::CTvOutDlg(HWND parent) : CDialog(IDD_TVOUT, parent)
{
    handlers.Message(WM_SIZE, [this](WPARAM, LPARAM lp) {
        if (HWND v = VideoArea())
            ::SetWindowPos(v, nullptr, 0, 0, LOWORD(lp), HIWORD(lp), SWP_NOZORDER | SWP_NOACTIVATE);
        return (LRESULT)0;
    });
    /* The window close message ends the window (the dialog's own Esc and Enter do not). */
    handlers.Message(WM_CLOSE, [this](WPARAM, LPARAM) {
        DestroyWindow();
        return (LRESULT)0;
    });
}

BOOL CTvOutDlg::OnInitDialog()
{
    RECT rc = GetClientRect();
    if (HWND v = VideoArea()) ::SetWindowPos(v, nullptr, 0, 0, rc.right, rc.bottom, SWP_NOZORDER | SWP_NOACTIVATE);
    return TRUE;
}

/* ---- colour correction dialog ---- */

const POINT CHslEffectDlg::kOutline[36] = {
    {0, 9}, {1, 9}, {1, 6}, {3, 4}, {3, 3}, {6, 1}, {9, 1}, {9, 0}, {290, 0}, {290, 1}, {293, 1}, {295, 3},
    {296, 3}, {296, 4}, {298, 6}, {298, 9}, {299, 9}, {299, 190}, {298, 190}, {298, 193}, {296, 195}, {296, 196},
    {295, 196}, {293, 198}, {290, 198}, {290, 198}, {290, 199}, {9, 199}, {9, 198}, {6, 198}, {4, 196}, {3, 196},
    {3, 195}, {1, 193}, {1, 190}, {0, 190}};

namespace {
const UINT kSliderIds[3] = {IDC_HSL_HUE, IDC_HSL_SAT, IDC_HSL_LIGHT};
const UINT kFieldIds[3] = {IDC_HSL_HUE_EDIT, IDC_HSL_SAT_EDIT, IDC_HSL_LIGHT_EDIT};
/* Slider position = offset + this. */
const int kBias[3] = {180, 100, 100};
} // namespace

CHslEffectDlg::CHslEffectDlg(HWND parent, int h, int s, int l)
    : CDialog(IDD_HSL_EFFECT, parent), hue(h), saturation(s), lightness(l)
{
    skin_ = (HBITMAP)LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_HSL_SKIN), IMAGE_BITMAP, 0, 0, 0);
    handlers.Message(WM_ERASEBKGND, [this](WPARAM wp, LPARAM) {
        if (!skin_) return Default();
        HDC mem = CreateCompatibleDC((HDC)wp);
        HGDIOBJ old = SelectObject(mem, skin_);
        BitBlt((HDC)wp, 0, 0, 300, 200, mem, 0, 0, SRCCOPY);
        SelectObject(mem, old);
        DeleteDC(mem);
        return (LRESULT)TRUE;
    });
    handlers.Message(WM_HSCROLL, [this](WPARAM, LPARAM lp) {
        for (int i = 0; i < 3; ++i)
            if ((HWND)lp == Slider(i)) OnSliderMoved(i);
        return (LRESULT)0;
    });
    for (int i = 0; i < 3; ++i) handlers.CommandCode(kFieldIds[i], EN_CHANGE, [this, i] { OnFieldEdited(i); });
    handlers.Command(IDC_HSL_RESET, [this] { OnReset(); });
    handlers.Message(WM_APP, [this](WPARAM, LPARAM) {
        if (script) script(*this);
        return (LRESULT)0;
    });
}

CHslEffectDlg::~CHslEffectDlg()
{
    if (skin_) DeleteObject(skin_);
}

HWND CHslEffectDlg::Slider(int i) const { return i >= 0 && i < 3 ? GetDlgItem(kSliderIds[i]) : nullptr; }
HWND CHslEffectDlg::Field(int i) const { return i >= 0 && i < 3 ? GetDlgItem(kFieldIds[i]) : nullptr; }

void CHslEffectDlg::Place(UINT id, int x, int y, int w, int h)
{
    if (HWND c = GetDlgItem(id)) ::SetWindowPos(c, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL CHslEffectDlg::OnInitDialog()
{
    SetWindowPos(m_hWnd, nullptr, 0, 0, 300, 200, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowRgn(m_hWnd, CreatePolygonRgn(kOutline, 36, ALTERNATE), TRUE);
    Place(IDOK, 41, 166, 67, 19);
    Place(IDCANCEL, 117, 166, 67, 19);
    Place(IDC_HSL_RESET, 193, 166, 67, 19);
    static const int rows[3][2] = {{58, 56}, {95, 93}, {134, 132}};
    for (int i = 0; i < 3; ++i) {
        Place(kSliderIds[i], 28, rows[i][0], 212, 19);
        Place(kFieldIds[i], 251, rows[i][1], 28, 18);
    }
    ok_.SubclassWindow(GetDlgItem(IDOK));
    ok_.SetBitmaps(IDB_OK_UP, IDB_OK_UP + 1);
    cancel_.SubclassWindow(GetDlgItem(IDCANCEL));
    cancel_.SetBitmaps(IDB_CANCEL_UP, IDB_CANCEL_UP + 1);
    reset_.SubclassWindow(GetDlgItem(IDC_HSL_RESET));
    reset_.SetBitmaps(IDB_RESET_UP, IDB_RESET_UP + 1);
    for (int i = 0; i < 3; ++i) {
        sliders_[i].SubclassWindow(Slider(i));
        sliders_[i].SetBitmaps(IDB_HSL_CHANNEL, IDB_HSL_THUMB, IDC_SLIDER_THUMB_CURSOR);
        sliders_[i].SetRange(0, 2 * kBias[i]);
    }
    const int values[3] = {hue, saturation, lightness};
    for (int i = 0; i < 3; ++i) {
        ::SendMessageA(Slider(i), TBM_SETPOS, TRUE, values[i] + kBias[i]);
        SetDlgItemText(kFieldIds[i], cl::Format("%d", values[i]));
    }
    if (script) PostMessage(WM_APP);
    return TRUE;
}

void CHslEffectDlg::DoDataExchange(cl::CDataExchange *dx)
{
    cl::DDX_Text(dx, IDC_HSL_HUE_EDIT, hue);
    cl::DDV_MinMaxInt(dx, hue, -180, 180);
    cl::DDX_Text(dx, IDC_HSL_SAT_EDIT, saturation);
    cl::DDV_MinMaxInt(dx, saturation, -100, 100);
    cl::DDX_Text(dx, IDC_HSL_LIGHT_EDIT, lightness);
    cl::DDV_MinMaxInt(dx, lightness, -100, 100);
}

void CHslEffectDlg::OnSliderMoved(int i)
{
    int pos = (int)::SendMessageA(Slider(i), TBM_GETPOS, 0, 0);
    moving_ = true;
    SetDlgItemText(kFieldIds[i], cl::Format("%d", pos - kBias[i]));
    moving_ = false;
    ::InvalidateRect(Slider(i), nullptr, FALSE);
}

void CHslEffectDlg::OnFieldEdited(int i)
{
    if (moving_) return;
    int value = 0;
    /* A field being typed ("-", "") leaves its slider where it is. */
    if (!cl::ParseInt(GetDlgItemText(kFieldIds[i]), &value)) return;
    ::SendMessageA(Slider(i), TBM_SETPOS, TRUE, value + kBias[i]);
    ::InvalidateRect(Slider(i), nullptr, FALSE);
}

void CHslEffectDlg::OnReset()
{
    for (int i = 0; i < 3; ++i) {
        ::SendMessageA(Slider(i), TBM_SETPOS, TRUE, kBias[i]);
        SetDlgItemText(kFieldIds[i], "0");
        ::InvalidateRect(Slider(i), nullptr, FALSE);
    }
}

/* ---- the main window's commands ---- */

void CMixerDlg::RegisterOperatorExtras()
{
    handlers.Command(ID_HSL_EFFECT, [this] { EditHslEffect(); });
    handlers.Command(IDC_BACKMUSIC, [this] { ToggleBackMusic(); });
    handlers.Command(IDC_TVOUT, [this] { ToggleTvOut(); });
    handlers.Command(ID_MASTER_VOLUME, [this] { OnMasterVolume(); });
    handlers.Command(ID_HELP_TOPICS, [this] { ShowHelp(); });
    handlers.CommandCode(IDC_TRANS_TIME, EN_UPDATE, [this] { OnTransTimeUpdate(); });
}

void CMixerDlg::EditHslEffect()
{
    CHslEffectDlg dlg(m_hWnd, m_nHue, m_nSaturation, m_nLightness);
    dlg.script = hslDialogScript;
    if (dlg.DoModal() != IDOK) return;
    m_nHue = dlg.hue;
    m_nSaturation = dlg.saturation;
    m_nLightness = dlg.lightness;
    g_engine.SetHSLEffect(m_nHue, m_nSaturation, m_nLightness);
}

void CMixerDlg::ToggleBackMusic()
{
    if (m_bRemoteMode) return;   /* whatever request runs */
    for (int n = 1; n <= CHANNELS; ++n) {
        if (deck.ch[n].open) {
            /* The text is the program's own, as it has always read. */
            ShowMessage("Backround Music mode must be enabled first.");
            return;
        }
    }
    deck.backgroundMusic = !deck.backgroundMusic;
    if (CHoverButton *b = Hover(IDC_BACKMUSIC)) b->SetState(deck.backgroundMusic ? 0 : 1);
    g_engine.SetBackMusic(deck.backgroundMusic);
}

void CMixerDlg::ToggleTvOut()
{
    if (!m_bTvOut) {
        if (CMonitorList::SystemCount() < 2) {
            ShowMessage("There is no secondary monitor !!");
            return;
        }
        if (CHoverButton *b = Hover(IDC_TVOUT)) b->SetState(0);
        m_bTvOut = 1;
        if (!m_pTvOutDlg) {
            m_pTvOutDlg = new CTvOutDlg(m_hWnd);
            if (!m_pTvOutDlg->Create(m_hWnd)) {
                delete m_pTvOutDlg;
                m_pTvOutDlg = nullptr;
            }
        }
        if (m_pTvOutDlg && m_pTvOutDlg->m_hWnd) {
            CMonitorList list;
            list.Build();
            int at = list.TvOutIndex();
            if (at < 0) at = 0;
            RECT r = list.monitors.empty() ? RECT{} : list.monitors[at].FullRect();
            ::SetWindowPos(m_pTvOutDlg->m_hWnd, HWND_TOP, r.left, r.top, r.right - r.left, r.bottom - r.top,
                           SWP_NOACTIVATE);
            m_pTvOutDlg->ShowWindow(SW_SHOWNOACTIVATE);
            ::UpdateWindow(m_pTvOutDlg->m_hWnd);
            g_engine.SetTVOutWnd(m_pTvOutDlg->VideoArea());
            g_engine.StartTVOut();
        }
        return;
    }
    if (CHoverButton *b = Hover(IDC_TVOUT)) b->SetState(1);
    g_engine.StopTVOut();
    m_bTvOut = 0;
    CloseTvOut();
}

void CMixerDlg::CloseTvOut()
{
    if (!m_pTvOutDlg) return;
    if (m_pTvOutDlg->m_hWnd) m_pTvOutDlg->SendMessage(WM_CLOSE);
    delete m_pTvOutDlg;
    m_pTvOutDlg = nullptr;
}

void CMixerDlg::OnMasterVolume()
{
    static const char kCommand[] = "sndvol32.exe -r -d0";
    if (startProgram) {
        startProgram(kCommand);
        return;
    }
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION pi = {};
    char line[sizeof(kCommand)];
    lstrcpynA(line, kCommand, sizeof(line));
    if (CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
}

std::string CMixerDlg::HelpFilePath()
{
    char exe[MAX_PATH] = {};
    DWORD n = GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string folder(exe, n < MAX_PATH ? n : 0);
    size_t slash = folder.find_last_of("\\/");
    folder = slash == std::string::npos ? std::string() : folder.substr(0, slash);
    return folder + "\\Corvane.chm";
}

void CMixerDlg::ShowHelp()
{
    static const WCHAR kKoreanTitle[] = {'S', 'a', 'f', 'f', 'r', 'e', 'l', ' ', 0xB3C4, 0xC6C0, 0xB9D0, 0};
    HWND help = FindWindowW(nullptr, kKoreanTitle);
    if (!help) help = FindWindowA(nullptr, "Saffrel Help");
    if (help) {
        if (IsIconic(help)) ::ShowWindow(help, SW_RESTORE);
        SetForegroundWindow(help);
        return;
    }
    HINSTANCE r = ShellExecuteA(m_hWnd, "open", HelpFilePath().c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    if ((INT_PTR)r <= 32) ShowMessage("Help file not found.");
}

void CMixerDlg::OnTransTimeUpdate()
{
    std::string fixed;
    if (CorrectTransTimeField(GetDlgItemText(IDC_TRANS_TIME), &fixed)) {
        HWND edit = GetDlgItem(IDC_TRANS_TIME);
        ::SetWindowTextA(edit, fixed.c_str());
        /* The caret after the corrected text, ready for the next key. */
        ::SendMessageA(edit, EM_SETSEL, fixed.size(), fixed.size());
    }
}
