// The gate of a page's session, without a server: who is admitted, what waits
// for an idle page, and what an operation learns after a wait.
#include "browser/connection_session.h"
#include "tests/support/gui/gui_test_utils.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using browser::ConnectionSession;
using browser::PageOperation;
using testing_support::waitUntil;

TEST(SessionGate, OneOperationAtATimeAndWaitingRequestsRunWhenIdle) {
    ConnectionSession s;
    QObject context;
    QSignalSpy idle(&s, &ConnectionSession::becameIdle);
    PageOperation first = s.begin();
    ASSERT_TRUE(first);
    EXPECT_FALSE(s.begin());  // refused while the page is busy
    EXPECT_EQ(s.busyCount(), 1);

    std::vector<int> ran;
    s.whenIdle(&context, [&] {
        ran.push_back(1);
        // The page is idle when a waiting request runs.
        PageOperation op = s.begin();
        EXPECT_TRUE(op);
    });
    s.whenIdle(&context, [&] { ran.push_back(2); });
    QCoreApplication::processEvents();
    EXPECT_TRUE(ran.empty());
    first.end();
    EXPECT_EQ(idle.count(), 1);
    EXPECT_TRUE(waitUntil([&] { return ran.size() == 2; }));
    EXPECT_EQ(ran, (std::vector<int>{1, 2}));
    EXPECT_TRUE(s.idle());
}

TEST(SessionGate, ADisconnectEndsWhatBelongedToTheConnection) {
    ConnectionSession s;
    QObject context;
    s.setCurrentdir("/home");
    PageOperation op = s.begin();
    EXPECT_TRUE(op.still());
    EXPECT_EQ(op.folder(), "/home");
    s.setCurrentdir("/elsewhere");
    EXPECT_TRUE(op.sameConnection());
    EXPECT_FALSE(op.still());  // the server is no longer where the operation acts
    op.follow();
    EXPECT_TRUE(op.still());

    bool ran = false;
    s.whenIdle(&context, [&] { ran = true; });
    s.disconnectByUser();
    EXPECT_FALSE(op.sameConnection());
    EXPECT_TRUE(s.userDisconnected());
    op.end();
    QCoreApplication::processEvents();
    EXPECT_FALSE(ran);  // asked for on the old connection: dropped

    // A request whose context is gone is dropped as well.
    auto gone = std::make_unique<QObject>();
    s.whenIdle(gone.get(), [&] { ran = true; });
    gone.reset();
    QCoreApplication::processEvents();
    EXPECT_FALSE(ran);
}
