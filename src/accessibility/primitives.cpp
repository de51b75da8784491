#include "accessibility/primitives.h"

namespace pelorix::accessibility {

bool has_type(CFTypeRef value, CFTypeID type) {
  return value != nullptr && CFGetTypeID(value) == type;
}

bool is_element(CFTypeRef value) {
  return has_type(value, AXUIElementGetTypeID());
}

namespace {

Result<CFRef<CFTypeRef>> copy_attribute(AXUIElementRef element, CFStringRef name,
                                        std::string_view text) {
  CFRef<CFTypeRef> value;
  ::AXError status = AXUIElementCopyAttributeValue(element, name, value.out());
  if (status != kAXErrorSuccess) return ax_error_to_result(status, text);
  return value;
}

}  // namespace

CFRef<CFStringRef> make_cf_string(std::string_view utf8) {
  return CFRef<CFStringRef>::adopt(
      CFStringCreateWithBytes(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(utf8.data()),
                              static_cast<CFIndex>(utf8.size()), kCFStringEncodingUTF8, false));
}

AttributeName::AttributeName(std::string_view text) : text_(text), string_(make_cf_string(text)) {}

Result<CFRef<CFTypeRef>> get_attribute(AXUIElementRef element, std::string_view name) {
  // An element handle can be null when the platform answered without one; asking about it
  // is an illegal argument, which we say without relying on the platform to check.
  if (element == nullptr) return ax_error_to_result(kAXErrorIllegalArgument, name);
  CFRef<CFStringRef> name_string = make_cf_string(name);
  return copy_attribute(element, name_string.get(), name);
}

Result<CFRef<CFTypeRef>> get_attribute(AXUIElementRef element, const AttributeName& name) {
  if (element == nullptr) return ax_error_to_result(kAXErrorIllegalArgument, name.text());
  return copy_attribute(element, name.string(), name.text());
}

Result<std::vector<ElementHandle>> get_children(AXUIElementRef element) {
  auto value = get_attribute(element, "AXChildren");
  if (!value) return std::move(value).error();
  CFTypeRef array = value->get();
  if (!has_type(array, CFArrayGetTypeID())) return std::vector<ElementHandle>{};
  CFIndex count = CFArrayGetCount(static_cast<CFArrayRef>(array));
  std::vector<ElementHandle> children;
  children.reserve(static_cast<std::size_t>(count));
  for (CFIndex i = 0; i < count; ++i) {
    auto entry =
        static_cast<AXUIElementRef>(CFArrayGetValueAtIndex(static_cast<CFArrayRef>(array), i));
    children.push_back(ElementHandle::retain(entry));
  }
  return children;
}

std::optional<std::string> get_string_attribute_value(AXUIElementRef element,
                                                      std::string_view name) {
  auto value = get_attribute(element, name);
  if (!value || !has_type(value->get(), CFStringGetTypeID())) return std::nullopt;
  return cf_string_to_string(static_cast<CFStringRef>(value->get()));
}

Result<void> perform_action(AXUIElementRef element, std::string_view action) {
  if (element == nullptr) return ax_error_to_result(kAXErrorIllegalArgument, action);
  CFRef<CFStringRef> action_string = make_cf_string(action);
  ::AXError status = AXUIElementPerformAction(element, action_string.get());
  if (status != kAXErrorSuccess) return ax_error_to_result(status, action);
  return {};
}

Result<void> set_attribute_value(AXUIElementRef element, std::string_view name, CFTypeRef value) {
  if (element == nullptr) return ax_error_to_result(kAXErrorIllegalArgument, name);
  CFRef<CFStringRef> name_string = make_cf_string(name);
  ::AXError status = AXUIElementSetAttributeValue(element, name_string.get(), value);
  if (status != kAXErrorSuccess) return ax_error_to_result(status, name);
  return {};
}

std::optional<std::vector<ElementHandle>> cf_array_to_vec(CFArrayRef array) {
  if (array == nullptr) return std::nullopt;
  auto held = CFRef<CFArrayRef>::retain(array);
  CFIndex count = CFArrayGetCount(array);
  std::vector<ElementHandle> handles;
  handles.reserve(static_cast<std::size_t>(count));
  for (CFIndex i = 0; i < count; ++i) {
    // The system never puts null into an element array; skip one rather than hand it out.
    auto entry = static_cast<AXUIElementRef>(CFArrayGetValueAtIndex(array, i));
    if (entry != nullptr) handles.push_back(ElementHandle::retain(entry));
  }
  return handles;
}

std::optional<std::string> cf_string_to_string(CFStringRef string) {
  if (string == nullptr) return std::nullopt;
  auto held = CFRef<CFStringRef>::retain(string);
  if (const char* direct = CFStringGetCStringPtr(string, kCFStringEncodingUTF8))
    return std::string(direct);
  CFRange whole = CFRangeMake(0, CFStringGetLength(string));
  CFIndex size = 0;
  CFStringGetBytes(string, whole, kCFStringEncodingUTF8, 0, false, nullptr, 0, &size);
  std::string text(static_cast<std::size_t>(size), '\0');
  CFIndex used = 0;
  CFStringGetBytes(string, whole, kCFStringEncodingUTF8, 0, false,
                   reinterpret_cast<UInt8*>(text.data()), size, &used);
  // A text the platform cannot express in UTF-8 (a lone surrogate) converts up to that point.
  text.resize(static_cast<std::size_t>(used));
  return text;
}

bool is_process_trusted() {
  return AXIsProcessTrusted() != 0;
}

}  // namespace pelorix::accessibility
