#include "app/site_list_pane.h"

#include "dialogs/site_editor.h"
#include "dialogs/store_messages.h"
#include "platform/ui/app_paths.h"
#include "platform/ui/dialog_service.h"
#include "store/site_records.h"

#include <QAction>
#include <QActionGroup>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QSplitter>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <set>

namespace sites {

QStringList descriptionLines(const QString& address, int port, const QString& cdate,
                             const QString& zdate, const QString& comment) {
    QStringList lines;
    lines << QStringLiteral("FTP address: ") + address
          << QStringLiteral("Port: ") + QString::number(port)
          << QStringLiteral("Create date: ") + cdate
          << QStringLiteral("Latest date: ") + zdate << QString();
    if (!comment.isEmpty()) {
        QString c = comment;
        c.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        c.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        // A final line break ends the last line; it does not start another.
        if (c.endsWith(QLatin1Char('\n'))) c.chop(1);
        lines << c.split(QLatin1Char('\n'));
    }
    return lines;
}

}  // namespace sites

namespace {

const char* const kStyleNames[4] = {"Large icon", "List", "Small icon", "Report"};

// In-place editing of the caption: the text the user typed goes to the pane's
// rename, which decides what the row shows. The call is queued so that a
// warning box does not open while the editor is still closing.
class RenameDelegate : public QStyledItemDelegate {
public:
    RenameDelegate(SiteListPane* pane, QObject* parent) : QStyledItemDelegate(parent), pane_(pane) {}
    void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override {
        auto* line = qobject_cast<QLineEdit*>(editor);
        if (!line || index.column() != 0) return;
        const QString text = line->text();
        const QPersistentModelIndex where(index);
        QPointer<SiteListPane> pane(pane_);
        QMetaObject::invokeMethod(
            pane_,
            [pane, where, text] {
                if (pane && where.isValid()) pane->renameRow(where.row(), text);
            },
            Qt::QueuedConnection);
    }

private:
    SiteListPane* pane_;
};

}  // namespace

SiteListPane::SiteListPane(store::Tdm& dm, QWidget* parent) : QWidget(parent), dm_(dm) {
    setObjectName(QStringLiteral("SiteListPane"));

    model_ = new QStandardItemModel(0, 4, this);
    model_->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("FTP Address"),
                                       QStringLiteral("Create date"),
                                       QStringLiteral("Latest access")});
    selection_ = new QItemSelectionModel(model_, this);

    icons_ = new QListView;
    icons_->setObjectName(QStringLiteral("SiteIconView"));
    report_ = new QTreeView;
    report_->setObjectName(QStringLiteral("SiteReportView"));
    report_->setRootIsDecorated(false);
    report_->setUniformRowHeights(true);
    report_->setAllColumnsShowFocus(true);
    report_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    report_->header()->setStretchLastSection(false);
    for (QAbstractItemView* v : {static_cast<QAbstractItemView*>(icons_),
                                 static_cast<QAbstractItemView*>(report_)}) {
        v->setModel(model_);
        v->setSelectionModel(selection_);
        // One delegate per view: a shared one would hand each view the other's editor.
        v->setItemDelegate(new RenameDelegate(this, v));
        v->setSelectionMode(QAbstractItemView::SingleSelection);
        v->setSelectionBehavior(QAbstractItemView::SelectRows);
        v->setEditTriggers(QAbstractItemView::EditKeyPressed);
        v->setContextMenuPolicy(Qt::CustomContextMenu);
        v->setAccessibleName(QStringLiteral("FTP sites"));
        connect(v, &QAbstractItemView::doubleClicked, this,
                [this](const QModelIndex& i) { guarded([&] { activateRow(i.row()); }); });
        connect(v, &QWidget::customContextMenuRequested, this,
                [this, v](const QPoint& p) { showPopup(v->viewport()->mapToGlobal(p)); });
    }
    // Keep the selection visible when the list loses the focus.
    for (QWidget* v : {static_cast<QWidget*>(icons_), static_cast<QWidget*>(report_)}) {
        QPalette pal = v->palette();
        pal.setColor(QPalette::Inactive, QPalette::Highlight,
                     pal.color(QPalette::Active, QPalette::Highlight));
        pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     pal.color(QPalette::Active, QPalette::HighlightedText));
        v->setPalette(pal);
    }
    connect(selection_, &QItemSelectionModel::selectionChanged, this,
            [this] { guarded([this] { selectionChanged(); }); });

    stack_ = new QStackedWidget;
    stack_->addWidget(icons_);
    stack_->addWidget(report_);

    descArea_ = new QWidget;
    descArea_->setObjectName(QStringLiteral("SiteDescriptionArea"));
    auto* descLayout = new QVBoxLayout(descArea_);
    descLayout->setContentsMargins(0, 0, 0, 0);
    auto* heading = new QLabel(QStringLiteral("FTP site description"));
    desc_ = new QPlainTextEdit;
    desc_->setObjectName(QStringLiteral("SiteDescription"));
    desc_->setReadOnly(true);
    desc_->setFrameShape(QFrame::NoFrame);
    heading->setBuddy(desc_);
    descLayout->addWidget(heading);
    descLayout->addWidget(desc_);

    splitter_ = new QSplitter(Qt::Vertical);
    splitter_->setHandleWidth(3);
    splitter_->setChildrenCollapsible(false);
    splitter_->addWidget(stack_);
    splitter_->addWidget(descArea_);
    splitter_->setStretchFactor(0, 1);
    splitter_->setStretchFactor(1, 0);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    buildToolbar();
    layout->addWidget(findChild<QToolBar*>(QStringLiteral("SiteToolBar")));
    layout->addWidget(splitter_, 1);
    buildMenu();

    applyViewStyle(view_);
    setDescriptionHeight(descHeight_);
    // The list always holds the new-site entry, even before the store is read.
    appendNewSiteRow();
    selectionChanged();
}

SiteListPane::~SiteListPane() = default;

void SiteListPane::buildToolbar() {
    auto* bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("SiteToolBar"));
    bar->setIconSize(QSize(16, 16));
    QStyle* st = style();
    auto add = [&](QStyle::StandardPixmap icon, const char* hint) {
        QAction* a = bar->addAction(st->standardIcon(icon), QString::fromLatin1(hint));
        a->setToolTip(QString::fromLatin1(hint));
        if (QWidget* w = bar->widgetForAction(a)) w->setAccessibleName(QString::fromLatin1(hint));
        return a;
    };
    actQuick_ = add(QStyle::SP_ComputerIcon, "Quick connect");
    bar->addSeparator();
    actEdit_ = add(QStyle::SP_FileDialogDetailedView, "Edit FTP site");
    actDelete_ = add(QStyle::SP_TrashIcon, "Delete");
    actConnection_ = add(QStyle::SP_DriveNetIcon, "Connection");
    bar->addSeparator();

    styleMenu_ = new QMenu(this);
    styleGroup_ = new QActionGroup(this);
    styleGroup_->setExclusive(true);
    for (int code = 0; code < 4; ++code) {
        QAction* a = styleMenu_->addAction(QString::fromLatin1(kStyleNames[code]));
        a->setCheckable(true);
        styleGroup_->addAction(a);
        styleItems_[code] = a;
        connect(a, &QAction::triggered, this, [this, code] { applyViewStyle(code); });
    }
    actStyle_ = new QAction(st->standardIcon(QStyle::SP_FileDialogListView),
                            QStringLiteral("View style"), this);
    actStyle_->setToolTip(QStringLiteral("View style"));
    styleButton_ = new QToolButton(bar);
    styleButton_->setDefaultAction(actStyle_);
    styleButton_->setMenu(styleMenu_);
    styleButton_->setPopupMode(QToolButton::MenuButtonPopup);
    styleButton_->setAccessibleName(QStringLiteral("View style"));
    bar->addWidget(styleButton_);
    bar->addSeparator();
    actHelp_ = add(QStyle::SP_DialogHelpButton, "Help");

    connect(actQuick_, &QAction::triggered, this, [this] { quickConnect(); });
    connect(actEdit_, &QAction::triggered, this, [this] { editSelected(); });
    connect(actDelete_, &QAction::triggered, this, [this] { deleteSelected(); });
    connect(actConnection_, &QAction::triggered, this, [this] { connectionButton(); });
    connect(actStyle_, &QAction::triggered, this, [this] { cycleViewStyle(); });
    connect(actHelp_, &QAction::triggered, this, [this] { showHelp(); });
}

void SiteListPane::buildMenu() {
    menu_ = new QMenu(this);
    menu_->setObjectName(QStringLiteral("SitePopupMenu"));
    menuConnect_ = menu_->addAction(QStringLiteral("Connect"));
    QFont bold = menuConnect_->font();
    bold.setBold(true);
    menuConnect_->setFont(bold);
    menu_->setDefaultAction(menuConnect_);
    menu_->addSeparator();
    menuNew_ = menu_->addAction(QStringLiteral("New "));
    menuEdit_ = menu_->addAction(QStringLiteral("Edit"));
    menuDelete_ = menu_->addAction(QStringLiteral("Delete"));
    menu_->addSeparator();
    menuRename_ = menu_->addAction(QStringLiteral("Rename"));
    menu_->addSeparator();
    menuRefresh_ = menu_->addAction(QStringLiteral("Refresh"));

    connect(menuConnect_, &QAction::triggered, this, [this] { connectSelected(); });
    connect(menuNew_, &QAction::triggered, this, [this] { newSite(); });
    connect(menuEdit_, &QAction::triggered, this, [this] { editSelected(); });
    connect(menuDelete_, &QAction::triggered, this, [this] { deleteSelected(); });
    connect(menuRename_, &QAction::triggered, this, [this] { startRename(); });
    connect(menuRefresh_, &QAction::triggered, this, [this] { refresh(); });
}

void SiteListPane::guarded(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const std::exception& e) {
        qWarning("Site list: %s", e.what());
    }
}

void SiteListPane::FillList() {
    {
        const QSignalBlocker block(selection_);
        selection_->clear();
    }
    model_->removeRows(0, model_->rowCount());
    appendNewSiteRow();
    // Keep the list consistent (no stale selection state) even when reading fails.
    struct Refresh {
        SiteListPane* p;
        ~Refresh() {
            try {
                p->selectionChanged();
            } catch (...) {
            }
        }
    } refreshAfter{this};

    const QIcon siteIcon = style()->standardIcon(QStyle::SP_DriveNetIcon);
    for (const store::SiteRecord& site : store::allSites(dm_)) {
        QList<QStandardItem*> row;
        row << new QStandardItem(siteIcon, QString::fromUtf8(site.name))
            << new QStandardItem(QString::fromUtf8(site.address))
            << new QStandardItem(QString::fromUtf8(site.cdate))
            << new QStandardItem(QString::fromUtf8(site.zdate));
        for (int c = 1; c < row.size(); ++c) row[c]->setEditable(false);
        model_->appendRow(row);
    }
}

void SiteListPane::appendNewSiteRow() {
    QList<QStandardItem*> row{
        new QStandardItem(style()->standardIcon(QStyle::SP_FileDialogNewFolder),
                          QStringLiteral("NewFTPSite")),
        new QStandardItem, new QStandardItem, new QStandardItem};
    // Only the caption can be edited in place.
    for (int c = 1; c < row.size(); ++c) row[c]->setEditable(false);
    model_->appendRow(row);
}

int SiteListPane::rowCount() const { return model_->rowCount(); }

QString SiteListPane::rowText(int row, int column) const {
    QStandardItem* it = model_->item(row, column);
    return it ? it->text() : QString();
}

int SiteListPane::selectedRow() const {
    const QModelIndexList rows = selection_->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void SiteListPane::selectRow(int row) {
    if (row < 0 || row >= model_->rowCount()) {
        selection_->clear();
        return;
    }
    selection_->setCurrentIndex(model_->index(row, 0),
                                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

QString SiteListPane::description() const { return desc_->toPlainText(); }

QString SiteListPane::selectedSiteName(bool* ok) const {
    const int row = selectedRow();
    *ok = row > 0;
    return *ok ? rowText(row) : QString();
}

void SiteListPane::selectionChanged() {
    const int row = selectedRow();
    const bool site = row > 0;
    actEdit_->setEnabled(site);
    actDelete_->setEnabled(site);
    actConnection_->setEnabled(site);
    menuConnect_->setVisible(site);
    menuEdit_->setVisible(site);
    menuDelete_->setVisible(site);
    menuRename_->setVisible(site);
    if (!site) {
        desc_->clear();
        return;
    }
    const auto rec = store::findSite(dm_, rowText(row).toUtf8().toStdString());
    if (!rec) return;
    desc_->setPlainText(sites::descriptionLines(QString::fromUtf8(rec->address), rec->port,
                                                QString::fromUtf8(rec->cdate),
                                                QString::fromUtf8(rec->zdate),
                                                QString::fromUtf8(rec->comment))
                            .join(QLatin1Char('\n')));
}

QMenu* SiteListPane::popupMenu() {
    // The new-site entry has no pop-up menu at all.
    return selectedRow() == 0 ? nullptr : menu_;
}

void SiteListPane::showPopup(const QPoint& globalPos) {
    if (QMenu* m = popupMenu()) m->popup(globalPos);
}

void SiteListPane::activateRow(int row) {
    if (row == 0) {
        applyEditor(TForm4::NewSite(this, dm_), QString());
        FillList();
    } else if (row > 0 && row < model_->rowCount()) {
        emit openPageRequested(rowText(row));
    }
}

void SiteListPane::applyEditor(const TForm4::Outcome& outcome, const QString& openingName) {
    if (outcome.optionsSaved) emit optionsSaved();
    if (outcome.savedName.isEmpty()) return;
    if (!openingName.isEmpty() && outcome.savedName != openingName)
        emit siteRenamed(openingName, outcome.savedName);
    FillList();
}

void SiteListPane::connectSelected() {
    guarded([this] {
        const int row = selectedRow();
        if (row >= 0) activateRow(row);
    });
}

void SiteListPane::connectionButton() {
    guarded([this] {
        bool ok = false;
        const QString name = selectedSiteName(&ok);
        if (ok) emit openPageRequested(name);
    });
}

void SiteListPane::newSite() {
    guarded([this] { applyEditor(TForm4::NewSite(this, dm_), QString()); });
}

void SiteListPane::editSelected() {
    guarded([this] {
        bool ok = false;
        const QString name = selectedSiteName(&ok);
        if (ok) applyEditor(TForm4::EditSite(this, dm_, name), name);
    });
}

void SiteListPane::deleteSelected() {
    guarded([this] {
        bool ok = false;
        const QString name = selectedSiteName(&ok);
        if (!ok) return;
        if (!ui::confirm(this, QStringLiteral("Are you sure to delete <%1>?").arg(name))) return;
        try {
            if (!store::deleteSiteWithHistory(dm_, name.toUtf8().toStdString())) return;
        } catch (const std::exception& e) {
            dialogs::reportUnsaved(this, dm_, e);
            return;
        }
        FillList();
    });
}

void SiteListPane::startRename() {
    const int row = selectedRow();
    if (row <= 0) return;
    QAbstractItemView* v = stack_->currentWidget() == report_
                               ? static_cast<QAbstractItemView*>(report_)
                               : static_cast<QAbstractItemView*>(icons_);
    const QModelIndex idx = model_->index(row, 0);
    v->setCurrentIndex(idx);
    v->edit(idx);
}

void SiteListPane::renameRow(int row, const QString& newText) {
    guarded([&] {
        QStandardItem* item = model_->item(row, 0);
        if (!item) return;
        const QString oldText = item->text();
        if (row == 0) {
            item->setText(newText);
            return;
        }
        // A site without a name could not be told apart or opened again.
        if (newText.isEmpty()) {
            ui::warning(this, QStringLiteral("Please enter name."));
            return;
        }
        store::RenameResult r = store::RenameResult::NotFound;
        try {
            r = store::renameSite(dm_, oldText.toUtf8().toStdString(), newText.toUtf8().toStdString());
        } catch (const std::exception& e) {
            // The row keeps the name the table still has.
            dialogs::reportUnsaved(this, dm_, e);
            return;
        }
        if (r == store::RenameResult::NameTaken) {
            ui::warning(this, QStringLiteral("The name %1 was existed, please re-enter.").arg(newText));
            return;
        }
        // Open pages follow the name (their site rows are found by it).
        emit siteRenamed(oldText, newText);
        item->setText(newText);
    });
}

void SiteListPane::refresh() {
    guarded([this] { FillList(); });
}

void SiteListPane::quickConnect() { emit quickConnectRequested(); }

int SiteListPane::cyclePosition() const { return cycle_; }

void SiteListPane::cycleViewStyle() {
    cycle_ = cycle_ <= 1 || cycle_ > 4 ? 4 : cycle_ - 1;
    applyViewStyle(cycle_ - 1);
}

void SiteListPane::showHelp() {
    ui::DialogService::instance().showHelp(this, ui::dataFile(QStringLiteral("Ostrafen.hlp")),
                                           QStringLiteral("Newitem"));
}

QAction* SiteListPane::viewStyleItem(int code) const {
    return code >= 0 && code < 4 ? styleItems_[code] : nullptr;
}

void SiteListPane::applyViewStyle(int code) {
    if (code < 0 || code > 3) return;
    view_ = code;
    styleItems_[code]->setChecked(true);
    if (code == 3) {
        stack_->setCurrentWidget(report_);
        return;
    }
    switch (code) {
    case 0:
        icons_->setViewMode(QListView::IconMode);
        icons_->setIconSize(QSize(32, 32));
        icons_->setFlow(QListView::LeftToRight);
        break;
    case 1:
        icons_->setViewMode(QListView::ListMode);
        icons_->setIconSize(QSize(16, 16));
        icons_->setFlow(QListView::TopToBottom);
        break;
    default:
        icons_->setViewMode(QListView::ListMode);
        icons_->setIconSize(QSize(16, 16));
        icons_->setFlow(QListView::LeftToRight);
        break;
    }
    icons_->setWrapping(true);
    icons_->setResizeMode(QListView::Adjust);
    icons_->setMovement(QListView::Static);
    stack_->setCurrentWidget(icons_);
}

int SiteListPane::viewStyleCode() const { return view_; }

void SiteListPane::setViewStyleCode(int code) { applyViewStyle(code); }

int SiteListPane::descriptionHeight() const {
    const QList<int> sizes = splitter_->sizes();
    if (isVisible() && sizes.size() == 2 && sizes[1] > 0) return sizes[1];
    return descHeight_;
}

void SiteListPane::setDescriptionHeight(int h) {
    if (h < 0) return;
    descHeight_ = h;
    const int total = std::max(splitter_->height(), h + 100);
    splitter_->setSizes({total - h, h});
}
