#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/call_bounds.h"
#include "platform/clock.h"
#include "platform/xpc_fake.h"
#include "sync/once_cell.h"
#include "sync/siphash.h"
#include "sync/sync_engine.h"

namespace pelorix::sync {
namespace {

using namespace std::chrono_literals;

std::vector<std::uint8_t> counting_bytes(std::size_t n) {
  std::vector<std::uint8_t> bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i);
  return bytes;
}

template <class Hasher>
std::uint64_t hash_in_pieces(Hasher hasher, const std::vector<std::uint8_t>& bytes,
                             std::size_t piece) {
  for (std::size_t at = 0; at < bytes.size(); at += piece)
    hasher.write(bytes.data() + at, std::min(piece, bytes.size() - at));
  return hasher.finish();
}

struct Vector {
  std::size_t length;  // of the message 00 01 02 ...
  std::uint64_t expected;
};

// The reference vectors published with SipHash-2-4 (key 00 01 .. 0f): they pin down the
// rounds, the padding and the byte order shared by every variant.
TEST(SipHash, MatchesThePublishedSipHash24Vectors) {
  const Vector vectors[] = {{0, 0x726fdb47dd0e0e31},
                            {1, 0x74f839c593dc67fd},
                            {8, 0x93f5f5799a932462},
                            {15, 0xa129ca6149be45e5},
                            {63, 0x958a324ceb064572}};
  for (const Vector& v : vectors)
    for (std::size_t piece : {1, 3, 8, 64})
      EXPECT_EQ(hash_in_pieces(SipHasher<2, 4>(0x0706050403020100, 0x0f0e0d0c0b0a0908),
                               counting_bytes(v.length), piece),
                v.expected)
          << "length " << v.length << " in pieces of " << piece;
}

// SipHash-1-3 with the zero key, computed independently by CPython's own implementation
// (hash(bytes(range(n))) under PYTHONHASHSEED=0, whose key is then zero, taken modulo 2^64).
TEST(SipHash, OneThreeVariantWithZeroKeyMatchesAnIndependentImplementation) {
  const Vector vectors[] = {{1, 0x68a914128e01e473},  {7, 0x2f098ab0c751325a},
                            {8, 0xead411e67ebe2eea},  {9, 0x75927f9d95124362},
                            {15, 0xf30eb725bb91c9ea}, {16, 0x8972188433a5c5b7},
                            {63, 0x385d3e39e5f37359}};
  for (const Vector& v : vectors)
    for (std::size_t piece : {1, 5, 8, 64})
      EXPECT_EQ(hash_in_pieces(SipHasher13(0, 0), counting_bytes(v.length), piece), v.expected)
          << "length " << v.length << " in pieces of " << piece;
}

TEST(Limit, ConvertsEveryMillisecondCountExactly) {
  EXPECT_TRUE(Limit::milliseconds(0).reached_by(0ns));
  EXPECT_TRUE(Limit::milliseconds(0).reached_by(-5ns));
  EXPECT_FALSE(Limit::milliseconds(1500).reached_by(1499999999ns));
  EXPECT_TRUE(Limit::milliseconds(1500).reached_by(1500ms));
  // Far beyond what a signed nanosecond count holds; must not wrap into a small limit.
  EXPECT_FALSE(Limit::milliseconds(UINT64_MAX).reached_by(std::chrono::nanoseconds::max()));
  EXPECT_FALSE(Limit::milliseconds(9223372036855).reached_by(std::chrono::nanoseconds::max()));
}

// The waiting rule over scripted readings: how many readings a wait takes, and its answer.
struct Script {
  std::vector<std::uint64_t> readings;  // the last one repeats
  std::uint64_t limit_ms;
  bool idle;
  std::size_t taken;
};

class Stable : public ::testing::TestWithParam<Script> {};

TEST_P(Stable, IdleAtTheFourthIdenticalReadingInARow) {
  const Script& script = GetParam();
  std::size_t taken = 0;
  bool idle = wait_until_stable(Limit::milliseconds(script.limit_ms), [&] {
    return script.readings[std::min(taken++, script.readings.size() - 1)];
  });
  EXPECT_EQ(idle, script.idle);
  EXPECT_EQ(taken, script.taken);
}

INSTANTIATE_TEST_SUITE_P(
    Readings, Stable,
    ::testing::Values(Script{{7}, 5000, true, 4}, Script{{7, 7, 7, 8}, 5000, true, 7},
                      Script{{1, 2, 2, 2, 3, 3}, 5000, true, 8},
                      // The initial previous value is 0, so a first 0 already counts as a repeat.
                      Script{{0}, 5000, true, 3}, Script{{1, 2}, 0, false, 0},
                      // A reading every 50 ms cannot reach the fourth within 120 ms.
                      Script{{5}, 120, false, 3}));

// A tree too large to fingerprint within the limit: each reading goes on until the call's
// bounds stop it (as the batched reads do), or would take `each` otherwise.
struct SlowReading {
  std::chrono::milliseconds limit;
  std::chrono::milliseconds each;
};

class EndsAtItsLimit : public ::testing::TestWithParam<SlowReading> {};

TEST_P(EndsAtItsLimit, AndJudgesNoReadingCutShort) {
  const SlowReading& slow = GetParam();
  int taken = 0;
  platform::Instant start = platform::now();
  bool idle =
      wait_until_stable(Limit::milliseconds(static_cast<std::uint64_t>(slow.limit.count())), [&] {
        ++taken;
        platform::Instant begun = platform::now();
        while (!platform::call_stopped() && platform::now() - begun < slow.each)
          std::this_thread::sleep_for(1ms);
        return std::uint64_t{7};
      });
  auto took = platform::now() - start;
  // Every reading gives the same value: only readings cut short could make it answer true.
  EXPECT_FALSE(idle);
  EXPECT_GE(took, slow.limit);
  EXPECT_LT(took, slow.limit + 60ms);       // never a whole reading (or the request margin) past it
  EXPECT_EQ(taken >= 1, slow.limit > 0ms);  // a limit of 0 reads nothing
}

INSTANTIATE_TEST_SUITE_P(Readings, EndsAtItsLimit,
                         ::testing::Values(SlowReading{150ms, 10s}, SlowReading{300ms, 80ms},
                                           SlowReading{0ms, 10s}));

// --- The idle-service client over a fake connection --------------------------------------

struct Service {
  std::vector<std::string> selectors;
  std::vector<platform::Instant> asked_at;
  // Answers, in order; the last repeats. -1: an error reply; 2: a reply without "idle".
  std::vector<int> answers{0};

  xpc_connection_t connect() {
    return platform::make_fake_connection([this](xpc_object_t message) -> xpc_object_t {
      const char* selector = xpc_dictionary_get_string(message, "selector");
      selectors.push_back(selector ? selector : "<none>");
      // Nothing but the selector may be sent.
      if (xpc_dictionary_get_value(message, "idle") != nullptr) selectors.back() += "+extra";
      asked_at.push_back(platform::now());
      int answer = answers[std::min(selectors.size() - 1, answers.size() - 1)];
      if (answer < 0) return nullptr;
      xpc_object_t reply = xpc_dictionary_create(nullptr, nullptr, 0);
      if (answer != 2) xpc_dictionary_set_bool(reply, "idle", answer == 1);
      return reply;
    });
  }
};

struct ClientTest : ::testing::Test {
  long live_before = platform::xpc_live_objects();
  Service service;
  void TearDown() override { EXPECT_EQ(platform::xpc_live_objects(), live_before); }
};

TEST_F(ClientTest, AsksWithTheSelectorAndReadsOnlyATrueIdle) {
  service.answers = {1, 0, -1, 2, 1};
  {
    SerenixClient client(service.connect());
    std::vector<bool> got;
    for (int i = 0; i < 5; ++i) got.push_back(client.is_idle());
    EXPECT_EQ(got, (std::vector<bool>{true, false, false, false, true}));
  }
  EXPECT_EQ(service.selectors, std::vector<std::string>(5, "isIdle"));
}

TEST_F(ClientTest, TeardownCancelsTheConnectionOnce) {
  xpc_connection_t connection = service.connect();
  xpc_retain(connection);  // to look at it afterwards
  { SerenixClient client(connection); }
  EXPECT_TRUE(platform::fake_connection_cancelled(connection));
  xpc_release(connection);
}

TEST_F(ClientTest, WaitPollsEveryTenMillisecondsUntilIdle) {
  Runtime runtime(2);
  service.answers = {0, 0, 1};
  SerenixClient client(service.connect());
  EXPECT_TRUE(client.wait_for_idle(Limit::milliseconds(5000), runtime));
  ASSERT_EQ(service.selectors.size(), 3u);
  for (std::size_t i = 1; i < 3; ++i)
    EXPECT_GE(service.asked_at[i] - service.asked_at[i - 1], kServicePollInterval);

  service.selectors.clear();
  service.answers = {1};
  EXPECT_TRUE(client.wait_for_idle(Limit::milliseconds(5000), runtime));
  EXPECT_EQ(service.selectors.size(), 1u);

  service.selectors.clear();
  EXPECT_FALSE(client.wait_for_idle(Limit::milliseconds(0), runtime));
  EXPECT_TRUE(service.selectors.empty());

  // Without a connection nothing is idle, and the wait runs to its limit.
  SerenixClient unconnected(nullptr);
  EXPECT_FALSE(unconnected.is_idle());
  platform::Instant start = platform::now();
  EXPECT_FALSE(unconnected.wait_for_idle(Limit::milliseconds(30), runtime));
  EXPECT_GE(platform::now() - start, 30ms);
}

// --- Which strategy the engine uses ---------------------------------------------------------

struct Dispatch {
  SyncMode mode;
  bool with_client;
  // A service that always answers "busy", and a tree that cannot be read (a constant
  // fingerprint, so the heuristic answers "idle"): the answers tell who decided.
  bool is_idle;
  bool waited_idle;
  bool service_asked;
};

class EngineDispatch : public ::testing::TestWithParam<Dispatch> {};

TEST_P(EngineDispatch, AsksTheServiceOnlyWhenTheModeAllowsAndAClientExists) {
  const Dispatch& d = GetParam();
  long live_before = platform::xpc_live_objects();
  Service service;
  {
    auto client = d.with_client ? std::make_unique<SerenixClient>(service.connect()) : nullptr;
    SyncEngine engine(HeuristicSync{nullptr, 4242}, d.mode, std::move(client));
    EXPECT_EQ(engine.is_idle(), d.is_idle);
    auto waited = engine.wait_for_idle(Limit::milliseconds(200));
    ASSERT_TRUE(waited.ok());
    EXPECT_EQ(*waited, d.waited_idle);
    EXPECT_EQ(!service.selectors.empty(), d.service_asked);
  }
  EXPECT_EQ(platform::xpc_live_objects(), live_before);
}

INSTANTIATE_TEST_SUITE_P(Modes, EngineDispatch,
                         ::testing::Values(Dispatch{SyncMode::Service, true, false, false, true},
                                           Dispatch{SyncMode::Service, false, false, true, false},
                                           Dispatch{SyncMode::Heuristic, true, true, true, false},
                                           Dispatch{SyncMode::Heuristic, false, true, true, false},
                                           Dispatch{SyncMode::Hybrid, true, false, false, true},
                                           Dispatch{SyncMode::Hybrid, false, true, true, false}));

// --- The process-wide runtime ---------------------------------------------------------------

TEST(OnceCellTest, AFailedFirstMakeKeepsNothingAndTheNextCallTriesAgain) {
  OnceCell<int> cell;
  EXPECT_THROW(cell.get_or_init([]() -> std::unique_ptr<int> { throw std::runtime_error("no"); }),
               std::runtime_error);
  EXPECT_EQ(cell.get(), nullptr);
  std::atomic<int> made{0};
  std::vector<std::thread> threads;
  std::vector<int*> seen(8);
  for (int i = 0; i < 8; ++i)
    threads.emplace_back([&, i] {
      seen[i] = &cell.get_or_init([&] {
        ++made;
        std::this_thread::sleep_for(5ms);
        return std::make_unique<int>(7);
      });
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(made.load(), 1);
  for (int* value : seen) EXPECT_EQ(value, cell.get());
}

}  // namespace
}  // namespace pelorix::sync
