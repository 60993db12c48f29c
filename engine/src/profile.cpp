/*
 * CProfile: system profiles, .prx files, the current profile and the
 * stream-configuration map.
 */
#include "profile.h"
#include "corvengine.h"
#include "engine.h"
#include "wmwriter.h"

#include <amvideo.h>
#include <mmreg.h>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

HRESULT win32_result(DWORD e) { return HRESULT_FROM_WIN32(e ? e : ERROR_GEN_FAILURE); }

std::u16string widen(const char *s)
{
    WCHAR w[ENGINE_TEXT] = {};
    if (s) MultiByteToWideChar(CP_ACP, 0, s, -1, w, ENGINE_TEXT);
    w[ENGINE_TEXT - 1] = 0;
    return std::u16string(reinterpret_cast<const char16_t *>(w));
}

/* A profile's name becomes a file of the profile folder: nothing that
 * would leave the folder or name a device. */
bool safe_file_name(const std::u16string &n)
{
    if (n.empty() || n.size() > 200) return false;
    for (char16_t c : n)
        if (c < 32 || c == '\\' || c == '/' || c == ':' || c == '*' || c == '?' || c == '"' ||
            c == '<' || c == '>' || c == '|')
            return false;
    if (n == u"." || n == u".." || n.back() == '.' || n.back() == ' ') return false;
    return true;
}

/* One token of a SettingsMap.xml line (see ReadSettingsMap). */
bool next_token(const char *line, size_t len, size_t *pos, char *out)
{
    size_t p = *pos, n = 0;
    while (p < len && (line[p] == ' ' || line[p] == '\t')) p++;
    bool any = false;
    while (p < len) {
        char c = line[p];
        if (c == '"') {
            p++;
            while (p < len && line[p] != '"') {
                if (n < 255) out[n++] = line[p];
                p++;
            }
            if (p < len) p++;            /* the closing quote ends the token */
            any = true;
            break;
        }
        if (c == ' ' || c == '\t' || c == '=' || c == '>') { p++; break; }
        if (n < 255) out[n++] = c;
        any = true;
        p++;
    }
    out[n] = 0;
    *pos = p;
    return any && n > 0;
}

void copy_field(char *field, size_t size, const char *value)
{
    lstrcpynA(field, value, (int)size);
}

/* Media types of the version-9 forms: Windows Media video with a
 * VIDEOINFOHEADER, Windows Media audio with a WAVEFORMATEX; the subtype
 * carries the four-character code or the format tag. */
const GUID kMajorVideo = {0x73646976, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
const GUID kMajorAudio = {0x73647561, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
const GUID kFormatVideoInfo = {0x05589F80, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};
const GUID kFormatWaveEx = {0x05589F81, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};

GUID subtype_of(DWORD code)
{
    GUID g = kMajorVideo;
    g.Data1 = code;
    return g;
}

DWORD video_fourcc(const std::string &encoder)
{
    if (encoder.size() != 4) return 0;
    return MAKEFOURCC(toupper((unsigned char)encoder[0]), toupper((unsigned char)encoder[1]),
                      toupper((unsigned char)encoder[2]), toupper((unsigned char)encoder[3]));
}

WORD audio_tag(const std::string &encoder)
{
    return encoder == "wmav1" ? 0x160 : encoder == "wmav2" ? 0x161 : 0;
}

/* One block: the media type followed by its format. */
WmMediaType *new_media_type(size_t formatSize)
{
    BYTE *block = static_cast<BYTE *>(CoTaskMemAlloc(sizeof(WmMediaType) + formatSize));
    if (!block) return nullptr;
    memset(block, 0, sizeof(WmMediaType) + formatSize);
    WmMediaType *mt = reinterpret_cast<WmMediaType *>(block);
    mt->cbFormat = (ULONG)formatSize;
    mt->pbFormat = block + sizeof(WmMediaType);
    return mt;
}

WmMediaType *video_media_type(const WmStreamConfig &c)
{
    WmMediaType *mt = new_media_type(sizeof(VIDEOINFOHEADER));
    if (!mt) return nullptr;
    DWORD fourcc = video_fourcc(c.codec);
    mt->majortype = kMajorVideo;
    mt->subtype = subtype_of(fourcc);
    mt->bTemporalCompression = TRUE;
    mt->formattype = kFormatVideoInfo;
    VIDEOINFOHEADER *v = reinterpret_cast<VIDEOINFOHEADER *>(mt->pbFormat);
    SetRect(&v->rcSource, 0, 0, c.width, c.height);
    v->rcTarget = v->rcSource;
    v->dwBitRate = (DWORD)c.bitrate;
    v->AvgTimePerFrame = c.avgTimePerFrame;
    v->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    v->bmiHeader.biWidth = c.width;
    v->bmiHeader.biHeight = c.height;
    v->bmiHeader.biPlanes = 1;
    v->bmiHeader.biBitCount = 24;
    v->bmiHeader.biCompression = fourcc;
    return mt;
}

WmMediaType *audio_media_type(const WmStreamConfig &c)
{
    WmMediaType *mt = new_media_type(sizeof(WAVEFORMATEX));
    if (!mt) return nullptr;
    WORD tag = audio_tag(c.codec);
    int avg = c.bitrate / 8;
    int block = avg * 2048 / (c.sampleRate > 0 ? c.sampleRate : 1);
    if (block < 1) block = 1;
    mt->majortype = kMajorAudio;
    mt->subtype = subtype_of(tag);
    mt->bFixedSizeSamples = TRUE;
    mt->lSampleSize = (ULONG)block;
    mt->formattype = kFormatWaveEx;
    WAVEFORMATEX w = {};
    w.wFormatTag = tag;
    w.nChannels = (WORD)c.channels;
    w.nSamplesPerSec = (DWORD)c.sampleRate;
    w.nAvgBytesPerSec = (DWORD)avg;
    w.nBlockAlign = (WORD)block;
    w.wBitsPerSample = 16;
    memcpy(mt->pbFormat, &w, sizeof(w));
    return mt;
}

/* The first audio stream's codec and format, the last video stream's
 * codec and size, as the loading forms report them. */
void describe(const WmProfile &p, int *videos, int *audios, int *ac, int *af, int *vc, int *w, int *h)
{
    *videos = *audios = 0;
    *ac = *af = *vc = -1;
    *w = *h = 0;
    for (const WmStreamConfig &c : p.streams) {
        if (c.video) {
            ++*videos;
            *vc = WmCodecIndex(true, c.codec);
            *w = c.width;
            *h = c.height;
        } else {
            ++*audios;
            *ac = WmCodecIndex(false, c.codec);
            for (int i = 0; i < WmCodecFormatCount(*ac); i++) {
                WmAudioFormat f;
                WmCodecFormat(*ac, i, &f);
                if (f.avgBytesPerSec * 8 == c.bitrate && f.sampleRate == c.sampleRate && f.channels == c.channels)
                    *af = i;
            }
        }
    }
}

} // namespace

CProfile::CProfile() {}

CProfile::~CProfile()
{
    delete current;
    current = nullptr;
    delete[] records;
    records = nullptr;
    recordCount = 0;
}

void CProfile::SetText(const std::u16string &s)
{
    text[0] = 0;
    WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const WCHAR *>(s.c_str()), -1, text, sizeof(text),
                        nullptr, nullptr);
    text[sizeof(text) - 1] = 0;
}

std::string CProfile::Folder()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(g_engineModule, path, MAX_PATH);
    char *slash = strrchr(path, '\\');
    if (slash) *slash = 0;
    return std::string(path) + (g_engine.wmfVersion == 1 ? "\\Profiles" : "\\UserProfiles");
}

bool CProfile::IsListedPrx(const WIN32_FIND_DATAA &fd)
{
    if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_ARCHIVE)) return false;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    char name[MAX_PATH + 1];
    memcpy(name, fd.cFileName, MAX_PATH);
    name[MAX_PATH] = 0;
    const char *dot = strrchr(name, '.');
    return dot && strlen(dot) == 4 &&
           CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, dot, 4, ".prx", 4) == CSTR_EQUAL;
}

std::vector<std::string> CProfile::PrxFiles()
{
    std::vector<std::string> files;
    std::string folder = Folder();
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((folder + "\\*.*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return files;
    do {
        if (IsListedPrx(fd)) files.push_back(folder + "\\" + fd.cFileName);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return files;
}

int CProfile::SystemCount() { return g_engine.wmfVersion == 1 ? WmSystemProfileCount() : 0; }

int CProfile::Count() { return SystemCount() + (int)PrxFiles().size(); }

int CProfile::Load(int n)
{
    delete current;
    current = nullptr;
    WmProfile p;
    int sys = SystemCount();
    if (n < 0) { lastResult = E_INVALIDARG; return 0; }
    if (n < sys) {
        if (!WmSystemProfile(n, &p)) { lastResult = E_INVALIDARG; return 0; }
        current = new WmProfile(p);
        lastResult = S_OK;
        return 1;
    }
    std::vector<std::string> files = PrxFiles();
    if (n - sys >= (int)files.size()) { lastResult = E_INVALIDARG; return 0; }
    return LoadFile(files[n - sys].c_str());
}

int CProfile::LoadCustom9(const char *name)
{
    delete current;
    current = nullptr;
    /* A plain file name of the temporary folder only. */
    if (!name || !name[0] || strpbrk(name, "\\/:") || !strcmp(name, "..")) { lastResult = E_INVALIDARG; return 0; }
    char dir[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, dir);
    return LoadFile((std::string(dir) + name).c_str());
}

int CProfile::LoadFile(const char *path)
{
    WmProfile p;
    HANDLE f = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) { lastResult = win32_result(GetLastError()); return 0; }
    LARGE_INTEGER size = {};
    GetFileSizeEx(f, &size);
    if (size.QuadPart > (1 << 20)) { CloseHandle(f); lastResult = WMW_E_INVALID_PROFILE; return 0; }
    std::u16string xml((size_t)(size.QuadPart / 2), u'\0');
    DWORD got = 0;
    BOOL ok = xml.empty() || ReadFile(f, &xml[0], (DWORD)(xml.size() * 2), &got, nullptr);
    CloseHandle(f);
    if (!ok) { lastResult = win32_result(GetLastError()); return 0; }
    if (!xml.empty() && xml[0] == 0xFEFF) xml.erase(0, 1);
    while (!xml.empty() && xml.back() == 0) xml.pop_back();
    lastResult = WmProfileFromXml(xml, &p);
    if (FAILED(lastResult)) return 0;
    current = new WmProfile(p);
    return 2;
}

const char *CProfile::Name(int n)
{
    text[0] = 0;
    if (Load(n) && current) SetText(current->name);
    return text;
}

const char *CProfile::Description(int n)
{
    text[0] = 0;
    if (Load(n) && current) SetText(current->description);
    return text;
}

int CProfile::CreateNew()
{
    delete current;
    current = new WmProfile;
    lastResult = S_OK;
    return 1;
}

int CProfile::SetName(const char *name)
{
    if (!current) { lastResult = E_UNEXPECTED; return 0; }
    current->name = widen(name);
    lastResult = S_OK;
    return 1;
}

int CProfile::SetDescription(const char *description)
{
    if (!current) { lastResult = E_UNEXPECTED; return 0; }
    current->description = widen(description);
    lastResult = S_OK;
    return 1;
}

int CProfile::Save()
{
    if (!current) { lastResult = E_UNEXPECTED; return 0; }
    if (!safe_file_name(current->name)) { lastResult = E_INVALIDARG; return 0; }
    std::u16string xml = WmProfileToXml(*current);
    std::string folder = Folder();
    CreateDirectoryA(folder.c_str(), nullptr);     /* a fresh installation has none */
    char name[ENGINE_TEXT];
    SetText(current->name);
    lstrcpynA(name, text, sizeof(name));
    std::string path = folder + "\\" + name + ".prx";
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_ARCHIVE, nullptr);
    if (f == INVALID_HANDLE_VALUE) { lastResult = win32_result(GetLastError()); return 0; }
    DWORD done = 0;
    BOOL ok = WriteFile(f, xml.data(), (DWORD)(xml.size() * 2), &done, nullptr) && done == xml.size() * 2;
    DWORD e = GetLastError();
    CloseHandle(f);
    if (!ok) { lastResult = win32_result(e); DeleteFileA(path.c_str()); return 0; }
    lastResult = S_OK;
    return 1;
}

int CProfile::Delete(int n)
{
    int sys = SystemCount();
    if (n < sys) { lastResult = E_INVALIDARG; return 0; }
    std::vector<std::string> files = PrxFiles();
    if (n - sys >= (int)files.size()) { lastResult = E_INVALIDARG; return 0; }
    if (!DeleteFileA(files[n - sys].c_str())) { lastResult = win32_result(GetLastError()); return 0; }
    lastResult = S_OK;
    return 1;
}

int CProfile::CodecCount(int kind) { return WmCodecCount(kind != 0); }

const char *CProfile::CodecName(int kind, int n)
{
    text[0] = 0;
    const char16_t *name = WmCodecName(kind != 0, n);
    if (name) SetText(name);
    else lastResult = E_INVALIDARG;
    return text;
}

int CProfile::AudioFormatCount(int codec) { return WmCodecFormatCount(codec); }

const char *CProfile::AudioFormatString(int codec, int n)
{
    text[0] = 0;
    WmAudioFormat f;
    if (!WmCodecFormat(codec, n, &f)) { lastResult = E_INVALIDARG; return text; }
    snprintf(text, sizeof(text), "%5.1f kbps, %3.1f kHz, %s", f.avgBytesPerSec * 8 / 1000.0,
             f.sampleRate / 1000.0, f.channels == 1 ? "Mono" : "Stereo");
    return text;
}

int CProfile::AddAudioStream(int codec, int format)
{
    WmAudioFormat f;
    if (!current || !WmCodecFormat(codec, format, &f)) { lastResult = E_INVALIDARG; return 0; }
    WmStreamConfig c;
    c.video = false;
    c.codec = WmCodecEncoder(false, codec);
    c.sampleRate = f.sampleRate;
    c.channels = f.channels;
    c.bitrate = f.avgBytesPerSec * 8;
    c.streamName = u"Corvane Audio Stream";
    c.connectionName = u"Corvane Audio";
    c.streamNumber = (int)current->streams.size() + 1;
    current->streams.push_back(c);
    lastResult = S_OK;
    return 1;
}

HRESULT CProfile::AddVideoStream(int codec, int width, int height, const char *streamName, unsigned fps,
                                 int keyFrameSeconds, int quality, int bitrate)
{
    if (!current) return lastResult = E_UNEXPECTED;
    if (!WmCodecEncoder(true, codec) || width <= 0 || height <= 0 || width > 8192 || height > 8192 ||
        fps < 1 || bitrate <= 0 || keyFrameSeconds < 0)
        return lastResult = E_INVALIDARG;
    WmStreamConfig c;
    c.video = true;
    c.codec = WmCodecEncoder(true, codec);
    c.width = width;
    c.height = height;
    c.avgTimePerFrame = 10000000LL / fps;
    c.keySpacingMs = keyFrameSeconds * 1000;
    c.quality = quality;
    c.bitrate = bitrate;
    c.streamName = widen(streamName);
    c.connectionName = u"Corvane Video";
    c.streamNumber = (int)current->streams.size() + 1;
    current->streams.push_back(c);
    return lastResult = S_OK;
}

int CProfile::AddScriptStream(int bitrate)
{
    if (!current || bitrate <= 0) { lastResult = E_INVALIDARG; return 0; }
    current->scriptBitrate = bitrate;
    lastResult = S_OK;
    return 1;
}

int CProfile::LoadWithStreams(int n, int *flags, int *audioCodec, int *audioFormat, int *videoCodec,
                              int *width, int *height)
{
    int kind = Load(n);
    if (!kind || !current) return 0;
    int videos, audios, ac, af, vc, w, h;
    describe(*current, &videos, &audios, &ac, &af, &vc, &w, &h);
    int fl = videos;
    if (kind == 2) fl |= 1 << 30;
    if (current->scriptBitrate) fl |= (int)(1u << 31);
    if (flags) *flags = fl;
    if (audioCodec) *audioCodec = ac;
    if (audioFormat) *audioFormat = af;
    if (videoCodec) *videoCodec = vc;
    if (width) *width = w;
    if (height) *height = h;
    return kind;
}

int CProfile::Load9(const char *file, int *flags, int *audioCodec, int *audioFormat, int *videoCodec, int *width,
                    int *height)
{
    delete current;
    current = nullptr;
    /* A plain file name of the "Settings" folder only. */
    if (!file || !file[0] || strpbrk(file, "\\/:") || strstr(file, "..")) { lastResult = E_INVALIDARG; return 0; }
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    char *slash = strrchr(path, '\\');
    if (slash) *slash = 0;
    int kind = LoadFile((std::string(path) + "\\Settings\\" + file).c_str());
    if (!kind || !current) return 0;
    int videos, audios, ac, af, vc, w, h;
    describe(*current, &videos, &audios, &ac, &af, &vc, &w, &h);
    int fl = ((videos + audios) & 0xFFFFFF) | 1 << 30;
    if (current->scriptBitrate) fl |= (int)(1u << 31);
    if (flags) *flags = fl;
    if (audioCodec) *audioCodec = ac;
    if (audioFormat) *audioFormat = af;
    if (videoCodec) *videoCodec = vc;
    if (width) *width = w;
    if (height) *height = h;
    return kind;
}

BOOL CProfile::GetVideoStream9(int n, int *bitrate, float *fps, int *keyFrameSeconds, int *bufferWindowMs,
                               int *quality, WmMediaType **type)
{
    if (!current) { lastResult = E_UNEXPECTED; return FALSE; }
    for (const WmStreamConfig &c : current->streams) {
        if (c.streamNumber != n + 1) continue;
        if (!c.video) { lastResult = E_UNEXPECTED; return FALSE; }
        WmMediaType *mt = nullptr;
        if (type && !(mt = video_media_type(c))) { lastResult = E_OUTOFMEMORY; return FALSE; }
        if (bitrate) *bitrate = c.bitrate;
        if (fps) *fps = c.avgTimePerFrame ? (float)(10000000.0 / (double)c.avgTimePerFrame) : 0.0f;
        if (keyFrameSeconds) *keyFrameSeconds = c.keySpacingMs / 1000;
        if (bufferWindowMs) *bufferWindowMs = c.bufferWindow;
        if (quality) *quality = c.quality;
        if (type) *type = mt;
        lastResult = S_OK;
        return TRUE;
    }
    lastResult = E_INVALIDARG;
    return FALSE;
}

BOOL CProfile::GetAudioStream9(int n, int *bitrate, WmMediaType **type)
{
    if (!current) { lastResult = E_UNEXPECTED; return FALSE; }
    for (const WmStreamConfig &c : current->streams) {
        if (c.streamNumber != n + 1) continue;
        if (c.video) { lastResult = E_UNEXPECTED; return FALSE; }
        WmMediaType *mt = nullptr;
        if (type && !(mt = audio_media_type(c))) { lastResult = E_OUTOFMEMORY; return FALSE; }
        if (bitrate) *bitrate = c.bitrate;
        if (type) *type = mt;
        lastResult = S_OK;
        return TRUE;
    }
    lastResult = E_INVALIDARG;
    return FALSE;
}

HRESULT CProfile::AddVideoStream9(const WmMediaType *type, WORD *streamNumber, int quality, int keyFrameSeconds,
                                  int bufferWindowMs)
{
    if (!current) return lastResult = E_UNEXPECTED;
    if (!type || !type->pbFormat || !IsEqualGUID(type->majortype, kMajorVideo) ||
        !IsEqualGUID(type->formattype, kFormatVideoInfo) || type->cbFormat < sizeof(VIDEOINFOHEADER))
        return lastResult = E_INVALIDARG;
    VIDEOINFOHEADER v;
    memcpy(&v, type->pbFormat, sizeof(v));
    int codec = -1;
    for (int i = 0; i < WmCodecCount(true) && codec < 0; i++)
        if (video_fourcc(WmCodecEncoder(true, i)) == v.bmiHeader.biCompression) codec = i;
    int width = v.rcTarget.right - v.rcTarget.left, height = v.rcTarget.bottom - v.rcTarget.top;
    if (width <= 0 || height <= 0) {
        width = v.bmiHeader.biWidth;
        height = v.bmiHeader.biHeight < 0 ? -v.bmiHeader.biHeight : v.bmiHeader.biHeight;
    }
    if (codec < 0 || width <= 0 || height <= 0 || width > 8192 || height > 8192 || v.AvgTimePerFrame <= 0 ||
        v.AvgTimePerFrame > 100000000 || v.dwBitRate == 0 || v.dwBitRate > 100000000 || keyFrameSeconds < 0 ||
        keyFrameSeconds > 3600)
        return lastResult = E_INVALIDARG;
    WmStreamConfig c;
    c.video = true;
    c.codec = WmCodecEncoder(true, codec);
    c.width = width;
    c.height = height;
    c.avgTimePerFrame = v.AvgTimePerFrame;
    c.keySpacingMs = keyFrameSeconds * 1000;
    c.quality = quality;
    c.bufferWindow = bufferWindowMs;
    c.bitrate = (int)v.dwBitRate;
    c.streamName = u"Video Stream";
    c.connectionName = u"Video";
    c.streamNumber = (int)current->streams.size() + 1;
    current->streams.push_back(c);
    if (streamNumber) *streamNumber = (WORD)c.streamNumber;
    return lastResult = S_OK;
}

HRESULT CProfile::AddAudioStream9(const WmMediaType *type, WORD *streamNumber, int bitrate)
{
    if (!current) return lastResult = E_UNEXPECTED;
    if (!type || !type->pbFormat || !IsEqualGUID(type->majortype, kMajorAudio) ||
        !IsEqualGUID(type->formattype, kFormatWaveEx) || type->cbFormat < sizeof(WAVEFORMATEX))
        return lastResult = E_INVALIDARG;
    WAVEFORMATEX w;
    memcpy(&w, type->pbFormat, sizeof(w));
    int codec = -1, format = -1;
    for (int i = 0; i < WmCodecCount(false) && codec < 0; i++)
        if (audio_tag(WmCodecEncoder(false, i)) == w.wFormatTag) codec = i;
    for (int i = 0; codec >= 0 && i < WmCodecFormatCount(codec) && format < 0; i++) {
        WmAudioFormat f;
        WmCodecFormat(codec, i, &f);
        if (f.sampleRate == (int)w.nSamplesPerSec && f.channels == w.nChannels &&
            f.avgBytesPerSec == (int)w.nAvgBytesPerSec)
            format = i;
    }
    if (format < 0 || bitrate <= 0 || bitrate > 100000000) return lastResult = E_INVALIDARG;
    WmStreamConfig c;
    c.video = false;
    c.codec = WmCodecEncoder(false, codec);
    c.sampleRate = (int)w.nSamplesPerSec;
    c.channels = w.nChannels;
    c.bitrate = bitrate;
    c.streamName = u"Audio Stream";
    c.connectionName = u"Audio";
    c.streamNumber = (int)current->streams.size() + 1;
    current->streams.push_back(c);
    if (streamNumber) *streamNumber = (WORD)c.streamNumber;
    return lastResult = S_OK;
}

BOOL CProfile::GetVideoStream(int n, char *name, unsigned *fps, LONGLONG *keySeconds, int *quality,
                              int *bitrate, int *width, int *height)
{
    if (!current) { lastResult = E_UNEXPECTED; return FALSE; }
    for (const WmStreamConfig &c : current->streams) {
        if (c.streamNumber != n + 2) continue;
        if (!c.video) { lastResult = E_UNEXPECTED; return FALSE; }
        SetText(c.streamName);
        if (name) lstrcpynA(name, text, 260);
        if (fps) *fps = c.avgTimePerFrame ? (unsigned)(10000000LL / c.avgTimePerFrame) : 0;
        if (keySeconds) *keySeconds = c.keySpacingMs / 1000;
        if (quality) *quality = c.quality;
        if (bitrate) *bitrate = c.bitrate;
        if (width) *width = c.width;
        if (height) *height = c.height;
        lastResult = S_OK;
        return TRUE;
    }
    lastResult = E_INVALIDARG;
    return FALSE;
}

int CProfile::GetAudioStream(int n, int *codec, int *format)
{
    if (!current) { lastResult = E_UNEXPECTED; return 0; }
    for (const WmStreamConfig &c : current->streams) {
        if (c.streamNumber != n + 1) continue;
        if (c.video) { lastResult = E_UNEXPECTED; return 0; }
        int ac = WmCodecIndex(false, c.codec), af = -1;
        for (int i = 0; i < WmCodecFormatCount(ac); i++) {
            WmAudioFormat f;
            WmCodecFormat(ac, i, &f);
            if (f.avgBytesPerSec * 8 == c.bitrate && f.sampleRate == c.sampleRate && f.channels == c.channels) af = i;
        }
        if (codec) *codec = ac;
        if (format) *format = af;
        lastResult = S_OK;
        return 1;
    }
    lastResult = E_INVALIDARG;
    return 0;
}

int CProfile::ScriptBitrate() const { return current ? current->scriptBitrate : 0; }

int CProfile::AddMutualExclusion(bool version8)
{
    /* The steps of building a bit-rate exclusion over the profile's
     * streams: make it (0), give it its type (1), add each stream (4), add
     * it to the profile (5). */
    auto fail = [&](int step, HRESULT hr) {
        lastResult = hr;
        char text[64];
        if (version8) wsprintfA(text, "Add the mutual exclusion Error %d", step);
        else lstrcpyA(text, "Add the mutual exclusion Error");
        MessageBoxA(GetFocus(), text, "ERROR", MB_OK);
        return 0;
    };
    if (!current) return fail(0, E_UNEXPECTED);
    std::vector<int> members;
    for (const WmStreamConfig &c : current->streams) {
        if (c.streamNumber < 1 || c.streamNumber > 127 ||
            std::count(members.begin(), members.end(), c.streamNumber))
            return fail(4, E_INVALIDARG);
        members.push_back(c.streamNumber);
    }
    /* The profile takes one exclusion, and only over alternatives: at least
     * two streams of one kind. */
    int videos = 0, audios = 0;
    for (const WmStreamConfig &c : current->streams) (c.video ? videos : audios)++;
    if (current->mutualExclusion || (videos < 2 && audios < 2)) return fail(5, E_INVALIDARG);
    current->mutualExclusion = true;
    lastResult = S_OK;
    return 1;
}

bool CProfile::ForWriter(int n, WmProfile *out)
{
    WmProfile *keep = current;
    current = nullptr;
    bool ok = Load(n) && current;
    if (ok && current->mutualExclusion) {
        /* Bit-rate alternatives: the writer codes every stream, each kind
         * fed from one input. */
        *out = *current;
    } else if (ok) {
        /* Streams that are no alternatives of each other: the writer
         * encodes the first audio and the first video stream. */
        WmProfile one = *current;
        one.streams.clear();
        bool audio = false, video = false;
        for (const WmStreamConfig &c : current->streams) {
            bool &seen = c.video ? video : audio;
            if (seen) continue;
            seen = true;
            one.streams.push_back(c);
        }
        *out = one;
    }
    delete current;
    current = keep;
    return ok;
}

void CProfile::EnsureSettingsMap()
{
    if (mapRead) return;
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    char *slash = strrchr(path, '\\');
    if (slash) *slash = 0;
    ReadSettingsMap((std::string(path) + "\\Settings\\SettingsMap.xml").c_str());
}

void CProfile::ReadSettingsMap(const char *path)
{
    mapRead = true;
    delete[] records;
    records = nullptr;
    recordCount = 0;
    HANDLE f = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return;
    if (GetFileType(f) != FILE_TYPE_DISK) { CloseHandle(f); return; }
    LARGE_INTEGER size = {};
    GetFileSizeEx(f, &size);
    if (size.QuadPart > (8 << 20)) { CloseHandle(f); return; }
    std::string data((size_t)size.QuadPart, '\0');
    DWORD got = 0;
    if (!data.empty() && !ReadFile(f, &data[0], (DWORD)data.size(), &got, nullptr)) got = 0;
    CloseHandle(f);
    data.resize(got);

    const int kMaxLines = 512;
    std::vector<std::string> lines;
    size_t p = 0;
    while (p < data.size() && (int)lines.size() < kMaxLines) {
        size_t e = data.find_first_of("\r\n", p);
        if (e == std::string::npos) e = data.size();
        if (e > p) lines.push_back(data.substr(p, e - p));
        p = e + 1;
    }
    /* One record can end per "/" token: never more than the tokens. */
    const int capacity = kMaxLines * 4 + 1;
    records = new Wm9ConfigRecord[capacity];
    memset(records, 0, sizeof(Wm9ConfigRecord) * capacity);
    int count = 0, selected = 0;
    char tok[256], value[256];
    for (const std::string &line : lines) {
        size_t lt = line.find('<');
        if (lt == std::string::npos) continue;
        size_t pos = lt + 1;
        bool inStream = false, nameLine = false, ignoreNames = false;
        while (next_token(line.c_str(), line.size(), &pos, tok)) {
            for (char *c = tok; *c; c++) *c = (char)tolower((unsigned char)*c);
            Wm9ConfigRecord &r = records[count];
            if (!strcmp(tok, "wmencprofile_mapper") || !strcmp(tok, "/wmencprofile_mapper")) continue;
            if (!strcmp(tok, "wmencaudio_config")) r.kind = 0;
            else if (!strcmp(tok, "wmencvideo_config")) r.kind = 1;
            else if (!strcmp(tok, "wmencscript_config")) r.kind = 2;
            else if (!strcmp(tok, "id")) {
                if (!next_token(line.c_str(), line.size(), &pos, value)) break;
                if (!inStream) copy_field(r.id, sizeof(r.id), value);
                else {
                    int found = -1;
                    for (int i = 0; i < count && found < 0; i++)
                        if (!strncmp(records[i].id, value, sizeof(records[i].id) - 1)) found = i;
                    if (found >= 0) selected = found;
                    else ignoreNames = true;
                }
            } else if (!strcmp(tok, "file")) {
                if (!next_token(line.c_str(), line.size(), &pos, value)) break;
                copy_field(r.file, sizeof(r.file), value);
            } else if (!strcmp(tok, "destination")) {
                if (!next_token(line.c_str(), line.size(), &pos, value)) break;
                r.destination = (INT16)atoi(value);
            } else if (!strcmp(tok, "name")) {
                if (!next_token(line.c_str(), line.size(), &pos, value)) break;
                if (!ignoreNames) copy_field(records[selected].name, sizeof(records[selected].name), value);
            } else if (!strcmp(tok, "wmencstreamconfig")) inStream = true;
            else if (!strcmp(tok, "/wmencstreamconfig")) inStream = false;
            else if (!strcmp(tok, "wmencstreamconfig_name")) nameLine = true;
            else if (!strcmp(tok, "/")) {
                if (!nameLine && count < capacity - 1) count++;
            }
        }
    }
    recordCount = count;
}
