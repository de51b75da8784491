// How much the tree fingerprint costs beyond the accessibility reads it is made of.
//
// Builds a 10,000-element application on the simulated desktop (read recording off) and times,
// in one run and alternating so both see the same machine state:
//   - hash_tree, the idle engine's fingerprint;
//   - a plain walk over the same elements making the same six platform reads per element
//     (names made once, values released, nothing hashed).
// The difference per element is the fingerprint's own cost (attribute names, string conversion,
// SipHash); the platform reads are what a real desktop makes expensive (one round trip to the
// application each).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "accessibility/cf_ref.h"
#include "accessibility/primitives.h"
#include "sync/heuristic_sync.h"

// In a file of its own: the simulated desktop's headers and the module's error type both claim
// the name AXError.
std::string simulated_desktop_request(const std::string& command);

namespace pelorix {
namespace {

using nlohmann::json;

constexpr pid_t kPid = 4242;
constexpr int kGroups = 99;
constexpr int kLeavesPerGroup = 100;  // 1 + 99 + 99 * 100 = 10,000 elements
constexpr int kRounds = 15;

void request(const json& command) {
  json reply = json::parse(simulated_desktop_request(command.dump()));
  if (reply.contains("error")) {
    std::fprintf(stderr, "simulated desktop: %s\n", reply["error"].dump().c_str());
    std::exit(1);
  }
}

json element(const std::string& role, const std::string& title, int i, json children) {
  return {{"attrs",
           {{"AXRole", role},
            {"AXTitle", title},
            {"AXIdentifier", "id-" + std::to_string(i)},
            {"AXPosition", {{"point", {i % 1000, i / 1000}}}},
            {"AXSize", {{"size", {80, 20}}}}}},
          {"children", std::move(children)}};
}

json application() {
  json groups = json::array();
  int n = 0;
  for (int g = 0; g < kGroups; ++g) {
    json leaves = json::array();
    for (int l = 0; l < kLeavesPerGroup; ++l)
      leaves.push_back(element("AXButton", "Button " + std::to_string(l), ++n, json::array()));
    groups.push_back(element("AXGroup", "Group " + std::to_string(g), ++n, std::move(leaves)));
  }
  return element("AXApplication", "Bench", 0, std::move(groups));
}

struct Names {
  CFRef<CFStringRef> role = accessibility::make_cf_string("AXRole");
  CFRef<CFStringRef> title = accessibility::make_cf_string("AXTitle");
  CFRef<CFStringRef> identifier = accessibility::make_cf_string("AXIdentifier");
  CFRef<CFStringRef> position = accessibility::make_cf_string("AXPosition");
  CFRef<CFStringRef> size = accessibility::make_cf_string("AXSize");
  CFRef<CFStringRef> children = accessibility::make_cf_string("AXChildren");
};

// The six reads of the fingerprint and nothing else; returns the elements visited.
long plain_walk(AXUIElementRef element, const Names& names, unsigned depth) {
  if (depth > sync::kMaxHashDepth) return 0;
  for (CFStringRef name : {names.role.get(), names.title.get(), names.identifier.get(),
                           names.position.get(), names.size.get()}) {
    CFTypeRef value = nullptr;
    if (AXUIElementCopyAttributeValue(element, name, &value) == kAXErrorSuccess && value)
      CFRelease(value);
  }
  CFTypeRef children = nullptr;
  if (AXUIElementCopyAttributeValue(element, names.children.get(), &children) != kAXErrorSuccess)
    return 1;
  auto held = CFRef<CFTypeRef>::adopt(children);
  long visited = 1;
  if (children == nullptr || CFGetTypeID(children) != CFArrayGetTypeID()) return visited;
  auto array = static_cast<CFArrayRef>(children);
  for (CFIndex i = 0, count = CFArrayGetCount(array); i < count; ++i)
    visited +=
        plain_walk(static_cast<AXUIElementRef>(CFArrayGetValueAtIndex(array, i)), names, depth + 1);
  return visited;
}

template <class F>
double seconds(F&& work) {
  auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

int run() {
  request({{"command", "use"}});
  request({{"command", "settings"}, {"record_reads", false}});
  request({{"command", "add_app"}, {"pid", kPid}, {"tree", application()}});

  auto app = ElementHandle::adopt(AXUIElementCreateApplication(kPid));
  sync::HeuristicSync heuristic{app.get(), kPid};
  Names names;
  long elements = plain_walk(app.get(), names, 0);

  std::vector<double> hashing, walking;
  volatile std::uint64_t sink = 0;
  for (int round = 0; round < kRounds; ++round) {
    hashing.push_back(seconds([&] { sink = sink + heuristic.hash_tree(); }));
    walking.push_back(seconds([&] { plain_walk(app.get(), names, 0); }));
  }
  double hash_ns = median(hashing) * 1e9 / static_cast<double>(elements);
  double walk_ns = median(walking) * 1e9 / static_cast<double>(elements);

  std::printf("elements per walk                  %ld\n", elements);
  std::printf("rounds (median taken)              %d\n", kRounds);
  std::printf("hash_tree                 ns/elem  %8.1f\n", hash_ns);
  std::printf("platform reads alone      ns/elem  %8.1f\n", walk_ns);
  std::printf("fingerprint's own cost    ns/elem  %8.1f\n", hash_ns - walk_ns);
  std::printf("hash_tree / reads alone            %8.2f\n", hash_ns / walk_ns);
  request({{"command", "release"}});
  return 0;
}

}  // namespace
}  // namespace pelorix

int main() {
  return pelorix::run();
}
