#include "title_preview_dialog.h"

#include <atlbase.h>
#include <atliface.h>
#include <mmsystem.h>
#include <oleauto.h>

#include "corvengine.h"

namespace {
const int kDispNew = 1, kDispOpenDirectly = 7, kDispSaveAsPreview = 86;
const UINT kPeriod = 33;

std::string Upper3(const std::string &path)
{
    std::string t = path.size() >= 3 ? path.substr(path.size() - 3) : path;
    for (char &c : t)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return t;
}
} // namespace

TitleLoad TitleLoadFor(const std::string &path)
{
    if (path.empty())
        return TitleLoad::Nothing;
    /* ".cgb" titles are clips of the other title format: the control's
     * direct open refuses them with a box, so they get an empty page. */
    return Upper3(path) == "LMF" ? TitleLoad::OpenFile : TitleLoad::EmptyPage;
}

TitlePreviewDialog::TitlePreviewDialog(HWND parent) : cl::CDialog(150, parent)
{
    InitializeCriticalSection(&drawing_);
    handlers.Command(kClose, [this] { HidePane(); });
    handlers.Command(kShow, [this] { Show(); });
    KeepSkinnedFrame(handlers, *this, skin_, kWidth, kHeight);
    handlers.Message(WM_CLOSE, [this](WPARAM, LPARAM) -> LRESULT {
        HidePane();
        return 0;
    });
    handlers.Message(WM_DESTROY, [this](WPARAM, LPARAM) -> LRESULT {
        StopAnimation();
        if (control_) {
            control_->Release();
            control_ = nullptr;
        }
        if (engineOn_) {
            ReleaseEngine();
            engineOn_ = false;
        }
        return 0;
    });
}

TitlePreviewDialog::~TitlePreviewDialog()
{
    StopAnimation();
    if (control_)
        control_->Release();
    if (skin_)
        DeleteObject(skin_);
    DeleteCriticalSection(&drawing_);
}

BOOL TitlePreviewDialog::OnInitDialog()
{
    const HINSTANCE inst = GetModuleHandleA(nullptr);
    close_.SubclassDlgItem(kClose, m_hWnd);
    close_.SetBitmaps(172, 174, 174);
    char tip[64] = "";
    LoadStringA(inst, 88, tip, sizeof tip);
    close_.SetToolTip(tip);
    show_.SubclassDlgItem(kShow, m_hWnd);
    show_.SetBitmaps(247, 249, 248);
    skin_ = static_cast<HBITMAP>(LoadImageA(inst, MAKEINTRESOURCEA(246), IMAGE_BITMAP, 0, 0, 0));
    SetWindowRgn(m_hWnd, CreateSteppedRegion(kWidth, kHeight), TRUE);
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, kWidth, kHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::MoveWindow(GetDlgItem(kClose), 316, 5, 14, 12, TRUE);
    ::MoveWindow(GetDlgItem(kArea), 15, 37, 320, 240, TRUE);
    ::MoveWindow(GetDlgItem(kShow), 137, 283, 77, 19, TRUE);

    /* The hidden title-box control in the system's control container. */
    AtlAxWinInit();
    HWND host = CreateWindowExA(0, "AtlAxWin", "Lumicard.LumicardCtrl.1", WS_CHILD, 0, 0, 320, 240, m_hWnd,
                                reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kControl)), inst, nullptr);
    IUnknown *unk = nullptr;
    if (host && AtlAxGetControl(host, &unk) == S_OK && unk) {
        unk->QueryInterface(IID_IDispatch, reinterpret_cast<void **>(&control_));
        unk->Release();
    }
    InitEngine(m_hWnd);
    engineOn_ = true;
    return TRUE;
}

bool TitlePreviewDialog::Call(int dispid, const std::string *text)
{
    if (!control_)
        return false;
    VARIANT arg;
    VariantInit(&arg);
    DISPPARAMS params = {};
    if (text) {
        const int n = MultiByteToWideChar(CP_ACP, 0, text->c_str(), -1, nullptr, 0);
        V_VT(&arg) = VT_BSTR;
        V_BSTR(&arg) = SysAllocStringLen(nullptr, n > 0 ? n - 1 : 0);
        if (n > 0)
            MultiByteToWideChar(CP_ACP, 0, text->c_str(), -1, V_BSTR(&arg), n);
        params.rgvarg = &arg;
        params.cArgs = 1;
    }
    VARIANT result;
    VariantInit(&result);
    const HRESULT hr =
        control_->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, nullptr, nullptr);
    VariantClear(&arg);
    VariantClear(&result);
    return SUCCEEDED(hr);
}

void TitlePreviewDialog::ShowTitle(const std::string &path)
{
    switch (TitleLoadFor(path)) {
    case TitleLoad::OpenFile:
        Call(kDispOpenDirectly, &path);
        break;
    case TitleLoad::EmptyPage:
        Call(kDispNew, nullptr);
        break;
    case TitleLoad::Nothing:
        break;
    }
}

void TitlePreviewDialog::Draw(bool reload)
{
    EnterCriticalSection(&drawing_);
    HWND area = GetDlgItem(kArea);
    if (HDC dc = ::GetDC(area)) {
        PreviewTitle(dc, reload ? TRUE : FALSE);
        ::ReleaseDC(area, dc);
        ++drawings_;
    }
    LeaveCriticalSection(&drawing_);
}

void CALLBACK TitlePreviewDialog::Tick(UINT, UINT, DWORD_PTR self, DWORD_PTR, DWORD_PTR)
{
    auto *d = reinterpret_cast<TitlePreviewDialog *>(self);
    if (!d->stopping_.load())
        d->Draw(false);
}

void TitlePreviewDialog::Show()
{
    Call(kDispSaveAsPreview, nullptr);
    StopAnimation();
    Draw(true);
    timeBeginPeriod(kPeriod);
    timer_ = timeSetEvent(kPeriod, kPeriod, Tick, reinterpret_cast<DWORD_PTR>(this),
                          TIME_PERIODIC | TIME_CALLBACK_FUNCTION | TIME_KILL_SYNCHRONOUS);
    if (!timer_)
        timeEndPeriod(kPeriod);
}

void TitlePreviewDialog::StopAnimation()
{
    if (!timer_)
        return;
    /* No tick may draw once the timer is gone: a tick under way finishes
     * (the lock) and later ones see the stop flag. */
    stopping_ = true;
    timeKillEvent(timer_);
    EnterCriticalSection(&drawing_);
    LeaveCriticalSection(&drawing_);
    timeEndPeriod(kPeriod);
    timer_ = 0;
    stopping_ = false;
}

void TitlePreviewDialog::HidePane()
{
    StopAnimation();
    if (m_hWnd)
        ShowWindow(SW_HIDE);
}
