#pragma once
// The "Download" window: turns the selected rows of the remote list into
// download entries for a folder the user picks, and remembers the folders
// used in "Downloads.dat". It returns what to queue; its opener queues it.
#include "browser/listing_row.h"
#include "browser/queue_entry.h"

#include <QDialog>
#include <QString>

#include <optional>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;
class QToolButton;

namespace transfer {

struct DownloadRequest {
    std::vector<rupdown> entries;       // in row order; not yet checked against the queue
    std::vector<std::string> refused;   // names that can not become local names (log them)
};

// One download entry per row into `folder`, each remembering the remote
// folder it was listed in.
DownloadRequest BuildDownloadRequest(const std::vector<rdatalist>& rows, const std::string& folder,
                                     const std::string& listedIn);

// True when the folder text holds a character no path may hold here
// (the platform's separator and ":" are allowed).
bool HasForbiddenFolderChar(const QString& folder);

}  // namespace transfer

class TForm10 : public QDialog {
    Q_OBJECT
public:
    // rows: the selected rows; listedIn: the remote folder they were listed
    // in; recentFile: the full path of "Downloads.dat".
    TForm10(std::vector<rdatalist> rows, std::string listedIn, QString recentFile, QWidget* parent = nullptr);

    // Loads the recent folders, then runs the window modally.
    int execModal();
    // After "&OK": what to queue.
    const transfer::DownloadRequest& request() const { return request_; }

    // Handlers.
    void onFolderTextChanged(const QString& text);
    void onBrowse();
    void onClearHistory();
    void onOk();

    QComboBox* folderCombo() const { return folder_; }
    QToolButton* browseButton() const { return browse_; }
    QPushButton* clearHistoryButton() const { return clear_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }
    QLabel* nameLabel() const { return name_; }
    // "Size:", "Modified:", "Type:" values.
    QStringList infoTexts() const;
    // Icons shown: "File", "Folder" or both.
    QStringList iconNames() const;

private:
    std::vector<std::string> recentItems() const;
    void saveRecent(const std::vector<std::string>& items);

    std::vector<rdatalist> rows_;
    std::string listedIn_;
    QString recentFile_;
    transfer::DownloadRequest request_;
    QComboBox* folder_;
    QToolButton* browse_;
    QPushButton* clear_;
    QPushButton* ok_;
    QPushButton* cancel_;
    QLabel* name_;
    QLabel* size_;
    QLabel* modified_;
    QLabel* type_;
    QLabel* fileIcon_;
    QLabel* folderIcon_;
};

namespace transfer {

// Opens the window for the rows; nothing when it was cancelled.
std::optional<DownloadRequest> AskDownload(const std::vector<rdatalist>& rows, const std::string& listedIn,
                                           const QString& recentFile, QWidget* parent);

}  // namespace transfer
