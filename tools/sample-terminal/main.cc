// sample-terminal: lays out the drive C of a sample point-of-sale terminal for
// trying the agent out, and prints the SQL (SQLite) of its database: the tables
// the agent reads and their rows.
//
//   sample-terminal <drive_c folder> > terminal.sql
//
// The NFC-e tree comes from the benchmarks' generator. The rows: invoices whose
// files are at their direct path, invoices whose files only a folder search finds
// (filed in another month's folder of the validated invoices), one invoice whose
// file is nowhere yet, a malformed file in a search root, and three pending
// cash-register closings (one stored with the separators the point-of-sale
// program sometimes leaves out).
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "nfce_tree.h"
#include "testing/pos_schema.h"

namespace {

using quorbin::bench::GeneratedInvoice;

constexpr const char* kEmitter = quorbin::testing::kPosEmitterDigits;

std::string Read(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool OursAndSound(const GeneratedInvoice& invoice) {
  return !invoice.malformed &&
         Read(invoice.path).find(std::string("<emit><CNPJ>") + kEmitter) != std::string::npos;
}

// The row's date from the invoice's month folder (yyyymm), day 15.
std::string DateOf(const std::filesystem::path& file) {
  const std::string month = file.parent_path().filename().string();
  return month.substr(0, 4) + "-" + month.substr(4, 2) + "-15";
}

std::string CupomRow(int numero, const GeneratedInvoice& invoice, const std::string& date) {
  char row[512];
  std::snprintf(row, sizeof row,
                "INSERT INTO CUPOM VALUES (%d, %d, '%s', '%s', '10:%02d:00', 0, 0, 0);", numero,
                invoice.number, invoice.key.c_str(), date.c_str(), numero % 60);
  return row;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: sample-terminal <drive_c folder> > terminal.sql\n";
    return 2;
  }
  const std::filesystem::path drive_c = argv[1];
  std::filesystem::create_directories(drive_c / "Tavrellis" / "PDV");
  std::ofstream(drive_c / "Tavrellis" / "PDV" / "Quorbin.exe") << "MZ";
  const auto tree = quorbin::bench::WriteNfceTree(drive_c, {.files = 60, .seed = 7});

  std::vector<std::string> rows;
  int numero = 100;
  int direct = 0;
  int searched = 0;
  for (const auto& invoice : tree.invoices) {
    if (!OursAndSound(invoice)) continue;
    const std::string root = invoice.path.parent_path().parent_path().filename().string();
    if (root == "Transmitidas" && direct < 6) {
      rows.push_back(CupomRow(++numero, invoice, DateOf(invoice.path)));
      ++direct;
    } else if (root == "Validadas" && searched < 2) {
      // Sold in another month than the folder it was filed in: the direct path
      // misses, the search finds it by CNPJ and cNF.
      rows.push_back(CupomRow(++numero, invoice, "2019-01-15"));
      ++searched;
    }
  }
  // An invoice whose file the point-of-sale program has not written yet.
  rows.push_back("INSERT INTO CUPOM VALUES (" + std::to_string(++numero) +
                 ", 99999999, '35190112345678000190650010999999991999999990', '2019-01-20', "
                 "'12:00:00', 0, 0, 0);");
  // A damaged file in a search root: the search skips it and says so.
  std::filesystem::create_directories(drive_c / "Tavrellis/PDV/NFCe/Validadas/201901");
  std::ofstream(
      drive_c /
      "Tavrellis/PDV/NFCe/Validadas/201901/35190112345678000190650010000000011000000015-nfe.xml")
      << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<nfeProc><NFe><infNFe Id=\"NFe3519";

  std::cout << "BEGIN;\n" << quorbin::testing::PosSchema("TEXT");
  std::cout << "INSERT INTO FECHAMENTOS VALUES (1, '{\"caixa\":1,\"operador\":\"Jos\xC3\xA9\","
               "\"abertura\":\"2026-12-09T07:58:00\",\"total\":1523.47}', 0, NULL);\n";
  std::cout << "INSERT INTO FECHAMENTOS VALUES (2, '{\"caixa\":2,\"pagamentos\":[{\"tipo\":\"01\","
               "\"valor\":312.50}{\"tipo\":\"03\",\"valor\":88.10}],\"movimentos\":[[{\"sangria\":"
               "50.00}][{\"suprimento\":20.00}]]}', 0, NULL);\n";
  std::cout << "INSERT INTO FECHAMENTOS VALUES (3, "
               "'{\"caixa\":3,\"operador\":\"Concei\xC3\xA7\xC3\xA3o\","
               "\"total\":97.00}', 0, NULL);\n";
  for (const auto& row : rows) std::cout << row << "\n";
  std::cout << "COMMIT;\n";
  std::cerr << "sample-terminal: " << direct << " invoices at their direct path, " << searched
            << " found only by the search, 1 not written yet, 1 damaged file, 3 closings\n";
  return 0;
}
