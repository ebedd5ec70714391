// Where the agent looks for the Firebird client library, in order, and what it
// found at each place, in words a technician can act on.
//
// The names come first, in their order: each name of FirebirdClientNames, by
// bare name, as the system searches for it. Only when none of them loads, by full
// path: each name in the point-of-sale program's folder, then the Firebird
// installation the registry names (HKLM\SOFTWARE\Firebird Project\Firebird
// Server\Instances, value DefaultInstance, in the agent's own registry view and
// then in the other): the client in its root (Firebird 3 and later), in its bin
// folder (2.x) and, for a 32-bit agent and the 64-bit view (a 64-bit server), in
// its WOW64 folder, where the 64-bit kits keep a 32-bit client. A file's headers
// are read before it is loaded: a library of the other width, or a file that is
// not a library or is truncated, is skipped with its reason and never loaded. A
// registry view that names no usable folder is a note of why, and the search
// goes on.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/machine_registry.h"
#include "platform/shared_library.h"

namespace quorbin {

inline constexpr const char* kFirebirdInstancesKey =
    "SOFTWARE\\Firebird Project\\Firebird Server\\Instances";
inline constexpr const char* kFirebirdInstanceValue = "DefaultInstance";
// The longest folder path a Windows program may hand the system without long
// path support (MAX_PATH less its terminating character).
inline constexpr std::size_t kLongestFolderPath = 259;

// The registry's answer in one view.
struct RegistryInstance {
  platform::RegistryView view;
  platform::RegistryValue value;
};

// The places to look, as this system gives them.
struct ClientPlaces {
  std::vector<std::string> names;          // bare names, in order
  std::filesystem::path pos_folder;        // the point-of-sale program's folder
  std::vector<RegistryInstance> registry;  // in the order they are read
  int process_bits = platform::kProcessBits;
};

// One place to try.
struct ClientCandidate {
  enum class Kind { kName, kFile, kNote };
  Kind kind = Kind::kName;
  std::string label;           // the bare name, the full path (UTF-8) or what the note is about
  std::filesystem::path path;  // kFile
  std::string note;            // kNote: why this place gives no file
};

using FolderExists = std::function<bool(const std::filesystem::path&)>;

// The folder a registry value names, or the problem with it (in words, after
// the name of the value); an empty folder and problem when there is no registry.
struct InstanceFolder {
  std::filesystem::path folder;
  std::string problem;
};
InstanceFolder FirebirdInstanceFolder(const platform::RegistryValue& value,
                                      const FolderExists& folder_exists);

// The places in the order they are tried; a path already listed is not listed
// again.
std::vector<ClientCandidate> FirebirdClientCandidates(const ClientPlaces& places,
                                                      const FolderExists& folder_exists);

// What happened at one place.
struct LibraryAttempt {
  enum class Outcome { kLoaded, kNotFound, kOtherBitness, kUnusable, kRefused, kNote };
  std::string candidate;
  Outcome outcome = Outcome::kNotFound;
  std::string reason;  // in words; empty when loaded
  std::string file;    // when loaded: the full path of the file the system loaded (UTF-8)

  // Built field by field: GCC 12 warns on a designated initializer that leaves a
  // member out.
  static LibraryAttempt Of(const std::string& candidate, Outcome outcome,
                           const std::string& reason) {
    LibraryAttempt attempt;
    attempt.candidate = candidate;
    attempt.outcome = outcome;
    attempt.reason = reason;
    return attempt;
  }
};

// The system's loader, replaceable in tests.
struct LibraryLoaders {
  std::function<platform::LibraryLoad(const std::string& name)> by_name;
  std::function<platform::LibraryLoad(const std::filesystem::path& path)> at_path;
  std::function<std::filesystem::path(const std::string& name)> find_on_search_path;
};
LibraryLoaders SystemLibraryLoaders();

struct ClientSearch {
  std::unique_ptr<platform::SharedLibrary> library;  // nullptr when none loaded
  std::vector<LibraryAttempt> attempts;              // in order; the last one loaded, if any did
};

// Tries the candidates in order up to the first that loads.
ClientSearch SearchFirebirdClient(const std::vector<ClientCandidate>& candidates,
                                  const LibraryLoaders& loaders,
                                  int process_bits = platform::kProcessBits);

// "candidate: reason" of each attempt that did not load, joined by "; ".
std::string DescribeFailedAttempts(const std::vector<LibraryAttempt>& attempts);

// What a technician must do when no attempt loaded; `library` is the file the
// client is known by (fbclient.dll).
std::string FirebirdClientAdvice(const std::vector<LibraryAttempt>& attempts,
                                 const std::string& library,
                                 int process_bits = platform::kProcessBits);

// The places the last load of the client (TheFirebirdClient, in
// firebird_client_library.h) tried, in order, and what it found at each; empty
// before the first load. When a load succeeded, the last one loaded, naming the
// file.
std::vector<LibraryAttempt> FirebirdClientAttempts();

// The registry view that is the agent's own, then the other; each read.
std::vector<RegistryInstance> ReadFirebirdInstances(int process_bits = platform::kProcessBits);

}  // namespace quorbin
