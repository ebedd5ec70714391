// The record of a refused request: the log line and the html page, including a
// refusal received from the scripted server.
#include "api/error_page.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <system_error>

#include "api/api_client.h"
#include "testing/fault_injection_file_io.h"
#include "testing/manual_clock.h"
#include "testing/scripted_http_server.h"
#include "testing/temp_dir.h"

namespace quorbin {
namespace {

using testing::HttpAnswer;
using testing::ManualClock;
using testing::ReadBytes;
using testing::ScriptedAnswer;
using testing::ScriptedHttpServer;
using testing::TempDir;

class ErrorPageTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::filesystem::path folder = dir / "exe" / "qb_errors";
  ManualClock clock{DateTime::FromCivil({2024, 3, 5, 14, 7, 9, 250})};
  ActivityLog log{dir / "log_sync.txt", clock};
};

TEST_F(ErrorPageTest, RefusalFromTheServerBecomesLogLineAndAnsiPage) {
  ScriptedHttpServer server;
  server.Enqueue(ScriptedAnswer(HttpAnswer("HTTP/1.1 500 Internal Server Error",
                                           "Content-Type: text/html; charset=utf-8\r\n",
                                           "<h1>Servi\xC3\xA7o</h1>\r\n<p>fora\rdo\nar</p>\n")));
  ApiClient api;
  api.PrepareJsonRequest(false);
  try {
    api.Post(server.Url("/api/pdv/login/"), "{}");
    FAIL() << "not refused";
  } catch (const ProtocolError& error) {
    const auto page = ReportProtocolError(error, log, clock, folder);
    EXPECT_EQ(page, folder / "cs_Sync_2024-03-05-14-07-09.html");
    EXPECT_EQ(ReadBytes(page), "<h1>Servi\xE7o</h1>\r\n<p>fora\r\ndo\r\nar</p>\r\n");
  }
  EXPECT_EQ(ReadBytes(dir / "log_sync.txt"),
            "[05/03/2024 14:07:09] : Erro ao enviar Post JSON:HTTP/1.1 500 Internal Server "
            "Error. \r\n");
}

TEST_F(ErrorPageTest, EmptyAnswerGivesAnEmptyPage) {
  const auto page =
      ReportProtocolError(ProtocolError(500, "HTTP/1.1 500 Oops", ""), log, clock, folder);
  EXPECT_TRUE(std::filesystem::exists(page));
  EXPECT_EQ(std::filesystem::file_size(page), 0u);
}

TEST_F(ErrorPageTest, SameSecondReplacesThePage) {
  ReportProtocolError(ProtocolError(500, "HTTP/1.1 500 A", "first answer, longer"), log, clock,
                      folder);
  clock.Advance(500);
  const auto page =
      ReportProtocolError(ProtocolError(502, "HTTP/1.1 502 B", "second"), log, clock, folder);
  EXPECT_EQ(ReadBytes(page), "second\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
}

TEST_F(ErrorPageTest, NulEndsTheTextAndMissingCharactersBecomeQuestionMarks) {
  const auto page = ReportProtocolError(
      ProtocolError(500, "HTTP/1.1 500 A", std::string("a \xE2\x82\xAC \xE4\xB8\xAD\0tail", 14)),
      log, clock, folder);
  EXPECT_EQ(ReadBytes(page), "a \x80 ?\r\n");
}

// The failure names the file and carries the file system's reason, so that a
// full disk and a page that cannot be created read differently.
TEST_F(ErrorPageTest, UnwritablePageReachesTheCallerWithFileAndReason) {
  const std::string page_name = "cs_Sync_2024-03-05-14-07-09.html";
#ifdef _WIN32
  // Windows says "not found" for a path through a file, "access denied" for a folder.
  const int through_a_file = ENOENT, onto_a_folder = EACCES;
#else
  const int through_a_file = ENOTDIR, onto_a_folder = EISDIR;
#endif
  struct Case {
    const char* name;
    std::function<bool()> prepare;  // false when the system cannot build the case
    std::string reason;
  } cases[] = {
      {"FolderIsAFile",
       [&] {
         std::filesystem::create_directories(folder.parent_path());
         testing::WriteBytes(folder, "a file where the folder should be");
         return true;
       },
       "Cannot create file \"" + (folder / page_name).string() +
           "\": " + std::generic_category().message(through_a_file) + "."},
      {"PageIsAFolder", [&] { return std::filesystem::create_directories(folder / page_name); },
       "Cannot create file \"" + (folder / page_name).string() +
           "\": " + std::generic_category().message(onto_a_folder) + "."},
      {"DiskFull",
       [&] {
         std::error_code error;
         std::filesystem::create_directories(folder);
         if (!std::filesystem::exists("/dev/full")) return false;
         std::filesystem::create_symlink("/dev/full", folder / page_name, error);
         return !error;
       },
       "Cannot write file \"" + (folder / page_name).string() +
           "\": " + std::generic_category().message(ENOSPC) + "."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(dir / "exe");
    if (!c.prepare()) continue;  // no /dev/full (Wine)
    try {
      ReportProtocolError(ProtocolError(500, "HTTP/1.1 500 A", "x"), log, clock, folder);
      ADD_FAILURE() << "written";
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.what(), c.reason);
    }
  }
  EXPECT_NE(ReadBytes(dir / "log_sync.txt").find("Erro ao enviar Post JSON:HTTP/1.1 500 A. "),
            std::string::npos)
      << "the log line comes first";
}

// The same failures made by the file interface, on every system: creating the
// page, a write after the first piece, closing it.
TEST_F(ErrorPageTest, FileFailuresReachTheCallerWithFileAndReason) {
  using Call = testing::FaultInjectionFileIo::Call;
  const std::string page = (folder / "cs_Sync_2024-03-05-14-07-09.html").string();
  struct Case {
    const char* name;
    std::function<void(testing::FaultInjectionFileIo&)> plan;
    std::string reason;
  } cases[] = {
      {"create refused", [](auto& io) { io.Fail(Call::kCreate, 1, testing::Errno(EACCES)); },
       "Cannot create file \"" + page + "\": Permission denied."},
      {"disk full in the second piece",
       [](auto& io) { io.ShortWrite(2, 100, testing::Errno(ENOSPC)); },
       "Cannot write file \"" + page + "\": No space left on device."},
      {"close fails", [](auto& io) { io.Fail(Call::kClose, 1, testing::Errno(EIO)); },
       "Cannot write file \"" + page + "\": Input/output error."},
  };
  const std::string answer(100 * 1024, 'a');  // two pieces
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::FaultInjectionFileIo io;
    c.plan(io);
    try {
      ReportProtocolError(ProtocolError(500, "HTTP/1.1 500 B", answer), log, clock, folder, io);
      ADD_FAILURE() << "written";
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.what(), c.reason);
    }
  }
  EXPECT_NE(ReadBytes(dir / "log_sync.txt").find("Erro ao enviar Post JSON:HTTP/1.1 500 B. "),
            std::string::npos)
      << "the log line comes first";
}

// Line breaks of every kind become CR LF, also where a CR LF pair or a
// character falls across the pieces the page is written in.
TEST_F(ErrorPageTest, LongPagesKeepTheirLinesAcrossPieces) {
  std::string text(64 * 1024 - 1, 'a');
  text += "\r\n\xC3\xA7";  // CR at the end of the first piece, LF at the start of the next
  text += std::string(64 * 1024 - 4, 'b') + "\xC3\xA7\n\n\rz";
  std::string expected(64 * 1024 - 1, 'a');
  expected += "\r\n\xE7" + std::string(64 * 1024 - 4, 'b') + "\xE7\r\n\r\n\r\nz\r\n";
  const auto page = folder / "page.html";
  CreateErrorFolder(folder);
  WriteErrorPage(page, text);
  EXPECT_EQ(ReadBytes(page), expected);
}

}  // namespace
}  // namespace quorbin
