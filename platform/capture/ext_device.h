/*
 * The external-device interfaces of a DV camcorder's driver (tape transport
 * and timecode reader) and the VfW capture dialogs' kinds: Wine's headers
 * only name them.  Method order is the interfaces' published one.  Used by
 * the engine's capture source and by the camcorder of Capdevs.ax.
 */
#ifndef CORVENGINE_EXT_DEVICE_H
#define CORVENGINE_EXT_DEVICE_H

#include <windows.h>
#include <strmif.h>

static const GUID IID_IAMExtTransport_Corv =
    {0xa03cd5f0, 0x3045, 0x11cf, {0x8c, 0x44, 0x00, 0xaa, 0x00, 0x6b, 0x68, 0x14}};
static const GUID IID_IAMTimecodeReader_Corv =
    {0x9b496ce1, 0x811b, 0x11cf, {0x8c, 0x77, 0x00, 0xaa, 0x00, 0x6b, 0x68, 0x14}};

enum {
    EXT_BASE = 0x1000,
    EXT_DEVCAP_TIMECODE_READ = EXT_BASE + 25,
    EXT_MODE_PLAY = EXT_BASE + 200, EXT_MODE_STOP = EXT_BASE + 201, EXT_MODE_FREEZE = EXT_BASE + 202,
    EXT_MODE_FF = EXT_BASE + 204, EXT_MODE_REW = EXT_BASE + 205,
    EXT_MODE_PLAY_FASTEST_FWD = EXT_BASE + 933, EXT_MODE_PLAY_FASTEST_REV = EXT_BASE + 935,
};

enum { VFW_DIALOG_SOURCE = 1, VFW_DIALOG_FORMAT = 2, VFW_DIALOG_DISPLAY = 4 };

struct ExtTimecode {
    WORD frameRate;
    WORD frameFraction;
    DWORD frames;        /* packed decimal hh mm ss ff */
};

struct ExtTimecodeSample {
    LONGLONG tick;
    ExtTimecode timecode;
    DWORD user;
    DWORD flags;
};

struct IExtTransport : public IUnknown {
    virtual HRESULT WINAPI GetCapability(long capability, long *value, double *dblValue) = 0;
    virtual HRESULT WINAPI put_MediaState(long state) = 0;
    virtual HRESULT WINAPI get_MediaState(long *state) = 0;
    virtual HRESULT WINAPI put_LocalControl(long state) = 0;
    virtual HRESULT WINAPI get_LocalControl(long *state) = 0;
    virtual HRESULT WINAPI GetStatus(long item, long *value) = 0;
    virtual HRESULT WINAPI GetTransportBasicParameters(long param, long *setting, LPOLESTR *text) = 0;
    virtual HRESULT WINAPI SetTransportBasicParameters(long param, long setting, LPCOLESTR text) = 0;
    virtual HRESULT WINAPI GetTransportVideoParameters(long param, long *value) = 0;
    virtual HRESULT WINAPI SetTransportVideoParameters(long param, long value) = 0;
    virtual HRESULT WINAPI GetTransportAudioParameters(long param, long *value) = 0;
    virtual HRESULT WINAPI SetTransportAudioParameters(long param, long value) = 0;
    virtual HRESULT WINAPI put_Mode(long mode) = 0;
    virtual HRESULT WINAPI get_Mode(long *mode) = 0;
};

struct IExtTimecodeReader : public IUnknown {
    virtual HRESULT WINAPI GetTCRMode(long param, long *value) = 0;
    virtual HRESULT WINAPI SetTCRMode(long param, long value) = 0;
    virtual HRESULT WINAPI put_VITCLine(long line) = 0;
    virtual HRESULT WINAPI get_VITCLine(long *line) = 0;
    virtual HRESULT WINAPI GetTimecode(ExtTimecodeSample *sample) = 0;
};

#endif
