// Windows helpers of the effects library: library loading from the
// library's own directory, file probes, the wait cursor, module directory.
#include "fxwin32.h"

#include <cstring>

namespace {

HINSTANCE g_instance;

// The wait cursor belongs to the user-interface thread.
int g_waitCount;
HCURSOR g_waitPrevious;

// Makes the directory of `path` (a full path) current.
void EnterDirectoryOf(const char *path)
{
    char dir[MAX_PATH];
    lstrcpynA(dir, path, MAX_PATH);
    char *slash = strrchr(dir, '\\');
    if (!slash)
        return;
    if (slash == dir || slash[-1] == ':')
        slash[1] = 0;   // keep the root's separator
    else
        *slash = 0;
    SetCurrentDirectoryA(dir);
}

// The full form of `name` against the current directory; false when it
// does not fit.
bool FullPath(const char *name, char *out)
{
    char *part = nullptr;
    DWORD n = GetFullPathNameA(name, MAX_PATH, out, &part);
    return n > 0 && n < MAX_PATH;
}

}  // namespace

HMODULE LoadLibraryFromModuleDir(char *name, HMODULE module, int storePath)
{
    if (!name || !name[0])
        return nullptr;
    char saved[MAX_PATH];
    DWORD savedLen = GetCurrentDirectoryA(MAX_PATH, saved);
    bool restore = savedLen > 0 && savedLen < MAX_PATH;

    HMODULE dll = nullptr;
    char loaded[MAX_PATH] = {};
    char full[MAX_PATH];
    if (FullPath(name, full) && lstrcmpiA(full, name) == 0) {
        EnterDirectoryOf(full);
        if ((dll = LoadLibraryA(full)))
            lstrcpynA(loaded, full, MAX_PATH);
    } else {
        char dir[MAX_PATH];
        if (GetModuleDirectory(module, dir, MAX_PATH) && SetCurrentDirectoryA(dir) && FullPath(name, full)) {
            EnterDirectoryOf(full);
            if ((dll = LoadLibraryA(full)))
                lstrcpynA(loaded, full, MAX_PATH);
        }
    }
    if (!dll) {
        char found[MAX_PATH];
        char *part = nullptr;
        DWORD n = SearchPathA(nullptr, name, nullptr, MAX_PATH, found, &part);
        if (n > 0 && n < MAX_PATH) {
            EnterDirectoryOf(found);
            if ((dll = LoadLibraryA(found)))
                lstrcpynA(loaded, found, MAX_PATH);
        }
    }
    if (!dll && (dll = LoadLibraryA(name))) {
        DWORD n = GetModuleFileNameA(dll, loaded, MAX_PATH);
        if (n == 0 || n >= MAX_PATH)
            lstrcpynA(loaded, name, MAX_PATH);
    }
    if (dll && storePath)
        lstrcpynA(name, loaded, MAX_PATH);
    if (restore)
        SetCurrentDirectoryA(saved);
    return dll;
}

int DeleteFileByName(const char *name)
{
    if (!name || !name[0])
        return -1;
    return DeleteFileA(name) ? 0 : -1;
}

int ProbeFile(const char *name, int mode)
{
    if (!name || !name[0])
        return -1;
    DWORD access;
    switch (mode) {
    case 0:
        return GetFileAttributesA(name) == INVALID_FILE_ATTRIBUTES ? -1 : 0;
    case 2: access = GENERIC_WRITE; break;
    case 4: access = GENERIC_READ; break;
    case 6: access = GENERIC_READ | GENERIC_WRITE; break;
    default: return -1;
    }
    HANDLE h = CreateFileA(name, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return -1;
    CloseHandle(h);
    return 0;
}

DWORD GetModuleDirectory(HMODULE module, char *buffer, DWORD size)
{
    if (!buffer || size == 0)
        return 0;
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(module, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return 0;
    char *slash = strrchr(path, '\\');
    if (!slash)
        return 0;
    *slash = 0;
    // A directory that does not fit is no directory: never half a path.
    if (DWORD(slash - path) >= size)
        return 0;
    memcpy(buffer, path, size_t(slash - path) + 1);
    return n;
}

int WaitCursor(int on)
{
    if (on) {
        if (g_waitCount++ == 0) {
            g_waitPrevious = SetCursor(LoadCursorA(nullptr, (LPCSTR)IDC_WAIT));
            ShowCursor(TRUE);
        }
    } else if (g_waitCount > 0) {
        if (--g_waitCount == 0) {
            SetCursor(g_waitPrevious);
            ShowCursor(FALSE);
        }
    }
    return g_waitCount;
}

HWND LastChildWindow(HWND window)
{
    HWND first = window ? GetWindow(window, GW_CHILD) : nullptr;
    return first ? GetWindow(first, GW_HWNDLAST) : nullptr;
}

HINSTANCE GetFxInstance()
{
    return g_instance;
}

void SetFxInstance(HINSTANCE instance)
{
    g_instance = instance;
}
