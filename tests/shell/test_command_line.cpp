#include <gtest/gtest.h>

#include "shell/command_line.h"

using shell::CommandLine;
using shell::ParseCommandLine;

TEST(CommandLine, ArgumentsJoinWithSingleBlanks) {
    const char* argv[] = {"vospen", "a.fts,b", "c.fts,/cat,2"};
    EXPECT_EQ(shell::JoinArguments(3, argv), "a.fts,b c.fts,/cat,2");
    const char* none[] = {"vospen"};
    EXPECT_EQ(shell::JoinArguments(1, none), "");
}

TEST(CommandLine, ProcessingFormKeepsBlanksAndIgnoresExtraFields) {
    const CommandLine cl = ParseCommandLine("ref.fts, new.fts,/some/catalog,2,extra");
    ASSERT_EQ(cl.kind, CommandLine::Kind::Processing);
    EXPECT_EQ(cl.fields[0], "ref.fts");
    EXPECT_EQ(cl.fields[1], " new.fts");
    EXPECT_EQ(cl.fields[2], "/some/catalog");
    EXPECT_EQ(cl.catalogIndex, 2);
    EXPECT_EQ(ParseCommandLine("a,b,c,-1").catalogIndex, -1);
}

TEST(CommandLine, ScannerFormAndEmpty) {
    EXPECT_EQ(ParseCommandLine("/survey/base folder").kind, CommandLine::Kind::Scanner);
    EXPECT_EQ(ParseCommandLine("").kind, CommandLine::Kind::None);
}

TEST(CommandLine, BadShapesAreMalformed) {
    for (const char* bad : {"a,b", "a,b,c", "a,b,c,", "a,b,c,x", "a,b,c,2.5", "a,b,c,3",
                            "a,b,c,-2", "a,b,c,99999999", ","}) {
        EXPECT_EQ(ParseCommandLine(bad).kind, CommandLine::Kind::Malformed) << bad;
    }
}
