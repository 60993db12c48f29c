#include "list_display.h"

#include "schedule_words.h"

namespace {

constexpr COLORREF kDark = 0x141414;

/* The states after loading share their colours between the two lists. */
bool run_state_colours(int runState, const std::string &cell, CellColours &c)
{
    switch (runState) {
    case 0: /* loading */
        c = {0xFF7D00, kDark};
        return true;
    case 1: /* ready */
        c = {cell == "READY" ? COLORREF(0x009600) : kDark, 0xAFFFAF};
        return true;
    case 2: /* on air */
        c = {cell == "ON AIR" ? COLORREF(0x000096) : kDark, 0xFFAFFF};
        return true;
    case 3: /* done */
        c = {cell == "DONE" ? COLORREF(0x009696) : kDark, 0xAFFFFF};
        return true;
    }
    return false;
}

} // namespace

CellColours SourceCellColours(int state, const std::string &cell, bool highlighted, bool missingPath)
{
    if (highlighted)
        return {0xC800FF, kDark};
    if (state >= kStateInFile && state <= kStateInUrl) {
        if (cell == "ERROR" || missingPath)
            return {0x0000FF, kDark};
        if (cell == "IN FILE" || cell == "IN DEVICE" || cell == "IN URL")
            return {0xFF7DAF, kDark};
        return {0xDCDCDC, kDark};
    }
    CellColours c;
    if (state >= kStateLoad && run_state_colours(state - kStateLoad, cell, c))
        return c;
    return {0xFFFFFF, 0x000000};
}

CellColours TitleCellColours(int state, const std::string &cell, bool highlighted, bool missingPath)
{
    if (highlighted)
        return {0xFF00FF, kDark};
    if (state == kTitleInCg || state == kTitleInCga) {
        if (cell == "ERROR" || missingPath)
            return {0x0000FF, kDark};
        if (cell == "IN CG")
            return {0xFF7DAF, kDark};
        return {0xDCDCDC, kDark};
    }
    CellColours c;
    if (state >= kTitleLoad && run_state_colours(state - kTitleLoad, cell, c))
        return c;
    return {0xFFFFFF, 0x000000};
}
