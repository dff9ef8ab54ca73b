// Stopping the tool at a chosen system call, so that a test can change a
// base under it at an exact moment (cut a file it has mapped, say): the
// forked child asks to be traced before it runs the tool, and the test steps
// it from one system call to the next. x86_64 only; where the kernel or the
// machine refuses tracing, the tests that need it skip.
#pragma once

#include <signal.h>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <sys/user.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <utility>

namespace ktest {

#if defined(__x86_64__)
inline constexpr bool syscallTracingBuilt = true;
#else
inline constexpr bool syscallTracingBuilt = false;
#endif

// The exit status of a child that could not ask to be traced.
inline constexpr int tracingRefused = 125;

// For SpawnOptions::inChild: the tool stops at its exec, for a Tracee.
inline void traceMe() {
  if (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) _exit(tracingRefused);
}

// A system call the tool is about to make: its number and arguments.
struct SyscallEntry {
  long number = -1;
  std::uint64_t args[6] = {};
};

// The tool under trace, from the stop at its exec. Holding it stopped
// between steps, the test may change whatever it likes. The destructor ends
// a tool still traced (a test that failed half way), so none is left behind.
class Tracee {
 public:
  explicit Tracee(pid_t pid) : pid_(pid) {
    int status = 0;
    if (!waitFor(status)) return;
    if (!WIFSTOPPED(status)) {
      refused_ = WIFEXITED(status) && WEXITSTATUS(status) == tracingRefused;
      pid_ = -1;  // reaped
      return;
    }
    // Tell system call stops and a later exec from signals, and never leave
    // the tool running untraced if this process dies.
    ptrace(PTRACE_SETOPTIONS, pid_, nullptr,
           reinterpret_cast<void*>(PTRACE_O_TRACESYSGOOD | PTRACE_O_TRACEEXEC |
                                   PTRACE_O_EXITKILL));
    attached_ = true;
  }
  ~Tracee() {
    if (!attached_) return;
    kill(pid_, SIGKILL);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
  Tracee(const Tracee&) = delete;
  Tracee& operator=(const Tracee&) = delete;

  bool attached() const { return attached_; }
  // True when the child could not be traced at all.
  bool refused() const { return refused_; }

  // Runs the tool to the entry of its next system call for which
  // accept(entry, *this) holds, and leaves it stopped there. False when the
  // tool ended first; it is then reaped, and no longer attached.
  template <typename Accept>
  bool runToEntry(Accept accept) {
    while (attached_) {
      if (!step()) return false;
      if (!inCall_) continue;  // an exit stop
      const SyscallEntry entry = currentEntry();
      if (accept(entry, *this)) return true;
    }
    return false;
  }

  // From an entry stop, runs the call and returns its result (a negative
  // error number on failure); the tool is stopped at its exit.
  long runToExit() {
    if (!step() || inCall_) return -ENOSYS;
#if defined(__x86_64__)
    user_regs_struct regs{};
    ptrace(PTRACE_GETREGS, pid_, nullptr, &regs);
    return static_cast<long>(regs.rax);
#else
    return -ENOSYS;
#endif
  }

  // The NUL-terminated text at address in the stopped tool.
  std::string text(std::uint64_t address) const {
    std::string result;
    for (;;) {
      errno = 0;
      const long word = ptrace(PTRACE_PEEKDATA, pid_, reinterpret_cast<void*>(address), nullptr);
      if (errno != 0) return result;
      for (std::size_t k = 0; k < sizeof word; ++k) {
        const char c = static_cast<char>((static_cast<unsigned long>(word) >> (8 * k)) & 0xFF);
        if (c == '\0') return result;
        result += c;
      }
      address += sizeof word;
    }
  }

  // Lets the tool run on, untraced; it stays this process's child.
  void detach() {
    if (!attached_) return;
    ptrace(PTRACE_DETACH, pid_, nullptr, nullptr);
    attached_ = false;
  }

 private:
  bool waitFor(int& status) {
    for (;;) {
      if (waitpid(pid_, &status, 0) == pid_) return true;
      if (errno != EINTR) return false;
    }
  }

  // Runs to the next system call stop, passing on every signal the tool
  // gets on the way (its alarms, a fault on a mapping).
  bool step() {
    int signal = 0;
    for (;;) {
      ptrace(PTRACE_SYSCALL, pid_, nullptr, reinterpret_cast<void*>(static_cast<long>(signal)));
      int status = 0;
      if (!waitFor(status) || WIFEXITED(status) || WIFSIGNALED(status)) {
        attached_ = false;
        pid_ = -1;
        return false;
      }
      if (WSTOPSIG(status) == (SIGTRAP | 0x80)) {
        inCall_ = !inCall_;
        return true;
      }
      // An event stop (an exec, inside its call) is no signal of the tool's.
      signal = (status >> 16) != 0 ? 0 : WSTOPSIG(status);
    }
  }

  SyscallEntry currentEntry() const {
#if defined(__x86_64__)
    user_regs_struct regs{};
    ptrace(PTRACE_GETREGS, pid_, nullptr, &regs);
    return {static_cast<long>(regs.orig_rax),
            {regs.rdi, regs.rsi, regs.rdx, regs.r10, regs.r8, regs.r9}};
#else
    return {};
#endif
  }

  pid_t pid_ = -1;
  bool attached_ = false;
  bool refused_ = false;
  bool inCall_ = false;  // between an entry stop and its exit stop
};

// Accepts the entry of open or openat of a path that ends in suffix.
inline auto opening(std::string suffix) {
  return [suffix = std::move(suffix)](const SyscallEntry& entry, const Tracee& tracee) {
#if defined(__x86_64__)
    std::uint64_t path = 0;
    if (entry.number == SYS_openat) {
      path = entry.args[1];
    } else if (entry.number == SYS_open) {
      path = entry.args[0];
    } else {
      return false;
    }
    return tracee.text(path).ends_with(suffix);
#else
    return false;
#endif
  };
}

// Accepts the entry of mmap of the descriptor fd.
inline auto mapping(long fd) {
  return [fd](const SyscallEntry& entry, const Tracee&) {
    return entry.number == SYS_mmap && static_cast<long>(entry.args[4]) == fd;
  };
}

}  // namespace ktest
