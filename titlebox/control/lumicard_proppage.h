/*
 * CLumicardPropPage: the control's property page, captioned "General".
 * The control has no properties to edit, so the page shows its name only.
 */
#pragma once
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

namespace lumicard {

class CLumicardPropPage : public IPropertyPage {
public:
    static HRESULT Create(REFIID riid, void **out);

    STDMETHODIMP QueryInterface(REFIID riid, void **out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP SetPageSite(IPropertyPageSite *site) override;
    STDMETHODIMP Activate(HWND parent, LPCRECT rc, BOOL modal) override;
    STDMETHODIMP Deactivate() override;
    STDMETHODIMP GetPageInfo(PROPPAGEINFO *info) override;
    STDMETHODIMP SetObjects(ULONG count, IUnknown **objects) override;
    STDMETHODIMP Show(UINT cmd) override;
    STDMETHODIMP Move(LPCRECT rc) override;
    STDMETHODIMP IsPageDirty() override { return S_FALSE; }
    STDMETHODIMP Apply() override { return S_OK; }
    STDMETHODIMP Help(LPCOLESTR) override { return E_NOTIMPL; }
    STDMETHODIMP TranslateAccelerator(MSG *) override { return S_FALSE; }

private:
    ~CLumicardPropPage();
    LONG refs_ = 1;
    IPropertyPageSite *site_ = nullptr;
    HWND wnd_ = nullptr;
    ULONG objects_ = 0;
};

} // namespace lumicard
