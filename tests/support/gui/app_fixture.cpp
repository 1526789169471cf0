#include "tests/support/gui/app_fixture.h"

#include "platform/ui/app_paths.h"

#include <QDir>
#include <QFile>
#include <cstdio>

namespace testing_support {

AppFixture::AppFixture(Connect connect) {
    EXPECT_TRUE(tmp_.isValid()) << "cannot create a temporary data directory";
    previousDataDir_ = ui::dataDir();
    ui::setDataDir(tmp_.path());
    dm_ = std::make_unique<store::Tdm>();
    if (connect == Connect::Yes) {
        EXPECT_TRUE(connectStore());
    }
}

AppFixture::~AppFixture() {
    clearModalHandlers();
    dm_.reset();
    ui::setDataDir(previousDataDir_);
}

QString AppFixture::dataDir() const { return QDir::toNativeSeparators(tmp_.path()); }

QString AppFixture::path(const QString& name) const {
    return QDir::toNativeSeparators(QDir(tmp_.path()).filePath(name));
}

bool AppFixture::connectStore() {
    try {
        auto& db = dm_->database();
        db.disconnect();
        db.setFileName(path(QStringLiteral("all.dat")).toStdString());
        db.connect();
        return true;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "AppFixture: store refused all.dat: %s\n", e.what());
        return false;
    }
}

void AppFixture::writeFile(const QString& name, const QByteArray& bytes) const {
    QFile f(path(name));
    EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << name.toStdString();
    f.write(bytes);
}

QByteArray AppFixture::readFile(const QString& name) const {
    QFile f(path(name));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

}  // namespace testing_support
