#include "base/ProgramArguments.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using Action = lumi::ProgramCall::Action;

TEST(ProgramArguments, ProgramWideOptionsAreReadUpToTheFirstOperand) {
    const struct {
        std::vector<std::string> arguments;
        int maxOperands;
        Action action;
        std::vector<std::string> operands;
        std::string problem;
    } cases[] = {
        {{}, 1, Action::Run, {}, ""},
        {{"photo.jpg"}, 1, Action::Run, {"photo.jpg"}, ""},
        {{"--help"}, 1, Action::ShowHelp, {}, ""},
        {{"-h", "--bogus"}, 1, Action::ShowHelp, {}, ""},
        {{"--version"}, -1, Action::ShowVersion, {}, ""},
        {{"--bogus"}, 1, Action::Misuse, {}, "unknown option --bogus"},
        {{"--helpx"}, -1, Action::Misuse, {}, "unknown option --helpx"},
        {{"-v"}, -1, Action::Misuse, {}, "unknown option -v"},
        {{"a.jpg", "b.jpg"}, 1, Action::Misuse, {"a.jpg", "b.jpg"}, "too many arguments"},
        // "--" ends the options: a file may be named like one.
        {{"--", "--help"}, 1, Action::Run, {"--help"}, ""},
        {{"-"}, 1, Action::Run, {"-"}, ""},
        // A command's own options are the command's to read.
        {{"search", "--for", "5", "--help"},
         -1,
         Action::Run,
         {"search", "--for", "5", "--help"},
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.arguments));
        const lumi::ProgramCall call = lumi::readProgramArguments(c.arguments, c.maxOperands);
        EXPECT_EQ(call.action, c.action);
        if (c.action == Action::Run || c.action == Action::Misuse) {
            EXPECT_EQ(call.operands, c.operands);
        }
        EXPECT_EQ(call.problem, c.problem);
    }
}

TEST(ProgramArguments, HelpAndVersionGoToStandardOutputAndMisuseToStandardErrorWithStatus2) {
    lumi::ProgramCall call;
    call.action = Action::ShowHelp;
    testing::internal::CaptureStdout();
    EXPECT_EQ(lumi::answerProgramCall(call, "tool", "usage: tool\n"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "usage: tool\n");

    call.action = Action::ShowVersion;
    testing::internal::CaptureStdout();
    EXPECT_EQ(lumi::answerProgramCall(call, "tool", "usage: tool\n"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Lumisift 1.4\n");

    call.action = Action::Misuse;
    call.problem = "unknown option --bogus";
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(lumi::answerProgramCall(call, "tool", "usage: tool\n"), 2);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "tool: unknown option --bogus\nusage: tool\n");
}

} // namespace
