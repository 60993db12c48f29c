#include "lumicard.h"
#include <vector>

/* {45D3C6F3-F1FE-427D-9C78-A77AD9AFA02F} */
const IID DIID_LumicardEvents = {0x45D3C6F3, 0xF1FE, 0x427D, {0x9C, 0x78, 0xA7, 0x7A, 0xD9, 0xAF, 0xA0, 0x2F}};

CLumicard *g_pLumicard = nullptr;

BSTR TextToBstr(const std::string &text, UINT cp)
{
    int n = MultiByteToWideChar(cp, 0, text.data(), (int)text.size(), nullptr, 0);
    if (n <= 0 && !text.empty()) {
        cp = CP_ACP;   /* a code page this system lacks: the bytes as they stand */
        n = MultiByteToWideChar(cp, 0, text.data(), (int)text.size(), nullptr, 0);
    }
    BSTR b = SysAllocStringLen(nullptr, n > 0 ? n : 0);
    if (b && n > 0) MultiByteToWideChar(cp, 0, text.data(), (int)text.size(), b, n);
    return b;
}

std::string BstrToText(BSTR b, UINT cp)
{
    if (!b) return "";
    int len = (int)SysStringLen(b);
    int n = WideCharToMultiByte(cp, 0, b, len, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return "";
    std::string s(n, '\0');
    WideCharToMultiByte(cp, 0, b, len, &s[0], n, nullptr, nullptr);
    return s;
}

namespace {

VARIANT I2(int v)
{
    VARIANT a;
    VariantInit(&a);
    V_VT(&a) = VT_I2;
    V_I2(&a) = (SHORT)v;
    return a;
}

VARIANT I4(long v)
{
    VARIANT a;
    VariantInit(&a);
    V_VT(&a) = VT_I4;
    V_I4(&a) = (LONG)v;
    return a;
}

VARIANT R4(float v)
{
    VARIANT a;
    VariantInit(&a);
    V_VT(&a) = VT_R4;
    V_R4(&a) = v;
    return a;
}

/* A BSTR argument that frees itself. */
struct TextArg {
    VARIANT v;
    explicit TextArg(const std::string &s)
    {
        VariantInit(&v);
        V_VT(&v) = VT_BSTR;
        V_BSTR(&v) = TextToBstr(s, kStyleCodePage);
    }
    ~TextArg() { VariantClear(&v); }
};

} // namespace

HRESULT CLumicard::InvokeHelper(DISPID id, VARTYPE ret, VARIANT *result, const VARIANT *args, UINT count)
{
    if (onCall) onCall(id);
    VARIANT raw;
    HRESULT hr = Invoke(id, DISPATCH_METHOD, args, count, &raw);
    if (FAILED(hr)) return hr;
    if (result && ret != VT_EMPTY) {
        VariantInit(result);
        hr = VariantChangeType(result, &raw, 0, ret);
    }
    VariantClear(&raw);
    return hr;
}

long CLumicard::CallLong(DISPID id, VARTYPE ret, const VARIANT *args, UINT count)
{
    VARIANT r;
    if (FAILED(InvokeHelper(id, ret, &r, args, count))) return 0;
    long v = 0;
    if (V_VT(&r) == VT_I2) v = V_I2(&r);
    else if (V_VT(&r) == VT_I4) v = V_I4(&r);
    else if (V_VT(&r) == VT_BOOL) v = V_BOOL(&r) ? TRUE : FALSE;
    VariantClear(&r);
    return v;
}

float CLumicard::CallFloat(DISPID id, const VARIANT *args, UINT count)
{
    VARIANT r;
    if (FAILED(InvokeHelper(id, VT_R4, &r, args, count))) return 0.0f;
    return V_VT(&r) == VT_R4 ? V_R4(&r) : 0.0f;
}

std::string CLumicard::CallText(DISPID id, const VARIANT *args, UINT count)
{
    VARIANT r;
    if (FAILED(InvokeHelper(id, VT_BSTR, &r, args, count))) return "";
    std::string s = V_VT(&r) == VT_BSTR ? BstrToText(V_BSTR(&r), kStyleCodePage) : "";
    VariantClear(&r);
    return s;
}

void CLumicard::CallPath(DISPID id, const std::string &path)
{
    /* Paths are the program's own (ANSI) texts. */
    VARIANT a;
    VariantInit(&a);
    V_VT(&a) = VT_BSTR;
    V_BSTR(&a) = TextToBstr(path, CP_ACP);
    InvokeHelper(id, VT_EMPTY, nullptr, &a, 1);
    VariantClear(&a);
}

void CLumicard::LMNew() { InvokeHelper(1, VT_EMPTY, nullptr, nullptr, 0); }
void CLumicard::LMOpen() { InvokeHelper(2, VT_EMPTY, nullptr, nullptr, 0); }
void CLumicard::LMSave() { InvokeHelper(3, VT_EMPTY, nullptr, nullptr, 0); }
void CLumicard::LMImportImage() { InvokeHelper(5, VT_EMPTY, nullptr, nullptr, 0); }
void CLumicard::LMExport() { InvokeHelper(6, VT_EMPTY, nullptr, nullptr, 0); }
void CLumicard::LMOpenDirectly(const std::string &path) { CallPath(7, path); }

#define SET_SHORT(name, id)                                                                                           \
    short CLumicard::name(short v)                                                                                    \
    {                                                                                                                 \
        VARIANT a = I2(v);                                                                                            \
        return (short)CallLong(id, VT_I2, &a, 1);                                                                     \
    }
#define SET_LONG(name, id)                                                                                            \
    long CLumicard::name(long v)                                                                                      \
    {                                                                                                                 \
        VARIANT a = I4(v);                                                                                            \
        return CallLong(id, VT_I4, &a, 1);                                                                            \
    }
#define GET_SHORT(name, id)                                                                                           \
    short CLumicard::name() { return (short)CallLong(id, VT_I2); }
#define GET_LONG(name, id)                                                                                            \
    long CLumicard::name() { return CallLong(id, VT_I4); }

SET_SHORT(SetTextAlignment, 8)
SET_SHORT(SetTextBackAlpha, 9)
SET_SHORT(SetImageAlpha, 10)
SET_SHORT(SetTextBold, 11)
SET_SHORT(SetTextFontSize, 13)
SET_SHORT(SetTextItalic, 14)
SET_SHORT(SetTextLineSpace, 15)
SET_SHORT(SetTextOrientation, 16)
SET_SHORT(SetTextOutWidth, 17)
SET_SHORT(SetTextOutline, 18)
SET_SHORT(SetTextShadowType, 20)
SET_SHORT(SetTextUnderline, 21)
SET_SHORT(SetTextBack, 22)
SET_SHORT(SetMotion, 25)
SET_LONG(SetTextBackColor, 29)
SET_LONG(SetTextColor, 30)
SET_LONG(SetTextOutColor, 31)
SET_LONG(SetTextShadowColor, 32)
GET_SHORT(GetImageAlpha, 34)
GET_SHORT(GetMotion, 35)
GET_SHORT(GetTextAlignment, 40)
GET_SHORT(GetTextBack, 41)
GET_SHORT(GetTextBackAlpha, 42)
GET_LONG(GetTextBackColor, 43)
GET_SHORT(GetTextBold, 44)
GET_LONG(GetTextColor, 45)
GET_SHORT(GetTextFontSize, 47)
GET_SHORT(GetTextItalic, 48)
GET_SHORT(GetTextLineSpace, 49)
GET_SHORT(GetTextOrientation, 50)
GET_LONG(GetTextOutColor, 51)
GET_SHORT(GetTextOutWidth, 52)
GET_SHORT(GetTextOutline, 53)
GET_LONG(GetTextShadowColor, 54)
GET_SHORT(GetTextShadowType, 56)
GET_SHORT(GetTextUnderline, 57)
GET_LONG(GetSelectedObjType, 59)
GET_SHORT(GetTextShadowDepthX, 60)
GET_SHORT(GetTextShadowDepthY, 61)
SET_LONG(SetMoveFromX, 68)
SET_LONG(SetMoveFromY, 69)
SET_LONG(SetMoveToX, 70)
SET_LONG(SetMoveToY, 71)
GET_SHORT(GetObjPositionX, 77)
GET_SHORT(GetObjPositionY, 78)
GET_LONG(GetFullWidth, 82)
GET_LONG(GetFullHeight, 83)

std::string CLumicard::SetTextFont(const std::string &face)
{
    TextArg a(face);
    return CallText(12, &a.v, 1);
}

long CLumicard::SetTextShadowDepth(short x, short y)
{
    VARIANT a[2] = {I2(x), I2(y)};
    return CallLong(19, VT_I4, a, 2);
}

float CLumicard::GetDuration() { return CallFloat(33); }
std::string CLumicard::GetTextFont() { return CallText(46); }
BOOL CLumicard::GetSelected() { return CallLong(58, VT_BOOL) ? TRUE : FALSE; }

float CLumicard::SetDuration(float seconds)
{
    VARIANT a = R4(seconds);
    return CallFloat(67, &a, 1);
}

BOOL CLumicard::SetScroll(short scroll)
{
    VARIANT a = I2(scroll);
    return CallLong(79, VT_BOOL, &a, 1) ? TRUE : FALSE;
}

void CLumicard::ImportCaplift() { InvokeHelper(85, VT_EMPTY, nullptr, nullptr, 0); }
BOOL CLumicard::LMSaveAsPreview() { return CallLong(86, VT_BOOL) ? TRUE : FALSE; }
void CLumicard::LMOpenDirectlyText(const std::string &path) { CallPath(87, path); }
void CLumicard::LMOpenDirectlyLMF(const std::string &path) { CallPath(88, path); }
void CLumicard::LMSaveDirectlyLMF(const std::string &path) { CallPath(89, path); }

void CLumicard::LMSetWindowExt(short width, short height)
{
    VARIANT a[2] = {I2(width), I2(height)};
    InvokeHelper(90, VT_EMPTY, nullptr, a, 2);
}
