#include "platform/sim/desktop.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <thread>
#include <unordered_map>
#include <vector>

#include <nlohmann/json.hpp>

namespace pelorix::platform::sim {
namespace {

using nlohmann::json;

constexpr int kMaxRequestDepth = 1000;

struct CommandError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

[[noreturn]] void fail(const std::string& what) {
  throw CommandError(what);
}

std::string dump(const json& value) {
  // Texts from the harness are valid UTF-8, but a reply must never fail to print.
  return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

struct Node {
  NodeId id = 0;
  pid_t pid = 0;
  bool alive = true;
  NodeId parent = 0;
  std::vector<NodeId> children;
  std::map<std::string, Value> attrs;
  std::map<std::string, ::AXError> actions;
  std::map<std::string, ::AXError> writable;
  std::optional<::AXError> pid_status;
};

// One node of a described tree, flattened in pre-order; `parent` indexes the same list (or is -1).
struct NodePlan {
  std::ptrdiff_t parent = -1;
  std::map<std::string, Value> attrs;
  std::map<std::string, ::AXError> actions;
  std::map<std::string, ::AXError> writable;
  std::optional<::AXError> pid_status;
};

struct Schedule {
  std::uint64_t id;
  std::int64_t due_ns;
  std::int64_t every_ns;   // 0: once
  std::int64_t remaining;  // -1: forever
  json command;
};

// --- Reading command fields ---------------------------------------------------------------

const json& field(const json& command, const char* name) {
  auto found = command.find(name);
  if (found == command.end()) fail(std::string("missing \"") + name + "\"");
  return *found;
}

const json* optional_field(const json& command, const char* name) {
  auto found = command.find(name);
  return found == command.end() || found->is_null() ? nullptr : &*found;
}

std::int64_t integer(const json& item, const char* what, std::int64_t low, std::int64_t high) {
  bool fits = false;
  std::int64_t value = 0;
  if (item.is_number_unsigned()) {
    auto wide = item.get<std::uint64_t>();
    fits = high >= 0 && wide <= static_cast<std::uint64_t>(high);
    value = fits ? static_cast<std::int64_t>(wide) : 0;
    fits = fits && value >= low;
  } else if (item.is_number_integer()) {
    value = item.get<std::int64_t>();
    fits = value >= low && value <= high;
  } else {
    fail(std::string(what) + " must be an integer");
  }
  if (!fits)
    fail(std::string(what) + " must be from " + std::to_string(low) + " to " +
         std::to_string(high));
  return value;
}

bool boolean(const json& item, const char* what) {
  if (!item.is_boolean()) fail(std::string(what) + " must be true or false");
  return item.get<bool>();
}

const json& array_field(const json& command, const char* name) {
  const json& item = field(command, name);
  if (!item.is_array()) fail(std::string("\"") + name + "\" must be a list");
  return item;
}

NodeId node_id(const json& item) {
  return static_cast<NodeId>(integer(item, "a node id", 1, INT64_MAX));
}

pid_t pid_value(const json& item) {
  return static_cast<pid_t>(integer(item, "a pid", 1, INT32_MAX));
}

::AXError status_value(const json& item) {
  return static_cast<::AXError>(integer(item, "a status", INT32_MIN, INT32_MAX));
}

Value attribute_value(const json& item, std::int64_t now_ns) {
  try {
    return value_from_json(item, now_ns);
  } catch (const std::invalid_argument& e) {
    fail(e.what());
  }
}

std::map<std::string, Value> attribute_map(const json& attrs, std::int64_t now_ns) {
  if (!attrs.is_object()) fail("\"attrs\" must be an object");
  std::map<std::string, Value> out;
  for (const auto& [name, item] : attrs.items()) out[name] = attribute_value(item, now_ns);
  return out;
}

// Status maps where null takes the entry away.
std::map<std::string, std::optional<::AXError>> status_map(const json& statuses, const char* what) {
  if (!statuses.is_object()) fail(std::string("\"") + what + "\" must be an object");
  std::map<std::string, std::optional<::AXError>> out;
  for (const auto& [name, item] : statuses.items())
    out[name] = item.is_null() ? std::nullopt : std::optional<::AXError>(status_value(item));
  return out;
}

void expect_keys(const json& object, std::initializer_list<const char*> allowed,
                 const char* where) {
  for (const auto& [key, item] : object.items()) {
    bool known = false;
    for (const char* name : allowed) known = known || key == name;
    if (!known) fail("unexpected \"" + key + "\" in " + where);
  }
}

// A described tree, flattened without recursion so deep trees cost no stack.
std::vector<NodePlan> flatten_tree(const json& root, std::int64_t now_ns) {
  std::vector<NodePlan> out;
  std::vector<std::pair<const json*, std::ptrdiff_t>> pending{{&root, -1}};
  while (!pending.empty()) {
    auto [described, parent] = pending.back();
    pending.pop_back();
    if (!described->is_object()) fail("a tree node is an object");
    expect_keys(*described, {"attrs", "children", "actions", "writable", "pid_status"},
                "a tree node");
    NodePlan node;
    node.parent = parent;
    if (const json* attrs = optional_field(*described, "attrs"))
      node.attrs = attribute_map(*attrs, now_ns);
    if (const json* actions = optional_field(*described, "actions"))
      for (auto& [name, status] : status_map(*actions, "actions"))
        if (status) node.actions[name] = *status;
    if (const json* writable = optional_field(*described, "writable"))
      for (auto& [name, status] : status_map(*writable, "writable"))
        if (status) node.writable[name] = *status;
    if (const json* status = optional_field(*described, "pid_status"))
      node.pid_status = status_value(*status);
    auto index = static_cast<std::ptrdiff_t>(out.size());
    out.push_back(std::move(node));
    if (const json* children = optional_field(*described, "children")) {
      if (!children->is_array()) fail("\"children\" must be a list");
      for (auto child = children->rbegin(); child != children->rend(); ++child)
        pending.emplace_back(&*child, index);
    }
  }
  return out;
}

}  // namespace

namespace {

// The pointer event types by the names the log shows.
const char* pointer_event_name(CGEventType type) {
  switch (type) {
    case kCGEventMouseMoved:
      return "move";
    case kCGEventLeftMouseDown:
      return "left_down";
    case kCGEventLeftMouseUp:
      return "left_up";
    case kCGEventLeftMouseDragged:
      return "left_dragged";
    case kCGEventRightMouseDown:
      return "right_down";
    case kCGEventRightMouseUp:
      return "right_up";
    case kCGEventRightMouseDragged:
      return "right_dragged";
    case kCGEventOtherMouseDown:
      return "other_down";
    case kCGEventOtherMouseUp:
      return "other_up";
    case kCGEventOtherMouseDragged:
      return "other_dragged";
    case kCGEventScrollWheel:
      return "scroll";
    default:
      return "other";
  }
}

}  // namespace

struct SimulatedDesktop::State {
  explicit State(SimulatedDesktop* owner_desktop) : owner(owner_desktop) {}

  SimulatedDesktop* owner;
  // Survives resets: a proxy kept from an earlier test must never reach a new node.
  NodeId next_node = 1;

  std::unordered_map<NodeId, Node> nodes;
  std::map<pid_t, NodeId> apps;
  std::set<pid_t> failing_pids;

  bool trusted = true;
  bool fail_event_source = false;
  std::set<std::uint64_t> failing_keyboard_events;
  std::uint64_t keyboard_events = 0;
  std::set<std::uint64_t> failing_pointer_events;
  std::uint64_t pointer_events = 0;
  bool record_reads = true;

  std::vector<json> log;
  std::uint64_t next_seq = 1;
  std::vector<Schedule> schedules;
  std::uint64_t next_schedule = 1;

  void reset() {
    nodes.clear();
    apps.clear();
    failing_pids.clear();
    trusted = true;
    fail_event_source = false;
    failing_keyboard_events.clear();
    keyboard_events = 0;
    failing_pointer_events.clear();
    pointer_events = 0;
    record_reads = true;
    owner->delay_us_.store(0);
    log.clear();
    schedules.clear();
  }

  // --- The tree ---------------------------------------------------------------------------

  Node* live_node(NodeId id) {
    auto found = nodes.find(id);
    return found == nodes.end() || !found->second.alive ? nullptr : &found->second;
  }

  Node& existing(const json& command, const char* name = "node") {
    NodeId id = node_id(field(command, name));
    Node* node = live_node(id);
    if (node == nullptr)
      fail("node " + std::to_string(id) + (nodes.count(id) ? " was removed" : " does not exist"));
    return *node;
  }

  pid_t pid_of(NodeId id, pid_t fallback) const {
    auto found = nodes.find(id);
    return found == nodes.end() ? fallback : found->second.pid;
  }

  // Makes the nodes of a flattened tree; its root goes under `parent` at `index`, if any.
  json build(const std::vector<NodePlan>& plans, pid_t pid, std::optional<NodeId> parent,
             std::size_t index) {
    json ids = json::array();
    std::vector<NodeId> made;
    for (const NodePlan& plan : plans) {
      Node node;
      node.id = next_node++;
      node.pid = pid;
      node.attrs = plan.attrs;
      node.actions = plan.actions;
      node.writable = plan.writable;
      node.pid_status = plan.pid_status;
      if (plan.parent >= 0) {
        node.parent = made[static_cast<std::size_t>(plan.parent)];
        nodes.at(node.parent).children.push_back(node.id);
      } else if (parent) {
        node.parent = *parent;
      }
      made.push_back(node.id);
      ids.push_back(node.id);
      nodes.emplace(node.id, std::move(node));
    }
    if (parent) {
      auto& children = nodes.at(*parent).children;
      children.insert(children.begin() + static_cast<std::ptrdiff_t>(index), made.front());
    }
    return ids;
  }

  void detach(Node& node) {
    if (node.parent == 0) return;
    auto found = nodes.find(node.parent);
    if (found != nodes.end()) std::erase(found->second.children, node.id);
    node.parent = 0;
  }

  void kill_subtree(NodeId root) {
    std::vector<NodeId> pending{root};
    while (!pending.empty()) {
      NodeId id = pending.back();
      pending.pop_back();
      auto found = nodes.find(id);
      if (found == nodes.end() || !found->second.alive) continue;
      found->second.alive = false;
      pending.insert(pending.end(), found->second.children.begin(), found->second.children.end());
    }
  }

  bool is_app_root(NodeId id) const {
    return std::any_of(apps.begin(), apps.end(), [&](const auto& app) { return app.second == id; });
  }

  // --- Recording --------------------------------------------------------------------------

  json& record(const char* kind, std::optional<NodeId> node, std::optional<pid_t> pid,
               std::optional<std::string> name, json value, std::optional<::AXError> status) {
    json entry{{"seq", next_seq++},
               {"t_ns", monotonic_ns()},
               {"kind", kind},
               {"node", node ? json(*node) : json(nullptr)},
               {"pid", pid ? json(*pid) : json(nullptr)},
               {"name", name ? json(*name) : json(nullptr)},
               {"value", std::move(value)},
               {"status", status ? json(static_cast<int>(*status)) : json(nullptr)}};
    log.push_back(std::move(entry));
    return log.back();
  }

  // --- Scheduled changes ------------------------------------------------------------------

  void run_due(std::int64_t now_ns) {
    // Catching up applies every change that fell due, in order, as if each had happened on
    // time; the budget only bounds a very fast repeating change left alone for very long.
    int budget = 100000;
    while (!schedules.empty()) {
      auto next = std::min_element(
          schedules.begin(), schedules.end(), [](const Schedule& a, const Schedule& b) {
            return a.due_ns < b.due_ns || (a.due_ns == b.due_ns && a.id < b.id);
          });
      if (next->due_ns > now_ns) break;
      if (budget-- == 0) {
        for (Schedule& schedule : schedules)
          if (schedule.due_ns <= now_ns && schedule.every_ns > 0)
            schedule.due_ns +=
                ((now_ns - schedule.due_ns) / schedule.every_ns + 1) * schedule.every_ns;
        continue;
      }
      json command = next->command;
      std::int64_t due = next->due_ns;
      if (next->remaining > 0) --next->remaining;
      if (next->remaining == 0)
        schedules.erase(next);
      else
        next->due_ns += next->every_ns;
      std::string name = command["command"].get<std::string>();
      try {
        dispatch(command, due, true);
        record("change", std::nullopt, std::nullopt, name, command, kAXErrorSuccess);
      } catch (const std::exception& e) {
        record("change", std::nullopt, std::nullopt, name, command, std::nullopt)["error"] =
            e.what();
      }
    }
  }

  // --- Commands ---------------------------------------------------------------------------

  using Handler = json (State::*)(const json&, std::int64_t);
  struct CommandInfo {
    const char* name;
    Handler handler;
    bool schedulable;  // changes the desktop, so it may be applied later
    std::vector<const char*> keys;
  };

  static const std::vector<CommandInfo>& commands() {
    static const std::vector<CommandInfo> table = {
        {"use", &State::cmd_use, false, {}},
        {"release", &State::cmd_release, false, {}},
        {"reset", &State::cmd_reset, false, {}},
        {"set_trusted", &State::cmd_set_trusted, true, {"trusted"}},
        {"add_app", &State::cmd_add_app, true, {"pid", "tree"}},
        {"add_nodes", &State::cmd_add_nodes, true, {"parent", "nodes", "index"}},
        {"remove", &State::cmd_remove, true, {"node"}},
        {"set_attrs", &State::cmd_set_attrs, true, {"node", "attrs"}},
        {"unset_attrs", &State::cmd_unset_attrs, true, {"node", "names"}},
        {"set_actions", &State::cmd_set_actions, true, {"node", "actions"}},
        {"set_writable", &State::cmd_set_writable, true, {"node", "attrs"}},
        {"set_pid_status", &State::cmd_set_pid_status, true, {"node", "status"}},
        {"set_children", &State::cmd_set_children, true, {"node", "children", "link"}},
        {"fail_create_application", &State::cmd_fail_create_application, true, {"pid", "fail"}},
        {"settings",
         &State::cmd_settings,
         true,
         {"trusted", "delay_us", "fail_event_source", "fail_keyboard_events", "fail_pointer_events",
          "record_reads"}},
        {"schedule", &State::cmd_schedule, false, {"after_ms", "every_ms", "times", "change"}},
        {"unschedule", &State::cmd_unschedule, false, {"schedule"}},
        {"node", &State::cmd_node, false, {"node"}},
        {"log", &State::cmd_log, false, {"clear", "since"}},
        {"stats", &State::cmd_stats, false, {}},
    };
    return table;
  }

  static const CommandInfo& command_info(const json& command, bool scheduled) {
    if (!command.is_object()) fail("a command is a JSON object");
    const json& name = field(command, "command");
    if (!name.is_string()) fail("\"command\" must be a string");
    for (const CommandInfo& info : commands()) {
      if (name.get<std::string>() != info.name) continue;
      if (scheduled && !info.schedulable)
        fail("\"" + name.get<std::string>() + "\" cannot be scheduled");
      for (const auto& entry : command.items()) {
        const std::string& key = entry.key();
        if (key == "command") continue;
        if (std::find_if(info.keys.begin(), info.keys.end(),
                         [&](const char* k) { return key == k; }) == info.keys.end())
          fail("unexpected \"" + key + "\" in \"" + info.name + "\"");
      }
      return info;
    }
    fail("unknown command \"" + name.get<std::string>() + "\"");
  }

  json dispatch(const json& command, std::int64_t now_ns, bool scheduled) {
    const CommandInfo& info = command_info(command, scheduled);
    return (this->*info.handler)(command, now_ns);
  }

  json cmd_use(const json&, std::int64_t) {
    reset();
    select_backend(owner);
    return nullptr;
  }

  json cmd_release(const json&, std::int64_t) {
    if (&active_backend() == owner) select_backend(nullptr);
    return nullptr;
  }

  json cmd_reset(const json&, std::int64_t) {
    reset();
    return nullptr;
  }

  json cmd_set_trusted(const json& command, std::int64_t) {
    trusted = boolean(field(command, "trusted"), "\"trusted\"");
    return nullptr;
  }

  json cmd_add_app(const json& command, std::int64_t now_ns) {
    pid_t pid = pid_value(field(command, "pid"));
    auto previous = apps.find(pid);
    if (previous != apps.end() && live_node(previous->second) != nullptr)
      fail("pid " + std::to_string(pid) + " already has an application");
    const json* tree = optional_field(command, "tree");
    auto plans =
        tree != nullptr ? flatten_tree(*tree, now_ns) : flatten_tree(json::object(), now_ns);
    json ids = build(plans, pid, std::nullopt, 0);
    apps[pid] = ids.front().get<NodeId>();
    return ids;
  }

  json cmd_add_nodes(const json& command, std::int64_t now_ns) {
    Node& parent = existing(command, "parent");
    std::size_t index = parent.children.size();
    if (const json* at = optional_field(command, "index"))
      index = static_cast<std::size_t>(
          integer(*at, "\"index\"", 0, static_cast<std::int64_t>(parent.children.size())));
    std::vector<std::vector<NodePlan>> trees;
    for (const json& tree : array_field(command, "nodes"))
      trees.push_back(flatten_tree(tree, now_ns));
    json ids = json::array();
    NodeId parent_id = parent.id;
    pid_t pid = parent.pid;
    for (const auto& plans : trees) {
      for (const json& id : build(plans, pid, parent_id, index)) ids.push_back(id);
      ++index;
    }
    return ids;
  }

  json cmd_remove(const json& command, std::int64_t) {
    Node& node = existing(command);
    detach(node);
    kill_subtree(node.id);
    return nullptr;
  }

  json cmd_set_attrs(const json& command, std::int64_t now_ns) {
    Node& node = existing(command);
    for (auto& [name, value] : attribute_map(field(command, "attrs"), now_ns))
      node.attrs[name] = std::move(value);
    return nullptr;
  }

  json cmd_unset_attrs(const json& command, std::int64_t) {
    Node& node = existing(command);
    const json& names = array_field(command, "names");
    for (const json& name : names)
      if (!name.is_string()) fail("attribute names are strings");
    for (const json& name : names) node.attrs.erase(name.get<std::string>());
    return nullptr;
  }

  json set_statuses(const json& command, const char* key,
                    std::map<std::string, ::AXError> Node::*which) {
    Node& node = existing(command);
    for (auto& [name, status] : status_map(field(command, key), key)) {
      if (status)
        (node.*which)[name] = *status;
      else
        (node.*which).erase(name);
    }
    return nullptr;
  }

  json cmd_set_actions(const json& command, std::int64_t) {
    return set_statuses(command, "actions", &Node::actions);
  }

  json cmd_set_writable(const json& command, std::int64_t) {
    return set_statuses(command, "attrs", &Node::writable);
  }

  json cmd_set_pid_status(const json& command, std::int64_t) {
    Node& node = existing(command);
    const json* status = optional_field(command, "status");
    node.pid_status =
        status == nullptr ? std::nullopt : std::optional<::AXError>(status_value(*status));
    return nullptr;
  }

  // The listed nodes become the node's children in that order, moved from wherever they
  // were; former children left out are detached but stay alive, like views a window let go of
  // that still answer.
  //
  // With "link", the listed nodes are listed here as well and keep their own parent: a node may
  // then be listed under one of its own descendants (or under itself), which is the children
  // cycle some toolkits' trees have. Their AXParent stays what it was.
  json cmd_set_children(const json& command, std::int64_t) {
    Node& node = existing(command);
    bool link = false;
    if (const json* flag = optional_field(command, "link")) {
      if (!flag->is_boolean()) fail("\"link\" must be true or false");
      link = flag->get<bool>();
    }
    std::vector<NodeId> children;
    for (const json& item : array_field(command, "children")) {
      NodeId id = node_id(item);
      if (live_node(id) == nullptr) fail("node " + std::to_string(id) + " is not alive");
      if (std::find(children.begin(), children.end(), id) != children.end())
        fail("node " + std::to_string(id) + " is listed twice");
      if (!link) {
        if (is_app_root(id)) fail("an application root cannot become a child");
        for (NodeId up = node.id; up != 0; up = nodes.at(up).parent)
          if (up == id) fail("node " + std::to_string(id) + " would contain itself");
      }
      children.push_back(id);
    }
    for (NodeId old : std::vector<NodeId>(node.children))
      if (nodes.at(old).parent == node.id) nodes.at(old).parent = 0;
    node.children.clear();
    if (!link) {
      for (NodeId id : children) {
        detach(nodes.at(id));
        nodes.at(id).parent = node.id;
      }
    }
    node.children = std::move(children);
    return nullptr;
  }

  json cmd_fail_create_application(const json& command, std::int64_t) {
    pid_t pid = pid_value(field(command, "pid"));
    const json* flag = optional_field(command, "fail");
    if (flag == nullptr || boolean(*flag, "\"fail\""))
      failing_pids.insert(pid);
    else
      failing_pids.erase(pid);
    return nullptr;
  }

  json cmd_settings(const json& command, std::int64_t) {
    // Everything is checked before anything changes.
    const json* t = optional_field(command, "trusted");
    const json* d = optional_field(command, "delay_us");
    const json* e = optional_field(command, "fail_event_source");
    const json* k = optional_field(command, "fail_keyboard_events");
    const json* p = optional_field(command, "fail_pointer_events");
    const json* r = optional_field(command, "record_reads");
    std::optional<bool> new_trusted, new_fail_source, new_record_reads;
    std::optional<std::int64_t> new_delay;
    std::optional<std::set<std::uint64_t>> new_failing, new_failing_pointer;
    if (t) new_trusted = boolean(*t, "\"trusted\"");
    if (d) new_delay = integer(*d, "\"delay_us\"", 0, 60000000);
    if (e) new_fail_source = boolean(*e, "\"fail_event_source\"");
    if (r) new_record_reads = boolean(*r, "\"record_reads\"");
    auto indices = [](const json& list, const char* what) {
      if (!list.is_array()) fail(std::string(what) + " must be a list of indices");
      std::set<std::uint64_t> out;
      for (const json& index : list)
        out.insert(static_cast<std::uint64_t>(integer(index, "an event index", 0, INT64_MAX)));
      return out;
    };
    if (k) new_failing = indices(*k, "\"fail_keyboard_events\"");
    if (p) new_failing_pointer = indices(*p, "\"fail_pointer_events\"");
    if (new_trusted) trusted = *new_trusted;
    if (new_delay) owner->delay_us_.store(*new_delay);
    if (new_fail_source) fail_event_source = *new_fail_source;
    if (new_record_reads) record_reads = *new_record_reads;
    if (new_failing) {
      // Indices count the keyboard events made from now on.
      failing_keyboard_events = std::move(*new_failing);
      keyboard_events = 0;
    }
    if (new_failing_pointer) {
      failing_pointer_events = std::move(*new_failing_pointer);
      pointer_events = 0;
    }
    return {{"trusted", trusted},
            {"delay_us", owner->delay_us_.load()},
            {"fail_event_source", fail_event_source},
            {"fail_keyboard_events", failing_keyboard_events},
            {"fail_pointer_events", failing_pointer_events},
            {"record_reads", record_reads}};
  }

  json cmd_schedule(const json& command, std::int64_t now_ns) {
    std::int64_t after = integer(field(command, "after_ms"), "\"after_ms\"", 0, 86400000);
    const json* every_item = optional_field(command, "every_ms");
    const json* times_item = optional_field(command, "times");
    std::int64_t every = every_item ? integer(*every_item, "\"every_ms\"", 1, 86400000) : 0;
    std::int64_t times = times_item ? integer(*times_item, "\"times\"", 1, INT64_MAX) : 0;
    if (every == 0 && times > 1) fail("repeating a change needs \"every_ms\"");
    // The change is itself a command; it cannot sit under "command", which names this one.
    const json& inner = field(command, "change");
    command_info(inner, true);
    Schedule schedule{next_schedule++, now_ns + after * 1000000, every * 1000000,
                      every == 0 ? 1 : (times_item ? times : -1), inner};
    schedules.push_back(std::move(schedule));
    return schedules.back().id;
  }

  json cmd_unschedule(const json& command, std::int64_t) {
    auto id = static_cast<std::uint64_t>(
        integer(field(command, "schedule"), "\"schedule\"", 1, INT64_MAX));
    return std::erase_if(schedules, [&](const Schedule& s) { return s.id == id; }) > 0;
  }

  json cmd_node(const json& command, std::int64_t now_ns) {
    NodeId id = node_id(field(command, "node"));
    auto found = nodes.find(id);
    if (found == nodes.end()) fail("node " + std::to_string(id) + " does not exist");
    const Node& node = found->second;
    json attrs = json::object();
    for (const auto& [name, value] : node.attrs) attrs[name] = value_to_json(value, now_ns);
    json actions = json::object();
    for (const auto& [name, status] : node.actions) actions[name] = static_cast<int>(status);
    json writable = json::object();
    for (const auto& [name, status] : node.writable) writable[name] = static_cast<int>(status);
    return {
        {"id", node.id},
        {"pid", node.pid},
        {"alive", node.alive},
        {"parent", node.parent == 0 ? json(nullptr) : json(node.parent)},
        {"children", node.children},
        {"attrs", std::move(attrs)},
        {"actions", std::move(actions)},
        {"writable", std::move(writable)},
        {"pid_status", node.pid_status ? json(static_cast<int>(*node.pid_status)) : json(nullptr)}};
  }

  json cmd_log(const json& command, std::int64_t) {
    const json* clear = optional_field(command, "clear");
    const json* since = optional_field(command, "since");
    std::int64_t after = since ? integer(*since, "\"since\"", 0, INT64_MAX) : 0;
    bool clearing = clear != nullptr && boolean(*clear, "\"clear\"");
    json out = json::array();
    for (const json& entry : log)
      if (entry["seq"].get<std::int64_t>() > after) out.push_back(entry);
    if (clearing) log.clear();
    return out;
  }

  json cmd_stats(const json&, std::int64_t) {
    ObjectCounts counts = object_counts();
    json live = json::object();
    for (Kind kind : {Kind::String, Kind::Array, Kind::Boolean, Kind::Number, Kind::Element,
                      Kind::Value, Kind::EventSource, Kind::Event})
      live[kind_name(kind)] = counts.live[kind_index(kind)];
    return {{"live", std::move(live)},
            {"created", counts.created},
            {"retains", counts.retains},
            {"releases", counts.releases},
            {"true_extra_refs", counts.true_refs - 1},
            {"false_extra_refs", counts.false_refs - 1}};
  }

  // --- What the platform calls reach -------------------------------------------------------

  // The value an attribute reads as: a stored value, a default, or a failure status.
  ::AXError read(const Node& node, const std::string& name, Value* scratch, const Value** out) {
    auto found = node.attrs.find(name);
    if (found != node.attrs.end()) {
      if (const auto* failure = std::get_if<Failure>(&found->second.v)) return failure->status;
      *out = &found->second;
      return kAXErrorSuccess;
    }
    if (name == "AXChildren") {
      scratch->v = ElementList{node.children};
    } else if (name == "AXParent") {
      if (node.parent == 0) return kAXErrorNoValue;
      scratch->v = ElementRef{node.parent};
    } else {
      return kAXErrorAttributeUnsupported;
    }
    *out = scratch;
    return kAXErrorSuccess;
  }
};

SimulatedDesktop::SimulatedDesktop() : state_(std::make_unique<State>(this)) {}
SimulatedDesktop::~SimulatedDesktop() = default;

std::unique_lock<std::mutex> SimulatedDesktop::enter(bool delay) {
  if (delay) {
    std::int64_t us = delay_us_.load();
    if (us > 0) std::this_thread::sleep_for(std::chrono::microseconds(us));
  }
  std::unique_lock<std::mutex> lock(mutex_);
  state_->run_due(monotonic_ns());
  return lock;
}

bool SimulatedDesktop::process_trusted() {
  auto lock = enter(true);
  return state_->trusted;
}

AXUIElementRef SimulatedDesktop::create_application(pid_t pid) {
  auto lock = enter(true);
  State& s = *state_;
  if (s.failing_pids.count(pid) != 0) {
    s.record("create_application", std::nullopt, pid, std::nullopt, nullptr, kAXErrorFailure);
    return nullptr;
  }
  auto app = s.apps.find(pid);
  // Like the system, any pid gets an element; one without an application answers nothing.
  NodeId root = app == s.apps.end() ? 0 : app->second;
  s.record("create_application", root == 0 ? std::optional<NodeId>() : root, pid, std::nullopt,
           root == 0 ? json(nullptr) : json{{"element", root}}, kAXErrorSuccess);
  return make_element(root, pid);
}

bool SimulatedDesktop::allow_event_source(CGEventSourceStateID) {
  auto lock = enter(true);
  return !state_->fail_event_source;
}

bool SimulatedDesktop::allow_keyboard_event(CGKeyCode, bool) {
  auto lock = enter(true);
  return state_->failing_keyboard_events.count(state_->keyboard_events++) == 0;
}

void SimulatedDesktop::post_keyboard_event(pid_t pid, const KeyEvent& event) {
  auto lock = enter(true);
  json units = json::array();
  for (char16_t unit : event.units) units.push_back(static_cast<unsigned>(unit));
  json value{{"key_code", event.key_code}, {"down", event.key_down}, {"units", units}};
  if (event.flags) value["flags"] = *event.flags;
  state_->record("key", std::nullopt, pid, std::nullopt, std::move(value), kAXErrorSuccess);
}

bool SimulatedDesktop::allow_pointer_event(CGEventType, std::optional<CGPoint>) {
  auto lock = enter(true);
  return state_->failing_pointer_events.count(state_->pointer_events++) == 0;
}

void SimulatedDesktop::post_pointer_event(const PointerEvent& event) {
  auto lock = enter(true);
  json value{{"event", pointer_event_name(event.type)}, {"click_state", event.click_state}};
  if (event.position) {
    value["x"] = event.position->x;
    value["y"] = event.position->y;
  }
  if (event.type == kCGEventScrollWheel) {
    value["units"] = event.units == kCGScrollEventUnitLine ? "line" : "pixel";
    value["wheel"] = {event.wheel[0], event.wheel[1]};
  } else {
    value["button"] = static_cast<unsigned>(event.button);
  }
  if (event.flags) value["flags"] = *event.flags;
  state_->record("pointer", std::nullopt, std::nullopt, std::nullopt, std::move(value),
                 kAXErrorSuccess);
}

::AXError SimulatedDesktop::copy_attribute_value(const SimElement& element, const std::string& name,
                                                 CFTypeRef* value) {
  auto lock = enter(true);
  State& s = *state_;
  std::int64_t now = monotonic_ns();
  const Node* node = s.live_node(element.node());
  pid_t pid = s.pid_of(element.node(), element.pid());
  Value scratch;
  const Value* result = nullptr;
  ::AXError status =
      node == nullptr ? kAXErrorInvalidUIElement : s.read(*node, name, &scratch, &result);
  if (status == kAXErrorSuccess)
    *value = make_object(
        *result, [&](NodeId id) { return s.pid_of(id, pid); }, now);
  if (s.record_reads)
    s.record("read", element.node(), pid, name,
             result != nullptr ? value_to_json(*result, now) : json(nullptr), status);
  return status;
}

::AXError SimulatedDesktop::set_attribute_value(const SimElement& element, const std::string& name,
                                                CFTypeRef value) {
  auto lock = enter(true);
  State& s = *state_;
  Node* node = s.live_node(element.node());
  Value written;
  bool holdable = value_of_object(value, &written);
  ::AXError status = kAXErrorInvalidUIElement;
  if (node != nullptr) {
    auto found = node->writable.find(name);
    status = found == node->writable.end() ? kAXErrorAttributeUnsupported : found->second;
    if (status == kAXErrorSuccess && !holdable) status = kAXErrorIllegalArgument;
    if (status == kAXErrorSuccess) node->attrs[name] = written;
  }
  json shown =
      holdable ? value_to_json(written, monotonic_ns()) : json{{"type_id", CFGetTypeID(value)}};
  s.record("write", element.node(), s.pid_of(element.node(), element.pid()), name, shown, status);
  return status;
}

::AXError SimulatedDesktop::perform_action(const SimElement& element, const std::string& name) {
  auto lock = enter(true);
  State& s = *state_;
  const Node* node = s.live_node(element.node());
  ::AXError status = kAXErrorInvalidUIElement;
  if (node != nullptr) {
    auto found = node->actions.find(name);
    status = found == node->actions.end() ? kAXErrorActionUnsupported : found->second;
  }
  s.record("action", element.node(), s.pid_of(element.node(), element.pid()), name, nullptr,
           status);
  return status;
}

::AXError SimulatedDesktop::get_pid(const SimElement& element, pid_t* pid) {
  auto lock = enter(true);
  State& s = *state_;
  const Node* node = s.live_node(element.node());
  ::AXError status = kAXErrorInvalidUIElement;
  if (node != nullptr) {
    status = node->pid_status.value_or(kAXErrorSuccess);
    if (status == kAXErrorSuccess) *pid = node->pid;
  }
  s.record("get_pid", element.node(), s.pid_of(element.node(), element.pid()), std::nullopt,
           status == kAXErrorSuccess ? json(*pid) : json(nullptr), status);
  return status;
}

std::string SimulatedDesktop::request(const std::string& text) {
  json reply;
  try {
    // Copying a JSON value recurses, and scheduled changes are copied: bounding the nesting
    // keeps a request from exhausting the stack. Python cannot even write much deeper JSON.
    json command = json::parse(text, [](int depth, json::parse_event_t, json&) {
      if (depth > kMaxRequestDepth) fail("the request nests too deeply");
      return true;
    });
    auto lock = enter(false);
    reply = {{"result", state_->dispatch(command, monotonic_ns(), false)}};
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    reply = {{"error", e.what()}};
  }
  return dump(reply);
}

SimulatedDesktop& desktop() {
  // Never destroyed: element proxies may outlive every static in the process.
  static SimulatedDesktop* const instance = new SimulatedDesktop();
  return *instance;
}

}  // namespace pelorix::platform::sim
