/*
 * CMixerDlg: the engine's reports that need the window, the Alt+letter
 * menus, the encoding toggle, the moving aside of an old recording, and the
 * remote control's hooks into the window.
 */
#include "mixer_dlg.h"
#include "app.h"
#include "engine_calls.h"
#include "engine_events.h"
#include "quiet_boxes.h"
#include "resource.h"
#include "wm_settings.h"
#include <memory>

namespace {

cl::CProfile &Profile()
{
    static cl::CProfile fallback;
    cl::CWinApp *app = cl::CWinApp::Current();
    return app ? app->profile : fallback;
}

bool FileExists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

/* The wait cursor for the life of the object. */
struct WaitCursor {
    HCURSOR old = SetCursor(LoadCursorA(nullptr, (LPCSTR)IDC_WAIT));
    ~WaitCursor() { SetCursor(old); }
};

const char kStartText[] = "Start Encoding(&S)";
const char kStopText[] = "Stop Encoding(&S)";

} // namespace

void CMixerDlg::InstallEventHandlers()
{
    handlers.Message(remote::kMixerRemoteMessage,
                     [this](WPARAM wp, LPARAM lp) { return remote.OnRemoteCommand(wp, lp); });
    handlers.Message(WM_COPYDATA, [this](WPARAM wp, LPARAM lp) {
        return remote.OnCopyData((HWND)wp, reinterpret_cast<const COPYDATASTRUCT *>(lp));
    });
    handlers.Message(WM_SYSCOMMAND, [this](WPARAM wp, LPARAM lp) {
        int menu = (wp & 0xFFF0) == SC_KEYMENU ? MenuOfLetter((int)lp) : -1;
        if (menu < 0) return Default();
        OnMenuButton(menu);
        return (LRESULT)0;
    });
    handlers.Command(ID_START_ENCODING, [this] { OnStartEncoding(); });
    handlers.Command(IDC_ENCODING, [this] { OnStartEncoding(); });

    remote.hooks.findScheduler = [] { return FindWindowA(nullptr, remote::kSchedulerWindowTitle); };
    remote.hooks.ownWindow = [this] { return m_hWnd; };
    remote.hooks.resetMixer = [this] { ResetMixer(); };
    remote.hooks.setEncoding = [this](bool start) { return SetEncoding(start); };
    remote.hooks.openTitle = [this](const std::string &path) {
        if (!titleBox_.HasControl() || !FileExists(path)) return false;
        int n = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
        std::u16string wide(n > 0 ? n : 1, u'\0');
        MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, reinterpret_cast<WCHAR *>(&wide[0]), n);
        VARIANT arg;
        VariantInit(&arg);
        V_VT(&arg) = VT_BSTR;
        V_BSTR(&arg) = SysAllocString(reinterpret_cast<const OLECHAR *>(wide.c_str()));
        VARIANT r;
        VariantInit(&r);
        HRESULT hr = TitleCall(7, &arg, 1, &r);   /* LMOpenDirectly */
        VariantClear(&arg);
        VariantClear(&r);
        return SUCCEEDED(hr);
    };
    remote.hooks.closeMixer = [this] {
        EnableWindow(m_hWnd, TRUE);
        EndDialog(IDCANCEL);
    };
    remote.hooks.showWindow = [this](int cmd) { ShowWindow(cmd); };
}

/* ---- the encoding toggle ---- */

void CMixerDlg::OnStartEncoding()
{
    if (m_bRemoteMode) return;
    RunEncodingToggle();
}

bool CMixerDlg::ToggleEncoding()
{
    return RunEncodingToggle();
}

bool CMixerDlg::SetEncoding(bool start)
{
    if ((m_bEncoding != 0) == start) return true;
    RunEncodingToggle();
    return (m_bEncoding != 0) == start;
}

void CMixerDlg::SetEncodingMenuText(const char *text)
{
    HMENU sub = menu_ ? GetSubMenu(menu_, 4) : nullptr;
    if (sub) ModifyMenuA(sub, 0, MF_BYPOSITION | MF_STRING, ID_START_ENCODING, text);
}

std::string CMixerDlg::EncodingMenuText() const
{
    char text[64] = {};
    HMENU sub = menu_ ? GetSubMenu(menu_, 4) : nullptr;
    if (sub) GetMenuStringA(sub, 0, text, sizeof text, MF_BYPOSITION);
    return text;
}

void CMixerDlg::ShowEncodingStopped()
{
    SetEncodingMenuText(kStartText);
    if (CHoverButton *button = Hover(IDC_ENCODING)) button->SetState(1);
}

void CMixerDlg::Warn(const char *text)
{
    /* Nobody answers a box while the scheduler drives the mixer. */
    if (m_bRemoteMode) return;
    ShowMessage(text);
}

bool CMixerDlg::RunEncodingToggle()
{
    bool anyOpen = false;
    for (int n = 1; n <= CHANNELS; ++n) anyOpen = anyOpen || deck.ch[n].open;
    if (!anyOpen) {
        Warn("You must open media source first !!");
        return false;
    }
    CHoverButton *button = Hover(IDC_ENCODING);
    if (m_bEncoding) {
        ShowEncodingStopped();
        m_bEncoding = 0;
        WaitCursor wait;
        CHoverButton *music = Hover(IDC_BACKMUSIC);
        if (music && music->GetState() == 0) deck.OnStop(5);
        g_engine.EncoderStop();
        ShowEncodeTime(0);
        return true;
    }

    if (deck.backgroundMusic) {
        if (deck.onAir == 5) {
            for (int k = 1; k <= 4; ++k) {
                if (!deck.ch[k].open) continue;
                deck.OnSelectChannel(k);
                g_engine.SetTransEffect(TRANS_CUT, TRANS_TIME_MIN);
                deck.onAir = k;
                break;
            }
        }
        g_engine.MyPlay(4);
    }
    SetEncodingMenuText(kStopText);
    if (m_nEncoderKind == ENCODER_WM && !encoding.m_bWmSettingsApplied) {
        g_encodingEngine.GetProfileCount();
        encoding.ApplyWmEncodingSettings();
    } else if (m_nEncoderKind == ENCODER_FLV && !encoding.m_bFlvSettingsApplied) {
        encoding.ApplyFlvSettings();
    }
    /* The remote-controlled mode moves an old recording aside by itself. */
    if (m_nEncoderKind == ENCODER_WM && m_nArchiveToFile) RenameOldRecording();
    if (button) button->SetState(0);
    m_bEncoding = 1;
    deck.ResumeOnAirChannel();

    int started = 0;
    {
        WaitCursor wait;
        started = g_engine.EncoderStart();
    }
    if (!started) {
        Warn("Start Encoding error!!");
        if (button) button->SetState(1);
        m_bEncoding = 0;
        SetEncodingMenuText(kStartText);
        return false;
    }
    if (deck.backgroundMusic && deck.preview >= 1 && deck.preview <= 4) deck.SetChannelIndicators(deck.preview);
    return true;
}

/* ---- an old recording ---- */

std::string CMixerDlg::RenameOldRecording()
{
    std::string file = Profile().GetString("EncodingOption\\WindowsMedia", "ArchivingFileName", "");
    if (file.empty()) file = kDefaultWmFile;
    if (!FileExists(file)) return std::string();
    if (!m_bRemoteMode &&
        MessageBoxA(m_hWnd, "The file name you selected already exists.\nWould you like to overwrite this file?",
                    "Question", MB_YESNO | MB_ICONQUESTION) == IDYES)
        return std::string();
    for (int n = 1; n < 1000000; ++n) {
        std::string aside = NumberedRecordingName(file, n);
        if (FileExists(aside)) continue;
        return MoveFileA(file.c_str(), aside.c_str()) ? aside : std::string();
    }
    return std::string();
}
