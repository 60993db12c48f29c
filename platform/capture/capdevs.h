// Internal header of Capdevs.ax: the capture devices a PC would list (a
// test-pattern camera, a tone microphone) and the colour converter.
#pragma once
#include <windows.h>
#include <strmif.h>
#include <uuids.h>
#include <amvideo.h>
#include <mmreg.h>
#include <new>
#include <vector>

#include "dshowbase/dshowbase.h"
#include "capdevs_ids.h"

namespace capdevs {

extern dsb::TraceChannel ch;

// A live capture source with one output pin whose category is "capture"
// (answered through IKsPropertySet) and whose formats are offered and
// chosen through IAMStreamConfig.  Samples are made when they are due on
// the graph's clock while the graph runs, stamped with the stream time at
// which they were made.
class LiveSource : public dsb::SourceFilter {
public:
    LiveSource(const CLSID& clsid, IUnknown* outer);
    ~LiveSource() override;

    // ---- what a device provides ----
    // Formats offered (index 0 is the default).
    virtual int FormatCount() const = 0;
    virtual HRESULT MakeFormat(int index, AM_MEDIA_TYPE* mt) const = 0;
    // Stream-config capabilities of format index (VIDEO_ or AUDIO_STREAM_CONFIG_CAPS).
    virtual int CapsSize() const = 0;
    virtual void MakeCaps(int index, BYTE* caps) const = 0;
    // Length in 100 ns units of one sample of the current format.
    virtual REFERENCE_TIME SampleDuration() const = 0;
    // Fill the sample's bytes for sample number n of the current format.
    virtual HRESULT Render(LONGLONG n, BYTE* data, LONG size, LONG* actual) = 0;
    virtual LONG SampleBytes() const = 0;

    // The current format (the default until SetFormat or a connection).
    const AM_MEDIA_TYPE& Current() const { return current_; }
    HRESULT SetCurrent(const AM_MEDIA_TYPE* mt);
    LONGLONG SamplesMade() const { return made_; }

    // SourceFilter
    HRESULT GetMediaType(int stream, int pos, AM_MEDIA_TYPE* mt) override;
    HRESULT CheckMediaType(int stream, const AM_MEDIA_TYPE* mt) override;
    HRESULT DecideBufferSize(int stream, IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) override;
    HRESULT FillSample(int stream, IMediaSample* sample) override;
    HRESULT OnThreadStart(int stream) override;
    HRESULT PinQueryInterface(dsb::Pin* pin, REFIID riid, void** ppv) override;
    HRESULT PinCompleteConnect(dsb::Pin* pin, IPin* peer) override;
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Pause() override;
    // Paused, a live source sends nothing: the graph must not wait for it.
    HRESULT STDMETHODCALLTYPE GetState(DWORD timeoutMs, FILTER_STATE* state) override;

protected:
    HRESULT Init(const WCHAR* pinName);

private:
    class PinExtras;
    PinExtras* extras_ = nullptr;
    dsb::CritSec formatLock_;
    AM_MEDIA_TYPE current_ = {};
    HANDLE halt_ = nullptr;     // set by Stop: a waiting FillSample ends
    volatile LONGLONG made_ = 0;
    REFERENCE_TIME nextDue_ = 0;   // streaming thread
    DWORD lastTick_ = 0;           // without a clock: when the last sample went
    bool fresh_ = true;            // no sample yet since the graph left Stopped
};

// The test-pattern camera (also the picture of the camcorder).
class Camera;

// Makes a filter of type T and starts it: the object, or the reason it
// could not start (nothing is left behind).
template <class T>
HRESULT CreateStarted(IUnknown* outer, dsb::ComObject** obj) {
    auto* f = new (std::nothrow) T(outer);
    if (!f) return E_OUTOFMEMORY;
    HRESULT hr = f->Start();
    if (FAILED(hr)) { delete f; return hr; }
    *obj = f;
    return S_OK;
}

HRESULT CreateCamera(IUnknown* outer, dsb::ComObject** obj);
HRESULT CreateCamcorder(IUnknown* outer, dsb::ComObject** obj);
HRESULT CreateMicrophone(IUnknown* outer, dsb::ComObject** obj);
HRESULT CreateColourConverter(IUnknown* outer, dsb::ComObject** obj);
HRESULT CreateDvSplitter(IUnknown* outer, dsb::ComObject** obj);
HRESULT CreateDvVideoDecoder(IUnknown* outer, dsb::ComObject** obj);

// The camera's picture for frame n at width x height (bottom-up BGR rows,
// each padded to 4 bytes): eight colour bars moving 4 pixels a frame to
// the right, over a strip at the bottom eighth showing n in 16 binary
// cells (white 1, black 0, most significant bit left).
void RenderPattern(LONGLONG n, int width, int height, BYTE* dib);
// The frame number a picture of that pattern shows (top-down 32-bit rows
// as a surface holds them), or -1 when the strip is not readable.
LONGLONG ReadPatternCounter(const DWORD* pixels, int width, int height, int pitchPixels);

}  // namespace capdevs
