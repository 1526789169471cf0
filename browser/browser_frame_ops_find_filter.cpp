// "Find..." and "Filter" of a browser frame: the dialogs work on copies of the
// shown rows' names; the frame applies their answer to its own view by name,
// after checking that the page still shows the folder they were opened on.
#include "browser/browser_frame.h"

#include "browser/remote_list_model.h"
#include "dialogs/filter_dialog.h"
#include "dialogs/find_dialog.h"
#include "platform/ui/dialog_service.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>
#include <QPointer>

using browser::PageOperation;

void Tfb::showAllRows() { model_->setHiddenFiles({}); }

void Tfb::selectNames(const std::vector<std::string>& names) {
    QItemSelectionModel* sel = remoteSelection();
    if (!sel) return;
    const std::set<std::string> wanted(names.begin(), names.end());
    QItemSelection picked;
    QModelIndex first;
    for (int i = 0; i < model_->rowCount(); ++i) {
        const rdatalist* r = model_->row(i);
        if (!r || wanted.count(r->name) == 0) continue;
        const QModelIndex at = model_->index(i, 0);
        if (!first.isValid()) first = at;
        picked.select(at, model_->index(i, browser::RemoteListModel::ColumnCount - 1));
    }
    sel->clearSelection();
    sel->select(picked, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QAbstractItemView* view = remoteView();
    if (first.isValid()) {
        // Keyboard users land on the first match.
        sel->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
        view->scrollTo(first);
    }
    view->setFocus();
    updateSelectionControls();
}

void Tfb::Find() {
    if (!browsing_) return;
    // Held while the dialog is open: no other operation of the page replaces
    // the rows meanwhile, though the connection may still drop.
    PageOperation op = session_->begin();
    if (!op) return;
    std::vector<std::string> shown;
    shown.reserve(static_cast<std::size_t>(model_->rowCount()));
    for (int i = 0; i < model_->rowCount(); ++i)
        if (const rdatalist* r = model_->row(i)) shown.push_back(r->name);
    QPointer<Tfb> self(this);
    TForm3 dialog(this);
    dialog.setNames(shown);
    if (ui::runModal(dialog) != QDialog::Accepted) return;
    if (!self || !op.still()) return;
    std::vector<std::string> found;
    for (int i : dialog.matches())
        if (i >= 0 && static_cast<std::size_t>(i) < shown.size()) found.push_back(shown[static_cast<std::size_t>(i)]);
    selectNames(found);
}

void Tfb::Filter() {
    if (!browsing_) return;
    PageOperation op = session_->begin();
    if (!op) return;
    std::vector<names::FilterRow> rows;
    rows.reserve(view_.listing.size());
    for (const rdatalist& r : view_.listing)
        rows.push_back({r.name, browser::RemoteListModel::filterable(r), !model_->hides(r)});
    QPointer<Tfb> self(this);
    TForm6 dialog(this);
    dialog.setRows(rows);
    if (ui::runModal(dialog) != QDialog::Accepted) return;
    if (!self || !op.still()) return;
    const std::vector<bool>& visible = dialog.visible();
    std::set<std::string> hidden = model_->hiddenFiles();
    for (std::size_t i = 0; i < rows.size() && i < visible.size(); ++i)
        if (rows[i].file && !visible[i]) hidden.insert(rows[i].name);
    // "*.*", or nothing new hidden: the view and its selection stay as they are.
    if (hidden.size() == model_->hiddenFiles().size()) return;
    model_->setHiddenFiles(std::move(hidden));
    updateSelectionControls();
}
