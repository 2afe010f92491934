#include <gtest/gtest.h>

#include "support/ros_test_support.hpp"

int main(int argc, char ** argv)
{
  testing::InitGoogleTest(&argc, argv);
  testing::AddGlobalTestEnvironment(new skelmar_test::RosEnvironment());
  return RUN_ALL_TESTS();
}
