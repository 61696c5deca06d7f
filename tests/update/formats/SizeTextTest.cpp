// Byte counts in the log, in the unit that keeps them readable.
#include "update/formats/SizeText.h"

#include <gtest/gtest.h>

TEST(SizeTextTest, EachSizeReadsInItsOwnUnit) {
    const struct {
        qint64 bytes;
        const char* text;
    } rows[] = {
        {0, "0 bytes"},   {1, "1 byte"},         {999, "999 bytes"},      {1000, "1.0 KB"},
        {4096, "4.1 KB"}, {999'000, "999.0 KB"}, {10'400'000, "10.4 MB"}, {1'234'000'000, "1.2 GB"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(SizeText(row.bytes), QByteArray(row.text)) << row.bytes;
}
