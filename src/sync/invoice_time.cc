#include "sync/invoice_time.h"

namespace quorbin {

DateTime InvoiceTime(const Query& row) {
  const DateTime date = row.FieldByName("data").AsDateTime();
  const DateTime time_of_day = row.FieldByName("hora").AsDateTime();
  return DateTime{date.ms + time_of_day.ms};
}

}  // namespace quorbin
