/*
 * Presetry over the Windows Media profile layer (platform/wmformat): the
 * codecs and audio formats it offers, profiles as .prx text.
 */
#include "presetry.h"
#include "wmwriter.h"

#include <cstdio>
#include <string>

const GUID PRESETRY_AUDIO_MAJOR = {0x73647561, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
const GUID PRESETRY_VIDEO_MAJOR = {0x73646976, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

namespace {

struct State {
    bool ready = false, codecsReady = false;
    WmProfile current;             /* read, or built by WM9CreateProfile */
    bool haveCurrent = false;
    WmProfile building;
    bool buildingOpen = false;
    int pairs = 0;
    std::u16string text;
};
State g;

const WCHAR *Text(const std::u16string &s)
{
    g.text = s;
    return reinterpret_cast<const WCHAR *>(g.text.c_str());
}

std::u16string Wide(const WCHAR *text, int length)
{
    if (!text || length <= 0) return u"";
    const char16_t *t = reinterpret_cast<const char16_t *>(text);
    int n = 0;
    while (n < length && t[n]) ++n;
    return std::u16string(t, n);
}

std::u16string Ascii(const char *s)
{
    std::u16string out;
    for (; *s; ++s) out += (char16_t)(unsigned char)*s;
    return out;
}

const WmStreamConfig *Stream(int i)
{
    if (!g.haveCurrent || i < 0 || i >= (int)g.current.streams.size()) return nullptr;
    return &g.current.streams[i];
}

int FormatOf(const WmStreamConfig &c, int codec)
{
    for (int i = 0; i < WmCodecFormatCount(codec); i++) {
        WmAudioFormat f;
        WmCodecFormat(codec, i, &f);
        if (f.avgBytesPerSec * 8 == c.bitrate && f.sampleRate == c.sampleRate && f.channels == c.channels) return i;
    }
    return -1;
}

} // namespace

HRESULT InitWMProfile(void)
{
    g = State();
    g.ready = true;
    return S_OK;
}

HRESULT ReleaseWMProfile(void)
{
    g = State();
    return S_OK;
}

HRESULT WM9InitCodecInfo(void)
{
    g.codecsReady = true;
    return S_OK;
}

int WM9GetAudioCodecCount(void) { return WmCodecCount(false); }

const WCHAR *WM9GetAudioCodecName(int codec)
{
    const char16_t *name = WmCodecName(false, codec);
    return name ? Text(name) : nullptr;
}

int WM9GetVideoCodecCount(void) { return WmCodecCount(true); }

const WCHAR *WM9GetVideoCodecName(int codec)
{
    const char16_t *name = WmCodecName(true, codec);
    return name ? Text(name) : nullptr;
}

int WM9GetNumberOfFormatsSupported(GUID major, int codec, int vbr, int passes)
{
    /* Every format offered is a constant bit rate one. */
    if (vbr || passes) return 0;
    if (IsEqualGUID(major, PRESETRY_AUDIO_MAJOR)) return WmCodecFormatCount(codec);
    if (IsEqualGUID(major, PRESETRY_VIDEO_MAJOR)) return codec >= 0 && codec < WmCodecCount(true) ? 1 : 0;
    return 0;
}

const WCHAR *WM9GetAudioFormatName(int codec, int format)
{
    WmAudioFormat f;
    if (!WmCodecFormat(codec, format, &f)) return nullptr;
    char buf[80];
    snprintf(buf, sizeof(buf), "%d kbps, %g kHz, %s CBR", f.avgBytesPerSec * 8 / 1000, f.sampleRate / 1000.0,
             f.channels == 1 ? "mono" : "stereo");
    return Text(Ascii(buf));
}

int WM9GetAudioBitrate(int codec, int format)
{
    WmAudioFormat f;
    return WmCodecFormat(codec, format, &f) ? f.avgBytesPerSec * 8 : 0;
}

HRESULT WM9ReadProfileAsPRX(const WCHAR *path)
{
    g.haveCurrent = false;
    if (!path) return E_POINTER;
    HANDLE f = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return HRESULT_FROM_WIN32(GetLastError());
    LARGE_INTEGER size = {};
    GetFileSizeEx(f, &size);
    if (size.QuadPart > (1 << 20) || size.QuadPart < 2) {
        CloseHandle(f);
        return WMW_E_INVALID_PROFILE;
    }
    std::u16string xml((size_t)(size.QuadPart / 2), u'\0');
    DWORD got = 0;
    BOOL ok = ReadFile(f, &xml[0], (DWORD)(xml.size() * 2), &got, nullptr);
    CloseHandle(f);
    if (!ok || got != xml.size() * 2) return HRESULT_FROM_WIN32(ERROR_READ_FAULT);
    if (!xml.empty() && xml[0] == 0xFEFF) xml.erase(0, 1);
    WmProfile p;
    HRESULT hr = WmProfileFromXml(xml, &p);
    if (FAILED(hr)) return hr;
    g.current = p;
    g.haveCurrent = true;
    return S_OK;
}

const WCHAR *WM9GetProfileName(void) { return Text(g.haveCurrent ? g.current.name : u""); }
const WCHAR *WM9GetProfileDescription(void) { return Text(g.haveCurrent ? g.current.description : u""); }
int WM9GetStreamCount(void) { return g.haveCurrent ? (int)g.current.streams.size() : 0; }

GUID WM9GetStreamType(int stream)
{
    const WmStreamConfig *c = Stream(stream);
    if (!c) return GUID{};
    return c->video ? PRESETRY_VIDEO_MAJOR : PRESETRY_AUDIO_MAJOR;
}

HRESULT WM9GetAudioStream(int stream, int *codec, int *format, int *bitrate)
{
    const WmStreamConfig *c = Stream(stream);
    if (!c || c->video) return E_INVALIDARG;
    int k = WmCodecIndex(false, c->codec);
    if (codec) *codec = k;
    if (format) *format = FormatOf(*c, k);
    if (bitrate) *bitrate = c->bitrate;
    return S_OK;
}

HRESULT WM9GetVideoStream(int stream, int *codec, int *bitrate, int *bufferWindowMs, float *fps, int *width,
                          int *height)
{
    const WmStreamConfig *c = Stream(stream);
    if (!c || !c->video) return E_INVALIDARG;
    if (codec) *codec = WmCodecIndex(true, c->codec);
    if (bitrate) *bitrate = c->bitrate;
    if (bufferWindowMs) *bufferWindowMs = c->bufferWindow;
    if (fps) *fps = c->avgTimePerFrame > 0 ? (float)(10000000.0 / (double)c->avgTimePerFrame) : 0.0f;
    if (width) *width = c->width;
    if (height) *height = c->height;
    return S_OK;
}

HRESULT WM9GetVideoStream2(int stream, int *keyFrameSeconds, int *quality)
{
    const WmStreamConfig *c = Stream(stream);
    if (!c || !c->video) return E_INVALIDARG;
    if (keyFrameSeconds) *keyFrameSeconds = c->keySpacingMs / 1000;
    if (quality) *quality = c->quality;
    return S_OK;
}

LCID WM9GetStreamLanguage(void)
{
    if (!g.haveCurrent) return 0;
    for (const WmStreamConfig &c : g.current.streams)
        if (c.language) return (LCID)c.language;
    return 0;
}

HRESULT WM9CreateProfileManager(void)
{
    g.building = WmProfile();
    g.buildingOpen = true;
    g.pairs = 0;
    return S_OK;
}

HRESULT WM9AddStreamsToProfile(int pair, int entryIndex, int audioCodec, int videoCodec, int audioFormat,
                               int bufferWindowMs, int videoBitrate, int width, int height, float fps, int quality,
                               int keyFrameSeconds, LCID language)
{
    (void)entryIndex;
    if (!g.buildingOpen) return E_UNEXPECTED;
    WmAudioFormat f;
    /* Pairs arrive in order; every value must make an encodable stream. */
    if (pair != g.pairs || !WmCodecFormat(audioCodec, audioFormat, &f) || !WmCodecEncoder(false, audioCodec) ||
        !WmCodecEncoder(true, videoCodec) || width < 1 || height < 1 || width > 8192 || height > 8192 ||
        !(fps >= 1.0f && fps <= 1000.0f) || videoBitrate < 1 || videoBitrate > 100000000 || quality < 0 ||
        quality > 100 || keyFrameSeconds < 0 || keyFrameSeconds > 3600 || bufferWindowMs < -1 ||
        bufferWindowMs > 3600000 || language > 0xFFFF)
        return E_INVALIDARG;
    WmStreamConfig a;
    a.codec = WmCodecEncoder(false, audioCodec);
    a.sampleRate = f.sampleRate;
    a.channels = f.channels;
    a.bitrate = f.avgBytesPerSec * 8;
    a.language = (int)language;
    a.streamName = u"Audio" + Ascii(std::to_string(pair).c_str());
    a.connectionName = u"Audio";
    a.streamNumber = pair * 2 + 1;
    WmStreamConfig v;
    v.video = true;
    v.codec = WmCodecEncoder(true, videoCodec);
    v.width = width;
    v.height = height;
    v.avgTimePerFrame = (LONGLONG)(10000000.0 / fps + 0.5);
    v.keySpacingMs = keyFrameSeconds * 1000;
    v.quality = quality;
    v.bufferWindow = bufferWindowMs;
    v.bitrate = videoBitrate;
    v.language = (int)language;
    v.streamName = u"Video" + Ascii(std::to_string(pair).c_str());
    v.connectionName = u"Video";
    v.streamNumber = pair * 2 + 2;
    g.building.streams.push_back(a);
    g.building.streams.push_back(v);
    ++g.pairs;
    return S_OK;
}

HRESULT WM9AddMutualExclusion(int pairs)
{
    if (!g.buildingOpen || pairs != g.pairs || pairs < 1) return E_INVALIDARG;
    g.building.mutualExclusion = pairs > 1;
    return S_OK;
}

HRESULT WM9AddStreamPrioritization(int pairs)
{
    /* The pairs keep their order: the first is preferred. */
    if (!g.buildingOpen || pairs != g.pairs || pairs < 1) return E_INVALIDARG;
    return S_OK;
}

HRESULT WM9SetProfileName(const WCHAR *text, int length)
{
    if (!g.buildingOpen) return E_UNEXPECTED;
    g.building.name = Wide(text, length);
    return S_OK;
}

HRESULT WM9SetProfileDescription(const WCHAR *text, int length)
{
    if (!g.buildingOpen) return E_UNEXPECTED;
    g.building.description = Wide(text, length);
    return S_OK;
}

HRESULT WM9CreateProfile(void)
{
    if (!g.buildingOpen || g.building.streams.empty()) return E_UNEXPECTED;
    g.current = g.building;
    g.haveCurrent = true;
    g.buildingOpen = false;
    return S_OK;
}

HRESULT WM9SaveProfile(const WCHAR *path)
{
    if (!path) return E_POINTER;
    if (!g.haveCurrent) return E_UNEXPECTED;
    /* A fresh installation has no profile folder yet. */
    std::u16string dir(reinterpret_cast<const char16_t *>(path));
    size_t slash = dir.find_last_of(u"\\/");
    if (slash != std::u16string::npos) {
        dir.resize(slash);
        CreateDirectoryW(reinterpret_cast<const WCHAR *>(dir.c_str()), nullptr);
    }
    std::u16string xml = WmProfileToXml(g.current);
    HANDLE f = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_ARCHIVE, nullptr);
    if (f == INVALID_HANDLE_VALUE) return HRESULT_FROM_WIN32(GetLastError());
    DWORD done = 0;
    BOOL ok = WriteFile(f, xml.data(), (DWORD)(xml.size() * 2), &done, nullptr) && done == xml.size() * 2;
    DWORD e = GetLastError();
    CloseHandle(f);
    if (!ok) {
        DeleteFileW(path);
        return HRESULT_FROM_WIN32(e ? e : ERROR_WRITE_FAULT);
    }
    return S_OK;
}
