#include "mixer_dlg.h"
#include <cstdlib>
#include <limits>
#include "encoding_ids.h"
#include "wm_options_dlg.h"
#include "app.h"
#include "dialogs.h"
#include "engine_calls.h"
#include "engine_events.h"
#include "quiet_boxes.h"
#include "resource.h"
#include <memory>
#include "title_ids.h"
#include "title_preview.h"
#include <tlhelp32.h>
#include <cstring>

/* {03EF03CA-9399-4D22-917C-4D4E3B295D10} */
const CLSID CLSID_TitleBox = {0x03EF03CA, 0x9399, 0x4D22, {0x91, 0x7C, 0x4D, 0x4E, 0x3B, 0x29, 0x5D, 0x10}};

const POINT kMixerOutline[45] = {
    {0, 9}, {1, 9}, {1, 6}, {2, 6}, {2, 5}, {3, 5}, {3, 3}, {5, 3}, {5, 2}, {6, 2}, {6, 1}, {9, 1}, {9, 0},
    {1006, 0}, {1006, 1}, {1009, 1}, {1009, 2}, {1010, 2}, {1010, 3}, {1012, 3}, {1012, 5}, {1013, 5}, {1013, 6},
    {1014, 6}, {1014, 9}, {1015, 9}, {1014, 763}, {1013, 763}, {1013, 764}, {1012, 764}, {1012, 765}, {1010, 765},
    {1010, 766}, {1009, 766}, {1009, 767}, {1006, 767}, {1006, 768}, {9, 768}, {9, 767}, {6, 767}, {6, 766},
    {5, 766}, {1, 762}, {1, 758}, {0, 758}};

namespace {

const UINT kPreviewIds[CHANNELS] = {1007, 1019, 1021, 1058, 1075};
const UINT kIndicatorIds[CHANNELS] = {1108, 1109, 1110, 1111, 1112};
const UINT kTransportIds[CHANNELS][6] = {{1006, 1008, 1011, 1009, 1010, 1012},
                                         {1013, 1014, 1017, 1015, 1016, 1018},
                                         {1028, 1029, 1036, 1037, 1041, 1044},
                                         {1059, 1060, 1069, 1070, 1071, 1072},
                                         {1076, 1077, 1078, 1079, 1080, 1081}};
const UINT kTimeIds[CHANNELS][2] = {{1022, 1023}, {1024, 1025}, {1056, 1057}, {1073, 1074}, {1082, 1083}};
const UINT kOpenCommands[CHANNELS] = {ID_OPEN_CH1, ID_OPEN_CH2, ID_OPEN_CH3, ID_OPEN_CH4, ID_OPEN_CH5};
const UINT kPreviewCommands[CHANNELS] = {ID_PREVIEW_CH1, ID_PREVIEW_CH2, ID_PREVIEW_CH3, ID_PREVIEW_CH4,
                                         ID_PREVIEW_CH5};
const int kChannelX[CHANNELS] = {36, 232, 428, 624, 819};
const char *const kTransportTips[6] = {"Rewind", "Stop", "Pause", "Play", "Fast Forward", "Open Source"};
const char *const kMotionTips[5] = {"Title Moving X", "Title Move to Left", "Title Move to Down", "Title Move to Up",
                                    "Title Move to Right"};

cl::CProfile &Profile()
{
    static cl::CProfile fallback;
    cl::CWinApp *app = cl::CWinApp::Current();
    return app ? app->profile : fallback;
}

} // namespace

int CountProcessesNamed(const char *name)
{
    /* A process that is still starting can show an empty name: an empty
     * name is nobody's. */
    if (!name || !name[0]) return 0;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return 0;
    PROCESSENTRY32 pe = {};
    pe.dwSize = sizeof(pe);
    int count = 0;
    for (BOOL ok = Process32First(snap, &pe); ok; ok = Process32Next(snap, &pe)) {
        const char *base = strrchr(pe.szExeFile, '\\');
        base = base ? base + 1 : pe.szExeFile;
        if (!lstrcmpiA(base, name)) ++count;
    }
    CloseHandle(snap);
    return count;
}

std::string TimeSpanText(int seconds)
{
    if (seconds < 0) seconds = 0;
    return cl::Format("%02d:%02d:%02d", seconds / 3600, (seconds / 60) % 60, seconds % 60);
}

CMixerDlg::CMixerDlg() : CDialog(IDD_MIXER)
{
    comStarted_ = SUCCEEDED(CoInitialize(nullptr));
    icon_ = (HICON)LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_MIXER), IMAGE_ICON, 32, 32, 0);
    smallIcon_ = (HICON)LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_MIXER), IMAGE_ICON, 16, 16, 0);

    handlers.Message(WM_ERASEBKGND, [this](WPARAM wp, LPARAM) {
        HDC dc = (HDC)wp;
        if (background_) {
            HDC mem = CreateCompatibleDC(dc);
            HGDIOBJ old = SelectObject(mem, background_);
            BitBlt(dc, 0, 0, 1016, 769, mem, 0, 0, SRCCOPY);
            SelectObject(mem, old);
            DeleteDC(mem);
        }
        RepaintChannelPreviews();
        return (LRESULT)TRUE;
    });
    handlers.Message(WM_LBUTTONDOWN, [this](WPARAM, LPARAM lp) {
        int x = (short)LOWORD(lp), y = (short)HIWORD(lp);
        if (x >= 1 && x <= 1015 && y >= 1 && y <= 21) {
            ReleaseCapture();
            ::SendMessageA(m_hWnd, WM_NCLBUTTONDOWN, HTCAPTION, lp);
            return (LRESULT)0;
        }
        return Default();
    });
    handlers.Message(WM_SIZE, [this](WPARAM type, LPARAM lp) {
        if (type != SIZE_MINIMIZED && (LOWORD(lp) != 1016 || HIWORD(lp) != 769))
            SetWindowPos(m_hWnd, nullptr, 0, 0, 1016, 769, SWP_NOZORDER | SWP_NOACTIVATE);
        return Default();
    });
    handlers.Message(WM_DESTROY, [this](WPARAM, LPARAM) {
        OnDestroy();
        return Default();
    });
    handlers.Message(WM_EXITMENULOOP, [this](WPARAM, LPARAM) {
        RaiseMenuButtons();
        return Default();
    });
    handlers.Message(WM_HSCROLL, [this](WPARAM, LPARAM lp) {
        if ((HWND)lp == motionSlider_.m_hWnd) OnMotionDurationScroll();
        return (LRESULT)0;
    });
    /* The T-bar: every scroll event, whatever its kind, follows the bar;
     * letting go of it decides how the transition goes on. */
    handlers.Message(WM_VSCROLL, [this](WPARAM, LPARAM lp) {
        if ((HWND)lp == tbar_.m_hWnd) switcher.OnTBarScroll(TBarPos());
        return (LRESULT)0;
    });
    handlers.Notify(IDC_TBAR, NM_RELEASEDCAPTURE, [this](NMHDR *) {
        switcher.OnTBarRelease(TBarPos());
        return (LRESULT)0;
    });
    for (UINT m : {WM_ENGINE_GRAPHNOTIFY, WM_ENGINE_SOURCESTATE, WM_ENGINE_TRANSPROGRESS, WM_ENGINE_POSITION,
                   WM_ENGINE_ENCODETIME}) {
        handlers.Message(m, [this, m](WPARAM wp, LPARAM lp) { return OnEngineMessage(m, wp, lp); });
    }

    for (int n = 1; n <= CHANNELS; ++n) {
        const UINT *ids = kTransportIds[n - 1];
        handlers.Command(ids[BTN_REWIND], [this, n] { deck.OnRewind(n); });
        handlers.Command(ids[BTN_STOP], [this, n] { deck.OnStop(n); });
        handlers.Command(ids[BTN_PAUSE], [this, n] { deck.OnPause(n); });
        handlers.Command(ids[BTN_PLAY], [this, n] { deck.OnPlay(n); });
        handlers.Command(ids[BTN_FORWARD], [this, n] { deck.OnFastForward(n); });
        handlers.Command(ids[BTN_OPEN], [this, n] { OnOpenButton(n); });
        handlers.Command(kOpenCommands[n - 1], [this, n] { OpenChannelSource(n); });
        handlers.Command(kPreviewCommands[n - 1], [this, n] { deck.OnSelectChannel(n); });
        handlers.CommandCode(kPreviewIds[n - 1], STN_CLICKED, [this, n] { deck.OnSelectChannel(n); });
    }
    handlers.Command(IDC_SWITCH, [this] { OnSwitchCommand(); });
    handlers.Command(ID_SWITCHOVER, [this] { OnSwitchCommand(); });
    handlers.Command(IDC_TIME_MINUS, [this] { switcher.OnTransTimeMinus(TransTimeEdit()); });
    handlers.Command(IDC_TIME_PLUS, [this] { switcher.OnTransTimePlus(TransTimeEdit()); });
    /* A project command: nothing while the scheduler drives the mixer. */
    handlers.Command(ID_NEW_PROJECT, [this] { if (!m_bRemoteMode) NewProject(); });
    handlers.Command(ID_OPEN_PROJECT, [this] { project.OpenProject(); });
    handlers.Command(ID_SAVE_PROJECT, [this] { project.SaveProject(); });
    handlers.Command(ID_SAVE_PROJECT_AS, [this] { project.SaveProjectAs(); });
    handlers.Command(IDC_SLIDESHOW, [this] { project.OnSlideShowButton(); });
    handlers.Command(ID_EXIT, [this] { OnExit(); });
    handlers.Command(IDC_EXIT, [this] { OnExit(); });
    handlers.Command(IDC_MINIMIZE, [this] { OnMinimize(); });
    handlers.Command(ID_ABOUT, [this] { OnAbout(); });
    handlers.Command(ID_WM8, [this] { encoding.OnEncoderWm8(); });
    handlers.Command(ID_WM9, [this] { encoding.OnEncoderWm9(); });
    handlers.Command(ID_ENCODER_FLV, [this] { encoding.OnEncoderFlv(); });
    handlers.Command(ID_ENCODING_PROPERTIES, [this] { encoding.OnEncodingProperties(); });
    handlers.Command(ID_CAPTURE_FORMAT, [this] { OnCaptureFormat(); });
    handlers.Command(ID_CAPTURE_SOURCE, [this] { OnCaptureSource(); });
    handlers.CommandRange(IDC_MENU_FIRST, IDC_MENU_FIRST + 5, [this](UINT id) { OnMenuButton(id - IDC_MENU_FIRST); });
    handlers.CommandRange(IDC_MOTION_NONE, IDC_MOTION_NONE + 4, [this](UINT id) { OnMotionButton(id - IDC_MOTION_NONE); });
    InstallEventHandlers();
    RegisterOperatorExtras();
    titles.Bind(handlers);
    fileList.Bind(handlers);
    paletteWnds.Bind(handlers);
    remote.hooks.titleIsOn = [this] { return m_bTitleOn != 0; };
    remote.hooks.toggleTitle = [this] { ToggleTitle(); };
    remote.hooks.reapplyTitle = [this] { titles.titleSwitch.Apply(); };
}

CMixerDlg::~CMixerDlg()
{
    for (auto &h : hovers_) delete h.second;
    for (HBITMAP b : pictures_) DeleteObject(b);
    if (background_) DeleteObject(background_);
    if (icon_) DestroyIcon(icon_);
    if (smallIcon_) DestroyIcon(smallIcon_);
    if (menu_) DestroyMenu(menu_);
    if (fileImages_) ImageList_Destroy(fileImages_);
    delete titlePreview_;
    if (g_pLumicard == &titleBox_) g_pLumicard = nullptr;
}

BOOL CMixerDlg::OnInitDialog()
{
    /* 1. The controls exist; the title-box control is created by its class identifier. */
    titleBox_.Create(CLSID_TitleBox, RECT{418, 272, 738, 512}, m_hWnd, IDC_TITLEBOX,
                     "The title box control is not installed.");
    titleBox_.ConnectEvents(DIID_LumicardEvents, [this](DISPID id, DISPPARAMS *p) { titles.OnControlEvent(id, p); });
    titles.CreateControls(m_hWnd);

    /* 2. One copy at a time. */
    if (CountProcessesNamed("Corvane.exe") >= 2) {
        MessageBoxA(m_hWnd, "Corvane in Process", "Warning", MB_OK | MB_ICONEXCLAMATION);
        /* Nothing else starts in a copy that is closing: no engine, no dialogs. */
        EndDialog(IDCANCEL);
        return TRUE;
    }
    if (startupPictureMs > 0) {
        CPopupMessageDlg picture(m_hWnd);
        picture.autoCloseMs = startupPictureMs;
        picture.DoModal();
    }

    /* 3-5. Icons, menu, title. */
    ::SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, (LPARAM)icon_);
    ::SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, (LPARAM)smallIcon_);
    menu_ = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MIXER_MENU));
    char title[64] = "Corvane";
    LoadStringA(GetModuleHandleA(nullptr), IDS_CORVANE, title, sizeof(title));
    SetWindowText(title);

    /* 6. Shape, skin, layout. */
    SetWindowRgn(m_hWnd, nullptr, FALSE);
    SetWindowShape();
    LoadSkin();
    LayoutControls();

    /* 7-8. The title preview window, hidden; the title control for the project commands. */
    titlePreview_ = new CTitlePreviewDlg(titleBox_, m_nSurfaceWidth, m_nSurfaceHeight);
    titlePreview_->Create(m_hWnd);
    g_pLumicard = &titleBox_;

    /* 9. The title file list's images and its one column. */
    HWND list = GetDlgItem(IDC_FILE_LIST);
    fileImages_ = ImageList_Create(16, 16, ILC_COLOR24 | ILC_MASK, 7, 7);
    if (HBITMAP b = (HBITMAP)LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_FILE_IMAGES), IMAGE_BITMAP, 0, 0, 0)) {
        ImageList_AddMasked(fileImages_, b, RGB(255, 255, 255));
        DeleteObject(b);
    }
    ::SendMessageA(list, LVM_SETIMAGELIST, LVSIL_SMALL, (LPARAM)fileImages_);
    LVCOLUMNA col = {};
    col.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
    col.fmt = LVCFMT_LEFT;
    col.cx = 296;
    col.pszText = const_cast<char *>("Name");
    ::SendMessageA(list, LVM_INSERTCOLUMNA, 0, (LPARAM)&col);

    /* 10-11. The engine, then its device lists. */
    StartMixer();
    g_engine.GetDeviceLists();

    /* 12. The pattern palette; title motion "none"; Windows Media 8 until the profile says otherwise. */
    palette.profile = &Profile();
    paletteWnds.Create(m_hWnd, menu_);
    SetupHover(IDC_PAGE_UP, IDB_PALETTE_FIRST, IDB_PALETTE_FIRST + 1, 0, 1, "Transition Effects scroll UP");
    SetupHover(IDC_PAGE_ZERO, IDB_PALETTE_FIRST + 2, IDB_PALETTE_FIRST + 3, 0, 1, "Transition Effects scroll position 0");
    SetupHover(IDC_PAGE_DOWN, IDB_PALETTE_FIRST + 4, IDB_PALETTE_FIRST + 5, 0, 1, "Transition Effects scroll DOWN");
    OnMotionButton(0);
    m_nWmVersion = 1;

    /* 13. The Windows Media configurations. */
    int configs = g_engine.GetWM9ConfigNumbers();
    encoding.wm9Configs.clear();
    for (int i = 0; i < configs && i < 256; ++i) {
        BYTE kind = 0;
        char id[48] = {}, file[40] = {}, name[49] = {};
        INT16 destination = 0;
        g_engine.GetWM9ConfigInfo((WORD)i, &kind, id, file, name, &destination);
        encoding.wm9Configs.push_back({kind, std::string(id, strnlen(id, sizeof(id))),
                                       std::string(file, strnlen(file, sizeof(file))),
                                       std::string(name, strnlen(name, sizeof(name))), destination});
    }
    encoding.showWmOptions = [this] { ShowWmEncodingOptions(encoding, m_hWnd); };

    /* 14. The encoder chosen last time. */
    encoding.profile = &Profile();
    encoding.menu = menu_;
    encoding.owner = m_hWnd;
    encoding.RestoreFromProfile();
    return TRUE;
}

void CMixerDlg::DoDataExchange(cl::CDataExchange *dx)
{
    cl::DDX_Text(dx, IDC_TRANS_TIME, m_fTransTime);
    cl::DDX_Text(dx, IDC_MOTION_VALUE, m_nMotionDuration);
    cl::DDV_MinMaxInt(dx, m_nMotionDuration, 0, 120);
}

void CMixerDlg::OnCancel()
{
    EndDialog(IDCANCEL);
}

void CMixerDlg::StartMixer()
{
    /* 1. The quick-open folder. */
    m_strQuickOpenFolder = Profile().GetString("Corvane", "QuickOpenFolder", "C:\\");
    SetDlgItemText(IDC_FOLDER_FIELD, m_strQuickOpenFolder);
    fileList.chosenPath.clear();
    fileList.Refresh();

    /* 2. The mixing state. */
    deck.Reset();
    m_nTransition = 0;
    switcher.transition = 0;
    palette.Select(0);   /* the palette shows the cut again (nothing before its set-up) */
    m_nEncoderKind = 1;
    encoding.ResetApplied();
    if (m_bTitleOn) ToggleTitle();
    titles.titleSwitch.applyPending = 0;

    /* 3. Labels and the transition time. */
    for (int n = 1; n <= CHANNELS; ++n) {
        ShowChannelTime(n, 0);
        ShowChannelDuration(n, 0);
    }
    ShowEncodeTime(0);
    m_fTransTime = 1.0f;
    SetDlgItemText(IDC_TRANS_TIME, "1.0");

    /* 4. The working surface size; never a modal question while the scheduler drives the mixer. */
    if (!m_bRemoteMode) {
        int choice = 0;
        bool ok = askWorkSpace ? askWorkSpace(&choice) : [&] {
            CWorkSpaceDlg ws(m_hWnd);
            if (ws.DoModal() != IDOK) return false;
            choice = ws.choice;
            return true;
        }();
        if (ok) {
            static const int sizes[3][2] = {{320, 240}, {640, 480}, {720, 480}};
            if (choice < 0 || choice > 2) choice = 0;
            m_nSurfaceWidth = sizes[choice][0];
            m_nSurfaceHeight = sizes[choice][1];
        }
    }
    if (m_nSurfaceWidth == 720) Place(IDC_TITLEBOX, 418, 285, 320, 213);
    else Place(IDC_TITLEBOX, 418, 272, 320, 240);

    /* 5. Surface size; the title box learns the output size. */
    g_engine.SetVideoSurfaceSize(m_nSurfaceWidth, m_nSurfaceHeight);
    VARIANT ext[2];
    V_VT(&ext[0]) = V_VT(&ext[1]) = VT_I2;
    V_I2(&ext[0]) = (SHORT)m_nSurfaceWidth;
    V_I2(&ext[1]) = (SHORT)m_nSurfaceHeight;
    TitleCall(90, ext, 2);

    /* 6. The title area's scroll bars stay hidden. */
    titleHScroll_.ShowWindow(SW_HIDE);
    titleVScroll_.ShowWindow(SW_HIDE);

    /* 7. The engine, bound to this window and its channel windows. */
    g_engine.InitEngine(m_hWnd);
    engineStarted_ = true;
    remote.OnEngineStarted();
    g_engine.SetMainVideoWnd(GetDlgItem(IDC_PROGRAMME));
    for (int i = 0; i < CHANNELS; ++i) g_engine.SetPrevVideoWnd(i, GetDlgItem(kPreviewIds[i]));
    g_engine.SetMainVideoSize(320, 240);
    g_engine.SetPreviewVideoSize(160, 120);

    /* 8. The title style's defaults in the style panel. */
    titles.ResetStyle();

    /* 9-11. Indicators up, names cleared, motion duration 1. */
    for (int n = 1; n <= CHANNELS; ++n) SetIndicator(n, 1);
    m_nMotionDuration = 1;
    SetDlgItemText(IDC_MOTION_VALUE, "1");
    motionSlider_.SendMessage(TBM_SETPOS, TRUE, 1);
    motionSlider_.Invalidate(FALSE);

    /* 12. TV output off: the switch's own off branch (button up, engine
     * stopped, flag cleared, window closed), so the next click turns it on. */
    m_bTvOut = 1;
    ToggleTvOut();

    /* 13. Archive to file. */
    m_nArchiveToFile = Profile().GetInt("EncodingOption\\WindowsMedia", "ArchiveToFile", 1);
}

void CMixerDlg::ResetMixer()
{
    deck.skipNextPosition = 1;
    g_engine.ReleaseEngine();
    engineStarted_ = false;
    for (int n = 1; n <= CHANNELS; ++n) deck.ResetChannelButtons(n);
    const bool wasEncoding = m_bEncoding != 0;
    StartMixer();
    /* The released engine stopped the recording: the toggle says so too. */
    if (wasEncoding) ShowEncodingStopped();
    Invalidate();
}

void CMixerDlg::NewProject()
{
    ResetMixer();
    TitleCall(1, nullptr, 0);
    if (CHoverButton *s = Hover(IDC_SLIDESHOW)) {
        if (s->GetState() == 0) {
            s->SetState(1);
            deck.imageCount = 0;
            deck.slideShow = 0;
            project.images.clear();
        }
    }
    if (CHoverButton *m = Hover(IDC_BACKMUSIC)) {
        if (m->GetState() == 0) {
            m->SetState(1);
            deck.backgroundMusic = 0;
        }
    }
    Invalidate();
}

void CMixerDlg::OnExit()
{
    if (m_bRemoteMode) return;
    exit_.SetState(1);
    bool anyOpen = false;
    for (int n = 1; n <= CHANNELS; ++n) anyOpen = anyOpen || deck.ch[n].open;
    if (anyOpen) {
        char text[128] = "Do you want to quit ?";
        LoadStringA(GetModuleHandleA(nullptr), IDS_QUIT, text, sizeof(text));
        if (MessageBoxA(m_hWnd, text, "Question", MB_YESNO | MB_ICONQUESTION) == IDNO) {
            exit_.SetState(0);
            return;
        }
    }
    int version = -1;
    if (m_nEncoderKind == 0x1000000) version = 3;
    else if (m_nWmVersion == 1) version = 0;
    else if (m_nWmVersion == 16) version = 1;
    else if (m_nWmVersion == 256) version = 2;
    if (version >= 0) Profile().WriteInt("EncodingOption", "ProfileVersion", version);
    PostMessage(WM_CLOSE);
}

void CMixerDlg::OnMinimize()
{
    PostMessage(WM_SYSCOMMAND, SC_MINIMIZE);
}

void CMixerDlg::OnAbout()
{
    if (m_bRemoteMode) return;
    CAboutDlg about(m_hWnd);
    about.DoModal();
}

void CMixerDlg::OnMenuButton(int n)
{
    if (n < 0 || n > 5 || !menu_) return;
    if (CHoverButton *b = Hover(IDC_MENU_FIRST + n)) b->SetState(0);
    RECT wr = GetWindowRect();
    RECT br = {};
    ::GetWindowRect(GetDlgItem(IDC_MENU_FIRST + n), &br);
    int x = n == 0 ? wr.left + 23 : br.left;
    menuShown_ = m_hWnd;
    TrackPopupMenu(GetSubMenu(menu_, n), TPM_LEFTALIGN | TPM_TOPALIGN, x, wr.top + 20, 0, m_hWnd, nullptr);
    menuShown_ = nullptr;
    RaiseMenuButtons();
}

void CMixerDlg::RaiseMenuButtons()
{
    for (int k = 0; k < 6; ++k)
        if (CHoverButton *b = Hover(IDC_MENU_FIRST + k)) b->SetState(1);
}

HRESULT CMixerDlg::TitleCall(DISPID id, const VARIANT *args, UINT count, VARIANT *result)
{
    return titleBox_.Invoke(id, DISPATCH_METHOD, args, count, result);
}

int CMixerDlg::TitleGetInt(DISPID id)
{
    VARIANT r;
    if (FAILED(TitleCall(id, nullptr, 0, &r))) return 0;
    VARIANT v;
    VariantInit(&v);
    int value = SUCCEEDED(VariantChangeType(&v, &r, 0, VT_I4)) ? V_I4(&v) : 0;
    VariantClear(&r);
    return value;
}

void CMixerDlg::TitleSetInt(DISPID id, int value, VARTYPE type)
{
    VARIANT a;
    VariantInit(&a);
    V_VT(&a) = type;
    if (type == VT_I2) V_I2(&a) = (SHORT)value;
    else if (type == VT_R4) V_R4(&a) = (float)value;
    else V_I4(&a) = value;
    VARIANT r;
    if (SUCCEEDED(TitleCall(id, &a, 1, &r))) VariantClear(&r);
}

void CMixerDlg::OnMotionButton(int n)
{
    if (m_bRemoteMode || n < 0 || n > 4) return;
    for (int k = 0; k < 5; ++k)
        if (CHoverButton *b = Hover(IDC_MOTION_NONE + k)) b->SetState(k == n ? 0 : 1);
    if (!titleBox_.HasControl()) return;
    RECT rc = titleBox_.GetClientRect();
    int cw = rc.right, chh = rc.bottom;
    int x = TitleGetInt(77), y = TitleGetInt(78);
    int fw = TitleGetInt(82), fh = TitleGetInt(83);
    int fromX = x, fromY = y, toX = x, toY = y;
    switch (n) {
    case 1: fromX = cw; toX = -fw; break;
    case 2: fromY = -fh; toY = chh; break;
    case 3: fromY = chh; toY = -fh; break;
    case 4: fromX = -fw; toX = cw; break;
    default: break;
    }
    TitleSetInt(25, n, VT_I2);
    TitleSetInt(67, n ? m_nMotionDuration : 0, VT_R4);
    TitleSetInt(79, n ? 1 : 0, VT_I2);
    TitleSetInt(68, fromX, VT_I4);
    TitleSetInt(69, fromY, VT_I4);
    TitleSetInt(70, toX, VT_I4);
    TitleSetInt(71, toY, VT_I4);
}

void CMixerDlg::OnMotionDurationScroll()
{
    int pos = (int)motionSlider_.SendMessage(TBM_GETPOS);
    if (pos < 1) pos = 1;
    m_nMotionDuration = pos;
    TitleSetInt(67, pos, VT_R4);
    SetDlgItemText(IDC_MOTION_VALUE, cl::Format("%d", pos));
}

void CMixerDlg::OnOpenButton(int n)
{
    if (m_bRemoteMode && !m_bRemoteCommand) return;
    /* In slide-show mode channel 4's open button edits the slide show's image list. */
    if (n == 4 && deck.slideShow) {
        project.OnSlideShowOpen();
        return;
    }
    OpenChannelSource(n);
}

void CMixerDlg::OpenChannelSource(int n)
{
    if (n < 1 || n > CHANNELS || !deck.MayOpen(n)) return;
    const int down[6] = {1, 1, 1, 1, 1, 0};
    SetChannelButtons(n, down);
    CSourceSelectDlg dlg(m_hWnd, n, deck);
    dlg.chooseFile = chooseFile;
    dlg.script = sourceDialogScript;
    if (dlg.DoModal() != IDOK) {
        deck.ResetChannelButtons(n);
        return;
    }
    deck.OpenOnChannel(n, dlg.videoName, dlg.audioName);
}

bool CMixerDlg::OpenFileOnChannel(int index, const std::string &path)
{
    int n = index + 1;
    if (n < 1 || n > CHANNELS || !deck.MayOpen(n)) return false;
    if (n == 4 && deck.slideShow) {
        MessageBoxA(m_hWnd, "Slider", "", MB_OK);
        return false;
    }
    const int down[6] = {1, 1, 1, 1, 1, 0};
    SetChannelButtons(n, down);
    return deck.OpenOnChannel(n, path, path);
}

void CMixerDlg::OnCaptureFormat()
{
    int n = deck.preview;
    if (n < 1 || n > CHANNELS || deck.ch[n].kind == SOURCE_FILE) return;
    g_engine.CapVideoFormat();
    if (deck.ch[n].state != CHSTATE_RUNNING) deck.OnPlay(n);
}

void CMixerDlg::OnCaptureSource()
{
    int n = deck.preview;
    if (n < 1 || n > CHANNELS || deck.ch[n].kind == SOURCE_FILE) return;
    g_engine.CapVideoSource();
    if (deck.ch[n].state != CHSTATE_RUNNING) deck.OnPlay(n);
}

void CMixerDlg::ShowEncodeTime(int seconds)
{
    SetDlgItemText(IDC_ENCODE_TIME, TimeSpanText(seconds));
}

LRESULT CMixerDlg::OnEngineMessage(UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_ENGINE_GRAPHNOTIFY:
        if (lp >= 0 && lp < CHANNELS) {
            /* A lost device's warning waits for nobody in the remote mode. */
            std::unique_ptr<QuietBoxes> quiet(m_bRemoteMode ? new QuietBoxes : nullptr);
            g_engine.HandleEvent((int)lp);
        }
        break;
    case WM_ENGINE_SOURCESTATE:
        if (lp == SOURCE_EVENT_END) HandleEndOfStream(deck, switcher, (int)wp);
        break;
    case WM_ENGINE_POSITION:
        deck.OnPosition((int)wp, (int)lp);
        break;
    case WM_ENGINE_TRANSPROGRESS:
        switcher.OnTransitionProgress((int)wp);
        break;
    case WM_ENGINE_ENCODETIME:
        /* A time the engine posted just before the recording stopped can
         * arrive after the stop: the label then stays at zero. */
        if (m_bEncoding) ShowEncodeTime((int)lp);
        break;
    default:
        break;
    }
    return 0;
}

void CMixerDlg::RepaintChannelPreviews()
{
    if (!engineStarted_) return;
    for (int n = 1; n <= CHANNELS; ++n) {
        if (!deck.ch[n].open) continue;
        HWND w = ChannelWindow(n);
        HDC dc = ::GetDC(w);
        g_engine.PreviewRepaint(n - 1, dc);
        ::ReleaseDC(w, dc);
    }
}

BOOL CMixerDlg::PreTranslateMessage(MSG *msg)
{
    if (msg->message == WM_KEYDOWN && (msg->wParam == VK_ESCAPE || msg->wParam == VK_RETURN)) {
        /* Past the dialog's own key handling: an ordinary key for the focused control. */
        TranslateMessage(msg);
        DispatchMessageA(msg);
        return TRUE;
    }
    if (msg->message == WM_SYSCHAR && msg->hwnd != m_hWnd && IsChild(m_hWnd, msg->hwnd) &&
        MenuOfLetter((int)msg->wParam) >= 0) {
        /* Alt+letter on a control: the menu bar's key belongs to the window. */
        SendMessage(WM_SYSCOMMAND, SC_KEYMENU, msg->wParam);
        return TRUE;
    }
    if (msg->message == WM_SYSKEYDOWN && msg->wParam == VK_F4) {
        OnExit();
        return TRUE;
    }
    return FALSE;
}

void CMixerDlg::OnDestroy()
{
    CloseTvOut();
    Profile().WriteString("Corvane", "QuickOpenFolder", m_strQuickOpenFolder);
    if (engineStarted_) {
        g_engine.ReleaseDeviceLists();
        g_engine.ReleaseEngine();
        engineStarted_ = false;
    }
    if (menu_) {
        DestroyMenu(menu_);
        menu_ = nullptr;
    }
    if (titlePreview_) {
        delete titlePreview_;
        titlePreview_ = nullptr;
    }
    if (comStarted_) {
        CoUninitialize();
        comStarted_ = false;
    }
}

/* ---- DeckView ---- */

double CMixerDlg::TransTimeEdit()
{
    char text[32] = "";
    ::GetDlgItemTextA(m_hWnd, IDC_TRANS_TIME, text, sizeof text);
    char *end = nullptr;
    double t = strtod(text, &end);
    if (end == text) t = std::numeric_limits<double>::quiet_NaN();   /* counts as 0.1 */
    return t;
}

int CMixerDlg::TBarPos()
{
    HWND bar = GetDlgItem(IDC_TBAR);
    return bar ? (int)::SendMessageA(bar, TBM_GETPOS, 0, 0) : 0;
}

void CMixerDlg::OnSwitchCommand() { switcher.OnSwitch(TransTimeEdit()); }

void CMixerDlg::SetTitleSwitch(int on)
{
    if (CHoverButton *b = Hover(IDC_TITLE_ONOFF)) b->SetState(on ? 0 : 1);
}

void CMixerDlg::ShowTitlePreview()
{
    if (!titlePreview_ || !titlePreview_->m_hWnd) return;
    titlePreview_->Layout();
    RECT wr = GetWindowRect();
    SetWindowPos(titlePreview_->m_hWnd, nullptr, wr.left, wr.bottom - 315, 350, 315, SWP_NOZORDER | SWP_NOACTIVATE);
    titlePreview_->ShowWindow(SW_SHOW);
}

void CMixerDlg::SetSwitchButton(int on)
{
    if (CHoverButton *b = Hover(IDC_SWITCH)) b->SetState(on ? 0 : 1);
}

void CMixerDlg::SetTBar(int pos)
{
    HWND bar = GetDlgItem(IDC_TBAR);
    if (!bar) return;
    ::SendMessageA(bar, TBM_SETPOS, TRUE, pos);
    ::InvalidateRect(bar, nullptr, TRUE);
}

void CMixerDlg::ShowTransTime(const std::string &text) { SetDlgItemText(IDC_TRANS_TIME, text.c_str()); }

void CMixerDlg::SetChannelButtons(int n, const int states[6])
{
    if (n < 1 || n > CHANNELS) return;
    for (int k = 0; k < 6; ++k)
        if (CHoverButton *b = Hover(kTransportIds[n - 1][k])) b->SetState(states[k]);
}

void CMixerDlg::ShowChannelTime(int n, int seconds)
{
    if (n >= 1 && n <= CHANNELS) SetDlgItemText(kTimeIds[n - 1][0], TimeSpanText(seconds));
}

void CMixerDlg::ShowChannelDuration(int n, int seconds)
{
    if (n >= 1 && n <= CHANNELS) SetDlgItemText(kTimeIds[n - 1][1], TimeSpanText(seconds));
}

void CMixerDlg::SetIndicator(int n, int state)
{
    if (n >= 1 && n <= CHANNELS)
        if (CHoverButton *b = Hover(kIndicatorIds[n - 1])) b->SetState(state);
}

void CMixerDlg::ShowMessage(const char *text)
{
    MessageBoxA(m_hWnd, text, "Warning", MB_OK | MB_ICONEXCLAMATION);
}

void CMixerDlg::ShowSlideImage(int position)
{
    project.ShowSlideAt(position);
}

HWND CMixerDlg::ChannelWindow(int n) const
{
    return n >= 1 && n <= CHANNELS ? GetDlgItem(kPreviewIds[n - 1]) : nullptr;
}

int CMixerDlg::ButtonState(UINT id)
{
    CHoverButton *b = Hover(id);
    return b ? b->GetState() : -1;
}

/* ---- shape, skin, layout ---- */

void CMixerDlg::SetWindowShape()
{
    HRGN rgn = CreatePolygonRgn(kMixerOutline, 45, ALTERNATE);
    SetWindowRgn(m_hWnd, rgn, TRUE);
}

CHoverButton *CMixerDlg::Hover(UINT id)
{
    for (auto &h : hovers_)
        if (h.first == id) return h.second;
    return nullptr;
}

void CMixerDlg::SetupHover(UINT id, UINT upBitmap, UINT downBitmap, UINT thirdBitmap, int initial, const char *tip)
{
    HWND w = GetDlgItem(id);
    if (!w) return;
    auto *b = new CHoverButton;
    if (!b->SubclassWindow(w)) {
        delete b;
        return;
    }
    hovers_.emplace_back(id, b);
    HINSTANCE inst = GetModuleHandleA(nullptr);
    auto load = [&](UINT bid) {
        HBITMAP h = bid ? (HBITMAP)LoadImageA(inst, MAKEINTRESOURCEA(bid), IMAGE_BITMAP, 0, 0, 0) : nullptr;
        if (h) pictures_.push_back(h);
        return h;
    };
    HBITMAP up = load(upBitmap), down = load(downBitmap), third = thirdBitmap ? load(thirdBitmap) : down;
    b->Setup(up, down, third, initial, nullptr);
    if (tip && *tip) b->SetToolTip(tip);
}

void CMixerDlg::LoadSkin()
{
    HINSTANCE inst = GetModuleHandleA(nullptr);
    background_ = (HBITMAP)LoadImageA(inst, MAKEINTRESOURCEA(IDB_BACKGROUND), IMAGE_BITMAP, 0, 0, 0);
    for (int n = 0; n < CHANNELS; ++n) {
        for (int k = 0; k < 6; ++k)
            SetupHover(kTransportIds[n][k], IDB_TRANSPORT_FIRST + 2 * k, IDB_TRANSPORT_FIRST + 2 * k + 1, 0, 1,
                       kTransportTips[k]);
        SetupHover(kIndicatorIds[n], IDB_INDICATOR_IDLE, IDB_INDICATOR_LIT, IDB_INDICATOR_ONAIR, 1, "Channel On");
    }
    for (int k = 0; k < 6; ++k) SetupHover(IDC_MENU_FIRST + k, IDB_MENU_UP_FIRST + k, IDB_MENU_DOWN_FIRST + k, 0, 1, "");
    for (int k = 0; k < 5; ++k)
        SetupHover(IDC_MOTION_NONE + k, IDB_MOTION_FIRST + 2 * k, IDB_MOTION_FIRST + 2 * k + 1, 0, 1, kMotionTips[k]);
    SetupHover(IDC_ENCODING, IDB_ENCODING_UP, IDB_ENCODING_DOWN, 0, 1, "Encoding On/Off");
    SetupHover(IDC_SWITCH, IDB_SWITCH_UP, IDB_SWITCH_UP + 1, 0, 1, "Transition now");
    SetupHover(IDC_TIME_MINUS, IDB_MINUS_UP, IDB_MINUS_UP + 1, 0, 1, "Transition time minus");
    SetupHover(IDC_TIME_PLUS, IDB_PLUS_UP, IDB_PLUS_UP + 1, 0, 1, "Transition time plus");
    SetupHover(IDC_TVOUT, IDB_TVOUT_UP, IDB_TVOUT_UP + 1, 0, 1, "Video out to TV");
    SetupHover(IDC_TITLE_ONOFF, IDB_TITLEONOFF_UP, IDB_TITLEONOFF_UP + 1, 0, 1, "Title On/Off");
    SetupHover(IDC_TITLE_APPLY, IDB_APPLY_UP, IDB_APPLY_UP + 1, 0, 1, "Apply Title");
    static const UINT titleIds[7] = {IDC_TITLE_NEW, IDC_TITLE_OPEN, IDC_TITLE_SAVE, IDC_TITLE_IMAGE,
                                     IDC_TITLE_ALPHA, IDC_TITLE_MOTIONFILE, IDC_TITLE_PREVIEW};
    static const char *const titleTips[7] = {"Make New Title", "Open(Load) Title Generator file",
                                             "Save Title to Lumicard format", "Image Import",
                                             "Adjust Image object transparency", "Formatted Title Motion file import",
                                             "Title Preview"};
    for (int k = 0; k < 7; ++k)
        SetupHover(titleIds[k], IDB_TITLEBTN_FIRST + 2 * k, IDB_TITLEBTN_FIRST + 2 * k + 1, 0, 1, titleTips[k]);
    SetupHover(IDC_FOLDER_BUTTON, IDB_FOLDER_UP, IDB_FOLDER_UP + 1, 0, 1, "Show Folder Dialog Box");
    SetupHover(IDC_SLIDESHOW, IDB_SLIDESHOW_UP, IDB_SLIDESHOW_UP + 1, 0, 1, "");
    SetupHover(IDC_BACKMUSIC, IDB_BACKMUSIC_UP, IDB_BACKMUSIC_UP + 1, 0, 1, "");

    exit_.SubclassWindow(GetDlgItem(IDC_EXIT));
    exit_.SetBitmaps(IDB_EXIT_UP, IDB_EXIT_DOWN);
    minimize_.SubclassWindow(GetDlgItem(IDC_MINIMIZE));
    minimize_.SetBitmaps(IDB_MIN_UP, IDB_MIN_DOWN);

    for (int n = 1; n <= CHANNELS; ++n) {
        for (int k = 0; k < 2; ++k) {
            CStaticEx &l = labels_[n][k];
            l.SubclassWindow(GetDlgItem(kTimeIds[n - 1][k]));
            l.SetFont(9, 0, "Arial");
            l.SetBkColour(RGB(0, 0, 0));
            l.SetTextColour(RGB(0, 255, 0));
        }
    }
    encodeTime_.SubclassWindow(GetDlgItem(IDC_ENCODE_TIME));
    encodeTime_.SetFont(12, 0, "Arial");
    encodeTime_.SetBkColour(RGB(0, 0, 0));
    encodeTime_.SetTextColour(RGB(0, 255, 0));
    motionValue_.SubclassWindow(GetDlgItem(IDC_MOTION_VALUE));
    motionValue_.SetFont(10, 0, "Arial");
    motionValue_.SetBkColour(RGB(0, 0, 0));
    motionValue_.SetTextColour(RGB(255, 255, 255));
    transName_.SubclassWindow(GetDlgItem(IDC_TRANS_NAME));
    transName_.SetBkColour(RGB(0, 0, 0));
    transName_.SetTextColour(RGB(255, 255, 255));
    transTime_.SubclassWindow(GetDlgItem(IDC_TRANS_TIME));
    transTime_.SetFont(8, 0, "Arial");
    transTime_.SetBkColour(RGB(0, 0, 0));
    transTime_.SetTextColour(RGB(255, 255, 255));

    /* Files dropped on a channel's window open on that channel. */
    for (int i = 0; i < CHANNELS; ++i) {
        channelDrops_[i].SubclassWindow(GetDlgItem(kPreviewIds[i]));
        channelDrops_[i].openOnChannel = [this](int index, const std::string &path) { OpenFileOnChannel(index, path); };
    }

    motionSlider_.SubclassWindow(GetDlgItem(IDC_MOTION_SLIDER));
    motionSlider_.SetBitmaps(IDB_MOTION_CHANNEL, IDB_MOTION_THUMB, IDC_SLIDER_THUMB_CURSOR);
    motionSlider_.SetRange(1, 120);
    tbar_.SubclassWindow(GetDlgItem(IDC_TBAR));
    tbar_.SetBitmaps(IDB_TBAR_CHANNEL, IDB_TBAR_THUMB, IDC_SLIDER_THUMB_CURSOR);
    tbar_.SetRange(0, 10);

    titleHScroll_.CreateFromStatic(0, m_hWnd, IDC_TITLE_HSCROLL, IDC_TITLE_HSCROLL + 3000);
    titleVScroll_.CreateFromStatic(SBS_VERT, m_hWnd, IDC_TITLE_VSCROLL, IDC_TITLE_VSCROLL + 3000);
}

void CMixerDlg::Place(UINT id, int x, int y, int w, int h)
{
    if (HWND c = GetDlgItem(id)) SetWindowPos(c, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
}

void CMixerDlg::LayoutControls()
{
    SetWindowPos(m_hWnd, nullptr, 0, 0, 1016, 769, SWP_NOZORDER | SWP_NOACTIVATE);
    for (int i = 0; i < CHANNELS; ++i) {
        int x = kChannelX[i];
        Place(kPreviewIds[i], x, 63, 160, 120);
        static const int bx[6] = {129, 141, 153, 164, 176, 188};
        static const int offset[CHANNELS] = {0, 196, 392, 587, 783};
        for (int k = 0; k < 6; ++k) Place(kTransportIds[i][k], bx[k] + offset[i], 189, 9, 9);
    }
    /* Indicators and labels sit at the positions given for each channel. */
    static const int indicatorX[CHANNELS] = {83, 278, 474, 670, 866};
    static const int timeX[CHANNELS][2] = {{37, 82}, {233, 278}, {429, 474}, {624, 669}, {820, 865}};
    for (int i = 0; i < CHANNELS; ++i) {
        Place(kIndicatorIds[i], indicatorX[i], 54, 67, 4);
        Place(kTimeIds[i][0], timeX[i][0], 188, 42, 10);
        Place(kTimeIds[i][1], timeX[i][1], 188, 42, 10);
    }
    Place(IDC_PROGRAMME, 42, 272, 320, 240);
    int x = 23;
    for (int k = 0; k < 6; ++k) {
        BITMAP bm = {};
        HBITMAP b = (HBITMAP)LoadImageA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_MENU_UP_FIRST + k), IMAGE_BITMAP, 0, 0, 0);
        int w = 60;
        if (b && GetObjectA(b, sizeof(bm), &bm)) w = bm.bmWidth;
        if (b) DeleteObject(b);
        Place(IDC_MENU_FIRST + k, x, 0, w, 22);
        x += w + 5;
    }
    Place(IDC_MINIMIZE, 961, 6, 14, 12);
    Place(IDC_EXIT, 981, 6, 14, 12);
    Place(IDC_TBAR, 415, 623, 47, 88);
    Place(IDC_TRANS_NAME, 288, 621, 75, 16);
    Place(IDC_FOLDER_FIELD, 762, 272, 171, 23);
    Place(IDC_FOLDER_BUTTON, 941, 276, 31, 19);
    Place(IDC_FILE_LIST, 762, 307, 212, 205);
    static const UINT titleIds[6] = {IDC_TITLE_NEW, IDC_TITLE_OPEN, IDC_TITLE_SAVE, IDC_TITLE_IMAGE, IDC_TITLE_ALPHA,
                                     IDC_TITLE_MOTIONFILE};
    for (int k = 0; k < 6; ++k) Place(titleIds[k], 533 + 44 * k, 620, 31, 26);
    Place(IDC_TITLE_PREVIEW, 933, 620, 31, 26);
    Place(IDC_TITLE_ONOFF, 517, 595, 103, 19);
    Place(IDC_TITLE_APPLY, 653, 595, 103, 19);
    for (int k = 0; k < 5; ++k) Place(IDC_MOTION_NONE + k, 875 + 19 * k, 719, 14, 14);
    Place(IDC_ENCODE_TIME, 170, 515, 64, 17);
    Place(IDC_TRANS_TIME, 429, 596, 18, 11);
    Place(IDC_TIME_MINUS, 411, 594, 13, 15);
    Place(IDC_TIME_PLUS, 452, 594, 13, 15);
    Place(IDC_SWITCH, 412, 722, 52, 17);
    Place(IDC_MOTION_VALUE, 770, 719, 18, 10);
    Place(IDC_MOTION_SLIDER, 797, 720, 70, 13);
    Place(IDC_ENCODING, 142, 241, 124, 19);
    Place(IDC_TVOUT, 42, 239, 24, 24);
    Place(IDC_SLIDESHOW, 759, 32, 16, 16);
    Place(IDC_BACKMUSIC, 955, 32, 16, 16);
    if (titleHScroll_.m_hWnd) titleHScroll_.MoveWindow(418, 515, 340, 10);
    if (titleVScroll_.m_hWnd) titleVScroll_.MoveWindow(742, 271, 10, 240);
}
