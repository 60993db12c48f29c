/*
 * COleControlHost: a child window that hosts an ActiveX control created by
 * its class identifier, and calls its dispatch methods by DISPID.
 *
 * Create checks first that the class is registered; when it is not, the
 * window is made as a plain framed static showing the text given (so the
 * operator sees an empty area with a reason) and Create answers FALSE.  The
 * hosting itself is the system's control container window ("AtlAxWin").
 * Call from the thread that initialised OLE (CWinApp::AfxEnableControlContainer).
 */
#ifndef CORV_CLASSLIB_OLEHOST_H
#define CORV_CLASSLIB_OLEHOST_H

#include "wnd.h"
#include <ole2.h>
#include <oleauto.h>

namespace cl {

class COleControlHost : public CWnd {
public:
    ~COleControlHost() override;
    BOOL Create(const CLSID &clsid, const RECT &rc, HWND parent, UINT id, const char *absentText);
    bool HasControl() const { return dispatch_ != nullptr; }
    IDispatch *Dispatch() const { return dispatch_; }

    /* Calls a method or property by DISPID with the arguments in their
     * natural order; *result (optional) receives the answer.  E_NOINTERFACE
     * without a control. */
    HRESULT Invoke(DISPID id, WORD flags, const VARIANT *args, UINT count, VARIANT *result);
    HRESULT CallMethod(DISPID id) { return Invoke(id, DISPATCH_METHOD, nullptr, 0, nullptr); }

private:
    IDispatch *dispatch_ = nullptr;
};

} // namespace cl

#endif
