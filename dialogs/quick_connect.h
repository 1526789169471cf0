#pragma once
// The quick-connect window: opens a browser page for an address that has no
// saved site and keeps every address used in the quickftp history.
#include <QDialog>
#include <QString>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QToolButton;
class TIntBox;

class TForm15 : public QDialog {
    Q_OBJECT
public:
    explicit TForm15(QWidget* parent = nullptr);
    ~TForm15() override;

    // Creates the window, runs it modally, destroys it.
    static int Execute(QWidget* parent);
    // Fills the history list, then runs this window modally.
    int execModal();
    // The window while it is open, else nullptr. A browser frame opened from
    // "C&onnect" reads its settings from it.
    static TForm15* current();

    // What the user typed.
    QString address() const;
    int port() const;
    QString user() const;
    QString password() const;
    bool passive() const;

    // Handlers.
    void FillHistory();
    void onServerTextChanged(const QString& text);
    void onConnect();
    void onClearHistory();
    void onSaveSite();

    QComboBox* serverCombo() const { return server_; }
    TIntBox* portBox() const { return port_; }
    QLineEdit* userEdit() const { return user_; }
    QLineEdit* passwordEdit() const { return password_; }
    QCheckBox* passiveCheck() const { return pasv_; }
    QToolButton* saveSiteButton() const { return save_; }
    QPushButton* clearHistoryButton() const { return clear_; }
    QPushButton* connectButton() const { return connect_; }
    QPushButton* cancelButton() const { return cancel_; }

private:
    void recordHistory(const QString& address);

    QComboBox* server_;
    TIntBox* port_;
    QLineEdit* user_;
    QLineEdit* password_;
    QCheckBox* pasv_;
    QToolButton* save_;
    QPushButton* clear_;
    QPushButton* connect_;
    QPushButton* cancel_;
    bool connecting_ = false;
    TForm15* previous_ = nullptr;
};
