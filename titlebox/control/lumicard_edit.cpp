// Page editing: the mouse (select, move, resize, rubber band), the arrow
// keys and Delete, the internal clipboard, reordering and the commands.
#include "lumicard_ctrl.h"

#include <commdlg.h>

#include <algorithm>

#include "lumicard_tracker.h"

namespace lumicard {

using namespace titlebox;

std::unique_ptr<TitleObject> CopyTitleObject(const TitleObject &o, const TitleDefaults &d, const PageScale &scale)
{
    auto c = std::make_unique<TitleObject>(d, scale);
    c->tracker.reset(new RectTracker);
    if (o.tracker) c->tracker->rect = o.tracker->rect;
    c->tracker->hFactor = scale.h;
    c->tracker->vFactor = scale.v;
    c->type = o.type;
    c->border = o.border;
    c->borderWidth = o.borderWidth;
    c->borderColour = o.borderColour;
    c->motion = o.motion;
    c->beginX = o.beginX;
    c->beginY = o.beginY;
    c->endX = o.endX;
    c->endY = o.endY;
    c->duration = o.duration;
    if (o.type == TITLE_TEXT) {
        c->font = o.font;
        c->fontSize = o.fontSize;
        c->alignment = o.alignment;
        c->textColour = o.textColour;
        c->shadowColour = o.shadowColour;
        c->outlineColour = o.outlineColour;
        c->shadowDepthX = o.shadowDepthX;
        c->shadowDepthY = o.shadowDepthY;
        c->shadowType = o.shadowType;
        c->lineSpacing = o.lineSpacing;
        c->outlineWidth = o.outlineWidth;
        c->outline = o.outline;
        c->text = o.text;
        c->textBack = o.textBack;
        c->textBackColour = o.textBackColour;
        c->textBackOpacity = o.textBackOpacity;
        c->scroll = o.scroll;
    } else if (o.type == TITLE_IMAGE) {
        c->imageOpacity = o.imageOpacity;
        c->alphaMode = o.alphaMode;
        c->transparentColour = o.transparentColour;
        c->hasTransparency = o.hasTransparency;
        if (!o.pixels.empty()) c->SetPicture(o.picture.bmWidth, o.picture.bmHeight, o.pixels.data());
    }
    return c;
}

void CLumicardCtrl::SetSelection(TitleObject *o, bool fire)
{
    Select(o);
    InvalidateControl();
    if (fire) FireEvent(29);
}

TitleObject *CLumicardCtrl::HitTest(POINT pt, bool *insideText)
{
    *insideText = false;
    // Selected objects first: a handle resizes, the inside of a text is a text hit.
    for (auto &p : page_) {
        if (!p->selected || !p->tracker) continue;
        const TrackerHit h = TrackerHitTest(p->tracker->rect, pt);
        if (h != HIT_NOTHING && h != HIT_MIDDLE) return p.get();
        if (h == HIT_MIDDLE && p->type == TITLE_TEXT) {
            *insideText = true;
            return p.get();
        }
        p->selected = 0;
    }
    // Then from the head of the list: the first object under the point.
    for (auto &p : page_) {
        if (p->tracker && TrackerHitTest(p->tracker->rect, pt) != HIT_NOTHING) {
            p->selected = 1;
            return p.get();
        }
        p->selected = 0;
    }
    return nullptr;
}

bool CLumicardCtrl::EnsureEditor()
{
    return Window() && editor_.Create(Window());
}

void CLumicardCtrl::OpenEditorOn(TitleObject *o, const std::string &text)
{
    if (!o || o->type != TITLE_TEXT || !o->tracker || !EnsureEditor()) return;
    editor_.SetFont(MakeTitleFont(*o, 1.0f));
    editor_.SetText(text);
    editorLoaded_ = editor_.Text();
    editor_.Move(o->tracker->rect);
    editor_.SetTextColour(o->textColour);
    editor_.SetAlignment(o->alignment);
    editor_.Open(o->textBack ? o->textBackColour : background_, o->lineSpacing, o->font.lfFaceName);
    editObj_ = o;
    editing_ = true;
}

void CLumicardCtrl::SyncEditorText()
{
    if (!editObj_ || !editor_.IsOpen()) return;
    // Text the operator did not touch keeps its own bytes (line ends included).
    const std::string text = editor_.Text();
    if (text.empty() || text == editorLoaded_ || text == editObj_->text) return;
    editObj_->text = text;
    editorLoaded_ = text;
    Changed();
}

void CLumicardCtrl::HideEditor()
{
    editor_.Hide();
    editObj_ = nullptr;
    editing_ = false;
}

void CLumicardCtrl::TakeEditorText()
{
    if (!editor_.IsOpen()) return;
    SyncEditorText();
    // An empty editor is closed too: it would otherwise stay over a box the
    // selection has left.  The object keeps its text.
    HideEditor();
    InvalidateControl();
}

void CLumicardCtrl::OnLButtonDown(POINT pt)
{
    bool insideText = false;
    TitleObject *hit = HitTest(pt, &insideText);
    // A fresh, still empty box follows its handles with the editor on it.
    if (editing_ && editor_.IsOpen() && hit && hit == sel_ && hit == editObj_ && !insideText &&
        editor_.Text().empty()) {
        RECT r = hit->tracker->rect;
        if (TrackRect(Window(), &r, TrackerHitTest(r, pt), pt)) {
            hit->tracker->rect = r;
            RECT inner = r;
            InflateRect(&inner, -5, -5);
            editor_.Move(inner);
            SetModifiedFlag(true);
            SetSelection(hit, true);
        }
        return;
    }
    TakeEditorText();
    if (hit) {
        RECT r = hit->tracker->rect;
        const bool changed = TrackRect(Window(), &r, TrackerHitTest(r, pt), pt);
        if (changed) {
            hit->tracker->rect = r;
            // Keyed and per-pixel pictures keep their picture's size.
            if (hit == sel_ && hit->type == TITLE_IMAGE &&
                (hit->alphaMode == ALPHA_COLOUR_KEY || hit->alphaMode == ALPHA_PER_PIXEL) && hf_ > 0 && vf_ > 0) {
                RECT &t = hit->tracker->rect;
                t.right = t.left + LONG(hit->picture.bmWidth / hf_);
                t.bottom = t.top + LONG(hit->picture.bmHeight / vf_);
            }
            SetModifiedFlag(true);
        }
        SetSelection(hit, true);
    } else {
        RECT band;
        if (TrackRubberBand(Window(), pt, &band) && band.right - band.left >= kMinTrackSize + 5 &&
            band.bottom - band.top >= kMinTrackSize + 5) {
            auto o = std::make_unique<TitleObject>(defaults_, Scale());
            o->type = TITLE_TEXT;
            o->tracker.reset(new RectTracker);
            o->tracker->rect = band;
            o->tracker->hFactor = hf_;
            o->tracker->vFactor = vf_;
            TitleObject *p = o.get();
            page_.push_back(std::move(o));
            SetModifiedFlag(true);
            SetSelection(p, true);
            // The new box is typed into at once.
            OpenEditorOn(p, std::string());
            InvalidateControl();
            if (editor_.IsOpen()) SetFocus(editor_.Window());
            return;
        }
        editing_ = false;
        Select(nullptr);
    }
    InvalidateControl();
    SetFocus(Window());
}

void CLumicardCtrl::OnLButtonDblClk(POINT pt)
{
    if (!sel_ || sel_->type != TITLE_TEXT || !sel_->tracker) return;
    const RECT r = sel_->tracker->rect;
    if (!PtInRect(&r, pt)) return;
    OpenEditorOn(sel_, sel_->text);
    if (!editor_.IsOpen()) return;
    // The caret lands where the double-click was.
    const LPARAM at = MAKELPARAM(pt.x - r.left, pt.y - r.top);
    SetFocus(editor_.Window());
    SendMessageA(editor_.Window(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(editor_.Window(), WM_LBUTTONUP, 0, at);
}

void CLumicardCtrl::OnRButtonDown(POINT pt)
{
    if (editor_.IsOpen()) {
        const std::string text = editor_.Text();
        if (!text.empty()) {
            SyncEditorText();
        } else if (editObj_) {
            // A box closed empty goes away.
            RemoveObject(editObj_);
            SetModifiedFlag(true);
        }
        HideEditor();
        InvalidateControl();
    }
    bool insideText = false;
    TitleObject *hit = HitTest(pt, &insideText);
    if (hit) SetSelection(hit, true);
    else SetSelection(nullptr, false);
}

void CLumicardCtrl::RemoveObject(TitleObject *o)
{
    if (editObj_ == o) HideEditor();
    if (sel_ == o) sel_ = nullptr;
    page_.erase(std::remove_if(page_.begin(), page_.end(), [o](const std::unique_ptr<TitleObject> &p) {
                    return p.get() == o;
                }),
                page_.end());
}

void CLumicardCtrl::OnKeyDown(UINT key)
{
    if (!sel_ || !sel_->tracker) return;
    RECT &r = sel_->tracker->rect;
    RECT old = r;
    switch (key) {
    case VK_LEFT: OffsetRect(&r, -1, 0); break;
    case VK_RIGHT: OffsetRect(&r, 1, 0); break;
    case VK_UP: OffsetRect(&r, 0, -1); break;
    case VK_DOWN: OffsetRect(&r, 0, 1); break;
    case VK_DELETE:
        RemoveObject(sel_);
        Changed();
        return;
    default:
        return;
    }
    SetModifiedFlag(true);
    if (EditingObject(sel_)) editor_.Move(r);
    InflateRect(&old, 10, 10);
    if (Window()) InvalidateRect(Window(), &old, FALSE);
    InvalidateControl();
}

void CLumicardCtrl::Reorder(UINT command)
{
    auto it = std::find_if(page_.begin(), page_.end(), [this](const auto &p) { return p.get() == sel_; });
    if (it == page_.end()) return;
    const size_t i = size_t(it - page_.begin());
    switch (command) {
    case ID_LM_BRING_TO_FRONT: std::rotate(page_.begin() + i, page_.begin() + i + 1, page_.end()); break;
    case ID_LM_SEND_TO_BACK: std::rotate(page_.begin(), page_.begin() + i, page_.begin() + i + 1); break;
    case ID_LM_BRING_FORWARD:
        if (i + 1 < page_.size()) std::swap(page_[i], page_[i + 1]);
        break;
    case ID_LM_SEND_BACKWARD:
        if (i > 0) std::swap(page_[i], page_[i - 1]);
        break;
    }
    Changed();
}

bool CLumicardCtrl::OnCommand(UINT id)
{
    DISPPARAMS none = {};
    VARIANT ignored;
    VariantInit(&ignored);
    DISPID method = 0;
    // Only the menu's commands; the editor's own notifications pass by.
    if (id < ID_LM_TEXT_EDIT || id > ID_LM_PREFERENCE) return false;
    TakeEditorText();
    switch (id) {
    case ID_LM_NEW: method = 1; break;
    case ID_LM_OPEN: method = 2; break;
    case ID_LM_SAVE: method = 3; break;
    case ID_LM_IMPORT_TEXT: method = 4; break;
    case ID_LM_IMPORT_IMAGE: method = 5; break;
    case ID_LM_EXPORT: method = 6; break;
    case ID_LM_SET_AS_DEFAULT: method = 26; break;
    case ID_LM_TITLE_MOTION: method = 85; break;
    case ID_LM_BACKGROUND: {
        static COLORREF custom[16];
        CHOOSECOLORA cc = {sizeof(cc)};
        cc.hwndOwner = Window();
        cc.rgbResult = background_;
        cc.lpCustColors = custom;
        cc.Flags = CC_FULLOPEN | CC_RGBINIT;
        if (ChooseColorA(&cc)) {
            background_ = cc.rgbResult;
            Changed();
        }
        return true;
    }
    case ID_LM_CUT:
    case ID_LM_COPY:
        if (!sel_ || sel_->type == TITLE_CLIP) return true;
        clipboard_ = CopyTitleObject(*sel_, defaults_, Scale());
        pasteCount_ = 1;
        if (id == ID_LM_CUT) {
            RemoveObject(sel_);
            Changed();
        }
        return true;
    case ID_LM_PASTE: {
        if (!clipboard_) return true;
        auto c = CopyTitleObject(*clipboard_, defaults_, Scale());
        OffsetRect(&c->tracker->rect, 10 * pasteCount_, 10 * pasteCount_);
        ++pasteCount_;
        TitleObject *p = c.get();
        page_.push_back(std::move(c));
        Select(p);
        Changed();
        return true;
    }
    case ID_LM_DELETE:
        if (Window()) SetFocus(Window());
        if (sel_) {
            RemoveObject(sel_);
            Changed();
        }
        return true;
    case ID_LM_BRING_TO_FRONT:
    case ID_LM_SEND_TO_BACK:
    case ID_LM_BRING_FORWARD:
    case ID_LM_SEND_BACKWARD:
        if (sel_) Reorder(id);
        return true;
    case ID_LM_PREFERENCE:
        return true;
    default:
        return false;
    }
    InvokeMethod(method, DISPATCH_METHOD, &none, &ignored);
    VariantClear(&ignored);
    return true;
}

void CLumicardCtrl::OnContextMenu(POINT screen)
{
    TakeEditorText();
    HMENU menu = LoadMenuA(cl::OleModule::instance, MAKEINTRESOURCEA(203));
    if (!menu) return;
    HMENU popup = GetSubMenu(menu, sel_ ? 2 : 1);
    // Paste only while the clipboard holds an object.
    EnableMenuItem(popup, ID_LM_PASTE, MF_BYCOMMAND | (clipboard_ ? MF_ENABLED : MF_GRAYED));
    MenuDrawer drawer;
    drawer.Convert(popup);
    menuDrawer_ = &drawer;
    if (screen.x == -1 && screen.y == -1) {
        GetCursorPos(&screen);
    }
    TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_RIGHTBUTTON, screen.x, screen.y, 0, Window(), nullptr);
    menuDrawer_ = nullptr;
    DestroyMenu(menu);
}

LRESULT CLumicardCtrl::WindowProc(UINT msg, WPARAM wp, LPARAM lp)
{
    const POINT pt = {short(LOWORD(lp)), short(HIWORD(lp))};
    switch (msg) {
    case WM_LBUTTONDOWN:
        OnLButtonDown(pt);
        return 0;
    case WM_LBUTTONDBLCLK:
        OnLButtonDblClk(pt);
        return 0;
    case WM_SHOWWINDOW:
        if (wp) EnsureEditor();
        break;
    case WM_DESTROY:
        editObj_ = nullptr;
        editing_ = false;
        editor_.Forget();
        break;
    case WM_RBUTTONDOWN:
        OnRButtonDown(pt);
        return 0;
    case WM_KEYDOWN:
        OnKeyDown(UINT(wp));
        break;
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_SETCURSOR:
        if (sel_ && sel_->tracker && LOWORD(lp) == HTCLIENT) {
            POINT p;
            GetCursorPos(&p);
            ScreenToClient(Window(), &p);
            const TrackerHit h = TrackerHitTest(sel_->tracker->rect, p);
            if (h != HIT_NOTHING) {
                SetCursor(TrackerCursor(h));
                return TRUE;
            }
        }
        break;
    case WM_COMMAND:
        if (!lp && OnCommand(LOWORD(wp))) return 0;
        break;
    case WM_CONTEXTMENU:
        OnContextMenu(pt);
        return 0;
    case WM_MEASUREITEM:
        if (menuDrawer_ && reinterpret_cast<MEASUREITEMSTRUCT *>(lp)->CtlType == ODT_MENU) {
            menuDrawer_->Measure(reinterpret_cast<MEASUREITEMSTRUCT *>(lp));
            return TRUE;
        }
        break;
    case WM_DRAWITEM:
        if (menuDrawer_ && reinterpret_cast<DRAWITEMSTRUCT *>(lp)->CtlType == ODT_MENU) {
            menuDrawer_->Draw(reinterpret_cast<DRAWITEMSTRUCT *>(lp));
            return TRUE;
        }
        break;
    }
    return COleControl::WindowProc(msg, wp, lp);
}

}  // namespace lumicard
