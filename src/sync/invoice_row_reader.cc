#include "sync/invoice_row_reader.h"

namespace quorbin {
namespace {

template <typename Read>
auto Column(Read read) -> ColumnRead<decltype(read())> {
  try {
    return read();
  } catch (...) {
    return ColumnRead<decltype(read())>::Failed(std::current_exception());
  }
}

}  // namespace

InvoiceRow ReadInvoiceRow(const Query& row) {
  InvoiceRow invoice;
  invoice.offline = Column([&] { return row.FieldByName("offline").AsInteger(); });
  invoice.cancelado = Column([&] { return row.FieldByName("cancelado").AsInteger(); });
  invoice.invoice_time = Column([&] {
    const DateTime date = row.FieldByName("data").AsDateTime();
    const DateTime time_of_day = row.FieldByName("hora").AsDateTime();
    return DateTime{date.ms + time_of_day.ms};
  });
  invoice.chave_nfce = Column([&] { return row.FieldByName("chave_nfce").AsString(); });
  invoice.nfce_num = Column([&] { return row.FieldByName("nfce_num").AsInteger(); });
  invoice.NFCE_NUM = Column([&] { return row.FieldByName("NFCE_NUM").AsInteger(); });
  invoice.nfce_num_text = Column([&] { return row.FieldByName("nfce_num").AsString(); });
  return invoice;
}

}  // namespace quorbin
