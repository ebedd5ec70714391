// The closing phase, first of every pass: every cash-register closing of
// FECHAMENTOS with web_ex = 0, in the order the database returns them, is posted
// to BaseUrl + "movimento/import_fechamento/" with the token. The body is the
// stored `json` after FixJsonSeparators, in the ANSI code page (Windows-1252; a
// character it lacks becomes "?"), although the request declares utf-8.
//
// One row's outcome:
//   200            "Fechamento numero <codigo> enviado.", then web_ex = 1 (committed)
//   another 2xx    "Fechamento numero <codigo> Erro: <status line>", then
//                  erro_envio = the status line (committed); web_ex stays 0
//   ProtocolError  move on, then ReportProtocolError (log line and page)
//   other failure  move on, then "Erro ao enviar fechamento: <message>"
// A row that got an answer of 200 to 299 is followed by a pause of 1000 ms with
// the thread asleep; a failed row is not. A row stays pending until the server
// answers it with 200; an update of the row that fails is dropped before the
// phase moves on, so it is not tried again until the next pass.
//
// When the connection is lost in a row and cannot be opened again
// (ConnectionLost), that row's failure is logged as above and the phase ends with
// the line kDatabaseLost (see phase_end.h), without moving on. A failure of the
// query, of moving to the next row after a failed row, or of ReportProtocolError
// leaves the phase (the pass boundary handles it).
#pragma once

#include "sync/phase_end.h"
#include "sync/sync_pass_setup.h"

namespace quorbin {

inline constexpr int kClosingPauseMs = 1000;
// The statement that selects the pending closings.
inline constexpr const char* kPendingClosings = "select * from FECHAMENTOS where web_ex = 0";

PhaseEnd RunClosingPhase(const SyncPassSetup& setup);

}  // namespace quorbin
