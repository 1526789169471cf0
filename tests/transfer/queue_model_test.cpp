// The queue list's model: rows follow the queue by id through appends,
// removals and updates, checked by Qt's model tester after every change.
#include "tests/support/gui/app_fixture.h"
#include "transfer/queue_model.h"
#include "transfer/queue_rules.h"

#include <QAbstractItemModelTester>
#include <QItemSelectionModel>

using transfer::QueueModel;

namespace {

TEST(QueueModel, RowsFollowTheQueueByIdAndKeepTheirDisplayState) {
    QueueState st;
    std::uint64_t next = 1;
    QueueModel model(&st);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    std::vector<std::uint64_t> ids;
    for (const char* n : {"a", "b", "c"}) {
        rupdown e;
        e.direction = 1;
        e.name = n;
        e.size = 5;
        e.localpath = std::string("/dl/") + n;
        e.isfolder = std::string(n) == "b";
        ids.push_back(transfer::AppendQueueEntry(st, e, next));
        model.entryAppended(ids.back());
    }
    EXPECT_EQ(model.headerData(QueueModel::ColSize, Qt::Horizontal, Qt::DisplayRole), "Size (bytes)");
    EXPECT_EQ(model.data(model.index(0, QueueModel::ColSize), Qt::DisplayRole), "5");
    EXPECT_EQ(model.data(model.index(1, QueueModel::ColSize), Qt::DisplayRole), "");
    EXPECT_EQ(model.data(model.index(2, QueueModel::ColPath), Qt::DisplayRole), "/dl/");

    model.setEntryState(ids[1], 0);
    model.setEntryStatus(ids[1], "Downloading...(auto)");
    model.setEntryState(ids[2], 1);
    // "a" leaves: the others keep their rows' state and text.
    transfer::RemoveQueueEntry(st, ids[0]);
    model.entryRemoved(ids[0]);
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.idAt(0), ids[1]);
    EXPECT_EQ(model.data(model.index(0, QueueModel::ColState), QueueModel::StateImageRole), 0);
    EXPECT_EQ(model.data(model.index(0, QueueModel::ColStatus), Qt::DisplayRole), "Downloading...(auto)");
    EXPECT_EQ(model.data(model.index(1, QueueModel::ColState), QueueModel::StateImageRole), 1);
    // Telling twice, or about an id that is gone, changes nothing.
    model.entryRemoved(ids[0]);
    model.entryAppended(ids[0]);
    EXPECT_EQ(model.rowCount(), 2);

    QItemSelectionModel sel(&model);
    sel.select(model.index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    sel.select(model.index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_EQ(model.selectedIds(sel), (std::vector<std::uint64_t>{ids[1], ids[2]}));

    st.queue.clear();
    model.resync();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.stateOf(ids[2]), -1);
}

}  // namespace
