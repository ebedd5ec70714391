// WMI values as the scripting interface hands them over, built by hand, through
// to the text the fingerprint hashes: the BIOS version list of every real
// terminal is an array, and a slip here would change every terminal's identity.
#include "platform/windows/machine_value_variant_windows.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <vector>

#include "identity/machine_value_text.h"
#include "platform/windows/com_windows.h"

namespace quorbin::platform {
namespace {

// Fills `variant` with a one-dimensional array of `type`, counted from `lower`,
// holding `elements`.
template <typename Element>
void MakeArray(Variant& variant, VARTYPE type, const std::vector<Element>& elements,
               LONG lower = 0) {
  SAFEARRAYBOUND bound{static_cast<ULONG>(elements.size()), lower};
  SAFEARRAY* array = SafeArrayCreate(type, 1, &bound);
  ASSERT_NE(array, nullptr);
  for (std::size_t i = 0; i < elements.size(); ++i) {
    LONG index = lower + static_cast<LONG>(i);
    // A BSTR itself, a VARIANT by its address (both copied in); other elements
    // by their address.
    const void* element;
    if constexpr (std::is_pointer_v<Element>) {
      element = elements[i];
    } else {
      element = &elements[i];
    }
    ASSERT_HRESULT_SUCCEEDED(SafeArrayPutElement(array, &index, const_cast<void*>(element)));
  }
  variant.get()->vt = static_cast<VARTYPE>(VT_ARRAY | type);
  variant.get()->parray = array;
}

std::string TextOf(const VARIANT& variant) {
  return WmiValueToText(MachineValueOfVariant(variant));
}

TEST(MachineValueVariantTest, ArraysOfTextsOfVariantsAndOfBytes) {
  const Bstr x(L"X");
  const Bstr y(L"LENOVO - 1380");
  const Bstr march(L"Mar\u00E7o");
  {
    SCOPED_TRACE("a text array, as BIOSVersion comes");
    Variant variant;
    MakeArray<BSTR>(variant, VT_BSTR, {x.get(), y.get(), march.get()});
    EXPECT_EQ(TextOf(*variant), "[X|LENOVO - 1380|Mar\xE7o]");
  }
  {
    SCOPED_TRACE("an array of variants holding texts, a number and Null");
    Variant text;
    text.get()->vt = VT_BSTR;
    text.get()->bstrVal = SysAllocString(L"X");
    Variant number;
    number.get()->vt = VT_I4;
    number.get()->lVal = -42;
    Variant null;
    null.get()->vt = VT_NULL;
    Variant variant;
    MakeArray<const VARIANT*>(variant, VT_VARIANT, {&*text, &*number, &*null, &*text});
    EXPECT_EQ(TextOf(*variant), "[X|-42||X]");
  }
  {
    SCOPED_TRACE("a byte array: one character per byte");
    Variant variant;
    MakeArray<unsigned char>(variant, VT_UI1, {'A', 'b', 0xE7, '1'});
    EXPECT_EQ(TextOf(*variant), "[A|b|\xE7|1]");
  }
  {
    SCOPED_TRACE("an array counted from 1");
    Variant variant;
    MakeArray<BSTR>(variant, VT_BSTR, {x.get(), y.get()}, 1);
    EXPECT_EQ(TextOf(*variant), "[X|LENOVO - 1380]");
  }
  {
    SCOPED_TRACE("an empty array");
    Variant variant;
    MakeArray<BSTR>(variant, VT_BSTR, {});
    EXPECT_EQ(TextOf(*variant), "[]");
    Variant empty_variants;
    MakeArray<const VARIANT*>(empty_variants, VT_VARIANT, {});
    EXPECT_EQ(TextOf(*empty_variants), "[]");
  }
  {
    SCOPED_TRACE("an array through a reference");
    Variant array;
    MakeArray<BSTR>(array, VT_BSTR, {x.get(), y.get()});
    VARIANT reference;
    VariantInit(&reference);
    reference.vt = VT_BYREF | VT_ARRAY | VT_BSTR;
    reference.pparray = &array.get()->parray;
    EXPECT_EQ(TextOf(reference), "[X|LENOVO - 1380]");
  }
}

TEST(MachineValueVariantTest, SingleValues) {
  Variant null;
  null.get()->vt = VT_NULL;
  EXPECT_EQ(MachineValueOfVariant(*null).kind, MachineValue::Kind::kNull);
  EXPECT_EQ(TextOf(*null), "");
  Variant empty;
  EXPECT_EQ(TextOf(*empty), "");
  Variant number;
  number.get()->vt = VT_I4;
  number.get()->lVal = -2147483647 - 1;
  EXPECT_EQ(TextOf(*number), "-2147483648");
  Variant large;
  large.get()->vt = VT_UI4;
  large.get()->ulVal = 4000000000u;
  EXPECT_EQ(TextOf(*large), "4000000000");
  Variant text;
  text.get()->vt = VT_BSTR;
  text.get()->bstrVal = SysAllocString(L" Conceic\u00E3o ");
  EXPECT_EQ(TextOf(*text), " Conceic\xE3o ") << "blanks kept, ANSI code page";
  Variant flag;
  flag.get()->vt = VT_BOOL;
  flag.get()->boolVal = VARIANT_TRUE;
  EXPECT_EQ(TextOf(*flag), "True");
}

}  // namespace
}  // namespace quorbin::platform
