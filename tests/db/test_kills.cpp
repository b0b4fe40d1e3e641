// A writer killed at 200 random moments (appends with memos and tags, changes, deletions, packs,
// zaps and tag builds): afterwards every committed record is there exactly once with its own memo,
// and the check is clean or a reindex makes it clean.
#include "tests/db/db_test_support.h"
#include "tests/db/kill_run.h"

namespace kv::test {
namespace {

TEST(KillTest, AWriterKilledAtRandomMomentsLosesNoCommittedRecord) {
    TempDir dir;
    SettingsGuard settings;
    const auto faults = kills::run_kills(dir.str(), 200, 20261208, std::chrono::milliseconds(40));
    for (const std::string& fault : faults) ADD_FAILURE() << fault;
}

}  // namespace
}  // namespace kv::test
