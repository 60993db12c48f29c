// The devices' own dialogs (see dialogs.cpp).
#pragma once
#include "capdevs.h"
#include "ext_device.h"
#include <ocidl.h>
#include <olectl.h>
#include <string>

namespace capdevs {

// {3F2A7C10-5D1E-4B8A-9C41-6E2D0B17A304}: the camcorder's property page.
static const GUID CLSID_DVCamcorderPage = {0x3f2a7c10, 0x5d1e, 0x4b8a, {0x9c, 0x41, 0x6e, 0x2d, 0x0b, 0x17, 0xa3, 0x04}};

enum { VfwDialogSource = VFW_DIALOG_SOURCE, VfwDialogFormat = VFW_DIALOG_FORMAT };

// A modal dialog with a caption, a text, OK and Cancel; IDOK or IDCANCEL.
int ShowDeviceDialog(HWND parent, const std::u16string& caption, const std::u16string& text);

// The camera's source and format dialogs; counts on its filter.
class VfwDialogs : public IAMVfwCaptureDialogs {
public:
    VfwDialogs(LiveSource* filter, const char* name) : filter_(filter), name_(name) {}
    virtual ~VfwDialogs() {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        return static_cast<IBaseFilter*>(filter_)->QueryInterface(riid, ppv);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<IBaseFilter*>(filter_)->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<IBaseFilter*>(filter_)->Release(); }
    HRESULT STDMETHODCALLTYPE HasDialog(int dialog) override;
    HRESULT STDMETHODCALLTYPE ShowDialog(int dialog, HWND parent) override;
    HRESULT STDMETHODCALLTYPE SendDriverMessage(int, int, LONG, LONG) override { return E_NOTIMPL; }

private:
    LiveSource* filter_;
    const char* name_;
};

HRESULT CreateDvPropertyPage(IUnknown* outer, dsb::ComObject** obj);

}  // namespace capdevs
