#include "wm_options_dlg.h"
#include "app.h"
#include "encoding_ids.h"
#include "filedlg.h"
#include "profile.h"
#include "profile_manager_dlg.h"
#include "wm9_editor_dlg.h"
#include <strmif.h>
#include <amvideo.h>
#include <cstdio>
#include <cstdlib>

namespace {

struct Place { UINT id; int x, y, w, h; };

/* Client-pixel rectangles of every control but the bit-rate list. */
const Place kPlaces[] = {
    {IDC_WM_TITLE_LABEL, 40, 52, 75, 20},       {IDC_WM_TITLE, 120, 50, 280, 20},
    {IDC_WM_AUTHOR_LABEL, 40, 82, 75, 20},      {IDC_WM_AUTHOR, 120, 80, 280, 20},
    {IDC_WM_COPYRIGHT_LABEL, 40, 112, 75, 20},  {IDC_WM_COPYRIGHT, 120, 110, 280, 20},
    {IDC_WM_RATING_LABEL, 40, 142, 75, 20},     {IDC_WM_RATING, 120, 140, 280, 20},
    {IDC_WM_DESCRIPTION_LABEL, 40, 172, 75, 20}, {IDC_WM_DESCRIPTION, 120, 170, 280, 120},
    {IDC_WM_PROFILES, 40, 45, 360, 185},        {IDC_WM_PROFILE_TEXT, 40, 238, 360, 50},
    {IDC_WM_NEW, 40, 305, 80, 22},              {IDC_WM_COPY, 130, 305, 80, 22},
    {IDC_WM_EDIT, 220, 305, 80, 22},            {IDC_WM_DELETE, 310, 305, 80, 22},
    {IDC_WM_DEST_LABEL, 40, 48, 85, 20},        {IDC_WM_DESTINATION, 130, 45, 270, 200},
    {IDC_WM_VIDEO_LABEL, 40, 78, 85, 20},       {IDC_WM_VIDEO, 130, 75, 270, 200},
    {IDC_WM_AUDIO_LABEL, 40, 108, 85, 20},      {IDC_WM_AUDIO, 130, 105, 270, 200},
    {IDC_WM_BITRATE_LABEL, 40, 138, 85, 20},
    {IDC_WM_FRAME_FILE, 30, 38, 380, 100},      {IDC_WM_ARCHIVE, 40, 50, 250, 20},
    {IDC_WM_FILE_LABEL, 40, 80, 60, 20},        {IDC_WM_FILE, 100, 77, 230, 20},
    {IDC_WM_BROWSE, 335, 76, 65, 22},           {IDC_WM_ADD_INDEX, 40, 106, 250, 20},
    {IDC_WM_FRAME_NET, 30, 145, 380, 195},      {IDC_WM_BROADCAST, 40, 157, 250, 20},
    {IDC_WM_PORT_LABEL, 40, 187, 60, 20},       {IDC_WM_PORT, 100, 184, 80, 20},
    {IDC_WM_FREE_PORT, 190, 183, 75, 22},       {IDC_WM_URL_NET_LABEL, 40, 215, 300, 18},
    {IDC_WM_URL_NET, 40, 234, 360, 20},         {IDC_WM_URL_LAN_LABEL, 40, 266, 300, 18},
    {IDC_WM_URL_LAN, 40, 285, 360, 20},
    {IDC_WM_FRAME_PUSH, 30, 38, 380, 190},      {IDC_WM_PUSH, 40, 52, 250, 20},
    {IDC_WM_SERVER_LABEL, 40, 88, 125, 20},     {IDC_WM_SERVER, 170, 85, 220, 20},
    {IDC_WM_POINT_LABEL, 40, 118, 125, 20},     {IDC_WM_POINT, 170, 115, 220, 20},
    {IDC_WM_COPY_FROM_LABEL, 40, 148, 125, 20}, {IDC_WM_COPY_FROM, 170, 145, 220, 20},
    {IDC_WM_AUTO_REMOVE, 40, 182, 250, 20},
    {IDOK, 290, 368, 65, 24},                   {IDCANCEL, 362, 368, 65, 24},
};
const RECT kBitrateRect = {40, 160, 400, 300};

const UINT kInfoPage[] = {IDC_WM_TITLE_LABEL, IDC_WM_AUTHOR_LABEL, IDC_WM_COPYRIGHT_LABEL, IDC_WM_RATING_LABEL,
                          IDC_WM_DESCRIPTION_LABEL, IDC_WM_TITLE, IDC_WM_AUTHOR, IDC_WM_COPYRIGHT, IDC_WM_RATING,
                          IDC_WM_DESCRIPTION};
const UINT kButtons[] = {IDC_WM_NEW, IDC_WM_COPY, IDC_WM_EDIT, IDC_WM_DELETE};
const UINT kProfileList[] = {IDC_WM_PROFILES, IDC_WM_PROFILE_TEXT};
const UINT kDestination[] = {IDC_WM_DEST_LABEL, IDC_WM_DESTINATION};
const UINT kConfigs[] = {IDC_WM_VIDEO_LABEL, IDC_WM_VIDEO, IDC_WM_AUDIO_LABEL, IDC_WM_AUDIO, IDC_WM_BITRATE_LABEL};
const UINT kOutputPage[] = {IDC_WM_FRAME_FILE, IDC_WM_FRAME_NET, IDC_WM_ARCHIVE, IDC_WM_FILE_LABEL, IDC_WM_FILE,
                            IDC_WM_BROWSE, IDC_WM_ADD_INDEX, IDC_WM_BROADCAST, IDC_WM_PORT_LABEL, IDC_WM_PORT,
                            IDC_WM_FREE_PORT, IDC_WM_URL_NET_LABEL, IDC_WM_URL_NET, IDC_WM_URL_LAN_LABEL,
                            IDC_WM_URL_LAN};
const UINT kPushPage[] = {IDC_WM_FRAME_PUSH, IDC_WM_PUSH, IDC_WM_SERVER_LABEL, IDC_WM_SERVER, IDC_WM_POINT_LABEL,
                          IDC_WM_POINT, IDC_WM_COPY_FROM_LABEL, IDC_WM_COPY_FROM, IDC_WM_AUTO_REMOVE};

const char kProfileCopy[] = "Profile_copy";
const char kSystemProfileMsg[] = "UserChosePrx is System Profile.";
const char kNoRowMsg[] = "At least You need to select one bit rate in the list.";

const char *AppName()
{
    cl::CWinApp *app = cl::CWinApp::Current();
    return app ? app->m_pszAppName.c_str() : "";
}

void AppMessage(HWND owner, const char *text)
{
    MessageBoxA(owner, text, AppName(), MB_OK | MB_ICONEXCLAMATION);
}

std::string ListText(HWND list, int item, int column)
{
    char buf[64] = {};
    LVITEMA it = {};
    it.iSubItem = column;
    it.pszText = buf;
    it.cchTextMax = sizeof(buf);
    SendMessageA(list, LVM_GETITEMTEXTA, item, (LPARAM)&it);
    return buf;
}

void SetListText(HWND list, int item, int column, const std::string &text)
{
    LVITEMA it = {};
    it.iSubItem = column;
    it.pszText = const_cast<char *>(text.c_str());
    SendMessageA(list, LVM_SETITEMTEXTA, item, (LPARAM)&it);
}

int InsertRow(HWND list, int item, const std::string &text)
{
    LVITEMA it = {};
    it.mask = LVIF_TEXT;
    it.iItem = item;
    it.pszText = const_cast<char *>(text.c_str());
    return (int)SendMessageA(list, LVM_INSERTITEMA, 0, (LPARAM)&it);
}

void InsertColumn(HWND list, int n, const char *title, int width, int format)
{
    LVCOLUMNA c = {};
    c.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    c.fmt = format;
    c.cx = width;
    c.pszText = const_cast<char *>(title);
    SendMessageA(list, LVM_INSERTCOLUMNA, n, (LPARAM)&c);
}

std::string Kbps(int kbps) { return cl::Format("%d Kbps", kbps); }

} // namespace

void CWmEncodingOptionsDlg::TypeFree::operator()(WmMediaType *t) const { CoTaskMemFree(t); }

CWmEncodingOptionsDlg::CWmEncodingOptionsDlg(cl::CProfile &profile, const std::vector<WmConfigEntry> &configs,
                                             HWND parent)
    : CDialog(IDD_WM_OPTIONS, parent), m_profile(profile), m_configs(configs)
{
    runProfileManager = [](CWmEncodingOptionsDlg &owner, int mode) {
        CProfileManagerDlg dlg(owner.m_hWnd);
        dlg.m_nMode = mode;
        dlg.m_nProfileLine = owner.SelectedProfileLine();
        return dlg.DoModal();
    };
    runProfileEditor = [](CWmEncodingOptionsDlg &owner, int mode) {
        CWm9ProfileEditorDlg dlg(owner.m_hWnd);
        dlg.m_nMode = mode;
        dlg.m_strSelectedName = owner.SelectedProfileName();
        return dlg.DoModal();
    };
    handlers.Notify(IDC_WM_TAB, TCN_SELCHANGE, [this](NMHDR *) {
        ShowPage((int)::SendMessageA(GetDlgItem(IDC_WM_TAB), TCM_GETCURSEL, 0, 0));
        return (LRESULT)0;
    });
    handlers.CommandCode(IDC_WM_PROFILES, LBN_SELCHANGE, [this] { ShowProfileDescription(); });
    handlers.CommandCode(IDC_WM_DESTINATION, CBN_SELCHANGE, [this] { OnDestinationChange(); });
    handlers.CommandCode(IDC_WM_VIDEO, CBN_SELCHANGE, [this] { FillBitrateList(); });
    handlers.CommandCode(IDC_WM_AUDIO, CBN_SELCHANGE, [this] { FillBitrateList(); });
    for (UINT id : {IDC_WM_ARCHIVE, IDC_WM_BROADCAST, IDC_WM_PUSH, IDC_WM_ADD_INDEX})
        handlers.Command(id, [this, id] { OnCheckBox(id); });
    handlers.Command(IDC_WM_FREE_PORT, [this] { OnFreePort(); });
    handlers.CommandCode(IDC_WM_PORT, EN_CHANGE, [this] { OnPortEdit(); });
    handlers.Command(IDC_WM_BROWSE, [this] { OnBrowse(); });
    handlers.Command(IDC_WM_NEW, [this] { OnNew(); });
    handlers.Command(IDC_WM_COPY, [this] { OnCopy(); });
    handlers.Command(IDC_WM_EDIT, [this] { OnEdit(); });
    handlers.Command(IDC_WM_DELETE, [this] { OnDelete(); });
    handlers.Message(WM_DESTROY, [this](WPARAM, LPARAM) {
        m_videoTypes.clear();
        m_audioTypes.clear();
        return Default();
    });
}

CWmEncodingOptionsDlg::~CWmEncodingOptionsDlg() {}

int CWmEncodingOptionsDlg::Family() const { return m_nWmVersion; }
bool CWmEncodingOptionsDlg::IsChecked(UINT id) const { return IsDlgButtonChecked(m_hWnd, id) == BST_CHECKED; }
void CWmEncodingOptionsDlg::SetCheck(UINT id, bool on) { CheckDlgButton(m_hWnd, id, on ? BST_CHECKED : BST_UNCHECKED); }
void CWmEncodingOptionsDlg::Enable(UINT id, bool on) { EnableWindow(GetDlgItem(id), on); }
void CWmEncodingOptionsDlg::Show(UINT id, bool on) { ::ShowWindow(GetDlgItem(id), on ? SW_SHOW : SW_HIDE); }
int CWmEncodingOptionsDlg::ComboSel(UINT id) const { return (int)::SendMessageA(GetDlgItem(id), CB_GETCURSEL, 0, 0); }

BOOL CWmEncodingOptionsDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_bLoading = true;
    HWND tab = GetDlgItem(IDC_WM_TAB);
    int pages = Family() == 1 ? 3 : 4;
    for (int i = 0; i < pages; ++i) {
        char title[40] = "Push Server";
        if (i < 3) LoadStringA(GetModuleHandleA(nullptr), IDS_WM_PAGE_INFO + i, title, sizeof(title));
        TCITEMA item = {};
        item.mask = TCIF_TEXT;
        item.pszText = title;
        ::SendMessageA(tab, TCM_INSERTITEMA, i, (LPARAM)&item);
    }
    ::MoveWindow(m_hWnd, GetSystemMetrics(SM_CXFULLSCREEN) / 2 - 225, GetSystemMetrics(SM_CYFULLSCREEN) / 2 - 200, 450,
                 440, FALSE);
    ::MoveWindow(tab, 10, 10, 422, 345, FALSE);
    for (const Place &p : kPlaces) ::MoveWindow(GetDlgItem(p.id), p.x, p.y, p.w, p.h, FALSE);

    /* The visible bit-rate list with check boxes, and the hidden rows of numbers behind it. */
    m_bitrateList.Create(0x50800801, kBitrateRect, m_hWnd, IDC_WM_BITRATES);
    ::SetWindowPos(m_bitrateList.m_hWnd, GetDlgItem(IDC_WM_BITRATE_LABEL), 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    InsertColumn(m_bitrateList.m_hWnd, 0, "Bit Rate", 100, LVCFMT_LEFT);
    InsertColumn(m_bitrateList.m_hWnd, 1, "Frame Rate", 80, LVCFMT_LEFT);
    InsertColumn(m_bitrateList.m_hWnd, 2, "Output Size", 120, LVCFMT_LEFT);
    for (HWND c = ::GetWindow(m_hWnd, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT))
        if (c != m_bitrateList.m_hWnd && ::GetDlgCtrlID(c) == IDC_WM_BITRATES) m_dataList = c;
    ::ShowWindow(m_dataList, SW_HIDE);
    for (int i = 0; i < 12; ++i) InsertColumn(m_dataList, i, "", 40, LVCFMT_CENTER);

    HWND dest = GetDlgItem(IDC_WM_DESTINATION);
    for (const char *d : kWmDestinations) ::SendMessageA(dest, CB_ADDSTRING, 0, (LPARAM)d);

    FillProfileList();
    LoadSettings();
    ShowUrls();
    WmEncodingSettings s = LoadWmSettings(m_profile, WmDefaults::Dialog);
    if (Family() == 16) ::SendMessageA(dest, CB_SETCURSEL, s.wm9Destination, 0);
    if (Family() == 256) ::SendMessageA(dest, CB_SETCURSEL, 7, 0);
    if (Family() == 16 || Family() == 256) OnDestinationChange();
    ::SendMessageA(GetDlgItem(IDC_WM_VIDEO), CB_SETCURSEL, s.wm9Video, 0);
    ::SendMessageA(GetDlgItem(IDC_WM_AUDIO), CB_SETCURSEL, s.wm9Audio, 0);
    if (Family() == 16) {
        FillBitrateList();
        int rows = (int)m_bitrateList.SendMessage(LVM_GETITEMCOUNT);
        /* The stored row count never names rows the list does not have. */
        m_nRowCount = s.wm9SelBandWidthNumbers < rows ? (s.wm9SelBandWidthNumbers < 0 ? 0 : s.wm9SelBandWidthNumbers)
                                                      : rows;
        for (int r = 0; r < m_nRowCount; ++r)
            if (m_bitrateList.IsChecked(r)) m_bitrateList.SetCheck(r, false);
        for (int r : ParseCheckedRows(s.wm9CheckBitrate, s.wm9CheckedNumbers, m_nRowCount)) m_bitrateList.SetCheck(r, true);
    }
    m_bLoading = false;
    ShowPage(0);
    return TRUE;
}

void CWmEncodingOptionsDlg::ShowPage(int page)
{
    m_nPage = page;
    int f = Family();
    for (UINT id : kInfoPage) Show(id, page == 0);
    for (UINT id : kButtons) Show(id, page == 1);
    for (UINT id : kProfileList) Show(id, page == 1 && f != 16);
    for (UINT id : kDestination) Show(id, page == 1 && f != 1);
    for (UINT id : kConfigs) Show(id, page == 1 && f == 16);
    if (m_bitrateList.m_hWnd) ::ShowWindow(m_bitrateList.m_hWnd, page == 1 && f == 16 ? SW_SHOW : SW_HIDE);
    for (UINT id : kOutputPage) Show(id, page == 2);
    for (UINT id : kPushPage) Show(id, page == 3 && f != 1);
    if (m_dataList) ::ShowWindow(m_dataList, SW_HIDE);
    if ((int)::SendMessageA(GetDlgItem(IDC_WM_TAB), TCM_GETCURSEL, 0, 0) != page)
        ::SendMessageA(GetDlgItem(IDC_WM_TAB), TCM_SETCURSEL, page, 0);
}

void CWmEncodingOptionsDlg::FillProfileList()
{
    HWND list = GetDlgItem(IDC_WM_PROFILES);
    ::SendMessageA(list, LB_RESETCONTENT, 0, 0);
    int count = g_encodingEngine.GetProfileCount();
    for (int i = 0; i < count; ++i) {
        const char *name = g_encodingEngine.GetProfileName(i);
        ::SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)(name ? name : ""));
    }
    m_bNoProfiles = count <= 0;
}

int CWmEncodingOptionsDlg::SelectedProfileLine() const
{
    return (int)::SendMessageA(GetDlgItem(IDC_WM_PROFILES), LB_GETCURSEL, 0, 0);
}

std::string CWmEncodingOptionsDlg::SelectedProfileName() const
{
    HWND list = GetDlgItem(IDC_WM_PROFILES);
    int line = SelectedProfileLine();
    if (line < 0) return "";
    int len = (int)::SendMessageA(list, LB_GETTEXTLEN, line, 0);
    if (len < 0) return "";
    std::string text(len + 1, '\0');
    ::SendMessageA(list, LB_GETTEXT, line, (LPARAM)&text[0]);
    text.resize(len);
    return text;
}

int CWmEncodingOptionsDlg::FindProfileLine(const std::string &name) const
{
    int count = g_encodingEngine.GetProfileCount();
    for (int i = 0; i < count; ++i) {
        const char *n = g_encodingEngine.GetProfileName(i);
        if (n && name == n) return i;
    }
    return -1;
}

void CWmEncodingOptionsDlg::ShowProfileDescription()
{
    int line = SelectedProfileLine();
    const char *text = line >= 0 && !m_bNoProfiles ? g_encodingEngine.GetProfileDescription(line) : "";
    SetDlgItemText(IDC_WM_PROFILE_TEXT, text ? text : "");
}

void CWmEncodingOptionsDlg::LoadSettings()
{
    WmEncodingSettings s = LoadWmSettings(m_profile, WmDefaults::Dialog);
    SetDlgItemText(IDC_WM_TITLE, s.title);
    SetDlgItemText(IDC_WM_AUTHOR, s.author);
    SetDlgItemText(IDC_WM_COPYRIGHT, s.copyright);
    SetDlgItemText(IDC_WM_RATING, s.rating);
    SetDlgItemText(IDC_WM_DESCRIPTION, s.description);
    SetDlgItemText(IDC_WM_FILE, s.archive.empty() ? kDefaultWmFile : s.archive);
    m_nPort = s.port;
    SetDlgItemText(IDC_WM_PORT, cl::Format("%d", m_nPort));
    SetDlgItemText(IDC_WM_SERVER, s.pushServer);
    SetDlgItemText(IDC_WM_POINT, s.publishingPoint);
    SetDlgItemText(IDC_WM_COPY_FROM, s.copyFrom);
    SetCheck(IDC_WM_AUTO_REMOVE, s.autoRemove != 0);
    SetCheck(IDC_WM_PUSH, s.pushToServer != 0);
    SetCheck(IDC_WM_ADD_INDEX, s.addIndex != 0);
    SetCheck(IDC_WM_ARCHIVE, s.archiveToFile != 0);
    SetCheck(IDC_WM_BROADCAST, s.broadcast != 0);
    /* The remembered profile by name, else its line when the list has it. */
    const std::string &name = Family() == 1 ? s.wm8ProfileName : s.userProfileName;
    int line = name.empty() ? -1 : FindProfileLine(name);
    if (line < 0) line = Family() == 1 ? s.wm8ProfileIndex : s.userProfileIndex;
    ::SendMessageA(GetDlgItem(IDC_WM_PROFILES), LB_SETCURSEL, line, 0);
    ShowProfileDescription();
    for (UINT id : {IDC_WM_BROADCAST, IDC_WM_ARCHIVE, IDC_WM_ADD_INDEX, IDC_WM_PUSH}) OnCheckBox(id);
}

void CWmEncodingOptionsDlg::ShowUrls()
{
    bool loading = m_bLoading;
    m_bLoading = true;
    SetDlgItemText(IDC_WM_PORT, cl::Format("%d", m_nPort));
    m_bLoading = loading;
    std::string name, address;
    LocalHostAddresses(&name, &address);
    SetDlgItemText(IDC_WM_URL_NET, UrlText(address, m_nPort));
    SetDlgItemText(IDC_WM_URL_LAN, UrlText(name, m_nPort));
}

void CWmEncodingOptionsDlg::OnCheckBox(UINT id)
{
    bool on = IsChecked(id);
    switch (id) {
    case IDC_WM_ARCHIVE:
        for (UINT c : {IDC_WM_ADD_INDEX, IDC_WM_FILE, IDC_WM_BROWSE}) Enable(c, on);
        break;
    case IDC_WM_BROADCAST:
        for (UINT c : {IDC_WM_PORT, IDC_WM_FREE_PORT}) Enable(c, on);
        break;
    case IDC_WM_PUSH:
        for (UINT c : {IDC_WM_AUTO_REMOVE, IDC_WM_SERVER, IDC_WM_POINT, IDC_WM_COPY_FROM}) Enable(c, on);
        break;
    case IDC_WM_ADD_INDEX:
        g_encodingEngine.IndexOnOff(on);
        break;
    }
}

void CWmEncodingOptionsDlg::OnFreePort()
{
    /* Every port counts as free here: the writer reports a port in use
     * when it starts serving. */
    ++m_nPort;
    ShowUrls();
}

void CWmEncodingOptionsDlg::OnPortEdit()
{
    if (m_bLoading) return;
    std::string text = GetDlgItemText(IDC_WM_PORT);
    if (text.empty()) {
        m_nPort = 8079;
        OnFreePort();
        return;
    }
    int port = PortFromEdit(text, m_nPort);
    if (port == m_nPort) return;
    m_nPort = port;
    std::string name, address;
    LocalHostAddresses(&name, &address);
    SetDlgItemText(IDC_WM_URL_NET, UrlText(address, m_nPort));
    SetDlgItemText(IDC_WM_URL_LAN, UrlText(name, m_nPort));
}

void CWmEncodingOptionsDlg::OnBrowse()
{
    static const char filter[] = "WMV Files(*.wmv)|*.wmv|All Files(*.*)|*.*||";
    std::string path;
    bool ok;
    if (chooseFile) {
        ok = chooseFile(&path);
    } else {
        cl::CFileDialog fd(false, "wmv", nullptr, 0x206, filter, m_hWnd);
        fd.SetTitle("Save Windows Media Archive File");
        ok = fd.DoModal() == IDOK;
        if (ok) path = fd.GetPathName();
    }
    if (ok) SetDlgItemText(IDC_WM_FILE, path);
}

void CWmEncodingOptionsDlg::OnDestinationChange()
{
    int d = ComboSel(IDC_WM_DESTINATION);
    if (d < 0) return;
    if (d != 7) {
        m_nWmVersion = 16;
        for (int kind : {1, 0}) {
            HWND combo = GetDlgItem(kind == 1 ? IDC_WM_VIDEO : IDC_WM_AUDIO);
            ::SendMessageA(combo, CB_RESETCONTENT, 0, 0);
            for (size_t i = 0; i < m_configs.size(); ++i) {
                if (m_configs[i].kind != kind || m_configs[i].destination != d) continue;
                int line = (int)::SendMessageA(combo, CB_ADDSTRING, 0, (LPARAM)m_configs[i].name.c_str());
                if (line >= 0) ::SendMessageA(combo, CB_SETITEMDATA, line, (LPARAM)i);
            }
            /* The first configuration of the destination is the one shown. */
            ::SendMessageA(combo, CB_SETCURSEL, 0, 0);
        }
        FillBitrateList();
        for (UINT id : {IDC_WM_NEW, IDC_WM_EDIT, IDC_WM_DELETE}) Enable(id, false);
    } else {
        m_nWmVersion = 256;
        ::MoveWindow(GetDlgItem(IDC_WM_PROFILES), 40, 75, 360, 155, TRUE);
        for (UINT id : {IDC_WM_NEW, IDC_WM_EDIT, IDC_WM_DELETE}) Enable(id, true);
    }
    ShowPage(m_nPage);
}

WmBitrateRow CWmEncodingOptionsDlg::Row(int row) const
{
    WmBitrateRow r;
    r.videoBitrate = atoi(ListText(m_dataList, row, 0).c_str());
    r.frameRate = atof(ListText(m_dataList, row, 1).c_str());
    r.keySeconds = atoi(ListText(m_dataList, row, 2).c_str());
    r.bufferWindow = atoi(ListText(m_dataList, row, 3).c_str());
    r.quality = atoi(ListText(m_dataList, row, 4).c_str());
    r.width = atoi(ListText(m_dataList, row, 5).c_str());
    r.height = atoi(ListText(m_dataList, row, 6).c_str());
    r.audioBitrate = atoi(ListText(m_dataList, row, 7).c_str());
    return r;
}

void CWmEncodingOptionsDlg::FillBitrateList()
{
    auto configOf = [this](UINT id) -> const WmConfigEntry * {
        HWND combo = GetDlgItem(id);
        int line = (int)::SendMessageA(combo, CB_GETCURSEL, 0, 0);
        if (line < 0) return nullptr;
        size_t i = (size_t)::SendMessageA(combo, CB_GETITEMDATA, line, 0);
        return i < m_configs.size() ? &m_configs[i] : nullptr;
    };
    const WmConfigEntry *v = configOf(IDC_WM_VIDEO), *a = configOf(IDC_WM_AUDIO);
    auto streams = [](const WmConfigEntry *c, int kind) {
        if (!c) return 0;
        g_encodingEngine.GetCodecCount(kind);
        int flags = 0;
        if (!g_encodingEngine.LoadProfile9(c->file.c_str(), &flags, nullptr, nullptr, nullptr, nullptr, nullptr, 0))
            return 0;
        return flags & 0xFFFFFF;
    };
    int V = streams(v, 1), A = streams(a, 0);
    HWND list = m_bitrateList.m_hWnd;
    if (V <= 0) {
        /* Nothing to show: the list keeps what it had. */
        m_nRowCount = (int)::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
        return;
    }
    int rows = V > A ? V : A;
    g_encodingEngine.GetCodecCount(1);
    g_encodingEngine.LoadProfile9(v->file.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0);
    m_videoTypes.assign(rows, nullptr);
    m_audioTypes.assign(rows, nullptr);
    ::SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    ::SendMessageA(m_dataList, LVM_DELETEALLITEMS, 0, 0);
    std::vector<WmBitrateRow> video;
    for (int i = 0; i < V; ++i) {
        WmBitrateRow r;
        float fps = 0;
        WmMediaType *type = nullptr;
        if (!g_encodingEngine.GetVideoStream9(i, &r.videoBitrate, &fps, &r.keySeconds, &r.bufferWindow, &r.quality, &type))
            break;
        r.frameRate = fps;
        m_videoTypes[i] = TypePtr(type, TypeFree());
        if (type && type->pbFormat && type->cbFormat >= sizeof(VIDEOINFOHEADER)) {
            const VIDEOINFOHEADER *vi = reinterpret_cast<const VIDEOINFOHEADER *>(type->pbFormat);
            r.width = vi->rcTarget.right - vi->rcTarget.left;
            r.height = vi->rcTarget.bottom - vi->rcTarget.top;
        }
        video.push_back(r);
    }
    V = (int)video.size();
    if (V == 0) {
        m_nRowCount = 0;
        return;
    }
    if (a) {
        g_encodingEngine.GetCodecCount(0);
        g_encodingEngine.LoadProfile9(a->file.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0);
    }
    int audioBitrate = 0;
    for (int r = 0; r < rows; ++r) {
        if (r < A) {
            WmMediaType *type = nullptr;
            if (g_encodingEngine.GetAudioStream9(r, &audioBitrate, &type)) m_audioTypes[r] = TypePtr(type, TypeFree());
        } else if (r > 0) {
            m_audioTypes[r] = m_audioTypes[r - 1];   /* past the last audio stream: the last one again */
        }
        WmBitrateRow row = video[r < V ? r : V - 1];
        if (r >= V) m_videoTypes[r] = m_videoTypes[V - 1];
        row.audioBitrate = audioBitrate;
        int total = r < V ? ((row.videoBitrate / 1000 + 9) * 1000 + audioBitrate) / 1000
                          : (row.videoBitrate + audioBitrate + 9000) / 1000;
        InsertRow(list, r, Kbps(total));
        SetListText(list, r, 1, cl::Format("%4.2f fps", row.frameRate));
        SetListText(list, r, 2, cl::Format("%d x %d", row.width, row.height));
        m_bitrateList.SetCheck(r, false);
        InsertRow(m_dataList, r, cl::Format("%d", row.videoBitrate));
        SetListText(m_dataList, r, 1, cl::Format("%f", row.frameRate));
        SetListText(m_dataList, r, 2, cl::Format("%d", row.keySeconds));
        SetListText(m_dataList, r, 3, cl::Format("%d", row.bufferWindow));
        SetListText(m_dataList, r, 4, cl::Format("%d", row.quality));
        SetListText(m_dataList, r, 5, cl::Format("%d", row.width));
        SetListText(m_dataList, r, 6, cl::Format("%d", row.height));
        SetListText(m_dataList, r, 7, cl::Format("%d", row.audioBitrate));
    }
    m_nRowCount = rows;
    /* The middle alternative is checked; with one video stream every row. */
    int middle = V / 2 - 1;
    if (middle < 0) {
        for (int r = 0; r < rows; ++r) m_bitrateList.SetCheck(r, true);
    } else {
        m_bitrateList.ToggleCheck(middle);
    }
}

bool CWmEncodingOptionsDlg::BuildFromCheckedRows(const char *name, bool forOk, std::string *checkedText)
{
    std::vector<int> checked;
    for (int r = 0; r < m_nRowCount; ++r)
        if (m_bitrateList.IsChecked(r)) checked.push_back(r);
    if (checked.empty()) {
        AppMessage(m_hWnd, kNoRowMsg);
        return false;
    }
    g_encodingEngine.CreateNewProfile();
    g_encodingEngine.SetProfileName(name);
    WmBitrateRow prev;
    WORD number = 0;
    for (int r : checked) {
        WmBitrateRow row = Row(r);
        bool repeat = row.videoBitrate == prev.videoBitrate && row.frameRate == prev.frameRate &&
                      row.keySeconds == prev.keySeconds && row.bufferWindow == prev.bufferWindow &&
                      row.quality == prev.quality && row.audioBitrate == prev.audioBitrate;
        prev = row;
        if (forOk && repeat) continue;
        g_encodingEngine.AddAudioStream9(m_audioTypes[r].get(), &number, row.audioBitrate);
        g_encodingEngine.AddVideoStream9(m_videoTypes[r].get(), &number, row.quality, row.keySeconds, row.bufferWindow);
    }
    if (checkedText) *checkedText = JoinCheckedRows(checked);
    g_encodingEngine.SaveProfile();
    FillProfileList();
    return true;
}

void CWmEncodingOptionsDlg::RefillAndReselect(int line)
{
    FillProfileList();
    ::SendMessageA(GetDlgItem(IDC_WM_PROFILES), LB_SETCURSEL, line, 0);
    ShowProfileDescription();
    Invalidate();
}

void CWmEncodingOptionsDlg::OnNew()
{
    int line = SelectedProfileLine();
    auto &run = Family() == 1 ? runProfileManager : runProfileEditor;
    if (run && run(*this, 0) == IDOK) RefillAndReselect(line);
}

void CWmEncodingOptionsDlg::OnCopy()
{
    int line = SelectedProfileLine();
    if (Family() == 16) {
        if (!BuildFromCheckedRows(kProfileCopy, false, nullptr)) return;
        int copy = FindProfileLine(kProfileCopy);
        ::SendMessageA(GetDlgItem(IDC_WM_PROFILES), LB_SETCURSEL, copy, 0);
        if (runProfileEditor && runProfileEditor(*this, 1) == IDOK) {
            ::SendMessageA(GetDlgItem(IDC_WM_DESTINATION), CB_SETCURSEL, 7, 0);
            OnDestinationChange();
        } else if (copy >= 0) {
            g_encodingEngine.DeleteProfile(copy);
        }
        /* The working copy never outlives the copy command. */
        for (int n = FindProfileLine(kProfileCopy), guard = 0; n >= 0 && guard < 64; n = FindProfileLine(kProfileCopy), ++guard)
            if (!g_encodingEngine.DeleteProfile(n)) break;
        RefillAndReselect(line);
        return;
    }
    if (m_bNoProfiles || line < 0) return;
    auto &run = Family() == 1 ? runProfileManager : runProfileEditor;
    INT_PTR r = run ? run(*this, Family() == 1 ? 1 : 3) : IDCANCEL;
    /* Either way the list is read again; the line stays selected. */
    (void)r;
    RefillAndReselect(line);
}

void CWmEncodingOptionsDlg::OnEdit()
{
    int line = SelectedProfileLine();
    if (m_bNoProfiles || line < 0) return;
    if (Family() == 1) {
        if (runProfileManager && runProfileManager(*this, 2) == IDOK) RefillAndReselect(line);
        return;
    }
    if (SelectedProfileName() == kUserChosePrx) {
        MessageBoxA(m_hWnd, kSystemProfileMsg, "", MB_OK);
        return;
    }
    if (runProfileEditor && runProfileEditor(*this, 2) == IDOK) RefillAndReselect(line);
}

void CWmEncodingOptionsDlg::OnDelete()
{
    int line = SelectedProfileLine();
    if (m_bNoProfiles || line < 0) return;
    std::string name = SelectedProfileName();
    if (name == kUserChosePrx) {
        MessageBoxA(m_hWnd, kSystemProfileMsg, "", MB_OK);
        return;
    }
    /* A profile file is gone for good: ask first. */
    if (MessageBoxA(m_hWnd, cl::Format("Delete the profile \"%s\"?", name.c_str()).c_str(), AppName(),
                    MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    g_encodingEngine.DeleteProfile(line);
    FillProfileList();
    int count = (int)::SendMessageA(GetDlgItem(IDC_WM_PROFILES), LB_GETCOUNT, 0, 0);
    if (count > 0) {
        ::SendMessageA(GetDlgItem(IDC_WM_PROFILES), LB_SETCURSEL, line < count ? line : count - 1, 0);
        ShowProfileDescription();
    } else {
        SetDlgItemText(IDC_WM_PROFILE_TEXT, "");
    }
    Invalidate();
}

void CWmEncodingOptionsDlg::OnOK()
{
    WmEncodingSettings s = LoadWmSettings(m_profile, WmDefaults::Dialog);
    s.title = GetDlgItemText(IDC_WM_TITLE);
    s.author = GetDlgItemText(IDC_WM_AUTHOR);
    s.copyright = GetDlgItemText(IDC_WM_COPYRIGHT);
    s.rating = GetDlgItemText(IDC_WM_RATING);
    s.description = GetDlgItemText(IDC_WM_DESCRIPTION);
    s.archive = GetDlgItemText(IDC_WM_FILE);
    s.port = PortFromEdit(GetDlgItemText(IDC_WM_PORT), m_nPort);
    s.pushServer = GetDlgItemText(IDC_WM_SERVER);
    s.publishingPoint = GetDlgItemText(IDC_WM_POINT);
    s.copyFrom = GetDlgItemText(IDC_WM_COPY_FROM);
    s.autoRemove = IsChecked(IDC_WM_AUTO_REMOVE);
    s.pushToServer = IsChecked(IDC_WM_PUSH);
    s.addIndex = IsChecked(IDC_WM_ADD_INDEX);
    s.archiveToFile = IsChecked(IDC_WM_ARCHIVE);
    s.broadcast = IsChecked(IDC_WM_BROADCAST);
    int line = SelectedProfileLine();
    std::string lineName = SelectedProfileName();
    const char *sec = kWmSection;
    if (Family() == 16) {
        bool any = false;
        for (int r = 0; r < m_nRowCount && !any; ++r) any = m_bitrateList.IsChecked(r);
        if (!any) {
            AppMessage(m_hWnd, kNoRowMsg);
            return;
        }
        m_profile.WriteInt(sec, "WM9Destination", ComboSel(IDC_WM_DESTINATION));
        m_profile.WriteInt(sec, "WM9Video", ComboSel(IDC_WM_VIDEO));
        m_profile.WriteInt(sec, "WM9Audio", ComboSel(IDC_WM_AUDIO));
        m_profile.WriteInt(sec, "WM9SelBandWidthNumbers", m_nRowCount);
        std::string checked;
        if (!BuildFromCheckedRows(kUserChosePrx, true, &checked)) return;
        int count = 1;
        for (char c : checked) count += c == ',';
        m_profile.WriteInt(sec, "WM9CheckedNumbers", count);
        m_profile.WriteString(sec, "WM9CheckBitrate", checked);
        int index = FindProfileLine(kUserChosePrx);
        m_profile.WriteInt(sec, "WM9ProfileIndex", index < 0 ? 0 : index);
        m_profile.WriteInt("EncodingOption", "ProfileVersion", 1);
    } else if (Family() == 1) {
        m_profile.WriteInt(sec, "WM8ProfileIndex", line < 0 ? 0 : line);
        m_profile.WriteString(sec, "WM8ProfileName", lineName);
        m_profile.WriteInt("EncodingOption", "ProfileVersion", 0);
    } else {
        m_profile.WriteInt(sec, "UserProfileIndex", line < 0 ? 0 : line);
        m_profile.WriteString(sec, "UserProfileName", lineName);
        m_profile.WriteInt("EncodingOption", "ProfileVersion", 2);
    }
    SaveWmSettings(m_profile, s);
    EndDialog(IDOK);
}

int ShowWmEncodingOptions(EncoderSelection &selection, HWND owner)
{
    static cl::CProfile fallback;
    CWmEncodingOptionsDlg dlg(selection.profile ? *selection.profile : fallback, selection.wm9Configs, owner);
    dlg.m_nWmVersion = selection.m_nWmVersion;
    if (dlg.DoModal() != IDOK) return 0;
    selection.m_nWmVersion = dlg.m_nWmVersion;
    selection.ApplyWmEncodingSettings();
    return 1;
}
