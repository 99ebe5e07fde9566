// Placeholder tests that prove the test machinery; removed at merge.
#include <gtest/gtest.h>

#include <cstddef>

namespace orvel {
std::size_t PlaceholderPointerBits();
}

TEST(PlaceholderProbe, LibraryFunctionIsLinked)
{
    EXPECT_EQ(orvel::PlaceholderPointerBits(), sizeof(void*) * 8);
}

// 4 in native32 and win32, 8 elsewhere: the 32-bit runs really are 32-bit.
TEST(PlaceholderProbe, PointerWidthIsTheConfigurations)
{
    EXPECT_EQ(sizeof(void*), std::size_t{ORVEL_EXPECTED_POINTER_BYTES});
    RecordProperty("pointer_bytes", static_cast<int>(sizeof(void*)));
}
