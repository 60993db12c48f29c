#include "encoder_choice.h"
#include "corvengine.h"
#include "encoding_ids.h"
#include "flv_dialog.h"
#include "profile.h"
#include "wm_settings.h"

const EncodingEngine &RealEncodingEngine()
{
    static const EncodingEngine real = {SetEncoder,       SetWMFVersion, SetFLVEncProfile, SetProfileIndex,
                                        SetHeaderInfo,    SetBroadcastPort, SetSaveFile,   IndexOnOff,
                                        SetPushServer,    GetProfileCount,  GetProfileName,
                                        GetProfileDescription, DeleteProfile, CreateNewProfile, SetProfileName,
                                        SetProfileDescription, SaveProfile, GetCodecCount, GetCodecName,
                                        GetAudioFormatCount, GetAudioFormatString, LoadProfile, GetVideoStream,
                                        AddAudioStream, AddVideoStream, AddScriptStream, LoadProfile9,
                                        GetVideoStream9, GetAudioStream9, AddAudioStream9, AddVideoStream9};
    return real;
}

EncodingEngine g_encodingEngine = RealEncodingEngine();

INT_PTR RunFlvSettingDialog(FlvSettings *settings, HWND owner)
{
    CFlvSettingDlg dlg(*settings, owner);
    INT_PTR r = dlg.DoModal();
    if (r == IDOK) *settings = dlg.m_result;
    return r;
}

void EncoderSelection::Check(UINT id, bool on)
{
    if (menu) CheckMenuItem(menu, id, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
}

void EncoderSelection::WriteVersion(int value)
{
    if (profile) profile->WriteInt("EncodingOption", "ProfileVersion", value);
}

void EncoderSelection::SelectWm(int version, UINT checked, int profileVersion, bool uncheckFlv)
{
    if (m_bRemoteMode) return;
    m_nEncoderKind = ENCODER_WM;
    Check(checked, true);
    Check(checked == ID_ENCODER_WM8 ? ID_ENCODER_WM9 : ID_ENCODER_WM8, false);
    if (uncheckFlv) Check(ID_ENCODER_FLV, false);
    m_nWmVersion = version;
    g_encodingEngine.SetWMFVersion(version);
    g_encodingEngine.SetEncoder(ENCODER_WM);
    WriteVersion(profileVersion);
}

void EncoderSelection::OnEncoderWm8() { SelectWm(1, ID_ENCODER_WM8, 0, true); }
void EncoderSelection::OnEncoderWm9() { SelectWm(16, ID_ENCODER_WM9, 1, true); }
/* The user-profile family shows as Windows Media 9 in the menu. */
void EncoderSelection::SelectUserProfileEncoder() { SelectWm(256, ID_ENCODER_WM9, 2, false); }

void EncoderSelection::OnEncoderFlv()
{
    m_nEncoderKind = ENCODER_FLV;
    Check(ID_ENCODER_FLV, true);
    Check(ID_ENCODER_WM8, false);
    Check(ID_ENCODER_WM9, false);
    g_encodingEngine.SetEncoder(ENCODER_FLV);
    WriteVersion(3);
}

void EncoderSelection::RestoreFromProfile()
{
    switch (profile ? profile->GetInt("EncodingOption", "ProfileVersion", 0) : 0) {
    case 1: OnEncoderWm9(); break;
    case 2: SelectUserProfileEncoder(); break;
    case 3: OnEncoderFlv(); break;
    default: OnEncoderWm8(); break;
    }
}

void EncoderSelection::ApplyFlvSettings()
{
    static const cl::CProfile fallback;
    const cl::CProfile &p = profile ? *profile : fallback;
    LoadFlvSettings(p, &m_FlvSettings);
    m_bFlvSettingsApplied = 1;
    g_encodingEngine.SetEncoder(ENCODER_FLV);
    if (m_bRemoteMode) {
        g_encodingEngine.SetFLVEncProfile(&m_FlvSettings);
        return;
    }
    FlvSettings copy = m_FlvSettings;
    INT_PTR r = runFlvDialog ? runFlvDialog(&copy, owner) : RunFlvSettingDialog(&copy, owner);
    if (r == IDOK) {
        m_FlvSettings = copy;
        SaveFlvSettings(p, m_FlvSettings);
    }
    /* A cancelled dialog still hands over the stored settings: the FLV
     * writer is selected now and must never run on settings it never got. */
    g_encodingEngine.SetFLVEncProfile(&m_FlvSettings);
}

void EncoderSelection::OnEncodingProperties()
{
    if (m_bRemoteMode) return;
    if (m_nEncoderKind == ENCODER_WM) {
        if (showWmOptions) showWmOptions();
    } else if (m_nEncoderKind == ENCODER_FLV) {
        ApplyFlvSettings();
    }
}

void EncoderSelection::ApplyWmEncodingSettings()
{
    static const cl::CProfile fallback;
    const cl::CProfile &p = profile ? *profile : fallback;
    WmEncodingSettings s = LoadWmSettings(p, WmDefaults::Apply);
    m_nArchiveToFile = s.archiveToFile;

    int version = m_nWmVersion == 16 || m_nWmVersion == 256 ? m_nWmVersion : 1;
    int index = ResolveProfileIndex(s, version);
    g_encodingEngine.SetWMFVersion(version);
    g_encodingEngine.SetEncoder(ENCODER_WM);
    g_encodingEngine.SetProfileIndex(index);

    const std::pair<const char *, const std::string *> header[] = {{"Title", &s.title},
                                                                  {"Author", &s.author},
                                                                  {"Copyright", &s.copyright},
                                                                  {"Rating", &s.rating},
                                                                  {"Description", &s.description}};
    for (auto &h : header) g_encodingEngine.SetHeaderInfo(h.first, h.second->c_str());

    g_encodingEngine.SetBroadcastPort(s.broadcast ? s.port : 0);
    if (s.archiveToFile) {
        std::string file = s.archive.empty() ? kDefaultWmFile : s.archive;
        g_encodingEngine.SetSaveFile(file.c_str());
        g_encodingEngine.IndexOnOff((INT16)s.addIndex);
    }
    /* The push page shows in families 16 and 256, so both push. */
    if (version == 16 || version == 256) {
        if (s.pushToServer && !s.pushServer.empty())
            g_encodingEngine.SetPushServer(s.pushServer.c_str(), s.publishingPoint.c_str(), s.copyFrom.c_str(),
                                           (INT16)s.autoRemove);
        else
            g_encodingEngine.SetPushServer(nullptr, nullptr, nullptr, 0);
    }
    m_bWmSettingsApplied = 1;
}

int EncoderSelection::ResolveProfileIndex(const WmEncodingSettings &s, int version)
{
    std::string name = version == 16 ? kUserChosePrx : version == 256 ? s.userProfileName : s.wm8ProfileName;
    int stored = version == 16 ? s.wm9ProfileIndex : version == 256 ? s.userProfileIndex : s.wm8ProfileIndex;
    int count = g_encodingEngine.GetProfileCount();
    if (!name.empty()) {
        for (int i = 0; i < count; ++i) {
            const char *n = g_encodingEngine.GetProfileName(i);
            if (n && name == n) return i;
        }
        return 0;   /* the remembered profile is gone: the first one */
    }
    return stored >= 0 && stored < count ? stored : 0;
}
