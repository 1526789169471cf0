#pragma once
// The find dialog of a remote view: selects the rows whose names match a text.
// It works on the names it is given and returns the rows to select; the opener
// applies the selection to its view.
#include <QDialog>
#include <QString>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QPushButton;

namespace history {

// A drop-down list kept in a recent-entry file of the data directory. The
// find and filter dialogs share these.
void load(QComboBox* box, const QString& fileName);
// Appends the box's text unless the list holds it already, then saves.
void remember(QComboBox* box, const QString& fileName);
// Empties the list and saves it; the typed text stays.
void clear(QComboBox* box, const QString& fileName);

}  // namespace history

class TForm3 : public QDialog {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);
    ~TForm3() override;

    // The names of the view's rows, in view order. Without them there is no
    // view to search: "&Find" then only keeps the text and the dialog stays open.
    void setNames(std::vector<std::string> names);

    // After "&Find" closed the dialog: the rows to select (the rest are
    // deselected), in view order; the view then takes the focus.
    const std::vector<int>& matches() const { return matches_; }

    QComboBox* cbName = nullptr;
    QCheckBox* cbCase = nullptr;
    QCheckBox* cbWhole = nullptr;
    QPushButton* btFind = nullptr;
    QPushButton* btClose = nullptr;
    QPushButton* btClear = nullptr;

private:
    void find();

    std::optional<std::vector<std::string>> names_;
    std::vector<int> matches_;
};
