#include "tasks/task_editor.h"

#include "dialogs/store_messages.h"
#include "platform/ui/dialog_service.h"
#include "platform/ui/pictures.h"
#include "tasks/item_editor.h"

#include <QComboBox>
#include <QDir>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

std::string bytes(const QString& s) { return s.toUtf8().toStdString(); }
QString text(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

enum Column { ColIcon = 0, ColName, ColLocal, ColFtp };

}  // namespace

TForm13::TForm13(store::Tdm& dm, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), dm_(dm) {
    setWindowTitle(QStringLiteral("Create new task"));

    edName = new QLineEdit;
    cbCategory = new QComboBox;
    cbCategory->setEditable(false);
    cbSite = new QComboBox;
    cbSite->setEditable(false);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Name"), edName);
    form->addRow(QStringLiteral("Task category"), cbCategory);
    form->addRow(QStringLiteral("FTP server"), cbSite);

    lvItems = new QTreeWidget;
    lvItems->setColumnCount(4);
    lvItems->setHeaderLabels({QString(), QStringLiteral("Name"), QStringLiteral("Local path"),
                              QStringLiteral("Ftp path")});
    lvItems->setAccessibleName(QStringLiteral("Items"));
    lvItems->setRootIsDecorated(false);
    lvItems->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lvItems->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvItems->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvItems->header()->resizeSection(ColIcon, 24);
    lvItems->setMinimumSize(460, 180);
    btEdit = new QPushButton(QStringLiteral("&Edit"));
    btDelete = new QPushButton(QStringLiteral("&Delete"));
    btEdit->setAutoDefault(false);
    btDelete->setAutoDefault(false);
    auto* itemButtons = new QHBoxLayout;
    itemButtons->addStretch();
    itemButtons->addWidget(btEdit);
    itemButtons->addWidget(btDelete);
    auto* itemPage = new QWidget;
    auto* itemLayout = new QVBoxLayout(itemPage);
    itemLayout->addWidget(lvItems, 1);
    itemLayout->addLayout(itemButtons);

    edDesc = new QPlainTextEdit;
    edDesc->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edDesc->setTabChangesFocus(true);
    edDesc->setAccessibleName(QStringLiteral("Description"));

    pages = new QTabWidget;
    pages->addTab(itemPage, QStringLiteral("Upload"));
    pages->addTab(edDesc, QStringLiteral("Description"));

    btOk = new QPushButton(QStringLiteral("&OK"));
    btCancel = new QPushButton(QStringLiteral("&Cancel"));
    btHelp = new QPushButton(QStringLiteral("&Help"));
    btOk->setDefault(true);
    btCancel->setAutoDefault(false);
    btHelp->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btOk);
    buttons->addWidget(btCancel);
    buttons->addWidget(btHelp);

    auto* top = new QVBoxLayout(this);
    top->addLayout(form);
    top->addWidget(pages, 1);
    top->addLayout(buttons);
    top->setSizeConstraint(QLayout::SetFixedSize);

    connect(edName, &QLineEdit::textChanged, this, &TForm13::updateOk);
    connect(cbCategory, &QComboBox::currentIndexChanged, this, &TForm13::updateOk);
    connect(cbSite, &QComboBox::currentIndexChanged, this, &TForm13::updateOk);
    connect(lvItems, &QTreeWidget::itemSelectionChanged, this, &TForm13::updateItemButtons);
    connect(lvItems, &QTreeWidget::itemDoubleClicked, this, [this] { editItems(); });
    connect(btEdit, &QPushButton::clicked, this, &TForm13::editItems);
    connect(btDelete, &QPushButton::clicked, this, &TForm13::deleteItems);
    connect(btOk, &QPushButton::clicked, this, &TForm13::ok);
    connect(btCancel, &QPushButton::clicked, this, &TForm13::reject);
    connect(btHelp, &QPushButton::clicked, this, &TForm13::help);

    updateItemButtons();
    updateOk();
    edName->setFocus();
}

TForm13::~TForm13() = default;

void TForm13::setTask(const rtask& task) {
    setWindowTitle(QStringLiteral("Edit task"));
    taskId_ = task.id;
    setDirection(text(task.type));
    edDesc->setPlainText(text(task.common));
}

void TForm13::setDirection(const QString& caption) { pages->setTabText(0, caption); }

QString TForm13::direction() const { return pages->tabText(0); }

bool TForm13::isDownload() const { return store::IsDownloadTask(bytes(direction())); }

void TForm13::setSites(const std::vector<std::string>& names, const std::string& selected,
                       bool locked) {
    cbSite->clear();
    const QIcon icon = ui::icon(ui::Picture::Site);
    int chosen = -1;
    for (const std::string& n : names) {
        if (chosen < 0 && n == selected) chosen = cbSite->count();
        cbSite->addItem(icon, text(n), QByteArray::fromStdString(n));
    }
    cbSite->setCurrentIndex(chosen);
    cbSite->setEnabled(!locked);
    updateOk();
}

void TForm13::setCategories(const std::vector<store::TaskCategory>& categories, int selectedId) {
    cbCategory->clear();
    const QIcon icon = ui::icon(ui::Picture::Category);
    int chosen = -1;
    for (const store::TaskCategory& c : categories) {
        if (chosen < 0 && c.id == selectedId) chosen = cbCategory->count();
        cbCategory->addItem(icon, text(c.name), c.id);
    }
    cbCategory->setCurrentIndex(chosen);
    updateOk();
}

void TForm13::setItems(const std::vector<rtaskupdown>& items) {
    lvItems->clear();
    items_.clear();
    for (const rtaskupdown& item : items) addRow(item);
    updateOk();
}

void TForm13::setTaskName(const QString& name) { edName->setText(name); }

void TForm13::addRow(const rtaskupdown& item) {
    auto* row = new QTreeWidgetItem(lvItems);
    items_.push_back(item);
    row->setIcon(ColIcon, ui::icon(item.isfolder ? ui::Picture::Folder : ui::Picture::File));
    row->setData(ColIcon, Qt::AccessibleTextRole,
                 item.isfolder ? QStringLiteral("Folder") : QStringLiteral("File"));
    showRow(static_cast<int>(items_.size()) - 1);
}

void TForm13::showRow(int row) {
    QTreeWidgetItem* it = lvItems->topLevelItem(row);
    const rtaskupdown& item = items_[static_cast<size_t>(row)];
    it->setText(ColName, text(item.files));
    it->setText(ColLocal, text(item.local));
    it->setText(ColFtp, text(item.ftp));
}

std::vector<int> TForm13::selectedRows() const {
    std::vector<int> rows;
    for (QTreeWidgetItem* it : lvItems->selectedItems())
        rows.push_back(lvItems->indexOfTopLevelItem(it));
    std::sort(rows.begin(), rows.end());
    return rows;
}

void TForm13::updateOk() {
    btOk->setEnabled(!edName->text().isEmpty() && cbCategory->currentIndex() >= 0 &&
                     cbSite->currentIndex() >= 0 && !items_.empty());
}

void TForm13::updateItemButtons() {
    const bool any = !lvItems->selectedItems().isEmpty();
    btEdit->setEnabled(any);
    btDelete->setEnabled(any);
}

void TForm13::editItems() {
    const std::vector<int> rows = selectedRows();
    if (rows.empty()) return;
    const bool download = isDownload();
    const rtaskupdown& first = items_[static_cast<size_t>(rows.front())];
    TForm14 editor(this);
    // An upload item shows its whole local path; only its remote folder changes.
    editor.setItem(download ? text(first.local) : text(store::WithLocalSeparator(first.local) + first.files),
                   text(first.ftp), download);
    QPointer<TForm13> self(this);
    const int result = ui::runModal(editor);
    if (!self || result != QDialog::Accepted) return;
    const std::string value = bytes(download ? QDir::toNativeSeparators(editor.edLocal->text())
                                             : editor.edFtp->text());
    // The rows chosen before the editor opened; the list cannot change meanwhile.
    for (int row : rows) {
        if (row < 0 || row >= static_cast<int>(items_.size())) continue;
        (download ? items_[static_cast<size_t>(row)].local : items_[static_cast<size_t>(row)].ftp) = value;
        showRow(row);
    }
}

void TForm13::deleteItems() {
    const std::vector<int> rows = selectedRows();
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        delete lvItems->takeTopLevelItem(*it);
        items_.erase(items_.begin() + *it);
    }
    updateOk();
    updateItemButtons();
}

void TForm13::ok() {
    if (!btOk->isEnabled()) return;
    rtask t;
    t.id = windowTitle() == QLatin1String("Create new task") ? 0 : taskId_;
    t.taskid = cbCategory->currentData().toInt();
    t.name = bytes(edName->text());
    t.ftp = cbSite->currentData().toByteArray().toStdString();
    t.type = bytes(direction());
    t.common = bytes(edDesc->toPlainText());
    try {
        savedId_ = store::SaveTask(dm_, t, items_);
    } catch (const std::exception& e) {
        // Nothing was saved; the editor stays open with its items.
        dialogs::reportUnsaved(this, dm_, e);
        return;
    }
    accept();
}

void TForm13::help() {
    ui::helpJump(this, isDownload() ? QStringLiteral("newitem12") : QStringLiteral("newitem22"));
}
