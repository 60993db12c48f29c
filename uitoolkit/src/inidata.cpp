/* Dialog controls bound to stored values through an "IDIALOGDATA" resource
 * named like the dialog template: loading, storing, copying to and from a
 * caller structure, validation and member declarations. */
#include "internal.h"
#include "tundrix32.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <new>
#include <vector>

namespace {

const ATOM kRecordProp = 2;
const UINT kAskValue = WM_USER + 4;
const UINT kTellValue = WM_USER + 3;
const int kKindDirective = 15;
/* The positioner's number messages: read and write one value, as a double
 * through a pointer or as a 32-bit value. */
const UINT kPlacetGet = WM_USER + 288;
const UINT kPlacetSet = WM_USER + 289;
const WPARAM kPlacetDouble = 0x900;
const WPARAM kPlacetLong = 0x1600;
/* Record flags of this file only: a tab page's record is a pattern that each
 * page window copies, since the page may be made more than once. */
const DWORD kPattern = 0x100;
const DWORD kCopied = 0x200;

const char *const kClasses[] = {"Button", "Edit", "Static", "ListBox", "ScrollBar", "ComboBox", "Placet", "Knobset", "CCEdit"};
enum { C_BUTTON, C_EDIT, C_STATIC, C_LISTBOX, C_SCROLLBAR, C_COMBOBOX, C_PLACET, C_KNOBSET, C_CCEDIT };

int ClassIndex(HWND control, UINT type)
{
    char cls[64] = {};
    GetClassNameA(control, cls, sizeof cls);
    if (static_cast<unsigned char>(cls[0]) >= 0x80) return cls[0] & 0x7F;
    for (int i = 0; i < 9; ++i)
        if (!lstrcmpiA(cls, kClasses[i])) return i;
    return (type >> 8) & 0xFF;
}

std::string Fmt(const char *format, long value)
{
    char buf[32];
    snprintf(buf, sizeof buf, format, value);
    return buf;
}

std::string ItemText(HWND control, bool list, LRESULT index)
{
    if (index < 0) return std::string();
    LRESULT n = SendMessageA(control, list ? LB_GETTEXTLEN : CB_GETLBTEXTLEN, index, 0);
    if (n < 0) return std::string();
    std::string s(static_cast<size_t>(n) + 1, '\0');
    SendMessageA(control, list ? LB_GETTEXT : CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(&s[0]));
    s.resize(std::strlen(s.c_str()));
    return s;
}

/* A list or combo box selection by index or by item data; false for the
 * other kinds, which the caller handles. */
bool SelectByIndexOrData(HWND c, bool list, int kind, const std::string &text)
{
    const UINT setCur = list ? LB_SETCURSEL : CB_SETCURSEL;
    if (kind == INIKIND_INDEX) {
        SendMessageA(c, setCur, std::strtol(text.c_str(), nullptr, 0), 0);
        return true;
    }
    if (kind != INIKIND_ITEMDATA) return false;
    const LRESULT items = SendMessageA(c, list ? LB_GETCOUNT : CB_GETCOUNT, 0, 0);
    const long want = std::strtol(text.c_str(), nullptr, 0);
    for (LRESULT i = 0; i < items; ++i)
        if (static_cast<long>(SendMessageA(c, list ? LB_GETITEMDATA : CB_GETITEMDATA, i, 0)) == want) {
            SendMessageA(c, setCur, i, 0);
            break;
        }
    return true;
}

std::string WindowString(HWND w)
{
    int n = GetWindowTextLengthA(w);
    std::string s(static_cast<size_t>(n) + 1, '\0');
    GetWindowTextA(w, &s[0], n + 1);
    s.resize(std::strlen(s.c_str()));
    return s;
}

bool SameNumber(const std::string &a, const std::string &b, int kind)
{
    if (kind == INIKIND_DOUBLE) return std::strtod(a.c_str(), nullptr) == std::strtod(b.c_str(), nullptr);
    return std::strtol(a.c_str(), nullptr, 0) == std::strtol(b.c_str(), nullptr, 0);
}

/* Reads one control (with its run of count buttons) into text. */
bool ReadControl(HWND dlg, int id, UINT count, UINT type, std::string *out)
{
    HWND c = GetDlgItem(dlg, id);
    if (!c) return false;
    int kind = type & 15;
    if (type & 0x40) {
        std::vector<char> buf(65535, 0);
        SendMessageA(dlg, kAskValue, id, reinterpret_cast<LPARAM>(buf.data()));
        *out = buf.data();
        return true;
    }
    int cls = ClassIndex(c, type);
    UINT n = count ? count : 1;
    switch (cls) {
    case C_BUTTON:
    case C_KNOBSET:
        if (kind == INIKIND_BOOL) { *out = IsDlgButtonChecked(dlg, id) == BST_CHECKED ? "1" : "0"; return true; }
        if (kind == INIKIND_MASK) {
            unsigned long m = 0;
            for (UINT i = 0; i < n; ++i)
                if (IsDlgButtonChecked(dlg, id + i) == BST_CHECKED) m |= 1ul << i;
            *out = Fmt("0x%lX", static_cast<long>(m));
            return true;
        }
        if (kind == INIKIND_INDEX) {
            int found = -1;
            for (UINT i = 0; i < n && found < 0; ++i)
                if (IsDlgButtonChecked(dlg, id + i) == BST_CHECKED) found = static_cast<int>(i);
            *out = Fmt("%d", found);
            return true;
        }
        if (kind == 8) { *out = WindowString(c); return true; }
        /* radio-text (and radio-number) */
        if (n <= 1) { *out = WindowString(c); return true; }
        out->clear();
        for (UINT i = 0; i < n; ++i)
            if (IsDlgButtonChecked(dlg, id + i) == BST_CHECKED) { *out = WindowString(GetDlgItem(dlg, id + i)); break; }
        return true;
    case C_LISTBOX: {
        LRESULT cur = SendMessageA(c, LB_GETCURSEL, 0, 0);
        switch (kind) {
        case INIKIND_INDEX: *out = Fmt("%ld", static_cast<long>(cur)); return true;
        case INIKIND_ITEMDATA: *out = Fmt("%ld", cur < 0 ? -1L : static_cast<long>(SendMessageA(c, LB_GETITEMDATA, cur, 0))); return true;
        case INIKIND_MASK: {
            unsigned long m = 0;
            LRESULT items = SendMessageA(c, LB_GETCOUNT, 0, 0);
            for (LRESULT i = 0; i < items && i < 32; ++i)
                if (SendMessageA(c, LB_GETSEL, i, 0) > 0) m |= 1ul << i;
            *out = Fmt("0x%lX", static_cast<long>(m));
            return true;
        }
        case 8: {
            std::string all;
            LRESULT items = SendMessageA(c, LB_GETCOUNT, 0, 0);
            for (LRESULT i = 0; i < items; ++i) {
                std::string piece = ItemText(c, true, i) + '\0' +
                                    Fmt("0x%X", static_cast<long>(SendMessageA(c, LB_GETITEMDATA, i, 0))) + '\0';
                if (all.size() + piece.size() + 1 > 65535) break;
                all += piece;
            }
            *out = all + '\0';
            return true;
        }
        default: *out = ItemText(c, true, cur); return true;
        }
    }
    case C_COMBOBOX: {
        LRESULT cur = SendMessageA(c, CB_GETCURSEL, 0, 0);
        switch (kind) {
        case INIKIND_INDEX: *out = Fmt("%ld", static_cast<long>(cur)); return true;
        case INIKIND_ITEMDATA: *out = Fmt("%ld", cur < 0 ? -1L : static_cast<long>(SendMessageA(c, CB_GETITEMDATA, cur, 0))); return true;
        case INIKIND_STRING: case INIKIND_BOOL: *out = cur >= 0 ? ItemText(c, false, cur) : WindowString(c); return true;
        case INIKIND_DOUBLE: case INIKIND_LONG: *out = cur >= 0 ? ItemText(c, false, cur) : WindowString(c); return true;
        default: *out = WindowString(c); return true;
        }
    }
    case C_SCROLLBAR:
        if (kind == INIKIND_ITEMDATA) { *out = WindowString(c); return true; }
        *out = Fmt("%d", GetScrollPos(c, SB_CTL));
        return true;
    case C_PLACET:
        /* Its window text is its label: the value is asked for. */
        if (kind == INIKIND_DOUBLE) {
            double v = 0;
            SendMessageA(c, kPlacetGet, kPlacetDouble, reinterpret_cast<LPARAM>(&v));
            char buf[64];
            snprintf(buf, sizeof buf, "%g", v);
            *out = buf;
            return true;
        }
        if (kind == INIKIND_LONG) {
            LONG v = 0;
            v = static_cast<LONG>(SendMessageA(c, kPlacetGet, kPlacetLong, reinterpret_cast<LPARAM>(&v)));
            *out = Fmt("%ld", static_cast<long>(v));
            return true;
        }
        *out = WindowString(c);
        return true;
    default:
        *out = WindowString(c);
        return true;
    }
}

void Notify(HWND dlg, HWND c, int id, int cls, UINT type)
{
    if (!(type & 0x20)) return;
    WORD code = (cls == C_LISTBOX || cls == C_COMBOBOX) ? 1 : BN_CLICKED;
    SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(c));
}

bool WriteControl(HWND dlg, int id, UINT count, UINT type, const std::string &text)
{
    HWND c = GetDlgItem(dlg, id);
    if (!c) return false;
    int kind = type & 15;
    if (type & 0x40) {
        SendMessageA(dlg, kTellValue, id, reinterpret_cast<LPARAM>(text.c_str()));
        return true;
    }
    int cls = ClassIndex(c, type);
    UINT n = count ? count : 1;
    switch (cls) {
    case C_BUTTON:
    case C_KNOBSET:
        if (kind == INIKIND_BOOL) {
            CheckDlgButton(dlg, id, text == "1" ? BST_CHECKED : BST_UNCHECKED);
        } else if (kind == INIKIND_MASK) {
            unsigned long m = std::strtoul(text.c_str(), nullptr, 0);
            for (UINT i = 0; i < n; ++i) CheckDlgButton(dlg, id + i, (m >> i) & 1 ? BST_CHECKED : BST_UNCHECKED);
        } else if (kind == INIKIND_INDEX) {
            long index = std::strtol(text.c_str(), nullptr, 0);
            if (index >= 0 && static_cast<UINT>(index) < n)
                for (UINT i = 0; i < n; ++i) CheckDlgButton(dlg, id + i, static_cast<long>(i) == index ? BST_CHECKED : BST_UNCHECKED);
        } else if (kind == 8) {
            SetWindowTextA(c, text.c_str());
        } else if (n <= 1 && kind != INIKIND_DOUBLE && kind != INIKIND_LONG) {
            SetWindowTextA(c, text.c_str());
        } else {
            bool numeric = kind == INIKIND_DOUBLE || kind == INIKIND_LONG;
            for (UINT i = 0; i < n; ++i) {
                HWND b = GetDlgItem(dlg, id + i);
                std::string t = WindowString(b);
                bool match = numeric ? SameNumber(t, text, kind) : t == text;
                CheckDlgButton(dlg, id + i, match ? BST_CHECKED : BST_UNCHECKED);
                if (match && numeric) SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(id + i, BN_CLICKED), reinterpret_cast<LPARAM>(b));
            }
        }
        break;
    case C_LISTBOX: {
        LRESULT items = SendMessageA(c, LB_GETCOUNT, 0, 0);
        if (SelectByIndexOrData(c, true, kind, text)) break;
        switch (kind) {
        case INIKIND_MASK: {
            unsigned long m = std::strtoul(text.c_str(), nullptr, 0);
            for (LRESULT i = 0; i < items && i < 32; ++i) SendMessageA(c, LB_SETSEL, (m >> i) & 1, i);
            break;
        }
        case INIKIND_DOUBLE: case INIKIND_LONG:
            for (LRESULT i = 0; i < items; ++i)
                if (SameNumber(ItemText(c, true, i), text, kind)) { SendMessageA(c, LB_SETCURSEL, i, 0); break; }
            break;
        case 8: break;
        default: SendMessageA(c, LB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text.c_str())); break;
        }
        break;
    }
    case C_COMBOBOX: {
        LRESULT items = SendMessageA(c, CB_GETCOUNT, 0, 0);
        if (SelectByIndexOrData(c, false, kind, text)) break;
        switch (kind) {
        case INIKIND_DOUBLE: case INIKIND_LONG:
            for (LRESULT i = 0; i < items; ++i)
                if (SameNumber(ItemText(c, false, i), text, kind)) { SendMessageA(c, CB_SETCURSEL, i, 0); break; }
            break;
        case INIKIND_STRING: case INIKIND_BOOL:
            SetWindowTextA(c, text.c_str());
            SendMessageA(c, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text.c_str()));
            break;
        default: SetWindowTextA(c, text.c_str()); break;
        }
        break;
    }
    case C_SCROLLBAR:
        if (kind == INIKIND_ITEMDATA) SetWindowTextA(c, text.c_str());
        else SetScrollPos(c, SB_CTL, std::atoi(text.c_str()), TRUE);
        break;
    case C_PLACET:
        if (kind == INIKIND_DOUBLE) {
            double v = std::strtod(text.c_str(), nullptr);
            SendMessageA(c, kPlacetSet, kPlacetDouble, reinterpret_cast<LPARAM>(&v));
        } else if (kind == INIKIND_LONG) {
            LONG v = static_cast<LONG>(std::strtol(text.c_str(), nullptr, 0));
            SendMessageA(c, kPlacetSet, kPlacetLong, static_cast<LPARAM>(v));
        } else {
            SetWindowTextA(c, text.c_str());
        }
        break;
    default:
        SetWindowTextA(c, text.c_str());
        break;
    }
    Notify(dlg, c, id, cls, type);
    return true;
}

int ElementId(HWND dlg, int id, UINT type, UINT i)
{
    if (!(type & 0x40)) {
        HWND c = GetDlgItem(dlg, id);
        if (c && ClassIndex(c, type) == C_PLACET) return id + 10 * static_cast<int>(i);
    }
    return id + static_cast<int>(i);
}

int StoreKind(UINT type)
{
    int kind = type & 15;
    if ((type & 0x80) || kind > INIKIND_ITEMDATA) return INIKIND_STRING;
    return kind;
}

std::vector<std::string> Split(const std::string &text, UINT count)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (UINT i = 0; i < count; ++i) {
        size_t comma = text.find(',', start);
        parts.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) start = text.size();
        else start = comma + 1;
    }
    return parts;
}

struct Record {
    HMODULE module;
    LPCSTR tmpl;
    DLGPROC proc;
    INISTRUCT *data;
    LPARAM param;
    DWORD flags;
    UINT validation;
};

size_t MemberSize(UINT type, UINT count)
{
    switch (type & 15) {
    case INIKIND_DOUBLE: return 8;
    case INIKIND_STRING: return (count && !(type & 0x80)) ? count : sizeof(char *);
    default: return 4;
    }
}

/* One member from text (element of an array or the whole member). */
void TextToMember(BYTE *p, UINT type, UINT count, const std::string &text)
{
    switch (type & 15) {
    case INIKIND_DOUBLE: {
        double d = std::atof(text.c_str());
        std::memcpy(p, &d, 8);
        break;
    }
    case INIKIND_STRING:
        if (count && !(type & 0x80)) {
            size_t n = text.size() < count - 1 ? text.size() : count - 1;
            std::memcpy(p, text.data(), n);
            p[n] = 0;
        } else {
            char *old;
            std::memcpy(&old, p, sizeof old);
            std::free(old);
            char *copy = static_cast<char *>(std::malloc(text.size() + 1));
            if (copy) std::memcpy(copy, text.c_str(), text.size() + 1);
            std::memcpy(p, &copy, sizeof copy);
        }
        break;
    case INIKIND_BOOL: {
        DWORD v = (text == "FALSE" || text == "0" || text.empty()) ? 0 : 1;
        if (text != "TRUE" && text != "FALSE" && text != "0" && !text.empty()) v = std::strtoul(text.c_str(), nullptr, 0) ? 1 : 1;
        std::memcpy(p, &v, 4);
        break;
    }
    default: {
        DWORD v = static_cast<DWORD>(std::strtoul(text.c_str(), nullptr, 0));
        if (!text.empty() && text[0] == '-') v = static_cast<DWORD>(std::strtol(text.c_str(), nullptr, 0));
        std::memcpy(p, &v, 4);
        break;
    }
    }
}

std::string MemberToText(const BYTE *p, UINT type, UINT count)
{
    switch (type & 15) {
    case INIKIND_DOUBLE: {
        double d;
        std::memcpy(&d, p, 8);
        char buf[64];
        snprintf(buf, sizeof buf, "%g", d);
        return buf;
    }
    case INIKIND_STRING:
        if (count && !(type & 0x80)) return std::string(reinterpret_cast<const char *>(p), strnlen(reinterpret_cast<const char *>(p), count));
        {
            const char *s;
            std::memcpy(&s, p, sizeof s);
            return s ? s : "";
        }
    default: {
        DWORD v;
        std::memcpy(&v, p, 4);
        return Fmt("0x%lX", static_cast<long>(v));
    }
    }
}

UINT ElementCount(UINT type, UINT count) { return (type & 0x80) ? (count ? count : 1) : 1; }

INIOBJECT *ObjectFor(HMODULE module, LPCSTR tmpl, HWND dlg, const INISTRUCT *data)
{
    INIOBJECT *obj = iniCreate(data ? data->file : "", data && data->section[0] ? data->section : nullptr, dlg, tmpl,
                               module ? module : GetModuleHandleA(nullptr));
    return obj;
}

Record *DialogRecord(HWND dlg) { return static_cast<Record *>(GetPropA(dlg, MAKEINTATOM(kRecordProp))); }

/* The dialog's DLGINIT resource (type 240, named like the template): records
 * {control id, message, length, data} up to a control id of 0. The old list
 * and combo codes become today's; 0x1234 hands the data to the control. */
void ApplyDlgInit(HMODULE module, LPCSTR tmpl, HWND dlg)
{
    HRSRC res = FindResourceA(module, tmpl, MAKEINTRESOURCEA(240));
    if (!res) return;
    const BYTE *p = static_cast<const BYTE *>(LockResource(LoadResource(module, res)));
    if (!p) return;
    const BYTE *end = p + SizeofResource(module, res);
    while (end - p >= 8) {
        WORD id, message;
        DWORD length;
        std::memcpy(&id, p, 2);
        if (!id) break;
        std::memcpy(&message, p + 2, 2);
        std::memcpy(&length, p + 4, 4);
        p += 8;
        if (length > static_cast<DWORD>(end - p)) break;
        /* The data as a terminated string, whether or not it carries its NUL. */
        std::string data(reinterpret_cast<const char *>(p), length);
        p += length;
        UINT send = 0;
        if (message == 0x401 || message == LB_ADDSTRING) send = LB_ADDSTRING;
        else if (message == 0x403 || message == CB_ADDSTRING) send = CB_ADDSTRING;
        HWND c = GetDlgItem(dlg, id);
        if (!c) continue;
        if (send) {
            SendMessageA(c, send, 0, reinterpret_cast<LPARAM>(data.c_str()));
        } else if (message == 0x1234) {
            struct { LONG one, all; const char *data; } block = {1, -1, data.c_str()};
            SendMessageA(c, WM_USER + 1, 0, reinterpret_cast<LPARAM>(&block));
        }
    }
}

}  // namespace

extern "C" {

int WINAPI iniForEachDialogData(INIOBJECT *obj, INIDATAPROC proc, LPARAM user, BOOL stop)
{
    if (!obj || !proc) return 0;
    HRSRC res = FindResourceA(obj->desc_module, obj->desc_name, "IDIALOGDATA");
    if (!res) return 1;
    HGLOBAL h = LoadResource(obj->desc_module, res);
    const BYTE *p = static_cast<const BYTE *>(LockResource(h));
    DWORD size = SizeofResource(obj->desc_module, res);
    if (!p) return 1;
    const BYTE *end = p + size;
    while (p + 2 <= end) {
        WORD type, id, count;
        std::memcpy(&type, p, 2);
        if (!type) break;
        if (p + 6 > end) break;
        std::memcpy(&id, p + 2, 2);
        std::memcpy(&count, p + 4, 2);
        const char *key = reinterpret_cast<const char *>(p + 6);
        const BYTE *key_end = static_cast<const BYTE *>(std::memchr(key, 0, end - reinterpret_cast<const BYTE *>(key)));
        if (!key_end) break;
        const char *def = reinterpret_cast<const char *>(key_end + 1);
        if (reinterpret_cast<const BYTE *>(def) >= end) break;
        const BYTE *def_end = static_cast<const BYTE *>(std::memchr(def, 0, end - reinterpret_cast<const BYTE *>(def)));
        if (!def_end) break;
        p = def_end + 1;
        if ((type & 15) == kKindDirective) {
            if (type & 0x40) {
                INISTRUCT head = {};
                if (obj->dialog && SendMessageA(obj->dialog, kAskValue, 0xFFFF, reinterpret_cast<LPARAM>(&head))) {
                    head.file[sizeof head.file - 1] = 0;
                    head.section[sizeof head.section - 1] = 0;
                    iniSetFile(obj, head.file);
                    iniSetSection(obj, head.section[0] ? head.section : nullptr);
                }
            } else {
                iniSetFile(obj, key);
                iniSetSection(obj, *def ? def : nullptr);
            }
            continue;
        }
        char loaded[257] = {};
        if (!*key) {
            LoadStringA(obj->desc_module, id, loaded, sizeof loaded);
            key = loaded;
        }
        int r = proc(obj, key, def, id, count, type, user);
        if (stop && !r) return 0;
    }
    return 1;
}

int CALLBACK IniToControl(INIOBJECT *obj, LPCSTR key, LPCSTR def, UINT id, UINT count, UINT type, LPARAM)
{
    char buf[4096] = {};
    GetIniDataEx(obj, key, def, StoreKind(type), buf, sizeof buf);
    std::string text = buf;
    if (!(type & 0x80)) return WriteControl(obj->dialog, id, count, type, text);
    std::vector<std::string> parts = Split(text, ElementCount(type, count));
    for (UINT i = 0; i < parts.size(); ++i)
        if (!WriteControl(obj->dialog, ElementId(obj->dialog, id, type, i), 1, type, parts[i])) break;
    return 1;
}

int CALLBACK ControlToIni(INIOBJECT *obj, LPCSTR key, LPCSTR, UINT id, UINT count, UINT type, LPARAM)
{
    std::string text;
    if (!(type & 0x80)) {
        if (!ReadControl(obj->dialog, id, count, type, &text)) return 0;
    } else {
        for (UINT i = 0; i < ElementCount(type, count); ++i) {
            std::string one;
            if (!ReadControl(obj->dialog, ElementId(obj->dialog, id, type, i), 1, type, &one)) break;
            if (i) text += ",";
            text += one;
        }
    }
    return SetIniDataEx(obj, key, StoreKind(type), text.c_str(), static_cast<int>(text.size() + 1));
}

int CALLBACK IniToMember(INIOBJECT *obj, LPCSTR key, LPCSTR def, UINT, UINT count, UINT type, LPARAM user)
{
    BYTE **cursor = reinterpret_cast<BYTE **>(user);
    char buf[4096] = {};
    GetIniDataEx(obj, key, def, StoreKind(type), buf, sizeof buf);
    UINT n = ElementCount(type, count);
    std::vector<std::string> parts = (type & 0x80) ? Split(buf, n) : std::vector<std::string>{buf};
    for (UINT i = 0; i < n; ++i) {
        TextToMember(*cursor, type, count, i < parts.size() ? parts[i] : std::string());
        *cursor += MemberSize(type, count);
    }
    return 1;
}

int CALLBACK MemberToIni(INIOBJECT *obj, LPCSTR key, LPCSTR, UINT, UINT count, UINT type, LPARAM user)
{
    BYTE **cursor = reinterpret_cast<BYTE **>(user);
    std::string text;
    for (UINT i = 0; i < ElementCount(type, count); ++i) {
        if (i) text += ",";
        text += MemberToText(*cursor, type, count);
        *cursor += MemberSize(type, count);
    }
    return SetIniDataEx(obj, key, StoreKind(type), text.c_str(), static_cast<int>(text.size() + 1));
}

int CALLBACK ControlToMember(INIOBJECT *obj, LPCSTR, LPCSTR, UINT id, UINT count, UINT type, LPARAM user)
{
    BYTE **cursor = reinterpret_cast<BYTE **>(user);
    for (UINT i = 0; i < ElementCount(type, count); ++i) {
        std::string text;
        UINT run = (type & 0x80) ? 1 : count;
        if (ReadControl(obj->dialog, (type & 0x80) ? ElementId(obj->dialog, id, type, i) : static_cast<int>(id), run, type, &text))
            TextToMember(*cursor, type, count, text);
        *cursor += MemberSize(type, count);
    }
    return 1;
}

int CALLBACK MemberToControl(INIOBJECT *obj, LPCSTR, LPCSTR, UINT id, UINT count, UINT type, LPARAM user)
{
    BYTE **cursor = reinterpret_cast<BYTE **>(user);
    for (UINT i = 0; i < ElementCount(type, count); ++i) {
        std::string text = MemberToText(*cursor, type, count);
        /* Member text is hex for numbers: controls take the decimal form. */
        int kind = type & 15;
        if (kind != INIKIND_DOUBLE && kind != INIKIND_STRING) {
            DWORD v;
            std::memcpy(&v, *cursor, 4);
            text = kind == INIKIND_MASK ? Fmt("0x%lX", static_cast<long>(v)) : Fmt("%ld", static_cast<long>(static_cast<LONG>(v)));
        }
        UINT run = (type & 0x80) ? 1 : count;
        WriteControl(obj->dialog, (type & 0x80) ? ElementId(obj->dialog, id, type, i) : static_cast<int>(id), run, type, text);
        *cursor += MemberSize(type, count);
    }
    return 1;
}

int CALLBACK IniResetControlProc(INIOBJECT *obj, LPCSTR key, LPCSTR def, UINT id, UINT count, UINT type, LPARAM user)
{
    UINT want = static_cast<UINT>(user);
    int kind = type & 15;
    bool hit = id == want || ((kind == INIKIND_MASK || kind == INIKIND_INDEX) && want >= id && want <= id + count);
    if (hit) IniToControl(obj, key, def, id, count, type, 0);
    return 1;
}

int CALLBACK IniValidateControl(INIOBJECT *obj, LPCSTR, LPCSTR, UINT id, UINT, UINT, LPARAM user)
{
    HWND c = GetDlgItem(obj->dialog, id);
    if (!c) return 1;
    return static_cast<int>(SendMessageA(c, static_cast<UINT>(user), 0, 0));
}

int CALLBACK IniDataToFileProc(INIOBJECT *, LPCSTR key, LPCSTR, UINT, UINT count, UINT type, LPARAM user)
{
    FILE *f = reinterpret_cast<FILE *>(user);
    if (!f) return 0;
    int kind = type & 15;
    if (kind == INIKIND_DOUBLE) fprintf(f, "\tdouble %s", key);
    else if (kind == INIKIND_STRING && count && !(type & 0x80)) fprintf(f, "\tchar %s[%d]", key, static_cast<int>(count));
    else if (kind == INIKIND_STRING) fprintf(f, "\tLPSTR %s", key);
    else fprintf(f, "\tlong %s", key);
    if (type & 0x80) fprintf(f, "[%d];\n", static_cast<int>(count));
    else fprintf(f, ";\n");
    return 1;
}

BOOL WINAPI IniToDialog(HMODULE module, LPCSTR tmpl, HWND dlg)
{
    Record *r = DialogRecord(dlg);
    INIOBJECT *obj = ObjectFor(module, tmpl, dlg, r ? r->data : nullptr);
    if (!obj) return FALSE;
    int ok = iniForEachDialogData(obj, IniToControl, 0, FALSE);
    iniDestroy(obj);
    return ok;
}

BOOL WINAPI DialogToIni(HMODULE module, LPCSTR tmpl, HWND dlg)
{
    Record *r = DialogRecord(dlg);
    INIOBJECT *obj = ObjectFor(module, tmpl, dlg, r ? r->data : nullptr);
    if (!obj) return FALSE;
    int ok = iniForEachDialogData(obj, ControlToIni, 0, FALSE);
    iniDestroy(obj);
    return ok;
}

static void CopyBack(INIOBJECT *obj, INISTRUCT *data)
{
    if (obj->file && !obj->key) lstrcpynA(data->file, obj->file, sizeof data->file);
    lstrcpynA(data->section, obj->section ? obj->section : "", sizeof data->section);
}

BOOL WINAPI IniToStruct(HMODULE module, LPCSTR tmpl, INISTRUCT *data)
{
    if (!data) return FALSE;
    INIOBJECT *obj = ObjectFor(module, tmpl, nullptr, data);
    if (!obj) return FALSE;
    BYTE *cursor = reinterpret_cast<BYTE *>(data) + sizeof(INISTRUCT);
    int ok = iniForEachDialogData(obj, IniToMember, reinterpret_cast<LPARAM>(&cursor), FALSE);
    CopyBack(obj, data);
    iniDestroy(obj);
    return ok;
}

BOOL WINAPI StructToIni(HMODULE module, LPCSTR tmpl, INISTRUCT *data)
{
    if (!data) return FALSE;
    INIOBJECT *obj = ObjectFor(module, tmpl, nullptr, data);
    if (!obj) return FALSE;
    BYTE *cursor = reinterpret_cast<BYTE *>(data) + sizeof(INISTRUCT);
    int ok = iniForEachDialogData(obj, MemberToIni, reinterpret_cast<LPARAM>(&cursor), FALSE);
    iniDestroy(obj);
    return ok;
}

static BOOL StructAndDialog(HWND dlg, INISTRUCT *data, INIDATAPROC proc)
{
    Record *r = DialogRecord(dlg);
    if (!r || !data) return FALSE;
    INIOBJECT *obj = ObjectFor(r->module, r->tmpl, dlg, data);
    if (!obj) return FALSE;
    BYTE *cursor = reinterpret_cast<BYTE *>(data) + sizeof(INISTRUCT);
    int ok = iniForEachDialogData(obj, proc, reinterpret_cast<LPARAM>(&cursor), FALSE);
    iniDestroy(obj);
    return ok;
}

BOOL WINAPI StructToDialog(HWND dlg, INISTRUCT *data) { return StructAndDialog(dlg, data, MemberToControl); }
BOOL WINAPI DialogToStruct(HWND dlg, INISTRUCT *data) { return StructAndDialog(dlg, data, ControlToMember); }

BOOL WINAPI IniValidateDialog(HMODULE module, LPCSTR tmpl, HWND dlg, UINT message)
{
    INIOBJECT *obj = iniCreate(nullptr, nullptr, dlg, tmpl, module ? module : GetModuleHandleA(nullptr));
    if (!obj) return FALSE;
    int ok = iniForEachDialogData(obj, IniValidateControl, message, TRUE);
    iniDestroy(obj);
    return ok;
}

int WINAPI LoadCtrlData(HWND control, LPCSTR name, LPCSTR type, DWORD flags)
{
    int cls = (flags >> 8) & 0xFF;
    if (!cls) cls = ClassIndex(control, 0);
    if (cls != C_LISTBOX && cls != C_COMBOBOX) return cls - 5;
    bool list = cls == C_LISTBOX;
    HMODULE module = reinterpret_cast<HMODULE>(GetWindowLongPtrA(control, GWLP_HINSTANCE));
    std::string text;
    if (!name && list) {
        text = WindowString(control);
        if (!text.empty()) name = text.c_str();
    }
    if (!name) name = MAKEINTRESOURCEA(GetDlgCtrlID(control));
    HRSRC res = FindResourceA(module, name, type ? type : "LISTBOXDATA");
    if (!res) return 0;
    HGLOBAL h = LoadResource(module, res);
    const BYTE *p = static_cast<const BYTE *>(LockResource(h));
    const BYTE *end = p ? p + SizeofResource(module, res) : nullptr;
    if (!p) return 0;
    WORD format = 0;
    if (p < end && *p == 0) {
        if (p + 3 > end) return FreeResource(h);
        std::memcpy(&format, p + 1, 2);
        p += 3;
    }
    SendMessageA(control, list ? LB_RESETCONTENT : CB_RESETCONTENT, 0, 0);
    UINT add = list ? LB_ADDSTRING : CB_ADDSTRING, setdata = list ? LB_SETITEMDATA : CB_SETITEMDATA;
    if (format == 512) {
        if (p + 2 > end) return FreeResource(h);
        short sel;
        std::memcpy(&sel, p, 2);
        p += 2;
        while (p < end && *p) {
            const BYTE *z = static_cast<const BYTE *>(std::memchr(p, 0, end - p));
            if (!z || z + 3 > end) break;
            WORD data;
            std::memcpy(&data, z + 1, 2);
            LRESULT i = SendMessageA(control, add, 0, reinterpret_cast<LPARAM>(p));
            if (i >= 0) SendMessageA(control, setdata, i, data);
            p = z + 3;
        }
        SendMessageA(control, list ? LB_SETCURSEL : CB_SETCURSEL, sel, 0);
    } else {
        while (p < end && *p) {
            const BYTE *z = static_cast<const BYTE *>(std::memchr(p, 0, end - p));
            if (!z) break;
            SendMessageA(control, add, 0, reinterpret_cast<LPARAM>(p));
            p = z + 1;
        }
    }
    return FreeResource(h);
}

BOOL CALLBACK lbLoadAllProc(HWND child, LPARAM)
{
    LoadCtrlData(child, nullptr, nullptr, 0);
    return TRUE;
}

INT_PTR CALLBACK IniDlgProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp)
{
    Record *r = DialogRecord(dlg);
    if (msg == WM_INITDIALOG) {
        r = reinterpret_cast<Record *>(lp);
        if (r && (r->flags & kPattern)) {
            r = new (std::nothrow) Record(*r);
            if (r) r->flags = (r->flags & ~kPattern) | kCopied;
        }
        if (!r) {
            EndDialog(dlg, -1);
            return FALSE;
        }
        SetPropA(dlg, MAKEINTATOM(kRecordProp), r);
        INT_PTR answer = r->proc ? r->proc(dlg, WM_INITDIALOG, wp, r->param) : TRUE;
        EnumChildWindows(dlg, lbLoadAllProc, 0);
        ApplyDlgInit(r->module, r->tmpl, dlg);
        IniToDialog(r->module, r->tmpl, dlg);
        r->validation = RegisterWindowMessageA("Quillon ActiveX Validation Message");
        if (r->proc) {
            INT_PTR later = r->proc(dlg, WM_USER + 2, 0, 0);
            if (later) answer = later;
        }
        return answer;
    }
    if (!r) return FALSE;
    if (msg == WM_USER + 5 || (msg == WM_DESTROY && (r->flags & 2))) {
        DialogToIni(r->module, r->tmpl, dlg);
        if (r->data) IniToStruct(r->module, r->tmpl, r->data);
    } else if (msg == WM_USER + 6) {
        IniToDialog(r->module, r->tmpl, dlg);
    } else if (msg == WM_USER + 125) {
        SetWindowLongPtrA(dlg, DWLP_MSGRESULT, IniValidateDialog(r->module, r->tmpl, dlg, r->validation));
        return TRUE;
    }
    /* A page of a tabbed dialog hears no WM_NCDESTROY: its copy goes now. */
    if (msg == WM_NCDESTROY || (msg == WM_DESTROY && (r->flags & kCopied))) {
        INT_PTR a = r->proc ? r->proc(dlg, msg, wp, lp) : 0;
        RemovePropA(dlg, MAKEINTATOM(kRecordProp));
        delete r;
        return a;
    }
    if (r->proc) {
        INT_PTR a = r->proc(dlg, msg, wp, lp);
        if (a) return a;
    }
    if (msg == WM_COMMAND) {
        switch (LOWORD(wp)) {
        case IDOK:
            SendMessageA(dlg, WM_USER + 5, 0, 0);
            if (!(r->flags & 4)) {
                if (r->flags & 1) DestroyWindow(dlg);
                else EndDialog(dlg, 1);
            }
            break;
        case IDCANCEL:
            if (!(r->flags & 4)) {
                if (r->flags & 1) DestroyWindow(dlg);
                else EndDialog(dlg, 0);
            }
            break;
        case 4:
            IniToDialog(r->module, r->tmpl, dlg);
            break;
        }
        return TRUE;
    }
    return FALSE;
}

INT_PTR WINAPI iniDialogBoxEx(HMODULE module, LPCSTR tmpl, HWND owner, DLGPROC proc, LPARAM param, DWORD flags,
                              INISTRUCT *data)
{
    if (!module) module = owner ? reinterpret_cast<HMODULE>(GetWindowLongPtrA(owner, GWLP_HINSTANCE)) : nullptr;
    if (!module) module = GetModuleHandleA(nullptr);
    Record *r = new (std::nothrow) Record{module, tmpl, proc, data, param, flags & 7, 0};
    if (!r) return -1;
    if (flags & 1) {
        HWND w = CreateDialogParamA(module, tmpl, owner, IniDlgProc, reinterpret_cast<LPARAM>(r));
        if (!w) delete r;
        return reinterpret_cast<INT_PTR>(w);
    }
    INT_PTR result = DialogBoxParamA(module, tmpl, owner, IniDlgProc, reinterpret_cast<LPARAM>(r));
    return result;
}

BOOL WINAPI tabAddIniTemplate(HGLOBAL tab, LPCSTR caption, HMODULE module, LPCSTR tmpl, DLGPROC proc, LPARAM param,
                              DWORD page_flags, INISTRUCT *data)
{
    /* The pattern lives as long as the process: the tabbed dialog may make
     * its page again while it runs, and tells no one when it is done. */
    Record *r = new (std::nothrow) Record{module ? module : GetModuleHandleA(nullptr), tmpl, proc, data, param, 4 | kPattern, 0};
    if (!r) return -1;
    if (!tabAddTemplateEx(tab, caption, 0, reinterpret_cast<HINSTANCE>(r->module), tmpl, IniDlgProc,
                          reinterpret_cast<LPARAM>(r), page_flags)) {
        delete r;
        return FALSE;
    }
    return TRUE;
}

INT_PTR WINAPI iniDialogBox(HMODULE module, LPCSTR tmpl, HWND owner, INISTRUCT *data)
{
    return iniDialogBoxEx(module, tmpl, owner, nullptr, 0, 0, data);
}

}  // extern "C"
