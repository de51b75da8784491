// Running a system program to completion: found through PATH, standard input from the null
// device, standard output and standard error captured.
#pragma once

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
  // A normal exit with code 0.
  bool succeeded() const;
};

// Runs argv[0] with the given arguments and waits for it. Both output streams are drained
// together, so a program that writes a lot to either cannot stall on a full pipe.
std::variant<ProgramOutput, ProgramFailedToStart> run_program(const std::vector<std::string>& argv);

}  // namespace pelorix::platform
