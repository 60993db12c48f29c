/*
 * PCDLIB32.dll: the Photo CD library the extra image filters load by the name
 * "PCDLIB32.dll" and call by ordinal.  It reads Image Pac files and decodes
 * the three base resolutions, which the Image Pac stores uncompressed:
 * Base/16 (192 x 128), Base/4 (384 x 256) and Base (768 x 512).  The higher
 * resolutions (4Base, 16Base) are residuals coded against Base with tables
 * kept elsewhere on the disc; asked for one, the library delivers Base and
 * its rectangle says so.
 *
 * Pixels: rows top first, 24-bit blue-green-red (format 11), each row at the
 * caller's stride; the picture is turned as the Image Pac's orientation says.
 */
#ifndef PCDLIB_H
#define PCDLIB_H

#include <windows.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct PcdImage PcdImage;
typedef void (WINAPI *PcdProgress)(int code, LONG value, void *user);

/* Results. */
#define PCD_OK         0
#define PCD_E_OPEN    -8   /* the file cannot be opened or is not an Image Pac */
#define PCD_E_READ    -7   /* short or damaged data */
#define PCD_E_ARG     -1

/* Resolutions. */
#define PCD_BASE16 1
#define PCD_BASE4  2
#define PCD_BASE   3
#define PCD_4BASE  4
#define PCD_16BASE 5

/* Orientation codes of property 79: 1 as stored, 4 turned a quarter to the
 * right, 6 upside down, 7 turned a quarter to the left (4 and 7 exchange
 * width and height). */

int WINAPI PcdOpen(const char *path, PcdImage **image);                 /* ordinal 5 */
int WINAPI PcdGetResolutions(PcdImage *image, int *count);               /* ordinal 14: resolutions held (3) */
int WINAPI PcdGetOrientation(PcdImage *image, int *code);                /* ordinal 79 */
int WINAPI PcdSetResolution(PcdImage *image, int resolution);            /* ordinal 28 */
int WINAPI PcdSetProgress(PcdImage *image, PcdProgress cb, void *user);  /* ordinal 4: (1, rows done) per 16 rows */
int WINAPI PcdGetRect(PcdImage *image, int16_t rect[4]);                 /* ordinal 16: left, top, right, bottom */
int WINAPI PcdGetFormat(PcdImage *image, int *format);                   /* ordinal 29: 11 */
int WINAPI PcdReadImage(PcdImage *image, BYTE *destination, LONG bytesPerRow); /* ordinal 2 */
int WINAPI PcdClose(PcdImage *image);                                    /* ordinal 6 */

#ifdef __cplusplus
}
#endif

#endif
