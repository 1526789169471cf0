#include "dialogs/quick_connect.h"

#include "dialogs/site_editor.h"
#include "dialogs/store_messages.h"
#include "platform/ui/dialog_service.h"
#include "store/site_records.h"

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
std::string bytes(const QString& s) { return s.toUtf8().toStdString(); }
QString text(const std::string& s) { return QString::fromUtf8(s); }
}  // namespace

TForm15::TForm15(store::Tdm& dm, OpenPage openPage, QWidget* parent)
    : QDialog(parent), dm_(dm), openPage_(std::move(openPage)) {
    setObjectName(QStringLiteral("TForm15"));
    setWindowTitle(QStringLiteral("Quick connect"));

    server_ = new QComboBox;
    server_->setEditable(true);
    server_->setInsertPolicy(QComboBox::NoInsert);
    port_ = new TIntBox;
    port_->setValue(21);
    encryption_ = new TEncryptionBox(port_);
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
    grid->addWidget(label(QStringLiteral("Encryption"), encryption_), 2, 0);
    grid->addWidget(encryption_, 2, 1);
    grid->addWidget(label(QStringLiteral("Username"), user_), 3, 0);
    grid->addWidget(user_, 3, 1);
    grid->addWidget(label(QStringLiteral("Password"), password_), 4, 0);
    grid->addWidget(password_, 4, 1);
    grid->addWidget(pasv_, 5, 0, 1, 3);
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

TForm15::~TForm15() = default;

TForm15::Outcome TForm15::Execute(QWidget* parent, store::Tdm& dm, OpenPage openPage) {
    TForm15 dialog(dm, std::move(openPage), parent);
    const int result = dialog.execModal();
    return {result, dialog.siteSaved_, dialog.optionsSaved_};
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
std::string TForm15::encryption() const { return encryption_->word(); }

store::QuickConnection TForm15::typed() const {
    store::QuickConnection q;
    q.ftp = bytes(address());
    q.user = bytes(user());
    q.pass = bytes(password());
    q.port = port();
    q.pasv = passive();
    q.encryption = encryption();
    return q;
}

void TForm15::FillHistory() {
    // Filling the list must not pick an entry: the box starts empty.
    const QSignalBlocker block(server_);
    const QString typed = server_->currentText();
    server_->clear();
    for (const std::string& a : store::quickAddresses(dm_)) server_->addItem(text(a));
    server_->setCurrentIndex(-1);
    server_->setEditText(typed);
}

void TForm15::onServerTextChanged(const QString& typed) {
    try {
        const auto q = store::findQuickConnection(dm_, bytes(typed));
        if (!q) return;
        user_->setText(text(q->user));
        password_->setText(text(q->pass));
        // A mode this version does not know leaves the box as it is.
        encryption_->loadWord(q->encryption);
        port_->setNumber(q->port);
        pasv_->setChecked(q->pasv);
    } catch (const std::exception& e) {
        qWarning("Quick connect: %s", e.what());
    }
}

void TForm15::onConnect() {
    // The page opening pumps messages; a second press meanwhile would open
    // the same page from inside the first call.
    if (connecting_) return;
    // A page without an address would retry for ever and be remembered.
    if (address().trimmed().isEmpty()) {
        ui::warning(this, QStringLiteral("Please enter the address of the FTP site."));
        server_->setFocus();
        return;
    }
    connecting_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{connecting_};
    // The page connects with what was typed; this window stays open until
    // the page is opened.
    const store::QuickConnection q = typed();
    try {
        if (openPage_) openPage_(q);
    } catch (const std::exception& e) {
        qWarning("Quick connect: %s", e.what());
        return;
    }
    try {
        store::recordQuickConnection(dm_, q);
    } catch (const std::exception& e) {
        // The page is open; only the history entry is missing.
        dialogs::reportUnsaved(this, dm_, e);
    }
    accept();
}

void TForm15::onClearHistory() {
    try {
        store::clearQuickConnections(dm_);
    } catch (const std::exception& e) {
        dialogs::reportUnsaved(this, dm_, e);
        return;
    }
    const QSignalBlocker block(server_);
    const QString typed = server_->currentText();
    server_->clear();
    server_->setEditText(typed);
}

void TForm15::onSaveSite() {
    if (address().isEmpty()) return;
    try {
        TForm4 editor(dm_, this);
        editor.addressEdit()->setText(address());
        // Before the port: what was typed there stays, whatever the mode proposes.
        editor.encryptionCombo()->setCurrentIndex(encryption_->currentIndex());
        editor.portBox()->setNumber(port());
        editor.userEdit()->setText(user());
        editor.passwordEdit()->setText(password());
        editor.passiveCheck()->setChecked(passive());
        editor.execModal();
        if (!editor.savedName().isEmpty()) siteSaved_ = true;
        if (editor.optionsSaved()) optionsSaved_ = true;
    } catch (const std::exception& e) {
        qWarning("Quick connect: %s", e.what());
    }
}
