// Our own Core Foundation object model, used wherever the system frameworks are absent.
//
// Every object is reference counted and typed like its Apple counterpart. Every creation,
// retain, release and destruction is counted so that tests can prove the module hands back
// every reference it was given.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/accessibility.h"
#include "platform/core_foundation.h"
#include "platform/events.h"

namespace pelorix::platform {

// Type ids as CFGetTypeID reports them. Values are arbitrary but distinct.
enum class Kind : CFTypeID {
  String = 7,
  Array = 19,
  Boolean = 21,
  Number = 22,
  Element = 40,
  Value = 41,
  EventSource = 50,
  Event = 51,
};
inline constexpr int kKindCount = 8;
int kind_index(Kind kind);
const char* kind_name(Kind kind);

class CFObject {
 public:
  explicit CFObject(Kind kind);
  CFObject(const CFObject&) = delete;
  CFObject& operator=(const CFObject&) = delete;
  virtual ~CFObject();

  Kind kind() const { return kind_; }
  CFTypeRef ref() const { return this; }
  void retain() const;
  void release() const;
  CFIndex retain_count() const { return refs_.load(std::memory_order_relaxed); }

  // Objects that live for the whole process (the two booleans) are counted like any other
  // but never freed.
  void make_permanent() { permanent_ = true; }

  // CFEqual and CFHash: objects are equal when they are the same object, unless their kind
  // says more (two element references to one user-interface element are equal). Equal objects
  // hash alike.
  virtual bool equals(const CFObject& other) const { return this == &other; }
  virtual CFHashCode hash() const { return reinterpret_cast<CFHashCode>(this); }

 private:
  Kind kind_;
  bool permanent_ = false;
  mutable std::atomic<CFIndex> refs_{1};
};

// Casts a reference to the object it designates when it has the wanted kind, else null.
template <class T>
const T* object_cast(CFTypeRef ref) {
  auto* object = static_cast<const CFObject*>(ref);
  if (object == nullptr || object->kind() != T::kKind) return nullptr;
  return static_cast<const T*>(object);
}

struct ObjectCounts {
  std::int64_t live[kKindCount];
  std::uint64_t created;
  std::uint64_t retains;
  std::uint64_t releases;
  CFIndex true_refs;   // kCFBooleanTrue's count; 1 when nobody holds it
  CFIndex false_refs;  // kCFBooleanFalse's count
};
ObjectCounts object_counts();

class StringObject final : public CFObject {
 public:
  static constexpr Kind kKind = Kind::String;
  // `direct` says whether CFStringGetCStringPtr hands out the UTF-8 bytes; like the system,
  // we do so only when the text can be read as a C string at all.
  StringObject(std::u16string units, bool direct);
  const std::u16string& units() const { return units_; }
  // The UTF-8 text when the units are well-formed UTF-16 (empty otherwise).
  const std::string& utf8() const { return utf8_; }
  bool well_formed() const { return well_formed_; }
  const char* direct_utf8() const { return direct_ ? utf8_.c_str() : nullptr; }

 private:
  std::u16string units_;
  std::string utf8_;
  bool well_formed_;
  bool direct_;
};

// Plain-ASCII text without NUL is what the system hands out as a direct C string.
bool offers_direct_pointer(const std::u16string& units);

class NumberObject final : public CFObject {
 public:
  static constexpr Kind kKind = Kind::Number;
  explicit NumberObject(std::int64_t value) : CFObject(kKind), is_float_(false), int_(value) {}
  explicit NumberObject(double value) : CFObject(kKind), is_float_(true), float_(value) {}
  bool is_float() const { return is_float_; }
  // Floats convert toward zero, saturating; NaN gives 0.
  std::int64_t as_int() const { return is_float_ ? saturate(float_) : int_; }
  double as_double() const { return is_float_ ? float_ : static_cast<double>(int_); }

 private:
  static std::int64_t saturate(double value);
  bool is_float_;
  std::int64_t int_ = 0;
  double float_ = 0;
};

class ValueObject final : public CFObject {
 public:
  static constexpr Kind kKind = Kind::Value;
  ValueObject(AXValueType type, const void* payload);
  AXValueType type() const { return type_; }
  const void* payload() const { return &payload_; }
  static std::size_t payload_size(AXValueType type);

 private:
  AXValueType type_;
  union {
    CGPoint point;
    CGSize size;
    CGRect rect;
    CFRange range;
    ::AXError error;
  } payload_;
};

std::u16string utf8_to_utf16(const std::string& utf8, bool* ok);
std::string utf16_to_utf8(const std::u16string& units, bool* well_formed);

// A new string object from UTF-16 units, for backends that produce texts.
CFStringRef make_string(std::u16string units, bool direct);
CFStringRef make_string(const std::string& utf8);
// A reference's text when it is a well-formed string, for backends that receive names.
bool string_text(CFStringRef string, std::string* out);

}  // namespace pelorix::platform
