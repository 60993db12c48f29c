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

/* The version-8 profile forms: two audio codecs of three formats, two
 * video codecs; LoadProfile answers the profile of `loaded`. */
struct Loaded {
    int flags = 0, audioCodec = 0, audioFormat = 0, videoCodec = -1, width = 0, height = 0, script = 0;
    std::vector<std::pair<std::string, std::vector<int>>> video;   /* name; fps, key, quality, bitrate, w, h */
};
inline Loaded &L()
{
    static Loaded l;
    return l;
}
inline const char *WINAPI GetCodecName(int kind, int n)
{
    S().text = (kind ? "Video codec " : "Audio codec ") + std::to_string(n);
    return S().text.c_str();
}
inline int WINAPI GetAudioFormatCount(int codec) { return codec == 0 ? 3 : 2; }
inline const char *WINAPI GetAudioFormatString(int codec, int n)
{
    S().text = "Format " + std::to_string(codec) + "." + std::to_string(n);
    return S().text.c_str();
}
inline int WINAPI LoadProfile(int n, int *flags, int *ac, int *af, int *vc, int *w, int *h, int *script)
{
    Note("LoadProfile " + std::to_string(n));
    *flags = L().flags; *ac = L().audioCodec; *af = L().audioFormat; *vc = L().videoCodec;
    *w = L().width; *h = L().height;
    if (L().script) *script = L().script;
    return 1;
}
inline BOOL WINAPI GetVideoStream(int n, void *name, void *fps, void *key, void *quality, void *bitrate, void *w, void *h)
{
    if (n < 0 || n >= (int)L().video.size()) return FALSE;
    auto &v = L().video[n];
    lstrcpynA((char *)name, v.first.c_str(), 260);
    *(unsigned *)fps = v.second[0];
    *(LONGLONG *)key = v.second[1];
    *(int *)quality = v.second[2];
    *(int *)bitrate = v.second[3];
    *(int *)w = v.second[4];
    *(int *)h = v.second[5];
    return TRUE;
}
inline int WINAPI AddAudioStream(int c, int f)
{
    Note("AddAudioStream " + std::to_string(c) + " " + std::to_string(f));
    return 1;
}
inline HRESULT WINAPI AddVideoStream(int c, int w, int h, const char *name, unsigned fps, int key, int q, int bitrate)
{
    char b[400];
    snprintf(b, sizeof(b), "AddVideoStream %d %dx%d '%s' %u %d %d %d", c, w, h, name, fps, key, q, bitrate);
    Note(b);
    return S_OK;
}
inline int WINAPI AddScriptStream(int bitrate) { Note("AddScriptStream " + std::to_string(bitrate)); return 1; }

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
    e.GetCodecName = GetCodecName;
    e.GetAudioFormatCount = GetAudioFormatCount;
    e.GetAudioFormatString = GetAudioFormatString;
    e.LoadProfile = LoadProfile;
    e.GetVideoStream = GetVideoStream;
    e.AddAudioStream = AddAudioStream;
    e.AddVideoStream = AddVideoStream;
    e.AddScriptStream = AddScriptStream;
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
