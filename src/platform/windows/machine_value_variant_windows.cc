#include <windows.h>

#include <stdexcept>
#include <vector>

#include "platform/windows/com_windows.h"
#include "platform/windows/machine_value_variant_windows.h"

namespace quorbin::platform {
namespace {

using Kind = MachineValue::Kind;

void Check(HRESULT status, const std::string& what) {
  if (FAILED(status)) throw std::runtime_error(ComFailureText(what, status));
}

MachineValue OfInteger(Kind kind, std::int64_t integer) {
  MachineValue value = MachineValue::OfKind(kind);
  value.integer = integer;
  return value;
}

MachineValue OfNumber(Kind kind, double number) {
  MachineValue value = MachineValue::OfKind(kind);
  value.number = number;
  return value;
}

// One element of a safe array of element type `type`, read at `index`.
MachineValue ArrayElement(SAFEARRAY* array, VARTYPE type, LONG index) {
  Variant element;
  if (type == VT_VARIANT) {
    Check(SafeArrayGetElement(array, &index, element.get()), "Reading a WMI array failed");
    return MachineValueOfVariant(*element);
  }
  // Every other element type is read into a variant of that type.
  if (type == VT_BSTR || type == VT_DISPATCH || type == VT_UNKNOWN) {
    void* pointer = nullptr;  // a copy or a new reference, owned by the variant
    Check(SafeArrayGetElement(array, &index, &pointer), "Reading a WMI array failed");
    element.get()->vt = type;
    element.get()->byref = pointer;
  } else if (SafeArrayGetElemsize(array) > sizeof element.get()->llVal) {
    return MachineValue::OfKind(Kind::kEmpty);  // decimals and records: no text
  } else {
    element.get()->vt = type;
    Check(SafeArrayGetElement(array, &index, &element.get()->llVal), "Reading a WMI array failed");
  }
  return MachineValueOfVariant(*element);
}

MachineValue FromArray(const VARIANT& variant) {
  SAFEARRAY* array = (variant.vt & VT_BYREF) ? *variant.pparray : variant.parray;
  std::vector<MachineValue> items;
  if (array && SafeArrayGetDim(array) >= 1) {
    LONG lower = 0;
    LONG upper = -1;
    SafeArrayGetLBound(array, 1, &lower);
    SafeArrayGetUBound(array, 1, &upper);
    const auto type = static_cast<VARTYPE>(variant.vt & VT_TYPEMASK);
    for (LONG index = lower; index <= upper; ++index) {
      items.push_back(ArrayElement(array, type, index));
    }
  }
  return MachineValue::Array(std::move(items));
}

}  // namespace

MachineValue MachineValueOfVariant(const VARIANT& variant) {
  if (variant.vt & VT_ARRAY) return FromArray(variant);
  if (variant.vt == (VT_BYREF | VT_VARIANT)) return MachineValueOfVariant(*variant.pvarVal);
  switch (variant.vt) {
    case VT_EMPTY:
      return MachineValue::OfKind(Kind::kEmpty);
    case VT_NULL:
      return MachineValue::Null();
    case VT_I1:
      return OfInteger(Kind::kInteger, variant.cVal);
    case VT_I2:
      return OfInteger(Kind::kInteger, variant.iVal);
    case VT_I4:
    case VT_INT:
      return OfInteger(Kind::kInteger, variant.lVal);
    case VT_I8:
      return OfInteger(Kind::kInteger, variant.llVal);
    case VT_UI1:
      return OfInteger(Kind::kByte, variant.bVal);
    case VT_UI2:
      return OfInteger(Kind::kUnsigned, variant.uiVal);
    case VT_UI4:
    case VT_UINT:
      return OfInteger(Kind::kUnsigned, variant.ulVal);
    case VT_UI8:
      return OfInteger(Kind::kUnsigned, static_cast<std::int64_t>(variant.ullVal));
    case VT_R4:
      return OfNumber(Kind::kFloat, variant.fltVal);
    case VT_R8:
      return OfNumber(Kind::kFloat, variant.dblVal);
    case VT_CY:
      return OfNumber(Kind::kFloat, static_cast<double>(variant.cyVal.int64) / 10000.0);
    case VT_DATE:
      return OfNumber(Kind::kDate, variant.date);
    case VT_BOOL: {
      MachineValue value = MachineValue::OfKind(Kind::kBoolean);
      value.boolean = variant.boolVal != VARIANT_FALSE;
      return value;
    }
    case VT_BSTR:
      return MachineValue::Text(
          variant.bstrVal
              ? Utf8FromWide(std::wstring_view(variant.bstrVal, SysStringLen(variant.bstrVal)))
              : std::string());
    default:
      // Embedded objects and other kinds have no text of their own.
      return MachineValue::OfKind(Kind::kEmpty);
  }
}

}  // namespace quorbin::platform
