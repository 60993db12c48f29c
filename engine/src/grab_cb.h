/*
 * CGrabCB1: the file source's sample-grabber callback (one for video, one
 * for audio).  Reference counted, so it outlives its graph however long the
 * grabber keeps it; the owning source is reached only through the gate:
 * BufferCB holds it shared while it works, Detach takes it exclusively and
 * clears the owner, so after Detach returns no callback touches the source.
 */
#ifndef CORVENGINE_GRAB_CB_H
#define CORVENGINE_GRAB_CB_H

#include <windows.h>
#include <strmif.h>
#include <qedit.h>
#include <atomic>

class CDecoder;

class CGrabCB1 : public ISampleGrabberCB {
public:
    CGrabCB1(CDecoder *owner, short audio) : owner(owner), audioFlag(audio) {}
    virtual ~CGrabCB1() {}

    HRESULT WINAPI QueryInterface(REFIID iid, void **out) override;
    ULONG WINAPI AddRef() override { return ++refs; }
    ULONG WINAPI Release() override;
    HRESULT WINAPI SampleCB(double, IMediaSample *) override { return 0; }
    HRESULT WINAPI BufferCB(double time, BYTE *buffer, LONG length) override;

    /* Host thread: stop reaching the owner; waits for a running callback. */
    void Detach();

    std::atomic<unsigned> calls{0};
protected:
    std::atomic<ULONG> refs{1};
    SRWLOCK gate = SRWLOCK_INIT;
    CDecoder *owner;
    short audioFlag;
};

/* Test probe: when set, every audio buffer a file source's callback sees is
 * shown to it (channel, sample time, buffer, length).  Streaming threads. */
extern void (*g_engineAudioProbe)(int channel, double time, const BYTE *buffer, long length);

#endif
