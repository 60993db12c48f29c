/*
 * The "Knobset" button of Knobkit.dll: a bitmap-and-text button with per-state
 * faces ("Up", "Sel'd", "Gray"), twelve looks, check, radio, repeat, stay-down
 * and static variants, configured by property strings.
 */
#ifndef CONTROLS_KNOBSET_H
#define CONTROLS_KNOBSET_H

#include <windows.h>

#define KNOBSET_CLASS "Knobset"

/* Looks (mask 0xF000). */
#define KNBS_LOOKMASK     0xF000
#define KNBS_TABLOOK      0x4000
#define KNBS_OLDWINDOWS   0x5000
#define KNBS_CHICAGO      0x6000
#define KNBS_RAISED       0x7000
#define KNBS_SUNKEN       0x8000
#define KNBS_FLAT         0x9000
#define KNBS_BORDER       0xA000
#define KNBS_SEMIFLAT     0xB000
#define KNBS_BEVELED      0xC000
#define KNBS_WINDOWSISH   0xD000
#define KNBS_SHADOW       0xE000
#define KNBS_TECHNOID     0xF000

#define KNBS_AUTO         0x1
#define KNBS_CHECK        0x2
#define KNBS_INITASDEF    0x4
#define KNBS_SHOWFOCUS    0x8
#define KNBS_RADIO        0x10
#define KNBS_REPEAT       0x20
#define KNBS_STAYDOWN     0x40
#define KNBS_VERBOSE      0x80
#define KNBS_INITSELD     0x100
#define KNBS_PRESSCLICK   0x200
#define KNBS_SHOWDEFAULT  0x400
#define KNBS_STATIC       0x800
#define KNBS_EX_DRAGDROP     0x10000
#define KNBS_EX_CANBEDEF     0x20000
#define KNBS_EX_TRANSPARENT  0x40000
#define KNBS_EX_DRAWMSGS     0x80000
#define KNBS_EX_NOFOCUS      0x100000
#define KNBS_EX_CYCLIC       0x200000
#define KNBS_EX_RCLICKS      0x400000
#define KNBS_EX_RPRESSCLICK  0x800000
#define KNBS_EX_TABSTYLE     0x1000000
#define KNBS_EX_FASTDRAW     0x2000000

/* State bits (KNBM_GETSTATE). */
#define KNBST_CHECKED   0x1
#define KNBST_DISABLED  0x2
#define KNBST_SELECTED  0x4
#define KNBST_FOCUS     0x8
#define KNBST_DEFAULT   0x10
#define KNBST_HIDDEN    0x20
#define KNBST_MOUSEOVER 0x40

#define KNBM_GETCHECK         (WM_USER + 0)
#define KNBM_GETSTATE         (WM_USER + 2)
#define KNBM_STATEOP          (WM_USER + 11)
#define KNBM_STYLEOP          (WM_USER + 12)
#define KNBM_APPLYPROPS       (WM_USER + 13)
#define KNBM_SETPROP          (WM_USER + 14)
#define KNBM_RESETPROP        (WM_USER + 15)
#define KNBM_GETPROP          (WM_USER + 16)
#define KNBM_GETCONTENTRECT   (WM_USER + 22)
#define KNBM_GETVERSION       (WM_USER + 23)
#define KNBM_SETTARGET        (WM_USER + 25)
#define KNBM_SIZETOCONTENT    (WM_USER + 28)
#define KNBM_GETPROPSTRING    (WM_USER + 29)
#define KNBM_CONTENTSIZE      (WM_USER + 32)
#define KNBM_SETDEFFONT       (WM_USER + 33)
#define KNBM_GETPROPSTRINGLEN (WM_USER + 34)
#define KNBM_SETPROPSTRING    (WM_USER + 35)
#define KNBM_CLICK            (WM_USER + 99)

#define KNOBKIT_VERSION 0x0241074A

/* Notification codes (HIWORD of WM_COMMAND's wParam). */
#define KNBN_CLICKED     0
#define KNBN_PAINTED     1
#define KNBN_PRESSED     2
#define KNBN_RELEASED    3
#define KNBN_DISABLED    4
#define KNBN_DBLCLK      5
#define KNBN_DRAG        15
#define KNBN_RCLICKED    18
#define KNBN_RDBLCLK     19
#define KNBN_RPRESSED    20
#define KNBN_RRELEASED   21
#define KNBN_RDRAG       22
#define KNBN_MOVESTART   25
#define KNBN_MOVED       26
#define KNBN_MOVEEND     27
#define KNBN_MOVECANCEL  28

#endif
