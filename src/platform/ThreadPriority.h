#pragma once

#include <sys/types.h>

// Thread priorities on Linux are nice values of the normal time-sharing scheduler, per thread.
// Raising a thread above the process needs privileges that an ordinary user lacks; a refused
// raise is capped at what is allowed instead of failing.

// The kernel's id of the calling thread.
pid_t CurrentThreadId();

// Sets the thread's nice value to the process's own plus `offset` (negative = more urgent),
// within -20..19. When the system refuses (no privilege to raise), the thread gets the most
// urgent value it may take, never a less urgent one than requested. Returns the nice value the
// thread has afterwards.
int ApplyThreadNice(pid_t tid, int offset);

// The thread's current nice value.
int ThreadNice(pid_t tid);
