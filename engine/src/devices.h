/*
 * Capture-device lists (GetDeviceLists) and the capture sources' shared
 * device table.  Host thread.
 */
#ifndef CORVENGINE_DEVICES_H
#define CORVENGINE_DEVICES_H

#include <windows.h>
#include <strmif.h>
#include "engine.h"

int EngineBuildDeviceLists();          /* returns the audio list's length */
/* The lists from the friendly names of nv video and na audio devices (in
 * enumeration order): DV devices of one name numbered, DV devices added to
 * the audio list.  Returns the audio list's length. */
int EngineNameDevices(const char (*video)[ENGINE_TEXT], int nv, const char (*audio)[ENGINE_TEXT], int na);
void EngineFreeDeviceLists();
/* Index of the first video / audio entry named exactly name, or -1. */
int EngineFindVideoDevice(const char *name);
int EngineFindAudioDevice(const char *name);
/* Audio capture filter for audio-list entry n. */
HRESULT EngineCreateAudioCapture(int n, IBaseFilter **out);
/* Shared device table: which channel uses audio device n (-1 none). */
int EngineAudioDeviceUser(int n);
void EngineAudioDeviceInUse(int n, int channel);
/* Mark audio device n as used by channel unless another holds it; whether
 * it was free (one step, so two sources never both take it). */
bool EngineClaimAudioDevice(int n, int channel);
void EngineResetDeviceTable();

#endif
