// The plain decisions of a run: local targets, transfer types, queue ids and
// what the popup may remove, progress figures, the run-ending log line and
// the history rows.
#include "ftp/id_exceptions.h"
#include "store/table.h"
#include "tests/support/gui/app_fixture.h"
#include "transfer/history_recorder.h"
#include "transfer/local_target.h"
#include "transfer/queue_rules.h"
#include "transfer/run_listings.h"
#include "transfer/run_progress.h"
#include "transfer/transfer_type.h"
#include "transfer/tree_walk.h"

#include <QDateTime>
#include <QLocale>
#include <climits>

using namespace transfer;

namespace {

TEST(LocalTarget, RefusesEveryNameThatWouldLeaveTheFolder) {
    for (const std::string& bad : std::vector<std::string>{"", ".", "..", "a/b", "../x", "a\\b", std::string("a\0b", 3)}) {
        EXPECT_FALSE(IsSafeLocalName(bad)) << bad;
        EXPECT_FALSE(LocalTarget("/dl", bad)) << bad;
    }
    EXPECT_EQ(LocalTarget("/dl", "..."), std::optional<std::string>("/dl/..."));
    EXPECT_EQ(LocalTarget("/dl/", " .."), std::optional<std::string>("/dl/ .."));
    EXPECT_EQ(RefusedNameLine(std::string("a\0b", 3)), "Skipped <a\\0b>: the name can not be used as a local file name.");
    EXPECT_EQ(LocalFolderPart("/dl/sub/f.txt"), "/dl/sub/");
    EXPECT_EQ(LocalLastPart("/dl/sub/"), "sub");
    EXPECT_EQ(ExtensionOf("archive.tar.gz"), ".gz");
    EXPECT_EQ(ExtensionOf("Makefile"), "");
}

TEST(TransferType, AutoGoesByExtensionAndAnyOddModeIsBinary) {
    const std::vector<std::string> ascii{"TXT", "HTML"};
    EXPECT_EQ(ChooseTransferType("auto", ".txt", ascii), ftASCII);
    EXPECT_EQ(ChooseTransferType("auto", ".TXT", ascii), ftASCII);
    EXPECT_EQ(ChooseTransferType("auto", ".gz", ascii), ftBinary);
    EXPECT_EQ(ChooseTransferType("auto", "", ascii), ftBinary);
    EXPECT_EQ(ChooseTransferType("auto", "", {""}), ftASCII);
    EXPECT_EQ(ChooseTransferType("ascii", ".gz", ascii), ftASCII);
    EXPECT_EQ(ChooseTransferType("binary", ".txt", ascii), ftBinary);
    // A missing options row must not leave TYPE A of the last listing in force.
    EXPECT_EQ(ChooseTransferType("", ".txt", ascii), ftBinary);
    EXPECT_EQ(ChooseTransferType("Auto", ".txt", ascii), ftBinary);
}

TEST(QueueRules, IdsAreNeverReusedAndTheTakenEntryIsProtected) {
    QueueState st;
    std::uint64_t next = 0;
    rupdown e;
    e.name = "a";
    e.localpath = "/l/a";
    e.remotedir = "0";
    const auto a = AppendQueueEntry(st, e, next);
    e.name = e.localpath = "b";
    const auto b = AppendQueueEntry(st, e, next);
    EXPECT_TRUE(IsQueued(st, "a", "/l/a", "0"));
    EXPECT_FALSE(IsQueued(st, "A", "/l/a", "0"));
    ASSERT_TRUE(RemoveQueueEntry(st, b));
    const auto c = AppendQueueEntry(st, e, next);
    EXPECT_TRUE(a != 0 && a != b && b != c && a != c);
    // Adding what is queued already adds nothing.
    EXPECT_TRUE(QueueEntries(st, {e}, next).empty());

    // The run took `a`: Delete and Clear leave it alone, whatever its image.
    EXPECT_FALSE(QueuePopupFor({a}, a).del);
    EXPECT_TRUE(QueuePopupFor({a}, a).clear);
    EXPECT_TRUE(QueuePopupFor({a, c}, a).del);
    EXPECT_EQ(DeletableIds({a, c}, a), std::vector<std::uint64_t>{c});
    EXPECT_EQ(ClearableIds(st, a), std::vector<std::uint64_t>{c});
    const QueuePopupState none = QueuePopupFor({}, 0);
    EXPECT_FALSE(none.transfer || none.stop || none.del || none.clear);
}

TEST(QueueRules, RowTexts) {
    rupdown up;
    up.localpath = "/home/u/pics/x.png";
    EXPECT_EQ(QueueSizeText(up), "");
    EXPECT_EQ(QueuePathText(up), "/home/u/pics/");
    rupdown down;
    down.direction = 1;
    EXPECT_EQ(QueueSizeText(down), "0");
    down.isfolder = true;
    EXPECT_EQ(QueueSizeText(down), "");
}

TEST(RunListings, EachFolderIsListedOncePerRunAndSeesWhatTheRunAdded) {
    RunListings memo;
    int fetched = 0;
    const auto fetch = [&] {
        ++fetched;
        return std::vector<RemoteEntry>{{"a", RemoteEntry::KindFile, 1, ""}};
    };
    memo.entries("/in", fetch);
    memo.added("/in", "b", RemoteEntry::KindFile, 7);
    memo.added("/in", "a", RemoteEntry::KindFile, 9);
    memo.added("/other", "x", RemoteEntry::KindFile, 1);  // never listed: nothing to update
    const auto& in = memo.entries("/in", fetch);
    ASSERT_EQ(in.size(), 2u);
    EXPECT_EQ(in[0].size, 9);
    EXPECT_EQ(in[1].name, "b");
    EXPECT_EQ(fetched, 1);
    memo.entries("/other", fetch);
    memo.clear();
    memo.entries("/in", fetch);
    EXPECT_EQ(fetched, 3);
}

TEST(Progress, LargeFilesScaleTheGaugeAndKeepExactFigures) {
    const std::int64_t five = 5LL << 30;
    TransferProgress p;
    p.begin(0, 0, 0, five, 1000);
    ProgressDisplay half = p.work(five / 2, 11000);
    ASSERT_FALSE(half.busy);
    EXPECT_GT(half.gaugeMax, 0);
    EXPECT_LE(half.gaugeMax, INT_MAX);
    EXPECT_EQ(half.gaugePos, half.gaugeMax / 2);
    EXPECT_EQ(half.box, "5368709120/2684354560");
    EXPECT_EQ(half.speed, "262144" + QString(QLocale::system().decimalPoint()).toStdString() + "00KB/S");
    EXPECT_EQ(p.work(five, 12000).gaugePos, half.gaugeMax);
    // Nothing measured yet: the label stays.
    EXPECT_EQ(p.work(10, 1000).speed, "");
}

TEST(Progress, ResumeShowsTheRemainderAndAnUnknownSizeABusyGauge) {
    TransferProgress p;
    p.begin(0, 400, 600, 1000, 0);
    EXPECT_EQ(p.work(600, 5).box, "600/600");
    EXPECT_EQ(p.work(600, 5).gaugeMax, 600);
    p.begin(0, 0, 0, -1, 0);
    const ProgressDisplay d = p.work(4096, 1000);
    EXPECT_TRUE(d.busy);
    EXPECT_EQ(d.box, "4096");
    // Uploads know their size from the client.
    p.begin(2048, 0, 0, -1, 0);
    EXPECT_EQ(p.work(1024, 1).box, "2048/1024");
}

TEST(RunEnd, LogLineComesFromTheErrorItself) {
    EXPECT_EQ(RunEndLogLine(EIdProtocolReplyError(550, "No such file.\r\n")),
              std::optional<std::string>("550:No such file., the operation cancel."));
    EXPECT_EQ(RunEndLogLine(EIdFTPFileAlreadyExists()),
              std::optional<std::string>("Destination file already exists., the operation cancel."));
    EXPECT_EQ(RunEndLogLine(EIdSocketError(104)).value().find('\n'), std::string::npos);
    EXPECT_FALSE(RunEndLogLine(ERunStopped()));
}

class History : public testing_support::AppTest {
protected:
    std::vector<std::vector<std::string>> rows(store::Table& t, const std::vector<std::string>& fields) {
        std::vector<std::vector<std::string>> out;
        store::TableScope s(t);
        for (s->first(); !s->eof(); s->next()) {
            out.emplace_back();
            for (const auto& f : fields) out.back().push_back(s->asString(f));
        }
        return out;
    }
};

TEST_F(History, RowsCarryEveryFieldAndShareTheDaysMasterRow) {
    const QDateTime start(QDate(2024, 5, 6), QTime(10, 0, 1));
    FinishedEntry done;
    done.siteid = 0;
    done.newname = "b.txt";
    done.folderRanIn = "/pub";
    done.startMs = start.toMSecsSinceEpoch();
    done.endMs = done.startMs + 2500;
    done.elapsedms = 2500;
    done.speed = "1.50KB/S";
    rupdown up;
    up.direction = 0;
    up.name = "a.txt";
    up.localpath = "/l/a.txt";
    up.remotedir = "0";
    RecordHistory(app.dm(), up, done);
    rupdown down = up;
    down.direction = 1;
    down.remotedir = "sub";  // relative: the row keeps where it really ran
    RecordHistory(app.dm(), down, done);
    done.newname.clear();
    RecordHistory(app.dm(), up, done);

    const std::string day = LongDateText(start.date());
    const auto masters = rows(app.dm().hmaster(), {"id", "date", "type", "key"});
    ASSERT_EQ(masters.size(), 2u);
    EXPECT_EQ(masters[0], (std::vector<std::string>{"0", day, "Upload", masters[0][3]}));
    EXPECT_EQ(masters[1][2], "Download");
    const auto details = rows(app.dm().hdital(), {"id", "type", "ftpfile", "lofile", "date", "date2", "ftppath",
                                                  "lopath", "usetime", "speed", "isfolder"});
    ASSERT_EQ(details.size(), 3u);
    const std::string two5 = "2" + QString(QLocale::system().decimalPoint()).toStdString() + "5";
    EXPECT_EQ(details[0], (std::vector<std::string>{masters[0][3], "Upload", "b.txt", "a.txt", "10:00:01",
                                                    "10:00:03", "/pub", "/l/a.txt", two5, "1.50KB/S", "False"}));
    EXPECT_EQ(details[1][2] + "|" + details[1][3] + "|" + details[1][6], "a.txt|b.txt|/pub");
    EXPECT_EQ(details[2][0], masters[0][3]);
    EXPECT_EQ(details[2][2], "a.txt");
    EXPECT_EQ(UseTimeText(12000), "12");
}

}  // namespace
