#pragma once
// The decoder process's confinement, entered once after its start-up and before it reads the
// first byte of a picture: from then on it can read and write the descriptors it holds, manage its
// memory, start a bounded number of threads, and end; it opens no file by name, makes no socket,
// starts no program, and changes neither its limits nor its credentials. No Qt here.

#include <sys/resource.h>

namespace quill::decode {

// What the confinement got beyond its system-call filter, which it always has once it succeeded.
struct Lockdown {
    bool filtered = false;       // no_new_privs and the seccomp filter are in place
    bool noFileSystem = false;   // a Landlock domain without file-system rights
    bool noNetwork = false;      // an empty network namespace of its own
    bool threadsBounded = false; // at most kMaxThreads threads (needs the namespace above)
};

inline constexpr rlim_t kMaxThreads = 16;

// Confines the calling process for good. Run as root, it first becomes the unprivileged user
// nobody. A system call outside the filter's list ends the
// process with SIGSYS (in sanitizer builds, opening a file fails with EPERM instead, so that a
// sanitizer's report still gets printed). Landlock and the network namespace are taken where the
// kernel grants them; without them the filter still holds. Not filtered (false) only when the
// kernel refuses the filter: then the caller must not go on.
Lockdown lockDown();

} // namespace quill::decode
