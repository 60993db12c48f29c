// Remote control of decks through the board device, and the video-effects
// device of a Pallaset backplane.
#include "quadrel.h"
#include <string.h>

HANDLE open_effects_device(DWORD backplane)
{
    if (backplane > 3 || !g_quadrel.adapter[backplane][0]) return INVALID_HANDLE_VALUE;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, g_quadrel.adapter[backplane], 0, KEY_READ, &key))
        return INVALID_HANDLE_VALUE;
    char name[256] = { 0 };
    DWORD type = 0, size = 255;
    LONG r = RegQueryValueExA(key, "VideoEffectsDevice", nullptr, &type, (BYTE *)name, &size);
    RegCloseKey(key);
    if (r || type != REG_SZ) return INVALID_HANDLE_VALUE;
    name[size < 255 ? size : 255] = 0;
    if (!lstrcmpA(name, "NULL") || !name[0]) return INVALID_HANDLE_VALUE;
    char path[272];
    lstrcpyA(path, "\\\\.\\");
    lstrcatA(path, name);
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
}

void effects_request(HANDLE device, DWORD code, void *in, DWORD inLen)
{
    if (device == INVALID_HANDLE_VALUE) return;
    // An overlapped handle: wait for the request here.
    OVERLAPPED ov = {};
    ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD got = 0;
    if (!DeviceIoControl(device, code, in, inLen, nullptr, 0, &got, &ov) && GetLastError() == ERROR_IO_PENDING)
        GetOverlappedResult(device, &ov, &got, TRUE);
    if (ov.hEvent) CloseHandle(ov.hEvent);
}

static DWORD control_request(DWORD code, const DWORD *in, DWORD count)
{
    DWORD out = 0;
    if (!murnak_ioctl(code, in, 4 * count, &out, sizeof out)) return 0;
    return out;
}

extern "C" {

LONG PIXAPI DisableControl(RemoteControlRecord *record)
{
    if (!record || g_quadrel.device == INVALID_HANDLE_VALUE) return 0;
    DWORD in[1] = { record->device };
    LONG r = (LONG)murnak_ioctl(IOCTL_MURNAK_RC_DISABLE, in, sizeof in, nullptr, 0);
    RC_SLOT(record, RCW_DISABLE) = nullptr;
    RC_SLOT(record, RCW_SETUP) = nullptr;
    RC_SLOT(record, RCW_SETUP_AT_TIME) = nullptr;
    return r;
}

LONG PIXAPI SetupControl(RemoteControlRecord *record, LONG_PTR a, LONG_PTR b)
{
    if (!record) return 0;
    DWORD in[3] = { record->device, (DWORD)a, (DWORD)b };
    return (LONG)control_request(IOCTL_MURNAK_RC_SETUP, in, 3);
}

LONG PIXAPI ClearControlCutlist(RemoteControlRecord *record)
{
    if (!record) return 0;
    DWORD in[1] = { record->device };
    return (LONG)control_request(IOCTL_MURNAK_CUT_CLEAR, in, 1);
}

LONG PIXAPI AddControlCutlist(RemoteControlRecord *record, LONG_PTR a, LONG_PTR b, LONG_PTR c)
{
    if (!record) return 0;
    DWORD in[4] = { record->device, (DWORD)a, (DWORD)b, (DWORD)c };
    return (LONG)control_request(IOCTL_MURNAK_CUT_ADD, in, 4);
}

LONG PIXAPI PlayControlCutlist(RemoteControlRecord *record)
{
    if (!record) return 0;
    DWORD in[1] = { record->device };
    return (LONG)control_request(IOCTL_MURNAK_CUT_PLAY, in, 1);
}

LONG WINAPI EnableControl(RemoteControlRecord *record)
{
    if (!record || g_quadrel.device == INVALID_HANDLE_VALUE) return 0;
    DWORD in[1] = { record->device };
    if (!control_request(IOCTL_MURNAK_RC_ENABLE, in, 1)) return 0;
    RC_SLOT(record, RCW_DISABLE) = (void *)DisableControl;
    RC_SLOT(record, RCW_SETUP) = (void *)SetupControl;
    RC_SLOT(record, RCW_CLEAR_CUTLIST) = (void *)ClearControlCutlist;
    RC_SLOT(record, RCW_ADD_CUTLIST) = (void *)AddControlCutlist;
    RC_SLOT(record, RCW_PLAY_CUTLIST) = (void *)PlayControlCutlist;
    return 1;
}

} // extern "C"
