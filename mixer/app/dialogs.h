/*
 * The mixer's small dialogs: the start-up picture (342), the About box
 * (350), the work-space size (379) and the source selection (238).
 */
#ifndef CORV_MIXER_DIALOGS_H
#define CORV_MIXER_DIALOGS_H

#include "buttons.h"
#include "channel_deck.h"
#include "dialog.h"
#include <functional>

class CPopupMessageDlg : public cl::CDialog {
public:
    explicit CPopupMessageDlg(HWND parent);
    int autoCloseMs = 2000;   /* 0: stays until clicked */
    BOOL OnInitDialog() override;
};

class CAboutDlg : public cl::CDialog {
public:
    explicit CAboutDlg(HWND parent);
    ~CAboutDlg() override;
    BOOL OnInitDialog() override;

private:
    void KeepClientSize();
    HBITMAP picture_ = nullptr;
};

/* "Set Work Space": the size list (index 0 preselected) and a note on the
 * heavy choice. */
class CWorkSpaceDlg : public cl::CDialog {
public:
    explicit CWorkSpaceDlg(HWND parent);
    int choice = 0;   /* 0 320x240, 1 640x480, 2 720x480 */
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnSizeChoice();
};

/* The two file filters of the source dialog. */
extern const char kMediaFilter[];
extern const char kVideoFilter[];
extern const char kVideoAudioFilter[];
extern const char kMusicFilter[];

class CSourceSelectDlg : public cl::CDialog {
public:
    CSourceSelectDlg(HWND parent, int channel, const ChannelDeck &deck);
    ~CSourceSelectDlg() override;

    int channel;
    std::string videoName, audioName;
    bool deviceChosen = false;
    int videoDevices = 0, audioDevices = 0;
    /* Runs once the dialog is up (tests). */
    std::function<void(CSourceSelectDlg &)> script;
    /* Chooses one file; the default is the system's file dialog. */
    std::function<bool(const char *title, const char *filter, std::string *path)> chooseFile;
    /* The filter last used for a file choice. */
    std::string lastFilter;

    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnVideoChoice();
    void OnAudioChoice();
    /* The 52 corners of the dialog's outline. */
    static const POINT kOutline[52];

private:
    bool ChooseFile(const char *filter, std::string *path);
    bool MusicOnly() const { return channel == 5 && deck_.backgroundMusic; }
    const ChannelDeck &deck_;
    HBITMAP skin_ = nullptr;
    CRegionButton ok_, cancel_;
    CHoverButton close_;
    HBITMAP closePicture_ = nullptr;
};

#endif
