// The host services as the real desktop answers them: from /proc, kill(2) and the X server.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/atspi/desktop.h"

namespace pelorix::platform::atspi {
namespace {

using Kind = LookupAnswer::Kind;

// A child process that sleeps under the given name until killed.
class NamedChild {
 public:
  explicit NamedChild(const std::string& name) {
    int ready[2];
    if (::pipe(ready) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::prctl(PR_SET_NAME, name.c_str());
      (void)!::write(ready[1], "x", 1);
      for (;;) ::pause();
    }
    char byte = 0;
    ::close(ready[1]);
    (void)!::read(ready[0], &byte, 1);
    ::close(ready[0]);
  }
  ~NamedChild() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
};

LookupAnswer answer(const PidLookup& lookup) {
  EXPECT_TRUE(std::holds_alternative<LookupAnswer>(lookup));
  return std::holds_alternative<LookupAnswer>(lookup) ? std::get<LookupAnswer>(lookup)
                                                      : LookupAnswer{Kind::Unparsable};
}

TEST(DesktopHost, FindsAProcessByItsExactName) {
  std::string name = "plx" + std::to_string(::getpid());
  NamedChild child(name);
  ASSERT_GT(child.pid(), 0);
  LookupAnswer found = answer(desktop().find_pid_by_name(name));
  EXPECT_EQ(found.kind, Kind::Found);
  EXPECT_EQ(found.pid, child.pid());
  // The name is compared as it is: no prefix, no pattern.
  for (const std::string& other :
       {name.substr(0, name.size() - 1), std::string("plx.*"), name + "x", std::string()})
    EXPECT_EQ(answer(desktop().find_pid_by_name(other)).kind, Kind::NotFound) << other;
  EXPECT_TRUE(desktop().is_running(child.pid()));
  EXPECT_EQ(desktop().terminate(child.pid()), std::nullopt);
  ::waitpid(child.pid(), nullptr, 0);
  EXPECT_FALSE(desktop().is_running(child.pid()));
}

TEST(DesktopHost, NoApplicationAndNoWindowAreNoAnswer) {
  EXPECT_EQ(answer(desktop().find_pid_by_bundle_id("org.pelorix.\"Nobody")).kind, Kind::NotFound);
  auto captured = desktop().capture_window(0x7ffffff0);
  ASSERT_TRUE(std::holds_alternative<CaptureFailure>(captured));
  EXPECT_EQ(std::get<CaptureFailure>(captured).stage, CaptureFailure::Stage::Unsuccessful);
}

TEST(DesktopHost, CapturesTheRegionAsPngOfItsSize) {
  if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display";
  auto png_size = [](const Capture& captured) -> std::pair<unsigned, unsigned> {
    const auto* data = std::get_if<std::string>(&captured);
    if (data == nullptr || data->size() < 24 || data->compare(0, 8, "\x89PNG\r\n\x1a\n") != 0)
      return {0, 0};
    auto word = [&](std::size_t at) {
      return (static_cast<unsigned>(static_cast<unsigned char>((*data)[at])) << 24) |
             (static_cast<unsigned>(static_cast<unsigned char>((*data)[at + 1])) << 16) |
             (static_cast<unsigned>(static_cast<unsigned char>((*data)[at + 2])) << 8) |
             static_cast<unsigned>(static_cast<unsigned char>((*data)[at + 3]));
    };
    return {word(16), word(20)};
  };
  EXPECT_EQ(png_size(desktop().capture_region({3.9, 4, 64.5, 32})), std::make_pair(64u, 32u));
  // Partly off the screen: still the size asked for.
  EXPECT_EQ(png_size(desktop().capture_region({-10, -10, 20, 20})), std::make_pair(20u, 20u));
  // Empty, or wholly off the screen: nothing.
  for (Region nothing : {Region{0, 0, 0, 10}, Region{-100, -100, 10, 10}}) {
    auto captured = desktop().capture_region(nothing);
    ASSERT_TRUE(std::holds_alternative<CaptureFailure>(captured));
    EXPECT_EQ(std::get<CaptureFailure>(captured).stage, CaptureFailure::Stage::Unsuccessful);
  }
}

}  // namespace
}  // namespace pelorix::platform::atspi
