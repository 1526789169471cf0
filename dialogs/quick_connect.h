#pragma once
// The quick-connect window: opens a browser page for an address that has no
// saved site and keeps every address used in the quickftp history.
#include <QDialog>
#include <QString>

#include <functional>
#include <string>

namespace store {
class Tdm;
struct QuickConnection;
}

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QToolButton;
class TIntBox;
class TEncryptionBox;

class TForm15 : public QDialog {
    Q_OBJECT
public:
    // What "C&onnect" asks of its opener: open the page of the typed
    // connection (named by its address). The window stays open until it returns.
    using OpenPage = std::function<void(const store::QuickConnection& typed)>;

    TForm15(store::Tdm& dm, OpenPage openPage, QWidget* parent = nullptr);
    ~TForm15() override;

    // What the opener applies afterwards.
    struct Outcome {
        int result = QDialog::Rejected;
        bool siteSaved = false;     // "Save ftp site" saved a new site
        bool optionsSaved = false;  // the options were saved from that site editor
    };
    // Creates the window, runs it modally, destroys it.
    static Outcome Execute(QWidget* parent, store::Tdm& dm, OpenPage openPage);
    // Fills the history list, then runs this window modally.
    int execModal();

    // What the user typed.
    QString address() const;
    int port() const;
    QString user() const;
    QString password() const;
    bool passive() const;
    std::string encryption() const;  // the word of the mode chosen
    store::QuickConnection typed() const;

    // Handlers.
    void FillHistory();
    void onServerTextChanged(const QString& text);
    void onConnect();
    void onClearHistory();
    void onSaveSite();

    QComboBox* serverCombo() const { return server_; }
    TIntBox* portBox() const { return port_; }
    TEncryptionBox* encryptionCombo() const { return encryption_; }
    QLineEdit* userEdit() const { return user_; }
    QLineEdit* passwordEdit() const { return password_; }
    QCheckBox* passiveCheck() const { return pasv_; }
    QToolButton* saveSiteButton() const { return save_; }
    QPushButton* clearHistoryButton() const { return clear_; }
    QPushButton* connectButton() const { return connect_; }
    QPushButton* cancelButton() const { return cancel_; }

private:
    store::Tdm& dm_;
    OpenPage openPage_;

    QComboBox* server_;
    TIntBox* port_;
    TEncryptionBox* encryption_;
    QLineEdit* user_;
    QLineEdit* password_;
    QCheckBox* pasv_;
    QToolButton* save_;
    QPushButton* clear_;
    QPushButton* connect_;
    QPushButton* cancel_;
    bool connecting_ = false;
    bool siteSaved_ = false;
    bool optionsSaved_ = false;
};
