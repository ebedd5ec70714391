// System messages fetched with their inserts ignored leave no placeholder: the
// insert names the file, escapes become their characters, and the message is one
// trimmed line.
#include "platform/message_inserts.h"

#include <gtest/gtest.h>

namespace quorbin::platform {
namespace {

TEST(MessageInsertsTest, EachInsertNamesTheSubject) {
  EXPECT_EQ(FillMessageInserts("%1 is not a valid Win32 application.\r\n", "C:\\PDV\\fbclient.dll"),
            "C:\\PDV\\fbclient.dll is not a valid Win32 application");
  EXPECT_EQ(FillMessageInserts("Formato EXE impróprio para %1.\r\n", "fbclient.dll"),
            "Formato EXE impróprio para fbclient.dll");
  EXPECT_EQ(FillMessageInserts("%1 and %2 and %12", "x"), "x and x and x");
  EXPECT_EQ(FillMessageInserts("value %1!d! here", "7"), "value 7 here");
}

TEST(MessageInsertsTest, EscapesBecomeTheirCharactersAndZeroEndsTheMessage) {
  EXPECT_EQ(FillMessageInserts("100%% done%n next%r%tline%. end%!", "s"),
            "100% done next line. end!");
  EXPECT_EQ(FillMessageInserts("kept%0 dropped", "s"), "kept");
  EXPECT_EQ(FillMessageInserts("a lone % sign", "s"), "a lone % sign");
  EXPECT_EQ(FillMessageInserts("ends with %", "s"), "ends with %");
}

TEST(MessageInsertsTest, LineBreaksAndBlanksFoldIntoOneTrimmedLine) {
  EXPECT_EQ(FillMessageInserts("  The specified module\r\ncould not be found.  \r\n", "s"),
            "The specified module could not be found");
  EXPECT_EQ(FillMessageInserts("", "s"), "");
  EXPECT_EQ(FillMessageInserts("\r\n", "s"), "");
}

TEST(MessageInsertsTest, NoPlaceholderIsLeftInAnyInsert) {
  for (const char* message : {"%1", "%9 x", "%99!s! y", "%1%2%3"}) {
    const std::string text = FillMessageInserts(message, "file");
    EXPECT_EQ(text.find('%'), std::string::npos) << message << " -> " << text;
  }
}

}  // namespace
}  // namespace quorbin::platform
