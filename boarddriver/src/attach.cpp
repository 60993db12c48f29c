// Library attach: detection of the backplanes' adapters, start of the
// kernel services, opening of the board device with its build check, and
// the small exported queries.
#include "quadrel.h"
#include <stdio.h>
#include <string.h>

QuadrelGlobals g_quadrel = { INVALID_HANDLE_VALUE };

static const char kNoPallaset[] = "No Pallaset Detected Build %d";
static const char kQuadrel[] = "Quadrel Driver Build #%d";
static const char kPallasetLE[] = "Pallaset LE Driver Build #%d";
static const char kPallasetDTV[] = "Pallaset DTV Driver Build #%d";

BOOL murnak_ioctl(DWORD code, const void *in, DWORD inLen, void *out, DWORD outLen)
{
    if (g_quadrel.device == INVALID_HANDLE_VALUE) return FALSE;
    DWORD got = 0;
    return DeviceIoControl(g_quadrel.device, code, (void *)in, inLen, out, outLen, &got, nullptr);
}

static void detect_backplanes()
{
    for (int b = 0; b < 4; ++b) {
        g_quadrel.quadrel[b] = FALSE;
        g_quadrel.format[b] = kNoPallaset;
        g_quadrel.adapter[b][0] = 0;
        for (int c = 0; c < 5; ++c) {
            char path[96];
            snprintf(path, sizeof path, "SOFTWARE\\PALLAS2\\BACKPLANE%d\\CONNECTOR%d", b, c);
            HKEY key;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key)) continue;
            char value[256] = { 0 };
            DWORD type = 0, size = 255;
            LONG r = RegQueryValueExA(key, "Adapter", nullptr, &type, (BYTE *)value, &size);
            RegCloseKey(key);
            if (r || (type != REG_SZ && type != REG_EXPAND_SZ)) continue;
            value[size < 255 ? size : 255] = 0;
            CharUpperA(value);
            const char *format = nullptr;
            BOOL quadrel = FALSE;
            if (strstr(value, "QUADREL")) { format = kQuadrel; quadrel = TRUE; }
            else if (strstr(value, "PALLASETLITE")) format = kPallasetLE;
            else if (strstr(value, "PALLASETDTV")) format = kPallasetDTV;
            if (!format) continue;
            lstrcpynA(g_quadrel.adapter[b], value, sizeof g_quadrel.adapter[b]);
            g_quadrel.quadrel[b] = quadrel;
            g_quadrel.format[b] = format;
            break;
        }
    }
}

// Waits for a service to reach a state within limit ms (all ones: no
// limit); stops early when neither state nor check point moves.  A service
// reaching "running" is then interrogated until it says so.
static BOOL WaitServiceState(SC_HANDLE service, DWORD wanted, DWORD limit)
{
    const DWORD start = GetTickCount();
    SERVICE_STATUS st;
    if (!QueryServiceStatus(service, &st)) return FALSE;
    DWORD lastState = st.dwCurrentState, lastCheck = st.dwCheckPoint;
    bool first = true;
    while (st.dwCurrentState != wanted) {
        if (limit != 0xFFFFFFFF && GetTickCount() - start >= limit) {
            SetLastError(ERROR_TIMEOUT);
            return FALSE;
        }
        if (!first && st.dwCurrentState == lastState && st.dwCheckPoint == lastCheck) return FALSE;
        first = false;
        lastState = st.dwCurrentState;
        lastCheck = st.dwCheckPoint;
        Sleep(st.dwWaitHint ? (st.dwWaitHint < 1000 ? st.dwWaitHint : 1000) : 10);
        if (!QueryServiceStatus(service, &st)) return FALSE;
    }
    if (wanted == SERVICE_RUNNING) {
        for (;;) {
            if (ControlService(service, SERVICE_CONTROL_INTERROGATE, &st) && st.dwCurrentState == SERVICE_RUNNING)
                break;
            // Drivers are not interrogated; their status says enough.
            if (QueryServiceStatus(service, &st) && st.dwCurrentState == SERVICE_RUNNING &&
                (st.dwServiceType & SERVICE_DRIVER))
                break;
            if (limit != 0xFFFFFFFF && GetTickCount() - start >= limit) {
                SetLastError(ERROR_TIMEOUT);
                return FALSE;
            }
            Sleep(st.dwWaitHint > 500 ? st.dwWaitHint : 500);
        }
    }
    return TRUE;
}

// The system's text for an error code, or the code itself when the system
// has none.
static void system_message(DWORD code, char *text, DWORD size)
{
    if (!text || !size) return;
    if (!FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, size,
                        nullptr) || !text[0])
        snprintf(text, size, "The MURNAK device cannot be used (error %u).", (unsigned)code);
    // The system's texts end in a line break a message box does not need.
    for (size_t n = strlen(text); n && (text[n - 1] == '\n' || text[n - 1] == '\r'); --n) text[n - 1] = 0;
}

static BOOL start_service(const char *name, BOOL create, char *error, DWORD errorSize)
{
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, create ? SC_MANAGER_ALL_ACCESS : SC_MANAGER_CONNECT);
    if (!manager) goto fail;
    {
        SC_HANDLE service = OpenServiceA(manager, name, SERVICE_START | SERVICE_QUERY_STATUS | SERVICE_INTERROGATE);
        if (!service && create) {
            char format[MAX_PATH], path[MAX_PATH];
            snprintf(format, sizeof format, "%%SystemRoot%%\\System32\\drivers\\%s.sys", name);
            ExpandEnvironmentStringsA(format, path, sizeof path);
            service = CreateServiceA(manager, name, name, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
                                     SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, path, nullptr, nullptr, nullptr,
                                     nullptr, nullptr);
        }
        if (!service) {
            CloseServiceHandle(manager);
            goto fail;
        }
        BOOL ok = StartServiceA(service, 0, nullptr) || GetLastError() == ERROR_SERVICE_ALREADY_RUNNING;
        if (ok) ok = WaitServiceState(service, SERVICE_RUNNING, 10000);
        DWORD e = GetLastError();
        CloseServiceHandle(service);
        CloseServiceHandle(manager);
        SetLastError(e);
        if (ok) return TRUE;
    }
fail:
    if (error) system_message(GetLastError(), error, errorSize);
    return FALSE;
}

static HANDLE OpenDriverDevice(const char *name, char *error, DWORD errorSize)
{
    start_service(name, TRUE, error, errorSize);
    char path[64];
    snprintf(path, sizeof path, "\\\\.\\%s", name);
    HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) system_message(GetLastError(), error, errorSize);
    return h;
}

static BOOL warnings_silenced()
{
    return FindResourceA(GetModuleHandleA(nullptr), "NOWARNING", "PIXMOOR") != nullptr;
}

static void version_box()
{
    if (!(GetAsyncKeyState(VK_CAPITAL) & 0x8000)) return;
    DWORD build = 0;
    char file[MAX_PATH];
    GetModuleFileNameA(g_quadrel.module, file, MAX_PATH);
    DWORD dummy, size = GetFileVersionInfoSizeA(file, &dummy);
    if (size) {
        void *data = HeapAlloc(GetProcessHeap(), 0, size);
        VS_FIXEDFILEINFO *info;
        UINT len;
        if (data && GetFileVersionInfoA(file, 0, size, data) && VerQueryValueA(data, "\\", (void **)&info, &len))
            build = HIWORD(info->dwFileVersionLS);
        HeapFree(GetProcessHeap(), 0, data);
    }
    char text[128];
    snprintf(text, sizeof text, "Quadrel Build #%d\r\nMurnak Driver Build #%d", (int)build, (int)g_quadrel.build);
    MessageBoxA(nullptr, text, "Version Info", MB_OK);
}

static void attach()
{
    detect_backplanes();
    start_service("quadctl", FALSE, nullptr, 0);
    char error[512] = "";
    g_quadrel.device = OpenDriverDevice(MURNAK_DEVICE_NAME, error, sizeof error);
    if (g_quadrel.device == INVALID_HANDLE_VALUE) {
        if (!warnings_silenced()) MessageBoxA(nullptr, error, "Error", MB_OK | MB_TASKMODAL);
        g_quadrel.build = 0;
        version_box();
        return;
    }
    DWORD build = 0;
    murnak_ioctl(IOCTL_MURNAK_BUILD, nullptr, 0, &build, sizeof build);
    if (build == MURNAK_REQUIRED_BUILD) {
        DWORD count = 0;
        if (murnak_ioctl(IOCTL_MURNAK_BOARD_COUNT, nullptr, 0, &count, sizeof count)) g_quadrel.boards = count;
    } else {
        CloseHandle(g_quadrel.device);
        g_quadrel.device = INVALID_HANDLE_VALUE;
        if (!warnings_silenced())
            MessageBoxA(nullptr, "Incorrect MURNAK.SYS version",
                        "Newer drivers are on the Quadrel driver disk and the maker's support site", MB_OK);
    }
    g_quadrel.build = build;
    version_box();
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void *)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_quadrel.module = instance;
        DisableThreadLibraryCalls(instance);
        attach();
    } else if (reason == DLL_PROCESS_DETACH) {
        if (g_quadrel.device != INVALID_HANDLE_VALUE) CloseHandle(g_quadrel.device);
        g_quadrel.device = INVALID_HANDLE_VALUE;
    }
    return TRUE;
}

extern "C" LONG WINAPI GetNumBoards(void)
{
    return (LONG)g_quadrel.boards;
}

extern "C" LONG PIXAPI GetNameOfBoard(FrameBufferRecord *record, LONG_PTR buffer, LONG_PTR size)
{
    if (!record || !buffer || size <= 0) return 0;
    return snprintf((char *)buffer, (size_t)size, g_quadrel.format[record->board & 3], (int)g_quadrel.build);
}
