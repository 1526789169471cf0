#include "dialogs/proxy_editor.h"

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

TForm5::TForm5(store::Tdm& dm, QWidget* parent) : QDialog(parent), dm_(dm) {
    setWindowTitle(QStringLiteral("Add Proxy"));

    edName = new QLineEdit;
    edServer = new QLineEdit;
    sePort = new options::LenientSpinBox;
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

bool TForm5::nameTaken(const std::string& name) const {
    store::Table& t = dm_.proxy();
    store::TableScope scope(t);
    return t.locate("name", {name});
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
    if ((!editing || nameBytes != openingName_) && nameTaken(nameBytes)) {
        ui::warning(this, QStringLiteral("The name %1 was existed, please re-enter.").arg(name));
        edName->setFocus();
        return;
    }

    sePort->interpretText();
    const QString server = edServer->text();
    const QString typeWord = cbType->currentIndex() >= 0 ? cbType->currentText() : QString();
    bool saved = false;
    {
        store::Table& t = dm_.proxy();
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
            t.setString("server", toBytes(server));
            t.setInteger("port", sePort->value());
            t.setBoolean("login", gbLogin->isChecked());
            t.setString("username", toBytes(edUsername->text()));
            t.setString("password", toBytes(edPassword->text()));
            t.setInteger("type", cbType->currentIndex());
            t.setString("typename", toBytes(typeWord));
            t.post();
            saved = true;
        }
    }
    if (saved) {
        if (!editing) {
            options::listAppendProfile(list_, nameBytes, server, typeWord);
            options::siteEditorAppend(siteEditor_, options::ProfileKind::Proxy, name);
        } else {
            options::listRewriteSelected(list_, nameBytes, server, typeWord);
            options::siteEditorRename(siteEditor_, options::ProfileKind::Proxy, fromBytes(openingName_), name);
        }
    }
    accept();
}
