#pragma once
// Names and describes a task category. The caption is the mode: "New category"
// creates one, "Edit category" changes the category it was opened with.
#include "store/task_records.h"

#include <QDialog>

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

class TForm12 : public QDialog {
    Q_OBJECT
public:
    explicit TForm12(store::Tdm& dm, QWidget* parent = nullptr);
    ~TForm12() override;

    // Opens the editor on a stored category (found again by its id on "&OK").
    void setCategory(const store::TaskCategory& category);

    // After an accepted "&OK": the category as saved, with its id.
    const store::TaskCategory& saved() const { return saved_; }

    QLineEdit* edName = nullptr;
    QPlainTextEdit* edDesc = nullptr;
    QPushButton* btOk = nullptr;
    QPushButton* btCancel = nullptr;

private:
    void ok();

    store::Tdm& dm_;
    int openingId_ = 0;
    store::TaskCategory saved_;
};
