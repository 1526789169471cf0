#include "dialogs/socks_editor.h"

#include "dialogs/options_dialog.h"
#include "platform/ui/dialog_service.h"
#include "store/table.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QVBoxLayout>

using options::fromBytes;
using options::toBytes;

TForm7::TForm7(store::Tdm& dm, QWidget* parent) : QDialog(parent), dm_(dm) {
    setWindowTitle(QStringLiteral("Add Socks"));

    edName = new QLineEdit;
    edHost = new QLineEdit;
    sePort = new options::LenientSpinBox;
    sePort->setRange(0, 65535);
    sePort->setValue(1080);
    cbVersion = new QComboBox;
    cbVersion->setEditable(false);
    cbVersion->addItems({QStringLiteral("NoSocks"), QStringLiteral("Socks4"),
                         QStringLiteral("Socks4A"), QStringLiteral("Socks5")});
    cbVersion->setCurrentIndex(0);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Name"), edName);
    form->addRow(QStringLiteral("Host"), edHost);
    form->addRow(QStringLiteral("Port"), sePort);
    form->addRow(QStringLiteral("Socks Version"), cbVersion);

    gbLogin = new QGroupBox(QStringLiteral("Login"));
    gbLogin->setCheckable(true);
    edUser = new QLineEdit;
    edPass = new QLineEdit;  // shown in clear on purpose
    QPalette pal = edUser->palette();
    pal.setColor(QPalette::Disabled, QPalette::Base, QColor(0xC0, 0xC0, 0xC0));
    edUser->setPalette(pal);
    edPass->setPalette(pal);
    auto* login = new QFormLayout(gbLogin);
    login->addRow(QStringLiteral("Username"), edUser);
    login->addRow(QStringLiteral("Password"), edPass);
    // An unchecked group disables its boxes at once, also while loading a profile.
    gbLogin->setChecked(false);

    btOk = new QPushButton(QStringLiteral("&OK"));
    btCancel = new QPushButton(QStringLiteral("&Cancel"));
    btOk->setDefault(true);
    btCancel->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btOk);
    buttons->addWidget(btCancel);

    auto* top = new QVBoxLayout(this);
    top->addLayout(form);
    top->addWidget(gbLogin);
    top->addLayout(buttons);
    top->setSizeConstraint(QLayout::SetFixedSize);

    connect(btOk, &QPushButton::clicked, this, &TForm7::ok);
    connect(btCancel, &QPushButton::clicked, this, &TForm7::reject);
    edName->setFocus();
}

TForm7::~TForm7() = default;

void TForm7::setOpeningName(const QString& name) { openingName_ = toBytes(name); }

bool TForm7::nameTaken(const std::string& name) const {
    store::Table& t = dm_.socks();
    store::TableScope scope(t);
    return t.locate("name", {name});
}

void TForm7::ok() {
    const bool editing = windowTitle() == QLatin1String("Edit Socks");
    const QString name = edName->text();
    if (name.isEmpty()) {
        ui::warning(this, QStringLiteral("Please enter the name."));
        edName->setFocus();
        return;
    }
    if (edHost->text().isEmpty()) {
        ui::warning(this, QStringLiteral("Please enter the host."));
        edHost->setFocus();
        return;
    }
    // An untouched name keeps its stored bytes.
    const std::string nameBytes =
        editing && name == fromBytes(openingName_) ? openingName_ : toBytes(name);
    if ((!editing || nameBytes != openingName_) && nameTaken(nameBytes)) {
        ui::warning(this, QStringLiteral("The name %1 was existed, please re-enter.").arg(name));
        edName->setFocus();
        return;
    }

    sePort->interpretText();
    const QString host = edHost->text();
    const QString versionWord =
        cbVersion->currentIndex() >= 0 ? cbVersion->currentText() : QString();
    bool saved = false;
    {
        store::Table& t = dm_.socks();
        store::TableScope scope(t);
        bool write = !editing;
        if (!editing) {
            t.append();
        } else if (t.locate("name", {openingName_})) {
            t.edit();
            write = true;
        }
        if (write) {
            t.setString("name", nameBytes);
            t.setString("host", toBytes(host));
            t.setInteger("port", sePort->value());
            t.setBoolean("login", gbLogin->isChecked());
            t.setString("user", toBytes(edUser->text()));
            t.setString("pass", toBytes(edPass->text()));
            t.setInteger("sv", cbVersion->currentIndex());
            t.setString("svname", toBytes(versionWord));
            t.post();
            saved = true;
        }
    }
    if (saved) {
        if (!editing) {
            options::listAppendProfile(list_, nameBytes, host, versionWord);
            options::siteEditorAppend(siteEditor_, options::ProfileKind::Socks, name);
        } else {
            options::listRewriteSelected(list_, nameBytes, host, versionWord);
            options::siteEditorRename(siteEditor_, options::ProfileKind::Socks, fromBytes(openingName_), name);
        }
    }
    accept();
}
