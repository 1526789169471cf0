#pragma once
// The platform's file-type name of a file name ("Text document", "ZIP archive"),
// worked out from the name alone: the file is never opened or even looked up.
#include <QString>

namespace ui {

// Folders are "File folder"; a known extension gives the type's description; an
// unknown one gives the extension in capitals plus " File"; no extension "File".
QString fileTypeName(const QString& fileName, bool isFolder = false);

}  // namespace ui
