#pragma once
// The connection log of a browser frame: lines with a kind (0 command sent,
// 1 reply received, 2 error or status), at most 599 kept before it starts over.
#include <QAbstractListModel>
#include <QIcon>

#include <string>
#include <vector>

namespace browser {

struct LogEntry {
    std::string text;  // bytes as sent or received
    int kind = 2;
};

// Splits received or sent data into log lines: a CR ends a line, an LF right
// after it is dropped, a final piece without CR is a line of its own.
std::vector<std::string> splitLogData(const std::string& data);

class ConnectionLog : public QAbstractListModel {
    Q_OBJECT
public:
    static constexpr int kMaxLines = 599;

    explicit ConnectionLog(QObject* parent = nullptr);

    void LogLine(const std::string& text, int kind);
    void LogText(const std::string& data, int kind);
    void clear();

    const std::vector<LogEntry>& entries() const { return lines_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

signals:
    void lineAdded(int row);

private:
    std::vector<LogEntry> lines_;
    QIcon icons_[3];
};

}  // namespace browser
