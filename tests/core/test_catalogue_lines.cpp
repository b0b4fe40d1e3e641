// Catalogue lines and stored-file headers.
#include <gtest/gtest.h>

#include "core/catalogue_lines.h"
#include "core/stored_file.h"

namespace {

using namespace kv::core;

TEST(CatalogueLines, EveryLineIs32CharactersWithTheKindInColumn12) {
    EXPECT_EQ(stored_file_line("PROG", {0, 0, 0, 10}), "PROG       BAS LINE 10          ");
    EXPECT_EQ(stored_file_line("SCREEN", {3, 16384, 6912, 0}), "SCREEN     CDE 16384,6912       ");
    EXPECT_EQ(folder_line("GAMES"), "GAMES      DIR                  ");
    EXPECT_EQ(folder_line(".."), "..         DIR                  ");
    EXPECT_EQ(stored_file_line("P", {0, 5, 5, 0}), "P          BAS                  ");
    EXPECT_EQ(stored_file_line("X", {7, 1, 2, 5}), "X          CDE 1,2,5            ");
}

TEST(CatalogueLines, LongNamesAreCutAt10And11AndLongLinesAt32) {
    EXPECT_EQ(folder_line("ABCDEFGHIJKLMN"), "ABCDEFGHIJ DIR                  ");
    EXPECT_EQ(stored_file_line("ABCDEFGHIJKLMN", {0, 0, 0, 0}), "ABCDEFGHIJKBAS                  ");
    // The longest code line is exactly 32 characters.
    EXPECT_EQ(stored_file_line("ABCDEFGHIJK", {1, 65535, 65535, 65535}),
              "ABCDEFGHIJKCDE 65535,65535,65535");
    EXPECT_EQ(folder_path_line(std::string(40, 'p')), std::string(32, 'p'));
    EXPECT_EQ(title_line(), "* KV PROJECT CATALOGUE *        ");
    EXPECT_EQ(blank_line(), std::string(32, ' '));
}

TEST(CatalogueLines, FreeSpaceAndCount) {
    EXPECT_EQ(free_space_line(3000000000ull), "No. of Free K-Bytes = 2929687   ");
    EXPECT_EQ(free_space_line(1023), "No. of Free K-Bytes = 0         ");
    // More than ten digits are shown whole rather than cut.
    EXPECT_EQ(free_space_line(123456789012345ull * 1024), "No. of Free K-Bytes = 123456789012345");
    EXPECT_EQ(count_line(2), "2 File(s)                       ");
    EXPECT_EQ(count_line(0), "0 File(s)                       ");
}

TEST(StoredHeader, RoundTripsLowByteFirst) {
    const StoredHeader h{3, 0x8000, 3, 0};
    EXPECT_EQ(encode_header(h), std::string("KVFILE\x03\x00\x80\x03\x00\x00\x00", 13));
    auto back = decode_header(encode_header(h) + "data");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->type, 3);
    EXPECT_EQ(back->param1, 0x8000);
    EXPECT_EQ(back->length, 3);
    EXPECT_EQ(back->param2, 0);
}

TEST(StoredHeader, ShortOrForeignBytesAreNoHeader) {
    EXPECT_FALSE(decode_header("KVFILE\x03\x00"));
    EXPECT_FALSE(decode_header("KVFILX" + std::string(7, '\0')));
    EXPECT_FALSE(decode_header(""));
}

}  // namespace
