// How much the search itself adds to the platform calls it makes.
//
// Builds a simulated tree of N elements whose only match is the last element in level order,
// then times, alternating in one run:
//   - core:     breadth_first_search for role AXButton with title "Target" (what find() does);
//   - platform: a bare loop making the same platform calls in the same order (name strings,
//               attribute copies, type checks, string conversions, child retains and releases)
//               with nothing of the core around them.
// The difference per visited element is what the core costs.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/search.h"
#include "platform/sim/desktop.h"

using namespace pelorix;
using nlohmann::json;
using Clock = std::chrono::steady_clock;

namespace {

// A tree of `count` elements in which element i (in level order) is a child of (i - 1) / 10;
// the only match is the last one.
json build_tree(int count) {
  std::vector<json> nodes;
  nodes.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    bool last = i == count - 1;
    const char* role = i == 0 ? "AXApplication" : last || i % 2 ? "AXButton" : "AXGroup";
    nodes.push_back({{"attrs", {{"AXRole", role}, {"AXTitle", last ? "Target" : "Item"}}},
                     {"children", json::array()}});
  }
  // Children are attached last to first, each in front of its later siblings.
  for (int i = count - 1; i > 0; --i) {
    json& siblings = nodes[static_cast<std::size_t>((i - 1) / 10)]["children"];
    siblings.insert(siblings.begin(), std::move(nodes[static_cast<std::size_t>(i)]));
  }
  return std::move(nodes[0]);
}

CFStringRef name(const char* text) {
  return CFStringCreateWithBytes(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(text),
                                 static_cast<CFIndex>(std::char_traits<char>::length(text)),
                                 kCFStringEncodingUTF8, false);
}

std::string text_of(CFStringRef string) {
  if (const char* direct = CFStringGetCStringPtr(string, kCFStringEncodingUTF8)) return direct;
  CFIndex size = 0;
  CFRange all = CFRangeMake(0, CFStringGetLength(string));
  CFStringGetBytes(string, all, kCFStringEncodingUTF8, 0, false, nullptr, 0, &size);
  std::string out(static_cast<std::size_t>(size), '\0');
  CFStringGetBytes(string, all, kCFStringEncodingUTF8, 0, false,
                   reinterpret_cast<UInt8*>(out.data()), size, &size);
  return out;
}

// The platform calls of one search, in order, and nothing else.
int platform_only(AXUIElementRef root) {
  std::deque<AXUIElementRef> queue{static_cast<AXUIElementRef>(CFRetain(root))};
  int visited = 0;
  while (!queue.empty()) {
    AXUIElementRef element = queue.front();
    queue.pop_front();
    ++visited;
    bool match = false;
    CFStringRef role_name = name("AXRole");
    CFTypeRef role = nullptr;
    if (AXUIElementCopyAttributeValue(element, role_name, &role) == 0 && role != nullptr) {
      if (CFGetTypeID(role) == CFStringGetTypeID() &&
          text_of(static_cast<CFStringRef>(role)) == "AXButton") {
        CFStringRef title_name = name("AXTitle");
        CFTypeRef title = nullptr;
        if (AXUIElementCopyAttributeValue(element, title_name, &title) == 0 && title != nullptr) {
          match = CFGetTypeID(title) == CFStringGetTypeID() &&
                  text_of(static_cast<CFStringRef>(title)).find("Target") != std::string::npos;
          CFRelease(title);
        }
        CFRelease(title_name);
      }
      CFRelease(role);
    }
    CFRelease(role_name);
    if (!match) {
      CFStringRef children_name = name("AXChildren");
      CFTypeRef children = nullptr;
      if (AXUIElementCopyAttributeValue(element, children_name, &children) == 0 && children) {
        if (CFGetTypeID(children) == CFArrayGetTypeID()) {
          auto array = static_cast<CFArrayRef>(children);
          CFIndex count = CFArrayGetCount(array);
          for (CFIndex i = 0; i < count; ++i)
            queue.push_back(
                static_cast<AXUIElementRef>(CFRetain(CFArrayGetValueAtIndex(array, i))));
        }
        CFRelease(children);
      }
      CFRelease(children_name);
    }
    CFRelease(element);
    if (match) {
      for (AXUIElementRef rest : queue) CFRelease(rest);
      break;
    }
  }
  return visited;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::atoi(argv[1]) : 7;
  auto& desktop = platform::sim::desktop();
  desktop.request(R"({"command": "use"})");
  desktop.request(R"({"command": "settings", "record_reads": false})");
  std::printf("%-9s %-6s %12s %12s %12s %8s\n", "elements", "rounds", "core ms", "platform ms",
              "core ns/el", "ratio");
  int pid = 1000;
  for (int count : {10'000, 100'000}) {
    json add{{"command", "add_app"}, {"pid", ++pid}, {"tree", build_tree(count)}};
    desktop.request(add.dump());
    auto root = ElementHandle::adopt(AXUIElementCreateApplication(pid));
    SearchCriteria criteria;
    criteria.role = "AXButton";
    criteria.title = "Target";
    std::vector<double> core, bare;
    for (int round = 0; round < rounds; ++round) {
      auto start = Clock::now();
      auto found = breadth_first_search(root.get(), criteria);
      auto middle = Clock::now();
      int visited = platform_only(root.get());
      auto end = Clock::now();
      if (!found || visited != count) {
        std::fprintf(stderr, "search did not visit the whole tree (%d of %d)\n", visited, count);
        return 1;
      }
      core.push_back(std::chrono::duration<double, std::milli>(middle - start).count());
      bare.push_back(std::chrono::duration<double, std::milli>(end - middle).count());
    }
    double core_ms = median(core), bare_ms = median(bare);
    std::printf("%-9d %-6d %12.2f %12.2f %12.1f %8.3f\n", count, rounds, core_ms, bare_ms,
                (core_ms - bare_ms) * 1e6 / count, core_ms / bare_ms);
  }
  desktop.request(R"({"command": "release"})");
  return 0;
}
