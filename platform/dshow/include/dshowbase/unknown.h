// COM object base with aggregation support.
//
// Every object of this layer is a ComObject: it owns one reference count and
// answers NonDelegatingQueryInterface.  Its public IUnknown methods (from the
// interfaces it implements) go to Outer(): the aggregating object when there
// is one, else the object's own non-delegating unknown.  Use
// DSB_DELEGATE_IUNKNOWN in every class that implements COM interfaces.
#pragma once
#include <windows.h>
#include <objbase.h>

namespace dsb {

// The non-delegating unknown: the same three slots as IUnknown, so a pointer
// to it can be handed out as the inner IUnknown of an aggregate.
struct INonDelegatingUnknown {
    virtual HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG STDMETHODCALLTYPE NonDelegatingAddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE NonDelegatingRelease() = 0;
};

class ComObject : public INonDelegatingUnknown {
public:
    // |outer| is the controlling unknown when aggregated, else null.
    explicit ComObject(IUnknown* outer);
    virtual ~ComObject();
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    // IID_IUnknown answers the non-delegating unknown itself; null ppv gives
    // E_POINTER; anything else E_NOINTERFACE.  Derived classes extend this.
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE NonDelegatingAddRef() override;
    // Deletes the object when the count reaches zero.
    ULONG STDMETHODCALLTYPE NonDelegatingRelease() override;

    IUnknown* Outer() const { return outer_; }
    IUnknown* Inner() { return reinterpret_cast<IUnknown*>(static_cast<INonDelegatingUnknown*>(this)); }
    LONG RefCount() const { return ref_; }

    // Live ComObjects plus factory locks in this module (for DllCanUnloadNow).
    static LONG ModuleUsers();
    static void LockModule(bool lock);

protected:
    // Stores |p| (already the right interface pointer) in *ppv with a reference.
    static HRESULT GetInterface(IUnknown* p, void** ppv) {
        *ppv = p;
        p->AddRef();
        return S_OK;
    }

private:
    IUnknown* outer_;
    LONG ref_ = 0;
};

// IUnknown of a small stand-alone object (an enumerator, a callback) that
// answers one interface and is not aggregated.  It starts with one reference,
// held by whoever created it.
template <class I, const IID* Iid>
class SimpleUnknown : public I {
public:
    virtual ~SimpleUnknown() {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, *Iid)) {
            *ppv = static_cast<I*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&ref_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG r = InterlockedDecrement(&ref_);
        if (!r) delete this;
        return r;
    }

private:
    LONG ref_ = 1;
};

}  // namespace dsb

// Public IUnknown of a ComObject-derived class: everything to the outer unknown.
#define DSB_DELEGATE_IUNKNOWN                                                             \
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {          \
        return Outer()->QueryInterface(riid, ppv);                                        \
    }                                                                                     \
    ULONG STDMETHODCALLTYPE AddRef() override { return Outer()->AddRef(); }               \
    ULONG STDMETHODCALLTYPE Release() override { return Outer()->Release(); }
