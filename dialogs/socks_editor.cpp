#include "dialogs/socks_editor.h"

#include "dialogs/options_dialog.h"
#include "dialogs/store_messages.h"
#include "platform/ui/dialog_service.h"

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
    sePort = new dialogs::NumberBox;
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

void TForm7::load(const store::SocksRecord& p) {
    setOpeningName(p.name);
    edName->setText(fromBytes(p.name));
    edHost->setText(fromBytes(p.host));
    sePort->loadValue(p.port);
    gbLogin->setChecked(p.login);
    edUser->setText(fromBytes(p.user));
    edPass->setText(fromBytes(p.pass));
    cbVersion->setCurrentIndex(p.sv >= 0 && p.sv < cbVersion->count() ? p.sv : -1);
    loaded_ = p;
    shown_ = {edHost->text(), edUser->text(), edPass->text(), cbVersion->currentIndex()};
}

store::SocksRecord TForm7::typed(const std::string& nameBytes) {
    const store::SocksRecord was = loaded_.value_or(store::SocksRecord{});
    store::SocksRecord p;
    p.name = nameBytes;
    p.host = options::keptText(was.host, shown_.host, edHost->text());
    p.port = sePort->valueToStore();
    p.login = gbLogin->isChecked();
    p.user = options::keptText(was.user, shown_.user, edUser->text());
    p.pass = options::keptText(was.pass, shown_.pass, edPass->text());
    if (loaded_ && cbVersion->currentIndex() == shown_.sv) {
        // A stored version the list cannot show stays what it was.
        p.sv = was.sv;
        p.svName = was.svName;
    } else {
        p.sv = cbVersion->currentIndex();
        p.svName = p.sv >= 0 ? toBytes(cbVersion->currentText()) : std::string();
    }
    return p;
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
    try {
        if ((!editing || nameBytes != openingName_) && store::findSocks(dm_, nameBytes)) {
            ui::warning(this, QStringLiteral("The name %1 was existed, please re-enter.").arg(name));
            edName->setFocus();
            return;
        }
        const store::SocksRecord p = typed(nameBytes);
        const QString host = fromBytes(p.host);
        const QString versionWord = fromBytes(p.svName);
        if (!editing) {
            store::appendSocks(dm_, p);
            options::listAppendProfile(list_, nameBytes, host, versionWord);
            options::siteEditorAppend(siteEditor_, options::ProfileKind::Socks, name);
        } else if (store::updateSocks(dm_, openingName_, p)) {
            options::listRewriteSelected(list_, nameBytes, host, versionWord);
            options::siteEditorRename(siteEditor_, options::ProfileKind::Socks, fromBytes(openingName_), name);
        }
    } catch (const std::exception& e) {
        // Nothing was saved; the editor stays open for another try.
        dialogs::reportUnsaved(this, dm_, e);
        return;
    }
    accept();
}
