/* Identifiers of the encoding dialogs and menu commands. */
#ifndef CORV_MIXER_ENCODING_IDS_H
#define CORV_MIXER_ENCODING_IDS_H

#define ID_ENCODER_WM8          32824
#define ID_ENCODER_WM9          32825
#define ID_ENCODER_FLV          32833
#define ID_ENCODING_PROPERTIES  32828

#define IDD_FLV_SETTINGS        373
#define IDC_FLV_FORMAT          1358
#define IDC_FLV_DESTINATION     1359
#define IDC_FLV_BROWSE          1360
#define IDC_FLV_WIDTH           1361
#define IDC_FLV_HEIGHT          1362
#define IDC_FLV_VIDEO_BITRATE   1363
#define IDC_FLV_FRAME_RATE      1364
#define IDC_FLV_SAMPLE_RATE     1365
#define IDC_FLV_AUDIO_BITRATE   1369

#define IDD_PROFILE_TARGET      135
#define IDC_TARGET_NAME_LABEL   1274
#define IDC_TARGET_NAME         1282
#define IDC_TARGET_BITRATE_LABEL 1275
#define IDC_TARGET_BITRATE      1235
#define IDC_TARGET_BPS          1276

#define IDD_VIDEO_SIZE          141
#define IDC_SIZE_WIDTH          1281
#define IDC_SIZE_HEIGHT         1282
#define IDC_SIZE_WIDTH_LABEL    1288
#define IDC_SIZE_HEIGHT_LABEL   1289
#define IDC_SIZE_X_LABEL        1290
#define IDC_SIZE_GROUP          1291

#endif
