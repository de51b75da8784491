#include "platform/atspi/x11.h"

#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <thread>

// Xlib defines macros (None, True, Bool, Status, ...) that must not leak into other files.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include "platform/call_bounds.h"

namespace pelorix::platform::atspi::x11 {
namespace {

using XWindow = ::Window;

// How long a window that exists but is not yet shown is waited for before keys go to it.
constexpr std::chrono::milliseconds kMappingWait{2000};

std::recursive_mutex& lock() {
  static std::recursive_mutex instance;
  return instance;
}

// Protocol errors about windows that vanished are expected; Xlib's default handler would end
// the process. Ours is installed only while we talk to the server.
int ignore_error(Display*, XErrorEvent*) {
  return 0;
}

// The connection: opened on first use, and opened again when it was lost or belongs to the
// parent of a forked process. Xlib's default ends the process when the server closes the
// connection (it went away, or a client killed ours with KillClient); ours only marks the
// connection lost: Xlib then fails the calls on it, and the next session opens a new one once
// the display is back.
struct Connection {
  Display* display = nullptr;
  pid_t owner = 0;
  bool lost = false;
  // Counts the connections opened, so that what was read from an earlier one (the keyboard
  // map) is read again from the server that now answers.
  unsigned generation = 0;
};

Connection& current() {
  static auto* instance = new Connection();
  return *instance;
}

void connection_lost(Display*, void*) {
  current().lost = true;
}

// Xlib's I/O error handler is one for the process, and its default itself ends the process
// before any exit handler runs: ours returns for our connection (whose exit handler then marks
// it lost) and leaves other connections of the process to the handler that was there before.
XIOErrorHandler& previous_io_handler() {
  static XIOErrorHandler previous = nullptr;
  return previous;
}

int io_error(Display* display) {
  if (display == current().display) return 0;
  XIOErrorHandler previous = previous_io_handler();
  return previous != nullptr ? previous(display) : 0;
}

class Session {
 public:
  Session() : guard_(lock()) {
    display_ = connection();
    if (display_ != nullptr) previous_ = XSetErrorHandler(ignore_error);
  }
  ~Session() {
    if (display_ != nullptr) {
      XSync(display_, False);
      XSetErrorHandler(previous_);
    }
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  // Null when no display can be reached; a connection lost during the session stays in use
  // until it ends (Xlib fails every call on it at once).
  Display* display() const { return display_; }
  bool lost() const { return current().lost; }
  XWindow root() const { return DefaultRootWindow(display_); }

 private:
  static Display* connection() {
    Connection& connection = current();
    if (connection.display != nullptr && connection.owner != getpid()) {
      // A forked child shares its parent's socket: closing or using it would write into the
      // parent's stream. The child leaves it alone and opens its own.
      connection.display = nullptr;
    } else if (connection.display != nullptr && connection.lost) {
      XCloseDisplay(connection.display);
      connection.display = nullptr;
    }
    if (connection.display != nullptr) return connection.display;
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || *name == '\0') return nullptr;
    connection.display = XOpenDisplay(nullptr);
    if (connection.display == nullptr) return nullptr;
    XSetIOErrorExitHandler(connection.display, connection_lost, nullptr);
    if (previous_io_handler() == nullptr) previous_io_handler() = XSetIOErrorHandler(io_error);
    connection.owner = getpid();
    connection.lost = false;
    ++connection.generation;
    return connection.display;
  }

  std::unique_lock<std::recursive_mutex> guard_;
  Display* display_ = nullptr;
  XErrorHandler previous_ = nullptr;
};

Atom atom(Display* display, const char* name) {
  return XInternAtom(display, name, False);
}

// A window property as bytes (8-bit formats) or as the low 32 bits of each item (32-bit ones).
bool property(Display* display, XWindow window, Atom name, Atom type, std::string* bytes,
              std::vector<unsigned long>* items) {
  Atom actual = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display, window, name, 0, 65536, False, type, &actual, &format, &count,
                         &after, &data) != Success ||
      data == nullptr) {
    return false;
  }
  bool ok = actual != 0;
  if (ok && format == 8 && bytes != nullptr) bytes->assign(reinterpret_cast<char*>(data), count);
  if (ok && format == 32 && items != nullptr) {
    auto* longs = reinterpret_cast<unsigned long*>(data);
    items->assign(longs, longs + count);
  }
  XFree(data);
  return ok;
}

pid_t window_pid(Display* display, XWindow window) {
  std::vector<unsigned long> items;
  if (!property(display, window, atom(display, "_NET_WM_PID"), XA_CARDINAL, nullptr, &items) ||
      items.empty())
    return 0;
  return static_cast<pid_t>(items[0] & 0xFFFFFFFFUL);
}

std::string window_title(Display* display, XWindow window) {
  std::string title;
  if (property(display, window, atom(display, "_NET_WM_NAME"), atom(display, "UTF8_STRING"), &title,
               nullptr))
    return title;
  property(display, window, XA_WM_NAME, AnyPropertyType, &title, nullptr);
  return title;
}

// Window types of menus, tooltips and the like, which are no application windows.
bool is_popup_type(Display* display, XWindow window) {
  std::vector<unsigned long> types;
  if (!property(display, window, atom(display, "_NET_WM_WINDOW_TYPE"), XA_ATOM, nullptr, &types))
    return false;
  for (const char* name : {"_NET_WM_WINDOW_TYPE_MENU", "_NET_WM_WINDOW_TYPE_DROPDOWN_MENU",
                           "_NET_WM_WINDOW_TYPE_POPUP_MENU", "_NET_WM_WINDOW_TYPE_TOOLTIP",
                           "_NET_WM_WINDOW_TYPE_NOTIFICATION", "_NET_WM_WINDOW_TYPE_COMBO",
                           "_NET_WM_WINDOW_TYPE_DND"}) {
    unsigned long wanted = atom(display, name);
    if (std::find(types.begin(), types.end(), wanted) != types.end()) return true;
  }
  return false;
}

std::vector<XWindow> children(Display* display, XWindow window) {
  XWindow root = 0, parent = 0;
  XWindow* list = nullptr;
  unsigned int count = 0;
  std::vector<XWindow> out;
  if (XQueryTree(display, window, &root, &parent, &list, &count) != 0 && list != nullptr) {
    out.assign(list, list + count);
    XFree(list);
  }
  return out;
}

XWindow parent_of(Display* display, XWindow window) {
  XWindow root = 0, parent = 0;
  XWindow* list = nullptr;
  unsigned int count = 0;
  if (XQueryTree(display, window, &root, &parent, &list, &count) == 0) return 0;
  if (list != nullptr) XFree(list);
  return parent;
}

std::optional<Window> describe(Display* display, XWindow root, XWindow id, bool need_viewable) {
  XWindowAttributes attributes{};
  if (XGetWindowAttributes(display, id, &attributes) == 0) return std::nullopt;
  if (need_viewable && attributes.map_state != IsViewable) return std::nullopt;
  if (attributes.c_class == InputOnly) return std::nullopt;
  Window out;
  out.id = id;
  out.pid = window_pid(display, id);
  XWindow child = 0;
  if (XTranslateCoordinates(display, id, root, 0, 0, &out.x, &out.y, &child) == 0)
    return std::nullopt;
  out.width = attributes.width;
  out.height = attributes.height;
  out.title = window_title(display, id);
  out.popup = attributes.override_redirect != 0 || is_popup_type(display, id);
  std::vector<unsigned long> extents;
  if (property(display, id, atom(display, "_GTK_FRAME_EXTENTS"), XA_CARDINAL, nullptr, &extents) &&
      extents.size() == 4)
    out.content_inset = std::pair<int, int>(static_cast<int>(extents[0] & 0xFFFF),
                                            static_cast<int>(extents[2] & 0xFFFF));
  return out;
}

// Top-level client windows, bottom to top. Without a window manager they are the root's
// children; a reparenting window manager puts each inside a frame of its own.
std::vector<Window> client_windows(Display* display, XWindow root, bool need_viewable) {
  std::vector<Window> out;
  for (XWindow top : children(display, root)) {
    auto described = describe(display, root, top, need_viewable);
    if (!described) continue;
    if (described->pid != 0) {
      out.push_back(std::move(*described));
      continue;
    }
    for (XWindow inner : children(display, top)) {
      auto client = describe(display, root, inner, need_viewable);
      if (client && client->pid != 0) out.push_back(std::move(*client));
    }
  }
  return out;
}

// The client window that contains `window` (itself or an ancestor below the root).
pid_t owner_pid(Display* display, XWindow root, XWindow window) {
  for (int depth = 0; window != 0 && window != root && depth < 64; ++depth) {
    if (pid_t pid = window_pid(display, window); pid != 0) return pid;
    window = parent_of(display, window);
  }
  return 0;
}

void send_active_window(Display* display, XWindow root, XWindow window) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = atom(display, "_NET_ACTIVE_WINDOW");
  event.xclient.format = 32;
  event.xclient.data.l[0] = 2;  // from a pager-like tool, which window managers obey
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
}

bool activate_in(const Session& session, XWindow id) {
  Display* display = session.display();
  XWindowAttributes attributes{};
  if (XGetWindowAttributes(display, id, &attributes) == 0 || attributes.map_state != IsViewable)
    return false;
  send_active_window(display, session.root(), id);
  XRaiseWindow(display, id);
  XSetInputFocus(display, id, RevertToParent, CurrentTime);
  XSync(display, False);
  return true;
}

// --- Keyboard --------------------------------------------------------------------------------

KeySym keysym_for(char32_t character) {
  switch (character) {
    case U'\n':
    case U'\r':
      return XK_Return;
    case U'\t':
      return XK_Tab;
    case U'\b':
      return XK_BackSpace;
    case 0x1B:
      return XK_Escape;
    case 0x7F:
      return XK_Delete;
    default:
      break;
  }
  if (character < 0x20 || (character >= 0x7F && character < 0xA0)) return NoSymbol;
  if (character > 0x10FFFF || (character >= 0xD800 && character <= 0xDFFF)) return NoSymbol;
  // Latin-1 keysyms equal their code points; everything else has a Unicode keysym.
  if (character < 0x100) return character;
  return 0x01000000 + character;
}

// Where a keysym sits on the keyboard: the key code and whether Shift is needed.
struct KeyPlace {
  KeyCode code = 0;
  bool shift = false;
};

class Keyboard {
 public:
  std::optional<KeyPlace> place(Display* display, KeySym keysym) {
    load(display);
    for (int code = min_; code <= max_; ++code) {
      const KeySym* syms = &map_[static_cast<std::size_t>((code - min_) * per_code_)];
      if (syms[0] == keysym) return KeyPlace{static_cast<KeyCode>(code), false};
      if (per_code_ > 1 && syms[1] == keysym) return KeyPlace{static_cast<KeyCode>(code), true};
    }
    return remap(display, keysym);
  }

  KeyCode shift(Display* display) { return XKeysymToKeycode(display, XK_Shift_L); }

 private:
  void load(Display* display) {
    if (generation_ != current().generation) {
      map_.clear();
      spare_.clear();
      next_spare_ = 0;
      generation_ = current().generation;
    }
    if (!map_.empty()) return;
    XDisplayKeycodes(display, &min_, &max_);
    int per_code = 0;
    KeySym* syms =
        XGetKeyboardMapping(display, static_cast<KeyCode>(min_), max_ - min_ + 1, &per_code);
    if (syms == nullptr) return;
    per_code_ = per_code;
    map_.assign(syms, syms + static_cast<std::size_t>((max_ - min_ + 1) * per_code));
    XFree(syms);
    // Key codes without any symbol are free to borrow; the highest ones first, as keyboards
    // never produce them.
    for (int code = max_; code >= min_ && spare_.size() < 8; --code) {
      const KeySym* entry = &map_[static_cast<std::size_t>((code - min_) * per_code_)];
      if (std::all_of(entry, entry + per_code_, [](KeySym s) { return s == NoSymbol; }))
        spare_.push_back(static_cast<KeyCode>(code));
    }
  }

  // Puts the keysym on a spare key code, on both shift levels. The spare codes are used in
  // turn, so a code is never changed while the previous character on it may still be in
  // flight to the application.
  std::optional<KeyPlace> remap(Display* display, KeySym keysym) {
    if (spare_.empty() || per_code_ < 1) return std::nullopt;
    KeyCode code = spare_[next_spare_++ % spare_.size()];
    std::vector<KeySym> entry(static_cast<std::size_t>(per_code_), NoSymbol);
    entry[0] = keysym;
    if (per_code_ > 1) entry[1] = keysym;
    XChangeKeyboardMapping(display, code, per_code_, entry.data(), 1);
    XSync(display, False);
    std::copy(entry.begin(), entry.end(),
              map_.begin() + static_cast<std::ptrdiff_t>((code - min_) * per_code_));
    return KeyPlace{code, false};
  }

  int min_ = 8;
  int max_ = 255;
  int per_code_ = 0;
  std::vector<KeySym> map_;
  std::vector<KeyCode> spare_;
  std::size_t next_spare_ = 0;
  unsigned generation_ = 0;
};

Keyboard& keyboard() {
  static Keyboard instance;
  return instance;
}

// The shortest time between two presses of one key. Nobody strikes a key twice within 150 ms,
// and some applications ignore a key pressed again sooner: galculator shows a key's button
// pressed for a moment and drops a second press of that key meanwhile ("777" typed at full
// speed arrives as "77"), while other keys in between are taken at full speed.
constexpr auto kSameKeyInterval = std::chrono::milliseconds(150);

// Waits until the key code may be pressed again, and records this press.
void pace_press(KeyCode code) {
  static auto* last = new std::map<KeyCode, std::chrono::steady_clock::time_point>();
  auto found = last->find(code);
  if (found != last->end()) {
    auto ready = found->second + kSameKeyInterval;
    auto now = std::chrono::steady_clock::now();
    if (now < ready) std::this_thread::sleep_for(ready - now);
  }
  (*last)[code] = std::chrono::steady_clock::now();
}

// --- PNG -------------------------------------------------------------------------------------

struct PngImage {
  png_image image{};
  PngImage() { image.version = PNG_IMAGE_VERSION; }
  ~PngImage() { png_image_free(&image); }
};

}  // namespace

bool available() {
  Session session;
  return session.display() != nullptr;
}

bool with_display(const std::function<void(Display*)>& work) {
  Session session;
  if (session.display() == nullptr) return false;
  work(session.display());
  return true;
}

std::vector<Window> windows_of(pid_t pid) {
  Session session;
  std::vector<Window> out;
  if (session.display() == nullptr) return out;
  for (Window& window : client_windows(session.display(), session.root(), true))
    if (window.pid == pid) out.push_back(std::move(window));
  return out;
}

std::optional<Window> window(unsigned long id) {
  Session session;
  if (session.display() == nullptr) return std::nullopt;
  for (Window& candidate : client_windows(session.display(), session.root(), true))
    if (candidate.id == id) return std::move(candidate);
  return std::nullopt;
}

bool activate(unsigned long id) {
  Session session;
  return session.display() != nullptr && activate_in(session, id);
}

bool focus_process(pid_t pid) {
  Session session;
  Display* display = session.display();
  if (display == nullptr) return false;
  XWindow focus = 0;
  int revert = 0;
  XGetInputFocus(display, &focus, &revert);
  // PointerRoot (1) and None (0) mean no window holds the focus.
  if (focus > 1 && owner_pid(display, session.root(), focus) == pid) return true;
  auto focus_a_window = [&] {
    auto windows = client_windows(display, session.root(), true);
    for (auto window = windows.rbegin(); window != windows.rend(); ++window)
      if (window->pid == pid) return activate_in(session, window->id);
    return false;
  };
  if (focus_a_window()) return true;
  // A window that exists but is not shown yet is being mapped: an application's accessible
  // window appears before a window manager has framed and shown it, so a script that types
  // right after finding it would lose its keys. Such a window is waited for, a little; a
  // process whose windows stay hidden costs that wait once, not on every key.
  struct Waited {
    pid_t pid = 0;
    std::chrono::steady_clock::time_point at;
  };
  static Waited last_failed;
  auto now = std::chrono::steady_clock::now();
  if (last_failed.pid == pid && now - last_failed.at < kMappingWait * 2) return false;
  auto hidden = client_windows(display, session.root(), false);
  if (std::none_of(hidden.begin(), hidden.end(), [&](const Window& w) { return w.pid == pid; }))
    return false;
  for (auto end = now + kMappingWait; std::chrono::steady_clock::now() < end;) {
    if (call_stopped()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (focus_a_window()) return true;
  }
  last_failed = Waited{pid, std::chrono::steady_clock::now()};
  return false;
}

bool type_character(char32_t character, bool down) {
  Session session;
  Display* display = session.display();
  if (display == nullptr) return false;
  KeySym keysym = keysym_for(character);
  if (keysym == NoSymbol) return false;
  auto place = keyboard().place(display, keysym);
  if (!place) return false;
  KeyCode shift = keyboard().shift(display);
  bool with_shift = down && place->shift && shift != 0;
  if (down) pace_press(place->code);
  // Shift is held only around the press: the character is decided when the key goes down.
  if (with_shift) XTestFakeKeyEvent(display, shift, True, CurrentTime);
  XTestFakeKeyEvent(display, place->code, down ? True : False, CurrentTime);
  if (with_shift) XTestFakeKeyEvent(display, shift, False, CurrentTime);
  XSync(display, False);
  return true;
}

bool click_at(pid_t pid, int x, int y, unsigned button) {
  Session session;
  Display* display = session.display();
  if (display == nullptr) return false;
  XWindow root = session.root();
  // The topmost window under the point must be the application's, or the click would land
  // in another program.
  XWindow top = 0;
  int child_x = 0, child_y = 0;
  if (XTranslateCoordinates(display, root, root, x, y, &child_x, &child_y, &top) == 0 || top == 0)
    return false;
  XWindow inner = top;
  pid_t owner = window_pid(display, top);
  while (owner == 0 && inner != 0) {
    XWindow next = 0;
    if (XTranslateCoordinates(display, root, inner, x, y, &child_x, &child_y, &next) == 0) break;
    inner = next;
    if (inner != 0) owner = window_pid(display, inner);
  }
  if (owner != pid) return false;
  XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
  XTestFakeButtonEvent(display, button, True, CurrentTime);
  XTestFakeButtonEvent(display, button, False, CurrentTime);
  XSync(display, False);
  return true;
}

std::vector<pid_t> pids_with_application_id(const std::string& id) {
  Session session;
  Display* display = session.display();
  std::vector<pid_t> exact, by_class;
  if (display == nullptr || id.empty()) return exact;
  auto add = [](std::vector<pid_t>& list, pid_t pid) {
    if (std::find(list.begin(), list.end(), pid) == list.end()) list.push_back(pid);
  };
  auto same_text = [](const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
             return std::tolower(static_cast<unsigned char>(x)) ==
                    std::tolower(static_cast<unsigned char>(y));
           });
  };
  auto strip_desktop = [](std::string name) {
    if (auto slash = name.rfind('/'); slash != std::string::npos) name.erase(0, slash + 1);
    if (name.size() > 8 && name.compare(name.size() - 8, 8, ".desktop") == 0)
      name.resize(name.size() - 8);
    return name;
  };
  for (const Window& window : client_windows(display, session.root(), false)) {
    std::string value;
    if (property(display, window.id, atom(display, "_GTK_APPLICATION_ID"),
                 atom(display, "UTF8_STRING"), &value, nullptr) &&
        value == id) {
      add(exact, window.pid);
      continue;
    }
    value.clear();
    if (property(display, window.id, atom(display, "_KDE_NET_WM_DESKTOP_FILE"), AnyPropertyType,
                 &value, nullptr) &&
        strip_desktop(value) == id) {
      add(exact, window.pid);
      continue;
    }
    // Programs started from a desktop file carry its path in their environment.
    std::ifstream environ("/proc/" + std::to_string(window.pid) + "/environ");
    std::string entry;
    bool launched = false;
    while (std::getline(environ, entry, '\0')) {
      const std::string key = "GIO_LAUNCHED_DESKTOP_FILE=";
      if (entry.compare(0, key.size(), key) == 0 && strip_desktop(entry.substr(key.size())) == id)
        launched = true;
    }
    if (launched) {
      add(exact, window.pid);
      continue;
    }
    value.clear();
    if (property(display, window.id, XA_WM_CLASS, XA_STRING, &value, nullptr)) {
      // Two NUL-terminated texts: the instance name, then the class.
      std::size_t split = value.find('\0');
      std::string instance = value.substr(0, split);
      std::string klass = split == std::string::npos ? "" : value.substr(split + 1);
      if (!klass.empty() && klass.back() == '\0') klass.pop_back();
      if (same_text(instance, id) || same_text(klass, id)) add(by_class, window.pid);
    }
  }
  return exact.empty() ? by_class : exact;
}

std::optional<Image> capture(int x, int y, int width, int height) {
  Session session;
  Display* display = session.display();
  if (display == nullptr || width <= 0 || height <= 0) return std::nullopt;
  int screen = DefaultScreen(display);
  int screen_width = DisplayWidth(display, screen);
  int screen_height = DisplayHeight(display, screen);
  // Off the screen the image is black, but only up to one screen's size beyond each edge: an
  // application may claim a window of 2^31 pixels a side, whose image would not fit in memory.
  {
    long from_x = std::max<long>(x, -static_cast<long>(screen_width));
    long from_y = std::max<long>(y, -static_cast<long>(screen_height));
    long to_x = std::min<long>(static_cast<long>(x) + width, 2L * screen_width);
    long to_y = std::min<long>(static_cast<long>(y) + height, 2L * screen_height);
    if (from_x >= to_x || from_y >= to_y) return std::nullopt;
    x = static_cast<int>(from_x);
    y = static_cast<int>(from_y);
    width = static_cast<int>(to_x - from_x);
    height = static_cast<int>(to_y - from_y);
  }
  long left = std::max<long>(x, 0), top = std::max<long>(y, 0);
  long right = std::min<long>(static_cast<long>(x) + width, screen_width);
  long bottom = std::min<long>(static_cast<long>(y) + height, screen_height);
  if (left >= right || top >= bottom) return std::nullopt;
  XImage* shot = XGetImage(display, session.root(), static_cast<int>(left), static_cast<int>(top),
                           static_cast<unsigned>(right - left), static_cast<unsigned>(bottom - top),
                           AllPlanes, ZPixmap);
  if (shot == nullptr || session.lost()) {
    if (shot != nullptr) XDestroyImage(shot);
    return std::nullopt;
  }
  Image image;
  image.width = width;
  image.height = height;
  image.rgb.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3, 0);
  auto channel = [](unsigned long pixel, unsigned long mask) -> std::uint8_t {
    if (mask == 0) return 0;
    int shift = __builtin_ctzl(mask);
    unsigned long value = (pixel & mask) >> shift;
    unsigned long top_value = mask >> shift;
    return static_cast<std::uint8_t>(value * 255 / top_value);
  };
  for (long row = top; row < bottom; ++row) {
    for (long column = left; column < right; ++column) {
      unsigned long pixel =
          XGetPixel(shot, static_cast<int>(column - left), static_cast<int>(row - top));
      std::size_t at = (static_cast<std::size_t>(row - y) * static_cast<std::size_t>(width) +
                        static_cast<std::size_t>(column - x)) *
                       3;
      image.rgb[at] = channel(pixel, shot->red_mask);
      image.rgb[at + 1] = channel(pixel, shot->green_mask);
      image.rgb[at + 2] = channel(pixel, shot->blue_mask);
    }
  }
  XDestroyImage(shot);
  return image;
}

std::optional<std::string> encode_png(const Image& image) {
  PngImage png;
  png.image.width = static_cast<png_uint_32>(image.width);
  png.image.height = static_cast<png_uint_32>(image.height);
  png.image.format = PNG_FORMAT_RGB;
  const auto stride = static_cast<png_int_32>(image.width * 3);
  // The first call only measures.
  png_alloc_size_t size = 0;
  if (png_image_write_to_memory(&png.image, nullptr, &size, 0, image.rgb.data(), stride, nullptr) ==
      0)
    return std::nullopt;
  std::string out(size, '\0');
  if (png_image_write_to_memory(&png.image, out.data(), &size, 0, image.rgb.data(), stride,
                                nullptr) == 0)
    return std::nullopt;
  out.resize(size);
  return out;
}

}  // namespace pelorix::platform::atspi::x11
