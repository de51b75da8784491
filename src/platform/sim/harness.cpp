// The C entry points through which Python tests drive the simulated desktop (with ctypes, on
// the module's own shared library, so they reach the very desktop the module uses).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "accessibility/cf_ref.h"
#include "platform/sim/desktop.h"
#include "sync/heuristic_sync.h"

namespace {

char* copy_out(const std::string& text) {
  auto* out = static_cast<char*>(std::malloc(text.size() + 1));
  if (out != nullptr) std::memcpy(out, text.c_str(), text.size() + 1);
  return out;
}

}  // namespace

// Runs one JSON command and returns the JSON reply, to be given back to
// pelorix_simdesk_free; null only when memory ran out.
extern "C" __attribute__((visibility("default"))) char* pelorix_simdesk_request(const char* json) {
  try {
    if (json == nullptr) return copy_out(R"({"error":"no request"})");
    return copy_out(pelorix::platform::sim::desktop().request(json));
  } catch (...) {
    return copy_out(R"({"error":"the simulated desktop ran out of memory"})");
  }
}

extern "C" __attribute__((visibility("default"))) void pelorix_simdesk_free(char* reply) {
  std::free(reply);
}

// The idle engine's fingerprint of the application with `pid`, as its engine would compute it,
// so tests can compare fingerprints directly. False when no element can be made for the pid.
extern "C" __attribute__((visibility("default"))) bool pelorix_simdesk_hash_tree(
    std::int32_t pid, std::uint64_t* hash) {
  pelorix::ElementHandle element = pelorix::ElementHandle::adopt(AXUIElementCreateApplication(pid));
  if (!element || hash == nullptr) return false;
  *hash = pelorix::sync::HeuristicSync{element.get(), pid}.hash_tree();
  return true;
}
