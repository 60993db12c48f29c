#include "lumicard_menu.h"

namespace lumicard {

namespace {
const int kPictureSize = 20;
const int kSeparatorHeight = 6;
}  // namespace

MenuDrawer::MenuDrawer()
{
    NONCLIENTMETRICSA ncm = {sizeof(ncm)};
    if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof(ncm), &ncm, 0)) font_ = CreateFontIndirectA(&ncm.lfMenuFont);
    if (!font_) font_ = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

MenuDrawer::~MenuDrawer()
{
    if (font_) DeleteObject(font_);
}

void MenuDrawer::Convert(HMENU popup)
{
    const int n = GetMenuItemCount(popup);
    for (int i = 0; i < n; ++i) {
        char text[256] = {};
        MENUITEMINFOA mii = {sizeof(mii)};
        mii.fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING | MIIM_STATE;
        mii.dwTypeData = text;
        mii.cch = sizeof(text) - 1;
        if (!GetMenuItemInfoA(popup, UINT(i), TRUE, &mii)) continue;
        auto data = std::make_unique<MenuItemData>();
        data->separator = (mii.fType & MFT_SEPARATOR) != 0;
        if (!data->separator) data->text = text;
        data->command = mii.hSubMenu ? 0 : mii.wID;
        if (mii.hSubMenu) Convert(mii.hSubMenu);
        MENUITEMINFOA set = {sizeof(set)};
        set.fMask = MIIM_FTYPE | MIIM_DATA;
        set.fType = MFT_OWNERDRAW | (data->separator ? MFT_SEPARATOR : 0);
        set.dwItemData = reinterpret_cast<ULONG_PTR>(data.get());
        SetMenuItemInfoA(popup, UINT(i), TRUE, &set);
        items_.push_back(std::move(data));
    }
}

void MenuDrawer::Measure(MEASUREITEMSTRUCT *mi)
{
    const auto *data = reinterpret_cast<const MenuItemData *>(mi->itemData);
    if (!data) return;
    if (data->separator) {
        mi->itemHeight = kSeparatorHeight;
        mi->itemWidth = kPictureSize;
        return;
    }
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font_);
    RECT r = {0, 0, 0, 0};
    std::string shown = data->text;
    for (char &c : shown)
        if (c == '\t') c = ' ';
    DrawTextA(dc, shown.c_str(), -1, &r, DT_CALCRECT | DT_SINGLELINE);
    TEXTMETRICA tm;
    GetTextMetricsA(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    mi->itemHeight = UINT(tm.tmHeight + 4 > kPictureSize ? tm.tmHeight + 4 : kPictureSize);
    mi->itemWidth = UINT(r.right + kPictureSize + 24);
}

void MenuDrawer::Draw(const DRAWITEMSTRUCT *di)
{
    const auto *data = reinterpret_cast<const MenuItemData *>(di->itemData);
    if (!data) return;
    HDC dc = di->hDC;
    RECT r = di->rcItem;
    const bool selected = (di->itemState & ODS_SELECTED) != 0, grey = (di->itemState & (ODS_GRAYED | ODS_DISABLED));
    FillRect(dc, &r, GetSysColorBrush(selected && !data->separator ? COLOR_HIGHLIGHT : COLOR_MENU));
    if (data->separator) {
        RECT line = {r.left + 2, (r.top + r.bottom) / 2 - 1, r.right - 2, (r.top + r.bottom) / 2 + 1};
        DrawEdge(dc, &line, EDGE_ETCHED, BF_TOP);
        return;
    }
    if (di->itemState & ODS_CHECKED) {
        RECT box = {r.left + 4, r.top + 4, r.left + kPictureSize - 4, r.bottom - 4};
        DrawFrameControl(dc, &box, DFC_MENU, DFCS_MENUCHECK);
    }
    HGDIOBJ old = SelectObject(dc, font_);
    SetBkMode(dc, TRANSPARENT);
    const size_t tab = data->text.find('\t');
    const std::string label = data->text.substr(0, tab);
    const std::string accel = tab == std::string::npos ? std::string() : data->text.substr(tab + 1);
    RECT tr = {r.left + kPictureSize + 4, r.top, r.right - 8, r.bottom};
    auto put = [&](COLORREF colour, int dx) {
        SetTextColor(dc, colour);
        RECT a = tr;
        OffsetRect(&a, dx, dx);
        DrawTextA(dc, label.c_str(), -1, &a, DT_SINGLELINE | DT_VCENTER | DT_LEFT);
        if (!accel.empty()) DrawTextA(dc, accel.c_str(), -1, &a, DT_SINGLELINE | DT_VCENTER | DT_RIGHT);
    };
    if (grey) {
        put(GetSysColor(COLOR_BTNHIGHLIGHT), 1);  // embossed
        put(GetSysColor(COLOR_GRAYTEXT), 0);
    } else {
        put(GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT), 0);
    }
    SelectObject(dc, old);
}

}  // namespace lumicard
