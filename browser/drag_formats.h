#pragma once
// What a drag between the local list and a page's remote list carries.
// Local files travel as ordinary file URLs (what a file-system view offers);
// remote rows travel in a format of our own, so that a drop can tell which
// page and which folder they came from.
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

class QMimeData;

namespace dragfmt {

inline constexpr const char* kRemoteRowsMime = "application/x-ostrafen-remote-rows";

struct RemoteRow {
    std::string name;         // bytes as the server sent them
    bool isfolder = false;
    std::int64_t size = 0;
    std::string date;         // as listed
};

struct RemoteRows {
    QString frame;            // object name of the source frame ("fr3")
    std::string folder;       // remote folder the rows were listed in
    std::vector<RemoteRow> rows;
};

QByteArray encodeRemoteRows(const RemoteRows& rows);
// False when the bytes are not a well-formed payload of this format.
bool decodeRemoteRows(const QByteArray& bytes, RemoteRows& out);

}  // namespace dragfmt
