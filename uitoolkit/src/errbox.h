/* Error boxes: internal parts shared with the tests. */
#ifndef TUNDRIX_ERRBOX_H
#define TUNDRIX_ERRBOX_H

#include <windows.h>

/* Where texts of type bit 31 go (OutputDebugStringA unless replaced);
 * returns the writer before. */
typedef void (*ErrDebugWriter)(const char *text);
ErrDebugWriter ErrSetDebugWriter(ErrDebugWriter writer);

/* The error page's record (window property integer atom 3 of the page). */
struct ErrPageRecord {
    DLGPROC proc;       /* the caller's page procedure */
    HGLOBAL tmpl;       /* the page's memory template */
    LPARAM param;       /* the caller's page parameter */
    DWORD_PTR reserved;
};

#define ERR_PROP MAKEINTATOM(3)

#endif
