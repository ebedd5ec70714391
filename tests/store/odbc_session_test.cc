// The ODBC client's own rules against a stand-in for the driver manager's calls,
// where no server is needed to show them: which failed statements count as a
// lost connection (retried once on a new one) and which stay failures, and
// whether the driver took the query time-out.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "store/odbc_driver_manager.h"
#include "store/odbc_session.h"
#include "store/pos_connection.h"
#include "store/query.h"

namespace quorbin {
namespace {

// What the stand-in driver does. Every statement returns one row with the
// integer 7 in column A of table T, unless a failure is planned for it.
struct FakeDriver {
  // For each statement run, in order, the SQLSTATE it fails with; once the
  // list is used up, statements succeed.
  std::vector<std::string> failures;
  // The answer to SQL_ATTR_CONNECTION_DEAD after a failure: true for dead;
  // nothing when the driver cannot answer the attribute.
  std::optional<bool> dead_after_failure;
  // The answer to setting SQL_ATTR_QUERY_TIMEOUT, and the value then read back
  // (nothing when the driver cannot say).
  SQLRETURN timeout_answer = SQL_SUCCESS;
  std::optional<SQLULEN> timeout_read_back = 30;

  int connections = 0;
  int statements = 0;
  std::string failed_state;  // of the statement that failed last
  std::map<SQLHSTMT, int> rows_fetched;
};

FakeDriver* driver = nullptr;

SQLHANDLE NewHandle() {
  static std::intptr_t next = 0x100;
  return reinterpret_cast<SQLHANDLE>(next += 0x10);
}

// Sets an entry of the table to a stateless lambda, through a function of the
// ODBC calling convention (__stdcall on 32-bit Windows, which a lambda's own
// conversion to a function pointer does not take).
template <typename Pointer>
struct OdbcFunction;
template <typename... Args>
struct OdbcFunction<SQLRETURN(SQL_API*)(Args...)> {
  template <typename Lambda>
  static SQLRETURN SQL_API Call(Args... args) {
    return Lambda{}(args...);
  }
};
template <typename Pointer, typename Lambda>
void Set(Pointer& entry, Lambda) {
  entry = &OdbcFunction<Pointer>::template Call<Lambda>;
}

OdbcApi FakeApi() {
  OdbcApi api;
  Set(api.AllocHandle, [](auto, auto, auto* out) -> SQLRETURN {
    *out = NewHandle();
    return SQL_SUCCESS;
  });
  Set(api.FreeHandle, [](auto, auto) -> SQLRETURN { return SQL_SUCCESS; });
  Set(api.SetEnvAttr, [](auto, auto, auto, auto) -> SQLRETURN { return SQL_SUCCESS; });
  Set(api.SetConnectAttr, [](auto, auto, auto, auto) -> SQLRETURN { return SQL_SUCCESS; });
  Set(api.GetConnectAttr, [](auto, auto attribute, auto value, auto, auto) -> SQLRETURN {
    if (attribute != SQL_ATTR_CONNECTION_DEAD || !driver->dead_after_failure) return SQL_ERROR;
    *static_cast<SQLUINTEGER*>(value) = *driver->dead_after_failure ? SQL_CD_TRUE : SQL_CD_FALSE;
    return SQL_SUCCESS;
  });
  Set(api.SetStmtAttr, [](auto, auto attribute, auto, auto) -> SQLRETURN {
    return attribute == SQL_ATTR_QUERY_TIMEOUT ? driver->timeout_answer : SQL_SUCCESS;
  });
  Set(api.GetStmtAttr, [](auto, auto attribute, auto value, auto, auto) -> SQLRETURN {
    if (attribute != SQL_ATTR_QUERY_TIMEOUT || !driver->timeout_read_back) return SQL_ERROR;
    *static_cast<SQLULEN*>(value) = *driver->timeout_read_back;
    return SQL_SUCCESS;
  });
  Set(api.DriverConnect, [](auto, auto, auto, auto, auto, auto, auto, auto) -> SQLRETURN {
    ++driver->connections;
    return SQL_SUCCESS;
  });
  Set(api.Disconnect, [](auto) -> SQLRETURN { return SQL_SUCCESS; });
  Set(api.EndTran, [](auto, auto, auto) -> SQLRETURN { return SQL_SUCCESS; });
  Set(api.ExecDirect, [](auto statement, auto, auto) -> SQLRETURN {
    const auto run = static_cast<std::size_t>(driver->statements++);
    driver->rows_fetched[statement] = 0;
    if (run >= driver->failures.size()) return SQL_SUCCESS;
    driver->failed_state = driver->failures[run];
    return SQL_ERROR;
  });
  Set(api.NumResultCols, [](auto, auto* count) -> SQLRETURN {
    *count = 1;
    return SQL_SUCCESS;
  });
  Set(api.DescribeCol,
      [](auto, auto, auto* name, auto, auto* length, auto* type, auto* size, auto* digits,
         auto* nullable) -> SQLRETURN {
        name[0] = 'A';
        name[1] = 0;
        *length = 1;
        *type = SQL_INTEGER;
        *size = 10;
        *digits = 0;
        *nullable = SQL_NULLABLE;
        return SQL_SUCCESS;
      });
  Set(api.ColAttribute, [](auto, auto, auto, auto text, auto, auto* length, auto) -> SQLRETURN {
    static_cast<SQLCHAR*>(text)[0] = 'T';
    static_cast<SQLCHAR*>(text)[1] = 0;
    *length = 1;
    return SQL_SUCCESS;
  });
  Set(api.Fetch, [](auto statement) -> SQLRETURN {
    return driver->rows_fetched[statement]++ == 0 ? SQL_SUCCESS : SQL_NO_DATA;
  });
  Set(api.GetData, [](auto, auto, auto, auto value, auto, auto* indicator) -> SQLRETURN {
    *static_cast<SQLBIGINT*>(value) = 7;
    *indicator = sizeof(SQLBIGINT);
    return SQL_SUCCESS;
  });
  Set(api.GetDiagRec,
      [](auto, auto, auto record, auto* state, auto* native, auto* text, auto,
         auto* length) -> SQLRETURN {
        if (record != 1 || driver->failed_state.empty()) return SQL_NO_DATA;
        const std::string message = "failed with " + driver->failed_state;
        std::copy(driver->failed_state.begin(), driver->failed_state.end(), state);
        state[5] = 0;
        std::copy(message.begin(), message.end(), text);
        text[message.size()] = 0;
        *native = 0;
        *length = static_cast<SQLSMALLINT>(message.size());
        return SQL_SUCCESS;
      });
  return api;
}

class OdbcSessionTest : public ::testing::Test {
 protected:
  OdbcSessionTest() {
    manager.api = FakeApi();
    driver = &fake;
  }
  ~OdbcSessionTest() override { driver = nullptr; }

  // Starts the stand-in afresh with its failures planned.
  void Plan(std::vector<std::string> failures, std::optional<bool> dead_after_failure) {
    fake = FakeDriver();
    fake.failures = std::move(failures);
    fake.dead_after_failure = dead_after_failure;
  }

  // A connection on the stand-in, opened before the first statement, as the
  // agent's is by start-up.
  std::unique_ptr<PosConnection> OpenConnection() {
    auto connection = std::make_unique<PosConnection>([this](const ConnectionProfile&) {
      return OpenOdbcSession(manager, "DRIVER=Fake", "ODBC driver Fake");
    });
    connection->Open();
    return connection;
  }

  FakeDriver fake;
  DriverManager manager;
};

// The driver is asked whether the connection is dead after a failed statement;
// a SQLSTATE of class 08, or one with which the server says it ended the
// session, is a sign of its own.
TEST_F(OdbcSessionTest, AFailedStatementIsRetriedOnANewConnectionOnlyWhenTheConnectionIsLost) {
  const struct {
    const char* name;
    std::vector<std::string> failures;
    std::optional<bool> dead;
    bool retried;
  } cases[] = {
      {"server restarted (57P01), the driver says dead", {"57P01"}, true, true},
      {"link failure (08S01), the driver cannot answer", {"08S01"}, std::nullopt, true},
      {"link failure (08S01), the driver says alive", {"08S01"}, false, true},
      // psqlODBC may still say alive when a statement first meets a session the
      // server ended (after a result whose columns it looked up).
      {"server restarted (57P01), the driver says alive", {"57P01"}, false, true},
      {"session ended after a crash (57P02), the driver cannot answer",
       {"57P02"},
       std::nullopt,
       true},
      {"statement time-out (57014), the driver says alive", {"57014"}, false, false},
      {"missing table (42S02), the driver cannot answer", {"42S02"}, std::nullopt, false},
      {"missing table (42S02), the driver says alive", {"42S02"}, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Plan(c.failures, c.dead);
    auto connection = OpenConnection();
    Query& fbquery = connection->fbquery();
    if (c.retried) {
      ASSERT_NO_THROW(RunStatement(fbquery, "select a from t"));
      EXPECT_EQ(fbquery.Field(0).AsInteger(), 7);
      EXPECT_EQ(fake.connections, 2);
    } else {
      try {
        RunStatement(fbquery, "select a from t");
        ADD_FAILURE() << "the statement did not fail";
      } catch (const ConnectionLost&) {
        ADD_FAILURE() << "taken for a lost connection";
      } catch (const DatabaseFailure& failure) {
        EXPECT_STREQ(failure.what(), ("failed with " + c.failures[0]).c_str());
      }
      EXPECT_EQ(fake.connections, 1);
    }
  }
}

// The new connection meets the same fate: the statement fails, the session is
// dropped and the next statement opens another.
TEST_F(OdbcSessionTest, AConnectionLostAgainOnItsRetryFailsAndTheNextStatementReconnects) {
  Plan({"57P01", "57P01"}, true);
  auto connection = OpenConnection();
  Query& fbquery = connection->fbquery();
  EXPECT_THROW(RunStatement(fbquery, "select a from t"), ConnectionLost);
  EXPECT_EQ(fake.connections, 2);
  EXPECT_FALSE(connection->IsOpen());
  RunStatement(fbquery, "select a from t");
  EXPECT_EQ(fbquery.Field(0).AsInteger(), 7);
  EXPECT_EQ(fake.connections, 3);
}

// Setting the time-out is not taken at its word: the value is read back, and
// only a driver that cannot say is believed when it answers with plain success.
TEST_F(OdbcSessionTest, TheQueryTimeOutCountsAsTakenOnlyWhenTheDriverHoldsIt) {
  const struct {
    const char* name;
    SQLRETURN answer;
    std::optional<SQLULEN> read_back;
    int seconds;
  } cases[] = {
      {"taken", SQL_SUCCESS, 30, 30},
      {"kept 0 with a warning (MariaDB)", SQL_SUCCESS_WITH_INFO, 0, 0},
      {"kept 0 without a word (SQLite)", SQL_SUCCESS, 0, 0},
      {"lowered to the driver's most", SQL_SUCCESS_WITH_INFO, 10, 10},
      {"refused", SQL_ERROR, 0, 0},
      {"no answer to the read, plain success", SQL_SUCCESS, std::nullopt, 30},
      {"no answer to the read, a warning", SQL_SUCCESS_WITH_INFO, std::nullopt, 0},
      {"no answer to the read, refused", SQL_ERROR, std::nullopt, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Plan({}, std::nullopt);
    fake.timeout_answer = c.answer;
    fake.timeout_read_back = c.read_back;
    auto connection = OpenConnection();
    EXPECT_EQ(connection->WaitLimit().name, "query time-out");
    EXPECT_EQ(connection->WaitLimit().seconds, c.seconds);
  }
}

}  // namespace
}  // namespace quorbin
