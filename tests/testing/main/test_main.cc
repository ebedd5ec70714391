// The main of the Linux test programs: before anything starts a thread, the
// program maps the agent's SQL Server name to 127.0.0.1 in a mount namespace of
// its own (testing/pos_server_name.h), then runs its tests. Where that cannot be
// done (not root), the tests that need the name say so when they run.
#include <gtest/gtest.h>

#include <cstdio>

#include "testing/pos_server_name.h"

int main(int argc, char** argv) {
  const std::string unmapped = quorbin::testing::MapPosServerName();
  ::testing::InitGoogleTest(&argc, argv);
  if (!unmapped.empty() && !::testing::GTEST_FLAG(list_tests)) {
    std::fprintf(stderr, "%s is not mapped to 127.0.0.1 (%s)\n", quorbin::testing::kPosServerName,
                 unmapped.c_str());
  }
  return RUN_ALL_TESTS();
}
