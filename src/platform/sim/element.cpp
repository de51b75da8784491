#include "platform/sim/element.h"

#include <time.h>

#include <cmath>
#include <limits>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "platform/sim/desktop.h"

namespace pelorix::platform::sim {
namespace {

using nlohmann::json;

// Arrays of arrays are legal values, but nothing a test needs nests deeply; refusing deep
// nesting keeps a hostile request from exhausting the stack.
constexpr int kMaxDepth = 32;

template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

[[noreturn]] void invalid(const std::string& what) {
  throw std::invalid_argument(what);
}

CFTypeRef make_array(const std::vector<CFTypeRef>& items) {
  CFArrayRef array = CFArrayCreate(kCFAllocatorDefault, const_cast<const void**>(items.data()),
                                   static_cast<CFIndex>(items.size()), &kCFTypeArrayCallBacks);
  // The array holds its own references now.
  for (CFTypeRef item : items) CFRelease(item);
  return array;
}

CFTypeRef make_ax_value(AXValueType type, const void* payload) {
  return static_cast<CFTypeRef>((new ValueObject(type, payload))->ref());
}

std::u16string ticker_text(const Ticker& ticker, std::int64_t now_ns) {
  std::int64_t elapsed = now_ns > ticker.start_ns ? now_ns - ticker.start_ns : 0;
  std::int64_t count = elapsed / (ticker.period_ms * 1000000);
  bool ok = false;
  return utf8_to_utf16(ticker.prefix + std::to_string(count), &ok);
}

CFTypeRef make_object_at(const Value& value, const PidOf& pid_of, std::int64_t now_ns) {
  return std::visit(
      Overloaded{
          [](const Absent&) -> CFTypeRef { return nullptr; },
          [](const Failure&) -> CFTypeRef { return nullptr; },
          [](const Text& text) -> CFTypeRef {
            return make_string(text.units, text.direct.value_or(offers_direct_pointer(text.units)));
          },
          [](bool flag) -> CFTypeRef { return CFRetain(flag ? kCFBooleanTrue : kCFBooleanFalse); },
          [](const Integer& number) -> CFTypeRef {
            return (new NumberObject(number.value))->ref();
          },
          [](const Float& number) -> CFTypeRef { return (new NumberObject(number.value))->ref(); },
          [](const Point& p) { return make_ax_value(kAXValueCGPointType, &p.value); },
          [](const Size& s) { return make_ax_value(kAXValueCGSizeType, &s.value); },
          [](const Rect& r) { return make_ax_value(kAXValueCGRectType, &r.value); },
          [](const Range& r) { return make_ax_value(kAXValueCFRangeType, &r.value); },
          [&](const ElementRef& ref) -> CFTypeRef {
            return make_element(ref.node, pid_of(ref.node));
          },
          [&](const ElementList& list) {
            std::vector<CFTypeRef> items;
            items.reserve(list.nodes.size());
            for (NodeId node : list.nodes) items.push_back(make_element(node, pid_of(node)));
            return make_array(items);
          },
          [&](const List& list) {
            std::vector<CFTypeRef> items;
            items.reserve(list.items.size());
            for (const Value& item : list.items)
              items.push_back(make_object_at(item, pid_of, now_ns));
            return make_array(items);
          },
          [&](const Ticker& ticker) -> CFTypeRef {
            std::u16string units = ticker_text(ticker, now_ns);
            return make_string(units, offers_direct_pointer(units));
          },
      },
      value.v);
}

bool value_of_object_at(CFTypeRef object, Value* out, int depth) {
  if (depth > kMaxDepth) return false;
  if (const auto* string = object_cast<StringObject>(object)) {
    out->v = Text{string->units(), std::nullopt};
    return true;
  }
  if (const auto* number = object_cast<NumberObject>(object)) {
    if (number->is_float())
      out->v = Float{number->as_double()};
    else
      out->v = Integer{number->as_int()};
    return true;
  }
  if (const auto* element = object_cast<ElementObject>(object)) {
    const auto* ours = dynamic_cast<const SimElement*>(element);
    if (ours == nullptr) return false;
    out->v = ElementRef{ours->node()};
    return true;
  }
  if (const auto* ax_value = object_cast<ValueObject>(object)) {
    switch (ax_value->type()) {
      case kAXValueCGPointType:
        out->v = Point{*static_cast<const CGPoint*>(ax_value->payload())};
        return true;
      case kAXValueCGSizeType:
        out->v = Size{*static_cast<const CGSize*>(ax_value->payload())};
        return true;
      case kAXValueCGRectType:
        out->v = Rect{*static_cast<const CGRect*>(ax_value->payload())};
        return true;
      case kAXValueCFRangeType:
        out->v = Range{*static_cast<const CFRange*>(ax_value->payload())};
        return true;
      default:
        return false;
    }
  }
  CFTypeID type = CFGetTypeID(object);
  if (type == CFBooleanGetTypeID()) {
    out->v = CFBooleanGetValue(static_cast<CFBooleanRef>(object)) != 0;
    return true;
  }
  if (type == CFArrayGetTypeID()) {
    auto array = static_cast<CFArrayRef>(object);
    List list;
    CFIndex count = CFArrayGetCount(array);
    for (CFIndex i = 0; i < count; ++i) {
      Value item;
      const void* element = CFArrayGetValueAtIndex(array, i);
      if (element == nullptr || !value_of_object_at(element, &item, depth + 1)) return false;
      list.items.push_back(std::move(item));
    }
    out->v = std::move(list);
    return true;
  }
  return false;
}

// A JSON number that fits a double, for geometry.
double coordinate(const json& item) {
  if (!item.is_number()) invalid("coordinates must be numbers");
  return item.get<double>();
}

std::vector<double> coordinates(const json& list, std::size_t count, const char* what) {
  if (!list.is_array() || list.size() != count)
    invalid(std::string(what) + " needs " + std::to_string(count) + " numbers");
  std::vector<double> out;
  for (const json& item : list) out.push_back(coordinate(item));
  return out;
}

NodeId node_id(const json& item) {
  if (!item.is_number_unsigned()) invalid("element ids are non-negative integers");
  return item.get<NodeId>();
}

std::int64_t whole_number(const json& item, const char* what) {
  if (item.is_number_unsigned()) {
    if (item.get<std::uint64_t>() > static_cast<std::uint64_t>(INT64_MAX))
      invalid(std::string(what) + " is out of range");
    return static_cast<std::int64_t>(item.get<std::uint64_t>());
  }
  if (!item.is_number_integer()) invalid(std::string(what) + " must be an integer");
  return item.get<std::int64_t>();
}

std::optional<bool> direct_flag(const json& object) {
  auto found = object.find("direct");
  if (found == object.end() || found->is_null()) return std::nullopt;
  if (!found->is_boolean()) invalid("\"direct\" must be true or false");
  return found->get<bool>();
}

std::u16string text_units(const std::string& utf8) {
  bool ok = false;
  std::u16string units = utf8_to_utf16(utf8, &ok);
  if (!ok) invalid("strings must be UTF-8 (use {\"utf16\": [...]} for other texts)");
  return units;
}

// The keys an object encoding may carry besides its tag.
void only_keys(const json& object, std::initializer_list<const char*> allowed) {
  for (const auto& [key, item] : object.items()) {
    bool known = false;
    for (const char* name : allowed) known = known || key == name;
    if (!known) invalid("unexpected key \"" + key + "\" in a value");
  }
}

Value tagged_value(const json& object, std::int64_t now_ns, int depth);

Value value_at(const json& item, std::int64_t now_ns, int depth) {
  if (depth > kMaxDepth) invalid("values nest too deeply");
  switch (item.type()) {
    case json::value_t::null:
      return {Absent{}};
    case json::value_t::boolean:
      return {item.get<bool>()};
    case json::value_t::string:
      return {Text{text_units(item.get<std::string>()), std::nullopt}};
    case json::value_t::number_integer:
    case json::value_t::number_unsigned:
      return {Integer{whole_number(item, "an integer value")}};
    case json::value_t::number_float:
      return {Float{item.get<double>()}};
    case json::value_t::object:
      return tagged_value(item, now_ns, depth);
    default:
      invalid("lists are written {\"array\": [...]} or {\"elements\": [...]}");
  }
}

Value tagged_value(const json& object, std::int64_t now_ns, int depth) {
  auto has = [&](const char* key) { return object.contains(key); };
  if (has("str")) {
    only_keys(object, {"str", "direct"});
    if (!object["str"].is_string()) invalid("\"str\" must be a string");
    return {Text{text_units(object["str"].get<std::string>()), direct_flag(object)}};
  }
  if (has("utf16")) {
    only_keys(object, {"utf16", "direct"});
    const json& list = object["utf16"];
    if (!list.is_array()) invalid("\"utf16\" must be a list of code units");
    std::u16string units;
    for (const json& unit : list) {
      if (!unit.is_number_unsigned() || unit.get<std::uint64_t>() > 0xFFFF)
        invalid("UTF-16 code units are integers from 0 to 65535");
      units += static_cast<char16_t>(unit.get<std::uint64_t>());
    }
    return {Text{std::move(units), direct_flag(object)}};
  }
  if (has("status")) {
    only_keys(object, {"status"});
    std::int64_t status = whole_number(object["status"], "a status");
    if (status < INT32_MIN || status > INT32_MAX) invalid("a status is a 32-bit integer");
    return {Failure{static_cast<::AXError>(status)}};
  }
  if (has("point")) {
    only_keys(object, {"point"});
    auto c = coordinates(object["point"], 2, "a point");
    return {Point{CGPoint{c[0], c[1]}}};
  }
  if (has("size")) {
    only_keys(object, {"size"});
    auto c = coordinates(object["size"], 2, "a size");
    return {Size{CGSize{c[0], c[1]}}};
  }
  if (has("rect")) {
    only_keys(object, {"rect"});
    auto c = coordinates(object["rect"], 4, "a rect");
    return {Rect{CGRect{CGPoint{c[0], c[1]}, CGSize{c[2], c[3]}}}};
  }
  if (has("range")) {
    only_keys(object, {"range"});
    const json& list = object["range"];
    if (!list.is_array() || list.size() != 2) invalid("a range needs 2 integers");
    return {Range{CFRange{static_cast<CFIndex>(whole_number(list[0], "a range location")),
                          static_cast<CFIndex>(whole_number(list[1], "a range length"))}}};
  }
  if (has("element")) {
    only_keys(object, {"element"});
    return {ElementRef{node_id(object["element"])}};
  }
  if (has("elements")) {
    only_keys(object, {"elements"});
    const json& list = object["elements"];
    if (!list.is_array()) invalid("\"elements\" must be a list of element ids");
    ElementList elements;
    for (const json& id : list) elements.nodes.push_back(node_id(id));
    return {std::move(elements)};
  }
  if (has("array")) {
    only_keys(object, {"array"});
    const json& list = object["array"];
    if (!list.is_array()) invalid("\"array\" must be a list of values");
    List out;
    for (const json& entry : list) {
      Value value = value_at(entry, now_ns, depth + 1);
      if (std::holds_alternative<Absent>(value.v) || std::holds_alternative<Failure>(value.v))
        invalid("an array holds values, not null or statuses");
      out.items.push_back(std::move(value));
    }
    return {std::move(out)};
  }
  if (has("ticker")) {
    only_keys(object, {"ticker", "prefix"});
    std::int64_t period = whole_number(object["ticker"], "a ticker period");
    if (period <= 0 || period > 86400000) invalid("a ticker period is 1 ms to a day");
    std::string prefix = "tick ";
    if (object.contains("prefix")) {
      if (!object["prefix"].is_string()) invalid("a ticker prefix must be a string");
      prefix = object["prefix"].get<std::string>();
      text_units(prefix);
    }
    return {Ticker{period, now_ns, std::move(prefix)}};
  }
  invalid("unknown value encoding " + object.dump(-1, ' ', false, json::error_handler_t::replace));
}

json number_json(double value) {
  // JSON has no infinities or NaN; say what they are instead of writing null.
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  return value;
}

}  // namespace

std::int64_t monotonic_ns() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

CFTypeRef make_object(const Value& value, const PidOf& pid_of, std::int64_t now_ns) {
  return make_object_at(value, pid_of, now_ns);
}

bool value_of_object(CFTypeRef object, Value* out) {
  return value_of_object_at(object, out, 0);
}

json units_to_json(const std::u16string& units) {
  bool well_formed = false;
  std::string utf8 = utf16_to_utf8(units, &well_formed);
  if (well_formed) return utf8;
  json list = json::array();
  for (char16_t unit : units) list.push_back(static_cast<unsigned>(unit));
  return json{{"utf16", std::move(list)}};
}

json value_to_json(const Value& value, std::int64_t now_ns) {
  return std::visit(
      Overloaded{
          [](const Absent&) -> json { return nullptr; },
          [](const Failure& f) -> json {
            return {{"status", static_cast<int>(f.status)}};
          },
          [](const Text& text) -> json { return units_to_json(text.units); },
          [](bool flag) -> json { return flag; },
          [](const Integer& number) -> json { return number.value; },
          [](const Float& number) -> json { return number_json(number.value); },
          [](const Point& p) -> json {
            return {{"point", {number_json(p.value.x), number_json(p.value.y)}}};
          },
          [](const Size& s) -> json {
            return {{"size", {number_json(s.value.width), number_json(s.value.height)}}};
          },
          [](const Rect& r) -> json {
            return {{"rect",
                     {number_json(r.value.origin.x), number_json(r.value.origin.y),
                      number_json(r.value.size.width), number_json(r.value.size.height)}}};
          },
          [](const Range& r) -> json {
            return {{"range", {r.value.location, r.value.length}}};
          },
          [](const ElementRef& ref) -> json {
            return {{"element", ref.node}};
          },
          [](const ElementList& list) -> json {
            return {{"elements", list.nodes}};
          },
          [&](const List& list) -> json {
            json items = json::array();
            for (const Value& item : list.items) items.push_back(value_to_json(item, now_ns));
            return {{"array", std::move(items)}};
          },
          [&](const Ticker& ticker) -> json { return units_to_json(ticker_text(ticker, now_ns)); },
      },
      value.v);
}

Value value_from_json(const json& item, std::int64_t now_ns) {
  return value_at(item, now_ns, 0);
}

::AXError SimElement::copy_attribute_value(const std::string& attribute, CFTypeRef* value) const {
  return desktop().copy_attribute_value(*this, attribute, value);
}

::AXError SimElement::set_attribute_value(const std::string& attribute, CFTypeRef value) const {
  return desktop().set_attribute_value(*this, attribute, value);
}

::AXError SimElement::perform_action(const std::string& action) const {
  return desktop().perform_action(*this, action);
}

::AXError SimElement::get_pid(pid_t* pid) const {
  return desktop().get_pid(*this, pid);
}

bool SimElement::equals(const CFObject& other) const {
  const auto* element = dynamic_cast<const SimElement*>(&other);
  return element != nullptr && element->node_ == node_ && element->pid_ == pid_;
}

CFHashCode SimElement::hash() const {
  return static_cast<CFHashCode>(node_ * 31 + static_cast<NodeId>(pid_));
}

AXUIElementRef make_element(NodeId node, pid_t pid) {
  return static_cast<AXUIElementRef>((new SimElement(node, pid))->ref());
}

}  // namespace pelorix::platform::sim
