/*
 * CProfile: the store of Windows Media encoding profiles behind the profile
 * exports: the writer's system profiles and the .prx files of the profile
 * folder, the current profile being built or read, codec and format
 * questions, and the stream-configuration map read from
 * Settings\SettingsMap.xml.  Host thread only.
 */
#ifndef CORVENGINE_PROFILE_H
#define CORVENGINE_PROFILE_H

#include <windows.h>
#include <string>
#include <vector>

#pragma pack(push, 1)
struct Wm9ConfigRecord {
    BYTE kind;
    char id[48];
    char file[40];
    char name[49];
    INT16 destination;
};
#pragma pack(pop)
static_assert(sizeof(Wm9ConfigRecord) == 140, "Wm9ConfigRecord is 140 bytes");

struct WmProfile;
typedef struct WmMediaType WmMediaType;

class CProfile {
public:
    CProfile();
    virtual ~CProfile();
    HRESULT lastResult = S_OK;
    char text[260] = {};
    Wm9ConfigRecord *records = nullptr;
    int recordCount = 0;

    int SystemCount();
    int Count();
    int Load(int n);                        /* 1 system, 2 .prx, 0 failure */
    /* A .prx file of the temporary folder by name: 2, or 0. */
    int LoadCustom9(const char *name);
    const char *Name(int n);
    const char *Description(int n);
    int CreateNew();
    int SetName(const char *name);
    int SetDescription(const char *description);
    int Save();
    int Delete(int n);
    int CodecCount(int kind);
    const char *CodecName(int kind, int n);
    int AudioFormatCount(int codec);
    const char *AudioFormatString(int codec, int n);
    int AddAudioStream(int codec, int format);
    HRESULT AddVideoStream(int codec, int width, int height, const char *streamName, unsigned fps,
                           int keyFrameSeconds, int quality, int bitrate);
    int AddScriptStream(int bitrate);
    int LoadWithStreams(int n, int *flags, int *audioCodec, int *audioFormat, int *videoCodec,
                        int *width, int *height);
    BOOL GetVideoStream(int n, char *name, unsigned *fps, LONGLONG *keySeconds, int *quality,
                        int *bitrate, int *width, int *height);
    int GetAudioStream(int n, int *codec, int *format);
    int AddMutualExclusion(bool version8);
    /* The script stream's bit rate of the current profile (0: none). */
    int ScriptBitrate() const;

    /* Version-9 forms.  A configuration file of the program's "Settings"
     * folder becomes the current profile: 2, or 0 with the outputs kept;
     * *flags counts every audio and video stream. */
    int Load9(const char *file, int *flags, int *audioCodec, int *audioFormat, int *videoCodec, int *width,
              int *height);
    /* Stream n + 1 of the current profile with a copy of its media type
     * (one CoTaskMemAlloc block, freed by the caller with CoTaskMemFree). */
    BOOL GetVideoStream9(int n, int *bitrate, float *fps, int *keyFrameSeconds, int *bufferWindowMs, int *quality,
                         WmMediaType **type);
    BOOL GetAudioStream9(int n, int *bitrate, WmMediaType **type);
    /* A stream of a complete media type matched against the codec list. */
    HRESULT AddVideoStream9(const WmMediaType *type, WORD *streamNumber, int quality, int keyFrameSeconds,
                            int bufferWindowMs);
    HRESULT AddAudioStream9(const WmMediaType *type, WORD *streamNumber, int bitrate);
    /* The profile the writer encodes with (a copy of profile n). */
    bool ForWriter(int n, WmProfile *out);

    /* The stream-configuration map: read from a path (a missing file leaves
     * the list empty); the constructor reads the program's own. */
    void ReadSettingsMap(const char *path);
    void EnsureSettingsMap();
    /* The .prx files of the folder, in enumeration order. */
    std::vector<std::string> PrxFiles();
    /* Whether a folder entry is a listed .prx file: archived, not a folder,
     * its extension ".prx" over four characters, any case. */
    static bool IsListedPrx(const WIN32_FIND_DATAA &entry);
    std::string Folder();

private:
    void SetText(const std::u16string &s);
    int LoadFile(const char *path);
    WmProfile *current = nullptr;
    bool mapRead = false;
};

extern CProfile g_profiles;

#endif
