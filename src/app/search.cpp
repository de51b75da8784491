#include "app/search.h"

#include <deque>

#include "accessibility/primitives.h"
#include "app/tree_walk.h"
#include "platform/clock.h"

namespace pelorix {
namespace {

using namespace std::chrono_literals;

constexpr auto kRetryInterval = 50ms;
constexpr std::uint64_t kDefaultTimeoutMs = 100;

bool equal(std::string_view have, std::string_view want) {
  return have == want;
}
bool contains(std::string_view have, std::string_view want) {
  return have.find(want) != std::string_view::npos;
}

bool field_holds(AXUIElementRef element, const std::optional<std::string>& wanted,
                 std::string_view attribute, bool (*test)(std::string_view, std::string_view)) {
  if (!wanted) return true;
  auto value = accessibility::get_attribute(element, attribute);
  if (!value || !value->get() || CFGetTypeID(value->get()) != CFStringGetTypeID()) return false;
  auto text = accessibility::cf_string_to_string(static_cast<CFStringRef>(value->get()));
  return text && test(*text, *wanted);
}

// `ms` as a duration, saturating where nanoseconds run out (some 292 years).
std::chrono::nanoseconds limit_of(std::uint64_t ms) {
  constexpr std::uint64_t kMaxMs = std::chrono::nanoseconds::max().count() / 1'000'000;
  if (ms > kMaxMs) return std::chrono::nanoseconds::max();
  return std::chrono::milliseconds(ms);
}

}  // namespace

bool element_matches(AXUIElementRef element, const SearchCriteria& criteria) {
  return field_holds(element, criteria.role, "AXRole", equal) &&
         field_holds(element, criteria.title, "AXTitle", contains) &&
         field_holds(element, criteria.identifier, "AXIdentifier", equal) &&
         field_holds(element, criteria.label, "AXLabel", contains);
}

Result<ElementHandle> breadth_first_search(AXUIElementRef root, const SearchCriteria& criteria) {
  if (element_matches(root, criteria)) return ElementHandle::retain(root);
  TreeWalk walk;
  std::deque<ElementHandle> queue;
  auto enqueue_children = [&](AXUIElementRef element) {
    for (ElementHandle& child : walk.children_of(element)) queue.push_back(std::move(child));
  };
  enqueue_children(root);
  while (!queue.empty()) {
    ElementHandle element = std::move(queue.front());
    queue.pop_front();
    if (element_matches(element.get(), criteria)) return element;
    enqueue_children(element.get());
  }
  return AXError(AXErrorKind::ElementNotFound, criteria.debug_form());
}

Result<ElementHandle> retry_until_found(std::optional<std::uint64_t> timeout_ms,
                                        std::string_view query,
                                        const std::function<ElementHandle()>& attempt) {
  platform::Instant start = platform::now();
  std::chrono::nanoseconds limit = limit_of(timeout_ms.value_or(kDefaultTimeoutMs));
  for (;;) {
    if (ElementHandle found = attempt()) return found;
    // A clock that reads earlier than the start counts as no time passed.
    auto elapsed = std::max(platform::now() - start, platform::Instant::duration::zero());
    if (elapsed >= limit) return AXError(AXErrorKind::ElementNotFound, std::string(query));
    platform::sleep_for(kRetryInterval);
  }
}

Result<ElementHandle> find_element(AXUIElementRef root, std::string_view query,
                                   std::optional<std::uint64_t> timeout_ms) {
  return retry_until_found(timeout_ms, query, [&]() -> ElementHandle {
    // Parsed afresh on every attempt; an unparsable query is an attempt that found nothing.
    auto criteria = parse_query(query);
    if (!criteria) return {};
    auto found = breadth_first_search(root, *criteria);
    return found ? std::move(found).value() : ElementHandle();
  });
}

}  // namespace pelorix
