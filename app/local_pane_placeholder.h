#pragma once
// The "&Local File" tab of the side pane, reduced to what the main window needs
// until the local file list lands: its root folder (saved as LOCALPATH), its
// "Upload" button (enabled by page changes and by the frames) and "Help".
#include <QString>
#include <QWidget>

class QLabel;
class QToolButton;

class LocalPanePlaceholder : public QWidget {
    Q_OBJECT
public:
    explicit LocalPanePlaceholder(QWidget* parent = nullptr);

    // Full path of the folder the list shows; the desktop at start.
    QString rootPath() const { return root_; }
    // A text that names no folder leaves the root unchanged; false then.
    bool setRootPath(const QString& path);

    QToolButton* uploadButton() const { return upload_; }
    void setUploadEnabled(bool on);

private:
    QString root_;
    QLabel* rootLabel_;
    QToolButton* upload_;
};
