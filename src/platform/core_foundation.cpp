#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/cf_object.h"

namespace pelorix::platform {
namespace {

struct Counters {
  std::atomic<std::int64_t> live[kKindCount] = {};
  std::atomic<std::uint64_t> created{0};
  std::atomic<std::uint64_t> retains{0};
  std::atomic<std::uint64_t> releases{0};
};

Counters& counters() {
  static Counters instance;
  return instance;
}

[[noreturn]] void fatal(const char* what) {
  // The system frameworks crash on these misuses too; failing loudly keeps our tests honest.
  std::fprintf(stderr, "pelorix platform: %s\n", what);
  std::abort();
}

class BooleanObject final : public CFObject {
 public:
  static constexpr Kind kKind = Kind::Boolean;
  explicit BooleanObject(bool value) : CFObject(kKind), value_(value) { make_permanent(); }
  bool value() const { return value_; }

 private:
  bool value_;
};

const BooleanObject& boolean_object(bool value) {
  static const BooleanObject* const objects[2] = {new BooleanObject(false),
                                                  new BooleanObject(true)};
  return *objects[value ? 1 : 0];
}

class ArrayObject final : public CFObject {
 public:
  static constexpr Kind kKind = Kind::Array;
  ArrayObject(const void** values, CFIndex count, bool retain_values)
      : CFObject(kKind), values_(values, values + count), retained_(retain_values) {
    if (retained_)
      for (const void* value : values_)
        if (value != nullptr) static_cast<const CFObject*>(value)->retain();
  }
  ~ArrayObject() override {
    if (retained_)
      for (const void* value : values_)
        if (value != nullptr) static_cast<const CFObject*>(value)->release();
  }
  const std::vector<const void*>& values() const { return values_; }

 private:
  std::vector<const void*> values_;
  bool retained_;
};

const CFObject& checked(CFTypeRef ref, const char* call) {
  if (ref == nullptr) fatal(call);
  return *static_cast<const CFObject*>(ref);
}

std::size_t utf8_length(char32_t code_point) {
  return code_point < 0x80 ? 1 : code_point < 0x800 ? 2 : code_point < 0x10000 ? 3 : 4;
}

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

bool is_high(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool is_low(char16_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The code point starting at `i` among units [i, end), and how many units it takes; a lone
// surrogate yields itself with width 1.
char32_t decode_at(const std::u16string& units, std::size_t i, std::size_t end, int* width) {
  char16_t unit = units[i];
  if (is_high(unit) && i + 1 < end && is_low(units[i + 1])) {
    *width = 2;
    return 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (units[i + 1] - 0xDC00);
  }
  *width = 1;
  return unit;
}

}  // namespace

int kind_index(Kind kind) {
  switch (kind) {
    case Kind::String:
      return 0;
    case Kind::Array:
      return 1;
    case Kind::Boolean:
      return 2;
    case Kind::Number:
      return 3;
    case Kind::Element:
      return 4;
    case Kind::Value:
      return 5;
    case Kind::EventSource:
      return 6;
    case Kind::Event:
      return 7;
  }
  return 0;
}

const char* kind_name(Kind kind) {
  static const char* const names[kKindCount] = {"CFString",      "CFArray",     "CFBoolean",
                                                "CFNumber",      "AXUIElement", "AXValue",
                                                "CGEventSource", "CGEvent"};
  return names[kind_index(kind)];
}

CFObject::CFObject(Kind kind) : kind_(kind) {
  counters().live[kind_index(kind)].fetch_add(1, std::memory_order_relaxed);
  counters().created.fetch_add(1, std::memory_order_relaxed);
}

CFObject::~CFObject() {
  counters().live[kind_index(kind_)].fetch_sub(1, std::memory_order_relaxed);
}

void CFObject::retain() const {
  counters().retains.fetch_add(1, std::memory_order_relaxed);
  refs_.fetch_add(1, std::memory_order_relaxed);
}

void CFObject::release() const {
  counters().releases.fetch_add(1, std::memory_order_relaxed);
  CFIndex before = refs_.fetch_sub(1, std::memory_order_acq_rel);
  if (before <= 0) fatal("CFRelease of an object that was already freed");
  if (before == 1) {
    if (permanent_) fatal("CFRelease of a Core Foundation constant beyond its retains");
    delete this;
  }
}

ObjectCounts object_counts() {
  ObjectCounts counts{};
  for (int i = 0; i < kKindCount; ++i) counts.live[i] = counters().live[i].load();
  // The two booleans are permanent and do not count as live.
  counts.live[kind_index(Kind::Boolean)] -= 2;
  counts.created = counters().created.load();
  counts.retains = counters().retains.load();
  counts.releases = counters().releases.load();
  counts.true_refs = boolean_object(true).retain_count();
  counts.false_refs = boolean_object(false).retain_count();
  return counts;
}

bool offers_direct_pointer(const std::u16string& units) {
  for (char16_t unit : units)
    if (unit == 0 || unit > 0x7F) return false;
  return true;
}

std::int64_t NumberObject::saturate(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 9223372036854775807.0) return INT64_MAX;
  if (value <= -9223372036854775808.0) return INT64_MIN;
  return static_cast<std::int64_t>(value);
}

// Whether [location, location + length) lies within `size` units, without overflowing.
static bool range_within(CFRange range, std::size_t size) {
  return range.location >= 0 && range.length >= 0 &&
         static_cast<std::size_t>(range.location) <= size &&
         static_cast<std::size_t>(range.length) <= size - static_cast<std::size_t>(range.location);
}

StringObject::StringObject(std::u16string units, bool direct)
    : CFObject(kKind), units_(std::move(units)) {
  utf8_ = utf16_to_utf8(units_, &well_formed_);
  direct_ = direct && well_formed_ && utf8_.find('\0') == std::string::npos;
}

ValueObject::ValueObject(AXValueType type, const void* payload) : CFObject(kKind), type_(type) {
  std::memset(&payload_, 0, sizeof payload_);
  std::memcpy(&payload_, payload, payload_size(type));
}

std::size_t ValueObject::payload_size(AXValueType type) {
  switch (type) {
    case kAXValueCGPointType:
      return sizeof(CGPoint);
    case kAXValueCGSizeType:
      return sizeof(CGSize);
    case kAXValueCGRectType:
      return sizeof(CGRect);
    case kAXValueCFRangeType:
      return sizeof(CFRange);
    case kAXValueAXErrorType:
      return sizeof(::AXError);
    default:
      return 0;
  }
}

std::u16string utf8_to_utf16(const std::string& utf8, bool* ok) {
  std::u16string out;
  *ok = true;
  std::size_t i = 0;
  while (i < utf8.size()) {
    auto lead = static_cast<unsigned char>(utf8[i]);
    int extra = lead < 0x80           ? 0
                : (lead >> 5) == 0x6  ? 1
                : (lead >> 4) == 0xE  ? 2
                : (lead >> 3) == 0x1E ? 3
                                      : -1;
    if (extra < 0 || i + static_cast<std::size_t>(extra) >= utf8.size()) {
      *ok = false;
      return {};
    }
    char32_t cp = extra == 0 ? lead : lead & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
      auto next = static_cast<unsigned char>(utf8[i + k]);
      if ((next & 0xC0) != 0x80) {
        *ok = false;
        return {};
      }
      cp = (cp << 6) | (next & 0x3F);
    }
    bool overlong = utf8_length(cp) != static_cast<std::size_t>(extra + 1);
    if (overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      *ok = false;
      return {};
    }
    if (cp >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
    i += static_cast<std::size_t>(extra) + 1;
  }
  return out;
}

std::string utf16_to_utf8(const std::u16string& units, bool* well_formed) {
  std::string out;
  *well_formed = true;
  for (std::size_t i = 0; i < units.size();) {
    int width = 0;
    char32_t cp = decode_at(units, i, units.size(), &width);
    if (cp >= 0xD800 && cp <= 0xDFFF) {
      *well_formed = false;
      return {};
    }
    append_utf8(out, cp);
    i += static_cast<std::size_t>(width);
  }
  return out;
}

CFStringRef make_string(std::u16string units, bool direct) {
  return static_cast<CFStringRef>((new StringObject(std::move(units), direct))->ref());
}

CFStringRef make_string(const std::string& utf8) {
  bool ok = false;
  std::u16string units = utf8_to_utf16(utf8, &ok);
  if (!ok) return nullptr;
  bool direct = offers_direct_pointer(units);
  return make_string(std::move(units), direct);
}

bool string_text(CFStringRef string, std::string* out) {
  const auto* object = object_cast<StringObject>(string);
  if (object == nullptr || !object->well_formed()) return false;
  *out = object->utf8();
  return true;
}

}  // namespace pelorix::platform

using namespace pelorix::platform;

extern "C" {

const CFAllocatorRef kCFAllocatorDefault = nullptr;

static const void* retain_callback(CFAllocatorRef, const void* value) {
  return CFRetain(value);
}
static void release_callback(CFAllocatorRef, const void* value) {
  CFRelease(value);
}
const CFArrayCallBacks kCFTypeArrayCallBacks = {0, retain_callback, release_callback, nullptr,
                                                nullptr};

const CFBooleanRef kCFBooleanTrue = static_cast<CFBooleanRef>(boolean_object(true).ref());
const CFBooleanRef kCFBooleanFalse = static_cast<CFBooleanRef>(boolean_object(false).ref());

CFTypeRef CFRetain(CFTypeRef cf) {
  checked(cf, "CFRetain(NULL)").retain();
  return cf;
}

void CFRelease(CFTypeRef cf) {
  checked(cf, "CFRelease(NULL)").release();
}

CFTypeID CFGetTypeID(CFTypeRef cf) {
  return static_cast<CFTypeID>(checked(cf, "CFGetTypeID(NULL)").kind());
}

CFIndex CFGetRetainCount(CFTypeRef cf) {
  return checked(cf, "CFGetRetainCount(NULL)").retain_count();
}

Boolean CFEqual(CFTypeRef cf1, CFTypeRef cf2) {
  const CFObject& first = checked(cf1, "CFEqual(NULL, ...)");
  const CFObject& second = checked(cf2, "CFEqual(..., NULL)");
  return static_cast<Boolean>(first.kind() == second.kind() && first.equals(second));
}

CFHashCode CFHash(CFTypeRef cf) {
  return checked(cf, "CFHash(NULL)").hash();
}

CFTypeID CFArrayGetTypeID(void) {
  return static_cast<CFTypeID>(Kind::Array);
}

CFArrayRef CFArrayCreate(CFAllocatorRef, const void** values, CFIndex numValues,
                         const CFArrayCallBacks* callBacks) {
  if (numValues < 0 || (numValues > 0 && values == nullptr)) return nullptr;
  bool retain = callBacks != nullptr && callBacks->retain != nullptr;
  return static_cast<CFArrayRef>((new ArrayObject(values, numValues, retain))->ref());
}

CFIndex CFArrayGetCount(CFArrayRef theArray) {
  const auto* array = object_cast<ArrayObject>(theArray);
  if (array == nullptr) fatal("CFArrayGetCount on something that is not an array");
  return static_cast<CFIndex>(array->values().size());
}

const void* CFArrayGetValueAtIndex(CFArrayRef theArray, CFIndex idx) {
  const auto* array = object_cast<ArrayObject>(theArray);
  if (array == nullptr) fatal("CFArrayGetValueAtIndex on something that is not an array");
  if (idx < 0 || static_cast<std::size_t>(idx) >= array->values().size())
    fatal("CFArrayGetValueAtIndex out of bounds");
  return array->values()[static_cast<std::size_t>(idx)];
}

CFTypeID CFStringGetTypeID(void) {
  return static_cast<CFTypeID>(Kind::String);
}

CFStringRef CFStringCreateWithBytes(CFAllocatorRef, const UInt8* bytes, CFIndex numBytes,
                                    CFStringEncoding encoding, Boolean isExternalRepresentation) {
  if (numBytes < 0 || (numBytes > 0 && bytes == nullptr)) return nullptr;
  if (isExternalRepresentation) return nullptr;  // byte-order marks are never needed here
  std::string text(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(numBytes));
  if (encoding == kCFStringEncodingASCII) {
    for (char c : text)
      if (static_cast<unsigned char>(c) > 0x7F) return nullptr;
  } else if (encoding != kCFStringEncodingUTF8) {
    return nullptr;
  }
  return make_string(text);
}

CFStringRef CFStringCreateWithCharacters(CFAllocatorRef, const UniChar* chars, CFIndex numChars) {
  if (numChars < 0 || (numChars > 0 && chars == nullptr)) return nullptr;
  std::u16string units(reinterpret_cast<const char16_t*>(chars),
                       static_cast<std::size_t>(numChars));
  bool direct = offers_direct_pointer(units);
  return make_string(std::move(units), direct);
}

const char* CFStringGetCStringPtr(CFStringRef theString, CFStringEncoding encoding) {
  const auto* string = object_cast<StringObject>(theString);
  if (string == nullptr) fatal("CFStringGetCStringPtr on something that is not a string");
  if (encoding == kCFStringEncodingASCII && !offers_direct_pointer(string->units())) return nullptr;
  if (encoding != kCFStringEncodingUTF8 && encoding != kCFStringEncodingASCII) return nullptr;
  return string->direct_utf8();
}

CFIndex CFStringGetLength(CFStringRef theString) {
  const auto* string = object_cast<StringObject>(theString);
  if (string == nullptr) fatal("CFStringGetLength on something that is not a string");
  return static_cast<CFIndex>(string->units().size());
}

void CFStringGetCharacters(CFStringRef theString, CFRange range, UniChar* buffer) {
  const auto* string = object_cast<StringObject>(theString);
  if (string == nullptr) fatal("CFStringGetCharacters on something that is not a string");
  const std::u16string& units = string->units();
  if (!range_within(range, units.size())) fatal("CFStringGetCharacters range out of bounds");
  if (range.length == 0) return;
  if (buffer == nullptr) fatal("CFStringGetCharacters into NULL");
  std::memcpy(buffer, units.data() + range.location,
              static_cast<std::size_t>(range.length) * sizeof(UniChar));
}

CFIndex CFStringGetBytes(CFStringRef theString, CFRange range, CFStringEncoding encoding,
                         UInt8 lossByte, Boolean isExternalRepresentation, UInt8* buffer,
                         CFIndex maxBufLen, CFIndex* usedBufLen) {
  const auto* string = object_cast<StringObject>(theString);
  if (string == nullptr) fatal("CFStringGetBytes on something that is not a string");
  const std::u16string& units = string->units();
  if (!range_within(range, units.size())) fatal("CFStringGetBytes range out of bounds");
  bool ascii = encoding == kCFStringEncodingASCII;
  if ((!ascii && encoding != kCFStringEncodingUTF8) || isExternalRepresentation) {
    if (usedBufLen != nullptr) *usedBufLen = 0;
    return 0;
  }
  // Convert character by character; like the system, stop at the first character that cannot
  // be converted (unless a loss byte stands in for it) or that no longer fits the buffer.
  std::size_t end = static_cast<std::size_t>(range.location + range.length);
  std::size_t i = static_cast<std::size_t>(range.location);
  CFIndex used = 0;
  std::string piece;
  while (i < end) {
    int width = 0;
    char32_t cp = decode_at(units, i, end, &width);
    piece.clear();
    bool convertible = !(cp >= 0xD800 && cp <= 0xDFFF) && !(ascii && cp > 0x7F);
    if (convertible) {
      append_utf8(piece, cp);
    } else if (lossByte != 0) {
      piece += static_cast<char>(lossByte);
    } else {
      break;
    }
    if (buffer != nullptr) {
      if (used + static_cast<CFIndex>(piece.size()) > maxBufLen) break;
      std::memcpy(buffer + used, piece.data(), piece.size());
    }
    used += static_cast<CFIndex>(piece.size());
    i += static_cast<std::size_t>(width);
  }
  if (usedBufLen != nullptr) *usedBufLen = used;
  return static_cast<CFIndex>(i) - range.location;
}

CFTypeID CFBooleanGetTypeID(void) {
  return static_cast<CFTypeID>(Kind::Boolean);
}

Boolean CFBooleanGetValue(CFBooleanRef boolean) {
  const auto* object = object_cast<BooleanObject>(boolean);
  if (object == nullptr) fatal("CFBooleanGetValue on something that is not a boolean");
  return object->value() ? 1 : 0;
}

CFTypeID CFNumberGetTypeID(void) {
  return static_cast<CFTypeID>(Kind::Number);
}

static bool is_float_type(CFNumberType type) {
  return type == kCFNumberFloat32Type || type == kCFNumberFloat64Type ||
         type == kCFNumberFloatType || type == kCFNumberDoubleType || type == kCFNumberCGFloatType;
}

static std::size_t number_size(CFNumberType type) {
  switch (type) {
    case kCFNumberSInt8Type:
    case kCFNumberCharType:
      return 1;
    case kCFNumberSInt16Type:
    case kCFNumberShortType:
      return 2;
    case kCFNumberSInt32Type:
    case kCFNumberIntType:
    case kCFNumberFloat32Type:
    case kCFNumberFloatType:
      return 4;
    case kCFNumberSInt64Type:
    case kCFNumberLongType:
    case kCFNumberLongLongType:
    case kCFNumberCFIndexType:
    case kCFNumberNSIntegerType:
    case kCFNumberFloat64Type:
    case kCFNumberDoubleType:
    case kCFNumberCGFloatType:
      return 8;
    default:
      return 0;
  }
}

CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType theType, const void* valuePtr) {
  std::size_t size = number_size(theType);
  if (size == 0 || valuePtr == nullptr) return nullptr;
  CFObject* number = nullptr;
  if (is_float_type(theType)) {
    double value = 0;
    if (size == 4) {
      float f = 0;
      std::memcpy(&f, valuePtr, 4);
      value = f;
    } else {
      std::memcpy(&value, valuePtr, 8);
    }
    number = new NumberObject(value);
  } else {
    std::int64_t value = 0;
    switch (size) {
      case 1:
        value = *static_cast<const std::int8_t*>(valuePtr);
        break;
      case 2: {
        std::int16_t v;
        std::memcpy(&v, valuePtr, 2);
        value = v;
        break;
      }
      case 4: {
        std::int32_t v;
        std::memcpy(&v, valuePtr, 4);
        value = v;
        break;
      }
      default:
        std::memcpy(&value, valuePtr, 8);
        break;
    }
    number = new NumberObject(value);
  }
  return static_cast<CFNumberRef>(number->ref());
}

Boolean CFNumberGetValue(CFNumberRef number, CFNumberType theType, void* valuePtr) {
  const auto* object = object_cast<NumberObject>(number);
  if (object == nullptr) fatal("CFNumberGetValue on something that is not a number");
  std::size_t size = number_size(theType);
  if (size == 0 || valuePtr == nullptr) return 0;
  if (is_float_type(theType)) {
    double value = object->as_double();
    if (size == 4) {
      auto f = static_cast<float>(value);
      std::memcpy(valuePtr, &f, 4);
      return static_cast<double>(f) == value ? 1 : 0;
    }
    std::memcpy(valuePtr, &value, 8);
    bool exact = object->is_float() || (value < 9223372036854775808.0 &&
                                        static_cast<std::int64_t>(value) == object->as_int());
    return exact ? 1 : 0;
  }
  std::int64_t value = object->as_int();
  bool exact = !object->is_float() || (std::isfinite(object->as_double()) &&
                                       static_cast<double>(value) == object->as_double());
  switch (size) {
    case 1: {
      auto v = static_cast<std::int8_t>(value);
      std::memcpy(valuePtr, &v, 1);
      return exact && v == value;
    }
    case 2: {
      auto v = static_cast<std::int16_t>(value);
      std::memcpy(valuePtr, &v, 2);
      return exact && v == value;
    }
    case 4: {
      auto v = static_cast<std::int32_t>(value);
      std::memcpy(valuePtr, &v, 4);
      return exact && v == value;
    }
    default:
      std::memcpy(valuePtr, &value, 8);
      return exact ? 1 : 0;
  }
}

Boolean CFNumberIsFloatType(CFNumberRef number) {
  const auto* object = object_cast<NumberObject>(number);
  if (object == nullptr) fatal("CFNumberIsFloatType on something that is not a number");
  return object->is_float() ? 1 : 0;
}

}  // extern "C"
