#include "app/tasks_pane_placeholder.h"

#include "platform/ui/dialog_service.h"
#include "platform/ui/pictures.h"

#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

TasksPanePlaceholder::TasksPanePlaceholder(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("TasksPane"));
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
    connect(help, &QToolButton::clicked, this, [this] { ui::helpJump(this, QStringLiteral("item25")); });
    layout->addWidget(bar);
    tree_ = new QTreeWidget(this);
    tree_->setObjectName(QStringLiteral("TaskTree"));
    tree_->setHeaderHidden(true);
    tree_->setAccessibleName(QStringLiteral("Tasks"));
    layout->addWidget(tree_, 1);
}

void TasksPanePlaceholder::FillTree() {
    tree_->clear();
    tree_->expandAll();
}
