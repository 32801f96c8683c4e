// The value forms of the script: plain where safe, quoted where not.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "cli/frontends.h"

namespace {

struct QuoteCase {
  const char* value;
  const char* word;
};

// Test names show the value with every byte outside printable ASCII as \xHH.
void PrintTo(const QuoteCase& c, std::ostream* os) {
  static const char hex[] = "0123456789ABCDEF";
  if (*c.value == '\0') *os << "(empty)";
  for (const char* p = c.value; *p != '\0'; ++p) {
    const auto byte = static_cast<unsigned char>(*p);
    if (byte > 0x20 && byte < 0x7F) {
      *os << *p;
    } else {
      *os << "\\x" << hex[byte >> 4] << hex[byte & 0xF];
    }
  }
}

class ShellWord : public testing::TestWithParam<QuoteCase> {};

TEST_P(ShellWord, OnlyUnsafeValuesAreQuoted) { EXPECT_EQ(shellWord(GetParam().value), GetParam().word); }

INSTANTIATE_TEST_SUITE_P(Script, ShellWord,
                         testing::Values(QuoteCase{"", ""}, QuoteCase{"Lab_Tree-1", "Lab_Tree-1"},
                                         QuoteCase{"CN=PC1.OU=Lab.O=Corp", "CN=PC1.OU=Lab.O=Corp"},
                                         QuoteCase{"a@b%c+d:e,f/g", "a@b%c+d:e,f/g"},
                                         QuoteCase{"East Tree", "'East Tree'"},
                                         QuoteCase{"$(reboot)", "'$(reboot)'"},
                                         QuoteCase{"it's", "'it'\\''s'"}, QuoteCase{"a\nb", "'a\nb'"},
                                         QuoteCase{"caf\xE9", "'caf\xE9'"}, QuoteCase{"~root", "'~root'"},
                                         QuoteCase{"*", "'*'"}));

TEST(ShellDoubleQuoted, BackslashQuoteDollarAndBackquoteAreEscaped) {
  EXPECT_EQ(shellDoubleQuoted("//srv/img path"), "\"//srv/img path\"");
  EXPECT_EQ(shellDoubleQuoted("a\\b\"c$d`e'f"), "\"a\\\\b\\\"c\\$d\\`e'f\"");
}

}  // namespace
