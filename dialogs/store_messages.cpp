#include "dialogs/store_messages.h"

#include "platform/ui/dialog_service.h"
#include "store/table.h"

namespace dialogs {

QString storeOpenFailureText(const QString& file, const std::exception& e) {
    return QStringLiteral(
               "Can not open the data file %1:\n%2\n\n"
               "The saved FTP sites, tasks and options are not shown, and no change can be saved "
               "in this session. The file has been left as it is. Close the program, then restore "
               "the file from a backup, or move it to another folder to start with a new one.")
        .arg(file, QString::fromUtf8(e.what()));
}

QString unsavedText(store::Tdm& dm, const std::exception& e) {
    const QString file = QString::fromStdString(dm.database().fileName());
    if (!dm.database().connected())
        return QStringLiteral("The change was not saved: the data file %1 could not be opened "
                              "when the program started.")
            .arg(file);
    if (dynamic_cast<const store::EStoreBusy*>(&e))
        return QStringLiteral("The change was not saved: the data file %1 is in use by another "
                              "program, perhaps another copy of Ostrafen. Close it and try again.")
            .arg(file);
    return QStringLiteral("The change was not saved: %1").arg(QString::fromUtf8(e.what()));
}

void reportUnsaved(QWidget* parent, store::Tdm& dm, const std::exception& e) {
    ui::error(parent, unsavedText(dm, e));
}

void reportUnreadable(QWidget* parent, store::Tdm& dm, const std::exception& e) {
    const QString file = QString::fromStdString(dm.database().fileName());
    ui::error(parent, dm.database().connected()
                          ? QStringLiteral("Can not read the data file %1: %2").arg(file, QString::fromUtf8(e.what()))
                          : QStringLiteral("Can not read the data file %1: it could not be opened when the "
                                           "program started.")
                                .arg(file));
}

}  // namespace dialogs
