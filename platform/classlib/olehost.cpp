#include "olehost.h"
#include <atliface.h>
#include <vector>

namespace cl {

COleControlHost::~COleControlHost()
{
    if (dispatch_) dispatch_->Release();
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
