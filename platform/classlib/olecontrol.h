/*
 * COleControl: the in-process ActiveX control base.  A control derives from
 * it, names its class data (OleControlClass) and answers its dispatch calls
 * in InvokeMethod; the base does the rest a container asks of a control:
 * embedding and in-place activation in the container's window, the dispatch
 * interface described by the module's type library (names, type info), one
 * connection point for the event interface, class info, stream persistence
 * (InitNew, Load, Save) and drawing into a container's device context.
 *
 * Module side: OleModule keeps the lock count and the module handle,
 * OleClassFactory makes objects, and the registration helpers write the
 * class, its ProgID and the type library into the registry and remove them.
 */
#ifndef CORV_CLASSLIB_OLECONTROL_H
#define CORV_CLASSLIB_OLECONTROL_H

#include <windows.h>
#include <ole2.h>
#include <olectl.h>
#include <ocidl.h>
#include <oleauto.h>
#include <string>
#include <vector>

namespace cl {

struct OleControlClass {
    const CLSID *clsid;
    const char *progId;       // "Module.Class.1"
    const char *userName;     // the class's readable name
    const GUID *libid;        // type library and its version
    WORD libMajor, libMinor;
    const IID *dispIid;       // the dispatch interface the control answers
    const IID *eventIid;      // the event interface it fires
    DWORD miscStatus;         // OLEMISC_* for the registry and GetMiscStatus
    const char *windowClass;  // the control window's class name
};

/* Module state shared by every object of the module. */
struct OleModule {
    static HINSTANCE instance;
    static LONG locks;
    static void Path(WCHAR *buf, size_t n);        // the module's own file
    static HRESULT LoadTypeLibrary(ITypeLib **lib);  // from the module, else <module>.tlb beside it
};

/* Registry writing (HKEY_CLASSES_ROOT).  Each answers FALSE on a failure. */
bool RegisterOleClass(const CLSID &clsid, const char *progId, const char *userName, const GUID *libid,
                      DWORD miscStatus, bool control);
bool UnregisterOleClass(const CLSID &clsid, const char *progId);
bool RegisterModuleTypeLibrary();
bool UnregisterModuleTypeLibrary(const GUID &libid, WORD major, WORD minor);

class OleClassFactory : public IClassFactory {
public:
    typedef HRESULT (*Creator)(REFIID riid, void **out);
    explicit OleClassFactory(Creator c) : create_(c) {}
    STDMETHODIMP QueryInterface(REFIID riid, void **out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown *outer, REFIID riid, void **out) override;
    STDMETHODIMP LockServer(BOOL lock) override;

private:
    Creator create_;
};

class COleControl : public IOleObject, public IOleInPlaceObject, public IOleControl, public IDispatch,
                    public IConnectionPointContainer, public IProvideClassInfo2,
                    public IPersistStreamInit, public IViewObject2 {
public:
    explicit COleControl(const OleControlClass &cls);
    virtual ~COleControl();

    HWND Window() const { return hwnd_; }
    /* Calls every connected sink's event with the arguments in natural order. */
    void FireEvent(DISPID id, const VARIANT *args = nullptr, UINT count = 0);
    void InvalidateControl();
    void SetModifiedFlag(bool m = true) { dirty_ = m; }
    bool IsModified() const { return dirty_; }
    size_t SinkCount() const { return sinks_.size(); }
    /* Creates the control window as a child of parent (also used by DoVerb). */
    bool CreateControlWindow(HWND parent, const RECT &rc);

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void **out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // IOleObject
    STDMETHODIMP SetClientSite(IOleClientSite *site) override;
    STDMETHODIMP GetClientSite(IOleClientSite **site) override;
    STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP Close(DWORD) override;
    STDMETHODIMP SetMoniker(DWORD, IMoniker *) override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker **) override { return E_NOTIMPL; }
    STDMETHODIMP InitFromData(IDataObject *, BOOL, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetClipboardData(DWORD, IDataObject **) override { return E_NOTIMPL; }
    STDMETHODIMP DoVerb(LONG verb, LPMSG, IOleClientSite *site, LONG, HWND parent, LPCRECT rc) override;
    STDMETHODIMP EnumVerbs(IEnumOLEVERB **) override { return OLEOBJ_E_NOVERBS; }
    STDMETHODIMP Update() override { return S_OK; }
    STDMETHODIMP IsUpToDate() override { return S_OK; }
    STDMETHODIMP GetUserClassID(CLSID *clsid) override;
    STDMETHODIMP GetUserType(DWORD, LPOLESTR *) override { return OLE_S_USEREG; }
    STDMETHODIMP SetExtent(DWORD aspect, SIZEL *size) override;
    STDMETHODIMP GetExtent(DWORD aspect, SIZEL *size) override;
    STDMETHODIMP Advise(IAdviseSink *, DWORD *) override { return E_NOTIMPL; }
    STDMETHODIMP Unadvise(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP EnumAdvise(IEnumSTATDATA **) override { return E_NOTIMPL; }
    STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD *status) override;
    STDMETHODIMP SetColorScheme(LOGPALETTE *) override { return E_NOTIMPL; }
    // IOleWindow, IOleInPlaceObject
    STDMETHODIMP GetWindow(HWND *wnd) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP InPlaceDeactivate() override;
    STDMETHODIMP UIDeactivate() override { return S_OK; }
    STDMETHODIMP SetObjectRects(LPCRECT pos, LPCRECT clip) override;
    STDMETHODIMP ReactivateAndUndo() override { return E_NOTIMPL; }
    // IOleControl
    STDMETHODIMP GetControlInfo(CONTROLINFO *info) override;
    STDMETHODIMP OnMnemonic(MSG *) override { return S_OK; }
    STDMETHODIMP OnAmbientPropertyChange(DISPID) override { return S_OK; }
    STDMETHODIMP FreezeEvents(BOOL freeze) override;
    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT *n) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo **info) override;
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR *names, UINT count, LCID, DISPID *ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *params, VARIANT *result,
                        EXCEPINFO *, UINT *argErr) override;
    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints **) override { return E_NOTIMPL; }
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint **cp) override;
    // IProvideClassInfo2
    STDMETHODIMP GetClassInfo(ITypeInfo **info) override;
    STDMETHODIMP GetGUID(DWORD kind, GUID *guid) override;
    // IPersist, IPersistStreamInit
    STDMETHODIMP GetClassID(CLSID *clsid) override;
    STDMETHODIMP IsDirty() override { return dirty_ ? S_OK : S_FALSE; }
    STDMETHODIMP Load(IStream *stream) override;
    STDMETHODIMP Save(IStream *stream, BOOL clearDirty) override;
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER *size) override;
    STDMETHODIMP InitNew() override { return S_OK; }
    // IViewObject2
    STDMETHODIMP Draw(DWORD aspect, LONG, void *, DVTARGETDEVICE *, HDC, HDC dc, LPCRECTL bounds, LPCRECTL,
                      BOOL(STDMETHODCALLTYPE *)(ULONG_PTR), ULONG_PTR) override;
    STDMETHODIMP GetColorSet(DWORD, LONG, void *, DVTARGETDEVICE *, HDC, LOGPALETTE **) override { return E_NOTIMPL; }
    STDMETHODIMP Freeze(DWORD, LONG, void *, DWORD *) override { return E_NOTIMPL; }
    STDMETHODIMP Unfreeze(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP SetAdvise(DWORD, DWORD, IAdviseSink *) override { return S_OK; }
    STDMETHODIMP GetAdvise(DWORD *, DWORD *, IAdviseSink **) override { return E_NOTIMPL; }
    STDMETHODIMP GetExtent(DWORD aspect, LONG, DVTARGETDEVICE *, LPSIZEL size) override;

protected:
    /* One dispatch call: arguments as the caller gave them (reversed). */
    virtual HRESULT InvokeMethod(DISPID id, WORD flags, DISPPARAMS *params, VARIANT *result) = 0;
    virtual void OnDraw(HDC dc, const RECT &bounds) = 0;
    /* The control window's messages; the default paints through OnDraw. */
    virtual LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp);
    /* The version word and properties kept by Save and read by Load. */
    virtual void SerializeProperties(std::vector<BYTE> *out) { (void)out; }
    virtual void LoadProperties(const BYTE *, size_t) {}

    const OleControlClass &cls_;
    HWND hwnd_ = nullptr;
    SIZEL extent_ = {8467, 6350};  // 320 x 240 pixels in HIMETRIC at 96 dpi

private:
    static LRESULT CALLBACK StaticProc(HWND w, UINT msg, WPARAM wp, LPARAM lp);
    ITypeInfo *TypeInfoOf(const IID &iid);

    /* The event interface's one connection point, owned by the control. */
    class EventPoint : public IConnectionPoint {
    public:
        explicit EventPoint(COleControl *c) : ctl_(c) {}
        STDMETHODIMP QueryInterface(REFIID riid, void **out) override;
        STDMETHODIMP_(ULONG) AddRef() override { return ctl_->AddRef(); }
        STDMETHODIMP_(ULONG) Release() override { return ctl_->Release(); }
        STDMETHODIMP GetConnectionInterface(IID *iid) override;
        STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer **c) override;
        STDMETHODIMP Advise(IUnknown *sink, DWORD *cookie) override;
        STDMETHODIMP Unadvise(DWORD cookie) override;
        STDMETHODIMP EnumConnections(IEnumConnections **) override { return E_NOTIMPL; }

    private:
        COleControl *ctl_;
    };
    friend class EventPoint;
    EventPoint point_{this};

    LONG refs_ = 1;
    IOleClientSite *site_ = nullptr;
    IOleInPlaceSite *inplace_ = nullptr;
    ITypeInfo *dispInfo_ = nullptr;
    struct Sink { DWORD cookie; IDispatch *disp; };
    std::vector<Sink> sinks_;
    DWORD nextCookie_ = 1;
    LONG frozen_ = 0;
    bool dirty_ = false;
};

/* A dispatch argument by position (0 = first in natural order), coerced. */
HRESULT DispArg(DISPPARAMS *p, UINT position, VARTYPE vt, VARIANT *out);

} // namespace cl

#endif
