#include "FileStates.h"

#include <random>
#include <string>

#include <gtest/gtest.h>

namespace lh::test {
namespace {

FileURL file(int number)
{
    return FileURL("/share/" + std::to_string(number) + ".flac");
}

// Random changes, one at a time and in batches, applied to a plain map and to the states; they
// agree after each, through the folds the changes lead to, and a change leaves the bulk shared
// unless it folded.
TEST(FileStates, ChangesAgreeWithAPlainMapThroughFolds)
{
    std::mt19937 random(7);
    FileStateMap expected;
    for (int number = 0; number < 400; ++number)
        expected.emplace(file(number), FileState::waiting);
    FileStates states(expected);
    int folds = 0;
    for (int step = 0; step < 3000; ++step) {
        std::vector<FileStates::Change> changes;
        const int count = step % 10 == 0 ? 20 : 1;
        for (int index = 0; index < count; ++index) {
            const FileURL url = file(int(random() % 500)); // a fifth are new files
            const auto pick = random() % 6;
            const auto state = pick == 5 ? std::nullopt : std::optional(FileState(pick));
            changes.emplace_back(url, state);
            if (state)
                expected.insert_or_assign(url, *state);
            else
                expected.erase(url);
        }
        const FileStates next = states.with(changes);
        folds += next.sharesBulkWith(states) ? 0 : 1;
        states = next;
        ASSERT_EQ(states.size(), expected.size()) << "step " << step;
        ASSERT_EQ(states.map(), expected) << "step " << step;
        ASSERT_TRUE(states == expected);
    }
    EXPECT_GT(folds, 10);
    EXPECT_LT(folds, 300); // a change copies the whole map only now and then
}

TEST(FileStates, LooksUpWhatTheMapHolds)
{
    const FileStates states { { file(1), FileState::cached } };
    EXPECT_EQ(states.state(file(1)), FileState::cached);
    EXPECT_EQ(states.state(file(2)), std::nullopt);
    EXPECT_THROW(states.at(file(2)), std::out_of_range);
    const FileStates without = states.with({ { file(1), std::nullopt } });
    EXPECT_TRUE(without.empty());
    EXPECT_FALSE(without == states);
    EXPECT_TRUE(states.modified([](FileStateMap& all) { all.clear(); }) == without);
}

} // namespace
} // namespace lh::test
