#include "tasks/category_editor.h"

#include "dialogs/store_messages.h"
#include "platform/ui/dialog_service.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
std::string bytes(const QString& s) { return s.toUtf8().toStdString(); }
}  // namespace

TForm12::TForm12(store::Tdm& dm, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), dm_(dm) {
    setWindowTitle(QStringLiteral("New category"));

    edName = new QLineEdit;
    edName->setMinimumWidth(280);
    edDesc = new QPlainTextEdit;
    edDesc->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edDesc->setTabChangesFocus(true);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Category name"), edName);
    form->addRow(QStringLiteral("Description"), edDesc);

    btOk = new QPushButton(QStringLiteral("&OK"));
    btCancel = new QPushButton(QStringLiteral("&Cancel"));
    btOk->setDefault(true);
    btOk->setEnabled(false);
    btCancel->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btOk);
    buttons->addWidget(btCancel);

    auto* top = new QVBoxLayout(this);
    top->addLayout(form);
    top->addLayout(buttons);
    top->setSizeConstraint(QLayout::SetFixedSize);

    connect(edName, &QLineEdit::textChanged, this,
            [this](const QString& t) { btOk->setEnabled(!t.isEmpty()); });
    connect(btOk, &QPushButton::clicked, this, &TForm12::ok);
    connect(btCancel, &QPushButton::clicked, this, &TForm12::reject);
    edName->setFocus();
}

TForm12::~TForm12() = default;

void TForm12::setCategory(const store::TaskCategory& category) {
    setWindowTitle(QStringLiteral("Edit category"));
    openingId_ = category.id;
    edName->setText(QString::fromUtf8(category.name));
    edDesc->setPlainText(QString::fromUtf8(category.desc));
}

void TForm12::ok() {
    const QString name = edName->text();
    if (name.isEmpty()) return;
    store::TaskCategory c{openingId_, bytes(name), bytes(edDesc->toPlainText())};
    bool found = true;
    try {
        if (windowTitle() == QLatin1String("New category")) {
            c.id = store::AddTaskCategory(dm_, c.name, c.desc);
            if (c.id == 0) {
                ui::warning(this, QStringLiteral("The name %1 was existed, please re-enter.").arg(name));
                return;
            }
        } else {
            found = store::EditTaskCategory(dm_, openingId_, c.name, c.desc);
        }
    } catch (const std::exception& e) {
        // The editor stays open with what was typed, so the user can try again.
        dialogs::reportUnsaved(this, dm_, e);
        return;
    }
    if (!found) {
        // Nothing left to change: close without a result to apply.
        reject();
        return;
    }
    saved_ = std::move(c);
    accept();
}
