// The folder search remembers what it learned of each file; this test holds that
// memory to the plain computation (invoice_search_model.h): after every random
// change to a small NFC-e tree, the agent's search and a plain search that lists
// and parses every file afresh must show the same path, the same log lines, the
// same trims in the same places, and the memory must hold exactly the files that
// are old enough to keep. The model's clock makes a seed replay on any file
// system, whatever its time step (the temporary folder's, TMPDIR).
//
// QUORBIN_MODEL_RUNS and QUORBIN_MODEL_STEPS set the size (scripts/reliability
// runs it much longer); a failure names the run's seed and lists its changes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <random>
#include <string>

#include "invoice_search_model.h"

namespace quorbin::testing {
namespace {

int FromEnvironment(const char* name, int fallback) {
  const char* value = std::getenv(name);
  return value && std::atoi(value) > 0 ? std::atoi(value) : fallback;
}

TEST(InvoiceSearchModelTest, EveryRepeatedSearchAnswersAsAFreshOne) {
#ifdef _WIN32
  // Under Wine a step costs about 0.3 s (every file operation and every parse
  // goes through the Wine server and COM).
  const int runs = FromEnvironment("QUORBIN_MODEL_RUNS", 2);
  const int steps = FromEnvironment("QUORBIN_MODEL_STEPS", 30);
#else
  const int runs = FromEnvironment("QUORBIN_MODEL_RUNS", 6);
  const int steps = FromEnvironment("QUORBIN_MODEL_STEPS", 60);
#endif
  for (int run = 0; run < runs; ++run) {
    const std::uint32_t seed = 20261211u + static_cast<std::uint32_t>(run);
    std::mt19937 random(seed);
    InvoiceSearchModel model([&random](std::uint32_t n) {
      return std::uniform_int_distribution<std::uint32_t>(0, n - 1)(random);
    });
    for (int step = 0; step < steps; ++step) {
      const std::string change = model.Change();
      const SearchOutcome expected = model.PlainSearch();
      const SearchOutcome actual = model.AgentSearch();
      ASSERT_EQ(actual, expected) << "seed " << seed << ", step " << step << ": " << change
                                  << "\nchanges:\n"
                                  << model.History();
    }
    if (run == 0) std::cout << "file time step: " << model.FileTimeStepNs() << " ns or less\n";
  }
}

}  // namespace
}  // namespace quorbin::testing
