#include <gtest/gtest.h>

TEST(OrdinaryKrigingTest, Placeholder) {}
