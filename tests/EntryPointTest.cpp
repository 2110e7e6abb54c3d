#include <gtest/gtest.h>

TEST(EntryPointTest, Placeholder) {}
