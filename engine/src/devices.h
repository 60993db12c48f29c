/*
 * Capture-device lists (GetDeviceLists) and the capture sources' shared
 * device table.  Host thread.
 */
#ifndef CORVENGINE_DEVICES_H
#define CORVENGINE_DEVICES_H

#include <windows.h>
#include <strmif.h>

int EngineBuildDeviceLists();          /* returns the audio list's length */
void EngineFreeDeviceLists();
/* Index of the first video / audio entry named exactly name, or -1. */
int EngineFindVideoDevice(const char *name);
int EngineFindAudioDevice(const char *name);
/* Audio capture filter for audio-list entry n. */
HRESULT EngineCreateAudioCapture(int n, IBaseFilter **out);
/* Shared device table: which channel uses audio device n (-1 none). */
int EngineAudioDeviceUser(int n);
void EngineAudioDeviceInUse(int n, int channel);
void EngineResetDeviceTable();

#endif
