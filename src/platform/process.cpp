#include "platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <system_error>

#include "platform/fd.h"

#if defined(__APPLE__)
#include <crt_externs.h>
#else
extern char** environ;
#endif

namespace pelorix::platform {
namespace {

struct Pipe {
  Fd read;
  Fd write;
};

// Both ends close-on-exec, so that no other child started meanwhile keeps our ends open (our
// own child gets its ends through the spawn's dup2, which clears the flag on the copy). macOS
// has no pipe2 before version 27, so the flag is set right after the pipe is made: a child
// that another thread spawns in that instant can still inherit the ends, and would then only
// delay our end of file until it exits.
int make_pipe(Pipe* pipe) {
  int fds[2];
  if (::pipe(fds) != 0) return errno;
  pipe->read = Fd(fds[0]);
  pipe->write = Fd(fds[1]);
  for (int fd : fds)
    if (::fcntl(fd, F_SETFD, FD_CLOEXEC) != 0) return errno;
  return 0;
}

// The environment a child inherits. A shared library on macOS cannot link against `environ`
// (only the main program has it); the C library hands it out through _NSGetEnviron.
char** environment() {
#if defined(__APPLE__)
  return *_NSGetEnviron();
#else
  return environ;
#endif
}

class FileActions {
 public:
  FileActions() { ok_ = posix_spawn_file_actions_init(&actions_) == 0; }
  ~FileActions() {
    if (ok_) posix_spawn_file_actions_destroy(&actions_);
  }
  bool ok() const { return ok_; }
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
  bool ok_;
};

// Reads both pipes until each reaches end of file, or until `deadline`: false then.
bool drain(Fd& out, Fd& err, std::string* out_text, std::string* err_text,
           std::chrono::steady_clock::time_point deadline) {
  char buffer[16384];
  while (out.get() >= 0 || err.get() >= 0) {
    auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd fds[2] = {{out.get(), POLLIN, 0}, {err.get(), POLLIN, 0}};
    int ready = ::poll(fds, 2, static_cast<int>(std::min<std::int64_t>(left.count(), 60000)));
    if (ready < 0) {
      if (errno == EINTR) continue;
      break;
    }
    Fd* streams[2] = {&out, &err};
    std::string* texts[2] = {out_text, err_text};
    for (int i = 0; i < 2; ++i) {
      if (streams[i]->get() < 0 || fds[i].revents == 0) continue;
      ssize_t got = ::read(streams[i]->get(), buffer, sizeof buffer);
      if (got > 0) {
        std::size_t room = kMaxProgramOutput - std::min(kMaxProgramOutput, texts[i]->size());
        texts[i]->append(buffer, std::min(room, static_cast<std::size_t>(got)));
      } else if (got == 0 || errno != EINTR) {
        streams[i]->close();
      }
    }
  }
  return true;
}

}  // namespace

std::string system_error_text(int error_number) {
  // The C++ library picks the thread-safe strerror_r its C library has (GNU's returns the text,
  // the XSI one of macOS fills a buffer), so neither shape is spelled out here.
  return std::generic_category().message(error_number) + " (os error " +
         std::to_string(error_number) + ")";
}

bool ProgramOutput::succeeded() const {
  return WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == 0;
}

std::variant<ProgramOutput, ProgramFailedToStart> run_program(const std::vector<std::string>& argv,
                                                              std::chrono::milliseconds limit) {
  if (argv.empty()) return ProgramFailedToStart{EINVAL};
  auto deadline = std::chrono::steady_clock::now() + limit;
  Pipe out, err;
  if (int error = make_pipe(&out); error != 0) return ProgramFailedToStart{error};
  if (int error = make_pipe(&err); error != 0) return ProgramFailedToStart{error};

  FileActions actions;
  if (!actions.ok()) return ProgramFailedToStart{ENOMEM};
  int error =
      posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  if (error == 0)
    error = posix_spawn_file_actions_adddup2(actions.get(), out.write.get(), STDOUT_FILENO);
  if (error == 0)
    error = posix_spawn_file_actions_adddup2(actions.get(), err.write.get(), STDERR_FILENO);
  if (error != 0) return ProgramFailedToStart{error};

  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  pid_t child = 0;
  error = posix_spawnp(&child, args[0], actions.get(), nullptr, args.data(), environment());
  if (error != 0) return ProgramFailedToStart{error};
  out.write.close();
  err.write.close();

  ProgramOutput output;
  if (!drain(out.read, err.read, &output.standard_output, &output.standard_error, deadline)) {
    ::kill(child, SIGKILL);
    output.timed_out = true;
    output.standard_error =
        argv[0] + " did not finish within " + std::to_string(limit.count()) + " ms and was stopped";
  }
  while (::waitpid(child, &output.wait_status, 0) < 0) {
    if (errno != EINTR) {
      // Someone else reaped our child (SIGCHLD set to be ignored): its outcome is unknown,
      // which must not read as a success.
      output.wait_status = -1;
      break;
    }
  }
  return output;
}

}  // namespace pelorix::platform
