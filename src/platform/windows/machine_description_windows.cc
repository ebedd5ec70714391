#include <windows.h>
// after windows.h
#include <wbemcli.h>
#include <wbemdisp.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/machine_description.h"
#include "platform/windows/com_windows.h"
#include "platform/windows/machine_value_variant_windows.h"

namespace quorbin::platform {
namespace {

[[noreturn]] void Fail(const std::string& what, HRESULT status) {
  throw std::runtime_error(ComFailureText(what, status));
}

void Check(HRESULT status, const std::string& what) {
  if (FAILED(status)) Fail(what, status);
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

MachineObject ReadObject(ISWbemObject* object, const std::vector<std::string>& names) {
  ComRef<ISWbemPropertySet> properties;
  Check(object->get_Properties_(properties.put()), "Reading WMI properties failed");
  MachineObject result;
  for (const std::string& name : names) {
    const Bstr wanted(WideFromUtf8(name));
    ComRef<ISWbemProperty> property;
    const HRESULT found = properties->Item(wanted.get(), 0, property.put());
    if (found == static_cast<HRESULT>(WBEM_E_NOT_FOUND)) {
      // A class that the system describes without this property (Wine's
      // Win32_BIOS has no BIOSVersion): it has no value.
      result.properties.emplace_back(name, MachineValue::Null());
      continue;
    }
    Check(found, "Reading the WMI property " + name + " failed");
    Variant value;
    Check(property->get_Value(value.get()), "Reading the WMI property " + name + " failed");
    result.properties.emplace_back(name, MachineValueOfVariant(*value));
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

struct MachineDescription::Connection {
  ComRef<ISWbemServices> services;
};

MachineDescription::MachineDescription() : connection_(std::make_unique<Connection>()) {}
MachineDescription::~MachineDescription() = default;

std::vector<MachineObject> MachineDescription::Objects(std::string_view class_name,
                                                       const std::vector<std::string>& properties) {
  if (!connection_->services) connection_->services = ConnectServices();
  const Bstr query(WideFromUtf8("SELECT * FROM " + std::string(class_name)));
  const Bstr language(L"WQL");
  ComRef<ISWbemObjectSet> found;
  Check(connection_->services->ExecQuery(query.get(), language.get(), 0, nullptr, found.put()),
        "The WMI query for " + std::string(class_name) + " failed");
  std::vector<MachineObject> objects;
  const ComRef<IEnumVARIANT> items = EnumeratorOf(found.get());
  ComRef<ISWbemObject> object;
  while (Next(items.get(), IID_ISWbemObject, object)) {
    objects.push_back(ReadObject(object.get(), properties));
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
