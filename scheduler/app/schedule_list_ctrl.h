/*
 * The scheduler's three report lists (source schedule, title schedule, run
 * log) as the window shows them: the coloured column header, per-cell
 * colours chosen by the owner from the row's state and the cell's text
 * (custom drawing, with the list's own selection highlight suppressed so the
 * state colours always show), the list font and styles, a black client
 * background, and files dropped from the shell handed to the owner.
 *
 * UI thread only.  The objects must outlive their windows or be detached.
 */
#ifndef SCHEDULER_APP_SCHEDULE_LIST_CTRL_H
#define SCHEDULER_APP_SCHEDULE_LIST_CTRL_H

#include <functional>
#include <string>
#include <vector>

#include "schedule/list_display.h"
#include "wnd.h"

/* The header of the three lists: fill 0x963214 outlined in 0x8C0000, each
 * item filled and outlined the same, its text in 0xC8C8C8 aligned by the
 * item's format, two blanks in from the sides and 2 pixels down. */
class ScheduleHeaderCtrl : public cl::CWnd {
public:
    BOOL OnChildNotify(UINT msg, WPARAM wp, LPARAM lp, LRESULT *result) override;
    /* Items drawn by the last paint (tests see that the header drew itself). */
    int ItemsDrawn() const { return itemsDrawn_; }

private:
    int itemsDrawn_ = 0;
};

class ScheduleListCtrl : public cl::CWnd {
public:
    /* Colours of one cell: row and column, the cell's text, and whether the
     * row is highlighted (drop target, or selected while the list has the
     * focus or shows its selection always). */
    using CellColourFn = std::function<CellColours(int row, int column, const std::string &text, bool highlighted)>;
    /* Paths dropped on the list (each up to MAX_PATH characters), in order. */
    using DropFn = std::function<void(const std::vector<std::string> &paths)>;

    ScheduleListCtrl();
    ~ScheduleListCtrl() override;

    /* Attaches to the dialog's list 'id': the header subclassed, the
     * "msmincho" 12-pixel font on list and header, grid lines, sub-item
     * pictures, full-row selection and flat scroll bars. */
    BOOL Attach(HWND dialog, UINT id);
    /* Accepts files from the shell (WM_DROPFILES) and hands them to onDrop. */
    void AcceptDrops(DropFn onDrop);

    CellColourFn cellColours;
    /* The run log fills each cell black before its colours are drawn. */
    bool fillCellsBlack = false;

    ScheduleHeaderCtrl &Header() { return header_; }
    HFONT Font() const { return font_; }
    std::string CellText(int row, int column) const;
    /* The paths of a drop, shortcuts not yet resolved (public for tests). */
    static std::vector<std::string> DroppedPaths(HDROP drop);
    /* A shell shortcut (".lnk") replaced by its target when that is a
     * non-empty path; any other path as it is. */
    static std::string ResolveShortcut(const std::string &path);

    BOOL OnChildNotify(UINT msg, WPARAM wp, LPARAM lp, LRESULT *result) override;

private:
    LRESULT CustomDraw(NMLVCUSTOMDRAW *cd);
    ScheduleHeaderCtrl header_;
    HFONT font_ = nullptr;
    DropFn onDrop_;
};

#endif
