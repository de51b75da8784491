// The asynchronous runtime the idle engine drives the idle service's waits with: a pool of
// worker threads, one per processor core, with its timers. It is started by the first
// wait_for_idle of the process and then kept for the life of the process; the tree heuristic
// never hands it work.
#pragma once

#include <chrono>
#include <memory>

#include "error/result.h"

namespace pelorix::sync {

class Runtime {
 public:
  // Starts `workers` threads (at least one). Throws std::system_error when a thread or the
  // timer machinery cannot be set up, after stopping whatever it had started.
  explicit Runtime(unsigned workers);
  ~Runtime();
  Runtime(const Runtime&) = delete;
  Runtime& operator=(const Runtime&) = delete;

  unsigned workers() const;

  // Blocks the calling thread until a timer of the runtime has run `interval`.
  void wait_on_timer(std::chrono::nanoseconds interval);

 private:
  struct Pool;
  std::unique_ptr<Pool> pool_;
};

// The process's runtime, started on the first call with one worker per core. When it cannot be
// started nothing is kept, that call fails, and the next call tries again.
Result<Runtime*, Failure> process_runtime();

}  // namespace pelorix::sync
