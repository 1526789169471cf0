#include "transfer/run_progress.h"

#include "ftp/id_exceptions.h"
#include "transfer/tree_walk.h"

#include <QLocale>

#include <algorithm>

namespace transfer {

namespace {
constexpr std::int64_t kGaugeLimit = std::int64_t{1} << 30;

// Line breaks of multi-line messages become blanks: a log line is one line.
std::string oneLine(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\r' || c == '\n') {
            if (!out.empty() && out.back() != ' ') out += ' ';
        } else {
            out += c;
        }
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}
}  // namespace

void TransferProgress::begin(std::int64_t max, std::int64_t resumeat, std::int64_t remaining,
                             std::int64_t expectedsize, std::int64_t nowMs) {
    startMs_ = nowMs;
    total_ = resumeat != 0 ? remaining : max > 0 ? max : expectedsize;
    shift_ = 0;
    while ((total_ >> shift_) > kGaugeLimit) ++shift_;
}

ProgressDisplay TransferProgress::work(std::int64_t done, std::int64_t nowMs) const {
    ProgressDisplay d;
    if (total_ <= 0) {
        d.busy = true;
        d.box = std::to_string(done);
    } else {
        d.gaugeMax = static_cast<int>(total_ >> shift_);
        d.gaugePos = static_cast<int>(std::clamp<std::int64_t>(done, 0, total_) >> shift_);
        d.box = std::to_string(total_) + "/" + std::to_string(done);
    }
    d.speed = SpeedText(done, nowMs - startMs_);
    return d;
}

std::string SpeedText(std::int64_t done, std::int64_t elapsedMs) {
    if (elapsedMs <= 0) return {};
    QLocale loc = QLocale::system();
    loc.setNumberOptions(QLocale::OmitGroupSeparator);
    const double kbs = static_cast<double>(done) / 1024.0 / (static_cast<double>(elapsedMs) / 1000.0);
    return loc.toString(kbs, 'f', 2).toStdString() + "KB/S";
}

std::optional<std::string> RunEndLogLine(const std::exception& error) {
    if (dynamic_cast<const ERunStopped*>(&error)) return std::nullopt;
    const char* const tail = ", the operation cancel.";
    if (const auto* refused = dynamic_cast<const EIdProtocolReplyError*>(&error))
        return std::to_string(refused->ReplyErrorCode()) + ":" + oneLine(refused->what()) + tail;
    return oneLine(error.what()) + tail;
}

}  // namespace transfer
