#include "transfer/download_dialog.h"

#include "browser/name_validation.h"
#include "browser/remote_list_model.h"
#include "platform/ui/dialog_service.h"
#include "platform/ui/pictures.h"
#include "store/recent_list.h"
#include "transfer/local_target.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QString text(const std::string& s) { return browser::fromBytes(s); }
std::string bytes(const QString& s) { return s.toUtf8().toStdString(); }
std::string fileName(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace

namespace transfer {

DownloadRequest BuildDownloadRequest(const std::vector<rdatalist>& rows, const std::string& folder,
                                     const std::string& listedIn) {
    DownloadRequest r;
    for (const rdatalist& row : rows) {
        const std::optional<std::string> target = LocalTarget(folder, row.name);
        if (!target) {
            r.refused.push_back(row.name);
            continue;
        }
        rupdown e;
        e.direction = 1;
        e.localpath = *target;
        // The folder the row was listed in: a run that changes folder first
        // must still fetch this file, not a namesake elsewhere.
        e.remotedir = listedIn;
        e.size = row.size;
        e.name = row.name;
        e.isfolder = row.isFolder();
        e.remotedate = row.modified;
        r.entries.push_back(std::move(e));
    }
    return r;
}

bool HasForbiddenFolderChar(const QString& folder) {
    // "\" and ":" belong to Windows paths; the native separator is never flagged.
    for (const QChar c : QStringLiteral("/*?\"<>|"))
        if (c != QDir::separator() && folder.contains(c)) return true;
    return false;
}

}  // namespace transfer

TForm10::TForm10(std::vector<rdatalist> rows, std::string listedIn, QString recentFile, QWidget* parent)
    : QDialog(parent), rows_(std::move(rows)), listedIn_(std::move(listedIn)), recentFile_(std::move(recentFile)) {
    setObjectName(QStringLiteral("TForm10"));
    setWindowTitle(QStringLiteral("Download"));

    auto* info = new QGroupBox(QStringLiteral("info"));
    auto* icons = new QWidget;
    icons->setFixedSize(48, 48);
    fileIcon_ = new QLabel(icons);
    fileIcon_->setPixmap(ui::picture(ui::Picture::File, 32));
    fileIcon_->setAccessibleName(QStringLiteral("File"));
    folderIcon_ = new QLabel(icons);
    folderIcon_->setPixmap(ui::picture(ui::Picture::Folder, 32));
    folderIcon_->setAccessibleName(QStringLiteral("Folder"));
    name_ = new QLabel;
    QFont bold = name_->font();
    bold.setBold(true);
    name_->setFont(bold);
    name_->setWordWrap(true);
    name_->setMinimumWidth(280);
    size_ = new QLabel;
    modified_ = new QLabel;
    type_ = new QLabel;
    auto* grid = new QGridLayout(info);
    grid->addWidget(icons, 0, 0, 4, 1, Qt::AlignTop);
    grid->addWidget(name_, 0, 1, 1, 2);
    const std::pair<const char*, QLabel*> lines[] = {{"Size:", size_}, {"Modified:", modified_}, {"Type:", type_}};
    int at = 1;
    for (const auto& [caption, value] : lines) {
        auto* l = new QLabel(QString::fromLatin1(caption));
        l->setBuddy(value);
        grid->addWidget(l, at, 1);
        grid->addWidget(value, at++, 2);
    }

    if (rows_.size() == 1) {
        const rdatalist& r = rows_.front();
        const bool folder = r.isFolder();
        fileIcon_->setVisible(!folder);
        folderIcon_->setVisible(folder);
        name_->setText(text(r.name));
        size_->setText(text(r.sizetext));
        modified_->setText(text(r.modified));
        type_->setText(text(r.typetext));
    } else {
        int folders = 0, files = 0;
        for (const rdatalist& r : rows_) (r.isFolder() ? folders : files)++;
        name_->setText(QStringLiteral("%1 Folders , %2 Files .").arg(folders).arg(files));
        folderIcon_->move(8, 8);
        folderIcon_->raise();
    }

    folder_ = new QComboBox;
    folder_->setEditable(true);
    folder_->setInsertPolicy(QComboBox::NoInsert);
    folder_->setMinimumWidth(260);
    auto* to = new QLabel(QStringLiteral("Download to :"));
    to->setBuddy(folder_);
    browse_ = new QToolButton;
    browse_->setText(QStringLiteral("..."));
    browse_->setToolTip(QStringLiteral("Browse for folder"));
    browse_->setAccessibleName(QStringLiteral("Browse for folder"));
    auto* where = new QHBoxLayout;
    where->addWidget(to);
    where->addWidget(folder_, 1);
    where->addWidget(browse_);

    clear_ = new QPushButton(QStringLiteral("Clear history"));
    ok_ = new QPushButton(QStringLiteral("&OK"));
    cancel_ = new QPushButton(QStringLiteral("&Cancel"));
    for (QPushButton* b : {clear_, ok_, cancel_}) b->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(clear_);
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(info);
    layout->addLayout(where);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(folder_, &QComboBox::editTextChanged, this, [this](const QString& t) { onFolderTextChanged(t); });
    connect(browse_, &QToolButton::clicked, this, [this] { onBrowse(); });
    connect(clear_, &QPushButton::clicked, this, [this] { onClearHistory(); });
    connect(ok_, &QPushButton::clicked, this, [this] { onOk(); });
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

int TForm10::execModal() {
    {
        const QSignalBlocker block(folder_);
        for (const std::string& item : store::LoadRecentList(fileName(recentFile_))) folder_->addItem(text(item));
        folder_->setCurrentIndex(-1);
        folder_->setEditText(QString());
    }
    return ui::runModal(*this);
}

QStringList TForm10::infoTexts() const { return {size_->text(), modified_->text(), type_->text()}; }

QStringList TForm10::iconNames() const {
    QStringList out;
    if (!fileIcon_->isHidden()) out << QStringLiteral("File");
    if (!folderIcon_->isHidden()) out << QStringLiteral("Folder");
    return out;
}

std::vector<std::string> TForm10::recentItems() const {
    std::vector<std::string> items;
    for (int i = 0; i < folder_->count(); ++i) items.push_back(bytes(folder_->itemText(i)));
    return items;
}

void TForm10::saveRecent(const std::vector<std::string>& items) {
    // A file that can not be written is not reported; the list stays in the box.
    store::SaveRecentList(fileName(recentFile_), items);
}

void TForm10::onFolderTextChanged(const QString& typed) {
    if (transfer::HasForbiddenFolderChar(typed))
        ui::error(this, QStringLiteral(
                            "The following characters can not be contained in the name of files: /\\*?\"<>|"));
}

void TForm10::onBrowse() {
    const QString typed = folder_->currentText();
    const std::optional<QString> chosen =
        ui::DialogService::instance().browseFolder(this, QStringLiteral("Download to"), typed);
    if (chosen) folder_->setEditText(QDir::toNativeSeparators(*chosen));
}

void TForm10::onClearHistory() {
    const QSignalBlocker block(folder_);
    const QString typed = folder_->currentText();
    folder_->clear();
    folder_->setEditText(typed);
    saveRecent({});
}

void TForm10::onOk() {
    const QString typed = folder_->currentText();
    if (typed.isEmpty()) {
        ui::warning(this, QStringLiteral("Please enter the path with the files download to."));
        return;
    }
    // Every row must make a usable local file name, one row or many.
    for (const rdatalist& r : rows_) {
        if (browser::hasForbiddenNameChar(r.name)) {
            ui::error(this, QStringLiteral(
                                "The following characters can not be contained in the name of files: \\/:*?\"<>|"));
            return;
        }
    }
    const QString absolute = QDir::toNativeSeparators(QFileInfo(typed).absoluteFilePath());
    if (!QDir().mkpath(absolute) || !QFileInfo(absolute).isDir()) {
        ui::error(this, QStringLiteral("Can not create the folder %1, please check and enter again.").arg(typed));
        return;
    }
    request_ = transfer::BuildDownloadRequest(rows_, bytes(absolute), listedIn_);
    std::vector<std::string> items = recentItems();
    if (store::AddRecentUnique(items, bytes(typed))) folder_->addItem(typed);
    saveRecent(items);
    accept();
}

namespace transfer {

std::optional<DownloadRequest> AskDownload(const std::vector<rdatalist>& rows, const std::string& listedIn,
                                           const QString& recentFile, QWidget* parent) {
    TForm10 dialog(rows, listedIn, recentFile, parent);
    if (dialog.execModal() != QDialog::Accepted) return std::nullopt;
    return dialog.request();
}

}  // namespace transfer
