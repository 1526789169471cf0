#pragma once
// Holds one task (name, category, site, direction, description and items) and
// saves it. The caption is the mode: "Create new task" adds a task, "Edit task"
// rewrites the task it was opened with, found by its id. The opener fills the
// lists and items before showing it and rebuilds its tree after an "&OK".
#include "store/task_records.h"

#include <QDialog>
#include <string>
#include <vector>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTreeWidget;

class TForm13 : public QDialog {
    Q_OBJECT
public:
    explicit TForm13(store::Tdm& dm, QWidget* parent = nullptr);
    ~TForm13() override;

    // Edit mode for a stored task: caption, direction, description and the id
    // the save goes to. The name, lists and items are set separately.
    void setTask(const rtask& task);
    // The first page's caption: "Upload" (the default) or "Download".
    void setDirection(const QString& caption);
    QString direction() const;
    bool isDownload() const;

    // One entry per site; `selected` is chosen when it is among them, else
    // none. A locked list cannot be changed.
    void setSites(const std::vector<std::string>& names, const std::string& selected, bool locked);
    // One entry per category, in tree order; `selectedId` is chosen when present.
    void setCategories(const std::vector<store::TaskCategory>& categories, int selectedId);
    void setItems(const std::vector<rtaskupdown>& items);
    void setTaskName(const QString& name);

    // The items as the list holds them now, in list order.
    const std::vector<rtaskupdown>& items() const { return items_; }
    // After an accepted "&OK": the id of the saved task.
    int savedTaskId() const { return savedId_; }

    // Handlers, also reachable for tests.
    void editItems();
    void deleteItems();

    QLineEdit* edName = nullptr;
    QComboBox* cbCategory = nullptr;
    QComboBox* cbSite = nullptr;
    QTabWidget* pages = nullptr;
    QTreeWidget* lvItems = nullptr;
    QPushButton* btEdit = nullptr;
    QPushButton* btDelete = nullptr;
    QPlainTextEdit* edDesc = nullptr;
    QPushButton* btOk = nullptr;
    QPushButton* btCancel = nullptr;
    QPushButton* btHelp = nullptr;

private:
    void addRow(const rtaskupdown& item);
    void showRow(int row);
    std::vector<int> selectedRows() const;
    void updateOk();
    void updateItemButtons();
    void ok();
    void help();

    store::Tdm& dm_;
    int taskId_ = 0;
    int savedId_ = 0;
    std::vector<rtaskupdown> items_;  // one per list row, same order
};
