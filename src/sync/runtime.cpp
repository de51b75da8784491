#include "sync/runtime.h"

#include <pthread.h>
#include <signal.h>

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>
#include <asio/use_future.hpp>
#include <system_error>
#include <thread>
#include <vector>

#include "sync/once_cell.h"

namespace pelorix::sync {
namespace {

// Worker threads start with every signal blocked, so signals meant for the interpreter (Ctrl-C)
// keep reaching the thread that runs Python and interrupt what it waits for.
class SignalsBlocked {
 public:
  SignalsBlocked() {
    sigset_t all;
    sigfillset(&all);
    blocked_ = pthread_sigmask(SIG_BLOCK, &all, &previous_) == 0;
  }
  ~SignalsBlocked() {
    if (blocked_) pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }
  SignalsBlocked(const SignalsBlocked&) = delete;
  SignalsBlocked& operator=(const SignalsBlocked&) = delete;

 private:
  sigset_t previous_{};
  bool blocked_ = false;
};

}  // namespace

struct Runtime::Pool {
  asio::io_context context;
  asio::executor_work_guard<asio::io_context::executor_type> work{context.get_executor()};
  std::vector<std::thread> threads;

  void stop() {
    work.reset();
    context.stop();
    for (std::thread& thread : threads)
      if (thread.joinable()) thread.join();
    threads.clear();
  }
};

Runtime::Runtime(unsigned workers) : pool_(std::make_unique<Pool>()) {
  try {
    // Making a timer sets up the timer and I/O machinery now, so that a later wait cannot fail
    // for it.
    asio::steady_timer ready(pool_->context);
    SignalsBlocked blocked;
    if (workers == 0) workers = 1;
    pool_->threads.reserve(workers);
    for (unsigned i = 0; i < workers; ++i)
      pool_->threads.emplace_back([context = &pool_->context] { context->run(); });
  } catch (...) {
    // The threads already running would otherwise keep the process from ever joining them.
    pool_->stop();
    throw;
  }
}

Runtime::~Runtime() {
  pool_->stop();
}

unsigned Runtime::workers() const {
  return static_cast<unsigned>(pool_->threads.size());
}

void Runtime::wait_on_timer(std::chrono::nanoseconds interval) {
  asio::steady_timer timer(pool_->context,
                           std::chrono::duration_cast<asio::steady_timer::duration>(interval));
  // The timer fires on a worker; the future keeps its own state alive until both sides are done.
  timer.async_wait(asio::use_future).get();
}

Result<Runtime*, Failure> process_runtime() {
  // Never destroyed: the runtime lives until the process ends.
  static auto* const cell = new OnceCell<Runtime>();
  try {
    return &cell->get_or_init([] {
      unsigned cores = std::thread::hardware_concurrency();
      return std::make_unique<Runtime>(cores == 0 ? 1 : cores);
    });
  } catch (const std::system_error& failure) {
    return Failure(std::string("Failed to start the idle runtime: ") + failure.what());
  }
}

}  // namespace pelorix::sync
