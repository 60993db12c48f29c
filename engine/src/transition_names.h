/*
 * Names and icon names of the 44 transition table entries ("Cut", 35
 * transitions, 8 picture-in-picture layouts), in table order.  The string
 * table of the module (ids 2 to 45) carries the same names.
 */
#ifndef CORVENGINE_TRANSITION_NAMES_H
#define CORVENGINE_TRANSITION_NAMES_H

enum { TRANSITION_COUNT = 44 };

extern const char *const g_transitionNames[TRANSITION_COUNT];
extern const char *const g_transitionIcons[TRANSITION_COUNT];

/* Entries that have a drawing routine (all 44). */
int EngineTransitionsWithRoutine();
/* Icon name of entry n, null past the table. */
const char *EngineTransitionIconName(int n);

#endif
