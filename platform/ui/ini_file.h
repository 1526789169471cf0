#pragma once
// A plain INI file ("forminfo.ini"): "[SECTION]" lines followed by "KEY=value"
// lines. Reads like the Windows profile functions (section and key names match
// without regard to letter case, the first occurrence wins, surrounding blanks
// and one pair of enclosing quotes are dropped) and writes the same way: the
// key's line is replaced in place, or appended to its section, or a new section
// is added at the end. Every other line is kept byte for byte.
#include <QByteArray>
#include <QString>

namespace ui {

class IniFile {
public:
    explicit IniFile(QString path);

    const QString& path() const { return path_; }

    // A missing file, section or key yields `def`.
    QString readString(const QString& section, const QString& key, const QString& def) const;
    // A missing key, or a value that is not a decimal integer, yields `def`.
    int readInteger(const QString& section, const QString& key, int def) const;

    // Writes at once, replacing the file as a whole so a crash never leaves a
    // half-written file. False when the file cannot be written, or when the value
    // holds a line break or NUL (it would split into lines of its own).
    bool writeString(const QString& section, const QString& key, const QString& value);
    bool writeInteger(const QString& section, const QString& key, int value);

private:
    QString path_;
};

}  // namespace ui
