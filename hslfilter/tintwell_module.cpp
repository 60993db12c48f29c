// Tintwell.ax: the module's class table and its four exports.
#include "tintwell_filter.h"

namespace {

const dsb::ClassEntry kClasses[] = {
    {&CLSID_TintwellFilter, tintwell::kFilterName, tintwell::TintwellFilter::Create, &tintwell::kRegistration},
};

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void* reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        dsb::ModuleSetInstance(instance);
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    return dsb::ModuleGetClassObject(kClasses, ARRAYSIZE(kClasses), clsid, riid, ppv);
}

HRESULT WINAPI DllCanUnloadNow(void) { return dsb::ModuleCanUnloadNow(); }

HRESULT WINAPI DllRegisterServer(void) { return dsb::ModuleRegister(kClasses, ARRAYSIZE(kClasses), true); }

HRESULT WINAPI DllUnregisterServer(void) { return dsb::ModuleRegister(kClasses, ARRAYSIZE(kClasses), false); }

}  // extern "C"
