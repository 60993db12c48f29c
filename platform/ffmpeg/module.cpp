// Ffsplit.ax: the class table, filter registrations and the file-extension
// entries that make Wine's graph manager pick our sources.
#include "ffshell.h"

#include <cstdio>

extern "C" {
#include <libavutil/log.h>
}

namespace ffds {
namespace {

// ---- registration as data ----
const REGPINTYPES kStreamIn[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_FFStream}};
const REGPINTYPES kAudioStreamIn[] = {{&MEDIATYPE_Audio, &MEDIASUBTYPE_FFStream}};
const REGPINTYPES kRgbOut[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_RGB24}, {&MEDIATYPE_Video, &MEDIASUBTYPE_RGB32}};
const REGPINTYPES kPcmOut[] = {{&MEDIATYPE_Audio, &MEDIASUBTYPE_PCM}};
const REGPINTYPES kSourceOut[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_FFStream}, {&MEDIATYPE_Audio, &MEDIASUBTYPE_FFStream}};
WCHAR kIn[] = {'I', 'n', 'p', 'u', 't', 0};
WCHAR kOut[] = {'O', 'u', 't', 'p', 'u', 't', 0};

const REGFILTERPINS kVideoDecPins[] = {
    {kIn, FALSE, FALSE, FALSE, FALSE, nullptr, nullptr, 1, kStreamIn},
    {kOut, FALSE, TRUE, FALSE, FALSE, nullptr, nullptr, 2, kRgbOut},
};
const REGFILTERPINS kAudioDecPins[] = {
    {kIn, FALSE, FALSE, FALSE, FALSE, nullptr, nullptr, 1, kAudioStreamIn},
    {kOut, FALSE, TRUE, FALSE, FALSE, nullptr, nullptr, 1, kPcmOut},
};
const REGFILTERPINS kSourcePins[] = {
    {kOut, FALSE, TRUE, FALSE, TRUE, nullptr, nullptr, 2, kSourceOut},
};
const REGFILTERPINS kStillPins[] = {
    {kOut, FALSE, TRUE, FALSE, FALSE, nullptr, nullptr, 2, kRgbOut},
};
const REGFILTERPINS kSynthPins[] = {
    {kOut, FALSE, TRUE, FALSE, FALSE, nullptr, nullptr, 1, kPcmOut},
};

// Decoders above every decoder Wine ships, so intelligent connect tries ours
// first; sources are only ever chosen by file extension or class id.
constexpr DWORD kDecoderMerit = MERIT_PREFERRED + 0x100;
const dsb::FilterRegistration kVideoDecReg = {kDecoderMerit, 2, kVideoDecPins};
const dsb::FilterRegistration kAudioDecReg = {kDecoderMerit, 2, kAudioDecPins};
const dsb::FilterRegistration kSourceReg = {MERIT_DO_NOT_USE, 1, kSourcePins};
const dsb::FilterRegistration kStillReg = {MERIT_DO_NOT_USE, 1, kStillPins};
const dsb::FilterRegistration kSynthReg = {MERIT_DO_NOT_USE, 1, kSynthPins};
const REGPINTYPES kPcmIn[] = {{&MEDIATYPE_Audio, &MEDIASUBTYPE_PCM}};
const REGFILTERPINS kAcmPins[] = {
    {kIn, FALSE, FALSE, FALSE, FALSE, nullptr, nullptr, 1, kPcmIn},
    {kOut, FALSE, TRUE, FALSE, FALSE, nullptr, nullptr, 1, kPcmOut},
};
// Only ever created by class id: it must not slip into other graphs.
const dsb::FilterRegistration kAcmReg = {MERIT_DO_NOT_USE, 2, kAcmPins};

const dsb::ClassEntry kClasses[] = {
    {&CLSID_FFSource, L"FFmpeg Source", Splitter::Create, &kSourceReg},
    {&CLSID_FFStillSource, L"FFmpeg Still Source", Splitter::CreateStill, &kStillReg},
    {&CLSID_FFVideoDecoder, L"FFmpeg Video Decoder", VideoDecoderFilter::Create, &kVideoDecReg},
    {&CLSID_FFAudioDecoder, L"FFmpeg Audio Decoder", AudioDecoderFilter::Create, &kAudioDecReg},
    {&CLSID_FFWMAsfReader, L"WM ASF Reader", Splitter::CreateAsfReader, &kSourceReg},
    {&CLSID_FFAudioSynth, L"Audio Synthesizer", AudioSynth::Create, &kSynthReg},
    {&CLSID_ACMWrapper, L"ACM Wrapper", PcmConverterFilter::Create, &kAcmReg},
};

// Wine's graph manager picks a file's source filter from byte patterns under
// HKCR\Media Type\{major}\{subtype} ("0" = "offset,length,mask,value" and
// "Source Filter"), but only when no HKCR\Media Type\Extensions\.ext key
// exists for the file's extension: such a key makes it fall back to its own
// asynchronous file reader.  So the extension keys of the files we open are
// removed, and one pattern that matches any non-empty file names our source,
// under a major-type key that sorts before Wine's own entries.
const char* const kExtensions[] = {".avi", ".mov", ".mpg", ".mpeg", ".dat", ".vob", ".wmv", ".asf",
                                   ".wma", ".mp3", ".wav", ".bmp", ".jpg", ".gif", ".tga"};
const char kPatternKey[] = "Media Type\\{0F5C1D20-6A2E-4B1F-9C3D-2E7A1B4C5D60}\\{1081ED69-2EE4-4A49-BD6B-F3A72810AC8F}";
const char kPatternParent[] = "Media Type\\{0F5C1D20-6A2E-4B1F-9C3D-2E7A1B4C5D60}";
const char kAnyFile[] = "0,1,00,00";  // one byte, mask 0: every file with at least one byte

std::string GuidText(const GUID& g) {
    char buf[40];
    snprintf(buf, sizeof buf, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", (unsigned long)g.Data1, g.Data2,
             g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return buf;
}

HRESULT RegisterFileTypes(bool registering) {
    if (!registering) {
        RegDeleteKeyA(HKEY_CLASSES_ROOT, kPatternKey);
        RegDeleteKeyA(HKEY_CLASSES_ROOT, kPatternParent);
        return S_OK;
    }
    for (const char* ext : kExtensions) {
        std::string key = std::string("Media Type\\Extensions\\") + ext;
        LONG r = RegDeleteKeyA(HKEY_CLASSES_ROOT, key.c_str());
        if (r && r != ERROR_FILE_NOT_FOUND) return HRESULT_FROM_WIN32(r);
    }
    HKEY k;
    LONG r = RegCreateKeyExA(HKEY_CLASSES_ROOT, kPatternKey, 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr);
    if (r) return HRESULT_FROM_WIN32(r);
    std::string clsid = GuidText(CLSID_FFSource);
    r = RegSetValueExA(k, "0", 0, REG_SZ, reinterpret_cast<const BYTE*>(kAnyFile), sizeof kAnyFile);
    if (!r)
        r = RegSetValueExA(k, "Source Filter", 0, REG_SZ, reinterpret_cast<const BYTE*>(clsid.c_str()),
                           DWORD(clsid.size() + 1));
    RegCloseKey(k);
    return r ? HRESULT_FROM_WIN32(r) : S_OK;
}

void LogLine(int level, const char* line) {
    if (level <= AV_LOG_ERROR) DSB_ERR(ch, "%s", line);
    else if (level <= AV_LOG_WARNING) DSB_WARN(ch, "%s", line);
    else DSB_TRACE(ch, "%s", line);
}

}  // namespace
}  // namespace ffds

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) {
        dsb::ModuleSetInstance(instance);
        DisableThreadLibraryCalls(instance);
        // FFmpeg's log goes to our trace channel, quiet unless asked.
        if (ffds::ch.TraceOn()) ffcore::setLogSink(ffds::LogLine, AV_LOG_VERBOSE);
        else if (ffds::ch.WarnOn()) ffcore::setLogSink(ffds::LogLine, AV_LOG_WARNING);
        else ffcore::setLogSink(nullptr, AV_LOG_QUIET);
    }
    return TRUE;
}

HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    return dsb::ModuleGetClassObject(ffds::kClasses, ARRAYSIZE(ffds::kClasses), clsid, riid, ppv);
}

// Never unloaded: a winelib module that is unloaded and loaded again in the
// same process faults on the second load (and FFmpeg's libraries keep their
// own state anyway), so CoFreeUnusedLibraries must leave it in place.
HRESULT WINAPI DllCanUnloadNow() { return S_FALSE; }

HRESULT WINAPI DllRegisterServer() {
    HRESULT hr = dsb::ModuleRegister(ffds::kClasses, ARRAYSIZE(ffds::kClasses), true);
    if (SUCCEEDED(hr)) hr = ffds::RegisterFileTypes(true);
    return hr;
}

HRESULT WINAPI DllUnregisterServer() {
    ffds::RegisterFileTypes(false);
    return dsb::ModuleRegister(ffds::kClasses, ARRAYSIZE(ffds::kClasses), false);
}

}  // extern "C"
