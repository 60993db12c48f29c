/*
 * The title panel of the main window: the title buttons (new, open, save,
 * image, alpha, motion, preview, apply, the programme title switch), the
 * style panel that edits the selected title object, and the two-step hand
 * off that puts a title on the programme (export, then the engine loads the
 * export once the control reports it).
 *
 * TitleSwitch is the hand-off alone (no window); CTitlePanel binds it and the
 * style panel to the main window's controls and the CLumicard wrapper.
 */
#ifndef CORV_MIXER_TITLE_PANEL_H
#define CORV_MIXER_TITLE_PANEL_H

#include "lumicard.h"
#include "wnd.h"
#include <functional>
#include <string>

class CMixerDlg;

/* Style panel controls. */
enum : UINT {
    IDC_STYLE_SIZE = 210, IDC_STYLE_OUTWIDTH = 211, IDC_STYLE_BOLD = 212, IDC_STYLE_ITALIC = 213,
    IDC_STYLE_UNDERLINE = 214, IDC_STYLE_OUTLINE = 215, IDC_STYLE_LINESPACE = 225, IDC_STYLE_OPAQUE = 227,
    IDC_STYLE_FONT = 230, IDC_STYLE_SHADOW_COLOUR = 241, IDC_STYLE_OUT_COLOUR = 242, IDC_STYLE_TEXT_COLOUR = 243,
    IDC_STYLE_BACK_COLOUR = 244, IDC_STYLE_DEPTH_X = 245, IDC_STYLE_DEPTH_Y = 246, IDC_STYLE_OPACITY = 1091,
    IDC_STYLE_OPACITY_UNIT = 1092, IDC_STYLE_SHADOW_TYPE = 1117, IDC_STYLE_ORIENTATION = 1118,
    IDC_STYLE_ALIGNMENT = 1119,
};

/* The style the panel shows and sends.  The face name is in code page 932. */
struct TitleStyle {
    std::string face;
    int size = 14, bold = 0, italic = 0, underline = 0, outline = 0, orientation = 0, alignment = 0;
    int outWidth = 1, lineSpace = 100, shadowType = 0, shadowX = 3, shadowY = 3;
    COLORREF textColour = 0x000000, outColour = 0xFFFFFF, shadowColour = 0x7F7F7F;
    int back = 0;
    COLORREF backColour = 0xFFFFFF;
    int backAlpha = 50;   /* percent */
};

/* "ＭＳ ゴシック" in code page 932. */
extern const char kDefaultTitleFace[];
TitleStyle DefaultTitleStyle();

/* What the hand-off does outside itself. */
struct TitleSwitchView {
    virtual ~TitleSwitchView() = default;
    virtual void ExportTitle() = 0;           /* LMExport */
    virtual void ApplyTitle(BOOL on) = 0;     /* the engine's TitleApply (on, 0, 0) */
    virtual void ShowTitleSwitch(int on) = 0;
};

/* The programme title switch: on only once the control has written the
 * export and reported it with TRUE. */
struct TitleSwitch {
    int &titleOn;
    TitleSwitchView &view;
    int applyPending = 0;

    TitleSwitch(int &on, TitleSwitchView &v) : titleOn(on), view(v) {}
    void Toggle();
    /* The apply button: re-exports; OnExported re-applies while the title is on. */
    void Apply();
    void OnExported(BOOL result);
};

class CTitlePanel : public TitleSwitchView {
public:
    CTitlePanel(CMixerDlg &dlg, CLumicard &box, int &titleOn);
    ~CTitlePanel() override;

    TitleSwitch titleSwitch;
    TitleStyle style = DefaultTitleStyle();
    /* The last orientation sent to the control. */
    int sentOrientation = 0;

    /* Test seams: the colour dialog (false: cancelled) and the opacity dialog. */
    std::function<bool(COLORREF *colour)> chooseColour;
    std::function<bool(unsigned *opacity)> chooseOpacity;

    /* The handlers of the title buttons and the style panel. */
    void Bind(cl::HandlerTable &h);
    /* Creates the style panel's controls in the main window. */
    void CreateControls(HWND parent);
    /* Style defaults, and the panel filled from them (engine start). */
    void ResetStyle();
    /* Fills the controls from the style. */
    void FillControls();
    /* The panel re-read from the selected object (OnSelChange). */
    void RefreshFromSelection();
    /* The control's events. */
    void OnControlEvent(DISPID id, DISPPARAMS *params);

    void OnNew();
    void OnOpen();
    void OnSave();
    void OnImage();
    void OnAlpha();
    void OnMotionFile();
    void OnPreview();
    void OnApply();
    void OnSizeChange();
    void OnFontChange();
    void OnOutWidthChange();
    void OnLineSpaceChange();
    void OnCheck(UINT id);
    void OnShadowType();
    void OnAlignment();
    void OnOrientation();
    void OnDepthSpin(UINT id, int delta);
    void OnOpaque();
    void OnOpacityChange();
    void OnColourButton(UINT id);

    /* TitleSwitchView */
    void ExportTitle() override;
    void ApplyTitle(BOOL on) override;
    void ShowTitleSwitch(int on) override;

private:
    bool Guarded() const;
    bool Selected();
    HWND Item(UINT id) const;
    int ComboIndex(UINT id) const;
    void SendBack();
    void FillFontList();
    void FillSizeList();
    void EnableBack();

    CMixerDlg &dlg_;
    CLumicard &box_;
    HWND parent_ = nullptr;
    bool filling_ = false;
    class ColourButton;
    ColourButton *colourButtons_[4] = {};
};

#endif
