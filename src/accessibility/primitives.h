// The typed reads, writes and actions every part of the module performs on another
// application's interface. No other code calls the platform for the accessibility tree.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "accessibility/cf_ref.h"
#include "error/result.h"

namespace pelorix::accessibility {

// An attribute name made into a platform string once, for code that reads the same attributes
// of many elements.
class AttributeName {
 public:
  explicit AttributeName(std::string_view text);
  std::string_view text() const { return text_; }
  CFStringRef string() const { return string_.get(); }

 private:
  std::string text_;
  CFRef<CFStringRef> string_;
};

// Whether the value is present and of the type.
bool has_type(CFTypeRef value, CFTypeID type);
// Whether the value is an element: only elements can be asked anything.
bool is_element(CFTypeRef value);

// An attribute's value, owned; empty when the read succeeded without one.
Result<CFRef<CFTypeRef>> get_attribute(AXUIElementRef element, std::string_view name);
Result<CFRef<CFTypeRef>> get_attribute(AXUIElementRef element, const AttributeName& name);
// The "AXChildren" of an element; an absent or non-array value gives no children.
Result<std::vector<ElementHandle>> get_children(AXUIElementRef element);
// The attribute as text; nothing when it cannot be read, is absent or is not a string.
std::optional<std::string> get_string_attribute_value(AXUIElementRef element,
                                                      std::string_view name);
Result<void> perform_action(AXUIElementRef element, std::string_view action);
// The value stays the caller's.
Result<void> set_attribute_value(AXUIElementRef element, std::string_view name, CFTypeRef value);

// Each entry retained for the caller; nothing for an absent array. The array is not consumed.
std::optional<std::vector<ElementHandle>> cf_array_to_vec(CFArrayRef array);
// The UTF-8 text of a string; nothing for an absent string. The string is not consumed.
std::optional<std::string> cf_string_to_string(CFStringRef string);
// A new platform string for UTF-8 text (null when the platform refuses it).
CFRef<CFStringRef> make_cf_string(std::string_view utf8);

bool is_process_trusted();

}  // namespace pelorix::accessibility
