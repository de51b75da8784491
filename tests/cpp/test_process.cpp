// Running system programs: a program that hangs or floods its output is bounded.
#include "platform/process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <variant>

namespace pelorix::platform {
namespace {

using namespace std::chrono_literals;

TEST(RunProgram, AHungProgramIsStoppedAtItsLimit) {
  auto began = std::chrono::steady_clock::now();
  auto ran = run_program({"sh", "-c", "echo started; exec sleep 60"}, 300ms);
  auto took = std::chrono::steady_clock::now() - began;
  ASSERT_TRUE(std::holds_alternative<ProgramOutput>(ran));
  const auto& output = std::get<ProgramOutput>(ran);
  EXPECT_TRUE(output.timed_out);
  EXPECT_FALSE(output.succeeded());
  EXPECT_EQ(output.standard_output, "started\n");
  EXPECT_EQ(output.standard_error, "sh did not finish within 300 ms and was stopped");
  EXPECT_LT(took, 10s);
}

TEST(RunProgram, AProgramWithinItsLimitIsNotStopped) {
  auto ran = run_program({"sh", "-c", "echo done"}, 10s);
  ASSERT_TRUE(std::holds_alternative<ProgramOutput>(ran));
  EXPECT_FALSE(std::get<ProgramOutput>(ran).timed_out);
  EXPECT_TRUE(std::get<ProgramOutput>(ran).succeeded());
}

TEST(RunProgram, OutputPastTheCapIsDropped) {
  // 40 MB of output, of which the cap is kept; the program still ends normally.
  auto ran = run_program({"sh", "-c", "head -c 41943040 /dev/zero"}, 60s);
  ASSERT_TRUE(std::holds_alternative<ProgramOutput>(ran));
  const auto& output = std::get<ProgramOutput>(ran);
  EXPECT_TRUE(output.succeeded());
  EXPECT_EQ(output.standard_output.size(), kMaxProgramOutput);
}

}  // namespace
}  // namespace pelorix::platform
