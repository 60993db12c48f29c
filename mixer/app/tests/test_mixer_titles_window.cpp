/*
 * Titles and the pattern palette in the running main window over the real
 * engine and the real title-box control: the style panel, the programme
 * title switch and its hand-off, the title preview window and its timer,
 * the palette's pages, menu and favourite slots (a drag answered through
 * the slot's own drop target), the title file list, and a title on air in
 * the programme window.  Screenshots go to the artefacts folder.
 */
#define CATCH_CONFIG_RUNNER
#include <catch2/catch.hpp>
#include "test_paths.h"
#include <windows.h>
#include "box_capture.h"
#include "engine_calls.h"
#include "mixer_app.h"
#include "mixer_dlg.h"
#include "mixer_script.h"
#include "resource.h"
#include "screen_shot.h"
#include "title_preview.h"
#include <algorithm>

namespace {

CMixerApp theApp;

std::string Clip(const char *name) { return testpaths::ClipPath("MIXER_CLIPS", "mixerclips", name); }

/* Engine calls of the title path, recorded and passed on to the engine. */
struct TitleCalls {
    std::vector<int> applies;          /* TitleApply's first argument */
    std::atomic<int> previews{0};      /* PreviewTitle calls */
    std::atomic<int> reloads{0};       /* ... with reload TRUE */
};
TitleCalls *g_calls = nullptr;
std::vector<std::pair<int, double>> g_effects;   /* SetTransEffect's arguments */
int(WINAPI *realEffect)(int, double);
int WINAPI RecordEffect(int n, double seconds)
{
    g_effects.push_back({n, seconds});
    return realEffect(n, seconds);
}
void(WINAPI *realApply)(BOOL, int, int);
void(WINAPI *realPreview)(HDC, BOOL);
void WINAPI RecordApply(BOOL on, int a, int b)
{
    if (g_calls) g_calls->applies.push_back(on);
    realApply(on, a, b);
}
void WINAPI RecordPreview(HDC dc, BOOL reload)
{
    if (g_calls) {
        ++g_calls->previews;
        if (reload) ++g_calls->reloads;
    }
    realPreview(dc, reload);
}

struct TitleRun {
    EngineCalls saved = g_engine;
    TitleCalls calls;
    int workSpaceChoice = 0;
    std::vector<DISPID> dispids;
    CMixerDlg dlg;
    MixerScript script;

    explicit TitleRun(bool keepProfile = false)
    {
        theApp.profile.SetRoot("Software\\CorvaneTests\\Titles");
        if (!keepProfile) theApp.profile.DeleteAll();
        theApp.m_lpCmdLine = "";
        theApp.Prepare(dlg);
        dlg.startupPictureMs = 0;
        dlg.askWorkSpace = [this](int *c) { *c = workSpaceChoice; return true; };
        realApply = RealEngine().TitleApply;
        realPreview = RealEngine().PreviewTitle;
        g_engine.TitleApply = RecordApply;
        g_engine.PreviewTitle = RecordPreview;
        realEffect = RealEngine().SetTransEffect;
        g_engine.SetTransEffect = RecordEffect;
        g_effects.clear();
        g_calls = &calls;
        dlg.TitleBox().onCall = [this](DISPID id) { dispids.push_back(id); };
    }
    ~TitleRun()
    {
        g_calls = nullptr;
        g_engine = saved;
        theApp.m_pMainWnd = nullptr;
    }
    void Run()
    {
        script.Start([this] {
            if (dlg.m_hWnd) ::PostMessageA(dlg.m_hWnd, WM_CLOSE, 0, 0);
        });
        dlg.DoModal();
        INFO("script step that ran out of time: " << script.Failed());
        CHECK(script.Failed().empty());
        CHECK(script.Finished());
    }
    bool Called(DISPID id) const { return std::find(dispids.begin(), dispids.end(), id) != dispids.end(); }
};

/* A text object through the control's own dispatch (it becomes the selection). */
void NewText(CMixerDlg &d, const char *text)
{
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = TextToBstr(text, CP_ACP);
    REQUIRE(d.TitleBox().Invoke(63, DISPATCH_METHOD, &v, 1, nullptr) == S_OK);
    VariantClear(&v);
}

void Command(CMixerDlg &d, UINT id, UINT code = 0)
{
    d.SendMessage(WM_COMMAND, MAKEWPARAM(id, code), (LPARAM)d.GetDlgItem(id));
}

void ComboPick(CMixerDlg &d, UINT id, int index)
{
    ::SendMessageA(d.GetDlgItem(id), CB_SETCURSEL, (WPARAM)index, 0);
    Command(d, id, CBN_SELCHANGE);
}

std::string ComboText(CMixerDlg &d, UINT id)
{
    HWND c = d.GetDlgItem(id);
    int i = (int)::SendMessageA(c, CB_GETCURSEL, 0, 0);
    if (i < 0) return "<none>";
    char text[64] = "";
    ::SendMessageA(c, CB_GETLBTEXT, (WPARAM)i, (LPARAM)text);
    return text;
}

void Spin(CMixerDlg &d, UINT id, int delta)
{
    NMUPDOWN n = {};
    n.hdr.hwndFrom = d.GetDlgItem(id);
    n.hdr.idFrom = id;
    n.hdr.code = UDN_DELTAPOS;
    n.iDelta = delta;
    d.SendMessage(WM_NOTIFY, id, (LPARAM)&n);
}

bool Checked(CMixerDlg &d, UINT id) { return IsDlgButtonChecked(d.m_hWnd, id) == BST_CHECKED; }

/* Pixels of a window near colour c. */
int CountNear(const ScreenShot &s, unsigned c, int tol = 40)
{
    int n = 0;
    for (unsigned p : s.px)
        if (ScreenShot::Near(p & 0xFFFFFF, c, tol)) ++n;
    return n;
}

} // namespace

TEST_CASE("The style panel: defaults, stored without a selection, sent with one, limits", "[titles][style]")
{
    BoxCapture boxes;
    TitleRun run;
    CMixerDlg &d = run.dlg;
    int controlSize = 0;
    run.script.Wait(200)
        .Then("defaults in the panel", [&] {
            CHECK(ComboText(d, IDC_STYLE_SIZE) == " 14");
            CHECK(ComboText(d, IDC_STYLE_OUTWIDTH) == "  1");
            CHECK_FALSE(IsWindowEnabled(d.GetDlgItem(IDC_STYLE_OUTWIDTH)));
            CHECK(ComboText(d, IDC_STYLE_LINESPACE) == "100");
            CHECK(ComboText(d, IDC_STYLE_SHADOW_TYPE) == "None");
            CHECK(ComboText(d, IDC_STYLE_ALIGNMENT) == "Left");
            CHECK(ComboText(d, IDC_STYLE_ORIENTATION) == "Horizontal");
            for (UINT id : {IDC_STYLE_BOLD, IDC_STYLE_ITALIC, IDC_STYLE_UNDERLINE, IDC_STYLE_OUTLINE, IDC_STYLE_OPAQUE})
                CHECK_FALSE(Checked(d, id));
            CHECK(d.GetDlgItemText(IDC_STYLE_OPACITY) == "50");
            CHECK_FALSE(IsWindowEnabled(d.GetDlgItem(IDC_STYLE_OPACITY)));
            CHECK(d.titles.style.face == kDefaultTitleFace);
            CHECK(d.titles.style.shadowX == 3);
            CHECK(d.titles.style.shadowColour == 0x7F7F7F);
            /* The font list holds the screen's TrueType faces. */
            CHECK(::SendMessageA(d.GetDlgItem(IDC_STYLE_FONT), CB_GETCOUNT, 0, 0) > 0);
            return true;
        })
        .Then("nothing selected: 14 -> 20 is stored, not sent", [&] {
            REQUIRE(d.TitleBox().HasControl());
            controlSize = d.TitleBox().GetTextFontSize();
            run.dispids.clear();
            ComboPick(d, IDC_STYLE_SIZE, (20 - 8) / 2);
            CHECK(d.titles.style.size == 20);
            CHECK_FALSE(run.Called(13));
            CHECK(d.TitleBox().GetTextFontSize() == controlSize);
            return true;
        })
        .Then("a click on a spin's up arrow", [&] {
            CHECK(d.titles.style.shadowX == 3);
            SetForegroundWindow(d.m_hWnd);
            MouseClick(d.GetDlgItem(IDC_STYLE_DEPTH_X), 7, 3);   /* the upper half */
            return true;
        })
        .Then("raises the depth; one on the down arrow lowers it", [&] {
            if (d.titles.style.shadowX == 3) return false;
            CHECK(d.titles.style.shadowX == 4);
            MouseClick(d.GetDlgItem(IDC_STYLE_DEPTH_Y), 7, 15);  /* the lower half */
            return true;
        }, 5000)
        .Then("the other spin", [&] {
            if (d.titles.style.shadowY == 3) return false;
            CHECK(d.titles.style.shadowY == 2);
            return true;
        }, 5000)
        .Then("spins stop at 5 and at 0", [&] {
            for (int k = 0; k < 4; ++k) Spin(d, IDC_STYLE_DEPTH_X, 1);
            CHECK(d.titles.style.shadowX == 5);
            for (int k = 0; k < 7; ++k) Spin(d, IDC_STYLE_DEPTH_Y, -1);
            CHECK(d.titles.style.shadowY == 0);
            return true;
        })
        .Then("150 typed in the opacity field becomes 100", [&] {
            d.SetDlgItemText(IDC_STYLE_OPACITY, "150");
            CHECK(d.GetDlgItemText(IDC_STYLE_OPACITY) == "100");
            CHECK(d.titles.style.backAlpha == 100);
            return true;
        })
        .Then("with a selected text object the values reach the control", [&] {
            NewText(d, "Style");
            REQUIRE(d.TitleBox().GetSelected());
            run.dispids.clear();
            ComboPick(d, IDC_STYLE_SIZE, (24 - 8) / 2);
            CHECK(d.TitleBox().GetTextFontSize() == 24);
            CheckDlgButton(d.m_hWnd, IDC_STYLE_BOLD, BST_CHECKED);
            Command(d, IDC_STYLE_BOLD, BN_CLICKED);
            CHECK(d.TitleBox().GetTextBold() == 1);
            CheckDlgButton(d.m_hWnd, IDC_STYLE_OUTLINE, BST_CHECKED);
            Command(d, IDC_STYLE_OUTLINE, BN_CLICKED);
            CHECK(IsWindowEnabled(d.GetDlgItem(IDC_STYLE_OUTWIDTH)));
            Spin(d, IDC_STYLE_DEPTH_Y, 1);
            CHECK(d.TitleBox().GetTextShadowDepthX() == 5);
            CHECK(d.TitleBox().GetTextShadowDepthY() == 1);
            /* The orientation goes out only when it changes. */
            run.dispids.clear();
            ComboPick(d, IDC_STYLE_ORIENTATION, 0);
            CHECK_FALSE(run.Called(16));
            ComboPick(d, IDC_STYLE_ORIENTATION, 1);
            CHECK(std::count(run.dispids.begin(), run.dispids.end(), 16) == 1);
            ComboPick(d, IDC_STYLE_ORIENTATION, 1);
            CHECK(std::count(run.dispids.begin(), run.dispids.end(), 16) == 1);
            /* The back box: opacity first, then the box. */
            run.dispids.clear();
            CheckDlgButton(d.m_hWnd, IDC_STYLE_OPAQUE, BST_CHECKED);
            Command(d, IDC_STYLE_OPAQUE, BN_CLICKED);
            CHECK(IsWindowEnabled(d.GetDlgItem(IDC_STYLE_OPACITY)));
            CHECK(d.TitleBox().GetTextBack() == 1);
            CHECK(d.TitleBox().GetTextBackAlpha() == 100);
            auto at9 = std::find(run.dispids.begin(), run.dispids.end(), 9);
            auto at22 = std::find(run.dispids.begin(), run.dispids.end(), 22);
            CHECK(at9 < at22);
            /* A colour from the colour dialog. */
            d.titles.chooseColour = [](COLORREF *c) { *c = RGB(0, 0, 255); return true; };
            Command(d, IDC_STYLE_BACK_COLOUR, BN_CLICKED);
            CHECK(d.TitleBox().GetTextBackColor() == (long)RGB(0, 0, 255));
            d.titles.chooseColour = [](COLORREF *) { return false; };
            Command(d, IDC_STYLE_TEXT_COLOUR, BN_CLICKED);
            CHECK(d.titles.style.textColour == 0);
            /* A face from the list, in the control's own spelling. */
            HWND fonts = d.GetDlgItem(IDC_STYLE_FONT);
            REQUIRE(::SendMessageW(fonts, CB_GETCOUNT, 0, 0) > 0);
            ComboPick(d, IDC_STYLE_FONT, 0);
            WCHAR face[64] = {};
            ::SendMessageW(fonts, CB_GETLBTEXT, 0, (LPARAM)face);
            BSTR b = SysAllocString(face);
            CHECK(d.titles.style.face == BstrToText(b, kStyleCodePage));
            SysFreeString(b);
            CHECK(d.TitleBox().GetTextFont() == d.titles.style.face);
            return true;
        })
        .Then("the colour buttons show their colours", [&] {
            HWND back = d.GetDlgItem(IDC_STYLE_BACK_COLOUR), text = d.GetDlgItem(IDC_STYLE_TEXT_COLOUR);
            InvalidateRect(back, nullptr, TRUE);
            UpdateWindow(back);
            InvalidateRect(text, nullptr, TRUE);
            UpdateWindow(text);
            ScreenShot sb = ScreenShot::Window(back), st = ScreenShot::Window(text);
            CHECK(ScreenShot::Near(sb.At(1, 1) & 0xFFFFFF, 0x0000FF, 8));   /* blue, as chosen */
            CHECK(ScreenShot::Near(st.At(1, 1) & 0xFFFFFF, 0x000000, 8));   /* the text colour, black */
            return true;
        })
        .Then("the alpha button wants an image object", [&] {
            boxes.clear();
            Command(d, IDC_TITLE_ALPHA);
            CHECK(boxes.texts() == std::vector<std::string>{"This effect applicable image object only !!"});
            d.TitleBox().LMNew();
            boxes.clear();
            Command(d, IDC_TITLE_ALPHA);
            CHECK(boxes.texts().size() == 1);
            return true;
        })
        .Then("a selection change reads the panel back", [&] {
            NewText(d, "Again");
            d.TitleBox().SetTextFontSize(40);
            d.TitleBox().SetTextUnderline(1);
            d.titles.RefreshFromSelection();
            CHECK(ComboText(d, IDC_STYLE_SIZE) == " 40");
            CHECK(Checked(d, IDC_STYLE_UNDERLINE));
            CHECK(d.titles.style.size == 40);
            return true;
        });
    run.Run();
}

TEST_CASE("The programme title goes on only after the control reports its export", "[titles][switch]")
{
    TitleRun run;
    CMixerDlg &d = run.dlg;
    run.script.Wait(200)
        .Then("on with the control's report: export, then the engine loads the title", [&] {
            NewText(d, "On air");
            run.dispids.clear();
            Command(d, IDC_TITLE_ONOFF);
            CHECK(run.Called(6));
            CHECK(run.calls.applies == std::vector<int>{TRUE});
            CHECK(d.m_bTitleOn == 1);
            CHECK(d.ButtonState(IDC_TITLE_ONOFF) == 0);
            Command(d, IDC_TITLE_ONOFF);
            CHECK(run.calls.applies == std::vector<int>{TRUE, FALSE});
            CHECK(d.m_bTitleOn == 0);
            CHECK(d.ButtonState(IDC_TITLE_ONOFF) == 1);
            return true;
        })
        .Then("without a report nothing reaches the engine until OnExported(TRUE)", [&] {
            d.TitleBox().DisconnectEvents();
            run.calls.applies.clear();
            Command(d, IDC_TITLE_ONOFF);
            CHECK(run.calls.applies.empty());
            CHECK(d.ButtonState(IDC_TITLE_ONOFF) == 0);
            VARIANT arg;
            VariantInit(&arg);
            V_VT(&arg) = VT_BOOL;
            V_BOOL(&arg) = VARIANT_FALSE;
            DISPPARAMS p = {&arg, nullptr, 1, 0};
            d.titles.OnControlEvent(DISPID_ONEXPORTED, &p);
            CHECK(run.calls.applies.empty());   /* a failed export loads nothing */
            V_BOOL(&arg) = VARIANT_TRUE;
            d.titles.OnControlEvent(DISPID_ONEXPORTED, &p);
            CHECK(run.calls.applies == std::vector<int>{TRUE});
            /* Apply while on: exported again, applied again on the report. */
            Command(d, IDC_TITLE_APPLY);
            CHECK(run.calls.applies.size() == 1);
            d.titles.OnControlEvent(DISPID_ONEXPORTED, &p);
            CHECK(run.calls.applies == std::vector<int>{TRUE, TRUE});
            return true;
        });
    run.Run();
}

TEST_CASE("The title preview window: one 33 ms timer that draws the exported title", "[titles][preview]")
{
    TitleRun run;
    CMixerDlg &d = run.dlg;
    CTitlePreviewDlg *pv = nullptr;
    long framesAtExit = 0;
    run.script.Wait(200)
        .Then("a red boxed title, shown twice", [&] {
            NewText(d, "PREVIEW");
            d.TitleBox().SetTextBack(1);
            d.TitleBox().SetTextBackAlpha(100);
            d.TitleBox().SetTextBackColor(RGB(255, 0, 0));
            pv = d.TitlePreview();
            REQUIRE(pv);
            CHECK_FALSE(pv->IsWindowVisible());
            Command(d, IDC_TITLE_PREVIEW);
            CHECK(pv->IsWindowVisible());
            RECT wr = d.GetWindowRect(), pr = pv->GetWindowRect();
            CHECK(pr.left == wr.left);
            CHECK(pr.top == wr.bottom - 315);
            CHECK(pr.right - pr.left == 350);
            CHECK(pr.bottom - pr.top == 315);
            CHECK(CTitlePreviewDlg::LiveTimers() == 0);
            pv->SendMessage(WM_COMMAND, IDC_PREVIEW_SHOW);
            UINT first = pv->TimerId();
            CHECK(first != 0);
            pv->SendMessage(WM_COMMAND, IDC_PREVIEW_SHOW);
            CHECK(pv->TimerId() != 0);
            CHECK(CTitlePreviewDlg::LiveTimers() == 1);
            CHECK(run.calls.reloads == 2);
            CHECK(run.Called(86));
            return true;
        })
        .Then("the timer draws", [&] { return pv->TimerFrames() >= 10; })
        .Then("the title's box is in the preview area", [&] {
            ScreenShot s = ScreenShot::Window(pv->GetDlgItem(IDC_PREVIEW_AREA));
            s.Save("title_preview.bmp");
            INFO("red pixels " << CountNear(s, 0xFF0000));
            return CountNear(s, 0xFF0000) > 500;
        })
        .Then("exit hides, the timer runs on", [&] {
            pv->SendMessage(WM_COMMAND, IDC_PREVIEW_EXIT);
            CHECK_FALSE(pv->IsWindowVisible());
            CHECK(CTitlePreviewDlg::LiveTimers() == 1);
            framesAtExit = pv->TimerFrames();
            return true;
        })
        .Then("still drawing while hidden", [&] { return pv->TimerFrames() > framesAtExit + 3; })
        .Then("closing stops the timer", [&] {
            Command(d, IDC_TITLE_PREVIEW);
            pv->SendMessage(WM_CLOSE);
            CHECK(CTitlePreviewDlg::LiveTimers() == 0);
            CHECK(pv->TimerId() == 0);
            CHECK_FALSE(pv->IsWindowVisible());
            framesAtExit = pv->TimerFrames();
            return true;
        })
        .Wait(200)
        .Then("no frames after closing", [&] {
            CHECK(pv->TimerFrames() == framesAtExit);
            /* Shown again, it starts over with one timer. */
            pv->SendMessage(WM_COMMAND, IDC_PREVIEW_SHOW);
            CHECK(CTitlePreviewDlg::LiveTimers() == 1);
            return true;
        });
    run.Run();
    /* Closing the main window closed the preview and its timer. */
    CHECK(CTitlePreviewDlg::LiveTimers() == 0);
}

TEST_CASE("A 720 by 480 work space gives a 213-pixel preview area", "[titles][preview]")
{
    TitleRun run;
    run.workSpaceChoice = 2;
    CMixerDlg &d = run.dlg;
    run.script.Wait(200).Then("area", [&] {
        Command(d, IDC_TITLE_PREVIEW);
        HWND area = d.TitlePreview()->GetDlgItem(IDC_PREVIEW_AREA);
        RECT r;
        GetWindowRect(area, &r);
        POINT p = {r.left, r.top};
        ScreenToClient(d.TitlePreview()->m_hWnd, &p);
        CHECK(r.right - r.left == 320);
        CHECK(r.bottom - r.top == 213);
        CHECK(p.x == 15);
        CHECK(p.y == 50);
        return true;
    });
    run.Run();
}

TEST_CASE("The pattern palette: pages, the menu and favourites dragged onto slots", "[palette]")
{
    {
        TitleRun run;
        CMixerDlg &d = run.dlg;
        run.script.Wait(200)
            .Then("44 thumbnails, four pages", [&] {
                CHECK(d.palette.Count() == 44);
                CHECK(d.palette.PageCount() == 4);
                for (int i = 0; i < 44; ++i) CHECK(IsWindowVisible(d.paletteWnds.Thumb(i)) == (i < 12));
                CHECK(d.m_nTransition == 0);
                CHECK(d.GetDlgItemText(IDC_PATTERN_NAME) == "Cut");
                for (int k = 0; k < 3; ++k) Command(d, IDC_PAGE_DOWN);
                CHECK(d.palette.Page() == 3);
                for (int i = 0; i < 44; ++i) {
                    INFO("pattern " << i);
                    CHECK(IsWindowVisible(d.paletteWnds.Thumb(i)) == (i >= 36));
                }
                Command(d, IDC_PAGE_DOWN);
                CHECK(d.palette.Page() == 3);
                Command(d, IDC_PAGE_ZERO);
                CHECK(d.palette.Page() == 0);
                /* While the scheduler drives the mixer the page buttons rest,
                 * also while one of its requests runs. */
                for (int request = 0; request <= 1; ++request) {
                    d.m_bRemoteMode = 1;
                    d.m_bRemoteCommand = request;
                    Command(d, IDC_PAGE_DOWN);
                    CHECK(d.palette.Page() == 0);
                }
                d.m_bRemoteMode = d.m_bRemoteCommand = 0;
                return true;
            })
            .Then("the Transition Effect menu", [&] {
                HMENU effect = GetSubMenu(d.Menu(), 2);
                HMENU sub = GetSubMenu(effect, 0);
                REQUIRE(sub);
                CHECK(GetMenuItemCount(sub) == 44);
                CHECK(GetMenuItemID(sub, 0) == ID_PATTERN_FIRST);
                Command(d, ID_PATTERN_FIRST + 30);
                CHECK(d.m_nTransition == 30);
                CHECK(d.switcher.transition == 30);   /* the next switch uses it */
                CHECK(d.palette.Page() == 2);
                CHECK(d.GetDlgItemText(IDC_PATTERN_NAME) == g_engine.GetTransEffectName(30));
                CHECK(GetMenuState(sub, ID_PATTERN_FIRST + 30, MF_BYCOMMAND) & MF_CHECKED);
                CHECK_FALSE(GetMenuState(sub, ID_PATTERN_FIRST, MF_BYCOMMAND) & MF_CHECKED);
                return true;
            })
            .Then("pattern 7 dragged onto slot 3", [&] {
                IDropTarget *target = d.paletteWnds.SlotTarget(2);
                REQUIRE(target);
                DWORD overEffect = 0;
                d.paletteWnds.runDrag = [&](IDataObject *data, IDropSource *source, DWORD, DWORD *effect) {
                    POINTL pt = {0, 0};
                    CHECK(source->QueryContinueDrag(FALSE, MK_LBUTTON) == S_OK);
                    target->DragEnter(data, MK_LBUTTON, pt, effect);
                    target->DragOver(MK_LBUTTON | MK_CONTROL, pt, &overEffect);
                    CHECK(source->QueryContinueDrag(FALSE, 0) == DRAGDROP_S_DROP);
                    target->Drop(data, MK_LBUTTON, pt, effect);
                    return DRAGDROP_S_DROP;
                };
                ::SendMessageA(d.paletteWnds.Thumb(7), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
                CHECK(overEffect == DROPEFFECT_COPY);
                CHECK(g_hPatternDrag == nullptr);
                CHECK(theApp.profile.GetInt("FavoritePatterns", "Pattern_3", -99) == 7);
                CHECK(d.palette.SlotPattern(2) == 7);
                CHECK(d.m_nTransition == 7);   /* the dragged pattern became current */
                CHECK(d.palette.SlotLit(2));
                /* Pattern 7 onto slot 5 afterwards changes nothing. */
                target = d.paletteWnds.SlotTarget(4);
                ::SendMessageA(d.paletteWnds.Thumb(7), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
                CHECK(d.palette.SlotPattern(4) == -1);
                CHECK(theApp.profile.GetInt("FavoritePatterns", "Pattern_5", -99) == -99);
                /* A drop with no drag under way is refused. */
                DWORD effect = DROPEFFECT_MOVE;
                POINTL pt = {0, 0};
                target->Drop(nullptr, 0, pt, &effect);
                CHECK(effect == DROPEFFECT_NONE);
                return true;
            })
            .Then("the slot shows the pattern with its green frame", [&] {
                UpdateWindow(d.paletteWnds.Slot(2));
                ScreenShot s = ScreenShot::Window(d.paletteWnds.Slot(2));
                s.Save("palette_slot3.bmp");
                CHECK(ScreenShot::Near(s.At(0, 20) & 0xFFFFFF, 0x00FF00));
                CHECK(ScreenShot::Near(s.At(5, 30) & 0xFFFFFF, 0xEB9628, 40));   /* pattern 7's B half */
                CHECK(ScreenShot::Near(s.At(5, 10) & 0xFFFFFF, 0x2846AA, 40));   /* and its A half */
                return true;
            })
            .Then("clicking the slot selects its pattern", [&] {
                Command(d, ID_PATTERN_FIRST + 0);
                ::SendMessageA(d.paletteWnds.Slot(2), WM_LBUTTONDOWN, MK_LBUTTON, 0);
                CHECK(d.m_nTransition == 7);
                CHECK(d.switcher.transition == 7);
                CHECK(d.palette.Page() == 0);
                return true;
            })
            .Then("a new project starts from the cut", [&] {
                d.NewProject();
                CHECK(d.m_nTransition == 0);
                CHECK(d.switcher.transition == 0);
                CHECK(d.palette.Current() == 0);
                CHECK(d.GetDlgItemText(IDC_PATTERN_NAME) == "Cut");
                CHECK(d.palette.SlotPattern(2) == 7);   /* favourites stay */
                return true;
            });
        run.Run();
    }
    {
        /* A restart finds pattern 7 in slot 3; a double click empties it. */
        TitleRun run(true);
        CMixerDlg &d = run.dlg;
        run.script.Wait(200).Then("slot 3 after a restart", [&] {
            CHECK(d.palette.SlotPattern(2) == 7);
            ::SendMessageA(d.paletteWnds.Slot(2), WM_LBUTTONDBLCLK, MK_LBUTTON, 0);
            CHECK(d.palette.SlotPattern(2) == -1);
            CHECK(theApp.profile.GetInt("FavoritePatterns", "Pattern_3", -99) == -1);
            return true;
        });
        run.Run();
    }
}

namespace {

std::string TempFolder(const char *name)
{
    char tmp[MAX_PATH];
    GetTempPathA(MAX_PATH, tmp);
    std::string root = std::string(tmp) + name;
    CreateDirectoryA(root.c_str(), nullptr);
    return root;
}

std::vector<std::string> ListTexts(HWND list)
{
    std::vector<std::string> out;
    int n = (int)::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
    for (int i = 0; i < n; ++i) {
        char text[MAX_PATH] = "";
        LVITEMA it = {};
        it.iSubItem = 0;
        it.pszText = text;
        it.cchTextMax = sizeof text;
        ::SendMessageA(list, LVM_GETITEMTEXTA, (WPARAM)i, (LPARAM)&it);
        out.push_back(text);
    }
    return out;
}

int IndexOf(HWND list, const std::string &name)
{
    auto t = ListTexts(list);
    auto it = std::find(t.begin(), t.end(), name);
    return it == t.end() ? -1 : (int)(it - t.begin());
}

void DoubleClick(CMixerDlg &d, int index)
{
    NMITEMACTIVATE n = {};
    n.hdr.hwndFrom = d.GetDlgItem(IDC_FILE_LIST);
    n.hdr.idFrom = IDC_FILE_LIST;
    n.hdr.code = NM_DBLCLK;
    n.iItem = index;
    d.SendMessage(WM_NOTIFY, IDC_FILE_LIST, (LPARAM)&n);
}

std::string Bytes(const std::string &path)
{
    std::string all;
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return all;
    char buf[4096];
    DWORD got = 0;
    while (ReadFile(f, buf, sizeof buf, &got, nullptr) && got) all.append(buf, got);
    CloseHandle(f);
    return all;
}

} // namespace

TEST_CASE("The title file list: folders, title files, navigation and opening", "[filelist]")
{
    std::string root = TempFolder(cl::Format("titles_list%lu", GetCurrentProcessId()).c_str());
    std::string sub = root + "\\sub";
    CreateDirectoryA(sub.c_str(), nullptr);
    for (int k = 0; k < 9; ++k) CloseHandle(CreateFileA(cl::Format("%s\\many%d.lmf", sub.c_str(), k).c_str(),
                                                        GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    CloseHandle(CreateFileA((root + "\\notes.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    std::string saved = root + "\\first.lmf", again = root + "\\again.lmf";

    TitleRun run;
    theApp.profile.WriteString("Corvane", "QuickOpenFolder", root);
    CMixerDlg &d = run.dlg;
    HWND list = nullptr;
    run.script.Wait(200)
        .Then("a title saved into the folder shows after a refresh", [&] {
            list = d.GetDlgItem(IDC_FILE_LIST);
            CHECK(d.GetDlgItemText(IDC_FOLDER_FIELD) == root);
            CHECK(ListTexts(list) == std::vector<std::string>{"..", "sub"});
            NewText(d, "From the list");
            d.TitleBox().LMSaveDirectlyLMF(saved);
            d.fileList.Refresh();
            CHECK(ListTexts(list) == std::vector<std::string>{"..", "sub", "first.lmf"});
            CHECK(::SendMessageA(list, LVM_GETCOLUMNWIDTH, 0, 0) == 296);
            return true;
        })
        .Then("into the folder with Enter and back up", [&] {
            LVITEMA sel = {};
            sel.stateMask = sel.state = LVIS_SELECTED | LVIS_FOCUSED;
            ::SendMessageA(list, LVM_SETITEMSTATE, (WPARAM)IndexOf(list, "sub"), (LPARAM)&sel);
            NMLVKEYDOWN key = {};
            key.hdr.hwndFrom = list;
            key.hdr.idFrom = IDC_FILE_LIST;
            key.hdr.code = LVN_KEYDOWN;
            key.wVKey = VK_RETURN;
            d.SendMessage(WM_NOTIFY, IDC_FILE_LIST, (LPARAM)&key);
            CHECK(d.m_strQuickOpenFolder == sub);
            CHECK(ListTexts(list).size() == 10);
            CHECK(::SendMessageA(list, LVM_GETCOLUMNWIDTH, 0, 0) == 280);
            DoubleClick(d, IndexOf(list, ".."));
            CHECK(d.m_strQuickOpenFolder == root);
            CHECK(IndexOf(list, "first.lmf") >= 0);
            return true;
        })
        .Then("a title file opens in the control", [&] {
            d.TitleBox().LMNew();
            run.dispids.clear();
            DoubleClick(d, IndexOf(list, "first.lmf"));
            CHECK(d.fileList.chosenPath == saved);
            return true;
        })
        .Then("the chosen file reaches the control through 0x4400", [&] { return run.Called(7); })
        .Then("the page is the saved one", [&] {
            d.TitleBox().LMSaveDirectlyLMF(again);
            std::string a = Bytes(saved), b = Bytes(again);
            CHECK(!a.empty());
            CHECK(a == b);
            return true;
        })
        .Then("the folder button", [&] {
            d.fileList.chooseFolder = [&](std::string *f) { *f = sub; return true; };
            Command(d, IDC_FOLDER_BUTTON);
            CHECK(d.m_strQuickOpenFolder == sub);
            CHECK(IndexOf(list, "many0.lmf") >= 0);
            d.TitleBox().LMNew();
            return true;
        });
    run.Run();
    CHECK(theApp.profile.GetString("Corvane", "QuickOpenFolder", "") == sub);
    for (int k = 0; k < 9; ++k) DeleteFileA(cl::Format("%s\\many%d.lmf", sub.c_str(), k).c_str());
    for (const std::string &f : {saved, again, root + "\\notes.txt"}) DeleteFileA(f.c_str());
    RemoveDirectoryA(sub.c_str());
    RemoveDirectoryA(root.c_str());
}

TEST_CASE("A title on air over channel 1 in the programme window", "[titles][onair]")
{
    BoxCapture boxes;
    TitleRun run;
    CMixerDlg &d = run.dlg;
    int bx = 0, by = 0;
    run.script.Wait(200)
        .Then("channel 1 on air", [&] {
            CHECK(d.OpenFileOnChannel(0, Clip("channel1.avi")));
            CHECK(d.deck.onAir == 1);
            return true;
        })
        .Wait(800)
        .Then("a magenta boxed title over the clip's lower half, switched on", [&] {
            NewText(d, "ON AIR");
            d.TitleBox().SetTextBack(1);
            d.TitleBox().SetTextBackAlpha(100);
            d.TitleBox().SetTextBackColor(RGB(255, 0, 255));
            VARIANT at[2];
            V_VT(&at[0]) = V_VT(&at[1]) = VT_I2;
            V_I2(&at[0]) = 40;
            V_I2(&at[1]) = 150;
            REQUIRE(d.TitleBox().Invoke(76, DISPATCH_METHOD, at, 2, nullptr) == S_OK);   /* SetObjPosition */
            bx = d.TitleBox().GetObjPositionX();
            by = d.TitleBox().GetObjPositionY();
            CHECK(bx == 40);
            CHECK(by == 150);
            Command(d, IDC_TITLE_ONOFF);
            CHECK(run.calls.applies == std::vector<int>{TRUE});
            return true;
        })
        .Then("the programme shows the title's box over the clip", [&] {
            ScreenShot s = ScreenShot::Window(d.ProgrammeWindow());
            unsigned inBox = s.At(bx + 3, by + 3) & 0xFFFFFF;
            unsigned clip = s.At(s.w - 20, 3 * s.h / 4) & 0xFFFFFF;
            unsigned bars = s.At(s.w / 8, s.h / 4) & 0xFFFFFF;
            INFO(cl::Format("box (%d,%d) %06x, clip %06x", bx + 3, by + 3, inBox, clip));
            if (!ScreenShot::Near(inBox, 0xFF00FF, 40) || !ScreenShot::Near(clip, 0xFFFF00, 40) ||
                !ScreenShot::Near(bars, 0xFF0000, 40))
                return false;
            ScreenShot::Window(d.m_hWnd).Save("mixer_title_on_air.bmp");
            return true;
        })
        .Then("switched off, the box goes", [&] {
            if (d.m_bTitleOn) Command(d, IDC_TITLE_ONOFF);
            ScreenShot s = ScreenShot::Window(d.ProgrammeWindow());
            return ScreenShot::Near(s.At(bx + 3, by + 3) & 0xFFFFFF, 0xFFFF00, 40);
        })
        .Then("channel 2 in preview, a wipe chosen from the palette's menu, switched", [&] {
            CHECK(d.OpenFileOnChannel(1, Clip("channel2.avi")));
            d.deck.OnSelectChannel(2);
            CHECK(d.deck.preview == 2);
            Command(d, ID_PATTERN_FIRST + 1);
            g_effects.clear();
            Command(d, IDC_SWITCH);
            CHECK(g_effects.size() == 1);
            if (g_effects.empty()) return true;
            CHECK(g_effects[0].first == 1);
            CHECK(g_effects[0].second == Approx(1.0));
            return true;
        })
        .Then("the wipe ends with channel 2 on air", [&] { return d.deck.onAir == 2 && !d.deck.switching; })
        .Then("close", [&] {
            boxes.answer(IDYES);
            d.OnExit();
            return true;
        });
    run.Run();
}

TEST_CASE("A bold title's last letter is on air; the font list names each face once", "[titles][onair][bold]")
{
    BoxCapture boxes;
    TitleRun run;
    CMixerDlg &d = run.dlg;
    const int bx = 10, by = 120;
    long plainW = 0, boldW = 0;
    run.script.Wait(200)
        .Then("each face once in the font list", [&] {
            HWND c = d.GetDlgItem(IDC_STYLE_FONT);
            const int n = (int)::SendMessageW(c, CB_GETCOUNT, 0, 0);
            CHECK(n > 0);
            std::vector<std::u16string> faces;
            for (int i = 0; i < n; ++i) {
                WCHAR t[LF_FACESIZE + 1] = {};
                if (::SendMessageW(c, CB_GETLBTEXTLEN, (WPARAM)i, 0) <= LF_FACESIZE)
                    ::SendMessageW(c, CB_GETLBTEXT, (WPARAM)i, (LPARAM)t);
                faces.push_back((const char16_t *)t);
            }
            std::sort(faces.begin(), faces.end());
            CHECK(std::adjacent_find(faces.begin(), faces.end()) == faces.end());
            return true;
        })
        .Then("channel 1 on air", [&] {
            CHECK(d.OpenFileOnChannel(0, Clip("channel1.avi")));
            return d.deck.onAir == 1;
        })
        .Wait(500)
        .Then("BREAKING NEWS in green on a magenta box", [&] {
            NewText(d, "BREAKING NEWS");
            d.TitleBox().SetTextColor(RGB(0, 255, 0));
            d.TitleBox().SetTextBack(1);
            d.TitleBox().SetTextBackAlpha(100);
            d.TitleBox().SetTextBackColor(RGB(255, 0, 255));
            VARIANT at[2];
            V_VT(&at[0]) = V_VT(&at[1]) = VT_I2;
            V_I2(&at[0]) = bx;
            V_I2(&at[1]) = by;
            REQUIRE(d.TitleBox().Invoke(76, DISPATCH_METHOD, at, 2, nullptr) == S_OK);   /* SetObjPosition */
            plainW = d.TitleBox().GetFullWidth();
            return true;
        })
        .Then("the Bold box clicked", [&] {
            SetForegroundWindow(d.m_hWnd);
            MouseClick(d.GetDlgItem(IDC_STYLE_BOLD), 7, 8);
            return true;
        })
        .Then("the text is bold, wider, and its box holds it", [&] {
            if (d.TitleBox().GetTextBold() != 1) return false;
            boldW = d.TitleBox().GetFullWidth();
            VARIANT w;
            VariantInit(&w);
            REQUIRE(SUCCEEDED(d.TitleBox().InvokeHelper(65, VT_I4, &w, nullptr, 0)));   /* the box's width */
            INFO("plain " << plainW << ", bold " << boldW << ", box " << V_I4(&w));
            CHECK(boldW > plainW);
            CHECK(V_I4(&w) >= boldW);
            Command(d, IDC_TITLE_ONOFF);
            return true;
        })
        .Then("the last letter's right part is on the programme", [&] {
            ScreenShot s = ScreenShot::Window(d.ProgrammeWindow());
            if (!ScreenShot::Near(s.At(bx + 2, by + 2) & 0xFFFFFF, 0xFF00FF, 40)) return false;
            /* The last twentieth of the text's width: the S's right side. */
            int green = 0;
            for (int x = bx + boldW - boldW / 20; x < bx + boldW - 2 && x < s.w; ++x)
                for (int y = by; y < by + 60 && y < s.h; ++y)
                    if (ScreenShot::Near(s.At(x, y) & 0xFFFFFF, 0x00FF00, 60)) ++green;
            INFO("green pixels in the last letter's strip: " << green);
            if (green < 10) return false;
            ScreenShot::Window(d.m_hWnd).Save("mixer_bold_title_on_air.bmp");
            return true;
        })
        .Then("close", [&] {
            if (d.m_bTitleOn) Command(d, IDC_TITLE_ONOFF);
            boxes.answer(IDYES);
            d.OnExit();
            return true;
        });
    run.Run();
}

/* As the other window tests: the result is handed over at once (see test_mixer_window). */
int main(int argc, char *argv[])
{
    int result = Catch::Session().run(argc, argv);
    fflush(stdout);
    fflush(stderr);
    TerminateProcess(GetCurrentProcess(), (UINT)result);
    return result;
}
