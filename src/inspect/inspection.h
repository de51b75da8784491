// What pelorix-inspect asks of an application: its tree as pelorix reads it, element by element,
// and which of those elements pelorix's own search returns for a query.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "accessibility/cf_ref.h"
#include "app/ax_app.h"
#include "element/ax_element.h"
#include "error/result.h"

namespace pelorix::inspect {

// One element's attributes as the find operations and AXElement read them, and the numbers
// its children got. Absent values could not be read as text (or as a boolean, or as bounds).
struct Reading {
  std::optional<std::string> role, title, identifier, label, value;
  std::optional<bool> enabled, focused;
  std::optional<Rect> bounds;
  bool children_readable = false;
  std::vector<std::size_t> children;
};

struct FindOutcome {
  bool found = false;
  // The element's number when the search returned one of the elements read so far.
  std::optional<std::size_t> element;
  std::chrono::nanoseconds elapsed{0};
};

// The elements of one application, numbered in the order they are first met: the application
// element is 0, and each reading numbers the element's children after all earlier ones, so
// reading in number order visits the tree in the search's level order.
class Inspection {
 public:
  static Result<std::unique_ptr<Inspection>, Failure> open(pid_t pid);

  std::size_t size() const { return elements_.size(); }
  // Reads an element once; nothing for a number not handed out yet or already read.
  std::optional<Reading> read(std::size_t element);
  // One attempt of the application-scoped find, exactly as AXApp.find makes it.
  FindOutcome find(std::string_view query) const;

 private:
  explicit Inspection(std::unique_ptr<AXApp> app);

  std::unique_ptr<AXApp> app_;
  std::vector<ElementHandle> elements_;
  std::vector<bool> read_;
};

}  // namespace pelorix::inspect
