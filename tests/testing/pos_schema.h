// The point-of-sale database as the agent knows it, written once for every test,
// benchmark and the sample terminal: the tables PARAMETROS, EMITENTE, FECHAMENTOS
// and CUPOM with the columns the agent reads and writes, and the rows of a
// terminal's settings (series 1) and emitter. The statements suit both Firebird
// and SQLite; "{TEXT}" stands for the long text type (PosSchema fills it in).
//
// CHAVE_NFCE holds the 44-digit access key, or for `offline` = 2 the whole path
// of the invoice's file: it is as wide as the longest Windows path (260).
// CUPOM's columns come in this order, which positional INSERTs rely on.
#pragma once

#include <string>
#include <string_view>

namespace quorbin::testing {

inline constexpr std::string_view kPosTables = R"(
CREATE TABLE PARAMETROS (ID INTEGER NOT NULL PRIMARY KEY, NFCE_SERIE CHAR(3));
CREATE TABLE EMITENTE (ID INTEGER NOT NULL PRIMARY KEY, CNPJ VARCHAR(20));
CREATE TABLE FECHAMENTOS (CODIGO INTEGER NOT NULL PRIMARY KEY, JSON {TEXT}, WEB_EX INTEGER,
                          ERRO_ENVIO VARCHAR(300));
CREATE TABLE CUPOM (NUMERO INTEGER NOT NULL PRIMARY KEY, NFCE_NUM INTEGER, CHAVE_NFCE VARCHAR(260),
                    DATA DATE, HORA TIME, OFFLINE INTEGER, CANCELADO INTEGER, WEB_EX INTEGER);
)";

// The emitter of every fixture, with the punctuation a point-of-sale program
// stores; its digits are kPosEmitterDigits.
inline constexpr std::string_view kPosEmitterRow =
    "INSERT INTO EMITENTE VALUES (1, '12.345.678/0001-90');\n";
inline constexpr const char* kPosEmitterDigits = "12345678000190";
inline constexpr std::string_view kPosSeriesRow = "INSERT INTO PARAMETROS VALUES (1, '1');\n";

// The tables with `long_text_type` in place of "{TEXT}" ("BLOB SUB_TYPE TEXT" on
// Firebird, "TEXT" on SQLite); empty keeps the placeholder.
inline std::string PosTables(std::string_view long_text_type = {}) {
  std::string tables(kPosTables);
  if (long_text_type.empty()) return tables;
  const std::string_view placeholder = "{TEXT}";
  for (auto at = tables.find(placeholder); at != std::string::npos;
       at = tables.find(placeholder, at + long_text_type.size())) {
    tables.replace(at, placeholder.size(), long_text_type);
  }
  return tables;
}

// The statement that creates `table` alone (one of the four), as in PosTables.
inline std::string PosTable(std::string_view table, std::string_view long_text_type = {}) {
  const std::string tables = PosTables(long_text_type);
  const std::size_t start = tables.find("CREATE TABLE " + std::string(table) + " (");
  if (start == std::string::npos) return std::string();
  return tables.substr(start, tables.find(";\n", start) + 2 - start);
}

// The tables with the emitter and the series of a terminal.
inline std::string PosSchema(std::string_view long_text_type = {}) {
  return PosTables(long_text_type) + std::string(kPosSeriesRow) + std::string(kPosEmitterRow);
}

}  // namespace quorbin::testing
