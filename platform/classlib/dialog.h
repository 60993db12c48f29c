/*
 * CDialog: a dialog from a .rc template, modal or modeless, with dialog
 * data exchange.
 *
 * DoModal creates the dialog modeless, disables its owner and runs its own
 * message loop until EndDialog: every message is offered to the application's
 * message filter first (CWinApp::ProcessMessageFilter, where accelerators and
 * PreTranslateMessage work), then to IsDialogMessage, then dispatched.
 * Create makes a modeless dialog that lives until DestroyWindow.
 *
 * The dialog window is attached to the object from WM_INITDIALOG on (before
 * OnInitDialog), so the handler table sees every later message.  IDOK and
 * IDCANCEL commands run OnOK and OnCancel: OnOK reads the dialog's values
 * (UpdateData(TRUE)) and ends only when they pass.
 */
#ifndef CORV_CLASSLIB_DIALOG_H
#define CORV_CLASSLIB_DIALOG_H

#include "wnd.h"

namespace cl {

/* One exchange between a dialog's controls and its members.  The first
 * failing field shows its message, takes the focus and marks the exchange
 * failed; later fields are skipped. */
struct CDataExchange {
    HWND dlg = nullptr;
    bool save = false;       /* true: controls -> members */
    bool failed = false;
    UINT lastId = 0;         /* control of the last field exchanged */
    void Fail(const std::string &message);
};

/* The standard texts of the exchange and validation. */
extern const char kMsgNotInteger[];      /* "Please enter an integer." */
extern const char kMsgNotNumber[];       /* "Please enter a number." */
extern const char kMsgIntRange[];        /* "Please enter an integer between %d and %d." */
extern const char kMsgUIntRange[];       /* "Please enter an integer between %u and %u." */
extern const char kMsgNumberRange[];     /* "Please enter a number between %s and %s." */

void DDX_Text(CDataExchange *dx, UINT id, int &value);
void DDX_Text(CDataExchange *dx, UINT id, unsigned &value);
void DDX_Text(CDataExchange *dx, UINT id, float &value);
void DDX_Text(CDataExchange *dx, UINT id, double &value);
void DDX_Text(CDataExchange *dx, UINT id, std::string &value);
void DDX_Check(CDataExchange *dx, UINT id, int &value);
/* Validation of the value just exchanged (only when saving). */
void DDV_MinMaxInt(CDataExchange *dx, int value, int min, int max);
void DDV_MinMaxUInt(CDataExchange *dx, unsigned value, unsigned min, unsigned max);
void DDV_MinMaxFloat(CDataExchange *dx, double value, double min, double max);

/* Text parsers of the exchange, usable alone: whole text, blanks around
 * allowed, false on anything else or on overflow. */
bool ParseInt(const std::string &text, int *value);
bool ParseUInt(const std::string &text, unsigned *value);
bool ParseDouble(const std::string &text, double *value);

class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, HWND parent = nullptr);
    ~CDialog() override;

    /* Modal run; returns the EndDialog code, -1 when the dialog could not be made. */
    virtual INT_PTR DoModal();
    /* Modeless: creates the dialog (shown as its template says). */
    BOOL Create(HWND parent = nullptr);
    void EndDialog(INT_PTR result);
    bool IsModalRunning() const { return modal_ && !ended_; }

    virtual BOOL OnInitDialog();       /* default: UpdateData(FALSE), TRUE */
    virtual void OnOK();
    virtual void OnCancel();
    virtual void DoDataExchange(CDataExchange *) {}
    BOOL UpdateData(BOOL save = TRUE);

    UINT TemplateId() const { return templateId_; }
    /* Module whose resources hold the template (default: the program). */
    HINSTANCE resourceModule = nullptr;

protected:
    HWND parent_;

private:
    static INT_PTR CALLBACK DlgProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
    UINT templateId_;
    bool modal_ = false;
    bool ended_ = false;
    INT_PTR result_ = -1;
};

} // namespace cl

#endif
