#include "dialogs/find_dialog.h"

#include "dialogs/name_match.h"
#include "platform/ui/app_paths.h"
#include "store/recent_list.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace history {

namespace {

std::string pathOf(const QString& fileName) { return ui::dataFile(fileName).toStdString(); }

std::string bytes(const QString& s) { return s.toUtf8().toStdString(); }

std::vector<std::string> itemsOf(const QComboBox* box) {
    std::vector<std::string> out;
    for (int i = 0; i < box->count(); ++i) out.push_back(bytes(box->itemText(i)));
    return out;
}

}  // namespace

void load(QComboBox* box, const QString& fileName) {
    const QString typed = box->currentText();
    for (const std::string& s : store::LoadRecentList(pathOf(fileName)))
        box->addItem(QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())));
    box->setEditText(typed);
}

void remember(QComboBox* box, const QString& fileName) {
    const QString typed = box->currentText();
    std::vector<std::string> items = itemsOf(box);
    if (store::AddRecentUnique(items, bytes(typed))) box->addItem(typed);
    box->setEditText(typed);
    // A file that cannot be written leaves the list as it is in the box.
    store::SaveRecentList(pathOf(fileName), items);
}

void clear(QComboBox* box, const QString& fileName) {
    const QString typed = box->currentText();
    box->clear();
    box->setEditText(typed);
    store::ClearRecentList(pathOf(fileName));
}

}  // namespace history

namespace {
const QString kFindFile = QStringLiteral("Find.dat");
}

TForm3::TForm3(QWidget* parent) : QDialog(parent, Qt::Tool) {
    setWindowTitle(QStringLiteral("Find"));

    cbName = new QComboBox;
    cbName->setEditable(true);
    cbName->setInsertPolicy(QComboBox::NoInsert);
    cbName->setMinimumContentsLength(24);
    auto* label = new QLabel(QStringLiteral("&Name to find"));
    label->setBuddy(cbName);

    auto* options = new QGroupBox(QStringLiteral("Options"));
    cbCase = new QCheckBox(QStringLiteral("Case sensitive"));
    cbWhole = new QCheckBox(QStringLiteral("Whole words only"));
    auto* optionsLayout = new QVBoxLayout(options);
    optionsLayout->addWidget(cbCase);
    optionsLayout->addWidget(cbWhole);

    btFind = new QPushButton(QStringLiteral("&Find"));
    btClose = new QPushButton(QStringLiteral("&Close"));
    btClear = new QPushButton(QStringLiteral("Clear history"));
    btFind->setDefault(true);
    btClose->setAutoDefault(false);
    btClear->setAutoDefault(false);

    auto* left = new QVBoxLayout;
    left->addWidget(label);
    left->addWidget(cbName);
    left->addWidget(options);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(btFind);
    buttons->addWidget(btClose);
    buttons->addWidget(btClear);
    buttons->addStretch();
    auto* top = new QHBoxLayout(this);
    top->addLayout(left);
    top->addLayout(buttons);
    top->setSizeConstraint(QLayout::SetFixedSize);

    connect(btFind, &QPushButton::clicked, this, &TForm3::find);
    connect(btClose, &QPushButton::clicked, this, &TForm3::reject);
    connect(btClear, &QPushButton::clicked, this, [this] { history::clear(cbName, kFindFile); });

    history::load(cbName, kFindFile);
    cbName->setFocus();
}

TForm3::~TForm3() = default;

void TForm3::setNames(std::vector<std::string> names) { names_ = std::move(names); }

void TForm3::find() {
    const std::string text = cbName->currentText().toUtf8().toStdString();
    const bool haveView = names_.has_value();
    if (haveView)
        matches_ = names::FindRows(*names_, text, cbCase->isChecked(), cbWhole->isChecked());
    history::remember(cbName, kFindFile);
    if (haveView) accept();
}
