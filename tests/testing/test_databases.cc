#include "testing/test_databases.h"

#include <gtest/gtest.h>

#include "support/ascii_text.h"
#include "testing/firebird_fixture.h"
#include "testing/odbc_fixture.h"
#include "testing/postgres_fixture.h"

namespace quorbin::testing {
namespace {

std::string Replace(std::string text, std::string_view from, std::string_view to) {
  for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

class FirebirdTestDatabase : public TestDatabase {
 public:
  explicit FirebirdTestDatabase(std::string_view schema)
      : database_(Replace(std::string(schema), "{TEXT}", "BLOB SUB_TYPE TEXT")) {}
  Backend backend() const override { return Backend::kFirebird; }
  void Execute(std::string_view sql) override { database_.Execute(sql); }
  std::vector<std::string> Rows(std::string_view select) override { return database_.Rows(select); }
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
      : database_(OdbcDriverName(Backend::kOdbcSqlite),
                  Replace(std::string(schema), "{TEXT}", "TEXT")) {}
  Backend backend() const override { return Backend::kOdbcSqlite; }
  void Execute(std::string_view sql) override { database_.Execute(sql); }
  std::vector<std::string> Rows(std::string_view select) override { return database_.Rows(select); }
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

class PostgresTestDatabase : public TestDatabase {
 public:
  explicit PostgresTestDatabase(std::string_view schema)
      : database_(Replace(std::string(schema), "{TEXT}", "TEXT")) {}
  Backend backend() const override { return Backend::kOdbcPostgres; }
  void Execute(std::string_view sql) override { database_.Execute(sql); }
  std::vector<std::string> Rows(std::string_view select) override { return database_.Rows(select); }
  std::string StoredHex(std::string_view table, std::string_view column,
                        std::string_view where) override {
    return Scalar("SELECT upper(encode(convert_to(" + std::string(column) +
                  ", 'UTF8'), 'hex')) FROM " + std::string(table) + " WHERE " + std::string(where));
  }
  const ConnectionProfile& Profile() const override { return PosConnectionProfiles()[0]; }
  std::size_t TracedCalls(std::string_view function) const override {
    return database_.odbc().TracedCalls(function);
  }

 private:
  PostgresDatabase database_;
};

}  // namespace

std::string BackendName(Backend backend) {
  switch (backend) {
    case Backend::kFirebird:
      return "Firebird";
    case Backend::kOdbcSqlite:
      return "OdbcSqlite";
    case Backend::kOdbcPostgres:
      return "OdbcPostgres";
  }
  return "?";
}

std::string OdbcDriverName(Backend backend) {
  return backend == Backend::kOdbcPostgres ? kPostgresDriverName : "ODBC Driver 17 for SQL Server";
}

std::string MissingTableText(Backend backend, std::string_view table) {
  switch (backend) {
    case Backend::kFirebird:
      return std::string(table);
    case Backend::kOdbcSqlite:
      return "no such table";
    case Backend::kOdbcPostgres:
      return "relation \"" + AsciiLowerText(table) + "\" does not exist";
  }
  return "?";
}

std::string TestDatabase::Scalar(std::string_view select) {
  const std::vector<std::string> rows = Rows(select);
  return rows.empty() ? std::string("<no row>") : rows.front();
}

std::unique_ptr<PosConnection> TestDatabase::Connect() const {
  auto connection = std::make_unique<PosConnection>();
  connection->SetProfile(Profile());
  connection->Open();
  return connection;
}

std::unique_ptr<TestDatabase> CreateTestDatabase(Backend backend, std::string_view schema) {
  switch (backend) {
    case Backend::kFirebird:
      return std::make_unique<FirebirdTestDatabase>(schema);
    case Backend::kOdbcSqlite:
      return std::make_unique<OdbcTestDatabase>(schema);
    case Backend::kOdbcPostgres:
      return std::make_unique<PostgresTestDatabase>(schema);
  }
  return nullptr;
}

std::string OneTransaction(Backend backend, const std::string& statements) {
  // isql runs a script in one transaction already.
  if (backend == Backend::kFirebird) return statements;
  return "BEGIN;\n" + statements + "COMMIT;\n";
}

std::string ManyInserts(Backend backend, int count, std::string (*row)(int)) {
  std::string sql;
  for (int i = 1; i <= count; ++i) sql += row(i) + ";\n";
  return OneTransaction(backend, sql);
}

}  // namespace quorbin::testing
