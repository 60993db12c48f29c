/*
 * The scheduler's fixed texts (its string table), exactly as the operator
 * sees them, trailing blanks included.
 */
#ifndef SCHEDULER_TEXTS_H
#define SCHEDULER_TEXTS_H

namespace texts {
constexpr const char kWarningCaption[] = "Warning";
constexpr const char kErrorCaption[] = "Error";

constexpr const char kFileOutOfForm[] = "This file cannot be read because of some out of the form.      "; /* 1 */
constexpr const char kFileNotSaved[] = "This file is not saved.     ";                                       /* 2 */
constexpr const char kCannotInsert[] = "The new schedule cannot be inserted.";                                /* 3 */
constexpr const char kScheduleWillBeDeleted[] = "Current schedule list will be deleted.     ";                 /* 5 */
constexpr const char kTitleScheduleWillBeDeleted[] = "Current Title schedule list will be deleted.";           /* 6 */
constexpr const char kMixerExitedAsk[] = "Corvane is exited. Will you exit Tarnell?     ";                  /* 7 */
constexpr const char kNextAllDeleted[] = "Next all schedule will be deleted.     ";                         /* 15 */
constexpr const char kMixerReady[] = "Corvane ready to get the signal.";                                    /* 16 */
constexpr const char kPictureTuning[] = "Picture tuning";                                                   /* 17 */
constexpr const char kChannelOn[] = "Corvane Channel On";                                                   /* 19 */
constexpr const char kSelectToSwitch[] = "Select to switch";                                                /* 20 */
constexpr const char kStartEncoding[] = "Start ENCODING";                                                   /* 21 */
constexpr const char kStopEncoding[] = "Stop ENCODING";                                                     /* 22 */
constexpr const char kEffectType[] = "Effect Type";                                                         /* 24 */
constexpr const char kStandBy[] = "Stand By";                                                               /* 25 */
constexpr const char kTitleOn[] = "Title On";                                                               /* 26 */
constexpr const char kDone[] = "Done";                                                                      /* 27 */
constexpr const char kMixerExited[] = "Corvane is exited.";                                                 /* 28 */
constexpr const char kReadyAtStart[] = "Ready to playback at the start position";                           /* 29 */
constexpr const char kMixerOff[] = "OFF Corvane";                                                           /* 30 */
constexpr const char kMixerOn[] = "ON Corvane";                                                             /* 31 */
constexpr const char kMixerOperating[] = "Corvane is operating.";                                           /* 55 */
constexpr const char kSaveSchedule[] = "Would you like to save schedule ?";                                 /* 101 */
constexpr const char kSaveTitleSchedule[] = "Would you like to save Title schedule ?";                      /* 102 */
constexpr const char kScheduleEndSave[] = "schedule the end! Would you like to save schedule ?";
constexpr const char kOnAir[] = "On Air";
constexpr const char kDeviceChannelOverflow[] = "Device Channel Overflow";
constexpr const char kMixerNotOperated[] = "Corvane is not operated.     ";                              /* 8 */
constexpr const char kOutOfDate[] = "This schedule is out of date. Turn on User define mode !!";                 /* 9 */
constexpr const char kCannotModify[] = "The new schedule cannot be modified.     ";                             /* 4 */
constexpr const char kStopOnAir[] = "On-air. Stop this program?     ";                                         /* 1419 */
constexpr const char kFilePathError[] = "File Path ERROR";
constexpr const char kSuccessfullyScheduled[] = "Successfully Scheduled.";
constexpr const char kScheduleTheEnd[] = "Schedulling The end";
constexpr const char kColorBarFile[] = "ColorBar\\ColorBar.bmp";
} // namespace texts

#endif
