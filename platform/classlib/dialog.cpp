#include "dialog.h"
#include "app.h"
#include <cerrno>
#include <cfloat>
#include <climits>
#include <cstdlib>

namespace cl {

const char kMsgNotInteger[] = "Please enter an integer.";
const char kMsgNotNumber[] = "Please enter a number.";
const char kMsgIntRange[] = "Please enter an integer between %d and %d.";
const char kMsgUIntRange[] = "Please enter an integer between %u and %u.";
const char kMsgNumberRange[] = "Please enter a number between %s and %s.";

namespace {

std::string Trim(const std::string &s)
{
    size_t a = s.find_first_not_of(" \t");
    if (a == std::string::npos) return {};
    size_t b = s.find_last_not_of(" \t");
    return s.substr(a, b - a + 1);
}

std::string ItemText(HWND dlg, UINT id)
{
    HWND item = GetDlgItem(dlg, id);
    if (!item) return {};
    int n = GetWindowTextLengthA(item);
    std::string s(n + 1, '\0');
    n = GetWindowTextA(item, &s[0], n + 1);
    s.resize(n > 0 ? n : 0);
    return s;
}

std::string Number(double v)
{
    return Format("%.*g", DBL_DIG, v);
}

} // namespace

void CDataExchange::Fail(const std::string &message)
{
    failed = true;
    CWinApp *app = CWinApp::Current();
    MessageBoxA(dlg, message.c_str(), app ? app->m_pszAppName.c_str() : "", MB_OK | MB_ICONEXCLAMATION);
    if (HWND item = GetDlgItem(dlg, lastId)) {
        SetFocus(item);
        SendMessageA(item, EM_SETSEL, 0, -1);
    }
}

bool ParseInt(const std::string &text, int *value)
{
    std::string t = Trim(text);
    if (t.empty()) return false;
    char *end = nullptr;
    errno = 0;
    long long v = strtoll(t.c_str(), &end, 10);
    if (*end || errno || v < INT_MIN || v > INT_MAX) return false;
    *value = (int)v;
    return true;
}

bool ParseUInt(const std::string &text, unsigned *value)
{
    std::string t = Trim(text);
    if (t.empty() || t[0] == '-') return false;
    char *end = nullptr;
    errno = 0;
    unsigned long long v = strtoull(t.c_str(), &end, 10);
    if (*end || errno || v > UINT_MAX) return false;
    *value = (unsigned)v;
    return true;
}

bool ParseDouble(const std::string &text, double *value)
{
    std::string t = Trim(text);
    if (t.empty()) return false;
    char *end = nullptr;
    errno = 0;
    double v = strtod(t.c_str(), &end);
    if (*end || errno == ERANGE || v != v) return false;
    *value = v;
    return true;
}

void DDX_Text(CDataExchange *dx, UINT id, int &value)
{
    if (dx->failed) return;
    dx->lastId = id;
    if (!dx->save) { SetDlgItemTextA(dx->dlg, id, Format("%d", value).c_str()); return; }
    int v;
    if (!ParseInt(ItemText(dx->dlg, id), &v)) return dx->Fail(kMsgNotInteger);
    value = v;
}

void DDX_Text(CDataExchange *dx, UINT id, unsigned &value)
{
    if (dx->failed) return;
    dx->lastId = id;
    if (!dx->save) { SetDlgItemTextA(dx->dlg, id, Format("%u", value).c_str()); return; }
    unsigned v;
    if (!ParseUInt(ItemText(dx->dlg, id), &v)) return dx->Fail(kMsgNotInteger);
    value = v;
}

void DDX_Text(CDataExchange *dx, UINT id, double &value)
{
    if (dx->failed) return;
    dx->lastId = id;
    if (!dx->save) { SetDlgItemTextA(dx->dlg, id, Number(value).c_str()); return; }
    double v;
    if (!ParseDouble(ItemText(dx->dlg, id), &v)) return dx->Fail(kMsgNotNumber);
    value = v;
}

void DDX_Text(CDataExchange *dx, UINT id, float &value)
{
    if (dx->failed) return;
    dx->lastId = id;
    if (!dx->save) { SetDlgItemTextA(dx->dlg, id, Format("%.*g", FLT_DIG, value).c_str()); return; }
    double v;
    if (!ParseDouble(ItemText(dx->dlg, id), &v) || v > FLT_MAX || v < -FLT_MAX) return dx->Fail(kMsgNotNumber);
    value = (float)v;
}

void DDX_Text(CDataExchange *dx, UINT id, std::string &value)
{
    if (dx->failed) return;
    dx->lastId = id;
    if (!dx->save) { SetDlgItemTextA(dx->dlg, id, value.c_str()); return; }
    value = ItemText(dx->dlg, id);
}

void DDX_Check(CDataExchange *dx, UINT id, int &value)
{
    if (dx->failed) return;
    dx->lastId = id;
    if (!dx->save) { CheckDlgButton(dx->dlg, id, value); return; }
    value = (int)IsDlgButtonChecked(dx->dlg, id);
}

void DDV_MinMaxInt(CDataExchange *dx, int value, int min, int max)
{
    if (dx->failed || !dx->save) return;
    if (value < min || value > max) dx->Fail(Format(kMsgIntRange, min, max));
}

void DDV_MinMaxUInt(CDataExchange *dx, unsigned value, unsigned min, unsigned max)
{
    if (dx->failed || !dx->save) return;
    if (value < min || value > max) dx->Fail(Format(kMsgUIntRange, min, max));
}

void DDV_MinMaxFloat(CDataExchange *dx, double value, double min, double max)
{
    if (dx->failed || !dx->save) return;
    if (value < min || value > max)
        dx->Fail(Format(kMsgNumberRange, Number(min).c_str(), Number(max).c_str()));
}

CDialog::CDialog(UINT templateId, HWND parent) : parent_(parent), templateId_(templateId)
{
    handlers.Command(IDOK, [this] { OnOK(); });
    handlers.Command(IDCANCEL, [this] { OnCancel(); });
}

CDialog::~CDialog()
{
    if (m_hWnd && IsWindow(m_hWnd)) {
        HWND w = m_hWnd;
        UnsubclassWindow();
        ::DestroyWindow(w);
    }
}

INT_PTR CALLBACK CDialog::DlgProc(HWND wnd, UINT msg, WPARAM, LPARAM lp)
{
    if (msg == WM_INITDIALOG) {
        auto *self = reinterpret_cast<CDialog *>(lp);
        self->SubclassWindow(wnd);
        return self->OnInitDialog();
    }
    return FALSE;
}

BOOL CDialog::Create(HWND parent)
{
    if (parent) parent_ = parent;
    HINSTANCE inst = resourceModule ? resourceModule : GetModuleHandleA(nullptr);
    ended_ = false;
    HWND wnd = CreateDialogParamA(inst, MAKEINTRESOURCEA(templateId_), parent_, DlgProc,
                                  reinterpret_cast<LPARAM>(this));
    return wnd != nullptr;
}

INT_PTR CDialog::DoModal()
{
    HWND owner = parent_;
    if (!owner) {
        CWinApp *app = CWinApp::Current();
        if (app && app->m_pMainWnd && app->m_pMainWnd != this) owner = app->m_pMainWnd->m_hWnd;
    }
    parent_ = owner;
    modal_ = true;
    ended_ = false;
    result_ = -1;
    if (!Create(owner) || !m_hWnd) {
        modal_ = false;
        /* OnInitDialog may have ended and destroyed the dialog already. */
        return ended_ ? result_ : -1;
    }
    bool reenable = owner && IsWindowEnabled(owner);
    if (reenable) EnableWindow(owner, FALSE);
    if (!ended_) {
        ShowWindow(SW_SHOW);
        MSG msg;
        while (!ended_) {
            BOOL got = GetMessageA(&msg, nullptr, 0, 0);
            if (got <= 0) {
                PostQuitMessage((int)msg.wParam);
                break;
            }
            if (CWinApp::FilterMessage(MSGF_DIALOGBOX, &msg)) continue;
            if (m_hWnd && IsDialogMessageA(m_hWnd, &msg)) continue;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    if (reenable) EnableWindow(owner, TRUE);
    if (m_hWnd) {
        if (owner && GetActiveWindow() == m_hWnd) SetActiveWindow(owner);
        HWND w = m_hWnd;
        ::DestroyWindow(w);
    }
    modal_ = false;
    return result_;
}

void CDialog::EndDialog(INT_PTR result)
{
    result_ = result;
    ended_ = true;
    if (modal_) {
        if (m_hWnd) ::PostMessageA(m_hWnd, WM_NULL, 0, 0);
    } else if (m_hWnd) {
        ::DestroyWindow(m_hWnd);
    }
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    if (!UpdateData(TRUE)) return;
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

BOOL CDialog::UpdateData(BOOL save)
{
    CDataExchange dx;
    dx.dlg = m_hWnd;
    dx.save = save != FALSE;
    DoDataExchange(&dx);
    return !dx.failed;
}

} // namespace cl
