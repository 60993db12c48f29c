/* Loadwell: loads the graphics maker's libraries by base name from their
 * registered location and asks each library's CheckVersion export to accept
 * the version the caller was built for. */
#ifndef LOADWELL_H
#define LOADWELL_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

HMODULE WINAPI REGLoadLibrary(LPCSTR name, DWORD version);
BOOL WINAPI REGRegisterLibrary(HMODULE module, DWORD version);
BOOL WINAPI REGRegisterNamedLibrary(LPCSTR name, HMODULE module, DWORD version);

/* Registry layout, all under HKEY_CLASSES_ROOT, default values (REG_SZ). */
#define LOADWELL_DLL_KEY   "TarvoWorks\\dll32\\"
#define LOADWELL_FLAGS_KEY "TarvoWorks\\Flags\\"

#ifdef __cplusplus
}
#endif

#endif
