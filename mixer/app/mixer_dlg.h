/*
 * CMixerDlg: the operator's window (template 102), 1016 by 769 pixels,
 * borderless, shaped by its 45-point region and painted from the skin.  It
 * is the media engine's host window: the engine paints into its five
 * channel windows and its programme window and posts its reports to it.
 *
 * The channel rules live in ChannelDeck (channel_deck.h); this class binds
 * them to the controls, runs the start-up and shutdown order, the source
 * dialog, the menus and the keys.
 */
#ifndef CORV_MIXER_MIXER_DLG_H
#define CORV_MIXER_MIXER_DLG_H

#include "buttons.h"
#include "channel_deck.h"
#include "switch_core.h"
#include "remote_control.h"
#include "dialog.h"
#include "encoder_choice.h"
#include "olehost.h"
#include "scrollbar.h"
#include "text_controls.h"
#include "lumicard.h"
#include "pattern_palette.h"
#include "title_files.h"
#include "title_panel.h"
#include "drop_windows.h"
#include "mixer_project.h"
#include <functional>
#include <vector>

class CSourceSelectDlg;
class CHslEffectDlg;
class CTvOutDlg;
class CTitlePreviewDlg;

/* Engine notifications posted to the host window. */
constexpr UINT WM_ENGINE_GRAPHNOTIFY = 1037;
constexpr UINT WM_ENGINE_SOURCESTATE = 1345;
constexpr UINT WM_ENGINE_TRANSPROGRESS = 1346;
constexpr UINT WM_ENGINE_POSITION = 1347;
constexpr UINT WM_ENGINE_ENCODETIME = 1349;

/* The title-box control's class identifier. */
extern const CLSID CLSID_TitleBox;

/* Counts running processes whose executable name is name (any case). */
int CountProcessesNamed(const char *name);
/* "%H:%M:%S" of a number of seconds. */
std::string TimeSpanText(int seconds);
/* The 45 corners of the main window's outline. */
extern const POINT kMixerOutline[45];

class CMixerDlg : public cl::CDialog, public DeckView, public SwitchView {
public:
    CMixerDlg();
    ~CMixerDlg() override;

    ChannelDeck deck{this};
    SwitchCore switcher{deck, this};
    /* Project files, the slide show and its image table. */
    MixerProject project{*this};
    int &m_bRemoteMode = deck.remoteMode;
    int &m_bRemoteCommand = deck.remoteCommand;
    int &m_bEncoding = deck.encoding;
    /* The scheduler's requests and descriptors (remote_control.h). */
    RemoteControl remote{deck, switcher};
    float m_fTransTime = 1.0f;
    int m_nMotionDuration = 0;
    int m_nTransition = 0;
    int m_nEncoderKind = 1;
    int m_nWmVersion = 1;
    /* The encoder choice and the FLV settings (mixer/encoding). */
    EncoderSelection encoding{m_nEncoderKind, m_nWmVersion, m_bRemoteMode};
    int m_bTitleOn = 0;
    int m_nArchiveToFile = 1;
    int m_nSurfaceWidth = 320, m_nSurfaceHeight = 240;
    std::string m_strQuickOpenFolder;
    /* Titles, the title file list and the pattern palette. */
    CTitlePanel titles{*this, titleBox_, m_bTitleOn};
    CTitleFileList fileList{*this};
    PatternPalette palette;
    CPatternPaletteWnds paletteWnds{*this, palette};

    /* Test seams (the program leaves them as they are). */
    int startupPictureMs = 2000;
    /* Asks the work-space choice (0, 1, 2); false when cancelled. */
    std::function<bool(int *choice)> askWorkSpace;
    /* Runs against the source dialog once it is up. */
    std::function<void(CSourceSelectDlg &)> sourceDialogScript;
    /* Chooses one file (title, filter); false when cancelled. */
    std::function<bool(const char *title, const char *filter, std::string *path)> chooseFile;

    BOOL OnInitDialog() override;
    void OnOK() override {}
    void DoDataExchange(cl::CDataExchange *dx) override;
    void OnCancel() override;
    BOOL PreTranslateMessage(MSG *msg) override;

    void StartMixer();
    void NewProject();
    void ResetMixer();
    void OnExit();
    void OnMinimize();
    void OnAbout();
    void OnMenuButton(int n);
    void RaiseMenuButtons();
    void OnMotionButton(int n);
    void OnMotionDurationScroll();
    void OpenChannelSource(int n);
    void OnOpenButton(int n);
    bool OpenFileOnChannel(int index, const std::string &path);
    void OnCaptureFormat();
    void OnCaptureSource();
    void ShowEncodeTime(int seconds);
    void RepaintChannelPreviews();
    /* The programme title switch (button 1045) and its picture. */
    void ToggleTitle() { titles.titleSwitch.Toggle(); }
    void SetTitleSwitch(int on);
    /* The title preview window at the main window's lower left corner. */
    void ShowTitlePreview();
    CTitlePreviewDlg *TitlePreview() const { return titlePreview_; }

    /* DeckView */
    void SetChannelButtons(int n, const int states[6]) override;
    void ShowChannelTime(int n, int seconds) override;
    void ShowChannelDuration(int n, int seconds) override;
    void SetIndicator(int n, int state) override;
    void ShowMessage(const char *text) override;
    void ShowSlideImage(int position) override;
    void SetSwitchButton(int on) override;
    void SetTBar(int pos) override;
    void ShowTransTime(const std::string &text) override;
    /* The switch button and Shift+Space with the time edit's value. */
    void OnSwitchCommand();
    /* The time edit's value (not a number is NaN, which counts as 0.1). */
    double TransTimeEdit();
    int TBarPos();

    /* Engine events, the encoding toggle and the remote hooks (mixer_events.cpp). */
    /* The operator's command and button (nothing in the remote mode). */
    void OnStartEncoding();
    /* Encoding on when off, off when on; false when it failed. */
    bool ToggleEncoding();
    /* Encoding to the state asked (start starts, stop stops); false when
     * that state could not be reached. */
    bool SetEncoding(bool start);
    /* Moves an existing recording of the archive file name aside to the
     * first free name with a counter (show.wmv -> show001.wmv): asked first
     * in the operator's mode (Yes overwrites), at once in the remote mode.
     * The name it was moved to, or empty. */
    std::string RenameOldRecording();
    /* After a source was opened on channel index 0..4 (remote loads, projects). */
    void ReadyChannel(int channel, const std::string &video) { deck.ReadyChannel(channel, video); }
    LRESULT OnRemoteCommand(WPARAM code, LPARAM arg) { return remote.OnRemoteCommand(code, arg); }
    LRESULT OnCopyData(HWND sender, const COPYDATASTRUCT *cds) { return remote.OnCopyData(sender, cds); }
    /* The first item of the Encoding menu. */
    std::string EncodingMenuText() const;
    /* Colour correction, background music, TV output, volume, help and the
     * time field's correction (operator_extras.cpp). */
    int m_nHue = 0, m_nSaturation = 0, m_nLightness = 0;
    int m_bTvOut = 0;
    CTvOutDlg *m_pTvOutDlg = nullptr;
    /* Runs against the colour correction dialog once it is up (tests). */
    std::function<void(CHslEffectDlg &)> hslDialogScript;
    /* Starts a program by command line (tests record it). */
    std::function<void(const char *commandLine)> startProgram;
    void RegisterOperatorExtras();
    void EditHslEffect();
    void ToggleBackMusic();
    void ToggleTvOut();
    void CloseTvOut();
    void OnMasterVolume();
    void ShowHelp();
    static std::string HelpFilePath();
    void OnTransTimeUpdate();

    /* What the window holds, for checks. */
    HWND ChannelWindow(int n) const;
    HWND ProgrammeWindow() const { return GetDlgItem(1020); }
    int ButtonState(UINT id);
    bool EngineStarted() const { return engineStarted_; }
    CLumicard &TitleBox() { return titleBox_; }
    HMENU Menu() const { return menu_; }
    HWND MenuWindowShown() const { return menuShown_; }

private:
    void InstallEventHandlers();
    bool RunEncodingToggle();
    void ShowEncodingStopped();
    void SetEncodingMenuText(const char *text);
    void Warn(const char *text);
    friend class MixerProject;
    void SetWindowShape();
    void LoadSkin();
    void LayoutControls();
    void Place(UINT id, int x, int y, int w, int h);
    CHoverButton *Hover(UINT id);
    void SetupHover(UINT id, UINT upBitmap, UINT downBitmap, UINT thirdBitmap, int initial, const char *tip);
    void OnDestroy();
    LRESULT OnEngineMessage(UINT msg, WPARAM wp, LPARAM lp);
    HRESULT TitleCall(DISPID id, const VARIANT *args, UINT count, VARIANT *result = nullptr);
    int TitleGetInt(DISPID id);
    void TitleSetInt(DISPID id, int value, VARTYPE type);

    std::vector<std::pair<UINT, CHoverButton *>> hovers_;
    std::vector<HBITMAP> pictures_;
    CRegionButton exit_, minimize_;
    CStaticEx labels_[CHANNELS + 1][2];
    CStaticEx encodeTime_, motionValue_, transName_;
    CEditEx transTime_;
    CBitmapSlider tbar_, motionSlider_;
    CXScrollBar titleHScroll_, titleVScroll_;
    CLumicard titleBox_;
    CTitlePreviewDlg *titlePreview_ = nullptr;
    CMovieDropWnd channelDrops_[CHANNELS];
    HBITMAP background_ = nullptr;
    HICON icon_ = nullptr, smallIcon_ = nullptr;
    HMENU menu_ = nullptr;
    HIMAGELIST fileImages_ = nullptr;
    HWND menuShown_ = nullptr;
    bool engineStarted_ = false;
    bool comStarted_ = false;
};

#endif
