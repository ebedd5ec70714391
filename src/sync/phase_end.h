// How a phase of a pass ended. A phase ends early when the database connection
// was lost in the middle of it and could not be opened again (ConnectionLost
// reached a row's failure boundary): the row is handled as any failed row, the
// phase writes kDatabaseLost to the log and the pass ends with it, so that no
// row is uploaded while none can be marked. The next pass starts from the
// database again and uploads the rest; only the row in flight is sent twice.
#pragma once

namespace quorbin {

enum class PhaseEnd { kAllRows, kDatabaseLost };

inline constexpr const char* kDatabaseLost =
    "Conexão com o banco de dados perdida, o restante fica para a próxima sincronia.";

}  // namespace quorbin
