#include "platform/ui/dialog_service.h"

#include "platform/ui/app_paths.h"
#include "platform/ui/application.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>
#include <QPointer>

namespace ui {
namespace {

// Shows the HTML help file and scrolls to a topic's anchor. One window for the
// whole run, raised again on every jump.
class HelpWindow : public QWidget {
public:
    HelpWindow() {
        setWindowTitle(QStringLiteral("Ostrafen Help"));
        setObjectName(QStringLiteral("HelpWindow"));
        auto* layout = new QVBoxLayout(this);
        browser_ = new QTextBrowser(this);
        browser_->setOpenExternalLinks(true);
        browser_->setAccessibleName(QStringLiteral("Help text"));
        layout->addWidget(browser_);
        resize(640, 520);
        // A help window left open must not keep the program running after the
        // main window has closed.
        setAttribute(Qt::WA_QuitOnClose, false);
    }
    void show(const QString& file, const QString& topic) {
        if (file != file_) {
            QFile f(file);
            if (f.open(QIODevice::ReadOnly)) {
                browser_->setHtml(QString::fromUtf8(f.readAll()));
                file_ = file;
            } else {
                // Not remembered: the next jump tries the file again.
                browser_->setPlainText(QStringLiteral("The help file %1 cannot be read.").arg(file));
            }
        }
        if (topic.isEmpty())
            browser_->scrollToAnchor(QStringLiteral("contents"));
        else
            browser_->scrollToAnchor(topic);
        QWidget::show();
        raise();
        activateWindow();
    }

private:
    QTextBrowser* browser_;
    QString file_;
};

class QtDialogService : public DialogService {
public:
    MsgResult message(QWidget* parent, MsgKind kind, const QString& text,
                      MsgButtons buttons) override {
        QMessageBox::Icon icon = QMessageBox::Warning;
        const QString title = applicationTitle();
        switch (kind) {
        case MsgKind::Warning: icon = QMessageBox::Warning; break;
        case MsgKind::Error: icon = QMessageBox::Critical; break;
        case MsgKind::Confirmation: icon = QMessageBox::Question; break;
        case MsgKind::Information: icon = QMessageBox::Information; break;
        }
        QMessageBox box(icon, title, text,
                        buttons == MsgButtons::YesNo ? (QMessageBox::Yes | QMessageBox::No)
                                                     : QMessageBox::Ok,
                        parent);
        const int r = box.exec();
        if (buttons == MsgButtons::Ok) return MsgResult::Ok;
        return r == QMessageBox::Yes ? MsgResult::Yes : MsgResult::No;
    }
    std::optional<QString> inputBox(QWidget* parent, const QString& caption,
                                    const QString& prompt, const QString& value) override {
        bool ok = false;
        const QString s = QInputDialog::getText(parent, caption, prompt, QLineEdit::Normal, value, &ok);
        if (!ok) return std::nullopt;
        return s;
    }
    std::optional<QString> saveFile(QWidget* parent, const QString& caption,
                                    const QString& startDir, const QString& fileName,
                                    const QString& filter) override {
        QString start = startDir;
        if (!fileName.isEmpty())
            start = startDir.isEmpty() ? fileName : startDir + QLatin1Char('/') + fileName;
        const QString s = QFileDialog::getSaveFileName(parent, caption, start, filter);
        if (s.isEmpty()) return std::nullopt;
        return s;
    }
    std::optional<QString> browseFolder(QWidget* parent, const QString& caption,
                                        const QString& startDir) override {
        const QString s = QFileDialog::getExistingDirectory(parent, caption, startDir);
        if (s.isEmpty()) return std::nullopt;
        return s;
    }
    void showHelp(QWidget*, const QString& helpFile, const QString& topic) override {
        if (!help_) help_ = new HelpWindow();
        help_->show(helpFile, topic);
    }
    void shellOpen(const QString& address) override {
        QDesktopServices::openUrl(QUrl(address));
    }

    void closeHelp() {
        delete help_;
    }

private:
    QPointer<HelpWindow> help_;
};

QtDialogService& qtService() {
    static QtDialogService qt;
    return qt;
}

DialogService* g_override = nullptr;
ModalHandler g_modal;
QString g_helpFile;

}  // namespace

DialogService& DialogService::instance() {
    return g_override ? *g_override : static_cast<DialogService&>(qtService());
}

void DialogService::setInstance(DialogService* service) { g_override = service; }

MsgResult warning(QWidget* parent, const QString& text) {
    return DialogService::instance().message(parent, MsgKind::Warning, text, MsgButtons::Ok);
}
MsgResult error(QWidget* parent, const QString& text) {
    return DialogService::instance().message(parent, MsgKind::Error, text, MsgButtons::Ok);
}
bool confirm(QWidget* parent, const QString& text) {
    return DialogService::instance().message(parent, MsgKind::Confirmation, text,
                                             MsgButtons::YesNo) == MsgResult::Yes;
}

void setHelpFile(const QString& path) { g_helpFile = path; }
QString helpFile() { return g_helpFile; }

void helpJump(QWidget* parent, const QString& topic) {
    setHelpFile(dataFile(QStringLiteral("Ostrafen.hlp")));
    DialogService::instance().showHelp(parent, g_helpFile, topic);
}

void helpContents(QWidget* parent) { helpJump(parent, QString()); }

void closeHelpWindow() { qtService().closeHelp(); }

int runModal(QDialog& dialog) {
    if (g_modal) {
        // Copy first: the handler may install another one for a nested dialog.
        ModalHandler handler = g_modal;
        handler(dialog);
        return dialog.result();
    }
    return dialog.exec();
}

void setModalHandler(ModalHandler handler) { g_modal = std::move(handler); }

}  // namespace ui
