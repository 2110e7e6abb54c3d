#include <gtest/gtest.h>

TEST(SolverTest, Placeholder) {}
