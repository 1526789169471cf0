#pragma once
// Changes the local or the remote folder of the items selected in the task
// editor. Which of the two can be changed is the task editor's choice: the
// other box shows its value, disabled.
#include <QDialog>

class QLineEdit;
class QPushButton;
class QToolButton;

class TForm14 : public QDialog {
    Q_OBJECT
public:
    explicit TForm14(QWidget* parent = nullptr);
    ~TForm14() override;

    // Puts the values in and leaves one box to change: the remote folder of an
    // upload item, the local folder of a download item.
    void setItem(const QString& local, const QString& ftp, bool download);

    QLineEdit* edLocal = nullptr;
    QToolButton* btBrowse = nullptr;
    QLineEdit* edFtp = nullptr;
    QPushButton* btApply = nullptr;
    QPushButton* btCancel = nullptr;

private:
    void browse();
    void updateApply();
};
