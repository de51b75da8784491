// The values handed to the caller of a read, each a new reference (+1).
#pragma once

#include <string>
#include <vector>

#include "platform/cf_object.h"

namespace pelorix::platform::atspi {

// A string; malformed UTF-8 keeps what is readable.
CFTypeRef string_value(const std::string& utf8);
CFTypeRef bool_value(bool flag);
// An integer number when the value is integral, else a floating-point one.
CFTypeRef number_value(double number);
CFTypeRef ax_value(AXValueType type, const void* payload);
// Takes over one reference to each item.
CFTypeRef array_value(std::vector<CFTypeRef> items);

}  // namespace pelorix::platform::atspi
