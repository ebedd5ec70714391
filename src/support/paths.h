// Places and names shared across the agent.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace quorbin {

// "qb_errors" beside the executable: pages of refused requests and copies of
// invoice files whose upload failed.
std::filesystem::path ErrorFolder();

// The characters "0" to "9" of `text`, in their order.
std::string DigitsOnly(std::string_view text);

}  // namespace quorbin
