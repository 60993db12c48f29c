#include "pattern_palette.h"
#include "buttons.h"
#include "engine_calls.h"
#include "mixer_dlg.h"
#include "resource.h"
#include "title_ids.h"
#include <dshowbase/unknown.h>
#include <cstring>

HGLOBAL g_hPatternDrag = nullptr;

namespace {

const char kFavouriteSection[] = "FavoritePatterns";
const char kPatternClass[] = "CorvanePatternWnd";

std::string SlotKey(int slot) { return cl::Format("Pattern_%d", slot + 1); }

} // namespace

/* ---- PatternPalette ---- */

void PatternPalette::Setup(int count)
{
    count_ = count > 0 ? count : 0;
    page_ = 0;
    current_ = 0;
}

void PatternPalette::ShowPage(int page)
{
    int last = PageCount() > 0 ? PageCount() - 1 : 0;
    page_ = page < 0 ? 0 : (page > last ? last : page);
    if (onPage) onPage(page_);
}

void PatternPalette::Select(int pattern)
{
    if (pattern < 0 || pattern >= count_) return;
    int previous = current_;
    current_ = pattern;
    if (onSelect) onSelect(previous, pattern);
}

void PatternPalette::OnMenu(int pattern)
{
    if (pattern < 0 || pattern >= count_) return;
    Select(pattern);
    ShowPage(pattern / kPatternsPerPage);
}

void PatternPalette::Light(int pattern)
{
    for (int k = 0; k < kFavouriteSlots; ++k) {
        bool lit = pattern >= 0 && slots_[k] == pattern;
        if (lit != lit_[k]) {
            lit_[k] = lit;
            if (onSlotChanged) onSlotChanged(k);
        }
    }
}

void PatternPalette::WriteSlot(int slot, int value)
{
    if (profile) profile->WriteInt(kFavouriteSection, SlotKey(slot).c_str(), value);
}

void PatternPalette::LoadFavourites()
{
    for (int k = 0; k < kFavouriteSlots; ++k) {
        int v = profile ? profile->GetInt(kFavouriteSection, SlotKey(k).c_str(), -1) : -1;
        /* A stored index this engine does not have leaves the slot empty. */
        slots_[k] = v >= 0 && v < count_ ? v : -1;
        lit_[k] = false;
        if (onSlotChanged) onSlotChanged(k);
    }
}

bool PatternPalette::DropOnSlot(int slot, int pattern)
{
    if (slot < 0 || slot >= kFavouriteSlots || pattern < 0 || pattern >= count_) return false;
    for (int k = 0; k < kFavouriteSlots; ++k)
        if (slots_[k] == pattern) return false;
    slots_[slot] = pattern;
    lit_[slot] = true;
    WriteSlot(slot, pattern);
    if (onSlotChanged) onSlotChanged(slot);
    return true;
}

void PatternPalette::ClearSlot(int slot)
{
    if (slot < 0 || slot >= kFavouriteSlots) return;
    slots_[slot] = -1;
    lit_[slot] = false;
    WriteSlot(slot, -1);
    if (onSlotChanged) onSlotChanged(slot);
}

void PatternPalette::OnThumbMessage(UINT id, int pattern)
{
    Select((int)id - (int)IDC_PATTERN_FIRST);
    Light(pattern);
}

void PatternPalette::OnSlotMessage(UINT id, int pattern)
{
    int slot = (int)id - (int)IDC_FAVOURITE_FIRST;
    if (pattern == -1 || slot < 0 || slot >= kFavouriteSlots || slots_[slot] < 0) return;
    pattern = slots_[slot];   /* the slot's own pattern, whatever the message says */
    for (int k = 0; k < kFavouriteSlots; ++k) {
        bool lit = k == slot;
        if (lit != lit_[k]) {
            lit_[k] = lit;
            if (onSlotChanged) onSlotChanged(k);
        }
    }
    Select(pattern);
    ShowPage(pattern / kPatternsPerPage);
}

std::string PatternDragText(int pattern, UINT id) { return cl::Format("%d.%u", pattern, id); }

int PatternFromDragText(const char *text, size_t size)
{
    if (!text) return -1;
    long v = 0;
    size_t i = 0;
    for (; i < size && text[i] >= '0' && text[i] <= '9'; ++i) {
        v = v * 10 + (text[i] - '0');
        if (v > 100000) return -1;
    }
    if (i == 0) return -1;
    return (int)v;
}

/* ---- drawing shared by thumbnails and slots ---- */

namespace {

void PaintPattern(HWND wnd, HBITMAP bitmap, bool framed)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(wnd, &ps);
    RECT rc;
    GetClientRect(wnd, &rc);
    if (bitmap) {
        HDC mem = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(mem, bitmap);
        StretchBlt(dc, 0, 0, rc.right, rc.bottom, mem, 0, 0, 40, 40, SRCCOPY);
        SelectObject(mem, old);
        DeleteDC(mem);
    } else {
        FillRect(dc, &rc, (HBRUSH)GetStockObject(GRAY_BRUSH));
    }
    if (framed) {
        HPEN pen = CreatePen(PS_SOLID, 3, RGB(0, 255, 0));
        HGDIOBJ old = SelectObject(dc, pen);
        int r = rc.right - 1, b = rc.bottom - 1;
        MoveToEx(dc, 0, 0, nullptr);
        LineTo(dc, 0, b);
        LineTo(dc, r, b);
        LineTo(dc, r, 0);
        LineTo(dc, 0, 0);
        SelectObject(dc, old);
        DeleteObject(pen);
    }
    EndPaint(wnd, &ps);
}

bool RegisterPatternClass(HWND owner)
{
    static bool registered = false;
    if (registered) return true;
    WNDCLASSA wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS | CS_SAVEBITS;
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, (LPCSTR)IDC_ARROW);
    wc.hbrBackground = (HBRUSH)GetStockObject(GRAY_BRUSH);
    wc.hIcon = LoadIconA(nullptr, (LPCSTR)IDI_APPLICATION);
    wc.lpszClassName = kPatternClass;
    if (!RegisterClassA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        MessageBoxA(owner, "Couldn't register class! (Already registered?)", "", MB_OK);
        return false;
    }
    registered = true;
    return true;
}

/* A data object that carries nothing: the drop target reads the shared handle. */
class EmptyDataObject : public dsb::SimpleUnknown<IDataObject, &IID_IDataObject> {
public:
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC *, STGMEDIUM *) override { return DV_E_FORMATETC; }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC *, STGMEDIUM *) override { return DV_E_FORMATETC; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC *) override { return DV_E_FORMATETC; }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC *, FORMATETC *out) override
    {
        if (out) out->ptd = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC *, STGMEDIUM *, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC **out) override
    {
        *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC *, DWORD, IAdviseSink *, DWORD *) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA **out) override
    {
        *out = nullptr;
        return OLE_E_ADVISENOTSUPPORTED;
    }

};

class PatternDropSource : public dsb::SimpleUnknown<IDropSource, &IID_IDropSource> {
public:
    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escape, DWORD keys) override
    {
        if (escape) return DRAGDROP_S_CANCEL;
        if (!(keys & MK_LBUTTON)) return DRAGDROP_S_DROP;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }

};

} // namespace

/* ---- the windows ---- */

class CPatternPaletteWnds::EffectWnd : public cl::CWnd {
public:
    EffectWnd(CPatternPaletteWnds &owner, int pattern) : owner_(owner), pattern_(pattern)
    {
        handlers.Message(WM_PAINT, [this](WPARAM, LPARAM) {
            HBITMAP b = pattern_ >= 0 && (size_t)pattern_ < owner_.bitmaps_.size() ? owner_.bitmaps_[pattern_] : nullptr;
            PaintPattern(m_hWnd, b, owner_.palette_.Current() == pattern_);
            return (LRESULT)0;
        });
        handlers.Message(WM_LBUTTONDOWN, [this](WPARAM, LPARAM) {
            OnLButtonDown();
            return (LRESULT)0;
        });
    }
    ~EffectWnd() override
    {
        if (tip_) ::DestroyWindow(tip_);
    }
    void SetTip(const char *name)
    {
        tip_ = CreateToolTip(m_hWnd, 300, 300);
        AddTool(tip_, m_hWnd, name);
    }
    void OnLButtonDown()
    {
        if (pattern_ < 0) return;
        std::string text = PatternDragText(pattern_, GetDlgCtrlID());
        HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, text.size() + 1);
        if (!h) return;
        if (char *p = (char *)GlobalLock(h)) {
            memcpy(p, text.c_str(), text.size() + 1);
            GlobalUnlock(h);
        }
        if (g_hPatternDrag) GlobalFree(g_hPatternDrag);
        g_hPatternDrag = h;
        IDataObject *data = new EmptyDataObject;
        IDropSource *source = new PatternDropSource;
        DWORD effect = DROPEFFECT_NONE;
        if (owner_.runDrag) owner_.runDrag(data, source, DROPEFFECT_COPY | DROPEFFECT_MOVE, &effect);
        else DoDragDrop(data, source, DROPEFFECT_COPY | DROPEFFECT_MOVE, &effect);
        data->Release();
        source->Release();
        /* A drag that ended anywhere but on a slot leaves its block behind: free it. */
        if (g_hPatternDrag) {
            GlobalFree(g_hPatternDrag);
            g_hPatternDrag = nullptr;
        }
        ::SendMessageA(GetParent(), WM_PATTERN_THUMB, GetDlgCtrlID(), pattern_);
    }

private:
    CPatternPaletteWnds &owner_;
    int pattern_;
    HWND tip_ = nullptr;
};

/* The OLE drop target of one slot. */
class PatternDropTarget : public dsb::SimpleUnknown<IDropTarget, &IID_IDropTarget> {
public:
    PatternDropTarget(PatternPalette &palette, int slot) : palette_(palette), slot_(slot) {}
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject *, DWORD keys, POINTL, DWORD *effect) override
    {
        *effect = Effect(keys);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD keys, POINTL, DWORD *effect) override
    {
        *effect = Effect(keys);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject *, DWORD keys, POINTL, DWORD *effect) override
    {
        if (!g_hPatternDrag) {
            *effect = DROPEFFECT_NONE;
            return S_OK;
        }
        int pattern = -1;
        SIZE_T size = GlobalSize(g_hPatternDrag);
        if (const char *p = (const char *)GlobalLock(g_hPatternDrag)) {
            pattern = PatternFromDragText(p, size);
            GlobalUnlock(g_hPatternDrag);
        }
        palette_.DropOnSlot(slot_, pattern);
        GlobalFree(g_hPatternDrag);
        g_hPatternDrag = nullptr;
        *effect = Effect(keys);
        return S_OK;
    }

private:
    static DWORD Effect(DWORD keys) { return (keys & MK_CONTROL) ? DROPEFFECT_COPY : DROPEFFECT_MOVE; }
    PatternPalette &palette_;
    int slot_;
};

class CPatternPaletteWnds::TargetWnd : public cl::CWnd {
public:
    TargetWnd(CPatternPaletteWnds &owner, int slot) : owner_(owner), slot_(slot)
    {
        handlers.Message(WM_PAINT, [this](WPARAM, LPARAM) {
            int p = owner_.palette_.SlotPattern(slot_);
            HBITMAP b = p >= 0 && (size_t)p < owner_.bitmaps_.size() ? owner_.bitmaps_[p] : nullptr;
            PaintPattern(m_hWnd, b, owner_.palette_.SlotLit(slot_));
            return (LRESULT)0;
        });
        handlers.Message(WM_LBUTTONDOWN, [this](WPARAM, LPARAM) {
            int p = owner_.palette_.SlotPattern(slot_);
            if (p >= 0) ::SendMessageA(GetParent(), WM_PATTERN_SLOT, GetDlgCtrlID(), p);
            return (LRESULT)0;
        });
        handlers.Message(WM_LBUTTONDBLCLK, [this](WPARAM, LPARAM) {
            owner_.palette_.ClearSlot(slot_);
            return (LRESULT)0;
        });
        handlers.Message(WM_DESTROY, [this](WPARAM, LPARAM) {
            Revoke();
            return Default();
        });
    }
    ~TargetWnd() override
    {
        Revoke();
    }
    void Register()
    {
        target_ = new PatternDropTarget(owner_.palette_, slot_);
        if (FAILED(RegisterDragDrop(m_hWnd, target_))) {
            MessageBoxA(GetParent(), "Ole Register Drop Target Failed", "", MB_OK);
            target_->Release();
            target_ = nullptr;
        }
    }
    void Revoke()
    {
        if (!target_) return;
        if (m_hWnd) RevokeDragDrop(m_hWnd);
        target_->Release();
        target_ = nullptr;
    }
    IDropTarget *target_ = nullptr;

private:
    CPatternPaletteWnds &owner_;
    int slot_;
};

CPatternPaletteWnds::CPatternPaletteWnds(CMixerDlg &dlg, PatternPalette &palette) : dlg_(dlg), palette_(palette)
{
}

CPatternPaletteWnds::~CPatternPaletteWnds()
{
    for (EffectWnd *w : thumbs_) delete w;
    for (TargetWnd *&w : slots_) {
        delete w;
        w = nullptr;
    }
    for (HBITMAP b : bitmaps_)
        if (b) DeleteObject(b);
    if (oleStarted_) OleUninitialize();
}

HWND CPatternPaletteWnds::Thumb(int pattern) const
{
    return pattern >= 0 && (size_t)pattern < thumbs_.size() ? thumbs_[pattern]->m_hWnd : nullptr;
}

HWND CPatternPaletteWnds::Slot(int slot) const
{
    return slot >= 0 && slot < kFavouriteSlots && slots_[slot] ? slots_[slot]->m_hWnd : nullptr;
}

IDropTarget *CPatternPaletteWnds::SlotTarget(int slot) const
{
    return slot >= 0 && slot < kFavouriteSlots && slots_[slot] ? slots_[slot]->target_ : nullptr;
}

HBITMAP CPatternPaletteWnds::PatternBitmap(int pattern) const
{
    return pattern >= 0 && (size_t)pattern < bitmaps_.size() ? bitmaps_[pattern] : nullptr;
}

void CPatternPaletteWnds::Bind(cl::HandlerTable &h)
{
    h.Message(WM_PATTERN_THUMB, [this](WPARAM wp, LPARAM lp) {
        palette_.OnThumbMessage((UINT)wp, (int)lp);
        return (LRESULT)0;
    });
    h.Message(WM_PATTERN_SLOT, [this](WPARAM wp, LPARAM lp) {
        palette_.OnSlotMessage((UINT)wp, (int)lp);
        return (LRESULT)0;
    });
    h.CommandRange(ID_PATTERN_FIRST, ID_PATTERN_FIRST + 99, [this](UINT id) { palette_.OnMenu((int)(id - ID_PATTERN_FIRST)); });
    auto guarded = [this] { return dlg_.m_bRemoteMode != 0; };   /* whatever request runs */
    h.Command(IDC_PAGE_UP, [this, guarded] { if (!guarded()) palette_.PageUp(); });
    h.Command(IDC_PAGE_ZERO, [this, guarded] { if (!guarded()) palette_.PageZero(); });
    h.Command(IDC_PAGE_DOWN, [this, guarded] { if (!guarded()) palette_.PageDown(); });
}

void CPatternPaletteWnds::Create(HWND parent, HMENU menu)
{
    parent_ = parent;
    menu_ = menu;
    HINSTANCE inst = GetModuleHandleA(nullptr);

    /* 1-2. The patterns and their bitmaps. */
    int n = g_engine.GetTransEffectNumbers ? g_engine.GetTransEffectNumbers() : 0;
    if (n < 0) n = 0;
    if (n > 99) n = 99;   /* the menu's id range */
    palette_.Setup(n);
    for (int i = 0; i < n; ++i)
        bitmaps_.push_back((HBITMAP)LoadImageA(inst, MAKEINTRESOURCEA(IDB_PATTERN_FIRST + i), IMAGE_BITMAP, 0, 0, 0));

    palette_.onSelect = [this](int previous, int current) {
        dlg_.m_nTransition = current;
        dlg_.switcher.transition = current;   /* the next switch and the T-bar use it */
        if (menu_) {
            CheckMenuItem(menu_, ID_PATTERN_FIRST + previous, MF_BYCOMMAND | MF_UNCHECKED);
            CheckMenuItem(menu_, ID_PATTERN_FIRST + current, MF_BYCOMMAND | MF_CHECKED);
        }
        for (EffectWnd *w : thumbs_) ::InvalidateRect(w->m_hWnd, nullptr, FALSE);
        const char *name = g_engine.GetTransEffectName ? g_engine.GetTransEffectName(current) : nullptr;
        ::SetDlgItemTextA(parent_, IDC_PATTERN_NAME, name ? name : "");
    };
    palette_.onPage = [this](int page) {
        for (size_t i = 0; i < thumbs_.size(); ++i)
            ::ShowWindow(thumbs_[i]->m_hWnd, (int)i / kPatternsPerPage == page ? SW_SHOW : SW_HIDE);
    };
    palette_.onSlotChanged = [this](int slot) {
        if (slots_[slot]) ::InvalidateRect(slots_[slot]->m_hWnd, nullptr, FALSE);
    };

    bool classOk = RegisterPatternClass(parent);

    /* 3. Thumbnails: two rows of six, every page in the same cells. */
    for (int i = 0; i < n; ++i) {
        int cell = i % kPatternsPerPage, r = cell / 6, c = cell % 6;
        auto *w = new EffectWnd(*this, i);
        RECT rc = {48 + c * 46, 652 + r * 46, 48 + c * 46 + 40, 652 + r * 46 + 40};
        if (classOk) w->CreateEx(0, kPatternClass, "", WS_CHILD | WS_VISIBLE, rc, parent, IDC_PATTERN_FIRST + i);
        thumbs_.push_back(w);
    }

    /* 4. Favourite slots with their drop targets, filled from the profile. */
    bool oleStarted = SUCCEEDED(OleInitialize(nullptr));
    for (int k = 0; k < kFavouriteSlots; ++k) {
        slots_[k] = new TargetWnd(*this, k);
        RECT rc = {48 + k * 46, 596, 48 + k * 46 + 40, 636};
        if (classOk && slots_[k]->CreateEx(0, kPatternClass, "", WS_CHILD | WS_VISIBLE, rc, parent, IDC_FAVOURITE_FIRST + k))
            slots_[k]->Register();
    }
    /* The thread stays initialised for OLE while the slots are registered. */
    oleStarted_ = oleStarted;
    palette_.LoadFavourites();

    /* The page buttons. */
    static const struct { UINT id; int x, y; } pages[3] = {
        {IDC_PAGE_UP, 338, 655}, {IDC_PAGE_ZERO, 340, 684}, {IDC_PAGE_DOWN, 338, 711}};
    for (const auto &b : pages)
        CreateWindowExA(0, "Static", "", WS_CHILD | WS_VISIBLE | SS_BITMAP | SS_NOTIFY, b.x, b.y, 20, 20, parent,
                        (HMENU)(UINT_PTR)b.id, inst, nullptr);

    /* 5. The "Transition Effect" menu. */
    HMENU sub = nullptr;
    if (HMENU effect = menu ? GetSubMenu(menu, 2) : nullptr) {
        for (int i = 0, c = GetMenuItemCount(effect); i < c && !sub; ++i) {
            char text[64] = "";
            GetMenuStringA(effect, (UINT)i, text, sizeof text, MF_BYPOSITION);
            if (strstr(text, "Transition")) sub = GetSubMenu(effect, i);
        }
    }
    if (sub) {
        for (int i = 0; i < n; ++i) {
            const char *name = g_engine.GetTransEffectName ? g_engine.GetTransEffectName(i) : nullptr;
            AppendMenuA(sub, MF_STRING, ID_PATTERN_FIRST + i, name ? name : "");
        }
        DeleteMenu(sub, 0, MF_BYPOSITION);
    }

    /* 6. Names, the first page, the current pattern; then pattern 0 is current. */
    for (int i = 0; i < n; ++i) {
        const char *name = g_engine.GetTransEffectName ? g_engine.GetTransEffectName(i) : nullptr;
        if (thumbs_[i]->m_hWnd) thumbs_[i]->SetTip(name ? name : "");
    }
    palette_.ShowPage(palette_.Current() / kPatternsPerPage);
    palette_.Select(palette_.Current());
    ::SendMessageA(parent, WM_PATTERN_THUMB, IDC_PATTERN_FIRST, 0);
}
