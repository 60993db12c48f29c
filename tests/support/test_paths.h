/*
 * Paths the media tests share: clips made by the test scripts in a folder
 * named by an environment variable, and files in the temporary folder.
 */
#pragma once
#include <windows.h>
#include <cstdlib>
#include <string>

namespace testpaths {

/* "Z:" + the folder $var names (or fallback) + "\" + name, in DOS form. */
inline std::string ClipPath(const char *var, const char *fallback, const std::string &name)
{
    const char *d = getenv(var);
    std::string dos = "Z:" + std::string(d && *d ? d : fallback) + "/" + name;
    for (auto &c : dos)
        if (c == '/') c = '\\';
    return dos;
}

inline std::string TempPath(const char *name)
{
    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    return std::string(dir) + name;
}

} // namespace testpaths
