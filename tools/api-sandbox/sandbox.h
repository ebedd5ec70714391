// The API sandbox: a local stand-in for the web API, for people who install or
// develop the agent. It logs a terminal in, accepts closings and invoices, checks
// what it receives the way the real API would need it, stores it in a folder, and
// refuses calls on request so that the agent's error handling can be seen.
#pragma once

#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <string>

namespace quorbin::sandbox {

struct SandboxOptions {
  std::string host = "127.0.0.1";
  int port = 8000;
  std::filesystem::path store = "sandbox-received";
  std::string token = "sandbox-token";
  int fail_every = 0;                     // every Nth upload answered 500; 0: never
  std::set<std::string> refused_numbers;  // invoice numbers (nNF) answered 500
  bool refuse_login = false;              // the login answered 500
};

struct Answer {
  int status = 200;
  std::string content_type = "application/json";
  std::string body;
};

// What the sandbox answers for one request; thread-safe.
class Sandbox {
 public:
  explicit Sandbox(SandboxOptions options);

  Answer Login(const std::string& body);
  Answer ReceiveInvoice(const std::string& authorization, const std::string& body);
  Answer ImportClosing(const std::string& authorization, const std::string& body);

  const SandboxOptions& options() const { return options_; }

 private:
  std::optional<Answer> CheckUpload(const std::string& authorization);
  void Record(const std::string& line);

  SandboxOptions options_;
  std::mutex mutex_;
  int uploads_ = 0;
  int closings_ = 0;
};

// The text of a percent-encoded value: "%XX" becomes the byte XX.
std::string PercentDecode(const std::string& text);

// The Id of nfeProc/NFe/infNFe, else of a root NFe/infNFe; throws when the text
// is not well-formed XML or carries no Id.
std::string InvoiceId(const std::string& xml);

}  // namespace quorbin::sandbox
