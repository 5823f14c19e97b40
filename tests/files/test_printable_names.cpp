// Names and bytes from a file, quoted in a message, never reach the terminal raw.
#include "files/regular_file.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(PrintableNames, ControlBytesAreEscapedAndTextIsKept) {
    const struct Case {
        std::string text, shown;
        bool keepLines;
    } cases[] = {
        {"plain/name.dem", "plain/name.dem", false},
        {"\x1b[31mred", "\\x1b[31mred", false},
        {std::string("a\0b", 3), "a\\x00b", false},
        {"tab\there\r", "tab\\x09here\\x0d", false},
        {"del\x7f", "del\\x7f", false},
        {"two\nlines", "two\\x0alines", false},
        {"two\nlines", "two\nlines", true},
        {"caf\xc3\xa9 \xe2\x82\xac", "caf\xc3\xa9 \xe2\x82\xac", false},  // UTF-8 stays
        {"c1 \xc2\x9b" "2J", "c1 \\xc2\\x9b2J", false},                  // CSI as UTF-8
        {"\xc2\xa0nbsp", "\xc2\xa0nbsp", false},
        {"end \xc2", "end \xc2", false},
    };
    for (const Case& c : cases) EXPECT_EQ(platform::printable(c.text, c.keepLines), c.shown) << c.shown;
}

}  // namespace
