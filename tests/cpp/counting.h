// Assertions on the platform's reference counts: a test takes a snapshot before and checks
// afterwards that every object it caused to be made is gone again.
#pragma once

#include <gtest/gtest.h>

#include "platform/cf_object.h"

namespace pelorix::testing_support {

class LiveObjects {
 public:
  LiveObjects() : before_(platform::object_counts()) {}

  // Objects alive now that were not alive at construction, per kind.
  ::testing::AssertionResult balanced() const {
    platform::ObjectCounts now = platform::object_counts();
    std::string leaks;
    for (int i = 0; i < platform::kKindCount; ++i)
      if (now.live[i] != before_.live[i])
        leaks += " kind#" + std::to_string(i) + ":" + std::to_string(now.live[i] - before_.live[i]);
    if (now.true_refs != before_.true_refs) leaks += " kCFBooleanTrue";
    if (now.false_refs != before_.false_refs) leaks += " kCFBooleanFalse";
    if (leaks.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "unbalanced:" << leaks;
  }
  std::uint64_t created_since() const {
    return platform::object_counts().created - before_.created;
  }

 private:
  platform::ObjectCounts before_;
};

}  // namespace pelorix::testing_support
