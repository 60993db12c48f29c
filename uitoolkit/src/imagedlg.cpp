/* The image open and save dialogs: the toolkit's file dialogs with the
 * templates 108 and 109 and their hooks. The open dialog previews the chosen
 * file through the image filters' conversion in the "Knobset" button 8003;
 * the save dialog offers the depths and compression of the chosen format and
 * writes the image when OK is pressed, so that a failure keeps it open. */
#include "dialogs.h"
#include "filedlg.h"
#include "imageformats.h"
#include "internal.h"
#include "tundrix32.h"

#include <commdlg.h>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kErrorText[] = "Error Reading File";
const char kErrorCaption[] = "error";
const UINT kSetProp = WM_USER + 14;          /* the button's property messages: set one */
const UINT kResetProp = WM_USER + 15;        /* and take one away */
const uint32_t kBitmapAllStates = 0x5172;   /* a bitmap handle for every state, taken by the button */
const uint32_t kTextAllStates = 0x171;
const int kDepths[6] = {1, 4, 8, 16, 24, 32};
const uint16_t kDepthBits[6] = {FX_DEPTH_1, FX_DEPTH_4, FX_DEPTH_8, FX_DEPTH_16, FX_DEPTH_24, FX_DEPTH_32};

typedef int(WINAPI *ConvertFn)(ConvertSource *, ConvertTarget *);

ConvertFn Convert()
{
    static ConvertFn fn;
    if (!fn) {
        HMODULE m = LoadLibraryA("Ferrix32.dll");
        fn = m ? reinterpret_cast<ConvertFn>(GetProcAddress(m, MAKEINTRESOURCEA(18))) : nullptr;
    }
    return fn;
}

int DoConvert(ConvertSource *s, ConvertTarget *t)
{
    ConvertFn fn = Convert();
    return fn ? fn(s, t) : FX_E_NOFILTER;
}

void CopyPath(char *dst, size_t size, const std::string &src)
{
    size_t n = src.size() < size - 1 ? src.size() : size - 1;
    std::memcpy(dst, src.data(), n);
    dst[n] = 0;
}

/* The hook state hangs on the template's dialog under the library's atom. */
LPCSTR StateName()
{
    ATOM a = TundrixImageAtom();
    return a ? MAKEINTATOM(a) : "Tundrix image dialog";
}

void ShowError(HWND owner) { MessageBoxA(owner, kErrorText, kErrorCaption, MB_ICONEXCLAMATION); }

std::string CurrentPath(HWND inner)
{
    char path[MAX_PATH] = {};
    if (SendMessageA(inner, FileDialogQueryMessage(), 5, reinterpret_cast<LPARAM>(path)) <= 0) return std::string();
    return path;
}

bool IsFile(const std::string &path)
{
    if (path.empty()) return false;
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

/* ---- open ---- */

struct OpenState {
    FILEDIALOGREQUEST req;   /* its custom data leads the hook back here */
    uint32_t aspect = 0;         /* source flag of the chosen aspect button */
    std::vector<char> file;
};

void EnablePreview(HWND inner, bool on)
{
    EnableWindow(GetDlgItem(inner, IMG_PREVIEW), on);
    EnableWindow(GetDlgItem(inner, IMG_INFO), on);
}

/* Converts the current file to a bitmap the size of the preview button;
 * false (and the error box) when the file cannot be read. */
bool Preview(HWND inner, OpenState *st, const std::string &path)
{
    HWND button = GetDlgItem(inner, IMG_PREVIEW);
    if (!IsFile(path) || !button) {
        EnablePreview(inner, false);
        return true;
    }
    RECT r = {};
    SendMessageA(button, WM_USER + 22, 0, reinterpret_cast<LPARAM>(&r));
    if (r.right <= r.left || r.bottom <= r.top) GetClientRect(button, &r);
    ConvertSource s = {};
    s.version = FX_REQUEST_VERSION;
    CopyPath(s.path, sizeof s.path, path);
    s.flags = st->aspect | 0x80000000u;
    ConvertTarget t = {};
    t.version = FX_REQUEST_VERSION;
    t.width = static_cast<uint16_t>(r.right - r.left);
    t.height = static_cast<uint16_t>(r.bottom - r.top);
    t.depth = 24;
    HBITMAP bitmap = nullptr;
    HPALETTE palette = nullptr;
    t.resultBitmap = &bitmap;
    t.resultPalette = &palette;
    int result = DoConvert(&s, &t);
    if (palette) DeleteObject(palette);
    if (result != FX_OK || !bitmap) {
        if (bitmap) DeleteObject(bitmap);
        EnablePreview(inner, false);
        ShowError(GetParent(inner));
        return false;
    }
    /* The picture takes the place of the invitation to click. */
    SendMessageA(button, kSetProp, kBitmapAllStates, reinterpret_cast<LPARAM>(bitmap));
    SendMessageA(button, kResetProp, 0x71, 0);
    char info[64];
    std::snprintf(info, sizeof info, "%dx%dx%d", s.width, s.height, s.depth);
    SendMessageA(GetDlgItem(inner, IMG_INFO), kSetProp, kTextAllStates, reinterpret_cast<LPARAM>(info));
    EnablePreview(inner, true);
    InvalidateRect(button, nullptr, FALSE);
    return true;
}

void CheckAspect(HWND inner, int id)
{
    for (int b : {IMG_ASPECT_1_1, IMG_ASPECT_4_3, IMG_ASPECT_16_9})
        SendDlgItemMessageA(inner, b, BM_SETCHECK, b == id, 0);
}

/* ---- save ---- */

struct SaveState {
    FILEDIALOGREQUEST req;
    FERRIXWRITEREQUEST *caller = nullptr;
    std::vector<FormatRecord> formats;
    std::vector<char> file;
    int depth = 0;           /* bits per pixel chosen */
    bool compress = false;
    bool written = false;
};

bool CanCompress(const FormatRecord &f) { return f.formatId == FX_ID_TGA; }

/* The format of the typed name's extension, else of the chosen filter.  The
 * name box's own text is asked: the full path has the default extension
 * appended, which still names the old type while a type change is notified. */
const FormatRecord *ChosenFormat(SaveState *st, HWND inner)
{
    char typed[MAX_PATH] = {};
    if (SendMessageA(GetParent(inner), CDM_GETSPEC, sizeof typed, reinterpret_cast<LPARAM>(typed)) <= 0) typed[0] = 0;
    std::string path = typed;
    size_t dot = path.rfind('.'), slash = path.find_last_of("\\/");
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
        std::string ext = path.substr(dot + 1);
        for (const FormatRecord &f : st->formats)
            for (const std::string &e : FormatExtensions(f, false))
                if (!lstrcmpiA(e.c_str(), ext.c_str())) return &f;
    }
    HWND types = GetDlgItem(GetParent(inner), 1136);
    LRESULT i = types ? SendMessageA(types, CB_GETCURSEL, 0, 0) : -1;
    if (i < 0 || static_cast<size_t>(i) >= st->formats.size()) i = static_cast<LRESULT>(st->req.ofn.nFilterIndex) - 1;
    if (i < 0 || static_cast<size_t>(i) >= st->formats.size()) return st->formats.empty() ? nullptr : &st->formats[0];
    return &st->formats[static_cast<size_t>(i)];
}

void ShowSaveChoice(HWND inner, SaveState *st)
{
    const FormatRecord *f = ChosenFormat(st, inner);
    uint16_t mask = f ? f->depthMask : 0;
    int best = -1;
    for (int i = 0; i < 6; ++i) {
        bool on = (mask & kDepthBits[i]) != 0;
        EnableWindow(GetDlgItem(inner, IMG_BPP_FIRST + i), on);
        if (on && kDepths[i] == st->depth) best = i;
    }
    if (best < 0)
        for (int i = 5; i >= 0 && best < 0; --i)
            if (mask & kDepthBits[i]) best = i;
    st->depth = best >= 0 ? kDepths[best] : 0;
    for (int i = 0; i < 6; ++i) SendDlgItemMessageA(inner, IMG_BPP_FIRST + i, BM_SETCHECK, i == best, 0);
    const bool can = f && CanCompress(*f);
    EnableWindow(GetDlgItem(inner, IMG_COMPRESSION), can);
    CheckDlgButton(inner, IMG_COMPRESSION, can && st->compress ? BST_CHECKED : BST_UNCHECKED);
    SetDlgItemTextA(inner, IMG_COMPRESSED, can ? "YES" : "NO");
    char name[65] = {};
    if (f) std::memcpy(name, f->name, 64);
    SetDlgItemTextA(inner, IMG_TYPE, name);
    SetDlgItemInt(inner, IMG_DEPTH, static_cast<UINT>(st->depth), FALSE);
}

void ShowSourceSize(HWND inner, const ConvertSource *s)
{
    int w = s->width, h = s->height;
    if (s->hDib) {
        if (auto *bi = static_cast<const BITMAPINFOHEADER *>(GlobalLock(s->hDib))) {
            w = bi->biWidth;
            h = bi->biHeight < 0 ? -bi->biHeight : bi->biHeight;
            GlobalUnlock(s->hDib);
        }
    } else if (s->bmi) {
        w = s->bmi->biWidth;
        h = s->bmi->biHeight < 0 ? -s->bmi->biHeight : s->bmi->biHeight;
    }
    SetDlgItemInt(inner, IMG_WIDTH, static_cast<UINT>(w), FALSE);
    SetDlgItemInt(inner, IMG_HEIGHT, static_cast<UINT>(h), FALSE);
}

/* Writes the caller's image under the chosen name; false keeps the dialog open. */
bool WriteChoice(HWND inner, SaveState *st)
{
    const FormatRecord *f = ChosenFormat(st, inner);
    std::string path = CurrentPath(inner);
    FERRIXWRITEREQUEST *w = st->caller;
    if (!f || path.empty() || !w->source) return false;
    st->compress = IsDlgButtonChecked(inner, IMG_COMPRESSION) == BST_CHECKED && CanCompress(*f);
    ConvertTarget t = {};
    t.version = FX_REQUEST_VERSION;
    CopyPath(t.path, sizeof t.path, path);
    t.formatId = f->formatId;
    t.subFormat = f->u.write.subFormat;
    t.depth = static_cast<uint16_t>(st->depth);
    if (st->compress) t.options = 0x8000;
    int result = DoConvert(w->source, &t);
    if (result != FX_OK) return false;
    CopyPath(w->path, sizeof w->path, path);
    w->formatId = f->formatId;
    w->subFormat = f->u.write.subFormat;
    w->depth = static_cast<uint16_t>(st->depth);
    w->compressed = st->compress ? 1 : 0;
    INIOBJECT *reg = regInit("", "File Writer");
    regWriteInt(reg, nullptr, "SaveBpp", st->depth);
    regWriteInt(reg, nullptr, "Compression", st->compress ? 1 : 0);
    regDone(reg);
    st->written = true;
    return true;
}

void RefuseOk(HWND inner)
{
    SetWindowLongPtrA(inner, DWLP_MSGRESULT, 1);
}

}  // namespace

extern "C" {

UINT_PTR CALLBACK GFDIALOGHookProc(HWND inner, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_INITDIALOG) {
        auto *req = reinterpret_cast<FILEDIALOGREQUEST *>(lp);
        auto *st = reinterpret_cast<OpenState *>(req->ofn.lCustData);
        SetPropA(inner, StateName(), st);
        CheckAspect(inner, st->aspect == FX_SRC_ASPECT_4_3 ? IMG_ASPECT_4_3
                           : st->aspect == FX_SRC_ASPECT_16_9 ? IMG_ASPECT_16_9 : IMG_ASPECT_1_1);
        EnablePreview(inner, false);
        return TRUE;
    }
    auto *st = static_cast<OpenState *>(GetPropA(inner, StateName()));
    if (!st) return 0;
    switch (msg) {
    case WM_COMMAND:
        switch (LOWORD(wp)) {
        case IMG_ASPECT_1_1: st->aspect = FX_SRC_ASPECT_KEEP; break;
        case IMG_ASPECT_4_3: st->aspect = FX_SRC_ASPECT_4_3; break;
        case IMG_ASPECT_16_9: st->aspect = FX_SRC_ASPECT_16_9; break;
        case IMG_PREVIEW: Preview(inner, st, CurrentPath(inner)); return TRUE;
        default: return 0;
        }
        CheckAspect(inner, LOWORD(wp));
        Preview(inner, st, CurrentPath(inner));
        return TRUE;
    case WM_NOTIFY: {
        auto *n = reinterpret_cast<OFNOTIFYA *>(lp);
        if (n->hdr.code == CDN_SELCHANGE) {
            std::string path = CurrentPath(inner);
            if (IsFile(path)) Preview(inner, st, path);
            else EnablePreview(inner, false);
        } else if (n->hdr.code == CDN_FILEOK && !(st->req.ofn.Flags & OFN_ALLOWMULTISELECT)) {
            /* A file the filters cannot read is refused here. */
            if (!Preview(inner, st, CurrentPath(inner))) {
                RefuseOk(inner);
                return TRUE;
            }
        }
        return 0;
    }
    case WM_NCDESTROY: RemovePropA(inner, StateName()); return 0;
    }
    return 0;
}

UINT_PTR CALLBACK GFSAVEHookProc(HWND inner, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_INITDIALOG) {
        auto *req = reinterpret_cast<FILEDIALOGREQUEST *>(lp);
        auto *st = reinterpret_cast<SaveState *>(req->ofn.lCustData);
        SetPropA(inner, StateName(), st);
        INIOBJECT *reg = regInit("", "File Writer");
        st->depth = static_cast<int>(regReadInt(reg, nullptr, "SaveBpp", 0));
        st->compress = regReadInt(reg, nullptr, "Compression", 0) != 0;
        regDone(reg);
        ShowSourceSize(inner, st->caller->source);
        ShowSaveChoice(inner, st);
        return TRUE;
    }
    auto *st = static_cast<SaveState *>(GetPropA(inner, StateName()));
    if (!st) return 0;
    switch (msg) {
    case WM_COMMAND:
        if (LOWORD(wp) >= IMG_BPP_FIRST && LOWORD(wp) < IMG_BPP_FIRST + 6) {
            st->depth = kDepths[LOWORD(wp) - IMG_BPP_FIRST];
            for (int i = 0; i < 6; ++i)
                SendDlgItemMessageA(inner, IMG_BPP_FIRST + i, BM_SETCHECK, IMG_BPP_FIRST + i == LOWORD(wp), 0);
            SetDlgItemInt(inner, IMG_DEPTH, static_cast<UINT>(st->depth), FALSE);
            return TRUE;
        }
        if (LOWORD(wp) == IMG_COMPRESSION) {
            st->compress = IsDlgButtonChecked(inner, IMG_COMPRESSION) == BST_CHECKED;
            return TRUE;
        }
        return 0;
    case WM_NOTIFY: {
        auto *n = reinterpret_cast<OFNOTIFYA *>(lp);
        if (n->hdr.code == CDN_TYPECHANGE || n->hdr.code == CDN_INITDONE) {
            ShowSaveChoice(inner, st);
        } else if (n->hdr.code == CDN_FILEOK) {
            if (!WriteChoice(inner, st)) {
                ShowError(GetParent(inner));
                RefuseOk(inner);
                return TRUE;
            }
        }
        return 0;
    }
    case WM_NCDESTROY: RemovePropA(inner, StateName()); return 0;
    }
    return 0;
}

int WINAPI ferrixQueryRead(HWND owner, ConvertSource *source, ConvertTarget *target, FERRIXREADCALLBACK callback,
                           const FERRIXREADOPTIONS *options, const char *const *required, DWORD flags)
{
    if (!source || !target) return 0;
    std::vector<FormatRecord> formats = UsableFormats(EnumerateImageFormats(true), 0);
    std::string filter = ImageFilterText(formats, true, required);
    OpenState st;
    st.req = FILEDIALOGREQUEST();
    st.aspect = FX_SRC_ASPECT_KEEP;
    st.file.assign(4096, 0);
    CopyPath(st.file.data(), st.file.size(), source->path);
    FILEDIALOGREQUEST &q = st.req;
    q.ofn.lStructSize = FILEDIALOG_SIZE_FULL;
    q.ofn.hwndOwner = owner;
    q.ofn.hInstance = TundrixResources();
    q.ofn.lpstrFilter = filter.c_str();
    q.ofn.nFilterIndex = 1;
    q.ofn.lpstrFile = st.file.data();
    q.ofn.nMaxFile = static_cast<DWORD>(st.file.size());
    q.ofn.Flags = OFN_EXPLORER | OFN_ENABLETEMPLATE | OFN_ENABLEHOOK | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST |
                  OFN_HIDEREADONLY | (flags & OFN_ALLOWMULTISELECT);
    q.ofn.lpTemplateName = MAKEINTRESOURCEA(IMAGE_OPEN_TEMPLATE);
    q.ofn.lpfnHook = GFDIALOGHookProc;
    q.ofn.lCustData = reinterpret_cast<LPARAM>(&st);
    q.settings_section = "File Reader";
    if (!iGetOpenFileName(&q)) return 0;

    std::vector<std::string> paths;
    const char *p = st.file.data();
    const char *next = p + std::strlen(p) + 1;
    if ((flags & OFN_ALLOWMULTISELECT) && *next) {
        for (; *next; next += std::strlen(next) + 1) paths.push_back(std::string(p) + "\\" + next);
    } else {
        paths.push_back(p);
    }
    const bool call_on_failure = options && (options->flags & FERRIXREAD_CALLONFAILURE);
    for (const std::string &path : paths) {
        CopyPath(source->path, sizeof source->path, path);
        int result = DoConvert(source, target);
        source->result = result;
        if ((result == FX_OK || call_on_failure) && callback) callback(source, target);
    }
    return source->result;
}

BOOL WINAPI ferrixQueryWrite(FERRIXWRITEREQUEST *request)
{
    if (!request || !request->source) return FALSE;
    SaveState st;
    st.req = FILEDIALOGREQUEST();
    st.caller = request;
    st.formats = UsableFormats(EnumerateImageFormats(false), 0);
    if (st.formats.empty()) return FALSE;
    std::string filter = ImageFilterText(st.formats, false, nullptr);
    st.file.assign(MAX_PATH, 0);
    CopyPath(st.file.data(), st.file.size(), request->path);
    FILEDIALOGREQUEST &q = st.req;
    q.ofn.lStructSize = FILEDIALOG_SIZE_FULL;
    q.ofn.hwndOwner = request->owner;
    q.ofn.hInstance = TundrixResources();
    q.ofn.lpstrFilter = filter.c_str();
    q.ofn.nFilterIndex = 1;
    q.ofn.lpstrFile = st.file.data();
    q.ofn.nMaxFile = static_cast<DWORD>(st.file.size());
    q.ofn.Flags = OFN_EXPLORER | OFN_ENABLETEMPLATE | OFN_ENABLEHOOK | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    q.ofn.lpTemplateName = MAKEINTRESOURCEA(IMAGE_SAVE_TEMPLATE);
    q.ofn.lpfnHook = GFSAVEHookProc;
    q.ofn.lCustData = reinterpret_cast<LPARAM>(&st);
    q.settings_section = "File Writer";
    BOOL ok = iGetSaveFileName(&q);
    return ok && st.written ? TRUE : FALSE;
}

BOOL WINAPI ferrixPrefInit(HGLOBAL tab)
{
    return tabAddIniTemplate(tab, "Image Import/Export", TundrixResources(), "ID_PREFDLG_FERRIX", nullptr, 0, 0,
                             nullptr);
}

}  // extern "C"
