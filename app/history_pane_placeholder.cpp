#include "app/history_pane_placeholder.h"

#include "platform/ui/dialog_service.h"
#include "platform/ui/pictures.h"

#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

HistoryPanePlaceholder::HistoryPanePlaceholder(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("HistoryPane"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* bar = new QToolBar(this);
    auto* help = new QToolButton(bar);
    help->setObjectName(QStringLiteral("Help"));
    help->setIcon(ui::icon(ui::Picture::Help));
    help->setToolTip(QStringLiteral("Help"));
    help->setAccessibleName(QStringLiteral("Help"));
    help->setAutoRaise(true);
    bar->addWidget(help);
    connect(help, &QToolButton::clicked, this, [this] { ui::helpJump(this, QStringLiteral("item23")); });
    layout->addWidget(bar);
    auto* tree = new QTreeWidget(this);
    tree->setObjectName(QStringLiteral("HistoryTree"));
    tree->setHeaderHidden(true);
    tree->setAccessibleName(QStringLiteral("History"));
    layout->addWidget(tree, 1);
}
