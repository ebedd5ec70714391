#include "testing/turkish_locale.h"

#include <cctype>
#include <clocale>

namespace quorbin::testing {

TurkishLocale::TurkishLocale()
    : locpath_("LOCPATH", dir_.path().c_str()), previous_(std::setlocale(LC_ALL, nullptr)) {
  const std::string target = (dir_ / "tr_TR.ISO-8859-9").string();
  // localedef may warn and still write the locale: setlocale tells.
  RunCommand("localedef -i tr_TR -f ISO-8859-9 " + ShellQuote(target));
  // Asked of a value the compiler cannot fold at build time, as it would a
  // constant (with the C locale's answer).
  volatile unsigned char capital_i = 'I';
  available_ =
      std::setlocale(LC_ALL, "tr_TR.ISO-8859-9") != nullptr && std::tolower(capital_i) == 0xFD;
}

TurkishLocale::~TurkishLocale() {
  std::setlocale(LC_ALL, previous_.c_str());
}

}  // namespace quorbin::testing
