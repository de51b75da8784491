#include "platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace pelorix::platform {
namespace {

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      close();
      fd_ = other.fd_;
      other.fd_ = -1;
    }
    return *this;
  }
  ~Fd() { close(); }
  int get() const { return fd_; }
  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_ = -1;
};

struct Pipe {
  Fd read;
  Fd write;
};

int make_pipe(Pipe* pipe) {
  int fds[2];
  // Close-on-exec, so that no other child started meanwhile keeps our ends open.
  if (::pipe2(fds, O_CLOEXEC) != 0) return errno;
  pipe->read = Fd(fds[0]);
  pipe->write = Fd(fds[1]);
  return 0;
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

// Reads both pipes until each reaches end of file.
void drain(Fd& out, Fd& err, std::string* out_text, std::string* err_text) {
  char buffer[16384];
  while (out.get() >= 0 || err.get() >= 0) {
    pollfd fds[2] = {{out.get(), POLLIN, 0}, {err.get(), POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    Fd* streams[2] = {&out, &err};
    std::string* texts[2] = {out_text, err_text};
    for (int i = 0; i < 2; ++i) {
      if (streams[i]->get() < 0 || fds[i].revents == 0) continue;
      ssize_t got = ::read(streams[i]->get(), buffer, sizeof buffer);
      if (got > 0) {
        texts[i]->append(buffer, static_cast<std::size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        streams[i]->close();
      }
    }
  }
}

}  // namespace

std::string system_error_text(int error_number) {
  char buffer[256];
  // The GNU strerror_r may return a static string instead of filling the buffer.
  const char* text = strerror_r(error_number, buffer, sizeof buffer);
  return std::string(text) + " (os error " + std::to_string(error_number) + ")";
}

bool ProgramOutput::succeeded() const {
  return WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == 0;
}

std::variant<ProgramOutput, ProgramFailedToStart> run_program(
    const std::vector<std::string>& argv) {
  if (argv.empty()) return ProgramFailedToStart{EINVAL};
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
  error = posix_spawnp(&child, args[0], actions.get(), nullptr, args.data(), environ);
  if (error != 0) return ProgramFailedToStart{error};
  out.write.close();
  err.write.close();

  ProgramOutput output;
  drain(out.read, err.read, &output.standard_output, &output.standard_error);
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
