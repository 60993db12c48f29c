/* Internals of the transition routines, for the tests and the benchmark. */
#ifndef CORV_ENGINE_TRANSITIONS_INTERNAL_H
#define CORV_ENGINE_TRANSITIONS_INTERNAL_H

/* Which channel kernels the routines use: 0 = SSE2 (every x86-64), 1 = AVX2.
 * The routines pick the best the processor has on first use; tests force
 * each level in turn so both are checked.  Returns the level now in force
 * (a request the processor cannot run leaves SSE2).  Not thread-safe: call
 * it only while no routine runs. */
int TransitionKernelLevel(int wanted);
int TransitionKernelLevel();

#endif
