/* DlgX inside the toolkit. */
#ifndef TUNDRIX_DLGX_H
#define TUNDRIX_DLGX_H

#include <windows.h>

/* The registered command message "dlgX-Halvard" (registered on first use). */
UINT DlgXMessage();

#endif
