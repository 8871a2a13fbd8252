// The screen-saver list: which files it holds, how they are named, how an entry maps back
// to its file, and the Settings and Preview buttons.
#include "manager_fixture.h"

namespace {

using namespace manager_test;

using Resource = FakeVersionReader::Resource;

TEST(CatalogueHelpers, AddBackslashAndTrimNull) {
    EXPECT_EQ(mgr::AddBackslash("C:\\Windows"), "C:\\Windows\\");
    EXPECT_EQ(mgr::AddBackslash("C:\\"), "C:\\");
    EXPECT_EQ(mgr::AddBackslash(""), "\\");
    EXPECT_EQ(mgr::TrimNull(std::string("  a b.scr  \0junk", 16)), "a b.scr");
    EXPECT_EQ(mgr::TrimNull(std::string("\0x", 2)), "");
    EXPECT_EQ(mgr::TrimNull("   "), "");
}

// --- The description from a version resource ---

TEST(FileDescription, UsesTheFirstTranslationOnly) {
    FakeVersionReader versions;
    Resource resource;
    // German first, then US English; only the German table counts.
    resource.values["\\VarFileInfo\\Translation"] =
        FakeVersionReader::TranslationBytes({{0x0407, 1252}, {0x0409, 1200}});
    resource.texts["\\StringFileInfo\\040704E4\\FileDescription"] = "Bildschirmschoner";
    resource.texts["\\StringFileInfo\\040904B0\\FileDescription"] = "Screen saver";
    versions.AddResource("C:\\de.scr", resource);
    EXPECT_EQ(mgr::GetFileDescription(versions, "C:\\de.scr"), "Bildschirmschoner");

    // No table for the first translation: no description, although another has one.
    resource.texts.erase("\\StringFileInfo\\040704E4\\FileDescription");
    versions.AddResource("C:\\de.scr", resource);
    EXPECT_EQ(mgr::GetFileDescription(versions, "C:\\de.scr"), "");
}

TEST(FileDescription, KeyIsLanguageThenCodePageInUpperCaseHex) {
    FakeVersionReader versions;
    Resource resource;
    // Bytes 0A 0C E4 04: language 0x0C0A, code page 0x04E4.
    resource.values["\\VarFileInfo\\Translation"] = {0x0A, 0x0C, 0xE4, 0x04};
    resource.texts["\\StringFileInfo\\0C0A04E4\\FileDescription"] = "Protector de pantalla";
    versions.AddResource("C:\\es.scr", resource);
    EXPECT_EQ(mgr::GetFileDescription(versions, "C:\\es.scr"), "Protector de pantalla");
}

TEST(FileDescription, MissingPartsGiveAnEmptyText) {
    FakeVersionReader versions;
    EXPECT_EQ(mgr::GetFileDescription(versions, ""), "");
    EXPECT_EQ(versions.ReadCount(), 0);  // an empty path is not even read
    EXPECT_EQ(mgr::GetFileDescription(versions, "C:\\none.scr"), "");

    Resource noTranslation;
    noTranslation.texts["\\StringFileInfo\\040904B0\\FileDescription"] = "x";
    versions.AddResource("C:\\a.scr", noTranslation);
    EXPECT_EQ(mgr::GetFileDescription(versions, "C:\\a.scr"), "");

    Resource shortTranslation;
    shortTranslation.values["\\VarFileInfo\\Translation"] = {0x09, 0x04};
    versions.AddResource("C:\\b.scr", shortTranslation);
    EXPECT_EQ(mgr::GetFileDescription(versions, "C:\\b.scr"), "");

    Resource noDescription;
    noDescription.values["\\VarFileInfo\\Translation"] =
        FakeVersionReader::TranslationBytes({{0x0409, 1200}});
    noDescription.texts["\\StringFileInfo\\040904B0\\ProductName"] = "x";
    versions.AddResource("C:\\c.scr", noDescription);
    EXPECT_EQ(mgr::GetFileDescription(versions, "C:\\c.scr"), "");
}

// --- The list ---

class Catalogue : public ManagerTest {};

TEST_F(Catalogue, ListsBothFoldersSortedWithNameAndDescription) {
    AddSaver(kWindows + "\\Zeta.scr", "Zeta Waves");
    AddSaver(kWindows + "\\alpha.scr", "Alpha Lights");
    AddSaver(kSystem + "\\Mystify.scr", "Mystify");
    Open();
    const Control& list = *window->cboScreenSavers;
    EXPECT_TRUE(list.Sorted());
    EXPECT_EQ(Texts(list),
              (std::vector<std::string>{"alpha  |  Alpha Lights", "Mystify  |  Mystify",
                                        "Zeta  |  Zeta Waves"}));
    // Tags are positions in the order of discovery: the Windows folder first.
    EXPECT_EQ(Tags(list), (std::vector<std::int32_t>{2, 3, 1}));
    EXPECT_EQ(window->ScreenSaverPaths(),
              (std::vector<std::string>{"", kWindows + "\\Zeta.scr", kWindows + "\\alpha.scr",
                                        kSystem + "\\Mystify.scr"}));
    EXPECT_TRUE(window->cmdSettings->Enabled());
    EXPECT_TRUE(window->cmdPreview->Enabled());
}

// The list control's own order, accents and other scripts included: the chosen entry
// still maps to its own file.
TEST_F(Catalogue, SortedAsTheListControlSortsAccentsAndOtherScripts) {
    AddSaver(kWindows + "\\Zeta.scr");
    AddSaver(kWindows + "\\Äther.scr");
    AddSaver(kSystem + "\\東京.scr");
    AddSaver(kSystem + "\\écran.scr");
    AddSaver(kSystem + "\\Ather.scr");
    PutString(fake.registry, kOptionsKey, "SelectedScreenSaver", kWindows + "\\Äther.scr");
    Open();
    const Control& list = *window->cboScreenSavers;
    EXPECT_EQ(Texts(list), (std::vector<std::string>{"Ather  |  ", "Äther  |  ", "écran  |  ",
                                                     "Zeta  |  ", "東京  |  "}));
    EXPECT_EQ(list.ListIndex(), 1);
    fake.host.Click(*window->cmdOk);
    EXPECT_EQ(Stored("SelectedScreenSaver"), kWindows + "\\Äther.scr");
}

TEST_F(Catalogue, OwnScreenSaverIsLeftOutInAnyLetterCase) {
    AddSaver(kWindows + "\\SOMNIVEX.SCR", "Somnivex");
    AddSaver(kWindows + "\\Starfield.scr", "Starfield");
    AddSaver(kSystem + "\\somnivex.scr", "Somnivex");
    AddSaver(kSystem + "\\Somnivex.scr.scr", "Not ours");
    Open();
    EXPECT_EQ(Texts(*window->cboScreenSavers),
              (std::vector<std::string>{"Somnivex.scr  |  Not ours", "Starfield  |  Starfield"}));
}

TEST_F(Catalogue, FoldersAndOtherFilesAreNotListed) {
    seams.finder.AddFolder(kWindows + "\\Folder.scr");
    AddSaver(kWindows + "\\Folder.scr\\Inner.scr", "Inside a folder");
    AddSaver(kWindows + "\\notepad.exe", "Notepad");
    AddSaver(kSystem + "\\Bubbles.SCR", "Bubbles");
    Open();
    EXPECT_EQ(Texts(*window->cboScreenSavers), std::vector<std::string>{"Bubbles  |  Bubbles"});
}

TEST_F(Catalogue, SameNameInBothFoldersGivesTwoEntriesWithTheirOwnPaths) {
    AddSaver(kWindows + "\\Ribbons.scr", "Ribbons");
    AddSaver(kSystem + "\\Ribbons.scr", "Ribbons");
    PutString(fake.registry, kOptionsKey, "SelectedScreenSaver", kSystem + "\\Ribbons.scr");
    Open();
    const Control& list = *window->cboScreenSavers;
    ASSERT_EQ(list.ListCount(), 2);
    EXPECT_EQ(window->SelectedScreenSaverIndex(), 2);
    EXPECT_EQ(window->ChosenScreenSaver(), kSystem + "\\Ribbons.scr");
    const int other = list.ListIndex() == 0 ? 1 : 0;
    fake.host.Pick(*window->cboScreenSavers, other);
    EXPECT_EQ(window->ChosenScreenSaver(), kWindows + "\\Ribbons.scr");
}

TEST_F(Catalogue, FileWithoutDescriptionStillShowsTheSeparator) {
    AddSaver(kSystem + "\\Plain.scr");
    Open();
    EXPECT_EQ(Texts(*window->cboScreenSavers), std::vector<std::string>{"Plain  |  "});
}

TEST_F(Catalogue, StoredPathIsMatchedWithItsLetterCase) {
    AddSaver(kWindows + "\\Aurora.scr", "Aurora");
    AddSaver(kSystem + "\\Mystify.scr", "Mystify");
    PutString(fake.registry, kOptionsKey, "SelectedScreenSaver",
              "C:\\WINDOWS\\system32\\Mystify.scr");
    Open();
    EXPECT_EQ(window->SelectedScreenSaverIndex(), 0);
    EXPECT_EQ(window->cboScreenSavers->ListIndex(), 0);
    EXPECT_EQ(window->ChosenScreenSaver(), kWindows + "\\Aurora.scr");
    window.reset();
    ReleaseSharedObjects();

    PutString(fake.registry, kOptionsKey, "SelectedScreenSaver", kSystem + "\\Mystify.scr");
    Open();
    EXPECT_EQ(window->ChosenScreenSaver(), kSystem + "\\Mystify.scr");
}

TEST_F(Catalogue, NeverChosenShowsWindowsBlankScreenSaverChosen) {
    AddSaver(kWindows + "\\Aurora.scr", "Aurora");
    AddSaver(kSystem + "\\scrnsave.scr", "Blank");
    fake.files.AddFile(kSystem + "\\scrnsave.scr");
    Open();
    EXPECT_EQ(window->ChosenScreenSaver(), kSystem + "\\scrnsave.scr");
}

TEST_F(Catalogue, OkStoresThePathOfExactlyTheChosenEntryAfterSorting) {
    // Found as c, a, b; shown as a, b, c: the position in the list is not the position of
    // discovery.
    AddSaver(kWindows + "\\c.scr", "C");
    AddSaver(kWindows + "\\a.scr", "A");
    AddSaver(kSystem + "\\b.scr", "B");
    const std::vector<std::string> expected{kWindows + "\\a.scr", kSystem + "\\b.scr",
                                            kWindows + "\\c.scr"};
    for (int index = 0; index < 3; ++index) {
        Open();
        fake.host.Pick(*window->cboScreenSavers, index);
        fake.host.Click(*window->cmdOk);
        EXPECT_EQ(Stored("SelectedScreenSaver"), expected[index]) << index;
        window.reset();
        ReleaseSharedObjects();
    }
}

TEST_F(Catalogue, FolderThatCannotBeSearchedIsSkippedQuietly) {
    fake.facts.windowsDir = "C:\\Gone";
    seams.finder.DenyFolder(kSystem);
    AddSaver(kSystem + "\\Hidden.scr", "Hidden");
    Open();
    EXPECT_EQ(window->cboScreenSavers->ListCount(), 0);
    EXPECT_TRUE(fake.messageBox.shown.empty());
}

TEST_F(Catalogue, TrailingBackslashOfAFolderIsNotDoubled) {
    fake.facts.windowsDir = "C:\\Windows\\";
    AddSaver(kWindows + "\\Aurora.scr", "Aurora");
    Open();
    EXPECT_EQ(window->ChosenScreenSaver(), kWindows + "\\Aurora.scr");
}

TEST_F(Catalogue, EmptyListDisablesSettingsAndPreviewAndOkStoresNoScreenSaver) {
    AddSaver(kWindows + "\\Somnivex.scr", "Somnivex");
    PutString(fake.registry, kOptionsKey, "SelectedScreenSaver", kWindows + "\\Old.scr");
    Open();
    EXPECT_EQ(window->cboScreenSavers->ListCount(), 0);
    EXPECT_EQ(window->cboScreenSavers->ListIndex(), -1);
    EXPECT_FALSE(window->cmdSettings->Enabled());
    EXPECT_FALSE(window->cmdPreview->Enabled());
    fake.host.Click(*window->cmdOk);
    EXPECT_FALSE(window->IsLoaded());
    EXPECT_EQ(Stored("SelectedScreenSaver"), "");
}

// --- Settings and Preview ---

TEST_F(Catalogue, SettingsStartsTheChosenScreenSaverMinimizedWithoutWaiting) {
    AddSaver(kSystem + "\\My Saver.scr", "Mine");
    Open();
    const auto before = fake.clock.SteadyMilliseconds();
    fake.host.Click(*window->cmdSettings);
    EXPECT_EQ(fake.clock.SteadyMilliseconds(), before);
    ASSERT_EQ(fake.launcher.started.size(), 1u);
    EXPECT_EQ(fake.launcher.started[0].commandLine, "\"" + kSystem + "\\My Saver.scr\" /c");
    EXPECT_EQ(fake.launcher.started[0].showState, show_state::kMinimized);
    EXPECT_TRUE(fake.messageBox.shown.empty());
}

TEST_F(Catalogue, SettingsThatCannotStartNamesTheFile) {
    // Listed, but gone by the time the button is pressed.
    FakeFileFinder listing;
    listing.AddFile(kSystem + "\\Gone.scr");
    mgr::ManagerServices listed{listing,         seams.versions,         seams.openDialog,
                                seams.elevation, seams.services.program, seams.power};
    Open(&listed);
    fake.host.Click(*window->cmdSettings);
    ASSERT_EQ(fake.messageBox.shown.size(), 1u);
    const auto& shown = fake.messageBox.shown[0];
    EXPECT_NE(shown.text.find(kSystem + "\\Gone.scr"), std::string::npos) << shown.text;
    EXPECT_EQ(shown.title, "Somnivex Manager");
    EXPECT_EQ(shown.style, mb::kOk | mb::kIconExclamation);
    EXPECT_TRUE(window->IsLoaded());
}

TEST_F(Catalogue, PreviewWaitsForTheScreenSaverWhileTheWindowStaysResponsive) {
    AddSaver(kSystem + "\\Mystify.scr", "Mystify");
    fake.launcher.RunFor(kSystem + "\\Mystify.scr", 20'000);
    Open();
    std::string pageDuringPreview;
    fake.loop.At(5'000, [&] {
        fake.host.Pick(*window->tabstrip1, 2);
        pageDuringPreview = window->picAbout->Visible() ? "about" : "other";
    });
    const auto before = fake.clock.SteadyMilliseconds();
    fake.host.Click(*window->cmdPreview);
    EXPECT_EQ(fake.clock.SteadyMilliseconds() - before, 20'000u);
    EXPECT_EQ(pageDuringPreview, "about");
    ASSERT_EQ(fake.launcher.started.size(), 1u);
    EXPECT_EQ(fake.launcher.started[0].file, kSystem + "\\Mystify.scr");
    EXPECT_EQ(fake.launcher.started[0].parameters, " /s");
    EXPECT_EQ(fake.launcher.started[0].showState, show_state::kNormal);
    EXPECT_EQ(fake.launcher.OpenHandles(), 0);
}

TEST_F(Catalogue, PreviewThatCannotStartDoesNothingVisible) {
    FakeFileFinder listing;
    listing.AddFile(kSystem + "\\Gone.scr");
    mgr::ManagerServices listed{listing,         seams.versions,         seams.openDialog,
                                seams.elevation, seams.services.program, seams.power};
    Open(&listed);
    fake.host.Click(*window->cmdPreview);
    EXPECT_TRUE(fake.messageBox.shown.empty());
    EXPECT_TRUE(window->IsLoaded());
}

}  // namespace
