/* Loadwell.dll: finds a library through its registered path, loads it and
 * asks its CheckVersion export whether it accepts the caller's version. */
#include "loadwell.h"
#include "errtext.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

typedef BOOL(WINAPI *CheckVersionFn)(DWORD);

/* The default value of a key under HKEY_CLASSES_ROOT; false when the key or
 * its value is missing or the value does not fit in limit characters. */
bool ReadDefault(const std::string &key, size_t limit, std::string *out)
{
    HKEY k;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_QUERY_VALUE, &k) != ERROR_SUCCESS) return false;
    char buf[MAX_PATH + 1] = {};
    DWORD type = 0, size = static_cast<DWORD>(limit + 1);
    LONG r = RegQueryValueExA(k, nullptr, nullptr, &type, reinterpret_cast<BYTE *>(buf), &size);
    RegCloseKey(k);
    if (r != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
    buf[size < sizeof buf ? size : sizeof buf - 1] = 0;
    *out = buf;
    return true;
}

bool SwitchSays(const std::string &value) { return lstrcmpiA(value.c_str(), "FALSE") != 0 && value != "0"; }

bool LookupOn()
{
    std::string v;
    if (ReadDefault(LOADWELL_FLAGS_KEY "UseLoadwell", 259, &v) && (v.empty() || SwitchSays(v))) return true;
    return ReadDefault(LOADWELL_FLAGS_KEY "HeadSmashedInBuffaloJump", 259, &v) && SwitchSays(v);
}

std::string BaseName(const char *name)
{
    const char *slash = std::strrchr(name, '\\');
    std::string base = slash ? slash + 1 : name;
    size_t dot = base.find('.');
    if (dot != std::string::npos) base.resize(dot);
    return base;
}

std::string ModuleFile(HMODULE m)
{
    char buf[MAX_PATH] = {};
    GetModuleFileNameA(m, buf, sizeof buf);
    return buf;
}

std::string Fill(const char *fmt, const char *a, const char *b, const char *c)
{
    char buf[2048];
    std::snprintf(buf, sizeof buf, fmt, a, b, c);
    return buf;
}

const char kConflictText[] =
    "The module %s has already been loaded\nand is an obsolete/incompatible version of %s.\n"
    "Another application that uses this module may be running.\nYou may choose ABORT to close the current application,\n"
    "or close the other application and press RETRY\nor choose IGNORE to continue with this application\n"
    "using the loaded version of %s, AT YOUR OWN RISK.";
const char kOlderText[] =
    "The module %s has already been loaded\nand is an older version of %s.\n"
    "Another Tarvo Works application may be running.\nYou may choose ABORT to close the current application,\n"
    "or close the other application and press RETRY,\nor choose IGNORE to continue this application\n"
    "using the loaded version of %s, AT YOUR OWN RISK.";
const char kIncorrectText[] =
    "The version of %s in your system is incorrect.\nChoose CANCEL to close this application\n"
    "or choose OK to continue with the incorrect version\nAT YOUR OWN RISK.";

/* A box that keeps the user out of this thread's other windows while it is
 * open: they are disabled around it and enabled again after it. */
BOOL CALLBACK DisableOne(HWND w, LPARAM lp)
{
    auto *list = reinterpret_cast<std::vector<HWND> *>(lp);
    if (IsWindowVisible(w) && IsWindowEnabled(w)) {
        EnableWindow(w, FALSE);
        list->push_back(w);
    }
    return TRUE;
}

int TaskModalBox(const char *text, const char *caption, UINT type)
{
    std::vector<HWND> disabled;
    EnumThreadWindows(GetCurrentThreadId(), DisableOne, reinterpret_cast<LPARAM>(&disabled));
    int answer = MessageBoxA(nullptr, text, caption, type);
    for (HWND w : disabled)
        if (IsWindow(w)) EnableWindow(w, TRUE);
    return answer;
}

void ShowLoadError(const char *caption_fmt, const std::string &file, DWORD code)
{
    char caption[MAX_PATH + 64];
    std::snprintf(caption, sizeof caption, caption_fmt, file.c_str());
    TaskModalBox(LoadwellErrorText(code).c_str(), caption, MB_OK | MB_ICONERROR);
}

enum class Outcome { Done, Retry, GiveUp, Plain };

/* The file is already loaded: take a reference and ask it. */
Outcome FromLoaded(const std::string &file, DWORD version, HMODULE *result)
{
    {
        HMODULE m = LoadLibraryA(file.c_str());
        if (!m) {
            ShowLoadError("Error (Re-)Loading %s", file, GetLastError());
            return Outcome::GiveUp;
        }
        auto check = reinterpret_cast<CheckVersionFn>(GetProcAddress(m, "CheckVersion"));
        if (check && check(version)) {
            *result = m;
            return Outcome::Done;
        }
        std::string loaded = ModuleFile(m);
        std::string text = Fill(check ? kOlderText : kConflictText, loaded.c_str(), file.c_str(), file.c_str());
        int answer = TaskModalBox(text.c_str(),
                                 check ? "Older DLL Already Loaded" : "Conflicting DLL Already Loaded",
                                 MB_ABORTRETRYIGNORE | MB_ICONWARNING );
        if (answer == IDIGNORE) {
            *result = m;
            return Outcome::Done;
        }
        FreeLibrary(m);
        return answer == IDRETRY ? Outcome::Retry : Outcome::GiveUp;
    }
}

/* The file is not loaded yet: the program's directory first for a bare name,
 * then the system search. */
Outcome FromFile(const std::string &file, bool from_registry, DWORD version, HMODULE *result)
{
    HMODULE m = nullptr;
    if (file.find_first_of(":\\/") == std::string::npos) {
        std::string dir = ModuleFile(nullptr);
        size_t slash = dir.find_last_of("\\/");
        if (slash != std::string::npos) {
            dir.resize(slash + 1);
            m = LoadLibraryA((dir + file).c_str());
        }
    }
    if (!m) m = LoadLibraryA(file.c_str());
    if (!m) {
        DWORD code = GetLastError();
        if (from_registry && (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND || code == ERROR_MOD_NOT_FOUND))
            return Outcome::Plain;
        ShowLoadError("Error Loading %s", file, code);
        return Outcome::GiveUp;
    }
    auto check = reinterpret_cast<CheckVersionFn>(GetProcAddress(m, "CheckVersion"));
    if (check && check(version)) {
        *result = m;
        return Outcome::Done;
    }
    if (from_registry) {
        FreeLibrary(m);
        return Outcome::Plain;
    }
    std::string text = Fill(kIncorrectText, ModuleFile(m).c_str(), "", "");
    int answer = TaskModalBox(text.c_str(), "Incorrect Version",
                             MB_OKCANCEL | MB_ICONWARNING | MB_DEFBUTTON2 );
    if (answer == IDOK) {
        *result = m;
        return Outcome::Done;
    }
    FreeLibrary(m);
    return Outcome::GiveUp;
}

bool WriteDefault(HKEY key, const char *sub, const std::string &text)
{
    return RegSetValueA(key, sub, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

}  // namespace

extern "C" HMODULE WINAPI REGLoadLibrary(LPCSTR name, DWORD version)
{
    if (!name || !*name) return nullptr;
    UINT old_mode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    std::string file = name;
    bool from_registry = false;
    if (LookupOn()) {
        std::string key = std::string(LOADWELL_DLL_KEY) + BaseName(name), ver, path;
        if (ReadDefault(key + "\\version", 63, &ver) && ReadDefault(key + "\\path", 259, &path) && !path.empty()) {
            file = path;
            from_registry = true;
        }
    }
    HMODULE result = nullptr;
    for (;;) {
        Outcome o = GetModuleHandleA(file.c_str()) ? FromLoaded(file, version, &result)
                                                    : FromFile(file, from_registry, version, &result);
        if (o == Outcome::Plain) {
            file = name;
            from_registry = false;
            continue;
        }
        if (o == Outcome::Retry) continue;
        break;
    }
    SetErrorMode(old_mode);
    return result;
}

extern "C" BOOL WINAPI REGRegisterNamedLibrary(LPCSTR name, HMODULE module, DWORD version)
{
    if (!name || !*name) return FALSE;
    char path[MAX_PATH] = {};
    DWORD len = GetModuleFileNameA(module, path, sizeof path);
    if (!len || len >= sizeof path) return FALSE;
    HKEY key;
    std::string sub = std::string(LOADWELL_DLL_KEY) + name;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, sub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return FALSE;
    char ver[16];
    std::snprintf(ver, sizeof ver, "%lx", static_cast<unsigned long>(version));
    bool ok = WriteDefault(key, "version", ver);
    ok = WriteDefault(key, "path", path) && ok;
    RegCloseKey(key);
    return ok ? TRUE : FALSE;
}

extern "C" BOOL WINAPI REGRegisterLibrary(HMODULE module, DWORD version)
{
    char path[MAX_PATH] = {};
    DWORD len = GetModuleFileNameA(module, path, sizeof path);
    if (!len || len >= sizeof path) return FALSE;
    const char *base = std::strrchr(path, '\\');
    std::string name = base ? base + 1 : path;
    size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.resize(dot);
    return REGRegisterNamedLibrary(name.c_str(), module, version);
}

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) REGRegisterLibrary(module, 0x100);
    return TRUE;
}
