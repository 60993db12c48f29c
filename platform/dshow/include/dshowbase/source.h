// Push source filter: one streaming thread per output pin.
//
// A derived filter adds its output pins with AddStream and provides the
// hooks.  On Pause from Stopped every connected pin gets a thread that sends
// NewSegment, then loops: take a buffer from the pin's allocator, call
// FillSample, deliver.  FillSample answering S_FALSE ends the stream
// (EndOfStream is delivered and the thread waits to be stopped); a failure
// posts EC_ERRORABORT and ends the stream as well.  Stop ends the threads.
//
// Seeking: every output pin answers IMediaSeeking in TIME_FORMAT_MEDIA_TIME
// (100 ns units).  A seek flushes every pin downstream, stops the threads,
// calls OnSeek with the new start, ends the flush and restarts the threads,
// which send a NewSegment for the new start.  A seek with the same position
// arriving again before any new sample was sent (the same seek reaching the
// filter through several pins) is done once.  Starts before 0 (also through
// a relative seek) are refused.
//
// Rate: FillSample stamps samples in media time relative to the segment
// start; the base divides those times by the rate before delivery, so a
// rate of 2 plays the media twice as fast.  A rate change while streaming
// goes on from the media time the streams have reached: what was sent keeps
// its times and later samples follow at the new rate, with no flush.  Rates
// of 0 or below are refused.
//
// Threads: FillSample runs on the pin's streaming thread and must not take
// the filter lock (Stop holds it while waiting for the thread); the
// streaming position/seek values are only changed while the threads are
// stopped.
#pragma once
#include "filter.h"

namespace dsb {

class SourceFilter;
class SourceSeeking;

class SourceFilter : public BaseFilter {
public:
    SourceFilter(const CLSID& clsid, IUnknown* outer);
    ~SourceFilter() override;

    // Adds an output pin (owned by the filter); its index is the order of
    // calls.  E_OUTOFMEMORY when it cannot be made.
    HRESULT AddStream(const WCHAR* name, OutputPin** pin = nullptr);
    OutputPin* Stream(int index) const;
    int StreamCount() const { return (int)streams_.size(); }

    // ---- hooks ----
    // Types offered on |pin| (index |stream|) and accepted there.
    virtual HRESULT GetMediaType(int stream, int pos, AM_MEDIA_TYPE* mt) = 0;
    virtual HRESULT CheckMediaType(int stream, const AM_MEDIA_TYPE* mt);  // default: equals a GetMediaType offer
    virtual HRESULT DecideBufferSize(int stream, IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) = 0;
    // Streaming thread: fill |sample| (data, length, times, flags).  S_OK
    // delivers, S_FALSE ends the stream, failure aborts it.
    virtual HRESULT FillSample(int stream, IMediaSample* sample) = 0;
    // Streaming thread, before the first and after the last FillSample.
    virtual HRESULT OnThreadStart(int stream) { (void)stream; return S_OK; }
    virtual void OnThreadStop(int stream) { (void)stream; }
    // Threads stopped: move the read position to |start| (100 ns units,
    // stream time).  Called under the filter lock.
    virtual HRESULT OnSeek(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
        (void)start; (void)stop; (void)rate;
        return S_OK;
    }
    // Total length (100 ns units) for IMediaSeeking; E_NOTIMPL by default.
    virtual HRESULT GetDuration(REFERENCE_TIME* duration) { (void)duration; return E_NOTIMPL; }

    // Current segment: start, stop, rate (as set by the last seek).  Any
    // thread; they take only the segment lock, never the filter lock, since
    // renderers ask from their streaming threads while Stop holds it.
    REFERENCE_TIME SeekStart() const { AutoLock l(segLock_); return segStart_; }
    REFERENCE_TIME SeekStop() const { AutoLock l(segLock_); return segStop_; }
    double SeekRate() const { AutoLock l(segLock_); return segRate_; }
    // Performs a seek (what IMediaSeeking::SetPositions on any pin does).
    HRESULT Seek(REFERENCE_TIME start, REFERENCE_TIME stop, bool setStart, bool setStop);
    HRESULT SetRate(double rate);

    // BaseFilter
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT PinCheckMediaType(Pin* pin, const AM_MEDIA_TYPE* mt) override;
    HRESULT PinGetMediaType(Pin* pin, int pos, AM_MEDIA_TYPE* mt) override;
    HRESULT PinDecideBufferSize(Pin* pin, IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) override;
    HRESULT PinQueryInterface(Pin* pin, REFIID riid, void** ppv) override;
    HRESULT OnActivate() override;
    HRESULT OnDeactivate() override;

private:
    struct StreamState;
    static DWORD WINAPI ThreadMain(void* param);
    void RunStream(StreamState* s);
    int IndexOf(Pin* pin) const;
    HRESULT StartThreads();
    void StopThreads();
    friend class SourceSeeking;

    // Stream time of a sample whose media time is |media| (segment lock held).
    REFERENCE_TIME StreamTimeOf(REFERENCE_TIME media) const;
    // Rescales a filled sample's times by the rate and notes how far the
    // media has been sent (streaming thread).
    void ApplyRate(IMediaSample* sample);
    void ResetRateAnchor();  // segment lock held

    std::vector<StreamState*> streams_;
    REFERENCE_TIME segStart_ = 0;
    REFERENCE_TIME segStop_ = 0x7fffffffffffffffLL;
    double segRate_ = 1.0;
    // The rate mapping: media time anchorMedia_ is at stream time
    // anchorStream_; from there stream time runs media time / rate.
    REFERENCE_TIME anchorMedia_ = 0;
    REFERENCE_TIME anchorStream_ = 0;
    REFERENCE_TIME reached_ = -1;  // furthest media time sent; -1: none yet
    mutable CritSec segLock_;  // guards the segment and rate values
    volatile LONG sentSinceSeek_ = 0;
    bool seekedOnce_ = false;
};

}  // namespace dsb
