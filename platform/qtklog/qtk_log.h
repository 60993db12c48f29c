/* qtk_log: the graphics maker's logging library as far as the toolkit's
 * printers meet it: log records, the printer interface and one call that
 * hands a record to a printer (chain).  Functions are imported by ordinal. */
#ifndef QTK_LOG_H
#define QTK_LOG_H

#include <windows.h>

/* A log record: code = level << 24 | category << 16 | number. */
typedef struct QTKLOGRECORD {
    DWORD code;
    LPCSTR text;    /* null in a wide record */
    LPCWSTR wtext;  /* null in a narrow record */
} QTKLOGRECORD;

#define QTK_LEVEL(code)    ((BYTE)((code) >> 24))
#define QTK_CATEGORY(code) ((BYTE)((code) >> 16))

#ifdef __cplusplus
#include "basekit.h"

/* What a printer offers the logging library. */
struct IQtkPrinter : public virtual IBasekitObject {
    virtual void WINAPI Print(const QTKLOGRECORD *record) = 0;
    virtual void WINAPI PrintW(const QTKLOGRECORD *record) = 0;
    /* Messages pass when level and category lie within both ranges. */
    virtual void WINAPI SetFilter(BYTE min_level, BYTE max_level, BYTE min_category, BYTE max_category) = 0;
    /* The next printer of a chain, which gets every message after this one; may be null. */
    virtual void WINAPI SetNext(IQtkPrinter *next) = 0;
};
extern "C" {
#endif

/* 9: the record's text (narrow; null for a wide record). */
LPCSTR WINAPI qtkRecordText(const QTKLOGRECORD *record);
/* 10: the record's code. */
DWORD WINAPI qtkRecordCode(const QTKLOGRECORD *record);
/* 1: makes a narrow record and hands it to the printer (a struct IQtkPrinter *). */
BOOL WINAPI qtkLog(void *printer, DWORD code, LPCSTR text);
/* 2: the same with a wide text. */
BOOL WINAPI qtkLogW(void *printer, DWORD code, LPCWSTR text);
/* 11: the record's wide text (null for a narrow record). */
LPCWSTR WINAPI qtkRecordTextW(const QTKLOGRECORD *record);

#ifdef __cplusplus
}
#endif

#endif
