#include "transfer/history_recorder.h"

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <cstdio>

namespace transfer {

namespace {
std::string bytes(const QString& s) { return s.toUtf8().toStdString(); }

QDateTime localAt(std::int64_t ms) { return QDateTime::fromMSecsSinceEpoch(ms); }
}  // namespace

std::string UseTimeText(std::int64_t elapsedms) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", static_cast<double>(elapsedms) / 1000.0);
    std::string s(buf);
    const auto dot = s.find('.');
    if (dot != std::string::npos) s.replace(dot, 1, bytes(QLocale::system().decimalPoint()));
    return s;
}

std::string ClockText(std::int64_t msSinceEpoch) {
    return bytes(localAt(msSinceEpoch).toString(QStringLiteral("hh:mm:ss")));
}

std::string LongDateText(const QDate& day) { return bytes(QLocale::system().toString(day, QLocale::LongFormat)); }

store::HistoryDetail HistoryDetailFor(const rupdown& entry, const FinishedEntry& done) {
    store::HistoryDetail d;
    const bool download = entry.direction == 1;
    const std::string& chosen = done.newname.empty() ? entry.name : done.newname;
    d.type = download ? "Download" : "Upload";
    d.ftpfile = download ? entry.name : chosen;
    d.lofile = download ? chosen : entry.name;
    d.date = ClockText(done.startMs);
    d.date2 = ClockText(done.endMs);
    // The folder the server was really in: a relative or stale "remotedir"
    // would send a replay of this row elsewhere.
    d.ftppath = !done.folderRanIn.empty() ? done.folderRanIn
                : entry.remotedir == "0"  ? std::string()
                                          : entry.remotedir;
    d.lopath = entry.localpath;
    d.usetime = UseTimeText(done.elapsedms);
    d.speed = done.speed;
    d.isfolder = entry.isfolder;
    return d;
}

void RecordHistory(store::Tdm& dm, const rupdown& entry, const FinishedEntry& done) {
    // Filed under the day the entry ended.
    const std::string day = LongDateText(localAt(done.endMs).date());
    store::AppendHistory(dm, done.siteid, day, HistoryDetailFor(entry, done));
}

}  // namespace transfer
