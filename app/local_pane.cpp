#include "app/local_pane.h"

#include "platform/ui/app_paths.h"
#include "platform/ui/dialog_service.h"
#include "platform/ui/ini_file.h"
#include "platform/ui/pictures.h"
#include "store/recent_list.h"

#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const char* const kStyleNames[4] = {"Large icon", "List", "Small icon", "Report"};
const QString kInvalidPath = QStringLiteral("Invalid path.");
// The remote folder of an entry that goes where the page is when it runs.
const std::string kCurrentRemoteFolder(1, '0');

// Drops reach the pane only through its own handling: the model must never
// move or copy files because something was dragged onto the list.
class LocalFileModel : public QFileSystemModel {
public:
    using QFileSystemModel::QFileSystemModel;
    bool canDropMimeData(const QMimeData*, Qt::DropAction, int, int,
                         const QModelIndex&) const override {
        return false;
    }
    bool dropMimeData(const QMimeData*, Qt::DropAction, int, int, const QModelIndex&) override {
        return false;
    }
};

QString startFolder() {
    const QString desk = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    return QDir::toNativeSeparators(QFileInfo(desk).isDir() ? desk : QDir::homePath());
}

std::string utf8(const QString& s) { return s.toUtf8().toStdString(); }

}  // namespace

LocalPane::LocalPane(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("LocalPane"));
    bookmarkFile_ = ui::dataFile(QStringLiteral("bookmark.dat"));

    model_ = new LocalFileModel(this);
    model_->setFilter(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    // Renaming in place writes to disk.
    model_->setReadOnly(false);
    selection_ = new QItemSelectionModel(model_, this);

    icons_ = new QListView;
    icons_->setObjectName(QStringLiteral("LocalIconView"));
    report_ = new QTreeView;
    report_->setObjectName(QStringLiteral("LocalReportView"));
    report_->setRootIsDecorated(false);
    report_->setItemsExpandable(false);
    report_->setUniformRowHeights(true);
    report_->setAllColumnsShowFocus(true);
    report_->setSortingEnabled(true);
    report_->sortByColumn(0, Qt::AscendingOrder);
    report_->header()->setStretchLastSection(false);
    for (QAbstractItemView* v : {static_cast<QAbstractItemView*>(icons_),
                                 static_cast<QAbstractItemView*>(report_)}) {
        v->setModel(model_);
        v->setSelectionModel(selection_);
        v->setSelectionMode(QAbstractItemView::ExtendedSelection);
        v->setSelectionBehavior(QAbstractItemView::SelectRows);
        v->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
        v->setDragEnabled(true);
        v->setDragDropMode(QAbstractItemView::DragDrop);
        v->setDefaultDropAction(Qt::CopyAction);
        v->setAccessibleName(QStringLiteral("Local files"));
        v->viewport()->installEventFilter(this);
        // Keep the selection visible when the list loses the focus.
        QPalette pal = v->palette();
        pal.setColor(QPalette::Inactive, QPalette::Highlight,
                     pal.color(QPalette::Active, QPalette::Highlight));
        pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     pal.color(QPalette::Active, QPalette::HighlightedText));
        v->setPalette(pal);
        connect(v, &QAbstractItemView::doubleClicked, this,
                [this](const QModelIndex& i) { openItem(i); });
    }

    stack_ = new QStackedWidget;
    stack_->addWidget(icons_);
    stack_->addWidget(report_);

    box_ = new QComboBox;
    box_->setObjectName(QStringLiteral("BookmarkBox"));
    box_->setEditable(true);
    // Entries are added only by "Add bookmark", never by pressing Enter.
    box_->setInsertPolicy(QComboBox::NoInsert);
    box_->setMaxVisibleItems(8);
    box_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    box_->setAccessibleName(QStringLiteral("Bookmarks"));
    // Typing moves the list whenever the text names a folder; half-typed
    // paths are passed over silently.
    connect(box_, &QComboBox::editTextChanged, this, [this](const QString& t) { setRootPath(t); });
    connect(box_, &QComboBox::activated, this, [this](int row) { chooseBookmark(row); });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    buildToolbar();
    layout->addWidget(findChild<QToolBar*>(QStringLiteral("LocalToolBar")));
    layout->addWidget(box_);
    layout->addWidget(stack_, 1);

    setRootPath(startFolder());
    applyViewStyle(view_);
}

LocalPane::~LocalPane() = default;

void LocalPane::buildToolbar() {
    auto* bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("LocalToolBar"));
    bar->setIconSize(QSize(16, 16));
    auto add = [bar](ui::Picture pic, const QString& hint) { return ui::addToolButton(bar, pic, hint); };
    actUp_ = add(ui::Picture::Up, QStringLiteral("Up one level"));
    bar->addSeparator();
    actAddBookmark_ = add(ui::Picture::Bookmark, QStringLiteral("Add bookmark"));
    actDeleteBookmark_ = add(ui::Picture::Delete, QStringLiteral("Delete bookmark"));
    bar->addSeparator();
    actAddTask_ = add(ui::Picture::Task, QStringLiteral("Add task"));
    actUpload_ = add(ui::Picture::Upload, QStringLiteral("Upload"));
    actUpload_->setEnabled(false);
    bar->addSeparator();

    auto* styleMenu = new QMenu(this);
    styleGroup_ = new QActionGroup(this);
    styleGroup_->setExclusive(true);
    for (int code = 0; code < 4; ++code) {
        QAction* a = styleMenu->addAction(QString::fromLatin1(kStyleNames[code]));
        a->setCheckable(true);
        styleGroup_->addAction(a);
        styleItems_[code] = a;
        connect(a, &QAction::triggered, this, [this, code] { applyViewStyle(code); });
    }
    actStyle_ = new QAction(ui::icon(ui::Picture::ViewStyle), QStringLiteral("View style"), this);
    actStyle_->setToolTip(QStringLiteral("View style"));
    auto* styleButton = new QToolButton(bar);
    styleButton->setDefaultAction(actStyle_);
    styleButton->setMenu(styleMenu);
    styleButton->setPopupMode(QToolButton::MenuButtonPopup);
    styleButton->setAccessibleName(QStringLiteral("View style"));
    bar->addWidget(styleButton);
    actHelp_ = add(ui::Picture::Help, QStringLiteral("Help"));

    connect(actUp_, &QAction::triggered, this, [this] { upOneLevel(); });
    connect(actAddBookmark_, &QAction::triggered, this, [this] { addBookmark(); });
    connect(actDeleteBookmark_, &QAction::triggered, this, [this] { deleteBookmark(); });
    connect(actAddTask_, &QAction::triggered, this, [this] { emit addTaskRequested(); });
    connect(actUpload_, &QAction::triggered, this, [this] { upload(); });
    connect(actStyle_, &QAction::triggered, this, [this] { cycleViewStyle(); });
    connect(actHelp_, &QAction::triggered, this, [this] { showHelp(); });
}

// --- bookmarks ---------------------------------------------------------------

void LocalPane::loadBookmarks(const QString& file) {
    bookmarkFile_ = file;
    const QSignalBlocker block(box_);
    const QString text = box_->currentText();
    for (const std::string& s : store::LoadRecentList(file.toStdString()))
        box_->addItem(ui::icon(ui::Picture::Folder), QString::fromUtf8(s));
    // Filling the list must not pick an entry and so move the list.
    box_->setEditText(text);
}

QStringList LocalPane::bookmarks() const {
    QStringList out;
    for (int i = 0; i < box_->count(); ++i) out << box_->itemText(i);
    return out;
}

void LocalPane::saveBookmarks() {
    std::vector<std::string> items;
    for (const QString& s : bookmarks()) items.push_back(utf8(s));
    // A file that cannot be written keeps the change in the box only.
    store::SaveRecentList(bookmarkFile_.toStdString(), items);
}

void LocalPane::chooseBookmark(int row) {
    if (row < 0 || row >= box_->count()) return;
    const QString text = box_->itemText(row);
    if (box_->currentIndex() != row) box_->setCurrentIndex(row);
    if (box_->currentText() != text) box_->setEditText(text);
    if (!setRootPath(text)) ui::error(this, kInvalidPath);
}

void LocalPane::addBookmark() {
    if (!QFileInfo(root_).isDir()) return;
    // Compared as the file keeps them: a long path read back cut must not be
    // added again after every restart.
    std::vector<std::string> items;
    for (const QString& b : bookmarks()) items.push_back(utf8(b));
    if (store::AddRecentUnique(items, utf8(root_))) {
        const QSignalBlocker block(box_);
        const QString text = box_->currentText();
        box_->addItem(ui::icon(ui::Picture::Folder), root_);
        box_->setEditText(text);
    }
    saveBookmarks();
}

void LocalPane::deleteBookmark() {
    const QString text = box_->currentText();
    if (text.isEmpty()) return;
    {
        // Removing the chosen entry would show another one and move the list there.
        const QSignalBlocker block(box_);
        const int at = box_->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (at >= 0) box_->removeItem(at);
        box_->setCurrentIndex(-1);
        box_->setEditText(QString());
    }
    saveBookmarks();
}

// --- the list ----------------------------------------------------------------

bool LocalPane::setRootPath(const QString& path) {
    if (path.isEmpty()) return false;
    const QFileInfo info(path);
    if (!info.isAbsolute() || !info.isDir()) return false;
    const QString clean = QDir::cleanPath(info.absoluteFilePath());
    root_ = QDir::toNativeSeparators(clean);
    selection_->clear();
    const QModelIndex rootIndex = model_->setRootPath(clean);
    icons_->setRootIndex(rootIndex);
    report_->setRootIndex(rootIndex);
    return true;
}

void LocalPane::loadLayout(const ui::IniFile& ini) {
    const QString local =
        ini.readString(QStringLiteral("MAIN"), QStringLiteral("LOCALPATH"), QStringLiteral("-1"));
    if (local != QLatin1String("-1")) setRootPath(local);
}

void LocalPane::saveLayout(ui::IniFile& ini) const {
    const QString key = QStringLiteral("LOCALPATH");
    const QString main = QStringLiteral("MAIN");
    if (!QFileInfo(root_).isDir() || !ini.writeString(main, key, root_))
        ini.writeString(main, key, QStringLiteral("-1"));
}

std::vector<LocalPane::Selected> LocalPane::selectedItems() const {
    const QModelIndex rootIndex = model_->index(QDir::fromNativeSeparators(root_));
    std::vector<int> rows;
    for (const QModelIndex& i : selection_->selectedIndexes())
        if (i.parent() == rootIndex) rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    std::vector<Selected> out;
    for (int r : rows) {
        const QModelIndex i = model_->index(r, 0, rootIndex);
        out.push_back({QDir::toNativeSeparators(model_->filePath(i)), model_->isDir(i)});
    }
    return out;
}

QStringList LocalPane::selectedPaths() const {
    QStringList out;
    for (const Selected& s : selectedItems()) out << s.path;
    return out;
}

bool LocalPane::selectPaths(const QStringList& paths) {
    QItemSelection sel;
    bool all = true;
    for (const QString& p : paths) {
        const QModelIndex i = model_->index(QDir::fromNativeSeparators(p));
        if (!i.isValid()) {
            all = false;
            continue;
        }
        sel.select(i, i.siblingAtColumn(model_->columnCount(i.parent()) - 1));
    }
    selection_->select(sel, QItemSelectionModel::ClearAndSelect);
    return all;
}

QAbstractItemView* LocalPane::currentView() const {
    return stack_->currentWidget() == report_ ? static_cast<QAbstractItemView*>(report_)
                                              : static_cast<QAbstractItemView*>(icons_);
}

void LocalPane::openItem(const QModelIndex& index) {
    if (!index.isValid() || !model_->isDir(index)) return;
    setRootPath(model_->filePath(index));
}

void LocalPane::upOneLevel() {
    QDir dir(QDir::fromNativeSeparators(root_));
    // At the top of the file system the list stays where it is.
    if (dir.cdUp()) setRootPath(dir.absolutePath());
}

// --- upload and drops ----------------------------------------------------------

void LocalPane::setUploadEnabled(bool on) { actUpload_->setEnabled(on); }

QToolButton* LocalPane::uploadButton() const {
    auto* bar = findChild<QToolBar*>(QStringLiteral("LocalToolBar"));
    return bar ? qobject_cast<QToolButton*>(bar->widgetForAction(actUpload_)) : nullptr;
}

void LocalPane::upload() {
    if (!actUpload_->isEnabled()) return;
    // Taken before any message box: the selection may change while one is open.
    const std::vector<Selected> items = selectedItems();
    std::vector<rupdown> entries;
    for (const Selected& it : items) {
        const QFileInfo info(it.path);
        if (it.folder ? !info.isDir() : !info.isFile()) {
            ui::error(this, kInvalidPath);
            continue;
        }
        rupdown e;
        e.direction = 0;
        e.localpath = utf8(it.path);
        e.remotedir = kCurrentRemoteFolder;
        e.size = it.folder ? 0 : info.size();
        e.name = utf8(info.fileName());
        e.isfolder = it.folder;
        e.checkremote = false;
        entries.push_back(std::move(e));
    }
    if (!entries.empty()) emit uploadRequested(entries);
}

void LocalPane::dropRemoteRows(const dragfmt::RemoteRows& rows, const QString& itemPath,
                               bool itemIsFolder) {
    const QString target = localpane::DropTargetFolder(root_, itemPath, itemIsFolder);
    if (target.isEmpty() || !QFileInfo(target).isDir()) {
        ui::error(this, kInvalidPath);
        return;
    }
    emit downloadDropped(localpane::PlanDownloadDrop(target, rows));
}

bool LocalPane::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::DragLeave:
    case QEvent::Drop:
        for (QAbstractItemView* v : {static_cast<QAbstractItemView*>(icons_),
                                     static_cast<QAbstractItemView*>(report_)})
            if (watched == v->viewport()) return handleDragEvent(v, event);
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

bool LocalPane::handleDragEvent(QAbstractItemView* view, QEvent* event) {
    if (event->type() == QEvent::DragLeave) return true;
    auto* e = static_cast<QDropEvent*>(event);
    // Only rows of a remote list are taken; local items dragged back are refused.
    const QMimeData* mime = e->mimeData();
    if (!mime || !mime->hasFormat(QString::fromLatin1(dragfmt::kRemoteRowsMime))) {
        e->ignore();
        return true;
    }
    if (event->type() != QEvent::Drop) {
        e->setDropAction(Qt::CopyAction);
        e->accept();
        return true;
    }
    dragfmt::RemoteRows rows;
    if (!dragfmt::decodeRemoteRows(mime->data(QString::fromLatin1(dragfmt::kRemoteRowsMime)), rows)) {
        e->ignore();
        return true;
    }
    const QModelIndex at = view->indexAt(e->position().toPoint());
    QString itemPath;
    bool folder = false;
    if (at.isValid()) {
        itemPath = QDir::toNativeSeparators(model_->filePath(at));
        folder = model_->isDir(at);
    }
    e->setDropAction(Qt::CopyAction);
    e->accept();
    // Handled once the drag has ended: a message box must not open inside it.
    QPointer<LocalPane> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, rows = std::move(rows), itemPath, folder] {
            if (self) self->dropRemoteRows(rows, itemPath, folder);
        },
        Qt::QueuedConnection);
    return true;
}

// --- view styles and help -------------------------------------------------------

QAction* LocalPane::viewStyleItem(int code) const {
    return code >= 0 && code < 4 ? styleItems_[code] : nullptr;
}

void LocalPane::setViewStyleCode(int code) { applyViewStyle(code); }

void LocalPane::cycleViewStyle() {
    cycle_ = cycle_ <= 1 || cycle_ > 4 ? 4 : cycle_ - 1;
    applyViewStyle(cycle_ - 1);
}

void LocalPane::applyViewStyle(int code) {
    if (code < 0 || code > 3) return;
    view_ = code;
    styleItems_[code]->setChecked(true);
    if (code == 3) {
        stack_->setCurrentWidget(report_);
        return;
    }
    icons_->setViewMode(code == 0 ? QListView::IconMode : QListView::ListMode);
    icons_->setIconSize(code == 0 ? QSize(32, 32) : QSize(16, 16));
    icons_->setFlow(code == 1 ? QListView::TopToBottom : QListView::LeftToRight);
    icons_->setWrapping(true);
    icons_->setResizeMode(QListView::Adjust);
    // Icons stay in their places; a drag carries the files, it does not move icons.
    icons_->setMovement(QListView::Static);
    stack_->setCurrentWidget(icons_);
}

void LocalPane::showHelp() { ui::helpJump(this, QStringLiteral("Newitem20")); }
