// The text of a machine property value, as the fingerprint collects it, in the
// ANSI code page (single bytes):
//   Null                  -> empty text
//   an array              -> "[" + the items' texts joined by "|" + "]"
//   anything else         -> its general text form:
//     text as it is; empty as empty text; integers in decimal ("-" when
//     negative); floating values in the general format with at most 15
//     significant digits and the regional decimal separator ("1,5", "1E20",
//     "1E-5"); a date as "dd/mm/yyyy" plus " hh:nn:ss" when it has a time;
//     a Boolean as "True" or "False".
// An array item has the same text, except an unsigned 8-bit item, which is the
// one character of that code, and a nested array, which is bracketed in turn.
// Characters the code page lacks become "?".
#pragma once

#include <string>

#include "platform/machine_description.h"

namespace quorbin {

std::string WmiValueToText(const platform::MachineValue& value);
std::string WmiArrayToText(const platform::MachineValue& value);
std::string WmiItemToText(const platform::MachineValue& item);

// The general floating-point format (see above), with `decimal_separator`.
std::string GeneralFloatText(double number, std::string_view decimal_separator);

}  // namespace quorbin
