#include "writers.h"

CWMTEncoder g_wmWriter;
CFLVWriter g_flvWriter;

static SRWLOCK writer_gate = SRWLOCK_INIT;

void EngineWritersLock() { AcquireSRWLockExclusive(&writer_gate); }
void EngineWritersUnlock() { ReleaseSRWLockExclusive(&writer_gate); }

void EngineDeliverAudio(DWORD ms, const BYTE *buffer, long length)
{
    AcquireSRWLockShared(&writer_gate);
    if (g_engine.encoderKind == ENCODER_WM)
        g_wmWriter.AudioSample(ms, 0, buffer, length);
    else if (g_engine.encoderKind == ENCODER_FLV)
        g_flvWriter.Audio(buffer, length, ms);
    ReleaseSRWLockShared(&writer_gate);
}

