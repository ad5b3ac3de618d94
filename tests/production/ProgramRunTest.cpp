// The rules of the Program Units window: which buttons work in each phase,
// which ports a start, a retry and the next batch run, the row texts and the
// summary.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CProgramRun.h"

namespace {

using State = CProgramRun::State;
const std::vector<std::string> kPorts = {"/dev/pts/4", "/dev/pts/5", "/dev/pts/6"};

// Runs a batch to its end with the given unit failing (-1: none).
void RunBatch(CProgramRun& run, int failing)
{
    const size_t units = run.RunPorts().size();
    for (size_t i = 0; i < units; ++i) {
        if (int(i) == failing)
            run.Fail(i, "Timeout - Sector start Ack", 3.0);
        else
            run.Succeed(i, 4.0);
    }
    run.Finish();
}

std::string ButtonsOf(const CProgramRun& run, bool havePorts = true, bool haveImage = true)
{
    const CProgramRun::Buttons b = run.Enabled(havePorts, haveImage);
    std::string text;
    text += b.start ? "S" : "-";
    text += b.stop ? "T" : "-";
    text += b.retry ? "R" : "-";
    text += b.nextBatch ? "N" : "-";
    text += b.settings ? "o" : "-";
    return text;
}

}  // namespace

TEST(ProgramRun, ButtonsInEachPhase)
{
    struct Case {
        const char* name;
        void (*setUp)(CProgramRun&);
        bool havePorts, haveImage;
        const char* buttons;  // Start, sTop, Retry, Next batch, options
    };
    const Case cases[] = {
        {"ready", [](CProgramRun&) {}, true, true, "S---o"},
        {"ready without ports", [](CProgramRun&) {}, false, true, "----o"},
        {"ready without image", [](CProgramRun&) {}, true, false, "----o"},
        {"running", [](CProgramRun& r) { r.Start(kPorts); }, true, true, "-T---"},
        {"stopping",
         [](CProgramRun& r) {
             r.Start(kPorts);
             r.Stop();
         },
         true, true, "-----"},
        {"all done",
         [](CProgramRun& r) {
             r.Start(kPorts);
             RunBatch(r, -1);
         },
         true, true, "S--No"},
        {"one failed",
         [](CProgramRun& r) {
             r.Start(kPorts);
             RunBatch(r, 1);
         },
         true, true, "S-RNo"},
        {"one failed, ports unchecked since",
         [](CProgramRun& r) {
             r.Start(kPorts);
             RunBatch(r, 1);
         },
         false, true, "--RNo"},
        {"retry running",
         [](CProgramRun& r) {
             r.Start(kPorts);
             RunBatch(r, 1);
             r.Retry();
         },
         true, true, "-T---"},
    };
    for (const Case& c : cases) {
        CProgramRun run;
        c.setUp(run);
        EXPECT_EQ(ButtonsOf(run, c.havePorts, c.haveImage), c.buttons) << c.name;
    }
}

TEST(ProgramRun, WhatEachCommandRuns)
{
    CProgramRun run;
    EXPECT_FALSE(run.Start({})) << "no port checked";
    EXPECT_FALSE(run.Retry()) << "nothing ran yet";
    EXPECT_FALSE(run.NextBatch()) << "nothing ran yet";

    // A port checked twice runs once.
    ASSERT_TRUE(run.Start({kPorts[0], kPorts[1], kPorts[0], kPorts[2]}));
    EXPECT_EQ(run.RunPorts(), kPorts);
    EXPECT_FALSE(run.Start(kPorts)) << "a run is going on";
    EXPECT_FALSE(run.Retry()) << "a run is going on";
    RunBatch(run, 1);

    // Retry: the failed one alone; the others keep their result.
    ASSERT_TRUE(run.Retry());
    EXPECT_EQ(run.RunPorts(), std::vector<std::string>{kPorts[1]});
    ASSERT_EQ(run.Rows().size(), 3u);
    EXPECT_EQ(run.Rows()[0].state, State::Done);
    EXPECT_EQ(run.Rows()[1].state, State::Waiting);
    EXPECT_EQ(run.Rows()[1].reason, "");
    // News of the retry's unit 0 is about row 1.
    run.Update(0, State::Writing, 2, 40, 1.5);
    EXPECT_EQ(CProgramRun::StateText(run.Rows()[1]), "Writing sector 2");
    EXPECT_EQ(run.Rows()[0].state, State::Done);
    RunBatch(run, -1);
    EXPECT_FALSE(run.Retry()) << "nothing failed";

    // Next batch: fresh rows on the same ports.
    ASSERT_TRUE(run.NextBatch());
    EXPECT_EQ(run.RunPorts(), kPorts);
    for (const CProgramRun::Row& row : run.Rows())
        EXPECT_EQ(row.state, State::Waiting) << row.port;
    EXPECT_EQ(run.Summary(), "0 of 3 units programmed, 0 failed");
}

TEST(ProgramRun, RowsAndSummary)
{
    CProgramRun run;
    ASSERT_TRUE(run.Start(kPorts));
    EXPECT_EQ(CProgramRun::StateText(run.Rows()[0]), "Waiting");
    run.Update(0, State::Writing, 7, 150, 2.0);
    EXPECT_EQ(CProgramRun::StateText(run.Rows()[0]), "Writing sector 7");
    EXPECT_EQ(run.Rows()[0].percent, 100) << "a percentage stays within the bar";
    run.Update(1, State::Verifying, 3, 60, 2.0);
    EXPECT_EQ(CProgramRun::StateText(run.Rows()[1]), "Verifying");
    run.Succeed(1, 9.0);
    run.Update(1, State::Writing, 3, 60, 9.5);
    EXPECT_EQ(CProgramRun::StateText(run.Rows()[1]), "Done") << "late news does not undo a result";
    EXPECT_EQ(run.Rows()[1].percent, 100);
    run.Fail(2, "Timeout - Exit program Mode", 5.0);
    EXPECT_EQ(CProgramRun::StateText(run.Rows()[2]), "Failed: Timeout - Exit program Mode");
    run.Update(7, State::Writing, 1, 1, 1.0);  // no such unit: ignored

    // Stopped: a unit that had not ended failed, and a retry takes it too.
    run.Stop();
    EXPECT_EQ(run.GetPhase(), CProgramRun::Phase::Stopping);
    run.Finish();
    EXPECT_EQ(CProgramRun::StateText(run.Rows()[0]), "Failed: stopped");
    EXPECT_EQ(run.Summary(), "1 of 3 units programmed, 2 failed");
    ASSERT_TRUE(run.Retry());
    EXPECT_EQ(run.RunPorts(), (std::vector<std::string>{kPorts[0], kPorts[2]}));
}
