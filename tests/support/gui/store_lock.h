#pragma once
// Another copy of the program holding "all.dat" for writing: while this object
// lives, every write of the fixture's data module waits a moment and then
// fails, as it would on a user's machine.
#include "store/table.h"
#include "tests/support/gui/app_fixture.h"

#include <memory>

namespace testing_support {

class StoreLock {
public:
    explicit StoreLock(AppFixture& app, int waitMs = 50) {
        app.dm().database().setBusyTimeout(waitMs);
        EXPECT_TRUE(app.connectStore());  // the wait applies from the next connect
        other_.database().setFileName(app.path(QStringLiteral("all.dat")).toStdString());
        other_.database().connect();
        lock_ = std::make_unique<store::WriteBatch>(other_.database());
    }

private:
    store::Tdm other_;
    std::unique_ptr<store::WriteBatch> lock_;  // goes before the data module holding it
};

}  // namespace testing_support
