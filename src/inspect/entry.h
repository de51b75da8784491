// pelorix-inspect's requests: JSON in, JSON out, reaching the very desktop, elements and search
// the module uses. The module hands these out through its C interface (lib/capi.h).
#pragma once

namespace pelorix::inspect {

// Runs one JSON request and returns the JSON reply, to be given back to free_reply; null only
// when memory ran out.
char* request(const char* text) noexcept;
void free_reply(char* reply) noexcept;

}  // namespace pelorix::inspect
