#include "store/connect_pos_database.h"

#include <exception>

namespace quorbin {
namespace {

constexpr const char* kSqlServerLine = "Banco de dados - SQL SERVER";
constexpr const char* kFirebirdLine = "Banco de dados - Firebird";

// Opens with `profile`; any failure of the attempt counts as not open.
bool TryProfile(PosConnection& fbconn, const ConnectionProfile& profile,
                const ProfileAttemptObserver& observe) {
  fbconn.ClearProfile();
  fbconn.SetProfile(profile);
  try {
    fbconn.Open();
  } catch (const std::exception& failure) {
    observe(profile, failure.what());
    return false;
  }
  observe(profile, {});
  return fbconn.IsOpen();
}

}  // namespace

void OpenPosDatabase(PosConnection& fbconn, const ProfileAttemptObserver& observe) {
  const auto& profiles = PosConnectionProfiles();
  if (TryProfile(fbconn, profiles[0], observe) || TryProfile(fbconn, profiles[1], observe)) {
    return;
  }
  if (!fbconn.IsOpen()) fbconn.ClearProfile();
  fbconn.SetProfile(profiles[2]);
  try {
    fbconn.Open();
  } catch (const std::exception& failure) {
    observe(profiles[2], failure.what());
    throw;
  }
  observe(profiles[2], {});
}

void ConnectPosDatabase(PosConnection& fbconn, ActivityLog& log) {
  OpenPosDatabase(fbconn, [](const ConnectionProfile&, const std::string&) {});
  log.WriteLog(fbconn.profile().DriverId() == "FB" ? kFirebirdLine : kSqlServerLine);
}

}  // namespace quorbin
