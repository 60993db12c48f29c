#include "olecontrol.h"

#include <cstring>

namespace cl {

HINSTANCE OleModule::instance = nullptr;
LONG OleModule::locks = 0;

void OleModule::Path(WCHAR *buf, size_t n)
{
    buf[0] = 0;
    GetModuleFileNameW(instance, buf, DWORD(n));
}

HRESULT OleModule::LoadTypeLibrary(ITypeLib **lib)
{
    *lib = nullptr;
    WCHAR path[MAX_PATH + 8] = {};
    GetModuleFileNameW(instance, path, MAX_PATH);
    HRESULT hr = LoadTypeLibEx(path, REGKIND_NONE, lib);
    if (SUCCEEDED(hr)) return hr;
    // The library file beside the module: Lumicard.ocx -> Lumicard.tlb.
    WCHAR *dot = nullptr;
    for (WCHAR *p = path; *p; ++p)
        if (*p == '.') dot = p;
        else if (*p == '\\' || *p == '/') dot = nullptr;
    if (!dot) return hr;
    const WCHAR ext[] = {'.', 't', 'l', 'b', 0};
    memcpy(dot, ext, sizeof(ext));
    return LoadTypeLibEx(path, REGKIND_NONE, lib);
}

namespace {

std::string GuidText(const GUID &g)
{
    WCHAR w[64];
    StringFromGUID2(g, w, 64);
    char a[64];
    WideCharToMultiByte(CP_ACP, 0, w, -1, a, sizeof(a), nullptr, nullptr);
    return a;
}

bool SetKey(const std::string &key, const char *name, const std::string &value)
{
    HKEY k;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr) !=
        ERROR_SUCCESS)
        return false;
    LONG r = RegSetValueExA(k, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
                            DWORD(value.size() + 1));
    RegCloseKey(k);
    return r == ERROR_SUCCESS;
}

bool DeleteTree(const std::string &key)
{
    LONG r = RegDeleteTreeA(HKEY_CLASSES_ROOT, key.c_str());
    if (r == ERROR_SUCCESS || r == ERROR_FILE_NOT_FOUND) {
        RegDeleteKeyA(HKEY_CLASSES_ROOT, key.c_str());
        return true;
    }
    return false;
}

} // namespace

bool RegisterOleClass(const CLSID &clsid, const char *progId, const char *userName, const GUID *libid,
                      DWORD miscStatus, bool control)
{
    const std::string id = GuidText(clsid);
    const std::string key = "CLSID\\" + id;
    WCHAR wpath[MAX_PATH] = {};
    OleModule::Path(wpath, MAX_PATH);
    char path[MAX_PATH * 3] = {};
    WideCharToMultiByte(CP_ACP, 0, wpath, -1, path, sizeof(path), nullptr, nullptr);
    bool ok = SetKey(key, nullptr, userName) && SetKey(key + "\\InprocServer32", nullptr, path) &&
              SetKey(key + "\\InprocServer32", "ThreadingModel", "Apartment") &&
              SetKey(key + "\\ProgID", nullptr, progId) && SetKey(progId, nullptr, userName) &&
              SetKey(std::string(progId) + "\\CLSID", nullptr, id);
    if (ok && control) {
        ok = SetKey(key + "\\Control", nullptr, "") && SetKey(key + "\\Insertable", nullptr, "") &&
             SetKey(key + "\\MiscStatus", nullptr, "0") &&
             SetKey(key + "\\MiscStatus\\1", nullptr, std::to_string(miscStatus)) &&
             SetKey(key + "\\Version", nullptr, "1.0");
    }
    if (ok && libid) ok = SetKey(key + "\\TypeLib", nullptr, GuidText(*libid));
    return ok;
}

bool UnregisterOleClass(const CLSID &clsid, const char *progId)
{
    bool a = DeleteTree("CLSID\\" + GuidText(clsid));
    bool b = DeleteTree(progId);
    return a && b;
}

bool RegisterModuleTypeLibrary()
{
    // Registered under a file any process can read: the library file beside
    // the module when there is one (a module's own resources are readable
    // only where the module is loaded), else the module.
    WCHAR file[MAX_PATH + 8] = {};
    OleModule::Path(file, MAX_PATH);
    WCHAR *dot = nullptr;
    for (WCHAR *p = file; *p; ++p)
        if (*p == '.') dot = p;
        else if (*p == '\\' || *p == '/') dot = nullptr;
    ITypeLib *lib = nullptr;
    if (dot) {
        WCHAR saved[8];
        memcpy(saved, dot, sizeof(saved));
        const WCHAR ext[] = {'.', 't', 'l', 'b', 0};
        memcpy(dot, ext, sizeof(ext));
        if (FAILED(LoadTypeLibEx(file, REGKIND_NONE, &lib))) {
            lib = nullptr;
            memcpy(dot, saved, sizeof(saved));
        }
    }
    if (!lib && FAILED(LoadTypeLibEx(file, REGKIND_NONE, &lib))) return false;
    HRESULT hr = RegisterTypeLib(lib, file, nullptr);
    lib->Release();
    return SUCCEEDED(hr);
}

bool UnregisterModuleTypeLibrary(const GUID &libid, WORD major, WORD minor)
{
    HRESULT hr = UnRegisterTypeLib(libid, major, minor, LOCALE_NEUTRAL, SYS_WIN64);
    return SUCCEEDED(hr) || hr == TYPE_E_REGISTRYACCESS;
}

STDMETHODIMP OleClassFactory::QueryInterface(REFIID riid, void **out)
{
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
        *out = this;
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP OleClassFactory::CreateInstance(IUnknown *outer, REFIID riid, void **out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return create_(riid, out);
}

STDMETHODIMP OleClassFactory::LockServer(BOOL lock)
{
    if (lock) InterlockedIncrement(&OleModule::locks);
    else InterlockedDecrement(&OleModule::locks);
    return S_OK;
}

HRESULT DispArg(DISPPARAMS *p, UINT position, VARTYPE vt, VARIANT *out)
{
    UINT err = 0;
    VariantInit(out);
    return DispGetParam(p, position, vt, out, &err);
}

// ---------------------------------------------------------------------------

COleControl::COleControl(const OleControlClass &cls) : cls_(cls)
{
    InterlockedIncrement(&OleModule::locks);
}

COleControl::~COleControl()
{
    if (hwnd_) {
        SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
    for (auto &s : sinks_) s.disp->Release();
    if (inplace_) inplace_->Release();
    if (site_) site_->Release();
    if (dispInfo_) dispInfo_->Release();
    InterlockedDecrement(&OleModule::locks);
}

STDMETHODIMP COleControl::QueryInterface(REFIID riid, void **out)
{
    if (!out) return E_POINTER;
    *out = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleObject)) *out = static_cast<IOleObject *>(this);
    else if (IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, *cls_.dispIid))
        *out = static_cast<IDispatch *>(this);
    else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceObject))
        *out = static_cast<IOleInPlaceObject *>(this);
    else if (IsEqualIID(riid, IID_IOleControl)) *out = static_cast<IOleControl *>(this);
    else if (IsEqualIID(riid, IID_IConnectionPointContainer)) *out = static_cast<IConnectionPointContainer *>(this);
    else if (IsEqualIID(riid, IID_IProvideClassInfo) || IsEqualIID(riid, IID_IProvideClassInfo2))
        *out = static_cast<IProvideClassInfo2 *>(this);
    else if (IsEqualIID(riid, IID_IPersist) || IsEqualIID(riid, IID_IPersistStreamInit))
        *out = static_cast<IPersistStreamInit *>(this);
    else if (IsEqualIID(riid, IID_IViewObject) || IsEqualIID(riid, IID_IViewObject2))
        *out = static_cast<IViewObject2 *>(this);
    if (!*out) return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) COleControl::AddRef() { return InterlockedIncrement(&refs_); }

STDMETHODIMP_(ULONG) COleControl::Release()
{
    LONG r = InterlockedDecrement(&refs_);
    if (r == 0) delete this;
    return r;
}

// --- embedding and in-place activation ------------------------------------

STDMETHODIMP COleControl::SetClientSite(IOleClientSite *site)
{
    if (site) site->AddRef();
    if (site_) site_->Release();
    site_ = site;
    return S_OK;
}

STDMETHODIMP COleControl::GetClientSite(IOleClientSite **site)
{
    if (!site) return E_POINTER;
    *site = site_;
    if (site_) site_->AddRef();
    return S_OK;
}

STDMETHODIMP COleControl::Close(DWORD)
{
    InPlaceDeactivate();
    return S_OK;
}

bool COleControl::CreateControlWindow(HWND parent, const RECT &rc)
{
    if (hwnd_) {
        SetParent(hwnd_, parent);
        MoveWindow(hwnd_, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, TRUE);
        return true;
    }
    WNDCLASSA wc = {};
    if (!::GetClassInfoA(OleModule::instance, cls_.windowClass, &wc)) {
        wc.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = StaticProc;
        wc.hInstance = OleModule::instance;
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.lpszClassName = cls_.windowClass;
        RegisterClassA(&wc);
    }
    hwnd_ = CreateWindowExA(0, cls_.windowClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_TABSTOP,
                            rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, parent, nullptr,
                            OleModule::instance, this);
    return hwnd_ != nullptr;
}

STDMETHODIMP COleControl::DoVerb(LONG verb, LPMSG, IOleClientSite *site, LONG, HWND parent, LPCRECT rc)
{
    switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
    case OLEIVERB_UIACTIVATE:
        break;
    case OLEIVERB_HIDE:
        if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
        return S_OK;
    default:
        return OLEOBJ_S_INVALIDVERB;
    }
    if (!site) site = site_;
    RECT pos = rc ? *rc : RECT{0, 0, 320, 240};
    if (!inplace_ && site) {
        IOleInPlaceSite *ip = nullptr;
        if (SUCCEEDED(site->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void **>(&ip))) && ip) {
            if (ip->CanInPlaceActivate() == S_OK) {
                ip->OnInPlaceActivate();
                inplace_ = ip;
                HWND w = nullptr;
                if (SUCCEEDED(ip->GetWindow(&w)) && w) parent = w;
                IOleInPlaceFrame *frame = nullptr;
                IOleInPlaceUIWindow *doc = nullptr;
                RECT p = pos, clip = pos;
                OLEINPLACEFRAMEINFO info = {sizeof(info)};
                if (SUCCEEDED(ip->GetWindowContext(&frame, &doc, &p, &clip, &info))) pos = p;
                if (frame) frame->Release();
                if (doc) doc->Release();
            } else {
                ip->Release();
            }
        }
    }
    if (!parent) return E_INVALIDARG;
    if (!CreateControlWindow(parent, pos)) return E_FAIL;
    ShowWindow(hwnd_, SW_SHOW);
    return S_OK;
}

STDMETHODIMP COleControl::InPlaceDeactivate()
{
    if (hwnd_) {
        SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
        hwnd_ = nullptr;
    }
    if (inplace_) {
        IOleInPlaceSite *ip = inplace_;
        inplace_ = nullptr;
        ip->OnInPlaceDeactivate();
        ip->Release();
    }
    return S_OK;
}

STDMETHODIMP COleControl::GetUserClassID(CLSID *clsid)
{
    if (!clsid) return E_POINTER;
    *clsid = *cls_.clsid;
    return S_OK;
}

STDMETHODIMP COleControl::SetExtent(DWORD aspect, SIZEL *size)
{
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (!size) return E_POINTER;
    extent_ = *size;
    return S_OK;
}

STDMETHODIMP COleControl::GetExtent(DWORD aspect, SIZEL *size)
{
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (!size) return E_POINTER;
    *size = extent_;
    return S_OK;
}

STDMETHODIMP COleControl::GetMiscStatus(DWORD, DWORD *status)
{
    if (!status) return E_POINTER;
    *status = cls_.miscStatus;
    return S_OK;
}

STDMETHODIMP COleControl::GetWindow(HWND *wnd)
{
    if (!wnd) return E_POINTER;
    *wnd = hwnd_;
    return hwnd_ ? S_OK : E_FAIL;
}

STDMETHODIMP COleControl::SetObjectRects(LPCRECT pos, LPCRECT)
{
    if (!pos) return E_POINTER;
    if (hwnd_) MoveWindow(hwnd_, pos->left, pos->top, pos->right - pos->left, pos->bottom - pos->top, TRUE);
    return S_OK;
}

STDMETHODIMP COleControl::GetControlInfo(CONTROLINFO *info)
{
    if (!info) return E_POINTER;
    info->cb = sizeof(*info);
    info->hAccel = nullptr;
    info->cAccel = 0;
    info->dwFlags = 0;
    return S_OK;
}

STDMETHODIMP COleControl::FreezeEvents(BOOL freeze)
{
    frozen_ += freeze ? 1 : (frozen_ > 0 ? -1 : 0);
    return S_OK;
}

// --- dispatch through the type library -------------------------------------

ITypeInfo *COleControl::TypeInfoOf(const IID &iid)
{
    ITypeLib *lib = nullptr;
    if (FAILED(OleModule::LoadTypeLibrary(&lib))) return nullptr;
    ITypeInfo *info = nullptr;
    lib->GetTypeInfoOfGuid(iid, &info);
    lib->Release();
    return info;
}

STDMETHODIMP COleControl::GetTypeInfoCount(UINT *n)
{
    if (!n) return E_POINTER;
    *n = 1;
    return S_OK;
}

STDMETHODIMP COleControl::GetTypeInfo(UINT index, LCID, ITypeInfo **info)
{
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    if (!dispInfo_) dispInfo_ = TypeInfoOf(*cls_.dispIid);
    if (!dispInfo_) return TYPE_E_CANTLOADLIBRARY;
    dispInfo_->AddRef();
    *info = dispInfo_;
    return S_OK;
}

STDMETHODIMP COleControl::GetIDsOfNames(REFIID, LPOLESTR *names, UINT count, LCID lcid, DISPID *ids)
{
    ITypeInfo *info = nullptr;
    HRESULT hr = GetTypeInfo(0, lcid, &info);
    if (FAILED(hr)) return hr;
    hr = info->GetIDsOfNames(names, count, ids);
    info->Release();
    return hr;
}

STDMETHODIMP COleControl::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS *params, VARIANT *result,
                                 EXCEPINFO *, UINT *argErr)
{
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    DISPPARAMS none = {};
    if (!params) params = &none;
    if (argErr) *argErr = 0;
    VARIANT local;
    VariantInit(&local);
    HRESULT hr = InvokeMethod(id, flags, params, result ? result : &local);
    VariantClear(&local);
    return hr;
}

void COleControl::FireEvent(DISPID id, const VARIANT *args, UINT count)
{
    if (frozen_) return;
    std::vector<VARIANT> reversed(args, args + count);
    for (UINT i = 0; i < count / 2; ++i) std::swap(reversed[i], reversed[count - 1 - i]);
    DISPPARAMS p = {};
    p.rgvarg = reversed.empty() ? nullptr : reversed.data();
    p.cArgs = count;
    // A sink may unadvise from inside its handler: call a snapshot.
    std::vector<IDispatch *> calls;
    for (auto &s : sinks_) {
        s.disp->AddRef();
        calls.push_back(s.disp);
    }
    AddRef();
    for (IDispatch *d : calls) {
        d->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &p, nullptr, nullptr, nullptr);
        d->Release();
    }
    Release();
}

STDMETHODIMP COleControl::FindConnectionPoint(REFIID riid, IConnectionPoint **cp)
{
    if (!cp) return E_POINTER;
    *cp = nullptr;
    if (!IsEqualIID(riid, *cls_.eventIid)) return CONNECT_E_NOCONNECTION;
    *cp = &point_;
    AddRef();
    return S_OK;
}

STDMETHODIMP COleControl::EventPoint::QueryInterface(REFIID riid, void **out)
{
    if (!out) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IConnectionPoint)) {
        *out = this;
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP COleControl::EventPoint::GetConnectionInterface(IID *iid)
{
    if (!iid) return E_POINTER;
    *iid = *ctl_->cls_.eventIid;
    return S_OK;
}

STDMETHODIMP COleControl::EventPoint::GetConnectionPointContainer(IConnectionPointContainer **c)
{
    if (!c) return E_POINTER;
    *c = ctl_;
    ctl_->AddRef();
    return S_OK;
}

STDMETHODIMP COleControl::EventPoint::Advise(IUnknown *sink, DWORD *cookie)
{
    if (!sink || !cookie) return E_POINTER;
    *cookie = 0;
    IDispatch *d = nullptr;
    if (FAILED(sink->QueryInterface(*ctl_->cls_.eventIid, reinterpret_cast<void **>(&d))) || !d) {
        if (FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void **>(&d))) || !d)
            return CONNECT_E_CANNOTCONNECT;
    }
    *cookie = ctl_->nextCookie_++;
    ctl_->sinks_.push_back({*cookie, d});
    return S_OK;
}

STDMETHODIMP COleControl::EventPoint::Unadvise(DWORD cookie)
{
    for (auto it = ctl_->sinks_.begin(); it != ctl_->sinks_.end(); ++it)
        if (it->cookie == cookie) {
            IDispatch *d = it->disp;
            ctl_->sinks_.erase(it);
            d->Release();
            return S_OK;
        }
    return CONNECT_E_NOCONNECTION;
}

STDMETHODIMP COleControl::GetClassInfo(ITypeInfo **info)
{
    if (!info) return E_POINTER;
    *info = TypeInfoOf(*cls_.clsid);
    return *info ? S_OK : TYPE_E_CANTLOADLIBRARY;
}

STDMETHODIMP COleControl::GetGUID(DWORD kind, GUID *guid)
{
    if (!guid) return E_POINTER;
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
    *guid = *cls_.eventIid;
    return S_OK;
}

// --- persistence ------------------------------------------------------------

STDMETHODIMP COleControl::GetClassID(CLSID *clsid) { return GetUserClassID(clsid); }

namespace {
const DWORD kStreamMagic = 0x4C4F4331;  // 'LOC1'
}

STDMETHODIMP COleControl::Load(IStream *stream)
{
    if (!stream) return E_POINTER;
    DWORD head[4] = {};
    ULONG got = 0;
    if (FAILED(stream->Read(head, sizeof(head), &got)) || got != sizeof(head) || head[0] != kStreamMagic)
        return E_FAIL;
    extent_.cx = LONG(head[1]);
    extent_.cy = LONG(head[2]);
    if (head[3] > (1u << 20)) return E_FAIL;
    std::vector<BYTE> props(head[3]);
    if (!props.empty() && (FAILED(stream->Read(props.data(), ULONG(props.size()), &got)) || got != props.size()))
        return E_FAIL;
    LoadProperties(props.data(), props.size());
    return S_OK;
}

STDMETHODIMP COleControl::Save(IStream *stream, BOOL clearDirty)
{
    if (!stream) return E_POINTER;
    std::vector<BYTE> props;
    SerializeProperties(&props);
    DWORD head[4] = {kStreamMagic, DWORD(extent_.cx), DWORD(extent_.cy), DWORD(props.size())};
    ULONG put = 0;
    if (FAILED(stream->Write(head, sizeof(head), &put)) || put != sizeof(head)) return STG_E_CANTSAVE;
    if (!props.empty() && (FAILED(stream->Write(props.data(), ULONG(props.size()), &put)) || put != props.size()))
        return STG_E_CANTSAVE;
    (void)clearDirty;  // the page's own modified flag belongs to its file, not to the container
    return S_OK;
}

STDMETHODIMP COleControl::GetSizeMax(ULARGE_INTEGER *size)
{
    if (!size) return E_POINTER;
    std::vector<BYTE> props;
    SerializeProperties(&props);
    size->QuadPart = 16 + props.size();
    return S_OK;
}

// --- drawing ------------------------------------------------------------------

STDMETHODIMP COleControl::Draw(DWORD aspect, LONG, void *, DVTARGETDEVICE *, HDC, HDC dc, LPCRECTL bounds, LPCRECTL,
                               BOOL(STDMETHODCALLTYPE *)(ULONG_PTR), ULONG_PTR)
{
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (!dc) return E_INVALIDARG;
    RECT r = {0, 0, 320, 240};
    if (bounds) r = {bounds->left, bounds->top, bounds->right, bounds->bottom};
    else if (hwnd_) GetClientRect(hwnd_, &r);
    OnDraw(dc, r);
    return S_OK;
}

STDMETHODIMP COleControl::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE *, LPSIZEL size)
{
    return GetExtent(aspect, size);
}

void COleControl::InvalidateControl()
{
    if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
}

LRESULT COleControl::WindowProc(UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd_, &ps);
        RECT r;
        GetClientRect(hwnd_, &r);
        OnDraw(dc, r);
        EndPaint(hwnd_, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;
    }
    return DefWindowProcA(hwnd_, msg, wp, lp);
}

LRESULT CALLBACK COleControl::StaticProc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_NCCREATE) {
        auto *cs = reinterpret_cast<CREATESTRUCTA *>(lp);
        SetWindowLongPtrA(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        static_cast<COleControl *>(cs->lpCreateParams)->hwnd_ = w;
    }
    auto *self = reinterpret_cast<COleControl *>(GetWindowLongPtrA(w, GWLP_USERDATA));
    if (!self) return DefWindowProcA(w, msg, wp, lp);
    if (msg == WM_NCDESTROY) {
        SetWindowLongPtrA(w, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        return DefWindowProcA(w, msg, wp, lp);
    }
    return self->WindowProc(msg, wp, lp);
}

} // namespace cl
