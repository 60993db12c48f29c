/*
 * The main window's smaller operator functions: the colour correction
 * dialog (312), the TV-out window (378) with the monitor list it is placed
 * by, and the transition-time field's correction.  The CMixerDlg commands
 * that use them (EditHslEffect, ToggleBackMusic, ToggleTvOut, ShowHelp,
 * OnMasterVolume) are defined in operator_extras.cpp.
 */
#ifndef CORV_MIXER_OPERATOR_EXTRAS_H
#define CORV_MIXER_OPERATOR_EXTRAS_H

#include "buttons.h"
#include "dialog.h"
#include "operator_ids.h"
#include "scrollbar.h"
#include <functional>
#include <string>
#include <vector>

/* The transition-time field after an edit: an empty text stays empty; not
 * a number or below 0 becomes "0.1", above 10 becomes "10.0"; any other
 * text stays as typed.  True when the text changes. */
bool CorrectTransTimeField(const std::string &text, std::string *corrected);

/* One display monitor: its handle and its full rectangle.  A monitor of the
 * stand-in list has no handle and the rectangle it was given. */
class CMonitorInfo {
public:
    explicit CMonitorInfo(HMONITOR monitor) : monitor_(monitor) {}
    explicit CMonitorInfo(const RECT &rect) : rect_(rect), standIn_(true) {}
    HMONITOR Handle() const { return monitor_; }
    RECT FullRect() const;
    /* The primary monitor is the one holding the point (0, 0). */
    bool IsPrimary() const;

private:
    HMONITOR monitor_ = nullptr;
    RECT rect_ = {};
    bool standIn_ = false;
};

/* The display monitors in the system's enumeration order. */
class CMonitorList {
public:
    /* The number of monitors the system reports. */
    static int SystemCount();
    void Build();
    /* The TV output's monitor: position 1, or position 0 when the monitor
     * at position 1 is the primary one; -1 with fewer than two. */
    int TvOutIndex() const;
    std::vector<CMonitorInfo> monitors;

    /* A monitor layout given in place of the system's (tests); empty: the
     * system's monitors. */
    static std::vector<RECT> &StandIn();
};

/* Dialog 378: one static control as video area, always filling the client
 * area; Esc and Enter do not close it. */
class CTvOutDlg : public cl::CDialog {
public:
    explicit CTvOutDlg(HWND parent);
    BOOL OnInitDialog() override;
    void OnOK() override {}
    void OnCancel() override {}
    HWND VideoArea() const { return GetDlgItem(IDC_TVOUT_VIDEO); }
};

/* Dialog 312: hue, saturation and lightness offsets with three skinned
 * sliders, their fields and OK, Cancel and "Reset". */
class CHslEffectDlg : public cl::CDialog {
public:
    CHslEffectDlg(HWND parent, int hue, int saturation, int lightness);
    ~CHslEffectDlg() override;

    int hue, saturation, lightness;
    /* Runs once the dialog is up (tests). */
    std::function<void(CHslEffectDlg &)> script;
    /* The 36 corners of the dialog's outline. */
    static const POINT kOutline[36];

    BOOL OnInitDialog() override;
    void DoDataExchange(cl::CDataExchange *dx) override;
    /* Slider i (0 hue, 1 saturation, 2 lightness) moved to a position. */
    void OnSliderMoved(int i);
    void OnFieldEdited(int i);
    void OnReset();
    HWND Slider(int i) const;
    HWND Field(int i) const;

private:
    void Place(UINT id, int x, int y, int w, int h);
    HBITMAP skin_ = nullptr;
    CBitmapSlider sliders_[3];
    CRegionButton ok_, cancel_, reset_;
    bool moving_ = false;
};

#endif
