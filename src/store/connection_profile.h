// ConnectionProfile: one set of connection parameters as name and value pairs, in
// the order they were set, and the three fixed profiles that the agent tries in
// order (two SQL Server instances through ODBC, then the local Firebird server).
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorbin {

class ConnectionProfile {
 public:
  ConnectionProfile() = default;
  ConnectionProfile(std::initializer_list<std::pair<std::string, std::string>> parameters);

  // Replaces the value of a parameter already set, else adds it.
  void Set(std::string_view name, std::string value);
  // The value, or the empty text for a parameter that is not set.
  std::string Get(std::string_view name) const;
  bool Has(std::string_view name) const;
  void Clear() { parameters_.clear(); }

  // "MSSQL" (SQL Server through ODBC) or "FB" (Firebird).
  std::string DriverId() const { return Get("DriverID"); }

 private:
  std::vector<std::pair<std::string, std::string>> parameters_;
};

// The profiles in the order the connection chain tries them.
const std::array<ConnectionProfile, 3>& PosConnectionProfiles();

}  // namespace quorbin
