#include <gtest/gtest.h>

#include <malloc.h>

#include "lab.h"

namespace pelorin::test {
namespace {

// A subject plays the three fixed blocks and then 100 blocks from the menu, letting every third block
// overflow. At each return to the menu the handlers' nesting depth and the heap in use are noted: a run
// that kept suspended handlers or objects from block to block would show them growing.
TEST(SoakTest, HundredBlocksFromTheMenuNeitherNestDeeperNorGrowTheHeap) {
    constexpr int MENU_BLOCKS = 100;
    Lab lab;
    lab.host.SetTimeLimitMillis(int64_t{4} * 3600 * 1000);
    SimulatedSubject subject(lab.host);
    auto see = lab.host.onTrace;

    Display& display = lab.experiment.Display();
    std::vector<int> depths;
    std::vector<size_t> heap;
    int blocks = 0;
    lab.host.onTrace = [&](const TraceEntry& entry) {
        see(entry);
        if (entry.what.starts_with("top ") && entry.what.ends_with("Task")) {
            ++blocks;
            subject.listening = blocks % 3 != 0;
        }
        if (!entry.what.starts_with("show Display.Command1(0)")) return;
        depths.push_back(lab.experiment.runtime.EventDepth());
        heap.push_back(mallinfo2().uordblks);
        // The trace and the subject's log are the test's, not the program's: keep them from growing.
        lab.host.ClearTrace();
        subject.presses.clear();
        int menuVisit = static_cast<int>(depths.size());
        Button& choice = menuVisit > MENU_BLOCKS ? display.Command1.back() : display.Command1[static_cast<size_t>(menuVisit % 3)];
        lab.host.Schedule(entry.Millis() + 500, InputEvent::Click(choice));
    };

    lab.SetBlockNumber(0);
    lab.experiment.Blanke().ShowBlanke(100, display);
    EXPECT_THROW(lab.RunUntilIdle(), ProgramEnded);

    ASSERT_EQ(depths.size(), size_t{MENU_BLOCKS + 1});
    EXPECT_EQ(blocks, MENU_BLOCKS + 3);
    EXPECT_EQ(lab.experiment.templateVariables.blockNumber, MENU_BLOCKS + 4);
    for (size_t visit = 1; visit < depths.size(); ++visit) {
        ASSERT_EQ(depths[visit], depths[0]) << "menu visit " << visit;
    }
    // After a few blocks to warm up, the heap in use stays within a few pages.
    size_t warm = heap[5];
    size_t peak = *std::max_element(heap.begin() + 5, heap.end());
    EXPECT_LT(peak - warm, size_t{64 * 1024}) << "warm " << warm << " bytes, peak " << peak;
    std::printf("soak: %d blocks, event depth at the menu %d, heap in use %zu -> %zu bytes (peak %zu)\n", blocks,
                depths[0], warm, heap.back(), peak);
}

}  // namespace
}  // namespace pelorin::test
