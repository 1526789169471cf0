#pragma once
// The question about a server certificate this computer does not trust: what
// the certificate says of itself, why the check failed, and whether to go on
// once, for good, or not at all.
#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

// What the window shows, as texts ready to read.
struct CertificateFacts {
    QString host;     // the server as the site names it
    QString problem;  // why the check failed, one sentence
    QString subject, issuer;
    QString validFrom, validUntil;
    QString fingerprint;  // SHA-256, hex pairs joined by ':'
};

class TForm16 : public QDialog {
    Q_OBJECT
public:
    // Also the dialog's result codes; closing the window is Cancel.
    enum Answer { Cancel = QDialog::Rejected, TrustOnce = QDialog::Accepted, TrustAlways };

    // quick: no saved site stands behind the page, so "Trust always" lasts
    // until the page is closed; the window says so.
    TForm16(const CertificateFacts& facts, bool quick, QWidget* parent = nullptr);
    ~TForm16() override;

    // Creates the window, runs it modally, destroys it.
    static Answer Ask(QWidget* parent, const CertificateFacts& facts, bool quick);

    QLineEdit* problemEdit() const { return problem_; }
    QLineEdit* subjectEdit() const { return subject_; }
    QLineEdit* issuerEdit() const { return issuer_; }
    QLineEdit* validFromEdit() const { return validFrom_; }
    QLineEdit* validUntilEdit() const { return validUntil_; }
    QLineEdit* fingerprintEdit() const { return fingerprint_; }
    QLabel* quickNote() const { return quickNote_; }
    QPushButton* trustOnceButton() const { return once_; }
    QPushButton* trustAlwaysButton() const { return always_; }
    QPushButton* cancelButton() const { return cancel_; }

private:
    QLineEdit* problem_;
    QLineEdit* subject_;
    QLineEdit* issuer_;
    QLineEdit* validFrom_;
    QLineEdit* validUntil_;
    QLineEdit* fingerprint_;
    QLabel* quickNote_ = nullptr;
    QPushButton* once_;
    QPushButton* always_;
    QPushButton* cancel_;
};
