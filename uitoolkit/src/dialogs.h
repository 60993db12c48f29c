/* Identifiers and helpers shared by the toolkit's file, image and progress
 * dialogs (also included by their resource script). */
#ifndef TUNDRIX_DIALOGS_H
#define TUNDRIX_DIALOGS_H

/* Pacifiers. */
#define PACIFIER_TEMPLATE        1009
#define PACIFIER_CANCEL_TEMPLATE 1033
#define PACIFIER_STATUS          1007
#define PACIFIER_BAR             1008

/* Image open and save dialogs. */
#define IMAGE_OPEN_TEMPLATE 108
#define IMAGE_SAVE_TEMPLATE 109
#define IMG_PREVIEW_AREA    1119
#define IMG_INFO            8006
#define IMG_PREVIEW         8003
#define IMG_ASPECT_1_1      8070
#define IMG_ASPECT_4_3      8069
#define IMG_ASPECT_16_9     8071
#define IMG_COMPRESSION     8084
#define IMG_BPP_FIRST       8034 /* 8034..8039: 1, 4, 8, 16, 24, 32 bits */
#define IMG_HEIGHT          1018
#define IMG_WIDTH           1019
#define IMG_DEPTH           8081
#define IMG_TYPE            1020
#define IMG_COMPRESSED      1021

#ifndef RC_INVOKED
#include <windows.h>
#include "internal.h"

/* The module holding the toolkit's dialog templates: Tundrix32 itself, or
 * the program when the toolkit's code is linked into it. */
inline HINSTANCE TundrixResources()
{
    HINSTANCE m = TundrixModule();
    return m ? m : GetModuleHandleA(nullptr);
}
#endif

#endif
