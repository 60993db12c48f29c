/*
 * The pattern palette of the main window: the engine's transition patterns
 * as 40 by 40 thumbnails, twelve to a page, the "Transition Effect" menu,
 * the current pattern's name, and five favourite slots filled by dragging a
 * thumbnail onto them (kept in the profile, section "FavoritePatterns").
 *
 * PatternPalette is the palette's state and rules with no window (pages,
 * selection, slots, the profile); CPatternPaletteWnds makes the thumbnail
 * and slot windows, their OLE drag and drop and the menu, and binds them to
 * the main window.
 */
#ifndef CORV_MIXER_PATTERN_PALETTE_H
#define CORV_MIXER_PATTERN_PALETTE_H

#include "profile.h"
#include "wnd.h"
#include <functional>
#include <oleidl.h>
#include <string>
#include <vector>

class CMixerDlg;

/* Main-window messages of the palette. */
constexpr UINT WM_PATTERN_THUMB = 0x4401;   /* wParam thumbnail id, lParam pattern */
constexpr UINT WM_PATTERN_SLOT = 0x4402;    /* wParam slot id, lParam pattern */
constexpr UINT IDC_PATTERN_FIRST = 501;     /* thumbnails 501 + index */
constexpr UINT IDC_FAVOURITE_FIRST = 551;   /* slots 551..555 */
constexpr UINT ID_PATTERN_FIRST = 601;      /* menu entries 601 + index */
constexpr UINT IDC_PAGE_UP = 1113, IDC_PAGE_ZERO = 1114, IDC_PAGE_DOWN = 1115;
constexpr UINT IDC_PATTERN_NAME = 1120;
constexpr int kPatternsPerPage = 12;
constexpr int kFavouriteSlots = 5;

class PatternPalette {
public:
    /* What selecting shows (the window side). */
    std::function<void(int previous, int current)> onSelect;
    std::function<void(int page)> onPage;
    std::function<void(int slot)> onSlotChanged;   /* 0-based slot */

    cl::CProfile *profile = nullptr;

    void Setup(int count);
    int Count() const { return count_; }
    int PageCount() const { return (count_ + kPatternsPerPage - 1) / kPatternsPerPage; }
    int Page() const { return page_; }
    int Current() const { return current_; }
    bool Visible(int pattern) const { return pattern / kPatternsPerPage == page_; }

    void ShowPage(int page);
    void PageUp() { ShowPage(page_ > 0 ? page_ - 1 : 0); }
    void PageZero() { ShowPage(0); }
    void PageDown() { ShowPage(page_ + 1 < PageCount() ? page_ + 1 : page_); }
    /* Makes pattern i current (and m_nTransition through onSelect). */
    void Select(int pattern);
    /* Menu entry 601 + i. */
    void OnMenu(int pattern);

    /* Slots: pattern held (-1 empty) and highlight. */
    int SlotPattern(int slot) const { return slot >= 0 && slot < kFavouriteSlots ? slots_[slot] : -1; }
    bool SlotLit(int slot) const { return slot >= 0 && slot < kFavouriteSlots && lit_[slot]; }
    /* Reads the five slots from the profile ("Pattern_1".."Pattern_5"). */
    void LoadFavourites();
    /* A drop of pattern on slot: false when a slot already holds it. */
    bool DropOnSlot(int slot, int pattern);
    /* A double click: the slot empties ("Pattern_k" = -1). */
    void ClearSlot(int slot);
    /* 0x4401: a thumbnail's pattern became current. */
    void OnThumbMessage(UINT id, int pattern);
    /* 0x4402: a slot was clicked. */
    void OnSlotMessage(UINT id, int pattern);

private:
    void Light(int pattern);
    void WriteSlot(int slot, int value);
    int count_ = 0;
    int page_ = 0;
    int current_ = 0;
    int slots_[kFavouriteSlots] = {-1, -1, -1, -1, -1};
    bool lit_[kFavouriteSlots] = {};
};

/* The text a drag carries: "%d.%d" (pattern, thumbnail id); the pattern is
 * the digits before the first "."; -1 when there are none. */
std::string PatternDragText(int pattern, UINT id);
int PatternFromDragText(const char *text, size_t size);

/* The process-wide handle of the dragged text (null: no drag under way). */
extern HGLOBAL g_hPatternDrag;

class CPatternPaletteWnds {
public:
    CPatternPaletteWnds(CMixerDlg &dlg, PatternPalette &palette);
    ~CPatternPaletteWnds();

    /* Runs an OLE drag (default DoDragDrop); tests answer the drop themselves. */
    std::function<HRESULT(IDataObject *, IDropSource *, DWORD allowed, DWORD *effect)> runDrag;

    void Bind(cl::HandlerTable &h);
    /* Thumbnails, slots, menu and first selection (main window set-up). */
    void Create(HWND parent, HMENU menu);

    HWND Thumb(int pattern) const;
    HWND Slot(int slot) const;
    /* The slot's drop target (null when its registration failed). */
    IDropTarget *SlotTarget(int slot) const;
    /* The thumbnail of pattern i as drawn (tests). */
    HBITMAP PatternBitmap(int pattern) const;

    class EffectWnd;
    class TargetWnd;

private:
    CMixerDlg &dlg_;
    PatternPalette &palette_;
    HWND parent_ = nullptr;
    HMENU menu_ = nullptr;
    std::vector<HBITMAP> bitmaps_;
    std::vector<EffectWnd *> thumbs_;
    TargetWnd *slots_[kFavouriteSlots] = {};
    bool oleStarted_ = false;
    friend class EffectWnd;
    friend class TargetWnd;
};

#endif
