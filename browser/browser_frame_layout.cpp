// The controls of a browser frame: log, toolbar, remote list with its popup,
// queue list and progress strip.
#include "browser/browser_frame.h"

#include "browser/connection_log.h"
#include "browser/drag_formats.h"
#include "browser/remote_list_model.h"

#include <QAction>
#include <QActionGroup>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QScrollArea>
#include <QSplitter>
#include <QStackedWidget>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QStandardItemModel>
#include <QVBoxLayout>

QAction* Tfb::addAction(const QString& name, QMenu* menu) {
    auto* a = new QAction(name, this);
    a->setToolTip(name);
    if (menu) menu->addAction(a);
    actions_.emplace_back(name, a);
    return a;
}

QAction* Tfb::action(const QString& name) const {
    for (const auto& [n, a] : actions_)
        if (n == name) return a;
    return nullptr;
}

void Tfb::buildLayout() {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    splitter_ = new QSplitter(Qt::Vertical, this);
    outer->addWidget(splitter_);

    log_ = new browser::ConnectionLog(this);
    logView_ = new QListView(splitter_);
    logView_->setModel(log_);
    logView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    logView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    logView_->setUniformItemSizes(true);
    logView_->setIconSize(QSize(16, 16));
    logView_->setAccessibleName(QStringLiteral("Information"));
    logView_->setContextMenuPolicy(Qt::CustomContextMenu);
    logMenu_ = new QMenu(this);
    connect(addAction(QStringLiteral("Clear"), logMenu_), &QAction::triggered, this, &Tfb::ClearLog);
    connect(addAction(QStringLiteral("Save to file..."), logMenu_), &QAction::triggered, this,
            &Tfb::SaveLog);
    connect(logView_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { logMenu_->popup(logView_->viewport()->mapToGlobal(p)); });
    connect(log_, &browser::ConnectionLog::lineAdded, this, [this](int row) {
        logView_->scrollTo(log_->index(row, 0));
    });
    splitter_->addWidget(logView_);

    auto* middle = new QWidget(splitter_);
    auto* mid = new QVBoxLayout(middle);
    mid->setContentsMargins(0, 0, 0, 0);
    mid->setSpacing(0);
    buildToolbar(middle);
    buildRemoteList(middle);
    splitter_->addWidget(middle);

    auto* bottom = new QWidget(splitter_);
    buildQueue(bottom);
    splitter_->addWidget(bottom);
    splitter_->setStretchFactor(0, 0);
    splitter_->setStretchFactor(1, 1);
    splitter_->setStretchFactor(2, 0);
    splitter_->setSizes({info_, 300, queue_});
    connect(splitter_, &QSplitter::splitterMoved, this, [this] {
        const QList<int> s = splitter_->sizes();
        if (s.size() == 3) {
            info_ = s[0];
            queue_ = s[2];
        }
    });
}

void Tfb::buildToolbar(QWidget* host) {
    QStyle* st = style();
    auto* scroll = new QScrollArea(host);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    toolbar_ = new QToolBar(scroll);
    toolbar_->setIconSize(QSize(16, 16));
    toolbar_->setAccessibleName(QStringLiteral("Remote toolbar"));
    scroll->setWidget(toolbar_);
    scroll->setFixedHeight(toolbar_->sizeHint().height() + 18);
    host->layout()->addWidget(scroll);

    auto tool = [&](const QString& name, QStyle::StandardPixmap px) {
        QAction* a = addAction(name);
        a->setIcon(st->standardIcon(px));
        toolbar_->addAction(a);
        if (auto* b = qobject_cast<QToolButton*>(toolbar_->widgetForAction(a)))
            b->setAccessibleName(name);
        return a;
    };
    connect(tool(QStringLiteral("Back"), QStyle::SP_ArrowBack), &QAction::triggered, this, &Tfb::GoBack);
    connect(tool(QStringLiteral("Refresh"), QStyle::SP_BrowserReload), &QAction::triggered, this,
            &Tfb::Refresh);
    connect(tool(QStringLiteral("Abort operation"), QStyle::SP_BrowserStop), &QAction::triggered, this,
            &Tfb::AbortOperation);
    connect(tool(QStringLiteral("Disconnect"), QStyle::SP_DialogCloseButton), &QAction::triggered, this,
            &Tfb::DisconnectButton);
    toolbar_->addSeparator();
    connect(tool(QStringLiteral("Find..."), QStyle::SP_FileDialogContentsView), &QAction::triggered, this,
            &Tfb::Find);
    connect(tool(QStringLiteral("Filter"), QStyle::SP_FileDialogListView), &QAction::triggered, this,
            &Tfb::Filter);
    toolbar_->addSeparator();
    connect(tool(QStringLiteral("Make new directory"), QStyle::SP_FileDialogNewFolder), &QAction::triggered,
            this, &Tfb::MakeNewDirectory);
    connect(tool(QStringLiteral("Delete"), QStyle::SP_TrashIcon), &QAction::triggered, this,
            &Tfb::DeleteSelected);
    connect(tool(QStringLiteral("Download..."), QStyle::SP_ArrowDown), &QAction::triggered, this,
            &Tfb::downloadRequested);
    connect(tool(QStringLiteral("Add task"), QStyle::SP_FileDialogDetailedView), &QAction::triggered, this,
            &Tfb::addTaskRequested);

    exportMenu_ = new QMenu(this);
    QAction* exportWhole = tool(QStringLiteral("Export whole directories"), QStyle::SP_DialogSaveButton);
    connect(exportWhole, &QAction::triggered, this, &Tfb::ExportWhole);
    connect(addAction(QStringLiteral("menu/Export whole directories"), exportMenu_), &QAction::triggered, this,
            &Tfb::ExportWhole);
    action(QStringLiteral("menu/Export whole directories"))->setText(QStringLiteral("Export whole directories"));
    QAction* exportSel = addAction(QStringLiteral("menu/Export selected"), exportMenu_);
    exportSel->setText(QStringLiteral("Export selected"));
    connect(exportSel, &QAction::triggered, this, &Tfb::ExportSelected);
    exportWhole->setMenu(exportMenu_);
    if (auto* b = qobject_cast<QToolButton*>(toolbar_->widgetForAction(exportWhole)))
        b->setPopupMode(QToolButton::MenuButtonPopup);
    toolbar_->addSeparator();

    viewMenu_ = new QMenu(this);
    viewGroup_ = new QActionGroup(this);
    const QString styles[4] = {QStringLiteral("Large icon"), QStringLiteral("List"),
                               QStringLiteral("Small icon"), QStringLiteral("Report")};
    for (int i = 0; i < 4; ++i) {
        QAction* a = addAction(QStringLiteral("view/") + styles[i], viewMenu_);
        a->setText(styles[i]);
        a->setCheckable(true);
        a->setChecked(i == 3);
        viewGroup_->addAction(a);
        connect(a, &QAction::triggered, this, [this, i] {
            applyViewStyle(i);
        });
    }
    QAction* view = tool(QStringLiteral("View"), QStyle::SP_FileDialogInfoView);
    view->setMenu(viewMenu_);
    if (auto* b = qobject_cast<QToolButton*>(toolbar_->widgetForAction(view))) {
        b->setPopupMode(QToolButton::MenuButtonPopup);
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    }
    connect(view, &QAction::triggered, this, &Tfb::ViewButton);
    toolbar_->addSeparator();
    connect(tool(QStringLiteral("Help"), QStyle::SP_DialogHelpButton), &QAction::triggered, this, &Tfb::Help);

    for (const auto& [name, a] : actions_) {
        if (name.contains('/') || a->parent() != this) continue;
        if (logMenu_->actions().contains(a)) continue;
        a->setEnabled(name == QLatin1String("Disconnect") || name == QLatin1String("View") ||
                      name == QLatin1String("Help"));
    }
    exportSel->setEnabled(false);
}

void Tfb::buildRemoteList(QWidget* host) {
    model_ = new browser::RemoteListModel(&view_.listing, this);
    connect(model_, &browser::RemoteListModel::renameRequested, this, &Tfb::onRenameRequested,
            Qt::QueuedConnection);
    model_->dragData = [this](const std::vector<int>& rows) {
        dragfmt::RemoteRows payload;
        payload.frame = objectName();
        payload.folder = session_->currentdir();
        for (int i : rows)
            if (const rdatalist* r = model_->row(i))
                payload.rows.push_back({r->name, r->isFolder(), r->size, r->modified});
        auto* data = new QMimeData;
        data->setData(QString::fromLatin1(dragfmt::kRemoteRowsMime), dragfmt::encodeRemoteRows(payload));
        return data;
    };
    connect(model_, &browser::RemoteListModel::filesDropped, this, [this](const QStringList& paths, int row) {
        if (!browsing_) return;
        QByteArray folderRow;
        if (const rdatalist* r = model_->row(row); r && r->isFolder())
            folderRow = QByteArray(r->name.data(), static_cast<qsizetype>(r->name.size()));
        emit localFilesDropped(paths, folderRow);
    });
    stack_ = new QStackedWidget(host);
    report_ = new QTreeView(stack_);
    report_->setModel(model_);
    report_->setRootIsDecorated(false);
    report_->setUniformRowHeights(true);
    report_->setItemsExpandable(false);
    report_->setAllColumnsShowFocus(true);
    report_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    report_->setSelectionBehavior(QAbstractItemView::SelectRows);
    report_->setEditTriggers(QAbstractItemView::EditKeyPressed);
    report_->setAccessibleName(QStringLiteral("Remote files"));
    report_->header()->setSectionsClickable(true);
    report_->header()->setStretchLastSection(false);
    report_->setColumnWidth(0, 220);
    report_->setColumnWidth(1, 80);
    report_->setColumnWidth(2, 150);
    report_->setColumnWidth(3, 140);
    connect(report_->header(), &QHeaderView::sectionClicked, this, [this](int i) {
        if (browsing_) SortBy(i);
    });
    icons_ = new QListView(stack_);
    icons_->setModel(model_);
    icons_->setSelectionModel(report_->selectionModel());
    icons_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    icons_->setEditTriggers(QAbstractItemView::EditKeyPressed);
    icons_->setUniformItemSizes(true);
    icons_->setResizeMode(QListView::Adjust);
    icons_->setAccessibleName(QStringLiteral("Remote files"));
    stack_->addWidget(report_);
    stack_->addWidget(icons_);
    host->layout()->addWidget(stack_);

    for (QAbstractItemView* v : {static_cast<QAbstractItemView*>(report_), static_cast<QAbstractItemView*>(icons_)}) {
        v->setContextMenuPolicy(Qt::CustomContextMenu);
        v->setDragEnabled(true);
        v->setAcceptDrops(true);
        v->setDropIndicatorShown(true);
        v->setDragDropMode(QAbstractItemView::DragDrop);
        v->setDefaultDropAction(Qt::CopyAction);
        connect(v, &QAbstractItemView::doubleClicked, this, &Tfb::onRowActivated);
        connect(v, &QWidget::customContextMenuRequested, this,
                [this, v](const QPoint& p) { remoteMenu_->popup(v->viewport()->mapToGlobal(p)); });
    }
    connect(report_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &Tfb::updateSelectionControls);
    connect(model_, &QAbstractItemModel::modelReset, this, &Tfb::updateSelectionControls);

    remoteMenu_ = new QMenu(this);
    auto popup = [&](const QString& name) {
        QAction* a = addAction(QStringLiteral("popup/") + name, remoteMenu_);
        a->setText(name);
        return a;
    };
    QAction* dl = popup(QStringLiteral("Download..."));
    dl->setVisible(false);
    dl->setEnabled(false);
    connect(dl, &QAction::triggered, this, &Tfb::downloadRequested);
    remoteMenu_->addSeparator();
    popupViewMenu_ = remoteMenu_->addMenu(QStringLiteral("View"));
    popupViewGroup_ = new QActionGroup(this);
    const QString styles[4] = {QStringLiteral("Large icon"), QStringLiteral("List"),
                               QStringLiteral("Small icon"), QStringLiteral("Report")};
    for (int i = 0; i < 4; ++i) {
        QAction* a = addAction(QStringLiteral("popup/view/") + styles[i], popupViewMenu_);
        a->setText(styles[i]);
        a->setCheckable(true);
        a->setChecked(i == 3);
        popupViewGroup_->addAction(a);
        connect(a, &QAction::triggered, this, [this, i] { applyViewStyle(i); });
    }
    QMenu* sortMenu = remoteMenu_->addMenu(QStringLiteral("Sort"));
    actions_.emplace_back(QStringLiteral("popup/Sort"), sortMenu->menuAction());
    sortMenu->menuAction()->setEnabled(false);
    const QString sorts[4] = {QStringLiteral("Sort by name"), QStringLiteral("Sort by size"),
                              QStringLiteral("Sort by type"), QStringLiteral("Sort by date")};
    for (int i = 0; i < 4; ++i) {
        QAction* a = addAction(sorts[i], sortMenu);
        connect(a, &QAction::triggered, this, [this, i] { SortBy(i); });
    }
    remoteMenu_->addSeparator();
    QAction* del = popup(QStringLiteral("Delete"));
    del->setVisible(false);
    connect(del, &QAction::triggered, this, &Tfb::DeleteSelected);
    QAction* ren = popup(QStringLiteral("Rename"));
    ren->setVisible(false);
    connect(ren, &QAction::triggered, this, &Tfb::RenameSelected);
    QAction* mk = popup(QStringLiteral("Make new directory"));
    mk->setEnabled(false);
    connect(mk, &QAction::triggered, this, &Tfb::MakeNewDirectory);
    remoteMenu_->addSeparator();
    QAction* task = popup(QStringLiteral("Add task..."));
    task->setEnabled(false);
    connect(task, &QAction::triggered, this, &Tfb::addTaskRequested);
    QAction* exp = popup(QStringLiteral("Export selected"));
    exp->setVisible(false);
    connect(exp, &QAction::triggered, this, &Tfb::ExportSelected);
    remoteMenu_->addSeparator();
    QAction* find = popup(QStringLiteral("Find..."));
    find->setEnabled(false);
    connect(find, &QAction::triggered, this, &Tfb::Find);
    QAction* filt = popup(QStringLiteral("Filter..."));
    filt->setEnabled(false);
    connect(filt, &QAction::triggered, this, &Tfb::Filter);
    remoteMenu_->addSeparator();
    QAction* ref = popup(QStringLiteral("Refresh"));
    ref->setEnabled(false);
    connect(ref, &QAction::triggered, this, &Tfb::Refresh);

    applyViewStyle(3);
}

void Tfb::buildQueue(QWidget* host) {
    auto* lay = new QVBoxLayout(host);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->setSpacing(2);
    queueList_ = new QTreeView(host);
    queueList_->setRootIsDecorated(false);
    queueList_->setUniformRowHeights(true);
    queueList_->setSelectionBehavior(QAbstractItemView::SelectRows);
    queueList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    queueList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    queueList_->setAccessibleName(QStringLiteral("Transfer queue"));
    queueList_->setContextMenuPolicy(Qt::CustomContextMenu);
    lay->addWidget(queueList_);
    // Until the transfer engine gives the list its model, an empty one with the columns.
    auto* empty = new QStandardItemModel(0, 5, this);
    empty->setHorizontalHeaderLabels({QString(), QStringLiteral("Name"), QStringLiteral("Size (bytes)"),
                                      QStringLiteral("Status"), QStringLiteral("Path")});
    setQueueModel(empty);

    queueMenu_ = new QMenu(this);
    auto queueItem = [&](const QString& name) {
        QAction* a = addAction(QStringLiteral("queue/") + name, queueMenu_);
        a->setText(name);
        a->setEnabled(false);
        return a;
    };
    connect(queueItem(QStringLiteral("Transfer")), &QAction::triggered, this, &Tfb::transferRequested);
    queueMenu_->addSeparator();
    connect(queueItem(QStringLiteral("Stop")), &QAction::triggered, this, &Tfb::AbortOperation);
    connect(queueItem(QStringLiteral("Delete")), &QAction::triggered, this, &Tfb::queueDeleteRequested);
    connect(queueItem(QStringLiteral("Clear")), &QAction::triggered, this, &Tfb::queueClearRequested);
    connect(queueList_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { queueMenu_->popup(queueList_->viewport()->mapToGlobal(p)); });

    strip_ = new QWidget(host);
    auto* s = new QHBoxLayout(strip_);
    s->setContentsMargins(4, 0, 4, 2);
    s->addWidget(new QLabel(QStringLiteral("Completed"), strip_));
    progressBox_ = new QLabel(QStringLiteral("0/0"), strip_);
    progressBox_->setFrameShape(QFrame::StyledPanel);
    progressBox_->setMinimumWidth(120);
    progressBox_->setAccessibleName(QStringLiteral("Completed"));
    s->addWidget(progressBox_);
    gauge_ = new QProgressBar(strip_);
    gauge_->setRange(0, 100);
    gauge_->setValue(0);
    gauge_->setAccessibleName(QStringLiteral("Progress"));
    s->addWidget(gauge_, 1);
    s->addWidget(new QLabel(QStringLiteral("Speed:"), strip_));
    speed_ = new QLabel(QStringLiteral("0KB/S"), strip_);
    speed_->setAccessibleName(QStringLiteral("Speed:"));
    s->addWidget(speed_);
    strip_->setVisible(false);
    lay->addWidget(strip_);
}

void Tfb::setQueueModel(QAbstractItemModel* model) {
    queueList_->setModel(model);
    queueList_->setColumnWidth(0, 22);
    queueList_->setColumnWidth(2, 100);
    queueList_->setColumnWidth(3, 112);
    // The popup's items follow the selection; the engine may narrow "Delete".
    connect(queueList_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const bool any = queueList_->selectionModel()->hasSelection();
        for (const char* n : {"queue/Transfer", "queue/Stop", "queue/Delete", "queue/Clear"})
            if (QAction* a = action(QString::fromLatin1(n))) a->setEnabled(any);
    });
}
