/* Library start-up and unload, the program key, and the two custom-control
 * libraries, Knobkit and Placet, on which the toolkit's dialogs depend. */
#include "internal.h"

#include <rpc.h>
#include <cstdio>
#include <cstring>

namespace {

HINSTANCE g_module;
std::string g_program_key = "Software\\Quillon\\Unknown App";
UINT g_file_dialog_message;
ATOM g_image_atom;
HANDLE g_list_heap;   /* the process-wide list the start-up keeps; nothing is put in it */

ControlLibrary g_knobkit = {"Knobkit.dll", "KnobsetRegister", "KnobsetUnregister", nullptr, 0};
ControlLibrary g_placet = {"Placet.dll", "PlacetRegister", "PlacetUnregister", nullptr, 0};

typedef BOOL(WINAPI *RegisterFn)(DWORD);
typedef BOOL(WINAPI *UnregisterFn)(void);

}  // namespace

std::string TundrixFormProgramKey(const char *program_file)
{
    const char *slash = program_file ? std::strrchr(program_file, '\\') : nullptr;
    if (!slash) return "Software\\Quillon\\Unknown App";
    std::string base = slash + 1;
    /* The extension is cut only from the file name, never from a directory. */
    size_t dot = base.rfind('.');
    if (dot != std::string::npos) base.resize(dot);
    return "Software\\Quillon\\" + base;
}

const char *TundrixProgramKey() { return g_program_key.c_str(); }

std::string TundrixProgramDir()
{
    char buf[MAX_PATH] = {};
    DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
    if (!n || n >= sizeof buf) return std::string();
    std::string s = buf;
    size_t slash = s.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : s.substr(0, slash + 1);
}

bool ControlLibraryLoad(ControlLibrary *lib)
{
    if (lib->uses > 0) {
        ++lib->uses;
        return true;
    }
    HMODULE m = LoadLibraryA(lib->file);
    if (!m) {
        DWORD code = GetLastError();
        char *text = nullptr;
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
        char line[512];
        std::snprintf(line, sizeof line, "%s: %s\n", lib->file, text ? text : "could not be loaded");
        OutputDebugStringA(line);
        if (text) LocalFree(text);
        return false;
    }
    lib->module = m;
    if (auto reg = reinterpret_cast<RegisterFn>(GetProcAddress(m, lib->reg))) reg(kControlCallerVersion);
    lib->uses = 1;
    return true;
}

void ControlLibraryRelease(ControlLibrary *lib)
{
    if (lib->uses <= 0) return;
    if (--lib->uses > 0) return;
    if (auto unreg = reinterpret_cast<UnregisterFn>(GetProcAddress(lib->module, lib->unreg))) unreg();
    FreeLibrary(lib->module);
    lib->module = nullptr;
}

bool ControlLibrariesLoad(ControlLibrary *first, ControlLibrary *second)
{
    bool a = ControlLibraryLoad(first);
    bool b = ControlLibraryLoad(second);
    if (a && b) return true;
    if (a) ControlLibraryRelease(first);
    if (b) ControlLibraryRelease(second);
    return false;
}

void ControlLibrariesRelease(ControlLibrary *first, ControlLibrary *second)
{
    ControlLibraryRelease(first);
    ControlLibraryRelease(second);
}

ControlLibrary *TundrixKnobkit() { return &g_knobkit; }
ControlLibrary *TundrixPlacet() { return &g_placet; }
int TundrixLoadControls() { return ControlLibrariesLoad(&g_knobkit, &g_placet) ? 1 : 0; }
void TundrixReleaseControls() { ControlLibrariesRelease(&g_knobkit, &g_placet); }

HINSTANCE TundrixModule() { return g_module; }
UINT TundrixFileDialogMessage() { return g_file_dialog_message; }
ATOM TundrixImageAtom() { return g_image_atom; }

void TundrixAttach(HINSTANCE module)
{
    g_module = module;
    DisableThreadLibraryCalls(module);
    char file[MAX_PATH] = {};
    DWORD n = GetModuleFileNameA(nullptr, file, sizeof file);
    g_program_key = TundrixFormProgramKey(n && n < sizeof file ? file : nullptr);
    DbcsSubclassInstall();
    g_list_heap = HeapCreate(0, 0, 0);
    UUID id = {};
    UuidCreate(&id);
    {
        char name[64];
        std::snprintf(name, sizeof name, "%08lX-%04X-%04x-%02X%02X-%02X%02X%02X%02X%02X%02X",
                      static_cast<unsigned long>(id.Data1), id.Data2, id.Data3, id.Data4[0], id.Data4[1], id.Data4[2],
                      id.Data4[3], id.Data4[4], id.Data4[5], id.Data4[6], id.Data4[7]);
        g_image_atom = GlobalAddAtomA(name);
    }
    g_file_dialog_message = RegisterWindowMessageA("OpenFileNameDialog-Brannoch");
    TundrixLoadControls();
}

void TundrixDetach(bool process_exit)
{
    /* At process exit the control libraries may already be gone and the
     * classes die with the process: only a real unload gives them back. */
    if (!process_exit) {
        TundrixReleaseControls();
        DbcsSubclassRemove();
    }
    if (g_image_atom) GlobalDeleteAtom(g_image_atom);
    g_image_atom = 0;
    if (g_list_heap && !process_exit) HeapDestroy(g_list_heap);
    g_list_heap = nullptr;
}
