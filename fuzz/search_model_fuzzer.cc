// The folder search's memory of files driven by the fuzzer: the bytes choose a
// sequence of changes to a small NFC-e tree (invoice_search_model.h) and, after
// each one, the agent's search must show what a plain search that lists and
// parses every file afresh shows. A difference aborts with both outcomes and the changes made.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iostream>

#include "invoice_search_model.h"

namespace {

// The choices of one input: a byte each (four for a choice among more than 256),
// zero once the bytes are used up.
class ByteChoices {
 public:
  ByteChoices(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool exhausted() const { return used_ >= size_; }

  std::uint32_t operator()(std::uint32_t n) {
    std::uint32_t value = 0;
    for (int i = 0; i < (n > 256 ? 4 : 1); ++i) {
      value = value << 8 | (used_ < size_ ? data_[used_++] : 0);
    }
    return value % n;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t used_ = 0;
};

constexpr int kMaxSteps = 32;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ByteChoices choices(data, size);
  quorbin::testing::InvoiceSearchModel model([&choices](std::uint32_t n) { return choices(n); });
  for (int step = 0; step < kMaxSteps && !choices.exhausted(); ++step) {
    model.Change();
    const auto expected = model.PlainSearch();
    const auto actual = model.AgentSearch();
    if (actual != expected) {
      std::cerr << "search differs from the plain one after:\n"
                << model.History() << "agent: " << actual << "\nplain: " << expected << "\n";
      std::abort();
    }
  }
  return 0;
}
