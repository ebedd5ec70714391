#include "store/firebird_client_search.h"

#include <algorithm>
#include <system_error>

#include "store/library_header.h"
#include "support/ascii_text.h"
#include "support/paths.h"

namespace quorbin {
namespace {

using platform::RegistryValue;
using platform::RegistryView;
using Outcome = LibraryAttempt::Outcome;

InstanceFolder Problem(const std::string& problem) {
  InstanceFolder named;
  named.problem = problem;
  return named;
}

ClientCandidate Candidate(ClientCandidate::Kind kind, const std::string& label) {
  ClientCandidate candidate;
  candidate.kind = kind;
  candidate.label = label;
  return candidate;
}

std::size_t CharacterCount(const std::string& utf8) {
  return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

std::string ViewName(RegistryView view) {
  return view == RegistryView::k64Bit ? "64-bit" : "32-bit";
}

std::string RegistryLabel(RegistryView view) {
  return std::string("HKLM\\") + kFirebirdInstancesKey + " (" + ViewName(view) + " view)";
}

// Paths compared as the system compares them: on Windows without regard to the
// case of ASCII letters.
std::string PathKey(const std::filesystem::path& path) {
  const std::string key = Utf8FromPath(path.lexically_normal());
#ifdef _WIN32
  return AsciiLowerText(key);
#else
  return key;
#endif
}

class CandidateList {
 public:
  void AddFile(const std::filesystem::path& path) {
    const std::filesystem::path normal = path.lexically_normal();
    const std::string key = PathKey(normal);
    if (std::find(keys_.begin(), keys_.end(), key) != keys_.end()) return;
    keys_.push_back(key);
    ClientCandidate candidate = Candidate(ClientCandidate::Kind::kFile, Utf8FromPath(normal));
    candidate.path = normal;
    list_.push_back(std::move(candidate));
  }
  void AddName(const std::string& name) {
    list_.push_back(Candidate(ClientCandidate::Kind::kName, name));
  }
  void AddNote(const std::string& label, const std::string& note) {
    ClientCandidate candidate = Candidate(ClientCandidate::Kind::kNote, label);
    candidate.note = note;
    list_.push_back(std::move(candidate));
  }
  std::vector<ClientCandidate> Take() { return std::move(list_); }

 private:
  std::vector<ClientCandidate> list_;
  std::vector<std::string> keys_;
};

// What a file unfit to load is: a library of the other width, or one that no
// process of this system could load.
Outcome UnfitOutcome(const LibraryHeader& header, int process_bits) {
  const bool other_width = header.readable && header.format == kSystemLibraryFormat &&
                           header.bits && header.bits != process_bits;
  return other_width ? Outcome::kOtherBitness : Outcome::kUnusable;
}

LibraryAttempt TryName(const std::string& name, const LibraryLoaders& loaders, int process_bits,
                       std::unique_ptr<platform::SharedLibrary>& library) {
  platform::LibraryLoad load = loaders.by_name(name);
  if (load.library) {
    library = std::move(load.library);
    return LibraryAttempt::Of(name, Outcome::kLoaded, "");
  }
  // Where the system found a file it would not load, its headers say why.
  const std::filesystem::path found = loaders.find_on_search_path(name);
  if (!found.empty()) {
    const std::string path = Utf8FromPath(found);
    const LibraryHeader header = ReadLibraryHeaderOfFile(found);
    const std::string mismatch = LibraryMismatch(header, process_bits);
    if (!mismatch.empty()) {
      return LibraryAttempt::Of(name, UnfitOutcome(header, process_bits), path + " " + mismatch);
    }
    return LibraryAttempt::Of(name, Outcome::kRefused, path + ": " + load.failure);
  }
  if (load.not_found) {
    return LibraryAttempt::Of(
        name, Outcome::kNotFound,
        "not found where the system looks for libraries (beside the agent, in the "
        "system folders, on the PATH)");
  }
  return LibraryAttempt::Of(name, Outcome::kRefused, load.failure);
}

LibraryAttempt TryFile(const ClientCandidate& candidate, const LibraryLoaders& loaders,
                       int process_bits, std::unique_ptr<platform::SharedLibrary>& library) {
  const std::string& label = candidate.label;
  std::error_code error;
  const auto status = std::filesystem::status(candidate.path, error);
  if (!std::filesystem::exists(status))
    return LibraryAttempt::Of(label, Outcome::kNotFound, "not found");
  if (!std::filesystem::is_regular_file(status)) {
    return LibraryAttempt::Of(label, Outcome::kUnusable, "is not a file");
  }
  // Read before anything loads it: a file unfit to load is never handed over.
  const LibraryHeader header = ReadLibraryHeaderOfFile(candidate.path);
  const std::string mismatch = LibraryMismatch(header, process_bits);
  if (!mismatch.empty()) {
    return LibraryAttempt::Of(label, UnfitOutcome(header, process_bits), mismatch);
  }
  platform::LibraryLoad load = loaders.at_path(candidate.path);
  if (!load.library) return LibraryAttempt::Of(label, Outcome::kRefused, load.failure);
  library = std::move(load.library);
  return LibraryAttempt::Of(label, Outcome::kLoaded, "");
}

}  // namespace

InstanceFolder FirebirdInstanceFolder(const RegistryValue& value,
                                      const FolderExists& folder_exists) {
  const std::string name = kFirebirdInstanceValue;
  switch (value.state) {
    case RegistryValue::State::kNoRegistry:
      return {};
    case RegistryValue::State::kKeyAbsent:
      return Problem("absent: no Firebird server is registered in this view");
    case RegistryValue::State::kValueAbsent:
      return Problem("has no value " + name);
    case RegistryValue::State::kUnreadable:
      return Problem("cannot be read: " + value.failure);
    case RegistryValue::State::kNotText:
      return Problem(name + " is not a string but " + value.type);
    case RegistryValue::State::kText:
      break;
  }
  const std::string text = Trimmed(value.text);
  if (text.empty()) return Problem(name + " is empty");
  const std::size_t length = CharacterCount(text);
  if (length > kLongestFolderPath) {
    return Problem(name + " is " + std::to_string(length) +
                   " characters long, longer than a folder path may be (" +
                   std::to_string(kLongestFolderPath) + ")");
  }
  const std::filesystem::path folder = PathFromUtf8(text);
  if (!folder.is_absolute()) {
    return Problem(name + " names " + text + ", which is not a full path");
  }
  if (!folder_exists(folder)) {
    return Problem(name + " names " + text + ", a folder that does not exist");
  }
  InstanceFolder named;
  named.folder = folder;
  return named;
}

std::vector<ClientCandidate> FirebirdClientCandidates(const ClientPlaces& places,
                                                      const FolderExists& folder_exists) {
  CandidateList list;
  for (const std::string& name : places.names) list.AddName(name);
  if (!places.pos_folder.empty()) {
    for (const std::string& name : places.names) {
      list.AddFile(places.pos_folder / PathFromUtf8(name));
    }
  }
  if (places.names.empty()) return list.Take();
  const std::filesystem::path client = PathFromUtf8(places.names.front());
  for (const RegistryInstance& instance : places.registry) {
    const InstanceFolder named = FirebirdInstanceFolder(instance.value, folder_exists);
    if (!named.problem.empty()) {
      list.AddNote(RegistryLabel(instance.view), named.problem);
      continue;
    }
    if (named.folder.empty()) continue;
    // The installers end the folder with a separator, which "/" keeps single.
    const std::filesystem::path& root = named.folder;
    list.AddFile(root / client);
    list.AddFile(root / "bin" / client);
    if (places.process_bits == 32 && instance.view == RegistryView::k64Bit) {
      list.AddFile(root / "WOW64" / client);
    }
  }
  return list.Take();
}

LibraryLoaders SystemLibraryLoaders() {
  return {.by_name = platform::LoadLibraryNamed,
          .at_path = platform::LoadLibraryAt,
          .find_on_search_path = platform::FindOnLibrarySearchPath};
}

ClientSearch SearchFirebirdClient(const std::vector<ClientCandidate>& candidates,
                                  const LibraryLoaders& loaders, int process_bits) {
  ClientSearch search;
  for (const ClientCandidate& candidate : candidates) {
    switch (candidate.kind) {
      case ClientCandidate::Kind::kNote:
        search.attempts.push_back(
            LibraryAttempt::Of(candidate.label, Outcome::kNote, candidate.note));
        continue;
      case ClientCandidate::Kind::kName:
        search.attempts.push_back(TryName(candidate.label, loaders, process_bits, search.library));
        break;
      case ClientCandidate::Kind::kFile:
        search.attempts.push_back(TryFile(candidate, loaders, process_bits, search.library));
        break;
    }
    if (search.library) break;
  }
  return search;
}

std::string DescribeFailedAttempts(const std::vector<LibraryAttempt>& attempts) {
  std::string text;
  for (const LibraryAttempt& attempt : attempts) {
    if (attempt.outcome == Outcome::kLoaded) continue;
    if (!text.empty()) text += "; ";
    text += attempt.candidate + ": " + attempt.reason;
  }
  return text;
}

std::string FirebirdClientAdvice(const std::vector<LibraryAttempt>& attempts,
                                 const std::string& library, int process_bits) {
  const auto has = [&](Outcome outcome) {
    return std::any_of(attempts.begin(), attempts.end(),
                       [&](const LibraryAttempt& attempt) { return attempt.outcome == outcome; });
  };
  const std::string bits = std::to_string(process_bits) + "-bit";
  const std::string other = std::to_string(process_bits == 64 ? 32 : 64) + "-bit";
  if (has(Outcome::kOtherBitness)) {
    return "the Firebird client found is " + other + " and this agent is " + bits +
           ": install the agent's " + other + " package, or a " + bits + " Firebird client";
  }
  if (has(Outcome::kUnusable) || has(Outcome::kRefused)) {
    return "a Firebird client was found but does not load: reinstall the " + bits +
           " Firebird client";
  }
  return "no Firebird client found: install the " + bits + " Firebird client, or copy its " +
         library + " beside the agent";
}

std::vector<RegistryInstance> ReadFirebirdInstances(int process_bits) {
  const RegistryView own = process_bits == 64 ? RegistryView::k64Bit : RegistryView::k32Bit;
  const RegistryView other =
      own == RegistryView::k64Bit ? RegistryView::k32Bit : RegistryView::k64Bit;
  std::vector<RegistryInstance> instances;
  for (const RegistryView view : {own, other}) {
    instances.push_back({view, platform::ReadMachineRegistryValue(view, kFirebirdInstancesKey,
                                                                  kFirebirdInstanceValue)});
  }
  return instances;
}

}  // namespace quorbin
