#pragma once
// Where the program keeps its data files ("all.dat", "forminfo.ini", the
// recent-entry files, "Ostrafen.hlp"): the executable's directory, unless a
// test points it at a temporary one.
#include <QString>

namespace ui {

QString dataDir();
// An empty `dir` goes back to the executable's directory.
void setDataDir(const QString& dir);
// dataDir() joined with a file name, native separators.
QString dataFile(const QString& name);

// The directory of the running executable (needs the application object).
QString executableDir();

}  // namespace ui
