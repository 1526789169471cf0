#include "dialogs/certificate_dialog.h"

#include "platform/ui/dialog_service.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TForm16::TForm16(const CertificateFacts& facts, bool quick, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TForm16"));
    setWindowTitle(QStringLiteral("Server certificate"));

    auto* intro = new QLabel(
        QStringLiteral("The server %1 presented a certificate that could not be verified. Someone may be "
                       "posing as the server: go on only if you know this certificate is the server's own.")
            .arg(facts.host));
    intro->setWordWrap(true);

    // Read-only boxes rather than labels: each can be selected, copied and
    // read out under its caption.
    auto* grid = new QGridLayout;
    int row = 0;
    auto fact = [&](const QString& caption, const QString& value) {
        auto* box = new QLineEdit(value);
        box->setReadOnly(true);
        box->setCursorPosition(0);
        box->setMinimumWidth(420);
        auto* label = new QLabel(caption);
        label->setBuddy(box);
        grid->addWidget(label, row, 0);
        grid->addWidget(box, row, 1);
        ++row;
        return box;
    };
    problem_ = fact(QStringLiteral("Reason"), facts.problem);
    subject_ = fact(QStringLiteral("Subject"), facts.subject);
    issuer_ = fact(QStringLiteral("Issuer"), facts.issuer);
    validFrom_ = fact(QStringLiteral("Valid from"), facts.validFrom);
    validUntil_ = fact(QStringLiteral("Valid until"), facts.validUntil);
    fingerprint_ = fact(QStringLiteral("SHA-256 fingerprint"), facts.fingerprint);

    once_ = new QPushButton(QStringLiteral("Trust &once"));
    always_ = new QPushButton(QStringLiteral("Trust &always"));
    cancel_ = new QPushButton(QStringLiteral("&Cancel"));
    // Enter must not trust anything by accident.
    once_->setAutoDefault(false);
    always_->setAutoDefault(false);
    cancel_->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(once_);
    buttons->addWidget(always_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(grid);
    if (quick) {
        quickNote_ = new QLabel(QStringLiteral(
            "This is a quick connection: \"Trust always\" trusts the certificate until this page is closed."));
        quickNote_->setWordWrap(true);
        layout->addWidget(quickNote_);
    }
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(once_, &QPushButton::clicked, this, [this] { done(TrustOnce); });
    connect(always_, &QPushButton::clicked, this, [this] { done(TrustAlways); });
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    cancel_->setFocus();
}

TForm16::~TForm16() = default;

TForm16::Answer TForm16::Ask(QWidget* parent, const CertificateFacts& facts, bool quick) {
    TForm16 dialog(facts, quick, parent);
    const int r = ui::runModal(dialog);
    return r == TrustOnce || r == TrustAlways ? static_cast<Answer>(r) : Cancel;
}
