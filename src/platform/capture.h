// Having a system program write a file and taking what it wrote, through a path nobody else can
// predict, pre-empt or redirect, and without leaving anything behind.
#pragma once

#include <string>
#include <variant>
#include <vector>

namespace pelorix::platform {

struct CaptureFailure {
  enum class Stage {
    // The private directory for the file could not be made.
    NoPrivateFile,
    // The program could not be started.
    CouldNotStart,
    // The program ran but did not exit normally with code 0.
    Unsuccessful,
    // The file is missing, is not a regular file or cannot be read.
    CouldNotRead,
  };
  Stage stage;
  // The error number behind every stage but Unsuccessful.
  int error_number = 0;
  // The system error text of error_number.
  std::string text() const;
};

// Runs `argv` with one more argument, the path of a file in a new directory of its own under
// /tmp (mode 0700, made by mkdtemp), and returns the content the program left in that file.
// Both the directory and the file are named `stem` ("<stem>_XXXXXX/<stem><extension>"), so a
// listing shows who made them. The file is read without following a symbolic link, and the
// directory is removed with everything in it whatever the outcome.
std::variant<std::string, CaptureFailure> capture_to_file(std::vector<std::string> argv,
                                                          const std::string& stem,
                                                          const std::string& extension);

}  // namespace pelorix::platform
