#include "dialogs/site_editor.h"

#include "dialogs/options_dialog.h"
#include "dialogs/store_messages.h"
#include "platform/ui/app_paths.h"
#include "platform/ui/dialog_service.h"
#include "store/site_records.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>


const QString TForm4::kNewCaption = QStringLiteral("New FTP Site");
const QString TForm4::kEditCaption = QStringLiteral("Edit FTP Site");

namespace {

// The password a new site starts with, as anonymous servers ask for an address.
const char* const kPlaceholderPassword = "anonymous@ostrafen.example";

std::string bytes(const QString& s) { return s.toUtf8().toStdString(); }
QString text(const std::string& s) { return QString::fromUtf8(s); }

QString now() {
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QLabel* buddyLabel(const QString& caption, QWidget* buddy) {
    auto* l = new QLabel(caption);
    l->setBuddy(buddy);
    return l;
}

}  // namespace

TEncryptionBox::TEncryptionBox(TIntBox* port, QWidget* parent) : QComboBox(parent), port_(port) {
    setEditable(false);
    addItems(texts());
    setCurrentIndex(0);
    connect(this, &QComboBox::currentIndexChanged, this, [this](int i) { choose(i); });
}

QStringList TEncryptionBox::texts() {
    return {QStringLiteral("Use explicit FTP over TLS if available"), QStringLiteral("Require explicit FTP over TLS"),
            QStringLiteral("Require implicit FTP over TLS"), QStringLiteral("Only use plain FTP (insecure)")};
}

void TEncryptionBox::choose(int index) {
    const int implicit = static_cast<int>(store::Encryption::Implicit);
    // Only a port the user left at the other mode's usual number moves.
    if (port_ && index == implicit && port_->number() == 21)
        port_->setNumber(990);
    else if (port_ && previous_ == implicit && index != implicit && port_->number() == 990)
        port_->setNumber(21);
    previous_ = index;
}

bool TEncryptionBox::loadWord(const std::string& word) {
    const std::optional<store::Encryption> mode = store::encryptionFromWord(word);
    if (!mode) return false;
    const QSignalBlocker block(this);
    setCurrentIndex(static_cast<int>(*mode));
    previous_ = currentIndex();
    return true;
}

void TEncryptionBox::loadNothing() {
    const QSignalBlocker block(this);
    setCurrentIndex(-1);
    previous_ = -1;
}

std::string TEncryptionBox::word() const {
    const int i = currentIndex();
    return i < 0 ? std::string() : store::encryptionWord(static_cast<store::Encryption>(i));
}

TForm4::TForm4(store::Tdm& dm, QWidget* parent) : QDialog(parent), dm_(dm) {
    setObjectName(QStringLiteral("TForm4"));
    setWindowTitle(kNewCaption);

    name_ = new QLineEdit;
    name_->setObjectName(QStringLiteral("Name"));

    // "Login Information"
    loginPage_ = new QWidget;
    address_ = new QLineEdit;
    port_ = new TIntBox;
    port_->setValue(21);
    encryption_ = new TEncryptionBox(port_);
    user_ = new QLineEdit(QStringLiteral("anonymous"));
    password_ = new QLineEdit(QString::fromLatin1(kPlaceholderPassword));
    // Masked characters show as "*" whatever the style's default is.
    password_->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    viewPassword_ = new QCheckBox(QStringLiteral("View Password"));
    viewPassword_->setChecked(true);
    comment_ = new QPlainTextEdit;
    comment_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    comment_->setTabChangesFocus(true);
    defaultPath_ = new QLineEdit;
    browse_ = new QToolButton;
    browse_->setText(QStringLiteral("..."));
    browse_->setToolTip(QStringLiteral("Browse for the default local path"));
    browse_->setAccessibleName(browse_->toolTip());
    defaultPathRow_ = new QWidget;
    {
        auto* row = new QHBoxLayout(defaultPathRow_);
        row->setContentsMargins(0, 0, 0, 0);
        row->addWidget(buddyLabel(QStringLiteral("Default local path"), defaultPath_));
        row->addWidget(defaultPath_, 1);
        row->addWidget(browse_);
    }
    defaultPathRow_->hide();  // kept for the stored value only

    auto* login = new QGridLayout(loginPage_);
    login->addWidget(buddyLabel(QStringLiteral("FTP Address"), address_), 0, 0);
    login->addWidget(address_, 0, 1);
    login->addWidget(buddyLabel(QStringLiteral("Port"), port_), 0, 2);
    login->addWidget(port_, 0, 3);
    login->addWidget(buddyLabel(QStringLiteral("Encryption"), encryption_), 1, 0);
    login->addWidget(encryption_, 1, 1, 1, 3);
    login->addWidget(buddyLabel(QStringLiteral("UserName"), user_), 2, 0);
    login->addWidget(user_, 2, 1, 1, 3);
    login->addWidget(buddyLabel(QStringLiteral("PassWord"), password_), 3, 0);
    login->addWidget(password_, 3, 1, 1, 2);
    login->addWidget(viewPassword_, 3, 3);
    login->addWidget(buddyLabel(QStringLiteral("Comment"), comment_), 4, 0, Qt::AlignTop);
    login->addWidget(comment_, 4, 1, 1, 3);
    login->addWidget(defaultPathRow_, 5, 0, 1, 4);

    // "Advance Option"
    advancePage_ = new QWidget;
    proxy_ = new QComboBox;
    proxy_->setEditable(false);
    socks_ = new QComboBox;
    socks_->setEditable(false);
    proxyOption_ = new QPushButton(QStringLiteral("Option..."));
    proxyOption_->setAccessibleName(QStringLiteral("Proxy options"));
    socksOption_ = new QPushButton(QStringLiteral("Option..."));
    socksOption_->setAccessibleName(QStringLiteral("Socks options"));
    certificate_ = new QLineEdit;
    certificate_->setReadOnly(true);
    certificate_->setPlaceholderText(QStringLiteral("None"));
    forget_ = new QPushButton(QStringLiteral("&Forget"));
    forget_->setAccessibleName(QStringLiteral("Forget the trusted certificate"));
    forget_->setToolTip(forget_->accessibleName());
    forget_->setEnabled(false);
    pasv_ = new QCheckBox(QStringLiteral("Use passive transffer(PASV)"));
    pasv_->setChecked(true);
    autoRefresh_ = new QCheckBox(QStringLiteral("Auto-refresh"));
    timeout_ = new TIntBox;
    timeout_->setValue(30);
    retries_ = new TIntBox;
    retries_->setValue(20);
    retryDelay_ = new TIntBox;
    retryDelay_->setValue(10);
    cnc_ = new QCheckBox(QStringLiteral("Create new connection when uploading/downloading"));
    maxc_ = new TIntBox(1, 10);
    maxc_->setValue(1);
    // Out-of-range text is pulled to the nearest bound when the box loses focus.
    maxc_->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    maxc_->setEnabled(false);
    maxcRow_ = new QWidget;
    {
        auto* row = new QHBoxLayout(maxcRow_);
        row->setContentsMargins(0, 0, 0, 0);
        row->addWidget(buddyLabel(QStringLiteral("Max simultaneous jobs"), maxc_));
        row->addWidget(maxc_);
        row->addStretch(1);
    }
    cnc_->hide();
    maxcRow_->hide();

    auto* adv = new QGridLayout(advancePage_);
    adv->addWidget(buddyLabel(QStringLiteral("Proxy"), proxy_), 0, 0);
    adv->addWidget(proxy_, 0, 1);
    adv->addWidget(proxyOption_, 0, 2);
    adv->addWidget(buddyLabel(QStringLiteral("Socks"), socks_), 1, 0);
    adv->addWidget(socks_, 1, 1);
    adv->addWidget(socksOption_, 1, 2);
    adv->addWidget(pasv_, 2, 0, 1, 3);
    adv->addWidget(autoRefresh_, 3, 0, 1, 3);
    auto secondsRow = [&](int r, const QString& caption, TIntBox* box, bool unit) {
        adv->addWidget(buddyLabel(caption, box), r, 0);
        adv->addWidget(box, r, 1);
        if (unit) adv->addWidget(new QLabel(QStringLiteral("second")), r, 2);
    };
    secondsRow(4, QStringLiteral("Timeout"), timeout_, true);
    secondsRow(5, QStringLiteral("Number of retries"), retries_, false);
    secondsRow(6, QStringLiteral("Retry Delay"), retryDelay_, true);
    adv->addWidget(buddyLabel(QStringLiteral("Trusted certificate"), certificate_), 7, 0);
    adv->addWidget(certificate_, 7, 1);
    adv->addWidget(forget_, 7, 2);
    adv->addWidget(cnc_, 8, 0, 1, 3);
    adv->addWidget(maxcRow_, 9, 0, 1, 3);
    adv->setRowStretch(10, 1);

    pages_ = new QTabWidget;
    pages_->addTab(loginPage_, QStringLiteral("Login Information"));
    pages_->addTab(advancePage_, QStringLiteral("Advance Option"));

    help_ = new QPushButton(QStringLiteral("&Help"));
    ok_ = new QPushButton(QStringLiteral("&OK"));
    cancel_ = new QPushButton(QStringLiteral("&Cancel"));
    help_->setAutoDefault(false);
    cancel_->setAutoDefault(false);
    ok_->setDefault(true);

    auto* top = new QHBoxLayout;
    top->addWidget(buddyLabel(QStringLiteral("Name"), name_));
    top->addWidget(name_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(help_);
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(pages_);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    setMinimumWidth(420);

    connect(viewPassword_, &QCheckBox::toggled, this, [this] { applyPasswordView(); });
    connect(cnc_, &QCheckBox::toggled, maxc_, &QWidget::setEnabled);
    connect(ok_, &QPushButton::clicked, this, [this] { onOk(); });
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(help_, &QPushButton::clicked, this, [this] { onHelp(); });
    connect(proxyOption_, &QPushButton::clicked, this, [this] { onProxyOption(); });
    connect(socksOption_, &QPushButton::clicked, this, [this] { onSocksOption(); });
    connect(browse_, &QToolButton::clicked, this, [this] { onBrowseFolder(); });
    connect(forget_, &QPushButton::clicked, this, [this] { onForgetCertificate(); });

    applyPasswordView();
    pages_->setCurrentWidget(loginPage_);
    name_->setFocus();
}

TForm4::~TForm4() = default;

void TForm4::onForgetCertificate() {
    certificate_->clear();
    certificateForgotten_ = true;
    forget_->setEnabled(false);
}

void TForm4::applyPasswordView() {
    password_->setEchoMode(viewPassword_->isChecked() ? QLineEdit::Normal : QLineEdit::Password);
}

TForm4::Outcome TForm4::NewSite(QWidget* parent, store::Tdm& dm) {
    TForm4 editor(dm, parent);
    const int result = editor.execModal();
    return {result, editor.savedName(), editor.optionsSaved()};
}

TForm4::Outcome TForm4::EditSite(QWidget* parent, store::Tdm& dm, const QString& name) {
    if (!store::siteExists(dm, bytes(name))) return {};
    TForm4 editor(dm, parent);
    editor.FillProfileLists();
    if (!editor.LoadSite(name)) return {};
    const int result = editor.execModal();
    return {result, editor.savedName(), editor.optionsSaved()};
}

int TForm4::execModal() {
    if (isNewSite() && !listsFilled_) {
        try {
            FillProfileLists();
        } catch (const std::exception& e) {
            // The profiles cannot be read: "None" only; saving will say why it fails.
            qWarning("Site editor: %s", e.what());
        }
    }
    return ui::runModal(*this);
}

void TForm4::FillProfileLists() {
    auto fill = [](QComboBox* box, const std::vector<std::string>& names) {
        box->clear();
        box->addItem(QStringLiteral("None"));
        for (const std::string& n : names) box->addItem(text(n));
        box->setCurrentIndex(0);
    };
    fill(proxy_, store::proxyNames(dm_));
    fill(socks_, store::socksNames(dm_));
    listsFilled_ = true;
}

bool TForm4::LoadSite(const QString& name) {
    const std::optional<store::SiteRecord> site = store::findSite(dm_, bytes(name));
    if (!site) return false;
    const store::SiteRecord& t = *site;
    openingName_ = name;
    setWindowTitle(kEditCaption);
    address_->setText(text(t.address));
    port_->loadValue(t.port);
    // A mode from a newer version shows as nothing and is kept unless changed.
    if (!encryption_->loadWord(t.encryption)) encryption_->loadNothing();
    certificate_->setText(text(t.certfp));
    certificate_->setCursorPosition(0);
    forget_->setEnabled(!t.certfp.empty());
    user_->setText(text(t.username));
    password_->setText(text(t.password));
    name_->setText(text(t.name));
    comment_->setPlainText(text(t.comment));
    timeout_->loadValue(t.timeout);
    retries_->loadValue(t.nor);
    retryDelay_->loadValue(t.rd);
    viewPassword_->setChecked(t.vp);
    defaultPath_->setText(text(t.defaultpath));
    pasv_->setChecked(t.pasv);
    autoRefresh_->setChecked(t.autorefresh);
    cnc_->setChecked(t.cnc);
    maxc_->loadValue(t.maxc);
    auto pick = [](QComboBox* box, const QString& value) {
        const int i = box->findText(value, Qt::MatchExactly | Qt::MatchCaseSensitive);
        // A profile removed or renamed since leaves "None" selected.
        box->setCurrentIndex(i >= 0 ? i : 0);
    };
    pick(proxy_, text(t.proxy));
    pick(socks_, text(t.socks));
    applyPasswordView();
    loaded_ = t;
    shown_ = {name_->text(),     address_->text(),          user_->text(),
              password_->text(), comment_->toPlainText(), defaultPath_->text(),
              encryption_->currentIndex()};
    return true;
}

store::SiteRecord TForm4::typedSite(const QString& stamp) {
    const store::SiteRecord stored = loaded_.value_or(store::SiteRecord{});
    store::SiteRecord site;
    site.name = options::keptText(stored.name, shown_.name, name_->text());
    site.address = options::keptText(stored.address, shown_.address, address_->text());
    site.port = port_->valueToStore();
    site.username = options::keptText(stored.username, shown_.username, user_->text());
    site.password = options::keptText(stored.password, shown_.password, password_->text());
    site.cdate = bytes(stamp);
    site.zdate = bytes(stamp);
    QString comment = comment_->toPlainText();
    // The box shows line breaks as LF; a comment stored with CR LF keeps them.
    if (comment != shown_.comment && stored.comment.find("\r\n") != std::string::npos)
        comment.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    site.comment = options::keptText(stored.comment, shown_.comment, comment);
    site.timeout = timeout_->valueToStore();
    site.nor = retries_->valueToStore();
    site.rd = retryDelay_->valueToStore();
    site.vp = viewPassword_->isChecked();
    site.defaultpath = options::keptText(stored.defaultpath, shown_.defaultpath, defaultPath_->text());
    site.proxy = bytes(proxy_->currentText().isEmpty() ? QStringLiteral("None") : proxy_->currentText());
    site.socks = bytes(socks_->currentText().isEmpty() ? QStringLiteral("None") : socks_->currentText());
    site.pasv = pasv_->isChecked();
    site.autorefresh = autoRefresh_->isChecked();
    site.cnc = cnc_->isChecked();
    site.maxc = maxc_->valueToStore();
    // A row from before the setting stays one (plain FTP as it always spoke)
    // until another mode is chosen.
    site.encryption = loaded_ && encryption_->currentIndex() == shown_.encryption ? stored.encryption
                                                                                   : encryption_->word();
    site.certfp = certificateForgotten_ ? std::string() : stored.certfp;
    return site;
}

bool TForm4::nameTaken(const QString& name) { return store::siteExists(dm_, bytes(name)); }

void TForm4::onOk() {
    try {
        if (name_->text().isEmpty()) {
            ui::warning(this, QStringLiteral("Please enter name."));
            pages_->setCurrentWidget(loginPage_);
            name_->setFocus();
            return;
        }
        if (address_->text().isEmpty()) {
            ui::warning(this, QStringLiteral("Please enter the address of the FTP site."));
            pages_->setCurrentWidget(loginPage_);
            address_->setFocus();
            return;
        }
        const bool isNew = isNewSite();
        const QString newName = name_->text();
        if ((isNew || newName != openingName_) && nameTaken(newName)) {
            ui::warning(this, QStringLiteral("The name %1 was existed, please re-enter.").arg(newName));
            name_->setFocus();
            return;
        }

        store::SiteRecord site = typedSite(now());
        if (!isNew && !certificateForgotten_) {
            // A page may have trusted a certificate for good while the editor was open.
            if (const auto current = store::findSite(dm_, loaded_ ? loaded_->name : bytes(openingName_)))
                site.certfp = current->certfp;
        }
        if (isNew) {
            store::appendSite(dm_, site);
            savedName_ = newName;
        } else if (store::updateSite(dm_, loaded_ ? loaded_->name : bytes(openingName_), site)) {
            savedName_ = newName;
        }
        // A site deleted elsewhere meanwhile has nothing to change.
        accept();
    } catch (const std::exception& e) {
        // Nothing was saved: say so, and keep the editor open for another try.
        dialogs::reportUnsaved(this, dm_, e);
    }
}

void TForm4::onHelp() {
    ui::DialogService::instance().showHelp(this, ui::dataFile(QStringLiteral("Ostrafen.hlp")),
                                           QStringLiteral("Overview"));
}

void TForm4::onProxyOption() {
    if (TForm2::Execute(this, dm_, TForm2::PageProxy, this) == QDialog::Accepted) optionsSaved_ = true;
}

void TForm4::onSocksOption() {
    if (TForm2::Execute(this, dm_, TForm2::PageSocks, this) == QDialog::Accepted) optionsSaved_ = true;
}

void TForm4::onBrowseFolder() {
    const auto folder = ui::DialogService::instance().browseFolder(
        this, QStringLiteral("Default local path"), defaultPath_->text());
    if (folder) defaultPath_->setText(QDir::toNativeSeparators(*folder));
}
