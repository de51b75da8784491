// What a simulated element holds, and the objects handed out for it.
//
// The simulated desktop keeps its values in plain C++ form and never holds a Core Foundation
// reference: every read builds fresh objects for the caller, so every live platform object in
// a test is one the code under test was given and must give back.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "platform/backend.h"

namespace pelorix::platform::sim {

// Node ids are never reused, so an element kept from an earlier tree can only ever name a node
// that is gone.
using NodeId = std::uint64_t;

struct Value;

// Reading succeeds with no value at all.
struct Absent {};
// Reading fails with this status.
struct Failure {
  ::AXError status;
};
struct Text {
  std::u16string units;
  // Whether CFStringGetCStringPtr answers; unset means "as the system would".
  std::optional<bool> direct;
};
struct Integer {
  std::int64_t value;
};
struct Float {
  double value;
};
struct Point {
  CGPoint value;
};
struct Size {
  CGSize value;
};
struct Rect {
  CGRect value;
};
struct Range {
  CFRange value;
};
struct ElementRef {
  NodeId node;
};
struct ElementList {
  std::vector<NodeId> nodes;
};
struct List {
  std::vector<Value> items;
};
// A text that reads "<prefix><n>" where n counts the periods elapsed since `start_ns`, for
// attributes that keep changing under the reader (a clock, a progress label).
struct Ticker {
  std::int64_t period_ms;
  std::int64_t start_ns;
  std::string prefix;
};

struct Value {
  std::variant<Absent, Failure, Text, bool, Integer, Float, Point, Size, Rect, Range, ElementRef,
               ElementList, List, Ticker>
      v;
};

// The monotonic clock Python's time.monotonic_ns reads, in nanoseconds.
std::int64_t monotonic_ns();

// The pid an element value's proxy reports for a node.
using PidOf = std::function<pid_t(NodeId)>;

// A new object (+1) for a value that has one; null for Absent and Failure.
CFTypeRef make_object(const Value& value, const PidOf& pid_of, std::int64_t now_ns);

// The value a written object stands for; false when it is nothing the desktop can hold (an
// event, an element of another backend, an AXValue holding an error).
bool value_of_object(CFTypeRef object, Value* out);

// The value as the harness writes it (tickers resolved to their current text).
nlohmann::json value_to_json(const Value& value, std::int64_t now_ns);
nlohmann::json units_to_json(const std::u16string& units);

// The value a harness JSON encoding stands for; throws std::invalid_argument describing what
// is wrong. Tickers start at `now_ns`.
Value value_from_json(const nlohmann::json& json, std::int64_t now_ns);

// The proxy handed out for a node. Calls go to the process-wide simulated desktop, which
// answers kAXErrorInvalidUIElement once the node is gone (or for node 0, which never exists).
class SimElement final : public ElementObject {
 public:
  SimElement(NodeId node, pid_t pid) : node_(node), pid_(pid) {}
  NodeId node() const { return node_; }
  pid_t pid() const { return pid_; }

  ::AXError copy_attribute_value(const std::string& attribute, CFTypeRef* value) const override;
  ::AXError set_attribute_value(const std::string& attribute, CFTypeRef value) const override;
  ::AXError perform_action(const std::string& action) const override;
  ::AXError get_pid(pid_t* pid) const override;

  // Two proxies of one node are the same element.
  bool equals(const CFObject& other) const override;
  CFHashCode hash() const override;

 private:
  NodeId node_;
  pid_t pid_;
};

// A new proxy (+1).
AXUIElementRef make_element(NodeId node, pid_t pid);

}  // namespace pelorix::platform::sim
