/* Ini and registry objects: one handle that reads and writes named values
 * in a private profile file or in a registry key with the same calls. */
#include "tundrix32.h"
#include "internal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

char *Dup(const char *s)
{
    if (!s) return nullptr;
    size_t n = std::strlen(s) + 1;
    char *d = static_cast<char *>(std::malloc(n));
    if (d) std::memcpy(d, s, n);
    return d;
}

bool EndsWithIni(const char *s)
{
    size_t n = std::strlen(s);
    return n >= 4 && !lstrcmpiA(s + n - 4, ".ini");
}

bool StartsWithNoCase(const char *s, const char *prefix)
{
    size_t n = std::strlen(prefix);
    return std::strlen(s) >= n && CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, s, static_cast<int>(n), prefix,
                                                 static_cast<int>(n)) == CSTR_EQUAL;
}

/* The registry root named by a "\\Registry\\..." path, and the sub-key after it. */
bool MatchRegistryPrefix(const char *name, HKEY *root, const char **rest)
{
    static const struct { const char *prefix; HKEY root; } prefixes[] = {
        {"\\Registry\\Root", HKEY_CLASSES_ROOT},
        {"\\Registry\\Machine", HKEY_LOCAL_MACHINE},
        {"\\Registry\\User", HKEY_CURRENT_USER},
        {"\\Registry\\", HKEY_CLASSES_ROOT},
    };
    for (const auto &p : prefixes) {
        if (StartsWithNoCase(name, p.prefix)) {
            *root = p.root;
            const char *r = name + std::strlen(p.prefix);
            while (*r == '\\') ++r;  /* a key path never starts with a separator */
            *rest = r;
            return true;
        }
    }
    return false;
}

void CopyOut(const char *text, char *buffer, int size, int *length)
{
    *length = 0;
    if (!buffer || size <= 0) return;
    size_t n = text ? std::strlen(text) : 0;
    if (n >= static_cast<size_t>(size)) n = size - 1;
    if (n) std::memcpy(buffer, text, n);
    buffer[n] = 0;
    *length = static_cast<int>(n);
}

/* The key that holds the object's values: the section sub-key when there is
 * one and it can be opened, else the object's key.  *close says whether the
 * caller closes it. */
HKEY SectionKey(INIOBJECT *obj, bool create, bool *close)
{
    *close = false;
    if (!obj->section || !*obj->section) return obj->key;
    HKEY k;
    LONG r = create ? RegCreateKeyExA(obj->key, obj->section, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr)
                    : RegOpenKeyExA(obj->key, obj->section, 0, KEY_READ, &k);
    if (r != ERROR_SUCCESS) return create ? nullptr : obj->key;
    *close = true;
    return k;
}

}  // namespace

extern "C" BOOL WINAPI iniSetFile(INIOBJECT *obj, LPCSTR name)
{
    if (!obj) return FALSE;
    std::free(obj->file);
    obj->file = nullptr;
    if (obj->key) RegCloseKey(obj->key);
    obj->key = nullptr;
    if (!name) return TRUE;

    bool has_slash = std::strchr(name, '\\') != nullptr;
    if (EndsWithIni(name) && !has_slash) {
        obj->file = Dup((TundrixProgramDir() + name).c_str());
        return obj->file != nullptr;
    }
    HKEY root = nullptr;
    std::string path;
    if (has_slash) {
        const char *rest;
        if (!MatchRegistryPrefix(name, &root, &rest)) {
            /* An ini file; "\\windows\\" names the Windows directory, where a
             * bare file name falls. */
            const char *file = StartsWithNoCase(name, "\\windows\\") ? name + 9 : name;
            obj->file = Dup(file);
            return obj->file != nullptr;
        }
        path = rest;
        obj->file = Dup(name);
    } else {
        root = HKEY_CURRENT_USER;
        path = TundrixProgramKey();
        if (*name) path += std::string("\\") + name;
        obj->file = Dup(path.c_str());
    }
    HKEY k;
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) != ERROR_SUCCESS) {
        std::free(obj->file);
        obj->file = nullptr;
        return FALSE;
    }
    obj->key = k;
    return TRUE;
}

extern "C" BOOL WINAPI iniSetSection(INIOBJECT *obj, LPCSTR section)
{
    if (!obj) return FALSE;
    char *copy = Dup(section);
    if (section && !copy) return FALSE;
    std::free(obj->section);
    obj->section = copy;
    return TRUE;
}

extern "C" INIOBJECT *WINAPI iniCreate(LPCSTR file, LPCSTR section, HWND dialog, LPCSTR desc_name, HMODULE desc_module)
{
    auto *obj = static_cast<INIOBJECT *>(std::calloc(1, sizeof(INIOBJECT)));
    if (!obj) return nullptr;
    obj->dialog = dialog;
    obj->desc_name = desc_name;
    obj->desc_module = desc_module;
    iniSetSection(obj, section);
    if (file) iniSetFile(obj, file);
    return obj;
}

extern "C" void WINAPI iniDestroy(INIOBJECT *obj)
{
    if (!obj) return;
    if (obj->key) RegCloseKey(obj->key);
    std::free(obj->file);
    std::free(obj->section);
    std::free(obj);
}

extern "C" int WINAPI GetIniDataEx(INIOBJECT *obj, LPCSTR key, LPCSTR def, int kind, LPSTR buffer, int size)
{
    int length = 0;
    if (!obj || (!obj->key && !obj->file)) {
        CopyOut(def, buffer, size, &length);
        return length;
    }
    if (!buffer || size <= 0) return 0;
    if (!obj->key) {
        return static_cast<int>(GetPrivateProfileStringA(obj->section, key, def ? def : "", buffer,
                                                         static_cast<DWORD>(size), obj->file));
    }
    bool close;
    HKEY k = SectionKey(obj, false, &close);
    DWORD type = 0, bytes = 0;
    std::vector<char> data;
    LONG r = RegQueryValueExA(k, key, nullptr, &type, nullptr, &bytes);
    if (r == ERROR_SUCCESS) {
        data.resize(bytes + 2);
        r = RegQueryValueExA(k, key, nullptr, &type, reinterpret_cast<BYTE *>(data.data()), &bytes);
    }
    if (close) RegCloseKey(k);
    if (r != ERROR_SUCCESS) {
        CopyOut(def, buffer, size, &length);
        return length;
    }
    if (type == REG_DWORD && bytes == 4) {
        DWORD v;
        std::memcpy(&v, data.data(), 4);
        char text[16];
        std::snprintf(text, sizeof text, "%d", static_cast<int>(v));
        CopyOut(text, buffer, size, &length);
        return length;
    }
    if (type == REG_SZ || type == REG_EXPAND_SZ || (kind & 15) == INIKIND_DOUBLE || (kind & 15) == INIKIND_STRING) {
        data[bytes] = 0;
        CopyOut(data.data(), buffer, size, &length);
        return length;
    }
    /* Raw data: as many bytes as fit. */
    length = static_cast<int>(bytes < static_cast<DWORD>(size) ? bytes : size);
    std::memcpy(buffer, data.data(), length);
    if (length < size) buffer[length] = 0;
    return length;
}

extern "C" int WINAPI GetIniData(INIOBJECT *obj, LPCSTR key, LPCSTR def, LPSTR buffer, int size)
{
    return GetIniDataEx(obj, key, def, INIKIND_STRING, buffer, size);
}

extern "C" BOOL WINAPI SetIniDataEx(INIOBJECT *obj, LPCSTR key, int kind, LPCSTR value, int length)
{
    if (!obj) return FALSE;
    if (!obj->key) {
        if (!obj->file) return FALSE;
        return WritePrivateProfileStringA(obj->section, key, value, obj->file);
    }
    bool close;
    HKEY k = SectionKey(obj, true, &close);
    if (!k) return FALSE;
    LONG r;
    switch (kind & 15) {
    case INIKIND_DOUBLE:
    case INIKIND_STRING: {
        const char *text = value ? value : "";
        r = RegSetValueExA(k, key, 0, REG_SZ, reinterpret_cast<const BYTE *>(text), static_cast<DWORD>(std::strlen(text) + 1));
        break;
    }
    case INIKIND_LONG:
    case INIKIND_BOOL:
    case INIKIND_MASK:
    case INIKIND_INDEX:
    case INIKIND_ITEMDATA: {
        DWORD v = value ? static_cast<DWORD>(std::strtoul(value, nullptr, 0)) : 0;
        r = RegSetValueExA(k, key, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&v), sizeof v);
        break;
    }
    default:
        r = (value && length >= 0)
                ? RegSetValueExA(k, key, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE *>(value), static_cast<DWORD>(length))
                : ERROR_INVALID_PARAMETER;
        break;
    }
    if (close) RegCloseKey(k);
    return r == ERROR_SUCCESS;
}

extern "C" BOOL WINAPI SetIniData(INIOBJECT *obj, LPCSTR key, LPCSTR text)
{
    return SetIniDataEx(obj, key, INIKIND_STRING, text, text ? static_cast<int>(std::strlen(text) + 1) : 0);
}

extern "C" INIOBJECT *WINAPI regInit(LPCSTR file, LPCSTR section)
{
    return iniCreate(file ? file : "", section, nullptr, nullptr, nullptr);
}

extern "C" BOOL WINAPI regDone(INIOBJECT *obj)
{
    if (!obj) return FALSE;
    iniDestroy(obj);
    return TRUE;
}

namespace {
void UseSection(INIOBJECT *obj, LPCSTR section)
{
    if (obj && section && *section) iniSetSection(obj, section);
}
}  // namespace

extern "C" int WINAPI regReadString(INIOBJECT *obj, LPCSTR section, LPCSTR key, LPCSTR def, LPSTR buffer, int size)
{
    UseSection(obj, section);
    return GetIniDataEx(obj, key, def, INIKIND_STRING, buffer, size);
}

extern "C" BOOL WINAPI regWriteString(INIOBJECT *obj, LPCSTR section, LPCSTR key, LPCSTR text)
{
    if (!obj) return FALSE;
    UseSection(obj, section);
    return SetIniDataEx(obj, key, INIKIND_STRING, text, text ? static_cast<int>(std::strlen(text) + 1) : 0);
}

extern "C" long WINAPI regReadInt(INIOBJECT *obj, LPCSTR section, LPCSTR key, long def)
{
    char text[64];
    UseSection(obj, section);
    if (GetIniDataEx(obj, key, "", INIKIND_LONG, text, sizeof text) <= 0) return def;
    return std::strtol(text, nullptr, 0);
}

extern "C" BOOL WINAPI regWriteInt(INIOBJECT *obj, LPCSTR section, LPCSTR key, long value)
{
    if (!obj) return FALSE;
    char text[32];
    std::snprintf(text, sizeof text, "%ld", value);
    UseSection(obj, section);
    return SetIniDataEx(obj, key, INIKIND_LONG, text, static_cast<int>(std::strlen(text) + 1));
}

extern "C" int __cdecl regPrintf(INIOBJECT *obj, LPCSTR section, LPCSTR key, LPCSTR format, ...)
{
    if (!obj || !format) return 0;
    TundrixArgs args;
    TUNDRIX_ARGS_START(args, format);
    std::string text = TundrixFormat(format, args);
    TUNDRIX_ARGS_END(args);
    if (text.size() > 256) text.resize(256);
    if (text.empty()) return 0;
    UseSection(obj, section);
    SetIniDataEx(obj, key, INIKIND_STRING, text.c_str(), static_cast<int>(text.size() + 1));
    return static_cast<int>(text.size());
}

extern "C" int __cdecl regScanf(INIOBJECT *obj, LPCSTR section, LPCSTR key, LPCSTR def, LPCSTR format, ...)
{
    if (!obj || !format) return 0;
    char text[257];
    UseSection(obj, section);
    if (GetIniDataEx(obj, key, def, INIKIND_STRING, text, sizeof text) <= 0) return 0;
    TundrixArgs args;
    TUNDRIX_ARGS_START(args, format);
    int n = TundrixScanArgs(text, format, args);
    TUNDRIX_ARGS_END(args);
    return n;
}

extern "C" int WINAPI regEnum(INIOBJECT *, LPCSTR) { return 0; }
