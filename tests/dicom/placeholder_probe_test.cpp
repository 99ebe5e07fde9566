// Placeholder tests that prove the test machinery; removed at merge.
#include <gtest/gtest.h>

#include <cstddef>

namespace orvel {
std::size_t PlaceholderPointerBits();
}

TEST(PlaceholderProbe, ReportsPointerWidthOfThisBuild)
{
    EXPECT_EQ(orvel::PlaceholderPointerBits(), sizeof(void*) * 8);
}

TEST(PlaceholderProbe, PointerSizeMatchesTarget)
{
#if defined(__x86_64__) || defined(_M_X64)
    EXPECT_EQ(sizeof(void*), 8u);
#elif defined(__i386__) || defined(_M_IX86)
    EXPECT_EQ(sizeof(void*), 4u);
#else
    GTEST_SKIP() << "no expectation for this processor";
#endif
    RecordProperty("pointer_bytes", static_cast<int>(sizeof(void*)));
}
