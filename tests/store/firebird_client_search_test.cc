// Where the agent looks for the Firebird client library and what it says of each
// place: the order of the candidates (bare names, the point-of-sale program's
// folder, the installation the registry names in both views), the registry's bad
// values, the files skipped for their headers without being loaded, and what a
// technician must do when nothing loads. The system's loader is played by the
// test; the files are real.
#include "store/firebird_client_search.h"

#include <gtest/gtest.h>

#include <map>

#include "store/library_header.h"
#include "support/paths.h"
#include "testing/library_bytes.h"
#include "testing/temp_dir.h"

namespace quorbin {
namespace {

using platform::RegistryValue;
using platform::RegistryView;
using Kind = ClientCandidate::Kind;
using Outcome = LibraryAttempt::Outcome;
using State = RegistryValue::State;

// Values built field by field: GCC 12 warns on a designated
// initializer that leaves a member out.
RegistryValue Value(State state, const std::string& text = "", const std::string& type = "",
                    const std::string& failure = "") {
  RegistryValue value;
  value.state = state;
  value.text = text;
  value.type = type;
  value.failure = failure;
  return value;
}

RegistryValue Text(const std::string& text) {
  return Value(State::kText, text);
}

RegistryValue Absent() {
  return Value(State::kKeyAbsent);
}

bool AnyFolder(const std::filesystem::path&) {
  return true;
}

// The candidates as "kind label" lines, for comparing whole lists.
std::vector<std::string> Lines(const std::vector<ClientCandidate>& candidates) {
  std::vector<std::string> lines;
  for (const ClientCandidate& candidate : candidates) {
    switch (candidate.kind) {
      case Kind::kName:
        lines.push_back("name " + candidate.label);
        break;
      case Kind::kFile:
        lines.push_back("file " + candidate.path.generic_string());
        break;
      case Kind::kNote:
        lines.push_back("note " + candidate.label + ": " + candidate.note);
        break;
    }
  }
  return lines;
}

// Full paths on this system: Windows wants a drive.
#ifdef _WIN32
const std::string kRoot = "C:";
#else
const std::string kRoot = "";
#endif

std::string File(const std::string& path) {
  return "file " + kRoot + path;
}
const std::string kKey32 =
    "HKLM\\SOFTWARE\\Firebird Project\\Firebird Server\\Instances (32-bit view)";

TEST(FirebirdClientCandidatesTest, NamesFirstThenThePosFolderThenTheRegistrysInstallation) {
  const ClientPlaces places{
      .names = {"fbclient.dll", "fbembed.dll"},
      .pos_folder = kRoot + "/c/Tavrellis/PDV",
      .registry = {{RegistryView::k64Bit, Text(kRoot + "/c/Program Files/Firebird/Firebird_3_0/")},
                   {RegistryView::k32Bit, Absent()}},
      .process_bits = 64};
  EXPECT_EQ(Lines(FirebirdClientCandidates(places, AnyFolder)),
            (std::vector<std::string>{
                "name fbclient.dll",
                "name fbembed.dll",
                File("/c/Tavrellis/PDV/fbclient.dll"),
                File("/c/Tavrellis/PDV/fbembed.dll"),
                File("/c/Program Files/Firebird/Firebird_3_0/fbclient.dll"),
                File("/c/Program Files/Firebird/Firebird_3_0/bin/fbclient.dll"),
                "note " + kKey32 + ": absent: no Firebird server is registered in this view",
            }));
}

// The 64-bit kits keep a 32-bit client in WOW64: a 32-bit agent looks there in
// the installation of the 64-bit view, after its own view's.
TEST(FirebirdClientCandidatesTest, A32BitAgentAlsoLooksInTheWow64FolderOfThe64BitServer) {
  const ClientPlaces places{.names = {"fbclient.dll", "fbembed.dll"},
                            .pos_folder = kRoot + "/pdv",
                            .registry = {{RegistryView::k32Bit, Text(kRoot + "/fb32")},
                                         {RegistryView::k64Bit, Text(kRoot + "/fb64")}},
                            .process_bits = 32};
  EXPECT_EQ(
      Lines(FirebirdClientCandidates(places, AnyFolder)),
      (std::vector<std::string>{"name fbclient.dll", "name fbembed.dll", File("/pdv/fbclient.dll"),
                                File("/pdv/fbembed.dll"), File("/fb32/fbclient.dll"),
                                File("/fb32/bin/fbclient.dll"), File("/fb64/fbclient.dll"),
                                File("/fb64/bin/fbclient.dll"), File("/fb64/WOW64/fbclient.dll")}));
}

TEST(FirebirdClientCandidatesTest, APlaceNamedTwiceIsTriedOnceAndNoRegistryAddsNothing) {
  const ClientPlaces places{.names = {"libfbclient.so.2"},
                            .pos_folder = kRoot + "/opt/firebird",
                            .registry = {{RegistryView::k64Bit, Text(kRoot + "/opt/firebird/")},
                                         {RegistryView::k32Bit, Text(kRoot + "/opt/./firebird")},
                                         {RegistryView::k32Bit, RegistryValue{}}},
                            .process_bits = 64};
  EXPECT_EQ(
      Lines(FirebirdClientCandidates(places, AnyFolder)),
      (std::vector<std::string>{"name libfbclient.so.2", File("/opt/firebird/libfbclient.so.2"),
                                File("/opt/firebird/bin/libfbclient.so.2")}));
}

TEST(FirebirdInstanceFolderTest, EachBadValueGivesItsReason) {
  const auto problem = [](const RegistryValue& value) {
    return FirebirdInstanceFolder(value,
                                  [](const std::filesystem::path& folder) {
                                    return folder == PathFromUtf8(kRoot + "/fb/Firebird_2_5");
                                  })
        .problem;
  };
  EXPECT_EQ(problem(Absent()), "absent: no Firebird server is registered in this view");
  EXPECT_EQ(problem(Value(State::kValueAbsent)), "has no value DefaultInstance");
  EXPECT_EQ(problem(Value(State::kUnreadable, "", "", "Access denied")),
            "cannot be read: Access denied");
  EXPECT_EQ(problem(Value(State::kNotText, "", "REG_DWORD")),
            "DefaultInstance is not a string but REG_DWORD");
  EXPECT_EQ(problem(Text("")), "DefaultInstance is empty");
  EXPECT_EQ(problem(Text("  \t ")), "DefaultInstance is empty");
  EXPECT_EQ(problem(Text(kRoot + "/" + std::string(299 - kRoot.size(), 'x'))),
            "DefaultInstance is 300 characters long, longer than a folder path may be (259)");
  EXPECT_EQ(problem(Text("Firebird_2_5")),
            "DefaultInstance names Firebird_2_5, which is not a full path");
  EXPECT_EQ(problem(Text(kRoot + "/nowhere/Firebird")),
            "DefaultInstance names " + kRoot + "/nowhere/Firebird, a folder that does not exist");
  EXPECT_EQ(problem(Text(" " + kRoot + "/fb/Firebird_2_5 ")), "");
  EXPECT_EQ(FirebirdInstanceFolder(Text(kRoot + "/fb/Firebird_2_5"), AnyFolder).folder,
            PathFromUtf8(kRoot + "/fb/Firebird_2_5"));
  EXPECT_EQ(FirebirdInstanceFolder(RegistryValue{}, AnyFolder).problem, "") << "no registry";
  EXPECT_EQ(FirebirdInstanceFolder(RegistryValue{}, AnyFolder).folder, "");
  // 259 characters, many of them two bytes long in UTF-8, are not too long.
  std::string accented = kRoot + "/";
  for (std::size_t i = 0; i < 258 - kRoot.size(); ++i) accented += "\xC3\xA7";  // ç
  EXPECT_EQ(problem(Text(accented)),
            "DefaultInstance names " + accented + ", a folder that does not exist");
}

// A library that the test's loader hands out.
class FakeLibrary : public platform::SharedLibrary {
 public:
  explicit FakeLibrary(std::filesystem::path path) : path_(std::move(path)) {}
  void* Symbol(const char*) const override { return nullptr; }
  std::filesystem::path Path() const override { return path_; }

 private:
  std::filesystem::path path_;
};

// The system's loader as the test plays it: bare names load or fail as told,
// full paths load unless told otherwise, and every path handed to it is kept.
struct PlayedLoader {
  std::map<std::string, std::filesystem::path> loads_by_name;
  std::map<std::string, std::filesystem::path> found_on_search_path;
  std::map<std::filesystem::path, std::string> refused_paths;
  std::vector<std::filesystem::path> loaded_paths;

  LibraryLoaders Loaders() {
    return {.by_name =
                [this](const std::string& name) {
                  platform::LibraryLoad load;
                  if (loads_by_name.contains(name)) {
                    load.library = std::make_unique<FakeLibrary>(loads_by_name[name]);
                  } else if (found_on_search_path.contains(name)) {
                    load.failure = "refused by the played loader";
                  } else {
                    load.failure = "The specified module could not be found";
                    load.not_found = true;
                  }
                  return load;
                },
            .at_path =
                [this](const std::filesystem::path& path) {
                  loaded_paths.push_back(path);
                  platform::LibraryLoad load;
                  if (refused_paths.contains(path)) {
                    load.failure = refused_paths[path];
                  } else {
                    load.library = std::make_unique<FakeLibrary>(path);
                  }
                  return load;
                },
            .find_on_search_path =
                [this](const std::string& name) {
                  return found_on_search_path.contains(name) ? found_on_search_path[name]
                                                             : std::filesystem::path();
                }};
  }
};

int OtherBits() {
  return platform::kProcessBits == 64 ? 32 : 64;
}

std::string Bits(int bits) {
  return std::to_string(bits) + "-bit";
}

// A terminal's folders: the agent's, the point-of-sale program's and a Firebird
// installation's.
class FirebirdClientSearchTest : public ::testing::Test {
 protected:
  FirebirdClientSearchTest() {
    std::filesystem::create_directories(root_ / "agent");
    std::filesystem::create_directories(root_ / "pdv");
    std::filesystem::create_directories(root_ / "firebird");
  }
  std::filesystem::path Agent(const std::string& name) const { return root_ / "agent" / name; }
  std::filesystem::path Pdv(const std::string& name) const { return root_ / "pdv" / name; }
  std::filesystem::path Firebird(const std::string& name) const {
    return root_ / "firebird" / name;
  }
  std::vector<ClientCandidate> Candidates() const {
    return FirebirdClientCandidates(
        {.names = {"fbclient.dll", "fbembed.dll"},
         .pos_folder = root_ / "pdv",
         .registry = {{RegistryView::k64Bit, Text((root_ / "firebird").string())},
                      {RegistryView::k32Bit, Absent()}},
         .process_bits = platform::kProcessBits},
        [](const std::filesystem::path& folder) { return std::filesystem::is_directory(folder); });
  }

  testing::TempDir root_;
};

TEST_F(FirebirdClientSearchTest, AClientFoundByNameIsTheOnlyAttempt) {
  PlayedLoader loader;
  loader.loads_by_name["fbclient.dll"] = Agent("fbclient.dll");
  const ClientSearch search = SearchFirebirdClient(Candidates(), loader.Loaders());
  ASSERT_NE(search.library, nullptr);
  EXPECT_EQ(search.library->Path(), Agent("fbclient.dll"));
  ASSERT_EQ(search.attempts.size(), 1u);
  EXPECT_EQ(search.attempts[0].candidate, "fbclient.dll");
  EXPECT_EQ(search.attempts[0].outcome, Outcome::kLoaded);
  EXPECT_TRUE(loader.loaded_paths.empty());
}

TEST_F(FirebirdClientSearchTest, OnlyInThePosFolderItIsLoadedFromThereByFullPath) {
  testing::WriteBytes(Pdv("fbclient.dll"), testing::SystemLibrary(platform::kProcessBits));
  PlayedLoader loader;
  const ClientSearch search = SearchFirebirdClient(Candidates(), loader.Loaders());
  ASSERT_NE(search.library, nullptr);
  EXPECT_EQ(loader.loaded_paths, std::vector<std::filesystem::path>{Pdv("fbclient.dll")});
  ASSERT_EQ(search.attempts.size(), 3u);
  EXPECT_EQ(search.attempts[0].outcome, Outcome::kNotFound);
  EXPECT_TRUE(search.attempts[0].reason.starts_with("not found where the system looks"))
      << search.attempts[0].reason;
  EXPECT_EQ(search.attempts[1].candidate, "fbembed.dll");
  EXPECT_EQ(search.attempts[2].candidate, Pdv("fbclient.dll").string());
  EXPECT_EQ(search.attempts[2].outcome, Outcome::kLoaded);
}

// The common terminal: a client of the other width beside the agent, the right
// one in the installation's root. The first is never handed to the loader.
TEST_F(FirebirdClientSearchTest, TheOtherWidthBesideTheAgentIsSkippedAndTheRegistrysRootIsUsed) {
  testing::WriteBytes(Agent("fbclient.dll"), testing::SystemLibrary(OtherBits()));
  testing::WriteBytes(Firebird("fbclient.dll"), testing::SystemLibrary(platform::kProcessBits));
  PlayedLoader loader;
  loader.found_on_search_path["fbclient.dll"] = Agent("fbclient.dll");
  const ClientSearch search = SearchFirebirdClient(Candidates(), loader.Loaders());
  ASSERT_NE(search.library, nullptr);
  EXPECT_EQ(loader.loaded_paths, std::vector<std::filesystem::path>{Firebird("fbclient.dll")});
  ASSERT_EQ(search.attempts.size(), 5u);
  EXPECT_EQ(search.attempts[0].outcome, Outcome::kOtherBitness);
  EXPECT_EQ(search.attempts[0].reason, Agent("fbclient.dll").string() + " is a " +
                                           Bits(OtherBits()) + " library; this agent is " +
                                           Bits(platform::kProcessBits));
  EXPECT_EQ(search.attempts[4].candidate, Firebird("fbclient.dll").string());
  EXPECT_EQ(search.attempts[4].outcome, Outcome::kLoaded);
}

TEST_F(FirebirdClientSearchTest, NoneAnywhereGivesEachPlaceAndItsReasonInOrder) {
  testing::WriteBytes(Pdv("fbclient.dll"), "Firebird client: see the manual\r\n");
  testing::WriteBytes(Pdv("fbembed.dll"),
                      testing::SystemLibrary(platform::kProcessBits).substr(0, 768));
  testing::WriteBytes(Firebird("fbclient.dll"), testing::SystemLibrary(OtherBits()));
  std::filesystem::create_directories(Firebird("bin") / "fbclient.dll");
  PlayedLoader loader;
  const ClientSearch search = SearchFirebirdClient(Candidates(), loader.Loaders());
  EXPECT_EQ(search.library, nullptr);
  EXPECT_TRUE(loader.loaded_paths.empty()) << "nothing was fit to load";
  std::vector<std::string> lines;
  for (const LibraryAttempt& attempt : search.attempts) {
    lines.push_back(attempt.candidate + ": " + attempt.reason);
  }
  const std::string system = kSystemLibraryFormat == LibraryFormat::kPe ? "Windows" : "Linux";
  std::vector<std::string> expected{
      "fbclient.dll: not found where the system looks for libraries (beside the "
      "agent, in the system folders, on the PATH)",
      "fbembed.dll: not found where the system looks for libraries (beside the "
      "agent, in the system folders, on the PATH)",
      Pdv("fbclient.dll").string() + ": is not a " + system +
          " library (it starts with neither a PE nor an ELF header)",
      Pdv("fbembed.dll").string() +
          ": is truncated: it has 768 bytes of the 1024 its headers announce",
      Firebird("fbclient.dll").string() + ": is a " + Bits(OtherBits()) +
          " library; this agent is " + Bits(platform::kProcessBits),
      (Firebird("bin") / "fbclient.dll").string() + ": is not a file",
      "HKLM\\SOFTWARE\\Firebird Project\\Firebird Server\\Instances (32-bit "
      "view): absent: no Firebird server is registered in this view"};
  if (platform::kProcessBits == 32) {
    // The installation is the 64-bit view's: a 32-bit agent looks in its WOW64 too.
    expected.insert(expected.end() - 1,
                    (Firebird("WOW64") / "fbclient.dll").string() + ": not found");
  }
  EXPECT_EQ(lines, expected);
  EXPECT_EQ(FirebirdClientAdvice(search.attempts, "fbclient.dll"),
            "the Firebird client found is " + Bits(OtherBits()) + " and this agent is " +
                Bits(platform::kProcessBits) + ": install the agent's " + Bits(OtherBits()) +
                " package, or a " + Bits(platform::kProcessBits) + " Firebird client");
  EXPECT_EQ(DescribeFailedAttempts(search.attempts).find(lines[0] + "; " + lines[1]), 0u);
}

TEST_F(FirebirdClientSearchTest, AFileTheSystemRefusesGivesTheSystemsReasonAndTheSearchGoesOn) {
  testing::WriteBytes(Pdv("fbclient.dll"), testing::SystemLibrary(platform::kProcessBits));
  testing::WriteBytes(Firebird("fbclient.dll"), testing::SystemLibrary(platform::kProcessBits));
  PlayedLoader loader;
  loader.refused_paths[Pdv("fbclient.dll")] = "a library it needs was not found";
  const ClientSearch search = SearchFirebirdClient(Candidates(), loader.Loaders());
  ASSERT_NE(search.library, nullptr);
  EXPECT_EQ(search.library->Path(), Firebird("fbclient.dll"));
  ASSERT_GE(search.attempts.size(), 3u);
  EXPECT_EQ(search.attempts[2].outcome, Outcome::kRefused);
  EXPECT_EQ(search.attempts[2].reason, "a library it needs was not found");
}

TEST_F(FirebirdClientSearchTest, AFileOnTheSearchPathThatTheSystemRefusesForAnotherReasonIsNamed) {
  testing::WriteBytes(Agent("fbclient.dll"), testing::SystemLibrary(platform::kProcessBits));
  PlayedLoader loader;
  loader.found_on_search_path["fbclient.dll"] = Agent("fbclient.dll");
  const ClientSearch search = SearchFirebirdClient(Candidates(), loader.Loaders());
  ASSERT_FALSE(search.attempts.empty());
  EXPECT_EQ(search.attempts[0].outcome, Outcome::kRefused);
  EXPECT_EQ(search.attempts[0].reason,
            Agent("fbclient.dll").string() + ": refused by the played loader");
}

TEST(FirebirdClientAdviceTest, SaysWhatToDoForWhatWasFound) {
  const std::vector<LibraryAttempt> nothing = {
      LibraryAttempt::Of("fbclient.dll", Outcome::kNotFound, "not found"),
      LibraryAttempt::Of("registry", Outcome::kNote, "absent")};
  EXPECT_EQ(FirebirdClientAdvice(nothing, "fbclient.dll", 32),
            "no Firebird client found: install the 32-bit Firebird client, or copy its "
            "fbclient.dll beside the agent");
  const std::vector<LibraryAttempt> broken = {
      LibraryAttempt::Of("C:\\PDV\\fbclient.dll", Outcome::kUnusable, "is truncated")};
  EXPECT_EQ(FirebirdClientAdvice(broken, "fbclient.dll", 64),
            "a Firebird client was found but does not load: reinstall the 64-bit Firebird client");
  const std::vector<LibraryAttempt> other = {
      LibraryAttempt::Of("fbclient.dll", Outcome::kOtherBitness, "is 64-bit")};
  EXPECT_EQ(FirebirdClientAdvice(other, "fbclient.dll", 32),
            "the Firebird client found is 64-bit and this agent is 32-bit: install the agent's "
            "64-bit package, or a 32-bit Firebird client");
}

}  // namespace
}  // namespace quorbin
