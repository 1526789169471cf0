#include "dialogs/options_dialog.h"

#include "dialogs/proxy_editor.h"
#include "dialogs/site_editor.h"
#include "dialogs/socks_editor.h"
#include "dialogs/store_messages.h"
#include "platform/ui/app_paths.h"
#include "platform/ui/dialog_service.h"
#include "store/options_records.h"
#include "store/site_records.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <climits>


using options::fromBytes;
using options::toBytes;

namespace {

// Item roles of the command and extension lists: the stored bytes of the entry
// (names from the store are bytes; converting them back could change them), and
// whether the entry was added in this session and so has no table row yet.
constexpr int BytesRole = Qt::UserRole;
constexpr int NewRole = Qt::UserRole + 1;
// Profile rows carry the stored name bytes for locating their table row.
constexpr int NameBytesRole = Qt::UserRole;

QLabel* captionFor(const QString& text, QWidget* buddy) {
    auto* l = new QLabel(text);
    l->setBuddy(buddy);
    return l;
}

std::string itemNameBytes(const QTreeWidgetItem* item) {
    const QByteArray a = item->data(0, NameBytesRole).toByteArray();
    return std::string(a.constData(), static_cast<size_t>(a.size()));
}

QTreeWidgetItem* selectedRow(QTreeWidget* list) {
    const auto sel = list->selectedItems();
    return sel.isEmpty() ? nullptr : sel.first();
}

void fillProfileRow(QTreeWidgetItem* item, const std::string& nameBytes, const QString& host,
                    const QString& kindWord) {
    item->setText(0, fromBytes(nameBytes));
    item->setText(1, host);
    item->setText(2, kindWord);
    item->setData(0, NameBytesRole, QByteArray(nameBytes.data(),
                                               static_cast<qsizetype>(nameBytes.size())));
}

QComboBox* siteEditorList(TForm4* editor, options::ProfileKind kind) {
    return kind == options::ProfileKind::Proxy ? editor->proxyCombo() : editor->socksCombo();
}

// Index of the entry equal to `name`, skipping the leading "None" placeholder;
// the first or the last such entry; -1 when there is none.
int findProfileEntry(QComboBox* box, const QString& name, bool last) {
    int found = -1;
    for (int i = 0; i < box->count(); ++i) {
        if (i == 0 && box->itemText(0) == QLatin1String("None")) continue;
        if (box->itemText(i) == name) {
            found = i;
            if (!last) break;
        }
    }
    return found;
}

}  // namespace

namespace options {

QString fromBytes(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::string toBytes(const QString& s) {
    const QByteArray a = s.toUtf8();
    return std::string(a.constData(), static_cast<size_t>(a.size()));
}

std::string keptText(const std::string& stored, const QString& shownThen, const QString& now) {
    return now == shownThen ? stored : toBytes(now);
}

void siteEditorAppend(TForm4* editor, ProfileKind kind, const QString& name) {
    if (!editor) return;
    if (QComboBox* box = siteEditorList(editor, kind)) box->addItem(name);
}

void siteEditorRename(TForm4* editor, ProfileKind kind, const QString& oldName, const QString& newName) {
    if (!editor) return;
    QComboBox* box = siteEditorList(editor, kind);
    if (!box) return;
    const int i = findProfileEntry(box, oldName, false);
    if (i >= 0) box->setItemText(i, newName);
}

void siteEditorRemove(TForm4* editor, ProfileKind kind, const QString& name) {
    if (!editor) return;
    QComboBox* box = siteEditorList(editor, kind);
    if (!box) return;
    const int i = findProfileEntry(box, name, true);
    if (i < 0) return;
    const bool wasCurrent = box->currentIndex() == i;
    box->removeItem(i);
    // The site had this profile chosen: it now has none, not a neighbour.
    if (wasCurrent) box->setCurrentIndex(box->count() > 0 ? 0 : -1);
}

void listAppendProfile(QTreeWidget* list, const std::string& name, const QString& host,
                       const QString& kindWord) {
    if (!list) return;
    auto* item = new QTreeWidgetItem(list);
    fillProfileRow(item, name, host, kindWord);
}

void listRewriteSelected(QTreeWidget* list, const std::string& name, const QString& host,
                         const QString& kindWord) {
    if (!list) return;
    QTreeWidgetItem* item = selectedRow(list);
    if (!item) return;
    fillProfileRow(item, name, host, kindWord);
}

}  // namespace options

// ---------------------------------------------------------------------------

TForm2::TForm2(store::Tdm& dm, QWidget* parent, TForm4* siteEditor)
    : QDialog(parent), dm_(dm), siteEditor_(siteEditor) {
    setWindowTitle(QStringLiteral("Options"));

    pages = new QTabWidget;
    pages->addTab(buildAntiIdlePage(), QStringLiteral("Anti-Idle"));
    pages->addTab(buildTransferPage(), QStringLiteral("Transfer"));
    pages->addTab(buildProfilePage(QStringLiteral("Server"), QStringLiteral("Type"), lvProxy,
                                   btAddProxy, btEditProxy, btRemoveProxy),
                  QStringLiteral("Proxy"));
    pages->addTab(buildProfilePage(QStringLiteral("Host"), QStringLiteral("Version"), lvSocks,
                                   btAddSocks, btEditSocks, btRemoveSocks),
                  QStringLiteral("Socks"));
    lvProxy->setAccessibleName(QStringLiteral("Proxy"));
    lvSocks->setAccessibleName(QStringLiteral("Socks"));

    btHelp = new QPushButton(QStringLiteral("&Help"));
    btOk = new QPushButton(QStringLiteral("&OK"));
    btCancel = new QPushButton(QStringLiteral("&Cancel"));
    btHelp->setAutoDefault(false);
    btCancel->setAutoDefault(false);
    btOk->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btHelp);
    buttons->addStretch();
    buttons->addWidget(btOk);
    buttons->addWidget(btCancel);

    auto* top = new QVBoxLayout(this);
    top->addWidget(pages);
    top->addLayout(buttons);
    top->setSizeConstraint(QLayout::SetFixedSize);

    connect(btHelp, &QPushButton::clicked, this, &TForm2::help);
    connect(btOk, &QPushButton::clicked, this, &TForm2::ok);
    connect(btCancel, &QPushButton::clicked, this, &TForm2::reject);

    connect(btAddCommand, &QPushButton::clicked, this, [this] {
        addEntry(lbCommands, QStringLiteral("Input Command"),
                 QStringLiteral("A command can not contain a line break or a NUL character: "
                                "it would reach the server as more than one command."));
    });
    connect(btDeleteCommand, &QPushButton::clicked, this, [this] { deleteEntry(lbCommands); });
    connect(btAddExt, &QPushButton::clicked, this, [this] {
        addEntry(lbExtensions, QStringLiteral("Input filename extension"),
                 QStringLiteral("An extension can not contain a line break or a NUL character: "
                                "no file name ends that way."));
    });
    connect(btDeleteExt, &QPushButton::clicked, this, [this] { deleteEntry(lbExtensions); });
    connect(lbCommands, &QListWidget::itemChanged, this,
            [this](QListWidgetItem* item) { entryTicked(lbCommands, item); });
    connect(lbExtensions, &QListWidget::itemChanged, this,
            [this](QListWidgetItem* item) { entryTicked(lbExtensions, item); });

    connect(btAddProxy, &QPushButton::clicked, this, &TForm2::addProxy);
    connect(btEditProxy, &QPushButton::clicked, this, &TForm2::editProxy);
    connect(btRemoveProxy, &QPushButton::clicked, this, [this] { removeProfile(options::ProfileKind::Proxy); });
    connect(lvProxy, &QTreeWidget::itemDoubleClicked, this, &TForm2::editProxy);
    connect(btAddSocks, &QPushButton::clicked, this, &TForm2::addSocks);
    connect(btEditSocks, &QPushButton::clicked, this, &TForm2::editSocks);
    connect(btRemoveSocks, &QPushButton::clicked, this, [this] { removeProfile(options::ProfileKind::Socks); });
    connect(lvSocks, &QTreeWidget::itemDoubleClicked, this, &TForm2::editSocks);
}

TForm2::~TForm2() = default;

namespace {

QListWidget* makeCheckList() {
    auto* list = new QListWidget;
    // Three columns, filled top to bottom like a multi-column check list.
    list->setFlow(QListView::TopToBottom);
    list->setWrapping(true);
    list->setResizeMode(QListView::Adjust);
    list->setUniformItemSizes(true);
    list->setFixedSize(390, 150);
    list->setGridSize(QSize(125, 20));
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    return list;
}

}  // namespace

QWidget* TForm2::buildAntiIdlePage() {
    auto* page = new QWidget;
    auto* group = new QGroupBox;
    cbAntiIdle = new QCheckBox(QStringLiteral("Enabled anti-idle"));
    cbAntiIdle->setChecked(true);

    seInterval = new dialogs::NumberBox;
    seInterval->setRange(1, 99);
    seInterval->setValue(30);
    auto* interval = new QHBoxLayout;
    interval->addWidget(captionFor(QStringLiteral("Interval"), seInterval));
    interval->addWidget(seInterval);
    interval->addWidget(new QLabel(QStringLiteral("second")));
    interval->addStretch();

    lbCommands = makeCheckList();
    btAddCommand = new QPushButton(QStringLiteral("&Add..."));
    btDeleteCommand = new QPushButton(QStringLiteral("&Delete"));
    for (auto* b : {btAddCommand, btDeleteCommand}) b->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btAddCommand);
    buttons->addWidget(btDeleteCommand);
    buttons->addStretch();

    auto* g = new QVBoxLayout(group);
    g->addWidget(cbAntiIdle);
    g->addLayout(interval);
    g->addWidget(captionFor(QStringLiteral("Command"), lbCommands));
    g->addWidget(lbCommands);
    g->addLayout(buttons);

    auto* l = new QVBoxLayout(page);
    l->addWidget(group);
    l->addStretch();

    for (const char* c : {"NOOP", "PWD"}) {
        auto* item = new QListWidgetItem(QString::fromLatin1(c));
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
        lbCommands->addItem(item);
    }
    return page;
}

QWidget* TForm2::buildTransferPage() {
    auto* page = new QWidget;

    auto* mode = new QGroupBox(QStringLiteral("Transfer Mode"));
    rbAuto = new QRadioButton(QStringLiteral("Auto"));
    rbAscii = new QRadioButton(QStringLiteral("ASCII"));
    rbBinary = new QRadioButton(QStringLiteral("Binary"));
    rbAuto->setChecked(true);
    auto* ml = new QVBoxLayout(mode);
    ml->addWidget(rbAuto);
    ml->addWidget(rbAscii);
    ml->addWidget(rbBinary);
    ml->addStretch();

    lbExtensions = makeCheckList();
    btAddExt = new QPushButton(QStringLiteral("Add..."));
    btDeleteExt = new QPushButton(QStringLiteral("Delete"));
    for (auto* b : {btAddExt, btDeleteExt}) b->setAutoDefault(false);
    auto* extButtons = new QVBoxLayout;
    extButtons->addWidget(btAddExt);
    extButtons->addWidget(btDeleteExt);
    extButtons->addStretch();
    auto* extRow = new QHBoxLayout;
    extRow->addWidget(lbExtensions);
    extRow->addLayout(extButtons);
    auto* ext = new QVBoxLayout;
    ext->addWidget(captionFor(QStringLiteral("Use ASCII mode for files without extensions"),
                              lbExtensions));
    ext->addLayout(extRow);

    auto* upper = new QHBoxLayout;
    upper->addWidget(mode);
    upper->addLayout(ext);

    // Never shown: carries the stored value through a save.
    gbTransferComplete = new QGroupBox(QStringLiteral("Transfer complete"));
    rbNone = new QRadioButton(QStringLiteral("None"));
    rbDisconnect = new QRadioButton(QStringLiteral("Disconnect"));
    rbQuit = new QRadioButton(QStringLiteral("Quit Application"));
    rbExit = new QRadioButton(QStringLiteral("Exit Windows"));
    rbNone->setChecked(true);
    auto* tc = new QHBoxLayout(gbTransferComplete);
    for (auto* r : {rbNone, rbDisconnect, rbQuit, rbExit}) tc->addWidget(r);
    gbTransferComplete->hide();

    auto* buffers = new QGroupBox(QStringLiteral("Buffer size"));
    seRecv = new dialogs::NumberBox;
    seSend = new dialogs::NumberBox;
    // Negative sizes mean nothing to a socket; the top is the integer field's.
    seRecv->setRange(0, INT_MAX);
    seSend->setRange(0, INT_MAX);
    seRecv->setValue(2048);
    seSend->setValue(1024);
    auto* bl = new QHBoxLayout(buffers);
    bl->addWidget(captionFor(QStringLiteral("Recv Buffer size"), seRecv));
    bl->addWidget(seRecv);
    bl->addWidget(captionFor(QStringLiteral("Send Buffer size"), seSend));
    bl->addWidget(seSend);

    // Never shown either.
    cbAppe = new QCheckBox(QStringLiteral("Use APPE to resume uploads"));
    cbAppe->setChecked(true);
    cbAppe->hide();

    auto* l = new QVBoxLayout(page);
    l->addLayout(upper);
    l->addWidget(gbTransferComplete);
    l->addWidget(buffers);
    l->addWidget(cbAppe);
    l->addStretch();

    for (const char* e : {"ASP", "BAT", "C", "CGI", "CPP", "CSS", "DHTML", "HTM", "HTML", "PERL",
                          "PHP", "PL"}) {
        auto* item = new QListWidgetItem(QString::fromLatin1(e));
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
        lbExtensions->addItem(item);
    }
    return page;
}

QWidget* TForm2::buildProfilePage(const QString& hostColumn, const QString& kindColumn,
                                  QTreeWidget*& list, QPushButton*& add, QPushButton*& edit,
                                  QPushButton*& remove) {
    auto* page = new QWidget;
    list = new QTreeWidget;
    list->setColumnCount(3);
    list->setHeaderLabels({QStringLiteral("Name"), hostColumn, kindColumn});
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setAllColumnsShowFocus(true);
    list->setFixedSize(420, 180);

    add = new QPushButton(QStringLiteral("&Add..."));
    edit = new QPushButton(QStringLiteral("&Edit..."));
    remove = new QPushButton(QStringLiteral("&Remove"));
    auto* buttons = new QHBoxLayout;
    for (auto* b : {add, edit, remove}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    buttons->addStretch();

    auto* l = new QVBoxLayout(page);
    l->addWidget(list);
    l->addLayout(buttons);
    l->addStretch();
    return page;
}

int TForm2::Execute(QWidget* parent, store::Tdm& dm, int page, TForm4* siteEditor) {
    TForm2 dialog(dm, parent, siteEditor);
    dialog.pages->setCurrentIndex(page >= 0 && page < dialog.pages->count() ? page : 0);
    try {
        dialog.LoadFromStore();
    } catch (const std::exception& e) {
        // Showing the form's defaults as if they were the saved options would mislead.
        dialogs::reportUnreadable(parent, dm, e);
        return QDialog::Rejected;
    }
    return ui::runModal(dialog);
}

// ---------------------------------------------------------------------------
// Loading

namespace {

void loadCheckList(QListWidget* list, const std::vector<store::TickedText>& rows) {
    list->clear();
    for (const store::TickedText& row : rows) {
        const std::string& text = row.text;
        auto* item = new QListWidgetItem(fromBytes(text));
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(row.tf ? Qt::Checked : Qt::Unchecked);
        item->setData(BytesRole, QByteArray(text.data(), static_cast<qsizetype>(text.size())));
        item->setData(NewRole, false);
        list->addItem(item);
    }
}

template <class Record>
void loadProfiles(QTreeWidget* list, const std::vector<Record>& rows,
                  std::string Record::*host, std::string Record::*kind) {
    list->clear();
    for (const Record& r : rows) {
        auto* item = new QTreeWidgetItem(list);
        fillProfileRow(item, r.name, fromBytes(r.*host), fromBytes(r.*kind));
    }
}

}  // namespace

void TForm2::LoadFromStore() {
    store::Tdm& d = dm_;
    // Filling the lists sets check states; those are not the user's ticks.
    QScopedValueRollback<bool> loading(loading_, true);

    loadCheckList(lbCommands, store::antiIdleCommands(d));
    loadCheckList(lbExtensions, store::asciiExtensions(d));
    loadProfiles(lvProxy, store::allProxies(d), &store::ProxyRecord::server, &store::ProxyRecord::typeName);
    loadProfiles(lvSocks, store::allSocks(d), &store::SocksRecord::host, &store::SocksRecord::svName);

    const store::OptionsRecord o = store::readOptions(d);
    cbAntiIdle->setChecked(o.eanti);
    seInterval->loadValue(o.interval);  // shown within 1..99, kept as stored

    const std::string& mode = o.transfermode;
    rbAuto->setChecked(true);
    if (mode == "ascii") rbAscii->setChecked(true);
    else if (mode == "binary") rbBinary->setChecked(true);

    const std::string& complete = o.transferc;
    rbNone->setChecked(true);
    if (complete == "disconnect") rbDisconnect->setChecked(true);
    else if (complete == "quit") rbQuit->setChecked(true);
    else if (complete == "exit") rbExit->setChecked(true);

    seRecv->loadValue(o.recvb);
    seSend->loadValue(o.sendb);
    cbAppe->setChecked(o.appe);
}

// ---------------------------------------------------------------------------
// Command and extension lists

void TForm2::addEntry(QListWidget* list, const QString& caption, const QString& refusal) {
    const std::optional<QString> input =
        ui::DialogService::instance().inputBox(this, caption, QString(), QString());
    if (!input || input->trimmed().isEmpty()) return;
    // Commands go to the server as typed: a line break would smuggle in a second one.
    for (const QChar c : *input) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c.isNull()) {
            ui::warning(this, refusal);
            return;
        }
    }
    const QString upper = input->toUpper();
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->text().toUpper() == upper) {
            list->setCurrentRow(i);
            return;
        }
    }
    auto* item = new QListWidgetItem(upper);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Checked);
    item->setData(BytesRole, upper.toUtf8());
    item->setData(NewRole, true);
    list->addItem(item);
}

void TForm2::deleteEntry(QListWidget* list) {
    const auto sel = list->selectedItems();
    if (sel.isEmpty()) return;
    delete list->takeItem(list->row(sel.first()));
}

void TForm2::entryTicked(QListWidget* list, QListWidgetItem* item) {
    if (loading_ || !item) return;
    // An entry added in this session has no row yet; "&OK" writes it.
    if (item->data(NewRole).toBool()) return;
    const QByteArray bytes = item->data(BytesRole).toByteArray();
    const std::string text(bytes.constData(), static_cast<size_t>(bytes.size()));
    const bool tf = item->checkState() == Qt::Checked;
    try {
        if (list == lbCommands)
            store::setAntiIdleTick(dm_, text, tf);
        else
            store::setAsciiExtensionTick(dm_, text, tf);
    } catch (const std::exception& e) {
        // The box shows what the table holds.
        {
            QScopedValueRollback<bool> loading(loading_, true);
            item->setCheckState(tf ? Qt::Unchecked : Qt::Checked);
        }
        dialogs::reportUnsaved(this, dm_, e);
    }
}

// ---------------------------------------------------------------------------
// Profiles

void TForm2::addProxy() {
    TForm5 editor(dm_, this);
    editor.setSiteEditor(siteEditor_);
    editor.setWindowTitle(QStringLiteral("Add Proxy"));
    editor.setProfileList(lvProxy);
    ui::runModal(editor);
}

void TForm2::editProxy() {
    QTreeWidgetItem* row = selectedRow(lvProxy);
    if (!row) return;
    const std::optional<store::ProxyRecord> p = store::findProxy(dm_, itemNameBytes(row));
    if (!p) return;
    TForm5 editor(dm_, this);
    editor.setSiteEditor(siteEditor_);
    editor.setWindowTitle(QStringLiteral("Edit Proxy"));
    editor.load(*p);
    editor.setProfileList(lvProxy);
    ui::runModal(editor);
}

bool TForm2::confirmRemoval(const QString& name, int sites) {
    if (sites <= 0) return true;
    const QString text = sites == 1
                             ? QStringLiteral("1 FTP site uses the profile <%1>. Remove it anyway?").arg(name)
                             : QStringLiteral("%1 FTP sites use the profile <%2>. Remove it anyway?")
                                   .arg(sites)
                                   .arg(name);
    return ui::confirm(this, text);
}

void TForm2::removeProfile(options::ProfileKind kind) {
    const bool proxy = kind == options::ProfileKind::Proxy;
    QTreeWidget* list = proxy ? lvProxy : lvSocks;
    QTreeWidgetItem* row = selectedRow(list);
    if (!row) return;
    // Copies: the box below runs the event loop.
    const std::string name = itemNameBytes(row);
    const QString shown = row->text(0);
    QPointer<TForm2> self(this);
    try {
        const int users = proxy ? store::sitesUsingProxy(dm_, name) : store::sitesUsingSocks(dm_, name);
        if (!confirmRemoval(shown, users)) return;
        if (!self || !(proxy ? store::deleteProxy(dm_, name) : store::deleteSocks(dm_, name))) return;
    } catch (const std::exception& e) {
        if (self) dialogs::reportUnsaved(this, dm_, e);
        return;
    }
    options::siteEditorRemove(siteEditor_, kind, shown);
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (itemNameBytes(list->topLevelItem(i)) == name) {
            delete list->takeTopLevelItem(i);
            break;
        }
}

void TForm2::addSocks() {
    TForm7 editor(dm_, this);
    editor.setSiteEditor(siteEditor_);
    editor.setWindowTitle(QStringLiteral("Add Socks"));
    editor.setProfileList(lvSocks);
    ui::runModal(editor);
}

void TForm2::editSocks() {
    QTreeWidgetItem* row = selectedRow(lvSocks);
    if (!row) return;
    const std::optional<store::SocksRecord> p = store::findSocks(dm_, itemNameBytes(row));
    if (!p) return;
    TForm7 editor(dm_, this);
    editor.setSiteEditor(siteEditor_);
    editor.setWindowTitle(QStringLiteral("Edit Socks"));
    editor.load(*p);
    editor.setProfileList(lvSocks);
    ui::runModal(editor);
}

// ---------------------------------------------------------------------------
// Buttons

void TForm2::help() {
    static const char* const topics[] = {"item29", "item30", "item31", "item32"};
    const int page = pages->currentIndex();
    const QString topic = QString::fromLatin1(topics[page >= 0 && page < 4 ? page : 0]);
    ui::DialogService::instance().showHelp(this, ui::dataFile(QStringLiteral("Ostrafen.hlp")),
                                           topic);
}

namespace {

std::vector<store::TickedText> listRows(const QListWidget* list) {
    std::vector<store::TickedText> out;
    for (int i = 0; i < list->count(); ++i) {
        const QListWidgetItem* item = list->item(i);
        const QByteArray bytes = item->data(BytesRole).toByteArray();
        out.push_back({std::string(bytes.constData(), static_cast<size_t>(bytes.size())),
                       item->checkState() == Qt::Checked});
    }
    return out;
}

}  // namespace

void TForm2::SaveToStore() {
    store::OptionsRecord o;
    o.eanti = cbAntiIdle->isChecked();
    o.interval = seInterval->valueToStore();
    o.transfermode = rbAscii->isChecked() ? "ascii" : rbBinary->isChecked() ? "binary" : "auto";
    o.transferc = rbDisconnect->isChecked() ? "disconnect"
                  : rbQuit->isChecked()     ? "quit"
                  : rbExit->isChecked()     ? "exit"
                                            : "none";
    o.recvb = seRecv->valueToStore();
    o.sendb = seSend->valueToStore();
    o.appe = cbAppe->isChecked();
    store::saveOptions(dm_, listRows(lbCommands), listRows(lbExtensions), o);
    // Every entry has its row now, so later ticks are written at once.
    for (auto* list : {lbCommands, lbExtensions})
        for (int i = 0; i < list->count(); ++i) list->item(i)->setData(NewRole, false);
}

void TForm2::ok() {
    try {
        SaveToStore();
    } catch (const std::exception& e) {
        // Nothing of it was saved; the dialog stays open for another try.
        dialogs::reportUnsaved(this, dm_, e);
        return;
    }
    accept();
}
