#pragma once
// The "Duplicate file found" window: the two sides of a target that exists
// already, and seven buttons for what to do about it.
#include "transfer/duplicate_resolution.h"

#include <QDialog>

#include <functional>
#include <map>

class QLabel;
class QPushButton;

class TForm9 : public QDialog {
    Q_OBJECT
public:
    // acceptName checks a name typed after "Rename"; it shows its own messages
    // over the window it is given.
    TForm9(const transfer::DuplicateView& view, std::function<bool(const std::string&, QWidget*)> acceptName,
           QWidget* parent = nullptr);

    transfer::DuplicateChoice choice() const { return choice_; }

    QPushButton* button(transfer::DuplicateButton which) const { return buttons_.at(which); }
    // The texts of a block (0 top, 1 bottom): heading, name, size, modified, type.
    QStringList blockTexts(int block) const;

    // Handlers.
    void onButton(transfer::DuplicateButton which);
    void onRename();

private:
    QWidget* buildBlock(const char* heading, const transfer::DuplicateSide& side, bool isfolder, int block);

    transfer::DuplicateView view_;
    std::function<bool(const std::string&, QWidget*)> acceptName_;
    transfer::DuplicateChoice choice_;
    std::map<transfer::DuplicateButton, QPushButton*> buttons_;
    QLabel* labels_[2][5] = {};
};

namespace transfer {

// Opens the window modally and returns what was chosen; closing it is Cancel.
DuplicateChoice AskDuplicate(const DuplicateView& view, const RenameRules& rules, QWidget* parent);

}  // namespace transfer
