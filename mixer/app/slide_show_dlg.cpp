#include "slide_show_dlg.h"
#include <objbase.h>
#include <strmif.h>
#include <control.h>
#include <uuids.h>
#include "filedlg.h"
#include "project_file.h"

const char kMsgExportEmpty[] = "You must fill tht Imagefile to list for FileSave.";

namespace {

const UINT IDC_LIST = 1146, IDC_COUNT = 1148, IDC_PREVIEW_AREA = 1153, IDC_DATE = 1154, IDC_SIZE_FIELD = 1155,
           IDC_RES_FIELD = 1156;
const UINT IDC_ADD = 1147, IDC_DELETE = 1149, IDC_UP = 1150, IDC_DOWN = 1151, IDC_IMPORT = 1144, IDC_EXPORT = 1145,
           IDC_LIST_OK = 1143;
const char kStillFilter[] = "Still Image Files(*.bmp;*.gif;*.jpg)|*.bmp;*.gif;*.jpg||";
const char kListFilter[] = "ImageList Files(*.dat)|*.dat||";

template <class T> void SafeRelease(T *&p)
{
    if (p) p->Release();
    p = nullptr;
}

} // namespace

CSlideShowDlg::CSlideShowDlg(HWND parent, const std::vector<std::string> &table)
    : CDialog(IDD_SLIDESHOW, parent), images(table)
{
    handlers.Command(IDC_ADD, [this] { OnAdd(); });
    handlers.Command(IDC_DELETE, [this] { OnDelete(); });
    handlers.Command(IDC_UP, [this] { OnUp(); });
    handlers.Command(IDC_DOWN, [this] { OnDown(); });
    handlers.Command(IDC_IMPORT, [this] { OnImport(); });
    handlers.Command(IDC_EXPORT, [this] { OnExport(); });
    handlers.Command(IDC_LIST_OK, [this] { OnListOK(); });
    handlers.Notify(IDC_LIST, NM_CLICK, [this](NMHDR *) {
        PreviewSelected();
        return (LRESULT)0;
    });
    handlers.Message(WM_SLIDE_PREVIEW, [this](WPARAM, LPARAM) {
        PreviewSelected();
        return (LRESULT)0;
    });
    handlers.Message(WM_SLIDE_GRAPHNOTIFY, [this](WPARAM, LPARAM) {
        DrainEvents();
        return (LRESULT)0;
    });
    handlers.Message(WM_DESTROY, [this](WPARAM, LPARAM) {
        ReleaseGraph();
        return Default();
    });
}

CSlideShowDlg::~CSlideShowDlg()
{
    ReleaseGraph();
    if (comStarted_) CoUninitialize();
}

BOOL CSlideShowDlg::OnInitDialog()
{
    list_.SubclassDlgItem(IDC_LIST, m_hWnd);
    list_.maxItems = kMaxSlideImages;
    list_.onAdded = [this] { UpdateCount(); };
    list_.SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    LVCOLUMNA col = {};
    col.mask = LVCF_WIDTH | LVCF_TEXT;
    col.cx = 800;
    col.pszText = const_cast<char *>("FileName");
    list_.SendMessage(LVM_INSERTCOLUMNA, 0, (LPARAM)&col);
    for (UINT id : {IDC_DATE, IDC_SIZE_FIELD, IDC_RES_FIELD}) SetDlgItemText(id, "");
    list_.SendMessage(WM_SETREDRAW, FALSE);
    for (size_t i = 0; i < images.size() && i < (size_t)kMaxSlideImages; ++i) {
        LVITEMA it = {};
        it.mask = LVIF_TEXT;
        it.iItem = (int)i;
        it.pszText = const_cast<char *>(images[i].c_str());
        list_.SendMessage(LVM_INSERTITEMA, 0, (LPARAM)&it);
    }
    list_.SendMessage(WM_SETREDRAW, TRUE);
    UpdateCount();

    comStarted_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    HRESULT hr = CreateGraph();
    if (FAILED(hr)) {
        Debug(cl::Format("Failed to initialize DirectShow!  hr=0x%x\r\n", (unsigned)hr));
        return FALSE;
    }
    HWND area = GetDlgItem(IDC_PREVIEW_AREA);
    SetWindowLongPtrA(area, GWL_STYLE, GetWindowLongPtrA(area, GWL_STYLE) | WS_CLIPCHILDREN);
    return TRUE;
}

void CSlideShowDlg::OnCancel()
{
    ReleaseGraph();
    EndDialog(IDCANCEL);
}

void CSlideShowDlg::Debug(const std::string &line)
{
    OutputDebugStringA(line.c_str());
    debugLines.push_back(line);
}

bool CSlideShowDlg::Ask(bool open, const std::string &title, const char *filter, const char *defName, bool multi,
                        std::vector<std::string> *paths)
{
    if (askFiles) return askFiles(open, title, filter, defName, multi, paths);
    cl::CFileDialog dlg(open, nullptr, defName, multi ? OFN_ALLOWMULTISELECT : OFN_OVERWRITEPROMPT, filter, m_hWnd);
    if (!title.empty()) dlg.SetTitle(title);
    if (dlg.DoModal() != IDOK) return false;
    *paths = dlg.GetPathNames();
    return true;
}

/* ---- the list ---- */

int CSlideShowDlg::Selected() const
{
    return (int)::SendMessageA(GetDlgItem(IDC_LIST), LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED);
}

std::vector<std::string> CSlideShowDlg::Items() const
{
    std::vector<std::string> out;
    for (int i = 0, n = const_cast<CImageDropWnd &>(list_).ItemCount(); i < n; ++i)
        out.push_back(list_.ItemText(i));
    return out;
}

void CSlideShowDlg::UpdateCount()
{
    SetDlgItemText(IDC_COUNT, cl::Format("%d", list_.ItemCount()));
}

void CSlideShowDlg::Select(int i)
{
    LVITEMA sel = {};
    sel.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    list_.SendMessage(LVM_SETITEMSTATE, (WPARAM)-1, (LPARAM)&sel);
    sel.state = LVIS_SELECTED | LVIS_FOCUSED;
    list_.SendMessage(LVM_SETITEMSTATE, i, (LPARAM)&sel);
    list_.SendMessage(LVM_ENSUREVISIBLE, i, FALSE);
}

void CSlideShowDlg::SetItemText(int i, const std::string &t)
{
    LVITEMA it = {};
    it.iSubItem = 0;
    it.pszText = const_cast<char *>(t.c_str());
    list_.SendMessage(LVM_SETITEMTEXTA, i, (LPARAM)&it);
}

void CSlideShowDlg::OnAdd()
{
    std::vector<std::string> paths;
    if (!Ask(true, "Get Still Image Files", kStillFilter, nullptr, true, &paths)) return;
    for (const std::string &p : paths) {
        if (list_.ItemCount() >= kMaxSlideImages) {
            MessageBoxA(m_hWnd, kMsgTooManyImages, "Check", MB_OK | MB_ICONEXCLAMATION);
            break;
        }
        LVITEMA it = {};
        it.mask = LVIF_TEXT;
        it.iItem = 0;
        it.pszText = const_cast<char *>(p.c_str());
        int at = (int)list_.SendMessage(LVM_INSERTITEMA, 0, (LPARAM)&it);
        if (at >= 0) Select(at);
    }
    UpdateCount();
}

void CSlideShowDlg::OnDelete()
{
    int i = Selected();
    if (i < 0) return;
    list_.SendMessage(LVM_DELETEITEM, i);
    UpdateCount();
}

void CSlideShowDlg::OnUp()
{
    int i = Selected();
    if (i <= 0) return;
    std::string a = list_.ItemText(i - 1), b = list_.ItemText(i);
    SetItemText(i - 1, b);
    SetItemText(i, a);
    Select(i - 1);
}

void CSlideShowDlg::OnDown()
{
    int i = Selected();
    if (i < 0 || i >= list_.ItemCount() - 1) return;
    std::string a = list_.ItemText(i), b = list_.ItemText(i + 1);
    SetItemText(i, b);
    SetItemText(i + 1, a);
    Select(i + 1);
}

void CSlideShowDlg::OnImport()
{
    std::vector<std::string> paths;
    if (!Ask(true, "", kListFilter, nullptr, false, &paths) || paths.empty()) return;
    ImageListResult r = ReadImageList(paths[0], (size_t)-1);
    if (r.status != ImageListResult::Ok) {
        MessageBoxA(m_hWnd, r.Message().c_str(), "", MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    /* The imported paths go on top of the list in the file's order. */
    int room = kMaxSlideImages - list_.ItemCount();
    int at = 0;
    for (const std::string &p : r.paths) {
        if (at >= room) {
            MessageBoxA(m_hWnd, kMsgTooManyImages, "Check", MB_OK | MB_ICONEXCLAMATION);
            break;
        }
        LVITEMA it = {};
        it.mask = LVIF_TEXT;
        it.iItem = at;
        it.pszText = const_cast<char *>(p.c_str());
        if (list_.SendMessage(LVM_INSERTITEMA, 0, (LPARAM)&it) >= 0) ++at;
    }
    if (at > 0) Select(at - 1);
    UpdateCount();
}

void CSlideShowDlg::OnExport()
{
    std::vector<std::string> items = Items();
    if (items.empty()) {
        MessageBoxA(m_hWnd, kMsgExportEmpty, "", MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    std::vector<std::string> paths;
    if (!Ask(false, "", kListFilter, "ImageList.dat", false, &paths) || paths.empty()) return;
    DWORD error = 0;
    if (!WriteFileReplacing(paths[0], ImageListText(items), &error))
        MessageBoxA(m_hWnd, FileErrorText(error).c_str(), "", MB_OK | MB_ICONEXCLAMATION);
}

void CSlideShowDlg::OnListOK()
{
    std::vector<std::string> items = Items();
    if ((int)items.size() > kMaxSlideImages) {
        MessageBoxA(m_hWnd, kMsgTooManyImages, "Check", MB_OK | MB_ICONEXCLAMATION);
        items.resize(kMaxSlideImages);
    }
    images = items;
    slideShowOn = !images.empty();
    ReleaseGraph();
    EndDialog(IDOK);
}

/* ---- the preview ---- */

HRESULT CSlideShowDlg::CreateGraph()
{
    HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                  (void **)&graph_);
    if (FAILED(hr)) {
        Debug(cl::Format("FAILED(0x%x) CoCreateInstance(CLSID_FilterGraph, NULL, CLSCTX_INPROC, IID_IGraphBuilder, "
                         "(void **)&m_pGB)\n",
                         (unsigned)hr));
        return hr;
    }
    struct Ask { REFIID iid; void **out; const char *text; };
    const Ask asks[] = {
        {IID_IMediaControl, (void **)&control_, "FAILED(0x%x) m_pGB->QueryInterface(IID_IMediaControl, (void **)&m_pMC)\n"},
        {IID_IBasicVideo, (void **)&video_, "FAILED(0x%x) m_pGB->QueryInterface(IID_IBasicVideo, (void **)&m_pBV)\n"},
        {IID_IVideoWindow, (void **)&window_, "FAILED(0x%x) m_pGB->QueryInterface(IID_IVideoWindow, (void **)&m_pVW)\n"},
        {IID_IMediaEventEx, (void **)&events_, "FAILED(0x%x) m_pGB->QueryInterface(IID_IMediaEventEx, (void **)&m_pME)\n"},
    };
    for (const Ask &a : asks) {
        hr = graph_->QueryInterface(a.iid, a.out);
        if (FAILED(hr)) {
            Debug(cl::Format(a.text, (unsigned)hr));
            ReleaseGraph();
            return hr;
        }
    }
    return S_OK;
}

void CSlideShowDlg::ReleaseGraph()
{
    if (control_) control_->Stop();
    if (window_) {
        window_->put_Visible(0);
        window_->put_Owner((OAHWND) nullptr);
    }
    if (events_) events_->SetNotifyWindow((OAHWND) nullptr, 0, 0);
    SafeRelease(events_);
    SafeRelease(window_);
    SafeRelease(video_);
    SafeRelease(control_);
    SafeRelease(graph_);
}

void CSlideShowDlg::DrainEvents()
{
    if (!events_) return;
    LONG code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    while (events_->GetEvent(&code, &p1, &p2, 0) == S_OK) events_->FreeEventParams(code, p1, p2);
}

void CSlideShowDlg::PreviewSelected()
{
    int i = Selected();
    if (i < 0) return;
    const std::string path = list_.ItemText(i);
    ReleaseGraph();
    if (FAILED(CreateGraph())) return;

    WCHAR wide[MAX_PATH + 1] = {};
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
    HRESULT hr = graph_->RenderFile(wide, nullptr);
    if (FAILED(hr)) {
        Debug(cl::Format("*** Failed(%08lx) in RenderFile(%s)!\r\n", (unsigned long)hr, path.c_str()));
        MessageBeep(MB_OK);
        return;
    }
    HWND area = GetDlgItem(IDC_PREVIEW_AREA);
    window_->put_Owner((OAHWND)area);
    events_->SetNotifyWindow((OAHWND)m_hWnd, WM_SLIDE_GRAPHNOTIFY, 0);
    window_->put_WindowStyle(WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
    RECT rc = {};
    ::GetClientRect(area, &rc);
    hr = window_->SetWindowPosition(rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
    if (FAILED(hr)) Debug(cl::Format("Failed to set window position!  hr=0x%x\r\n", (unsigned)hr));
    window_->put_Visible(-1);
    control_->Pause();

    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
        Debug(cl::Format("*** Failed(0x%x) to open file (to read size)!\r\n", (unsigned)GetLastError()));
    } else {
        FILETIME written = {}, local = {};
        SYSTEMTIME st = {};
        if (GetFileTime(f, nullptr, nullptr, &written) && FileTimeToLocalFileTime(&written, &local) &&
            FileTimeToSystemTime(&local, &st))
            SetDlgItemText(IDC_DATE, cl::Format(" %02d/%02d/%d", st.wMonth, st.wDay, st.wYear));
        LARGE_INTEGER size = {};
        if (GetFileSizeEx(f, &size))
            SetDlgItemText(IDC_SIZE_FIELD, cl::Format(" %d bytes", (int)size.QuadPart));
        else
            Debug(cl::Format("*** Error(0x%x) reading file size!\r\n", (unsigned)GetLastError()));
        CloseHandle(f);
    }
    LONG w = 0, h = 0;
    if (SUCCEEDED(video_->GetVideoSize(&w, &h))) SetDlgItemText(IDC_RES_FIELD, cl::Format(" %d x %d", (int)w, (int)h));
}
