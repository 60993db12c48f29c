#include "dshowbase/unknown.h"

namespace dsb {

namespace {
LONG g_users = 0;
}

ComObject::ComObject(IUnknown* outer) : outer_(outer ? outer : Inner()) { InterlockedIncrement(&g_users); }

ComObject::~ComObject() { InterlockedDecrement(&g_users); }

HRESULT STDMETHODCALLTYPE ComObject::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown)) {
        *ppv = Inner();
        NonDelegatingAddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE ComObject::NonDelegatingAddRef() { return InterlockedIncrement(&ref_); }

ULONG STDMETHODCALLTYPE ComObject::NonDelegatingRelease() {
    const LONG r = InterlockedDecrement(&ref_);
    if (r == 0) {
        // Guard against re-entry from Release calls made by the destructor.
        ref_ = 1;
        delete this;
    }
    return r;
}

LONG ComObject::ModuleUsers() { return g_users; }

void ComObject::LockModule(bool lock) {
    if (lock) InterlockedIncrement(&g_users);
    else InterlockedDecrement(&g_users);
}

}  // namespace dsb
