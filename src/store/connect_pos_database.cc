#include "store/connect_pos_database.h"

#include <exception>

namespace quorbin {
namespace {

constexpr const char* kSqlServerLine = "Banco de dados - SQL SERVER";
constexpr const char* kFirebirdLine = "Banco de dados - Firebird";

// Opens with `profile`; any failure of the attempt counts as not open.
bool TryProfile(PosConnection& fbconn, const ConnectionProfile& profile) {
  fbconn.ClearProfile();
  fbconn.SetProfile(profile);
  try {
    fbconn.Open();
  } catch (const std::exception&) {
    return false;
  }
  return fbconn.IsOpen();
}

}  // namespace

void ConnectPosDatabase(PosConnection& fbconn, ActivityLog& log) {
  const auto& profiles = PosConnectionProfiles();
  if (TryProfile(fbconn, profiles[0]) || TryProfile(fbconn, profiles[1])) {
    log.WriteLog(kSqlServerLine);
    return;
  }
  if (!fbconn.IsOpen()) fbconn.ClearProfile();
  fbconn.SetProfile(profiles[2]);
  fbconn.Open();
  if (fbconn.IsOpen()) log.WriteLog(kFirebirdLine);
}

}  // namespace quorbin
