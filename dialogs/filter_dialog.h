#pragma once
// The filter dialog of a remote view: hides the file rows whose extension does
// not match a pattern. It works on the rows it is given and returns which of
// them stay visible; the opener hides the others in its view only, so its
// listing (and every check made against it) keeps all rows.
#include "dialogs/name_match.h"

#include <QDialog>
#include <optional>
#include <vector>

class QComboBox;
class QPushButton;

class TForm6 : public QDialog {
    Q_OBJECT
public:
    explicit TForm6(QWidget* parent = nullptr);
    ~TForm6() override;

    // The view's rows with their current visibility. Without them "&OK" only
    // keeps the pattern.
    void setRows(std::vector<names::FilterRow> rows);

    // After "&OK": one flag per row given, true for a row that stays visible.
    // Empty when no rows were given.
    const std::vector<bool>& visible() const { return visible_; }

    QComboBox* cbPattern = nullptr;
    QPushButton* btOk = nullptr;
    QPushButton* btClose = nullptr;
    QPushButton* btClear = nullptr;

private:
    void ok();

    std::optional<std::vector<names::FilterRow>> rows_;
    std::vector<bool> visible_;
};
