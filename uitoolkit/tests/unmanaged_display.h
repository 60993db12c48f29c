/*
 * For tests that show dialogs on a display of their own: this program's
 * top-level windows are left unmanaged by the X driver.  Xvfb runs no window
 * manager, and hiding or destroying a managed window waits in vain for one
 * (about two seconds a box).  Set before main, while the driver is not yet
 * loaded, only when a display is there, and only for this program
 * (AppDefaults under its own file name).
 */
#ifndef UITOOLKIT_TESTS_UNMANAGED_DISPLAY_H
#define UITOOLKIT_TESTS_UNMANAGED_DISPLAY_H

#include <windows.h>
#include <string>

namespace {

struct UnmanagedDisplay {
    UnmanagedDisplay()
    {
        char display[64] = {};
        if (!GetEnvironmentVariableA("DISPLAY", display, sizeof display) || !display[0]) return;
        char path[MAX_PATH] = {};
        if (!GetModuleFileNameA(nullptr, path, sizeof path)) return;
        std::string name = path;
        size_t slash = name.find_last_of("\\/");
        if (slash != std::string::npos) name.erase(0, slash + 1);
        if (name.size() > 3 && name.compare(name.size() - 3, 3, ".so") == 0) name.resize(name.size() - 3);
        std::string key = "Software\\Wine\\AppDefaults\\" + name + "\\X11 Driver";
        HKEY k;
        if (!RegCreateKeyA(HKEY_CURRENT_USER, key.c_str(), &k)) {
            RegSetValueExA(k, "Managed", 0, REG_SZ, reinterpret_cast<const BYTE *>("N"), 2);
            RegCloseKey(k);
        }
    }
};
const UnmanagedDisplay unmanaged_display;

}  // namespace

#endif
