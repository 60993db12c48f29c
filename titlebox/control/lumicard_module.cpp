// The Lumicard module: class objects of the control and its property page,
// self-registration of both classes, their ProgIDs and the type library.
#include <windows.h>
#include <ole2.h>
#include <olectl.h>

#include "Lumicard_h.h"
#include "lumicard_ctrl.h"
#include "lumicard_proppage.h"

using namespace lumicard;

namespace {
cl::OleClassFactory controlFactory(&CLumicardCtrl::Create);
cl::OleClassFactory pageFactory(&CLumicardPropPage::Create);
const char kPageProgId[] = "Lumicard.LumicardPropPage.1";
}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE inst, DWORD reason, void *reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        cl::OleModule::instance = inst;
        DisableThreadLibraryCalls(inst);
    }
    // On an unload (not at process exit, when other libraries may be gone).
    if (reason == DLL_PROCESS_DETACH && !reserved) FreeRichEditLibrary();
    return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void **out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (IsEqualCLSID(clsid, CLSID_Lumicard)) return controlFactory.QueryInterface(riid, out);
    if (IsEqualCLSID(clsid, CLSID_LumicardPropPage)) return pageFactory.QueryInterface(riid, out);
    return CLASS_E_CLASSNOTAVAILABLE;
}

// A winelib module reloaded after unloading is not safe: stay loaded.
extern "C" HRESULT WINAPI DllCanUnloadNow() { return S_FALSE; }

extern "C" HRESULT WINAPI DllRegisterServer()
{
    if (!cl::RegisterModuleTypeLibrary()) return SELFREG_E_TYPELIB;
    if (!cl::RegisterOleClass(CLSID_Lumicard, kLumicardClass.progId, kLumicardClass.userName, &LIBID_LUMICARDLib,
                              kLumicardClass.miscStatus, true) ||
        !cl::RegisterOleClass(CLSID_LumicardPropPage, kPageProgId, "Lumicard Property Page", nullptr, 0, false))
        return SELFREG_E_CLASS;
    return S_OK;
}

extern "C" HRESULT WINAPI DllUnregisterServer()
{
    if (!cl::UnregisterModuleTypeLibrary(LIBID_LUMICARDLib, 1, 0)) return SELFREG_E_TYPELIB;
    bool a = cl::UnregisterOleClass(CLSID_Lumicard, kLumicardClass.progId);
    bool b = cl::UnregisterOleClass(CLSID_LumicardPropPage, kPageProgId);
    return a && b ? S_OK : SELFREG_E_CLASS;
}
