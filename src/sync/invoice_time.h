// The invoice time of a `cupom` row: its `data` plus its `hora`, both read as
// date-times. `data` holds the day at midnight and `hora` a time of day on the
// zero date, so the sum is the moment of issue (local time); both NULL give the
// zero date-time.
#pragma once

#include "store/query.h"
#include "support/date_time.h"

namespace quorbin {

DateTime InvoiceTime(const Query& row);

}  // namespace quorbin
