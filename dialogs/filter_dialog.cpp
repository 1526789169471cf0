#include "dialogs/filter_dialog.h"

#include "dialogs/find_dialog.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
const QString kFilterFile = QStringLiteral("Filter.dat");
}

TForm6::TForm6(QWidget* parent) : QDialog(parent, Qt::Tool) {
    setWindowTitle(QStringLiteral("Filter"));

    cbPattern = new QComboBox;
    cbPattern->setEditable(true);
    cbPattern->setInsertPolicy(QComboBox::NoInsert);
    cbPattern->setMinimumContentsLength(16);
    auto* label = new QLabel(QStringLiteral("Filename extension"));
    label->setBuddy(cbPattern);

    btOk = new QPushButton(QStringLiteral("&OK"));
    btClose = new QPushButton(QStringLiteral("&Close"));
    btClear = new QPushButton(QStringLiteral("Clear history"));
    btOk->setDefault(true);
    btClose->setAutoDefault(false);
    btClear->setAutoDefault(false);

    auto* left = new QVBoxLayout;
    left->addWidget(label);
    left->addWidget(cbPattern);
    left->addStretch();
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(btOk);
    buttons->addWidget(btClose);
    buttons->addWidget(btClear);
    auto* top = new QHBoxLayout(this);
    top->addLayout(left);
    top->addLayout(buttons);
    top->setSizeConstraint(QLayout::SetFixedSize);

    connect(btOk, &QPushButton::clicked, this, &TForm6::ok);
    connect(btClose, &QPushButton::clicked, this, &TForm6::reject);
    connect(btClear, &QPushButton::clicked, this,
            [this] { history::clear(cbPattern, kFilterFile); });

    history::load(cbPattern, kFilterFile);
    cbPattern->setFocus();
}

TForm6::~TForm6() = default;

void TForm6::setRows(std::vector<names::FilterRow> rows) { rows_ = std::move(rows); }

void TForm6::ok() {
    if (rows_)
        visible_ = names::FilterVisible(*rows_, cbPattern->currentText().toUtf8().toStdString());
    history::remember(cbPattern, kFilterFile);
    accept();
}
