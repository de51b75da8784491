#include "platform/atspi/values.h"

#include <cmath>
#include <cstdint>

#include "platform/atspi/holders.h"
#include "platform/core_foundation.h"

namespace pelorix::platform::atspi {

CFTypeRef string_value(const std::string& utf8) {
  CFStringRef string = make_string(utf8);
  if (string != nullptr) return string;
  // Toolkits hand out UTF-8; should one send malformed text, keep what is readable.
  Text valid(g_utf8_make_valid(utf8.data(), static_cast<gssize>(utf8.size())));
  return make_string(valid.str());
}

CFTypeRef bool_value(bool flag) {
  return CFRetain(flag ? kCFBooleanTrue : kCFBooleanFalse);
}

CFTypeRef number_value(double number) {
  if (std::isfinite(number) && number == std::floor(number) && std::fabs(number) < 9.0e15)
    return (new NumberObject(static_cast<std::int64_t>(number)))->ref();
  return (new NumberObject(number))->ref();
}

CFTypeRef ax_value(AXValueType type, const void* payload) {
  return (new ValueObject(type, payload))->ref();
}

CFTypeRef array_value(std::vector<CFTypeRef> items) {
  CFArrayRef array = CFArrayCreate(kCFAllocatorDefault, const_cast<const void**>(items.data()),
                                   static_cast<CFIndex>(items.size()), &kCFTypeArrayCallBacks);
  for (CFTypeRef item : items) CFRelease(item);
  return array;
}

}  // namespace pelorix::platform::atspi
