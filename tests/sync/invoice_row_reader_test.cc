#include "sync/invoice_row_reader.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "support/failure.h"
#include "testing/failure_message.h"
#include "testing/fake_query.h"

namespace quorbin::testing {
namespace {

InvoiceRow ReadOne(FakeRow row) {
  FakeQuery fbquery("fbquery", {std::move(row)});
  RunStatement(fbquery, "select * from cupom where web_ex = 0 order by numero desc");
  return ReadInvoiceRow(fbquery);
}

TEST(InvoiceRowReaderTest, ReadsEveryColumnWhateverItsCaseAndAddsDateAndTime) {
  const InvoiceRow row = ReadOne({{"NUMERO", IntegerValue(7)},
                                  {"NFCE_NUM", IntegerValue(-1234)},
                                  {"CHAVE_NFCE", TextValue("3522")},
                                  {"DATA", DateValue(2022, 5, 10)},
                                  {"HORA", TimeValue(14, 30, 5, 250)},
                                  {"Offline", IntegerValue(1)},
                                  {"cancelado", IntegerValue(3)}});
  EXPECT_EQ(row.offline.value(), 1);
  EXPECT_EQ(row.cancelado.value(), 3);
  EXPECT_EQ(row.invoice_time.value(), DateTime::FromCivil({2022, 5, 10, 14, 30, 5, 250}));
  EXPECT_EQ(row.chave_nfce.value(), "3522");
  EXPECT_EQ(row.nfce_num.value(), -1234);
  EXPECT_EQ(row.NFCE_NUM.value(), -1234);
  EXPECT_EQ(row.nfce_num_text.value(), "-1234");
}

TEST(InvoiceRowReaderTest, NullColumnsReadAsZeroEmptyTextAndTheZeroDateTime) {
  const ColumnValue null;
  const InvoiceRow row = ReadOne({{"nfce_num", null},
                                  {"chave_nfce", null},
                                  {"data", null},
                                  {"hora", null},
                                  {"offline", null},
                                  {"cancelado", null}});
  EXPECT_EQ(row.offline.value(), 0);
  EXPECT_EQ(row.cancelado.value(), 0);
  EXPECT_EQ(row.invoice_time.value(), DateTime{});
  EXPECT_EQ(row.chave_nfce.value(), "");
  EXPECT_EQ(row.nfce_num.value(), 0);
  EXPECT_EQ(row.nfce_num_text.value(), "");
}

// Reading never fails: each column keeps its own failure until its value is used,
// and the others read as usual.
TEST(InvoiceRowReaderTest, ColumnThatCannotBeReadFailsWhereItsValueIsUsed) {
  InvoiceRow row;
  ASSERT_NO_THROW(row = ReadOne({{"chave_nfce", TextValue("k")},
                                 {"data", TextValue("ontem")},
                                 {"hora", TextValue("agora")},
                                 {"offline", TextValue("2")},
                                 {"cancelado", TextValue("N")}}));
  EXPECT_EQ(row.offline.value(), 2);
  EXPECT_EQ(row.chave_nfce.value(), "k");
  EXPECT_EQ(FailureMessage([&] { row.cancelado.value(); }), "'N' is not a valid integer value");
  EXPECT_EQ(FailureMessage([&] { row.invoice_time.value(); }),
            "The column cannot be read as a date-time");
  // Each use of the number names the column as that use spells it.
  EXPECT_EQ(FailureMessage([&] { row.nfce_num.value(); }), "fbquery: Field 'nfce_num' not found");
  EXPECT_EQ(FailureMessage([&] { row.NFCE_NUM.value(); }), "fbquery: Field 'NFCE_NUM' not found");
  EXPECT_EQ(FailureMessage([&] { row.nfce_num_text.value(); }),
            "fbquery: Field 'nfce_num' not found");
  // Used again, it fails again.
  EXPECT_EQ(FailureMessage([&] { row.cancelado.value(); }), "'N' is not a valid integer value");

  // NULL in a text column is the empty text, which is no integer.
  ColumnValue null_text = TextValue("");
  null_text.null = true;
  const InvoiceRow number_as_text = ReadOne({{"nfce_num", null_text}});
  EXPECT_EQ(FailureMessage([&] { number_as_text.nfce_num.value(); }),
            "'' is not a valid integer value");
  EXPECT_EQ(number_as_text.nfce_num_text.value(), "");
}

}  // namespace
}  // namespace quorbin::testing
