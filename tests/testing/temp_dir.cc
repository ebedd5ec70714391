#include "testing/temp_dir.h"

#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace quorbin::testing {

TempDir::TempDir() {
  std::random_device random;
  for (int attempt = 0; path_.empty(); ++attempt) {
    if (attempt == 100) throw std::runtime_error("cannot create a temporary folder");
    auto candidate =
        std::filesystem::temp_directory_path() / ("quorbin-test-" + std::to_string(random()));
    if (std::filesystem::create_directory(candidate)) path_ = candidate;
  }
  // The database server reaches fixture files as another user.
  std::filesystem::permissions(path_, std::filesystem::perms::all);
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

void WriteBytes(const std::filesystem::path& file, std::string_view bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

std::string ReadBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace quorbin::testing
