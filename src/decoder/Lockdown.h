#pragma once
// The decoder process's confinement, entered once after its start-up and before it reads the
// first byte of a picture: from then on it can read and write the descriptors it holds, manage its
// memory, make and seal the memory file of a reply, and end; it opens no file by name, makes no
// socket, starts no program, and changes neither its limits nor its credentials. No Qt here.

namespace quill::decode {

// What the confinement got beyond its system-call filter, which it always has once it succeeded.
struct Lockdown {
    bool filtered = false;     // no_new_privs and the seccomp filter are in place
    bool noFileSystem = false; // a Landlock domain without file-system rights
    bool noNetwork = false;    // an empty network namespace of its own
};

// Confines the calling process for good. A system call outside the filter's list ends the
// process with SIGSYS (in sanitizer builds, opening a file fails with EPERM instead, so that a
// sanitizer's report still gets printed). Landlock and the network namespace are taken where the
// kernel grants them; without them the filter still holds. Not filtered (false) only when the
// kernel refuses the filter: then the caller must not go on.
Lockdown lockDown();

} // namespace quill::decode
