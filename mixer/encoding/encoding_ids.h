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

#define IDD_WM_OPTIONS          209
#define IDC_WM_TAB              1140
#define IDC_WM_TITLE            1147
#define IDC_WM_AUTHOR           1148
#define IDC_WM_COPYRIGHT        1149
#define IDC_WM_RATING           1150
#define IDC_WM_DESCRIPTION      1151
#define IDC_WM_TITLE_LABEL      1152
#define IDC_WM_AUTHOR_LABEL     1153
#define IDC_WM_COPYRIGHT_LABEL  1154
#define IDC_WM_RATING_LABEL     1155
#define IDC_WM_DESCRIPTION_LABEL 1156
#define IDC_WM_PROFILES         1157
#define IDC_WM_NEW              1158
#define IDC_WM_COPY             1159
#define IDC_WM_EDIT             1160
#define IDC_WM_DELETE           1161
#define IDC_WM_PROFILE_TEXT     1162
#define IDC_WM_DEST_LABEL       1186
#define IDC_WM_DESTINATION      1128
#define IDC_WM_VIDEO_LABEL      1203
#define IDC_WM_VIDEO            1024
#define IDC_WM_AUDIO_LABEL      1204
#define IDC_WM_AUDIO            1025
#define IDC_WM_BITRATE_LABEL    1205
#define IDC_WM_BITRATES         1131
#define IDC_WM_ARCHIVE          1166
#define IDC_WM_FILE_LABEL       1174
#define IDC_WM_FILE             1165
#define IDC_WM_BROWSE           1170
#define IDC_WM_ADD_INDEX        1167
#define IDC_WM_BROADCAST        1168
#define IDC_WM_PORT_LABEL       1177
#define IDC_WM_PORT             1173
#define IDC_WM_FREE_PORT        1169
#define IDC_WM_URL_NET_LABEL    1176
#define IDC_WM_URL_NET          1163
#define IDC_WM_URL_LAN_LABEL    1175
#define IDC_WM_URL_LAN          1164
#define IDC_WM_FRAME_FILE       1171
#define IDC_WM_FRAME_NET        1172
#define IDC_WM_PUSH             1179
#define IDC_WM_SERVER_LABEL     1180
#define IDC_WM_SERVER           1183
#define IDC_WM_POINT_LABEL      1181
#define IDC_WM_POINT            1184
#define IDC_WM_COPY_FROM_LABEL  1182
#define IDC_WM_COPY_FROM        1185
#define IDC_WM_AUTO_REMOVE      1187
#define IDC_WM_FRAME_PUSH       1178

#define IDS_WM_PAGE_INFO        32840
#define IDS_WM_PAGE_PROFILE     32841
#define IDS_WM_PAGE_OUTPUT      32842

#endif
