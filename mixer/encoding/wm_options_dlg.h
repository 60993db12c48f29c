/*
 * CWmEncodingOptionsDlg (dialog 209, "Windows Media Encoding Options"):
 * the header information, the profile, the archive file, the live
 * broadcast on a local HTTP port and the push to a publishing point, on
 * four tab pages, kept in "EncodingOption\WindowsMedia".
 *
 * The profile page works in one of three families: 1 (the engine's
 * profile list), 16 (stream configurations chosen by destination, from
 * whose checked bit-rate rows the dialog builds the profile "UserChosePrx")
 * and 256 (own profiles, the destination "User Define").  The engine is
 * called through g_encodingEngine.
 */
#ifndef CORV_MIXER_WM_OPTIONS_DLG_H
#define CORV_MIXER_WM_OPTIONS_DLG_H

#include "dialog.h"
#include "encoder_choice.h"
#include "text_controls.h"
#include "wm_settings.h"
#include <functional>
#include <memory>
#include <vector>

namespace cl { class CProfile; }
typedef struct WmMediaType WmMediaType;

/* The numbers of one bit-rate row, as its hidden data row keeps them. */
struct WmBitrateRow {
    int videoBitrate = 0;
    double frameRate = 0;
    int keySeconds = 0, bufferWindow = 0, quality = 0, width = 0, height = 0, audioBitrate = 0;
};

class CWmEncodingOptionsDlg : public cl::CDialog {
public:
    CWmEncodingOptionsDlg(cl::CProfile &profile, const std::vector<WmConfigEntry> &configs, HWND parent = nullptr);
    ~CWmEncodingOptionsDlg() override;

    /* The profile family, copied in before the run and back after OK. */
    int m_nWmVersion = 1;
    int m_nPort = 8080;
    int m_nRowCount = 0;
    BOOL m_bNoProfiles = FALSE;

    /* The profile dialogs the profile page opens (mode as the buttons give
     * it); IDOK when a profile was written.  Tests replace them. */
    std::function<INT_PTR(CWmEncodingOptionsDlg &owner, int mode)> runProfileManager;
    std::function<INT_PTR(CWmEncodingOptionsDlg &owner, int mode)> runProfileEditor;
    /* The save-file question of Browse (tests replace it). */
    std::function<bool(std::string *path)> chooseFile;

    BOOL OnInitDialog() override;
    void OnOK() override;

    /* The selected line of the profile list and its text ("" when none). */
    int SelectedProfileLine() const;
    std::string SelectedProfileName() const;
    int FindProfileLine(const std::string &name) const;
    CListCtrlEx &BitrateList() { return m_bitrateList; }
    HWND DataList() const { return m_dataList; }
    WmBitrateRow Row(int row) const;
    /* Shows the page's controls, hides the others. */
    void ShowPage(int page);
    int CurrentPage() const { return m_nPage; }

private:
    cl::CProfile &m_profile;
    const std::vector<WmConfigEntry> &m_configs;
    CListCtrlEx m_bitrateList;
    HWND m_dataList = nullptr;
    int m_nPage = 0;
    bool m_bLoading = false;
    struct TypeFree { void operator()(WmMediaType *t) const; };
    using TypePtr = std::shared_ptr<WmMediaType>;
    std::vector<TypePtr> m_videoTypes, m_audioTypes;

    void FillProfileList();
    void ShowProfileDescription();
    void LoadSettings();
    void ShowUrls();
    void OnDestinationChange();
    void FillBitrateList();
    void OnCheckBox(UINT id);
    void OnFreePort();
    void OnPortEdit();
    void OnBrowse();
    void OnNew();
    void OnCopy();
    void OnEdit();
    void OnDelete();
    void RefillAndReselect(int line);
    /* The checked rows built into a profile of that name; false (with the
     * message) when no row is checked.  On OK repeats of the previous
     * checked row add nothing and *checkedText collects the rows. */
    bool BuildFromCheckedRows(const char *name, bool forOk, std::string *checkedText);
    int Family() const;
    bool IsChecked(UINT id) const;
    void SetCheck(UINT id, bool on);
    void Enable(UINT id, bool on);
    void Show(UINT id, bool on);
    int ComboSel(UINT id) const;
};

/* CMixerDlg::ShowWmEncodingOptions: runs the dialog over the selection's
 * family; OK copies the family back and applies the settings.  0 on
 * Cancel. */
int ShowWmEncodingOptions(EncoderSelection &selection, HWND owner);

#endif
