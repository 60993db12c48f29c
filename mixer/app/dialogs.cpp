#include "dialogs.h"
#include "engine_calls.h"
#include "filedlg.h"
#include "resource.h"
#include "operator_ids.h"

/* ---- start-up picture ---- */

CPopupMessageDlg::CPopupMessageDlg(HWND parent) : CDialog(IDD_STARTUP, parent)
{
    handlers.Message(WM_TIMER, [this](WPARAM id, LPARAM) {
        if (id == 101 && autoCloseMs > 0) {
            KillTimer(m_hWnd, 101);
            PostMessage(WM_CLOSE);
        }
        return (LRESULT)0;
    });
    handlers.Message(WM_SIZE, [this](WPARAM, LPARAM lp) {
        if (LOWORD(lp) != 470 || HIWORD(lp) != 272)
            SetWindowPos(m_hWnd, nullptr, 0, 0, 470, 272, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        return (LRESULT)0;
    });
    handlers.Command(IDC_STARTUP_PICTURE, [this] { PostMessage(WM_CLOSE); });
}

BOOL CPopupMessageDlg::OnInitDialog()
{
    SetWindowPos(m_hWnd, nullptr, 0, 0, 470, 272, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (HWND pic = GetDlgItem(IDC_STARTUP_PICTURE)) SetWindowPos(pic, nullptr, 0, 0, 470, 272, SWP_NOZORDER);
    if (autoCloseMs > 0) SetTimer(m_hWnd, 101, autoCloseMs, nullptr);
    return TRUE;
}

/* ---- About ---- */

CAboutDlg::CAboutDlg(HWND parent) : CDialog(IDD_ABOUT, parent)
{
    picture_ = (HBITMAP)LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_ABOUT), IMAGE_BITMAP, 0, 0, 0);
    handlers.Message(WM_PAINT, [this](WPARAM, LPARAM) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(m_hWnd, &ps);
        HDC mem = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(mem, picture_);
        BitBlt(dc, 0, 0, 470, 272, mem, 0, 0, SRCCOPY);
        SelectObject(mem, old);
        DeleteDC(mem);
        EndPaint(m_hWnd, &ps);
        return (LRESULT)0;
    });
    handlers.Message(WM_SIZE, [this](WPARAM, LPARAM lp) {
        if (LOWORD(lp) != 470 || HIWORD(lp) != 272) KeepClientSize();
        return (LRESULT)0;
    });
}

CAboutDlg::~CAboutDlg()
{
    if (picture_) DeleteObject(picture_);
}

void CAboutDlg::KeepClientSize()
{
    int w = 470 + 2 * GetSystemMetrics(SM_CXFIXEDFRAME);
    int h = 272 + GetSystemMetrics(SM_CYCAPTION) + 2 * GetSystemMetrics(SM_CYFIXEDFRAME);
    SetWindowPos(m_hWnd, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL CAboutDlg::OnInitDialog()
{
    KeepClientSize();
    return TRUE;
}

/* ---- work space ---- */

CWorkSpaceDlg::CWorkSpaceDlg(HWND parent) : CDialog(IDD_WORKSPACE, parent)
{
    handlers.CommandCode(IDC_WS_SIZE, CBN_SELCHANGE, [this] { OnSizeChoice(); });
}

BOOL CWorkSpaceDlg::OnInitDialog()
{
    HWND list = GetDlgItem(IDC_WS_SIZE);
    for (const char *size : {"320 x 240", "640 x 480", "720 x 480"})
        ::SendMessageA(list, CB_ADDSTRING, 0, (LPARAM)size);
    ::SendMessageA(list, CB_SETCURSEL, 0, 0);
    choice = 0;
    return TRUE;
}

void CWorkSpaceDlg::OnSizeChoice()
{
    int at = (int)::SendMessageA(GetDlgItem(IDC_WS_SIZE), CB_GETCURSEL, 0, 0);
    SetDlgItemText(IDC_WS_NOTE, at == 1 ? "This setting will require heavy system performance." : "");
}

void CWorkSpaceDlg::OnOK()
{
    int at = (int)::SendMessageA(GetDlgItem(IDC_WS_SIZE), CB_GETCURSEL, 0, 0);
    choice = at >= 0 && at <= 2 ? at : 0;
    EndDialog(IDOK);
}

/* ---- source selection ---- */

/* The filters offer what the engine opens on the channel: QuickTime movies
 * everywhere, audio files only on channel 5 in background-music mode. */
const char kMediaFilter[] =
    "All Media Files(*.avi;*.mpg;*.mpeg;*.dat;*.wmv;*.asf;*.vob;*.mov;*.bmp;*.gif;*.jpg;)|*.avi;*.mpg;*.mpeg;*.dat;"
    "*.wmv;*.asf;*.vob;*.mov;*.bmp;*.gif;*.jpg;*.mp3;*.wav;*.wma|AVI Files(*.avi)|*.avi|MPEG 1 Files(*.mpg;*.mpeg)|"
    "*.mpg;*.mpeg|Video CD data(*.dat)|*.dat|WMV Files(*.wmv;*.asf)|*.wmv;*.asf|VOB Files(*.vob)|*.vob;*.vob|"
    "QuickTime Files(*.mov)|*.mov|Still Image Files(*.bmp;*.gif;*.jpg)|*.bmp;*.gif;*.jpg |Audio File(*.mp3;*.wav;"
    "*.wma)|*.mp3;*.wav;*.wma ||";
const char kVideoFilter[] =
    "All Media Files(*.avi;*.mpg;*.mpeg;*.dat;*.wmv;*.asf;*.vob;*.mov;*.bmp;*.gif;*.jpg;)|*.avi;*.mpg;*.mpeg;*.dat;"
    "*.wmv;*.asf;*.vob;*.mov;*.bmp;*.gif;*.jpg|AVI Files(*.avi)|*.avi|MPEG 1 Files(*.mpg;*.mpeg)|*.mpg;*.mpeg|"
    "Video CD data(*.dat)|*.dat|WMV Files(*.wmv;*.asf)|*.wmv;*.asf|VOB Files(*.vob)|*.vob;*.vob|QuickTime "
    "Files(*.mov)|*.mov|Still Image Files(*.bmp;*.gif;*.jpg)|*.bmp;*.gif;*.jpg ||";
const char kVideoAudioFilter[] =
    "All Media Files(*.avi;*.mpg;*.mpeg;*.dat;*.wmv;*.asf;*.vob;*.mov;*.bmp;*.gif;*.jpg)|*.avi;*.mpg;*.mpeg;*.dat;"
    "*.wmv;*.asf;*.vob;*.mov;*.bmp;*.gif;*.jpg|AVI Files(*.avi)|*.avi|MPEG 1 Files(*.mpg;*.mpeg)|*.mpg;*.mpeg|"
    "Video CD data(*.dat)|*.dat|WMV Files(*.wmv;*.asf)|*.wmv;*.asf|VOB Files(*.vob)|*.vob;*.vob|QuickTime "
    "Files(*.mov)|*.mov ||";
const char kMusicFilter[] = "Audio File(*.mp3;*.wav;*.wma)|*.mp3;*.wav;*.wma||";

const POINT CSourceSelectDlg::kOutline[52] = {
    {0, 9}, {1, 9}, {1, 6}, {2, 6}, {2, 5}, {3, 5}, {3, 3}, {5, 3}, {5, 2}, {6, 2}, {6, 1}, {9, 1}, {9, 0},
    {267, 0}, {267, 1}, {270, 1}, {270, 2}, {271, 2}, {271, 3}, {273, 3}, {273, 5}, {274, 5}, {274, 6}, {275, 6},
    {275, 9}, {276, 9}, {276, 167}, {275, 167}, {275, 170}, {274, 170}, {274, 171}, {273, 171}, {273, 173},
    {271, 173}, {271, 174}, {270, 174}, {270, 175}, {267, 175}, {267, 176}, {9, 176}, {9, 175}, {6, 175},
    {6, 174}, {5, 174}, {5, 173}, {3, 173}, {3, 171}, {2, 171}, {2, 170}, {1, 170}, {1, 167}, {0, 167}};

namespace {
const char kFileSource[] = "File Source...";

int AddString(HWND combo, const std::string &s)
{
    return (int)SendMessageA(combo, CB_ADDSTRING, 0, (LPARAM)s.c_str());
}

std::string ItemText(HWND combo, int i)
{
    int n = (int)SendMessageA(combo, CB_GETLBTEXTLEN, i, 0);
    if (n < 0) return {};
    std::string s(n + 1, '\0');
    SendMessageA(combo, CB_GETLBTEXT, i, (LPARAM)&s[0]);
    s.resize(n);
    return s;
}

std::string WindowText(HWND w)
{
    char buf[1024] = {};
    GetWindowTextA(w, buf, sizeof(buf));
    return buf;
}
} // namespace

CSourceSelectDlg::CSourceSelectDlg(HWND parent, int ch, const ChannelDeck &deck)
    : CDialog(IDD_SOURCE, parent), channel(ch), deck_(deck)
{
    skin_ = (HBITMAP)LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_SOURCE_SKIN), IMAGE_BITMAP, 0, 0, 0);
    closePicture_ = (HBITMAP)LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_CLOSE), IMAGE_BITMAP, 0, 0, 0);
    handlers.Message(WM_ERASEBKGND, [this](WPARAM wp, LPARAM) {
        HDC mem = CreateCompatibleDC((HDC)wp);
        HGDIOBJ old = SelectObject(mem, skin_);
        BitBlt((HDC)wp, 0, 0, 277, 177, mem, 0, 0, SRCCOPY);
        SelectObject(mem, old);
        DeleteDC(mem);
        return (LRESULT)TRUE;
    });
    /* A click anywhere in the client area drags the dialog. */
    handlers.Message(WM_LBUTTONDOWN, [this](WPARAM, LPARAM lp) {
        ReleaseCapture();
        ::SendMessageA(m_hWnd, WM_NCLBUTTONDOWN, HTCAPTION, lp);
        return (LRESULT)0;
    });
    handlers.Message(WM_APP, [this](WPARAM, LPARAM) {
        if (script) script(*this);
        return (LRESULT)0;
    });
    handlers.CommandCode(IDC_SRC_VIDEO, CBN_SELCHANGE, [this] { OnVideoChoice(); });
    handlers.CommandCode(IDC_SRC_AUDIO, CBN_SELCHANGE, [this] { OnAudioChoice(); });
    handlers.CommandCode(IDC_SRC_CLOSE, STN_CLICKED, [this] { EndDialog(IDCANCEL); });
}

CSourceSelectDlg::~CSourceSelectDlg()
{
    if (skin_) DeleteObject(skin_);
    if (closePicture_) DeleteObject(closePicture_);
}

BOOL CSourceSelectDlg::OnInitDialog()
{
    g_engine.ReleaseDeviceLists();
    g_engine.GetDeviceLists();
    HWND video = GetDlgItem(IDC_SRC_VIDEO), audio = GetDlgItem(IDC_SRC_AUDIO);
    auto used = [this](const std::string &name, bool isVideo) {
        for (int n = 1; n <= CHANNELS; ++n) {
            const std::string &s = isVideo ? deck_.ch[n].video : deck_.ch[n].audio;
            if (s.size() >= 4 && s.compare(4, std::string::npos, name) == 0) return true;
        }
        return false;
    };
    if (!MusicOnly()) {
        for (int i = 0;; ++i) {
            const char *name = g_engine.GetVideoDeviceName(i);
            if (!name) break;
            if (used(name, true)) continue;
            AddString(video, name);
            ++videoDevices;
        }
        AddString(video, kFileSource);
    }
    for (int i = 0;; ++i) {
        const char *name = g_engine.GetAudioDeviceName(i);
        if (!name) break;
        if (used(name, false)) continue;
        if (MusicOnly() && strstr(name, "DV")) continue;
        AddString(audio, name);
        ++audioDevices;
    }
    AddString(audio, kFileSource);

    HRGN rgn = CreatePolygonRgn(kOutline, 52, ALTERNATE);
    SetWindowRgn(m_hWnd, rgn, TRUE);
    ok_.SubclassWindow(GetDlgItem(IDOK));
    ok_.SetBitmaps(IDB_OK_UP, IDB_OK_UP + 1);
    cancel_.SubclassWindow(GetDlgItem(IDCANCEL));
    cancel_.SetBitmaps(IDB_CANCEL_UP, IDB_CANCEL_UP + 1);
    close_.SubclassWindow(GetDlgItem(IDC_SRC_CLOSE));
    close_.Setup(closePicture_, closePicture_, closePicture_, 0, nullptr);
    SetWindowPos(m_hWnd, nullptr, 0, 0, 277, 177, SWP_NOMOVE | SWP_NOZORDER);
    SetWindowPos(video, nullptr, 17, 53, 241, 160, SWP_NOZORDER);
    SetWindowPos(audio, nullptr, 17, 102, 241, 160, SWP_NOZORDER);
    SetWindowPos(ok_.m_hWnd, nullptr, 67, 143, 67, 19, SWP_NOZORDER);
    SetWindowPos(cancel_.m_hWnd, nullptr, 143, 143, 67, 19, SWP_NOZORDER);
    SetWindowPos(close_.m_hWnd, nullptr, 249, 4, 14, 12, SWP_NOZORDER);
    if (script) PostMessage(WM_APP);
    return TRUE;
}

bool CSourceSelectDlg::ChooseFile(const char *filter, std::string *path)
{
    lastFilter = filter;
    if (chooseFile) return chooseFile("Get Media File Name", filter, path);
    /* One file for one channel: single selection. */
    cl::CFileDialog dlg(true, nullptr, nullptr, 0, filter, m_hWnd);
    dlg.SetTitle("Get Media File Name");
    if (dlg.DoModal() != IDOK) return false;
    *path = dlg.GetPathName();
    return true;
}

void CSourceSelectDlg::OnVideoChoice()
{
    HWND video = GetDlgItem(IDC_SRC_VIDEO), audio = GetDlgItem(IDC_SRC_AUDIO);
    int sel = (int)::SendMessageA(video, CB_GETCURSEL, 0, 0);
    if (sel < 0) return;
    std::string text = ItemText(video, sel);
    if (text == kFileSource) {
        std::string path;
        if (!ChooseFile(MusicOnly() ? kMediaFilter : kVideoFilter, &path)) return;
        for (HWND combo : {video, audio}) {
            int at = (int)::SendMessageA(combo, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)kFileSource);
            if (at >= 0) {
                ::SendMessageA(combo, CB_DELETESTRING, at, 0);
                at = (int)::SendMessageA(combo, CB_INSERTSTRING, at, (LPARAM)path.c_str());
                ::SendMessageA(combo, CB_SETCURSEL, at, 0);
            }
        }
        videoName = audioName = path;
        deviceChosen = false;
    } else if (sel < videoDevices) {
        videoName = "dev:" + text;
        deviceChosen = true;
    } else {
        videoName = text;
    }
}

void CSourceSelectDlg::OnAudioChoice()
{
    HWND audio = GetDlgItem(IDC_SRC_AUDIO);
    int sel = (int)::SendMessageA(audio, CB_GETCURSEL, 0, 0);
    if (sel < 0) return;
    std::string text = ItemText(audio, sel);
    if (text == kFileSource) {
        std::string path;
        const char *filter = MusicOnly() ? kMusicFilter : kVideoAudioFilter;
        ::SendMessageA(audio, CB_DELETESTRING, sel, 0);
        if (ChooseFile(filter, &path)) {
            sel = (int)::SendMessageA(audio, CB_INSERTSTRING, sel, (LPARAM)path.c_str());
            audioName = path;
        } else {
            sel = (int)::SendMessageA(audio, CB_INSERTSTRING, sel, (LPARAM) "");
        }
        ::SendMessageA(audio, CB_SETCURSEL, sel, 0);
    } else if (sel < audioDevices) {
        audioName = "dev:" + text;
    } else {
        audioName = text;
    }
}

void CSourceSelectDlg::OnOK()
{
    HWND video = GetDlgItem(IDC_SRC_VIDEO), audio = GetDlgItem(IDC_SRC_AUDIO);
    if (::SendMessageA(audio, CB_GETCURSEL, 0, 0) < 0) audioName = WindowText(audio);
    if (MusicOnly()) {
        videoName = audioName;
        EndDialog(IDOK);
        return;
    }
    if (::SendMessageA(video, CB_GETCURSEL, 0, 0) < 0) videoName = WindowText(video);
    if (videoName.empty()) return;
    EndDialog(IDOK);
}
