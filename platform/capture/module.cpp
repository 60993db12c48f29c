// Capdevs.ax: the class table, and the devices' entries in the video and
// audio input device categories, where the system device enumerator lists
// them as it lists a PC's cameras and microphones.
#include "capdevs.h"
#include "dialogs.h"

namespace capdevs {
namespace {

const REGPINTYPES kVideoOut[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_RGB24}};
const REGPINTYPES kAudioOut[] = {{&MEDIATYPE_Audio, &MEDIASUBTYPE_PCM}};
const REGPINTYPES kRgb[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_RGB24}, {&MEDIATYPE_Video, &MEDIASUBTYPE_RGB32}};
WCHAR kIn[] = {'I', 'n', 'p', 'u', 't', 0};
WCHAR kOut[] = {'O', 'u', 't', 'p', 'u', 't', 0};
WCHAR kCapture[] = {'C', 'a', 'p', 't', 'u', 'r', 'e', 0};
const REGFILTERPINS kCameraPins[] = {{kCapture, FALSE, TRUE, FALSE, FALSE, nullptr, nullptr, 1, kVideoOut}};
const REGFILTERPINS kMicPins[] = {{kCapture, FALSE, TRUE, FALSE, FALSE, nullptr, nullptr, 1, kAudioOut}};
const REGFILTERPINS kColourPins[] = {
    {kIn, FALSE, FALSE, FALSE, FALSE, nullptr, nullptr, 2, kRgb},
    {kOut, FALSE, TRUE, FALSE, FALSE, nullptr, nullptr, 2, kRgb},
};
const REGPINTYPES kDvDevice[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_DVSD}, {&MEDIATYPE_Interleaved, &MEDIASUBTYPE_dvsd}};
const REGPINTYPES kSplitterIn[] = {{&MEDIATYPE_Interleaved, &MEDIASUBTYPE_dvsd}, {&MEDIATYPE_Video, &MEDIASUBTYPE_DVSD}};
const REGPINTYPES kDvDecoderIn[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_dvsd}, {&MEDIATYPE_Video, &MEDIASUBTYPE_DVSD}};
const REGPINTYPES kDvVideo[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_dvsd}};
const REGPINTYPES kPcm[] = {{&MEDIATYPE_Audio, &MEDIASUBTYPE_PCM}};
const REGPINTYPES kRgbOut[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_RGB24}, {&MEDIATYPE_Video, &MEDIASUBTYPE_RGB32}};
WCHAR kVidOut[] = {'D', 'V', 'V', 'i', 'd', 'O', 'u', 't', '0', 0};
WCHAR kAudOut[] = {'A', 'u', 'd', 'O', 'u', 't', '0', '0', 0};
const REGFILTERPINS kCamcorderPins[] = {{kCapture, FALSE, TRUE, FALSE, FALSE, nullptr, nullptr, 2, kDvDevice}};
const REGFILTERPINS kSplitterPins[] = {
    {kIn, FALSE, FALSE, FALSE, FALSE, nullptr, nullptr, 2, kSplitterIn},
    {kVidOut, FALSE, TRUE, FALSE, FALSE, nullptr, nullptr, 1, kDvVideo},
    {kAudOut, FALSE, TRUE, FALSE, FALSE, nullptr, nullptr, 1, kPcm},
};
const REGFILTERPINS kDvDecoderPins[] = {
    {kIn, FALSE, FALSE, FALSE, FALSE, nullptr, nullptr, 2, kDvDecoderIn},
    {kOut, FALSE, TRUE, FALSE, FALSE, nullptr, nullptr, 2, kRgbOut},
};
// Devices are made through their category entries; the converter by class
// id; the DV splitter and decoder join intelligent connect, as a PC's do.
const dsb::FilterRegistration kCameraReg = {MERIT_DO_NOT_USE, 1, kCameraPins};
const dsb::FilterRegistration kMicReg = {MERIT_DO_NOT_USE, 1, kMicPins};
const dsb::FilterRegistration kColourReg = {MERIT_DO_NOT_USE, 2, kColourPins};
const dsb::FilterRegistration kCamcorderReg = {MERIT_DO_NOT_USE, 1, kCamcorderPins};
// The splitter goes before the decoder for a device's DV stream, so its
// sound is not lost.
const dsb::FilterRegistration kSplitterReg = {MERIT_NORMAL + 1, 3, kSplitterPins};
const dsb::FilterRegistration kDvDecoderReg = {MERIT_NORMAL, 2, kDvDecoderPins};

const WCHAR kCameraName[] = {'T', 'e', 's', 't', ' ', 'P', 'a', 't', 't', 'e', 'r', 'n', ' ',
                             'C', 'a', 'm', 'e', 'r', 'a', 0};
// A DV camcorder is listed under the name the system gives every DV device.
const WCHAR kCamcorderName[] = {'M', 'i', 'c', 'r', 'o', 's', 'o', 'f', 't', ' ', 'D', 'V', ' ', 'C', 'a', 'm', 'e', 'r', 'a', ' ', 'a', 'n', 'd', ' ', 'V', 'C', 'R', 0};
const WCHAR kPageName[] = {'D', 'V', ' ', 'C', 'a', 'm', 'c', 'o', 'r', 'd', 'e', 'r', 0};
const WCHAR kMicName[] = {'T', 'o', 'n', 'e', ' ', 'M', 'i', 'c', 'r', 'o', 'p', 'h', 'o', 'n', 'e', 0};
const WCHAR kColourName[] = {'C', 'o', 'l', 'o', 'r', ' ', 'S', 'p', 'a', 'c', 'e', ' ',
                             'C', 'o', 'n', 'v', 'e', 'r', 't', 'e', 'r', 0};
const WCHAR kSplitterName[] = {'D', 'V', ' ', 'S', 'p', 'l', 'i', 't', 't', 'e', 'r', 0};
const WCHAR kDvDecoderName[] = {'D', 'V', ' ', 'V', 'i', 'd', 'e', 'o', ' ', 'D', 'e', 'c', 'o', 'd', 'e', 'r', 0};
// The second camcorder's key in the category (its friendly name is the
// first one's, as two DV devices have).
const WCHAR kCamcorder2Key[] = {'M', 'i', 'c', 'r', 'o', 's', 'o', 'f', 't', ' ', 'D', 'V', ' ', 'C', 'a', 'm', 'e', 'r', 'a', ' ', 'a', 'n', 'd', ' ', 'V', 'C', 'R', ' ', '2', 0};
// The keys the camcorders had under their earlier name: taken out of the
// category when registering, so a prefix registered before lists no
// camcorder twice over.
const WCHAR kOldCamcorderKey[] = {'D', 'V', ' ', 'C', 'a', 'm', 'c', 'o', 'r', 'd', 'e', 'r', 0};
const WCHAR kOldCamcorder2Key[] = {'D', 'V', ' ', 'C', 'a', 'm', 'c', 'o', 'r', 'd', 'e', 'r', ' ', '2', 0};

const dsb::ClassEntry kClasses[] = {
    {&CLSID_TestPatternCamera, kCameraName, CreateCamera, &kCameraReg},
    {&CLSID_ToneMicrophone, kMicName, CreateMicrophone, &kMicReg},
    {&CLSID_DVCamcorder, kCamcorderName, CreateCamcorder, &kCamcorderReg},
    {&CLSID_ColourConverter_Corv, kColourName, CreateColourConverter, &kColourReg},
    {&CLSID_DVSplitter, kSplitterName, CreateDvSplitter, &kSplitterReg},
    {&CLSID_DVVideoCodec, kDvDecoderName, CreateDvVideoDecoder, &kDvDecoderReg},
    {&CLSID_DVCamcorderPage, kPageName, CreateDvPropertyPage, nullptr},
};

struct Device {
    const GUID* clsid;
    const GUID* category;
    const WCHAR* name;
    const dsb::FilterRegistration* reg;
    const WCHAR* key;   // the entry's key in the category (its name when null)
};
const Device kDevices[] = {
    {&CLSID_TestPatternCamera, &CLSID_VideoInputDeviceCategory, kCameraName, &kCameraReg, nullptr},
    {&CLSID_ToneMicrophone, &CLSID_AudioInputDeviceCategory, kMicName, &kMicReg, nullptr},
    {&CLSID_DVCamcorder, &CLSID_VideoInputDeviceCategory, kCamcorderName, &kCamcorderReg, nullptr},
    {&CLSID_DVCamcorder, &CLSID_VideoInputDeviceCategory, kCamcorderName, &kCamcorderReg, kCamcorder2Key},
};

HRESULT RegisterDevices(bool registering) {
    IFilterMapper2* mapper = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                                  (void**)&mapper);
    if (FAILED(hr)) return hr;
    for (const WCHAR* key : {kOldCamcorderKey, kOldCamcorder2Key})
        mapper->UnregisterFilter(&CLSID_VideoInputDeviceCategory, key, CLSID_DVCamcorder);
    for (const Device& d : kDevices) {
        if (registering) {
            REGFILTER2 rf = {};
            rf.dwVersion = 1;
            rf.dwMerit = d.reg->merit;
            rf.cPins = d.reg->pinCount;
            rf.rgPins = d.reg->pins;
            IMoniker* m = nullptr;
            hr = mapper->RegisterFilter(*d.clsid, d.name, &m, d.category, d.key ? d.key : d.name, &rf);
            if (m) m->Release();
        } else {
            hr = mapper->UnregisterFilter(d.category, d.key ? d.key : d.name, *d.clsid);
        }
        if (FAILED(hr) && registering) break;
        hr = S_OK;
    }
    mapper->Release();
    return hr;
}

}  // namespace
}  // namespace capdevs

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) {
        dsb::ModuleSetInstance(instance);
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    return dsb::ModuleGetClassObject(capdevs::kClasses, ARRAYSIZE(capdevs::kClasses), clsid, riid, ppv);
}

// Kept loaded for the process's life (a winelib module loaded a second
// time faults).
HRESULT WINAPI DllCanUnloadNow() { return S_FALSE; }

HRESULT WINAPI DllRegisterServer() {
    HRESULT hr = dsb::ModuleRegister(capdevs::kClasses, ARRAYSIZE(capdevs::kClasses), true);
    if (SUCCEEDED(hr)) hr = capdevs::RegisterDevices(true);
    return hr;
}

HRESULT WINAPI DllUnregisterServer() {
    capdevs::RegisterDevices(false);
    return dsb::ModuleRegister(capdevs::kClasses, ARRAYSIZE(capdevs::kClasses), false);
}

}  // extern "C"
