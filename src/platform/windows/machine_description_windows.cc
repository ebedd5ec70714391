#include <windows.h>
// after windows.h
#include <wbemcli.h>
#include <wbemdisp.h>

#include <stdexcept>

#include "platform/machine_description.h"
#include "platform/windows/com_windows.h"

namespace quorbin::platform {
namespace {

using Kind = MachineValue::Kind;

[[noreturn]] void Fail(const std::string& what, HRESULT status) {
  throw std::runtime_error(ComFailureText(what, status));
}

void Check(HRESULT status, const std::string& what) {
  if (FAILED(status)) Fail(what, status);
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

MachineValue FromVariant(const VARIANT& variant);

// One element of a safe array of element type `type`, read at `index`.
MachineValue ArrayElement(SAFEARRAY* array, VARTYPE type, LONG index) {
  Variant element;
  if (type == VT_VARIANT) {
    Check(SafeArrayGetElement(array, &index, element.get()), "Reading a WMI array failed");
    return FromVariant(*element);
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
  return FromVariant(*element);
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

MachineValue FromVariant(const VARIANT& variant) {
  if (variant.vt & VT_ARRAY) return FromArray(variant);
  if (variant.vt == (VT_BYREF | VT_VARIANT)) return FromVariant(*variant.pvarVal);
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

// The next object of an enumeration as the interface asked for; nothing at the
// end. An enumerator that reports an error ends the enumeration alike.
template <typename Interface>
bool Next(IEnumVARIANT* items, const IID& id, ComRef<Interface>& item) {
  Variant next;
  ULONG fetched = 0;
  if (items->Next(1, next.get(), &fetched) != S_OK || fetched != 1) return false;
  const VARIANT& value = *next;
  IUnknown* unknown = value.vt == VT_DISPATCH  ? value.pdispVal
                      : value.vt == VT_UNKNOWN ? value.punkVal
                                               : nullptr;
  if (!unknown) return false;
  Check(unknown->QueryInterface(id, reinterpret_cast<void**>(item.put())),
        "Reading a WMI object failed");
  return true;
}

template <typename Collection>
ComRef<IEnumVARIANT> EnumeratorOf(Collection* collection) {
  ComRef<IUnknown> unknown;
  Check(collection->get__NewEnum(unknown.put()), "Enumerating a WMI collection failed");
  ComRef<IEnumVARIANT> items;
  Check(unknown->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(items.put())),
        "Enumerating a WMI collection failed");
  return items;
}

struct ClassProperties {
  std::string_view class_name;
  std::vector<const wchar_t*> names;
};

// The properties each class of the fingerprint offers, read by name as the
// scripting interface reads them.
const std::vector<const wchar_t*>& PropertyNames(std::string_view class_name) {
  static const ClassProperties kClasses[] = {
      {"Win32_BaseBoard", {L"SerialNumber", L"Manufacturer", L"Product", L"Model"}},
      {"Win32_OperatingSystem",
       {L"BuildNumber", L"BuildType", L"Manufacturer", L"Name", L"SerialNumber", L"Version"}},
      {"Win32_BIOS",
       {L"BIOSVersion", L"BuildNumber", L"Description", L"Manufacturer", L"Name", L"SerialNumber",
        L"Version"}},
      {"Win32_Processor", {L"Description", L"Manufacturer", L"Name", L"ProcessorId", L"UniqueId"}},
  };
  static const std::vector<const wchar_t*> kNone;
  for (const ClassProperties& known : kClasses) {
    if (known.class_name == class_name) return known.names;
  }
  return kNone;
}

MachineObject ReadObject(ISWbemObject* object, std::string_view class_name) {
  ComRef<ISWbemPropertySet> properties;
  Check(object->get_Properties_(properties.put()), "Reading WMI properties failed");
  MachineObject result;
  for (const wchar_t* name : PropertyNames(class_name)) {
    const std::string text = Utf8FromWide(name);
    const Bstr wanted(name);
    ComRef<ISWbemProperty> property;
    const HRESULT found = properties->Item(wanted.get(), 0, property.put());
    if (found == static_cast<HRESULT>(WBEM_E_NOT_FOUND)) {
      // A class that the system describes without this property (Wine's
      // Win32_BIOS has no BIOSVersion): it has no value.
      result.properties.emplace_back(text, MachineValue::Null());
      continue;
    }
    Check(found, "Reading the WMI property " + text + " failed");
    Variant value;
    Check(property->get_Value(value.get()), "Reading the WMI property " + text + " failed");
    result.properties.emplace_back(text, FromVariant(*value));
  }
  return result;
}

// The services of "root\cimv2" on this machine, through the scripting locator.
ComRef<ISWbemServices> ConnectServices() {
  EnsureComApartment();
  CLSID locator_class{};
  Check(CLSIDFromProgID(L"WbemScripting.SWbemLocator", &locator_class),
        "The WMI scripting locator is not available");
  ComRef<ISWbemLocator> locator;
  Check(CoCreateInstance(locator_class, nullptr, CLSCTX_INPROC_SERVER, IID_ISWbemLocator,
                         reinterpret_cast<void**>(locator.put())),
        "The WMI scripting locator cannot be created");
  const Bstr server(L"localhost");
  const Bstr space(L"root\\cimv2");
  const Bstr none(L"");
  ComRef<ISWbemServices> services;
  Check(locator->ConnectServer(server.get(), space.get(), none.get(), none.get(), none.get(),
                               none.get(), 0, nullptr, services.put()),
        "Connecting to WMI failed");
  return services;
}

}  // namespace

std::vector<MachineObject> QueryMachineClass(std::string_view class_name) {
  const ComRef<ISWbemServices> services = ConnectServices();
  const Bstr query(WideFromUtf8("SELECT * FROM " + std::string(class_name)));
  const Bstr language(L"WQL");
  ComRef<ISWbemObjectSet> found;
  Check(services->ExecQuery(query.get(), language.get(), 0, nullptr, found.put()),
        "The WMI query for " + std::string(class_name) + " failed");
  std::vector<MachineObject> objects;
  const ComRef<IEnumVARIANT> items = EnumeratorOf(found.get());
  ComRef<ISWbemObject> object;
  while (Next(items.get(), IID_ISWbemObject, object)) {
    objects.push_back(ReadObject(object.get(), class_name));
  }
  return objects;
}

std::optional<std::uint32_t> SystemVolumeSerial() {
  DWORD serial = 0;
  if (!GetVolumeInformationW(L"C:\\", nullptr, 0, &serial, nullptr, nullptr, nullptr, 0)) {
    return std::nullopt;
  }
  return serial;
}

}  // namespace quorbin::platform
