// Module plumbing: a table of classes, their class factory, the four Dll*
// entry points and registration as data.
//
// A module (.ax/.dll) defines one table and forwards its exports:
//
//   static const dsb::ClassEntry kClasses[] = {
//       {&CLSID_MyFilter, L"My Filter", MyFilter::Create, &kMyFilterReg},
//   };
//   HRESULT WINAPI DllGetClassObject(REFCLSID c, REFIID i, void** p) {
//       return dsb::ModuleGetClassObject(kClasses, ARRAYSIZE(kClasses), c, i, p);
//   }
//   ... and DllMain calls dsb::ModuleSetInstance(hinst) on attach.
#pragma once
#include "unknown.h"
#include <strmif.h>

namespace dsb {

// Creates a new object (reference count 0) aggregated by |outer| (may be
// null).  Returns E_OUTOFMEMORY when the object or a part cannot be made.
typedef HRESULT (*CreateFn)(IUnknown* outer, ComObject** object);

// What IFilterMapper2::RegisterFilter records for one filter.  Pins use
// REGFILTERPINS (name, rendered, output, zero, many, connects-to filter and
// pin, media types).
struct FilterRegistration {
    DWORD merit;
    ULONG pinCount;
    const REGFILTERPINS* pins;
};

struct ClassEntry {
    const CLSID* clsid;
    const WCHAR* name;               // class and filter name
    CreateFn create;
    const FilterRegistration* filter; // null: a plain COM class, no filter entry
};

// The module's instance handle, from DllMain (used for its file name).
void ModuleSetInstance(HINSTANCE instance);
HINSTANCE ModuleInstance();

HRESULT ModuleGetClassObject(const ClassEntry* table, size_t count, REFCLSID clsid, REFIID riid, void** ppv);
HRESULT ModuleCanUnloadNow();
// Registers (or removes) every class: HKCR\CLSID\{clsid} with the name,
// InprocServer32 = module path with ThreadingModel "Both"; filters also
// through the filter mapper in CLSID_LegacyAmFilterCategory.
HRESULT ModuleRegister(const ClassEntry* table, size_t count, bool registering);

// Creates an object from an entry directly (tests, same-module users).
HRESULT CreateFromEntry(const ClassEntry& entry, IUnknown* outer, REFIID riid, void** ppv);

}  // namespace dsb
