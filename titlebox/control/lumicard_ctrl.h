/*
 * CLumicardCtrl: the title-box control.  It owns one title page, the
 * defaults new objects take (read from the "Settings" section of the
 * module's profile), the current file, the selection and the modified flag,
 * and answers the dispatch interface _DLumicard by DISPID.
 */
#pragma once
#include <windows.h>

#include <string>

#include "lumicard_editor.h"
#include "lumicard_menu.h"
#include "olecontrol.h"
#include "profile.h"
#include "cga_clip.h"
#include "title_export.h"
#include "title_file.h"
#include "title_render.h"

namespace lumicard {

// Commands of the control (its context menu's items).
enum LumicardCommand {
    ID_LM_TEXT_EDIT = 32768,
    ID_LM_SET_AS_DEFAULT = 32769, ID_LM_EXPORT = 32770, ID_LM_IMPORT_IMAGE = 32780, ID_LM_IMPORT_TEXT = 32781,
    ID_LM_DELETE = 32790, ID_LM_NEW = 32791, ID_LM_SAVE = 32792, ID_LM_OPEN = 32793, ID_LM_TITLE_MOTION = 32794,
    ID_LM_BACKGROUND = 32804, ID_LM_CUT = 32807, ID_LM_COPY = 32808, ID_LM_PASTE = 32809,
    ID_LM_BRING_TO_FRONT = 32810, ID_LM_SEND_TO_BACK = 32811, ID_LM_BRING_FORWARD = 32812,
    ID_LM_SEND_BACKWARD = 32813, ID_LM_PREFERENCE = 32816
};

// A copy of an object as the internal clipboard keeps it (never a clip):
// a new tracker of the same rectangle with the given factors.
std::unique_ptr<titlebox::TitleObject> CopyTitleObject(const titlebox::TitleObject &o, const titlebox::TitleDefaults &d,
                                                       const titlebox::PageScale &scale);

// The module's profile root: "Lumicard10" under the class library's company key.
extern const char kProfileRoot[];
cl::CProfile &ModuleProfile();
extern const cl::OleControlClass kLumicardClass;

// Reads every "Settings" key into the defaults (and the page background).
void ReadSettings(const cl::CProfile &p, titlebox::TitleDefaults *d);

class CLumicardCtrl : public cl::COleControl {
public:
    CLumicardCtrl();
    HWND EditorWindow() const { return editor_.Window(); }
    ~CLumicardCtrl() override;
    static HRESULT Create(REFIID riid, void **out);

    titlebox::TitleObjectList &Page() { return page_; }
    titlebox::TitleObject *Selected() const { return sel_; }
    const titlebox::TitleDefaults &Defaults() const { return defaults_; }
    const std::string &PathName() const { return path_; }

protected:
    HRESULT InvokeMethod(DISPID id, WORD flags, DISPPARAMS *params, VARIANT *result) override;
    void OnDraw(HDC dc, const RECT &bounds) override;
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    titlebox::PageScale Scale() const { return {hf_, vf_, outW_, outH_}; }
    void Select(titlebox::TitleObject *o);
    void Changed();  // modified flag and redraw
    void FitText(titlebox::TitleObject *o);  // grows a text's box to hold it
    bool AskSaveChanges();  // false: the command stops
    void ClearPage();
    void OpenFile(const std::string &path);
    bool SaveFile(const std::string &path);
    bool AskFileName(bool save, const char *folderKey, const char *filter, const char *title, char *file);
    bool SaveWithDialog();
    void OpenWithDialog();
    void NewTextObject(const std::string &text);
    void ImportTextWithDialog();
    BOOL Export(titlebox::TitleExportKind kind);
    void SetAsDefault();
    void ImportCaplift();
    bool ImportClip(const std::string &path);
    void ImportImageWithDialog();
    bool ImportImage(const std::string &path);

    // Page editing with the mouse and keyboard, and the commands.
    titlebox::TitleObject *HitTest(POINT pt, bool *insideText);
    void OnLButtonDown(POINT pt);
    void OnRButtonDown(POINT pt);
    void OnKeyDown(UINT key);
    void OnContextMenu(POINT screen);
    bool OnCommand(UINT id);
    void RemoveObject(titlebox::TitleObject *o);
    void Reorder(UINT command);
    void SetSelection(titlebox::TitleObject *o, bool fire);
    void OnLButtonDblClk(POINT pt);

    // The in-place editor (created when the window is first shown).
    bool EnsureEditor();
    void OpenEditorOn(titlebox::TitleObject *o, const std::string &text);
    // Copies a changed editor text into its object; the editor stays open.
    void SyncEditorText();
    // Copies it and closes the editor.
    void TakeEditorText();
    void HideEditor();
    bool EditingObject(const titlebox::TitleObject *o) const { return o && o == editObj_ && editor_.IsOpen(); }
    InPlaceEditor editor_;
    titlebox::TitleObject *editObj_ = nullptr;  // the text object the editor is open on
    std::string editorLoaded_;  // its text as the editor showed it when opened
    bool editing_ = false;

    MenuDrawer *menuDrawer_ = nullptr;  // while a context menu shows
    std::unique_ptr<titlebox::TitleObject> clipboard_;
    int pasteCount_ = 0;

    titlebox::TitleObjectList page_;
    titlebox::TitleDefaults defaults_;
    titlebox::TitleObject *sel_ = nullptr;
    std::string path_;
    COLORREF background_ = 0xDFDFDF;
    int outW_ = 640, outH_ = 480, clientW_ = 320, clientH_ = 240;
    float hf_ = 2.0f, vf_ = 2.0f;
};

} // namespace lumicard
