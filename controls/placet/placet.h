/*
 * The "Placet" positioner: a numeric value (minimum, maximum, default, step,
 * all doubles) shown and changed through the dialog items that follow the
 * positioner's own identifier: +1 edit, +2 scroll bar or trackbar, +3 "++",
 * +4 "--", +5 "To Def", +6 "To Min", +7 "To Max", +8..+11 companions,
 * +12 a linked positioner.  Value changes reach the parent as WM_COMMAND.
 */
#ifndef CONTROLS_PLACET_H
#define CONTROLS_PLACET_H

#include <windows.h>

#define PLACET_CLASS "Placet"

/* Styles (low word of the window style). */
#define PLCS_AUTOUPDATE   0x0001
#define PLCS_AUTOALIGN    0x0004
#define PLCS_USEESCAPE    0x0010
#define PLCS_CLIPCURSOR   0x0020
#define PLCS_AUTODISABLE  0x0040
#define PLCS_LIVEMSGS     0x0080
#define PLCS_FASTCURSOR   0x0200
#define PLCS_OFFSCREEN    0x0800
#define PLCS_CLAMP        0x0000
#define PLCS_WRAP         0x1000
#define PLCS_NODEFAULT    0x2000
#define PLCS_NOROUND      0x4000
#define PLCS_REVERSED     0x8000

/* Messages shared with the button. */
#define KNBM_GETPROPSTRING    (WM_USER + 0x1D)
#define KNBM_GETPROPSTRINGLEN (WM_USER + 0x22)
#define KNBM_SETPROPSTRING    (WM_USER + 0x23)

/* Positioner messages. */
#define PLM_SETTIC       (WM_USER + 0x04)
#define PLM_CLEARTICS    (WM_USER + 0x09)
#define PLM_SETTICFREQ   (WM_USER + 0x14)
#define PLM_APPLYPROPS   (WM_USER + 0x103)  /* wParam 1 keep attributes, 0x10 repaint */
#define PLM_SETPROP      (WM_USER + 0x104)
#define PLM_GETNUMBER    (WM_USER + 0x120)
#define PLM_SETNUMBER    (WM_USER + 0x121)
#define PLM_SETFORMAT    (WM_USER + 0x123)
#define PLM_SETNUMBERS   (WM_USER + 0x124)

/* which (bits 0-3) and type (bits 8-11) of PLM_GETNUMBER / PLM_SETNUMBER. */
#define PLN_VALUE   0
#define PLN_MIN     1
#define PLN_MAX     2
#define PLN_DEFAULT 3
#define PLN_STEP    4
#define PLN_INT32   0x000
#define PLN_UINT32  0x100
#define PLN_INT8    0x200
#define PLN_UINT8   0x300
#define PLN_INT16   0x400
#define PLN_UINT16  0x500
#define PLN_FLOAT   0x800
#define PLN_DOUBLE  0x900
#define PLN_BYVALUE 0x1000
#define PLN_NOTIFY  0x20

/* Notification codes (HIWORD of wParam). */
#define PLN_CHANGED       4
#define PLN_TRACKCHANGE   5
#define PLN_TRACKEND      8
#define PLN_TRACKBEGIN    9
#define PLN_FORCED        10

#endif
