#include "lumicard_proppage.h"

#include "olecontrol.h"

namespace lumicard {

namespace {
LPOLESTR TaskString(const char *s)
{
    int n = MultiByteToWideChar(CP_ACP, 0, s, -1, nullptr, 0);
    auto *w = static_cast<LPOLESTR>(CoTaskMemAlloc(size_t(n) * sizeof(WCHAR)));
    if (w) MultiByteToWideChar(CP_ACP, 0, s, -1, w, n);
    return w;
}
}  // namespace

HRESULT CLumicardPropPage::Create(REFIID riid, void **out)
{
    auto *p = new CLumicardPropPage;
    InterlockedIncrement(&cl::OleModule::locks);
    HRESULT hr = p->QueryInterface(riid, out);
    p->Release();
    return hr;
}

CLumicardPropPage::~CLumicardPropPage()
{
    if (wnd_) DestroyWindow(wnd_);
    if (site_) site_->Release();
    InterlockedDecrement(&cl::OleModule::locks);
}

STDMETHODIMP CLumicardPropPage::QueryInterface(REFIID riid, void **out)
{
    if (!out) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPropertyPage)) {
        *out = static_cast<IPropertyPage *>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CLumicardPropPage::Release()
{
    LONG r = InterlockedDecrement(&refs_);
    if (!r) delete this;
    return r;
}

STDMETHODIMP CLumicardPropPage::SetPageSite(IPropertyPageSite *site)
{
    if (site) site->AddRef();
    if (site_) site_->Release();
    site_ = site;
    return S_OK;
}

STDMETHODIMP CLumicardPropPage::Activate(HWND parent, LPCRECT rc, BOOL)
{
    if (!rc) return E_POINTER;
    if (wnd_) return S_OK;
    wnd_ = CreateWindowExA(0, "STATIC", "Lumicard Control", WS_CHILD | SS_CENTER, rc->left, rc->top,
                           rc->right - rc->left, rc->bottom - rc->top, parent, nullptr, cl::OleModule::instance,
                           nullptr);
    return wnd_ ? S_OK : E_FAIL;
}

STDMETHODIMP CLumicardPropPage::Deactivate()
{
    if (wnd_) DestroyWindow(wnd_);
    wnd_ = nullptr;
    return S_OK;
}

STDMETHODIMP CLumicardPropPage::GetPageInfo(PROPPAGEINFO *info)
{
    if (!info) return E_POINTER;
    info->cb = sizeof(*info);
    info->pszTitle = TaskString("General");
    info->size.cx = 250;
    info->size.cy = 62;
    info->pszDocString = nullptr;
    info->pszHelpFile = nullptr;
    info->dwHelpContext = 0;
    return S_OK;
}

STDMETHODIMP CLumicardPropPage::SetObjects(ULONG count, IUnknown **objects)
{
    if (count && !objects) return E_POINTER;
    objects_ = count;
    return S_OK;
}

STDMETHODIMP CLumicardPropPage::Show(UINT cmd)
{
    if (wnd_) ShowWindow(wnd_, int(cmd));
    return S_OK;
}

STDMETHODIMP CLumicardPropPage::Move(LPCRECT rc)
{
    if (!rc) return E_POINTER;
    if (wnd_) MoveWindow(wnd_, rc->left, rc->top, rc->right - rc->left, rc->bottom - rc->top, TRUE);
    return S_OK;
}

} // namespace lumicard
