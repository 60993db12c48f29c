/* The "Placet" window class: state, property strings, the update cycle and
 * the handling of its parts' commands, scroll messages and edit keys. */
#include "placet.h"
#include "placet_internal.h"
#include "dlgx.h"
#include "tundrix32.h"
#include "propstr.h"

#include <commctrl.h>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const double kMinStep = 2.220446e-16;
const char kEditOwnerProp[] = "Placet edit owner - Halvard";

enum : uint32_t {
    RUN_DISABLED = 0x2,
    RUN_HIDDEN = 0x20,
    RUN_TRACKING = 0x20000,
    RUN_THUMBDBL = 0x800000,
    RUN_THUMBTIMER = 0x1000000,
    RUN_TRACKCHANGED = 0x4000000,
    RUN_TRACKBEGAN = 0x8000000,
    RUN_REPORT = 0x10000000,
    RUN_CLIPPED = 0x20000000,
    RUN_FASTDRAG = 0x40000000,
};

enum : uint32_t {
    UPD_EDIT = 0x1,
    UPD_SCROLL = 0x2,
    UPD_QUIET = 0x1000000 | 0x10000000,
    UPD_FOCUS = 0x2000000,
    UPD_ROUND = 0x20000000,
    UPD_REFRESH = 0x40000000,
    UPD_FORCE = 0x80000000,
    UPD_ALL = 0xFFFFFF,
};

enum { TIMER_EDIT = 100, TIMER_THUMB = 101 };

PositionerState *Get(HWND hwnd)
{
    return reinterpret_cast<PositionerState *>(GetWindowLongPtrA(hwnd, 4));
}

int OwnId(PositionerState *s) { return GetDlgCtrlID(s->self); }

HWND Part(PositionerState *s, int n)
{
    if (!(s->present & (1u << (n - 1)))) return nullptr;
    return GetDlgItem(s->parent, OwnId(s) + n);
}

void Notify(PositionerState *s, int code)
{
    if (s->parent)
        SendMessageA(s->parent, WM_COMMAND, MAKEWPARAM(OwnId(s), code), reinterpret_cast<LPARAM>(s->self));
}

bool ControlDown() { return GetKeyState(VK_CONTROL) < 0; }

void FreeFace(PositionerState *s)
{
    std::free(s->label);
    s->label = nullptr;
    s->text_colour = s->back_colour = 0x80000000u;
    for (uint32_t &w : s->face_words) w = 0;
}

void SetFormatOwned(PositionerState *s, char *format)
{
    if (s->format_owned) std::free(s->format);
    s->format = format;
    s->format_owned = format != nullptr;
}

void ResetAttributes(PositionerState *s)
{
    FreeFace(s);
    s->parts_wanted = 0xFFFF;
    s->value = 0;
    s->previous = -1;
    s->minimum = 0;
    s->maximum = 100;
    s->deflt = 0;
    s->step = 1;
    s->page = 10;
    SetFormatOwned(s, nullptr);
}

} // namespace

/* ---- edit text format ------------------------------------------------ */

FormatKind ClassifyFormat(const char *format)
{
    if (!format) return FormatKind::Float;
    const char *conv = nullptr;
    char length = 0;
    int conversions = 0;
    for (const char *p = format; *p; ++p) {
        if (*p != '%') continue;
        if (p[1] == '%') {
            ++p;
            continue;
        }
        const char *q = p + 1;
        char len = 0;
        while (*q && !std::strchr("diuoxXfeEgGcsnp", *q)) {
            if (*q == 'h' || *q == 'l') len = *q;
            else if (!std::strchr("-+ #0123456789.", *q)) break;
            ++q;
        }
        if (!*q || !std::strchr("diuoxXfeEgGcsnp", *q)) return FormatKind::Refused;
        ++conversions;
        conv = q;
        length = len;
        p = q;
    }
    if (conversions > 1) return FormatKind::Refused;
    if (!conv) return FormatKind::Float;
    switch (*conv) {
    case 'f': case 'e': case 'E': case 'g': case 'G': return FormatKind::Float;
    case 'd': case 'i': case 'o': case 'x': case 'X': case 'u': case 'c':
        return length == 'h' ? FormatKind::Int16 : FormatKind::Int32;
    default: return FormatKind::Refused;  /* s, n, p would read or write through the value */
    }
}

void FormatValue(const char *format, double value, char *out, size_t size)
{
    if (!format) format = "%.0f";
    switch (ClassifyFormat(format)) {
    case FormatKind::Float: std::snprintf(out, size, format, value); break;
    case FormatKind::Int32: std::snprintf(out, size, format, static_cast<int>(static_cast<int32_t>(value))); break;
    case FormatKind::Int16: std::snprintf(out, size, format, static_cast<int>(static_cast<int16_t>(value))); break;
    case FormatKind::Refused: std::snprintf(out, size, "%.0f", value); break;
    }
}

double NormaliseValue(double value, double minimum, double maximum, double step, bool round, bool wrap)
{
    if (round && step != 0) value = minimum + step * std::floor((value - minimum) / step + 0.5);
    if (value < minimum || value > maximum) {
        if (wrap && step != 0 && maximum >= minimum) {
            double period = step * (std::floor((maximum - minimum) / step) + 1);
            double r = std::fmod(value - minimum, period);
            if (r < 0) r += period;
            value = minimum + r;
        } else if (value < minimum) {
            value = minimum;
        } else {
            value = maximum;
        }
    }
    return value;
}

int ScrollPosition(double value, double minimum, double maximum, double step, bool reversed)
{
    if (step > maximum - minimum || maximum <= minimum) return 5000;
    int pos = static_cast<int>((value - minimum) / (maximum - minimum) * 10000.0);
    if (pos < 0) pos = 0;
    if (pos > 10000) pos = 10000;
    return reversed ? 10000 - pos : pos;
}

namespace {

/* ---- parts --------------------------------------------------------- */

void EnableParts(PositionerState *s)
{
    bool on = !(s->run & RUN_DISABLED) && s->minimum != s->maximum;
    bool at_min = s->value <= s->minimum, at_max = s->value >= s->maximum;
    for (int n = 1; n <= 12; ++n) {
        HWND part = Part(s, n);
        if (!part) continue;
        bool e = on;
        if (on) {
            if ((n == 4 || n == 6) && at_min) e = false;
            if ((n == 3 || n == 7) && at_max) e = false;
            if (n == 5 && s->value == s->deflt) e = false;
        }
        EnableWindow(part, e);
        if (n == 2 && !(s->flags & PSF_TRACKBAR)) {
            UINT arrows = ESB_ENABLE_BOTH;
            if (!on) arrows = ESB_DISABLE_BOTH;
            else if (at_min && at_max) arrows = ESB_DISABLE_BOTH;
            else if (at_min) arrows = (s->style & PLCS_REVERSED) ? ESB_DISABLE_RTDN : ESB_DISABLE_LTUP;
            else if (at_max) arrows = (s->style & PLCS_REVERSED) ? ESB_DISABLE_LTUP : ESB_DISABLE_RTDN;
            if (on) EnableScrollBar(part, SB_CTL, ESB_ENABLE_BOTH);
            EnableScrollBar(part, SB_CTL, arrows);
        }
    }
}

void ShowParts(PositionerState *s)
{
    int cmd = (s->run & RUN_HIDDEN) ? SW_HIDE : SW_SHOWNA;
    for (int n = 1; n <= 12; ++n)
        if (HWND part = Part(s, n)) ShowWindow(part, cmd);
}

void WriteEdit(PositionerState *s, HWND edit)
{
    char text[128];
    FormatValue(s->format, s->value, text, sizeof text);
    DWORD start = 0, end = 0;
    SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    int old_len = GetWindowTextLengthA(edit);
    SetWindowTextA(edit, text);
    int new_len = static_cast<int>(std::strlen(text));
    if (s->run & (RUN_TRACKING | RUN_FASTDRAG)) {
        SendMessageA(edit, EM_SETSEL, 0, -1);
    } else if (static_cast<int>(end) == old_len) {
        int new_start = start == end ? new_len : static_cast<int>(start);
        if (new_start > new_len) new_start = new_len;
        SendMessageA(edit, EM_SETSEL, new_start, new_len);
    } else {
        SendMessageA(edit, EM_SETSEL, start, end);
    }
}

void MoveScroll(PositionerState *s, HWND bar)
{
    int pos = ScrollPosition(s->value, s->minimum, s->maximum, s->step, (s->style & PLCS_REVERSED) != 0);
    if (s->flags & PSF_TRACKBAR) SendMessageA(bar, TBM_SETPOS, TRUE, pos);
    else SetScrollPos(bar, SB_CTL, pos, TRUE);
}

} // namespace

void PlacetUpdate(PositionerState *s, uint32_t f)
{
    bool live = (s->style & PLCS_LIVEMSGS) != 0;
    bool tracking = (s->run & RUN_TRACKING) != 0;
    bool was_tracking = (s->last_run & RUN_TRACKING) != 0;
    if (live && tracking && !was_tracking) s->run |= RUN_TRACKBEGAN;

    if (s->value != s->previous || (f & UPD_REFRESH)) {
        bool round = (f & UPD_ROUND) && !(s->style & PLCS_NOROUND);
        s->value = NormaliseValue(s->value, s->minimum, s->maximum, s->step, round, (s->style & PLCS_WRAP) != 0);
    }
    if (s->value != s->previous) {
        s->previous = s->value;
        if (!(f & UPD_QUIET) || (f & UPD_FORCE)) s->run |= RUN_REPORT;
        s->run &= ~(RUN_THUMBDBL);
    }
    if (live && (s->run & RUN_TRACKBEGAN)) {
        s->run &= ~RUN_TRACKBEGAN;
        s->run |= RUN_TRACKCHANGED;
        Notify(s, PLN_TRACKBEGIN);
    }

    ++s->busy;
    EnableParts(s);
    if (HWND edit = Part(s, 1)) {
        if (f & UPD_EDIT) WriteEdit(s, edit);
        if (f & UPD_FOCUS) {
            SetFocus(edit);
            SendMessageA(edit, EM_SETSEL, 0, -1);
        }
        InvalidateRect(edit, nullptr, FALSE);
    }
    if (HWND bar = Part(s, 2))
        if (f & UPD_SCROLL) MoveScroll(s, bar);
    --s->busy;

    tracking = (s->run & RUN_TRACKING) != 0;
    if (s->run & RUN_REPORT) {
        if (tracking && live) {
            s->run &= ~RUN_REPORT;
            Notify(s, PLN_TRACKCHANGE);
        } else if ((f & UPD_FORCE) || !tracking) {
            s->run &= ~RUN_REPORT;
            Notify(s, PLN_CHANGED);
        }
    } else if (f & UPD_FORCE) {
        Notify(s, PLN_FORCED);
    }
    if (live && was_tracking && !tracking && (s->run & RUN_TRACKCHANGED)) {
        s->run &= ~RUN_TRACKCHANGED;
        Notify(s, PLN_TRACKEND);
    }
    s->last_run = s->run;
}

namespace {

void SetValue(PositionerState *s, double v, uint32_t flags)
{
    s->value = v;
    PlacetUpdate(s, flags);
}

double ReadEdit(HWND edit)
{
    char text[129] = {0};
    GetWindowTextA(edit, text, 128);
    if (!text[0]) return 0;
    return std::strtod(text, nullptr);
}

void ApplyEdit(PositionerState *s)
{
    if (HWND edit = Part(s, 1)) SetValue(s, ReadEdit(edit), UPD_ROUND | UPD_ALL);
}

bool ParseDouble(const char *text, double &out)
{
    if (!text) return false;
    char *end = nullptr;
    double v = std::strtod(text, &end);
    if (end == text || !std::isfinite(v)) return false;
    out = v;
    return true;
}

void Align(PositionerState *s)
{
    if (!(s->style & PLCS_AUTOALIGN)) return;
    HWND edit = Part(s, 1), up = Part(s, 3), down = Part(s, 4);
    if (!edit || !up || !down) return;
    RECT re, ru, rd;
    GetWindowRect(edit, &re);
    GetWindowRect(up, &ru);
    GetWindowRect(down, &rd);
    MapWindowPoints(nullptr, s->parent, reinterpret_cast<POINT *>(&re), 2);
    int h = re.bottom - re.top, half = h / 2;
    MoveWindow(up, re.right, re.top, ru.right - ru.left, half, TRUE);
    MoveWindow(down, re.right, re.top + half, rd.right - rd.left, h - half, TRUE);
}

} // namespace

/* ---- properties ---------------------------------------------------- */

bool PlacetSetProperty(PositionerState *s, uint32_t code, uint32_t number, const char *text)
{
    bool is_string = (code & propstr::kString) != 0;
    uint32_t attr = code & propstr::kAttrMask;
    if (attr) {
        switch (attr) {
        case 1:
            std::free(s->label);
            s->label = is_string ? propstr::Duplicate(text) : nullptr;
            if (!is_string) {
                char buf[256];
                HINSTANCE module = GetModuleHandleA(nullptr);
                if (!LoadStringA(module, number, buf, sizeof buf)) std::snprintf(buf, sizeof buf, "%lu", static_cast<unsigned long>(number));
                s->label = propstr::Duplicate(buf);
            }
            return true;
        case 4: s->text_colour = number; return true;
        case 5: s->back_colour = number; return true;
        default:
            if (attr == 10 || attr == 12 || attr == 13) return false;
            s->face_words[attr] = number;
            return true;
        }
    }
    double d;
    switch (code & 0xF0) {
    case 0x00: s->version = static_cast<uint16_t>(number); return true;
    case 0x10: case 0x20: return true;
    case 0x30: s->parts_wanted = number; return true;
    case 0x40:
        if (!is_string || !text) return false;
        if (ClassifyFormat(text) == FormatKind::Refused) return false;
        SetFormatOwned(s, propstr::Duplicate(text));
        return true;
    case 0x50: if (!ParseDouble(text, d)) return false; s->minimum = d; return true;
    case 0x60: if (!ParseDouble(text, d)) return false; s->maximum = d; return true;
    case 0x70: if (!ParseDouble(text, d)) return false; s->deflt = d; return true;
    case 0x80:
        if (!ParseDouble(text, d)) return false;
        if (std::fabs(d) > kMinStep) {
            s->step = d;
            s->page = 10 * d;
        }
        return true;
    case 0xE0: s->style = (s->style & 0xFFFF) | ((number & 0xFFFF) << 16); return true;
    case 0xF0: s->style = (s->style & 0xFFFF0000u) | (number & 0xFFFF); return true;
    }
    return false;
}

bool PlacetApplyString(PositionerState *s, const char *text, bool reset)
{
    if (!text || !*text) return false;
    if (!propstr::HasSeparator(text)) return PlacetSetProperty(s, 0x171, 0, text);
    if (reset) ResetAttributes(s);
    bool ok = true;
    const char *p = text;
    propstr::Pair pair;
    while (propstr::ReadPair(p, propstr::Reader::Positioner, pair)) {
        if (!PlacetSetProperty(s, pair.code, pair.number, pair.text)) ok = false;
        propstr::FreePair(pair);
    }
    return ok;
}

namespace {

/* ---- numbers by type ------------------------------------------------- */

double *Which(PositionerState *s, unsigned which)
{
    switch (which) {
    case PLN_VALUE: return &s->value;
    case PLN_MIN: return &s->minimum;
    case PLN_MAX: return &s->maximum;
    case PLN_DEFAULT: return &s->deflt;
    case PLN_STEP: return &s->step;
    }
    return nullptr;
}

LRESULT GetNumber(PositionerState *s, WPARAM wp, LPARAM lp)
{
    double *src = Which(s, wp & 0xF);
    if (!src) return 0;
    unsigned type = (wp >> 8) & 0xF;
    bool by_value = (wp & PLN_BYVALUE) != 0;
    double v = *src;
    if (type == 9 && by_value) {
        OutputDebugStringA("cannot pass double by value");
        return 0;
    }
    if (type == 8 && by_value) return 0;
    if (type >= 10) return 0;
    if (!by_value && !lp) return 0;
    void *out = reinterpret_cast<void *>(lp);
    LRESULT r = 0;
    switch (type) {
    case 0: case 6: r = static_cast<int32_t>(v); if (!by_value) *static_cast<int32_t *>(out) = static_cast<int32_t>(v); break;
    case 1: case 7: r = static_cast<uint32_t>(static_cast<int64_t>(v)); if (!by_value) *static_cast<uint32_t *>(out) = static_cast<uint32_t>(static_cast<int64_t>(v)); break;
    case 2: r = static_cast<int8_t>(v); if (!by_value) *static_cast<int8_t *>(out) = static_cast<int8_t>(v); break;
    case 3: r = static_cast<uint8_t>(static_cast<int>(v)); if (!by_value) *static_cast<uint8_t *>(out) = static_cast<uint8_t>(static_cast<int>(v)); break;
    case 4: r = static_cast<int16_t>(v); if (!by_value) *static_cast<int16_t *>(out) = static_cast<int16_t>(v); break;
    case 5: r = static_cast<uint16_t>(static_cast<int>(v)); if (!by_value) *static_cast<uint16_t *>(out) = static_cast<uint16_t>(static_cast<int>(v)); break;
    case 8: *static_cast<float *>(out) = static_cast<float>(v); r = 1; break;
    case 9: *static_cast<double *>(out) = v; r = 1; break;
    }
    return r;
}

bool ReadNumberArg(WPARAM wp, LPARAM lp, double &v)
{
    unsigned type = (wp >> 8) & 0xF;
    bool by_value = (wp & PLN_BYVALUE) != 0;
    v = 0;
    if (type == 9 && by_value) {
        OutputDebugStringA("cannot pass double by value");
        return false;
    }
    if (type == 8 && by_value) return false;
    if (type >= 10) return false;
    if (by_value) {
        switch (type) {
        case 0: case 6: v = static_cast<int32_t>(lp); break;
        case 1: case 7: v = static_cast<uint32_t>(lp); break;
        case 2: v = static_cast<int8_t>(lp); break;
        case 3: v = static_cast<uint8_t>(lp); break;
        case 4: v = static_cast<int16_t>(lp); break;
        case 5: v = static_cast<uint16_t>(lp); break;
        }
        return true;
    }
    if (!lp) return false;
    const void *in = reinterpret_cast<const void *>(lp);
    switch (type) {
    case 0: case 6: v = *static_cast<const int32_t *>(in); break;
    case 1: case 7: v = *static_cast<const uint32_t *>(in); break;
    case 2: v = *static_cast<const int8_t *>(in); break;
    case 3: v = *static_cast<const uint8_t *>(in); break;
    case 4: v = *static_cast<const int16_t *>(in); break;
    case 5: v = *static_cast<const uint16_t *>(in); break;
    case 8: v = *static_cast<const float *>(in); break;
    case 9: v = *static_cast<const double *>(in); break;
    }
    return std::isfinite(v);
}

LRESULT SetNumber(PositionerState *s, WPARAM wp, LPARAM lp)
{
    double *dst = Which(s, wp & 0xF);
    double v = 0;
    if (!dst || !ReadNumberArg(wp, lp, v)) return 0;
    if (dst == &s->step) {
        if (std::fabs(v) <= kMinStep) v = std::copysign(kMinStep, v == 0 ? 1.0 : v);
        s->page = 10 * v;
    }
    *dst = v;
    uint32_t flags = UPD_ROUND | UPD_REFRESH | UPD_ALL;
    if (!(wp & PLN_NOTIFY)) flags |= UPD_QUIET;
    PlacetUpdate(s, flags);
    InvalidateRect(s->self, nullptr, FALSE);
    return 0;
}

/* ---- dialog initialisation ------------------------------------------- */

void DialogInit(PositionerState *s)
{
    int id = OwnId(s);
    s->present = 0;
    for (int n = 1; n <= 12; ++n) {
        if (!(s->parts_wanted & (1u << (n - 1)))) continue;
        HWND part = GetDlgItem(s->parent, id + n);
        if (!part) continue;
        /* The part's commands, scroll and colour messages come here. */
        DLGXHOOKREQUEST hook = {static_cast<UINT_PTR>(id + n), s->self,
                                DLGX_KIND_COMMAND | DLGX_KIND_SCROLL | DLGX_KIND_COLOUR, nullptr};
        if (SendMessageA(s->parent, DlgXMessage(), DLGX_ADDHOOK, reinterpret_cast<LPARAM>(&hook)))
            s->present |= 1u << (n - 1);
    }
    if (HWND edit = Part(s, 1)) {
        SetPropA(edit, kEditOwnerProp, s->self);
        s->edit_proc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PlacetEditProc)));
    }
    if (s->style & PLCS_LIVEMSGS) {
        for (int n = 3; n <= 4; ++n) {
            HWND b = Part(s, n);
            char cls[32] = {0};
            if (!b || !GetClassNameA(b, cls, sizeof cls) || std::strcmp(cls, "Knobset")) continue;
            LRESULT version = SendMessageA(b, WM_USER + 23, 1, 0);
            DWORD st = static_cast<DWORD>(SendMessageA(b, WM_USER + 12, 0, 0));
            if (static_cast<DWORD>(version) >= 2 && (st & 0x20) && !(st & 0x80))
                SendMessageA(b, WM_USER + 12, 5, 0x80);
        }
    }
    if (HWND bar = Part(s, 2)) {
        char cls[32] = {0};
        GetClassNameA(bar, cls, sizeof cls);
        if (!lstrcmpiA(cls, TRACKBAR_CLASSA)) {
            s->flags |= PSF_TRACKBAR;
            SendMessageA(bar, TBM_SETRANGE, FALSE, MAKELPARAM(0, 10000));
        } else {
            SetScrollRange(bar, SB_CTL, 0, 10000, FALSE);
        }
    }
    if (HWND linked = Part(s, 12)) {
        SendMessageA(linked, PLM_SETNUMBER, PLN_DOUBLE | PLN_MIN, reinterpret_cast<LPARAM>(&s->minimum));
        SendMessageA(linked, PLM_SETNUMBER, PLN_DOUBLE | PLN_MAX, reinterpret_cast<LPARAM>(&s->maximum));
    }
    s->value = s->deflt;
    PlacetUpdate(s, UPD_ROUND | UPD_REFRESH | UPD_QUIET | UPD_ALL);
    ShowParts(s);
    EnableParts(s);
    Align(s);
    if (s->style & PLCS_OFFSCREEN) {
        RECT r;
        GetWindowRect(s->self, &r);
        SetWindowPos(s->self, nullptr, -(r.right - r.left + 5), -(r.bottom - r.top + 5), 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

/* ---- commands and scrolling ----------------------------------------- */

void OnPartCommand(PositionerState *s, int n, unsigned code)
{
    unsigned low = code & 0xFF;
    bool jump = (code & 0x4000) != 0;
    switch (n) {
    case 1:
        if (code == EN_SETFOCUS) {
            InvalidateRect(Part(s, 1), nullptr, FALSE);
        } else if (code == EN_KILLFOCUS) {
            if (!(s->style & PLCS_LIVEMSGS) || s->edit_timer) {
                if (s->edit_timer) KillTimer(s->self, TIMER_EDIT);
                s->edit_timer = false;
                ApplyEdit(s);
            }
        } else if (code == EN_UPDATE && (s->style & PLCS_LIVEMSGS)) {
            SetTimer(s->self, TIMER_EDIT, 1500, nullptr);
            s->edit_timer = true;
        }
        return;
    case 3:
    case 4: {
        double dir = n == 3 ? 1 : -1;
        if (low == 0 || low == 5) {
            double v = jump ? (n == 3 ? s->maximum : s->minimum) : s->value + dir * s->step;
            SetValue(s, v, UPD_ALL);
        } else if (low == 2) {
            s->run |= RUN_TRACKING;
            PlacetUpdate(s, UPD_ALL);
        } else if (low == 3) {
            s->run &= ~RUN_TRACKING;
            PlacetUpdate(s, UPD_ALL);
        }
        return;
    }
    case 5:
        if (low == 0 && !(s->style & PLCS_NODEFAULT)) {
            SetValue(s, s->deflt, UPD_ALL);
            if (HWND edit = Part(s, 1)) SetFocus(edit);
        }
        return;
    case 6: if (low == 0) SetValue(s, s->minimum, UPD_ALL); return;
    case 7: if (low == 0) SetValue(s, s->maximum, UPD_ALL); return;
    case 12: {
        float f = 0;
        if (SendMessageA(Part(s, 12), PLM_GETNUMBER, PLN_FLOAT | PLN_VALUE, reinterpret_cast<LPARAM>(&f)))
            SetValue(s, f, UPD_ALL);
        return;
    }
    }
}

void OnScroll(PositionerState *s, HWND bar, WPARAM wp)
{
    int code = LOWORD(wp);
    int pos = HIWORD(wp);
    if (s->flags & PSF_TRACKBAR) pos = static_cast<int>(SendMessageA(bar, TBM_GETPOS, 0, 0));
    bool reversed = (s->style & PLCS_REVERSED) != 0;
    if (reversed) {
        static const int swap[] = {1, 0, 3, 2, 4, 5, 7, 6, 8};
        if (code >= 0 && code <= 8) code = swap[code];
    }
    if (code != SB_ENDSCROLL) s->run |= RUN_TRACKING;
    double v = s->value;
    uint32_t flags = UPD_ALL;
    bool ctrl = ControlDown();
    switch (code) {
    case SB_LINEUP: v = ctrl ? s->minimum : v - s->step; break;
    case SB_LINEDOWN: v = ctrl ? s->maximum : v + s->step; break;
    case SB_PAGEUP: v -= s->page; break;
    case SB_PAGEDOWN: v += s->page; break;
    case SB_TOP: v = s->minimum; break;
    case SB_BOTTOM: v = s->maximum; break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: {
        if (code == SB_THUMBTRACK && !(s->last_run & RUN_TRACKING) && !(s->run & RUN_THUMBTIMER)) {
            SetTimer(s->self, TIMER_THUMB, GetDoubleClickTime(), nullptr);
            s->run |= RUN_THUMBTIMER;
        } else if (code == SB_THUMBTRACK && !(s->last_run & RUN_TRACKING) && (s->run & RUN_THUMBTIMER)) {
            s->run |= RUN_THUMBDBL;
        }
        int p = reversed ? 10000 - pos : pos;
        v = s->minimum + p * (s->maximum - s->minimum) * 0.0001;
        flags |= UPD_ROUND;
        if ((s->style & PLCS_CLIPCURSOR) && !(s->run & RUN_CLIPPED)) {
            RECT r;
            GetWindowRect(bar, &r);
            ClipCursor(&r);
            s->run |= RUN_CLIPPED;
        }
        break;
    }
    case SB_ENDSCROLL:
        s->run &= ~RUN_TRACKING;
        if (s->run & RUN_CLIPPED) {
            ClipCursor(nullptr);
            s->run &= ~RUN_CLIPPED;
        }
        if ((s->run & RUN_THUMBDBL) && !(s->style & PLCS_NODEFAULT)) {
            s->run &= ~RUN_THUMBDBL;
            v = s->deflt;
        }
        break;
    }
    if (GetFocus() != bar) flags |= UPD_FOCUS;
    bool dbl = (s->run & RUN_THUMBDBL) != 0;
    SetValue(s, v, flags);
    if (dbl && code != SB_ENDSCROLL) s->run |= RUN_THUMBDBL;  /* kept until the end-scroll */
}

/* ---- painting -------------------------------------------------------- */

void Paint(PositionerState *s, HDC dc)
{
    RECT rc;
    GetClientRect(s->self, &rc);
    HBRUSH brush = nullptr;
    bool own = false;
    if (s->back_colour != 0x80000000u) {
        brush = CreateSolidBrush(s->back_colour & 0xFFFFFF);
        own = true;
    } else if (s->parent) {
        brush = reinterpret_cast<HBRUSH>(SendMessageA(s->parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                                      reinterpret_cast<LPARAM>(s->self)));
    }
    if (!brush) brush = GetSysColorBrush(COLOR_BTNFACE);
    FillRect(dc, &rc, brush);
    if (own) DeleteObject(brush);
    if (s->label) {
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, s->text_colour != 0x80000000u ? (s->text_colour & 0xFFFFFF) : GetSysColor(COLOR_BTNTEXT));
        HGDIOBJ old = s->font ? SelectObject(dc, s->font) : nullptr;
        DrawTextA(dc, s->label, -1, &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        if (old) SelectObject(dc, old);
    }
}

LRESULT CopyPropString(PositionerState *s, WPARAM size, LPARAM lp)
{
    char *buf = reinterpret_cast<char *>(lp);
    if (!buf || !size || IsBadWritePtr(buf, size)) return 0;
    if (!s->stored) {
        buf[0] = 0;
        return 0;
    }
    size_t n = std::strlen(s->stored);
    if (n > size - 1) n = size - 1;
    std::memcpy(buf, s->stored, n);
    buf[n] = 0;
    return static_cast<LRESULT>(n);
}

} // namespace

extern "C" LRESULT CALLBACK PlacetWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    PositionerState *s = Get(hwnd);
    if (msg == WM_NCCREATE) {
        s = static_cast<PositionerState *>(std::calloc(1, sizeof(PositionerState)));
        if (s) {
            s->self = hwnd;
            s->version = 1;
            ResetAttributes(s);
            SetWindowLongPtrA(hwnd, 4, reinterpret_cast<LONG_PTR>(s));
        }
        return DefWindowProcA(hwnd, msg, wp, lp);
    }
    if (!s) return DefWindowProcA(hwnd, msg, wp, lp);

    switch (msg) {
    case WM_CREATE: {
        const CREATESTRUCTA *cs = reinterpret_cast<const CREATESTRUCTA *>(lp);
        s->parent = GetParent(hwnd);
        s->style = cs->style & 0xFFFF;
        if (cs->style & WS_DISABLED) s->run |= RUN_DISABLED;
        if (!(cs->style & WS_VISIBLE)) s->run |= RUN_HIDDEN;
        if (cs->lpszName && !IS_INTRESOURCE(cs->lpszName)) PlacetApplyString(s, cs->lpszName, true);
        SetWindowLongA(hwnd, GWL_STYLE, static_cast<LONG>((GetWindowLongA(hwnd, GWL_STYLE) & 0xFFFF0000u) | (s->style & 0xFFFF)));
        /* The extension stays on the dialog: other positioners and the
         * dialog's own users may rely on it. */
        if (s->parent && (!InstallDlgX(s->parent) ||
                          !SendMessageA(s->parent, DlgXMessage(), DLGX_ADDINITWINDOW, reinterpret_cast<LPARAM>(hwnd))))
            OutputDebugStringA("Placet.dll: Could not install DlgX");
        else if (s->parent)
            s->dlgx = true;
        return 0;
    }
    case WM_INITDIALOG:
        DialogInit(s);
        return 0;
    case WM_CTLCOLORMSGBOX: case WM_CTLCOLOREDIT: case WM_CTLCOLORLISTBOX: case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG: case WM_CTLCOLORSCROLLBAR: case WM_CTLCOLORSTATIC: {
        /* A part's colours are the dialog's: asked past the hooks. */
        if (!s->dlgx || !IsWindow(s->parent)) return DefWindowProcA(hwnd, msg, wp, lp);
        DLGXRELAYREQUEST relay = {0, msg, wp, lp};
        return SendMessageA(s->parent, DlgXMessage(), DLGX_RELAY, reinterpret_cast<LPARAM>(&relay));
    }
    case WM_NCDESTROY: {
        if (HWND edit = GetDlgItem(s->parent, OwnId(s) + 1)) {
            if (s->edit_proc && GetWindowLongPtrA(edit, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(PlacetEditProc))
                SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(s->edit_proc));
            RemovePropA(edit, kEditOwnerProp);
        }
        /* Its hooks go with it; the extension stays. */
        if (s->dlgx && IsWindow(s->parent))
            for (int n = 1; n <= 12; ++n)
                if (s->present & (1u << (n - 1)))
                    SendMessageA(s->parent, DlgXMessage(), DLGX_REMOVEHOOK, static_cast<LPARAM>(OwnId(s) + n));
        FreeFace(s);
        SetFormatOwned(s, nullptr);
        std::free(s->stored);
        SetWindowLongPtrA(hwnd, 4, 0);
        std::free(s);
        return DefWindowProcA(hwnd, msg, wp, lp);
    }
    case WM_COMMAND: {
        if (s->busy) return 0;
        HWND from = reinterpret_cast<HWND>(lp);
        int n = GetDlgCtrlID(from) - OwnId(s);
        if (from && n >= 1 && n <= 12 && Part(s, n) == from) OnPartCommand(s, n, HIWORD(wp));
        return 0;
    }
    case WM_HSCROLL:
    case WM_VSCROLL: {
        HWND bar = reinterpret_cast<HWND>(lp);
        if (!s->busy && bar && bar == Part(s, 2)) OnScroll(s, bar, wp);
        return 0;
    }
    case WM_TIMER:
        if (wp == TIMER_EDIT) {
            KillTimer(hwnd, TIMER_EDIT);
            s->edit_timer = false;
            ApplyEdit(s);
        } else if (wp == TIMER_THUMB) {
            KillTimer(hwnd, TIMER_THUMB);
            s->run &= ~RUN_THUMBTIMER;
        }
        return 0;
    case KNBM_GETPROPSTRING: return CopyPropString(s, wp, lp);
    case KNBM_GETPROPSTRINGLEN: return s->stored ? static_cast<LRESULT>(std::strlen(s->stored)) : 0;
    case KNBM_SETPROPSTRING: {
        const char *text = reinterpret_cast<const char *>(lp);
        if (!text) return 0;
        std::free(s->stored);
        s->stored = propstr::Duplicate(text);
        ResetAttributes(s);
        bool ok = PlacetApplyString(s, text, true);
        PlacetUpdate(s, UPD_ROUND | UPD_REFRESH | UPD_ALL);
        InvalidateRect(hwnd, nullptr, FALSE);
        return ok ? 1 : 0;
    }
    case PLM_APPLYPROPS:
        PlacetApplyString(s, reinterpret_cast<const char *>(lp), !(wp & 1));
        PlacetUpdate(s, UPD_ROUND | UPD_REFRESH | UPD_ALL);
        if (wp & 0x10) InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
    case PLM_SETPROP: {
        uint32_t code = static_cast<uint32_t>(wp);
        const char *text = (code & propstr::kString) ? reinterpret_cast<const char *>(lp) : nullptr;
        PlacetSetProperty(s, code, static_cast<uint32_t>(lp), text);
        PlacetUpdate(s, UPD_REFRESH | UPD_ALL | UPD_QUIET);
        InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
    }
    case PLM_GETNUMBER: return GetNumber(s, wp, lp);
    case PLM_SETNUMBER: return SetNumber(s, wp, lp);
    case PLM_SETFORMAT: {
        const char *format = reinterpret_cast<const char *>(lp);
        if (format && ClassifyFormat(format) != FormatKind::Refused) SetFormatOwned(s, propstr::Duplicate(format));
        PlacetUpdate(s, UPD_EDIT | UPD_REFRESH | UPD_QUIET);
        return 0;
    }
    case PLM_SETNUMBERS: {
        const double *in = reinterpret_cast<const double *>(lp);
        if (!in) return 0;
        double *dst[] = {&s->value, &s->minimum, &s->maximum, &s->deflt, &s->step};
        for (int i = 0; i < 5; ++i) {
            if (!(wp & (1u << i))) continue;
            double v = *in++;
            if (!std::isfinite(v)) continue;
            if (i == 4) {
                if (std::fabs(v) <= kMinStep) continue;
                s->page = 10 * v;
            }
            *dst[i] = v;
        }
        PlacetUpdate(s, UPD_ROUND | UPD_REFRESH | UPD_ALL);
        if (wp & 0x10000) InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
    }
    case PLM_SETTIC:
        if (HWND bar = Part(s, 2))
            if (s->flags & PSF_TRACKBAR) {
                int pos = ScrollPosition(static_cast<double>(lp), s->minimum, s->maximum, 0, (s->style & PLCS_REVERSED) != 0);
                return SendMessageA(bar, TBM_SETTIC, 0, pos);
            }
        return 0;
    case PLM_CLEARTICS:
        if (HWND bar = Part(s, 2))
            if (s->flags & PSF_TRACKBAR) return SendMessageA(bar, msg, wp, lp);
        return 0;
    case PLM_SETTICFREQ:
        if (HWND bar = Part(s, 2))
            if ((s->flags & PSF_TRACKBAR) && s->maximum > s->minimum) {
                double scale = 10000.0 / (s->maximum - s->minimum);
                return SendMessageA(bar, TBM_SETTICFREQ, static_cast<WPARAM>(wp * scale),
                                    static_cast<LPARAM>((0 - s->minimum) * scale));
            }
        return 0;
    case WM_SETFOCUS: {
        HWND edit = Part(s, 1);
        if (edit && IsWindowEnabled(edit)) SetFocus(edit);
        else if (wp) SetFocus(reinterpret_cast<HWND>(wp));
        return 0;
    }
    case WM_ENABLE:
        if (wp) s->run &= ~RUN_DISABLED;
        else s->run |= RUN_DISABLED;
        EnableParts(s);
        InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
    case WM_SHOWWINDOW:
        if (wp) s->run &= ~RUN_HIDDEN;
        else s->run |= RUN_HIDDEN;
        ShowParts(s);
        return 0;
    case WM_SETFONT:
        s->font = reinterpret_cast<HFONT>(wp);
        if (LOWORD(lp)) InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(s->font);
    case WM_SETTEXT: {
        const char *text = reinterpret_cast<const char *>(lp);
        if (propstr::HasSeparator(text)) return PlacetWndProc(hwnd, PLM_APPLYPROPS, 0x10, lp), TRUE;
        PlacetSetProperty(s, 0x101, 0, text ? text : "");
        InvalidateRect(hwnd, nullptr, FALSE);
        return TRUE;
    }
    case WM_GETTEXT: {
        char *buf = reinterpret_cast<char *>(lp);
        if (!buf || !wp) return 0;
        lstrcpynA(buf, s->label ? s->label : "", static_cast<int>(wp));
        return static_cast<LRESULT>(std::strlen(buf));
    }
    case WM_GETTEXTLENGTH: return s->label ? static_cast<LRESULT>(std::strlen(s->label)) : 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        Paint(s, dc);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_PRINTCLIENT: Paint(s, reinterpret_cast<HDC>(wp)); return 0;
    case WM_ERASEBKGND: return 0;
    case BM_GETCHECK: case BM_SETCHECK: case BM_GETSTATE: case BM_SETSTATE: case BM_SETSTYLE:
        return 0;
    }
    if (msg >= WM_USER && msg < 0x8000) return 0;
    if (msg >= 0xC000 && msg <= 0xFFFF && msg == PlacetRegisteredMessage()) return 0;
    return DefWindowProcA(hwnd, msg, wp, lp);
}

/* ---- the edit part --------------------------------------------------- */

extern "C" LRESULT CALLBACK PlacetEditProc(HWND edit, UINT msg, WPARAM wp, LPARAM lp)
{
    HWND owner = static_cast<HWND>(GetPropA(edit, kEditOwnerProp));
    PositionerState *s = owner ? Get(owner) : nullptr;
    WNDPROC base = s && s->edit_proc ? s->edit_proc : PlacetSavedEditProc();
    if (!s || !base) return base ? CallWindowProcA(base, edit, msg, wp, lp) : DefWindowProcA(edit, msg, wp, lp);
    bool enabled = !(s->run & RUN_DISABLED);
    switch (msg) {
    case WM_KEYDOWN: {
        if (!enabled) break;
        bool ctrl = ControlDown();
        switch (wp) {
        case VK_PRIOR: SetValue(s, ctrl ? s->maximum : s->value + s->page, UPD_ALL); return 0;
        case VK_NEXT: SetValue(s, ctrl ? s->minimum : s->value - s->page, UPD_ALL); return 0;
        case VK_UP: SetValue(s, ctrl ? s->maximum : s->value + s->step, UPD_ALL); return 0;
        case VK_DOWN: SetValue(s, ctrl ? s->minimum : s->value - s->step, UPD_ALL); return 0;
        case VK_HOME: if (ctrl) { SetValue(s, s->maximum, UPD_ALL); return 0; } break;
        case VK_END: if (ctrl) { SetValue(s, s->minimum, UPD_ALL); return 0; } break;
        case VK_ESCAPE:
            if (s->run & RUN_FASTDRAG) {
                s->run &= ~(RUN_FASTDRAG | RUN_TRACKING);
                ReleaseCapture();
                SetValue(s, s->drag_saved, UPD_ALL);
                return 0;
            }
            break;
        }
        break;
    }
    case WM_CHAR:
        if ((wp >= 'A' && wp <= 'Z') || (wp >= 'a' && wp <= 'z')) {
            MessageBeep(MB_ICONASTERISK);
            return 0;
        }
        break;
    case WM_GETDLGCODE:
        if (s->run & RUN_FASTDRAG) return DLGC_WANTALLKEYS;
        return CallWindowProcA(base, edit, msg, wp, lp) | DLGC_WANTARROWS;
    case WM_LBUTTONDBLCLK:
        if (enabled && !(s->style & PLCS_NODEFAULT)) {
            SetValue(s, s->deflt, UPD_ALL);
            return 0;
        }
        break;
    case WM_LBUTTONDOWN:
        if (enabled && (s->style & PLCS_FASTCURSOR)) {
            RECT r;
            GetWindowRect(edit, &r);
            s->drag_saved = s->value;
            s->drag_top = r.top;
            s->drag_bottom = r.bottom;
            s->drag_wraps = 0;
            s->run |= RUN_FASTDRAG | RUN_TRACKING;
            SetCapture(edit);
            SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32645)));  /* north-south */
            return 0;
        }
        break;
    case WM_MOUSEMOVE:
        if (s->run & RUN_FASTDRAG) {
            POINT pt;
            GetCursorPos(&pt);
            int screen = GetSystemMetrics(SM_CYSCREEN);
            if (pt.y >= screen - 8) {
                SetCursorPos(pt.x, 8);
                ++s->drag_wraps;
                pt.y = 8;
            } else if (pt.y <= 7) {
                SetCursorPos(pt.x, screen - 9);
                --s->drag_wraps;
                pt.y = screen - 9;
            }
            long y = pt.y + static_cast<long>(screen - 16) * s->drag_wraps;
            double v = s->drag_saved;
            if (y < s->drag_top) v += std::floor((s->drag_top - y) / 2.0) * s->step;
            else if (y > s->drag_bottom) v -= std::floor((y - s->drag_bottom) / 2.0) * s->step;
            SetValue(s, v, UPD_ALL);
            SendMessageA(edit, EM_SETSEL, 0, -1);
            return 0;
        }
        break;
    case WM_LBUTTONUP:
    case WM_CANCELMODE:
        if (s->run & RUN_FASTDRAG) {
            s->run &= ~(RUN_FASTDRAG | RUN_TRACKING);
            ReleaseCapture();
            POINT pt;
            GetCursorPos(&pt);
            if (s->drag_wraps < 0) SetCursorPos(pt.x, 8);
            else if (s->drag_wraps > 0) SetCursorPos(pt.x, GetSystemMetrics(SM_CYSCREEN) - 8);
            SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)));
            PlacetUpdate(s, UPD_ALL);
            return 0;
        }
        break;
    case WM_MOVE:
    case WM_SIZE: {
        LRESULT r = CallWindowProcA(base, edit, msg, wp, lp);
        Align(s);
        return r;
    }
    }
    return CallWindowProcA(base, edit, msg, wp, lp);
}

extern "C" LRESULT CALLBACK PlacetScrollProc(HWND bar, UINT msg, WPARAM wp, LPARAM lp)
{
    HWND parent = GetParent(bar);
    int id = GetDlgCtrlID(bar);
    HWND owner = parent ? GetDlgItem(parent, id - 2) : nullptr;
    PositionerState *s = owner ? Get(owner) : nullptr;
    WNDPROC base = PlacetSavedScrollProc();
    if (s && (s->style & PLCS_CLIPCURSOR)) {
        if (msg == WM_LBUTTONDOWN) {
            s->scroll_focus_back = SetFocus(bar);
            RECT r;
            GetWindowRect(bar, &r);
            ClipCursor(&r);
        } else if (msg == WM_LBUTTONUP) {
            ClipCursor(nullptr);
            if (s->scroll_focus_back) SetFocus(s->scroll_focus_back);
        }
    }
    return base ? CallWindowProcA(base, bar, msg, wp, lp) : DefWindowProcA(bar, msg, wp, lp);
}
