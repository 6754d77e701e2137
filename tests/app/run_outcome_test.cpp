// The outcome of a run as a build script sees it: the exit status that the result lines, the
// bins that lack images and a console that could not be written give, without a theme tree. (The
// outcomes that a theme tree can give are pinned by the packager's run table, end to end.)
#include "app/packager.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "support/run_program.h"

namespace {

struct Outcome {
    const char* name;
    std::vector<Message> printed; // after the banner, in order
    bool incomplete;
    bool consoleWritten;
    int status;
};

void PrintTo(const Outcome& c, std::ostream* out) {
    *out << c.name;
}

class RunOutcomeTest : public testing::TestWithParam<Outcome> {};

TEST_P(RunOutcomeTest, ExitStatusFollowsTheLastResultLine) {
    const Outcome& c = GetParam();
    PackagerState state;
    testing::internal::CaptureStdout();
    printBanner(state);
    for (const Message message : c.printed) {
        printMessage(state, message);
    }
    printCompletion(state);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(out.ends_with("All of processing is complented.\n")) << out;
    EXPECT_EQ(runExitStatus(state.exitStatus, c.incomplete, c.consoleWritten), c.status);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, RunOutcomeTest,
    testing::Values(Outcome{"BinsOnly", {Message::kBinCreated}, false, true, 0},
                    Outcome{"ZippedWithoutSomeImages", {Message::kZipCreated}, true, true, 3},
                    Outcome{"NothingPrinted", {}, false, true, 1},
                    Outcome{"ConsoleLost", {Message::kZipCreated}, false, false, 1},
                    Outcome{"ConsoleLostWithoutSomeImages", {Message::kZipFailed}, true, false, 1}),
    [](const auto& test) { return std::string(test.param.name); });

// A console that takes no more bytes (a full disk behind a redirection) fails the flush.
TEST(ConsoleTest, AFlushThatCannotWriteIsReported) {
    // (A flush that succeeds is what every end-to-end run's exit status of 0 or 2 stands on.)
    if (kWindows) {
        GTEST_SKIP() << "Windows has no device that refuses every write, as /dev/full does";
    }
    std::FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    std::fputs("Success: Zip file is created!!\n", full);
    EXPECT_FALSE(flushConsole(full));
    std::fclose(full);
}

} // namespace
