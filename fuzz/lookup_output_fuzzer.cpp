// The lookup programs' output read back: a found pid is always one positive process id, and
// only what the rules say matters (pgrep's first line; the trimmed whole of osascript's).
#include <string>

#include "invariant.h"
#include "platform/host_commands.h"

using pelorix::platform::LookupAnswer;
namespace commands = pelorix::platform::commands;

namespace {

bool same(const LookupAnswer& a, const LookupAnswer& b) {
  return a.kind == b.kind && (a.kind != LookupAnswer::Kind::Found || a.pid == b.pid);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, unsigned long size) {
  std::string output(reinterpret_cast<const char*>(data), size);
  for (auto read : {commands::read_pgrep_output, commands::read_osascript_output}) {
    LookupAnswer answer = read(output);
    if (answer.kind == LookupAnswer::Kind::Found) FUZZ_CHECK(answer.pid > 0);
    FUZZ_CHECK(same(answer, read(output)));
    FUZZ_CHECK(same(answer, read(" \t" + output + "\r\n ")) ||
               output.find('\n') != std::string::npos);
  }
  if (output.find('\n') == std::string::npos) {
    // Whatever follows the first line is never read.
    FUZZ_CHECK(
        same(commands::read_pgrep_output(output), commands::read_pgrep_output(output + "\n7\n")));
  }
  return 0;
}
