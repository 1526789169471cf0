#include "browser/connection_log.h"

#include <QApplication>
#include <QStyle>

namespace browser {

std::vector<std::string> splitLogData(const std::string& data) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < data.size()) {
        const auto cr = data.find('\r', start);
        if (cr == std::string::npos) {
            out.push_back(data.substr(start));
            break;
        }
        out.push_back(data.substr(start, cr - start));
        start = cr + 1;
        if (start < data.size() && data[start] == '\n') ++start;
    }
    return out;
}

ConnectionLog::ConnectionLog(QObject* parent) : QAbstractListModel(parent) {
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) {
        QStyle* s = app->style();
        icons_[0] = s->standardIcon(QStyle::SP_ArrowRight);
        icons_[1] = s->standardIcon(QStyle::SP_ArrowLeft);
        icons_[2] = s->standardIcon(QStyle::SP_MessageBoxInformation);
    }
}

void ConnectionLog::LogLine(const std::string& text, int kind) {
    try {
        if (static_cast<int>(lines_.size()) >= kMaxLines) clear();
        const int row = static_cast<int>(lines_.size());
        beginInsertRows({}, row, row);
        lines_.push_back({text, kind});
        endInsertRows();
        emit lineAdded(row);
    } catch (...) {
        // A log line must never break the operation that reports it.
    }
}

void ConnectionLog::LogText(const std::string& data, int kind) {
    for (const std::string& piece : splitLogData(data)) LogLine(piece, kind);
}

void ConnectionLog::clear() {
    beginResetModel();
    lines_.clear();
    endResetModel();
}

int ConnectionLog::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(lines_.size());
}

QVariant ConnectionLog::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 || index.row() >= static_cast<int>(lines_.size()))
        return {};
    const LogEntry& e = lines_[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return QString::fromUtf8(e.text.data(), static_cast<qsizetype>(e.text.size()));
    case Qt::DecorationRole:
        return e.kind >= 0 && e.kind <= 2 ? icons_[e.kind] : QIcon();
    case Qt::UserRole:
        return e.kind;
    default:
        return {};
    }
}

QVariant ConnectionLog::headerData(int section, Qt::Orientation o, int role) const {
    if (section == 0 && o == Qt::Horizontal && role == Qt::DisplayRole)
        return QStringLiteral("Information");
    return {};
}

}  // namespace browser
