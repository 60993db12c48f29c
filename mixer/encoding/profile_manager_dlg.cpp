#include "profile_manager_dlg.h"
#include "app.h"
#include "encoder_choice.h"
#include "encoding_ids.h"
#include "profile_dialogs.h"
#include "profile_names.h"
#include <commctrl.h>

namespace {

struct Place { UINT id; int x, y, w, h; };
const Place kPlaces[] = {
    {IDC_PM_NAME_LABEL, 40, 50, 100, 20},     {IDC_PM_NAME, 40, 70, 360, 20},
    {IDC_PM_DESC_LABEL, 40, 95, 360, 20},     {IDC_PM_DESC, 40, 115, 360, 120},
    {IDC_PM_SOURCE_GROUP, 40, 240, 360, 50},  {IDC_PM_AUDIO_CHECK, 50, 260, 80, 20},
    {IDC_PM_VIDEO_CHECK, 140, 260, 80, 20},   {IDC_PM_SCRIPT_CHECK, 230, 260, 80, 20},
    {IDC_PM_AUDIO_GROUP, 40, 50, 360, 90},    {IDC_PM_AUDIO_CODEC_LABEL, 60, 89, 60, 20},
    {IDC_PM_AUDIO_CODEC, 130, 85, 250, 200},  {IDC_PM_VIDEO_GROUP, 40, 145, 360, 90},
    {IDC_PM_VIDEO_CODEC_LABEL, 60, 184, 60, 20}, {IDC_PM_VIDEO_CODEC, 130, 180, 250, 200},
    {IDC_PM_SCRIPT_GROUP, 40, 240, 360, 60},  {IDC_PM_SCRIPT_LABEL, 60, 265, 60, 20},
    {IDC_PM_SCRIPT_BITRATE, 130, 265, 100, 20}, {IDC_PM_BPS, 373, 234, 30, 20},
    {IDC_PM_STREAM_LABEL, 40, 44, 100, 20},   {IDC_PM_STREAMS, 40, 65, 360, 80},
    {IDC_PM_NEW, 255, 40, 60, 20},            {IDC_PM_REMOVE, 320, 40, 60, 20},
    {IDC_PM_EDIT_OK, 330, 280, 60, 20},       {IDC_PM_QUALITY_GROUP, 40, 155, 360, 155},
    {IDC_PM_TARGET_LABEL, 50, 174, 60, 20},   {IDC_PM_TARGET, 110, 170, 100, 20},
    {IDC_PM_AUDIO_FORMAT_LABEL, 50, 204, 120, 20}, {IDC_PM_AUDIO_FORMAT, 50, 220, 160, 200},
    {IDC_PM_SIZE_LABEL, 50, 254, 120, 20},    {IDC_PM_SIZE, 50, 270, 160, 200},
    {IDC_PM_SPEED_LABEL, 220, 174, 60, 20},   {IDC_PM_FPS, 270, 170, 45, 20},
    {IDC_PM_FPS_UNIT, 320, 174, 40, 20},      {IDC_PM_KEY_LABEL, 220, 204, 100, 20},
    {IDC_PM_KEY, 325, 200, 30, 20},           {IDC_PM_KEY_UNIT, 360, 204, 45, 20},
    {IDC_PM_MAX_LABEL, 220, 234, 95, 20},     {IDC_PM_MAX_BITRATE, 315, 230, 55, 20},
    {IDC_PM_QUALITY_LABEL, 220, 264, 100, 20}, {IDC_PM_QUALITY, 220, 275, 100, 20},
    {IDC_PM_PERCENT, 330, 264, 40, 16},
    {IDOK, 302, 335, 60, 20},                 {IDCANCEL, 372, 335, 60, 20},
};

const UINT kTab0[] = {IDC_PM_NAME_LABEL, IDC_PM_NAME, IDC_PM_DESC_LABEL, IDC_PM_DESC, IDC_PM_SOURCE_GROUP,
                      IDC_PM_AUDIO_CHECK, IDC_PM_VIDEO_CHECK, IDC_PM_SCRIPT_CHECK};
const UINT kTab1[] = {IDC_PM_AUDIO_GROUP, IDC_PM_AUDIO_CODEC_LABEL, IDC_PM_AUDIO_CODEC, IDC_PM_VIDEO_GROUP,
                      IDC_PM_VIDEO_CODEC_LABEL, IDC_PM_VIDEO_CODEC, IDC_PM_SCRIPT_GROUP, IDC_PM_SCRIPT_LABEL,
                      IDC_PM_SCRIPT_BITRATE};
const UINT kTab2[] = {IDC_PM_STREAM_LABEL, IDC_PM_STREAMS, IDC_PM_NEW, IDC_PM_REMOVE, IDC_PM_EDIT_OK,
                      IDC_PM_QUALITY_GROUP, IDC_PM_TARGET_LABEL, IDC_PM_TARGET, IDC_PM_AUDIO_FORMAT_LABEL,
                      IDC_PM_AUDIO_FORMAT, IDC_PM_SIZE_LABEL, IDC_PM_SIZE, IDC_PM_SPEED_LABEL, IDC_PM_FPS,
                      IDC_PM_FPS_UNIT, IDC_PM_KEY_LABEL, IDC_PM_KEY, IDC_PM_KEY_UNIT, IDC_PM_MAX_LABEL,
                      IDC_PM_MAX_BITRATE, IDC_PM_QUALITY_LABEL, IDC_PM_QUALITY, IDC_PM_PERCENT};
const UINT kNoVideo[] = {IDC_PM_VIDEO_CODEC, IDC_PM_SIZE, IDC_PM_STREAMS, IDC_PM_NEW, IDC_PM_EDIT_OK,
                         IDC_PM_REMOVE, IDC_PM_FPS, IDC_PM_KEY, IDC_PM_QUALITY};

const char kFrameRateMsg[] = "The frame rate must be at least 1 fps.";
const char kNoSizeMsg[] = "Please choose a video size.";

const char *AppName()
{
    cl::CWinApp *app = cl::CWinApp::Current();
    return app ? app->m_pszAppName.c_str() : "";
}

std::string ComboText(HWND combo, int line)
{
    int len = (int)SendMessageA(combo, CB_GETLBTEXTLEN, line, 0);
    if (len < 0) return "";
    std::string s(len + 1, '\0');
    SendMessageA(combo, CB_GETLBTEXT, line, (LPARAM)&s[0]);
    s.resize(len);
    return s;
}

std::string ListText(HWND list, int line)
{
    int len = (int)SendMessageA(list, LB_GETTEXTLEN, line, 0);
    if (len < 0) return "";
    std::string s(len + 1, '\0');
    SendMessageA(list, LB_GETTEXT, line, (LPARAM)&s[0]);
    s.resize(len);
    return s;
}

} // namespace

bool IsDialogClosingKey(const MSG *msg)
{
    return msg && msg->message == WM_KEYDOWN && (msg->wParam == VK_RETURN || msg->wParam == VK_ESCAPE);
}

CProfileManagerDlg::CProfileManagerDlg(HWND parent) : CDialog(IDD_PROFILE_MANAGER, parent)
{
    handlers.Notify(IDC_PM_TAB, TCN_SELCHANGE, [this](NMHDR *) {
        ShowTab((int)::SendMessageA(GetDlgItem(IDC_PM_TAB), TCM_GETCURSEL, 0, 0));
        return (LRESULT)0;
    });
    handlers.Command(IDC_PM_NEW, [this] { OnNewStream(); });
    handlers.Command(IDC_PM_EDIT_OK, [this] { OnEditOk(); });
    handlers.Command(IDC_PM_REMOVE, [this] { OnRemove(); });
    handlers.CommandCode(IDC_PM_STREAMS, LBN_SELCHANGE, [this] { ShowSelected(); });
    handlers.Command(IDC_PM_SCRIPT_CHECK, [this] {
        EnableWindow(GetDlgItem(IDC_PM_SCRIPT_BITRATE), IsDlgButtonChecked(m_hWnd, IDC_PM_SCRIPT_CHECK) == BST_CHECKED);
    });
    handlers.CommandCode(IDC_PM_AUDIO_CODEC, CBN_SELCHANGE, [this] {
        FillAudioFormats(Sel(IDC_PM_AUDIO_CODEC));
        ::SendMessageA(GetDlgItem(IDC_PM_AUDIO_FORMAT), CB_SETCURSEL, 0, 0);
    });
    handlers.CommandCode(IDC_PM_SIZE, CBN_SELCHANGE, [this] { OnSizeChange(); });
    handlers.CommandCode(IDC_PM_SCRIPT_BITRATE, EN_CHANGE, [this] {
        if (DecimalOf(GetDlgItemText(IDC_PM_SCRIPT_BITRATE)) == 0) SetDlgItemText(IDC_PM_SCRIPT_BITRATE, "4096");
    });
    handlers.Message(107, [this](WPARAM, LPARAM) {
        ShowPercent();
        return (LRESULT)0;
    });
    handlers.Message(WM_HSCROLL, [this](WPARAM, LPARAM lp) {
        if ((HWND)lp == GetDlgItem(IDC_PM_QUALITY)) ShowPercent();
        return (LRESULT)0;
    });
    handlers.Message(WM_DESTROY, [this](WPARAM, LPARAM) {
        LRESULT r = Default();
        m_entries.entries.clear();
        return r;
    });
}

BOOL CProfileManagerDlg::PreTranslateMessage(MSG *msg)
{
    if (IsDialogClosingKey(msg)) return TRUE;
    return CDialog::PreTranslateMessage(msg);
}

std::string CProfileManagerDlg::Res(UINT id) const
{
    char text[256] = {};
    LoadStringA(GetModuleHandleA(nullptr), id, text, sizeof(text));
    return text;
}

int CProfileManagerDlg::Sel(UINT id) const { return (int)::SendMessageA(GetDlgItem(id), CB_GETCURSEL, 0, 0); }

void CProfileManagerDlg::Message(const std::string &text) { MessageBoxA(m_hWnd, text.c_str(), AppName(), MB_OK); }

void CProfileManagerDlg::ShowTab(int tab)
{
    for (UINT id : kTab0) ::ShowWindow(GetDlgItem(id), tab == 0 ? SW_SHOW : SW_HIDE);
    for (UINT id : kTab1) ::ShowWindow(GetDlgItem(id), tab == 1 ? SW_SHOW : SW_HIDE);
    for (UINT id : kTab2) ::ShowWindow(GetDlgItem(id), tab == 2 ? SW_SHOW : SW_HIDE);
    ::ShowWindow(GetDlgItem(IDC_PM_BPS), tab == 1 || tab == 2 ? SW_SHOW : SW_HIDE);
    if ((int)::SendMessageA(GetDlgItem(IDC_PM_TAB), TCM_GETCURSEL, 0, 0) != tab)
        ::SendMessageA(GetDlgItem(IDC_PM_TAB), TCM_SETCURSEL, tab, 0);
}

void CProfileManagerDlg::FillCodecs()
{
    for (int kind : {0, 1}) {
        HWND combo = GetDlgItem(kind ? IDC_PM_VIDEO_CODEC : IDC_PM_AUDIO_CODEC);
        ::SendMessageA(combo, CB_RESETCONTENT, 0, 0);
        int n = g_encodingEngine.GetCodecCount(kind);
        for (int i = 0; i < n; ++i) {
            const char *name = g_encodingEngine.GetCodecName(kind, i);
            ::SendMessageA(combo, CB_ADDSTRING, 0, (LPARAM)(name ? name : ""));
        }
    }
}

void CProfileManagerDlg::FillAudioFormats(int codec)
{
    HWND combo = GetDlgItem(IDC_PM_AUDIO_FORMAT);
    ::SendMessageA(combo, CB_RESETCONTENT, 0, 0);
    int n = g_encodingEngine.GetAudioFormatCount(codec);
    for (int i = 0; i < n; ++i) {
        const char *text = g_encodingEngine.GetAudioFormatString(codec, i);
        ::SendMessageA(combo, CB_ADDSTRING, 0, (LPARAM)(text ? text : ""));
    }
}

void CProfileManagerDlg::FillSizes()
{
    m_sizes.Fill();
    HWND combo = GetDlgItem(IDC_PM_SIZE);
    ::SendMessageA(combo, CB_RESETCONTENT, 0, 0);
    for (auto &line : m_sizes.lines) ::SendMessageA(combo, CB_ADDSTRING, 0, (LPARAM)line.c_str());
}

int CProfileManagerDlg::SelectSize(int width, int height)
{
    int index = m_sizes.Lookup(width, height);
    HWND combo = GetDlgItem(IDC_PM_SIZE);
    for (int i = (int)::SendMessageA(combo, CB_GETCOUNT, 0, 0); i < (int)m_sizes.lines.size(); ++i)
        ::SendMessageA(combo, CB_ADDSTRING, 0, (LPARAM)m_sizes.lines[i].c_str());
    ::SendMessageA(combo, CB_SETCURSEL, index, 0);
    return index;
}

bool CProfileManagerDlg::SelectedSize(int *width, int *height) const
{
    int line = Sel(IDC_PM_SIZE);
    return line >= 0 && SizeList::Parse(ComboText(GetDlgItem(IDC_PM_SIZE), line), width, height);
}

void CProfileManagerDlg::ShowPercent()
{
    int pos = (int)::SendMessageA(GetDlgItem(IDC_PM_QUALITY), TBM_GETPOS, 0, 0);
    SetDlgItemText(IDC_PM_PERCENT, cl::Format("%d%s", pos, "%"));
}

BOOL CProfileManagerDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    ::MoveWindow(m_hWnd, GetSystemMetrics(SM_CXFULLSCREEN) / 2 - 225, GetSystemMetrics(SM_CYFULLSCREEN) / 2 - 200, 450,
                 400, FALSE);
    ::MoveWindow(GetDlgItem(IDC_PM_TAB), 10, 10, 422, 315, FALSE);
    for (const Place &p : kPlaces) ::MoveWindow(GetDlgItem(p.id), p.x, p.y, p.w, p.h, FALSE);
    HWND tab = GetDlgItem(IDC_PM_TAB);
    for (int i = 0; i < 3; ++i) {
        char title[40] = {};
        LoadStringA(GetModuleHandleA(nullptr), IDS_PM_PAGE_INFO + i, title, sizeof(title));
        TCITEMA item = {};
        item.mask = TCIF_TEXT;
        item.pszText = title;
        ::SendMessageA(tab, TCM_INSERTITEMA, i, (LPARAM)&item);
    }
    ShowTab(0);
    HWND slider = GetDlgItem(IDC_PM_QUALITY);
    auto sliderSetup = [slider](int pos) {
        ::SendMessageA(slider, TBM_SETRANGE, TRUE, MAKELPARAM(0, 100));
        ::SendMessageA(slider, TBM_SETTICFREQ, 10, 0);
        ::SendMessageA(slider, TBM_SETPOS, TRUE, pos);
    };
    auto check = [this](UINT id, bool on, bool enabled) {
        CheckDlgButton(m_hWnd, id, on ? BST_CHECKED : BST_UNCHECKED);
        EnableWindow(GetDlgItem(id), enabled);
    };

    if (m_nMode == 0) {
        check(IDC_PM_AUDIO_CHECK, true, false);
        check(IDC_PM_VIDEO_CHECK, true, false);
        check(IDC_PM_SCRIPT_CHECK, false, true);
        SetDlgItemText(IDC_PM_SCRIPT_BITRATE, "4096");
        EnableWindow(GetDlgItem(IDC_PM_SCRIPT_BITRATE), FALSE);
        sliderSetup(0);
        ShowPercent();
        SetDlgItemText(IDC_PM_FPS, "15");
        SetDlgItemText(IDC_PM_KEY, "8");
        FillCodecs();
        FillAudioFormats(0);
        FillSizes();
        for (UINT id : {IDC_PM_AUDIO_CODEC, IDC_PM_VIDEO_CODEC, IDC_PM_AUDIO_FORMAT, IDC_PM_SIZE})
            ::SendMessageA(GetDlgItem(id), CB_SETCURSEL, 0, 0);
        return TRUE;
    }
    if (m_nMode != 1 && m_nMode != 2) return TRUE;

    check(IDC_PM_AUDIO_CHECK, true, false);
    check(IDC_PM_VIDEO_CHECK, true, false);
    if (m_nMode == 2) EnableWindow(GetDlgItem(IDC_PM_NAME), FALSE);
    FillCodecs();
    int n = m_nProfileLine;
    int flags = 0, audioCodec = 0, audioFormat = 0, videoCodec = -1, width = 0, height = 0, scriptBitrate = 0;
    g_encodingEngine.LoadProfile(n, &flags, &audioCodec, &audioFormat, &videoCodec, &width, &height, &scriptBitrate);
    FillAudioFormats(audioCodec);
    FillSizes();
    if (videoCodec < 0) {
        check(IDC_PM_VIDEO_CHECK, false, false);
        for (UINT id : kNoVideo) EnableWindow(GetDlgItem(id), FALSE);
    }
    if (m_nMode == 2) {
        if (!(flags & (1 << 30))) {
            MessageBoxA(m_hWnd, "A system profile can't be modified.", AppName(), MB_OK);
            EndDialog(IDCANCEL);
            return TRUE;
        }
        check(IDC_PM_SCRIPT_CHECK, scriptBitrate != 0, true);
        SetDlgItemText(IDC_PM_SCRIPT_BITRATE, scriptBitrate ? cl::Format("%d", scriptBitrate) : "4096");
        EnableWindow(GetDlgItem(IDC_PM_SCRIPT_BITRATE), scriptBitrate != 0);
    } else {
        check(IDC_PM_SCRIPT_CHECK, false, true);
        SetDlgItemText(IDC_PM_SCRIPT_BITRATE, (flags & (1 << 30)) ? "4096" : "0");
        EnableWindow(GetDlgItem(IDC_PM_SCRIPT_BITRATE), FALSE);
    }
    VideoStreamEntry last;
    int streams = flags & 0xFFFFFF;
    for (int i = 0; i < streams && i < 1024; ++i) {
        char name[260] = {};
        unsigned fps = 0;
        LONGLONG key = 0;
        int quality = 0, bitrate = 0, w = 0, h = 0;
        g_encodingEngine.GetVideoStream(i, name, &fps, &key, &quality, &bitrate, &w, &h);
        VideoStreamEntry e;
        e.index = i;
        e.width = w;
        e.height = h;
        e.SetName(name);
        e.keyFrameSeconds = key;
        e.frameRate = (INT32)fps;
        e.quality = quality;
        e.maxBitrate = bitrate;
        m_entries.entries.push_back(e);
        last = e;
    }
    HWND list = GetDlgItem(IDC_PM_STREAMS);
    if (videoCodec >= 0) {
        ::SendMessageA(list, LB_RESETCONTENT, 0, 0);
        for (auto &line : m_entries.Lines()) ::SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)line.c_str());
    }
    if (m_nMode == 1) {
        SetDlgItemText(IDC_PM_NAME, "");
    } else {
        const char *name = g_encodingEngine.GetProfileName(n);
        SetDlgItemText(IDC_PM_NAME, name ? name : "");
    }
    const char *description = g_encodingEngine.GetProfileDescription(n);
    SetDlgItemText(IDC_PM_DESC, description ? description : "");
    ::SendMessageA(GetDlgItem(IDC_PM_AUDIO_CODEC), CB_SETCURSEL, audioCodec, 0);
    ::SendMessageA(GetDlgItem(IDC_PM_AUDIO_FORMAT), CB_SETCURSEL, audioFormat, 0);
    ::SendMessageA(GetDlgItem(IDC_PM_VIDEO_CODEC), CB_SETCURSEL, videoCodec, 0);
    SelectSize(width, height);
    if (videoCodec < 0) {
        sliderSetup(0);
        SetDlgItemText(IDC_PM_FPS, "15");
        SetDlgItemText(IDC_PM_KEY, "7");
        SetDlgItemText(IDC_PM_PERCENT, "0%");
    } else {
        sliderSetup(last.quality);
        SetDlgItemText(IDC_PM_TARGET, last.targetName);
        SetDlgItemText(IDC_PM_MAX_BITRATE, cl::Format("%d", last.maxBitrate));
        SetDlgItemText(IDC_PM_KEY, cl::Format("%d", (int)last.keyFrameSeconds));
        SetDlgItemText(IDC_PM_FPS, cl::Format("%d", last.frameRate));
        ShowPercent();
        ::SendMessageA(list, LB_SETCURSEL, 0, 0);
        ShowSelected();
    }
    return TRUE;
}

bool CProfileManagerDlg::FrameRateOk(int *fps)
{
    long v = DecimalOf(GetDlgItemText(IDC_PM_FPS));
    if (v < 1 || v > 1000) {
        Message(kFrameRateMsg);
        return false;
    }
    *fps = (int)v;
    return true;
}

void CProfileManagerDlg::OnNewStream()
{
    /* The writer divides by the frame rate and needs a frame size: both
     * are checked before a stream is made of them. */
    int fps = 0, width = 0, height = 0;
    if (!FrameRateOk(&fps)) return;
    if (!SelectedSize(&width, &height)) {
        Message(kNoSizeMsg);
        return;
    }
    CProfileTargetDlg target(m_hWnd);
    target.m_bNameEditable = 1;
    INT_PTR r = runTarget ? runTarget(target) : target.DoModal();
    if (r == IDOK) {
        HWND list = GetDlgItem(IDC_PM_STREAMS);
        ::SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)target.m_strTargetName.c_str());
        VideoStreamEntry e;
        e.index = (int)::SendMessageA(list, LB_GETCOUNT, 0, 0) - 1;
        e.width = width;
        e.height = height;
        e.SetName(target.m_strTargetName);
        e.maxBitrate = target.m_nMaxBitrate;
        e.frameRate = fps;
        e.keyFrameSeconds = DecimalOf(GetDlgItemText(IDC_PM_KEY));
        e.quality = (int)::SendMessageA(GetDlgItem(IDC_PM_QUALITY), TBM_GETPOS, 0, 0);
        m_entries.entries.push_back(e);
        ::SendMessageA(list, LB_SETCURSEL, e.index, 0);
    }
    if (::SendMessageA(GetDlgItem(IDC_PM_STREAMS), LB_GETCOUNT, 0, 0) > 0) ShowSelected();
}

void CProfileManagerDlg::Rebuild()
{
    HWND list = GetDlgItem(IDC_PM_STREAMS);
    ::SendMessageA(list, LB_RESETCONTENT, 0, 0);
    for (auto &line : m_entries.Lines()) ::SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)line.c_str());
    int count = (int)::SendMessageA(list, LB_GETCOUNT, 0, 0);
    if (count > 0) ::SendMessageA(list, LB_SETCURSEL, count - 1, 0);
}

void CProfileManagerDlg::OnEditOk()
{
    HWND list = GetDlgItem(IDC_PM_STREAMS);
    int line = (int)::SendMessageA(list, LB_GETCURSEL, 0, 0);
    if (line < 0) return;
    std::string target = GetDlgItemText(IDC_PM_TARGET);
    if (target.empty()) {
        Message(Res(IDS_PM_TARGET_NAME));
        return;
    }
    long bitrate = DecimalOf(GetDlgItemText(IDC_PM_MAX_BITRATE));
    if (bitrate == 0) {
        Message(Res(IDS_PM_MAX_BITRATE));
        return;
    }
    if (bitrate < 0) {
        Message("Max Bitrate must be greater than 0");
        return;
    }
    int fps = 0;
    if (!FrameRateOk(&fps)) return;
    VideoStreamEntry *e = m_entries.Find(ListText(list, line), line);
    if (e) {
        e->SetName(target);
        e->maxBitrate = bitrate > 0x7FFFFFFF ? 0x7FFFFFFF : (INT32)bitrate;
        e->frameRate = fps;
        e->keyFrameSeconds = (INT64)(INT32)DecimalOf(GetDlgItemText(IDC_PM_KEY));
        e->quality = (int)::SendMessageA(GetDlgItem(IDC_PM_QUALITY), TBM_GETPOS, 0, 0);
        int w = 0, h = 0;
        if (SelectedSize(&w, &h)) {
            e->width = w;
            e->height = h;
        }
    }
    Rebuild();
    ::SendMessageA(list, LB_SETCURSEL, line, 0);
    ShowSelected();
    Message(Res(IDS_PM_FILE_SAVE));
}

void CProfileManagerDlg::OnRemove()
{
    HWND list = GetDlgItem(IDC_PM_STREAMS);
    int line = (int)::SendMessageA(list, LB_GETCURSEL, 0, 0);
    if (line < 0) return;
    m_entries.Remove(ListText(list, line), line);
    Rebuild();
    if (::SendMessageA(list, LB_GETCOUNT, 0, 0) > 0) ShowSelected();
}

void CProfileManagerDlg::ShowSelected()
{
    HWND list = GetDlgItem(IDC_PM_STREAMS);
    int line = (int)::SendMessageA(list, LB_GETCURSEL, 0, 0);
    if (line < 0) return;
    VideoStreamEntry *e = m_entries.Find(ListText(list, line), line);
    if (!e) return;
    SetDlgItemText(IDC_PM_TARGET, e->targetName);
    SetDlgItemText(IDC_PM_MAX_BITRATE, cl::Format("%d", e->maxBitrate));
    SetDlgItemText(IDC_PM_FPS, cl::Format("%d", e->frameRate));
    SetDlgItemText(IDC_PM_KEY, cl::Format("%d", (int)e->keyFrameSeconds));
    ::SendMessageA(GetDlgItem(IDC_PM_QUALITY), TBM_SETPOS, TRUE, e->quality);
    ShowPercent();
    SelectSize(e->width, e->height);
}

void CProfileManagerDlg::OnSizeChange()
{
    int line = Sel(IDC_PM_SIZE);
    if (line < 0 || ComboText(GetDlgItem(IDC_PM_SIZE), line) != kCustomSize) return;
    CVideoSizeDlg size(m_hWnd);
    INT_PTR r = runVideoSize ? runVideoSize(size) : size.DoModal();
    if (r == IDOK) SelectSize(size.m_nWidth, size.m_nHeight);
}

void CProfileManagerDlg::OnOK()
{
    if (::SendMessageA(GetDlgItem(IDC_PM_STREAMS), LB_GETCOUNT, 0, 0) <= 0) {
        Message("Video Stream is Null!");
        return;
    }
    g_encodingEngine.CreateNewProfile();
    std::string name = GetDlgItemText(IDC_PM_NAME);
    if (name.empty()) {
        Message(Res(IDS_PM_PROFILE_NAME));
        return;
    }
    /* The name becomes a file of the profile folder. */
    if (!IsSafeProfileName(name)) {
        Message("The profile name cannot be a file name.");
        return;
    }
    g_encodingEngine.SetProfileName(name.c_str());
    g_encodingEngine.SetProfileDescription(GetDlgItemText(IDC_PM_DESC).c_str());
    int audioCodec = Sel(IDC_PM_AUDIO_CODEC), audioFormat = Sel(IDC_PM_AUDIO_FORMAT);
    g_encodingEngine.AddAudioStream(audioCodec < 0 ? 0 : audioCodec, audioFormat < 0 ? 0 : audioFormat);
    int videoCodec = Sel(IDC_PM_VIDEO_CODEC);
    for (auto &e : m_entries.entries)
        g_encodingEngine.AddVideoStream(videoCodec < 0 ? 0 : videoCodec, e.width, e.height, e.targetName,
                                        (unsigned)(e.frameRate < 1 ? 1 : e.frameRate), (int)e.keyFrameSeconds,
                                        e.quality, e.maxBitrate);
    if (IsDlgButtonChecked(m_hWnd, IDC_PM_SCRIPT_CHECK) == BST_CHECKED)
        g_encodingEngine.AddScriptStream((int)DecimalOf(GetDlgItemText(IDC_PM_SCRIPT_BITRATE)));
    g_encodingEngine.SaveProfile();
    EndDialog(IDOK);
}
