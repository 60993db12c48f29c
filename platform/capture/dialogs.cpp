// The devices' own dialogs: the camera's video-for-Windows source and
// format dialogs (IAMVfwCaptureDialogs), and the camcorder's property page
// (ISpecifyPropertyPages / IPropertyPage), each a small dialog made from a
// template in memory: a text, OK and Cancel.
#include "capdevs.h"
#include "dialogs.h"

#include <ocidl.h>
#include <olectl.h>
#include <cstdio>
#include <new>
#include <string>

namespace capdevs {

namespace {

const WORD kFormatList = 100;   // the format dialog's list

// A dialog template in memory: caption, one static text (id 0xFFFF, the
// dialog's message) and, for a modal dialog, OK and Cancel.
class Template {
public:
    Template(const std::u16string& caption, const std::u16string& text, bool child, short cx, short cy,
             bool list = false) {
        const DWORD style = child ? (WS_CHILD | DS_CONTROL | DS_SETFONT)
                                  : (WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_CENTER);
        Put32(style);
        Put32(0);
        Put16(child ? 1 : list ? 4 : 3);
        Put16(0); Put16(0); Put16(cx); Put16(cy);
        Put16(0);   // no menu
        Put16(0);   // default class
        PutText(child ? std::u16string() : caption);
        Put16(8);
        PutText(u"MS Shell Dlg");
        const short textHeight = list ? 12 : (short)(cy - (child ? 14 : 34));
        Item(0x0082, SS_LEFT | WS_CHILD | WS_VISIBLE, 7, 7, (short)(cx - 14), textHeight, 0xFFFF, text);
        if (list)
            Item(0x0083, LBS_NOTIFY | WS_BORDER | WS_VSCROLL | WS_CHILD | WS_VISIBLE | WS_TABSTOP, 7, 22, (short)(cx - 14),
                 (short)(cy - 50), kFormatList, u"");
        if (!child) {
            Item(0x0080, BS_DEFPUSHBUTTON | WS_CHILD | WS_VISIBLE | WS_TABSTOP, (short)(cx - 110), (short)(cy - 21), 50, 14,
                 IDOK, u"OK");
            Item(0x0080, BS_PUSHBUTTON | WS_CHILD | WS_VISIBLE | WS_TABSTOP, (short)(cx - 57), (short)(cy - 21), 50, 14,
                 IDCANCEL, u"Cancel");
        }
    }
    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

private:
    void Put16(WORD w) { words_.push_back(w); }
    void Put32(DWORD d) { Put16(LOWORD(d)); Put16(HIWORD(d)); }
    void PutText(const std::u16string& s) {
        for (char16_t c : s) Put16((WORD)c);
        Put16(0);
    }
    void Align() { if (words_.size() & 1) Put16(0); }
    void Item(WORD cls, DWORD style, short x, short y, short cx, short cy, WORD id, const std::u16string& text) {
        Align();
        Put32(style);
        Put32(0);
        Put16((WORD)x); Put16((WORD)y); Put16((WORD)cx); Put16((WORD)cy);
        Put16(id);
        Put16(0xFFFF);
        Put16(cls);
        PutText(text);
        Put16(0);
    }
    std::vector<WORD> words_;
};

INT_PTR CALLBACK ModalProc(HWND w, UINT msg, WPARAM wp, LPARAM) {
    if (msg == WM_INITDIALOG) return TRUE;
    if (msg == WM_COMMAND && (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL)) {
        EndDialog(w, LOWORD(wp));
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK ChildProc(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG; }

// The format dialog: its text, and a list of the formats (id 100) with the
// current one chosen; OK answers the chosen index + 1000.
struct FormatChoice { std::vector<std::u16string> items; int current; };

INT_PTR CALLBACK FormatProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_INITDIALOG) {
        const auto* c = reinterpret_cast<const FormatChoice*>(lp);
        HWND list = GetDlgItem(w, kFormatList);
        for (const auto& item : c->items) SendMessageW(list, LB_ADDSTRING, 0, (LPARAM)item.c_str());
        SendMessageW(list, LB_SETCURSEL, (WPARAM)c->current, 0);
        return TRUE;
    }
    if (msg == WM_COMMAND && LOWORD(wp) == IDOK) {
        LRESULT sel = SendDlgItemMessageW(w, kFormatList, LB_GETCURSEL, 0, 0);
        EndDialog(w, sel == LB_ERR ? IDCANCEL : 1000 + sel);
        return TRUE;
    }
    if (msg == WM_COMMAND && LOWORD(wp) == IDCANCEL) {
        EndDialog(w, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

std::u16string Wide(const char* s) { return std::u16string(s, s + strlen(s)); }

}  // namespace

int ShowDeviceDialog(HWND parent, const std::u16string& caption, const std::u16string& text) {
    Template t(caption, text, false, 220, 80);
    return (int)DialogBoxIndirectParamW(dsb::ModuleInstance(), t.Get(), parent, ModalProc, 0);
}

// ---- the camera's video-for-Windows dialogs ----

HRESULT STDMETHODCALLTYPE VfwDialogs::HasDialog(int dialog) {
    return dialog == VfwDialogSource || dialog == VfwDialogFormat ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE VfwDialogs::ShowDialog(int dialog, HWND parent) {
    if (HasDialog(dialog) != S_OK) return E_INVALIDARG;
    // A filter in a running graph shows no dialog.
    if (filter_->State() == State_Running) return VFW_E_NOT_STOPPED;
    std::u16string caption, text;
    if (dialog == VfwDialogSource) {
        caption = u"Video Source";
        text = Wide(name_) + u": the built-in test pattern (eight moving colour bars over a frame counter).";
    } else {
        // The formats, the current one chosen; OK takes the choice as the
        // device's format (the graph's owner connects it again).
        FormatChoice choice;
        choice.current = 0;
        const AM_MEDIA_TYPE& mt = filter_->Current();
        const BITMAPINFOHEADER& cur = reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat)->bmiHeader;
        char line[128];
        snprintf(line, sizeof(line), "Video format: %ld x %ld, RGB %d, 25 frames a second.", (long)cur.biWidth,
                 (long)cur.biHeight, cur.biBitCount);
        for (int i = 0; i < filter_->FormatCount(); i++) {
            AM_MEDIA_TYPE t = {};
            if (FAILED(filter_->MakeFormat(i, &t))) continue;
            const BITMAPINFOHEADER& b = reinterpret_cast<const VIDEOINFOHEADER*>(t.pbFormat)->bmiHeader;
            char item[64];
            snprintf(item, sizeof(item), "%ld x %ld", (long)b.biWidth, (long)b.biHeight);
            if (b.biWidth == cur.biWidth && b.biHeight == cur.biHeight) choice.current = i;
            choice.items.push_back(Wide(item));
            dsb::FreeMediaType(&t);
        }
        Template t(u"Video Format", Wide(line), false, 220, 110, true);
        INT_PTR r = DialogBoxIndirectParamW(dsb::ModuleInstance(), t.Get(), parent, FormatProc, (LPARAM)&choice);
        if (r < 1000) return S_FALSE;
        AM_MEDIA_TYPE chosen = {};
        HRESULT hr = filter_->MakeFormat((int)(r - 1000), &chosen);
        if (FAILED(hr)) return hr;
        hr = filter_->SetCurrent(&chosen);
        dsb::FreeMediaType(&chosen);
        return FAILED(hr) ? hr : S_OK;
    }
    return ShowDeviceDialog(parent, caption, text) == IDOK ? S_OK : S_FALSE;
}

// ---- the camcorder's property page ----

namespace {

class DvPage : public IPropertyPage, public dsb::ComObject {
public:
    explicit DvPage(IUnknown* outer) : dsb::ComObject(outer) {}
    ~DvPage() override {
        if (site_) site_->Release();
        if (device_) device_->Release();
    }
    DSB_DELEGATE_IUNKNOWN
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IPropertyPage)) {
            *ppv = static_cast<IPropertyPage*>(this);
            AddRef();
            return S_OK;
        }
        return dsb::ComObject::NonDelegatingQueryInterface(riid, ppv);
    }

    HRESULT STDMETHODCALLTYPE SetPageSite(IPropertyPageSite* site) override {
        if (site) site->AddRef();
        if (site_) site_->Release();
        site_ = site;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Activate(HWND parent, LPCRECT rect, BOOL) override {
        Template t(u"", Text(), true, 200, 60);
        window_ = CreateDialogIndirectParamW(dsb::ModuleInstance(), t.Get(), parent, ChildProc, 0);
        if (!window_) return E_FAIL;
        if (rect) MoveWindow(window_, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, TRUE);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Deactivate() override {
        if (window_) DestroyWindow(window_);
        window_ = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPageInfo(PROPPAGEINFO* info) override {
        if (!info) return E_POINTER;
        static const WCHAR title[] = {'D', 'V', ' ', 'C', 'a', 'm', 'c', 'o', 'r', 'd', 'e', 'r', 0};
        info->cb = sizeof(*info);
        info->pszTitle = static_cast<LPOLESTR>(CoTaskMemAlloc(sizeof(title)));
        if (info->pszTitle) memcpy(info->pszTitle, title, sizeof(title));
        info->size.cx = 300;
        info->size.cy = 90;
        info->pszDocString = nullptr;
        info->pszHelpFile = nullptr;
        info->dwHelpContext = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetObjects(ULONG count, IUnknown** objects) override {
        if (device_) device_->Release();
        device_ = nullptr;
        if (count && objects && objects[0]) objects[0]->QueryInterface(IID_IBaseFilter, (void**)&device_);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Show(UINT cmd) override {
        if (window_) ShowWindow(window_, cmd);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Move(LPCRECT rect) override {
        if (window_ && rect) MoveWindow(window_, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, TRUE);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsPageDirty() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE Apply() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Help(LPCOLESTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG*) override { return S_FALSE; }

private:
    // What the page shows: the stream and the tape transport's mode.
    std::u16string Text() const {
        long mode = 0;
        if (device_) {
            IExtTransport* t = nullptr;
            if (SUCCEEDED(device_->QueryInterface(IID_IAMExtTransport_Corv, (void**)&t))) {
                t->get_Mode(&mode);
                t->Release();
            }
        }
        const char* m = mode == EXT_MODE_PLAY ? "play" : mode == EXT_MODE_FREEZE ? "pause"
                        : mode == EXT_MODE_FF || mode == EXT_MODE_PLAY_FASTEST_FWD ? "fast forward"
                        : mode == EXT_MODE_REW || mode == EXT_MODE_PLAY_FASTEST_REV ? "rewind" : "stop";
        char line[160];
        snprintf(line, sizeof(line), "DV Camcorder: DV 625/50, 720 x 576, 25 frames a second, 48 kHz stereo sound. Tape: %s.", m);
        return Wide(line);
    }
    IPropertyPageSite* site_ = nullptr;
    IBaseFilter* device_ = nullptr;
    HWND window_ = nullptr;
};

}  // namespace

HRESULT CreateDvPropertyPage(IUnknown* outer, dsb::ComObject** obj) {
    auto* p = new (std::nothrow) DvPage(outer);
    if (!p) return E_OUTOFMEMORY;
    *obj = p;
    return S_OK;
}

}  // namespace capdevs
