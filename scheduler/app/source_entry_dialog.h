/*
 * SourceEntryDialog (dialog 138): one item of the source schedule entered
 * or edited: date, start, duration, position, subject, the kind of source
 * with its video and audio sources, and the transition chosen from a
 * paged palette.  OK runs the source entry checks and shows the first
 * refusal on the dialog's message line.
 */
#ifndef SCHEDULER_APP_SOURCE_ENTRY_DIALOG_H
#define SCHEDULER_APP_SOURCE_ENTRY_DIALOG_H

#include <functional>
#include <string>
#include <vector>

#include "buttons.h"
#include "dialog.h"
#include "skinned_controls.h"
#include "schedule/schedule_words.h"
#include "source_entry_rules.h"

class SourceEntryDialog : public cl::CDialog {
public:
    static constexpr int kWidth = 560, kHeight = 395;

    explicit SourceEntryDialog(HWND parent = nullptr);
    ~SourceEntryDialog() override;
    static constexpr UINT kBackground = 212;
    /* The skinned OK, Cancel and close buttons (tool tips included). */
    CRegionButton &Button(int i) { return buttons_[i]; }
    /* The palette's Left, Home and Right buttons, which follow the mouse. */
    ThreeStateButton &PagingButton(int i) { return paging_[i]; }

    /* Set before the dialog opens. */
    SourceEntryContext context;
    std::string date = "2003/01/01";
    int start = 0, duration = 0, position = 0, transition = 0, kind = 0;
    std::string subject, video, audio, transitionTime = "1.0";
    /* The media file pickers ("VF", "AF"); tests answer them.  Unset: the
     * system's open dialog.  An empty text is Cancel. */
    std::function<std::string()> chooseMediaFile;
    /* The capture devices offered for kind 1. */
    std::vector<std::string> videoDevices, audioDevices;

    /* After OK. */
    int channel = 0;
    std::string dateText;

    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override { EndDialog(IDCANCEL); }

    int Page() const { return page_; }
    const PictureCell &Cell(int k) const { return cells_[k]; }
    std::string Message() const { return GetDlgItemText(kMessage); }
    void ShowPage(int page);
    void SelectTransition(int index);
    void SetKind(int k);
    /* A picked video file: last entry of both source boxes, selected, and
     * its length (through the preview player) in the duration boxes. */
    void TakeVideoFile(const std::string &path);
    void TakeAudioFile(const std::string &path);

    static constexpr UINT kNumber = 1041, kDate = 1044, kSubject = 1048, kFileKind = 1140, kDeviceKind = 1141,
                          kVideo = 1031, kAudio = 1039, kPickVideo = 1130, kPickAudio = 1128, kTrTime = 1055,
                          kStartH = 1029, kStartM = 1030, kStartS = 1032, kDurH = 1051, kDurM = 1045,
                          kDurS = 1046, kPosH = 1052, kPosM = 1049, kPosS = 1050, kLeft = 1129, kHome = 1083,
                          kRight = 1127, kType = 1057, kMessage = 1080, kOk = 1097, kCancel = 1126,
                          kClose = 1131, kFirstCell = 2001;

private:
    int ReadTime(UINT h, UINT m, UINT s) const;
    void SelectTime(UINT h, UINT m, UINT s, int seconds);
    void CheckTimeBoxes();
    std::string PickMediaFile();
    ColorLabel number_, type_, message_;
    CRegionButton buttons_[3];
    ThreeStateButton paging_[3];
    HBITMAP pagingFaces_[9] = {};
    HBITMAP background_ = nullptr;
    PictureCell cells_[kTransitionCount];
    int page_ = 0;
};

#endif
