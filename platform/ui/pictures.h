#pragma once
// The program's pictures, drawn at run time so every window and every test has
// them without image files: the top bar, the About picture, and the images of
// lists, trees, tabs and toolbars.
#include <QIcon>
#include <QString>
#include <QPixmap>

class QAction;
class QToolBar;

namespace ui {

enum class Picture {
    AppIcon,        // window icon, About picture
    TopBarBack,     // stretched over the top bar
    TopBarRight,    // at the top bar's right end
    NewSite,        // the "NewFTPSite" row of the site list
    Site,           // a saved site
    Folder,
    File,
    Disconnected,   // tab image 0
    Connected,      // tab image 1
    Upload,
    Download,
    Day,            // a day in the history tree
    Category,       // a task category
    Task,
    Help,
    Options,
    Refresh,
    ViewStyle,
    Bookmark,
    Delete,
    Edit,
    Up,             // one folder level up
    QuickConnect,
    Stop,
};

// The picture at `size` x `size` pixels (the top bar pictures: `size` high).
QPixmap picture(Picture which, int size = 16);
// The picture at 16 and 32 pixels.
QIcon icon(Picture which);

// A toolbar button with this picture whose hint is also its tooltip, its
// accessible name and its object name (tests and screen readers find it so).
QAction* addToolButton(QToolBar* bar, Picture which, const QString& hint);

}  // namespace ui
