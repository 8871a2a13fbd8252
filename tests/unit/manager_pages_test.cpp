// The Confirmation Message page with its test, the About page with its links, and the
// search for the sibling launcher that OK runs first.
#include "manager_fixture.h"

namespace {

using namespace manager_test;

const std::string kWillShow = "A confirmation message will be displayed for 5 seconds.";
const std::string kWillNotShow = "A confirmation message will not be displayed.";
const std::string kYesDefault =
    "If the user doesn't respond within 5 seconds, then 'Yes' will be the default response to "
    "the confirmation dialog.";
const std::string kNoDefault =
    "If the user doesn't respond within 5 seconds, then 'No' will be the default response to "
    "the confirmation dialog.";
const std::string kShutDown = "User selected to shut down";
const std::string kNotShutDown = "User selected NOT to shut down";

// --- Confirmation page ---

class ConfirmationPage : public ManagerTest {
  protected:
    void ShowPage() { fake.host.Pick(*window->tabstrip1, 1); }
    // Presses the test button; returns the question asked (empty when none was).
    std::string Test(std::function<void()> during = {}) {
        std::string question;
        fake.loop.At(1000, [&] {
            if (Form* box = fake.host.FindForm("fMyMsgBox")) {
                question = (*box)["lblMessage"].Text();
                if (during) during();
            }
        });
        fake.host.Click(*window->cmdTestConfirmation);
        return question;
    }
};

TEST_F(ConfirmationPage, CaptionsAndStatusAtLoadFollowTheStoredOptions) {
    Open();
    EXPECT_EQ(window->chkShowMessage->Text(),
              "&Show a shutdown confirmation message before starting the screen saver.");
    EXPECT_EQ(window->chkYesIsDefault->Text(),
              "Make '&Yes' the default response on the confirmation message.");
    EXPECT_EQ(window->cmdTestConfirmation->Text(), "&Test Confirmation Message");
    // Defaults: no message, Yes the default answer.
    EXPECT_EQ(window->chkShowMessage->Value(), 0);
    EXPECT_EQ(window->chkYesIsDefault->Value(), 1);
    EXPECT_EQ(window->lbStatusOflShowMessage->Text(), kWillNotShow);
    EXPECT_EQ(window->lblYesResponseMessage->Text(), kYesDefault);
    window.reset();
    ReleaseSharedObjects();

    PutDword(fake.registry, kOptionsKey, "ConfirmShutdown", 1);  // any non-zero number
    PutDword(fake.registry, kOptionsKey, "DefaultConfirmYes", 0);
    Open();
    EXPECT_EQ(window->chkShowMessage->Value(), 1);
    EXPECT_EQ(window->chkYesIsDefault->Value(), 0);
    EXPECT_EQ(window->lbStatusOflShowMessage->Text(), kWillShow);
    EXPECT_EQ(window->lblYesResponseMessage->Text(), kNoDefault);
}

TEST_F(ConfirmationPage, ClicksUpdateOnlyTheirOwnLabel) {
    Open();
    ShowPage();
    fake.host.Click(*window->chkShowMessage);
    EXPECT_EQ(window->lbStatusOflShowMessage->Text(), kWillShow);
    EXPECT_EQ(window->lblYesResponseMessage->Text(), kYesDefault);
    fake.host.Click(*window->chkYesIsDefault);
    EXPECT_EQ(window->lblYesResponseMessage->Text(), kNoDefault);
    EXPECT_EQ(window->lbStatusOflShowMessage->Text(), kWillShow);
    fake.host.Click(*window->chkShowMessage);
    EXPECT_EQ(window->lbStatusOflShowMessage->Text(), kWillNotShow);
    // Both stay usable whatever the first box says.
    EXPECT_TRUE(window->chkYesIsDefault->Enabled());
    EXPECT_TRUE(window->cmdTestConfirmation->Enabled());
}

TEST_F(ConfirmationPage, TestWithTheMessageOffOnlySaysSo) {
    Open();
    ShowPage();
    EXPECT_EQ(Test(), "");
    ASSERT_EQ(fake.messageBox.shown.size(), 1u);
    EXPECT_EQ(fake.messageBox.shown[0].text, kWillNotShow);
    EXPECT_EQ(fake.messageBox.shown[0].title, "Somnivex Manager");
    EXPECT_EQ(fake.messageBox.shown[0].style, mb::kOk);
    EXPECT_EQ(fake.host.shownForms, std::vector<std::string>{"fMain"});
}

TEST_F(ConfirmationPage, UnansweredQuestionTakesTheDefaultAfterFiveSeconds) {
    for (bool yesIsDefault : {true, false}) {
        PutDword(fake.registry, kOptionsKey, "ConfirmShutdown", -1);
        PutDword(fake.registry, kOptionsKey, "DefaultConfirmYes", yesIsDefault ? -1 : 0);
        fake.messageBox.shown.clear();
        Open();
        ShowPage();
        const auto before = fake.clock.SteadyMilliseconds();
        EXPECT_EQ(Test(), "Shutdown Windows after 30 minute(s)?");
        EXPECT_EQ(fake.clock.SteadyMilliseconds() - before, 5000u);
        ASSERT_EQ(fake.messageBox.shown.size(), 1u);
        EXPECT_EQ(fake.messageBox.shown[0].text, yesIsDefault ? kShutDown : kNotShutDown);
        EXPECT_EQ(fake.messageBox.shown[0].title, "Somnivex Manager");
        EXPECT_EQ(fake.messageBox.shown[0].style, mb::kOk);
        window.reset();
        ReleaseSharedObjects();
    }
}

TEST_F(ConfirmationPage, AnswersAreReportedWhateverTheDefault) {
    for (bool yesIsDefault : {true, false})
        for (const char* answer : {"Yes", "No"}) {
            PutDword(fake.registry, kOptionsKey, "ConfirmShutdown", -1);
            PutDword(fake.registry, kOptionsKey, "DefaultConfirmYes", yesIsDefault ? -1 : 0);
            fake.messageBox.shown.clear();
            Open();
            ShowPage();
            Test([&] { ClickCaption("fMyMsgBox", answer); });
            ASSERT_EQ(fake.messageBox.shown.size(), 1u);
            EXPECT_EQ(fake.messageBox.shown[0].text,
                      std::string(answer) == "Yes" ? kShutDown : kNotShutDown)
                << answer << yesIsDefault;
            window.reset();
            ReleaseSharedObjects();
        }
}

TEST_F(ConfirmationPage, QuestionUsesTheBoxesAndMinutesAsTheyStandOnScreen) {
    Open();
    fake.host.Type(*window->txtMinutes, "12");
    ShowPage();
    fake.host.Click(*window->chkShowMessage);
    fake.host.Click(*window->chkYesIsDefault);  // now No is the default
    bool yesIsDefault = true;
    const std::string question = Test([&] {
        Form* box = fake.host.FindForm("fMyMsgBox");
        for (const auto& c : box->Controls())
            if (c->IsDefault() && c->Visible()) yesIsDefault = c->Text() == "Yes";
    });
    EXPECT_EQ(question, "Shutdown Windows after 12 minute(s)?");
    EXPECT_FALSE(yesIsDefault);
    EXPECT_EQ(fake.messageBox.shown.back().text, kNotShutDown);

    // The end chosen on screen, not yet saved, is the one asked about.
    fake.host.Pick(*window->tabstrip1, 0);
    fake.host.Pick(
        *window->cboShutdownType,
        mgr::fMain::FindItemDataIndex(*window->cboShutdownType, shutdown_code::kRestart));
    ShowPage();
    EXPECT_EQ(Test(), "Restart Windows after 12 minute(s)?");
    fake.host.Pick(*window->tabstrip1, 0);
    fake.host.Click(*window->chkRunKelvane);
    ShowPage();
    EXPECT_EQ(Test(), "Hand the shutdown to Kelvane after 12 minute(s)?");
    // The test stored nothing.
    EXPECT_EQ(StoredNumber("ConfirmShutdown"), 0);
    EXPECT_EQ(StoredNumber("WaitMinutes"), 30);
    EXPECT_EQ(StoredNumber("ShutdownType"), 1);
    EXPECT_EQ(StoredNumber("RunKelvane"), 0);
}

// --- About page ---

class AboutPage : public ManagerTest {};

TEST_F(AboutPage, TextsComeFromTheStringTableAndTheVersionResource) {
    seams.services.program = {2, 7, 13, "Brellcor Ltd", "© 2026 Brellcor", "help@example.org", ""};
    Open();
    EXPECT_EQ(window->lblAppTitle->Text(), "Somnivex");
    EXPECT_EQ(window->lblAppTitle->Font(), (FontSpec{"MS Sans Serif", 18, true, false}));
    EXPECT_EQ(window->lblVersion->Text(), "Version 2.7.13");
    EXPECT_EQ(window->lblCompany->Text(), "Brellcor Ltd");
    EXPECT_EQ(window->lblCopyright->Text(), "© 2026 Brellcor");
    EXPECT_EQ(window->lblEmail->Text(), "help@example.org");
    EXPECT_EQ(window->lblHomrUrl->Text(), "https://www.example.com/somnivex");
    EXPECT_EQ(window->lblRunProgsAtShutdown->Text(), "Run programs at shutdown with ");
    EXPECT_EQ(window->lblKelvane->Text(), "Kelvane and Brellcor Pemrose Plus");
    EXPECT_EQ(window->Label3->Text(), "e-mail your comments and suggestions to:");
    for (const LinkLabel* link : {window->lblHomrUrl, window->lblKelvane, window->lblEmail}) {
        EXPECT_EQ(link->ForeColor(), 0x0000C0u) << link->Name();
        EXPECT_EQ(link->Font(), (FontSpec{"MS Sans Serif", 8.25, false, true})) << link->Name();
    }
}

TEST_F(AboutPage, LinksOpenTheSiteOrAMailToTheSupportAddress) {
    Open();
    fake.host.Pick(*window->tabstrip1, 2);
    fake.host.Click(*window->lblHomrUrl);
    fake.host.Click(*window->lblKelvane);
    fake.host.Click(*window->lblEmail);
    // Labels that are no links open nothing.
    fake.host.Click(*window->lblCompany);
    fake.host.Click(*window->Label3);
    EXPECT_EQ(fake.launcher.opened,
              (std::vector<std::string>{"https://www.example.com/somnivex",
                                        "https://www.example.com/somnivex",
                                        "mailto:support@example.com?Subject=Concerning Somnivex"}));
    EXPECT_TRUE(window->IsLoaded());
}

TEST_F(AboutPage, LinksOnAHiddenPageCannotBeClicked) {
    Open();
    fake.host.Click(*window->lblHomrUrl);
    EXPECT_TRUE(fake.launcher.opened.empty());
}

// --- Locating the launcher ---

const std::string kStored = "C:\\Program Files\\Tools\\Kelvane.exe";
const std::string kFromRegistry = "C:\\Program Files\\Brellcor\\Kelvane\\Kelvane.exe";
const std::string kQuestion =
    "Couldn't find Kelvane. \r\n\r\nWould you like to locate it yourself?";

class LocateKelvane : public ManagerTest {
  protected:
    // Ticks "Run Kelvane" and presses OK; true when the window closed.
    bool TickAndOk() {
        if (window->chkRunKelvane->Value() != 1) fake.host.Click(*window->chkRunKelvane);
        fake.host.Click(*window->cmdOk);
        return !window->IsLoaded();
    }
    int Questions() const {
        int count = 0;
        for (const auto& shown : fake.messageBox.shown)
            if (shown.text == kQuestion) ++count;
        return count;
    }
};

TEST_F(LocateKelvane, UntickedNeverAsksAndKeepsNoPathARunCouldNotStart) {
    PutString(fake.registry, kOptionsKey, "KelvanePath", "  D:\\Nowhere\\Kelvane.exe  ");
    Open();
    fake.host.Click(*window->cmdOk);
    EXPECT_FALSE(window->IsLoaded());
    EXPECT_TRUE(fake.messageBox.shown.empty());
    EXPECT_TRUE(seams.openDialog.shown.empty());
    EXPECT_EQ(Stored("KelvanePath"), "");
    EXPECT_EQ(StoredNumber("RunKelvane"), 0);
}

TEST_F(LocateKelvane, StoredPathOfAnExistingFileIsKeptWithoutAQuestion) {
    fake.files.AddFile(kStored);
    fake.files.AddFile(kFromRegistry);
    PutString(fake.registry, kOptionsKey, "KelvanePath", " " + kStored + " ");
    PutString(fake.registry, kKelvaneKey, "AppPath", kFromRegistry);
    Open();
    EXPECT_TRUE(TickAndOk());
    EXPECT_EQ(Questions(), 0);
    EXPECT_EQ(Stored("KelvanePath"), kStored);
    EXPECT_EQ(StoredNumber("RunKelvane"), -1);
}

TEST_F(LocateKelvane, MissingStoredPathFallsBackToTheLauncherProductsKeys) {
    fake.files.AddFile(kFromRegistry);
    PutString(fake.registry, kOptionsKey, "KelvanePath", kStored);  // no such file
    PutString(fake.registry, "Software\\Brellcor\\Kelvane\\Kelvane", "AppPath", kFromRegistry);
    Open();
    EXPECT_TRUE(TickAndOk());
    EXPECT_EQ(Questions(), 0);
    EXPECT_EQ(Stored("KelvanePath"), kFromRegistry);
}

TEST_F(LocateKelvane, NothingFoundAsksAndTakesALocatedFileInAnyCase) {
    PutString(fake.registry, kKelvaneKey, "AppPath", "C:\\Old\\Kelvane.exe");  // gone
    fake.messageBox.answers = {mb::kResultYes};
    seams.openDialog.answers = {"C:\\Program Files\\Apps\\KELVANE.EXE"};
    fake.files.AddFile("C:\\Program Files\\Apps\\KELVANE.EXE");
    Open();
    EXPECT_TRUE(TickAndOk());
    ASSERT_EQ(fake.messageBox.shown.size(), 1u);
    EXPECT_EQ(fake.messageBox.shown[0].text, kQuestion);
    EXPECT_EQ(fake.messageBox.shown[0].title, "Somnivex Manager");
    EXPECT_EQ(fake.messageBox.shown[0].style, mb::kYesNo | mb::kIconQuestion);
    ASSERT_EQ(seams.openDialog.shown.size(), 1u);
    EXPECT_EQ(seams.openDialog.shown[0].filterDescription, "Locate Kelvane(*.exe)");
    EXPECT_EQ(seams.openDialog.shown[0].pattern, "*.exe");
    EXPECT_EQ(seams.openDialog.shown[0].fileName, "");
    EXPECT_EQ(Stored("KelvanePath"), "C:\\Program Files\\Apps\\KELVANE.EXE");
}

TEST_F(LocateKelvane, OnlyTheEndOfTheChosenPathCounts) {
    fake.messageBox.answers = {mb::kResultYes};
    seams.openDialog.answers = {"C:\\Program Files\\Apps\\OldKelvane.exe"};
    fake.files.AddFile("C:\\Program Files\\Apps\\OldKelvane.exe");
    Open();
    EXPECT_TRUE(TickAndOk());
    EXPECT_EQ(Stored("KelvanePath"), "C:\\Program Files\\Apps\\OldKelvane.exe");
}

TEST_F(LocateKelvane, LocatedFileWhereUsersCanWriteIsRefusedWithTheReason) {
    const std::string located = "C:\\Users\\Public\\Kelvane.exe";
    fake.files.AddFile(located);
    fake.messageBox.answers = {mb::kResultYes};
    seams.openDialog.answers = {located};
    Open();
    EXPECT_FALSE(TickAndOk());
    ASSERT_EQ(fake.messageBox.shown.size(), 2u);
    EXPECT_EQ(
        fake.messageBox.shown[1].text.rfind("Somnivex does not start this program:\r\n\r\n" +
                                                located + "\r\n\r\nIt lies in C:\\Users\\Public.",
                                            0),
        0u);
    EXPECT_EQ(Stored("KelvanePath"), "");
}

TEST_F(LocateKelvane, NoOrAnotherFileOrCancelKeepsTheWindowAndSavesNothing) {
    Open();
    const auto minutesBefore = StoredNumber("WaitMinutes");

    fake.messageBox.answers = {mb::kResultNo};
    EXPECT_FALSE(TickAndOk());
    EXPECT_TRUE(seams.openDialog.shown.empty());

    fake.messageBox.answers = {mb::kResultYes};
    seams.openDialog.answers = {"E:\\Apps\\Kelvane.exe.bak"};
    EXPECT_FALSE(TickAndOk());

    fake.messageBox.answers = {mb::kResultYes};
    seams.openDialog.answers = {std::nullopt};
    EXPECT_FALSE(TickAndOk());

    EXPECT_EQ(Questions(), 3);
    // Nothing else is said, and nothing was saved.
    EXPECT_EQ(fake.messageBox.shown.size(), 3u);
    EXPECT_EQ(Stored("KelvanePath"), "");
    EXPECT_EQ(StoredNumber("RunKelvane"), 0);
    EXPECT_EQ(Stored("AppPath"), "");
    EXPECT_EQ(StoredNumber("WaitMinutes"), minutesBefore);
}

TEST_F(LocateKelvane, DialogKeepsItsLastFileNameAndACancelAfterItStaysFalse) {
    Open();
    fake.messageBox.answers = {mb::kResultYes, mb::kResultYes};
    seams.openDialog.answers = {"E:\\Apps\\Kelvin.exe", std::nullopt};
    EXPECT_FALSE(TickAndOk());
    EXPECT_FALSE(TickAndOk());
    ASSERT_EQ(seams.openDialog.shown.size(), 2u);
    EXPECT_EQ(seams.openDialog.shown[1].fileName, "E:\\Apps\\Kelvin.exe");
    EXPECT_TRUE(window->IsLoaded());
}

TEST_F(LocateKelvane, OkNormalisesTheMinutesBeforeItLooks) {
    fake.messageBox.answers = {mb::kResultNo};
    Open();
    fake.host.Type(*window->txtMinutes, "2.5");
    EXPECT_FALSE(TickAndOk());
    EXPECT_EQ(window->txtMinutes->Text(), "2");
}

TEST_F(LocateKelvane, ValidateKelvaneSetsThePathOnlyWhenItSucceeds) {
    fake.files.AddFile(kFromRegistry);
    PutString(fake.registry, kKelvaneKey, "AppPath", kFromRegistry);
    Open();
    EXPECT_TRUE(window->ValidateKelvane());  // unticked: the stored path, trimmed
    EXPECT_EQ(gOptions.KelvanePath, "");
    fake.host.Click(*window->chkRunKelvane);
    EXPECT_TRUE(window->ValidateKelvane());
    EXPECT_EQ(gOptions.KelvanePath, kFromRegistry);
}

}  // namespace
