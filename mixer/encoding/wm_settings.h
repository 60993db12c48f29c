/*
 * The Windows Media encoding options as the application profile keeps them
 * (section "EncodingOption\WindowsMedia"), with the two sets of defaults:
 * the options dialog's and the apply step's.  Also the destinations, the
 * checked-row text of the bit-rate list, the broadcast port edit and the
 * URLs built from this computer's name and address.
 */
#ifndef CORV_MIXER_WM_SETTINGS_H
#define CORV_MIXER_WM_SETTINGS_H

#include <string>
#include <vector>

namespace cl { class CProfile; }

extern const char kWmSection[];        /* "EncodingOption\WindowsMedia" */
extern const char kDefaultWmFile[];    /* "C:\output.wmv" */
extern const char kUserChosePrx[];     /* the profile built from the checked rows */
extern const char *const kWmDestinations[8];

enum class WmDefaults { Dialog, Apply };

struct WmEncodingSettings {
    std::string title, author, copyright, rating, description;
    std::string archive, pushServer, publishingPoint, copyFrom;
    int autoRemove = 0, port = 0, addIndex = 0, pushToServer = 0, archiveToFile = 1, broadcast = 0;
    int wm8ProfileIndex = 0, wm9ProfileIndex = 0, userProfileIndex = 0;
    /* The remembered profiles by name (empty: only the index is known). */
    std::string wm8ProfileName, userProfileName;
    int wm9Destination = 2, wm9Video = 0, wm9Audio = 0;
    int wm9SelBandWidthNumbers = 10, wm9CheckedNumbers = 1;
    std::string wm9CheckBitrate = "0";
};

/* Every key with the defaults of the dialog or of the apply step. */
WmEncodingSettings LoadWmSettings(const cl::CProfile &profile, WmDefaults which);
/* The keys the dialog's OK writes for every family, in its order: the five
 * header strings, "ArchivingFileName", "PushServer", "PublishingPoint",
 * "CopyFrom", "AutoRemove", "Port", "Addindex", "PushToServer",
 * "ArchiveToFile", "Broadcast". */
void SaveWmSettings(const cl::CProfile &profile, const WmEncodingSettings &s);

/* The checked rows of the bit-rate list as stored: "count" pieces of text
 * split at ",", the last running to the end.  Pieces that are not a row
 * number below rowCount are skipped; each row is named once. */
std::vector<int> ParseCheckedRows(const std::string &text, int count, int rowCount);
/* "0,3,5" */
std::string JoinCheckedRows(const std::vector<int> &rows);

/* The port an edit of the port box gives: an empty box gives 8080 (8079
 * and one free-port step), a text with a non-zero decimal value that value,
 * "0" (or no number) keeps the current port. */
int PortFromEdit(const std::string &text, int current);
/* "http://host:port" */
std::string UrlText(const std::string &host, int port);
/* This computer's name and the dotted text of the last address its name
 * resolves to; empty parts when Winsock or the lookup fails. */
void LocalHostAddresses(std::string *name, std::string *address);

#endif
