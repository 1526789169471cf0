#include "browser/drag_formats.h"

#include <QDataStream>
#include <QIODevice>

namespace dragfmt {

namespace {
constexpr quint32 kMagic = 0x4F535246;  // "OSRF"
constexpr quint32 kVersion = 1;
constexpr quint32 kMaxRows = 10'000'000;

QByteArray bytesOf(const std::string& s) { return QByteArray(s.data(), qsizetype(s.size())); }
std::string stringOf(const QByteArray& b) { return std::string(b.constData(), std::size_t(b.size())); }
}  // namespace

QByteArray encodeRemoteRows(const RemoteRows& rows) {
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    s.setVersion(QDataStream::Qt_6_0);
    s << kMagic << kVersion << rows.frame << bytesOf(rows.folder) << quint32(rows.rows.size());
    for (const RemoteRow& r : rows.rows)
        s << bytesOf(r.name) << r.isfolder << qint64(r.size) << bytesOf(r.date);
    return out;
}

bool decodeRemoteRows(const QByteArray& bytes, RemoteRows& out) {
    QDataStream s(bytes);
    s.setVersion(QDataStream::Qt_6_0);
    quint32 magic = 0, version = 0, count = 0;
    QByteArray folder;
    RemoteRows result;
    s >> magic >> version >> result.frame >> folder >> count;
    if (s.status() != QDataStream::Ok || magic != kMagic || version != kVersion || count > kMaxRows)
        return false;
    result.folder = stringOf(folder);
    for (quint32 i = 0; i < count; ++i) {
        QByteArray name, date;
        bool isfolder = false;
        qint64 size = 0;
        s >> name >> isfolder >> size >> date;
        if (s.status() != QDataStream::Ok) return false;
        result.rows.push_back(RemoteRow{stringOf(name), isfolder, size, stringOf(date)});
    }
    out = std::move(result);
    return true;
}

}  // namespace dragfmt
