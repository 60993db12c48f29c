// Mpeg2dec.ax: an MPEG-1/MPEG-2 video decoder filter made by class id.
// It is the FFmpeg video decoder narrowed to MPEG video, under the class id
// by which the media engine asks for the PC's MPEG-2 decoder.
#include "mpeg2dec.h"

#include <new>

extern "C" {
#include <libavutil/log.h>
}

extern "C" {
#include <libavcodec/codec_id.h>
}

namespace mpeg2dec {
namespace {

class Mpeg2DecoderFilter : public ffds::VideoDecoderFilter {
public:
    explicit Mpeg2DecoderFilter(IUnknown* outer) : ffds::VideoDecoderFilter(CLSID_Mpeg2VideoDecoder, outer) {}
    bool AcceptsCodec(int codecId) const override {
        return (codecId == AV_CODEC_ID_MPEG2VIDEO || codecId == AV_CODEC_ID_MPEG1VIDEO) &&
               ffcore::hasDecoder(codecId);
    }
};

HRESULT Create(IUnknown* outer, dsb::ComObject** obj) {
    return ffds::VideoDecoderFilter::Finish(new (std::nothrow) Mpeg2DecoderFilter(outer), obj);
}

const REGPINTYPES kStreamIn[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_FFStream}};
const REGPINTYPES kRgbOut[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_RGB24}, {&MEDIATYPE_Video, &MEDIASUBTYPE_RGB32}};
WCHAR kIn[] = {'I', 'n', 'p', 'u', 't', 0};
WCHAR kOut[] = {'O', 'u', 't', 'p', 'u', 't', 0};
const REGFILTERPINS kPins[] = {
    {kIn, FALSE, FALSE, FALSE, FALSE, nullptr, nullptr, 1, kStreamIn},
    {kOut, FALSE, TRUE, FALSE, FALSE, nullptr, nullptr, 2, kRgbOut},
};
// Made by class id only: the decoders that rendering picks stay as they are.
const dsb::FilterRegistration kReg = {MERIT_DO_NOT_USE, 2, kPins};
const WCHAR kName[] = {'M', 'P', 'E', 'G', '-', '2', ' ', 'V', 'i', 'd', 'e', 'o', ' ',
                       'D', 'e', 'c', 'o', 'd', 'e', 'r', 0};

}  // namespace

const dsb::ClassEntry kClasses[] = {
    {&CLSID_Mpeg2VideoDecoder, kName, Create, &kReg},
};
const size_t kClassCount = sizeof(kClasses) / sizeof(kClasses[0]);

}  // namespace mpeg2dec

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) {
        dsb::ModuleSetInstance(instance);
        DisableThreadLibraryCalls(instance);
        ffcore::setLogSink(nullptr, AV_LOG_QUIET);
    }
    return TRUE;
}

HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    return dsb::ModuleGetClassObject(mpeg2dec::kClasses, mpeg2dec::kClassCount, clsid, riid, ppv);
}

// Kept loaded for the process's life, like Ffsplit.ax (a winelib module
// loaded a second time faults).
HRESULT WINAPI DllCanUnloadNow() { return S_FALSE; }

HRESULT WINAPI DllRegisterServer() {
    return dsb::ModuleRegister(mpeg2dec::kClasses, mpeg2dec::kClassCount, true);
}

HRESULT WINAPI DllUnregisterServer() {
    return dsb::ModuleRegister(mpeg2dec::kClasses, mpeg2dec::kClassCount, false);
}

}  // extern "C"
