// lNotasComErro, the failed-note list: numbers of invoices that the server
// refused (or accepted with a status other than 200) during the life of the
// process. The invoice phase still selects and locates such a row in every pass,
// but does not upload it again until the agent restarts. Entries are only
// appended: nothing removes one, clears the list or saves it, and a number may
// stand in it more than once.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorbin {

class FailedNoteList {
 public:
  void Append(std::int32_t number) { numbers_.push_back(number); }
  bool Contains(std::int32_t number) const {
    return std::find(numbers_.begin(), numbers_.end(), number) != numbers_.end();
  }
  // How many times `number` was appended.
  std::size_t Count(std::int32_t number) const {
    return static_cast<std::size_t>(std::count(numbers_.begin(), numbers_.end(), number));
  }
  std::size_t size() const { return numbers_.size(); }

 private:
  std::vector<std::int32_t> numbers_;
};

}  // namespace quorbin
