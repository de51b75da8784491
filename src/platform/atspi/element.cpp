#include "platform/atspi/element.h"

#include <atspi/atspi.h>
#include <dbus/dbus.h>
#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/atspi/desktop.h"
#include "platform/atspi/x11.h"

namespace pelorix::platform::atspi {
namespace {

// --- Owning holders for what libatspi hands out ---------------------------------------------

struct ErrorSlot {
  GError* error = nullptr;
  ErrorSlot() = default;
  ErrorSlot(const ErrorSlot&) = delete;
  ErrorSlot& operator=(const ErrorSlot&) = delete;
  ~ErrorSlot() { clear(); }
  GError** out() {
    clear();
    return &error;
  }
  void clear() {
    if (error != nullptr) g_error_free(error);
    error = nullptr;
  }
  explicit operator bool() const { return error != nullptr; }
};

template <class T>
class Owned {
 public:
  explicit Owned(T* object = nullptr) : object_(object) {}
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  Owned(Owned&& other) noexcept : object_(other.object_) { other.object_ = nullptr; }
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) {
      if (object_ != nullptr) g_object_unref(object_);
      object_ = other.object_;
      other.object_ = nullptr;
    }
    return *this;
  }
  ~Owned() {
    if (object_ != nullptr) g_object_unref(object_);
  }
  T* get() const { return object_; }
  T* release() {
    T* object = object_;
    object_ = nullptr;
    return object;
  }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  T* object_;
};

struct Text {
  gchar* text = nullptr;
  Text() = default;
  explicit Text(gchar* adopted) : text(adopted) {}
  Text(const Text&) = delete;
  Text& operator=(const Text&) = delete;
  ~Text() { g_free(text); }
  std::string str() const { return text != nullptr ? text : ""; }
};

// The status the system would give for a failed call. libatspi passes on the D-Bus error's
// text; the D-Bus error names are stable, and so is libatspi's own wording for a vanished
// application.
::AXError status_of_text(std::string_view message) {
  auto has = [&](std::string_view part) { return message.find(part) != std::string_view::npos; };
  if (has("NoReply") || has("Did not receive a reply") || has("imed out") || has("Timeout") ||
      has("timeout"))
    return kAXErrorCannotComplete;
  if (has("UnknownObject") || has("Unknown object") || has("UnknownMethod") ||
      has("ServiceUnknown") || has("not provided by any") || has("no longer exists") ||
      has("Disconnected") || has("does not exist") || has("doesn't exist") ||
      has("was not provided"))
    return kAXErrorInvalidUIElement;
  return kAXErrorFailure;
}

::AXError status_of(const GError* error) {
  if (error == nullptr || error->message == nullptr) return kAXErrorFailure;
  return status_of_text(error->message);
}

bool process_exists(pid_t pid) {
  return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

// --- Values handed to the caller ------------------------------------------------------------

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

// --- Reading the accessible -----------------------------------------------------------------

struct States {
  Owned<AtspiStateSet> set;
  bool has(AtspiStateType state) const {
    return set && atspi_state_set_contains(set.get(), state) != 0;
  }
};

::AXError read_role(AtspiAccessible* accessible, AtspiRole* role) {
  ErrorSlot error;
  *role = atspi_accessible_get_role(accessible, error.out());
  return error ? status_of(error.error) : kAXErrorSuccess;
}

// `unsupported`, unless the element is gone or does not answer: then that says more.
::AXError unsupported_unless_gone(AtspiAccessible* accessible, ::AXError unsupported) {
  AtspiRole role = ATSPI_ROLE_INVALID;
  ::AXError read = read_role(accessible, &role);
  return read != kAXErrorSuccess ? read : unsupported;
}

::AXError read_states(AtspiAccessible* accessible, States* states) {
  states->set = Owned<AtspiStateSet>(atspi_accessible_get_state_set(accessible));
  if (!states->set) {
    // libatspi drops the reason; asking something else recovers it.
    AtspiRole role = ATSPI_ROLE_INVALID;
    ::AXError status = read_role(accessible, &role);
    return status != kAXErrorSuccess ? status : kAXErrorCannotComplete;
  }
  if (states->has(ATSPI_STATE_DEFUNCT)) {
    // libatspi also answers "defunct" when it could not ask (the application did not reply in
    // time); a call that reports its error tells the two apart.
    AtspiRole role = ATSPI_ROLE_INVALID;
    ::AXError status = read_role(accessible, &role);
    return status == kAXErrorCannotComplete ? status : kAXErrorInvalidUIElement;
  }
  return kAXErrorSuccess;
}

::AXError read_name(AtspiAccessible* accessible, std::string* out) {
  ErrorSlot error;
  Text name(atspi_accessible_get_name(accessible, error.out()));
  if (error) return status_of(error.error);
  *out = name.str();
  return kAXErrorSuccess;
}

::AXError read_parent(AtspiAccessible* accessible, Owned<AtspiAccessible>* out) {
  ErrorSlot error;
  *out = Owned<AtspiAccessible>(atspi_accessible_get_parent(accessible, error.out()));
  return error ? status_of(error.error) : kAXErrorSuccess;
}

std::string toolkit(AtspiAccessible* accessible) {
  ErrorSlot error;
  Text name(atspi_accessible_get_toolkit_name(accessible, error.out()));
  Text version(atspi_accessible_get_toolkit_version(accessible, error.out()));
  return name.str() + " " + version.str();
}

// The application object of every AT-SPI application sits at this path.
constexpr std::string_view kApplicationPath = "/org/a11y/atspi/accessible/root";

bool is_application_object(AtspiAccessible* accessible) {
  const AtspiObject& object = accessible->parent;
  return object.path != nullptr && object.path == kApplicationPath;
}

// Applications whose bridge has no Collection interface (GTK 4, Qt), by bus name: they are
// asked for their children one index at a time.
std::set<std::string>& without_collection() {
  static auto* names = new std::set<std::string>();
  return *names;
}

std::string bus_name_of(AtspiAccessible* accessible) {
  const AtspiObject& object = accessible->parent;
  return object.app != nullptr && object.app->bus_name != nullptr ? object.app->bus_name : "";
}

// The children of an element, in order, each handed (owned) to `take`. Collection.GetMatches
// with a rule that every element meets and without descending answers with exactly the
// element's children, in one call; the count and one call per index take one more call per
// child. Where the application has no Collection interface (GTK 4, Qt), or the call fails for
// another reason than a timeout or a vanished element, the children are read one index at a
// time.
template <class Take>
::AXError read_children(AtspiAccessible* accessible, Take take) {
  std::string bus = bus_name_of(accessible);
  bool unsupported = false;
  if (!without_collection().contains(bus)) {
    Owned<AtspiMatchRule> everything(atspi_match_rule_new(
        nullptr, ATSPI_Collection_MATCH_ALL, nullptr, ATSPI_Collection_MATCH_ALL, nullptr,
        ATSPI_Collection_MATCH_ALL, nullptr, ATSPI_Collection_MATCH_ALL, FALSE));
    ErrorSlot error;
    GArray* matches =
        atspi_collection_get_matches(ATSPI_COLLECTION(accessible), everything.get(),
                                     ATSPI_Collection_SORT_ORDER_CANONICAL, 0, FALSE, error.out());
    if (!error && matches != nullptr) {
      for (guint i = 0; i < matches->len; ++i) {
        AtspiAccessible* child = g_array_index(matches, AtspiAccessible*, i);
        if (child != nullptr) take(child);
      }
      g_array_free(matches, TRUE);
      return kAXErrorSuccess;
    }
    if (matches != nullptr) {
      for (guint i = 0; i < matches->len; ++i)
        if (auto* child = g_array_index(matches, AtspiAccessible*, i)) g_object_unref(child);
      g_array_free(matches, TRUE);
    }
    // A timeout or a vanished element is the answer; asking again would only wait again.
    ::AXError status = status_of(error.error);
    if (status == kAXErrorCannotComplete || status == kAXErrorInvalidUIElement) return status;
    // Otherwise the bridge most likely has no Collection (GTK 4 says so, Qt answers that the
    // object path is unknown): if the element answers for its child count, ask this
    // application one index at a time from now on.
    unsupported = true;
  }
  ErrorSlot error;
  gint count = atspi_accessible_get_child_count(accessible, error.out());
  if (error) return status_of(error.error);
  if (count < 0) return kAXErrorCannotComplete;
  if (unsupported) without_collection().insert(bus);
  for (gint i = 0; i < count; ++i) {
    AtspiAccessible* child = atspi_accessible_get_child_at_index(accessible, i, error.out());
    if (error) return status_of(error.error);
    if (child != nullptr) take(child);
  }
  return kAXErrorSuccess;
}

// The AX role of an AT-SPI role; nullptr for roles that read as a window at the top of an
// application and as a group (or unknown) below it.
const char* mapped_role(AtspiRole role, const States& states) {
  switch (role) {
    case ATSPI_ROLE_APPLICATION:
      return "AXApplication";
    case ATSPI_ROLE_FRAME:
    case ATSPI_ROLE_DIALOG:
    case ATSPI_ROLE_WINDOW:
    case ATSPI_ROLE_ALERT:
    case ATSPI_ROLE_FILE_CHOOSER:
      return "AXWindow";
    case ATSPI_ROLE_PUSH_BUTTON:
      return "AXButton";
    case ATSPI_ROLE_PUSH_BUTTON_MENU:
      return "AXMenuButton";
    case ATSPI_ROLE_TOGGLE_BUTTON:
    case ATSPI_ROLE_CHECK_BOX:
      return "AXCheckBox";
    case ATSPI_ROLE_RADIO_BUTTON:
    case ATSPI_ROLE_PAGE_TAB:
      return "AXRadioButton";
    case ATSPI_ROLE_MENU_BAR:
      return "AXMenuBar";
    case ATSPI_ROLE_MENU:
    case ATSPI_ROLE_POPUP_MENU:
      return "AXMenu";
    case ATSPI_ROLE_MENU_ITEM:
    case ATSPI_ROLE_CHECK_MENU_ITEM:
    case ATSPI_ROLE_RADIO_MENU_ITEM:
    case ATSPI_ROLE_TEAROFF_MENU_ITEM:
      return "AXMenuItem";
    case ATSPI_ROLE_ENTRY:
    case ATSPI_ROLE_PASSWORD_TEXT:
    case ATSPI_ROLE_EDITBAR:
      return "AXTextField";
    case ATSPI_ROLE_TEXT:
      return states.has(ATSPI_STATE_MULTI_LINE) ? "AXTextArea" : "AXTextField";
    case ATSPI_ROLE_TERMINAL:
    case ATSPI_ROLE_DOCUMENT_TEXT:
      return "AXTextArea";
    case ATSPI_ROLE_LABEL:
    case ATSPI_ROLE_STATIC:
    case ATSPI_ROLE_CAPTION:
    case ATSPI_ROLE_PARAGRAPH:
    case ATSPI_ROLE_ACCELERATOR_LABEL:
      return "AXStaticText";
    case ATSPI_ROLE_HEADING:
      return "AXHeading";
    case ATSPI_ROLE_COMBO_BOX:
      return "AXComboBox";
    case ATSPI_ROLE_LIST:
    case ATSPI_ROLE_LIST_BOX:
      return "AXList";
    case ATSPI_ROLE_LIST_ITEM:
    case ATSPI_ROLE_TABLE_ROW:
      return "AXRow";
    case ATSPI_ROLE_TABLE:
    case ATSPI_ROLE_TREE_TABLE:
      return "AXTable";
    case ATSPI_ROLE_TREE:
      return "AXOutline";
    case ATSPI_ROLE_TABLE_CELL:
    case ATSPI_ROLE_TREE_ITEM:
      return "AXCell";
    case ATSPI_ROLE_COLUMN_HEADER:
    case ATSPI_ROLE_TABLE_COLUMN_HEADER:
    case ATSPI_ROLE_ROW_HEADER:
    case ATSPI_ROLE_TABLE_ROW_HEADER:
      return "AXCell";
    case ATSPI_ROLE_SLIDER:
    case ATSPI_ROLE_DIAL:
      return "AXSlider";
    case ATSPI_ROLE_SPIN_BUTTON:
      return "AXIncrementor";
    case ATSPI_ROLE_SCROLL_BAR:
      return "AXScrollBar";
    case ATSPI_ROLE_PROGRESS_BAR:
      return "AXProgressIndicator";
    case ATSPI_ROLE_LEVEL_BAR:
      return "AXLevelIndicator";
    case ATSPI_ROLE_SCROLL_PANE:
    case ATSPI_ROLE_VIEWPORT:
      return "AXScrollArea";
    case ATSPI_ROLE_SPLIT_PANE:
      return "AXSplitGroup";
    case ATSPI_ROLE_PAGE_TAB_LIST:
      return "AXTabGroup";
    case ATSPI_ROLE_TOOL_BAR:
      return "AXToolbar";
    case ATSPI_ROLE_IMAGE:
    case ATSPI_ROLE_ICON:
    case ATSPI_ROLE_ANIMATION:
      return "AXImage";
    case ATSPI_ROLE_LINK:
      return "AXLink";
    case ATSPI_ROLE_TOOL_TIP:
      return "AXHelpTag";
    case ATSPI_ROLE_DATE_EDITOR:
      return "AXDateField";
    case ATSPI_ROLE_COLOR_CHOOSER:
      return "AXColorWell";
    case ATSPI_ROLE_DOCUMENT_FRAME:
    case ATSPI_ROLE_DOCUMENT_WEB:
      return "AXWebArea";
    case ATSPI_ROLE_SEPARATOR:
      return "AXSplitter";
    default:
      return nullptr;
  }
}

// Roles that only group other elements; at the top of an application they are windows.
bool is_container_role(AtspiRole role) {
  switch (role) {
    case ATSPI_ROLE_FILLER:
    case ATSPI_ROLE_PANEL:
    case ATSPI_ROLE_GROUPING:
    case ATSPI_ROLE_SECTION:
    case ATSPI_ROLE_FORM:
    case ATSPI_ROLE_ROOT_PANE:
    case ATSPI_ROLE_GLASS_PANE:
    case ATSPI_ROLE_LAYERED_PANE:
    case ATSPI_ROLE_INTERNAL_FRAME:
    case ATSPI_ROLE_OPTION_PANE:
    case ATSPI_ROLE_DESKTOP_FRAME:
    case ATSPI_ROLE_EMBEDDED:
    case ATSPI_ROLE_CANVAS:
    case ATSPI_ROLE_DRAWING_AREA:
    case ATSPI_ROLE_STATUS_BAR:
    case ATSPI_ROLE_INFO_BAR:
    case ATSPI_ROLE_NOTIFICATION:
    case ATSPI_ROLE_ARTICLE:
    case ATSPI_ROLE_BLOCK_QUOTE:
    case ATSPI_ROLE_LANDMARK:
    case ATSPI_ROLE_LOG:
    case ATSPI_ROLE_MARQUEE:
    case ATSPI_ROLE_TIMER:
    case ATSPI_ROLE_CALENDAR:
    case ATSPI_ROLE_FOOTER:
    case ATSPI_ROLE_HEADER:
    case ATSPI_ROLE_PAGE:
    case ATSPI_ROLE_DOCUMENT_EMAIL:
    case ATSPI_ROLE_DOCUMENT_PRESENTATION:
    case ATSPI_ROLE_DOCUMENT_SPREADSHEET:
      return true;
    default:
      return false;
  }
}

bool parent_is_application(AtspiAccessible* accessible) {
  Owned<AtspiAccessible> parent;
  if (read_parent(accessible, &parent) != kAXErrorSuccess || !parent) return false;
  AtspiRole role = ATSPI_ROLE_INVALID;
  return read_role(parent.get(), &role) == kAXErrorSuccess && role == ATSPI_ROLE_APPLICATION;
}

// --- Two reads in one round trip -------------------------------------------------------------

// A call of the Accessible interface sent to the application without waiting for the reply;
// nullptr when it could not be sent.
DBusPendingCall* send_call(AtspiAccessible* accessible, const char* member) {
  const AtspiObject& object = accessible->parent;
  if (object.app == nullptr || object.app->bus == nullptr || object.app->bus_name == nullptr ||
      object.path == nullptr)
    return nullptr;
  DBusMessage* message = dbus_message_new_method_call(object.app->bus_name, object.path,
                                                      "org.a11y.atspi.Accessible", member);
  if (message == nullptr) return nullptr;
  DBusPendingCall* pending = nullptr;
  if (dbus_connection_send_with_reply(object.app->bus, message, &pending, kCallTimeoutMs) == 0)
    pending = nullptr;
  dbus_message_unref(message);
  return pending;
}

// The reply to a call sent with send_call (a timeout arrives as an error reply).
class Reply {
 public:
  explicit Reply(DBusPendingCall* pending) {
    if (pending == nullptr) return;
    dbus_pending_call_block(pending);
    message_ = dbus_pending_call_steal_reply(pending);
    dbus_pending_call_unref(pending);
  }
  Reply(const Reply&) = delete;
  Reply& operator=(const Reply&) = delete;
  ~Reply() {
    if (message_ != nullptr) dbus_message_unref(message_);
  }
  // The status of the call; its arguments are read only on success.
  ::AXError status() const {
    if (message_ == nullptr) return kAXErrorCannotComplete;
    if (dbus_message_get_type(message_) != DBUS_MESSAGE_TYPE_ERROR) return kAXErrorSuccess;
    const char* name = dbus_message_get_error_name(message_);
    const char* text = nullptr;
    dbus_message_get_args(message_, nullptr, DBUS_TYPE_STRING, &text, DBUS_TYPE_INVALID);
    std::string message = std::string(name != nullptr ? name : "") + ": " + (text ? text : "");
    return status_of_text(message);
  }
  DBusMessage* get() const { return message_; }

 private:
  DBusMessage* message_ = nullptr;
};

// The role and the states of an element: both calls are sent before either reply is awaited,
// so the application answers the second without waiting for the caller in between. Both are
// live reads, as with two calls one after the other.
::AXError read_role_and_states(AtspiAccessible* accessible, AtspiRole* role, States* states) {
  DBusPendingCall* role_call = send_call(accessible, "GetRole");
  DBusPendingCall* state_call = role_call != nullptr ? send_call(accessible, "GetState") : nullptr;
  if (state_call == nullptr) {
    Reply discarded(role_call);
    if (::AXError status = read_role(accessible, role); status != kAXErrorSuccess) return status;
    return read_states(accessible, states);
  }
  Reply role_reply(role_call);
  if (::AXError status = role_reply.status(); status != kAXErrorSuccess) {
    // The second reply would only be awaited for nothing (a hung application would make the
    // read wait a second timeout).
    dbus_pending_call_cancel(state_call);
    dbus_pending_call_unref(state_call);
    return status;
  }
  Reply state_reply(state_call);
  dbus_uint32_t role_value = 0;
  if (dbus_message_get_args(role_reply.get(), nullptr, DBUS_TYPE_UINT32, &role_value,
                            DBUS_TYPE_INVALID) == 0)
    return kAXErrorFailure;
  *role = static_cast<AtspiRole>(role_value);
  if (::AXError status = state_reply.status(); status != kAXErrorSuccess)
    return status == kAXErrorInvalidUIElement ? status : kAXErrorCannotComplete;
  // The states are a bit set in an array of 32-bit words.
  DBusMessageIter args;
  DBusMessageIter words;
  if (dbus_message_iter_init(state_reply.get(), &args) == 0 ||
      dbus_message_iter_get_arg_type(&args) != DBUS_TYPE_ARRAY ||
      dbus_message_iter_get_element_type(&args) != DBUS_TYPE_UINT32)
    return kAXErrorFailure;
  dbus_message_iter_recurse(&args, &words);
  GArray* set = g_array_new(FALSE, FALSE, sizeof(AtspiStateType));
  for (unsigned word = 0; dbus_message_iter_get_arg_type(&words) == DBUS_TYPE_UINT32; ++word) {
    dbus_uint32_t bits = 0;
    dbus_message_iter_get_basic(&words, &bits);
    for (unsigned bit = 0; bit < 32; ++bit) {
      if ((bits & (1U << bit)) == 0) continue;
      auto state = static_cast<AtspiStateType>(word * 32 + bit);
      g_array_append_val(set, state);
    }
    dbus_message_iter_next(&words);
  }
  states->set = Owned<AtspiStateSet>(atspi_state_set_new(set));
  g_array_free(set, TRUE);
  // A defunct element is one whose widget was destroyed.
  return states->has(ATSPI_STATE_DEFUNCT) ? kAXErrorInvalidUIElement : kAXErrorSuccess;
}

::AXError ax_role(AtspiAccessible* accessible, std::string* out) {
  // GTK 3 keeps answering for the accessible of a destroyed widget, role included, and marks
  // it defunct: the states are what tell whether an element still exists.
  AtspiRole role = ATSPI_ROLE_INVALID;
  States states;
  if (::AXError status = read_role_and_states(accessible, &role, &states);
      status != kAXErrorSuccess)
    return status;
  if (const char* mapped = mapped_role(role, states)) {
    *out = mapped;
    return kAXErrorSuccess;
  }
  // Qt's top-level widgets are fillers, for example; whatever sits directly below the
  // application is one of its windows.
  if (parent_is_application(accessible)) {
    *out = "AXWindow";
    return kAXErrorSuccess;
  }
  *out = is_container_role(role) ? "AXGroup" : "AXUnknown";
  return kAXErrorSuccess;
}

template <class Iface>
Owned<Iface> iface(AtspiAccessible* accessible, Iface* (*getter)(AtspiAccessible*)) {
  return Owned<Iface>(getter(accessible));
}

// The toplevel accessible (a direct child of the application) that holds the element.
Owned<AtspiAccessible> toplevel_of(AtspiAccessible* accessible) {
  Owned<AtspiAccessible> current(static_cast<AtspiAccessible*>(g_object_ref(accessible)));
  for (int depth = 0; depth < 256; ++depth) {
    Owned<AtspiAccessible> parent;
    if (read_parent(current.get(), &parent) != kAXErrorSuccess || !parent)
      return Owned<AtspiAccessible>();
    AtspiRole role = ATSPI_ROLE_INVALID;
    if (read_role(parent.get(), &role) != kAXErrorSuccess) return Owned<AtspiAccessible>();
    if (role == ATSPI_ROLE_APPLICATION) return current;
    current = std::move(parent);
  }
  return Owned<AtspiAccessible>();
}

// The X window showing a toplevel accessible: the process's window with its title, and of
// those the one whose size matches.
std::optional<x11::Window> x_window_of(AtspiAccessible* toplevel, pid_t pid) {
  std::string title;
  read_name(toplevel, &title);
  auto windows = x11::windows_of(pid);
  if (windows.empty()) return std::nullopt;
  std::optional<x11::Window> titled;
  Owned<AtspiComponent> component = iface(toplevel, atspi_accessible_get_component_iface);
  AtspiRect* size = nullptr;
  if (component) {
    ErrorSlot error;
    size = atspi_component_get_extents(component.get(), ATSPI_COORD_TYPE_WINDOW, error.out());
  }
  std::optional<x11::Window> found;
  for (auto window = windows.rbegin(); window != windows.rend() && !found; ++window) {
    if (window->title != title) continue;
    if (!titled) titled = *window;
    if (size != nullptr && size->width == window->width && size->height == window->height)
      found = *window;
  }
  g_free(size);
  if (!found) found = titled;
  if (!found && windows.size() == 1) found = windows.front();
  return found;
}

// GTK 4 cannot tell where its windows are and reports positions relative to the window; the
// X server knows where the window is.
bool window_relative(AtspiAccessible* accessible) {
  return toolkit(accessible).rfind("GTK 4.", 0) == 0;
}

::AXError no_component(AtspiAccessible* accessible) {
  AtspiRole role = ATSPI_ROLE_INVALID;
  ::AXError status = read_role(accessible, &role);
  return status != kAXErrorSuccess ? status : kAXErrorAttributeUnsupported;
}

::AXError extents(AtspiAccessible* accessible, pid_t pid, CGRect* out) {
  // Asking for the extents straight away saves the call that lists the element's interfaces
  // (every widget has a Component); only when the call fails does that list decide whether
  // the attribute is unsupported or the call failed. The application object has no Component
  // and GTK 3 complains on standard error when asked, so for it the list comes first.
  if (is_application_object(accessible)) {
    Owned<AtspiComponent> component = iface(accessible, atspi_accessible_get_component_iface);
    if (!component) return no_component(accessible);
  }
  ErrorSlot error;
  AtspiRect* rect = atspi_component_get_extents(ATSPI_COMPONENT(accessible),
                                                ATSPI_COORD_TYPE_SCREEN, error.out());
  if (error || rect == nullptr) {
    g_free(rect);
    ::AXError status = status_of(error.error);
    if (status == kAXErrorCannotComplete || status == kAXErrorInvalidUIElement) return status;
    Owned<AtspiComponent> component = iface(accessible, atspi_accessible_get_component_iface);
    return component ? status : no_component(accessible);
  }
  // GTK 3 answers (-1, -1, -1, -1) for a destroyed widget, whose interface list no longer
  // names a Component; a negative size is what makes the list worth asking for.
  bool negative = rect->width < 0 || rect->height < 0;
  *out = CGRect{{static_cast<double>(rect->x), static_cast<double>(rect->y)},
                {static_cast<double>(rect->width), static_cast<double>(rect->height)}};
  g_free(rect);
  if (negative && !iface(accessible, atspi_accessible_get_component_iface))
    return no_component(accessible);
  if (window_relative(accessible)) {
    Owned<AtspiAccessible> top = toplevel_of(accessible);
    if (top) {
      if (auto window = x_window_of(top.get(), pid)) {
        out->origin.x += window->x;
        out->origin.y += window->y;
      }
    }
  }
  return kAXErrorSuccess;
}

bool is_editable_text_role(AtspiRole role) {
  switch (role) {
    case ATSPI_ROLE_TEXT:
    case ATSPI_ROLE_ENTRY:
    case ATSPI_ROLE_PASSWORD_TEXT:
    case ATSPI_ROLE_EDITBAR:
    case ATSPI_ROLE_TERMINAL:
    case ATSPI_ROLE_DOCUMENT_TEXT:
      return true;
    default:
      return false;
  }
}

bool is_text_role(AtspiRole role) {
  if (is_editable_text_role(role)) return true;
  switch (role) {
    case ATSPI_ROLE_PARAGRAPH:
    case ATSPI_ROLE_LABEL:
    case ATSPI_ROLE_STATIC:
    case ATSPI_ROLE_CAPTION:
    case ATSPI_ROLE_HEADING:
    case ATSPI_ROLE_ACCELERATOR_LABEL:
    case ATSPI_ROLE_COMBO_BOX:
      return true;
    default:
      return false;
  }
}

bool is_checkable_role(AtspiRole role) {
  switch (role) {
    case ATSPI_ROLE_CHECK_BOX:
    case ATSPI_ROLE_TOGGLE_BUTTON:
    case ATSPI_ROLE_RADIO_BUTTON:
    case ATSPI_ROLE_CHECK_MENU_ITEM:
    case ATSPI_ROLE_RADIO_MENU_ITEM:
      return true;
    default:
      return false;
  }
}

bool is_static_text_role(AtspiRole role) {
  return role == ATSPI_ROLE_LABEL || role == ATSPI_ROLE_STATIC || role == ATSPI_ROLE_CAPTION ||
         role == ATSPI_ROLE_HEADING || role == ATSPI_ROLE_ACCELERATOR_LABEL;
}

::AXError all_text(AtspiAccessible* accessible, bool* found, std::string* out) {
  Owned<AtspiText> text = iface(accessible, atspi_accessible_get_text_iface);
  *found = static_cast<bool>(text);
  if (!text) return kAXErrorSuccess;
  ErrorSlot error;
  // GTK 4 answers an end offset of -1 ("to the end") with nothing; ask for the real length.
  gint count = atspi_text_get_character_count(text.get(), error.out());
  if (error) return status_of(error.error);
  Text contents(atspi_text_get_text(text.get(), 0, count, error.out()));
  if (error) return status_of(error.error);
  *out = contents.str();
  return kAXErrorSuccess;
}

// Text for text roles, a number for value widgets and check boxes, the name for labels
// without text.
::AXError ax_value_of(AtspiAccessible* accessible, CFTypeRef* value) {
  AtspiRole role = ATSPI_ROLE_INVALID;
  if (::AXError status = read_role(accessible, &role); status != kAXErrorSuccess) return status;
  if (is_text_role(role)) {
    bool found = false;
    std::string text;
    if (::AXError status = all_text(accessible, &found, &text); status != kAXErrorSuccess)
      return status;
    if (found) {
      *value = string_value(text);
      return kAXErrorSuccess;
    }
  }
  if (is_checkable_role(role)) {
    States states;
    if (::AXError status = read_states(accessible, &states); status != kAXErrorSuccess)
      return status;
    bool on = states.has(ATSPI_STATE_CHECKED) || states.has(ATSPI_STATE_PRESSED);
    *value = number_value(on ? 1 : 0);
    return kAXErrorSuccess;
  }
  if (Owned<AtspiValue> number = iface(accessible, atspi_accessible_get_value_iface)) {
    ErrorSlot error;
    double current = atspi_value_get_current_value(number.get(), error.out());
    if (error) return status_of(error.error);
    *value = number_value(current);
    return kAXErrorSuccess;
  }
  if (is_static_text_role(role)) {
    std::string name;
    if (::AXError status = read_name(accessible, &name); status != kAXErrorSuccess) return status;
    *value = string_value(name);
    return kAXErrorSuccess;
  }
  return kAXErrorAttributeUnsupported;
}

::AXError label_of(AtspiAccessible* accessible, std::string* out) {
  ErrorSlot error;
  GArray* relations = atspi_accessible_get_relation_set(accessible, error.out());
  if (error) return status_of(error.error);
  std::string label;
  if (relations != nullptr) {
    for (guint i = 0; i < relations->len; ++i) {
      AtspiRelation* relation = g_array_index(relations, AtspiRelation*, i);
      if (atspi_relation_get_relation_type(relation) == ATSPI_RELATION_LABELLED_BY) {
        gint targets = atspi_relation_get_n_targets(relation);
        for (gint t = 0; t < targets; ++t) {
          Owned<AtspiAccessible> target(atspi_relation_get_target(relation, t));
          std::string name;
          if (target && read_name(target.get(), &name) == kAXErrorSuccess && !name.empty())
            label += (label.empty() ? "" : " ") + name;
        }
      }
      g_object_unref(relation);
    }
    g_array_free(relations, TRUE);
  }
  if (label.empty()) {
    if (::AXError status = read_name(accessible, &label); status != kAXErrorSuccess) return status;
  }
  if (label.empty()) return kAXErrorNoValue;
  *out = std::move(label);
  return kAXErrorSuccess;
}

// The children of the application that are windows on screen.
::AXError shown_windows(AtspiAccessible* application, std::vector<Owned<AtspiAccessible>>* out,
                        std::optional<std::size_t>* active) {
  std::vector<Owned<AtspiAccessible>> children;
  if (::AXError status =
          read_children(application, [&](AtspiAccessible* child) { children.emplace_back(child); });
      status != kAXErrorSuccess)
    return status;
  for (Owned<AtspiAccessible>& child : children) {
    States states;
    if (read_states(child.get(), &states) != kAXErrorSuccess) continue;
    if (!states.has(ATSPI_STATE_SHOWING) && !states.has(ATSPI_STATE_VISIBLE)) continue;
    if (states.has(ATSPI_STATE_ACTIVE) && !*active) *active = out->size();
    out->push_back(std::move(child));
  }
  return kAXErrorSuccess;
}

// --- Actions ---------------------------------------------------------------------------------

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The index of the first of the element's actions named like one of `names` (compared
// without case, in the order of `names`), or -1.
gint find_action(AtspiAction* action, std::initializer_list<std::string_view> names,
                 ::AXError* status) {
  ErrorSlot error;
  gint count = atspi_action_get_n_actions(action, error.out());
  if (error) {
    *status = status_of(error.error);
    return -1;
  }
  std::vector<std::string> have;
  for (gint i = 0; i < count; ++i) {
    Text name(atspi_action_get_action_name(action, i, error.out()));
    have.push_back(error ? std::string() : lower(name.str()));
  }
  for (std::string_view wanted : names)
    for (gint i = 0; i < count; ++i)
      if (have[static_cast<std::size_t>(i)] == wanted) return i;
  return -1;
}

::AXError do_action(AtspiAction* action, gint index) {
  ErrorSlot error;
  gboolean done = atspi_action_do_action(action, index, error.out());
  if (error) return status_of(error.error);
  return done ? kAXErrorSuccess : kAXErrorCannotComplete;
}

bool pressable_role(AtspiRole role) {
  switch (role) {
    case ATSPI_ROLE_PUSH_BUTTON:
    case ATSPI_ROLE_PUSH_BUTTON_MENU:
    case ATSPI_ROLE_TOGGLE_BUTTON:
    case ATSPI_ROLE_CHECK_BOX:
    case ATSPI_ROLE_RADIO_BUTTON:
    case ATSPI_ROLE_MENU_ITEM:
    case ATSPI_ROLE_CHECK_MENU_ITEM:
    case ATSPI_ROLE_RADIO_MENU_ITEM:
    case ATSPI_ROLE_PAGE_TAB:
    case ATSPI_ROLE_LINK:
    case ATSPI_ROLE_LIST_ITEM:
    case ATSPI_ROLE_TABLE_CELL:
    case ATSPI_ROLE_TREE_ITEM:
    case ATSPI_ROLE_COMBO_BOX:
      return true;
    default:
      return false;
  }
}

// A pointer click at the middle of the element, for toolkits that offer no action for it.
::AXError click_middle(AtspiAccessible* accessible, pid_t pid, unsigned button) {
  States states;
  if (::AXError status = read_states(accessible, &states); status != kAXErrorSuccess) return status;
  // GTK 4 leaves "showing" out below the window; "visible" is what it keeps up to date.
  if (!states.has(ATSPI_STATE_SHOWING) && !states.has(ATSPI_STATE_VISIBLE))
    return kAXErrorActionUnsupported;
  CGRect rect{};
  if (extents(accessible, pid, &rect) != kAXErrorSuccess || rect.size.width <= 0 ||
      rect.size.height <= 0)
    return kAXErrorActionUnsupported;
  auto x = static_cast<int>(rect.origin.x + rect.size.width / 2);
  auto y = static_cast<int>(rect.origin.y + rect.size.height / 2);
  return x11::click_at(pid, x, y, button) ? kAXErrorSuccess : kAXErrorCannotComplete;
}

// Gives the element the keyboard focus. GTK 4 cannot do that through AT-SPI (it answers
// GrabFocus with an error): its text fields get a pointer click, which is what focusing one by
// hand is; its other widgets would be pressed by a click, so for them only their window is
// activated.
::AXError grab_focus(AtspiAccessible* accessible, pid_t pid) {
  Owned<AtspiComponent> component = iface(accessible, atspi_accessible_get_component_iface);
  AtspiRole role = ATSPI_ROLE_INVALID;
  ::AXError status = read_role(accessible, &role);
  if (status != kAXErrorSuccess) return status;
  if (!component) return kAXErrorAttributeUnsupported;
  ErrorSlot error;
  gboolean done = atspi_component_grab_focus(component.get(), error.out());
  if (error) {
    status = status_of(error.error);
    if (status != kAXErrorFailure) return status;
  } else if (done) {
    return kAXErrorSuccess;
  }
  std::optional<x11::Window> window;
  if (Owned<AtspiAccessible> top = toplevel_of(accessible)) window = x_window_of(top.get(), pid);
  if (!window || !x11::activate(window->id)) return kAXErrorCannotComplete;
  if (!is_editable_text_role(role)) return kAXErrorSuccess;
  status = click_middle(accessible, pid, 1);
  return status == kAXErrorActionUnsupported ? kAXErrorCannotComplete : status;
}

// A press: the element's own action when it has one; a pointer click for buttons and the like
// that offer none; the keyboard focus for text fields, which is what clicking into one does.
::AXError press(AtspiAccessible* accessible, pid_t pid) {
  ::AXError status = kAXErrorSuccess;
  if (Owned<AtspiAction> action = iface(accessible, atspi_accessible_get_action_iface)) {
    gint index = find_action(action.get(), {"click", "press", "activate", "toggle", "jump", "open"},
                             &status);
    if (status != kAXErrorSuccess) return status;
    if (index >= 0) return do_action(action.get(), index);
  }
  AtspiRole role = ATSPI_ROLE_INVALID;
  if ((status = read_role(accessible, &role)) != kAXErrorSuccess) return status;
  if (pressable_role(role)) return click_middle(accessible, pid, 1);
  if (is_editable_text_role(role)) return grab_focus(accessible, pid);
  return kAXErrorActionUnsupported;
}

::AXError show_menu(AtspiAccessible* accessible, pid_t pid) {
  ::AXError status = kAXErrorSuccess;
  if (Owned<AtspiAction> action = iface(accessible, atspi_accessible_get_action_iface)) {
    gint index = find_action(
        action.get(),
        {"showmenu", "show menu", "menu.popup", "popup", "popup menu", "context menu", "menu"},
        &status);
    if (status != kAXErrorSuccess) return status;
    if (index >= 0) return do_action(action.get(), index);
  }
  return click_middle(accessible, pid, 3);
}

::AXError raise_window(AtspiAccessible* accessible, pid_t pid) {
  std::string role;
  if (::AXError status = ax_role(accessible, &role); status != kAXErrorSuccess) return status;
  if (role != "AXWindow") return kAXErrorActionUnsupported;
  auto window = x_window_of(accessible, pid);
  if (!window || !x11::activate(window->id)) return kAXErrorCannotComplete;
  return kAXErrorSuccess;
}

::AXError step(AtspiAccessible* accessible, bool up) {
  ::AXError status = kAXErrorSuccess;
  if (Owned<AtspiAction> action = iface(accessible, atspi_accessible_get_action_iface)) {
    gint index = find_action(action.get(), {up ? "increase" : "decrease"}, &status);
    if (status != kAXErrorSuccess) return status;
    if (index >= 0) return do_action(action.get(), index);
  }
  Owned<AtspiValue> value = iface(accessible, atspi_accessible_get_value_iface);
  if (!value) return kAXErrorActionUnsupported;
  ErrorSlot error;
  double current = atspi_value_get_current_value(value.get(), error.out());
  double increment = atspi_value_get_minimum_increment(value.get(), error.out());
  double low = atspi_value_get_minimum_value(value.get(), error.out());
  double high = atspi_value_get_maximum_value(value.get(), error.out());
  if (error) return status_of(error.error);
  if (!(increment > 0)) increment = 1;
  double next = std::clamp(current + (up ? increment : -increment), low, high);
  gboolean done = atspi_value_set_current_value(value.get(), next, error.out());
  if (error) return status_of(error.error);
  return done ? kAXErrorSuccess : kAXErrorCannotComplete;
}

// --- Writes ----------------------------------------------------------------------------------

::AXError write_value(AtspiAccessible* accessible, CFTypeRef value) {
  std::string text;
  std::optional<double> number;
  if (const auto* string = object_cast<StringObject>(value)) {
    if (!string->well_formed()) return kAXErrorIllegalArgument;
    text = string->utf8();
  } else if (const auto* given = object_cast<NumberObject>(value)) {
    number = given->as_double();
  } else {
    return kAXErrorIllegalArgument;
  }
  ErrorSlot error;
  if (!number) {
    if (Owned<AtspiEditableText> editable =
            iface(accessible, atspi_accessible_get_editable_text_iface)) {
      gboolean done =
          atspi_editable_text_set_text_contents(editable.get(), text.c_str(), error.out());
      if (error) return status_of(error.error);
      return done ? kAXErrorSuccess : kAXErrorCannotComplete;
    }
    // A value widget takes a number written as text.
    char* end = nullptr;
    double parsed = std::strtod(text.c_str(), &end);
    if (!text.empty() && end != nullptr && *end == '\0') number = parsed;
  }
  Owned<AtspiValue> target = iface(accessible, atspi_accessible_get_value_iface);
  if (!target || !number) {
    AtspiRole role = ATSPI_ROLE_INVALID;
    ::AXError status = read_role(accessible, &role);
    if (status != kAXErrorSuccess) return status;
    return target ? kAXErrorIllegalArgument : kAXErrorAttributeUnsupported;
  }
  gboolean done = atspi_value_set_current_value(target.get(), *number, error.out());
  if (error) return status_of(error.error);
  return done ? kAXErrorSuccess : kAXErrorCannotComplete;
}

::AXError write_focus(AtspiAccessible* accessible, pid_t pid, CFTypeRef value) {
  if (value == nullptr || CFGetTypeID(value) != CFBooleanGetTypeID())
    return kAXErrorIllegalArgument;
  // AT-SPI can give focus but not take it away.
  if (CFBooleanGetValue(static_cast<CFBooleanRef>(value)) == 0) {
    AtspiRole role = ATSPI_ROLE_INVALID;
    ::AXError status = read_role(accessible, &role);
    return status != kAXErrorSuccess ? status : kAXErrorCannotComplete;
  }
  return grab_focus(accessible, pid);
}

}  // namespace

Element::Element(AtspiAccessible* accessible, pid_t pid, bool application)
    : accessible_(accessible), pid_(pid), application_(application) {}

Element::~Element() {
  if (accessible_ != nullptr) {
    std::lock_guard<std::recursive_mutex> guard(desktop().mutex());
    g_object_unref(accessible_);
  }
}

bool Element::equals(const CFObject& other) const {
  const auto* element = dynamic_cast<const Element*>(&other);
  if (element == nullptr) return false;
  if (application_ || element->application_)
    return application_ == element->application_ && pid_ == element->pid_;
  std::lock_guard<std::recursive_mutex> guard(desktop().mutex());
  return accessible_ != nullptr && accessible_ == element->accessible_;
}

AtspiAccessible* Element::resolve(::AXError* status) const {
  // libatspi answers some calls about an application that has quit with the last value it
  // saw and no error; a process that is gone has no elements, whatever libatspi says.
  if (!process_exists(pid_)) {
    *status = kAXErrorInvalidUIElement;
    return nullptr;
  }
  if (accessible_ == nullptr && application_) accessible_ = desktop().find_application(pid_);
  if (accessible_ != nullptr) return accessible_;
  // A process that has not (or not yet) put its tree on the accessibility bus cannot answer.
  *status = kAXErrorCannotComplete;
  return nullptr;
}

::AXError Element::copy_attribute_value(const std::string& name, CFTypeRef* value) const {
  std::lock_guard<std::recursive_mutex> guard(desktop().mutex());
  ::AXError status = kAXErrorSuccess;
  AtspiAccessible* accessible = resolve(&status);
  if (accessible == nullptr) return status;

  auto text_result = [&](::AXError read, const std::string& text) {
    if (read == kAXErrorSuccess) *value = string_value(text);
    return read;
  };
  auto state_result = [&](AtspiStateType first, AtspiStateType second) {
    States states;
    ::AXError read = read_states(accessible, &states);
    if (read == kAXErrorSuccess) *value = bool_value(states.has(first) || states.has(second));
    return read;
  };

  if (name == "AXRole") {
    std::string role;
    return text_result(ax_role(accessible, &role), role);
  }
  if (name == "AXTitle") {
    std::string title;
    return text_result(read_name(accessible, &title), title);
  }
  if (name == "AXDescription") {
    ErrorSlot error;
    Text description(atspi_accessible_get_description(accessible, error.out()));
    return text_result(error ? status_of(error.error) : kAXErrorSuccess, description.str());
  }
  if (name == "AXRoleDescription") {
    ErrorSlot error;
    Text description(atspi_accessible_get_localized_role_name(accessible, error.out()));
    return text_result(error ? status_of(error.error) : kAXErrorSuccess, description.str());
  }
  if (name == "AXValue") return ax_value_of(accessible, value);
  if (name == "AXIdentifier") {
    ErrorSlot error;
    Text identifier(atspi_accessible_get_accessible_id(accessible, error.out()));
    if (error) {
      // Toolkits without identifiers answer that the property is unknown.
      ::AXError read = status_of(error.error);
      return read == kAXErrorFailure ? kAXErrorAttributeUnsupported : read;
    }
    if (identifier.str().empty()) return kAXErrorNoValue;
    return text_result(kAXErrorSuccess, identifier.str());
  }
  if (name == "AXLabel") {
    std::string label;
    return text_result(label_of(accessible, &label), label);
  }
  if (name == "AXEnabled") return state_result(ATSPI_STATE_ENABLED, ATSPI_STATE_SENSITIVE);
  if (name == "AXFocused") return state_result(ATSPI_STATE_FOCUSED, ATSPI_STATE_FOCUSED);
  if (name == "AXSelected") return state_result(ATSPI_STATE_SELECTED, ATSPI_STATE_SELECTED);
  if (name == "AXExpanded") return state_result(ATSPI_STATE_EXPANDED, ATSPI_STATE_EXPANDED);
  if (name == "AXPosition" || name == "AXSize") {
    CGRect rect{};
    ::AXError read = extents(accessible, pid_, &rect);
    if (read != kAXErrorSuccess) return read;
    *value = name == "AXPosition" ? ax_value(kAXValueCGPointType, &rect.origin)
                                  : ax_value(kAXValueCGSizeType, &rect.size);
    return kAXErrorSuccess;
  }
  if (name == "AXFrame") {
    CGRect rect{};
    ::AXError read = extents(accessible, pid_, &rect);
    if (read == kAXErrorSuccess) *value = ax_value(kAXValueCGRectType, &rect);
    return read;
  }
  if (name == "AXChildren") {
    std::vector<CFTypeRef> children;
    ::AXError read = read_children(
        accessible, [&](AtspiAccessible* child) { children.push_back(make_element(child, pid_)); });
    if (read != kAXErrorSuccess) {
      for (CFTypeRef made : children) CFRelease(made);
      return read;
    }
    *value = array_value(std::move(children));
    return kAXErrorSuccess;
  }
  if (name == "AXParent") {
    AtspiRole role = ATSPI_ROLE_INVALID;
    if (::AXError read = read_role(accessible, &role); read != kAXErrorSuccess) return read;
    if (role == ATSPI_ROLE_APPLICATION) return kAXErrorNoValue;
    Owned<AtspiAccessible> parent;
    if (::AXError read = read_parent(accessible, &parent); read != kAXErrorSuccess) return read;
    if (!parent) return kAXErrorNoValue;
    *value = make_element(parent.release(), pid_);
    return kAXErrorSuccess;
  }
  if (name == "AXWindows" || name == "AXMainWindow" || name == "AXFocusedWindow") {
    AtspiRole role = ATSPI_ROLE_INVALID;
    if (::AXError read = read_role(accessible, &role); read != kAXErrorSuccess) return read;
    if (role != ATSPI_ROLE_APPLICATION) return kAXErrorAttributeUnsupported;
    std::vector<Owned<AtspiAccessible>> windows;
    std::optional<std::size_t> active;
    if (::AXError read = shown_windows(accessible, &windows, &active); read != kAXErrorSuccess)
      return read;
    if (name == "AXWindows") {
      std::vector<CFTypeRef> items;
      for (auto& window : windows) items.push_back(make_element(window.release(), pid_));
      *value = array_value(std::move(items));
      return kAXErrorSuccess;
    }
    // The main window is the active one, else the first on screen.
    std::optional<std::size_t> pick = active;
    if (!pick && name == "AXMainWindow" && !windows.empty()) pick = 0;
    if (!pick) return kAXErrorNoValue;
    *value = make_element(windows[*pick].release(), pid_);
    return kAXErrorSuccess;
  }
  if (name == "AXMinValue" || name == "AXMaxValue") {
    Owned<AtspiValue> number = iface(accessible, atspi_accessible_get_value_iface);
    if (!number) {
      AtspiRole role = ATSPI_ROLE_INVALID;
      ::AXError read = read_role(accessible, &role);
      return read != kAXErrorSuccess ? read : kAXErrorAttributeUnsupported;
    }
    ErrorSlot error;
    double bound = name == "AXMinValue" ? atspi_value_get_minimum_value(number.get(), error.out())
                                        : atspi_value_get_maximum_value(number.get(), error.out());
    if (error) return status_of(error.error);
    *value = number_value(bound);
    return kAXErrorSuccess;
  }
  // Anything else is unknown here; a vanished element still says so first.
  return unsupported_unless_gone(accessible, kAXErrorAttributeUnsupported);
}

::AXError Element::set_attribute_value(const std::string& name, CFTypeRef value) const {
  std::lock_guard<std::recursive_mutex> guard(desktop().mutex());
  ::AXError status = kAXErrorSuccess;
  AtspiAccessible* accessible = resolve(&status);
  if (accessible == nullptr) return status;
  States states;
  if ((status = read_states(accessible, &states)) != kAXErrorSuccess) return status;
  if (name == "AXFocused") return write_focus(accessible, pid_, value);
  if (name == "AXValue") return write_value(accessible, value);
  return unsupported_unless_gone(accessible, kAXErrorAttributeUnsupported);
}

::AXError Element::perform_action(const std::string& action) const {
  std::lock_guard<std::recursive_mutex> guard(desktop().mutex());
  ::AXError status = kAXErrorSuccess;
  AtspiAccessible* accessible = resolve(&status);
  if (accessible == nullptr) return status;
  // A destroyed widget's accessible may still list actions that no longer do anything.
  States states;
  if ((status = read_states(accessible, &states)) != kAXErrorSuccess) return status;
  if (action == "AXPress") return press(accessible, pid_);
  if (action == "AXShowMenu") return show_menu(accessible, pid_);
  if (action == "AXRaise") return raise_window(accessible, pid_);
  if (action == "AXIncrement" || action == "AXDecrement")
    return step(accessible, action == "AXIncrement");
  return unsupported_unless_gone(accessible, kAXErrorActionUnsupported);
}

::AXError Element::get_pid(pid_t* pid) const {
  *pid = pid_;
  return kAXErrorSuccess;
}

AXUIElementRef make_element(AtspiAccessible* accessible, pid_t pid, bool application) {
  return static_cast<AXUIElementRef>((new Element(accessible, pid, application))->ref());
}

}  // namespace pelorix::platform::atspi
