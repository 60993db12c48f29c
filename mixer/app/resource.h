/* Resource and control numbers of Corvane.exe. */
#ifndef CORV_MIXER_RESOURCE_H
#define CORV_MIXER_RESOURCE_H

#define IDD_MIXER               102
#define IDI_MIXER               128
#define IDR_MIXER_MENU          135
#define IDR_MIXER_KEYS          237
#define IDD_SOURCE              238
#define IDB_SOURCE_SKIN         239
#define IDB_FILE_IMAGES         281
#define IDB_STARTUP             341
#define IDD_STARTUP             342
#define IDB_ABOUT               345
#define IDD_ABOUT               350
#define IDD_WORKSPACE           379
#define IDB_BACKGROUND          382

/* Skin bitmaps: down (lit) and up (resting) pictures. */
#define IDB_ENCODING_UP         141
#define IDB_ENCODING_DOWN       143
#define IDB_TRANSPORT_FIRST     171   /* rewind, stop, pause, play, forward, open: up, down pairs */
#define IDB_INDICATOR_LIT       183
#define IDB_INDICATOR_IDLE      184
#define IDB_INDICATOR_ONAIR     185
#define IDB_MENU_UP_FIRST       190
#define IDB_MENU_DOWN_FIRST     196
#define IDB_MIN_UP              202
#define IDB_MIN_DOWN            203
#define IDB_EXIT_UP             204
#define IDB_EXIT_DOWN           205
#define IDB_SWITCH_UP           400
#define IDB_MINUS_UP            402
#define IDB_PLUS_UP             404
#define IDB_TVOUT_UP            406
#define IDB_TITLEONOFF_UP       408
#define IDB_APPLY_UP            410
#define IDB_TITLEBTN_FIRST      412   /* new, open, save, image, alpha, motion, preview */
#define IDB_MOTION_FIRST        426   /* none, left, down, up, right */
#define IDB_SLIDESHOW_UP        436
#define IDB_BACKMUSIC_UP        438
#define IDB_FOLDER_UP           440
#define IDB_TBAR_CHANNEL        442
#define IDB_TBAR_THUMB          443
#define IDB_MOTION_CHANNEL      444
#define IDB_MOTION_THUMB        445
#define IDB_OK_UP               446
#define IDB_CANCEL_UP           448
#define IDB_CLOSE               450
#define IDB_PALETTE_FIRST       451
#define IDC_SLIDER_THUMB_CURSOR 338

/* Controls of the main window. */
#define IDC_SWITCH              1001
#define IDC_ENCODING            1002
#define IDC_TVOUT               1003
#define IDC_TIME_MINUS          1004
#define IDC_TIME_PLUS           1005
#define IDC_PROGRAMME           1020
#define IDC_ENCODE_TIME         1026
#define IDC_TRANS_TIME          1027
#define IDC_TITLE_NEW           1030
#define IDC_TITLE_OPEN          1031
#define IDC_TITLE_SAVE          1032
#define IDC_TITLE_HSCROLL       1033
#define IDC_TITLE_VSCROLL       1034
#define IDC_TITLE_IMAGE         1038
#define IDC_TITLE_ALPHA         1039
#define IDC_TITLE_MOTIONFILE    1040
#define IDC_TITLE_PREVIEW       1042
#define IDC_TITLE_APPLY         1043
#define IDC_TITLE_ONOFF         1045
#define IDC_MOTION_NONE         1051
#define IDC_MENU_FIRST          1061
#define IDC_EXIT                1067
#define IDC_MINIMIZE            1068
#define IDC_FOLDER_BUTTON       1084
#define IDC_FILE_LIST           1100
#define IDC_FOLDER_FIELD        1101
#define IDC_MOTION_SLIDER       1104
#define IDC_MOTION_VALUE        1105
#define IDC_INDICATOR_FIRST     1108
#define IDC_TBAR                1116
#define IDC_TITLEBOX            1125
#define IDC_TRANS_NAME          1120
#define IDC_SLIDESHOW           1157
#define IDC_BACKMUSIC           1158

/* Source dialog. */
#define IDC_SRC_VIDEO           1062
#define IDC_SRC_AUDIO           1064
#define IDC_SRC_CLOSE           1065
/* Start-up picture. */
#define IDC_STARTUP_PICTURE     1140

/* Commands. */
#define ID_ABOUT                16
#define ID_NEW_PROJECT          32771
#define ID_OPEN_PROJECT         32772
#define ID_SAVE_PROJECT         32773
#define ID_SAVE_PROJECT_AS      32774
#define ID_EXIT                 32775
#define ID_OPEN_CH1             32777
#define ID_OPEN_CH2             32778
#define ID_PREVIEW_CH1          32779
#define ID_PREVIEW_CH2          32780
#define ID_START_ENCODING       32791
#define ID_CAPTURE_SOURCE       32792
#define ID_CAPTURE_FORMAT       32794
#define ID_KEY_R                32814
#define ID_KEY_W                32815
#define ID_SWITCHOVER           32816
#define ID_OPEN_CH3             32817
#define ID_OPEN_CH4             32818
#define ID_OPEN_CH5             32819
#define ID_PREVIEW_CH3          32820
#define ID_PREVIEW_CH4          32821
#define ID_PREVIEW_CH5          32822
#define ID_HSL_EFFECT           32823
#define ID_WM8                  32824
#define ID_WM9                  32825
#define ID_KEY_CTRL_ALT_V       32826
#define ID_MASTER_VOLUME        32827
#define ID_KEY_U                32829
#define ID_HELP_TOPICS          32830

/* Strings. */
#define IDS_CORVANE             32773
#define IDS_QUIT                32839
#define IDS_PROJECT_NOT_CORVANE 32837
#define IDS_PROJECT_OPEN_CAPTION 32838
#define IDS_PROJECT_SAVE_CAPTION 32849

#endif
