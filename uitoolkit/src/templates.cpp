/* Dialog templates: running a dialog with its font face, size and frame
 * style replaced, building templates in memory, the local dialog font, and
 * the DBCS subclassing of the standard edit, combo and list classes. */
#include "tundrix32.h"
#include "internal.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

size_t Align4(size_t n) { return (n + 3) & ~static_cast<size_t>(3); }

/* 16-bit units of a text: through the ANSI code page, or byte by byte. */
std::vector<WORD> Units(LPCSTR text, bool ansi, size_t max_units = 0)
{
    std::vector<WORD> u;
    if (text && *text) {
        if (ansi) {
            int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
            if (n > 0) {
                u.resize(n);
                MultiByteToWideChar(CP_ACP, 0, text, -1, reinterpret_cast<LPWSTR>(u.data()), n);
                u.pop_back();
            }
        } else {
            for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p; ++p) u.push_back(*p);
        }
    }
    if (max_units && u.size() > max_units - 1) u.resize(max_units - 1);
    u.push_back(0);
    return u;
}

void Put(std::vector<BYTE> &b, const void *p, size_t n)
{
    const BYTE *s = static_cast<const BYTE *>(p);
    b.insert(b.end(), s, s + n);
}
void PutWord(std::vector<BYTE> &b, WORD w) { Put(b, &w, 2); }
void PutDword(std::vector<BYTE> &b, DWORD d) { Put(b, &d, 4); }
void PutUnits(std::vector<BYTE> &b, const std::vector<WORD> &u) { Put(b, u.data(), u.size() * 2); }

/* Writes bytes at the used end of the block, growing it, and moves the
 * used count; null when the block cannot be locked or grown. */
HGLOBAL Append(HGLOBAL block, const std::vector<BYTE> &bytes, bool is_item)
{
    SIZE_T size = GlobalSize(block);
    if (size < 2) return nullptr;
    BYTE *p = static_cast<BYTE *>(GlobalLock(block));
    if (!p) return nullptr;
    WORD used = *reinterpret_cast<WORD *>(p + size - 2);
    GlobalUnlock(block);
    size_t need = Align4(used + bytes.size()) + 2;
    if (need > 0xFFFF) return nullptr;
    if (need > size) {
        HGLOBAL grown = GlobalReAlloc(block, need + 64, GMEM_MOVEABLE | GMEM_ZEROINIT);
        if (!grown) return nullptr;
        block = grown;
        size = GlobalSize(block);
    }
    p = static_cast<BYTE *>(GlobalLock(block));
    if (!p) return nullptr;
    std::memset(p + used, 0, size - 2 - used);
    std::memcpy(p + used, bytes.data(), bytes.size());
    if (is_item) ++reinterpret_cast<DLGTEMPLATE *>(p)->cdit;
    *reinterpret_cast<WORD *>(p + size - 2) = static_cast<WORD>(Align4(used + bytes.size()));
    GlobalUnlock(block);
    return block;
}

/* Skips a menu, class or title field: an ordinal (0xFFFF and a word) or a
 * string of units. */
const WORD *SkipField(const WORD *p, const WORD *end)
{
    if (p >= end) return nullptr;
    if (*p == 0xFFFF) return p + 2 <= end ? p + 2 : nullptr;
    while (p < end && *p) ++p;
    return p < end ? p + 1 : nullptr;
}

}  // namespace

HGLOBAL TemplateStartEx(DWORD style, short x, short y, short cx, short cy, LPCSTR menu, LPCSTR cls, LPCSTR title,
                        WORD point_size, LPCSTR face, DWORD ex_style, bool dbcs)
{
    bool font = point_size && face;
    if (font) style |= DS_SETFONT;
    else style &= ~static_cast<DWORD>(DS_SETFONT);
    std::vector<BYTE> b;
    PutDword(b, style);
    PutDword(b, ex_style);
    PutWord(b, 0);
    PutWord(b, x);
    PutWord(b, y);
    PutWord(b, cx);
    PutWord(b, cy);
    PutUnits(b, Units(menu, dbcs));
    PutUnits(b, Units(cls, dbcs));
    PutUnits(b, Units(title, dbcs));
    if (font) {
        PutWord(b, point_size);
        PutUnits(b, Units(face, dbcs));
    }
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, Align4(b.size()) + 2 + 64);
    if (!block) return nullptr;
    HGLOBAL r = Append(block, b, false);
    if (!r) {
        GlobalFree(block);
        return nullptr;
    }
    return r;
}

HGLOBAL TemplateStart(DWORD style, short x, short y, short cx, short cy, LPCSTR menu, LPCSTR cls, LPCSTR title,
                      WORD point_size, LPCSTR face, DWORD ex_style)
{
    return TemplateStartEx(style, x, y, cx, cy, menu, cls, title, point_size, face, ex_style,
                           GetSystemMetrics(SM_DBCSENABLED) != 0);
}

HGLOBAL TemplateAddItem(HGLOBAL block, WORD id, DWORD style, short x, short y, short cx, short cy, LPCSTR cls,
                        LPCSTR text)
{
    if (!block) return block;
    std::vector<BYTE> b;
    PutDword(b, style);
    PutDword(b, 0);
    PutWord(b, x);
    PutWord(b, y);
    PutWord(b, cx);
    PutWord(b, cy);
    PutWord(b, id);
    if (cls && static_cast<unsigned char>(cls[0]) >= 0x80) {
        PutWord(b, 0xFFFF);
        PutWord(b, static_cast<unsigned char>(cls[0]));
    } else {
        PutUnits(b, Units(cls, true));
    }
    PutUnits(b, Units(text, true));
    PutWord(b, 0);
    HGLOBAL r = Append(block, b, true);
    return r ? r : block;
}

HGLOBAL TemplateFinish(HGLOBAL block) { return block; }

int TemplateReadFont(const void *tmpl, WORD *point_size, char *face, int face_size)
{
    if (!tmpl) return 0;
    const auto *t = static_cast<const DLGTEMPLATE *>(tmpl);
    if (!(t->style & DS_SETFONT)) return 0;
    const WORD *end = reinterpret_cast<const WORD *>(tmpl) + 0x8000;
    const WORD *p = reinterpret_cast<const WORD *>(static_cast<const BYTE *>(tmpl) + 18);
    for (int i = 0; i < 3 && p; ++i) p = SkipField(p, end);
    if (!p) return 0;
    if (point_size) *point_size = *p;
    ++p;
    if (face && face_size > 0) {
        int n = 0;
        while (p[n] && n < face_size - 1) {
            face[n] = static_cast<char>(p[n]);
            ++n;
        }
        face[n] = 0;
    }
    return 1;
}

std::string TemplatePatch(const void *tmpl, size_t size, DWORD style, WORD point_size, LPCSTR face)
{
    if (!tmpl || size < 18 + 6) return std::string();
    std::string out(static_cast<const char *>(tmpl), size);
    auto *t = reinterpret_cast<DLGTEMPLATE *>(&out[0]);
    if (face && *face && (t->style & DS_SETFONT)) {
        const WORD *base = reinterpret_cast<const WORD *>(out.data());
        const WORD *end = base + size / 2;
        const WORD *p = base + 9;
        for (int i = 0; i < 3 && p; ++i) p = SkipField(p, end);
        if (!p || p >= end) return std::string();
        size_t ps_off = (p - base) * 2;
        size_t face_off = ps_off + 2;
        const WORD *f = base + face_off / 2;
        while (f < end && *f) ++f;
        if (f >= end) return std::string();
        size_t old_units = (f - base) - face_off / 2 + 1;
        size_t old_items = Align4(face_off + old_units * 2);
        std::vector<WORD> units = Units(face, true, 32);
        size_t new_items = Align4(face_off + units.size() * 2);
        if (old_items > size) old_items = size;
        std::string rest = out.substr(old_items);
        out.resize(face_off);
        if (point_size) std::memcpy(&out[ps_off], &point_size, 2);
        out.append(reinterpret_cast<const char *>(units.data()), units.size() * 2);
        out.append(new_items - out.size(), '\0');
        out += rest;
    }
    if (style) {
        t = reinterpret_cast<DLGTEMPLATE *>(&out[0]);
        t->style = (t->style & 0x3F37FF7F) | style;
    }
    return out;
}

extern "C" INT_PTR WINAPI HackDialogBoxParam(HINSTANCE instance, LPCSTR tmpl, HWND owner, DLGPROC proc, LPARAM param,
                                             DWORD style, WORD point_size, LPCSTR face, DWORD flags)
{
    const bool modeless = (flags & 0x10) != 0;
    if (!point_size && !face) {
        if (flags & 0x1) {
            HGLOBAL h = reinterpret_cast<HGLOBAL>(const_cast<char *>(tmpl));
            auto *t = static_cast<const DLGTEMPLATE *>(GlobalLock(h));
            if (!t) return -1;
            INT_PTR r = modeless ? reinterpret_cast<INT_PTR>(CreateDialogIndirectParamA(instance, t, owner, proc, param))
                                 : DialogBoxIndirectParamA(instance, t, owner, proc, param);
            GlobalUnlock(h);
            return r;
        }
        if (flags & 0x2) {
            auto *t = reinterpret_cast<const DLGTEMPLATE *>(tmpl);
            return modeless ? reinterpret_cast<INT_PTR>(CreateDialogIndirectParamA(instance, t, owner, proc, param))
                            : DialogBoxIndirectParamA(instance, t, owner, proc, param);
        }
        return modeless ? reinterpret_cast<INT_PTR>(CreateDialogParamA(instance, tmpl, owner, proc, param))
                        : DialogBoxParamA(instance, tmpl, owner, proc, param);
    }
    std::string copy;
    if (flags & 0x1) {
        HGLOBAL h = reinterpret_cast<HGLOBAL>(const_cast<char *>(tmpl));
        const void *t = GlobalLock(h);
        if (!t) return -1;
        copy = TemplatePatch(t, GlobalSize(h), style, point_size, face);
        GlobalUnlock(h);
    } else if (flags & 0x2) {
        return -1;  /* the size of a bare pointer template is unknown: it cannot be copied */
    } else {
        HRSRC res = FindResourceA(instance, tmpl, reinterpret_cast<LPCSTR>(RT_DIALOG));
        HGLOBAL loaded = res ? LoadResource(instance, res) : nullptr;
        const void *t = loaded ? LockResource(loaded) : nullptr;
        if (!t) return -1;
        copy = TemplatePatch(t, SizeofResource(instance, res), style, point_size, face);
        FreeResource(loaded);
    }
    if (copy.empty()) return -1;
    auto *t = reinterpret_cast<const DLGTEMPLATE *>(copy.data());
    return modeless ? reinterpret_cast<INT_PTR>(CreateDialogIndirectParamA(instance, t, owner, proc, param))
                    : DialogBoxIndirectParamA(instance, t, owner, proc, param);
}

HFONT CreateLocalFontAlways(int point_size)
{
    HDC dc = GetDC(nullptr);
    POINT pt = {0, MulDiv(point_size * 10, GetDeviceCaps(dc, LOGPIXELSY), 720)};
    DPtoLP(dc, &pt, 1);
    ReleaseDC(nullptr, dc);
    LOGFONTA lf = {};
    lf.lfHeight = -std::abs(static_cast<int>(pt.y));
    lf.lfCharSet = DEFAULT_CHARSET;
    return CreateFontIndirectA(&lf);
}

extern "C" HFONT WINAPI iCreateLocalFont(int point_size, int)
{
    if (!GetSystemMetrics(SM_DBCSENABLED)) return nullptr;
    return CreateLocalFontAlways(point_size);
}

extern "C" int WINAPI iLoadString(HINSTANCE instance, UINT id, LPSTR buffer, int size, int)
{
    return LoadStringA(instance, id, buffer, size);
}

/* ---- DBCS subclassing ---- */

namespace {

const int kSlots = 16;
WNDPROC g_saved[kSlots];
LONG g_pass[kSlots];
HFONT g_local_font;
int g_subclassed;

template <int N>
LRESULT CALLBACK Forward(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_SETFONT && !g_pass[N] && g_local_font) wp = reinterpret_cast<WPARAM>(g_local_font);
    return CallWindowProcA(g_saved[N], w, msg, wp, lp);
}

const WNDPROC kForwarders[kSlots] = {Forward<0>,  Forward<1>,  Forward<2>,  Forward<3>, Forward<4>,  Forward<5>,
                                     Forward<6>,  Forward<7>,  Forward<8>,  Forward<9>, Forward<10>, Forward<11>,
                                     Forward<12>, Forward<13>, Forward<14>, Forward<15>};

/* The n-th child of the hidden dialog gets forwarder n.  Only the dialog's
 * own children count: a combo box's edit is a grandchild whose class is
 * already forwarded, and chaining it again would forward twice and could
 * not be undone. */
void SwapClassProcedures(HWND dlg, bool install)
{
    int n = 0;
    for (HWND child = GetWindow(dlg, GW_CHILD); child && n < kSlots; child = GetWindow(child, GW_HWNDNEXT), ++n) {
        if (install) {
            g_saved[n] = reinterpret_cast<WNDPROC>(
                SetClassLongPtrA(child, GCLP_WNDPROC, reinterpret_cast<LONG_PTR>(kForwarders[n])));
        } else if (g_saved[n]) {
            SetClassLongPtrA(child, GCLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_saved[n]));
            g_saved[n] = nullptr;
        }
    }
}

INT_PTR CALLBACK HiddenProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

HWND CreateSubclassDialog()
{
    return CreateDialogParamA(TundrixModule(), "TUNDRIXSUBCLASS", nullptr, HiddenProc, 0);
}

bool DbcsWanted()
{
    return GetSystemMetrics(SM_DBCSENABLED) && FindResourceA(GetModuleHandleA(nullptr), "DBCSSUBCLASS", "TUNDRIX");
}

}  // namespace

HFONT DbcsLocalFont() { return g_local_font; }

bool DbcsSubclassInstallNow()
{
    if (g_subclassed) return true;
    HWND dlg = CreateSubclassDialog();
    if (!dlg) return false;
    HWND knob = CreateWindowExA(0, "Knobset", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, TundrixModule(), nullptr);
    if (knob) {
        HFONT eight = CreateLocalFontAlways(8);
        SendMessageA(knob, WM_USER + 33, reinterpret_cast<WPARAM>(eight), 0);
        DeleteObject(eight);
        DestroyWindow(knob);
    }
    g_local_font = CreateLocalFontAlways(9);
    SwapClassProcedures(dlg, true);
    DestroyWindow(dlg);
    g_subclassed = 1;
    return true;
}

void DbcsSubclassRemoveNow()
{
    if (!g_subclassed) return;
    HWND dlg = CreateSubclassDialog();
    if (!dlg) return;  /* the saved procedures stay in place: the forwarders keep working */
    SwapClassProcedures(dlg, false);
    DestroyWindow(dlg);
    g_subclassed = 0;
    if (g_local_font) DeleteObject(g_local_font);
    g_local_font = nullptr;
}

void DbcsSubclassInstall()
{
    if (DbcsWanted()) DbcsSubclassInstallNow();
}

void DbcsSubclassRemove()
{
    if (g_subclassed) DbcsSubclassRemoveNow();
}

void DbcsSetPassThrough(bool on)
{
    for (LONG &f : g_pass) InterlockedExchange(&f, on ? 1 : 0);
}
