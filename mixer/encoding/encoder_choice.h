/*
 * The encoder the recorder uses: Windows Media (format family 1, 16 or 256)
 * or the FLV writer, as the "&Encoding" menu chooses it, remembered in
 * "EncodingOption\ProfileVersion" (0 WM8, 1 WM9, 2 user profile, 3 FLV),
 * and the FLV settings handed to the engine.
 *
 * The engine is called through EncodingEngine, a table of its exports that
 * tests replace with recorders.
 */
#ifndef CORV_MIXER_ENCODER_CHOICE_H
#define CORV_MIXER_ENCODER_CHOICE_H

#include "flv_settings.h"
#include "corvengine.h"
#include <functional>
#include <string>
#include <vector>

namespace cl { class CProfile; }
struct WmEncodingSettings;

/* One Windows Media stream configuration: kind 0 audio, 1 video, 2 script;
 * the profile file of the program's "Settings" folder; the destination. */
struct WmConfigEntry {
    int kind = 0;
    std::string id, file, name;
    int destination = 0;
};

struct EncodingEngine {
    int(WINAPI *SetEncoder)(int kind);
    int(WINAPI *SetWMFVersion)(int version);
    int(WINAPI *SetFLVEncProfile)(const FlvSettings *settings);
    int(WINAPI *SetProfileIndex)(int n);
    void(WINAPI *SetHeaderInfo)(const char *attribute, const char *value);
    int(WINAPI *SetBroadcastPort)(int port);
    void(WINAPI *SetSaveFile)(const char *path);
    void(WINAPI *IndexOnOff)(BOOL on);
    void(WINAPI *SetPushServer)(const char *server, const char *point, const char *copyFrom, int autoRemove);
    int(WINAPI *GetProfileCount)(void);
    const char *(WINAPI *GetProfileName)(int n);
    /* The profile store, as the options dialog and the profile dialogs use it. */
    const char *(WINAPI *GetProfileDescription)(int n);
    int(WINAPI *DeleteProfile)(int n);
    int(WINAPI *CreateNewProfile)(void);
    int(WINAPI *SetProfileName)(const char *name);
    int(WINAPI *SetProfileDescription)(const char *text);
    int(WINAPI *SaveProfile)(void);
    int(WINAPI *GetCodecCount)(int kind);
    const char *(WINAPI *GetCodecName)(int kind, int n);
    int(WINAPI *GetAudioFormatCount)(int codec);
    const char *(WINAPI *GetAudioFormatString)(int codec, int n);
    int(WINAPI *LoadProfile)(int n, int *flags, int *audioCodec, int *audioFormat, int *videoCodec, int *width,
                             int *height, int *scriptBitrate);
    BOOL(WINAPI *GetVideoStream)(int n, void *name, void *fps, void *keySeconds, void *quality, void *bitrate,
                                 void *width, void *height);
    int(WINAPI *AddAudioStream)(int codec, int format);
    HRESULT(WINAPI *AddVideoStream)(int codec, int width, int height, const char *name, unsigned fps,
                                    int keySeconds, int quality, int bitrate);
    int(WINAPI *AddScriptStream)(int bitrate);
    int(WINAPI *LoadProfile9)(const char *file, int *flags, int *, int *, int *, int *, int *, int);
    int(WINAPI *GetVideoStream9)(int n, int *bitrate, float *fps, int *keySeconds, int *bufferWindowMs,
                                 int *quality, WmMediaType **type);
    int(WINAPI *GetAudioStream9)(int n, int *bitrate, WmMediaType **type);
    HRESULT(WINAPI *AddAudioStream9)(const WmMediaType *type, WORD *streamNumber, int bitrate);
    HRESULT(WINAPI *AddVideoStream9)(const WmMediaType *type, WORD *streamNumber, int quality,
                                     int keySeconds, int bufferWindowMs);
};
/* The table the encoding code calls (the real engine unless a test changed it). */
extern EncodingEngine g_encodingEngine;
const EncodingEngine &RealEncodingEngine();

constexpr int ENCODER_WM = 1;
constexpr int ENCODER_FLV = 0x1000000;

class EncoderSelection {
public:
    /* The host window's members this class keeps up to date. */
    EncoderSelection(int &encoderKind, int &wmVersion, int &remoteMode)
        : m_nEncoderKind(encoderKind), m_nWmVersion(wmVersion), m_bRemoteMode(remoteMode) {}

    int &m_nEncoderKind;
    int &m_nWmVersion;
    int &m_bRemoteMode;
    INT16 m_bFlvSettingsApplied = 0;
    FlvSettings m_FlvSettings = {};

    /* Where the choice is remembered; the menu whose items are checked
     * (none: no check marks); the owner of the FLV dialog. */
    cl::CProfile *profile = nullptr;
    HMENU menu = nullptr;
    HWND owner = nullptr;
    /* Runs the FLV dialog on a copy of the settings: IDOK with the result
     * in *settings, else IDCANCEL (tests replace it). */
    std::function<INT_PTR(FlvSettings *settings, HWND owner)> runFlvDialog;

    void OnEncoderWm8();
    void OnEncoderWm9();
    void SelectUserProfileEncoder();
    void OnEncoderFlv();
    /* Start-up: the operation "ProfileVersion" names (any other value WM8). */
    void RestoreFromProfile();
    /* Loads the FLV settings, selects the FLV writer and, outside the
     * remote mode, lets the operator edit them. */
    void ApplyFlvSettings();
    /* "Encoding &Properties": nothing in remote mode; the Windows Media
     * options (showWmOptions) for kind 1, the FLV settings for FLV. */
    void OnEncodingProperties();
    std::function<void()> showWmOptions;
    /* Reads "EncodingOption\WindowsMedia" with the apply defaults and
     * configures the engine's Windows Media writer for m_nWmVersion. */
    void ApplyWmEncodingSettings();
    /* Cleared when the mixer starts afresh. */
    void ResetApplied() { m_bFlvSettingsApplied = 0; m_bWmSettingsApplied = 0; }

    /* The Windows Media stream configurations the program read at start-up. */
    std::vector<WmConfigEntry> wm9Configs;

    INT16 m_bWmSettingsApplied = 0;
    /* "ArchiveToFile" as last applied (the encoding toggle reads it). */
    int m_nArchiveToFile = 1;

    /* The engine's profile index for the family: the remembered profile by
     * name ("UserChosePrx" in family 16), else the stored index when it is in
     * range; a profile that cannot be found gives the first, never -1. */
    static int ResolveProfileIndex(const WmEncodingSettings &s, int version);

private:
    void SelectWm(int version, UINT checked, int profileVersion, bool uncheckFlv);
    void Check(UINT id, bool on);
    void WriteVersion(int value);
};

/* Runs dialog 373 modally over *settings (the default of runFlvDialog). */
INT_PTR RunFlvSettingDialog(FlvSettings *settings, HWND owner);

#endif
