// Base filter and its pins.
//
// A filter owns its pins (created once, deleted with the filter) and answers
// the pins' questions through a few virtual hooks with sensible defaults.
// Pins have no reference count of their own: AddRef/Release on a pin counts
// on the filter, so a pin lives exactly as long as its filter.
//
// Locks:
//   FilterLock()  state changes, connections, pin lists, the clock.  Taken by
//                 application threads; never by a streaming thread.
//   StreamLock()  one sample at a time: held by InputPin::Receive and
//                 EndOfStream/NewSegment around the hooks, and by Stop while
//                 the filter finishes streaming.
// Stop order: inputs stop accepting, outputs decommit their allocators (this
// unblocks GetBuffer), then OnDeactivate runs.
#pragma once
#include <windows.h>
#include <strmif.h>
#include <control.h>
#include <vfwmsgs.h>
#include <uuids.h>
#include <vector>
#include "lock.h"
#include "mediatype.h"
#include "unknown.h"

namespace dsb {

class Pin;
class InputPin;
class OutputPin;

class BaseFilter : public IBaseFilter, public ComObject {
public:
    BaseFilter(const CLSID& clsid, IUnknown* outer);
    ~BaseFilter() override;

    DSB_DELEGATE_IUNKNOWN
    // IUnknown, IPersist, IMediaFilter, IBaseFilter.
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IPersist
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override;
    // IMediaFilter
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Pause() override;
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override;
    HRESULT STDMETHODCALLTYPE GetState(DWORD timeoutMs, FILTER_STATE* state) override;
    HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* clock) override;
    HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** clock) override;
    // IBaseFilter
    HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** e) override;
    HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** pin) override;
    HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* info) override;
    HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
    HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR* info) override;

    // Pins in enumeration order.  AddPin takes ownership (the filter deletes
    // its pins); call it only while building the filter.
    void AddPin(Pin* pin);
    int PinCount() const { return (int)pins_.size(); }
    Pin* GetPin(int index) const;

    CritSec& FilterLock() { return filterLock_; }
    CritSec& StreamLock() { return streamLock_; }
    FILTER_STATE State() const { return state_; }
    // Stream time zero in reference-clock time (from Run); 100 ns units.
    REFERENCE_TIME StartTime() const { return start_; }
    // The graph's clock or null; no reference is added.
    IReferenceClock* Clock() const { return clock_; }
    // The graph this filter joined (not counted) or null.
    IFilterGraph* Graph() const { return graph_; }
    // Posts an event to the graph's IMediaEventSink; E_NOTIMPL without one.
    HRESULT NotifyEvent(LONG code, LONG_PTR p1, LONG_PTR p2);

    // ---- hooks for pins (called with the locks noted) ----
    // Accept a media type on |pin|: S_OK accepts; a failure code is returned
    // to the connecting caller as-is (S_FALSE becomes VFW_E_TYPE_NOT_ACCEPTED).
    virtual HRESULT PinCheckMediaType(Pin* pin, const AM_MEDIA_TYPE* mt);
    // Offer type |pos| (0-based) on |pin|: S_OK with *mt filled (caller frees
    // with FreeMediaType), VFW_S_NO_MORE_ITEMS past the end.
    virtual HRESULT PinGetMediaType(Pin* pin, int pos, AM_MEDIA_TYPE* mt);
    // Connection made (filter lock held); a failure undoes the connection.
    virtual HRESULT PinCompleteConnect(Pin* pin, IPin* peer);
    // Connection broken (filter lock held).
    virtual void PinBreakConnect(Pin* pin);
    // Output pins: set buffer count and size on |alloc| (filter lock held).
    // |props| holds the downstream pin's requirements (may be zero).
    virtual HRESULT PinDecideBufferSize(Pin* pin, IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props);
    // Input pins: a sample arrived (stream lock held, filter running/paused).
    virtual HRESULT PinReceive(Pin* pin, IMediaSample* sample);
    // Input pins (stream lock held): default passes on to every connected output.
    virtual HRESULT PinEndOfStream(Pin* pin);
    virtual HRESULT PinNewSegment(Pin* pin, REFERENCE_TIME start, REFERENCE_TIME stop, double rate);
    // Input pins (filter lock held): default passes on to every connected output.
    virtual HRESULT PinBeginFlush(Pin* pin);
    virtual HRESULT PinEndFlush(Pin* pin);
    // Extra interfaces of a pin (IMediaSeeking, ...): E_NOINTERFACE by default.
    virtual HRESULT PinQueryInterface(Pin* pin, REFIID riid, void** ppv);
    // Pin's QueryInternalConnections: E_NOTIMPL by default.
    virtual HRESULT PinQueryInternalConnections(Pin* pin, IPin** pins, ULONG* count);

    // ---- hooks for state changes (filter lock held) ----
    // Stopped -> Paused, after output pins committed their allocators.
    virtual HRESULT OnActivate() { return S_OK; }
    // -> Stopped, after inputs stopped accepting and outputs decommitted.
    virtual HRESULT OnDeactivate() { return S_OK; }
    // Paused -> Running, with the stream-time origin.
    virtual HRESULT OnRun(REFERENCE_TIME start) { (void)start; return S_OK; }
    // Running -> Paused.
    virtual HRESULT OnPauseFromRun() { return S_OK; }

protected:
    CritSec filterLock_;
    CritSec streamLock_;

private:
    CLSID clsid_;
    FILTER_STATE state_ = State_Stopped;
    REFERENCE_TIME start_ = 0;
    IReferenceClock* clock_ = nullptr;
    IFilterGraph* graph_ = nullptr;
    IMediaEventSink* sink_ = nullptr;  // not counted: the graph owns us
    WCHAR name_[MAX_FILTER_NAME] = {};
    std::vector<Pin*> pins_;
};

// Common part of input and output pins.  Name and identifier are the same.
class Pin : public IPin {
public:
    Pin(BaseFilter* filter, PIN_DIRECTION dir, const WCHAR* name);
    virtual ~Pin();
    Pin(const Pin&) = delete;
    Pin& operator=(const Pin&) = delete;

    // IUnknown: counts on the filter; answers IUnknown, IPin and the
    // filter's PinQueryInterface.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IPin (Connect / ReceiveConnection / Disconnect in the subclasses)
    HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) override;
    HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* mt) override;
    HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) override;
    HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* dir) override;
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) override;
    HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* mt) override;
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** e) override;
    HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin** pins, ULONG* count) override;
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

    BaseFilter* Filter() const { return filter_; }
    PIN_DIRECTION Direction() const { return dir_; }
    const WCHAR* Name() const { return name_; }
    bool IsConnected() const { return peer_ != nullptr; }
    // The connected pin (not counted) or null.
    IPin* Peer() const { return peer_; }
    // The connection's media type (valid while connected).
    const AM_MEDIA_TYPE& CurrentType() const { return mt_; }
    // Last NewSegment values (start, stop, rate).
    REFERENCE_TIME SegmentStart() const { return segStart_; }
    REFERENCE_TIME SegmentStop() const { return segStop_; }
    double SegmentRate() const { return segRate_; }

    // State changes, called by the filter under its lock.
    virtual HRESULT Active() { return S_OK; }
    virtual HRESULT Inactive() { return S_OK; }

protected:
    void SetConnection(IPin* peer, const AM_MEDIA_TYPE* mt);  // null peer clears
    BaseFilter* filter_;
    PIN_DIRECTION dir_;
    WCHAR name_[MAX_PIN_NAME] = {};
    IPin* peer_ = nullptr;  // counted reference while connected
    MediaType mt_;
    // Guards peer_ and mt_ for the queries other filters make from their
    // own threads (ConnectedTo, ConnectionMediaType): those must not wait
    // for the filter lock, which Stop holds while it waits for streaming.
    CritSec connLock_;
    REFERENCE_TIME segStart_ = 0, segStop_ = 0x7fffffffffffffffLL;
    double segRate_ = 1.0;
};

// Input pin with IMemInputPin.  Receive rejects samples while stopped
// (VFW_E_WRONG_STATE), flushing (S_FALSE) or after end of stream
// (VFW_E_SAMPLE_REJECTED_EOS); otherwise it calls the filter's PinReceive
// with the stream lock held.
class InputPin : public Pin, public IMemInputPin {
public:
    InputPin(BaseFilter* filter, const WCHAR* name);
    ~InputPin() override;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return Pin::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return Pin::Release(); }

    // IPin
    HRESULT STDMETHODCALLTYPE Connect(IPin* receiver, const AM_MEDIA_TYPE* mt) override;
    HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mt) override;
    HRESULT STDMETHODCALLTYPE Disconnect() override;
    HRESULT STDMETHODCALLTYPE EndOfStream() override;
    HRESULT STDMETHODCALLTYPE BeginFlush() override;
    HRESULT STDMETHODCALLTYPE EndFlush() override;
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;
    // IMemInputPin
    HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** alloc) override;
    HRESULT STDMETHODCALLTYPE NotifyAllocator(IMemAllocator* alloc, BOOL readOnly) override;
    HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) override;
    HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override;
    HRESULT STDMETHODCALLTYPE ReceiveMultiple(IMediaSample** samples, LONG count, LONG* done) override;
    HRESULT STDMETHODCALLTYPE ReceiveCanBlock() override;

    // The allocator upstream chose (not counted) or null.
    IMemAllocator* Allocator() const { return alloc_; }
    bool ReadOnly() const { return readOnly_; }
    bool Flushing() const { return flushing_; }
    bool AtEndOfStream() const { return eos_; }

    HRESULT Active() override;
    HRESULT Inactive() override;

private:
    IMemAllocator* alloc_ = nullptr;
    bool readOnly_ = false;
    volatile bool flushing_ = false;
    volatile bool eos_ = false;
    volatile bool stopped_ = true;
};

// Output pin: connection with type negotiation and allocator choice (the
// downstream pin's allocator, else a new CLSID_MemoryAllocator), commit on
// activation, and delivery helpers for streaming threads.
class OutputPin : public Pin {
public:
    OutputPin(BaseFilter* filter, const WCHAR* name);
    ~OutputPin() override;

    // IPin
    HRESULT STDMETHODCALLTYPE Connect(IPin* receiver, const AM_MEDIA_TYPE* mt) override;
    HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mt) override;
    HRESULT STDMETHODCALLTYPE Disconnect() override;
    HRESULT STDMETHODCALLTYPE EndOfStream() override;
    HRESULT STDMETHODCALLTYPE BeginFlush() override;
    HRESULT STDMETHODCALLTYPE EndFlush() override;

    // The allocator in use (not counted) or null.
    IMemAllocator* Allocator() const { return alloc_; }

    // Streaming thread helpers.  Each answers VFW_E_NOT_CONNECTED when the
    // pin is unconnected.  GetDeliveryBuffer blocks until a buffer is free
    // and fails once the allocator is decommitted.
    HRESULT GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop, DWORD flags);
    HRESULT Deliver(IMediaSample* sample);
    HRESULT DeliverEndOfStream();
    HRESULT DeliverBeginFlush();
    HRESULT DeliverEndFlush();
    HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

    HRESULT Active() override;
    HRESULT Inactive() override;

private:
    HRESULT TryConnection(IPin* receiver, const AM_MEDIA_TYPE* mt);
    HRESULT DecideAllocator(IMemInputPin* input);
    IMemAllocator* alloc_ = nullptr;      // counted
    IMemInputPin* memInput_ = nullptr;    // counted while connected
};

}  // namespace dsb
