// Reads the current row of the invoice query (statement 4 or 5 on `fbquery`)
// into an InvoiceRow. Every column is read here once, by name without regard to
// case; a column that cannot be read keeps its failure in the value (see
// invoice_row.h), so reading never fails.
#pragma once

#include "store/query.h"
#include "sync/invoice_row.h"

namespace quorbin {

InvoiceRow ReadInvoiceRow(const Query& row);

}  // namespace quorbin
