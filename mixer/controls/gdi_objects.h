/*
 * CMaskedBitmap: a bitmap that knows its size and draws itself opaquely or
 * with the colour of its top-left pixel transparent.  CMemoryDC: an
 * off-screen DC over a rectangle of a target DC, copied back when it goes.
 */
#ifndef CORV_CONTROLS_GDI_OBJECTS_H
#define CORV_CONTROLS_GDI_OBJECTS_H

#include <windows.h>

class CMaskedBitmap {
public:
    CMaskedBitmap() = default;
    ~CMaskedBitmap() { Delete(); }
    CMaskedBitmap(const CMaskedBitmap &) = delete;
    CMaskedBitmap &operator=(const CMaskedBitmap &) = delete;

    BOOL LoadBitmap(UINT id, HINSTANCE inst = nullptr);
    void Attach(HBITMAP bmp) { Delete(); bitmap_ = bmp; }
    void Delete();
    HBITMAP Handle() const { return bitmap_; }
    int GetWidth();
    int GetHeight();
    void Draw(HDC dc, int x, int y);
    void DrawTransparent(HDC dc, int x, int y);
    void CreateMask(HDC dc);

private:
    void Size();
    HBITMAP bitmap_ = nullptr, mask_ = nullptr;
    int width_ = 0, height_ = 0;
};

class CMemoryDC {
public:
    CMemoryDC(HDC target, const RECT &rc);
    ~CMemoryDC();
    CMemoryDC(const CMemoryDC &) = delete;
    CMemoryDC &operator=(const CMemoryDC &) = delete;
    operator HDC() const { return dc_; }

private:
    HDC target_, dc_;
    RECT rc_;
    HBITMAP bmp_;
    HGDIOBJ old_;
};

/* Draws a bitmap into rc at 1:1, or stretched whole onto rc. */
void DrawPicture(HDC dc, HBITMAP bmp, const RECT &rc, bool stretch);

#endif
