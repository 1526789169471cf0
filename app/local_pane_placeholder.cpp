#include "app/local_pane_placeholder.h"

#include "platform/ui/dialog_service.h"
#include "platform/ui/pictures.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QStandardPaths>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
QToolButton* toolButton(QToolBar* bar, const QString& name, const QString& hint, ui::Picture pic) {
    auto* b = new QToolButton(bar);
    b->setObjectName(name);
    b->setIcon(ui::icon(pic));
    b->setToolTip(hint);
    b->setAccessibleName(hint);
    b->setAutoRaise(true);
    bar->addWidget(b);
    return b;
}
}  // namespace

LocalPanePlaceholder::LocalPanePlaceholder(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("LocalPane"));
    root_ = QDir::toNativeSeparators(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* bar = new QToolBar(this);
    upload_ = toolButton(bar, QStringLiteral("Upload"), QStringLiteral("Upload"), ui::Picture::Upload);
    upload_->setEnabled(false);
    bar->addSeparator();
    QToolButton* help = toolButton(bar, QStringLiteral("Help"), QStringLiteral("Help"), ui::Picture::Help);
    connect(help, &QToolButton::clicked, this, [this] { ui::helpJump(this, QStringLiteral("Newitem20")); });
    layout->addWidget(bar);

    rootLabel_ = new QLabel(root_, this);
    rootLabel_->setObjectName(QStringLiteral("LocalRoot"));
    rootLabel_->setWordWrap(true);
    rootLabel_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    layout->addWidget(rootLabel_, 1);
}

bool LocalPanePlaceholder::setRootPath(const QString& path) {
    if (path.isEmpty() || !QFileInfo(path).isDir()) return false;
    root_ = QDir::toNativeSeparators(path);
    rootLabel_->setText(root_);
    return true;
}

void LocalPanePlaceholder::setUploadEnabled(bool on) { upload_->setEnabled(on); }
