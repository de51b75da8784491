#include "platform/atspi/batch.h"

#include <atspi/atspi.h>
#include <dbus/dbus.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>
#include <string_view>
#include <tuple>

#include "platform/atspi/attributes.h"
#include "platform/atspi/bus.h"
#include "platform/atspi/cache_items.h"
#include "platform/atspi/children.h"
#include "platform/atspi/desktop.h"
#include "platform/atspi/element.h"
#include "platform/atspi/mapping.h"
#include "platform/atspi/outline.h"
#include "platform/atspi/requests.h"
#include "platform/atspi/shown_children.h"
#include "platform/atspi/values.h"
#include "platform/atspi/windows.h"
#include "platform/call_bounds.h"

// libatspi's own constructor of an accessible from a reference in a reply: it reuses the
// object libatspi already has for that path, so the elements a batch hands out are the very
// ones live reads hand out. The public interface can only make one by asking the application.

namespace pelorix::platform::atspi {
namespace {

// A parent chain longer than this is a cycle.
constexpr int kMaxDepth = 256;

thread_local Batch* innermost = nullptr;

bool read_u32(DBusMessage* reply, dbus_uint32_t* out) {
  return is_return(reply, "u") &&
         dbus_message_get_args(reply, nullptr, DBUS_TYPE_UINT32, out, DBUS_TYPE_INVALID) != 0;
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

// The name and identifier from every property of the Accessible ("a{sv}"); false when the
// reply is no such list. A property that is missing or no string is left as it was (`*got_*`).
bool read_name_and_identifier(DBusMessage* reply, std::string* name, bool* got_name,
                              std::string* identifier, bool* got_identifier) {
  if (!is_return(reply, "a{sv}")) return false;
  DBusMessageIter args;
  DBusMessageIter entries;
  dbus_message_iter_init(reply, &args);
  dbus_message_iter_recurse(&args, &entries);
  for (; dbus_message_iter_get_arg_type(&entries) == DBUS_TYPE_DICT_ENTRY;
       dbus_message_iter_next(&entries)) {
    DBusMessageIter entry;
    DBusMessageIter value;
    dbus_message_iter_recurse(&entries, &entry);
    const char* key = nullptr;
    dbus_message_iter_get_basic(&entry, &key);
    dbus_message_iter_next(&entry);
    dbus_message_iter_recurse(&entry, &value);
    if (key == nullptr || dbus_message_iter_get_arg_type(&value) != DBUS_TYPE_STRING) continue;
    const char* text = nullptr;
    dbus_message_iter_get_basic(&value, &text);
    if (std::strcmp(key, "Name") == 0) {
      *name = text != nullptr ? text : "";
      *got_name = true;
    } else if (std::strcmp(key, "AccessibleId") == 0) {
      *identifier = text != nullptr ? text : "";
      *got_identifier = true;
    }
  }
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

// The reference "(so)" at `field` when it names an element of the application `bus_name`:
// the null reference names none, and another application's element at the same path is not
// this application's (the live read leaves both out alike).
bool own_reference(DBusMessageIter* field, const std::string& bus_name, std::string* path) {
  const char* name = nullptr;
  const char* object = nullptr;
  dbus_message_iter_get_basic(field, &name);
  dbus_message_iter_next(field);
  dbus_message_iter_get_basic(field, &object);
  if (name == nullptr || object == nullptr || bus_name != name ||
      std::strcmp(object, kNullPath) == 0)
    return false;
  *path = object;
  return true;
}

Batch::Have read_children(DBusMessage* reply, const std::string& bus_name,
                          std::vector<std::string>* out) {
  if (!is_return(reply, "a(so)")) return Batch::Have::Live;
  DBusMessageIter args;
  DBusMessageIter items;
  dbus_message_iter_init(reply, &args);
  dbus_message_iter_recurse(&args, &items);
  out->clear();
  while (dbus_message_iter_get_arg_type(&items) == DBUS_TYPE_STRUCT) {
    DBusMessageIter field;
    dbus_message_iter_recurse(&items, &field);
    std::string path;
    if (own_reference(&field, bus_name, &path)) {
      if (out->size() == kMaxChildren) {
        out->clear();
        return Batch::Have::TooMany;
      }
      out->push_back(std::move(path));
    }
    dbus_message_iter_next(&items);
  }
  return Batch::Have::Read;
}

// Where the X window of the toplevel holding `accessible` is (`is_toplevel`: it is that
// toplevel), found live.
std::optional<std::pair<double, double>> origin_of(AtspiAccessible* accessible, pid_t pid,
                                                   bool is_toplevel) {
  Owned<AtspiAccessible> top(is_toplevel ? static_cast<AtspiAccessible*>(g_object_ref(accessible))
                                         : toplevel_of(accessible).release());
  if (!top) return std::nullopt;
  std::pair<int, int> size{0, 0};
  auto window = x_window_of(top.get(), pid, &size);
  if (!window) return std::nullopt;
  // Where the content starts inside the X window, as the live read finds it (windows.cpp): a
  // window with client-side decorations draws a border or shadow around its content.
  int left = 0, above = 0;
  if (window->content_inset) {
    std::tie(left, above) = *window->content_inset;
  } else {
    left = std::max(0, (window->width - size.first) / 2);
    above = std::max(0, (window->height - size.second) / 2);
  }
  return std::pair<double, double>(window->x + left, window->y + above);
}

// Whether the application is GTK of this major version ("3.", "4."), as libatspi learnt it.
bool is_gtk(AtspiAccessible* accessible, const char* major) {
  AtspiApplication* app = accessible->parent.app;
  if (app == nullptr || app->toolkit_name == nullptr || app->toolkit_version == nullptr)
    return false;
  return g_ascii_strcasecmp(app->toolkit_name, "gtk") == 0 &&
         std::strncmp(app->toolkit_version, major, std::strlen(major)) == 0;
}

// Whether the application's toolkit is `name` (as libatspi learnt it, case aside).
bool is_toolkit(AtspiAccessible* accessible, const char* name) {
  AtspiApplication* app = accessible->parent.app;
  return app != nullptr && app->toolkit_name != nullptr &&
         g_ascii_strcasecmp(app->toolkit_name, name) == 0;
}

// While the names asked were those of elements of at most this many roles, only elements of
// those roles have their names read in bulk: a query by role asks the names of the elements
// with the AT-SPI roles that map to it (AXCell: a web table's column headers and its cells), and
// every other element's name would be read for nothing. A query by title alone asks elements of
// every role, and reads all names after a few rounds.
constexpr std::size_t kMaxNameRoles = 3;

// One sweep sends at most this many requests: a level of any width is read in bounded rounds.
constexpr std::size_t kMaxSweep = 100'000;

// A browser's outline is read once the scope knows this many elements: a search that ends in
// the top levels (a window, the toolbar) does not wait for the page's.
constexpr std::size_t kOutlineAfter = 100;

// What the outline tells of the first elements whose children it tells is checked against their
// child counts: a bridge that lists in another order (breadth first, say) would otherwise have
// whole subtrees taken for leaves.
constexpr std::size_t kOutlineChecks = 16;

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
  bool in_items = false;  // described by the bulk reply
  CGRect extents{};
  std::vector<std::string> children;
  dbus_int32_t child_count = -1;  // -1: not known (or no count)
  std::optional<Span> span;       // its share of the outline

  Have& operator[](Field field) { return have[static_cast<std::size_t>(field)]; }
  Have operator[](Field field) const { return have[static_cast<std::size_t>(field)]; }
};

Batch::Current::Current(Batch* batch) : outer_(innermost) {
  innermost = batch;
}

Batch::Current::~Current() {
  innermost = outer_;
}

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
  std::string path = root->parent.path;
  Node& node = add(path, path == kApplicationPath ? "" : std::string());
  node.accessible = static_cast<AtspiAccessible*>(g_object_ref(root));
  node.handed_out = true;
  bool gtk3 = is_gtk(root, "3.");
  if (!gtk3 && reads_children_by_collection(root)) {
    // The live read learns on its first children read whether the application has Collection
    // (GTK 4 and Qt 5 do not); the batch must leave the same children out as it does.
    std::vector<Owned<AtspiAccessible>> learnt;
    if (read_children(root, &learnt) == kAXErrorCannotComplete) stalled_ = true;
  }
  by_collection_ = reads_children_by_collection(root);
  gtk48_ = is_gtk(root, "4.8.");
  every_component_ = is_toolkit(root, "Chromium") || is_toolkit(root, "Gecko");
  if ((gtk3 || is_gtk(root, "4.")) && !stalled_) from_snapshot_ = snapshot();
  outline_wanted_ = every_component_ && by_collection_ && !from_snapshot_;
}

Batch::~Batch() {
  std::lock_guard<std::recursive_mutex> guard(desktop().mutex());
  for (Node* node : order_)
    if (node->accessible != nullptr) g_object_unref(node->accessible);
}

Batch* Batch::current() {
  return innermost;
}

void Batch::limit_to(Instant deadline) {
  deadline_ = deadline;
}

void Batch::geometry_presence_only() {
  presence_only_ = true;
}

bool Batch::out_of_time() const {
  // Ctrl-C ends the bulk reading too, not only the live requests after it.
  return (deadline_ && platform::now() >= *deadline_) || platform::call_stopped();
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
  // Each parent's children as (index, path), as many as the reply places under it: memory in
  // proportion to the reply, whatever counts it claims. A parent's children are taken only
  // when they fill its count exactly, each index once; a parent with a child that is defunct,
  // has no index (an internal child) or claims a taken place is asked for its children instead,
  // as is one whose count disagrees with what was placed (children not yet registered, hidden
  // children sharing a place with shown ones).
  std::map<std::string, std::vector<std::pair<std::int32_t, std::string>>> placed;
  std::set<std::string> mismatched;
  for (const CacheItem& item : *items) {
    if (!alive.contains(item.parent_path)) continue;
    if (item.index_in_parent < 0 || item.has_state(ATSPI_STATE_DEFUNCT)) {
      mismatched.insert(item.parent_path);
      continue;
    }
    placed[item.parent_path].emplace_back(item.index_in_parent, item.path);
  }
  for (const auto& [path, item] : alive) {
    Node& node = add(path, item->parent_path);
    node.role = item->role;
    node.states = item->states;
    node.name = item->name;
    node.has_component = item->has_component;
    node.child_count = item->child_count;
    node.in_items = true;
    node[Field::Role] = Have::Read;
    node[Field::Name] = Have::Read;
  }
  for (auto& [path, children] : placed) {
    const CacheItem& parent = *alive.at(path);
    if (mismatched.contains(path) || parent.child_count < 0 ||
        children.size() != static_cast<std::size_t>(parent.child_count))
      continue;
    std::sort(children.begin(), children.end());
    bool exact = true;
    for (std::size_t i = 0; i < children.size() && exact; ++i)
      exact = children[i].first == static_cast<std::int32_t>(i) && children[i].second != path &&
              alive.contains(children[i].second);
    if (!exact) continue;
    Node& node = *nodes_.at(path);
    node.children.clear();
    node.children.reserve(children.size());
    for (auto& child : children) node.children.push_back(std::move(child.second));
    node[Field::Children] = Have::Read;
  }
  // A parent with no children placed under it and a count of none has none.
  // (Not the application object: GTK 4 counts none for it whatever windows it has.)
  for (const auto& [path, item] : alive)
    if (item->child_count == 0 && path != kApplicationPath && !placed.contains(path) &&
        !mismatched.contains(path))
      (*nodes_.at(path))[Field::Children] = Have::Read;
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

bool Batch::extents_known(const Node& node) const {
  if (!presence_only_ || node.path == kApplicationPath) return false;
  if (every_component_)
    return node[Field::Role] == Have::Read && !has_state(node.states, ATSPI_STATE_DEFUNCT);
  return gtk48_ && node.in_items && node.has_component;
}

bool Batch::name_wanted(const Node& node) const {
  if (names_of_any_role_ || name_roles_.size() > kMaxNameRoles) return true;
  return node[Field::Role] == Have::Read && name_roles_.contains(node.role);
}

void Batch::sweep(Field field, Node* first) {
  if (out_of_time()) {
    stalled_ = true;
    return;
  }
  if (field == Field::Name) {
    if (first != nullptr && (*first)[Field::Role] == Have::Read)
      name_roles_.insert(first->role);
    else
      names_of_any_role_ = true;
  }
  // Before the first sweep that reads many: the roles and states of a level as well as its
  // children.
  if (outline_wanted_ && !outline_tried_ && order_.size() >= kOutlineAfter &&
      (field == Field::Role || field == Field::Children || field == Field::Count))
    read_outline();
  std::vector<Node*> nodes;
  if (first != nullptr) nodes.push_back(first);
  for (Node* node : order_) {
    if (node == first || (*node)[field] != Have::Unread || !wanted(*node)) continue;
    // Outside a snapshot, a level's children are read once the whole level is handed out: the
    // elements only known as children are the next level, read when it is handed out.
    if (field == Field::Children && !from_snapshot_ && !node->handed_out) continue;
    if (field == Field::Name && !name_wanted(*node)) continue;
    if (field == Field::Extents && extents_known(*node)) continue;
    // The application object has no Component (Qt answers all the same, GTK 3 complains): the
    // live read knows what to make of it, and of the elements a snapshot says have none.
    if (field == Field::Extents && (node->path == kApplicationPath || !node->has_component)) {
      (*node)[field] = Have::Live;
      continue;
    }
    nodes.push_back(node);
    if (nodes.size() == kMaxSweep) break;
  }
  if (field == Field::Extents && first != nullptr &&
      (first->path == kApplicationPath || !first->has_component)) {
    (*first)[field] = Have::Live;
    nodes.erase(nodes.begin());
  }
  if (nodes.empty()) return;
  if (field == Field::Children || field == Field::Count) {
    take_children_from_outline(&nodes);
    if (stalled_) return;
    leave_large_to_live_read(&nodes);
    if (stalled_ || nodes.empty()) return;
  }
  if ((field == Field::Children || field == Field::Count) && !by_collection_) {
    read_children_by_index(nodes);
  } else {
    std::vector<Request> requests;
    std::vector<Node*> asked;  // one per request
    requests.reserve(nodes.size() * (field == Field::Role ? 2 : 1));
    // The fingerprint reads every element's name and identifier: a browser (never Qt, which
    // crashes on it) gives both in one reply.
    bool both =
        presence_only_ && every_component_ && (field == Field::Name || field == Field::Identifier);
    for (Node* node : nodes) {
      if (both) {
        requests.push_back({Request::Kind::Properties, node->path});
        asked.push_back(node);
        continue;
      }
      switch (field) {
        case Field::Role:
          requests.push_back({Request::Kind::GetRole, node->path});
          if (!states_from_outline(*node)) {
            asked.push_back(node);
            requests.push_back({Request::Kind::GetState, node->path});
          }
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
      asked.push_back(node);
    }
    bool answered =
        run_pipelined(peer_, requests, kCallTimeoutMs, [&](std::size_t index, DBusMessage* reply) {
          Node& node = *asked[index];
          Have& have = node[field];
          if (reply == nullptr) {
            have = Have::Failed;
            return;
          }
          // Anything but a plain answer (an error, a defunct element, another type) is left to
          // the live read, which tells exactly what it means.
          bool read = false;
          if (both) {
            bool got_name = false;
            bool got_identifier = false;
            std::string name;
            std::string identifier;
            read = read_name_and_identifier(reply, &name, &got_name, &identifier, &got_identifier);
            if (got_name && node[Field::Name] == Have::Unread) {
              node.name = std::move(name);
              node[Field::Name] = Have::Read;
            }
            if (got_identifier && node[Field::Identifier] == Have::Unread) {
              node.identifier = std::move(identifier);
              node[Field::Identifier] = Have::Read;
            }
            if (have == Have::Unread) have = Have::Live;
            return;
          }
          switch (field) {
            case Field::Role:
              if (requests[index].kind == Request::Kind::GetRole) {
                read = read_u32(reply, &node.role);
                if (!read) {
                  have = Have::Live;
                } else if (index + 1 == requests.size() ||
                           requests[index + 1].kind != Request::Kind::GetState) {
                  // Its states are known from the outline: shown or not, and nothing else the
                  // reading looks at.
                  node.states.assign(kMaxStateWords, 0);
                  if (outline_->shown(node.path))
                    node.states[kShownState / 32] |= 1U << (kShownState % 32);
                  have = Have::Read;
                }
                return;
              }
              // The states travel with the role: a role that went unanswered or needs the live
              // read leaves them to it as well.
              if (have == Have::Live || have == Have::Failed) return;
              read =
                  read_states(reply, &node.states) && !has_state(node.states, ATSPI_STATE_DEFUNCT);
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
              have = read_children(reply, bus_name_, &node.children);
              return;
          }
          have = read ? Have::Read : Have::Live;
        });
    if (!answered) stalled_ = true;
  }
  if (stalled_) return;
  if (field == Field::Identifier) learn_identifier_errors(nodes);
  // The children just read are the next level: known now, so that their roles are asked all
  // at once when the first of them is handed out.
  if (field == Field::Children || field == Field::Count)
    for (Node* node : nodes)
      if ((*node)[Field::Children] == Have::Read) {
        for (const std::string& child : node->children) add(child, node->path);
        place_children(*node);
      }
}

void Batch::read_outline() {
  outline_tried_ = true;
  if (out_of_time()) return;
  Node& root = *order_.front();
  auto outline = std::make_unique<Outline>();
  const std::array<OutlinePart, 3> parts{OutlinePart::Everything, OutlinePart::NotShown,
                                         OutlinePart::StatesToAsk};
  std::vector<Request> requests;
  for (OutlinePart part : parts)
    requests.push_back({Request::Kind::Outline, root.path, static_cast<std::int32_t>(part)});
  bool listed = false;
  // Unanswered in time (a browser busy with a large page) is no outline: the levels are read
  // as without one, and an application that stopped shows itself there.
  run_pipelined(peer_, requests, kCallTimeoutMs, [&](std::size_t index, DBusMessage* reply) {
    bool took = outline->take(parts[index], reply, bus_name_);
    if (index == 0) listed = took;
  });
  if (!listed || !outline->usable()) return;
  outline_ = std::move(outline);
  root.span = outline_->root();
  // What the scope read before: parents come before their children in `order_`.
  for (Node* node : order_)
    if (node->span && (*node)[Field::Children] == Have::Read) place_children(*node);
}

void Batch::place_children(Node& parent) {
  if (!outline_ || !parent.span) return;
  std::vector<std::optional<Span>> spans = outline_->place(*parent.span, parent.children);
  for (std::size_t i = 0; i < spans.size(); ++i)
    if (spans[i]) nodes_.at(parent.children[i])->span = spans[i];
}

void Batch::take_children_from_outline(std::vector<Node*>* nodes) {
  if (!outline_ || !outline_->usable()) return;
  std::vector<Node*> rest;
  std::vector<std::pair<Node*, std::optional<std::string>>> told;  // (node, its only child)
  for (Node* node : *nodes) {
    // An element that manages its descendants is read with those on screen, whatever the
    // outline lists below it.
    if (!node->span || (*node)[Field::Role] != Have::Read ||
        has_state(node->states, ATSPI_STATE_MANAGES_DESCENDANTS)) {
      rest.push_back(node);
      continue;
    }
    std::optional<std::string> only = outline_->only_child(*node->span);
    if (!node->span->leaf() && !only) {
      rest.push_back(node);
      continue;
    }
    told.emplace_back(node, std::move(only));
  }
  if (!told.empty() && outline_checks_ < kOutlineChecks) {
    std::vector<Request> requests;
    for (std::size_t i = 0; i < told.size() && outline_checks_ + i < kOutlineChecks; ++i)
      requests.push_back({Request::Kind::ChildCount, told[i].first->path});
    outline_checks_ += requests.size();
    bool agrees = true;
    bool answered =
        run_pipelined(peer_, requests, kCallTimeoutMs, [&](std::size_t index, DBusMessage* reply) {
          dbus_int32_t count = -1;
          if (!read_child_count(reply, &count) || count != (told[index].second ? 1 : 0))
            agrees = false;
        });
    if (!answered) {
      stalled_ = true;
      return;
    }
    if (!agrees) {
      outline_->distrust();
      return;  // all of `nodes` are read as without an outline
    }
  }
  for (auto& [node, only] : told) {
    node->children.clear();
    if (only) node->children.push_back(std::move(*only));
    node->child_count = static_cast<dbus_int32_t>(node->children.size());
    (*node)[Field::Children] = Have::Read;
    for (const std::string& child : node->children) add(child, node->path);
    place_children(*node);
  }
  *nodes = std::move(rest);
}

bool Batch::states_from_outline(const Node& node) const {
  return outline_ && outline_->knows_states_of(node.path);
}

void Batch::leave_large_to_live_read(std::vector<Node*>* nodes) {
  // What the scope does not know yet, asked for the whole level at once: the count of each
  // element whose count no snapshot told (read one index at a time, every count is asked live:
  // GTK 4 counts no children of its application object in the snapshot), the states of each
  // whose states are not read.
  std::vector<Request> requests;
  std::vector<std::pair<Node*, bool>> asked;  // (node, whether the request is its states)
  std::map<Node*, std::vector<std::uint32_t>> states;
  for (Node* node : *nodes) {
    // With Collection the count only tells whether the element is too large to list: no more
    // children than the outline lists below it is small enough.
    const Span* span = node->span && outline_ && outline_->usable() ? &*node->span : nullptr;
    if (by_collection_ && span != nullptr && span->end_known &&
        static_cast<std::size_t>(span->end - span->at) <= kMaxChildren) {
      node->child_count = span->end - span->at;
    } else if (!node->in_items || !by_collection_) {
      node->child_count = -1;
      requests.push_back({Request::Kind::ChildCount, node->path});
      asked.emplace_back(node, false);
    }
    if ((*node)[Field::Role] != Have::Read) {
      requests.push_back({Request::Kind::GetState, node->path});
      asked.emplace_back(node, true);
    }
  }
  std::set<Node*> unanswered;
  std::set<Node*> uncounted;
  if (!requests.empty()) {
    bool answered =
        run_pipelined(peer_, requests, kCallTimeoutMs, [&](std::size_t index, DBusMessage* reply) {
          auto [node, is_states] = asked[index];
          if (reply == nullptr) {
            unanswered.insert(node);
          } else if (is_states) {
            read_states(reply, &states[node]);
          } else if (!read_child_count(reply, &node->child_count)) {
            uncounted.insert(node);
          }
        });
    if (!answered) {
      stalled_ = true;
      return;
    }
  }
  std::vector<Node*> kept;
  for (Node* node : *nodes) {
    Have& have = (*node)[Field::Children];
    if (unanswered.contains(node)) {
      have = Have::Failed;
      continue;
    }
    const auto& words = (*node)[Field::Role] == Have::Read ? node->states : states[node];
    bool managed = has_state(words, ATSPI_STATE_MANAGES_DESCENDANTS);
    if (!lists_all_children(managed, node->child_count)) {
      have = Have::Live;
      continue;
    }
    if (!by_collection_) {
      // One index at a time needs the count; whatever is not one the live read sorts out, and
      // a negative count is no count (the live read refuses it as well).
      if (uncounted.contains(node)) {
        have = Have::Live;
        continue;
      }
      if (node->child_count < 0) {
        have = Have::TooMany;
        continue;
      }
    }
    kept.push_back(node);
  }
  *nodes = std::move(kept);
}

void Batch::read_children_by_index(const std::vector<Node*>& nodes) {
  // Every count is known (leave_large_to_live_read): every index of every parent in one round.
  for (Node* node : nodes) (*node)[Field::Children] = Have::Read;
  std::vector<Request> requests;
  std::vector<Node*> asked;  // one per request
  for (Node* node : nodes) {
    if ((*node)[Field::Children] != Have::Read) continue;
    node->children.clear();
    // A level holding more children than one sweep sends is read in several.
    if (requests.size() + static_cast<std::size_t>(node->child_count) > kMaxSweep &&
        !requests.empty()) {
      (*node)[Field::Children] = Have::Unread;
      continue;
    }
    for (dbus_int32_t i = 0; i < node->child_count; ++i) {
      requests.push_back({Request::Kind::ChildAtIndex, node->path, i});
      asked.push_back(node);
    }
  }
  if (requests.empty()) return;
  bool answered =
      run_pipelined(peer_, requests, kCallTimeoutMs, [&](std::size_t index, DBusMessage* reply) {
        Node& node = *asked[index];
        Have& have = node[Field::Children];
        if (have != Have::Read) return;
        if (reply == nullptr) {
          have = Have::Failed;
          return;
        }
        // Whatever is not a reference is no child, as in the live read; anything but a reply
        // (an error: the element went away between the count and the index) leaves the whole
        // read to it.
        if (dbus_message_get_type(reply) != DBUS_MESSAGE_TYPE_METHOD_RETURN) {
          have = Have::Live;
          return;
        }
        if (!is_return(reply, "(so)")) return;
        DBusMessageIter args;
        DBusMessageIter field;
        dbus_message_iter_init(reply, &args);
        dbus_message_iter_recurse(&args, &field);
        std::string path;
        if (own_reference(&field, bus_name_, &path)) node.children.push_back(std::move(path));
      });
  if (!answered) stalled_ = true;
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
  if (ours && !stalled_ && out_of_time()) stalled_ = true;
  if (stalled_ && ours) {
    // The application stopped answering within this call: one timeout was enough.
    *status = kAXErrorCannotComplete;
    return true;
  }
  if (field == Field::Count || pid != pid_) return false;
  Node* node = node_of(accessible);
  if (node == nullptr) return false;
  if (gtk48_ && node->in_items && field == Field::Identifier) {
    *status = kAXErrorNoValue;
    return true;
  }
  if (field == Field::Extents && extents_known(*node)) {
    CGPoint nowhere{0, 0};
    CGSize nothing{0, 0};
    *value = attribute == "AXPosition" ? ax_value(kAXValueCGPointType, &nowhere)
                                       : ax_value(kAXValueCGSizeType, &nothing);
    *status = kAXErrorSuccess;
    return true;
  }
  if ((*node)[field] == Have::Unread) sweep(field, node);
  // Past the call's time limit, or with the application stopped, reads fail at once.
  if (stalled_ || (*node)[field] == Have::TooMany) {
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
  if (unread) sweep(Field::Role, nullptr);
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
