/*
 * CSlideShowDlg: the "Slide Show ListBox" dialog (template 352).  The
 * operator edits the ordered list of still images that channel 4 shows in
 * slide-show mode, imports and exports it as an image-list file, and sees
 * the selected image in a DirectShow preview with its date, size and
 * resolution.
 *
 * The dialog works on its own copy of the image table: images holds the
 * table on the way in and, after OK, the list in order with slideShowOn
 * telling whether the mode goes on (at least one image).  Cancel leaves
 * both as they were.  The list holds at most kMaxSlideImages paths; adding,
 * importing or dropping past that is refused with a message.
 *
 * Preview failures only write debug lines (kept in debugLines too) and
 * beep; list editing goes on.
 */
#ifndef CORV_MIXER_SLIDE_SHOW_DLG_H
#define CORV_MIXER_SLIDE_SHOW_DLG_H

#include "dialog.h"
#include "drop_windows.h"
#include <functional>
#include <string>
#include <vector>

struct IGraphBuilder;
struct IMediaControl;
struct IBasicVideo;
struct IVideoWindow;
struct IMediaEventEx;

constexpr UINT IDD_SLIDESHOW = 352;
constexpr UINT WM_SLIDE_PREVIEW = 32770;     /* previews the selected item */
constexpr UINT WM_SLIDE_GRAPHNOTIFY = 1037;  /* the preview graph's events */

extern const char kMsgExportEmpty[];         /* "You must fill tht Imagefile to list for FileSave." */

class CSlideShowDlg : public cl::CDialog {
public:
    explicit CSlideShowDlg(HWND parent, const std::vector<std::string> &table);
    ~CSlideShowDlg() override;

    /* In: the image table; out after OK: the list in order. */
    std::vector<std::string> images;
    bool slideShowOn = false;

    /* Asks for files: open (true) or save, title (may be empty), filter,
     * default name, several at once; false when cancelled.  The program
     * uses the common file dialog; tests answer directly. */
    std::function<bool(bool open, const std::string &title, const char *filter, const char *defName, bool multi,
                       std::vector<std::string> *paths)>
        askFiles;
    std::vector<std::string> debugLines;

    BOOL OnInitDialog() override;
    void OnOK() override { OnListOK(); }
    void OnCancel() override;

    void OnAdd();
    void OnDelete();
    void OnUp();
    void OnDown();
    void OnImport();
    void OnExport();
    void OnListOK();
    /* The selected item in the preview area with its information. */
    void PreviewSelected();

    CImageDropWnd &List() { return list_; }
    int Selected() const;
    std::vector<std::string> Items() const;
    bool HasGraph() const { return graph_ != nullptr; }

private:
    HRESULT CreateGraph();
    void ReleaseGraph();
    void DrainEvents();
    void UpdateCount();
    void Select(int i);
    void SetItemText(int i, const std::string &t);
    void Debug(const std::string &line);
    bool Ask(bool open, const std::string &title, const char *filter, const char *defName, bool multi,
             std::vector<std::string> *paths);

    CImageDropWnd list_;
    IGraphBuilder *graph_ = nullptr;
    IMediaControl *control_ = nullptr;
    IBasicVideo *video_ = nullptr;
    IVideoWindow *window_ = nullptr;
    IMediaEventEx *events_ = nullptr;
    bool comStarted_ = false;
};

#endif
