#include <gtest/gtest.h>

TEST(ExperimentalVariogramTest, Placeholder) {}
