#pragma once
// One isolated program environment for a GUI test: a temporary data directory
// (all.dat, forminfo.ini, *.dat live there), a data module connected to its
// all.dat, and the scripted dialog service. Everything is undone on destruction.
#include "store/table.h"
#include "tests/support/gui/gui_test_utils.h"
#include "tests/support/gui/scripted_dialogs.h"

#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace testing_support {

class AppFixture {
public:
    enum class Connect { Yes, No };
    // With Connect::No the data module exists but all.dat is left alone, so a
    // test can first put a file of its own there.
    explicit AppFixture(Connect connect = Connect::Yes);
    ~AppFixture();
    AppFixture(const AppFixture&) = delete;
    AppFixture& operator=(const AppFixture&) = delete;

    // The temporary data directory and a file inside it (native separators).
    QString dataDir() const;
    QString path(const QString& name) const;

    store::Tdm& dm() { return *dm_; }
    ScriptedDialogs& dialogs() { return dialogs_; }
    const ScriptedDialogs& dialogs() const { return dialogs_; }

    // Connects the data module to <dataDir>/all.dat; false (and the reason on
    // stderr) when the store refuses the file.
    bool connectStore();

    // Writes `bytes` to <dataDir>/<name>, replacing it.
    void writeFile(const QString& name, const QByteArray& bytes) const;
    QByteArray readFile(const QString& name) const;

private:
    QTemporaryDir tmp_;
    QString previousDataDir_;
    ScriptedDialogs dialogs_;
    std::unique_ptr<store::Tdm> dm_;
};

// GoogleTest base for tests that need the environment above.
class AppTest : public ::testing::Test {
protected:
    AppFixture app;
};

}  // namespace testing_support
