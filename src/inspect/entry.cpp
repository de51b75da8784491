// What pelorixkit.inspect asks through the module's C interface: an application's tree and the
// module's own search. It lives in the module itself so that it reaches the very desktop,
// elements and search the module uses; the Python surface of pelorix stays as it is.
#include "inspect/entry.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>

#include "app/connect.h"
#include "app/query.h"
#include "inspect/inspection.h"

namespace {

using nlohmann::json;
using pelorix::inspect::Inspection;

struct Sessions {
  std::mutex mutex;
  std::int64_t next = 1;
  std::map<std::int64_t, std::unique_ptr<Inspection>> open;
};

// Never destroyed: a session left open at exit must not release its elements after the
// desktop backends are gone.
Sessions& sessions() {
  static auto* instance = new Sessions;
  return *instance;
}

json optional_text(const std::optional<std::string>& text) {
  return text ? json(*text) : json(nullptr);
}

json optional_flag(const std::optional<bool>& flag) {
  return flag ? json(*flag) : json(nullptr);
}

json open_session(const json& pid) {
  if (!pid.is_number_integer() || pid.get<std::int64_t>() <= 0 ||
      pid.get<std::int64_t>() > pelorix::kMaxPid)
    return {{"error", "open needs a process id"}};
  auto inspection = Inspection::open(static_cast<pid_t>(pid.get<std::int64_t>()));
  if (!inspection) return {{"error", inspection.error().message}};
  Sessions& all = sessions();
  std::lock_guard<std::mutex> guard(all.mutex);
  std::int64_t id = all.next++;
  all.open.emplace(id, std::move(inspection).value());
  return {{"session", id}};
}

json read_element(Inspection& inspection, const json& number) {
  if (!number.is_number_unsigned()) return {{"error", "read needs an element number"}};
  auto reading = inspection.read(number.get<std::size_t>());
  if (!reading) return {{"error", "no unread element " + number.dump()}};
  json bounds = nullptr;
  if (reading->bounds) {
    const pelorix::Rect& r = *reading->bounds;
    bounds = json::array({r.x, r.y, r.width, r.height});
  }
  return {{"role", optional_text(reading->role)},
          {"title", optional_text(reading->title)},
          {"identifier", optional_text(reading->identifier)},
          {"label", optional_text(reading->label)},
          {"value", optional_text(reading->value)},
          {"enabled", optional_flag(reading->enabled)},
          {"focused", optional_flag(reading->focused)},
          {"bounds", bounds},
          {"children", reading->children_readable ? json(reading->children) : json(nullptr)}};
}

json find(const Inspection& inspection, const json& query) {
  if (!query.is_string()) return {{"error", "find needs a query"}};
  auto outcome = inspection.find(query.get<std::string>());
  return {{"found", outcome.found},
          {"element", outcome.element ? json(*outcome.element) : json(nullptr)},
          {"seconds", std::chrono::duration<double>(outcome.elapsed).count()}};
}

// The criteria a query parses to, as the find operations see them.
json parse(const json& query) {
  if (!query.is_string()) return {{"error", "parse needs a query"}};
  auto criteria = pelorix::parse_query(query.get<std::string>());
  if (!criteria) return {{"invalid", criteria.error().message()}};
  return {{"role", optional_text(criteria->role)},
          {"title", optional_text(criteria->title)},
          {"identifier", optional_text(criteria->identifier)},
          {"label", optional_text(criteria->label)},
          {"debug", criteria->debug_form()}};
}

json in_session(const json& request) {
  const json& id = request["session"];
  if (!id.is_number_integer()) return {{"error", "no such session"}};
  Sessions& all = sessions();
  std::unique_lock<std::mutex> guard(all.mutex);
  auto session = all.open.find(id.get<std::int64_t>());
  if (session == all.open.end()) return {{"error", "no such session"}};
  if (request.contains("close")) {
    std::unique_ptr<Inspection> closing = std::move(session->second);
    all.open.erase(session);
    guard.unlock();  // the elements are released outside the lock
    return json::object();
  }
  // Held throughout, so that no other thread closes the session while it is read.
  Inspection& inspection = *session->second;
  if (request.contains("read")) return read_element(inspection, request["read"]);
  if (request.contains("find")) return find(inspection, request["find"]);
  return {{"error", "unknown request"}};
}

json answer(const char* text) {
  json request = json::parse(text, nullptr, false);
  if (!request.is_object()) return {{"error", "the request is not a JSON object"}};
  if (request.contains("open")) return open_session(request["open"]);
  if (request.contains("parse")) return parse(request["parse"]);
  if (request.contains("session")) return in_session(request);
  return {{"error", "unknown request"}};
}

char* copy_out(const std::string& text) {
  auto* out = static_cast<char*>(std::malloc(text.size() + 1));
  if (out != nullptr) std::memcpy(out, text.c_str(), text.size() + 1);
  return out;
}

}  // namespace

namespace pelorix::inspect {

char* request(const char* text) noexcept {
  try {
    if (text == nullptr) return copy_out(R"({"error":"no request"})");
    // Texts from the application that are not UTF-8 show as replacement characters.
    return copy_out(answer(text).dump(-1, ' ', false, json::error_handler_t::replace));
  } catch (...) {
    return copy_out(R"({"error":"the inspection ran out of memory"})");
  }
}

void free_reply(char* reply) noexcept {
  std::free(reply);
}

}  // namespace pelorix::inspect
