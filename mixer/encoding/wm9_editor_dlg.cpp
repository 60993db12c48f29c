#include "wm9_editor_dlg.h"
#include "app.h"
#include "encoding_ids.h"
#include "presetry.h"
#include "profile_dialogs.h"
#include "profile_names.h"
#include <commctrl.h>
#include <mlang.h>
#include <cstdlib>
#include <cstring>

namespace {

struct Place { UINT id; int x, y, w, h; };
const Place kPlaces[] = {
    {IDC_ED_NAME_LABEL, 30, 52, 90, 20},      {IDC_ED_NAME, 125, 50, 260, 20},
    {IDC_ED_DESC_LABEL, 30, 82, 90, 20},      {IDC_ED_DESC, 125, 80, 260, 80},
    {IDC_ED_ACODEC_LABEL, 30, 174, 90, 20},   {IDC_ED_ACODEC, 125, 170, 260, 200},
    {IDC_ED_VCODEC_LABEL, 30, 204, 90, 20},   {IDC_ED_VCODEC, 125, 200, 260, 200},
    {IDC_ED_LANG_LABEL, 30, 234, 90, 20},     {IDC_ED_LANG, 125, 230, 260, 250},
    {IDC_ED_STREAMS, 25, 45, 220, 95},        {IDC_ED_ADD, 260, 45, 70, 22},
    {IDC_ED_UPDATE, 260, 80, 70, 22},         {IDC_ED_DELETE, 260, 115, 70, 22},
    {IDC_ED_AMODE_LABEL, 25, 153, 90, 20},    {IDC_ED_AMODE, 120, 150, 255, 120},
    {IDC_ED_AFORMAT_LABEL, 25, 183, 90, 20},  {IDC_ED_AFORMAT, 120, 180, 255, 200},
    {IDC_ED_SIZE_LABEL, 25, 213, 90, 20},     {IDC_ED_WIDTH, 120, 210, 50, 20},
    {IDC_ED_X, 176, 213, 10, 20},             {IDC_ED_HEIGHT, 190, 210, 50, 20},
    {IDC_ED_FPS_LABEL, 25, 243, 90, 20},      {IDC_ED_FPS, 120, 240, 50, 20},
    {IDC_ED_FPS_UNIT, 176, 243, 30, 20},      {IDC_ED_KEY_LABEL, 215, 243, 80, 20},
    {IDC_ED_KEY, 295, 240, 40, 20},           {IDC_ED_KEY_UNIT, 340, 243, 30, 20},
    {IDC_ED_BUFFER_LABEL, 25, 273, 90, 20},   {IDC_ED_BUFFER, 120, 270, 50, 20},
    {IDC_ED_BUFFER_UNIT, 176, 273, 55, 20},   {IDC_ED_VBITRATE_LABEL, 238, 273, 78, 20},
    {IDC_ED_VBITRATE, 318, 270, 42, 20},      {IDC_ED_VBITRATE_UNIT, 364, 273, 35, 20},
    {IDC_ED_QUALITY_LABEL, 25, 303, 90, 20},  {IDC_ED_QUALITY, 120, 300, 200, 24},
    {IDC_ED_PERCENT, 325, 303, 45, 20},
    {IDC_ED_OK, 250, 335, 70, 22},            {IDC_ED_CANCEL, 330, 335, 70, 22},
};
const UINT kGeneral[] = {IDC_ED_NAME_LABEL, IDC_ED_NAME, IDC_ED_DESC_LABEL, IDC_ED_DESC, IDC_ED_ACODEC_LABEL,
                         IDC_ED_ACODEC, IDC_ED_VCODEC_LABEL, IDC_ED_VCODEC, IDC_ED_LANG_LABEL, IDC_ED_LANG};
const UINT kSetting[] = {IDC_ED_STREAMS, IDC_ED_ADD, IDC_ED_UPDATE, IDC_ED_DELETE, IDC_ED_AMODE_LABEL, IDC_ED_AMODE,
                         IDC_ED_AFORMAT_LABEL, IDC_ED_AFORMAT, IDC_ED_SIZE_LABEL, IDC_ED_WIDTH, IDC_ED_X,
                         IDC_ED_HEIGHT, IDC_ED_FPS_LABEL, IDC_ED_FPS, IDC_ED_FPS_UNIT, IDC_ED_KEY_LABEL, IDC_ED_KEY,
                         IDC_ED_KEY_UNIT, IDC_ED_BUFFER_LABEL, IDC_ED_BUFFER, IDC_ED_BUFFER_UNIT,
                         IDC_ED_QUALITY_LABEL, IDC_ED_QUALITY, IDC_ED_PERCENT, IDC_ED_VBITRATE_LABEL,
                         IDC_ED_VBITRATE, IDC_ED_VBITRATE_UNIT};

const GUID kMultiLanguageClass = {0x275C23E2, 0x3747, 0x11D0, {0x9F, 0xEA, 0x00, 0xAA, 0x00, 0x3F, 0x86, 0x46}};
const GUID kMultiLanguageIid = {0x275C23E1, 0x3747, 0x11D0, {0x9F, 0xEA, 0x00, 0xAA, 0x00, 0x3F, 0x86, 0x46}};

const char kProfileCopy[] = "Profile_copy";

const char *AppName()
{
    cl::CWinApp *app = cl::CWinApp::Current();
    return app ? app->m_pszAppName.c_str() : "";
}

std::u16string Wide(const std::string &s)
{
    int n = MultiByteToWideChar(CP_ACP, 0, s.c_str(), (int)s.size(), nullptr, 0);
    std::u16string w(n, u'\0');
    if (n) MultiByteToWideChar(CP_ACP, 0, s.c_str(), (int)s.size(), reinterpret_cast<WCHAR *>(&w[0]), n);
    return w;
}

std::string Narrow(const WCHAR *w)
{
    if (!w) return "";
    int n = WideCharToMultiByte(CP_ACP, 0, w, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return "";
    std::string s(n, '\0');
    WideCharToMultiByte(CP_ACP, 0, w, -1, &s[0], n, nullptr, nullptr);
    s.resize(n - 1);
    return s;
}

bool SameGuid(GUID a, const GUID &b) { return memcmp(&a, &b, sizeof(GUID)) == 0; }

} // namespace

std::string ProgramFolder()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    char *slash = strrchr(path, '\\');
    if (slash) *slash = 0;
    return path;
}

CWm9ProfileEditorDlg::CWm9ProfileEditorDlg(HWND parent) : CDialog(IDD_WM9_EDITOR, parent), m_strFolder(ProgramFolder())
{
    handlers.Notify(IDC_ED_TAB, TCN_SELCHANGE, [this](NMHDR *) {
        ShowTab((int)::SendMessageA(GetDlgItem(IDC_ED_TAB), TCM_GETCURSEL, 0, 0));
        return (LRESULT)0;
    });
    handlers.Command(IDC_ED_OK, [this] { OnOK(); });
    handlers.Command(IDC_ED_CANCEL, [this] { OnCancel(); });
    handlers.Command(IDC_ED_ADD, [this] { OnAdd(); });
    handlers.Command(IDC_ED_UPDATE, [this] { OnUpdate(); });
    handlers.Command(IDC_ED_DELETE, [this] { OnDelete(); });
    handlers.CommandCode(IDC_ED_STREAMS, LBN_SELCHANGE, [this] { ShowSelected(); });
    handlers.CommandCode(IDC_ED_ACODEC, CBN_SELCHANGE, [this] { FillFormats(); });
    handlers.CommandCode(IDC_ED_AMODE, CBN_SELCHANGE, [this] { FillFormats(); });
    handlers.Message(WM_HSCROLL, [this](WPARAM, LPARAM) {
        ShowPercent();
        return (LRESULT)0;
    });
    handlers.Message(WM_DESTROY, [this](WPARAM, LPARAM) {
        LRESULT r = Default();
        m_entries.clear();
        return r;
    });
}

int CWm9ProfileEditorDlg::Sel(UINT id) const { return (int)::SendMessageA(GetDlgItem(id), CB_GETCURSEL, 0, 0); }

void CWm9ProfileEditorDlg::Box(const char *text) { MessageBoxA(m_hWnd, text, "", MB_OK); }

std::string CWm9ProfileEditorDlg::ProfilePath(const std::string &name) const
{
    return UserProfilePath(m_strFolder, name);
}

void CWm9ProfileEditorDlg::ShowTab(int tab)
{
    for (UINT id : kGeneral) ::ShowWindow(GetDlgItem(id), tab == 0 ? SW_SHOW : SW_HIDE);
    for (UINT id : kSetting) ::ShowWindow(GetDlgItem(id), tab == 1 ? SW_SHOW : SW_HIDE);
    if ((int)::SendMessageA(GetDlgItem(IDC_ED_TAB), TCM_GETCURSEL, 0, 0) != tab)
        ::SendMessageA(GetDlgItem(IDC_ED_TAB), TCM_SETCURSEL, tab, 0);
    EnableRule();
}

void CWm9ProfileEditorDlg::ShowPercent()
{
    int pos = (int)::SendMessageA(GetDlgItem(IDC_ED_QUALITY), TBM_GETPOS, 0, 0);
    SetDlgItemText(IDC_ED_PERCENT, cl::Format("%d%s", pos, "%"));
}

BOOL CWm9ProfileEditorDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    InitWMProfile();
    HWND tab = GetDlgItem(IDC_ED_TAB);
    const UINT titles[] = {IDS_ED_PAGE_GENERAL, IDS_ED_PAGE_SETTING};
    for (int i = 0; i < 2; ++i) {
        char title[40] = {};
        LoadStringA(GetModuleHandleA(nullptr), titles[i], title, sizeof(title));
        TCITEMA item = {};
        item.mask = TCIF_TEXT;
        item.pszText = title;
        ::SendMessageA(tab, TCM_INSERTITEMA, i, (LPARAM)&item);
    }
    ::MoveWindow(m_hWnd, GetSystemMetrics(SM_CXFULLSCREEN) / 2 - 225, GetSystemMetrics(SM_CYFULLSCREEN) / 2 - 200, 425,
                 395, FALSE);
    ::MoveWindow(tab, 10, 10, 400, 315, FALSE);
    for (const Place &p : kPlaces) ::MoveWindow(GetDlgItem(p.id), p.x, p.y, p.w, p.h, FALSE);
    HWND mode = GetDlgItem(IDC_ED_AMODE);
    ::SendMessageA(mode, CB_ADDSTRING, 0, (LPARAM) "Constant Bit Rate (CBR) Encoding ");
    ::SendMessageA(mode, CB_ADDSTRING, 0, (LPARAM) "Variable Bit Rate (VBR) encoding");
    HWND slider = GetDlgItem(IDC_ED_QUALITY);
    ::SendMessageA(slider, TBM_SETRANGE, TRUE, MAKELPARAM(0, 100));
    ::SendMessageA(slider, TBM_SETTICFREQ, 10, 0);
    ShowTab(0);
    FillLists();
    EnableWindow(mode, FALSE);
    switch (m_nMode) {
    case 0:
        SetDlgItemText(IDC_ED_WIDTH, "320");
        SetDlgItemText(IDC_ED_HEIGHT, "240");
        SetDlgItemText(IDC_ED_FPS, "30");
        SetDlgItemText(IDC_ED_KEY, "8");
        SetDlgItemText(IDC_ED_BUFFER, "5");
        SetDlgItemText(IDC_ED_VBITRATE, "0");
        SetDlgItemText(IDC_ED_PERCENT, "0%");
        ::SendMessageA(slider, TBM_SETPOS, TRUE, 0);
        break;
    case 1:
        Load(ProfilePath(kProfileCopy));
        break;
    case 2:
        Load(ProfilePath(m_strSelectedName));
        EnableWindow(GetDlgItem(IDC_ED_NAME), FALSE);
        break;
    case 3:
        Load(ProfilePath(m_strSelectedName));
        SetDlgItemText(IDC_ED_NAME, kProfileCopy);
        break;
    }
    return TRUE;
}

void CWm9ProfileEditorDlg::FillLists()
{
    WM9InitCodecInfo();
    for (bool video : {false, true}) {
        HWND combo = GetDlgItem(video ? IDC_ED_VCODEC : IDC_ED_ACODEC);
        ::SendMessageA(combo, CB_RESETCONTENT, 0, 0);
        int count = video ? WM9GetVideoCodecCount() : WM9GetAudioCodecCount();
        for (int n = 0; n < count; ++n) {
            const WCHAR *name = video ? WM9GetVideoCodecName(n) : WM9GetAudioCodecName(n);
            if (!name) break;
            int line = (int)::SendMessageA(combo, CB_ADDSTRING, 0, (LPARAM)Narrow(name).c_str());
            if (line < 0) break;
            ::SendMessageA(combo, CB_SETITEMDATA, line, n);
        }
        if (!video) {
            ::SendMessageA(combo, CB_SETCURSEL, 0, 0);
            ::SendMessageA(GetDlgItem(IDC_ED_AMODE), CB_SETCURSEL, 0, 0);
            FillFormats();
        }
    }
    FillLanguages();
}

void CWm9ProfileEditorDlg::FillFormats()
{
    HWND combo = GetDlgItem(IDC_ED_AFORMAT);
    ::SendMessageA(combo, CB_RESETCONTENT, 0, 0);
    int codec = Sel(IDC_ED_ACODEC);
    if (codec < 0) codec = 0;
    auto add = [&](int vbr, int passes, int base) {
        int n = WM9GetNumberOfFormatsSupported(PRESETRY_AUDIO_MAJOR, codec, vbr, passes);
        for (int i = 0; i < n; ++i) {
            int line = (int)::SendMessageA(combo, CB_ADDSTRING, 0, (LPARAM)Narrow(WM9GetAudioFormatName(codec, i)).c_str());
            if (line >= 0) ::SendMessageA(combo, CB_SETITEMDATA, line, base + i);
        }
    };
    if (Sel(IDC_ED_AMODE) == 1) {
        add(1, 1, 5000);
        add(1, 2, 10000);
    } else {
        add(0, 0, 0);
    }
    ::SendMessageA(combo, CB_SETCURSEL, 0, 0);
}

void CWm9ProfileEditorDlg::FillLanguages()
{
    HWND combo = GetDlgItem(IDC_ED_LANG);
    if (::SendMessageA(combo, CB_GETCOUNT, 0, 0) == 0) {
        HRESULT init = CoInitialize(nullptr);
        IMultiLanguage *ml = nullptr;
        if (SUCCEEDED(CoCreateInstance(kMultiLanguageClass, nullptr, CLSCTX_INPROC_SERVER, kMultiLanguageIid,
                                       (void **)&ml)) && ml) {
            IEnumRfc1766 *e = nullptr;
            if (SUCCEEDED(ml->EnumRfc1766(&e)) && e) {
                RFC1766INFO info;
                ULONG got = 0;
                std::vector<LCID> seen;
                while (e->Next(1, &info, &got) == S_OK && got == 1) {
                    char name[128] = {}, tag[32] = {};
                    if (!WideCharToMultiByte(CP_ACP, 0, info.wszLocaleName, -1, name, sizeof(name), nullptr, nullptr) ||
                        !WideCharToMultiByte(CP_ACP, 0, info.wszRfc1766, -1, tag, sizeof(tag), nullptr, nullptr))
                        break;
                    bool dup = false;
                    for (LCID l : seen) dup = dup || l == info.lcid;
                    if (dup) continue;
                    seen.push_back(info.lcid);
                    int line = (int)::SendMessageA(combo, CB_ADDSTRING, 0, (LPARAM)cl::Format("%s [%s]", name, tag).c_str());
                    if (line >= 0) ::SendMessageA(combo, CB_SETITEMDATA, line, info.lcid);
                }
                e->Release();
            }
            ml->Release();
        }
        if (SUCCEEDED(init)) CoUninitialize();
    }
    LCID def = GetSystemDefaultLCID();
    int n = (int)::SendMessageA(combo, CB_GETCOUNT, 0, 0);
    for (int i = 0; i < n; ++i)
        if ((LCID)::SendMessageA(combo, CB_GETITEMDATA, i, 0) == def) ::SendMessageA(combo, CB_SETCURSEL, i, 0);
}

int CWm9ProfileEditorDlg::AudioBitrate(int formatLine) const
{
    int codec = Sel(IDC_ED_ACODEC);
    return WM9GetAudioBitrate(codec < 0 ? 0 : codec, formatLine);
}

std::string CWm9ProfileEditorDlg::LineText(const Wm9StreamEntry &e) const
{
    return cl::Format("%d Kbps", (e.videoBitrate + AudioBitrate(e.audioFormat) + 9000) / 1000);
}

void CWm9ProfileEditorDlg::Load(const std::string &path)
{
    std::u16string wide = Wide(path);
    if (path.empty() || WM9ReadProfileAsPRX(reinterpret_cast<const WCHAR *>(wide.c_str())) < 0) {
        Box("Profile Load Failed.");
        return;
    }
    SetDlgItemText(IDC_ED_NAME, Narrow(WM9GetProfileName()));
    SetDlgItemText(IDC_ED_DESC, Narrow(WM9GetProfileDescription()));
    HWND list = GetDlgItem(IDC_ED_STREAMS);
    m_entries.clear();
    ::SendMessageA(list, LB_RESETCONTENT, 0, 0);
    int videos = 0, lastAudioFormat = 0;
    int count = WM9GetStreamCount();
    for (int i = 0; i < count; ++i) {
        GUID type = WM9GetStreamType(i);
        if (SameGuid(type, PRESETRY_AUDIO_MAJOR)) {
            int codec = 0, format = 0, bitrate = 0;
            WM9GetAudioStream(i, &codec, &format, &bitrate);
            Wm9StreamEntry e;
            e.index = (int)m_entries.size();
            e.audioFormat = lastAudioFormat = format < 0 ? 0 : format;
            e.width = e.height = e.videoBitrate = e.keyFrameSeconds = e.bufferWindow = e.quality = 0;
            e.frameRate = 0;
            m_entries.push_back(e);
            ::SendMessageA(GetDlgItem(IDC_ED_ACODEC), CB_SETCURSEL, codec, 0);
            FillFormats();
        } else if (SameGuid(type, PRESETRY_VIDEO_MAJOR)) {
            int codec = 0, bitrate = 0, window = 0, w = 0, h = 0, key = 0, quality = 0;
            float fps = 0;
            WM9GetVideoStream(i, &codec, &bitrate, &window, &fps, &w, &h);
            WM9GetVideoStream2(i, &key, &quality);
            ::SendMessageA(GetDlgItem(IDC_ED_VCODEC), CB_SETCURSEL, codec, 0);
            /* One entry per list line: a video stream without its own audio
             * stream pairs with the last audio format. */
            if (videos >= (int)m_entries.size()) {
                Wm9StreamEntry e;
                e.index = (int)m_entries.size();
                e.audioFormat = lastAudioFormat;
                m_entries.push_back(e);
            }
            Wm9StreamEntry &e = m_entries[videos];
            e.videoBitrate = bitrate;
            e.bufferWindow = window;
            e.frameRate = fps;
            e.width = w;
            e.height = h;
            e.keyFrameSeconds = key;
            e.quality = quality;
            ++videos;
        }
    }
    Rebuild(m_entries.empty() ? -1 : 0);
    LCID lang = WM9GetStreamLanguage();
    HWND langs = GetDlgItem(IDC_ED_LANG);
    int n = (int)::SendMessageA(langs, CB_GETCOUNT, 0, 0);
    for (int i = 0; i < n; ++i)
        if ((LCID)::SendMessageA(langs, CB_GETITEMDATA, i, 0) == lang) ::SendMessageA(langs, CB_SETCURSEL, i, 0);
    EnableRule();
}

void CWm9ProfileEditorDlg::Rebuild(int select)
{
    HWND list = GetDlgItem(IDC_ED_STREAMS);
    ::SendMessageA(list, LB_RESETCONTENT, 0, 0);
    for (auto &e : m_entries) ::SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)LineText(e).c_str());
    if (select >= 0 && select < (int)m_entries.size()) {
        ::SendMessageA(list, LB_SETCURSEL, select, 0);
        ShowSelected();
    }
    EnableRule();
}

void CWm9ProfileEditorDlg::EnableRule()
{
    bool few = ::SendMessageA(GetDlgItem(IDC_ED_STREAMS), LB_GETCOUNT, 0, 0) < 2;
    for (UINT id : {IDC_ED_ACODEC, IDC_ED_VCODEC, IDC_ED_LANG}) EnableWindow(GetDlgItem(id), few);
}

void CWm9ProfileEditorDlg::ShowSelected()
{
    int line = (int)::SendMessageA(GetDlgItem(IDC_ED_STREAMS), LB_GETCURSEL, 0, 0);
    if (line < 0 || line >= (int)m_entries.size()) return;
    const Wm9StreamEntry &e = m_entries[line];
    SetDlgItemText(IDC_ED_WIDTH, cl::Format("%d", e.width));
    SetDlgItemText(IDC_ED_HEIGHT, cl::Format("%d", e.height));
    SetDlgItemText(IDC_ED_FPS, cl::Format("%4.2f", e.frameRate));
    SetDlgItemText(IDC_ED_KEY, cl::Format("%d", e.keyFrameSeconds));
    SetDlgItemText(IDC_ED_VBITRATE, cl::Format("%d", e.videoBitrate / 1000));
    SetDlgItemText(IDC_ED_BUFFER, cl::Format("%d", e.bufferWindow / 1000));
    ::SendMessageA(GetDlgItem(IDC_ED_AFORMAT), CB_SETCURSEL, e.audioFormat, 0);
    ::SendMessageA(GetDlgItem(IDC_ED_QUALITY), TBM_SETPOS, TRUE, e.quality);
    ShowPercent();
}

void CWm9ProfileEditorDlg::OnAdd()
{
    CProfileTargetDlg target(m_hWnd);
    target.m_bNameEditable = 0;
    INT_PTR r = runTarget ? runTarget(target) : target.DoModal();
    HWND list = GetDlgItem(IDC_ED_STREAMS);
    if (r == IDOK) {
        int format = Sel(IDC_ED_AFORMAT);
        if (format < 0) format = 0;
        int audio = AudioBitrate(format);
        long long video = (long long)target.m_nMaxBitrate - audio - 9000;
        /* The video stream gets what the sound and the overhead leave. */
        if (video < 1000) {
            Box(cl::Format("The maximum bit rate must be above %d bps for this audio format.", audio + 10000).c_str());
        } else {
            Wm9StreamEntry e;
            e.index = (int)m_entries.size();
            e.audioFormat = format;
            e.videoBitrate = (int)video;
            m_entries.push_back(e);
            ::SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)cl::Format("%d Kbps", target.m_nMaxBitrate / 1000).c_str());
            SetDlgItemText(IDC_ED_WIDTH, "320");
            SetDlgItemText(IDC_ED_HEIGHT, "240");
            SetDlgItemText(IDC_ED_FPS, cl::Format("%4.2f", 29.97));
            SetDlgItemText(IDC_ED_KEY, "8");
            SetDlgItemText(IDC_ED_BUFFER, "5");
            SetDlgItemText(IDC_ED_VBITRATE, cl::Format("%d", e.videoBitrate / 1000));
            SetDlgItemText(IDC_ED_PERCENT, "0%");
            ::SendMessageA(GetDlgItem(IDC_ED_QUALITY), TBM_SETPOS, TRUE, 0);
        }
    }
    int count = (int)::SendMessageA(list, LB_GETCOUNT, 0, 0);
    if (count > 0) ::SendMessageA(list, LB_SETCURSEL, count - 1, 0);
    EnableRule();
}

void CWm9ProfileEditorDlg::OnUpdate()
{
    HWND list = GetDlgItem(IDC_ED_STREAMS);
    int line = (int)::SendMessageA(list, LB_GETCURSEL, 0, 0);
    if (line < 0 || line >= (int)m_entries.size()) return;
    long w = DecimalOf(GetDlgItemText(IDC_ED_WIDTH)), h = DecimalOf(GetDlgItemText(IDC_ED_HEIGHT));
    double fps = atof(GetDlgItemText(IDC_ED_FPS).c_str());
    long kbps = DecimalOf(GetDlgItemText(IDC_ED_VBITRATE));
    long key = DecimalOf(GetDlgItemText(IDC_ED_KEY)), buffer = DecimalOf(GetDlgItemText(IDC_ED_BUFFER));
    /* Only values the writer can encode reach the line. */
    if (w < 1 || h < 1 || w > 8192 || h > 8192 || !(fps >= 1.0 && fps <= 1000.0) || kbps < 1 || kbps > 100000 ||
        key < 0 || key > 3600 || buffer < 0 || buffer > 3600) {
        Box("Please enter a size, a frame rate of at least 1 and a video bit rate above 0.");
        return;
    }
    Wm9StreamEntry &e = m_entries[line];
    int format = Sel(IDC_ED_AFORMAT);
    e.audioFormat = format < 0 ? 0 : format;
    e.width = (int)w;
    e.height = (int)h;
    e.videoBitrate = (int)kbps * 1000;
    e.frameRate = (float)fps;
    e.keyFrameSeconds = (int)key;
    e.bufferWindow = (int)buffer * 1000;
    e.quality = (int)::SendMessageA(GetDlgItem(IDC_ED_QUALITY), TBM_GETPOS, 0, 0);
    Rebuild(line);
}

void CWm9ProfileEditorDlg::OnDelete()
{
    HWND list = GetDlgItem(IDC_ED_STREAMS);
    int line = (int)::SendMessageA(list, LB_GETCURSEL, 0, 0);
    if (line < 0 || line >= (int)m_entries.size()) return;
    m_entries.erase(m_entries.begin() + line);
    for (size_t i = line; i < m_entries.size(); ++i) m_entries[i].index = (int)i;
    Rebuild((int)m_entries.size() - 1);
}

void CWm9ProfileEditorDlg::OnOK()
{
    std::string name = GetDlgItemText(IDC_ED_NAME);
    if (m_entries.empty()) {
        Box("This Profile is Empty!");
        return;
    }
    if (name.empty()) {
        Box("Profile Name is Empty!");
        return;
    }
    if (name == kProfileCopy) {
        Box("Please, change the profile name ");
        return;
    }
    std::string path = ProfilePath(name);
    if (path.empty()) {
        Box("The profile name cannot be a file name.");
        return;
    }
    int videoCodec = Sel(IDC_ED_VCODEC), audioCodec = Sel(IDC_ED_ACODEC);
    if (videoCodec < 0 || audioCodec < 0) {
        Box("Please choose the audio and video codecs.");
        return;
    }
    int langLine = Sel(IDC_ED_LANG);
    LCID lang = langLine >= 0 ? (LCID)::SendMessageA(GetDlgItem(IDC_ED_LANG), CB_GETITEMDATA, langLine, 0) : 0;
    WM9CreateProfileManager();
    int n = 0;
    for (const Wm9StreamEntry &e : m_entries) {
        if (WM9AddStreamsToProfile(n, e.index, audioCodec, videoCodec, e.audioFormat, e.bufferWindow, e.videoBitrate,
                                   e.width, e.height, e.frameRate, e.quality, e.keyFrameSeconds, lang) < 0) {
            /* A half-built profile is never saved. */
            MessageBoxA(m_hWnd, "Add Stream Error", AppName(), MB_OK | MB_ICONEXCLAMATION);
            return;
        }
        ++n;
    }
    int lines = (int)m_entries.size();
    WM9AddMutualExclusion(lines);
    WM9AddStreamPrioritization(lines);
    std::u16string wname = Wide(name), wdesc = Wide(GetDlgItemText(IDC_ED_DESC));
    WM9SetProfileName(reinterpret_cast<const WCHAR *>(wname.c_str()), (int)wname.size());
    WM9SetProfileDescription(reinterpret_cast<const WCHAR *>(wdesc.c_str()), (int)wdesc.size());
    WM9CreateProfile();
    std::u16string wpath = Wide(path);
    if (WM9SaveProfile(reinterpret_cast<const WCHAR *>(wpath.c_str())) < 0) {
        Box("The profile could not be saved.");
        return;
    }
    EndDialog(IDOK);
}

void CWm9ProfileEditorDlg::OnCancel()
{
    ReleaseWMProfile();
    EndDialog(IDCANCEL);
}
