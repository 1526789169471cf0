#include "tasks/item_editor.h"

#include "platform/ui/dialog_service.h"

#include <QDir>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

TForm14::TForm14(QWidget* parent) : QDialog(parent, Qt::Tool) {
    setWindowTitle(QStringLiteral("Edit"));

    edLocal = new QLineEdit;
    edLocal->setMinimumWidth(320);
    btBrowse = new QToolButton;
    btBrowse->setText(QStringLiteral("..."));
    btBrowse->setToolTip(QStringLiteral("Browse for folder"));
    btBrowse->setAccessibleName(QStringLiteral("Browse for folder"));
    edFtp = new QLineEdit(QStringLiteral("/"));
    // A box the user may not change is drawn silver.
    QPalette pal = edLocal->palette();
    pal.setColor(QPalette::Disabled, QPalette::Base, QColor(0xC0, 0xC0, 0xC0));
    edLocal->setPalette(pal);
    edFtp->setPalette(pal);

    auto* localRow = new QHBoxLayout;
    localRow->addWidget(edLocal, 1);
    localRow->addWidget(btBrowse);
    auto* localLabel = new QLabel(QStringLiteral("Local :"));
    localLabel->setBuddy(edLocal);
    auto* ftpLabel = new QLabel(QStringLiteral("Ftp path"));
    ftpLabel->setBuddy(edFtp);
    auto* form = new QFormLayout;
    form->addRow(localLabel, localRow);
    form->addRow(ftpLabel, edFtp);

    btApply = new QPushButton(QStringLiteral("&Apply"));
    btCancel = new QPushButton(QStringLiteral("&Cancel"));
    btApply->setDefault(true);
    btCancel->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btApply);
    buttons->addWidget(btCancel);

    auto* top = new QVBoxLayout(this);
    top->addLayout(form);
    top->addLayout(buttons);
    top->setSizeConstraint(QLayout::SetFixedSize);

    connect(btBrowse, &QToolButton::clicked, this, &TForm14::browse);
    connect(btApply, &QPushButton::clicked, this, &TForm14::accept);
    connect(btCancel, &QPushButton::clicked, this, &TForm14::reject);
    connect(edLocal, &QLineEdit::textChanged, this, &TForm14::updateApply);
    connect(edFtp, &QLineEdit::textChanged, this, &TForm14::updateApply);
    updateApply();
}

TForm14::~TForm14() = default;

void TForm14::setItem(const QString& local, const QString& ftp, bool download) {
    edLocal->setText(local);
    edFtp->setText(ftp);
    edLocal->setEnabled(download);
    btBrowse->setEnabled(download);
    edFtp->setEnabled(!download);
    (download ? edLocal : edFtp)->setFocus();
}

void TForm14::browse() {
    const auto folder =
        ui::DialogService::instance().browseFolder(this, QStringLiteral("Local :"), edLocal->text());
    if (folder) edLocal->setText(QDir::toNativeSeparators(*folder));
}

// An item needs both folders: an empty local folder would make a download
// land wherever the program happens to run.
void TForm14::updateApply() {
    btApply->setEnabled(!edFtp->text().isEmpty() && !edLocal->text().isEmpty());
}
