/*
 * Test kit for the simulated board device: installs MURNAK.sys into the
 * prefix, sets its parameters (board count, build, frame size), writes the
 * Pallaset backplane entries the board driver detects, and reads the log of
 * the requests this process made.  Header-only; tests that use it share the
 * device and the registry, so CTest runs them one at a time (RESOURCE_LOCK).
 */
#ifndef MURNAK_KIT_H
#define MURNAK_KIT_H

#include <windows.h>
#include <string>
#include <vector>
#include "murnak_log.h"

namespace murnak_kit {

inline std::string bin_dir()
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s(path, n);
    return s.substr(0, s.find_last_of("\\/"));
}

inline std::string read_file(const std::string &name)
{
    HANDLE f = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return std::string();
    std::string data;
    char buf[65536];
    DWORD got;
    while (ReadFile(f, buf, sizeof buf, &got, nullptr) && got) data.append(buf, got);
    CloseHandle(f);
    return data;
}

/* Waits (bounded) for a service to reach a state. */
inline bool wait_service(SC_HANDLE s, DWORD state)
{
    for (int i = 0; i < 200; ++i) {
        SERVICE_STATUS st;
        if (!QueryServiceStatus(s, &st)) return false;
        if (st.dwCurrentState == state) return true;
        Sleep(50);
    }
    return false;
}

/* Stops the device service when it runs (so a newer build is loaded). */
inline void stop_device()
{
    SC_HANDLE m = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!m) return;
    SC_HANDLE s = OpenServiceA(m, "MURNAK", SERVICE_STOP | SERVICE_QUERY_STATUS);
    if (s) {
        SERVICE_STATUS st;
        if (ControlService(s, SERVICE_CONTROL_STOP, &st)) wait_service(s, SERVICE_STOPPED);
        CloseServiceHandle(s);
    }
    CloseServiceHandle(m);
}

/* Puts the built MURNAK.sys where the service's binary path names it.
 * A changed file replaces the old one after the service stopped. */
inline bool install_device()
{
    const std::string from = bin_dir() + "\\MURNAK.sys.so";
    char sys[MAX_PATH];
    UINT n = GetSystemDirectoryA(sys, MAX_PATH);
    const std::string to = std::string(sys, n) + "\\drivers\\MURNAK.sys";
    const std::string built = read_file(from);
    if (built.empty()) return false;
    if (read_file(to) == built) return true;
    stop_device();
    const std::string tmp = to + ".new";
    if (!CopyFileA(from.c_str(), tmp.c_str(), FALSE)) return false;
    return MoveFileExA(tmp.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

inline const char *params_key() { return "System\\CurrentControlSet\\Services\\MURNAK\\Parameters"; }

inline void set_param(const char *name, DWORD value)
{
    HKEY k;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, params_key(), 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr)) return;
    RegSetValueExA(k, name, 0, REG_DWORD, (const BYTE *)&value, sizeof value);
    RegCloseKey(k);
}

/* Boards, build and frame size back to a known state. */
inline void reset_params(DWORD boards = 1, DWORD width = 64, DWORD height = 48)
{
    set_param("Boards", boards);
    set_param("Build", 345);
    set_param("Width", width);
    set_param("Height", height);
    set_param("Keying", 0);
    set_param("Aspect", 0x00040003);
    set_param("Decks", 2);
    set_param("QueueLimit", 4096);
    set_param("RefuseOpen", 0);
    set_param("RefusePlay", 0);
}

/* Pallaset backplane entries: "Adapter" of one connector, and optionally
 * the adapter key's "VideoEffectsDevice". */
inline void clear_backplanes() { RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\PALLAS2"); }

inline void set_adapter(int backplane, int connector, const char *adapter)
{
    char key[128];
    wsprintfA(key, "SOFTWARE\\PALLAS2\\BACKPLANE%d\\CONNECTOR%d", backplane, connector);
    HKEY k;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr)) return;
    RegSetValueExA(k, "Adapter", 0, REG_SZ, (const BYTE *)adapter, lstrlenA(adapter) + 1);
    RegCloseKey(k);
}

inline void set_effects_device(const char *adapterKey, const char *device)
{
    HKEY k;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, adapterKey, 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr)) return;
    RegSetValueExA(k, "VideoEffectsDevice", 0, REG_SZ, (const BYTE *)device, lstrlenA(device) + 1);
    RegCloseKey(k);
}

/* One logged request. */
struct Request {
    DWORD code;
    std::vector<DWORD> words;
};

/* This process's requests, oldest first (through a handle of its own). */
inline std::vector<Request> read_log()
{
    std::vector<Request> out;
    HANDLE h = CreateFileA("\\\\.\\MURNAK", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return out;
    // Wine hands a device's answer back only into memory of its own heap.
    const DWORD size = (MURNAK_LOG_LIMIT + 2 + MURNAK_LOG_WORDS) * 4;
    DWORD *buf = (DWORD *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
    DWORD got = 0;
    if (buf && DeviceIoControl(h, IOCTL_MURNAK_LOG_READ, nullptr, 0, buf, size, &got, nullptr)) {
        for (size_t i = 0; i + 2 <= got / 4;) {
            Request r;
            r.code = buf[i];
            DWORD n = buf[i + 1];
            r.words.assign(buf + i + 2, buf + std::min<size_t>(i + 2 + n, got / 4));
            out.push_back(r);
            i += 2 + n;
        }
    }
    HeapFree(GetProcessHeap(), 0, buf);
    CloseHandle(h);
    return out;
}

inline void clear_log()
{
    HANDLE h = CreateFileA("\\\\.\\MURNAK", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    DWORD got;
    DeviceIoControl(h, IOCTL_MURNAK_LOG_CLEAR, nullptr, 0, nullptr, 0, &got, nullptr);
    CloseHandle(h);
}

/* Requests with one code, in order. */
inline std::vector<Request> requests(const std::vector<Request> &log, DWORD code)
{
    std::vector<Request> out;
    for (const auto &r : log)
        if (r.code == code) out.push_back(r);
    return out;
}

} // namespace murnak_kit

#endif
