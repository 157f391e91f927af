#include <gtest/gtest.h>

#include <string>

#include "tag/id3v2_extent.h"

namespace {

// What the writer takes for the ID3v2 tag a file begins with, given its first 10 bytes: the
// versions 2.2 to 2.4 and a 2.4 footer are in the table of saves above.
TEST(Id3v2Extent, IsNoTagForAnotherVersionOrASizeThatIsNotSyncsafe) {
    using namespace std::string_literals;
    EXPECT_EQ(id3::id3v2TagSize("ID3\x03\0\x10\0\0\x02\x01"s), 10 + 257) << "no footer in 2.3";
    for (const std::string& header :
         {"ID3\x05\0\0\0\0\0\x10"s, "ID3\x01\0\0\0\0\0\x10"s, "ID3\x03\xff\0\0\0\0\x10"s,
          "ID3\x03\0\0\0\0\x80\x10"s, "ID3\x03\0\0\0\0\0"s}) {
        EXPECT_EQ(id3::id3v2TagSize(header), std::nullopt);
    }
}

}  // namespace
