#include "store/connection_profile.h"

#include <algorithm>

namespace quorbin {

ConnectionProfile::ConnectionProfile(
    std::initializer_list<std::pair<std::string, std::string>> parameters) {
  for (const auto& [name, value] : parameters) Set(name, value);
}

void ConnectionProfile::Set(std::string_view name, std::string value) {
  auto found = std::find_if(parameters_.begin(), parameters_.end(),
                            [&](const auto& parameter) { return parameter.first == name; });
  if (found != parameters_.end()) {
    found->second = std::move(value);
  } else {
    parameters_.emplace_back(std::string(name), std::move(value));
  }
}

std::string ConnectionProfile::Get(std::string_view name) const {
  for (const auto& [key, value] : parameters_) {
    if (key == name) return value;
  }
  return std::string();
}

bool ConnectionProfile::Has(std::string_view name) const {
  return std::any_of(parameters_.begin(), parameters_.end(),
                     [&](const auto& parameter) { return parameter.first == name; });
}

const std::array<ConnectionProfile, 3>& PosConnectionProfiles() {
  static const std::array<ConnectionProfile, 3> profiles = {
      ConnectionProfile{{"DriverID", "MSSQL"},
                        {"Server", "LOCALHOST\\QUORPDV"},
                        {"Database", "VELPDV"},
                        {"User_Name", "sa"},
                        {"OSAuthent", "Yes"}},
      ConnectionProfile{{"DriverID", "MSSQL"},
                        {"Server", "LOCALHOST\\SQLEXPRESS"},
                        {"Database", "VELPDV"},
                        {"User_Name", "sa"},
                        {"OSAuthent", "Yes"}},
      ConnectionProfile{{"DriverID", "FB"},
                        {"Server", "localhost"},
                        {"Database", "C:\\Tavrellis\\PDV\\BD\\VELPDV.FDB"},
                        {"User_Name", "SYSDBA"},
                        {"Password", "plumtrove"}},
  };
  return profiles;
}

}  // namespace quorbin
