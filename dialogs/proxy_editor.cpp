#include "dialogs/proxy_editor.h"

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

TForm5::TForm5(store::Tdm& dm, QWidget* parent) : QDialog(parent), dm_(dm) {
    setWindowTitle(QStringLiteral("Add Proxy"));

    edName = new QLineEdit;
    edServer = new QLineEdit;
    sePort = new dialogs::NumberBox;
    sePort->setRange(0, 65535);
    sePort->setValue(0);
    cbType = new QComboBox;
    cbType->setEditable(false);
    cbType->addItems({QStringLiteral("None"), QStringLiteral("UserSite"), QStringLiteral("Site"),
                      QStringLiteral("Open"), QStringLiteral("UserPass"),
                      QStringLiteral("Transparent")});
    cbType->setCurrentIndex(-1);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Name"), edName);
    form->addRow(QStringLiteral("Proxy Server"), edServer);
    form->addRow(QStringLiteral("Proxy Port"), sePort);
    form->addRow(QStringLiteral("Proxy Type"), cbType);

    gbLogin = new QGroupBox(QStringLiteral("Login"));
    gbLogin->setCheckable(true);
    edUsername = new QLineEdit;
    edPassword = new QLineEdit;  // shown in clear on purpose
    QPalette pal = edUsername->palette();
    pal.setColor(QPalette::Disabled, QPalette::Base, QColor(0xC0, 0xC0, 0xC0));
    edUsername->setPalette(pal);
    edPassword->setPalette(pal);
    auto* login = new QFormLayout(gbLogin);
    login->addRow(QStringLiteral("Username"), edUsername);
    login->addRow(QStringLiteral("Password"), edPassword);
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

    connect(btOk, &QPushButton::clicked, this, &TForm5::ok);
    connect(btCancel, &QPushButton::clicked, this, &TForm5::reject);
    edName->setFocus();
}

TForm5::~TForm5() = default;

void TForm5::setOpeningName(const QString& name) { openingName_ = toBytes(name); }

void TForm5::load(const store::ProxyRecord& p) {
    setOpeningName(p.name);
    edName->setText(fromBytes(p.name));
    edServer->setText(fromBytes(p.server));
    sePort->loadValue(p.port);
    gbLogin->setChecked(p.login);
    edUsername->setText(fromBytes(p.username));
    edPassword->setText(fromBytes(p.password));
    cbType->setCurrentIndex(p.type >= 0 && p.type < cbType->count() ? p.type : -1);
    loaded_ = p;
    shown_ = {edServer->text(), edUsername->text(), edPassword->text(), cbType->currentIndex()};
}

store::ProxyRecord TForm5::typed(const std::string& nameBytes) {
    const store::ProxyRecord was = loaded_.value_or(store::ProxyRecord{});
    store::ProxyRecord p;
    p.name = nameBytes;
    p.server = options::keptText(was.server, shown_.server, edServer->text());
    p.port = sePort->valueToStore();
    p.login = gbLogin->isChecked();
    p.username = options::keptText(was.username, shown_.username, edUsername->text());
    p.password = options::keptText(was.password, shown_.password, edPassword->text());
    if (loaded_ && cbType->currentIndex() == shown_.type) {
        // A stored kind the list cannot show stays what it was.
        p.type = was.type;
        p.typeName = was.typeName;
    } else {
        p.type = cbType->currentIndex();
        p.typeName = p.type >= 0 ? toBytes(cbType->currentText()) : std::string();
    }
    return p;
}

void TForm5::ok() {
    const bool editing = windowTitle() == QLatin1String("Edit Proxy");
    const QString name = edName->text();
    if (name.isEmpty()) {
        ui::warning(this, QStringLiteral("Please enter the name."));
        edName->setFocus();
        return;
    }
    if (edServer->text().isEmpty()) {
        ui::warning(this, QStringLiteral("Please enter the address of proxy."));
        edServer->setFocus();
        return;
    }
    // An untouched name keeps its stored bytes.
    const std::string nameBytes =
        editing && name == fromBytes(openingName_) ? openingName_ : toBytes(name);
    try {
        if ((!editing || nameBytes != openingName_) && store::findProxy(dm_, nameBytes)) {
            ui::warning(this, QStringLiteral("The name %1 was existed, please re-enter.").arg(name));
            edName->setFocus();
            return;
        }
        const store::ProxyRecord p = typed(nameBytes);
        const QString server = fromBytes(p.server);
        const QString typeWord = fromBytes(p.typeName);
        if (!editing) {
            store::appendProxy(dm_, p);
            options::listAppendProfile(list_, nameBytes, server, typeWord);
            options::siteEditorAppend(siteEditor_, options::ProfileKind::Proxy, name);
        } else if (store::updateProxy(dm_, openingName_, p)) {
            options::listRewriteSelected(list_, nameBytes, server, typeWord);
            options::siteEditorRename(siteEditor_, options::ProfileKind::Proxy, fromBytes(openingName_), name);
        }
    } catch (const std::exception& e) {
        // Nothing was saved; the editor stays open for another try.
        dialogs::reportUnsaved(this, dm_, e);
        return;
    }
    accept();
}
