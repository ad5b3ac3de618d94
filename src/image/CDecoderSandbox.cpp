#include "CDecoderSandbox.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <seccomp.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

void SetLimit(int resource, rlim_t value)
{
    const struct rlimit limit = {value, value};
    ::setrlimit(resource, &limit);
}

struct FilterFree {
    void operator()(void* filter) const { seccomp_release(filter); }
};

}  // namespace

void CDecoderSandbox::Close()
{
    // The soft CPU limit sends SIGXCPU, the hard one a second later SIGKILL.
    const struct rlimit cpu = {m_cpu, m_cpu + 1};
    ::setrlimit(RLIMIT_CPU, &cpu);
    SetLimit(RLIMIT_CORE, 0);  // a crash here is reported, not kept
    SetLimit(RLIMIT_FSIZE, 0);
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // The sanitizers reserve their shadow memory up front, which no
    // address-space limit leaves room for, and open a few files of their
    // own to write a report (the program's maps, its own binary).
    SetLimit(RLIMIT_NOFILE, 64);
#else
    SetLimit(RLIMIT_AS, m_memory);
    // Only the three descriptors it was given: no new one.
    SetLimit(RLIMIT_NOFILE, 3);
#endif

    // Whatever started it by hand may have left more open.
    ::closefrom(3);
    ::clearenv();
    if (::chdir("/") != 0)
        std::fprintf(stderr, "could not change to the root folder: %s\n", std::strerror(errno));
    // Nobody's user, no network, mounts of its own. A system that does not
    // let unprivileged users have namespaces may still let root have the
    // last two.
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNET | CLONE_NEWNS) == 0)
        return;
    const int userError = errno;
    if (::unshare(CLONE_NEWNET | CLONE_NEWNS) == 0) {
        std::fprintf(stderr, "runs without a user namespace of its own (%s)\n", std::strerror(userError));
        return;
    }
    std::fprintf(stderr, "runs without namespaces of its own (%s)\n", std::strerror(errno));
}

bool CDecoderSandbox::Seal()
{
    SetLimit(RLIMIT_NPROC, 0);
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        m_error = std::string("the decoder's sandbox could not be set up: ") + std::strerror(errno);
        return false;
    }
    std::unique_ptr<void, FilterFree> filter(seccomp_init(SCMP_ACT_KILL_PROCESS));
    if (!filter) {
        m_error = "the decoder's sandbox could not be set up";
        return false;
    }
    scmp_filter_ctx f = filter.get();
    int failed = 0;
    auto allow = [&](int call) { failed |= seccomp_rule_add(f, SCMP_ACT_ALLOW, call, 0); };

    // Reading the file (any descriptor it has: there are three) and what
    // libc does on its way.
    for (int call : {SCMP_SYS(read), SCMP_SYS(readv), SCMP_SYS(pread64), SCMP_SYS(preadv), SCMP_SYS(lseek),
                     SCMP_SYS(fstat), SCMP_SYS(close), SCMP_SYS(fcntl)})
        allow(call);
    // fstat() goes through fstatat on an empty path.
    failed |= seccomp_rule_add(f, SCMP_ACT_ALLOW, SCMP_SYS(newfstatat), 1,
                               SCMP_A3(SCMP_CMP_MASKED_EQ, AT_EMPTY_PATH, AT_EMPTY_PATH));
    // Writing the records and the messages: stdout and stderr only.
    for (int call : {SCMP_SYS(write), SCMP_SYS(writev)})
        for (int fd : {1, 2})
            failed |= seccomp_rule_add(f, SCMP_ACT_ALLOW, call, 1, SCMP_A0(SCMP_CMP_EQ, scmp_datum_t(fd)));
    // Memory and time.
    for (int call :
         {SCMP_SYS(mmap), SCMP_SYS(munmap), SCMP_SYS(mremap), SCMP_SYS(brk), SCMP_SYS(mprotect), SCMP_SYS(madvise),
          SCMP_SYS(clock_gettime), SCMP_SYS(clock_getres), SCMP_SYS(gettimeofday), SCMP_SYS(time), SCMP_SYS(nanosleep),
          SCMP_SYS(clock_nanosleep), SCMP_SYS(getrandom), SCMP_SYS(sysinfo)})
        allow(call);
    // Its threads: they may end and wait for each other; a new one could not
    // be made under the process limit anyway, and clone3 hides its flags
    // from the filter, so libc is told it has none and uses clone.
    for (int call : {SCMP_SYS(futex), SCMP_SYS(set_robust_list), SCMP_SYS(rseq), SCMP_SYS(sched_yield),
                     SCMP_SYS(sched_getaffinity), SCMP_SYS(gettid), SCMP_SYS(getpid), SCMP_SYS(exit),
                     SCMP_SYS(exit_group), SCMP_SYS(restart_syscall)})
        allow(call);
    failed |= seccomp_rule_add(f, SCMP_ACT_ALLOW, SCMP_SYS(clone), 1,
                               SCMP_A0(SCMP_CMP_MASKED_EQ, CLONE_THREAD, CLONE_THREAD));
    failed |= seccomp_rule_add(f, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(clone3), 0);
    // Signals: its own handlers and masks, and signals to itself only (a
    // failed assertion raises SIGABRT).
    for (int call : {SCMP_SYS(rt_sigprocmask), SCMP_SYS(rt_sigaction), SCMP_SYS(rt_sigreturn), SCMP_SYS(sigaltstack)})
        allow(call);
    const scmp_datum_t self = scmp_datum_t(::getpid());
    failed |= seccomp_rule_add(f, SCMP_ACT_ALLOW, SCMP_SYS(tgkill), 1, SCMP_A0(SCMP_CMP_EQ, self));
    failed |= seccomp_rule_add(f, SCMP_ACT_ALLOW, SCMP_SYS(kill), 1, SCMP_A0(SCMP_CMP_EQ, self));
    // Opening a file to read it is refused, not fatal: the WAV decoders look
    // for a second file beside the one they were given (a resource fork)
    // whenever the first tells them nothing, and then carry on. Opening one
    // to write or create it ends the helper like everything else.
#ifdef ORMID_SANITIZED
    // A sanitizer's report reads the program's maps and its own binary to
    // name the frames: in those builds reading is allowed. The sanitizers
    // also find out whether memory can be read by writing it into a pipe of
    // their own: pipes, and writing to any descriptor, are allowed there too
    // (the file on stdin is open for reading only).
    const uint32_t reading = SCMP_ACT_ALLOW;
    for (int call : {SCMP_SYS(readlink), SCMP_SYS(readlinkat), SCMP_SYS(prlimit64), SCMP_SYS(getrlimit),
                     SCMP_SYS(prctl), SCMP_SYS(uname), SCMP_SYS(getppid), SCMP_SYS(mincore), SCMP_SYS(sched_getparam),
                     SCMP_SYS(getdents64), SCMP_SYS(pipe), SCMP_SYS(pipe2), SCMP_SYS(write), SCMP_SYS(writev),
                     SCMP_SYS(newfstatat), SCMP_SYS(stat), SCMP_SYS(lstat), SCMP_SYS(access), SCMP_SYS(faccessat)})
        allow(call);
    // Whether stderr is a terminal, for the report's colours.
    failed |= seccomp_rule_add(f, SCMP_ACT_ALLOW, SCMP_SYS(ioctl), 1, SCMP_A1(SCMP_CMP_EQ, scmp_datum_t(TCGETS)));
#else
    const uint32_t reading = SCMP_ACT_ERRNO(EACCES);
#endif
    const scmp_datum_t writeFlags = O_ACCMODE | O_CREAT | O_TRUNC | O_APPEND;
    failed |= seccomp_rule_add(f, reading, SCMP_SYS(openat), 1, SCMP_A2(SCMP_CMP_MASKED_EQ, writeFlags, O_RDONLY));
    failed |= seccomp_rule_add(f, reading, SCMP_SYS(open), 1, SCMP_A1(SCMP_CMP_MASKED_EQ, writeFlags, O_RDONLY));
    // Every thread at once: the progress thread runs already.
    failed |= seccomp_attr_set(f, SCMP_FLTATR_CTL_TSYNC, 1);
    if (failed != 0 || seccomp_load(f) != 0) {
        m_error = "the decoder's sandbox could not be set up";
        return false;
    }
    return true;
}
