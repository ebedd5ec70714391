// A Turkish single-byte locale (tr_TR.ISO-8859-9) for the process, for the life
// of the object: there the C library's tolower folds "I" to the dotless i (0xFD)
// and toupper folds "i" to the dotted capital I (0xDD), which shows any ASCII
// name compared with the locale's folding. The locale is compiled with localedef
// into a temporary folder (LOCPATH), so the machine's locales stay untouched;
// available() is false where localedef or its Turkish source is missing.
#pragma once

#include <string>

#include "testing/shell_command.h"
#include "testing/temp_dir.h"

namespace quorbin::testing {

class TurkishLocale {
 public:
  TurkishLocale();
  ~TurkishLocale();
  TurkishLocale(const TurkishLocale&) = delete;
  TurkishLocale& operator=(const TurkishLocale&) = delete;

  bool available() const { return available_; }

 private:
  TempDir dir_;
  ScopedEnvironment locpath_;
  std::string previous_;
  bool available_ = false;
};

}  // namespace quorbin::testing
