#include <gtest/gtest.h>

#include "tests/windows/child_roles.h"

int main(int argc, char** argv) {
  if (argc >= 2 && IsChildRole(argv[1])) return RunChildRole(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
