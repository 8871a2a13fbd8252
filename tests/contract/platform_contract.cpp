// The small seams, against the fakes on Linux and against Win32 under Wine.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "common/StringTable.h"
#include "contract/Backend.h"

namespace {

class PlatformContract : public ::testing::Test {
  protected:
    std::unique_ptr<ContractBackend> backend = MakeContractBackend();
};

TEST_F(PlatformContract, CompiledStringTableMatchesTheSourceTable) {
    const IStringSource* compiled = backend->CompiledStrings();
    if (!compiled) GTEST_SKIP() << "no compiled string table on " << backend->Name();
    for (const auto& [id, text] : BuiltInStrings(ProgramKind::ScreenSaver)) {
        const auto loaded = compiled->Load(id);
        ASSERT_TRUE(loaded.has_value()) << id;
        EXPECT_EQ(*loaded, text) << id;  // blanks, line breaks and the copyright sign kept
    }
    EXPECT_FALSE(compiled->Load(4242).has_value());
}

TEST_F(PlatformContract, AppendCreatesThenAppendsWholeLines) {
    IFileSystem& files = backend->Files();
    const std::string path = backend->ScratchFolder() + "\\Fehler ü.log";
    EXPECT_FALSE(files.FileExists(path));
    {
        auto file = files.OpenAppend(path);
        ASSERT_NE(file, nullptr);
        EXPECT_TRUE(file->WriteLine("first"));
    }
    EXPECT_TRUE(files.FileExists(path));
    {
        auto file = files.OpenAppend(path);
        ASSERT_NE(file, nullptr);
        EXPECT_TRUE(file->WriteLine(""));
        EXPECT_TRUE(file->WriteLine("third"));
    }
    EXPECT_TRUE(files.FileExists(path));
}

// A sorted list in the user's collation: a letter with an accent sorts with its letter
// (after it when all else is equal), other scripts after Latin, case aside. The model's
// order is the order of the platform's own sorted list.
TEST_F(PlatformContract, SortedListsFollowThePlatformsCollation) {
    class Probe : public Form {
      public:
        explicit Probe(FormHost& host) : Form(host, "fProbe") {
            cboList = Add<ComboList>("cboList", {{0, 0, 100, 100}});
            cboList->SetSorted(true);
        }
        ComboList* cboList;
    };
    const std::vector<std::vector<std::string>> sorted{
        {"alpha", "Äther", "Zeta"},        {"Ather", "Äther", "Bravo"},
        {"coop", "cote", "Côte", "Crane"}, {"Ölfeld", "omega", "Straße", "Strasse2"},
        {"Zeta", "Ωmega", "Бета", "東京"}, {"_Blank", "10 Lines", "9 Lines", "Lines"},
    };
    FormHost& host = backend->Forms();
    EXPECT_LT(host.CompareText("Äther", "Zeta"), 0);
    EXPECT_GT(host.CompareText("Zeta", "ÄTHER"), 0);
    EXPECT_EQ(host.CompareText("ÄTHER", "äther"), 0);
    for (const auto& texts : sorted) {
        Probe form(host);
        ComboList& list = *form.cboList;
        // Backwards, so no entry lands where it belongs by being added last.
        for (auto text = texts.rbegin(); text != texts.rend(); ++text) list.AddItem(*text);
        std::vector<std::string> order;
        for (int i = 0; i < list.ListCount(); ++i) order.push_back(list.Item(i).text);
        EXPECT_EQ(order, texts);
        if (const auto native = backend->ListControlOrder({texts.rbegin(), texts.rend()})) {
            EXPECT_EQ(*native, texts) << "the platform's own list";
        }
    }
}

// Timers due at a moment of the steady clock: each runs once and never before its moment
// (a moment already past at the next wait), and one stopped before its moment never runs.
TEST_F(PlatformContract, TimersDueAtAMomentRunOnceAndNeverEarly) {
    IEventLoop& loop = backend->Loop();
    IClock& clock = backend->Clock();
    const std::uint64_t start = clock.SteadyMilliseconds();
    struct Due {
        std::uint64_t at;
        std::vector<std::uint64_t> ran;
        TimerId id = 0;
    };
    std::vector<Due> timers{{start + 150, {}},
                            {start - 500, {}},
                            {start + 60, {}},
                            {start + 90, {}},
                            {start + 250, {}}};
    for (Due& due : timers) {
        due.id = loop.StartTimerAt(
            due.at, [&clock, &due] { due.ran.push_back(clock.SteadyMilliseconds()); });
        ASSERT_NE(due.id, 0u);
    }
    loop.StopTimer(timers[3].id);
    const auto ran = [&](std::size_t i) { return !timers[i].ran.empty(); };
    // A spent timer's id stops nothing else.
    loop.RunUntil([&] { return ran(2); });
    loop.StopTimer(timers[2].id);
    loop.RunUntil([&] { return ran(0) && ran(1) && ran(4); });
    // Time for a second run of any of them to show.
    bool later = false;
    loop.StartTimerAt(clock.SteadyMilliseconds() + 100, [&] { later = true; });
    loop.RunUntil([&] { return later; });

    for (std::size_t i : {0, 1, 2, 4}) {
        ASSERT_EQ(timers[i].ran.size(), 1u) << i;
        EXPECT_GE(timers[i].ran[0], timers[i].at) << i;
    }
    EXPECT_TRUE(timers[3].ran.empty());
}

// Windows' notices of a sleep reach the loop's handler once each, and the steady clock
// stands still from the one to the other: a timer due meanwhile waits for the wake.
TEST_F(PlatformContract, PowerNoticesAreToldOnceAndTheClockStandsStillBetweenThem) {
    using Notice = ContractBackend::PowerNotice;
    IClock& clock = backend->Clock();
    std::vector<PowerChange> told;
    backend->Loop().OnPowerChange([&](const PowerChange& change) { told.push_back(change); });
    if (!backend->HasPowerNotices()) GTEST_SKIP() << "no power notices on " << backend->Name();
    for (Notice notice : {Notice::Suspend, Notice::Suspend})  // broadcast and registration
        ASSERT_TRUE(backend->SendPowerNotice(notice)) << "nothing listens";
    const std::uint64_t asleepAt = clock.SteadyMilliseconds();
    bool ran = false;
    backend->Loop().StartTimerAt(asleepAt + 100, [&] { ran = true; });
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    backend->Loop().ProcessPendingEvents();
    const bool ranAsleep = ran;
    const std::uint64_t asleepNow = clock.SteadyMilliseconds();
    for (Notice notice : {Notice::ResumeAutomatic, Notice::ResumeSuspend})
        backend->SendPowerNotice(notice);
    EXPECT_FALSE(ranAsleep);
    EXPECT_EQ(asleepNow, asleepAt);
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[1].kind, PowerChange::Kind::Resumed);
    EXPECT_GE(told[1].asleepMs, 2400u);
    backend->Loop().RunUntil([&] { return ran; });
    backend->Loop().OnPowerChange({});
}

// Where a path leads: ".", "..", "/" and a long-path prefix resolved as the system
// resolves them when it opens the file; nothing where nothing is.
TEST_F(PlatformContract, FinalPathsAreWhereTheSystemOpensTheFile) {
    IFileSystem& files = backend->Files();
    const std::string folder = backend->ScratchFolder();
    const std::string name = "Final \u00fc.scr";
    ASSERT_NE(files.OpenAppend(folder + "\\" + name), nullptr);
    const auto base = files.Resolve(folder);
    ASSERT_TRUE(base.has_value());
    EXPECT_TRUE(base->isFolder);
    EXPECT_EQ(base->path.rfind("\\\\?\\", 0), std::string::npos) << base->path;
    for (const std::string& path :
         {folder + "\\" + name, folder + "\\gone\\..\\" + name, folder + "\\.\\" + name,
          folder + "/" + name, "\\\\?\\" + folder + "\\" + name}) {
        const auto final = files.Resolve(path);
        ASSERT_TRUE(final.has_value()) << path;
        EXPECT_EQ(final->path, base->path + "\\" + name) << path;
        EXPECT_FALSE(final->isFolder) << path;
    }
    for (const std::string& path :
         {std::string(), folder + "\\missing.scr", folder + "\\" + name + "\\..\\..\\missing"})
        EXPECT_FALSE(files.Resolve(path).has_value()) << path;
}

TEST_F(PlatformContract, OpenFailsWhereNoFileCanBe) {
    IFileSystem& files = backend->Files();
    EXPECT_EQ(files.OpenAppend(""), nullptr);
    EXPECT_EQ(files.OpenAppend(backend->ScratchFolder() + "\\no such folder\\x.log"), nullptr);
    EXPECT_FALSE(files.FileExists(""));
    EXPECT_FALSE(files.FileExists(backend->ScratchFolder() + "\\missing.txt"));
}

}  // namespace
