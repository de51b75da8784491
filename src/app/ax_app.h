// The record behind an AXApp object, and the questions it answers about its application.
#pragma once

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "accessibility/cf_ref.h"
#include "error/result.h"
#include "sync/sync_engine.h"

namespace pelorix {

struct AXApp {
  // Members go in reverse order of their release: the element first, then the bundle
  // identifier, then the engine (which borrows the element but never touches it on the way out).
  //
  // The idle engine; the record holds the only count.
  std::shared_ptr<const sync::SyncEngine> sync_engine;
  // As the caller passed it; never looked up.
  std::optional<std::string> bundle_id;
  // The application's accessibility element: the root of every search.
  ElementHandle element;
  // Always a single process (positive): `kill` reads anything else as a process group.
  pid_t pid = 0;

  // Whether the process still exists; never fails.
  bool is_running() const;
  // Asks the process to end (SIGTERM) without waiting for it; fails only when `kill` cannot
  // be started.
  Result<void, Failure> terminate() const;
  // The windows in the order the accessibility service lists them.
  Result<std::vector<ElementHandle>> windows() const;
  // The main window; a null handle when the service reports none.
  Result<ElementHandle> main_window() const;
  // A PNG image of the application's first window, as the system's capture tool made it.
  Result<std::string> screenshot() const;
};

}  // namespace pelorix
