#pragma once
// The site editor: creates an ftpsite row or changes one. Its caption is its
// mode ("New FTP Site" or "Edit FTP Site").
#include "dialogs/number_box.h"
#include "store/site_records.h"

#include <QComboBox>
#include <QDialog>
#include <QString>
#include <QStringList>

#include <optional>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QToolButton;

namespace store {
class Tdm;
}

// The integer boxes of the site and quick-connect windows.
class TIntBox : public dialogs::NumberBox {
    Q_OBJECT
public:
    // Without range the box takes any 32-bit integer.
    explicit TIntBox(QWidget* parent = nullptr) : NumberBox(parent) {}
    TIntBox(int minimum, int maximum, QWidget* parent = nullptr) : NumberBox(minimum, maximum, parent) {}

    // The number the box holds now, from its text.
    int number() const { return value(); }
    void setNumber(int v) { setValue(v); }
};

// The "Encryption" drop-down of the site and quick-connect windows: the modes
// in the order of store::Encryption. Choosing implicit TLS moves a port still
// at 21 to 990 (where such servers listen), and leaving it moves 990 back.
class TEncryptionBox : public QComboBox {
    Q_OBJECT
public:
    explicit TEncryptionBox(TIntBox* port, QWidget* parent = nullptr);
    // The four texts, in order.
    static QStringList texts();
    // Shows a stored word, leaving the port alone; false (the box keeps what
    // it showed) for a word this version does not know.
    bool loadWord(const std::string& word);
    // Shows nothing, leaving the port alone.
    void loadNothing();
    // The word of the mode shown; empty when none is.
    std::string word() const;

private:
    void choose(int index);
    TIntBox* port_;
    int previous_ = 0;
};

class TForm4 : public QDialog {
    Q_OBJECT
public:
    static const QString kNewCaption;   // "New FTP Site"
    static const QString kEditCaption;  // "Edit FTP Site"

    explicit TForm4(store::Tdm& dm, QWidget* parent = nullptr);
    ~TForm4() override;

    // What an editor's opener applies afterwards: the site list shows the
    // table again, pages follow a new name, frames take saved options.
    struct Outcome {
        int result = QDialog::Rejected;
        QString savedName;          // the name the site was saved under; empty when nothing was saved
        bool optionsSaved = false;  // "Option..." saved the global options
    };
    // Opens an editor for a new site, modally.
    static Outcome NewSite(QWidget* parent, store::Tdm& dm);
    // Opens the editor on the site called `name`; does nothing when there is none.
    static Outcome EditSite(QWidget* parent, store::Tdm& dm, const QString& name);
    // Runs this editor modally; a new-site editor first fills its profile lists.
    int execModal();
    const QString& savedName() const { return savedName_; }
    bool optionsSaved() const { return optionsSaved_; }

    bool isNewSite() const { return windowTitle() == kNewCaption; }
    const QString& openingName() const { return openingName_; }

    // "None" and the names of the proxy and socks rows, in table order.
    void FillProfileLists();
    // Puts the row called `name` into the controls, edit mode; false when none.
    bool LoadSite(const QString& name);

    // The "&OK" handling: checks, writes, closes.
    void onOk();
    void onHelp();
    void onProxyOption();
    void onSocksOption();
    void onBrowseFolder();

    // Controls.
    QTabWidget* pages() const { return pages_; }
    QWidget* loginPage() const { return loginPage_; }
    QWidget* advancePage() const { return advancePage_; }
    QLineEdit* nameEdit() const { return name_; }
    QLineEdit* addressEdit() const { return address_; }
    TIntBox* portBox() const { return port_; }
    QLineEdit* userEdit() const { return user_; }
    QLineEdit* passwordEdit() const { return password_; }
    QCheckBox* viewPasswordCheck() const { return viewPassword_; }
    QPlainTextEdit* commentEdit() const { return comment_; }
    QLineEdit* defaultPathEdit() const { return defaultPath_; }
    QComboBox* proxyCombo() const { return proxy_; }
    QComboBox* socksCombo() const { return socks_; }
    TEncryptionBox* encryptionCombo() const { return encryption_; }
    QLineEdit* certificateEdit() const { return certificate_; }
    QPushButton* forgetCertificateButton() const { return forget_; }
    QCheckBox* passiveCheck() const { return pasv_; }
    QCheckBox* autoRefreshCheck() const { return autoRefresh_; }
    TIntBox* timeoutBox() const { return timeout_; }
    TIntBox* retriesBox() const { return retries_; }
    TIntBox* retryDelayBox() const { return retryDelay_; }
    QCheckBox* newConnectionCheck() const { return cnc_; }
    TIntBox* maxJobsBox() const { return maxc_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }
    QPushButton* helpButton() const { return help_; }
    QPushButton* proxyOptionButton() const { return proxyOption_; }
    QPushButton* socksOptionButton() const { return socksOption_; }

private:
    void applyPasswordView();
    void onForgetCertificate();
    bool nameTaken(const QString& name);
    // The site as the controls would store it now.
    store::SiteRecord typedSite(const QString& stamp);

    store::Tdm& dm_;
    QString openingName_;
    // The edited row as it was read, and its texts as the controls showed
    // them then: what the user left alone is written back byte for byte.
    std::optional<store::SiteRecord> loaded_;
    struct Shown {
        QString name, address, username, password, comment, defaultpath;
        int encryption = -1;
    } shown_;
    bool certificateForgotten_ = false;
    QString savedName_;
    bool listsFilled_ = false;
    bool optionsSaved_ = false;

    QTabWidget* pages_;
    QWidget* loginPage_;
    QWidget* advancePage_;
    QLineEdit* name_;
    QLineEdit* address_;
    TIntBox* port_;
    TEncryptionBox* encryption_;
    QLineEdit* user_;
    QLineEdit* password_;
    QCheckBox* viewPassword_;
    QPlainTextEdit* comment_;
    QWidget* defaultPathRow_;
    QLineEdit* defaultPath_;
    QToolButton* browse_;
    QComboBox* proxy_;
    QComboBox* socks_;
    QPushButton* proxyOption_;
    QPushButton* socksOption_;
    QLineEdit* certificate_;
    QPushButton* forget_;
    QCheckBox* pasv_;
    QCheckBox* autoRefresh_;
    TIntBox* timeout_;
    TIntBox* retries_;
    TIntBox* retryDelay_;
    QCheckBox* cnc_;
    QWidget* maxcRow_;
    TIntBox* maxc_;
    QPushButton* help_;
    QPushButton* ok_;
    QPushButton* cancel_;
};
