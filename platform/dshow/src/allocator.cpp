#include "dshowbase/allocator.h"
#include "dshowbase/mediatype.h"
#include "dshowbase/trace.h"
#include "dshowbase/unknown.h"

#include <vfwmsgs.h>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <vector>

DSB_TRACE_CHANNEL(ch, "dshow");

namespace dsb {

namespace {

class Allocator;

// One buffer of the pool.  Its count is its own; at zero it goes back to
// the pool (the object lives as long as the pool's memory).
class Sample final : public IMediaSample2 {
public:
    Sample(Allocator* owner, BYTE* data, LONG size) : owner_(owner), data_(data), size_(size) {}

    void Reset() {
        ref_ = 1;
        flags_ = 0;
        typeFlags_ = 0;
        start_ = stop_ = 0;
        mediaStart_ = mediaStop_ = 0;
        mediaTimeSet_ = false;
        actual_ = size_;
        DeleteMediaType(type_);
        type_ = nullptr;
    }
    void Drop() {
        DeleteMediaType(type_);
        type_ = nullptr;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMediaSample) ||
            IsEqualIID(riid, IID_IMediaSample2)) {
            *ppv = static_cast<IMediaSample2*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&ref_); }
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE GetPointer(BYTE** p) override {
        if (!p) return E_POINTER;
        *p = data_;
        return S_OK;
    }
    LONG STDMETHODCALLTYPE GetSize() override { return size_; }
    HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) override {
        if (!start || !stop) return E_POINTER;
        if (!(flags_ & AM_SAMPLE_TIMEVALID)) return VFW_E_SAMPLE_TIME_NOT_SET;
        *start = start_;
        if (flags_ & AM_SAMPLE_STOPVALID) {
            *stop = stop_;
            return S_OK;
        }
        *stop = start_ + 1;
        return VFW_S_NO_STOP_TIME;
    }
    HRESULT STDMETHODCALLTYPE SetTime(REFERENCE_TIME* start, REFERENCE_TIME* stop) override {
        flags_ &= ~(AM_SAMPLE_TIMEVALID | AM_SAMPLE_STOPVALID);
        if (start) {
            start_ = *start;
            flags_ |= AM_SAMPLE_TIMEVALID;
            if (stop) {
                stop_ = *stop;
                flags_ |= AM_SAMPLE_STOPVALID;
            }
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsSyncPoint() override { return Flag(AM_SAMPLE_SPLICEPOINT); }
    HRESULT STDMETHODCALLTYPE SetSyncPoint(BOOL on) override { return SetFlag(AM_SAMPLE_SPLICEPOINT, on); }
    HRESULT STDMETHODCALLTYPE IsPreroll() override { return Flag(AM_SAMPLE_PREROLL); }
    HRESULT STDMETHODCALLTYPE SetPreroll(BOOL on) override { return SetFlag(AM_SAMPLE_PREROLL, on); }
    LONG STDMETHODCALLTYPE GetActualDataLength() override { return actual_; }
    HRESULT STDMETHODCALLTYPE SetActualDataLength(LONG n) override {
        if (n < 0 || n > size_) return VFW_E_BUFFER_OVERFLOW;
        actual_ = n;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMediaType(AM_MEDIA_TYPE** mt) override {
        if (!mt) return E_POINTER;
        *mt = nullptr;
        if (!type_) return S_FALSE;
        *mt = CreateMediaType(type_);
        return *mt ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE SetMediaType(AM_MEDIA_TYPE* mt) override {
        DeleteMediaType(type_);
        type_ = nullptr;
        flags_ &= ~AM_SAMPLE_TYPECHANGED;
        if (!mt) return S_OK;
        type_ = CreateMediaType(mt);
        if (!type_) return E_OUTOFMEMORY;
        flags_ |= AM_SAMPLE_TYPECHANGED;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsDiscontinuity() override { return Flag(AM_SAMPLE_DATADISCONTINUITY); }
    HRESULT STDMETHODCALLTYPE SetDiscontinuity(BOOL on) override { return SetFlag(AM_SAMPLE_DATADISCONTINUITY, on); }
    HRESULT STDMETHODCALLTYPE GetMediaTime(LONGLONG* start, LONGLONG* stop) override {
        if (!start || !stop) return E_POINTER;
        if (!mediaTimeSet_) return VFW_E_MEDIA_TIME_NOT_SET;
        *start = mediaStart_;
        *stop = mediaStop_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetMediaTime(LONGLONG* start, LONGLONG* stop) override {
        if (!start || !stop) {
            mediaTimeSet_ = false;
            return S_OK;
        }
        mediaStart_ = *start;
        mediaStop_ = *stop;
        mediaTimeSet_ = true;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetProperties(DWORD size, BYTE* out) override {
        if (!out) return E_POINTER;
        AM_SAMPLE2_PROPERTIES p = {};
        p.cbData = sizeof(p);
        p.dwTypeSpecificFlags = typeFlags_;
        p.dwSampleFlags = flags_;
        p.lActual = actual_;
        p.tStart = start_;
        p.tStop = stop_;
        p.dwStreamId = AM_STREAM_MEDIA;
        p.pMediaType = type_;
        p.pbBuffer = data_;
        p.cbBuffer = size_;
        if (size > sizeof(p)) size = sizeof(p);
        memcpy(out, &p, size);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetProperties(DWORD size, const BYTE* in) override {
        if (!in) return E_POINTER;
        AM_SAMPLE2_PROPERTIES p = {};
        if (size < offsetof(AM_SAMPLE2_PROPERTIES, pbBuffer)) return E_INVALIDARG;
        memcpy(&p, in, size < sizeof(p) ? size : sizeof(p));
        if (p.lActual < 0 || p.lActual > size_) return VFW_E_BUFFER_OVERFLOW;
        if (p.dwSampleFlags & AM_SAMPLE_TYPECHANGED) {
            HRESULT hr = SetMediaType(p.pMediaType);
            if (FAILED(hr)) return hr;
        }
        typeFlags_ = p.dwTypeSpecificFlags;
        flags_ = (p.dwSampleFlags & ~AM_SAMPLE_TYPECHANGED) | (flags_ & AM_SAMPLE_TYPECHANGED);
        actual_ = p.lActual;
        start_ = p.tStart;
        stop_ = p.tStop;
        return S_OK;
    }

private:
    HRESULT Flag(DWORD f) const { return (flags_ & f) ? S_OK : S_FALSE; }
    HRESULT SetFlag(DWORD f, BOOL on) {
        if (on) flags_ |= f;
        else flags_ &= ~f;
        return S_OK;
    }

    Allocator* owner_;
    BYTE* data_;
    LONG size_;
    LONG ref_ = 0;
    DWORD flags_ = 0, typeFlags_ = 0;
    REFERENCE_TIME start_ = 0, stop_ = 0;
    LONGLONG mediaStart_ = 0, mediaStop_ = 0;
    bool mediaTimeSet_ = false;
    LONG actual_ = 0;
    AM_MEDIA_TYPE* type_ = nullptr;
};

class Allocator : public ComObject, public IMemAllocator {
public:
    Allocator() : ComObject(nullptr) {
        InitializeSRWLock(&lock_);
        InitializeConditionVariable(&freed_);
    }
    ~Allocator() override { FreePool(); }

    DSB_DELEGATE_IUNKNOWN
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IMemAllocator)) return GetInterface(static_cast<IMemAllocator*>(this), ppv);
        return ComObject::NonDelegatingQueryInterface(riid, ppv);
    }

    HRESULT STDMETHODCALLTYPE SetProperties(ALLOCATOR_PROPERTIES* want, ALLOCATOR_PROPERTIES* got) override {
        if (!want || !got) return E_POINTER;
        if (want->cbAlign == 0 || (want->cbAlign & (want->cbAlign - 1))) return VFW_E_BADALIGN;
        Locked l(lock_);
        if (committed_) return VFW_E_ALREADY_COMMITTED;
        if (outstanding_ || !pool_.empty()) return VFW_E_BUFFERS_OUTSTANDING;
        props_ = *want;
        if (props_.cbPrefix < 0) props_.cbPrefix = 0;
        *got = props_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetProperties(ALLOCATOR_PROPERTIES* got) override {
        if (!got) return E_POINTER;
        Locked l(lock_);
        *got = props_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Commit() override {
        Locked l(lock_);
        if (committed_) return S_OK;
        if (props_.cBuffers < 1 || props_.cbBuffer < 1) return VFW_E_SIZENOTSET;
        if (pool_.empty()) {
            // Decommitted but samples still out: the old pool is kept and
            // reused once they are back.
            const size_t align = size_t(props_.cbAlign);
            const size_t step = (size_t(props_.cbPrefix) + size_t(props_.cbBuffer) + align - 1) & ~(align - 1);
            memory_ = static_cast<BYTE*>(malloc(step * size_t(props_.cBuffers) + align));
            if (!memory_) return E_OUTOFMEMORY;
            uintptr_t first = (reinterpret_cast<uintptr_t>(memory_) + size_t(props_.cbPrefix) + align - 1) & ~(align - 1);
            for (LONG i = 0; i < props_.cBuffers; ++i) {
                Sample* s = new (std::nothrow) Sample(this, reinterpret_cast<BYTE*>(first + step * size_t(i)),
                                                      props_.cbBuffer);
                if (!s) {
                    FreePool();
                    return E_OUTOFMEMORY;
                }
                pool_.push_back(s);
            }
            free_ = pool_;
        }
        committed_ = true;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Decommit() override {
        Locked l(lock_);
        if (!committed_) return S_OK;
        committed_ = false;
        if (!outstanding_) FreePool();
        WakeAllConditionVariable(&freed_);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetBuffer(IMediaSample** out, REFERENCE_TIME*, REFERENCE_TIME*, DWORD flags) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        Sample* s = nullptr;
        {
            Locked l(lock_);
            for (;;) {
                if (!committed_) return VFW_E_NOT_COMMITTED;
                if (!free_.empty()) break;
                if (flags & AM_GBF_NOWAIT) return VFW_E_TIMEOUT;
                SleepConditionVariableSRW(&freed_, &lock_, INFINITE, 0);
            }
            s = free_.back();
            free_.pop_back();
            ++outstanding_;
        }
        AddRef();  // the sample's hold on its allocator, given back with it
        s->Reset();
        *out = s;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ReleaseBuffer(IMediaSample* sample) override {
        // Samples come back through their own Release.
        return sample ? S_OK : E_POINTER;
    }

    void Return(Sample* s) {
        s->Drop();
        {
            Locked l(lock_);
            free_.push_back(s);
            --outstanding_;
            if (!committed_ && !outstanding_) FreePool();
            else WakeConditionVariable(&freed_);
        }
        Release();
    }

private:
    struct Locked {
        explicit Locked(SRWLOCK& l) : l_(l) { AcquireSRWLockExclusive(&l_); }
        ~Locked() { ReleaseSRWLockExclusive(&l_); }
        SRWLOCK& l_;
    };
    void FreePool() {
        for (Sample* s : pool_) delete s;
        pool_.clear();
        free_.clear();
        free(memory_);
        memory_ = nullptr;
    }

    SRWLOCK lock_;
    CONDITION_VARIABLE freed_;
    ALLOCATOR_PROPERTIES props_ = {0, 0, 1, 0};
    bool committed_ = false;
    LONG outstanding_ = 0;
    BYTE* memory_ = nullptr;
    std::vector<Sample*> pool_, free_;
};

ULONG STDMETHODCALLTYPE Sample::Release() {
    const LONG r = InterlockedDecrement(&ref_);
    if (r == 0) owner_->Return(this);
    return r;
}

}  // namespace

IMemAllocator* CreateMemAllocator() {
    Allocator* a = new (std::nothrow) Allocator();
    if (!a) return nullptr;
    IMemAllocator* i = static_cast<IMemAllocator*>(a);
    i->AddRef();
    DSB_TRACE(ch, "allocator %p", (void*)a);
    return i;
}

}  // namespace dsb
