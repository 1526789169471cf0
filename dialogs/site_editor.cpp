#include "dialogs/site_editor.h"

#include "app/site_list_pane.h"
#include "platform/ui/app_paths.h"
#include "platform/ui/dialog_service.h"
#include "store/table.h"

#if __has_include("dialogs/options_dialog.h")
#include "dialogs/options_dialog.h"
#define OSTRAFEN_HAS_OPTIONS_DIALOG 1
#endif

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
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

const QString TForm4::kNewCaption = QStringLiteral("New FTP Site");
const QString TForm4::kEditCaption = QStringLiteral("Edit FTP Site");

namespace {

QList<TForm4*>& editors() {
    static QList<TForm4*> list;
    return list;
}

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

TIntBox::TIntBox(QWidget* parent) : QSpinBox(parent) {
    setRange(INT_MIN, INT_MAX);
    bounded_ = false;
}

TIntBox::TIntBox(int minimum, int maximum, QWidget* parent) : QSpinBox(parent) {
    setRange(minimum, maximum);
    bounded_ = true;
}

int TIntBox::number() const {
    const QString t = cleanText();
    bool ok = false;
    int v = locale().toInt(t, &ok);
    if (!ok) v = t.toInt(&ok);
    if (!ok) return bounded_ ? minimum() : 0;
    if (bounded_) v = std::clamp(v, minimum(), maximum());
    return v;
}

TForm4::TForm4(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TForm4"));
    setWindowTitle(kNewCaption);
    editors().append(this);

    name_ = new QLineEdit;
    name_->setObjectName(QStringLiteral("Name"));

    // "Login Information"
    loginPage_ = new QWidget;
    address_ = new QLineEdit;
    port_ = new TIntBox;
    port_->setValue(21);
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
    login->addWidget(buddyLabel(QStringLiteral("UserName"), user_), 1, 0);
    login->addWidget(user_, 1, 1, 1, 3);
    login->addWidget(buddyLabel(QStringLiteral("PassWord"), password_), 2, 0);
    login->addWidget(password_, 2, 1, 1, 2);
    login->addWidget(viewPassword_, 2, 3);
    login->addWidget(buddyLabel(QStringLiteral("Comment"), comment_), 3, 0, Qt::AlignTop);
    login->addWidget(comment_, 3, 1, 1, 3);
    login->addWidget(defaultPathRow_, 4, 0, 1, 4);

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
    adv->addWidget(cnc_, 7, 0, 1, 3);
    adv->addWidget(maxcRow_, 8, 0, 1, 3);
    adv->setRowStretch(9, 1);

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

    applyPasswordView();
    pages_->setCurrentWidget(loginPage_);
    name_->setFocus();
}

TForm4::~TForm4() { editors().removeAll(this); }

QList<TForm4*> TForm4::openEditors() { return editors(); }

void TForm4::applyPasswordView() {
    password_->setEchoMode(viewPassword_->isChecked() ? QLineEdit::Normal : QLineEdit::Password);
}

int TForm4::NewSite(QWidget* parent) {
    TForm4 editor(parent);
    return editor.execModal();
}

int TForm4::EditSite(QWidget* parent, const QString& name) {
    {
        store::TableScope t(sites::dataModule().ftpsite());
        if (!t->locate("name", {bytes(name)})) return QDialog::Rejected;
    }
    TForm4 editor(parent);
    editor.FillProfileLists();
    if (!editor.LoadSite(name)) return QDialog::Rejected;
    return editor.execModal();
}

int TForm4::execModal() {
    if (isNewSite() && !listsFilled_) FillProfileLists();
    return ui::runModal(*this);
}

void TForm4::FillProfileLists() {
    store::Tdm& dm = sites::dataModule();
    auto fill = [](QComboBox* box, store::Table& table) {
        box->clear();
        box->addItem(QStringLiteral("None"));
        store::TableScope t(table);
        for (t->first(); !t->eof(); t->next()) box->addItem(text(t->asString("name")));
        box->setCurrentIndex(0);
    };
    fill(proxy_, dm.proxy());
    fill(socks_, dm.socks());
    listsFilled_ = true;
}

bool TForm4::LoadSite(const QString& name) {
    store::TableScope t(sites::dataModule().ftpsite());
    if (!t->locate("name", {bytes(name)})) return false;
    openingName_ = name;
    setWindowTitle(kEditCaption);
    address_->setText(text(t->asString("address")));
    port_->setNumber(t->asInteger("port"));
    user_->setText(text(t->asString("username")));
    password_->setText(text(t->asString("password")));
    name_->setText(text(t->asString("name")));
    comment_->setPlainText(text(t->asString("comment")));
    timeout_->setNumber(t->asInteger("timeout"));
    retries_->setNumber(t->asInteger("nor"));
    retryDelay_->setNumber(t->asInteger("rd"));
    viewPassword_->setChecked(t->asBoolean("vp"));
    defaultPath_->setText(text(t->asString("defaultpath")));
    pasv_->setChecked(t->asBoolean("pasv"));
    autoRefresh_->setChecked(t->asBoolean("autorefresh"));
    cnc_->setChecked(t->asBoolean("cnc"));
    maxc_->setNumber(t->asInteger("maxc"));
    auto pick = [](QComboBox* box, const QString& value) {
        const int i = box->findText(value, Qt::MatchExactly | Qt::MatchCaseSensitive);
        // A profile removed or renamed since leaves "None" selected.
        box->setCurrentIndex(i >= 0 ? i : 0);
    };
    pick(proxy_, text(t->asString("proxy")));
    pick(socks_, text(t->asString("socks")));
    applyPasswordView();
    return true;
}

bool TForm4::nameTaken(const QString& name) {
    store::TableScope t(sites::dataModule().ftpsite());
    return t->locate("name", {bytes(name)});
}

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

        const QString proxyName = proxy_->currentText().isEmpty() ? QStringLiteral("None")
                                                                  : proxy_->currentText();
        const QString socksName = socks_->currentText().isEmpty() ? QStringLiteral("None")
                                                                  : socks_->currentText();
        bool renamed = false;
        {
            store::TableScope t(sites::dataModule().ftpsite());
            bool write = true;
            if (isNew) {
                t->append();
            } else if (t->locate("name", {bytes(openingName_)})) {
                t->edit();
                renamed = newName != openingName_;
            } else {
                write = false;  // deleted elsewhere meanwhile: nothing to change
            }
            if (write) {
                const QString stamp = now();
                t->setString("name", bytes(newName));
                t->setString("address", bytes(address_->text()));
                t->setInteger("port", port_->number());
                t->setString("username", bytes(user_->text()));
                t->setString("password", bytes(password_->text()));
                t->setString("cdate", bytes(stamp));
                t->setString("zdate", bytes(stamp));
                t->setString("comment", bytes(comment_->toPlainText()));
                t->setInteger("timeout", timeout_->number());
                t->setInteger("nor", retries_->number());
                t->setInteger("rd", retryDelay_->number());
                t->setBoolean("vp", viewPassword_->isChecked());
                t->setString("defaultpath", bytes(defaultPath_->text()));
                t->setString("proxy", bytes(proxyName));
                t->setString("socks", bytes(socksName));
                t->setBoolean("pasv", pasv_->isChecked());
                t->setBoolean("autorefresh", autoRefresh_->isChecked());
                t->setBoolean("cnc", cnc_->isChecked());
                t->setInteger("maxc", maxc_->number());
                t->post();
            }
        }
        if (renamed) sites::followSiteRename(openingName_, newName);
        if (SiteListPane* pane = SiteListPane::instance()) pane->FillList();
        accept();
    } catch (const std::exception& e) {
        // A store failure ends the handling; the editor stays open.
        qWarning("Site editor: %s", e.what());
    }
}

void TForm4::onHelp() {
    ui::DialogService::instance().showHelp(this, ui::dataFile(QStringLiteral("Ostrafen.hlp")),
                                           QStringLiteral("Overview"));
}

void TForm4::onProxyOption() {
#ifdef OSTRAFEN_HAS_OPTIONS_DIALOG
    TForm2::Execute(this, TForm2::PageProxy);
#endif
}

void TForm4::onSocksOption() {
#ifdef OSTRAFEN_HAS_OPTIONS_DIALOG
    TForm2::Execute(this, TForm2::PageSocks);
#endif
}

void TForm4::onBrowseFolder() {
    const auto folder = ui::DialogService::instance().browseFolder(
        this, QStringLiteral("Default local path"), defaultPath_->text());
    if (folder) defaultPath_->setText(QDir::toNativeSeparators(*folder));
}
