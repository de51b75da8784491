#include "inspect/inspection.h"

#include "accessibility/primitives.h"
#include "app/connect.h"
#include "app/search.h"
#include "platform/clock.h"

namespace pelorix::inspect {

Inspection::Inspection(std::unique_ptr<AXApp> app) : app_(std::move(app)) {
  elements_.push_back(ElementHandle::retain(app_->element.get()));
  read_.push_back(false);
}

Result<std::unique_ptr<Inspection>, Failure> Inspection::open(pid_t pid) {
  auto app = connect_app(std::nullopt, std::nullopt, pid);
  if (!app) return std::move(app).error();
  return std::unique_ptr<Inspection>(new Inspection(std::move(app).value()));
}

std::optional<Reading> Inspection::read(std::size_t element) {
  if (element >= elements_.size() || read_[element]) return std::nullopt;
  read_[element] = true;
  AXUIElementRef ref = elements_[element].get();
  Reading reading;
  reading.role = accessibility::get_string_attribute_value(ref, "AXRole");
  reading.title = accessibility::get_string_attribute_value(ref, "AXTitle");
  reading.identifier = accessibility::get_string_attribute_value(ref, "AXIdentifier");
  reading.label = accessibility::get_string_attribute_value(ref, "AXLabel");
  reading.value = accessibility::get_string_attribute_value(ref, "AXValue");
  reading.enabled = AXElement::get_bool_attribute(ref, "AXEnabled");
  reading.focused = AXElement::get_bool_attribute(ref, "AXFocused");
  reading.bounds = AXElement::bounds(ref);
  auto children = accessibility::get_children(ref);
  if (children) {
    reading.children_readable = true;
    for (ElementHandle& child : *children) {
      reading.children.push_back(elements_.size());
      elements_.push_back(std::move(child));
      read_.push_back(false);
    }
  }
  return reading;
}

FindOutcome Inspection::find(std::string_view query) const {
  FindOutcome outcome;
  platform::Instant start = platform::now();
  // A limit of zero makes exactly one attempt, without the retries' sleeps.
  auto found = find_element(app_->element.get(), query, 0);
  outcome.elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(platform::now() - start);
  if (!found || !found.value()) return outcome;
  outcome.found = true;
  for (std::size_t i = 0; i < elements_.size(); ++i) {
    if (CFEqual(elements_[i].get(), found.value().get())) {
      outcome.element = i;
      break;
    }
  }
  return outcome;
}

}  // namespace pelorix::inspect
