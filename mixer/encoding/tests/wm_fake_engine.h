/*
 * A profile store standing in for the engine's profile exports in the
 * dialog tests: named profiles, version-9 configuration files with their
 * streams, and a trace of every call that changes something.
 */
#ifndef CORV_MIXER_WM_FAKE_ENGINE_H
#define CORV_MIXER_WM_FAKE_ENGINE_H

#include "encoder_choice.h"
#include <strmif.h>
#include <amvideo.h>
#include <mmreg.h>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace fake {

struct VideoStream { int bitrate; float fps; int key, window, quality, width, height; };
struct Config { std::vector<VideoStream> video; std::vector<int> audio; };

struct Store {
    std::vector<std::pair<std::string, std::string>> profiles;   /* name, description */
    std::map<std::string, Config> files;
    std::vector<std::string> calls;
    std::string current;              /* the configuration file loaded last */
    std::string building;             /* the name of the profile being built */
    std::string text;
};
inline Store &S()
{
    static Store s;
    return s;
}
inline void Note(const std::string &c) { S().calls.push_back(c); }

inline int WINAPI GetProfileCount() { return (int)S().profiles.size(); }
inline const char *WINAPI GetProfileName(int n)
{
    S().text = n >= 0 && n < (int)S().profiles.size() ? S().profiles[n].first : "";
    return S().text.c_str();
}
inline const char *WINAPI GetProfileDescription(int n)
{
    S().text = n >= 0 && n < (int)S().profiles.size() ? S().profiles[n].second : "";
    return S().text.c_str();
}
inline int WINAPI DeleteProfile(int n)
{
    Note("DeleteProfile " + std::to_string(n));
    if (n < 0 || n >= (int)S().profiles.size()) return 0;
    S().profiles.erase(S().profiles.begin() + n);
    return 1;
}
inline int WINAPI CreateNewProfile() { Note("CreateNewProfile"); S().building.clear(); return 1; }
inline int WINAPI SetProfileName(const char *n) { Note(std::string("SetProfileName ") + n); S().building = n; return 1; }
inline int WINAPI SetProfileDescription(const char *d) { Note(std::string("SetProfileDescription ") + d); return 1; }
inline int WINAPI SaveProfile()
{
    Note("SaveProfile");
    for (auto &p : S().profiles)
        if (p.first == S().building) return 1;
    S().profiles.push_back({S().building, "saved"});
    return 1;
}
inline int WINAPI GetCodecCount(int kind) { Note("GetCodecCount " + std::to_string(kind)); return 2; }
inline int WINAPI LoadProfile9(const char *file, int *flags, int *, int *, int *, int *, int *, int)
{
    Note(std::string("LoadProfile9 ") + file);
    auto it = S().files.find(file);
    if (it == S().files.end()) return 0;
    S().current = file;
    if (flags) *flags = (int)(it->second.video.size() + it->second.audio.size()) | 1 << 30;
    return 2;
}
inline WmMediaType *NewType(size_t size)
{
    BYTE *b = (BYTE *)CoTaskMemAlloc(sizeof(WmMediaType) + size);
    memset(b, 0, sizeof(WmMediaType) + size);
    WmMediaType *t = (WmMediaType *)b;
    t->cbFormat = (ULONG)size;
    t->pbFormat = b + sizeof(WmMediaType);
    return t;
}
inline int WINAPI GetVideoStream9(int n, int *bitrate, float *fps, int *key, int *window, int *quality, WmMediaType **type)
{
    const Config &c = S().files[S().current];
    if (n < 0 || n >= (int)c.video.size()) return 0;
    const VideoStream &v = c.video[n];
    *bitrate = v.bitrate; *fps = v.fps; *key = v.key; *window = v.window; *quality = v.quality;
    WmMediaType *t = NewType(sizeof(VIDEOINFOHEADER));
    VIDEOINFOHEADER *vi = (VIDEOINFOHEADER *)t->pbFormat;
    SetRect(&vi->rcTarget, 0, 0, v.width, v.height);
    t->lSampleSize = 1000 + n;        /* tells the types apart */
    *type = t;
    return 1;
}
inline int WINAPI GetAudioStream9(int n, int *bitrate, WmMediaType **type)
{
    const Config &c = S().files[S().current];
    if (n < 0 || n >= (int)c.audio.size()) return 0;
    *bitrate = c.audio[n];
    WmMediaType *t = NewType(sizeof(WAVEFORMATEX));
    t->lSampleSize = 2000 + n;
    *type = t;
    return 1;
}
inline HRESULT WINAPI AddAudioStream9(const WmMediaType *t, WORD *number, int bitrate)
{
    char b[96];
    snprintf(b, sizeof(b), "AddAudioStream9 type%lu %d", t ? (unsigned long)t->lSampleSize : 0ul, bitrate);
    Note(b);
    *number = 1;
    return S_OK;
}
inline HRESULT WINAPI AddVideoStream9(const WmMediaType *t, WORD *number, int quality, int key, int window)
{
    char b[96];
    snprintf(b, sizeof(b), "AddVideoStream9 type%lu q%d k%d w%d", t ? (unsigned long)t->lSampleSize : 0ul, quality, key,
             window);
    Note(b);
    *number = 2;
    return S_OK;
}
inline void WINAPI IndexOnOff(BOOL on) { Note("IndexOnOff " + std::to_string(on)); }
inline int WINAPI SetEncoder(int k) { Note("SetEncoder " + std::to_string(k)); return 1; }
inline int WINAPI SetWMFVersion(int v) { Note("SetWMFVersion " + std::to_string(v)); return 1; }
inline int WINAPI SetProfileIndex(int n) { Note("SetProfileIndex " + std::to_string(n)); return 1; }
inline void WINAPI SetHeaderInfo(const char *a, const char *v) { Note(std::string("SetHeaderInfo ") + a + "=" + v); }
inline int WINAPI SetBroadcastPort(int p) { Note("SetBroadcastPort " + std::to_string(p)); return 1; }
inline void WINAPI SetSaveFile(const char *f) { Note(std::string("SetSaveFile ") + f); }
inline void WINAPI SetPushServer(const char *s, const char *, const char *, int)
{
    Note(std::string("SetPushServer ") + (s ? s : "(null)"));
}

/* The real table with the profile store and the index switch replaced. */
inline EncodingEngine Engine()
{
    EncodingEngine e = RealEncodingEngine();
    e.GetProfileCount = GetProfileCount;
    e.GetProfileName = GetProfileName;
    e.GetProfileDescription = GetProfileDescription;
    e.DeleteProfile = DeleteProfile;
    e.CreateNewProfile = CreateNewProfile;
    e.SetProfileName = SetProfileName;
    e.SetProfileDescription = SetProfileDescription;
    e.SaveProfile = SaveProfile;
    e.GetCodecCount = GetCodecCount;
    e.LoadProfile9 = LoadProfile9;
    e.GetVideoStream9 = GetVideoStream9;
    e.GetAudioStream9 = GetAudioStream9;
    e.AddAudioStream9 = AddAudioStream9;
    e.AddVideoStream9 = AddVideoStream9;
    e.IndexOnOff = IndexOnOff;
    e.SetEncoder = SetEncoder;
    e.SetWMFVersion = SetWMFVersion;
    e.SetProfileIndex = SetProfileIndex;
    e.SetHeaderInfo = SetHeaderInfo;
    e.SetBroadcastPort = SetBroadcastPort;
    e.SetSaveFile = SetSaveFile;
    e.SetPushServer = SetPushServer;
    return e;
}

/* Calls of the trace that start with one of the prefixes. */
inline std::vector<std::string> Calls(std::initializer_list<const char *> prefixes)
{
    std::vector<std::string> out;
    for (auto &c : S().calls)
        for (const char *p : prefixes)
            if (c.compare(0, strlen(p), p) == 0) { out.push_back(c); break; }
    return out;
}

} // namespace fake

#endif
