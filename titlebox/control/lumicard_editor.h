/*
 * The in-place text editor: one Rich Edit 2.0 child window of the control
 * that is moved over the text object being typed, formatted like it, and
 * whose text the control takes back into the object.  Every format call
 * works on the whole text (select all, apply, deselect).
 */
#pragma once
#include <windows.h>

#include <string>

namespace lumicard {

const int kEditorId = 30001;

// Frees the Rich Edit library the first editor loaded (module unload).
void FreeRichEditLibrary();

// Line spacing in twentieths of a line for a percentage (100 gives 20).
LONG EditorLineSpacing(int percent);

class InPlaceEditor {
public:
    InPlaceEditor() = default;
    ~InPlaceEditor();
    InPlaceEditor(const InPlaceEditor &) = delete;
    InPlaceEditor &operator=(const InPlaceEditor &) = delete;

    // Makes the window (white, at 0, 0, 1, 1, hidden); true when it exists.
    bool Create(HWND parent);
    HWND Window() const { return wnd_; }
    // The parent is going away and takes the window with it.
    void Forget() { wnd_ = nullptr; }
    bool IsOpen() const { return wnd_ && IsWindowVisible(wnd_); }

    // The editor keeps the font until another replaces it.
    void SetFont(HFONT font);
    void SetText(const std::string &text);
    std::string Text() const;
    void Move(const RECT &r);

    void SetBold(bool on);
    void SetItalic(bool on);
    void SetUnderline(bool on);
    void SetTextColour(COLORREF c);
    void SetFaceName(const char *face);
    void SetDefaultFaceName(const char *face);
    void SetAlignment(int align);  // 1 centre, 2 right, anything else left
    void SetLineSpacing(int percent);
    // Line spacing, background, default face name, then shown.
    void Open(COLORREF back, int lineSpacing, const char *face);
    void Hide();

private:
    void ApplyCharFormat(DWORD mask, DWORD effects, COLORREF colour, const char *face, DWORD scope);
    static LRESULT CALLBACK Proc(HWND w, UINT msg, WPARAM wp, LPARAM lp);

    HWND wnd_ = nullptr;
    HFONT font_ = nullptr;
    WNDPROC base_ = nullptr;
};

}  // namespace lumicard
