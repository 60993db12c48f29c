/*
 * CLumicard: the mixer's wrapper of the title-box control (control 1125).
 * One method per dispatch method the mixer uses, each a plain call by
 * DISPID through the hosting window; the wrapper keeps no state of its own.
 * Texts cross as byte strings in the Japanese code page (932), the code page
 * of the mixer's style texts; they reach the control as BSTRs.
 *
 * Without a control every call does nothing and answers 0 (or "").
 * User-interface thread only.
 */
#ifndef CORV_MIXER_LUMICARD_H
#define CORV_MIXER_LUMICARD_H

#include "olehost.h"
#include <functional>
#include <string>

/* The control's events interface and the events the mixer listens to. */
extern const IID DIID_LumicardEvents;
constexpr DISPID DISPID_ONEXPORTED = 28;
constexpr DISPID DISPID_ONSELCHANGE = 29;
constexpr DISPID DISPID_ONLMEXPORTEDASPREVIEW = 30;

/* Code page of the style texts. */
constexpr UINT kStyleCodePage = 932;

class CLumicard : public cl::COleControlHost {
public:
    /* Sees every call's DISPID before it goes out (tests). */
    std::function<void(DISPID)> onCall;

    void LMNew();
    void LMOpen();
    void LMSave();
    void LMImportImage();
    void LMExport();
    void LMOpenDirectly(const std::string &path);
    short SetTextAlignment(short align);
    short SetTextBackAlpha(short alpha);
    short SetImageAlpha(short alpha);
    short SetTextBold(short bold);
    std::string SetTextFont(const std::string &face);
    short SetTextFontSize(short size);
    short SetTextItalic(short italic);
    short SetTextLineSpace(short space);
    short SetTextOrientation(short orient);
    short SetTextOutWidth(short width);
    short SetTextOutline(short outline);
    long SetTextShadowDepth(short x, short y);
    short SetTextShadowType(short type);
    short SetTextUnderline(short underline);
    short SetTextBack(short back);
    short SetMotion(short motion);
    long SetTextBackColor(long colour);
    long SetTextColor(long colour);
    long SetTextOutColor(long colour);
    long SetTextShadowColor(long colour);
    float GetDuration();
    short GetImageAlpha();
    short GetMotion();
    short GetTextAlignment();
    short GetTextBack();
    short GetTextBackAlpha();
    long GetTextBackColor();
    short GetTextBold();
    long GetTextColor();
    std::string GetTextFont();
    short GetTextFontSize();
    short GetTextItalic();
    short GetTextLineSpace();
    short GetTextOrientation();
    long GetTextOutColor();
    short GetTextOutWidth();
    short GetTextOutline();
    long GetTextShadowColor();
    short GetTextShadowType();
    short GetTextUnderline();
    BOOL GetSelected();
    long GetSelectedObjType();
    short GetTextShadowDepthX();
    short GetTextShadowDepthY();
    float SetDuration(float seconds);
    long SetMoveFromX(long x);
    long SetMoveFromY(long y);
    long SetMoveToX(long x);
    long SetMoveToY(long y);
    short GetObjPositionX();
    short GetObjPositionY();
    BOOL SetScroll(short scroll);
    long GetFullWidth();
    long GetFullHeight();
    void ImportCaplift();
    BOOL LMSaveAsPreview();
    void LMOpenDirectlyText(const std::string &path);
    void LMOpenDirectlyLMF(const std::string &path);
    void LMSaveDirectlyLMF(const std::string &path);
    void LMSetWindowExt(short width, short height);

    /* The general call: arguments in their natural order, the answer
     * converted to ret (VT_EMPTY: none).  Answers the call's result. */
    HRESULT InvokeHelper(DISPID id, VARTYPE ret, VARIANT *result, const VARIANT *args, UINT count);

private:
    long CallLong(DISPID id, VARTYPE ret, const VARIANT *args = nullptr, UINT count = 0);
    float CallFloat(DISPID id, const VARIANT *args = nullptr, UINT count = 0);
    std::string CallText(DISPID id, const VARIANT *args = nullptr, UINT count = 0);
    void CallPath(DISPID id, const std::string &path);
};

/* The wrapper bound to the main window's title-box control (null before
 * the main window publishes it). */
extern CLumicard *g_pLumicard;

/* Byte text of code page cp to a BSTR and back. */
BSTR TextToBstr(const std::string &text, UINT cp);
std::string BstrToText(BSTR b, UINT cp);

#endif
