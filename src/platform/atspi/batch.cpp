#include "platform/atspi/batch.h"

#include <atspi/atspi.h>
#include <dbus/dbus.h>

#include <array>
#include <cstring>
#include <mutex>
#include <string_view>

#include "platform/atspi/attributes.h"
#include "platform/atspi/bus.h"
#include "platform/atspi/cache_items.h"
#include "platform/atspi/children.h"
#include "platform/atspi/desktop.h"
#include "platform/atspi/element.h"
#include "platform/atspi/mapping.h"
#include "platform/atspi/requests.h"
#include "platform/atspi/values.h"
#include "platform/atspi/windows.h"

// libatspi's own constructor of an accessible from a reference in a reply: it reuses the
// object libatspi already has for that path, so the elements a batch hands out are the very
// ones live reads hand out. The public interface can only make one by asking the application.

namespace pelorix::platform::atspi {
namespace {

// A parent chain longer than this is a cycle.
constexpr int kMaxDepth = 256;

thread_local Batch* innermost = nullptr;

bool is_return(DBusMessage* reply, const char* signature) {
  return reply != nullptr && dbus_message_get_type(reply) == DBUS_MESSAGE_TYPE_METHOD_RETURN &&
         std::strcmp(dbus_message_get_signature(reply), signature) == 0;
}

bool read_u32(DBusMessage* reply, dbus_uint32_t* out) {
  return is_return(reply, "u") &&
         dbus_message_get_args(reply, nullptr, DBUS_TYPE_UINT32, out, DBUS_TYPE_INVALID) != 0;
}

bool read_states(DBusMessage* reply, std::vector<std::uint32_t>* out) {
  if (!is_return(reply, "au")) return false;
  DBusMessageIter args;
  DBusMessageIter words;
  dbus_message_iter_init(reply, &args);
  dbus_message_iter_recurse(&args, &words);
  out->clear();
  while (dbus_message_iter_get_arg_type(&words) == DBUS_TYPE_UINT32) {
    dbus_uint32_t bits = 0;
    dbus_message_iter_get_basic(&words, &bits);
    if (out->size() < kMaxStateWords) out->push_back(bits);
    dbus_message_iter_next(&words);
  }
  return true;
}

// A property's reply: a variant holding a string.
bool read_property_string(DBusMessage* reply, std::string* out) {
  if (!is_return(reply, "v")) return false;
  DBusMessageIter args;
  DBusMessageIter value;
  dbus_message_iter_init(reply, &args);
  dbus_message_iter_recurse(&args, &value);
  if (dbus_message_iter_get_arg_type(&value) != DBUS_TYPE_STRING) return false;
  const char* text = nullptr;
  dbus_message_iter_get_basic(&value, &text);
  *out = text != nullptr ? text : "";
  return true;
}

bool read_extents(DBusMessage* reply, CGRect* out) {
  if (!is_return(reply, "(iiii)")) return false;
  DBusMessageIter args;
  DBusMessageIter field;
  dbus_message_iter_init(reply, &args);
  dbus_message_iter_recurse(&args, &field);
  std::array<dbus_int32_t, 4> numbers{};
  for (dbus_int32_t& number : numbers) {
    dbus_message_iter_get_basic(&field, &number);
    dbus_message_iter_next(&field);
  }
  *out = CGRect{{static_cast<double>(numbers[0]), static_cast<double>(numbers[1])},
                {static_cast<double>(numbers[2]), static_cast<double>(numbers[3])}};
  return true;
}

bool read_children(DBusMessage* reply, std::vector<std::string>* out) {
  if (!is_return(reply, "a(so)")) return false;
  DBusMessageIter args;
  DBusMessageIter items;
  dbus_message_iter_init(reply, &args);
  dbus_message_iter_recurse(&args, &items);
  out->clear();
  while (dbus_message_iter_get_arg_type(&items) == DBUS_TYPE_STRUCT) {
    DBusMessageIter field;
    dbus_message_iter_recurse(&items, &field);
    dbus_message_iter_next(&field);
    const char* path = nullptr;
    dbus_message_iter_get_basic(&field, &path);
    out->emplace_back(path != nullptr ? path : "");
    dbus_message_iter_next(&items);
  }
  return true;
}

bool has_state(const std::vector<std::uint32_t>& words, unsigned state) {
  std::size_t word = state / 32;
  return word < words.size() && (words[word] & (1U << (state % 32))) != 0;
}

// Where the X window of the toplevel holding `accessible` is (`is_toplevel`: it is that
// toplevel), found live.
std::optional<std::pair<double, double>> origin_of(AtspiAccessible* accessible, pid_t pid,
                                                   bool is_toplevel) {
  Owned<AtspiAccessible> top(is_toplevel ? static_cast<AtspiAccessible*>(g_object_ref(accessible))
                                         : toplevel_of(accessible).release());
  if (!top) return std::nullopt;
  auto window = x_window_of(top.get(), pid);
  if (!window) return std::nullopt;
  return std::pair<double, double>(window->x, window->y);
}

bool is_gtk3(AtspiAccessible* accessible) {
  AtspiApplication* app = accessible->parent.app;
  if (app == nullptr || app->toolkit_name == nullptr || app->toolkit_version == nullptr)
    return false;
  return g_ascii_strcasecmp(app->toolkit_name, "gtk") == 0 &&
         std::strncmp(app->toolkit_version, "3.", 2) == 0;
}

}  // namespace

struct Batch::Node {
  std::string path;
  std::string parent;  // empty: not known in this scope
  AtspiAccessible* accessible = nullptr;
  bool handed_out = false;
  std::array<Have, static_cast<std::size_t>(Field::Count)> have{};
  dbus_uint32_t role = 0;
  std::vector<std::uint32_t> states;
  std::string name;
  std::string identifier;
  std::string identifier_error;  // the D-Bus error the identifier was answered with
  ::AXError identifier_status = kAXErrorSuccess;
  bool has_component = true;
  CGRect extents{};
  std::vector<std::string> children;

  Have& operator[](Field field) { return have[static_cast<std::size_t>(field)]; }
};

std::unique_ptr<Batch> Batch::open(AtspiAccessible* root, pid_t pid) {
  const AtspiObject& object = root->parent;
  if (object.app == nullptr || object.app->bus == nullptr || object.app->bus_name == nullptr ||
      object.path == nullptr)
    return nullptr;
  return std::unique_ptr<Batch>(new Batch(root, pid));
}

Batch::Batch(AtspiAccessible* root, pid_t pid)
    : peer_{root->parent.app->bus, root->parent.app->bus_name},
      bus_name_(root->parent.app->bus_name),
      pid_(pid),
      window_relative_(window_relative(root)) {
  outer_ = innermost;
  innermost = this;
  std::string path = root->parent.path;
  Node& node = add(path, path == kApplicationPath ? "" : std::string());
  node.accessible = static_cast<AtspiAccessible*>(g_object_ref(root));
  node.handed_out = true;
  bool gtk3 = is_gtk3(root);
  if (!gtk3 && reads_children_by_collection(root)) {
    // The live read learns on its first children read whether the application has Collection
    // (GTK 4 and Qt 5 do not); the batch must leave the same children out as it does.
    std::vector<Owned<AtspiAccessible>> learnt;
    if (read_children(root, &learnt) == kAXErrorCannotComplete) stalled_ = true;
  }
  by_collection_ = reads_children_by_collection(root);
  if (gtk3 && !stalled_) from_snapshot_ = snapshot();
}

Batch::~Batch() {
  std::lock_guard<std::recursive_mutex> guard(desktop().mutex());
  innermost = outer_;
  for (Node* node : order_)
    if (node->accessible != nullptr) g_object_unref(node->accessible);
}

Batch* Batch::current() {
  return innermost;
}

Batch::Node& Batch::add(const std::string& path, const std::string& parent) {
  auto [at, added] = nodes_.try_emplace(path);
  if (added) {
    at->second = std::make_unique<Node>();
    at->second->path = path;
    order_.push_back(at->second.get());
  }
  if (at->second->parent.empty()) at->second->parent = parent;
  return *at->second;
}

Batch::Node* Batch::node_of(AtspiAccessible* accessible) {
  const AtspiObject& object = accessible->parent;
  if (object.app == nullptr || object.app->bus_name == nullptr || object.path == nullptr ||
      bus_name_ != object.app->bus_name)
    return nullptr;
  auto at = nodes_.find(object.path);
  return at != nodes_.end() ? at->second.get() : nullptr;
}

bool Batch::snapshot() {
  std::optional<std::vector<CacheItem>> items;
  bool answered = run_pipelined(peer_, {{Request::Kind::CacheItems, ""}}, kCallTimeoutMs,
                                [&](std::size_t, DBusMessage* reply) {
                                  if (reply != nullptr) items = parse_cache_items(reply);
                                });
  // An application may leave this one request unanswered and still answer the rest (a bridge
  // that hangs building its description): the scope goes on level by level, and a stopped
  // application shows itself there, at the cost of a second time-out.
  if (!answered || !items) return false;
  std::map<std::string, const CacheItem*> alive;
  for (const CacheItem& item : *items)
    if (!item.has_state(ATSPI_STATE_DEFUNCT)) alive.emplace(item.path, &item);
  // Each parent's children by their index; a parent whose count disagrees with what was
  // placed, or two of whose children claim one place, is asked for its children instead.
  std::map<std::string, std::vector<std::string>> slots;
  std::map<std::string, bool> mismatched;
  for (const auto& [path, item] : alive) {
    Node& node = add(path, item->parent_path);
    node.role = item->role;
    node.states = item->states;
    node.name = item->name;
    node.has_component = item->has_component;
    node[Field::Role] = Have::Read;
    node[Field::Name] = Have::Read;
    if (item->index_in_parent < 0) continue;
    auto parent = alive.find(item->parent_path);
    if (parent == alive.end()) continue;
    auto count = parent->second->child_count;
    auto index = static_cast<std::size_t>(item->index_in_parent);
    std::vector<std::string>& places = slots[item->parent_path];
    if (count < 0 || index >= static_cast<std::size_t>(count) ||
        static_cast<std::size_t>(count) > alive.size()) {
      mismatched[item->parent_path] = true;
      continue;
    }
    places.resize(static_cast<std::size_t>(count));
    if (!places[index].empty()) mismatched[item->parent_path] = true;
    places[index] = path;
  }
  for (const auto& [path, item] : alive) {
    if (item->child_count < 0 || mismatched[path]) continue;
    std::vector<std::string>& places = slots[path];
    if (places.size() != static_cast<std::size_t>(item->child_count)) continue;
    bool full = true;
    for (const std::string& child : places) full = full && !child.empty();
    if (!full) continue;
    Node& node = *nodes_[path];
    node.children = std::move(places);
    node[Field::Children] = Have::Read;
  }
  return true;
}

bool Batch::wanted(const Node& node) const {
  if (node.handed_out) return true;
  // The children of what was handed out are read next (or filtered now).
  if (auto parent = nodes_.find(node.parent); parent != nodes_.end() && parent->second->handed_out)
    return true;
  if (!from_snapshot_) return false;
  // In a snapshot, what lies below a handed-out element is what the call reads next.
  const Node* at = &node;
  for (int depth = 0; depth < kMaxDepth && !at->parent.empty(); ++depth) {
    auto parent = nodes_.find(at->parent);
    if (parent == nodes_.end()) return false;
    at = parent->second.get();
    if (at->handed_out) return true;
  }
  return false;
}

void Batch::sweep(Field field) {
  std::vector<Node*> nodes;
  for (Node* node : order_) {
    if ((*node)[field] != Have::Unread || !wanted(*node)) continue;
    // The application object has no Component (Qt answers all the same, GTK 3 complains): the
    // live read knows what to make of it, and of the elements a snapshot says have none.
    if (field == Field::Extents && (node->path == kApplicationPath || !node->has_component)) {
      (*node)[field] = Have::Live;
      continue;
    }
    nodes.push_back(node);
  }
  if (nodes.empty()) return;
  std::vector<Request> requests;
  requests.reserve(nodes.size() * (field == Field::Role ? 2 : 1));
  for (Node* node : nodes) {
    switch (field) {
      case Field::Role:
        requests.push_back({Request::Kind::GetRole, node->path});
        requests.push_back({Request::Kind::GetState, node->path});
        break;
      case Field::Name:
        requests.push_back({Request::Kind::Name, node->path});
        break;
      case Field::Identifier:
        requests.push_back({Request::Kind::AccessibleId, node->path});
        break;
      case Field::Extents:
        requests.push_back({Request::Kind::ScreenExtents, node->path});
        break;
      case Field::Children:
      case Field::Count:
        requests.push_back({Request::Kind::GetChildren, node->path});
        break;
    }
  }
  std::size_t per_node = requests.size() / nodes.size();
  bool answered =
      run_pipelined(peer_, requests, kCallTimeoutMs, [&](std::size_t index, DBusMessage* reply) {
        Node& node = *nodes[index / per_node];
        Have& have = node[field];
        if (reply == nullptr) {
          have = Have::Failed;
          return;
        }
        // Anything but a plain answer (an error, a defunct element, another type) is left to the
        // live read, which tells exactly what it means.
        bool read = false;
        switch (field) {
          case Field::Role:
            if (index % 2 == 0) {
              read = read_u32(reply, &node.role);
              if (!read) have = Have::Live;
              return;
            }
            // The states travel with the role: a role that went unanswered or needs the live
            // read leaves them to it as well.
            if (have == Have::Live || have == Have::Failed) return;
            read = read_states(reply, &node.states) && !has_state(node.states, ATSPI_STATE_DEFUNCT);
            break;
          case Field::Name:
            read = read_property_string(reply, &node.name);
            break;
          case Field::Identifier:
            read = read_property_string(reply, &node.identifier);
            // Toolkits without identifiers (Qt 5) answer every element with the same error;
            // what the live read makes of it is learnt once (below) and holds for all.
            if (!read && dbus_message_get_type(reply) == DBUS_MESSAGE_TYPE_ERROR) {
              const char* error = dbus_message_get_error_name(reply);
              node.identifier_error = error != nullptr ? error : "";
              read = true;
            }
            break;
          case Field::Extents:
            read = read_extents(reply, &node.extents);
            break;
          case Field::Children:
          case Field::Count:
            read = read_children(reply, &node.children);
            break;
        }
        have = read ? Have::Read : Have::Live;
      });
  if (!answered) stalled_ = true;
  if (field == Field::Identifier && !stalled_) learn_identifier_errors(nodes);
}

void Batch::learn_identifier_errors(const std::vector<Node*>& nodes) {
  std::map<std::string, std::optional<::AXError>> learnt;
  for (Node* node : nodes) {
    if ((*node)[Field::Identifier] != Have::Read || node->identifier_error.empty()) continue;
    auto [at, added] = learnt.try_emplace(node->identifier_error);
    if (added) {
      // Ask this one element live, as the live read does.
      AtspiAccessible* accessible = node->accessible != nullptr
                                        ? node->accessible
                                        : (node->accessible = accessible_at(node->path));
      if (accessible != nullptr) {
        CFTypeRef value = nullptr;
        at->second = read_identifier(accessible, &value);
        if (value != nullptr) CFRelease(value);
      }
    }
    if (!at->second || *at->second == kAXErrorSuccess) {
      (*node)[Field::Identifier] = Have::Live;
      continue;
    }
    node->identifier_status = *at->second;
  }
}

std::optional<std::pair<double, double>> Batch::window_origin(const Node& node) {
  // The topmost element of the chain known in this scope; below the application it is the
  // toplevel, else (a scope rooted inside a window) its toplevel is found live, once.
  const Node* top = &node;
  for (int depth = 0; depth < kMaxDepth && !top->parent.empty() && top->parent != kApplicationPath;
       ++depth) {
    auto parent = nodes_.find(top->parent);
    if (parent == nodes_.end()) break;
    top = parent->second.get();
  }
  auto [at, added] = origins_.try_emplace(top->path);
  if (added && top->accessible != nullptr)
    at->second = origin_of(top->accessible, pid_, top->parent == kApplicationPath);
  return at->second;
}

bool Batch::answer(AtspiAccessible* accessible, pid_t pid, const std::string& attribute,
                   CFTypeRef* value, ::AXError* status) {
  Field field = Field::Count;
  if (attribute == "AXRole")
    field = Field::Role;
  else if (attribute == "AXTitle")
    field = Field::Name;
  else if (attribute == "AXIdentifier")
    field = Field::Identifier;
  else if (attribute == "AXPosition" || attribute == "AXSize")
    field = Field::Extents;
  else if (attribute == "AXChildren")
    field = Field::Children;
  const AtspiObject& object = accessible->parent;
  bool ours =
      object.app != nullptr && object.app->bus_name != nullptr && bus_name_ == object.app->bus_name;
  if (stalled_ && ours) {
    // The application stopped answering within this call: one timeout was enough.
    *status = kAXErrorCannotComplete;
    return true;
  }
  if (field == Field::Count || pid != pid_) return false;
  Node* node = node_of(accessible);
  if (node == nullptr) return false;
  if ((*node)[field] == Have::Unread) sweep(field);
  if (stalled_) {
    *status = kAXErrorCannotComplete;
    return true;
  }
  if ((*node)[field] != Have::Read) return false;
  switch (field) {
    case Field::Role: {
      auto role = static_cast<AtspiRole>(node->role);
      std::string_view mapped = mapped_role(role, has_state(node->states, ATSPI_STATE_MULTI_LINE));
      if (mapped.empty()) {
        // Whatever sits directly below the application is one of its windows; where the
        // scope does not know the parent, the live read asks.
        if (node->parent.empty() && node->path != kApplicationPath) return false;
        mapped = node->parent == kApplicationPath ? "AXWindow"
                 : role_in(kGroupRoles, role)     ? "AXGroup"
                                                  : "AXUnknown";
      }
      *value = string_value(std::string(mapped));
      break;
    }
    case Field::Name:
      *value = string_value(node->name);
      break;
    case Field::Identifier:
      if (!node->identifier_error.empty()) {
        *status = node->identifier_status;
        return true;
      }
      if (node->identifier.empty()) {
        *status = kAXErrorNoValue;
        return true;
      }
      *value = string_value(node->identifier);
      break;
    case Field::Extents: {
      // A negative size is what a destroyed widget answers; the live read sorts it out.
      if (node->extents.size.width < 0 || node->extents.size.height < 0) return false;
      CGRect rect = node->extents;
      if (window_relative_) {
        if (auto origin = window_origin(*node)) {
          rect.origin.x += origin->first;
          rect.origin.y += origin->second;
        }
      }
      *value = attribute == "AXPosition" ? ax_value(kAXValueCGPointType, &rect.origin)
                                         : ax_value(kAXValueCGSizeType, &rect.size);
      break;
    }
    case Field::Children:
    case Field::Count: {
      std::vector<CFTypeRef> children = hand_out_children(*node);
      if (stalled_) {
        for (CFTypeRef child : children) CFRelease(child);
        *status = kAXErrorCannotComplete;
        return true;
      }
      *value = array_value(std::move(children));
      break;
    }
  }
  *status = kAXErrorSuccess;
  return true;
}

bool Batch::shown(Node& child) {
  bool visible = has_state(child.states, kShownState);
  if (child[Field::Role] == Have::Read)
    return by_collection_ ? visible : !is_hidden(static_cast<AtspiRole>(child.role), visible);
  // A child whose role or states the batch could not take (an error, a defunct element): what
  // the live read makes of it.
  if (child.accessible == nullptr) child.accessible = accessible_at(child.path);
  if (child.accessible == nullptr) return false;
  AtspiRole role = ATSPI_ROLE_INVALID;
  States states;
  ::AXError read = read_role_and_states(child.accessible, &role, &states);
  if (read == kAXErrorInvalidUIElement) return false;
  if (read != kAXErrorSuccess) return true;
  visible = states.has(kShownState);
  return by_collection_ ? visible : !is_hidden(role, visible);
}

std::vector<CFTypeRef> Batch::hand_out_children(Node& parent) {
  // Hidden children drop out, as in the live read: that takes each child's role and states,
  // asked for the whole next level at once.
  bool unread = false;
  for (const std::string& path : parent.children)
    unread = add(path, parent.path)[Field::Role] == Have::Unread || unread;
  if (unread) sweep(Field::Role);
  std::vector<CFTypeRef> children;
  if (stalled_) return children;
  for (const std::string& path : parent.children) {
    Node& child = *nodes_.at(path);
    if (!shown(child)) continue;
    child.handed_out = true;
    if (child.accessible == nullptr) child.accessible = accessible_at(path);
    if (child.accessible == nullptr) continue;
    children.push_back(
        make_element(static_cast<AtspiAccessible*>(g_object_ref(child.accessible)), pid_));
  }
  return children;
}

// Made by pelorix itself, never by libatspi from a message: libatspi would first ask the
// application for its whole tree and trust the answer (see bus.h).
AtspiAccessible* Batch::accessible_at(const std::string& path) {
  if (!dbus_validate_path(path.c_str(), nullptr)) return nullptr;
  return make_accessible(Reference{bus_name_, path});
}

}  // namespace pelorix::platform::atspi
