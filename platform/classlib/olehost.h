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
#include <ocidl.h>
#include <functional>

namespace cl {

/* A control's event: its DISPID and arguments (in the system's reversed order). */
using EventFn = std::function<void(DISPID id, DISPPARAMS *params)>;

/* An event sink: a dispatch object that answers for the events interface
 * and hands every call to fn.  Returned with one reference. */
IDispatch *CreateEventSink(const IID &events, EventFn fn);

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

    /* Listens to the control's events interface through its connection
     * point; one connection at a time (a new one replaces the old). */
    HRESULT ConnectEvents(const IID &events, EventFn fn);
    void DisconnectEvents();

private:
    IDispatch *dispatch_ = nullptr;
    IConnectionPoint *point_ = nullptr;
    DWORD cookie_ = 0;
};

} // namespace cl

#endif
