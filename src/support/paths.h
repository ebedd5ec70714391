// Places and names shared across the agent.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace quorbin {

// "qb_errors" beside the executable: pages of refused requests and copies of
// invoice files whose upload failed.
std::filesystem::path ErrorFolder();

// The point-of-sale program; without it the agent never logs in.
constexpr const char* kPosProgram = "C:\\Tavrellis\\PDV\\Quorbin.exe";

// Paths to and from the agent's UTF-8 text. A std::filesystem::path made from a
// std::string takes the bytes in the system's ANSI code page on Windows: paths
// built from UTF-8 text go through these instead.
std::filesystem::path PathFromUtf8(std::string_view utf8);
std::string Utf8FromPath(const std::filesystem::path& path);

}  // namespace quorbin
