#include "transfer/duplicate_dialog.h"

#include "browser/remote_list_model.h"
#include "platform/ui/dialog_service.h"
#include "platform/ui/pictures.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using transfer::DuplicateButton;

namespace {
QString text(const std::string& s) { return browser::fromBytes(s); }
}  // namespace

TForm9::TForm9(const transfer::DuplicateView& view, std::function<bool(const std::string&, QWidget*)> acceptName,
               QWidget* parent)
    : QDialog(parent), view_(view), acceptName_(std::move(acceptName)) {
    setObjectName(QStringLiteral("TForm9"));
    setWindowTitle(QStringLiteral("Duplicate file found"));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(buildBlock(view.topHeading(), view.top, view.isfolder, 0));
    layout->addWidget(buildBlock(view.bottomHeading(), view.bottom, view.isfolder, 1));

    const std::pair<DuplicateButton, const char*> rows[2][4] = {
        {{DuplicateButton::Overwrite, "Overwrite"},
         {DuplicateButton::Skip, "Skip"},
         {DuplicateButton::Rename, "Rename"},
         {DuplicateButton::Resume, "Resume"}},
        {{DuplicateButton::OverwriteAll, "Overwrite all"},
         {DuplicateButton::SkipAll, "Skip all"},
         {DuplicateButton::Cancel, "&Cancel"},
         {DuplicateButton::Cancel, nullptr}},
    };
    for (const auto& row : rows) {
        auto* line = new QHBoxLayout;
        for (const auto& [which, caption] : row) {
            if (!caption) continue;
            auto* b = new QPushButton(QString::fromLatin1(caption));
            b->setAutoDefault(false);
            buttons_[which] = b;
            line->addWidget(b);
            if (which == DuplicateButton::Rename)
                connect(b, &QPushButton::clicked, this, [this] { onRename(); });
            else
                connect(b, &QPushButton::clicked, this, [this, w = which] { onButton(w); });
        }
        line->addStretch(1);
        layout->addLayout(line);
    }
    buttons_.at(DuplicateButton::Resume)->setEnabled(view.resumeEnabled);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QWidget* TForm9::buildBlock(const char* heading, const transfer::DuplicateSide& side, bool isfolder, int block) {
    auto* box = new QGroupBox(QString::fromLatin1(heading));
    auto* icon = new QLabel;
    icon->setPixmap(ui::picture(isfolder ? ui::Picture::Folder : ui::Picture::File, 32));
    icon->setAccessibleName(isfolder ? QStringLiteral("Folder") : QStringLiteral("File"));
    auto* name = new QLabel(text(side.name));
    QFont bold = name->font();
    bold.setBold(true);
    name->setFont(bold);
    name->setWordWrap(true);
    name->setMinimumWidth(280);
    auto* grid = new QGridLayout(box);
    grid->addWidget(icon, 0, 0, 4, 1, Qt::AlignTop);
    grid->addWidget(name, 0, 1, 1, 2);
    const QString values[3] = {QString::number(side.size), text(side.modified), text(side.type)};
    const char* captions[3] = {"Size:", "Modified:", "Type:"};
    labels_[block][0] = nullptr;
    labels_[block][1] = name;
    for (int i = 0; i < 3; ++i) {
        auto* caption = new QLabel(QString::fromLatin1(captions[i]));
        auto* value = new QLabel(values[i]);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        caption->setBuddy(value);
        grid->addWidget(caption, i + 1, 1);
        grid->addWidget(value, i + 1, 2);
        labels_[block][i + 2] = value;
    }
    box->setAccessibleName(QString::fromLatin1(heading));
    return box;
}

QStringList TForm9::blockTexts(int block) const {
    QStringList out{QString::fromLatin1(block == 0 ? view_.topHeading() : view_.bottomHeading())};
    for (int i = 1; i < 5; ++i) out << labels_[block][i]->text();
    return out;
}

void TForm9::onButton(DuplicateButton which) {
    choice_ = {which, {}};
    if (which == DuplicateButton::Cancel)
        reject();
    else
        accept();
}

void TForm9::onRename() {
    const QString shown = text(view_.top.name);
    const std::optional<QString> typed = ui::DialogService::instance().inputBox(
        this, QStringLiteral("New name"), QStringLiteral("Enter a new filename"), shown);
    // Unchanged text keeps the name's original bytes (it may not be UTF-8).
    const std::string name =
        !typed || *typed == shown ? view_.top.name : typed->toUtf8().toStdString();
    if (acceptName_ && !acceptName_(name, this)) return;
    choice_ = {DuplicateButton::Rename, name};
    accept();
}

namespace transfer {

DuplicateChoice AskDuplicate(const DuplicateView& view, const RenameRules& rules, QWidget* parent) {
    TForm9 dialog(
        view, [&rules](const std::string& name, QWidget* over) { return AcceptNewName(rules, name, over); },
        parent);
    if (ui::runModal(dialog) != QDialog::Accepted) return {};
    return dialog.choice();
}

}  // namespace transfer
