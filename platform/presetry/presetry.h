/*
 * Presetry: the encoder-profile library of the WM9 profile editor.  Codec
 * and format questions, ".prx" profiles read into a current profile, and
 * profiles built pair by pair (one audio and one video stream a pair, the
 * pairs bit-rate alternatives of each other) and saved.
 *
 * Results: counts and values as documented; the reading, adding, building
 * and saving calls answer 0 (S_OK) on success and a negative HRESULT on
 * failure.  Texts are wide (UTF-16); a returned text stays valid until the
 * next call that returns one.  One thread at a time.
 */
#ifndef CORV_PRESETRY_H
#define CORV_PRESETRY_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The major types a stream reports. */
extern const GUID PRESETRY_AUDIO_MAJOR;   /* {73647561-0000-0010-8000-00AA00389B71} */
extern const GUID PRESETRY_VIDEO_MAJOR;   /* {73646976-0000-0010-8000-00AA00389B71} */

HRESULT InitWMProfile(void);
HRESULT ReleaseWMProfile(void);

/* Codecs, numbered in a fixed order. */
HRESULT WM9InitCodecInfo(void);
int WM9GetAudioCodecCount(void);
const WCHAR *WM9GetAudioCodecName(int codec);
int WM9GetVideoCodecCount(void);
const WCHAR *WM9GetVideoCodecName(int codec);
/* Formats of a codec of that major type: constant bit rate (vbr 0, passes
 * 0) or variable bit rate (vbr 1, one or two passes). */
int WM9GetNumberOfFormatsSupported(GUID majorType, int codec, int vbr, int passes);
const WCHAR *WM9GetAudioFormatName(int codec, int format);
/* Bits per second; 0 for a codec or format that does not exist. */
int WM9GetAudioBitrate(int codec, int format);

/* A ".prx" file as the current profile. */
HRESULT WM9ReadProfileAsPRX(const WCHAR *path);
const WCHAR *WM9GetProfileName(void);
const WCHAR *WM9GetProfileDescription(void);
int WM9GetStreamCount(void);
GUID WM9GetStreamType(int stream);
HRESULT WM9GetAudioStream(int stream, int *codec, int *format, int *bitrate);
HRESULT WM9GetVideoStream(int stream, int *codec, int *bitrate, int *bufferWindowMs, float *fps, int *width,
                          int *height);
HRESULT WM9GetVideoStream2(int stream, int *keyFrameSeconds, int *quality);
LCID WM9GetStreamLanguage(void);

/* Building: a new profile, its pairs in order, then the alternatives, the
 * texts, the profile itself and its file. */
HRESULT WM9CreateProfileManager(void);
HRESULT WM9AddStreamsToProfile(int pair, int entryIndex, int audioCodec, int videoCodec, int audioFormat,
                               int bufferWindowMs, int videoBitrate, int width, int height, float fps, int quality,
                               int keyFrameSeconds, LCID language);
HRESULT WM9AddMutualExclusion(int pairs);
HRESULT WM9AddStreamPrioritization(int pairs);
HRESULT WM9SetProfileName(const WCHAR *text, int length);
HRESULT WM9SetProfileDescription(const WCHAR *text, int length);
HRESULT WM9CreateProfile(void);
HRESULT WM9SaveProfile(const WCHAR *path);

#ifdef __cplusplus
}
#endif

#endif
