/*
 * CWinApp: the program's application object.
 *
 * One per process, built before the program's entry.  RunApp (called from
 * WinMain) stores the instance and the command line and calls InitInstance;
 * a dialog-based program runs its main dialog modally there and returns
 * FALSE, which ends the program.
 *
 * Every modal loop of the library offers each message to
 * ProcessMessageFilter before dispatching it.  The default filter walks from
 * the message's window up through its parents and lets each attached object's
 * PreTranslateMessage consume it; a program overrides the filter to translate
 * its accelerators (TranslateAcceleratorKey).
 */
#ifndef CORV_CLASSLIB_APP_H
#define CORV_CLASSLIB_APP_H

#include "wnd.h"
#include "profile.h"

namespace cl {

class CWinApp {
public:
    explicit CWinApp(const char *appName = "");
    virtual ~CWinApp();

    /* The process's application object, or null. */
    static CWinApp *Current();

    virtual BOOL InitInstance() { return FALSE; }
    virtual int ExitInstance() { return 0; }
    virtual BOOL ProcessMessageFilter(int code, MSG *msg);

    /* Program entry: runs InitInstance (and a message loop when it returns TRUE). */
    int RunApp(HINSTANCE instance, const char *cmdLine);

    /* Lets windows host ActiveX controls (initialises OLE once). */
    BOOL AfxEnableControlContainer();

    /* Offers one message to the filter: the hook the modal loops call. */
    static BOOL FilterMessage(int code, MSG *msg);
    /* The pre-translation walk of the default filter. */
    static BOOL PreTranslateChain(MSG *msg);

    HINSTANCE m_hInstance = nullptr;
    std::string m_lpCmdLine;
    std::string m_pszAppName;
    CWnd *m_pMainWnd = nullptr;
    CProfile profile;

private:
    bool oleStarted_ = false;
};

/* Translates a key message against an accelerator table for a window. */
BOOL TranslateAcceleratorKey(HWND wnd, HACCEL table, MSG *msg);

} // namespace cl

#endif
