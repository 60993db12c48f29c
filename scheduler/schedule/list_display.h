/*
 * How the schedule lists show their rows: per-cell colours by the row's
 * state (custom drawing), and the column widths that leave room for the
 * vertical scroll bar.  COLORREF values (0x00BBGGRR).
 */
#ifndef SCHEDULER_LIST_DISPLAY_H
#define SCHEDULER_LIST_DISPLAY_H

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <string>

struct CellColours {
    COLORREF text, back;
    bool operator==(const CellColours &o) const { return text == o.text && back == o.back; }
};

/* 'missingPath': the cell shows the path of a clip or title file that was
 * not found (drawn red in the waiting states, as the "ERROR" text is). */
CellColours SourceCellColours(int state, const std::string &cell, bool highlighted, bool missingPath = false);
CellColours TitleCellColours(int state, const std::string &cell, bool highlighted, bool missingPath = false);

/* Header of the three lists: text, fill, border. */
constexpr COLORREF kHeaderText = 0xC8C8C8, kHeaderFill = 0x963214, kHeaderBorder = 0x8C0000;
constexpr COLORREF kListBackground = 0x141414;

/* More than 12 rows bring the scroll bar: the last column narrows. */
inline int SourceChannelColumnWidth(size_t rows) { return rows > 12 ? 51 : 67; }
inline int TitleSourceColumnWidth(size_t rows) { return rows > 12 ? 102 : 118; }

#endif
