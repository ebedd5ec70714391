// InvoiceRow: the columns of one pending `cupom` row that the invoice phase, the
// location of its file and its payload use, read once from the query
// (ReadInvoiceRow, invoice_row_reader.h) and handed on as a value.
//
// Reading a column can fail (a missing column, text that is no integer, a column
// of a type that cannot be read so). Such a failure does not fail the reading:
// the column keeps it, and it is raised where the value is first used. A row
// with a bad column therefore fails at the same step, after the same log lines,
// as one whose columns are read where they are needed: `nfce_num` after the
// location's "Caminho: " line, `data` and `hora` of an `offline` = 2 row only
// when its payload is built, its `cancelado` only after a 200.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

#include "support/date_time.h"

namespace quorbin {

// One column as read: its value, or the failure that reading it raised.
template <typename T>
class ColumnRead {
 public:
  // Implicit, so that a row can be written as its values.
  ColumnRead(T value) : value_(std::move(value)) {}
  static ColumnRead Failed(std::exception_ptr failure) {
    ColumnRead read{T{}};
    read.failure_ = std::move(failure);
    return read;
  }

  // The value; raises the reading's failure instead when there was one.
  const T& value() const {
    if (failure_) std::rethrow_exception(failure_);
    return value_;
  }

 private:
  T value_;
  std::exception_ptr failure_;
};

struct InvoiceRow {
  ColumnRead<std::int32_t> offline = 0;    // 2: key is the path; 1: contingency
  ColumnRead<std::int32_t> cancelado = 0;  // 1: cancelled
  // `data` + `hora` (date-times added as day counts): the moment of issue, local
  // time. A failure of `data` comes before one of `hora`.
  ColumnRead<DateTime> invoice_time = DateTime{};
  ColumnRead<std::string> chave_nfce = std::string();  // access key, or the path
  ColumnRead<std::int32_t> nfce_num = 0;               // the number, for the failed-note list
  // The same column as the folder search names it: the same number, but a
  // missing column's failure names it NFCE_NUM.
  ColumnRead<std::int32_t> NFCE_NUM = 0;
  // The number as text (empty for NULL): log lines and error page names.
  ColumnRead<std::string> nfce_num_text = std::string();
};

}  // namespace quorbin
