// What the sync tests share: a drive C (a temporary folder named by
// QUORBIN_DRIVE_C on Linux; on Windows the real C:\, whose Tavrellis folder the
// fixture empties before and after, so these tests take turns), an activity log
// whose lines the test reads back, an event pump that notes where in the log each
// trim of the working set happened, and NFC-e documents to put on the drive.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/activity_log.h"
#include "support/event_pump.h"
#include "support/line_file.h"
#include "sync/invoice_row.h"
#include "testing/manual_clock.h"
#include "testing/temp_dir.h"

namespace quorbin::testing {

// The messages of a log file, stamps removed; a message with line breaks is one
// entry again.
inline std::vector<std::string> LogMessages(const std::filesystem::path& file) {
  std::vector<std::string> messages;
  if (!std::filesystem::exists(file)) return messages;
  const std::string text = DecodeText(ReadBytes(file));
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    if (line.size() >= 24 && line[0] == '[' && line[20] == ']' && line.compare(21, 3, " : ") == 0) {
      messages.push_back(line.substr(24));
    } else if (!messages.empty()) {
      messages.back() += "\r\n" + line;
    }
    start = end + 2;
  }
  return messages;
}

// A row of `cupom` as ReadInvoiceRow gives it, every column readable; the
// number's text is its decimal digits.
inline InvoiceRow ReadableInvoiceRow(std::int32_t offline, std::int32_t cancelado,
                                     DateTime invoice_time, std::string key = std::string(),
                                     std::int32_t number = 1234) {
  return InvoiceRow{.offline = offline,
                    .cancelado = cancelado,
                    .invoice_time = invoice_time,
                    .chave_nfce = std::move(key),
                    .nfce_num = number,
                    .NFCE_NUM = number,
                    .nfce_num_text = std::to_string(number)};
}

class RecordingPump final : public EventPump {
 public:
  explicit RecordingPump(const std::filesystem::path& log_file) : log_file_(log_file) {}
  void RunPending() override { trims.push_back(LogMessages(log_file_).size()); }
  void Sleep(int) override {}

  // For every trim, the number of log messages written before it.
  std::vector<std::size_t> trims;

 private:
  std::filesystem::path log_file_;
};

class SyncFixture {
 public:
#ifdef _WIN32
  SyncFixture() : log(dir / "log_sync.txt", clock), pump(dir / "log_sync.txt") {
    std::filesystem::remove_all(drive_c() / "Tavrellis");
  }
  ~SyncFixture() {
    std::error_code ignored;
    std::filesystem::remove_all(drive_c() / "Tavrellis", ignored);
  }

  std::filesystem::path drive_c() const {
    return "C:\\";
  }
#else
  SyncFixture() : log(dir / "log_sync.txt", clock), pump(dir / "log_sync.txt") {
    std::filesystem::create_directories(drive_c());
    setenv("QUORBIN_DRIVE_C", drive_c().c_str(), 1);
  }
  ~SyncFixture() {
    unsetenv("QUORBIN_DRIVE_C");
  }

  std::filesystem::path drive_c() const {
    return dir / "drive_c";
  }
#endif
  std::filesystem::path nfce() const {
    return drive_c() / "Tavrellis" / "PDV" / "NFCe";
  }
  std::vector<std::string> messages() const {
    return LogMessages(dir / "log_sync.txt");
  }

  // The path of `relative` ("Validadas/202205/a.xml") below the NFCe folder, with
  // the system's separators.
  std::filesystem::path At(const std::string& relative) const {
    return (nfce() / relative).make_preferred();
  }

  // Writes `text` at `relative` below the NFCe folder; returns the full path.
  std::filesystem::path Put(const std::string& relative, const std::string& text) const {
    const auto path = At(relative);
    std::filesystem::create_directories(path.parent_path());
    WriteBytes(path, text);
    return path;
  }

  TempDir dir;
  ManualClock clock;
  ActivityLog log;
  RecordingPump pump;
};

// A wrapped NFC-e document (nfeProc root) of the given emitter and code.
inline std::string WrappedInvoice(
    const std::string& cnpj, const std::string& cnf,
    const std::string& id = "NFe35220512345678000190650010000012341000012345") {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<nfeProc xmlns=\"http://www.portalfiscal.inf.br/nfe\" versao=\"4.00\">\n"
         "  <NFe xmlns=\"http://www.portalfiscal.inf.br/nfe\">\n"
         "    <infNFe versao=\"4.00\" Id=\"" +
         id +
         "\">\n"
         "      <ide><cUF>35</cUF><cNF>" +
         cnf +
         "</cNF><mod>65</mod></ide>\n"
         "      <emit><CNPJ>" +
         cnpj +
         "</CNPJ><xNome>LOJA</xNome></emit>\n"
         "    </infNFe>\n"
         "  </NFe>\n"
         "  <protNFe versao=\"4.00\"><infProt><cStat>100</cStat></infProt></protNFe>\n"
         "</nfeProc>\n";
}

// The same invoice element under a bare NFe root.
inline std::string BareInvoice(
    const std::string& cnpj, const std::string& cnf,
    const std::string& id = "NFe35220512345678000190650010000012341000012345") {
  return "<NFe xmlns=\"http://www.portalfiscal.inf.br/nfe\"><infNFe Id=\"" + id + "\"><ide><cNF>" +
         cnf + "</cNF></ide><emit><CNPJ>" + cnpj + "</CNPJ></emit></infNFe></NFe>";
}

}  // namespace quorbin::testing
