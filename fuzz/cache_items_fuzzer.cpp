// The Cache.GetItems reply parser on arbitrary bytes: a whole D-Bus message as another process
// could send it. Nothing may crash, and whatever is accepted keeps the bounds.
#include <cstddef>
#include <cstdint>

#include "invariant.h"
#include "platform/atspi/cache_items.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelorix::platform::atspi;
  constexpr std::size_t kBound = 4096;
  auto items = parse_cache_message(data, size, kBound);
  if (!items) return 0;
  FUZZ_CHECK(items->size() <= kBound);
  for (const CacheItem& item : *items) FUZZ_CHECK(item.states.size() <= kMaxStateWords);
  return 0;
}
