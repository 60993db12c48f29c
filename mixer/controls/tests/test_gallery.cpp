/*
 * Every skinned control in one window on a real (virtual) display; the
 * screenshot is kept as controls_gallery.bmp in the artefacts folder, and a
 * few pixels are checked: button pictures, the scroll thumb tinted with its
 * colour and its markers replaced, the slider's thumb where the geometry
 * puts it, the coloured edit and labels.
 */
#include <catch2/catch.hpp>
#include <windows.h>
#include <algorithm>
#include "app.h"
#include "buttons.h"
#include "geometry.h"
#include "scrollbar.h"
#include "text_controls.h"
#include "screen_shot.h"

namespace {
cl::CWinApp theApp("Gallery");

struct Gallery : cl::CWnd {
    CRegionButton play, open;
    CHoverButton hover;
    CXScrollBar hbar, vbar;
    CBitmapSlider slider;
    CEditEx edit;
    CStaticEx label;
    CListCtrlEx list;
    CLinkLabel caption, turned;
    HBITMAP h0 = nullptr, h1 = nullptr, h2 = nullptr;
    ~Gallery() override
    {
        for (HBITMAP b : {h0, h1, h2})
            if (b) DeleteObject(b);
    }
};

HWND Child(HWND parent, const char *cls, const char *text, DWORD style, int x, int y, int w, int h, UINT id)
{
    return CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent, (HMENU)(UINT_PTR)id,
                           nullptr, nullptr);
}
} // namespace

TEST_CASE("Gallery of the skinned controls on a display", "[controls][gallery]")
{
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    Gallery g;
    REQUIRE(g.CreateEx(WS_EX_TOPMOST, "STATIC", "", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, RECT{0, 0, 640, 360},
                       nullptr, 0));
    HWND w = g.m_hWnd;

    REQUIRE(g.play.SubclassWindow(Child(w, "BUTTON", "", 0, 20, 20, 30, 30, 1009)));
    g.play.SetBitmaps(177, 178);
    REQUIRE(g.open.SubclassWindow(Child(w, "BUTTON", "", 0, 40, 20, 30, 30, 1012)));
    g.open.SetBitmaps(181, 182);
    g.open.SetState(1);

    REQUIRE(g.hover.SubclassWindow(Child(w, "STATIC", "", SS_BITMAP, 70, 20, 14, 14, 1051)));
    HINSTANCE inst = GetModuleHandleA(nullptr);
    g.h1 = (HBITMAP)LoadImageA(inst, MAKEINTRESOURCEA(426), IMAGE_BITMAP, 0, 0, 0);
    g.h0 = (HBITMAP)LoadImageA(inst, MAKEINTRESOURCEA(427), IMAGE_BITMAP, 0, 0, 0);
    g.h2 = (HBITMAP)LoadImageA(inst, MAKEINTRESOURCEA(428), IMAGE_BITMAP, 0, 0, 0);
    g.hover.Setup(g.h1, g.h0, g.h2, 1, nullptr);
    g.hover.SetToolTip("Title Moving X");

    Child(w, "STATIC", "", 0, 20, 70, 340, 10, 1033);
    REQUIRE(g.hbar.CreateFromStatic(WS_VISIBLE, w, 1033, 2033));
    g.hbar.m_bThumbColor = 1;
    g.hbar.m_crThumbColor = RGB(0, 128, 255);
    g.hbar.SetScrollRange(100);
    g.hbar.SetScrollPos(50);
    Child(w, "STATIC", "", 0, 380, 20, 10, 240, 1034);
    REQUIRE(g.vbar.CreateFromStatic(WS_VISIBLE | SBS_VERT, w, 1034, 2034));
    g.vbar.SetScrollRange(10);
    g.vbar.SetScrollPos(0);

    REQUIRE(g.slider.SubclassWindow(Child(w, TRACKBAR_CLASSA, "", TBS_VERT | TBS_NOTICKS, 420, 20, 47, 88, 1116)));
    g.slider.SetBitmaps(442, 443, 338);
    g.slider.SetRange(0, 10);

    REQUIRE(g.edit.SubclassWindow(Child(w, "EDIT", "1.0", 0, 20, 100, 60, 16, 1027)));
    g.edit.SetFont(12, 0, "Arial");
    g.edit.SetBkColour(RGB(0, 0, 0));
    g.edit.SetTextColour(RGB(255, 255, 255));
    REQUIRE(g.label.SubclassWindow(Child(w, "STATIC", "00:00:00", 0, 100, 100, 60, 14, 1022)));
    g.label.SetFont(9, 0, "Arial");
    g.label.SetBkColour(RGB(0, 0, 0));
    g.label.SetTextColour(RGB(0, 255, 0));

    REQUIRE(g.list.Create(WS_VISIBLE | WS_BORDER, RECT{20, 130, 300, 250}, w, 1100));
    LVCOLUMNA col = {};
    col.mask = LVCF_WIDTH | LVCF_TEXT;
    col.cx = 120;
    col.pszText = const_cast<char *>("Name");
    g.list.SendMessage(LVM_INSERTCOLUMNA, 0, (LPARAM)&col);
    const char *names[] = {"a title with a name far too long to show whole.lmf", "short.lmf", "third.lmf"};
    for (int i = 0; i < 3; ++i) {
        LVITEMA it = {};
        it.mask = LVIF_TEXT;
        it.iItem = i;
        it.pszText = const_cast<char *>(names[i]);
        g.list.SendMessage(LVM_INSERTITEMA, 0, (LPARAM)&it);
        g.list.SetCheck(i, i == 1);
    }

    REQUIRE(g.caption.SubclassWindow(Child(w, "STATIC", "CORVANE", SS_CENTER, 320, 270, 200, 30, 0)));
    g.caption.systemBackground = 0;
    g.caption.bkColour = RGB(30, 30, 60);
    g.caption.SetTextColour(RGB(255, 200, 0));
    g.caption.etchedLine = 1;
    REQUIRE(g.turned.SubclassWindow(Child(w, "STATIC", "TURNED", 0, 540, 20, 40, 200, 0)));
    g.turned.angle = 90;
    g.turned.SetTextColour(RGB(0, 0, 0));

    InvalidateRect(w, nullptr, TRUE);
    UpdateWindow(w);
    PumpUntil([] { return false; }, 500);
    ScreenShot shot = ScreenShot::Window(w);
    std::string path = shot.Save("controls_gallery.bmp");
    INFO("screenshot " << path);
    CHECK(!path.empty());

    /* The play button shows its idle picture: edge dark, body lighter. */
    unsigned body = shot.At(20 + 4, 20 + 1);
    CHECK(ScreenShot::R(body) > 60);
    /* Horizontal bar: thumb at position 50 of 100 lies at 158..183; its body is the thumb colour. */
    int thumbLeft = skin::ThumbFromPosition(50, 340, 25, 100);
    CHECK(thumbLeft == 158);
    unsigned thumbBody = shot.At(20 + thumbLeft + 5, 70 + 6);
    CHECK(ScreenShot::Near(thumbBody, 0x0080FF, 8));
    /* The gripper marker became grey 0x5B5B5B. */
    CHECK(ScreenShot::Near(shot.At(20 + thumbLeft + 12, 70 + 5), 0x5B5B5B, 4));
    /* The tinted channel left of the thumb is light (luminance 0.80 and above). */
    unsigned tint = shot.At(20 + 60, 70 + 6);
    CHECK(ScreenShot::R(tint) + ScreenShot::G(tint) + ScreenShot::B(tint) > 3 * 170);
    /* Vertical slider at its minimum: thumb top at half its height (10 / 2 = 5). */
    CHECK(g.slider.ThumbPlace().y == 5);
    CHECK(ScreenShot::Near(shot.At(420 + 20, 20 + 5 + 4), 0xE62828, 40));
    /* The label turned by 90 degrees: dark glyph strokes on a light ground, in a column
     * taller than wide (a failed turn leaves a solid dark block). */
    int dark = 0, x0 = 9999, x1 = -1, y0 = 9999, y1 = -1;
    for (int y = 20; y < 220; ++y) {
        for (int x = 540; x < 580; ++x) {
            if (ScreenShot::R(shot.At(x, y)) >= 100) continue;
            ++dark;
            if (x < x0) x0 = x;
            if (x > x1) x1 = x;
            if (y < y0) y0 = y;
            if (y > y1) y1 = y;
        }
    }
    REQUIRE(dark > 20);
    CHECK(y1 - y0 > 2 * (x1 - x0));
    CHECK(dark < (x1 - x0 + 1) * (y1 - y0 + 1) * 6 / 10);
    /* Coloured label: black background. */
    CHECK(ScreenShot::Near(shot.At(100 + 58, 100 + 12), 0x000000, 8));
    g.DestroyWindow();
}
