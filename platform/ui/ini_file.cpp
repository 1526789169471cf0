#include "platform/ui/ini_file.h"

#include <QFile>
#include <QList>
#include <QSaveFile>
#include <optional>

namespace ui {
namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

QList<QByteArray> splitLines(const QByteArray& data) {
    QList<QByteArray> lines = data.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    for (auto& l : lines)
        if (l.endsWith('\r')) l.chop(1);
    return lines;
}

// The line without surrounding blanks, and without the byte-order mark an
// editor may have put before the first line.
QByteArray bare(const QByteArray& line) {
    QByteArray t = line.trimmed();
    if (t.startsWith("\xEF\xBB\xBF")) t = t.mid(3).trimmed();
    return t;
}

// "[name]" -> name (trimmed); nullopt for any other line.
std::optional<QByteArray> sectionName(const QByteArray& line) {
    const QByteArray t = bare(line);
    if (!t.startsWith('[')) return std::nullopt;
    const int close = t.indexOf(']');
    if (close < 0) return std::nullopt;
    return t.mid(1, close - 1).trimmed();
}

bool isComment(const QByteArray& trimmed) {
    return trimmed.startsWith(';') || trimmed.startsWith('#');
}

// "key=value" -> key (trimmed); nullopt for lines that are no key line.
std::optional<QByteArray> keyName(const QByteArray& line) {
    const QByteArray t = bare(line);
    if (t.isEmpty() || isComment(t) || t.startsWith('[')) return std::nullopt;
    const int eq = t.indexOf('=');
    if (eq <= 0) return std::nullopt;
    return t.left(eq).trimmed();
}

bool sameName(const QByteArray& a, const QString& b) {
    return QString::fromUtf8(a).compare(b, Qt::CaseInsensitive) == 0;
}

// Index of the line holding `key` in the first `section`, or -1. `sectionEnd`
// receives the index after that section's last key line (or after its heading),
// -1 when the section is missing.
int findKey(const QList<QByteArray>& lines, const QString& section, const QString& key,
            int* sectionEnd) {
    int end = -1;
    bool inside = false;
    for (int i = 0; i < lines.size(); ++i) {
        if (auto s = sectionName(lines[i])) {
            if (inside) break;  // left the first occurrence
            if (sameName(*s, section)) {
                inside = true;
                end = i + 1;
            }
            continue;
        }
        if (!inside) continue;
        if (auto k = keyName(lines[i])) {
            end = i + 1;
            if (sameName(*k, key)) {
                if (sectionEnd) *sectionEnd = end;
                return i;
            }
        }
    }
    if (sectionEnd) *sectionEnd = end;
    return -1;
}

}  // namespace

IniFile::IniFile(QString path) : path_(std::move(path)) {}

QString IniFile::readString(const QString& section, const QString& key, const QString& def) const {
    const QList<QByteArray> lines = splitLines(readAll(path_));
    const int i = findKey(lines, section, key, nullptr);
    if (i < 0) return def;
    const QByteArray& line = lines[i];
    QByteArray value = line.mid(line.indexOf('=') + 1).trimmed();
    if (value.size() >= 2 && ((value.startsWith('"') && value.endsWith('"')) ||
                              (value.startsWith('\'') && value.endsWith('\''))))
        value = value.mid(1, value.size() - 2);
    return QString::fromUtf8(value);
}

int IniFile::readInteger(const QString& section, const QString& key, int def) const {
    const QString s = readString(section, key, QString());
    bool ok = false;
    const int v = s.trimmed().toInt(&ok, 10);
    return ok ? v : def;
}

bool IniFile::writeString(const QString& section, const QString& key, const QString& value) {
    if (value.contains(QLatin1Char('\n')) || value.contains(QLatin1Char('\r')) ||
        value.contains(QChar(0)))
        return false;
    const QByteArray old = readAll(path_);
    // Keep the file's own line ending; a new file gets the platform's.
#ifdef Q_OS_WIN
    QByteArray eol = "\r\n";
#else
    QByteArray eol = "\n";
#endif
    if (old.contains("\r\n")) eol = "\r\n";
    else if (old.contains('\n')) eol = "\n";

    QList<QByteArray> lines = splitLines(old);
    const QByteArray entry = key.toUtf8() + '=' + value.toUtf8();
    int end = -1;
    const int at = findKey(lines, section, key, &end);
    if (at >= 0) {
        lines[at] = entry;
    } else if (end >= 0) {
        lines.insert(end, entry);
    } else {
        lines.append('[' + section.toUtf8() + ']');
        lines.append(entry);
    }

    QByteArray out;
    for (const auto& l : lines) out += l + eol;
    QSaveFile f(path_);
    if (!f.open(QIODevice::WriteOnly)) return false;
    if (f.write(out) != out.size()) {
        f.cancelWriting();
        return false;
    }
    return f.commit();
}

bool IniFile::writeInteger(const QString& section, const QString& key, int value) {
    return writeString(section, key, QString::number(value));
}

}  // namespace ui
