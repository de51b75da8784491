// The reply of an AT-SPI bridge's Cache.GetItems: every object the bridge has registered, with
// the values the bridge read when it answered. The reply comes from another process, so it is
// untrusted input: its signature is checked whole, every count is bounded, and nothing in it is
// believed beyond its type (indices and counts may disagree; the reader decides what to do).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

typedef struct DBusMessage DBusMessage;

namespace pelorix::platform::atspi {

// The D-Bus signature of a GetItems reply (at-spi2-core 2.x): object, application, parent,
// index in parent, child count, interfaces, name, role, description, states.
inline constexpr const char* kCacheItemsSignature = "a((so)(so)(so)iiassusau)";

// At most this many items are taken from one reply; a larger reply is refused whole (an
// application with more elements than this is read element by element instead).
inline constexpr std::size_t kMaxCacheItems = 200'000;
// State words beyond this many name no state AT-SPI defines.
inline constexpr std::size_t kMaxStateWords = 4;

struct CacheItem {
  std::string path;
  std::string parent_path;
  std::int32_t index_in_parent = -1;  // -1: not one of its parent's children (internal)
  std::int32_t child_count = -1;      // -1: unknown (the element manages its descendants)
  bool has_component = false;
  std::string name;
  std::uint32_t role = 0;
  std::vector<std::uint32_t> states;  // a bit set in 32-bit words, at most kMaxStateWords

  bool has_state(unsigned state) const {
    std::size_t word = state / 32;
    return word < states.size() && (states[word] & (1U << (state % 32))) != 0;
  }
};

// The items of a GetItems method return, in the order sent; nullopt for anything else: an
// error reply, another signature, more than `max_items` items.
std::optional<std::vector<CacheItem>> parse_cache_items(DBusMessage* reply,
                                                        std::size_t max_items = kMaxCacheItems);

// The same from the wire form of a whole message (what the fuzzer feeds).
std::optional<std::vector<CacheItem>> parse_cache_message(const std::uint8_t* data,
                                                          std::size_t size,
                                                          std::size_t max_items = kMaxCacheItems);

}  // namespace pelorix::platform::atspi
