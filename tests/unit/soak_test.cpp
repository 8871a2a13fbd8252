// Ten thousand screen-saver runs in virtual time with random settings and a random user:
// the minutes to wait (out-of-range values too), when the user comes back, the
// confirmation and its answer, a cancel in the countdown, the launcher and the shutdown
// type. Each run is predicted from its draw and must end exactly so: Windows is asked to
// end, or the launcher is started, only when the wait ran out with the chosen screen
// saver still running, nobody said No and nobody cancelled.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "common/SharedObjects.h"
#include "platform/fake/FakeServices.h"
#include "screensaver/SSMain.h"
#include "support/RegistryValues.h"

namespace {

const std::string kSaver = "C:\\Windows\\system32\\Mystify.scr";
const std::string kKelvane = "C:\\Program Files\\Brellcor\\Kelvane.exe";
constexpr std::int32_t kLauncherWindow = 0x30042;
constexpr std::uint64_t kNever = std::numeric_limits<std::uint64_t>::max();
constexpr std::uint64_t kSplashMs = 3000;
constexpr std::uint64_t kConfirmMs = 5000;
constexpr std::uint64_t kCountdownMs = 60'000;
constexpr std::uint32_t kEwxForce = 4;

// One run's settings and user, as drawn.
struct Draw {
    std::int32_t waitMinutes = 1;
    std::uint64_t saverRunsMs = kNever;  // from its start until the user comes back
    bool confirm = false;
    bool defaultYes = true;
    std::optional<std::uint64_t> answerAt;  // from the start of the run
    bool answerYes = true;
    std::optional<std::int64_t> cancelAfterWait;  // from the moment the wait ran out
    bool runKelvane = false;
    bool kelvaneValid = true;
    std::int16_t shutdownType = 1;

    std::string Describe() const {
        std::ostringstream s;
        s << "minutes " << waitMinutes << ", saver "
          << (saverRunsMs == kNever ? std::string("never ends") : std::to_string(saverRunsMs))
          << ", confirm " << confirm << " yes-default " << defaultYes << ", answer "
          << (answerAt ? std::to_string(*answerAt) + (answerYes ? " yes" : " no") : "none")
          << ", cancel "
          << (cancelAfterWait ? std::to_string(*cancelAfterWait) : std::string("none"))
          << ", launcher " << runKelvane << " valid " << kelvaneValid << ", type " << shutdownType;
        return s.str();
    }
};

// Moves a time off the quarter seconds, where the splash's, the wait's, the
// confirmation's and the countdown's timers tick, so no two events ever coincide.
std::uint64_t OffTheTicks(std::uint64_t ms) {
    return ms % 250 == 0 ? ms + 1 : ms;
}

Draw RandomDraw(std::mt19937& rng, const std::vector<std::int16_t>& types) {
    auto uniform = [&](std::int64_t lo, std::int64_t hi) {
        return std::uniform_int_distribution<std::int64_t>(lo, hi)(rng);
    };
    auto chance = [&](int percent) { return uniform(1, 100) <= percent; };
    Draw d;
    static constexpr std::int32_t kOutOfRange[] = {0, -3, 600};
    d.waitMinutes =
        chance(90) ? static_cast<std::int32_t>(uniform(1, 5)) : kOutOfRange[uniform(0, 2)];
    const std::uint64_t waitMs = std::max(d.waitMinutes, 1) * 60'000ull;
    // Long waits are soaked with early returns; only a few are sat through.
    if (d.waitMinutes > 5)
        d.saverRunsMs = chance(2) ? kNever : uniform(1, 180'000);
    else
        d.saverRunsMs = chance(30) ? kNever : uniform(1, waitMs + 120'000);
    d.confirm = chance(50);
    d.defaultYes = chance(50);
    if (chance(50)) {
        d.answerAt = OffTheTicks(uniform(1, 10'000));
        d.answerYes = chance(50);
    }
    if (chance(40)) d.cancelAfterWait = uniform(-5'000, 70'000);
    d.runKelvane = chance(40);
    d.kelvaneValid = chance(75);
    d.shutdownType = types[uniform(0, static_cast<std::int64_t>(types.size()) - 1)];
    return d;
}

// What a run with this draw must do.
struct Prediction {
    bool waitRanOut = false;
    bool cancelled = false;
    bool exitWindows = false;
    bool launcher = false;
    std::uint64_t took = 0;
    std::uint64_t cancelAt = 0;
};

Prediction Predict(Draw& d) {
    Prediction p;
    // The answer: a click while the confirmation is open, else its default.
    std::uint64_t answered = kSplashMs;
    bool yes = true;
    if (d.confirm) {
        answered = kSplashMs + kConfirmMs;
        yes = d.defaultYes;
        if (d.answerAt && *d.answerAt > kSplashMs && *d.answerAt < kSplashMs + kConfirmMs) {
            answered = *d.answerAt;
            yes = d.answerYes;
        }
    }
    // A user who never comes back after a No would keep the run going for ever.
    if (!yes && d.saverRunsMs == kNever) d.saverRunsMs = 600'000;
    std::uint64_t saverEnd = kNever;
    if (d.saverRunsMs != kNever) {
        saverEnd = OffTheTicks(answered + d.saverRunsMs);
        d.saverRunsMs = saverEnd - answered;
    }
    const std::uint64_t waitOut = std::max(d.waitMinutes, 1) * 60'000ull;
    p.waitRanOut = yes && waitOut < saverEnd;
    if (!p.waitRanOut) {
        p.took = saverEnd;
        return p;
    }
    if (d.cancelAfterWait) {
        p.cancelAt = OffTheTicks(static_cast<std::uint64_t>(
            std::max<std::int64_t>(1, static_cast<std::int64_t>(waitOut) + *d.cancelAfterWait)));
        p.cancelled = p.cancelAt > waitOut && p.cancelAt < waitOut + kCountdownMs;
    }
    p.took = p.cancelled ? p.cancelAt : waitOut + kCountdownMs;
    const bool dispatch = !p.cancelled;
    p.exitWindows = dispatch && !d.runKelvane;
    p.launcher = dispatch && d.runKelvane && d.kelvaneValid;
    return p;
}

std::string SwitchFor(std::int16_t type) {
    switch (type) {
        case 0:
            return " /T=L";
        case 2:
            return " /T=R";
        case 20:
            return " /T=D";
        default:
            return " /T=S";
    }
}

std::uint32_t FlagWordFor(std::int16_t type) {
    // The machine is of the NT family: the MS-DOS-mode choice becomes a plain shut down,
    // and so does any code that is none of the four.
    return type == 0 || type == 2 ? static_cast<std::uint32_t>(type) : 1u;
}

// Runs `count` random runs from `seed` on; `longest` gets the virtual milliseconds of
// the longest. Stops at the first run that breaks a promise.
void Soak(std::uint32_t seed, int count, const std::vector<std::int16_t>& types,
          std::uint64_t& longest) {
    longest = 0;
    for (int i = 0; i < count; ++i) {
        const std::uint32_t runSeed = seed + static_cast<std::uint32_t>(i);
        std::mt19937 rng(runSeed);
        Draw d = RandomDraw(rng, types);
        const Prediction p = Predict(d);
        SCOPED_TRACE("seed " + std::to_string(runSeed) + ": " + d.Describe());

        FakeServices fake{ProgramKind::ScreenSaver, "SCRNSAVE:Somnivex"};
        FakeRegistry& r = fake.registry;
        PutString(r, kOptionsKey, "SelectedScreenSaver", kSaver);
        PutDword(r, kOptionsKey, "WaitMinutes", d.waitMinutes);
        PutDword(r, kOptionsKey, "ConfirmShutdown", d.confirm ? -1 : 0);
        PutDword(r, kOptionsKey, "DefaultConfirmYes", d.defaultYes ? -1 : 0);
        PutDword(r, kOptionsKey, "RunKelvane", d.runKelvane ? -1 : 0);
        PutString(r, kOptionsKey, "KelvanePath", d.kelvaneValid ? kKelvane : "");
        PutDword(r, kOptionsKey, "ShutdownType", d.shutdownType);
        fake.files.AddFile(kSaver);
        fake.files.AddFile(kKelvane);
        // The launcher's recorded window.
        fake.desktop.AddWindow({kLauncherWindow, 0, 0, "Kelvane", 2001, 1});
        PutDword(r, "Software\\Brellcor\\Window Handles", "ShutdownHwnd", kLauncherWindow);
        if (d.saverRunsMs != kNever) fake.launcher.RunFor(kSaver, d.saverRunsMs);
        // A run that would pass its predicted length by far is a hang.
        fake.loop.limitMs = p.took + 10 * 60'000;

        std::vector<std::size_t> postedBeforeStart;
        fake.launcher.onStart = [&](const FakeProcess&) {
            postedBeforeStart.push_back(fake.desktop.messages.size());
        };
        auto clickAt = [&](std::uint64_t ms, const char* form, const char* button) {
            fake.loop.At(ms, [&fake, form, button] {
                if (Form* f = fake.host.FindForm(form)) fake.host.Click((*f)[button]);
            });
        };
        if (d.answerAt)
            clickAt(*d.answerAt, "fMyMsgBox", d.answerYes ? "cmdResponse0" : "cmdResponse1");
        if (d.cancelAfterWait) clickAt(p.cancelAt, "fShutWarning", "cmdCancel");

        const std::uint64_t start = fake.clock.SteadyMilliseconds();
        int exitCode = -1;
        try {
            exitCode = scr::RunProgram(fake.services, fake.shutdown, "/s", false);
        } catch (const std::exception& e) {
            ReleaseSharedObjects();
            ADD_FAILURE() << "escaped: " << e.what();
            return;
        }
        const std::uint64_t took = fake.clock.SteadyMilliseconds() - start;
        longest = std::max(longest, took);

        const auto& calls = fake.shutdownApi.calls;
        const auto& started = fake.launcher.started;
        const bool launcherStarted = started.size() == 2;
        EXPECT_EQ(exitCode, 0);
        EXPECT_EQ(took, p.took);
        ASSERT_GE(started.size(), 1u);
        EXPECT_EQ(started[0].file, kSaver);
        EXPECT_LE(started.size(), 2u);
        EXPECT_EQ(calls.size(), p.exitWindows ? 1u : 0u);
        EXPECT_EQ(launcherStarted, p.launcher);
        EXPECT_FALSE(!calls.empty() && launcherStarted);
        for (const auto& c : calls) {
            EXPECT_NE(c.flags, 20u);
            EXPECT_EQ(c.flags & kEwxForce, 0u) << "flag word " << c.flags;
            EXPECT_EQ(c.flags, FlagWordFor(d.shutdownType));
        }
        // The launcher's window hears of the shutdown first, whatever follows.
        const bool posted = p.waitRanOut && !p.cancelled && d.runKelvane;
        ASSERT_EQ(fake.desktop.messages.size(), posted ? 1u : 0u);
        if (posted) {
            EXPECT_EQ(fake.desktop.messages[0].message, 1525u);
            EXPECT_EQ(fake.desktop.messages[0].window, kLauncherWindow);
        }
        if (launcherStarted) {
            EXPECT_EQ(postedBeforeStart.at(1), 1u);
            EXPECT_EQ(started[1].commandLine, "\"" + kKelvane + "\"" + SwitchFor(d.shutdownType));
        }
        EXPECT_EQ(gTimeUp, false);  // reset with the shared objects
        if (::testing::Test::HasFailure()) return;
    }
}

TEST(Soak, TenThousandRandomRunsEndAsPredicted) {
    const auto wall = std::chrono::steady_clock::now();
    std::uint64_t longest = 0;
    Soak(20'260'401, 10'000, {0, 1, 2, 20}, longest);
    // The longest run sat through a 600-minute wait and its countdown.
    EXPECT_LE(longest, 600u * 60'000u + kCountdownMs);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - wall)
                        .count();
    RecordProperty("wall_ms", static_cast<int>(ms));
}

// A stored code the settings manager never offers: as a flag word 7 would be
// EWX_SHUTDOWN | EWX_REBOOT | EWX_FORCE.
TEST(Soak, UnlistedShutdownCodeNeverForcesTheExit) {
    std::uint64_t longest = 0;
    Soak(7'000'000, 2'000, {0, 1, 2, 20, 7}, longest);
}

}  // namespace
