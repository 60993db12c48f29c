/*
 * Corvengine: the media engine's flat interface for its host programs.
 *
 * One engine per process.  Every function runs on the host's UI thread.  The
 * engine reports back only by posting messages to the window given to
 * InitEngine:
 *   1037 WM_ENGINE_GRAPHNOTIFY  wParam 0, lParam channel: call HandleEvent(channel)
 *   1345 WM_ENGINE_SOURCESTATE  (channel << 16) + state (1 opened, 11 playing,
 *                               12 stopped, 34 paused), lParam 0; or wParam
 *                               channel, lParam 4 end of stream / 8 opening /
 *                               2 buffering
 *   1346 WM_ENGINE_TRANSPROGRESS wParam percent
 *   1347 WM_ENGINE_POSITION     wParam channel, lParam whole seconds
 *   1349 WM_ENGINE_ENCODETIME   wParam 99, lParam seconds encoded
 * Channels are 0..4.  Strings returned are owned by the engine.
 */
#ifndef CORVENGINE_H
#define CORVENGINE_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

struct FlvSettings;

/* A Windows Media media type as the version-9 profile forms hand it over:
 * the type's identifiers and its format block (a VIDEOINFOHEADER or a
 * WAVEFORMATEX). */
typedef struct WmMediaType {
    GUID majortype;
    GUID subtype;
    BOOL bFixedSizeSamples;
    BOOL bTemporalCompression;
    ULONG lSampleSize;
    GUID formattype;
    void *pUnk;
    ULONG cbFormat;
    BYTE *pbFormat;
} WmMediaType;

void WINAPI InitEngine(HWND host);
void WINAPI ReleaseEngine(void);
int WINAPI ResetEngine(void);
BOOL WINAPI OpenSource(WORD channel, const char *video, const char *audio);
int WINAPI CloseSource(WORD channel);
int WINAPI SetPrevVideoWnd(int channel, HWND wnd);
BOOL WINAPI SelectChannel(WORD channel);
void *WINAPI SetMainVideoWnd(HWND wnd);
void WINAPI PreviewRepaint(int channel, HDC dc);
int WINAPI MainVideoRepaint(HDC dc);
void WINAPI TitleApply(BOOL on, int, int);
int WINAPI GetTransEffectNumbers(void);
const char *WINAPI GetTransEffectName(int n);
const char *WINAPI GetTransEffectIconName(int n);
int WINAPI SetTransEffect(int index, double seconds);
int WINAPI MyPlay(WORD channel);
int WINAPI MyStop(WORD channel);
int WINAPI MyPause(WORD channel);
int WINAPI MyRewind(WORD channel);
int WINAPI MyReverse(WORD channel);
int WINAPI MyFastForward(WORD channel);
int WINAPI MyGetDuration(int channel);                 /* whole seconds */
int WINAPI MyGetPosition(int channel);                 /* whole seconds */
int WINAPI MySetPosition(int channel, int microseconds);
void WINAPI HandleEvent(int channel);
int WINAPI GetDeviceLists(void);
void WINAPI ReleaseDeviceLists(void);
const char *WINAPI GetVideoDeviceName(int n);
const char *WINAPI GetAudioDeviceName(int n);
int WINAPI CapVideoFormat(void);
int WINAPI CapVideoSource(void);
int WINAPI CapVideoDisplay(void);
int WINAPI CapVideoCompression(void);
int WINAPI EncoderStart(void);
int WINAPI EncoderStop(void);
void WINAPI SetSaveFile(const char *path);
void WINAPI SetHeaderInfo(const char *attribute, const char *value);
int WINAPI SetProfileIndex(int n);
int WINAPI SetBroadcastPort(int port);
int WINAPI GetProfileCount(void);
const char *WINAPI GetProfileName(int n);
const char *WINAPI GetProfileDescription(int n);
void WINAPI IndexOnOff(BOOL on);
int WINAPI CreateNewProfile(void);
int WINAPI LoadProfile(int n, int *streamFlags, int *audio1, int *audio2, int *videoCodec,
                       int *width, int *height, int *scriptBitrate);
int WINAPI SetProfileName(const char *name);
int WINAPI SetProfileDescription(const char *text);
int WINAPI SaveProfile(void);
int WINAPI AddAudioStream(int codec, int format);
HRESULT WINAPI AddVideoStream(int codec, int width, int height, const char *streamName, unsigned fps,
                              int keyFrameSeconds, int quality, int bitrate);
int WINAPI AddScriptStream(int bitrate);
int WINAPI GetCodecCount(int kind);
const char *WINAPI GetCodecName(int kind, int n);
int WINAPI GetAudioFormatCount(int codec);
const char *WINAPI GetAudioFormatString(int codec, int n);
int WINAPI DeleteProfile(int n);
BOOL WINAPI GetVideoStream(int n, void *, void *, void *, void *, void *, void *, void *);
void WINAPI SetRealMediaSetting(int, int, int, int);
int WINAPI SetEncoder(int kind);
int WINAPI SetFrameRate(unsigned fps);
void WINAPI SetRealBroadcasting(int, int, int, int, int, int, int);
void WINAPI PreviewTitle(HDC dc, BOOL reload);
int WINAPI ShowDateAndTime(BOOL on, int, int);
void WINAPI SetHSLEffect(int hue, int saturation, int lightness);
int WINAPI SetAutoTrans(BOOL on);
int WINAPI SetTransPosition(int tenths);
int WINAPI SetWMFVersion(int v);
int WINAPI SetWMFDRM(int v);
int WINAPI GetWM9ConfigInfo(WORD n, BYTE *kind, char *id, char *file, char *name, INT16 *destination);
int WINAPI GetWM9ConfigNumbers(void);
/* The version-9 forms: a configuration file of the program's "Settings"
 * folder as the current profile (*flags counts its audio and video
 * streams); stream n + 1 with a copy of its media type (one block, freed
 * with CoTaskMemFree); streams added from complete media types. */
int WINAPI LoadProfile9(const char *file, int *flags, int *, int *, int *, int *, int *, int);
int WINAPI GetVideoStream9(int n, int *bitrate, float *fps, int *keyFrameSeconds, int *bufferWindowMs, int *quality,
                           WmMediaType **type);
int WINAPI GetAudioStream9(int n, int *bitrate, WmMediaType **type);
HRESULT WINAPI AddAudioStream9(const WmMediaType *type, WORD *streamNumber, int bitrate);
HRESULT WINAPI AddVideoStream9(const WmMediaType *type, WORD *streamNumber, int quality, int keyFrameSeconds,
                               int bufferWindowMs);
void WINAPI SetPushServer(const char *server, const char *point, const char *copyFrom, int autoRemove);
int WINAPI SetBackMusic(BOOL on);
int WINAPI GetAudioStream(int n, void *, void *);
int WINAPI SetFLVEncProfile(const struct FlvSettings *settings);
HANDLE WINAPI SetTVOutWnd(HWND wnd);
BOOL WINAPI StartTVOut(void);
void *WINAPI StopTVOut(void);
void WINAPI SetVideoSurfaceSize(int width, int height);
void WINAPI SetPreviewVideoSize(int width, int height);
void WINAPI SetMainVideoSize(int width, int height);
int WINAPI LoadCustomProfile9(const char *name);
/* Exported as _AddProfileMutualExtension@4, _AddProfileMutualExtensionFor8Profile@4
 * and _ApplyFilter@4. */
int WINAPI AddProfileMutualExtension(int);
int WINAPI AddProfileMutualExtensionFor8Profile(int);
int WINAPI ApplyFilter(int value);

#ifdef __cplusplus
}
#endif

#endif
