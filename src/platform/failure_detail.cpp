#include "platform/failure_detail.h"

#include <utility>

namespace pelorix::platform {
namespace {

struct Detail {
  std::int32_t status = 0;
  std::string name;
  std::string text;
};

// Per thread: a detail belongs to the call that recorded it, and two threads' calls interleave.
thread_local Detail last;

}  // namespace

void clear_failure_detail() {
  last.text.clear();
  last.name.clear();
  last.status = 0;
}

void note_failure_detail(std::int32_t status, std::string_view name, std::string text) {
  last.status = status;
  last.name = name;
  last.text = std::move(text);
}

std::string failure_detail(std::int32_t status, std::string_view name) {
  if (last.text.empty() || last.status != status || last.name != name) return {};
  return last.text;
}

}  // namespace pelorix::platform
