#include "dshowbase/module.h"
#include "dshowbase/trace.h"
#include <uuids.h>
#include <new>

DSB_TRACE_CHANNEL(ch, "dshow");

namespace dsb {

namespace {

HINSTANCE g_instance = nullptr;

class ClassFactory : public IClassFactory {
public:
    explicit ClassFactory(const ClassEntry& entry) : entry_(entry) { ComObject::LockModule(true); }
    virtual ~ClassFactory() { ComObject::LockModule(false); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&ref_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG r = InterlockedDecrement(&ref_);
        if (!r) delete this;
        return r;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        return CreateFromEntry(entry_, outer, riid, ppv);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        ComObject::LockModule(lock != FALSE);
        return S_OK;
    }

private:
    const ClassEntry& entry_;
    LONG ref_ = 1;
};

// HKCR\CLSID\{clsid} as text.
void ClsidKey(const CLSID& clsid, WCHAR* out, int size) {
    WCHAR guid[40];
    StringFromGUID2(clsid, guid, 40);
    lstrcpynW(out, L"CLSID\\", size);
    lstrcatW(out, guid);
}

LONG SetString(HKEY key, const WCHAR* value, const WCHAR* data) {
    return RegSetValueExW(key, value, 0, REG_SZ, (const BYTE*)data, (lstrlenW(data) + 1) * sizeof(WCHAR));
}

HRESULT RegisterServer(const ClassEntry& e, const WCHAR* path) {
    WCHAR keyName[64];
    ClsidKey(*e.clsid, keyName, 64);
    HKEY key, inproc;
    LONG r = RegCreateKeyExW(HKEY_CLASSES_ROOT, keyName, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    if (r) return HRESULT_FROM_WIN32(r);
    r = SetString(key, nullptr, e.name);
    if (!r) r = RegCreateKeyExW(key, L"InprocServer32", 0, nullptr, 0, KEY_WRITE, nullptr, &inproc, nullptr);
    if (!r) {
        r = SetString(inproc, nullptr, path);
        if (!r) r = SetString(inproc, L"ThreadingModel", L"Both");
        RegCloseKey(inproc);
    }
    RegCloseKey(key);
    return HRESULT_FROM_WIN32(r);
}

HRESULT UnregisterServer(const ClassEntry& e) {
    WCHAR keyName[64];
    ClsidKey(*e.clsid, keyName, 64);
    LONG r = RegDeleteTreeW(HKEY_CLASSES_ROOT, keyName);
    if (r == ERROR_FILE_NOT_FOUND) r = 0;
    return HRESULT_FROM_WIN32(r);
}

HRESULT RegisterFilters(const ClassEntry* table, size_t count, bool registering) {
    const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    IFilterMapper2* mapper = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                                  (void**)&mapper);
    if (SUCCEEDED(hr)) {
        for (size_t i = 0; i < count && SUCCEEDED(hr); ++i) {
            const ClassEntry& e = table[i];
            if (!e.filter) continue;
            if (registering) {
                REGFILTER2 rf = {};
                rf.dwVersion = 1;
                rf.dwMerit = e.filter->merit;
                rf.cPins = e.filter->pinCount;
                rf.rgPins = e.filter->pins;
                hr = mapper->RegisterFilter(*e.clsid, e.name, nullptr, &CLSID_LegacyAmFilterCategory, nullptr, &rf);
            } else {
                hr = mapper->UnregisterFilter(&CLSID_LegacyAmFilterCategory, nullptr, *e.clsid);
                if (hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) hr = S_OK;
            }
            DSB_TRACE(ch, "%s filter %s: %#lx", registering ? "register" : "unregister",
                      DebugGuid(*e.clsid).c_str(), (unsigned long)hr);
        }
        mapper->Release();
    } else {
        DSB_ERR(ch, "no filter mapper: %#lx", (unsigned long)hr);
    }
    if (SUCCEEDED(init)) CoUninitialize();
    return hr;
}

}  // namespace

void ModuleSetInstance(HINSTANCE instance) { g_instance = instance; }
HINSTANCE ModuleInstance() { return g_instance; }

HRESULT CreateFromEntry(const ClassEntry& entry, IUnknown* outer, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    // An aggregated object hands out its inner unknown only.
    if (outer && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    ComObject* obj = nullptr;
    HRESULT hr = entry.create(outer, &obj);
    if (FAILED(hr)) return hr;
    if (!obj) return E_OUTOFMEMORY;
    obj->NonDelegatingAddRef();
    hr = obj->NonDelegatingQueryInterface(riid, ppv);
    obj->NonDelegatingRelease();
    return hr;
}

HRESULT ModuleGetClassObject(const ClassEntry* table, size_t count, REFCLSID clsid, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    for (size_t i = 0; i < count; ++i) {
        if (!IsEqualCLSID(clsid, *table[i].clsid)) continue;
        ClassFactory* f = new (std::nothrow) ClassFactory(table[i]);
        if (!f) return E_OUTOFMEMORY;
        const HRESULT hr = f->QueryInterface(riid, ppv);
        f->Release();
        return hr;
    }
    DSB_WARN(ch, "unknown class %s", DebugGuid(clsid).c_str());
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT ModuleCanUnloadNow() { return ComObject::ModuleUsers() == 0 ? S_OK : S_FALSE; }

HRESULT ModuleRegister(const ClassEntry* table, size_t count, bool registering) {
    WCHAR path[MAX_PATH];
    if (!GetModuleFileNameW(g_instance, path, MAX_PATH)) return HRESULT_FROM_WIN32(GetLastError());
    HRESULT hr = S_OK;
    if (registering) {
        for (size_t i = 0; i < count && SUCCEEDED(hr); ++i) hr = RegisterServer(table[i], path);
        if (SUCCEEDED(hr)) hr = RegisterFilters(table, count, true);
    } else {
        // Filter entries first, while the server entries still name the module.
        hr = RegisterFilters(table, count, false);
        for (size_t i = 0; i < count; ++i) {
            const HRESULT r = UnregisterServer(table[i]);
            if (SUCCEEDED(hr)) hr = r;
        }
    }
    return hr;
}

}  // namespace dsb
