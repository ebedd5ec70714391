// The command-line modes of the Windows executable (--check, --version, --help
// and a usage error; see check/command_line.h). The executable has no console
// of its own: the text goes to the console it was started from (attached) or to
// the standard output it was given, and the report of --check is also written to
// "check.txt" beside the executable (UTF-8, CR LF), where it can be read when
// no console shows it.
#pragma once

#include "check/command_line.h"

namespace quorbin {

// Runs `mode` (not kAgent) and returns the process's exit code.
int RunCommandMode(RunMode mode);

}  // namespace quorbin
