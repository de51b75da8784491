// The stand-ins for the macOS tools that the real desktop answers when they are not on PATH.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/process.h"

namespace pelorix::platform {
namespace {

struct Outcome {
  int exit_code = -1;
  std::string out;
  std::string err;
};

Outcome run(const std::vector<std::string>& argv) {
  auto result = run_program(argv);
  auto* output = std::get_if<ProgramOutput>(&result);
  if (output == nullptr) return {};
  return {WIFEXITED(output->wait_status) ? WEXITSTATUS(output->wait_status) : -1,
          output->standard_output, output->standard_error};
}

class DesktopTools : public testing::Test {
 protected:
  void SetUp() override {
    path_ = testing::TempDir() + "pelorix_tools_test_" + std::to_string(::getpid()) + ".png";
    ::unlink(path_.c_str());
  }
  void TearDown() override { ::unlink(path_.c_str()); }
  bool file_exists() const { return ::access(path_.c_str(), F_OK) == 0; }
  // Width and height from the PNG header, or {0, 0} when the file is no PNG.
  std::pair<unsigned, unsigned> png_size() const {
    std::ifstream in(path_, std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (data.size() < 24 || data.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return {0, 0};
    auto word = [&](std::size_t at) {
      return (static_cast<unsigned>(static_cast<unsigned char>(data[at])) << 24) |
             (static_cast<unsigned>(static_cast<unsigned char>(data[at + 1])) << 16) |
             (static_cast<unsigned>(static_cast<unsigned char>(data[at + 2])) << 8) |
             static_cast<unsigned>(static_cast<unsigned char>(data[at + 3]));
    };
    return {word(16), word(20)};
  }
  std::string path_;
};

const char kBundle[] =
    "tell application \"System Events\" to unix id of (processes whose bundle identifier is \"";
const char kWindow[] =
    "tell application \"System Events\" to id of window 1 of (processes whose unix id is ";

TEST_F(DesktopTools, OsascriptAnswersOnlyTheTwoScripts) {
  for (const std::vector<std::string>& argv : std::vector<std::vector<std::string>>{
           {"osascript", "-e", "display dialog \"hi\""},
           {"osascript", "-e", std::string(kWindow) + "12x)"},
           {"osascript", "-e", std::string(kWindow) + "-5)"},
           {"osascript", "-e", std::string(kBundle) + "a\"b\")"},
           {"osascript", std::string(kBundle) + "a\")"},
       }) {
    Outcome outcome = run(argv);
    EXPECT_EQ(outcome.exit_code, 1) << argv.back();
    EXPECT_EQ(outcome.out, "") << argv.back();
    EXPECT_NE(outcome.err, "") << argv.back();
  }
  // An identifier no window carries: nothing found, which is not an error.
  Outcome none = run({"osascript", "-e", std::string(kBundle) + "org.pelorix.\\\"Nobody\")"});
  EXPECT_EQ(none.exit_code, 0);
  EXPECT_EQ(none.out, "\n");
}

TEST_F(DesktopTools, ScreencaptureRefusesWhatItCannotDoAndWritesNothing) {
  for (const std::vector<std::string>& argv : std::vector<std::vector<std::string>>{
           {"screencapture", "-x", path_},
           {"screencapture", "-R", "0,0,10,10", "-l", "1", path_},
           {"screencapture", "-R", "1,2,3", "-x", path_},
           {"screencapture", "-R", "1,2,3,4,5", "-x", path_},
           {"screencapture", "-R", "a,2,3,4", "-x", path_},
           {"screencapture", "-l", "0x10", "-o", "-x", path_},
           {"screencapture", "-C", "-R", "0,0,10,10", path_},
           {"screencapture", "-R", "0,0,10,10", path_, path_ + "2"},
           {"screencapture", "-R", "0,0,0,10", "-x", path_},
           {"screencapture", "-R", "-100,-100,10,10", "-x", path_},
       }) {
    EXPECT_EQ(run(argv).exit_code, 1) << argv[1] << " " << argv[2];
    EXPECT_FALSE(file_exists());
  }
}

TEST_F(DesktopTools, ScreencaptureWritesThePngOfTheRectangle) {
  if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display";
  EXPECT_EQ(run({"screencapture", "-R", "3,4,64,32", "-x", path_}).exit_code, 0);
  EXPECT_EQ(png_size(), std::make_pair(64u, 32u));
  // Partly off the screen: still the size asked for.
  EXPECT_EQ(run({"screencapture", "-R", "-10,-10,20,20", "-x", path_}).exit_code, 0);
  EXPECT_EQ(png_size(), std::make_pair(20u, 20u));
  // A window that does not exist.
  ::unlink(path_.c_str());
  EXPECT_EQ(run({"screencapture", "-l", "4294967295", "-o", "-x", path_}).exit_code, 1);
  EXPECT_FALSE(file_exists());
}

}  // namespace
}  // namespace pelorix::platform
