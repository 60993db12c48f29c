// Value and choice controls filled from parameter descriptors, the dialog
// wrapper and the missing colour picker's box.
#include "fxutil.h"

#include <cmath>

namespace {

constexpr UINT PLM_MODE = WM_USER + 258;    // (mode, 4096)
constexpr UINT PLM_VALUE = WM_USER + 291;   // lparam the value
constexpr UINT PLM_RANGE = WM_USER + 292;   // 31: eight range words
constexpr WPARAM RANGE_WORDS = 31;

uint32_t Kind(const FxChoiceList *list)
{
    return list->kind & 0xF0;
}

const FxChoicePair *Pairs(const FxChoiceList *list)
{
    return static_cast<const FxChoicePair *>(list->table);
}

}  // namespace

int SetValueControl(HWND control, LONG value, const FxParamDescriptor *d, int useDescriptorRange, LONG low, LONG high)
{
    if (!control || !d)
        return 0;
    int32_t range[8];
    for (int i = 0; i < 8; ++i)
        range[i] = d->range[i];
    if (!useDescriptorRange) {
        range[0] = low;
        range[1] = high;
    }
    SendMessageA(control, PLM_RANGE, RANGE_WORDS, reinterpret_cast<LPARAM>(range));
    SendMessageA(control, PLM_VALUE, 0, value);
    SetWindowTextA(control, d->label ? d->label : "");
    SendMessageA(control, PLM_MODE, 6, 4096);
    if (d->flags & FXPARAM_PERCENT)
        SendMessageA(control, PLM_MODE, 5, 4096);
    return 1;
}

int FillChoiceList(HWND combo, double current, const FxChoiceList *list)
{
    if (!combo || !list)
        return 0;
    SendMessageA(combo, CB_RESETCONTENT, 0, 0);
    if (list->count <= 0 || (Kind(list) != FXCHOICE_RESOURCE && !list->table))
        return 1;
    for (int i = 0; i < list->count; ++i) {
        char text[256] = "";
        const char *s = text;
        switch (Kind(list)) {
        case FXCHOICE_RESOURCE:
            LoadStringA(list->module, list->baseId + UINT(i), text, sizeof text);
            break;
        case FXCHOICE_PAIRS:
            s = Pairs(list)[i].text;
            break;
        default:
            s = static_cast<const char *const *>(list->table)[i];
            break;
        }
        SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s ? s : ""));
    }
    int select;
    if (Kind(list) == FXCHOICE_PAIRS) {
        select = GetChoiceIndex(list, current);
        if (select >= list->count)
            select = 0;
    } else {
        select = int(current);
    }
    SendMessageA(combo, CB_SETCURSEL, WPARAM(select), 0);
    return 1;
}

int GetChoiceIndex(const FxChoiceList *list, double value)
{
    if (!list)
        return 0;
    if (Kind(list) != FXCHOICE_PAIRS)
        return int(value);
    for (int i = 0; i < list->count && list->table; ++i)
        if (double(Pairs(list)[i].value) == value)
            return i;
    return list->count;
}

double GetChoiceValue(const FxChoiceList *list, int index)
{
    if (!list || index < 0 || index >= list->count)
        return 0.0;
    if (Kind(list) == FXCHOICE_PAIRS)
        return list->table ? double(Pairs(list)[index].value) : 0.0;
    return double(index);
}

INT_PTR CreateDialogEx(HINSTANCE instance, LPCSTR templ, HWND owner, DLGPROC proc, LPARAM param, DWORD options)
{
    if (options & FXDLG_MODELESS)
        return reinterpret_cast<INT_PTR>(CreateDialogParamA(instance, templ, owner, proc, param));
    return DialogBoxParamA(instance, templ, owner, proc, param);
}

int WINAPI ColourPickerMissing(HWND, COLORREF *, LPCSTR, DWORD, LPARAM)
{
    MessageBoxA(nullptr, "FX did not call HuepinInit()", "Quillon FX", MB_ICONSTOP | MB_TASKMODAL);
    return 0;
}
