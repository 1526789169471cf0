#include "dialogs/quick_connect.h"

#include "app/site_list_pane.h"
#include "dialogs/site_editor.h"
#include "platform/ui/dialog_service.h"
#include "store/table.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
TForm15* g_current = nullptr;

std::string bytes(const QString& s) { return s.toUtf8().toStdString(); }
QString text(const std::string& s) { return QString::fromUtf8(s); }
}  // namespace

TForm15::TForm15(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TForm15"));
    setWindowTitle(QStringLiteral("Quick connect"));
    previous_ = g_current;
    g_current = this;

    server_ = new QComboBox;
    server_->setEditable(true);
    server_->setInsertPolicy(QComboBox::NoInsert);
    port_ = new TIntBox;
    port_->setValue(21);
    user_ = new QLineEdit;
    password_ = new QLineEdit;
    pasv_ = new QCheckBox(QStringLiteral("Use passive transfer(PASV)"));
    pasv_->setChecked(true);
    save_ = new QToolButton;
    save_->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    save_->setToolTip(QStringLiteral("Save ftp site"));
    save_->setAccessibleName(QStringLiteral("Save ftp site"));
    clear_ = new QPushButton(QStringLiteral("Clear &history"));
    connect_ = new QPushButton(QStringLiteral("C&onnect"));
    cancel_ = new QPushButton(QStringLiteral("&Cancel"));
    // No default button: Enter in a box does not connect.
    for (QPushButton* b : {clear_, connect_, cancel_}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }

    auto label = [](const QString& caption, QWidget* buddy) {
        auto* l = new QLabel(caption);
        l->setBuddy(buddy);
        return l;
    };
    auto* grid = new QGridLayout;
    grid->addWidget(label(QStringLiteral("Ftp server"), server_), 0, 0);
    grid->addWidget(server_, 0, 1);
    grid->addWidget(save_, 0, 2);
    grid->addWidget(label(QStringLiteral("Port"), port_), 1, 0);
    grid->addWidget(port_, 1, 1);
    grid->addWidget(label(QStringLiteral("Username"), user_), 2, 0);
    grid->addWidget(user_, 2, 1);
    grid->addWidget(label(QStringLiteral("Password"), password_), 3, 0);
    grid->addWidget(password_, 3, 1);
    grid->addWidget(pasv_, 4, 0, 1, 3);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(clear_);
    buttons->addStretch(1);
    buttons->addWidget(connect_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    setMinimumWidth(360);

    connect(server_, &QComboBox::editTextChanged, this,
            [this](const QString& t) { onServerTextChanged(t); });
    connect(connect_, &QPushButton::clicked, this, [this] { onConnect(); });
    connect(clear_, &QPushButton::clicked, this, [this] { onClearHistory(); });
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(save_, &QToolButton::clicked, this, [this] { onSaveSite(); });

    server_->setFocus();
}

TForm15::~TForm15() {
    if (g_current == this) g_current = previous_;
}

TForm15* TForm15::current() { return g_current; }

int TForm15::Execute(QWidget* parent) {
    TForm15 dialog(parent);
    return dialog.execModal();
}

int TForm15::execModal() {
    try {
        FillHistory();
    } catch (const std::exception& e) {
        qWarning("Quick connect: %s", e.what());
    }
    return ui::runModal(*this);
}

QString TForm15::address() const { return server_->currentText(); }
int TForm15::port() const { return port_->number(); }
QString TForm15::user() const { return user_->text(); }
QString TForm15::password() const { return password_->text(); }
bool TForm15::passive() const { return pasv_->isChecked(); }

void TForm15::FillHistory() {
    // Filling the list must not pick an entry: the box starts empty.
    const QSignalBlocker block(server_);
    const QString typed = server_->currentText();
    server_->clear();
    store::TableScope t(sites::dataModule().quickftp());
    for (t->first(); !t->eof(); t->next()) server_->addItem(text(t->asString("ftp")));
    server_->setCurrentIndex(-1);
    server_->setEditText(typed);
}

void TForm15::onServerTextChanged(const QString& typed) {
    try {
        store::TableScope t(sites::dataModule().quickftp());
        if (!t->locate("ftp", {bytes(typed)})) return;
        user_->setText(text(t->asString("user")));
        password_->setText(text(t->asString("pass")));
        port_->setNumber(t->asInteger("port"));
        pasv_->setChecked(t->asBoolean("pasv"));
    } catch (const std::exception& e) {
        qWarning("Quick connect: %s", e.what());
    }
}

void TForm15::onConnect() {
    // The page opening pumps messages; a second press meanwhile would open
    // the same page from inside the first call.
    if (connecting_) return;
    connecting_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{connecting_};
    try {
        const QString addr = address();
        sites::openBrowserPage(addr, true);
        recordHistory(addr);
        accept();
    } catch (const std::exception& e) {
        qWarning("Quick connect: %s", e.what());
    }
}

void TForm15::recordHistory(const QString& addr) {
    store::TableScope t(sites::dataModule().quickftp());
    if (t->locate("ftp", {bytes(addr)}))
        t->edit();
    else
        t->insert();
    t->setString("ftp", bytes(addr));
    t->setString("user", bytes(user()));
    t->setString("pass", bytes(password()));
    t->setInteger("port", port());
    t->setBoolean("pasv", passive());
    t->post();
}

void TForm15::onClearHistory() {
    try {
        {
            store::TableScope t(sites::dataModule().quickftp());
            t->empty();
        }
        const QSignalBlocker block(server_);
        const QString typed = server_->currentText();
        server_->clear();
        server_->setEditText(typed);
    } catch (const std::exception& e) {
        qWarning("Quick connect: %s", e.what());
    }
}

void TForm15::onSaveSite() {
    if (address().isEmpty()) return;
    try {
        TForm4 editor(this);
        editor.addressEdit()->setText(address());
        editor.portBox()->setNumber(port());
        editor.userEdit()->setText(user());
        editor.passwordEdit()->setText(password());
        editor.passiveCheck()->setChecked(passive());
        editor.execModal();
    } catch (const std::exception& e) {
        qWarning("Quick connect: %s", e.what());
    }
}
