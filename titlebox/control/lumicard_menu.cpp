#include "lumicard_menu.h"

#include "olecontrol.h"

namespace lumicard {

namespace {
const int kPictureSize = 20;
const int kImageSize = 19;
const int kSeparatorHeight = 6;
const int kMenuPictures = 202;
const WORD kToolbarResource = 241;

// The toolbar resource: version 1, button size, count, then the commands
// (0 for a separator, which has no picture).
std::vector<UINT> ToolbarCommands(HINSTANCE inst, int id)
{
    std::vector<UINT> out;
    HRSRC res = FindResourceA(inst, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(kToolbarResource));
    if (!res) return out;
    const DWORD size = SizeofResource(inst, res);
    const WORD *w = static_cast<const WORD *>(LockResource(LoadResource(inst, res)));
    if (!w || size < 8 || w[0] != 1) return out;
    const size_t count = w[3];
    if (8 + count * 2 > size) return out;
    for (size_t i = 0; i < count; ++i)
        if (w[4 + i]) out.push_back(w[4 + i]);
    return out;
}
}  // namespace

MenuDrawer::MenuDrawer()
{
    NONCLIENTMETRICSA ncm = {sizeof(ncm)};
    if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof(ncm), &ncm, 0)) font_ = CreateFontIndirectA(&ncm.lfMenuFont);
    if (!font_) font_ = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    // The pictures' greys become the system's 3-D colours; the face colour is the mask.
    COLORMAP map[3] = {{RGB(0x80, 0x80, 0x80), GetSysColor(COLOR_BTNSHADOW)},
                       {RGB(0xC0, 0xC0, 0xC0), GetSysColor(COLOR_BTNFACE)},
                       {RGB(0xFF, 0xFF, 0xFF), GetSysColor(COLOR_BTNHIGHLIGHT)}};
    HBITMAP strip = CreateMappedBitmap(cl::OleModule::instance, kMenuPictures, 0, map, 3);
    if (strip) {
        images_ = ImageList_Create(kImageSize, kImageSize, ILC_COLOR24 | ILC_MASK, 0, 4);
        if (images_) ImageList_AddMasked(images_, strip, GetSysColor(COLOR_BTNFACE));
        DeleteObject(strip);
    }
    commands_ = ToolbarCommands(cl::OleModule::instance, kMenuPictures);
}

MenuDrawer::~MenuDrawer()
{
    if (font_) DeleteObject(font_);
    if (images_) ImageList_Destroy(images_);
}

int MenuDrawer::PictureOf(UINT command) const
{
    if (!command) return -1;
    for (size_t i = 0; i < commands_.size(); ++i)
        if (commands_[i] == command) return int(i) < PictureCount() ? int(i) : -1;
    return -1;
}

void MenuDrawer::DrawPicture(HDC dc, const RECT &column, int picture, bool grey, bool raised)
{
    const int x = column.left + (column.right - column.left - kImageSize) / 2;
    const int y = column.top + (column.bottom - column.top - kImageSize) / 2;
    if (grey) {
        HICON icon = ImageList_GetIcon(images_, picture, ILD_NORMAL);
        if (icon) {
            DrawStateA(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(icon), 0, x, y, kImageSize, kImageSize,
                       DST_ICON | DSS_DISABLED);
            DestroyIcon(icon);
        }
    } else {
        ImageList_Draw(images_, picture, dc, x, y, ILD_TRANSPARENT);
    }
    if (raised) {
        RECT edge = column;
        DrawEdge(dc, &edge, BDR_RAISEDINNER, BF_RECT);
    }
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
    const int picture = PictureOf(data->command);
    const bool checked = (di->itemState & ODS_CHECKED) != 0;
    if (picture >= 0) {
        const RECT column = {r.left, r.top, r.left + kPictureSize, r.bottom};
        DrawPicture(dc, column, picture, grey, checked || selected);
    } else if (checked) {
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
