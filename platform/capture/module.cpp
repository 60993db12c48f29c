// Capdevs.ax: the class table, and the devices' entries in the video and
// audio input device categories, where the system device enumerator lists
// them as it lists a PC's cameras and microphones.
#include "capdevs.h"

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
// Devices are made through their category entries; the converter by class
// id: none of them joins intelligent connect.
const dsb::FilterRegistration kCameraReg = {MERIT_DO_NOT_USE, 1, kCameraPins};
const dsb::FilterRegistration kMicReg = {MERIT_DO_NOT_USE, 1, kMicPins};
const dsb::FilterRegistration kColourReg = {MERIT_DO_NOT_USE, 2, kColourPins};

const WCHAR kCameraName[] = {'T', 'e', 's', 't', ' ', 'P', 'a', 't', 't', 'e', 'r', 'n', ' ',
                             'C', 'a', 'm', 'e', 'r', 'a', 0};
const WCHAR kCamcorderName[] = {'D', 'V', ' ', 'C', 'a', 'm', 'c', 'o', 'r', 'd', 'e', 'r', 0};
const WCHAR kMicName[] = {'T', 'o', 'n', 'e', ' ', 'M', 'i', 'c', 'r', 'o', 'p', 'h', 'o', 'n', 'e', 0};
const WCHAR kColourName[] = {'C', 'o', 'l', 'o', 'r', ' ', 'S', 'p', 'a', 'c', 'e', ' ',
                             'C', 'o', 'n', 'v', 'e', 'r', 't', 'e', 'r', 0};

const dsb::ClassEntry kClasses[] = {
    {&CLSID_TestPatternCamera, kCameraName, CreateCamera, &kCameraReg},
    {&CLSID_ToneMicrophone, kMicName, CreateMicrophone, &kMicReg},
    {&CLSID_DVCamcorder, kCamcorderName, CreateCamcorder, &kCameraReg},
    {&CLSID_ColourConverter_Corv, kColourName, CreateColourConverter, &kColourReg},
};

struct Device { const GUID* clsid; const GUID* category; const WCHAR* name; const dsb::FilterRegistration* reg; };
const Device kDevices[] = {
    {&CLSID_TestPatternCamera, &CLSID_VideoInputDeviceCategory, kCameraName, &kCameraReg},
    {&CLSID_ToneMicrophone, &CLSID_AudioInputDeviceCategory, kMicName, &kMicReg},
    {&CLSID_DVCamcorder, &CLSID_VideoInputDeviceCategory, kCamcorderName, &kCameraReg},
};

HRESULT RegisterDevices(bool registering) {
    IFilterMapper2* mapper = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                                  (void**)&mapper);
    if (FAILED(hr)) return hr;
    for (const Device& d : kDevices) {
        if (registering) {
            REGFILTER2 rf = {};
            rf.dwVersion = 1;
            rf.dwMerit = d.reg->merit;
            rf.cPins = d.reg->pinCount;
            rf.rgPins = d.reg->pins;
            IMoniker* m = nullptr;
            hr = mapper->RegisterFilter(*d.clsid, d.name, &m, d.category, d.name, &rf);
            if (m) m->Release();
        } else {
            hr = mapper->UnregisterFilter(d.category, d.name, *d.clsid);
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
