// One idle reading (the tree fingerprint the idle engine compares) of a running application
// on the real desktop, for the desktop benchmark.
//
//   hash_reading PID
//
// Prints "<seconds> <bus calls> <hash>" for the reading alone; the bus calls are counted by the
// preloaded callcount.so (0 without it). The application element is made, and its application
// looked up, before the clock starts.
#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "accessibility/cf_ref.h"
#include "accessibility/primitives.h"
#include "platform/accessibility.h"
#include "sync/heuristic_sync.h"

namespace {

unsigned long bus_calls() {
  auto* count = reinterpret_cast<unsigned long (*)()>(dlsym(RTLD_DEFAULT, "bench_bus_calls"));
  return count != nullptr ? count() : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: hash_reading PID\n");
    return 2;
  }
  auto pid = static_cast<pid_t>(std::atoi(argv[1]));
  pelorix::ElementHandle app = pelorix::ElementHandle::adopt(AXUIElementCreateApplication(pid));
  // The first read looks the application up on the bus.
  if (!pelorix::accessibility::get_attribute(app.get(), "AXRole")) {
    std::fprintf(stderr, "hash_reading: application %d cannot be read\n", pid);
    return 1;
  }
  unsigned long before = bus_calls();
  auto start = std::chrono::steady_clock::now();
  std::uint64_t hash = pelorix::sync::HeuristicSync{app.get(), pid}.hash_tree();
  std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  std::printf("%.6f %lu %016llx\n", elapsed.count(), bus_calls() - before,
              static_cast<unsigned long long>(hash));
  if (std::getenv("BENCH_CALL_DETAIL") != nullptr) {
    auto* dump = reinterpret_cast<void (*)()>(dlsym(RTLD_DEFAULT, "bench_bus_calls_dump"));
    if (dump != nullptr) dump();
  }
  return 0;
}
