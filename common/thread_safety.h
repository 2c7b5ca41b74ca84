// Annotations for clang's thread-safety analysis (-Wthread-safety): which
// lock guards which data, which locks a function needs or takes, and the
// order locks nest in. A lock taken out of order or guarded data touched
// without its lock then fails the clang build. Other compilers (the box's
// GCC) see nothing.
#pragma once

#if defined(__clang__)
#define BOX_TSA(x) __attribute__((x))
#else
#define BOX_TSA(x)
#endif

#define CAPABILITY(name) BOX_TSA(capability(name))
#define SCOPED_CAPABILITY BOX_TSA(scoped_lockable)
#define GUARDED_BY(lock) BOX_TSA(guarded_by(lock))
#define PT_GUARDED_BY(lock) BOX_TSA(pt_guarded_by(lock))
#define ACQUIRED_AFTER(...) BOX_TSA(acquired_after(__VA_ARGS__))
#define ACQUIRED_BEFORE(...) BOX_TSA(acquired_before(__VA_ARGS__))
#define REQUIRES(...) BOX_TSA(requires_capability(__VA_ARGS__))
#define ACQUIRE(...) BOX_TSA(acquire_capability(__VA_ARGS__))
#define RELEASE(...) BOX_TSA(release_capability(__VA_ARGS__))
#define TRY_ACQUIRE(...) BOX_TSA(try_acquire_capability(__VA_ARGS__))
#define EXCLUDES(...) BOX_TSA(locks_excluded(__VA_ARGS__))
#define RETURN_CAPABILITY(x) BOX_TSA(lock_returned(x))
#define NO_THREAD_SAFETY_ANALYSIS BOX_TSA(no_thread_safety_analysis)
