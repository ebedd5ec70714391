// A WMI property value, as the scripting interface delivers it (a VARIANT), as
// a machine value: texts as UTF-8, integers and floating values by their kind,
// Null as Null, arrays (of any element type, through a reference or not) as
// arrays of the values of their first dimension, each element converted in turn.
// Kinds with no text of their own (objects, decimals, records) are empty.
#pragma once

#include <windows.h>
// after windows.h
#include <oaidl.h>

#include "platform/machine_description.h"

namespace quorbin::platform {

MachineValue MachineValueOfVariant(const VARIANT& variant);

}  // namespace quorbin::platform
