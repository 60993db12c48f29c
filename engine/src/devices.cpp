#include "devices.h"
#include "engine.h"
#include <uuids.h>
#include <stdio.h>

/* The device enumerator's interface identifier (not in the import library). */
static const GUID IID_ICreateDevEnum_Corv =
    {0x29840822, 0x5b84, 0x11d0, {0xbd, 0x3b, 0x00, 0xa0, 0xc9, 0x11, 0xce, 0x86}};

/* Capture sources share one table of the devices in use: a count and five
 * slots of (audio device, channel), under one lock (sources of any thread
 * may ask). */
static SRWLOCK table_lock = SRWLOCK_INIT;
static int table_count;
static int table_device[5] = {-1, -1, -1, -1, -1};
static int table_channel[5] = {-1, -1, -1, -1, -1};

void EngineResetDeviceTable()
{
    AcquireSRWLockExclusive(&table_lock);
    table_count = 0;
    for (int i = 0; i < 5; i++) table_device[i] = table_channel[i] = -1;
    ReleaseSRWLockExclusive(&table_lock);
}

static int user_locked(int n)
{
    for (int i = 0; i < 5; i++)
        if (table_device[i] == n && n >= 0) return table_channel[i];
    return -1;
}

int EngineAudioDeviceUser(int n)
{
    AcquireSRWLockShared(&table_lock);
    int c = user_locked(n);
    ReleaseSRWLockShared(&table_lock);
    return c;
}

static void mark_locked(int n, int channel)
{
    for (int i = 0; i < 5; i++)
        if (table_device[i] == n) {
            if (channel < 0) { table_device[i] = table_channel[i] = -1; table_count--; }
            else table_channel[i] = channel;
            return;
        }
    if (channel < 0) return;
    for (int i = 0; i < 5; i++)
        if (table_device[i] < 0) { table_device[i] = n; table_channel[i] = channel; table_count++; return; }
}

void EngineAudioDeviceInUse(int n, int channel)
{
    AcquireSRWLockExclusive(&table_lock);
    mark_locked(n, channel);
    ReleaseSRWLockExclusive(&table_lock);
}

bool EngineClaimAudioDevice(int n, int channel)
{
    AcquireSRWLockExclusive(&table_lock);
    const bool free = n >= 0 && user_locked(n) < 0;
    if (free) mark_locked(n, channel);
    ReleaseSRWLockExclusive(&table_lock);
    return free;
}

/* Entries of the audio list below this are audio input devices; the rest
 * are DV devices, whose sound comes in their own stream. */
static int g_realAudioCount;

void EngineFreeDeviceLists()
{
    delete[] g_engine.videoDevices;
    delete[] g_engine.audioDevices;
    g_engine.videoDevices = g_engine.audioDevices = nullptr;
    g_engine.videoDeviceCount = g_engine.audioDeviceCount = 0;
}

/* Friendly names of one device category, in enumeration order. */
static int enum_category(REFCLSID category, char names[][ENGINE_TEXT], int max)
{
    ICreateDevEnum *dev = nullptr;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ICreateDevEnum_Corv, (void **)&dev)))
        return 0;
    IEnumMoniker *en = nullptr;
    int n = 0;
    if (dev->CreateClassEnumerator(category, &en, 0) == S_OK && en) {
        IMoniker *m = nullptr;
        while (n < max && en->Next(1, &m, nullptr) == S_OK) {
            IPropertyBag *bag = nullptr;
            names[n][0] = 0;
            if (SUCCEEDED(m->BindToStorage(nullptr, nullptr, IID_IPropertyBag, (void **)&bag))) {
                VARIANT v;
                VariantInit(&v);
                if (SUCCEEDED(bag->Read(L"FriendlyName", &v, nullptr)) && V_VT(&v) == VT_BSTR)
                    WideCharToMultiByte(CP_ACP, 0, V_BSTR(&v), -1, names[n], ENGINE_TEXT, nullptr, nullptr);
                VariantClear(&v);
                bag->Release();
            }
            names[n][ENGINE_TEXT - 1] = 0;
            n++;
            m->Release();
        }
        en->Release();
    }
    dev->Release();
    return n;
}

static void set_entry(DeviceListEntry *e, const char *name, int index)
{
    lstrcpynA(e->name, name, sizeof(e->name));
    e->index = index;
    e->unused = 0;
}

int EngineNameDevices(const char (*video)[ENGINE_TEXT], int nv, const char (*audio)[ENGINE_TEXT], int na)
{
    EngineFreeDeviceLists();
    g_engine.videoDevices = new DeviceListEntry[nv ? nv : 1]();
    int dv = 0;
    for (int i = 0; i < nv; i++) {
        DeviceListEntry *e = &g_engine.videoDevices[i];
        set_entry(e, video[i], i);
        if (!strstr(video[i], "DV")) continue;
        dv++;
        /* Several DV devices of one name are told apart by a number. */
        for (int j = 0; j < i; j++) {
            const char *earlier = g_engine.videoDevices[j].name;
            size_t len = strlen(video[i]);
            if (strncmp(earlier, video[i], len)) continue;
            char buf[ENGINE_TEXT];
            int num = 0;
            if (!earlier[len]) snprintf(buf, sizeof(buf), "%s (1)", video[i]);
            else if (sscanf(earlier + len, " (%d)", &num) == 1) snprintf(buf, sizeof(buf), "%s (%d)", video[i], num + 1);
            else continue;
            lstrcpynA(e->name, buf, sizeof(e->name));
        }
    }
    g_engine.videoDeviceCount = nv;

    g_realAudioCount = na;
    g_engine.audioDevices = new DeviceListEntry[na + dv ? na + dv : 1]();
    int k = 0;
    for (int i = 0; i < na; i++) set_entry(&g_engine.audioDevices[k++], audio[i], i);
    for (int i = 0; i < nv; i++)
        if (strstr(video[i], "DV")) set_entry(&g_engine.audioDevices[k++], g_engine.videoDevices[i].name, i);
    g_engine.audioDeviceCount = k;
    return k;
}

int EngineBuildDeviceLists()
{
    static char video[64][ENGINE_TEXT], audio[64][ENGINE_TEXT];
    int nv = enum_category(CLSID_VideoInputDeviceCategory, video, 64);
    int na = enum_category(CLSID_AudioInputDeviceCategory, audio, 64);
    return EngineNameDevices(video, nv, audio, na);
}

int EngineFindVideoDevice(const char *name)
{
    for (int i = 0; i < g_engine.videoDeviceCount; i++)
        if (!strcmp(g_engine.videoDevices[i].name, name)) return i;
    return -1;
}

int EngineFindAudioDevice(const char *name)
{
    for (int i = 0; i < g_engine.audioDeviceCount; i++)
        if (!strcmp(g_engine.audioDevices[i].name, name)) return i;
    return -1;
}

HRESULT EngineCreateAudioCapture(int n, IBaseFilter **out)
{
    *out = nullptr;
    if (n < 0 || n >= g_engine.audioDeviceCount) return E_INVALIDARG;
    if (n >= g_realAudioCount) return E_FAIL;   /* a DV device's own sound */
    int index = g_engine.audioDevices[n].index;
    ICreateDevEnum *dev = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_ICreateDevEnum_Corv, (void **)&dev);
    if (FAILED(hr)) return hr;
    IEnumMoniker *en = nullptr;
    hr = dev->CreateClassEnumerator(CLSID_AudioInputDeviceCategory, &en, 0);
    dev->Release();
    if (hr != S_OK || !en) return E_FAIL;
    IMoniker *m = nullptr;
    hr = E_FAIL;
    for (int i = 0; en->Next(1, &m, nullptr) == S_OK; i++) {
        if (i == index) hr = m->BindToObject(nullptr, nullptr, IID_IBaseFilter, (void **)out);
        m->Release();
        if (i == index) break;
    }
    en->Release();
    return hr;
}
