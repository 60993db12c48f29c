#include "schedule_list_ctrl.h"

#include <ole2.h>
#include <shellapi.h>
#include <shlobj.h>

namespace {

/* Pre-paint stages of a header item (CDDS_ITEMPREPAINT) and of the whole
 * control (CDDS_PREPAINT, CDDS_PREERASE). */
void FillOutlined(HDC dc, const RECT &r, HBRUSH fill, HPEN border)
{
    FillRect(dc, &r, fill);
    HGDIOBJ oldPen = SelectObject(dc, border);
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, r.left, r.top, r.right, r.bottom);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
}

} // namespace

BOOL ScheduleHeaderCtrl::OnChildNotify(UINT msg, WPARAM, LPARAM lp, LRESULT *result)
{
    if (msg != WM_NOTIFY)
        return FALSE;
    auto *cd = reinterpret_cast<NMCUSTOMDRAW *>(lp);
    if (cd->hdr.code != NM_CUSTOMDRAW || cd->hdr.hwndFrom != m_hWnd)
        return FALSE;
    HBRUSH fill = CreateSolidBrush(kHeaderFill);
    HPEN border = CreatePen(PS_SOLID, 1, kHeaderBorder);
    switch (cd->dwDrawStage) {
    case CDDS_PREPAINT:
    case CDDS_PREERASE: {
        RECT r = GetClientRect();
        FillOutlined(cd->hdc, r, fill, border);
        itemsDrawn_ = 0;
        *result = CDRF_NOTIFYITEMDRAW;
        break;
    }
    case CDDS_ITEMPREPAINT: {
        const int item = static_cast<int>(cd->dwItemSpec);
        RECT r = {};
        SendMessage(HDM_GETITEMRECT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&r));
        if (r.right > r.left)
            FillOutlined(cd->hdc, r, fill, border);
        char text[261] = "";
        HDITEMA hi = {};
        hi.mask = HDI_TEXT | HDI_FORMAT;
        hi.pszText = text;
        hi.cchTextMax = sizeof text;
        SendMessage(HDM_GETITEMA, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&hi));
        SIZE blank = {};
        GetTextExtentPoint32A(cd->hdc, " ", 1, &blank);
        r.left += 2 * blank.cx;
        r.right -= 2 * blank.cx;
        r.top += 2;
        UINT align = DT_LEFT;
        if ((hi.fmt & HDF_JUSTIFYMASK) == HDF_RIGHT)
            align = DT_RIGHT;
        else if ((hi.fmt & HDF_JUSTIFYMASK) == HDF_CENTER)
            align = DT_CENTER;
        SetTextColor(cd->hdc, kHeaderText);
        SetBkMode(cd->hdc, TRANSPARENT);
        if (r.right > r.left)
            DrawTextA(cd->hdc, text, -1, &r, align | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
        ++itemsDrawn_;
        *result = CDRF_SKIPDEFAULT;
        break;
    }
    default:
        *result = CDRF_DODEFAULT;
        break;
    }
    DeleteObject(border);
    DeleteObject(fill);
    return TRUE;
}

ScheduleListCtrl::ScheduleListCtrl()
{
    handlers.Message(WM_ERASEBKGND, [this](WPARAM wp, LPARAM) -> LRESULT {
        RECT r = GetClientRect();
        FillRect(reinterpret_cast<HDC>(wp), &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        return 1;
    });
    handlers.Message(WM_DROPFILES, [this](WPARAM wp, LPARAM) -> LRESULT {
        HDROP drop = reinterpret_cast<HDROP>(wp);
        const std::vector<std::string> paths = DroppedPaths(drop);
        DragFinish(drop);
        if (onDrop_)
            onDrop_(paths);
        return 0;
    });
    handlers.Message(WM_DESTROY, [this](WPARAM, LPARAM) -> LRESULT {
        /* The header's subclassing is undone with the list. */
        if (header_.m_hWnd)
            header_.UnsubclassWindow();
        return Default();
    });
}

ScheduleListCtrl::~ScheduleListCtrl()
{
    if (header_.m_hWnd)
        header_.UnsubclassWindow();
    if (m_hWnd)
        UnsubclassWindow();
    if (font_)
        DeleteObject(font_);
}

BOOL ScheduleListCtrl::Attach(HWND dialog, UINT id)
{
    if (!SubclassDlgItem(id, dialog))
        return FALSE;
    if (HWND header = reinterpret_cast<HWND>(SendMessage(LVM_GETHEADER)))
        header_.SubclassWindow(header);
    LOGFONTA lf = {};
    lf.lfHeight = 12;
    lf.lfWeight = 50;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = PROOF_QUALITY;
    lf.lfPitchAndFamily = FF_SWISS;
    lstrcpynA(lf.lfFaceName, "msmincho", LF_FACESIZE);
    font_ = CreateFontIndirectA(&lf);
    SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    if (header_.m_hWnd)
        header_.SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    const DWORD ex = LVS_EX_GRIDLINES | LVS_EX_SUBITEMIMAGES | LVS_EX_FULLROWSELECT | LVS_EX_FLATSB;
    SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, ex, ex);
    return TRUE;
}

void ScheduleListCtrl::AcceptDrops(DropFn onDrop)
{
    onDrop_ = std::move(onDrop);
    if (m_hWnd)
        DragAcceptFiles(m_hWnd, TRUE);
}

std::vector<std::string> ScheduleListCtrl::DroppedPaths(HDROP drop)
{
    std::vector<std::string> paths;
    const UINT n = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < n; ++i) {
        char path[MAX_PATH] = "";
        /* Longer paths do not fit the schedule's fields and are skipped. */
        if (DragQueryFileA(drop, i, nullptr, 0) >= MAX_PATH)
            continue;
        if (DragQueryFileA(drop, i, path, MAX_PATH))
            paths.push_back(path);
    }
    return paths;
}

std::string ScheduleListCtrl::ResolveShortcut(const std::string &path)
{
    if (path.size() < 4 || lstrcmpiA(path.c_str() + path.size() - 4, ".lnk") != 0)
        return path;
    WCHAR wide[MAX_PATH] = {};
    if (!MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH))
        return path;
    /* COM for this call when the thread has none yet. */
    const HRESULT com = CoInitialize(nullptr);
    std::string target;
    IShellLinkA *link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void **>(&link)))) {
        IPersistFile *file = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void **>(&file)))) {
            char resolved[MAX_PATH] = "";
            if (SUCCEEDED(file->Load(wide, STGM_READ)) &&
                SUCCEEDED(link->GetPath(resolved, MAX_PATH, nullptr, 0)))
                target = resolved;
            file->Release();
        }
        link->Release();
    }
    if (SUCCEEDED(com))
        CoUninitialize();
    return target.empty() ? path : target;
}

std::string ScheduleListCtrl::CellText(int row, int column) const
{
    char buf[512] = "";
    LVITEMA it = {};
    it.iSubItem = column;
    it.pszText = buf;
    it.cchTextMax = sizeof buf;
    SendMessage(LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&it));
    return buf;
}

BOOL ScheduleListCtrl::OnChildNotify(UINT msg, WPARAM, LPARAM lp, LRESULT *result)
{
    if (msg != WM_NOTIFY)
        return FALSE;
    auto *hdr = reinterpret_cast<NMHDR *>(lp);
    if (hdr->code != NM_CUSTOMDRAW || hdr->hwndFrom != m_hWnd || !cellColours)
        return FALSE;
    *result = CustomDraw(reinterpret_cast<NMLVCUSTOMDRAW *>(lp));
    return TRUE;
}

LRESULT ScheduleListCtrl::CustomDraw(NMLVCUSTOMDRAW *cd)
{
    switch (cd->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
        return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT:
        /* The row's own highlight never shows: the state colours do. */
        cd->nmcd.uItemState &= ~(CDIS_SELECTED | CDIS_FOCUS);
        return CDRF_NOTIFYSUBITEMDRAW;
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
        const int row = static_cast<int>(cd->nmcd.dwItemSpec);
        const int column = cd->iSubItem;
        const UINT state = static_cast<UINT>(
            SendMessage(LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_SELECTED | LVIS_DROPHILITED));
        const bool highlighted = (state & LVIS_DROPHILITED) ||
                                 ((state & LVIS_SELECTED) && (GetFocus() == m_hWnd || (GetStyle() & LVS_SHOWSELALWAYS)));
        const CellColours c = cellColours(row, column, CellText(row, column), highlighted);
        if (fillCellsBlack && column > 0) {
            RECT r = {};
            r.top = column;
            r.left = LVIR_BOUNDS;
            if (SendMessage(LVM_GETSUBITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&r)))
                FillRect(cd->nmcd.hdc, &r, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        }
        cd->clrText = c.text;
        cd->clrTextBk = c.back;
        cd->nmcd.uItemState &= ~(CDIS_SELECTED | CDIS_FOCUS);
        return CDRF_NEWFONT;
    }
    default:
        return CDRF_DODEFAULT;
    }
}
