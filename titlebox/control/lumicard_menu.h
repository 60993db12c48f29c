/*
 * The control's context menu drawer: made for one showing of a popup of
 * menu 203, it turns every item (and every item of its submenus) into an
 * owner-drawn item that keeps its text and command, measures and draws
 * them in the system's menu colours and font with the command's picture
 * (bitmap 202, in the order of toolbar resource 202) beside each item, and
 * is destroyed after.
 */
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

namespace lumicard {

// What an owner-drawn item keeps (its item data points at one).
struct MenuItemData {
    std::string text;  // "label\taccelerator"; empty for a separator
    UINT command = 0;  // 0 for separators and submenus
    bool separator = false;
};

class MenuDrawer {
public:
    MenuDrawer();
    ~MenuDrawer();
    // Makes every item of the popup (and its submenus) owner-drawn.
    void Convert(HMENU popup);
    void Measure(MEASUREITEMSTRUCT *mi);
    void Draw(const DRAWITEMSTRUCT *di);
    size_t ItemCount() const { return items_.size(); }
    // The picture of a command (its place in the toolbar resource), -1 for none.
    int PictureOf(UINT command) const;
    int PictureCount() const { return images_ ? ImageList_GetImageCount(images_) : 0; }

private:
    void DrawPicture(HDC dc, const RECT &column, int picture, bool grey, bool raised);
    HIMAGELIST images_ = nullptr;
    std::vector<UINT> commands_;  // the toolbar's buttons in picture order
    std::vector<std::unique_ptr<MenuItemData>> items_;
    HFONT font_ = nullptr;
};

}  // namespace lumicard
