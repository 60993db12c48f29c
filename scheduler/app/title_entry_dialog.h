/*
 * TitleEntryDialog (dialog 139): one title of the title schedule entered
 * or edited: date, start, duration, subject, title file and the shift mark
 * for later titles.  OK runs the title entry checks and shows the first
 * refusal on the dialog's message line.
 */
#ifndef SCHEDULER_APP_TITLE_ENTRY_DIALOG_H
#define SCHEDULER_APP_TITLE_ENTRY_DIALOG_H

#include "buttons.h"
#include "dialog.h"
#include "skinned_controls.h"
#include "title_entry_rules.h"

class TitleEntryDialog : public cl::CDialog {
public:
    static constexpr int kWidth = 418, kHeight = 325;

    explicit TitleEntryDialog(HWND parent = nullptr);

    /* Set before the dialog opens. */
    TitleEntryContext context;
    TitleEntryValues values;   /* a modified title's own values; the accepted ones after OK */

    /* After OK: the date as the picker shows it. */
    std::string dateText;
    bool shuffleAccepted = false;

    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override { EndDialog(IDCANCEL); }

    std::string Message() const { return GetDlgItemText(kMessage); }
    bool Shuffle() const { return context.shuffle; }
    /* The shift switch: flips the mark and shows its picture (172 on, 174 off). */
    void ToggleShuffle();
    ~TitleEntryDialog() override;
    static constexpr UINT kBackground = 213;
    /* The skinned Ok, Cancel and "..." buttons (tool tips included). */
    CRegionButton &Button(int i) { return buttons_[i]; }
    /* The shift mark: the first picture (172) on, the second (174) off. */
    const BitmapStatic &ShuffleMark() const { return mark_; }

    static constexpr UINT kShuffle = 1125, kNumber = 1077, kDate = 1076, kStartH = 1066, kStartM = 1067,
                          kStartS = 1068, kDurH = 1069, kDurM = 1070, kDurS = 1071, kSubject = 1072,
                          kFile = 1141, kPick = 1126, kMessage = 1079, kOk = 1124, kCancel = 1123;

private:
    int ReadTime(UINT h, UINT m, UINT s) const;
    void SelectTime(UINT h, UINT m, UINT s, int seconds);
    void CheckTimeList(UINT id);
    void ShowShuffle();
    ColorLabel number_, message_;
    CRegionButton buttons_[3];
    BitmapStatic mark_;
    HBITMAP background_ = nullptr;
    HBITMAP shuffleOn_ = nullptr, shuffleOff_ = nullptr;
};

#endif
