#include <cstring>

#include "platform/backend.h"
#include "platform/failure_detail.h"

using namespace pelorix::platform;

namespace {

// Names arrive as platform strings; a name that is not well-formed text names nothing.
bool name_of(CFStringRef string, std::string* out) {
  return string_text(string, out);
}

}  // namespace

extern "C" {

Boolean AXIsProcessTrusted(void) {
  return active_backend().process_trusted() ? 1 : 0;
}

CFTypeID AXUIElementGetTypeID(void) {
  return static_cast<CFTypeID>(Kind::Element);
}

AXUIElementRef AXUIElementCreateApplication(pid_t pid) {
  return active_backend().create_application(pid);
}

AXError AXUIElementCopyAttributeValue(AXUIElementRef element, CFStringRef attribute,
                                      CFTypeRef* value) {
  clear_failure_detail();
  const auto* object = object_cast<ElementObject>(element);
  std::string name;
  if (object == nullptr || value == nullptr || !name_of(attribute, &name))
    return kAXErrorIllegalArgument;
  *value = nullptr;
  return object->copy_attribute_value(name, value);
}

AXError AXUIElementSetAttributeValue(AXUIElementRef element, CFStringRef attribute,
                                     CFTypeRef value) {
  clear_failure_detail();
  const auto* object = object_cast<ElementObject>(element);
  std::string name;
  if (object == nullptr || value == nullptr || !name_of(attribute, &name))
    return kAXErrorIllegalArgument;
  return object->set_attribute_value(name, value);
}

AXError AXUIElementPerformAction(AXUIElementRef element, CFStringRef action) {
  clear_failure_detail();
  const auto* object = object_cast<ElementObject>(element);
  std::string name;
  if (object == nullptr || !name_of(action, &name)) return kAXErrorIllegalArgument;
  return object->perform_action(name);
}

AXError AXUIElementGetPid(AXUIElementRef element, pid_t* pid) {
  const auto* object = object_cast<ElementObject>(element);
  if (object == nullptr || pid == nullptr) return kAXErrorIllegalArgument;
  return object->get_pid(pid);
}

CFTypeID AXValueGetTypeID(void) {
  return static_cast<CFTypeID>(Kind::Value);
}

AXValueRef AXValueCreate(AXValueType theType, const void* valuePtr) {
  if (valuePtr == nullptr || ValueObject::payload_size(theType) == 0) return nullptr;
  return static_cast<AXValueRef>((new ValueObject(theType, valuePtr))->ref());
}

AXValueType AXValueGetType(AXValueRef value) {
  const auto* object = object_cast<ValueObject>(value);
  return object == nullptr ? kAXValueIllegalType : object->type();
}

Boolean AXValueGetValue(AXValueRef value, AXValueType theType, void* valuePtr) {
  const auto* object = object_cast<ValueObject>(value);
  if (object == nullptr || valuePtr == nullptr || object->type() != theType) return 0;
  std::memcpy(valuePtr, object->payload(), ValueObject::payload_size(theType));
  return 1;
}

}  // extern "C"
