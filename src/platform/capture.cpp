#include "platform/capture.h"

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "platform/fd.h"
#include "platform/process.h"

namespace pelorix::platform {
namespace {

// Fixed rather than taken from the environment: the files are short-lived and always removed,
// and a private directory keeps them safe in a shared, world-writable place.
constexpr char kTemporaryDirectory[] = "/tmp";

int remove_entry(const char* path, const struct stat*, int, struct FTW*) {
  // Called depth first, so a directory is empty by the time it comes; a failure to remove one
  // entry must not stop the others from going.
  ::remove(path);
  return 0;
}

// A directory only this user can enter, removed with its whole content when this goes.
class PrivateDirectory {
 public:
  // The directory, or the error number of a failure to make it.
  static std::variant<PrivateDirectory, int> make(const std::string& stem) {
    std::string pattern = std::string(kTemporaryDirectory) + "/" + stem + "_XXXXXX";
    // mkdtemp picks a name nobody has and creates it exclusively with mode 0700.
    if (::mkdtemp(pattern.data()) == nullptr) return errno;
    return PrivateDirectory(std::move(pattern));
  }
  PrivateDirectory(PrivateDirectory&& other) noexcept : path_(std::exchange(other.path_, {})) {}
  PrivateDirectory& operator=(PrivateDirectory&&) = delete;
  ~PrivateDirectory() {
    // FTW_PHYS: a symbolic link inside is removed itself, whatever it points to is left alone.
    if (!path_.empty()) ::nftw(path_.c_str(), remove_entry, 8, FTW_DEPTH | FTW_PHYS);
  }
  const std::string& path() const { return path_; }

 private:
  explicit PrivateDirectory(std::string path) : path_(std::move(path)) {}
  std::string path_;
};

// The whole content of a regular file, or the error number of the failure to read it.
std::variant<std::string, int> read_regular_file(const std::string& path) {
  // O_NOFOLLOW: a symbolic link at the path is an error, never a way to another file.
  // O_NONBLOCK: opening a FIFO must not wait for a writer; regular files ignore it.
  Fd file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (file.get() < 0) return errno;
  const int fd = file.get();
  struct stat info {};
  if (::fstat(fd, &info) != 0) return errno;
  if (S_ISDIR(info.st_mode)) return EISDIR;
  if (!S_ISREG(info.st_mode)) return EINVAL;
  std::string content;
  char buffer[65536];
  for (;;) {
    ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got > 0) {
      content.append(buffer, static_cast<std::size_t>(got));
    } else if (got == 0) {
      return content;
    } else if (errno != EINTR) {
      return errno;
    }
  }
}

}  // namespace

std::string CaptureFailure::text() const {
  return system_error_text(error_number);
}

std::variant<std::string, CaptureFailure> capture_to_file(std::vector<std::string> argv,
                                                          const std::string& stem,
                                                          const std::string& extension) {
  using Stage = CaptureFailure::Stage;
  auto made = PrivateDirectory::make(stem);
  if (auto* error = std::get_if<int>(&made)) return CaptureFailure{Stage::NoPrivateFile, *error};
  const std::string path = std::get<PrivateDirectory>(made).path() + "/" + stem + extension;
  argv.push_back(path);

  auto outcome = run_program(argv);
  if (auto* failed = std::get_if<ProgramFailedToStart>(&outcome))
    return CaptureFailure{Stage::CouldNotStart, failed->error_number};
  if (!std::get<ProgramOutput>(outcome).succeeded()) return CaptureFailure{Stage::Unsuccessful};

  auto content = read_regular_file(path);
  if (auto* error = std::get_if<int>(&content)) return CaptureFailure{Stage::CouldNotRead, *error};
  return std::move(std::get<std::string>(content));
}

}  // namespace pelorix::platform
