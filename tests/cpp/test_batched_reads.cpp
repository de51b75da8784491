// Reads batched in a ReadScope give what element-by-element live reads give, on real GTK 3,
// GTK 4 and Qt 5 windows; a stopped application costs one timeout per batch. These run inside
// scripts/desktop-session and are skipped, saying why, where no display or accessibility bus is.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "accessibility/primitives.h"
#include "app/search.h"
#include "platform/atspi/batch.h"
#include "platform/read_scope.h"
#include "sync/heuristic_sync.h"

extern char** environ;

// Allocation failure on demand: while armed, the n-th allocation from now on throws
// std::bad_alloc, as it does in a process under an address-space limit. Every plain form of
// new and delete is replaced, so that allocation and release always pair (malloc and free).
namespace {
thread_local long allocations_until_failure = 0;  // 0: never fail
void* allocate(std::size_t size) {
  if (allocations_until_failure > 0 && --allocations_until_failure == 0) throw std::bad_alloc();
  if (void* memory = std::malloc(size != 0 ? size : 1)) return memory;
  throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size) {
  return allocate(size);
}
void* operator new[](std::size_t size) {
  return allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void operator delete(void* memory) noexcept {
  std::free(memory);
}
void operator delete[](void* memory) noexcept {
  std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
  std::free(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
  std::free(memory);
}
void operator delete(void* memory, const std::nothrow_t&) noexcept {
  std::free(memory);
}
void operator delete[](void* memory, const std::nothrow_t&) noexcept {
  std::free(memory);
}

namespace pelorix {
namespace {

using namespace std::chrono_literals;

const std::string kRoot = PELORIX_SOURCE_DIR;

struct App {
  const char* name;
  std::vector<std::string> argv;
  // Whether positions and sizes hold still between two readings (no animation).
  bool still = true;
};

const App kApps[] = {
    {"gtk3_fixture", {"/usr/bin/python3", kRoot + "/harness/apps/gtk3_app.py"}},
    {"gtk4_fixture", {"/usr/bin/python3", kRoot + "/harness/apps/gtk4_app.py"}},
    {"qt5_fixture", {"/usr/bin/python3", kRoot + "/harness/apps/qt5_app.py"}},
    {"gtk3_wide", {"/usr/bin/python3", kRoot + "/bench/desktop/wide_app.py", "3"}},
    {"gtk4_wide", {"/usr/bin/python3", kRoot + "/bench/desktop/wide_app_gtk4.py", "3"}},
    {"qt5_wide", {"/usr/bin/python3", kRoot + "/bench/desktop/wide_app_qt5.py", "3"}},
    // GTK 4's demonstration of its widgets: stacks, notebooks, popovers, lists.
    // Its spinner spins: where it is changes from one reading to the next.
    {"gtk4_widget_factory", {"/usr/bin/gtk4-widget-factory"}, false},
};

// One attribute as text: the status, and for a value what it holds.
std::string describe(AXUIElementRef element, const char* name) {
  CFTypeRef value = nullptr;
  ::AXError status =
      AXUIElementCopyAttributeValue(element, accessibility::make_cf_string(name).get(), &value);
  std::string out = std::string(name) + "=" + std::to_string(status);
  if (value == nullptr) return out;
  if (CFGetTypeID(value) == CFStringGetTypeID()) {
    out += " '" +
           accessibility::cf_string_to_string(static_cast<CFStringRef>(value)).value_or("?") + "'";
  } else if (CFGetTypeID(value) == AXValueGetTypeID()) {
    CGRect rect{};
    auto type = AXValueGetType(static_cast<AXValueRef>(value));
    if (type == kAXValueCGPointType)
      AXValueGetValue(static_cast<AXValueRef>(value), type, &rect.origin);
    if (type == kAXValueCGSizeType)
      AXValueGetValue(static_cast<AXValueRef>(value), type, &rect.size);
    out += " " + std::to_string(rect.origin.x) + "," + std::to_string(rect.origin.y) + "," +
           std::to_string(rect.size.width) + "," + std::to_string(rect.size.height);
  } else if (CFGetTypeID(value) == CFArrayGetTypeID()) {
    out += " n=" + std::to_string(CFArrayGetCount(static_cast<CFArrayRef>(value)));
  }
  CFRelease(value);
  return out;
}

bool geometry_values = true;

// Every element depth first, in the order and with the reads of the idle fingerprint.
void walk(AXUIElementRef element, unsigned depth, std::vector<std::string>* out) {
  std::string line = std::to_string(depth);
  for (const char* name : {"AXRole", "AXTitle", "AXIdentifier", "AXPosition", "AXSize"}) {
    std::string read = describe(element, name);
    bool geometry = name[2] == 'P' || name[2] == 'S';
    line += " " + (geometry && !geometry_values ? read.substr(0, read.find(' ')) : read);
  }
  out->push_back(line);
  auto children = accessibility::get_children(element);
  if (!children || depth == 30) return;
  for (ElementHandle& child : *children) walk(child.get(), depth + 1, out);
}

// An element and its children, live.
std::vector<std::string> shallow(AXUIElementRef element) {
  std::vector<std::string> lines{describe(element, "AXRole") + describe(element, "AXTitle")};
  if (auto children = accessibility::get_children(element))
    for (ElementHandle& child : *children)
      lines.push_back(describe(child.get(), "AXRole") + describe(child.get(), "AXTitle"));
  return lines;
}

std::vector<std::string> walk_tree(AXUIElementRef root, bool batched) {
  std::vector<std::string> lines;
  if (!batched) {
    walk(root, 0, &lines);
    return lines;
  }
  platform::ReadScope scope(root);
  EXPECT_TRUE(scope.batched());
  walk(root, 0, &lines);
  return lines;
}

class Running {
 public:
  explicit Running(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Running() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGCONT);
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  Running(const Running&) = delete;
  Running& operator=(const Running&) = delete;
  pid_t pid() const { return pid_; }
  bool alive() const { return pid_ > 0 && ::waitpid(pid_, nullptr, WNOHANG) == 0; }
  // The application element once a window of the process is on the accessibility bus.
  ElementHandle wait_ready() const {
    SearchCriteria window;
    window.role = "AXWindow";
    for (int attempt = 0; attempt < 300 && alive(); ++attempt) {
      ElementHandle app = ElementHandle::adopt(AXUIElementCreateApplication(pid_));
      if (app && breadth_first_search(app.get(), window)) {
        // The window's contents are built while it shows; let them settle.
        std::this_thread::sleep_for(1500ms);
        return app;
      }
      std::this_thread::sleep_for(100ms);
    }
    return {};
  }

 private:
  pid_t pid_ = -1;
};

class BatchedReads : public testing::TestWithParam<App> {
 protected:
  void SetUp() override {
    if (std::getenv("DISPLAY") == nullptr || !AXIsProcessTrusted())
      GTEST_SKIP() << "no desktop session (run inside scripts/desktop-session)";
  }
};

TEST_P(BatchedReads, EqualToLiveReadsElementByElement) {
  Running running(GetParam().argv);
  ElementHandle app = running.wait_ready();
  ASSERT_TRUE(app) << "the application did not show a window";
  geometry_values = GetParam().still;
  std::vector<std::string> live = walk_tree(app.get(), false);
  std::vector<std::string> batched = walk_tree(app.get(), true);
  ASSERT_GT(live.size(), 10U);
  // The first element that differs, rather than the whole tree.
  auto differ = std::mismatch(batched.begin(), batched.end(), live.begin(), live.end());
  EXPECT_TRUE(differ.first == batched.end() && differ.second == live.end())
      << "element " << (differ.first - batched.begin()) << " of " << batched.size() << "/"
      << live.size() << ":\n batched " << (differ.first != batched.end() ? *differ.first : "-")
      << "\n live    " << (differ.second != live.end() ? *differ.second : "-");
  sync::HeuristicSync fingerprint{app.get(), running.pid()};
  std::uint64_t in_scope = fingerprint.hash_tree();
  {
    // Outside any scope the fingerprint reads live: the same tree, the same value.
    setenv("PELORIX_ATSPI_BATCH", "0", 1);
    EXPECT_EQ(fingerprint.hash_tree(), in_scope);
    unsetenv("PELORIX_ATSPI_BATCH");
  }
  // The last titled button in level order is found the same, and confirmed.
  SearchCriteria button;
  button.role = "AXButton";
  for (const std::string& line : live)
    if (auto at = line.find("AXRole=0 'AXButton' AXTitle=0 '"); at != std::string::npos) {
      auto start = at + 31;
      std::string title = line.substr(start, line.find('\'', start) - start);
      if (!title.empty()) button.title = title;
    }
  ASSERT_TRUE(button.title);
  auto found = search_once(app.get(), button);
  auto expected = breadth_first_search(app.get(), button);
  ASSERT_TRUE(found && expected);
  EXPECT_EQ(walk_tree(found->get(), false), walk_tree(expected->get(), false));
  // So is the first element of each of a dozen titles spread over the tree, whatever its role
  // (GTK 4's stacks answer GetChildren with other elements than GetChildAtIndex).
  std::vector<std::string> titles;
  for (const std::string& line : live)
    if (auto at = line.find("AXTitle=0 '"); at != std::string::npos) {
      std::string title = line.substr(at + 11, line.find('\'', at + 11) - at - 11);
      if (!title.empty() && title.find(':') == std::string::npos) titles.push_back(title);
    }
  titles.insert(titles.begin(), "Page _1");  // a stack's page on GTK 4, absent elsewhere
  for (std::size_t i = 0; i < titles.size(); i += std::max<std::size_t>(1, titles.size() / 6)) {
    SearchCriteria titled;
    titled.title = titles[i];
    auto batched_found = search_once(app.get(), titled);
    auto one_by_one = breadth_first_search(app.get(), titled);
    ASSERT_EQ(bool(batched_found), bool(one_by_one)) << titles[i];
    if (!batched_found) continue;
    // The element and its children, read live (deeper, a live tree may change between reads).
    EXPECT_EQ(shallow(batched_found->get()), shallow(one_by_one->get())) << titles[i];
  }
  // Every read pelorix made left the application running (Qt 5 dies of Properties.GetAll).
  EXPECT_TRUE(running.alive());
}

TEST_P(BatchedReads, AStoppedApplicationCostsOneTimeoutPerBatch) {
  Running running(GetParam().argv);
  ElementHandle app = running.wait_ready();
  ASSERT_TRUE(app) << "the application did not show a window";
  ::kill(running.pid(), SIGSTOP);
  auto started = std::chrono::steady_clock::now();
  std::vector<std::string> lines = walk_tree(app.get(), true);
  auto elapsed = std::chrono::steady_clock::now() - started;
  ::kill(running.pid(), SIGCONT);
  // The walk waits a few call timeouts (1 s each), not one per element: GTK 3's bulk request
  // and then the first batch level by level (an application may ignore the bulk request alone);
  // once a batch goes wholly unanswered, the rest of the scope fails at once. Element by element
  // it would wait a second per read.
  EXPECT_LT(elapsed, 4s);
  ASSERT_EQ(lines.size(), 1U);
  EXPECT_NE(lines[0].find("AXRole=-25204"), std::string::npos) << lines[0];
}

// A scope whose batch fails to be made (memory runs out part way) leaves no batch behind as
// the thread's current one: the next read would read the freed batch.
TEST(BatchRegistration, AScopeThatFailsToOpenLeavesNoBatchCurrent) {
  if (std::getenv("DISPLAY") == nullptr || !AXIsProcessTrusted())
    GTEST_SKIP() << "no desktop session (run inside scripts/desktop-session)";
  Running running(kApps[0].argv);
  ElementHandle app = running.wait_ready();
  ASSERT_TRUE(app) << "the application did not show a window";
  int failures = 0;
  for (long nth = 1; nth < 100000; ++nth) {
    bool opened = false;
    allocations_until_failure = nth;
    try {
      platform::ReadScope scope(app.get());
      allocations_until_failure = 0;
      opened = scope.batched();
    } catch (const std::bad_alloc&) {
      allocations_until_failure = 0;
      ++failures;
      ASSERT_EQ(platform::atspi::Batch::current(), nullptr) << "allocation " << nth;
      // What the next read anywhere does: it asks the current batch first.
      EXPECT_EQ(describe(app.get(), "AXRole"), "AXRole=0 'AXApplication'");
    }
    if (opened) break;
  }
  // The batch allocates in many places on its way to being open: each of them was made to fail.
  EXPECT_GT(failures, 20);
}

INSTANTIATE_TEST_SUITE_P(Toolkits, BatchedReads, testing::ValuesIn(kApps),
                         [](const testing::TestParamInfo<App>& param) {
                           return std::string(param.param.name);
                         });

}  // namespace
}  // namespace pelorix
