// What the desktop backend needs from the X server: the windows of a process, focusing and
// raising them, synthesised keyboard and pointer input (XTest), and reading the screen.
//
// All functions take the display lock themselves and never let an X protocol error end the
// process: a window that vanished under us simply gives no answer.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

typedef struct _XDisplay Display;

namespace pelorix::platform::atspi::x11 {

// Runs `work` on the display connection with the display lock held and protocol errors
// ignored, as every function here does; false, without running it, when there is no display.
bool with_display(const std::function<void(Display*)>& work);

struct Window {
  unsigned long id = 0;
  pid_t pid = 0;
  // Root coordinates of the window's inside.
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  std::string title;
  // A menu, tooltip or other popup (an override-redirect window, or one whose
  // _NET_WM_WINDOW_TYPE says so) rather than an application window.
  bool popup = false;
  // Where the window's own content starts inside it, for windows that draw a shadow or border
  // around themselves (GTK's client-side decorations): _GTK_FRAME_EXTENTS' left and top, when
  // the window sets it.
  std::optional<std::pair<int, int>> content_inset;
};

// Whether the display named by DISPLAY can be opened.
bool available();

// The viewable top-level windows of a process (by _NET_WM_PID), bottom to top.
std::vector<Window> windows_of(pid_t pid);

// A viewable top-level window by id, or nullopt.
std::optional<Window> window(unsigned long id);

// Raises the window and gives it the keyboard focus (asking the window manager too, if one
// runs). False when the window is gone.
bool activate(unsigned long id);

// Makes sure the keyboard focus is in a window of `pid`, activating its topmost window when it
// is not. False when the process has no viewable window.
bool focus_process(pid_t pid);

// Presses or releases the key that produces the character (a Unicode scalar value). A
// character the keyboard map lacks is put on a spare key code first. False when the character
// cannot be typed at all.
bool type_character(char32_t character, bool down);

// Moves the pointer to (x, y) and clicks `button` (1 left, 3 right) once, when the topmost
// window at that point belongs to `pid`. False otherwise.
bool click_at(pid_t pid, int x, int y, unsigned button);

// The pids of the processes whose windows carry the application id (the GTK application id,
// the desktop file id, else the WM_CLASS), in stacking order, each once.
std::vector<pid_t> pids_with_application_id(const std::string& id);

struct Image {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;  // width * height * 3 bytes, rows top to bottom
};

// The screen content of a rectangle in root coordinates; parts outside the screen are black.
// nullopt when the rectangle is empty or nothing of it lies on the screen.
std::optional<Image> capture(int x, int y, int width, int height);

// The image as the content of a PNG file; nullopt when libpng cannot encode it.
std::optional<std::string> encode_png(const Image& image);

}  // namespace pelorix::platform::atspi::x11
