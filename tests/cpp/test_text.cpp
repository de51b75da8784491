#include <gtest/gtest.h>
#include <sys/mman.h>

#include "platform/host_commands.h"
#include "util/text.h"

namespace pelorix {
namespace {

struct Decoding {
  std::string bytes;
  std::string text;
};

class LossyDecoding : public testing::TestWithParam<Decoding> {};

TEST_P(LossyDecoding, ReplacesEachIllFormedSequence) {
  EXPECT_EQ(text::decode_lossy(GetParam().bytes), GetParam().text);
}

const std::string kReplacement = "\xEF\xBF\xBD";

INSTANTIATE_TEST_SUITE_P(
    Bytes, LossyDecoding,
    testing::Values(Decoding{"4242\n", "4242\n"}, Decoding{"caf\xC3\xA9", "caf\xC3\xA9"},
                    Decoding{kReplacement, kReplacement},  // a real U+FFFD stays one
                    Decoding{"a\xFF"
                             "b",
                             "a" + kReplacement + "b"},
                    Decoding{"\xC3", kReplacement},  // truncated
                    Decoding{"\xED\xA0\x80", kReplacement + kReplacement + kReplacement},
                    Decoding{"\xF0\x9F\x98", kReplacement},  // maximal subpart
                    Decoding{std::string("1\0"
                                         "2",
                                         3),
                             std::string("1\0"
                                         "2",
                                         3)}));

TEST(WhiteSpace, TrimsEveryWhiteSpaceCharacterAndNothingElse) {
  EXPECT_EQ(text::trim_white_space(" \t\r\n 4242 \n"), "4242");
  // NEL, NBSP, ideographic space and the paragraph separator are white space too.
  EXPECT_EQ(text::trim_white_space("\xC2\x85\xC2\xA0"
                                   "a b\xE3\x80\x80\xE2\x80\xA9"),
            "a b");
  // A zero-width space is not.
  EXPECT_EQ(text::trim_white_space("\xE2\x80\x8B"
                                   "x"),
            "\xE2\x80\x8B"
            "x");
  EXPECT_EQ(text::trim_white_space(" \t "), "");
  EXPECT_EQ(text::trim_white_space(""), "");
}

TEST(Lines, FirstLineDropsOneCarriageReturn) {
  EXPECT_EQ(text::first_line("812\n1337\n"), "812");
  EXPECT_EQ(text::first_line("812\r\n"), "812");
  EXPECT_EQ(text::first_line("812\r\r\n"), "812\r");
  EXPECT_EQ(text::first_line("812"), "812");
  EXPECT_EQ(text::first_line("\n812"), "");
}

TEST(Integers, SignedThirtyTwoBitsExactly) {
  EXPECT_EQ(text::parse_i32("4242"), 4242);
  EXPECT_EQ(text::parse_i32("+7"), 7);
  EXPECT_EQ(text::parse_i32("-2147483648"), INT32_MIN);
  EXPECT_EQ(text::parse_i32("2147483647"), INT32_MAX);
  EXPECT_EQ(text::parse_i32("0042"), 42);
  for (const char* bad : {"2147483648", "-2147483649", "99999999999999999999", "", "+", "-", "12a",
                          " 1", "1 ", "123, 456", "0x10", "--1", "1e3"})
    EXPECT_EQ(text::parse_i32(bad), std::nullopt) << bad;
}

TEST(BundleScript, QuotesAndBackslashesCannotLeaveTheStringLiteral) {
  EXPECT_EQ(platform::commands::bundle_lookup_script("com.apple.TextEdit"),
            "tell application \"System Events\" to unix id of (processes whose bundle "
            "identifier is \"com.apple.TextEdit\")");
  EXPECT_EQ(platform::commands::bundle_lookup_script("a\" & (do shell script \"x\") & \"\\"),
            "tell application \"System Events\" to unix id of (processes whose bundle "
            "identifier is \"a\\\" & (do shell script \\\"x\\\") & \\\"\\\\\")");
}

}  // namespace
}  // namespace pelorix

// A text of 2 GiB or more is measured whole, not as a negative 32-bit length. The pages are
// mapped without being touched (they read as zeros and take no memory) but the last one.
TEST(TrimWhiteSpace, ATextPastTwoGibibytesIsTrimmedAtItsRealEnd) {
  const std::size_t size = (std::size_t{1} << 31) + 4096;
  void* pages = mmap(nullptr, size, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (pages == MAP_FAILED) GTEST_SKIP() << "no address space for 2 GiB here";
  auto* bytes = static_cast<char*>(pages);
  bytes[0] = 'x';
  bytes[size - 1] = ' ';
  std::string_view text(bytes, size);
  EXPECT_EQ(pelorix::text::trim_white_space(text).size(), size - 1);
  munmap(pages, size);
}
