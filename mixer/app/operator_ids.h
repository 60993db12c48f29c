/* Resource and control numbers of the colour correction and TV-out dialogs. */
#ifndef CORV_MIXER_OPERATOR_IDS_H
#define CORV_MIXER_OPERATOR_IDS_H

/* Dialogs 312 and 378 and their controls. */
#define IDD_HSL_EFFECT          312
#define IDD_TVOUT               378
#define IDC_HSL_HUE_EDIT        1068
#define IDC_HSL_LIGHT_EDIT      1069
#define IDC_HSL_SAT_EDIT        1074
#define IDC_HSL_HUE             1123
#define IDC_HSL_SAT             1124
#define IDC_HSL_LIGHT           1125
#define IDC_HSL_RESET           1127
#define IDC_TVOUT_VIDEO         1162
/* Work-space dialog (379). */
#define IDC_WS_SIZE             1164
#define IDC_WS_NOTE             1166
/* The skin of dialog 312. */
#define IDB_HSL_SKIN            490
#define IDB_RESET_UP            491   /* and 492 down */
#define IDB_HSL_CHANNEL         493
#define IDB_HSL_THUMB           494

#endif
