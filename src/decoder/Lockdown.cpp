#include "decoder/Lockdown.h"

#include "decoder/DecoderProtocol.h"

#include <seccomp.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <grp.h>
#include <linux/landlock.h>
#include <memory>
#include <sched.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define QUILL_LOCKDOWN_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUILL_LOCKDOWN_SANITIZER 1
#endif
#endif

namespace quill::decode {

namespace {

struct FilterRelease {
    void operator()(void* filter) const { seccomp_release(filter); }
};
using Filter = std::unique_ptr<void, FilterRelease>;

// The rule set's attributes as the newest kernels read them; an older kernel is given only the
// part it knows (the size tells it which).
struct RulesetAttributes {
    std::uint64_t handledAccessFs = 0;
    std::uint64_t handledAccessNet = 0;
    std::uint64_t scoped = 0;
};

// Every file-system right of each Landlock version, so that none of them is left granted.
constexpr std::uint64_t kFsRightsVersion1 = (std::uint64_t{1} << 13) - 1;
constexpr std::uint64_t kFsRefer = std::uint64_t{1} << 13;
constexpr std::uint64_t kFsTruncate = std::uint64_t{1} << 14;
constexpr std::uint64_t kFsIoctlDev = std::uint64_t{1} << 15;
constexpr std::uint64_t kNetBindAndConnectTcp = 3;
constexpr std::uint64_t kScopeAbstractSocketAndSignal = 3;

// A Landlock domain that grants nothing on the file system (and, from version 4 on, no TCP, and
// from version 6 on, no abstract sockets or signals outside it). Descriptors already open keep
// working; every path the process names afterwards is refused.
bool denyFileSystem() {
    const long version =
        ::syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    if (version < 1) {
        return false;
    }
    RulesetAttributes attributes;
    std::size_t size = sizeof attributes.handledAccessFs;
    attributes.handledAccessFs = kFsRightsVersion1;
    if (version >= 2) {
        attributes.handledAccessFs |= kFsRefer;
    }
    if (version >= 3) {
        attributes.handledAccessFs |= kFsTruncate;
    }
    if (version >= 4) {
        attributes.handledAccessNet = kNetBindAndConnectTcp;
        size = sizeof attributes.handledAccessFs + sizeof attributes.handledAccessNet;
    }
    if (version >= 5) {
        attributes.handledAccessFs |= kFsIoctlDev;
    }
    if (version >= 6) {
        attributes.scoped = kScopeAbstractSocketAndSignal;
        size = sizeof attributes;
    }
    const long ruleset = ::syscall(SYS_landlock_create_ruleset, &attributes, size, 0);
    if (ruleset < 0) {
        return false;
    }
    const bool restricted = ::syscall(SYS_landlock_restrict_self, int(ruleset), 0) == 0;
    ::close(int(ruleset));
    return restricted;
}

// SIGCANCEL and SIGSETXID, the real-time signals glibc keeps below SIGRTMIN for itself.
constexpr int kGlibcCancelSignal = 32;
constexpr int kGlibcSetXidSignal = 33;

bool allow(void* filter, int call) {
    return seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, 0) == 0;
}

// libseccomp's SCMP_An macros are C compound literals; this is the same condition in C++.
constexpr scmp_arg_cmp argument(unsigned index, scmp_compare op, scmp_datum_t value,
                                scmp_datum_t second = 0) {
    return scmp_arg_cmp{index, op, value, second};
}

template <typename... Conditions> bool allowWhen(void* filter, int call, Conditions... conditions) {
    return seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, unsigned(sizeof...(conditions)),
                            conditions...) == 0;
}

bool addRules(void* filter) {
    const int channel = decoder_protocol::kChannelFd;
    bool ok = true;
    // The descriptors it holds: the request channel, the picture, the reply buffer, its error
    // output.
    for (int call : {SCMP_SYS(read), SCMP_SYS(pread64), SCMP_SYS(write), SCMP_SYS(lseek),
                     SCMP_SYS(fstat), SCMP_SYS(close)}) {
        ok = ok && allow(filter, call);
    }
    // glibc's fstat: a stat of the descriptor itself, never of a name.
    ok = ok && allowWhen(filter, SCMP_SYS(newfstatat), argument(3, SCMP_CMP_EQ, AT_EMPTY_PATH));
    ok = ok && allowWhen(filter, SCMP_SYS(recvmsg), argument(0, SCMP_CMP_EQ, channel));
    ok = ok && allowWhen(filter, SCMP_SYS(sendmsg), argument(0, SCMP_CMP_EQ, channel));
    // Memory, never executable: no code beyond what was loaded at start-up.
    for (int call : {SCMP_SYS(mmap), SCMP_SYS(mprotect)}) {
        ok = ok && allowWhen(filter, call, argument(2, SCMP_CMP_MASKED_EQ, PROT_EXEC, 0));
    }
    for (int call : {SCMP_SYS(munmap), SCMP_SYS(mremap), SCMP_SYS(brk), SCMP_SYS(madvise)}) {
        ok = ok && allow(filter, call);
    }
    // The reply buffer is the program's, already sized and sealed: the rows are written into its
    // mapping or, where the kernel refuses that mapping, with pwrite.
    ok = ok && allow(filter, SCMP_SYS(pwrite64));
    for (int command : {F_GETFD, F_GETFL}) {
        ok = ok &&
             allowWhen(filter, SCMP_SYS(fcntl), argument(1, SCMP_CMP_EQ, scmp_datum_t(command)));
    }
    // Threads a library may start share the filter; no new process.
    ok = ok && allowWhen(filter, SCMP_SYS(clone),
                         argument(0, SCMP_CMP_MASKED_EQ, CLONE_THREAD, CLONE_THREAD));
    ok = ok && seccomp_rule_add(filter, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(clone3), 0) == 0;
    // glibc's handlers for its own two real-time signals, set up when the first thread starts.
    for (int signal : {kGlibcCancelSignal, kGlibcSetXidSignal}) {
        ok = ok && allowWhen(filter, SCMP_SYS(rt_sigaction),
                             argument(0, SCMP_CMP_EQ, scmp_datum_t(signal)));
    }
#ifndef QUILL_LOCKDOWN_SANITIZER
    // The AV1 decoder names its threads, and asks on how many processors it may run them.
    ok = ok && allowWhen(filter, SCMP_SYS(prctl), argument(0, SCMP_CMP_EQ, PR_SET_NAME));
    ok = ok && allow(filter, SCMP_SYS(sched_getaffinity));
#endif
    for (int call : {SCMP_SYS(futex), SCMP_SYS(set_robust_list), SCMP_SYS(rseq),
                     SCMP_SYS(sched_yield), SCMP_SYS(gettid), SCMP_SYS(getpid)}) {
        ok = ok && allow(filter, call);
    }
    // The clock, randomness, the memory size glibc's sort asks for, and the way out (abort()
    // signals only itself).
    for (int call : {SCMP_SYS(clock_gettime), SCMP_SYS(clock_getres), SCMP_SYS(gettimeofday),
                     SCMP_SYS(getrandom), SCMP_SYS(sysinfo), SCMP_SYS(rt_sigreturn),
                     SCMP_SYS(rt_sigprocmask), SCMP_SYS(exit), SCMP_SYS(exit_group)}) {
        ok = ok && allow(filter, call);
    }
    ok = ok &&
         allowWhen(filter, SCMP_SYS(tgkill), argument(0, SCMP_CMP_EQ, scmp_datum_t(::getpid())));
#ifdef QUILL_LOCKDOWN_SANITIZER
    // What the sanitizers' runtime does on its own, and a report's attempt to read the memory
    // map, refused without ending the process before the report is out.
    for (int call :
         {SCMP_SYS(sigaltstack), SCMP_SYS(rt_sigaction), SCMP_SYS(readlink), SCMP_SYS(pipe2),
          SCMP_SYS(prctl), SCMP_SYS(sched_getaffinity), SCMP_SYS(nanosleep),
          SCMP_SYS(clock_nanosleep), SCMP_SYS(getppid), SCMP_SYS(kill)}) {
        ok = ok && allow(filter, call);
    }
    for (int call : {SCMP_SYS(open), SCMP_SYS(openat)}) {
        ok = ok && seccomp_rule_add(filter, SCMP_ACT_ERRNO(EPERM), call, 0) == 0;
    }
#endif
    return ok;
}

bool installFilter() {
    const Filter filter(seccomp_init(SCMP_ACT_KILL_PROCESS));
    if (!filter ||
        seccomp_attr_set(filter.get(), SCMP_FLTATR_ACT_BADARCH, SCMP_ACT_KILL_PROCESS) != 0) {
        return false;
    }
#ifndef QUILL_LOCKDOWN_SANITIZER
    // Every thread, should a library have started one. (The address sanitizer's own watcher of
    // the resident memory must keep reading /proc, so there only the decoding thread is held.)
    if (seccomp_attr_set(filter.get(), SCMP_FLTATR_CTL_TSYNC, 1) != 0) {
        return false;
    }
#endif
    return addRules(filter.get()) && seccomp_load(filter.get()) == 0;
}

// The user nobody, whose number the kernel itself uses for ids it cannot map.
constexpr uid_t kUnprivileged = 65534;

// What glibc would otherwise read from files later: the time zone (libraries stamp the profiles
// they make with the date). Named in TZ, it is not looked at again.
void loadAhead() {
    ::setenv("TZ", ":/etc/localtime", 0);
    ::tzset();
}

// Run as root, the decoder becomes the unprivileged user: root's processes are exempt from the
// bound on threads, and a decoder taken over should not be root anywhere.
void leaveRoot() {
    if (::geteuid() != 0 && ::getuid() != 0) {
        return;
    }
    // The parent-death signal does not survive a change of credentials; it is set again.
    int deathSignal = 0;
    ::prctl(PR_GET_PDEATHSIG, &deathSignal, 0, 0, 0);
    ::setgroups(0, nullptr);
    // Where the change is refused the decoder goes on as it is: the filter still confines it.
    if (::setresgid(kUnprivileged, kUnprivileged, kUnprivileged) == 0) {
        [[maybe_unused]] const int changed =
            ::setresuid(kUnprivileged, kUnprivileged, kUnprivileged);
    }
    if (deathSignal != 0) {
        ::prctl(PR_SET_PDEATHSIG, deathSignal, 0, 0, 0);
    }
}

} // namespace

Lockdown lockDown() {
    Lockdown result;
    loadAhead();
    leaveRoot();
    // A user namespace of its own makes the network namespace possible without privileges; both
    // need a process that has no other thread yet.
    result.noNetwork = ::unshare(CLONE_NEWUSER | CLONE_NEWNET) == 0;
    // In a user namespace of its own, the limit on processes counts only the threads of this
    // process (outside one it would count every process of the user). Libraries may start a few
    // threads; a loader taken over cannot start hundreds.
    if (result.noNetwork) {
        const rlimit threads{kMaxThreads, kMaxThreads};
        result.threadsBounded = ::setrlimit(RLIMIT_NPROC, &threads) == 0;
    }
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        return result;
    }
    result.noFileSystem = denyFileSystem();
    result.filtered = installFilter();
    return result;
}

} // namespace quill::decode
