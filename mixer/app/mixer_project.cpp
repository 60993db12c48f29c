#include "mixer_project.h"
#include <algorithm>
#include "engine_calls.h"
#include "filedlg.h"
#include "mixer_dlg.h"
#include "resource.h"
#include "slide_show_dlg.h"

namespace {

const char kProjectFilter[] = "Corvane file(s) (*.kvz)|*.kvz|All files (*.*)|*.*|";

std::string LoadText(UINT id, const char *fallback)
{
    char buf[256] = {};
    return LoadStringA(GetModuleHandleA(nullptr), id, buf, sizeof(buf)) ? buf : fallback;
}

} // namespace

/* ---- commands ---- */

bool MixerProject::AskProjectPath(bool save)
{
    std::string chosen;
    bool ok;
    if (askPath) {
        ok = askPath(save, &chosen);
    } else {
        /* Saving asks with the save dialog: the open dialog would refuse a new name. */
        /* A name typed without its extension is saved as a project file. */
        cl::CFileDialog fd(!save, save ? "kvz" : nullptr, "*.kvz", OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                           kProjectFilter, dlg_.m_hWnd);
        fd.SetTitle(save ? LoadText(IDS_PROJECT_SAVE_CAPTION, "File Save") : LoadText(IDS_PROJECT_OPEN_CAPTION, "File Open"));
        ok = fd.DoModal() == IDOK;
        if (ok) chosen = fd.GetPathName();
    }
    path = ok ? chosen : std::string();
    return ok && !path.empty();
}

void MixerProject::OpenProject()
{
    if (dlg_.m_bRemoteMode) return;
    if (!AskProjectPath(false)) return;
    if (LoadProjectFile(path, *this) == ProjectLoad::Loaded) loaded = 1;
}

void MixerProject::SaveProject()
{
    if (dlg_.m_bRemoteMode) return;
    if (path.empty() && !AskProjectPath(true)) return;
    SaveProjectFile(path, Snapshot(), *this);
}

void MixerProject::SaveProjectAs()
{
    if (dlg_.m_bRemoteMode) return;
    if (!AskProjectPath(true)) return;
    SaveProject();
}

ProjectSnapshot MixerProject::Snapshot() const
{
    const ChannelDeck &d = dlg_.deck;
    ProjectSnapshot s;
    s.slideShow = d.slideShow != 0;
    s.backgroundMusic = d.backgroundMusic != 0;
    int count = (std::min)((int)images.size(), (std::max)(d.imageCount, 0));
    s.images.assign(images.begin(), images.begin() + count);
    for (int n = 1; n <= CHANNELS; ++n) {
        if (!d.ch[n].open) continue;
        s.video[n] = d.ch[n].video;
        s.audio[n] = d.ch[n].audio;
    }
    s.preview = d.preview;
    s.onAir = d.onAir;
    s.transition = dlg_.m_nTransition;
    return s;
}

/* ---- slide show ---- */

void MixerProject::OnSlideShowButton()
{
    if (dlg_.m_bRemoteMode) return;
    SetSlideShowMode(!dlg_.deck.slideShow);
}

void MixerProject::OnSlideShowOpen()
{
    RunSlideShowDialog();
}

bool MixerProject::RunSlideShowDialog()
{
    int count = (std::min)((int)images.size(), (std::max)(dlg_.deck.imageCount, 0));
    CSlideShowDlg sd(dlg_.m_hWnd, std::vector<std::string>(images.begin(), images.begin() + count));
    INT_PTR r = runSlideShow ? runSlideShow(sd) : sd.DoModal();
    if (r != IDOK) return false;
    SetImageTable(sd.images);
    SetSlideShowMode(sd.slideShowOn);
    if (sd.slideShowOn) ShowSlideAt(dlg_.deck.imagePosition);
    return true;
}

void MixerProject::ShowSlideAt(int position)
{
    ChannelDeck &d = dlg_.deck;
    int count = (std::min)((int)images.size(), d.imageCount);
    if (count <= 0) return;
    if (position < 0 || position >= count) position = 0;
    d.imagePosition = position;
    ShowSlide(position, images[position]);
}

bool MixerProject::ShowSlide(int, const std::string &picture)
{
    if (!g_engine.OpenSource(3, picture.c_str(), picture.c_str())) return false;
    ChannelDeck &d = dlg_.deck;
    ChannelDeck::Channel &c = d.ch[4];
    c.open = 1;
    c.video = c.audio = picture;
    c.duration = g_engine.MyGetDuration(3);
    c.kind = SOURCE_FILE;
    dlg_.ShowChannelDuration(4, c.duration);
    d.OnPlay(4);
    /* As with any first source, the engine also puts it on air when
     * nothing was selected yet. */
    bool first = d.preview == -1;
    d.OnSelectChannel(4);
    if (first) {
        d.onAir = 4;
        d.SetChannelIndicators(4);
    }
    return true;
}

/* ---- what a load applies ---- */

void MixerProject::ShowMessage(const std::string &text)
{
    std::string shown = text == kMsgNotProject ? LoadText(IDS_PROJECT_NOT_CORVANE, kMsgNotProject) : text;
    MessageBoxA(dlg_.m_hWnd, shown.c_str(), "Corvane", MB_OK | MB_ICONEXCLAMATION);
}

void MixerProject::SaveTitle(const std::string &file)
{
    if (dlg_.titleBox_.HasControl()) dlg_.titleBox_.LMSaveDirectlyLMF(file);
}

void MixerProject::OpenTitle(const std::string &file)
{
    if (dlg_.titleBox_.HasControl()) dlg_.titleBox_.LMOpenDirectlyLMF(file);
}

void MixerProject::NewProject()
{
    dlg_.NewProject();
}

void MixerProject::SetSlideShowMode(bool on)
{
    dlg_.deck.slideShow = on ? 1 : 0;
    if (CHoverButton *b = dlg_.Hover(IDC_SLIDESHOW)) b->SetState(on ? 0 : 1);
}

void MixerProject::SetBackgroundMusic(bool on)
{
    dlg_.deck.backgroundMusic = on ? 1 : 0;
    if (CHoverButton *b = dlg_.Hover(IDC_BACKMUSIC)) b->SetState(on ? 0 : 1);
    if (on) g_engine.SetBackMusic(TRUE);
}

bool MixerProject::OpenChannel(int n, const std::string &video, const std::string &audio)
{
    if (n < 1 || n > CHANNELS) return false;
    if (!g_engine.OpenSource((WORD)(n - 1), video.c_str(), audio.c_str())) return false;
    dlg_.deck.ReadyChannel(n - 1, video);
    dlg_.deck.ch[n].audio = audio;
    return true;
}

void MixerProject::SetImageTable(const std::vector<std::string> &paths)
{
    images.assign(paths.begin(), paths.begin() + (std::min)((int)paths.size(), kMaxSlideImages));
    dlg_.deck.imageCount = (int)images.size();
    if (dlg_.deck.imagePosition >= dlg_.deck.imageCount) dlg_.deck.imagePosition = 0;
}

void MixerProject::EditSlideShow()
{
    RunSlideShowDialog();
}

void MixerProject::SetSelections(int preview, int onAir, int transition)
{
    /* A stored selection counts only for a channel that holds a source now;
     * otherwise the selection the opened channels made stays. */
    ChannelDeck &d = dlg_.deck;
    if (preview >= 1 && preview <= CHANNELS && d.ch[preview].open) d.OnSelectChannel(preview);
    if (onAir >= 1 && onAir <= CHANNELS && d.ch[onAir].open) d.onAir = onAir;
    d.SetChannelIndicators(d.preview);
    dlg_.m_nTransition = transition;
    dlg_.palette.Select(transition);
}
