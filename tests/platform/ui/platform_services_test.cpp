#include "platform/ui/app_paths.h"
#include "platform/ui/application.h"
#include "platform/ui/dialog_service.h"
#include "platform/ui/file_type.h"
#include "platform/ui/pictures.h"
#include "platform/ui/ticks.h"
#include "tests/support/gui/gui_test_utils.h"
#include "tests/support/gui/scripted_dialogs.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTextBrowser>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

TEST(FileTypeName, ComesFromTheNameAlone) {
    EXPECT_EQ(ui::fileTypeName("anything", true), "File folder");
    EXPECT_EQ(ui::fileTypeName("archive.zzqq"), "ZZQQ File");
    EXPECT_EQ(ui::fileTypeName("noextensionqq"), "File");
    EXPECT_EQ(ui::fileTypeName("trailingdot."), "File");
    // Only the last component counts, whichever separator the name carries.
    EXPECT_EQ(ui::fileTypeName("a.dir/b.qqzz"), "QQZZ File");
    EXPECT_EQ(ui::fileTypeName("a.dir\\b"), "File");
    // A name that exists nowhere still gets the type of its extension.
    const QString txt = ui::fileTypeName("/no/such/dir/notes.txt");
    EXPECT_FALSE(txt.isEmpty());
    EXPECT_NE(txt, "File");
    EXPECT_TRUE(txt[0].isUpper()) << txt.toStdString();
}

TEST(TickCount, AdvancesInMilliseconds) {
    const std::uint32_t start = ui::tickCount();
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 30) {
    }
    const std::uint32_t diff = ui::tickCount() - start;
    EXPECT_GE(diff, 25u);
    EXPECT_LT(diff, 5000u);
}

TEST(DataPaths, DataDirDefaultsToTheExecutableDirectory) {
    const QString old = ui::dataDir();
    ui::setDataDir(QString());
    EXPECT_EQ(ui::dataDir(), ui::executableDir());
    EXPECT_EQ(QDir(ui::executableDir()), QDir(QCoreApplication::applicationDirPath()));
    ui::setDataDir(QStringLiteral("/some/where"));
    EXPECT_EQ(ui::dataFile("all.dat"), QDir::toNativeSeparators("/some/where/all.dat"));
    ui::setDataDir(old);
}

TEST(Help, EveryJumpFirstSetsTheHelpFileBesideTheData) {
    testing_support::ScriptedDialogs dialogs;
    const QString old = ui::dataDir();
    ui::setDataDir(QStringLiteral("/data"));
    ui::setHelpFile(QString());
    ui::helpJump(nullptr, "Newitem6");
    ui::helpContents(nullptr);
    const QString file = QDir::toNativeSeparators("/data/Ostrafen.hlp");
    EXPECT_EQ(ui::helpFile(), file);
    EXPECT_EQ(dialogs.helpRequests, QStringList({file + "|Newitem6", file + "|"}));
    ui::setDataDir(old);
}

TEST(Help, TheShippedHelpFileHasEveryTopicWithText) {
    QFile f(QStringLiteral(OSTRAFEN_SOURCE_DIR "/resources/Ostrafen.hlp"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(f.readAll());
    const QStringList topics = {"contents", "Newitem", "Newitem20", "item23", "item25", "Newitem6",
                                "Overview", "item29", "item30", "item31", "item32", "newitem22",
                                "newitem12"};
    for (const QString& topic : topics) {
        // The anchor, exactly once, and some real text after it before the next one.
        const QString anchor = QStringLiteral("<a name=\"%1\">").arg(topic);
        const int at = html.indexOf(anchor);
        ASSERT_GE(at, 0) << topic.toStdString();
        EXPECT_EQ(html.indexOf(anchor, at + 1), -1) << topic.toStdString();
        int next = html.indexOf(QStringLiteral("<a name="), at + anchor.size());
        if (next < 0) next = html.size();
        QString text = html.mid(at, next - at);
        text.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
        EXPECT_GT(text.simplified().size(), 200) << topic.toStdString();
    }
}

QWidget* topLevel(const QString& name) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == name) return w;
    return nullptr;
}

TEST(Help, TheHelpWindowShowsTheTopicAndNeverKeepsTheProgramAlive) {
    ui::DialogService::setInstance(nullptr);
    const QString file = QStringLiteral(OSTRAFEN_SOURCE_DIR "/resources/Ostrafen.hlp");
    ui::DialogService::instance().showHelp(nullptr, file, "item23");
    QWidget* help = topLevel("HelpWindow");
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_FALSE(help->testAttribute(Qt::WA_QuitOnClose));
    auto* text = help->findChild<QTextBrowser*>();
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(text->toPlainText().contains("Transfer history"));
    ui::DialogService::instance().showHelp(nullptr, file, QString());  // same window again
    EXPECT_EQ(topLevel("HelpWindow"), help);
    ui::closeHelpWindow();
    EXPECT_EQ(topLevel("HelpWindow"), nullptr);
}

TEST(Pictures, EveryPictureIsDrawn) {
    for (int i = 0; i <= int(ui::Picture::Stop); ++i) {
        const QPixmap pm = ui::picture(ui::Picture(i), 16);
        EXPECT_FALSE(pm.isNull()) << i;
        EXPECT_EQ(pm.height(), 16) << i;
        const QImage img = pm.toImage();
        bool painted = false;
        for (int y = 0; y < img.height() && !painted; ++y)
            for (int x = 0; x < img.width() && !painted; ++x) painted = img.pixelColor(x, y).alpha() > 0;
        EXPECT_TRUE(painted) << i;
    }
}

// The program's error handler: what escapes an event handler is written to
// stderr and discarded; the application goes on dispatching.
TEST(ErrorHandler, DiscardsWhatEscapesASlotAndGoesOn) {
    const int before = ui::Application::discardedErrors();
    QPushButton button(QStringLiteral("Throw"));
    int clicks = 0;
    QObject::connect(&button, &QPushButton::clicked, [&] {
        ++clicks;
        throw std::runtime_error("from a click");
    });
    button.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&button));
    QTest::mouseClick(&button, Qt::LeftButton);
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(clicks, 2);

    bool ranAfter = false;
    QTimer::singleShot(0, [] { throw 42; });  // not even a std::exception
    QTimer::singleShot(1, [&] { ranAfter = true; });
    EXPECT_TRUE(testing_support::waitUntil([&] { return ranAfter; }));
    EXPECT_EQ(ui::Application::discardedErrors(), before + 3);
}

}  // namespace

// Captions read exactly as each window sets them: the program's title goes
// to message boxes, and no display name is there for the platform to append
// to every caption ("About — ...").
TEST(ApplicationTitle, IsNotAppendedToWindowCaptions) {
    EXPECT_EQ(ui::applicationTitle(), QStringLiteral("Ostrafen FREE Edition"));
    EXPECT_EQ(QCoreApplication::applicationName(), QStringLiteral("Ostrafen"));
    // Without a display name of its own Qt answers with the application name.
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
}
