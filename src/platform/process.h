// Running a system program to completion: found through PATH, standard input from the null
// device, standard output and standard error captured.
#pragma once

#include <chrono>
#include <string>
#include <variant>
#include <vector>

namespace pelorix::platform {

// The operating system's description of an error number, then " (os error <number>)".
std::string system_error_text(int error_number);

struct ProgramFailedToStart {
  int error_number;
  std::string text() const { return system_error_text(error_number); }
};

struct ProgramOutput {
  std::string standard_output;
  std::string standard_error;
  // As waitpid reports it.
  int wait_status = 0;
  // The program did not end within its time limit and was killed; standard_error says so.
  bool timed_out = false;
  // A normal exit with code 0.
  bool succeeded() const;
};

// How long a system program may run. The tools pelorix runs answer within a second or two; a
// hung one (a scripting service that never replies, a capture waiting for a permission
// dialog) must not hang the caller.
inline constexpr std::chrono::milliseconds kProgramTimeLimit{30000};

// What is kept of each output stream; the rest is read and dropped.
inline constexpr std::size_t kMaxProgramOutput = 16 << 20;

// Runs argv[0] with the given arguments and waits for it, at most `limit`: then the program is
// killed and its output says so. Both output streams are drained together, so a program that
// writes a lot to either cannot stall on a full pipe.
std::variant<ProgramOutput, ProgramFailedToStart> run_program(
    const std::vector<std::string>& argv, std::chrono::milliseconds limit = kProgramTimeLimit);

}  // namespace pelorix::platform
