#pragma once
// What the windows tell the user when "all.dat" cannot be opened or a change
// cannot be saved in it. No change is ever dropped without a word.
#include <QString>

#include <exception>

class QWidget;

namespace store {
class Tdm;
}

namespace dialogs {

// The error box at start: names the file, why it cannot be used, what to do.
QString storeOpenFailureText(const QString& file, const std::exception& e);
// The text for a change that was not saved.
QString unsavedText(store::Tdm& dm, const std::exception& e);
// Shows unsavedText() as an error box.
void reportUnsaved(QWidget* parent, store::Tdm& dm, const std::exception& e);
// An error box for a window that cannot show what is saved.
void reportUnreadable(QWidget* parent, store::Tdm& dm, const std::exception& e);

}  // namespace dialogs
