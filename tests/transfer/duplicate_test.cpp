// An existing target: the facts shown, each answer and what it leaves in the
// queue state, "... all" for the rest of one run, and the checks of "Rename".
#include "tests/support/core/real_servers.h"
#include "tests/support/gui/app_fixture.h"
#include "transfer/duplicate_dialog.h"

#include <QPushButton>

using namespace transfer;
using testing_support::onNextModal;

namespace {

class Duplicate : public testing_support::AppTest {
protected:
    // A download of a 1000-byte remote file onto a local file of `localBytes`.
    rtmpinfo download(std::size_t localBytes) {
        testing_support::WriteWholeFile(local.File("f.bin"), std::string(localBytes, 'x'));
        return {local.File("f.bin"), 1000, "2024-01-03 00:00:00", 0};
    }
    DuplicateAsker answer(DuplicateButton b, int* asked = nullptr) {
        return [b, asked](const DuplicateView&) {
            if (asked) ++*asked;
            return DuplicateChoice{b, {}};
        };
    }
    testing_support::TempDir local;
    QueueState st;
};

TEST_F(Duplicate, ResumeIsOfferedOnlyOntoAShorterLocalFile) {
    const DuplicateView v = BuildDuplicateView(download(400), false, true);
    EXPECT_STREQ(v.topHeading(), "Remote file");
    EXPECT_EQ(v.top.size, 1000);
    EXPECT_EQ(v.bottom.size, 400);
    EXPECT_TRUE(v.resumeEnabled);
    EXPECT_EQ(ResolveDuplicate(st, download(400), false, true, answer(DuplicateButton::Resume)),
              DuplicateAnswer::Resume);
    EXPECT_EQ(st.resumeat, 400);
    EXPECT_EQ(st.remaining, 600);
    // Overwrite shows the whole file's progress, not the remainder.
    EXPECT_EQ(ResolveDuplicate(st, download(400), false, true, answer(DuplicateButton::Overwrite)),
              DuplicateAnswer::Overwrite);
    EXPECT_EQ(st.resumeat, 0);

    EXPECT_FALSE(BuildDuplicateView(download(1000), false, true).resumeEnabled);
    EXPECT_EQ(ResolveDuplicate(st, download(1000), false, true, answer(DuplicateButton::Resume)),
              DuplicateAnswer::Cancel);
    EXPECT_FALSE(BuildDuplicateView(download(400), true, true).resumeEnabled);
    const DuplicateView up = BuildDuplicateView({local.File("f.bin"), 7, "?", 400}, false, false);
    EXPECT_STREQ(up.topHeading(), "Local file");
    EXPECT_EQ(up.top.size, 400);
    EXPECT_EQ(up.bottom.modified, "?");
}

TEST_F(Duplicate, AllAnswersHoldForTheRestOfOneRunOnly) {
    int asked = 0;
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(ResolveDuplicate(st, download(1), false, true, answer(DuplicateButton::SkipAll, &asked)),
                  DuplicateAnswer::Skip);
    EXPECT_EQ(asked, 1);
    // The end of a run resets the pair.
    st.askdup = true;
    st.dupchoice = -1;
    EXPECT_EQ(ResolveDuplicate(st, download(1), false, true, answer(DuplicateButton::OverwriteAll, &asked)),
              DuplicateAnswer::Overwrite);
    EXPECT_EQ(ResolveDuplicate(st, download(1), false, true, answer(DuplicateButton::Skip, &asked)),
              DuplicateAnswer::Overwrite);
    EXPECT_EQ(asked, 2);
}

TEST_F(Duplicate, WindowShowsBothSidesAndRenameKeepsItOpenUntilANameIsAccepted) {
    testing_support::WriteWholeFile(local.File("taken.txt"), "");
    RenameRules rules;
    rules.download = true;
    rules.localFolder = local.Path();
    app.dialogs().inputAnswers = {QString("taken.txt"), QString("a:b"), QString("new.bin")};
    onNextModal([](QDialog& d) {
        auto& f = static_cast<TForm9&>(d);
        EXPECT_EQ(f.windowTitle(), "Duplicate file found");
        EXPECT_EQ(f.blockTexts(0), (QStringList{"Remote file", "f.bin", "1000", "2024-01-03 00:00:00",
                                                f.blockTexts(1).last()}));
        EXPECT_EQ(f.blockTexts(1)[2], "400");
        EXPECT_TRUE(f.button(DuplicateButton::Resume)->isEnabled());
        for (int i = 0; i < 3; ++i) f.button(DuplicateButton::Rename)->click();
    });
    const DuplicateChoice c = AskDuplicate(BuildDuplicateView(download(400), false, true), rules, nullptr);
    EXPECT_EQ(c.button, DuplicateButton::Rename);
    EXPECT_EQ(c.newname, "new.bin");
    // A local file of the new name is refused like a folder, then the colon.
    EXPECT_EQ(app.dialogs().messageTexts(),
              (QStringList{"The name taken.txt was existed, please re-enter.",
                           "The following characters can not be contained in the name of files: \\/:*?\"<>|"}));
    EXPECT_EQ(app.dialogs().inputPrompts.first(), "New name|Enter a new filename|f.bin");

    onNextModal([](QDialog& d) { d.reject(); });
    EXPECT_EQ(AskDuplicate(BuildDuplicateView(download(1), false, true), rules, nullptr).button,
              DuplicateButton::Cancel);
}

TEST_F(Duplicate, UploadRenameChecksAFreshListingAndTheRemoteList) {
    RenameRules rules;
    rules.remoteExists = [](const std::string& n) {
        if (n == "gone") throw std::runtime_error("connection lost");
        return n == "fresh";
    };
    rules.listing.push_back({});
    rules.listing.back().name = "shown";
    EXPECT_FALSE(AcceptNewName(rules, "fresh"));
    EXPECT_FALSE(AcceptNewName(rules, "gone"));  // dropped without a message
    EXPECT_FALSE(AcceptNewName(rules, "shown"));
    EXPECT_FALSE(AcceptNewName(rules, ".."));
    EXPECT_TRUE(AcceptNewName(rules, "ok.txt"));
    EXPECT_EQ(app.dialogs().messageTexts(), (QStringList{"The name fresh was existed, please re-enter.",
                                                         "The name shown was existed, please re-enter.",
                                                         "The name .. was existed, please re-enter."}));
}

}  // namespace
