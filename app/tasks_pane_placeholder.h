#pragma once
// The "&Tasks" tab of the side pane until the task tree lands: the rebuild the
// main window calls at its first showing, and "Help".
#include <QWidget>

class QTreeWidget;

class TasksPanePlaceholder : public QWidget {
    Q_OBJECT
public:
    explicit TasksPanePlaceholder(QWidget* parent = nullptr);

    // Rebuilds the task tree from the task tables.
    void FillTree();

private:
    QTreeWidget* tree_;
};
