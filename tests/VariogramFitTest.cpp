#include <gtest/gtest.h>

TEST(VariogramFitTest, Placeholder) {}
