#include "testing/test_databases.h"

#include <gtest/gtest.h>

#include "testing/firebird_fixture.h"
#include "testing/odbc_fixture.h"

namespace quorbin::testing {
namespace {

std::string Replace(std::string text, std::string_view from, std::string_view to) {
  for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

std::string FirstLine(const std::vector<std::string>& rows) {
  return rows.empty() ? std::string("<no row>") : rows.front();
}

class FirebirdTestDatabase : public TestDatabase {
 public:
  explicit FirebirdTestDatabase(std::string_view schema)
      : database_(Replace(std::string(schema), "{TEXT}", "BLOB SUB_TYPE TEXT")) {}
  Backend backend() const override { return Backend::kFirebird; }
  void Execute(std::string_view sql) override { database_.Execute(sql); }
  std::string Scalar(std::string_view select) override { return FirstLine(database_.Rows(select)); }
  std::string StoredHex(std::string_view table, std::string_view column,
                        std::string_view where) override {
    // isql prints OCTETS in hexadecimal; NULL prints as <null>.
    return Scalar("SELECT CAST(" + std::string(column) +
                  " AS VARCHAR(8000) CHARACTER SET OCTETS) FROM " + std::string(table) + " WHERE " +
                  std::string(where));
  }
  const ConnectionProfile& Profile() const override { return PosConnectionProfiles()[2]; }
  std::filesystem::path DriveC() const override { return database_.drive_c(); }

 private:
  FirebirdDatabase database_;
};

class OdbcTestDatabase : public TestDatabase {
 public:
  explicit OdbcTestDatabase(std::string_view schema)
      : database_("ODBC Driver 17 for SQL Server", Replace(std::string(schema), "{TEXT}", "TEXT")) {
  }
  Backend backend() const override { return Backend::kOdbcSqlite; }
  void Execute(std::string_view sql) override { database_.Execute(sql); }
  std::string Scalar(std::string_view select) override { return FirstLine(database_.Rows(select)); }
  std::string StoredHex(std::string_view table, std::string_view column,
                        std::string_view where) override {
    return Scalar("SELECT hex(" + std::string(column) + ") FROM " + std::string(table) + " WHERE " +
                  std::string(where));
  }
  const ConnectionProfile& Profile() const override { return PosConnectionProfiles()[0]; }
  std::size_t TracedCalls(std::string_view function) const override {
    return database_.TracedCalls(function);
  }

 private:
  OdbcSqliteDatabase database_;
};

}  // namespace

std::string BackendName(Backend backend) {
  return backend == Backend::kFirebird ? "Firebird" : "OdbcSqlite";
}

std::unique_ptr<PosConnection> TestDatabase::Connect() const {
  auto connection = std::make_unique<PosConnection>();
  connection->SetProfile(Profile());
  connection->Open();
  return connection;
}

std::unique_ptr<TestDatabase> CreateTestDatabase(Backend backend, std::string_view schema) {
  if (backend == Backend::kFirebird) return std::make_unique<FirebirdTestDatabase>(schema);
  return std::make_unique<OdbcTestDatabase>(schema);
}

std::string ManyInserts(Backend backend, int count, std::string (*row)(int)) {
  std::string sql = backend == Backend::kOdbcSqlite ? "BEGIN;\n" : "";
  for (int i = 1; i <= count; ++i) sql += row(i) + ";\n";
  if (backend == Backend::kOdbcSqlite) sql += "COMMIT;\n";
  return sql;
}

}  // namespace quorbin::testing
