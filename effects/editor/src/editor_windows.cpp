// The editor's windows inside a host window: the classes, the window tree
// (bind window holding the bar dialog and the main window), the tabbed
// tool dialog and its pages, and the editor's part of FXN_CREATE_EDITOR,
// FXN_PREPARE_EDITOR and FXN_CLOSE.
#include <cstdio>
#include <cstring>
#include <map>

#include "fxeditor.h"
#include "fxregdlg.h"
#include "fxmainview.h"

namespace {

const char kMainClass[] = "TarvoFX:MAIN";
int g_mainUsers;    // editors using the main class (under the editor lock)
int g_editorCount;  // nodes with editor windows
std::map<FxInstance *, FxEditorState *> g_editors;

FxInstance *InstanceOfWindow(HWND w)
{
    return reinterpret_cast<FxInstance *>(GetWindowLongPtrA(w, GWLP_USERDATA));
}

void ShowError(HWND owner, const char *text, const char *caption, UINT type)
{
    if (g_fxTundrix.iErrMessageBox)
        g_fxTundrix.iErrMessageBox(owner, text, caption, type);
    else
        MessageBoxA(owner, text, caption, type);
}

// The numeric pad's plus and minus for commands 3141 and 3142, for a host
// that embeds the editor.
HACCEL EmbeddedAccelerators(HACCEL table)
{
    const int n = CopyAcceleratorTableA(table, nullptr, 0);
    ACCEL *rows = new ACCEL[n + 2];
    int count = n > 0 ? CopyAcceleratorTableA(table, rows, n) : 0;
    bool have41 = false, have42 = false;
    for (int i = 0; i < count; ++i) {
        if (rows[i].cmd == 3141) {
            rows[i].fVirt = FVIRTKEY;
            rows[i].key = VK_ADD;
            have41 = true;
        } else if (rows[i].cmd == 3142) {
            rows[i].fVirt = FVIRTKEY;
            rows[i].key = VK_SUBTRACT;
            have42 = true;
        }
    }
    if (!have41) rows[count++] = ACCEL{FVIRTKEY, VK_ADD, 3141};
    if (!have42) rows[count++] = ACCEL{FVIRTKEY, VK_SUBTRACT, 3142};
    HACCEL out = CreateAcceleratorTableA(rows, count);
    delete[] rows;
    return out;
}

FxEditorState *NewState(FxInstance *inst)
{
    FxEditorState *&slot = g_editors[inst];
    if (!slot) {
        slot = new FxEditorState();
        slot->inst = inst;
        slot->lastFrameSent = -1;
        slot->lastViewFlags = FxViewFlags(inst) & 0xFF0;
        slot->tool = 3073;
        slot->pagedTool = 3073;
    }
    return slot;
}

void DropState(FxInstance *inst)
{
    auto it = g_editors.find(inst);
    if (it == g_editors.end()) return;
    delete it->second;
    g_editors.erase(it);
}

// Menu check marks of the view flags and the editor options.
void CheckMenuFromFlags(FxInstance *inst, HMENU menu)
{
    const uint32_t v = FxViewFlags(inst);
    const struct { int id; bool on; } rows[] = {
        {3096, (v & 0x10) != 0},  {3091, (v & 0x80) != 0},  {3093, (v & 0x800) != 0},
        {3092, (v & 0x200) && !(v & 0x800)}, {3094, (v & 0x100) != 0}, {3095, (v & 0x400) != 0},
    };
    for (auto &r : rows) CheckMenuItem(menu, r.id, MF_BYCOMMAND | (r.on ? MF_CHECKED : MF_UNCHECKED));
    const uint32_t o = inst->editorOptions;
    const struct { int id; uint32_t bit; } opts[] = {{3083, 0x4}, {3084, 0x8}, {3085, 0x10}, {3111, 0x20}, {3112, 0x40}};
    for (auto &r : opts) CheckMenuItem(menu, r.id, MF_BYCOMMAND | ((o & r.bit) ? MF_CHECKED : MF_UNCHECKED));
}

void LayoutChildren(FxInstance *inst, HWND bind)
{
    RECT rc;
    GetClientRect(bind, &rc);
    int barHeight = 0;
    if (inst->barDialog && IsWindow(inst->barDialog)) {
        RECT br;
        GetWindowRect(inst->barDialog, &br);
        barHeight = br.bottom - br.top;
        MoveWindow(inst->barDialog, 0, rc.bottom - barHeight, rc.right, barHeight, TRUE);
    }
    if (inst->mainWindow && IsWindow(inst->mainWindow))
        MoveWindow(inst->mainWindow, 0, 0, rc.right, rc.bottom - barHeight > 0 ? rc.bottom - barHeight : 0, TRUE);
}

// The pages of the tool dialog by personality: caption (a string id below
// 0x10000, else text), template and page procedure.
void AddPages(FxInstance *inst, HANDLE tab, HINSTANCE module, int *initialTab)
{
    const int p = inst->personality;
    const bool meshes = FxCachedBool(inst, FXC_MESHES) != 0;
    const bool realtime = meshes && FxCachedBool(inst, FXC_REALTIME) != 0;
    auto add = [&](uintptr_t caption, int templ, DLGPROC proc) {
        AddToolPage(tab, reinterpret_cast<LPCSTR>(caption), module, templ, proc, inst);
    };
    auto text = [](const char *t) { return reinterpret_cast<uintptr_t>(t); };
    if (p == 1 || p == 7) {
        add(text("DVE"), 3001, AnyDlg);
        add(113, 3011, FilterDlg);
        *initialTab = 1;
        add(118, 3012, Filter2Dlg);
    } else if (p == 2 || p == 6) {
        add(text("Position"), 3000, XYZDlg);
        add(text("Shape"), 3005, ShapeDlg);
        add(117, 3013, FilterDlg);
        // The warp view: the view flag word's mode bits say 2.
        if ((FxViewFlags(inst) & 0x3) == 2) {
            add(120, 3015, WarpDlg);
            *initialTab = 3;
        } else {
            *initialTab = 2;
        }
    } else if (p == 0 || p == 3) {
        add(text("Position"), realtime ? 4000 : 3000, XYZDlg);
        add(text("Shape"), realtime ? 4005 : 3005, ShapeDlg);
        add(113, realtime ? 4010 : 3010, FilterDlg);
        if (meshes) {
            if (FxCachedBool(inst, FXC_MESH_TAB)) add(119, 3015, WarpDlg);
            add(152, 3017, ThreeDMeshDlg);
        }
        add(114, 3030, SplineDlg);
        add(115, 3035, TimeDlg);
        add(116, 3040, PathRegDlg);
        add(153, 3018, CharDlg);
        return;
    } else {
        return;  // 4 and 5: no pages
    }
    add(114, 3030, SplineDlg);
    if (inst->features & 0x20000000) add(115, 3035, TimeDlg);
    add(116, 3040, PathRegDlg);
}

}  // namespace

FxEditorState *FxEditorOf(FxInstance *inst)
{
    auto it = g_editors.find(inst);
    return it == g_editors.end() ? nullptr : it->second;
}

int FxEditorCount()
{
    return g_editorCount;
}

int FxMainClassUsers()
{
    return g_mainUsers;
}

int RegisterClassIfNeeded(const WNDCLASSA *wc, const char *caption)
{
    WNDCLASSA have;
    if (GetClassInfoA(wc->hInstance, wc->lpszClassName, &have)) return 1;
    if (RegisterClassA(wc)) return 1;
    char text[300];
    std::snprintf(text, sizeof text, "Unable To Register Window Class \"%s\"", wc->lpszClassName);
    ShowError(nullptr, text, caption, 0x2030);
    return 0;
}

int RegisterBindClass(FxInstance *inst, CubbyNode *own)
{
    const FxPersonality &row = FxPersonalityRow(inst->personality);
    HINSTANCE module = GetFxInstance();
    WNDCLASSA wc;
    std::memset(&wc, 0, sizeof wc);
    wc.style = 0x200B;
    wc.lpfnWndProc = BindWndProc;
    wc.hInstance = module;
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hIcon = LoadIconA(module, inst->product[0] ? inst->product : row.product);
    wc.lpszClassName = row.bindClass;
    RegisterClassIfNeeded(&wc, inst->product);
    if (own) {
        HACCEL table = own->accelerators ? own->accelerators
                                         : LoadAcceleratorsA(module, MAKEINTRESOURCEA(row.accelId));
        if (table && inst->hostKind == FX_HOST_EMBEDDED) {
            bool done = false;
            ACCEL rows[256];
            const int n = CopyAcceleratorTableA(table, rows, 256);
            for (int i = 0; i < n; ++i)
                if (rows[i].cmd == 3141 && rows[i].key == VK_ADD && (rows[i].fVirt & FVIRTKEY)) done = true;
            if (!done) {
                HACCEL copy = EmbeddedAccelerators(table);
                if (copy) {
                    DestroyAcceleratorTable(table);
                    table = copy;
                }
            }
        }
        own->accelerators = table;
        if (!own->icon) own->icon = wc.hIcon;
    }
    FxMakeAttachPens(inst);
    // The host answers with a pointer to the registry file's full path.
    const char *regFile = reinterpret_cast<const char *>(FxCallHost(inst, FXN_GET_FILE, 1, nullptr));
    if (regFile && regFile[0] && g_fxTallyset.RegSetFile)
        g_fxTallyset.RegSetFile(regFile);
    return 1;
}

HWND CreateEditorWindows(FxInstance *inst, HINSTANCE module, HWND host, LPARAM hostValue, HMENU menu, BOOL visible)
{
    FxEditorState *ed = NewState(inst);
    ed->hostValue = hostValue;
    inst->menu = menu;
    inst->hostWindow = host;
    if (menu) CheckMenuFromFlags(inst, menu);
    const FxPersonality &row = FxPersonalityRow(inst->personality);
    HWND bind = nullptr;
    RECT rc = {0, 0, 0, 0};
    if (host && IsWindow(host)) {
        GetClientRect(host, &rc);
        bind = CreateWindowExA(0, row.bindClass, "", WS_CHILD | WS_CLIPCHILDREN | (visible ? WS_VISIBLE : 0), 0, 0,
                               rc.right, rc.bottom, host, nullptr, module, inst);
    }
    if (bind) {
        // A class registered at attach may carry the default procedure.
        if (reinterpret_cast<WNDPROC>(GetWindowLongPtrA(bind, GWLP_WNDPROC)) != BindWndProc)
            SetWindowLongPtrA(bind, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(BindWndProc));
        SetWindowLongPtrA(bind, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(inst));
        inst->bindWindow = bind;
        inst->barDialog = g_fxTundrix.iCreateDialogParam
                              ? g_fxTundrix.iCreateDialogParam(module, MAKEINTRESOURCEA(FXT_BAR), bind, BarDlg,
                                                               reinterpret_cast<LPARAM>(inst))
                              : CreateDialogParamA(module, MAKEINTRESOURCEA(FXT_BAR), bind, BarDlg,
                                                   reinterpret_cast<LPARAM>(inst));
    }
    if (bind && inst->barDialog) {
        RECT br;
        GetWindowRect(inst->barDialog, &br);
        const int barHeight = br.bottom - br.top;
        inst->mainWindow = CreateWindowExA(0, kMainClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, rc.right,
                                           rc.bottom - barHeight > 0 ? rc.bottom - barHeight : 0, bind, nullptr,
                                           module, inst);
    }
    if (!bind || !inst->barDialog || !inst->mainWindow) {
        if (bind) DestroyWindow(bind);
        inst->bindWindow = inst->mainWindow = inst->barDialog = nullptr;
        ShowError(host && IsWindow(host) ? host : nullptr, "SubApp Create failed", inst->product, MB_OK | MB_ICONEXCLAMATION | MB_TASKMODAL);
        return nullptr;
    }
    LayoutChildren(inst, bind);
    FxSyncEffectHost(inst);
    inst->host.mainWindow = inst->mainWindow;
    inst->host.menu = menu;
    // The feature mask reaches the editor through its menus and tool bar.
    AdaptEditorMenu(inst);
    return bind;
}

int AddToolPage(HANDLE tab, LPCSTR caption, HINSTANCE module, int templ, DLGPROC proc, FxInstance *inst)
{
    if (!tab || !g_fxTundrix.tabAddTemplate) return 0;
    char text[128];
    const uintptr_t id = reinterpret_cast<uintptr_t>(caption);
    if (id < 0x10000) {
        text[0] = 0;
        if (g_fxTundrix.iLoadString)
            g_fxTundrix.iLoadString(module, UINT(id), text, sizeof text, 0);
        else
            LoadStringA(module, UINT(id), text, sizeof text);
        caption = text;
    }
    return g_fxTundrix.tabAddTemplate(tab, caption, module, MAKEINTRESOURCEA(templ), proc,
                                      reinterpret_cast<LPARAM>(inst), 0);
}

HWND CreateToolDialog(FxInstance *inst, HWND parent)
{
    FxEditorState *ed = NewState(inst);
    HINSTANCE module = GetFxInstance();
    FxRegisterTimeBarClass(module);
    const int templ = (FxPersonalityRow(inst->personality).initialFlags & 0x2) ? FXT_TOOLS_TIMED : FXT_TOOLS;
    // The frame with the keyframe and time controls, modeless, as a child
    // of the host's window.  (The toolkit's entry takes a style, a point
    // size, a face and the template kind; 0x10 makes it modeless.)
    HWND dialog = nullptr;
    if (g_fxTundrix.HackDialogBoxParam)
        dialog = reinterpret_cast<HWND>(g_fxTundrix.HackDialogBoxParam(module, MAKEINTRESOURCEA(templ), parent,
                                                                       MorvixDlg, reinterpret_cast<LPARAM>(inst), 0,
                                                                       0, nullptr, 0x10));
    if (!dialog || !IsWindow(dialog))
        dialog = CreateDialogParamA(module, MAKEINTRESOURCEA(templ), parent, MorvixDlg, reinterpret_cast<LPARAM>(inst));
    if (!dialog) return nullptr;
    ed->toolDialog = dialog;
    inst->host.toolWindow = dialog;
    // The pages: a tabbed child frame under the frame's controls.  The
    // frame takes no caption (a caption is text: a template id passed
    // there would be read as a string).
    if (g_fxTundrix.tabCreate && g_fxTundrix.tabAddTemplate && g_fxTundrix.tabDialogBox) {
        HANDLE tab = g_fxTundrix.tabCreate(dialog, module, nullptr, nullptr, 0, 0, 0x10 | 0x20 | 0x400,
                                           static_cast<LPCSTR>(nullptr));
        int initial = 0;
        if (tab) AddPages(inst, tab, module, &initial);
        const uint32_t kind = inst->hostKind;
        if (tab && (kind == FX_HOST_EMBEDDED || kind == FX_HOST_KIND_94 || kind == FX_HOST_KIND_95) &&
            g_fxTundrix.tabSetFont) {
            const char *section = inst->own ? inst->own->name : "";
            char face[64];
            GetPrivateProfileStringA(section, "DialogFont", "Arial", face, sizeof face, inst->iniPath);
            g_fxTundrix.tabSetFont(tab, face, int(GetPrivateProfileIntA(section, "DialogFontSize", 8, inst->iniPath)));
        }
        if (tab && initial && g_fxTundrix.tabSetInitialTab) g_fxTundrix.tabSetInitialTab(tab, initial);
        const INT_PTR made = tab ? g_fxTundrix.tabDialogBox(tab) : 0;
        HWND frame = made != -1 && made != 0 && IsWindow(reinterpret_cast<HWND>(made)) ? reinterpret_cast<HWND>(made)
                                                                                      : nullptr;
        if (frame) {
            ed->tab = tab;
            ed->tabFrame = frame;
            // The frame goes under the controls; the dialog grows to hold it.
            RECT top, fr;
            GetClientRect(dialog, &top);
            GetWindowRect(frame, &fr);
            const int fw = fr.right - fr.left, fh = fr.bottom - fr.top;
            SetWindowPos(frame, nullptr, 0, top.bottom, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            RECT want = {0, 0, fw > top.right ? fw : top.right, top.bottom + fh};
            AdjustWindowRectEx(&want, DWORD(GetWindowLongA(dialog, GWL_STYLE)), FALSE,
                               DWORD(GetWindowLongA(dialog, GWL_EXSTYLE)));
            SetWindowPos(dialog, nullptr, 0, 0, want.right - want.left, want.bottom - want.top,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        } else if (tab && g_fxTundrix.tabDestroy) {
            g_fxTundrix.tabDestroy(tab);
        }
    }
    ShowWindow(dialog, SW_SHOW);
    UpdateEditor(inst, 0x15FFFFFF);
    return dialog;
}

INT_PTR OfferToolPage(FxInstance *inst, uint32_t flags, uint32_t state, uint32_t pageId)
{
    FxPageOffer offer = {flags | 0x200, state, pageId, ToolsDlg, inst};
    return FxCallHost(inst, FXN_ADD_PAGE, 0, &offer);
}

INT_PTR FxOpenEditor(FxInstance *inst, CubbyNode *own, UINT message, void *record)
{
    if (!inst || !own) return 0;
    if (own->window && IsWindow(own->window)) return 1;  // one editor per node
    HINSTANCE module = GetFxInstance();
    HWND parent = nullptr;
    if (message == FXN_PREPARE_EDITOR) {
        if (!record) return 0;
        parent = *static_cast<HWND *>(record);
    }
    FxLockEditor();
    BindLibraries(module, FxPersonalityRow(inst->personality).editorLibraries);
    WNDCLASSA wc;
    std::memset(&wc, 0, sizeof wc);
    wc.style = 0x200B;
    wc.lpfnWndProc = MainWndProc;
    wc.hInstance = module;
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.lpszClassName = kMainClass;
    const int mainOk = RegisterClassIfNeeded(&wc, inst->product);
    if (mainOk) ++g_mainUsers;
    RegisterBindClass(inst, own);
    ++g_editorCount;
    FxUnlockEditor();

    const char *ini = inst->iniPath;
    HWND bind = nullptr;
    if (message == FXN_CREATE_EDITOR) {
        FxPlacementQuery q = {ini, "fxmainwnd", 0, 0, 4};
        parent = reinterpret_cast<HWND>(FxCallHost(inst, FXN_GET_WINDOW, 0, &q));
        if (parent) bind = CreateEditorWindows(inst, module, parent, 0, own->menu, TRUE);
        if (bind) {
            own->window = bind;
            FxPlacementQuery b = {ini, "fxbottomdlg", 0, 0, 8};
            HWND bottom = reinterpret_cast<HWND>(FxCallHost(inst, FXN_GET_WINDOW, 0, &b));
            if (bottom) own->toolWindow = CreateToolDialog(inst, bottom);
        }
    } else {
        bind = parent ? CreateEditorWindows(inst, module, parent, 0, own->menu, TRUE) : nullptr;
        if (bind) {
            own->window = bind;
            HWND hostWindow = inst->peer ? inst->peer->window : nullptr;
            if (hostWindow && IsWindow(hostWindow)) own->toolWindow = CreateToolDialog(inst, hostWindow);
            const uint32_t page = inst->personality == 3 ? 3023 : inst->personality == 0 ? 4024 : 3024;
            OfferToolPage(inst, 0x7, 1, page);
        }
    }
    if (!bind) {
        FxCloseEditor(inst, own);
        return 0;
    }
    UpdateEditor(inst, 0x7FFFFF | FXU_FRAME | FXU_TOOL | FXU_NO_SNAPSHOT);
    return 1;
}

void FxCloseEditor(FxInstance *inst, CubbyNode *own)
{
    FxLockEditor();
    FxEditorState *ed = inst ? FxEditorOf(inst) : nullptr;
    const bool hadEditor = ed != nullptr;
    // The view comes home before the windows go, and the large edit window goes.
    if (ed && ed->largeEdit) DockEditorWindow(inst);
    if (own) {
        if (own->window && IsWindow(own->window)) DestroyWindow(own->window);
        if (own->toolWindow && IsWindow(own->toolWindow)) DestroyWindow(own->toolWindow);
        own->window = own->toolWindow = nullptr;
    }
    if (ed && ed->toolDialog && IsWindow(ed->toolDialog)) DestroyWindow(ed->toolDialog);
    if (ed && ed->tab && g_fxTundrix.tabDestroy) g_fxTundrix.tabDestroy(ed->tab);
    if (inst) {
        inst->mainWindow = inst->bindWindow = inst->barDialog = nullptr;
        inst->host.mainWindow = inst->host.toolWindow = nullptr;
        if (hadEditor) {
            // The view stays with the effect, drawing nowhere.
            FxEffect *fx = FxCurrentEffect(inst);
            if (fx && fx->view) {
                fx->view->window = nullptr;
                fx->view->dc = nullptr;
            }
            FreeLibraries(FxPersonalityRow(inst->personality).editorLibraries);
            DropState(inst);
        }
    }
    if (hadEditor) {
        if (g_editorCount > 0) --g_editorCount;
        if (g_mainUsers > 0 && --g_mainUsers == 0) UnregisterClassA(kMainClass, GetFxInstance());
    }
    FxUnlockEditor();
}

// ---------------------------------------------------------------- procedures

// The window the editor hangs under in the host: lays out the main window
// above the bar and hands menu and sizing messages to the editor procedure.
extern "C" LRESULT WINAPI BindWndProc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    FxInstance *inst = InstanceOfWindow(w);
    switch (msg) {
    case WM_CREATE: {
        auto *cs = reinterpret_cast<CREATESTRUCTA *>(lp);
        if (cs && cs->lpCreateParams) SetWindowLongPtrA(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        return 0;
    }
    case WM_SIZE:
        if (inst) {
            LayoutChildren(inst, w);
            if (inst->barDialog && IsWindow(inst->barDialog)) LayoutToolBar(inst);
        }
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(w, &ps);
        EndPaint(w, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 0;
    case WM_CLOSE:
        // A host that embeds the editor keeps it: the window stays.
        if (inst && inst->hostKind == FX_HOST_EMBEDDED) return 1;
        break;
    case WM_SHOWWINDOW:
        if (inst && inst->mainWindow && IsWindow(inst->mainWindow)) SendMessageA(inst->mainWindow, msg, wp, lp);
        break;
    case WM_COMMAND:
    case WM_INITMENU:
    case WM_ENTERSIZEMOVE:
    case WM_EXITSIZEMOVE:
        return MainProc(inst, inst && inst->mainWindow && IsWindow(inst->mainWindow) ? inst->mainWindow : w, msg, wp,
                        lp);
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
        return 0;
    case WM_DESTROY:
        if (inst && inst->bindWindow == w) inst->bindWindow = nullptr;
        break;
    default:
        break;
    }
    return DefWindowProcA(w, msg, wp, lp);
}

extern "C" INT_PTR WINAPI BarDlg(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(w, GWLP_USERDATA, lp);
        return FALSE;
    case WM_COMMAND: {
        FxInstance *inst = InstanceOfWindow(w);
        if (inst && inst->mainWindow && IsWindow(inst->mainWindow)) SendMessageA(inst->mainWindow, WM_COMMAND, wp, lp);
        return TRUE;
    }
    case WM_ENABLE: {
        for (HWND c = GetWindow(w, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) EnableWindow(c, BOOL(wp));
        return TRUE;
    }
    case WM_DESTROY: {
        FxInstance *inst = InstanceOfWindow(w);
        if (inst && inst->barDialog == w) inst->barDialog = nullptr;
        return FALSE;
    }
    default:
        return FALSE;
    }
}

// A page without a procedure of its own: its controls go to the panel.
extern "C" INT_PTR WINAPI TabDlg(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(w, GWLP_USERDATA, lp);
        return FALSE;
    case WM_COMMAND: {
        FxInstance *inst = InstanceOfWindow(w);
        if (inst) PanelCommand(inst, w, LOWORD(wp), reinterpret_cast<HWND>(lp), HIWORD(wp));
        return TRUE;
    }
    default:
        return FALSE;
    }
}
