// Lock rules written where the compiler reads them. Clang's thread-safety analysis
// (-Wthread-safety) checks them; other compilers see nothing.
#pragma once

#if defined(__clang__)
#define ORV_THREAD_ATTRIBUTE(x) __attribute__((x))
#else
#define ORV_THREAD_ATTRIBUTE(x)
#endif

#define CAPABILITY(x) ORV_THREAD_ATTRIBUTE(capability(x))
#define SCOPED_CAPABILITY ORV_THREAD_ATTRIBUTE(scoped_lockable)
#define GUARDED_BY(x) ORV_THREAD_ATTRIBUTE(guarded_by(x))
#define REQUIRES(...) ORV_THREAD_ATTRIBUTE(requires_capability(__VA_ARGS__))
#define ACQUIRE(...) ORV_THREAD_ATTRIBUTE(acquire_capability(__VA_ARGS__))
#define ACQUIRE_SHARED(...) ORV_THREAD_ATTRIBUTE(acquire_shared_capability(__VA_ARGS__))
#define RELEASE(...) ORV_THREAD_ATTRIBUTE(release_capability(__VA_ARGS__))
#define RELEASE_SHARED(...) ORV_THREAD_ATTRIBUTE(release_shared_capability(__VA_ARGS__))
#define EXCLUDES(...) ORV_THREAD_ATTRIBUTE(locks_excluded(__VA_ARGS__))
#define ASSERT_CAPABILITY(x) ORV_THREAD_ATTRIBUTE(assert_capability(x))
