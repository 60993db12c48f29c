#include "qtk_log.h"

extern "C" {

LPCSTR WINAPI qtkRecordText(const QTKLOGRECORD *record) { return record ? record->text : nullptr; }
LPCWSTR WINAPI qtkRecordTextW(const QTKLOGRECORD *record) { return record ? record->wtext : nullptr; }
DWORD WINAPI qtkRecordCode(const QTKLOGRECORD *record) { return record ? record->code : 0; }

BOOL WINAPI qtkLog(void *printer, DWORD code, LPCSTR text)
{
    if (!printer) return FALSE;
    QTKLOGRECORD r = {code, text ? text : "", nullptr};
    static_cast<IQtkPrinter *>(printer)->Print(&r);
    return TRUE;
}

BOOL WINAPI qtkLogW(void *printer, DWORD code, LPCWSTR text)
{
    if (!printer) return FALSE;
    static const WCHAR empty[] = {0};
    QTKLOGRECORD r = {code, nullptr, text ? text : empty};
    static_cast<IQtkPrinter *>(printer)->PrintW(&r);
    return TRUE;
}

}  // extern "C"
