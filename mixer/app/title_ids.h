/* Resource numbers of the title panel, the title preview and the pattern palette. */
#ifndef CORV_MIXER_TITLE_IDS_H
#define CORV_MIXER_TITLE_IDS_H

#define IDB_PATTERN_FIRST       2700   /* 40 by 40 thumbnail of pattern i: 2700 + i */
#define IDB_PREVIEW_BACKGROUND  2780   /* 350 by 315 */
#define IDB_PREVIEW_SHOW_UP     2781   /* "&Show", 77 by 19: up, then down */
#define IDD_TITLE_PREVIEW_RC    278
#define ID_PATTERN_PLACEHOLDER  600

#endif
