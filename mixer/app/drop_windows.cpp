#include "drop_windows.h"
#include <objbase.h>
#include <ole2.h>
#include <shlobj.h>
#include <shobjidl.h>
#include "project_file.h"

const char kMsgOleInitFailed[] =
    "OLE initialization failed.\n\nMake sure that the OLE libraries are the correct version.";

namespace {

std::string Lower(std::string s)
{
    if (!s.empty()) CharLowerBuffA(&s[0], (DWORD)s.size());
    return s;
}

} // namespace

CDropWnd::CDropWnd()
{
    /* Every successful call (a first start or a nested one) is balanced in
     * the destructor, so a thread that had OLE keeps it afterwards. */
    HRESULT hr = OleInitialize(nullptr);
    oleStarted_ = SUCCEEDED(hr);
    if (!oleStarted_) MessageBoxA(nullptr, kMsgOleInitFailed, "", MB_OK | MB_ICONEXCLAMATION);
    handlers.Message(WM_DROPFILES, [this](WPARAM wp, LPARAM) {
        HDROP drop = (HDROP)wp;
        OnDropFiles(drop);
        DragFinish(drop);
        return (LRESULT)0;
    });
}

CDropWnd::~CDropWnd()
{
    if (m_hWnd) UnsubclassWindow();
    if (oleStarted_) OleUninitialize();
}

void CDropWnd::PreSubclassWindow()
{
    DragAcceptFiles(m_hWnd, TRUE);
}

std::vector<std::string> CDropWnd::DroppedFiles(HDROP drop)
{
    std::vector<std::string> files;
    UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        UINT len = DragQueryFileA(drop, i, nullptr, 0);
        std::string path(len + 1, '\0');
        DragQueryFileA(drop, i, &path[0], len + 1);
        path.resize(len);
        files.push_back(path);
    }
    return files;
}

std::string CDropWnd::Extension(const std::string &path)
{
    size_t slash = path.find_last_of("\\/");
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    return path.substr(dot);
}

/* ---- channel preview windows ---- */

int CMovieDropWnd::ChannelOfControl(UINT id)
{
    switch (id) {
    case 1007: return 0;
    case 1019: return 1;
    case 1021: return 2;
    case 1058: return 3;
    case 1075: return 4;
    default: return -1;
    }
}

bool CMovieDropWnd::IsMovieExtension(const std::string &ext)
{
    static const char *const kKnown[] = {".asf", ".wmv", ".mpg", ".mpeg", ".avi",
                                         ".dat", ".vob", ".jpg", ".bmp", ".gif"};
    for (const char *k : kKnown)
        if (!lstrcmpiA(ext.c_str(), k)) return true;
    return false;
}

void CMovieDropWnd::OnDropFiles(HDROP drop)
{
    std::vector<std::string> files = DroppedFiles(drop);
    if (files.empty()) return;
    if (files.size() > 1) {
        MessageBoxA(m_hWnd, "please, select only one movie File", "Check", MB_OK);
        return;
    }
    if (!IsMovieExtension(Extension(files[0]))) {
        MessageBoxA(m_hWnd, "Do not support this file extension", "check", MB_OK);
        return;
    }
    int index = ChannelOfControl(GetDlgCtrlID());
    if (index >= 0 && openOnChannel) openOnChannel(index, files[0]);
}

/* ---- the slide show's list ---- */

std::string CImageDropWnd::ResolveShortcut(const std::string &path)
{
    if (Lower(Extension(path)) != ".lnk") return path;
    std::string target = path;
    IShellLinkA *link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void **)&link)))
        return target;
    IPersistFile *file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void **)&file))) {
        WCHAR wide[MAX_PATH] = {};
        if (MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH) && SUCCEEDED(file->Load(wide, STGM_READ))) {
            char buf[MAX_PATH] = {};
            if (link->GetPath(buf, MAX_PATH, nullptr, 0) == S_OK && buf[0]) target = buf;
        }
        file->Release();
    }
    link->Release();
    return target;
}

bool CImageDropWnd::IsImageExtension(const std::string &ext)
{
    std::string e = Lower(ext);
    return e == ".gif" || e == ".bmp" || e == ".jpg";
}

int CImageDropWnd::ItemCount() const
{
    return (int)SendMessage(LVM_GETITEMCOUNT);
}

std::string CImageDropWnd::ItemText(int i) const
{
    char buf[1024] = {};
    LVITEMA it = {};
    it.iSubItem = 0;
    it.pszText = buf;
    it.cchTextMax = sizeof(buf);
    SendMessage(LVM_GETITEMTEXTA, i, (LPARAM)&it);
    return buf;
}

bool CImageDropWnd::AddFirst(const std::string &itemText)
{
    if (!(options & DROP_DUPLICATES)) {
        /* Exactly that text (the list's own search ignores case). */
        for (int i = 0, n = ItemCount(); i < n; ++i)
            if (ItemText(i) == itemText) return false;
    }
    if (maxItems > 0 && ItemCount() >= maxItems) {
        MessageBoxA(m_hWnd, kMsgTooManyImages, "Check", MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    LVITEMA it = {};
    it.mask = LVIF_TEXT;
    it.iItem = 0;
    it.pszText = const_cast<char *>(itemText.c_str());
    int at = (int)SendMessage(LVM_INSERTITEMA, 0, (LPARAM)&it);
    if (at < 0) return false;
    LVITEMA sel = {};
    sel.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    sel.state = 0;
    SendMessage(LVM_SETITEMSTATE, (WPARAM)-1, (LPARAM)&sel);
    sel.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessage(LVM_SETITEMSTATE, at, (LPARAM)&sel);
    return true;
}

void CImageDropWnd::OnDropFiles(HDROP drop)
{
    bool added = false;
    for (const std::string &dropped : DroppedFiles(drop)) {
        std::string path = ResolveShortcut(dropped);
        DWORD attrs = GetFileAttributesA(path.c_str());
        if (attrs == INVALID_FILE_ATTRIBUTES) continue;
        if (options & DROP_TO_CALLBACK) {
            if (callback) callback(path);
            continue;
        }
        /* A folder is never an image, whatever its name ends with. */
        if (attrs & FILE_ATTRIBUTE_DIRECTORY) continue;
        if (!IsImageExtension(Extension(path))) continue;
        if (maxItems > 0 && ItemCount() >= maxItems) {
            MessageBoxA(m_hWnd, kMsgTooManyImages, "Check", MB_OK | MB_ICONEXCLAMATION);
            break;
        }
        added = AddFirst(path) || added;
    }
    if (added && onAdded) onAdded();
}
