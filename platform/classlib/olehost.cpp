#include "olehost.h"
#include <atliface.h>
#include <olectl.h>
#include <vector>

namespace cl {

namespace {

class EventSink : public IDispatch {
public:
    EventSink(const IID &events, EventFn fn) : iid_(events), fn_(std::move(fn)) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **out) override
    {
        if (!out) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, iid_)) {
            *out = static_cast<IDispatch *>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        LONG r = InterlockedDecrement(&refs_);
        if (!r) delete this;
        return r;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT *n) override
    {
        if (n) *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo **) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR *, UINT, LCID, DISPID *) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS *params, VARIANT *result,
                                     EXCEPINFO *, UINT *) override
    {
        if (result) VariantInit(result);
        if (fn_) fn_(id, params);
        return S_OK;
    }

private:
    LONG refs_ = 1;
    IID iid_;
    EventFn fn_;
};

} // namespace

IDispatch *CreateEventSink(const IID &events, EventFn fn)
{
    return new EventSink(events, std::move(fn));
}

COleControlHost::~COleControlHost()
{
    DisconnectEvents();
    if (dispatch_) dispatch_->Release();
}

HRESULT COleControlHost::ConnectEvents(const IID &events, EventFn fn)
{
    DisconnectEvents();
    if (!dispatch_) return E_NOINTERFACE;
    IConnectionPointContainer *container = nullptr;
    HRESULT hr = dispatch_->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void **>(&container));
    if (FAILED(hr)) return hr;
    hr = container->FindConnectionPoint(events, &point_);
    container->Release();
    if (FAILED(hr)) {
        point_ = nullptr;
        return hr;
    }
    IDispatch *sink = CreateEventSink(events, std::move(fn));
    hr = point_->Advise(sink, &cookie_);
    sink->Release();
    if (FAILED(hr)) {
        point_->Release();
        point_ = nullptr;
        cookie_ = 0;
    }
    return hr;
}

void COleControlHost::DisconnectEvents()
{
    if (!point_) return;
    point_->Unadvise(cookie_);
    point_->Release();
    point_ = nullptr;
    cookie_ = 0;
}

BOOL COleControlHost::Create(const CLSID &clsid, const RECT &rc, HWND parent, UINT id, const char *absentText)
{
    IClassFactory *cf = nullptr;
    bool registered = SUCCEEDED(CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                                 reinterpret_cast<void **>(&cf)));
    if (cf) cf->Release();
    if (!registered) {
        CreateEx(WS_EX_STATICEDGE, "STATIC", absentText, WS_CHILD | WS_VISIBLE | SS_CENTER | SS_CENTERIMAGE, rc,
                 parent, id);
        return FALSE;
    }
    AtlAxWinInit();
    WCHAR wide[64];
    StringFromGUID2(clsid, wide, 64);
    char text[64];
    WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof(text), nullptr, nullptr);
    if (!CreateEx(0, "AtlAxWin", text, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, rc, parent, id)) return FALSE;
    IUnknown *unk = nullptr;
    if (SUCCEEDED(AtlAxGetControl(m_hWnd, &unk)) && unk) {
        unk->QueryInterface(IID_IDispatch, reinterpret_cast<void **>(&dispatch_));
        unk->Release();
    }
    return dispatch_ != nullptr;
}

HRESULT COleControlHost::Invoke(DISPID id, WORD flags, const VARIANT *args, UINT count, VARIANT *result)
{
    if (!dispatch_) return E_NOINTERFACE;
    std::vector<VARIANT> reversed(args, args + count);
    for (size_t i = 0; i < count / 2; ++i) std::swap(reversed[i], reversed[count - 1 - i]);
    DISPPARAMS params = {};
    params.rgvarg = reversed.empty() ? nullptr : reversed.data();
    params.cArgs = count;
    DISPID named = DISPID_PROPERTYPUT;
    if (flags & DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &named;
        params.cNamedArgs = 1;
    }
    if (result) VariantInit(result);
    return dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr, nullptr);
}

} // namespace cl
