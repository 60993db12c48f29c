/* Inside the log printers: where event-log writes go (tests look at them). */
#ifndef TUNDRIX_PRINTERS_H
#define TUNDRIX_PRINTERS_H

#include <windows.h>

typedef BOOL (WINAPI *EventReportFn)(HANDLE source, WORD type, WORD category, DWORD id, PSID user, WORD count,
                                     DWORD data_size, LPCSTR *strings, LPVOID data);
/* Replaces the writer (null: ReportEventA); returns the previous one. */
EventReportFn PrinterSetEventWriter(EventReportFn writer);

#endif
