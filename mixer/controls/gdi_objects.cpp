#include "gdi_objects.h"

BOOL CMaskedBitmap::LoadBitmap(UINT id, HINSTANCE inst)
{
    Delete();
    bitmap_ = (HBITMAP)LoadImageA(inst ? inst : GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0,
                                  LR_CREATEDIBSECTION);
    return bitmap_ != nullptr;
}

void CMaskedBitmap::Delete()
{
    if (bitmap_) DeleteObject(bitmap_);
    if (mask_) DeleteObject(mask_);
    bitmap_ = mask_ = nullptr;
    width_ = height_ = 0;
}

void CMaskedBitmap::Size()
{
    BITMAP bm = {};
    if (bitmap_ && GetObjectA(bitmap_, sizeof(bm), &bm)) {
        width_ = bm.bmWidth;
        height_ = bm.bmHeight;
    }
}

int CMaskedBitmap::GetWidth() { if (!width_) Size(); return width_; }
int CMaskedBitmap::GetHeight() { if (!height_) Size(); return height_; }

void CMaskedBitmap::Draw(HDC dc, int x, int y)
{
    if (!bitmap_) return;
    HDC mem = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(mem, bitmap_);
    BitBlt(dc, x, y, GetWidth(), GetHeight(), mem, 0, 0, SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
}

void CMaskedBitmap::CreateMask(HDC dc)
{
    if (mask_ || !bitmap_) return;
    int w = GetWidth(), h = GetHeight();
    HDC src = CreateCompatibleDC(dc), dst = CreateCompatibleDC(dc);
    mask_ = CreateBitmap(w, h, 1, 1, nullptr);
    HGDIOBJ o1 = SelectObject(src, bitmap_), o2 = SelectObject(dst, mask_);
    SetBkColor(src, GetPixel(src, 0, 0));
    BitBlt(dst, 0, 0, w, h, src, 0, 0, SRCCOPY);
    SelectObject(src, o1);
    SelectObject(dst, o2);
    DeleteDC(src);
    DeleteDC(dst);
}

void CMaskedBitmap::DrawTransparent(HDC dc, int x, int y)
{
    if (!bitmap_) return;
    CreateMask(dc);
    int w = GetWidth(), h = GetHeight();
    HDC scratch = CreateCompatibleDC(dc), img = CreateCompatibleDC(dc), msk = CreateCompatibleDC(dc);
    HBITMAP sb = CreateCompatibleBitmap(dc, w, h);
    HGDIOBJ o1 = SelectObject(scratch, sb), o2 = SelectObject(img, bitmap_), o3 = SelectObject(msk, mask_);
    BitBlt(scratch, 0, 0, w, h, dc, x, y, SRCCOPY);
    SetBkColor(scratch, RGB(255, 255, 255));
    SetTextColor(scratch, RGB(0, 0, 0));
    BitBlt(scratch, 0, 0, w, h, img, 0, 0, SRCINVERT);
    BitBlt(scratch, 0, 0, w, h, msk, 0, 0, SRCAND);
    BitBlt(scratch, 0, 0, w, h, img, 0, 0, SRCINVERT);
    BitBlt(dc, x, y, w, h, scratch, 0, 0, SRCCOPY);
    SelectObject(scratch, o1);
    SelectObject(img, o2);
    SelectObject(msk, o3);
    DeleteObject(sb);
    DeleteDC(scratch);
    DeleteDC(img);
    DeleteDC(msk);
}

CMemoryDC::CMemoryDC(HDC target, const RECT &rc) : target_(target), rc_(rc)
{
    dc_ = CreateCompatibleDC(target);
    bmp_ = CreateCompatibleBitmap(target, rc.right - rc.left, rc.bottom - rc.top);
    old_ = SelectObject(dc_, bmp_);
    SetWindowOrgEx(dc_, rc.left, rc.top, nullptr);
}

CMemoryDC::~CMemoryDC()
{
    SetWindowOrgEx(dc_, 0, 0, nullptr);
    BitBlt(target_, rc_.left, rc_.top, rc_.right - rc_.left, rc_.bottom - rc_.top, dc_, 0, 0, SRCCOPY);
    SelectObject(dc_, old_);
    DeleteObject(bmp_);
    DeleteDC(dc_);
}

void DrawPicture(HDC dc, HBITMAP bmp, const RECT &rc, bool stretch)
{
    if (!bmp) return;
    HDC mem = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(mem, bmp);
    if (stretch) {
        BITMAP bm = {};
        GetObjectA(bmp, sizeof(bm), &bm);
        StretchBlt(dc, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, mem, 0, 0, bm.bmWidth, bm.bmHeight,
                   SRCCOPY);
    } else {
        BitBlt(dc, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, mem, 0, 0, SRCCOPY);
    }
    SelectObject(mem, old);
    DeleteDC(mem);
}
