// Why the last accessibility call of this thread failed, where the backend knows more than the
// status says: on the real Linux desktop, that the element offers no press action (and which
// actions it has), that it has no editable text, that a value holds a NUL character. The error
// texts append it to what the status says. Apple's frameworks and the simulated desktop record
// none, so there the texts are the status's alone.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pelorix::platform {

// Forgets the detail: every accessibility call starts with none.
void clear_failure_detail();
// Records why the call about `name` (an attribute or action) fails with `status`.
void note_failure_detail(std::int32_t status, std::string_view name, std::string text);
// The detail of this thread's last call when it failed with `status` about `name`, else empty.
std::string failure_detail(std::int32_t status, std::string_view name);

}  // namespace pelorix::platform
