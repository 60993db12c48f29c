#include "capture_names.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <ole2.h>
#include <strmif.h>
#include <tlhelp32.h>

#include <cstring>

namespace {
/* The device enumerator's interface identifier. */
const GUID kIID_ICreateDevEnum = {0x29840822, 0x5b84, 0x11d0, {0xbd, 0x3b, 0x00, 0xa0, 0xc9, 0x11, 0xce, 0x86}};
/* The system device enumerator and the two input categories. */
const GUID kCLSID_SystemDeviceEnum = {0x62be5d10, 0x60eb, 0x11d0, {0xbd, 0x3b, 0x00, 0xa0, 0xc9, 0x11, 0xce, 0x86}};
const GUID kVideoInputCategory = {0x860bb310, 0x5d01, 0x11d0, {0xbd, 0x3b, 0x00, 0xa0, 0xc9, 0x11, 0xce, 0x86}};
const GUID kAudioInputCategory = {0x33d9a762, 0x90c8, 0x11d0, {0xbd, 0x43, 0x00, 0xa0, 0xc9, 0x11, 0xce, 0x86}};
constexpr char kDvMark[] = "Microsoft DV";
} // namespace

CaptureDeviceNames::CaptureDeviceNames(Enumerator e) : enumerate_(std::move(e))
{
    if (!enumerate_)
        enumerate_ = &CaptureDeviceNames::SystemDevice;
}

const char *CaptureDeviceNames::Keep(const std::string &name)
{
    lstrcpynA(buffer_, name.c_str(), sizeof buffer_);
    return buffer_;
}

const char *CaptureDeviceNames::GetVideoDeviceName(int index)
{
    std::string name;
    if (index < 0 || !enumerate_(true, index, name))
        return nullptr;
    return Keep(name);
}

const char *CaptureDeviceNames::GetAudioDeviceName(int index)
{
    std::string name;
    if (index >= 0 && enumerate_(false, index, name))
        return Keep(name);
    if (dvGiven_) {
        dvGiven_ = false;
        return nullptr;
    }
    for (int i = 0; enumerate_(true, i, name); ++i)
        if (name.find(kDvMark) != std::string::npos) {
            dvGiven_ = true;
            return Keep(name);
        }
    return nullptr;
}

void CaptureDeviceNames::Fill()
{
    video_.clear();
    audio_.clear();
    for (int i = 0; i < kTableSize; ++i) {
        const char *n = GetVideoDeviceName(i);
        if (!n || !*n)
            break;
        video_.push_back(n);
    }
    for (int i = 0; i < kTableSize; ++i) {
        const char *n = GetAudioDeviceName(i);
        if (!n || !*n)
            break;
        audio_.push_back(n);
    }
    dvGiven_ = false;
}

bool CaptureDeviceNames::SystemDevice(bool video, int index, std::string &name)
{
    ICreateDevEnum *dev = nullptr;
    if (FAILED(CoCreateInstance(kCLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, kIID_ICreateDevEnum,
                                reinterpret_cast<void **>(&dev))))
        return false;
    bool found = false;
    IEnumMoniker *en = nullptr;
    if (dev->CreateClassEnumerator(video ? kVideoInputCategory : kAudioInputCategory, &en,
                                   0) == S_OK && en) {
        IMoniker *m = nullptr;
        for (int i = 0; !found && en->Next(1, &m, nullptr) == S_OK; ++i) {
            if (i == index) {
                IPropertyBag *bag = nullptr;
                if (SUCCEEDED(m->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void **>(&bag)))) {
                    VARIANT v;
                    VariantInit(&v);
                    if (SUCCEEDED(bag->Read(L"FriendlyName", &v, nullptr)) && V_VT(&v) == VT_BSTR) {
                        char buf[kNameChars] = {};
                        WideCharToMultiByte(CP_ACP, 0, V_BSTR(&v), -1, buf, sizeof buf - 1, nullptr, nullptr);
                        name = buf;
                        found = true;
                    }
                    VariantClear(&v);
                    bag->Release();
                }
            }
            m->Release();
        }
        en->Release();
    }
    dev->Release();
    return found;
}

int CountProcesses(const char *exeName)
{
    if (!exeName)
        return 0;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return 0;
    PROCESSENTRY32 pe = {};
    pe.dwSize = sizeof pe;
    int n = 0;
    for (BOOL ok = Process32First(snap, &pe); ok; ok = Process32Next(snap, &pe)) {
        /* Some systems give the full path: compare the file name. */
        const char *base = pe.szExeFile;
        for (const char *p = pe.szExeFile; *p; ++p)
            if (*p == '\\' || *p == '/')
                base = p + 1;
        if (lstrcmpiA(base, exeName) == 0)
            ++n;
    }
    CloseHandle(snap);
    return n;
}
