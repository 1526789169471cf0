#pragma once
// The "&History" tab of the side pane until the history tree lands: its "Help".
#include <QWidget>

class HistoryPanePlaceholder : public QWidget {
    Q_OBJECT
public:
    explicit HistoryPanePlaceholder(QWidget* parent = nullptr);
};
