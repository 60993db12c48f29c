/*
 * The names of the capture devices the source entry offers: two tables of
 * up to 260 friendly names, the video inputs and the audio inputs, in the
 * system's enumeration order, each ending at its first empty entry.
 *
 * A DV camera brings its sound inside its video stream and has no audio
 * input of its own, so the audio table lists every audio input and then,
 * once, the first video input whose name holds "Microsoft DV".
 */
#ifndef SCHEDULER_APP_CAPTURE_NAMES_H
#define SCHEDULER_APP_CAPTURE_NAMES_H

#include <functional>
#include <string>
#include <vector>

class CaptureDeviceNames {
public:
    static constexpr int kTableSize = 260;
    static constexpr int kNameChars = 260;

    /* The friendly name of the device at 'index' of the video (or audio)
     * input category; false when there is none or the enumeration fails. */
    using Enumerator = std::function<bool(bool video, int index, std::string &name)>;

    /* Without an enumerator the system's device enumerator is asked. */
    explicit CaptureDeviceNames(Enumerator e = Enumerator());

    /* Null when there is no device at that position. */
    const char *GetVideoDeviceName(int index);
    /* The audio input at 'index'; past the last one, once, the first DV
     * camera among the video inputs (then null again). */
    const char *GetAudioDeviceName(int index);

    /* Fills both tables from position 0 on. */
    void Fill();
    const std::vector<std::string> &VideoTable() const { return video_; }
    const std::vector<std::string> &AudioTable() const { return audio_; }

    /* The system's enumeration (friendly names in the ANSI code page). */
    static bool SystemDevice(bool video, int index, std::string &name);

private:
    const char *Keep(const std::string &name);

    Enumerator enumerate_;
    bool dvGiven_ = false;
    char buffer_[kNameChars] = {};
    std::vector<std::string> video_, audio_;
};

/* The running processes whose program file is named 'exeName' (case
 * ignored). */
int CountProcesses(const char *exeName);

#endif
