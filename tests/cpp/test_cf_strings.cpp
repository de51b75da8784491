#include <gtest/gtest.h>

#include "accessibility/primitives.h"
#include "counting.h"
#include "platform/cf_object.h"

namespace pelorix {
namespace {

using accessibility::cf_string_to_string;
using testing_support::LiveObjects;

struct StringCase {
  const char* label;
  std::u16string units;
  bool offer_direct;
  bool expect_direct;
  std::string expected;
};

class StringConversion : public testing::TestWithParam<StringCase> {};

TEST_P(StringConversion, ReadsTheWholeTextThroughEitherPath) {
  const StringCase& c = GetParam();
  LiveObjects live;
  {
    auto string = CFRef<CFStringRef>::adopt(platform::make_string(c.units, c.offer_direct));
    EXPECT_EQ(CFStringGetCStringPtr(string.get(), kCFStringEncodingUTF8) != nullptr,
              c.expect_direct);
    CFIndex before = CFGetRetainCount(string.get());
    EXPECT_EQ(cf_string_to_string(string.get()), c.expected);
    EXPECT_EQ(CFGetRetainCount(string.get()), before) << "the string must not be consumed";
  }
  EXPECT_TRUE(live.balanced());
}

INSTANTIATE_TEST_SUITE_P(
    Paths, StringConversion,
    testing::Values(StringCase{"ascii_direct", u"Save", true, true, "Save"},
                    StringCase{"ascii_copied", u"Save", false, false, "Save"},
                    StringCase{"empty_direct", u"", true, true, ""},
                    StringCase{"empty_copied", u"", false, false, ""},
                    StringCase{"accented_direct", u"caf\u00e9", true, true, "caf\xc3\xa9"},
                    StringCase{"accented_copied", u"caf\u00e9", false, false, "caf\xc3\xa9"},
                    StringCase{"astral", u"a\U0001F600b", false, false,
                               "a\xf0\x9f\x98\x80"
                               "b"},
                    // A NUL cannot travel as a C string, so the byte path keeps it.
                    StringCase{"embedded_nul", std::u16string(u"a\0b", 3), true, false,
                               std::string("a\0b", 3)},
                    // A lone surrogate has no UTF-8 form: the text stops before it.
                    StringCase{"lone_surrogate", std::u16string(u"ok") + char16_t(0xD800) + u"x",
                               false, false, "ok"}),
    [](const testing::TestParamInfo<StringCase>& param) { return param.param.label; });

TEST(StringConversion, AbsentStringIsNothing) {
  EXPECT_EQ(cf_string_to_string(nullptr), std::nullopt);
}

TEST(StringCreation, MakesUtf8NamesAndRefusesMalformedBytes) {
  LiveObjects live;
  {
    auto name = accessibility::make_cf_string("AX\xc3\xa9");
    ASSERT_TRUE(name);
    EXPECT_EQ(CFStringGetLength(name.get()), 3);
    EXPECT_EQ(cf_string_to_string(name.get()), "AX\xc3\xa9");
    EXPECT_FALSE(accessibility::make_cf_string("\xc3"));
    EXPECT_FALSE(accessibility::make_cf_string("\xed\xa0\x80"));  // an encoded surrogate
    EXPECT_FALSE(accessibility::make_cf_string("\xc0\x80"));      // an overlong NUL
  }
  EXPECT_TRUE(live.balanced());
}

TEST(StringBytes, StopsWhereTheBufferEndsWithoutSplittingACharacter) {
  auto string = CFRef<CFStringRef>::adopt(platform::make_string(u"a\u00e9b", false));
  UInt8 buffer[8] = {};
  CFIndex used = 0;
  CFIndex converted = CFStringGetBytes(string.get(), CFRangeMake(0, 3), kCFStringEncodingUTF8, 0,
                                       false, buffer, 2, &used);
  EXPECT_EQ(converted, 1);
  EXPECT_EQ(used, 1);
  converted = CFStringGetBytes(string.get(), CFRangeMake(0, 3), kCFStringEncodingUTF8, '?', false,
                               nullptr, 0, &used);
  EXPECT_EQ(converted, 3);
  EXPECT_EQ(used, 4);
}

}  // namespace
}  // namespace pelorix
