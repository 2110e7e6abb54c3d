#include <gtest/gtest.h>

TEST(NodeProcedureTest, Placeholder) {}
