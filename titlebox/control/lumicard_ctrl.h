/*
 * CLumicardCtrl: the title-box control.  It owns one title page, the
 * defaults new objects take (read from the "Settings" section of the
 * module's profile), the current file, the selection and the modified flag,
 * and answers the dispatch interface _DLumicard by DISPID.
 */
#pragma once
#include <windows.h>

#include <string>

#include "olecontrol.h"
#include "profile.h"
#include "title_export.h"
#include "title_file.h"
#include "title_render.h"

namespace lumicard {

// The module's profile root: "Lumicard10" under the class library's company key.
extern const char kProfileRoot[];
cl::CProfile &ModuleProfile();
extern const cl::OleControlClass kLumicardClass;

// Reads every "Settings" key into the defaults (and the page background).
void ReadSettings(const cl::CProfile &p, titlebox::TitleDefaults *d);

class CLumicardCtrl : public cl::COleControl {
public:
    CLumicardCtrl();
    ~CLumicardCtrl() override;
    static HRESULT Create(REFIID riid, void **out);

    titlebox::TitleObjectList &Page() { return page_; }
    titlebox::TitleObject *Selected() const { return sel_; }
    const titlebox::TitleDefaults &Defaults() const { return defaults_; }
    const std::string &PathName() const { return path_; }

protected:
    HRESULT InvokeMethod(DISPID id, WORD flags, DISPPARAMS *params, VARIANT *result) override;
    void OnDraw(HDC dc, const RECT &bounds) override;

private:
    titlebox::PageScale Scale() const { return {hf_, vf_}; }
    void Select(titlebox::TitleObject *o);
    void Changed();  // modified flag and redraw
    bool AskSaveChanges();  // false: the command stops
    void ClearPage();
    void OpenFile(const std::string &path);
    bool SaveFile(const std::string &path);
    bool SaveWithDialog();
    void OpenWithDialog();
    void NewTextObject(const std::string &text);
    void ImportTextWithDialog();
    BOOL Export(titlebox::TitleExportKind kind);
    void SetAsDefault();

    titlebox::TitleObjectList page_;
    titlebox::TitleDefaults defaults_;
    titlebox::TitleObject *sel_ = nullptr;
    std::string path_;
    COLORREF background_ = 0xDFDFDF;
    int outW_ = 640, outH_ = 480, clientW_ = 320, clientH_ = 240;
    float hf_ = 2.0f, vf_ = 2.0f;
};

} // namespace lumicard
