// The one call pelorix adds to the accessibility interface for reading many elements at once.
//
// A call of the core that reads many elements of one application (one search attempt, one
// fingerprint of the tree) opens a ReadScope on the element it starts from and keeps it open
// while it reads. Inside the scope a backend may answer reads from requests it sent in bulk or
// in batches after the scope opened, instead of one request per read; when the scope closes it
// forgets all of it, so nothing read in one call is seen by the next. The core's reads, their
// order and their meaning stay exactly as without the scope.
//
// A backend that batches reports it through batched(): the values the call used were read after
// it began, but not each at the moment of its read, so a call that hands an element back
// confirms it with live reads after close(). On macOS, and on the simulated desktop, nothing is
// batched and the scope does nothing.
//
// A call that only asks whether positions and sizes can be read, not what they are (the idle
// fingerprint), says so (Geometry::PresenceOnly): a backend may then know it without asking.
//
// A scope given the call's time limit (`deadline`, on the monotonic clock) sends nothing more in
// bulk once it has passed: from then on the reads of the application fail as for an application
// that does not answer, so that no tree, however large, keeps the call reading past its limit.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/clock.h"
#include "platform/platform.h"

namespace pelorix::platform {

enum class Geometry : std::uint8_t { Values, PresenceOnly };

// What a backend keeps for one open scope (see ElementObject::open_read_batch).
class ReadBatch {
 public:
  virtual ~ReadBatch() = default;
  // The call's time limit: past it, nothing more is read in bulk.
  virtual void limit_to(Instant deadline) = 0;
  virtual void geometry_presence_only() = 0;
};

class ReadScope {
 public:
#if defined(__APPLE__)
  explicit ReadScope(AXUIElementRef, std::optional<Instant> = std::nullopt,
                     Geometry = Geometry::Values) {}
  bool batched() const {
    return false;
  }
  void close() {}
#else
  explicit ReadScope(AXUIElementRef root, std::optional<Instant> deadline = std::nullopt,
                     Geometry geometry = Geometry::Values);
  bool batched() const {
    return batch_ != nullptr;
  }
  void close() {
    batch_.reset();
  }
#endif
  ReadScope(const ReadScope&) = delete;
  ReadScope& operator=(const ReadScope&) = delete;

 private:
#if !defined(__APPLE__)
  std::unique_ptr<ReadBatch> batch_;
#endif
};

}  // namespace pelorix::platform
