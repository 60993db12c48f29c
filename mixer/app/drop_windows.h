/*
 * Windows that take files dropped from the shell.
 *
 * CDropWnd: what both kinds carry: the options word (default 3), a text, a
 * callback (empty by default) and whether this object started OLE on its
 * thread.  The constructor starts OLE (a failure is reported and the drops
 * still arrive as WM_DROPFILES); the destructor ends it only when the
 * constructor started it.  Attaching to a window registers it for shell
 * file drops.
 *
 * CMovieDropWnd: a channel's preview window.  One media or image file
 * dropped on it opens on the channel of its control id (1007, 1019, 1021,
 * 1058, 1075 are channels 1 to 5) through openOnChannel (channel index,
 * path).
 *
 * CImageDropWnd: a list view.  Each dropped item (a shortcut resolved to its
 * target) that is an existing ".gif", ".bmp" or ".jpg" file becomes a new
 * first item, once unless DROP_DUPLICATES is set; with DROP_TO_CALLBACK
 * every existing item goes to the callback instead.  The list never grows
 * past maxItems (when not 0): the first item over it is refused with a
 * message.  onAdded runs after a drop that added items; the owner keeps
 * its own count from the list (nothing process-wide changes on a drop).
 *
 * User-interface thread only.
 */
#ifndef CORV_MIXER_DROP_WINDOWS_H
#define CORV_MIXER_DROP_WINDOWS_H

#include "wnd.h"
#include <shellapi.h>
#include <functional>
#include <string>
#include <vector>

constexpr DWORD DROP_DUPLICATES = 0x04;
constexpr DWORD DROP_TO_CALLBACK = 0x20;

extern const char kMsgOleInitFailed[];

class CDropWnd : public cl::CWnd {
public:
    CDropWnd();
    ~CDropWnd() override;

    DWORD options = 3;
    std::string text;
    std::function<void(const std::string &path)> callback;
    bool StartedOle() const { return oleStarted_; }

    /* The paths of a shell drop, in order. */
    static std::vector<std::string> DroppedFiles(HDROP drop);
    /* The extension from the last "." of the file name ("" when none). */
    static std::string Extension(const std::string &path);

protected:
    void PreSubclassWindow() override;
    virtual void OnDropFiles(HDROP drop) = 0;

private:
    bool oleStarted_ = false;
};

class CMovieDropWnd : public CDropWnd {
public:
    std::function<void(int index, const std::string &path)> openOnChannel;
    /* The channel index (0..4) of a preview control id, -1 for others. */
    static int ChannelOfControl(UINT id);
    static bool IsMovieExtension(const std::string &ext);

protected:
    void OnDropFiles(HDROP drop) override;
};

class CImageDropWnd : public CDropWnd {
public:
    int maxItems = 0;
    std::function<void()> onAdded;
    /* A shortcut's target (up to 260 characters); other paths unchanged. */
    static std::string ResolveShortcut(const std::string &path);
    static bool IsImageExtension(const std::string &ext);
    /* Inserts text as the first item and selects it; false when the list
     * is full (after its message) or, without DROP_DUPLICATES, when the
     * text is already listed. */
    bool AddFirst(const std::string &text);
    int ItemCount() const;
    std::string ItemText(int i) const;

protected:
    void OnDropFiles(HDROP drop) override;
};

#endif
