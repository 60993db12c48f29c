/* Open, save, delete and directory dialogs over the system's Explorer-style
 * common dialogs, remembering their choices under the program's key. */
#include "filedlg.h"
#include <cstddef>
#include "internal.h"
#include "dialogs.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

namespace {

const DWORD kSaveFlag = 0x10000000;
const DWORD kSettingsAsGiven = 0x20000000;
/* The working buffer: the system dialog is told it holds this many bytes. */
const DWORD kWorkSize = 20480;
const int kMaxColumns = 20;
const char kFrameProp[] = "TundrixFileDialogFrame";
const char kInnerProp[] = "TundrixFileDialogInner";
const char kStateProp[] = "TundrixFileDialogState";
const UINT kSetTarget = WM_USER + 25;
const UINT kSetProp = WM_USER + 14;

int g_last_error;
BOOL g_textures_off;

struct FileDialogState {
    FILEDIALOGREQUEST *req;
    OPENFILENAMEA ofn;
    std::string section;
    std::string settings_file;
    char file[kWorkSize];
    char def_ext[16];
    WNDPROC inner_old;
    WNDPROC frame_old;
    HWND inner;
    HWND frame;
    int columns;
    int widths[kMaxColumns];
    bool delete_mode;
};

HHOOK g_cbt_hook;
FileDialogState *g_creating;

bool Exists(const std::string &path, bool *is_dir)
{
    DWORD a = GetFileAttributesA(path.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return false;
    if (is_dir) *is_dir = (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return true;
}

bool IsDialogClass(LPCSTR cls)
{
    if (IS_INTRESOURCE(cls)) return LOWORD(reinterpret_cast<ULONG_PTR>(cls)) == 32770;
    return !lstrcmpiA(cls, "#32770");
}

bool IsCtlColor(UINT msg) { return msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC; }

/* Background and control colours: the owner answers first. */
bool AskParent(HWND window, UINT msg, WPARAM wp, LPARAM lp, LRESULT *answer)
{
    HWND parent = GetParent(window);
    if (!parent || (msg != WM_ERASEBKGND && !IsCtlColor(msg))) return false;
    *answer = SendMessageA(parent, msg, wp, lp);
    return *answer != 0;
}

HWND ReplaceByKnobset(HWND frame, int id, const char *props, DWORD style)
{
    HWND old = GetDlgItem(frame, id);
    if (!old) return nullptr;
    char cls[32] = {};
    GetClassNameA(old, cls, sizeof cls);
    if (!lstrcmpiA(cls, "Knobset")) return old;
    char caption[128] = {};
    GetWindowTextA(old, caption, sizeof caption);
    RECT r;
    GetWindowRect(old, &r);
    MapWindowPoints(nullptr, frame, reinterpret_cast<POINT *>(&r), 2);
    if (!style) style = GetWindowLongA(old, GWL_STYLE) & ~0xFu;
    HWND knob = CreateWindowExA(0, "Knobset", props, style | WS_CHILD, r.left, r.top, r.right - r.left,
                                r.bottom - r.top, frame, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(frame, GWLP_HINSTANCE)), nullptr);
    if (!knob) return old; /* without the control library the system's button stays */
    SendMessageA(knob, WM_SETFONT, SendMessageA(old, WM_GETFONT, 0, 0), FALSE);
    SendMessageA(knob, kSetProp, 464, reinterpret_cast<LPARAM>(caption));
    SetWindowTextA(knob, caption);
    SetWindowPos(knob, old, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    DestroyWindow(old);
    return knob;
}

INIOBJECT *OpenSettings(const std::string &section)
{
    return regInit("", section.c_str());
}

std::string ProgramPath()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    return path;
}

void CopyCapped(char *dst, size_t size, const char *src)
{
    if (!dst || !size) return;
    size_t n = std::strlen(src);
    if (n >= size) n = size - 1;
    std::memcpy(dst, src, n);
    dst[n] = 0;
}

/* The working buffer's text, a double-NUL list for multi-selections. */
size_t ChoiceLength(const char *buf, bool multi)
{
    size_t n = std::strlen(buf) + 1;
    if (multi && n > 1) {
        while (n < kWorkSize && buf[n]) n += std::strlen(buf + n) + 1;
        ++n;
    }
    return n;
}

void UpdateDefaultExtension(FileDialogState *s)
{
    std::string pattern = FilterPattern(s->ofn.lpstrFilter, static_cast<int>(s->ofn.nFilterIndex));
    if (pattern.compare(0, 2, "*.") != 0) return;
    std::string ext = pattern.substr(2, pattern.find(';') == std::string::npos ? std::string::npos
                                                                               : pattern.find(';') - 2);
    CopyCapped(s->def_ext, sizeof s->def_ext, ext.c_str());
}

/* The registered message: questions about the running dialog. */
LRESULT AnswerQuery(FileDialogState *s, WPARAM sub, LPARAM lp)
{
    char *out = reinterpret_cast<char *>(lp);
    if (!out) return 0;
    switch (sub) {
    case 5: {
        out[0] = 0;
        LRESULT n = SendMessageA(s->frame, CDM_GETFILEPATH, MAX_PATH, lp);
        if (n <= 0) return n;
        const char *base = std::strrchr(out, '\\');
        base = base ? base + 1 : out;
        if (*base && !std::strchr(base, '.') && s->def_ext[0] && std::strlen(out) + 2 + std::strlen(s->def_ext) <= MAX_PATH) {
            std::strcat(out, ".");
            std::strcat(out, s->def_ext);
        }
        return static_cast<LRESULT>(std::strlen(out) + 1);
    }
    case 6:
        out[0] = 0;
        return SendMessageA(s->frame, CDM_GETFOLDERPATH, MAX_PATH, lp);
    case 7:
        CopyCapped(out, MAX_PATH, s->section.c_str());
        return 1;
    case 8:
        CopyCapped(out, MAX_PATH, s->settings_file.c_str());
        return 1;
    }
    return 0;
}

LRESULT CALLBACK FrameProc(HWND frame, UINT msg, WPARAM wp, LPARAM lp)
{
    auto *s = static_cast<FileDialogState *>(GetPropA(frame, kFrameProp));
    WNDPROC old = s ? s->frame_old : DefWindowProcA;
    LRESULT answer;
    if (s && msg == FileDialogQueryMessage() && msg) return AnswerQuery(s, wp, lp);
    if (AskParent(frame, msg, wp, lp, &answer)) return answer;
    if (msg == WM_NCDESTROY && s) {
        SetWindowLongPtrA(frame, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
        RemovePropA(frame, kFrameProp);
    }
    return CallWindowProcA(old, frame, msg, wp, lp);
}

LRESULT CALLBACK CreationHook(int code, WPARAM wp, LPARAM lp)
{
    HHOOK self = g_cbt_hook;
    if (code == HCBT_CREATEWND && g_creating) {
        auto *cbt = reinterpret_cast<CBT_CREATEWNDA *>(lp);
        CREATESTRUCTA *cs = cbt->lpcs;
        if (!(cs->style & WS_CHILD) && IsDialogClass(cs->lpszClass)) {
            HWND frame = reinterpret_cast<HWND>(wp);
            cs->style = (cs->style & ~static_cast<LONG>(DS_MODALFRAME)) | 0x440000;
            cs->dwExStyle = (cs->dwExStyle & ~static_cast<DWORD>(WS_EX_DLGMODALFRAME)) | 0x40100;
            /* The window already exists: its styles are set as well. */
            SetWindowLongA(frame, GWL_STYLE, cs->style);
            SetWindowLongA(frame, GWL_EXSTYLE, static_cast<LONG>(cs->dwExStyle));
            FileDialogState *s = g_creating;
            s->frame = frame;
            SetPropA(frame, kFrameProp, s);
            s->frame_old = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrA(frame, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FrameProc)));
            g_creating = nullptr;
            UnhookWindowsHookEx(g_cbt_hook);
            g_cbt_hook = nullptr;
        }
    }
    return CallNextHookEx(self, code, wp, lp);
}

/* Checks every quoted name of a multi-selection; fills the caller's buffer
 * with the folder and the names.  False (after the box) when one is missing. */
bool CheckMultiSelection(FileDialogState *s, HWND inner)
{
    char spec[kWorkSize] = {};
    SendMessageA(s->frame, CDM_GETSPEC, sizeof spec, reinterpret_cast<LPARAM>(spec));
    if (spec[0] != '"') return true;
    char folder[MAX_PATH] = {};
    SendMessageA(s->frame, CDM_GETFOLDERPATH, sizeof folder, reinterpret_cast<LPARAM>(folder));
    std::vector<std::string> names;
    for (const char *p = spec; (p = std::strchr(p, '"'));) {
        const char *end = std::strchr(p + 1, '"');
        if (!end) break;
        names.emplace_back(p + 1, end);
        p = end + 1;
    }
    std::string dir = folder;
    if (!dir.empty() && dir.back() == '\\') dir.pop_back();
    for (const std::string &n : names) {
        bool absolute = n.size() > 1 && (n[1] == ':' || n[0] == '\\');
        if (!Exists(absolute ? n : dir + "\\" + n, nullptr)) {
            std::string text = dir + "\\" + n + "\nFile not found.\nPlease verify that path and filename are correct.";
            MessageBoxA(s->frame, text.c_str(), "File Not Found", MB_ICONEXCLAMATION);
            return false;
        }
    }
    LPSTR out = s->req->ofn.lpstrFile;
    DWORD cap = s->req->ofn.nMaxFile;
    std::string list = dir + '\0';
    for (const std::string &n : names) list += n + '\0';
    list += '\0';
    if (out && cap >= list.size()) std::memcpy(out, list.data(), list.size());
    return true;
}

UINT_PTR HookBody(HWND inner, UINT msg, WPARAM wp, LPARAM lp, bool delete_mode)
{
    if (msg == WM_INITDIALOG) {
        auto *ofn = reinterpret_cast<OPENFILENAMEA *>(lp);
        auto *s = reinterpret_cast<FileDialogState *>(ofn->lCustData);
        SetPropA(inner, kStateProp, s);
        s->inner = inner;
        if (!s->frame) s->frame = GetParent(inner);
        SetPropA(s->frame, kInnerProp, inner);
        if ((s->req->ofn.Flags & OFN_ENABLEHOOK) && s->req->ofn.lpfnHook)
            s->req->ofn.lpfnHook(inner, WM_INITDIALOG, FileDialogQueryMessage(),
                                 reinterpret_cast<LPARAM>(s->req));
        s->inner_old = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(inner, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(OpenFileDlgWndProc)));
        return TRUE;
    }
    auto *s = static_cast<FileDialogState *>(GetPropA(inner, kStateProp));
    if (!s) return 0;
    if ((s->req->ofn.Flags & OFN_ENABLEHOOK) && s->req->ofn.lpfnHook && msg != WM_NCDESTROY) {
        UINT_PTR r = s->req->ofn.lpfnHook(inner, msg, wp, lp);
        if (r) return r;
    }
    if (msg == WM_NOTIFY) {
        auto *n = reinterpret_cast<OFNOTIFYA *>(lp);
        switch (n->hdr.code) {
        case CDN_INITDONE:
            ReplaceByKnobset(s->frame, IDOK, "0`22`E0`2", 0);
            ReplaceByKnobset(s->frame, IDCANCEL, "0`22`E0`2", 0);
            CenterWindow(s->frame, GetWindow(s->frame, GW_OWNER));
            if (delete_mode) PostMessageA(s->frame, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            break;
        case CDN_TYPECHANGE:
        case CDN_SELCHANGE:
        case CDN_FOLDERCHANGE:
            if (n->lpOFN) s->ofn.nFilterIndex = n->lpOFN->nFilterIndex;
            UpdateDefaultExtension(s);
            break;
        case CDN_FILEOK:
            if (!(s->req->ofn.Flags & OFN_ALLOWMULTISELECT)) {
                char path[MAX_PATH] = {};
                SendMessageA(s->frame, CDM_GETFILEPATH, sizeof path, reinterpret_cast<LPARAM>(path));
                if (s->req->ofn.lpstrFile && s->req->ofn.nMaxFile)
                    CopyCapped(s->req->ofn.lpstrFile, s->req->ofn.nMaxFile, path);
            } else if (!CheckMultiSelection(s, inner)) {
                SetWindowLongPtrA(inner, DWLP_MSGRESULT, 1);
                return TRUE;
            }
            break;
        }
    } else if (msg == WM_COMMAND && LOWORD(wp) == 1152 && HIWORD(wp) == EN_UPDATE) {
        if (s->req->ofn.lpstrFile && s->req->ofn.nMaxFile)
            GetDlgItemTextA(s->frame, 1152, s->req->ofn.lpstrFile, static_cast<int>(s->req->ofn.nMaxFile));
    }
    return 0;
}

/* Runs the system dialog once. */
BOOL RunSystemDialog(FileDialogState *s, bool save)
{
    g_creating = s;
    g_cbt_hook = SetWindowsHookExA(WH_CBT, CreationHook, nullptr, GetCurrentThreadId());
    DbcsSetPassThrough(true);
    BOOL ok = save ? GetSaveFileNameA(&s->ofn) : GetOpenFileNameA(&s->ofn);
    DbcsSetPassThrough(false);
    if (g_cbt_hook) UnhookWindowsHookEx(g_cbt_hook);
    g_cbt_hook = nullptr;
    g_creating = nullptr;
    return ok;
}

void SaveColumns(INIOBJECT *reg, const FileDialogState *s)
{
    regWriteInt(reg, nullptr, "nColumns", s->columns);
    for (int i = 0; i < s->columns; ++i) {
        char key[16];
        snprintf(key, sizeof key, "column%d", i);
        regWriteInt(reg, nullptr, key, s->widths[i]);
    }
}

BOOL RunFileDialog(FILEDIALOGREQUEST *req, bool delete_mode)
{
    g_last_error = 0;
    if (!req) return FALSE;
    DWORD size = req->ofn.lStructSize;
    if (size != FILEDIALOG_SIZE_SHORT && size != FILEDIALOG_SIZE_MIDDLE && size != FILEDIALOG_SIZE_FULL) {
        g_last_error = FILEDLG_ERR_SIZE;
        return FALSE;
    }
    DWORD flags = req->ofn.Flags;
    if ((flags & OFN_ENABLETEMPLATE) && !req->ofn.hInstance) { g_last_error = FILEDLG_ERR_INSTANCE; return FALSE; }
    if ((flags & OFN_ENABLEHOOK) && !req->ofn.lpfnHook) { g_last_error = FILEDLG_ERR_HOOK; return FALSE; }
    if ((flags & OFN_ENABLETEMPLATE) && !req->ofn.lpTemplateName) {
        g_last_error = FILEDLG_ERR_TEMPLATE_NAME;
        return FALSE;
    }
    bool save = (flags & kSaveFlag) != 0;
    req->ofn.Flags &= ~kSaveFlag;
    bool full = size == FILEDIALOG_SIZE_FULL;

    auto *s = new (std::nothrow) FileDialogState();
    if (!s) return FALSE;
    s->req = req;
    s->delete_mode = delete_mode;
    s->section = FileDialogSection(req);
    s->settings_file = FileDialogSettingsFile(req, ProgramPath());
    std::memcpy(&s->ofn, &req->ofn, sizeof(FILEDIALOGREQUEST::ofn));
    s->ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    s->ofn.Flags = (req->ofn.Flags & ~(kSaveFlag | kSettingsAsGiven)) | OFN_ENABLEHOOK | OFN_EXPLORER;
    s->ofn.lpfnHook = delete_mode ? OpenFileDlg3 : OpenFileDlg2;
    s->ofn.lCustData = reinterpret_cast<LPARAM>(s);
    s->ofn.lpstrFile = s->file;
    s->ofn.nMaxFile = kWorkSize;
    if (req->ofn.lpstrFile) CopyCapped(s->file, 2048, req->ofn.lpstrFile);

    INIOBJECT *reg = OpenSettings(s->section);
    if (static_cast<int>(req->ofn.nFilterIndex) == -1) {
        char spec[MAX_PATH] = {};
        int index = 0;
        if (regReadString(reg, nullptr, "FilterSpec", "", spec, sizeof spec) > 0)
            index = FilterIndexOf(req->ofn.lpstrFilter, spec);
        if (!index) index = static_cast<int>(regReadInt(reg, nullptr, "FilterIndex", 0));
        s->ofn.nFilterIndex = index;
    }
    if (std::strchr(s->file, ',')) s->file[0] = 0;
    if (full && !save && !s->file[0]) regReadString(reg, nullptr, "FileName", "", s->file, 2048);

    std::string name = s->file, dir;
    if (SplitInitialDirectory(&name, &dir)) {
        CopyCapped(s->file, 2048, name.c_str());
    } else if (full) {
        char start[MAX_PATH] = {};
        regReadString(reg, nullptr, "StartupDirectory", "", start, sizeof start);
        dir = start;
    }
    if (!dir.empty()) s->ofn.lpstrInitialDir = dir.c_str();
    UpdateDefaultExtension(s);

    s->columns = static_cast<int>(regReadInt(reg, nullptr, "nColumns", 0));
    if (s->columns < 0) s->columns = 0;
    if (s->columns > kMaxColumns) s->columns = kMaxColumns;
    for (int i = 0; i < s->columns; ++i) {
        char key[16];
        snprintf(key, sizeof key, "column%d", i);
        s->widths[i] = static_cast<int>(regReadInt(reg, nullptr, key, 25));
    }

    BOOL ok = RunSystemDialog(s, save);
    if (!ok && !save && CommDlgExtendedError() == FNERR_INVALIDFILENAME) {
        s->file[0] = 0;
        regWriteString(reg, nullptr, "FileName", "");
        ok = RunSystemDialog(s, save);
    }
    SaveColumns(reg, s);

    if (ok) {
        bool multi = (req->ofn.Flags & OFN_ALLOWMULTISELECT) != 0;
        size_t n = ChoiceLength(s->file, multi);
        if (!req->ofn.lpstrFile || req->ofn.nMaxFile < n) {
            g_last_error = FILEDLG_ERR_BUFFER;
            ok = FALSE;
        } else {
            std::memcpy(req->ofn.lpstrFile, s->file, n);
            req->ofn.nFileOffset = s->ofn.nFileOffset;
            req->ofn.nFileExtension = s->ofn.nFileExtension;
            regWriteString(reg, nullptr, "FileName", s->file);
            std::string start = s->file;
            if (!multi) {
                size_t cut = start.rfind('\\');
                start = cut == std::string::npos ? std::string() : start.substr(0, cut);
            } else if (!(req->ofn.Flags & OFN_EXPLORER)) {
                size_t cut = start.find(' ');
                if (cut != std::string::npos) start.resize(cut);
            }
            regWriteString(reg, nullptr, "StartupDirectory", start.c_str());
            regWriteString(reg, nullptr, "FilterSpec",
                           FilterPattern(s->ofn.lpstrFilter, static_cast<int>(s->ofn.nFilterIndex)).c_str());
            regWriteInt(reg, nullptr, "FilterIndex", static_cast<long>(s->ofn.nFilterIndex));
            req->ofn.nFilterIndex = s->ofn.nFilterIndex;
        }
    }
    regDone(reg);
    delete s;
    return ok;
}

/* The directory chooser. */
struct DirChoice {
    char result[MAX_PATH];
    int size;
    LPOFNHOOKPROC hook;
    LPARAM data;
    bool chosen;
};

void ShowFolder(HWND inner)
{
    HWND frame = GetParent(inner);
    char folder[MAX_PATH] = {};
    SendMessageA(frame, CDM_GETFOLDERPATH, sizeof folder, reinterpret_cast<LPARAM>(folder));
    SendMessageA(frame, CDM_SETCONTROLTEXT, 1152, reinterpret_cast<LPARAM>(folder));
}

UINT_PTR CALLBACK DirHook(HWND inner, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_INITDIALOG) {
        auto *ofn = reinterpret_cast<OPENFILENAMEA *>(lp);
        auto *c = reinterpret_cast<DirChoice *>(ofn->lCustData);
        SetPropA(inner, kStateProp, c);
        if (c->hook) c->hook(inner, WM_INITDIALOG, FileDialogQueryMessage(), c->data);
        return TRUE;
    }
    auto *c = static_cast<DirChoice *>(GetPropA(inner, kStateProp));
    if (!c) return 0;
    if (c->hook && msg != WM_NCDESTROY) {
        UINT_PTR r = c->hook(inner, msg, wp, lp);
        if (r) return r;
    }
    HWND frame = GetParent(inner);
    if (msg == WM_NOTIFY) {
        UINT code = reinterpret_cast<NMHDR *>(lp)->code;
        if (code == CDN_INITDONE) {
            SetDlgItemTextA(frame, 1090, "Path:");
            ShowWindow(GetDlgItem(frame, 1136), SW_HIDE);
            ShowWindow(GetDlgItem(frame, 1040), SW_HIDE);
            SetDlgItemTextA(frame, 1089, "");
            HWND ok = ReplaceByKnobset(frame, IDOK, "0`22`171`&OK", 0x50016000);
            if (ok) SendMessageA(ok, kSetTarget, 0, reinterpret_cast<LPARAM>(inner));
            PostMessageA(inner, WM_USER + 100, 0, 0);
        } else if (code == CDN_FOLDERCHANGE) {
            ShowFolder(inner);
        }
    } else if (msg == WM_USER + 100) {
        ShowFolder(inner);
        return TRUE;
    } else if (msg == WM_COMMAND && LOWORD(wp) == IDOK) {
        c->result[0] = 0;
        SendMessageA(frame, CDM_GETFOLDERPATH, sizeof c->result, reinterpret_cast<LPARAM>(c->result));
        c->chosen = true;
        EndDialog(frame, 1);
        return TRUE;
    } else if (msg == WM_NCDESTROY) {
        if (c->hook) c->hook(inner, msg, wp, lp);
        RemovePropA(inner, kStateProp);
    }
    return 0;
}

}  // namespace

UINT FileDialogQueryMessage()
{
    UINT m = TundrixFileDialogMessage();
    return m ? m : RegisterWindowMessageA("OpenFileNameDialog-Brannoch");
}

std::string FilterPattern(LPCSTR filter, int index)
{
    if (!filter || index < 1) return std::string();
    for (int i = 1; *filter; ++i) {
        const char *pattern = filter + std::strlen(filter) + 1;
        if (i == index) return pattern;
        if (!*pattern) break;
        filter = pattern + std::strlen(pattern) + 1;
    }
    return std::string();
}

int FilterIndexOf(LPCSTR filter, const std::string &pattern)
{
    if (!filter || pattern.empty()) return 0;
    for (int i = 1; *filter; ++i) {
        const char *p = filter + std::strlen(filter) + 1;
        if (!lstrcmpiA(p, pattern.c_str())) return i;
        if (!*p) break;
        filter = p + std::strlen(p) + 1;
    }
    return 0;
}

bool SplitInitialDirectory(std::string *name, std::string *dir)
{
    size_t cut = name->rfind('\\');
    if (cut == std::string::npos) return false;
    bool is_dir = false;
    if (Exists(*name, &is_dir)) {
        if (is_dir) {
            *dir = *name;
            name->clear();
        } else {
            *dir = name->substr(0, cut);
            *name = name->substr(cut + 1);
        }
        return true;
    }
    std::string parent = name->substr(0, cut);
    if (Exists(parent.empty() ? std::string("\\") : parent, &is_dir) && is_dir) {
        *dir = parent;
        *name = name->substr(cut + 1);
        return true;
    }
    return false;
}

std::string FileDialogSection(const FILEDIALOGREQUEST *req)
{
    if (req->ofn.lStructSize == FILEDIALOG_SIZE_FULL && req->settings_section && *req->settings_section)
        return req->settings_section;
    return "File Reader";
}

std::string FileDialogSettingsFile(const FILEDIALOGREQUEST *req, const std::string &program_path)
{
    size_t cut = program_path.rfind('\\');
    std::string dir = cut == std::string::npos ? std::string() : program_path.substr(0, cut + 1);
    if (req->ofn.lStructSize != FILEDIALOG_SIZE_FULL || !req->settings_file) return dir + "quillon.ini";
    std::string name = req->settings_file;
    if ((req->ofn.Flags & kSettingsAsGiven) || name.find('\\') != std::string::npos) return name;
    if (name.size() >= 4 && !lstrcmpiA(name.c_str() + name.size() - 4, ".ini")) return dir + name;
    return name;
}

extern "C" {

UINT_PTR CALLBACK OpenFileDlg2(HWND inner, UINT msg, WPARAM wp, LPARAM lp)
{
    return HookBody(inner, msg, wp, lp, false);
}

UINT_PTR CALLBACK OpenFileDlg3(HWND inner, UINT msg, WPARAM wp, LPARAM lp)
{
    return HookBody(inner, msg, wp, lp, true);
}

LRESULT CALLBACK OpenFileDlgWndProc(HWND inner, UINT msg, WPARAM wp, LPARAM lp)
{
    auto *s = static_cast<FileDialogState *>(GetPropA(inner, kStateProp));
    if (!s) return DefWindowProcA(inner, msg, wp, lp);
    WNDPROC old = s->inner_old;
    if (msg == FileDialogQueryMessage() && msg) return AnswerQuery(s, wp, lp);
    LRESULT answer;
    if (IsCtlColor(msg) && AskParent(inner, msg, wp, lp, &answer)) return answer;
    if (msg == WM_NCDESTROY) {
        if ((s->req->ofn.Flags & OFN_ENABLEHOOK) && s->req->ofn.lpfnHook)
            s->req->ofn.lpfnHook(inner, WM_NCDESTROY, wp, lp);
        SetWindowLongPtrA(inner, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
        RemovePropA(inner, kStateProp);
        s->inner = nullptr;
    }
    return CallWindowProcA(old, inner, msg, wp, lp);
}

BOOL CALLBACK EnumChildWindowsProc(HWND child, LPARAM lp)
{
    auto *m = reinterpret_cast<const CHILDMESSAGE *>(lp);
    if (m) SendMessageA(child, m->message, m->wParam, m->lParam);
    return TRUE;
}

BOOL WINAPI iGetOpenFileName(FILEDIALOGREQUEST *req) { return RunFileDialog(req, false); }

BOOL WINAPI iGetSaveFileName(FILEDIALOGREQUEST *req)
{
    if (!req) return FALSE;
    req->ofn.Flags |= kSaveFlag;
    return RunFileDialog(req, false);
}

BOOL WINAPI iGetDeleteFileName(FILEDIALOGREQUEST *req) { return RunFileDialog(req, true); }

DWORD WINAPI iCommDlgExtendedError(void) { return static_cast<DWORD>(g_last_error); }

BOOL WINAPI iUseTextures(BOOL on)
{
    g_textures_off = on ? FALSE : TRUE;
    return g_textures_off;
}

BOOL WINAPI iGetDirName(HWND owner, LPSTR buffer, int size, LPCSTR title, UINT_PTR (CALLBACK *hook)(HWND, UINT, WPARAM, LPARAM), LPCSTR template_name,
                        LPARAM data, LPARAM, LPCSTR section)
{
    g_last_error = 0;
    if (!buffer || size <= 0) return FALSE;
    std::string sect = section && *section ? section : "File Reader";
    INIOBJECT *reg = OpenSettings(sect);
    std::string name = buffer, dir;
    if (!SplitInitialDirectory(&name, &dir)) {
        char start[MAX_PATH] = {};
        regReadString(reg, nullptr, "StartupDirectory", "", start, sizeof start);
        dir = start;
    }
    DirChoice c = {};
    c.size = MAX_PATH;
    c.hook = hook;
    c.data = data;
    char file[MAX_PATH] = {};
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = "Nonexistant\0Nonexistant\0";
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof file;
    ofn.lpstrInitialDir = dir.empty() ? nullptr : dir.c_str();
    ofn.lpstrTitle = title;
    ofn.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_ENABLEHOOK;
    if (template_name) {
        ofn.Flags |= OFN_ENABLETEMPLATE;
        ofn.hInstance = TundrixResources();
        ofn.lpTemplateName = template_name;
    }
    ofn.lpfnHook = DirHook;
    ofn.lCustData = reinterpret_cast<LPARAM>(&c);
    DbcsSetPassThrough(true);
    GetOpenFileNameA(&ofn);
    DbcsSetPassThrough(false);
    BOOL ok = FALSE;
    if (c.chosen && c.result[0]) {
        CopyCapped(buffer, static_cast<size_t>(size), c.result);
        regWriteString(reg, nullptr, "StartupDirectory", c.result);
        ok = TRUE;
    }
    regDone(reg);
    return ok;
}

}  // extern "C"

static_assert(sizeof(FILEDIALOGOFN) == offsetof(OPENFILENAMEA, pvReserved), "request fields match OPENFILENAME");
static_assert(offsetof(FILEDIALOGOFN, lpfnHook) == offsetof(OPENFILENAMEA, lpfnHook), "hook at its place");
