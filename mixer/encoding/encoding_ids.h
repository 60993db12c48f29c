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

#endif
