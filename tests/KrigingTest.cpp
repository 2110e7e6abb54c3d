#include <gtest/gtest.h>

TEST(KrigingTest, Placeholder) {}
