// Synthetic NFC-e trees for the benchmarks: a drive C folder holding the four
// search roots of the point-of-sale program, each with month folders of invoice
// files as the program writes them. Deterministic for a given seed.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace quorbin::bench {

struct NfceTreeOptions {
  int files = 20'000;
  std::uint32_t seed = 1;
  std::string emitter_cnpj = "12345678000190";
};

struct GeneratedInvoice {
  std::filesystem::path path;
  std::string key;      // the 44-digit access key
  std::int32_t number;  // the cNF, as the database would hold it
  bool malformed;
};

struct NfceTree {
  std::vector<GeneratedInvoice> invoices;
  std::uintmax_t total_bytes = 0;
};

// The 44-digit access key for the first 43 digits, with its check digit.
std::string WithCheckDigit(const std::string& first_43_digits);

// Writes the tree below `drive_c` (which must exist) and returns what it wrote.
// About one file in twenty has a bare NFe root, one in two hundred is malformed
// (cut short, or an undeclared prefix), one in ten belongs to another emitter;
// roots and months share the files as on a busy terminal.
NfceTree WriteNfceTree(const std::filesystem::path& drive_c, const NfceTreeOptions& options);

struct DirectInvoice {
  std::string key;    // the 44-digit access key
  std::string month;  // yyyymm, the month folder it lies in
};

// Writes a tree and moves `count` sound invoices of it to their direct paths
// (NFCe/Transmitidas/<yyyymm>/<key>-nfe.xml), where the invoice phase finds a
// row's file without a search.
std::vector<DirectInvoice> WriteDirectInvoices(const std::filesystem::path& drive_c, int count,
                                               std::uint32_t seed = 1);

}  // namespace quorbin::bench
