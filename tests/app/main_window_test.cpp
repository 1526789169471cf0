#include "app/about_window.h"
#include "app/history_pane.h"
#include "app/local_pane.h"
#include "app/main_window.h"
#include "app/site_list_pane.h"
#include "transfer/local_target.h"
#include "tasks/tasks_pane.h"
#include "browser/browser_frame.h"
#include "dialogs/options_dialog.h"
#include "platform/ui/app_paths.h"
#include "platform/ui/ini_file.h"
#include "platform/ui/pictures.h"
#include "tests/support/core/scripted_ftp_server.h"
#include "tests/support/gui/app_fixture.h"
#include "tests/support/gui/store_rows.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTabBar>
#include <QTabWidget>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <memory>

using testing_support::AppFixture;
using testing_support::AppTest;
using testing_support::waitUntil;

namespace {

const char kNoSite[] = "Can not read the information of the FTP site.";

// Where the local list starts: the desktop, or the home folder on a machine
// without one.
QString startFolder() {
    const QString desk = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    return QDir::toNativeSeparators(QFileInfo(desk).isDir() ? desk : QDir::homePath());
}

class MainWindowTest : public AppTest {
protected:
    std::unique_ptr<TForm1> w;

    ui::IniFile ini() const { return ui::IniFile(app.path("forminfo.ini")); }

    // Creates the window and shows it, which runs its first showing.
    TForm1& show() {
        if (!w) w = std::make_unique<TForm1>(app.dm());
        w->resize(1000, 700);
        w->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        return *w;
    }
    // How many connection attempts the frames made: sites unknown to the store
    // are refused with one message each.
    int attempts() const { return app.dialogs().messageTexts().count(kNoSite); }

    QTabWidget* pages() const { return w->pageControl(); }
    QStringList pageNames() const {
        QStringList out;
        for (int i = 0; i < pages()->count(); ++i) out << pages()->widget(i)->objectName();
        return out;
    }
    QStringList visibleCaptions() const {
        QStringList out;
        for (int i = 1; i < pages()->count(); ++i)
            if (pages()->isTabVisible(i)) out << TForm1::pageCaption(pages()->widget(i));
        return out;
    }
    void rightClickTab(int index) {
        QTabBar* bar = pages()->tabBar();
        QTest::mouseClick(bar, Qt::RightButton, {}, bar->tabRect(index).center());
    }
};

TEST_F(MainWindowTest, FirstStartWithoutLayoutFileUsesTheDefaults) {
    TForm1& m = show();
    EXPECT_EQ(m.windowTitle(), "Ostrafen FREE Edition");
    EXPECT_EQ(m.sidePane()->currentIndex(), 0);
    EXPECT_EQ(m.sidePane()->tabText(0), "&Local File");
    EXPECT_EQ(m.sidePaneWidth(), 307);
    EXPECT_EQ(m.siteList()->descriptionHeight(), 211);
    EXPECT_EQ(m.siteList()->viewStyleCode(), 0);
    EXPECT_EQ(m.localPane()->rootPath(), startFolder());
    EXPECT_EQ(pages()->tabText(0), "FTP Site");
    EXPECT_EQ(m.siteList()->cyclePosition(), 4);
    EXPECT_EQ(m.localViewCycle, 4);

    m.OpenBrowserPage("a", false);
    Tfb* f = m.activeFrame();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->infoHeight(), 93);
    EXPECT_EQ(f->queueHeight(), 116);
    EXPECT_EQ(f->listViewStyle(), 3);
}

TEST_F(MainWindowTest, TopBarHasSixFlatButtonsInOrder) {
    TForm1& m = show();
    QWidget* bar = m.findChild<QWidget*>("TopBar");
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->height(), 33);
    QList<QPushButton*> buttons = bar->findChildren<QPushButton*>();
    std::sort(buttons.begin(), buttons.end(), [](auto* a, auto* b) { return a->x() < b->x(); });
    QStringList texts;
    for (auto* b : buttons) {
        texts << b->text();
        EXPECT_TRUE(b->isFlat());
        EXPECT_EQ(b->width(), 70);
        EXPECT_EQ(b->toolTip(), b->text());
    }
    EXPECT_EQ(texts, QStringList({"Options", "Feedback", "Homepage", "Help", "About", "Exit"}));
}

TEST_F(MainWindowTest, StoredLayoutIsRestoredAndOutOfRangeCodesAreIgnored) {
    QTemporaryDir local;
    auto f = ini();
    f.writeInteger("MAIN", "P2", 2);
    f.writeString("MAIN", "LOCALPATH", QDir::toNativeSeparators(local.path()));
    f.writeInteger("MAIN", "PWIDTH", 250);
    f.writeInteger("MAIN", "WELCOMEH", 150);
    f.writeInteger("MAIN", "FTPSITEVIEW", 3);
    f.writeInteger("FTP", "INFO", 70);
    f.writeInteger("FTP", "UPDOWN", 80);
    f.writeInteger("FTP", "LVCVIEW", 1);
    TForm1& m = show();
    EXPECT_EQ(m.sidePane()->currentIndex(), 2);
    EXPECT_EQ(m.localPane()->rootPath(), QDir::toNativeSeparators(local.path()));
    EXPECT_EQ(m.sidePaneWidth(), 250);
    EXPECT_EQ(m.siteList()->descriptionHeight(), 150);
    EXPECT_EQ(m.siteList()->viewStyleCode(), 3);
    m.OpenBrowserPage("a", false);
    EXPECT_EQ(m.activeFrame()->infoHeight(), 70);
    EXPECT_EQ(m.activeFrame()->queueHeight(), 80);
    EXPECT_EQ(m.activeFrame()->listViewStyle(), 1);
}

TEST_F(MainWindowTest, OutOfRangeSideTabAndViewCodesKeepTheDesign) {
    auto f = ini();
    f.writeInteger("MAIN", "P2", 7);
    f.writeInteger("MAIN", "FTPSITEVIEW", 9);
    f.writeInteger("FTP", "LVCVIEW", -1);
    f.writeString("MAIN", "LOCALPATH", app.path("does-not-exist"));
    w = std::make_unique<TForm1>(app.dm());
    const int designView = w->siteList()->viewStyleCode();
    TForm1& m = show();
    EXPECT_EQ(m.sidePane()->currentIndex(), 1);  // "&History"
    EXPECT_EQ(m.siteList()->viewStyleCode(), designView);
    EXPECT_EQ(m.localPane()->rootPath(), startFolder());
    m.OpenBrowserPage("a", false);
    EXPECT_EQ(m.activeFrame()->listViewStyle(), 3);
}

TEST_F(MainWindowTest, PagesAndFramesAreNumberedInOpeningOrder) {
    TForm1& m = show();
    m.OpenBrowserPage("alpha", false);
    m.OpenBrowserPage("beta", false);
    m.OpenBrowserPage("gamma", false);
    EXPECT_EQ(pageNames(), QStringList({"TabSheet1", "tab1", "tab2", "tab3"}));
    const QStringList captions = {"alpha", "beta", "gamma"};
    for (int i = 1; i <= 3; ++i) {
        QWidget* page = pages()->widget(i);
        EXPECT_EQ(page->property("tag").toInt(), i);
        EXPECT_EQ(TForm1::pageCaption(page), captions[i - 1]);
        EXPECT_EQ(pages()->tabText(i), captions[i - 1]);
        Tfb* f = page->findChild<Tfb*>(QStringLiteral("fr%1").arg(i));
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->property("tag").toInt(), i);
        EXPECT_EQ(f->sitename(), captions[i - 1]);
        EXPECT_EQ(m.frameByCaption(captions[i - 1]), f);
    }
    EXPECT_EQ(pages()->currentIndex(), 3);
    EXPECT_EQ(m.activeFrame()->objectName(), "fr3");
    EXPECT_EQ(m.frames().size(), 3);
    EXPECT_EQ(attempts(), 3);
    EXPECT_EQ(m.frameByCaption("ALPHA"), nullptr);  // captions compare exactly
}

TEST_F(MainWindowTest, OpeningAnOpenPageAgainOnlyActivatesIt) {
    TForm1& m = show();
    m.OpenBrowserPage("alpha", false);
    m.OpenBrowserPage("beta", false);
    m.OpenBrowserPage("alpha", false);
    EXPECT_EQ(pages()->count(), 3);
    EXPECT_EQ(pages()->currentIndex(), 1);
    EXPECT_EQ(attempts(), 2);  // not reconnected
}

TEST_F(MainWindowTest, ClosedPageReopensInPlaceWithItsFrame) {
    TForm1& m = show();
    m.OpenBrowserPage("alpha", false);
    m.OpenBrowserPage("beta", false);
    m.OpenBrowserPage("gamma", false);
    pages()->setCurrentIndex(2);
    Tfb* beta = m.activeFrame();
    beta->setInfoHeight(140);
    beta->setQueueHeight(150);
    beta->setListViewStyle(2);
    m.CloseBrowserPage();
    EXPECT_FALSE(pages()->isTabVisible(2));
    EXPECT_EQ(visibleCaptions(), QStringList({"alpha", "gamma"}));
    // The closing frame's layout is what the next page starts with.
    EXPECT_EQ(ini().readInteger("FTP", "INFO", 0), 140);
    EXPECT_EQ(ini().readInteger("FTP", "UPDOWN", 0), 150);
    EXPECT_EQ(ini().readInteger("FTP", "LVCVIEW", 0), 2);

    m.OpenBrowserPage("beta", false);
    EXPECT_TRUE(pages()->isTabVisible(2));
    EXPECT_EQ(pages()->currentIndex(), 2);
    EXPECT_EQ(m.activeFrame(), beta);
    EXPECT_EQ(beta->objectName(), "fr2");
    EXPECT_EQ(attempts(), 4);  // reconnected
    EXPECT_EQ(pageNames(), QStringList({"TabSheet1", "tab1", "tab2", "tab3"}));

    m.OpenBrowserPage("delta", false);
    EXPECT_EQ(m.activeFrame()->objectName(), "fr4");
    EXPECT_EQ(m.activeFrame()->infoHeight(), 140);
    EXPECT_EQ(m.activeFrame()->listViewStyle(), 2);
}

TEST_F(MainWindowTest, CloseOnTheSitePageDoesNothing) {
    TForm1& m = show();
    m.OpenBrowserPage("alpha", false);
    pages()->setCurrentIndex(0);
    m.CloseBrowserPage();
    EXPECT_TRUE(pages()->isTabVisible(1));
    EXPECT_FALSE(QFile::exists(app.path("forminfo.ini")));
    EXPECT_EQ(m.activeFrame(), nullptr);
}

TEST_F(MainWindowTest, CloseAllHidesEveryPageAndLeavesTheSitePage) {
    TForm1& m = show();
    m.OpenBrowserPage("alpha", false);
    m.OpenBrowserPage("beta", false);
    m.OpenBrowserPage("gamma", false);
    m.CloseAllPages();
    EXPECT_TRUE(visibleCaptions().isEmpty());
    EXPECT_EQ(pages()->currentIndex(), 0);
    EXPECT_EQ(pages()->count(), 4);  // pages stay for a later reopening
    EXPECT_FALSE(m.localPane()->uploadButton()->isEnabled());
}

TEST_F(MainWindowTest, RightClickActivatesTheTabUnderThePointer) {
    TForm1& m = show();
    m.OpenBrowserPage("alpha", false);
    m.OpenBrowserPage("beta", false);
    m.OpenBrowserPage("gamma", false);
    pages()->setCurrentIndex(1);
    m.CloseBrowserPage();  // alpha hidden: the later tabs move left
    pages()->setCurrentIndex(0);

    rightClickTab(3);
    EXPECT_EQ(pages()->currentIndex(), 3);
    EXPECT_EQ(TForm1::pageCaption(pages()->currentWidget()), "gamma");
    EXPECT_TRUE(waitUntil([&] { return m.pageMenu()->isVisible(); }));
    m.pageMenu()->hide();

    rightClickTab(0);  // "FTP Site": activated, no menu
    EXPECT_EQ(pages()->currentIndex(), 0);
    EXPECT_FALSE(m.pageMenu()->isVisible());

    // Outside every tab nothing changes; the left button does nothing special.
    QTabBar* bar = pages()->tabBar();
    const QRect last = bar->tabRect(3);
    QTest::mouseClick(bar, Qt::RightButton, {}, QPoint(last.right() + 40, last.center().y()));
    EXPECT_EQ(pages()->currentIndex(), 0);
    EXPECT_FALSE(m.pageMenu()->isVisible());

    QStringList items;
    for (QAction* a : m.pageMenu()->actions()) items << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(items, QStringList({"Close current page", "-", "Close all"}));
}

TEST_F(MainWindowTest, PageMenuClosesTheActivePage) {
    TForm1& m = show();
    m.OpenBrowserPage("alpha", false);
    m.OpenBrowserPage("beta", false);
    m.pageMenu()->actions().at(0)->trigger();
    EXPECT_EQ(visibleCaptions(), QStringList({"alpha"}));
    m.pageMenu()->actions().at(2)->trigger();
    EXPECT_TRUE(visibleCaptions().isEmpty());
}

TEST_F(MainWindowTest, UploadButtonFollowsTheActivePage) {
    TForm1& m = show();
    QToolButton* upload = m.localPane()->uploadButton();
    EXPECT_EQ(upload->objectName(), "Upload");
    EXPECT_FALSE(upload->isEnabled());
    m.OpenBrowserPage("alpha", false);
    EXPECT_FALSE(upload->isEnabled());  // its frame is not connected
    m.setUploadEnabled(true);
    pages()->setCurrentIndex(0);
    EXPECT_FALSE(upload->isEnabled());
}

TEST_F(MainWindowTest, TabImageShowsTheFrameConnectionState) {
    TForm1& m = show();
    m.OpenBrowserPage("alpha", false);
    m.OpenBrowserPage("beta", false);
    const auto image = [&](int i) { return pages()->tabIcon(i).pixmap(16, 16).toImage(); };
    const QImage off = ui::picture(ui::Picture::Disconnected, 16).toImage();
    const QImage on = ui::picture(ui::Picture::Connected, 16).toImage();
    EXPECT_EQ(image(1), off);
    emit m.frameByCaption("alpha")->connectedChanged(true);
    EXPECT_EQ(image(1), on);
    EXPECT_EQ(image(2), off);
    emit m.frameByCaption("alpha")->connectedChanged(false);
    EXPECT_EQ(image(1), off);
}

TEST_F(MainWindowTest, RenamedPageKeepsItsFrame) {
    TForm1& m = show();
    m.OpenBrowserPage("old & name", false);
    Tfb* f = m.activeFrame();
    EXPECT_EQ(pages()->tabText(1), "old && name");  // shown with a literal "&"
    m.RenameBrowserPage("old & name", "new");
    EXPECT_EQ(m.frameByCaption("new"), f);
    EXPECT_EQ(m.frameByCaption("old & name"), nullptr);
    EXPECT_EQ(f->sitename(), "new");
    EXPECT_EQ(pages()->tabText(1), "new");
    m.OpenBrowserPage("new", false);
    EXPECT_EQ(pages()->count(), 2);
}

TEST_F(MainWindowTest, ExitSavesTheLayoutAndDestroysThePages) {
    QTemporaryDir local;
    TForm1& m = show();
    m.OpenBrowserPage("alpha", false);
    m.OpenBrowserPage("beta", false);
    m.frameByCaption("alpha")->setInfoHeight(60);
    m.frameByCaption("beta")->setInfoHeight(61);
    m.sidePane()->setCurrentIndex(2);
    ASSERT_TRUE(m.localPane()->setRootPath(local.path()));
    m.siteList()->setViewStyleCode(1);
    m.siteList()->setDescriptionHeight(180);
    QPointer<Tfb> alpha = m.frameByCaption("alpha");

    m.findChild<QPushButton*>("btnExit")->click();
    EXPECT_FALSE(m.isVisible());
    EXPECT_TRUE(alpha.isNull());
    EXPECT_TRUE(m.frames().isEmpty());
    const auto f = ini();
    EXPECT_EQ(f.readInteger("MAIN", "P2", -9), 2);
    EXPECT_EQ(f.readString("MAIN", "LOCALPATH", ""), QDir::toNativeSeparators(local.path()));
    EXPECT_EQ(f.readInteger("MAIN", "PWIDTH", -9), m.sidePaneWidth());
    EXPECT_EQ(f.readInteger("MAIN", "FTPSITEVIEW", -9), 1);
    EXPECT_EQ(f.readInteger("MAIN", "WELCOMEH", -9), 180);
    EXPECT_EQ(f.readInteger("FTP", "INFO", -9), 61);  // the last page written wins
    EXPECT_EQ(f.readInteger("FTP", "UPDOWN", -9), 116);
}

TEST_F(MainWindowTest, LayoutRoundTripsThroughARestart) {
    {
        TForm1& m = show();
        m.sidePane()->setCurrentIndex(1);
        m.siteList()->setViewStyleCode(2);
        m.close();
        w.reset();
    }
    TForm1& m = show();  // a new window reads what the old one wrote
    EXPECT_EQ(m.sidePane()->currentIndex(), 1);
    EXPECT_EQ(m.siteList()->viewStyleCode(), 2);
    EXPECT_EQ(m.sidePaneWidth(), 307);
    EXPECT_EQ(ini().readString("MAIN", "LOCALPATH", ""),
              QFileInfo(m.localPane()->rootPath()).isDir() ? m.localPane()->rootPath() : QString("-1"));
}

TEST_F(MainWindowTest, DeletedLocalFolderIsSavedAsMinusOne) {
    TForm1& m = show();
    {
        QTemporaryDir gone;
        ASSERT_TRUE(m.localPane()->setRootPath(gone.path()));
    }
    m.close();
    EXPECT_EQ(ini().readString("MAIN", "LOCALPATH", ""), "-1");
}

TEST_F(MainWindowTest, LocalFolderWithALineBreakIsSavedAsMinusOne) {
    const QString odd = app.path("two\nlines");
    ASSERT_TRUE(QDir().mkdir(odd));
    TForm1& m = show();
    ASSERT_TRUE(m.localPane()->setRootPath(odd));
    m.close();
    EXPECT_EQ(ini().readString("MAIN", "LOCALPATH", ""), "-1");
    EXPECT_EQ(ini().readInteger("MAIN", "P2", -1), 0);  // and nothing else was broken
}

TEST_F(MainWindowTest, HelpButtonsJumpToTheirTopics) {
    TForm1& m = show();
    const QString file = ui::dataFile("Ostrafen.hlp");
    m.findChild<QPushButton*>("btnHelp")->click();
    m.localPane()->findChild<QToolButton*>("Help")->click();
    m.historyPane()->helpAction()->trigger();
    m.tasksPane()->helpAction()->trigger();
    EXPECT_EQ(app.dialogs().helpRequests,
              QStringList({file + "|", file + "|Newitem20", file + "|item23", file + "|item25"}));
    EXPECT_EQ(ui::helpFile(), file);
}

TEST_F(MainWindowTest, FeedbackAndHomepageOpenTheMakersAddresses) {
    TForm1& m = show();
    m.findChild<QPushButton*>("btnFeedback")->click();
    m.findChild<QPushButton*>("btnHomepage")->click();
    EXPECT_EQ(app.dialogs().opened, QStringList({"mailto:support@ostrafen.example?subject=",
                                                 "https://ostrafen.example/"}));
}

TEST_F(MainWindowTest, AboutWindowShowsTheProductAndOpensItsLinks) {
    TForm1& m = show();
    QStringList texts;
    QString caption;
    bool wasModal = false;
    testing_support::onNextModal([&](QDialog& d) {
        caption = d.windowTitle();
        wasModal = d.isModal();
        for (QLabel* l : d.findChildren<QLabel*>()) texts << l->text();
        auto& box = static_cast<TAboutBox&>(d);
        for (const char* c : {"Homepage", "Product Page", "FAQ Page ", "Bug report and support"}) {
            QLabel* link = box.linkLabel(c);
            ASSERT_NE(link, nullptr) << c;
            EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
            const QString href = link->text().section('"', 1, 1);
            emit link->linkActivated(href);
        }
        d.findChild<QPushButton*>("OK")->click();
    });
    m.findChild<QPushButton*>("btnAbout")->click();
    EXPECT_EQ(caption, "About");
    EXPECT_TRUE(wasModal);
    EXPECT_TRUE(texts.contains("Ostrafen"));
    EXPECT_TRUE(texts.contains("FREE Edition"));
    for (const char* c : {"Homepage:", "Product Page:", "FAQ Page :", "Bug report and support:"})
        EXPECT_TRUE(texts.contains(c)) << c;
    const QStringList opened = app.dialogs().opened;
    ASSERT_EQ(opened.size(), 4);
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(opened[i].startsWith("https://ostrafen.example/")) << i;
    EXPECT_EQ(opened[3], "mailto:support@ostrafen.example?subject=");
}

TEST_F(MainWindowTest, OptionsButtonOpensTheOptionsDialogOnItsFirstPage) {
    TForm1& m = show();
    QString caption;
    testing_support::onNextModal([&](QDialog& d) {
        caption = d.windowTitle();
        d.reject();
    });
    m.findChild<QPushButton*>("btnOptions")->click();
    EXPECT_EQ(caption, "Options");
}

TEST_F(MainWindowTest, SavedOptionsReachEveryOpenFrame) {
    testing_support::setAntiIdle(app.dm(), {"NOOP"}, 30);
    TForm1& m = show();
    // No such sites: the frames show their error and stay unconnected.
    m.OpenBrowserPage("nowhere-a", false);
    m.OpenBrowserPage("nowhere-b", false);
    ASSERT_EQ(m.frames().size(), 2);
    app.dialogs().inputAnswers.push_back(QString("stat"));
    testing_support::onNextModal([](QDialog& d) {
        auto& f = dynamic_cast<TForm2&>(d);
        f.seInterval->setValue(42);
        f.btAddCommand->click();
        f.btOk->click();
    });
    m.findChild<QPushButton*>("btnOptions")->click();
    for (Tfb* frame : m.frames()) {
        EXPECT_EQ(frame->session().options().antiidleinterval, 42);
        EXPECT_EQ(frame->session().options().antiidlecmds, (std::vector<std::string>{"NOOP", "STAT"}));
    }
}

// The folder creation every window uses (transfer/local_target.h).
bool createFolderPath(const QString& path) { return transfer::CreateFolderPath(path.toUtf8().toStdString()); }

TEST(CreateFolderPath, CreatesEveryMissingLevel) {
    QTemporaryDir tmp;
    const QString base = QDir::toNativeSeparators(tmp.path());
    const QString sep = QDir::separator();
    EXPECT_TRUE(createFolderPath(QString()));
    const QString deep = base + sep + "a" + sep + "b" + sep + "c";
    EXPECT_TRUE(createFolderPath(deep));
    EXPECT_TRUE(QFileInfo(deep).isDir());
    EXPECT_TRUE(createFolderPath(deep + sep));  // existing, trailing separator
    EXPECT_TRUE(createFolderPath(sep));         // the root alone
}

TEST(CreateFolderPath, RefusesMalformedPathsAndBlockedLevels) {
    QTemporaryDir tmp;
    const QString base = QDir::toNativeSeparators(tmp.path());
    const QString sep = QDir::separator();
    EXPECT_FALSE(createFolderPath(base + sep + "x" + sep + sep + "y"));
    EXPECT_TRUE(QFileInfo(base + sep + "x").isDir());  // made before the empty level; left alone
    EXPECT_FALSE(QFileInfo::exists(base + sep + "x" + sep + "y"));
    EXPECT_FALSE(createFolderPath("relative" + sep + "path"));
    EXPECT_FALSE(QFileInfo::exists("relative"));
    QFile file(base + sep + "file");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_FALSE(createFolderPath(base + sep + "file" + sep + "sub"));
}

TEST(MainWindowStore, DamagedStoreLeavesTheDesignLayoutAndTheFileUntouched) {
    AppFixture env(AppFixture::Connect::No);
    const QByteArray junk = QByteArray("this is not a table store\n").repeated(200);
    env.writeFile("all.dat", junk);
    ui::IniFile(env.path("forminfo.ini")).writeInteger("MAIN", "P2", 2);
    TForm1 m(env.dm());
    m.resize(800, 600);
    m.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&m));
    EXPECT_EQ(m.sidePane()->currentIndex(), 1);  // layout not restored
    EXPECT_EQ(env.readFile("all.dat"), junk);
    m.close();
}

}  // namespace

// A server that accepts and then says nothing: a connection attempt to it waits
// (processing window messages) until it is closed under it.
namespace {

void addSite(store::Tdm& dm, const std::string& name, int port) {
    store::SiteRecord s = testing_support::loopbackSite(name, port);
    s.timeout = 20;
    s.rd = 10;
    store::appendSite(dm, s);
}

TEST_F(MainWindowTest, ClosingWhileAFrameWaitsDestroysItOnlyAfterTheWaitEnds) {
    testing_support::ScriptedFtpServer silent;
    silent.acceptControl().silentUntilClosed();
    silent.start();
    addSite(app.dm(), "silent", silent.port());
    TForm1& m = show();

    QPointer<QWidget> page;
    QPointer<Tfb> frame;
    bool closedDuringWait = false;
    QTimer closer;
    closer.setInterval(20);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        // Close once the frame is inside its blocking connect.
        if (!frame) frame = m.frameByCaption("silent");
        if (!frame || frame->session().busyCount() == 0) return;
        closer.stop();
        page = frame->parentWidget();
        m.close();
        closedDuringWait = true;
        EXPECT_FALSE(frame.isNull());  // not destroyed under the waiting call
    });
    closer.start();
    QElapsedTimer t;
    t.start();
    m.OpenBrowserPage("silent", false);
    EXPECT_TRUE(closedDuringWait);
    EXPECT_LT(t.elapsed(), 10000);  // the wait ended with the connection, not by its time-out
    EXPECT_TRUE(waitUntil([&] { return page.isNull() && frame.isNull(); }));
    EXPECT_TRUE(m.frames().isEmpty());
    EXPECT_TRUE(silent.waitDone()) << silent.failure();
}

TEST_F(MainWindowTest, ClosingAPageWhileItsFrameWaitsKeepsTheFrameForReuse) {
    testing_support::ScriptedFtpServer silent;
    silent.acceptControl().silentUntilClosed();
    silent.start();
    addSite(app.dm(), "silent", silent.port());
    TForm1& m = show();

    QPointer<Tfb> frame;
    bool closedDuringWait = false;
    QTimer closer;
    closer.setInterval(20);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (!frame) frame = m.frameByCaption("silent");
        if (!frame || frame->session().busyCount() == 0) return;
        closer.stop();
        m.CloseBrowserPage();
        closedDuringWait = true;
    });
    closer.start();
    QElapsedTimer t;
    t.start();
    m.OpenBrowserPage("silent", false);
    EXPECT_TRUE(closedDuringWait);
    EXPECT_LT(t.elapsed(), 10000);
    ASSERT_FALSE(frame.isNull());
    EXPECT_EQ(frame->session().busyCount(), 0);
    EXPECT_TRUE(visibleCaptions().isEmpty());
    EXPECT_EQ(pages()->currentIndex(), 0);
    EXPECT_TRUE(silent.waitDone()) << silent.failure();
    EXPECT_EQ(m.frameByCaption("silent"), frame.data());
}

}  // namespace
