#pragma once
// Creates or changes one SOCKS profile (table `socks`). The caption is the
// mode: "Add Socks" creates, "Edit Socks" edits the row of the opening name.
#include "store/site_records.h"

#include <QDialog>
#include <QString>
#include <optional>
#include <string>

class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class TForm4;
namespace dialogs { class NumberBox; }

class TForm7 : public QDialog {
    Q_OBJECT
public:
    explicit TForm7(store::Tdm& dm, QWidget* parent = nullptr);
    ~TForm7() override;

    // The name the edited profile had when the editor opened.
    // Kept as the stored bytes, so an unchanged name is written back unchanged.
    void setOpeningName(const std::string& name) { openingName_ = name; }
    void setOpeningName(const QString& name);
    const std::string& openingName() const { return openingName_; }
    // Fills the controls from a stored profile (edit mode, opening name too);
    // what the user leaves alone is written back as it was read.
    void load(const store::SocksRecord& profile);
    // The options dialog's "Socks" list, kept in step by a save (may be null).
    void setProfileList(QTreeWidget* list) { list_ = list; }
    // The site editor whose profile lists follow a save (may be null).
    void setSiteEditor(TForm4* editor) { siteEditor_ = editor; }

    QLineEdit* edName = nullptr;
    QLineEdit* edHost = nullptr;
    dialogs::NumberBox* sePort = nullptr;
    QComboBox* cbVersion = nullptr;
    QGroupBox* gbLogin = nullptr;
    QLineEdit* edUser = nullptr;
    QLineEdit* edPass = nullptr;
    QPushButton* btOk = nullptr;
    QPushButton* btCancel = nullptr;

private:
    void ok();
    store::SocksRecord typed(const std::string& nameBytes);

    std::optional<store::SocksRecord> loaded_;
    struct Shown {
        QString host, user, pass;
        int sv = -1;
    } shown_;
    std::string openingName_;
    QTreeWidget* list_ = nullptr;
    store::Tdm& dm_;
    TForm4* siteEditor_ = nullptr;
};
