// Whole screen-saver runs in which one thing the program relies on fails: each registry
// call in turn, the starts of programs, the shutdown calls, the log file, the pictures
// and every string of the table. Each run must end with the outcome that the settings it
// could actually read ask for, without an exception, without a shutdown nobody asked for
// and without any setting written but the defaults of values that could not be read.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/SharedObjects.h"
#include "common/StringTable.h"
#include "platform/fake/FakeServices.h"
#include "screensaver/SSMain.h"
#include "support/RegistryTap.h"
#include "support/RegistryValues.h"

// Readable failure output for stored values: type and bytes.
static void PrintTo(const FakeRegistry::StoredValue& v, std::ostream* os) {
    *os << "type " << v.type << " [";
    for (auto b : v.bytes) *os << ' ' << static_cast<int>(b);
    *os << " ]";
}

namespace {

using Op = FakeRegistry::Op;

const std::string kSaver = "C:\\Windows\\system32\\Mystify.scr";
const std::string kAppPath = "C:\\Program Files\\Somnivex";
const std::string kKelvane = "C:\\Program Files\\Brellcor\\Kelvane.exe";
const std::string kHandlesKey = "Software\\Brellcor\\Window Handles";
const std::string kLogFile = std::string(FakeServices::kProgramFolder) + "\\error.log";
constexpr WindowRef kRecordedWindow = 0x30042;
// Longer than any wait a run can have, so the chosen screen saver "keeps running".
constexpr std::uint64_t kSaverRunsMs = 3ull * 3'600'000;

std::string Fold(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// A key path as one comparable text: the hive's name, then the parts in lower case.
std::string JoinPath(const std::string& base, const std::string& subKey) {
    std::string path = base;
    std::size_t start = 0;
    while (start <= subKey.size()) {
        std::size_t end = subKey.find('\\', start);
        if (end == std::string::npos) end = subKey.size();
        if (end > start) path += "\\" + Fold(subKey.substr(start, end - start));
        start = end + 1;
    }
    return path;
}

std::string HiveName(RegKey hive) {
    if (hive == reg::kLocalMachine) return "hklm";
    if (hive == reg::kCurrentUser) return "hkcu";
    if (hive == reg::kClassesRoot) return "hkcr";
    if (hive == reg::kUsers) return "hku";
    return {};
}

FakeRegistry::StoredValue Dword(std::int32_t value) {
    return {reg::kTypeDword, regbytes::Dword(value)};
}

FakeRegistry::StoredValue Sz(const std::string& text) {
    return {reg::kTypeSz, regbytes::Sz(text)};
}

// Every value the screen saver may read, with the default that a read stores when the
// value is missing.
struct KnownValue {
    std::string key;
    std::string name;
    FakeRegistry::StoredValue fallback;
};

const std::vector<KnownValue>& KnownValues() {
    static const std::vector<KnownValue> values = {
        {kOptionsKey, "RunKelvane", Dword(0)},
        {kOptionsKey, "ConfirmShutdown", Dword(0)},
        {kOptionsKey, "DefaultConfirmYes", Dword(-1)},
        {kOptionsKey, "LogDebug", Dword(0)},
        {kOptionsKey, "ShutdownType", Dword(1)},
        {kOptionsKey, "WaitMinutes", Dword(30)},
        {kOptionsKey, "InstallUpdates", Dword(1)},
        {kOptionsKey, "LogDir", Sz("")},
        {kOptionsKey, "AppPath", Sz("")},
        {kOptionsKey, "KelvanePath", Sz("")},
        {kOptionsKey, "SelectedScreenSaver", Sz("")},
        {kHandlesKey, "ShutdownHwnd", Dword(-1)},
        {"Software\\Brellcor\\Pemrose\\Kelvane", "AppPath", Sz("")},
        {"Software\\Brellcor\\Kelvane\\Kelvane", "AppPath", Sz("")},
    };
    return values;
}

const KnownValue* FindKnown(const std::string& foldedPath, const std::string& name) {
    for (const auto& v : KnownValues())
        if (JoinPath("hklm", v.key) == foldedPath && Fold(v.name) == Fold(name)) return &v;
    return nullptr;
}

// Keeps a journal of every call to the fake registry: which key each handle stands for,
// what was written where, and which calls belong together (a read of one setting opens
// its key, reads, maybe writes the default, and closes it again).
class AuditedRegistry : public RegistryTap {
  public:
    struct Call {
        Op op;
        int index;    // among the calls of this kind, counting from 0
        int episode;  // calls since the latest OpenKey belong to one episode
        std::string path;
        std::string name;
        RegStatus status;
        std::optional<FakeRegistry::StoredValue> written;
    };

    using RegistryTap::RegistryTap;

    std::function<void()> beforeCall;
    std::vector<Call> calls;
    std::set<RegKey> handedOut;  // handles opened or created
    std::set<RegKey> closed;     // handles a close was attempted on

    // The episode of the `index`-th call of `op`, when there was one.
    std::optional<int> EpisodeOf(Op op, int index) const {
        for (const auto& c : calls)
            if (c.op == op && c.index == index) return c.episode;
        return std::nullopt;
    }

  private:
    void Before(Op op) override {
        if (op == Op::kOpenKey || op == Op::kOpenKeyToRead) ++episode_;
        if (beforeCall) beforeCall();
    }
    void After(const Seen& call) override {
        // A call without a subkey stands for the handle's own key.
        const std::string path = JoinPath(PathOf(call.key), call.subKey);
        if (call.Opened()) {
            handedOut.insert(call.opened);
            paths_[call.opened] = path;
        }
        if (call.op == Op::kCloseKey) closed.insert(call.key);
        calls.push_back(
            {call.op, counts_[call.op]++, episode_, path, call.name, call.status, std::nullopt});
        if (call.op == Op::kSetValue)
            calls.back().written = FakeRegistry::StoredValue{
                call.type, std::vector<std::uint8_t>(call.data, call.data + call.size)};
    }
    std::string PathOf(RegKey key) const {
        if (const auto hive = HiveName(key); !hive.empty()) return hive;
        const auto it = paths_.find(key);
        return it == paths_.end() ? "?" : it->second;
    }

    std::map<RegKey, std::string> paths_;
    std::map<Op, int> counts_;
    int episode_ = 0;
};

// The built-in table with one id held back, as a damaged resource section would be.
// Records every id asked for.
class RefusingStrings : public IStringSource {
  public:
    explicit RefusingStrings(const IStringSource& inner) : inner_(inner) {}
    std::optional<std::string> Load(int id) const override {
        asked.insert(id);
        if (refused && *refused == id) return std::nullopt;
        return inner_.Load(id);
    }
    std::optional<int> refused;
    mutable std::set<int> asked;

  private:
    const IStringSource& inner_;
};

// One program run with every seam faked, the registry audited and the strings
// refusable. The options as the run loaded them are caught as soon as the first wait
// handles events.
struct Harness {
    Harness()
        : audited(fake.registry),
          strings(fake.strings),
          services{audited,
                   strings,
                   fake.clock,
                   fake.files,
                   fake.messageBox,
                   fake.facts,
                   fake.loop,
                   fake.launcher,
                   fake.host,
                   fake.events,
                   FakeServices::kProgramFolder,
                   "SCRNSAVE:Somnivex",
                   "Somnivex"} {
        fake.launcher.onStart = [this](const FakeProcess& p) {
            starts.push_back({p.file, fake.desktop.messages.size()});
        };
        // The launcher's hidden window, as it records itself under "Window Handles".
        fake.desktop.AddWindow({kRecordedWindow, 0, 0, "Kelvane", 2001, 1});
    }
    ~Harness() { ReleaseSharedObjects(); }
    Harness(const Harness&) = delete;
    Harness& operator=(const Harness&) = delete;

    void Run(const std::string& arguments = "/s") {
        fake.loop.At(0, [this] {
            if (gSSOptions) loaded = gOptions;
        });
        const std::uint64_t start = fake.clock.SteadyMilliseconds();
        try {
            exitCode = scr::RunProgram(services, fake.shutdown, arguments, false);
        } catch (const std::exception& e) {
            escaped = e.what();
            ReleaseSharedObjects();
        }
        took = fake.clock.SteadyMilliseconds() - start;
    }
    // Error records are written from the first registry call on, that is from the
    // moment the logger exists.
    void SwitchOnErrorLogging() {
        audited.beforeCall = [] {
            if (gLogger) gLogger->ErrorLogging = true;
        };
    }
    void ClickAt(std::uint64_t ms, const std::string& form, const std::string& button) {
        fake.loop.At(ms, [this, form, button] {
            if (Form* f = fake.host.FindForm(form)) fake.host.Click((*f)[button]);
        });
    }
    bool Shown(const std::string& form) const {
        const auto& s = fake.host.shownForms;
        return std::find(s.begin(), s.end(), form) != s.end();
    }
    std::vector<std::string> Messages() const {
        std::vector<std::string> texts;
        for (const auto& m : fake.messageBox.shown) texts.push_back(m.text);
        return texts;
    }
    int LauncherStarts() const {
        return static_cast<int>(std::count_if(starts.begin(), starts.end(),
                                              [](const auto& s) { return s.first == kKelvane; }));
    }

    FakeServices fake{ProgramKind::ScreenSaver, "SCRNSAVE:Somnivex"};
    AuditedRegistry audited;
    RefusingStrings strings;
    Services services;
    std::optional<tSSOptions> loaded;
    std::vector<std::pair<std::string, std::size_t>> starts;  // file, messages posted before
    int exitCode = -1;
    std::optional<std::string> escaped;
    std::uint64_t took = 0;
};

// --- registry: every call of every kind fails once ---------------------------------

// The settings a sweep starts from.
struct Setup {
    const char* name;
    std::function<void(Harness&)> apply;
};

void StoreAllOptions(Harness& h) {
    FakeRegistry& r = h.fake.registry;
    PutDword(r, kOptionsKey, "RunKelvane", 0);
    PutDword(r, kOptionsKey, "ConfirmShutdown", -1);
    PutDword(r, kOptionsKey, "DefaultConfirmYes", -1);
    PutDword(r, kOptionsKey, "ShutdownType", 2);
    PutDword(r, kOptionsKey, "WaitMinutes", 1);
    PutString(r, kOptionsKey, "AppPath", kAppPath);
    PutString(r, kOptionsKey, "KelvanePath", "");
    PutString(r, kOptionsKey, "SelectedScreenSaver", kSaver);
    // LogDebug and LogDir are missing: the run stores their defaults.
    h.fake.files.AddFile(kSaver);
    h.fake.files.AddFile(kAppPath + "\\graphics\\SomnivexLgeTxt.GIF");
    h.fake.files.AddFile(kAppPath + "\\graphics\\Brellcor.gif");
    h.fake.files.AddFile(kKelvane);
    h.fake.launcher.RunFor(kSaver, kSaverRunsMs);
}

const std::vector<Setup>& Setups() {
    static const std::vector<Setup> setups = {
        {"confirmed restart", [](Harness& h) { StoreAllOptions(h); }},
        {"launcher log off",
         [](Harness& h) {
             StoreAllOptions(h);
             PutDword(h.fake.registry, kOptionsKey, "RunKelvane", -1);
             PutDword(h.fake.registry, kOptionsKey, "ConfirmShutdown", 0);
             PutDword(h.fake.registry, kOptionsKey, "ShutdownType", 0);
             PutString(h.fake.registry, kOptionsKey, "KelvanePath", kKelvane);
             PutDword(h.fake.registry, kHandlesKey, "ShutdownHwnd",
                      static_cast<std::int32_t>(kRecordedWindow));
         }},
        {"No by default",
         [](Harness& h) {
             StoreAllOptions(h);
             PutDword(h.fake.registry, kOptionsKey, "DefaultConfirmYes", 0);
         }},
        {"first start", [](Harness&) {}},
    };
    return setups;
}

std::map<std::pair<std::string, std::string>, std::optional<FakeRegistry::StoredValue>> Snapshot(
    const FakeRegistry& r) {
    std::map<std::pair<std::string, std::string>, std::optional<FakeRegistry::StoredValue>> s;
    for (const auto& v : KnownValues())
        s[{v.key, v.name}] = r.Value(reg::kLocalMachine, v.key, v.name);
    return s;
}

tSSOptions Decode(const std::map<std::pair<std::string, std::string>,
                                 std::optional<FakeRegistry::StoredValue>>& snapshot) {
    // What a read without failures would load from these contents.
    tSSOptions o;
    auto number = [&](const char* name, std::int32_t fallback) {
        const auto& v = snapshot.at({kOptionsKey, name});
        if (!v || v->type != reg::kTypeDword) return fallback;
        const auto stored = regbytes::ReadDword(v->bytes);
        return stored ? static_cast<std::int32_t>(*stored) : fallback;
    };
    auto text = [&](const char* name) {
        const auto& v = snapshot.at({kOptionsKey, name});
        if (!v || v->type != reg::kTypeSz) return std::string();
        return regbytes::TextBeforeNul(v->bytes);
    };
    o.RunKelvane = number("RunKelvane", 0) != 0;
    o.ConfirmShutdown = number("ConfirmShutdown", 0) != 0;
    o.DefaultConfirmYes = number("DefaultConfirmYes", -1) != 0;
    o.LogDebug = number("LogDebug", 0) != 0;
    o.ShutdownType = static_cast<std::int16_t>(number("ShutdownType", 1));
    o.WaitMinutes = static_cast<std::int16_t>(number("WaitMinutes", 30));
    o.InstallUpdates = number("InstallUpdates", 1) != 0;
    o.LogDir = text("LogDir");
    o.AppPath = text("AppPath");
    o.KelvanePath = text("KelvanePath");
    o.SelectedScreenSaver = text("SelectedScreenSaver");
    return o;
}

// How many fields of `got` differ from `want`, each of which must hold its default.
int FieldsAtDefaultInstead(const tSSOptions& got, const tSSOptions& want, std::string& bad) {
    const tSSOptions d;
    int differing = 0;
    auto field = [&](const char* name, auto a, auto b, auto fallback) {
        if (a == b) return;
        ++differing;
        if (a != fallback) bad += std::string(name) + " ";
    };
    field("RunKelvane", got.RunKelvane, want.RunKelvane, d.RunKelvane);
    field("ConfirmShutdown", got.ConfirmShutdown, want.ConfirmShutdown, d.ConfirmShutdown);
    field("DefaultConfirmYes", got.DefaultConfirmYes, want.DefaultConfirmYes, d.DefaultConfirmYes);
    field("LogDebug", got.LogDebug, want.LogDebug, d.LogDebug);
    field("ShutdownType", got.ShutdownType, want.ShutdownType, d.ShutdownType);
    field("WaitMinutes", got.WaitMinutes, want.WaitMinutes, d.WaitMinutes);
    field("InstallUpdates", got.InstallUpdates, want.InstallUpdates, d.InstallUpdates);
    field("LogDir", got.LogDir, want.LogDir, d.LogDir);
    field("AppPath", got.AppPath, want.AppPath, d.AppPath);
    field("KelvanePath", got.KelvanePath, want.KelvanePath, d.KelvanePath);
    field("SelectedScreenSaver", got.SelectedScreenSaver, want.SelectedScreenSaver,
          d.SelectedScreenSaver);
    return differing;
}

std::uint32_t FlagWordFor(std::int16_t stored) {
    // The test machine is of the NT family: the MS-DOS-mode choice is a plain shut down.
    return stored == shutdown_code::kRestartInMsDos ? 1u : static_cast<std::uint32_t>(stored);
}

// Checks one run against everything that must hold whatever failed in it. `faultEpisode`
// is the journal episode of the failed call, when it happened.
void CheckRun(const Harness& h,
              const std::map<std::pair<std::string, std::string>,
                             std::optional<FakeRegistry::StoredValue>>& before,
              std::optional<int> faultEpisode) {
    ASSERT_FALSE(h.escaped) << "escaped: " << *h.escaped;
    EXPECT_EQ(h.exitCode, 0);

    // Writes: only the default of a value that was missing, or of one whose read failed.
    for (const auto& c : h.audited.calls) {
        EXPECT_NE(c.op, Op::kDeleteKey) << c.path;
        EXPECT_NE(c.op, Op::kDeleteValue) << c.path << " " << c.name;
        if (c.op != Op::kSetValue || c.status != reg::kSuccess) continue;
        const KnownValue* known = FindKnown(c.path, c.name);
        ASSERT_NE(known, nullptr) << "wrote " << c.path << " " << c.name;
        EXPECT_EQ(*c.written, known->fallback) << "wrote not the default: " << c.name;
        const bool wasMissing = !before.at({known->key, known->name});
        EXPECT_TRUE(wasMissing || (faultEpisode && c.episode == *faultEpisode))
            << "overwrote " << c.name << " though its read worked";
    }
    // Every key handed out was closed again (or at least a close was tried).
    for (RegKey handle : h.audited.handedOut)
        EXPECT_TRUE(h.audited.closed.count(handle)) << "handle " << handle << " left open";

    // The registry afterwards: unchanged but for such defaults.
    const auto after = Snapshot(h.fake.registry);
    int changedExisting = 0;
    for (const auto& v : KnownValues()) {
        const auto& was = before.at({v.key, v.name});
        const auto& now = after.at({v.key, v.name});
        if (was == now) continue;
        EXPECT_EQ(now, v.fallback) << v.key << " " << v.name;
        if (was) ++changedExisting;
    }
    EXPECT_LE(changedExisting, faultEpisode ? 1 : 0);

    // The options as loaded: what was stored, but for at most one setting at its default.
    ASSERT_TRUE(h.loaded.has_value());
    const tSSOptions& o = *h.loaded;
    std::string bad;
    EXPECT_LE(FieldsAtDefaultInstead(o, Decode(before), bad), faultEpisode ? 1 : 0);
    EXPECT_EQ(bad, "");

    // The outcome those options ask for, with a screen saver that keeps running.
    const bool chosen = !o.SelectedScreenSaver.empty();
    const bool goAhead = chosen && (!o.ConfirmShutdown || o.DefaultConfirmYes);
    const bool inProcess = goAhead && !o.RunKelvane;
    const bool launcher = goAhead && o.RunKelvane && o.KelvanePath == kKelvane;
    ASSERT_EQ(h.fake.shutdownApi.calls.size(), inProcess ? 1u : 0u);
    if (inProcess) {
        EXPECT_EQ(h.fake.shutdownApi.calls[0].flags, FlagWordFor(o.ShutdownType));
    }
    EXPECT_EQ(h.LauncherStarts(), launcher ? 1 : 0);
    EXPECT_EQ(h.Shown("fShutWarning"), goAhead);
    if (goAhead && o.RunKelvane) {
        // The recorded window gets the message; when its handle could not be read, the
        // -1 that stands in for it gets nothing.
        ASSERT_LE(h.fake.desktop.messages.size(), 1u);
        if (h.fake.desktop.messages.empty()) {
            EXPECT_TRUE(faultEpisode.has_value());
        } else {
            EXPECT_EQ(h.fake.desktop.messages[0].message, 1525u);
            EXPECT_EQ(h.fake.desktop.messages[0].window, kRecordedWindow);
        }
    } else {
        EXPECT_TRUE(h.fake.desktop.messages.empty());
    }
    if (chosen) {
        EXPECT_TRUE(h.fake.messageBox.shown.empty());
        EXPECT_EQ(h.starts.at(0).first, kSaver);
    } else {
        ASSERT_EQ(h.fake.messageBox.shown.size(), 1u);
        EXPECT_EQ(h.fake.messageBox.shown[0].text.rfind("Please run Somnivex Manager first", 0),
                  0u);
        EXPECT_TRUE(h.starts.empty());
    }
}

// Windows' answers that a failing call of each kind can give.
std::vector<RegStatus> StatusesFor(Op op) {
    switch (op) {
        case Op::kOpenKey:
        case Op::kOpenKeyToRead:
            return {reg::kFileNotFound, reg::kAccessDenied};
        case Op::kQueryValue:
            return {reg::kFileNotFound, reg::kAccessDenied, reg::kMoreData};
        case Op::kCloseKey:
            return {reg::kInvalidHandle};
        case Op::kEnumKey:
        case Op::kEnumValue:
            return {reg::kNoMoreItems, reg::kAccessDenied};
        default:
            return {reg::kAccessDenied};
    }
}

const Op kAllOps[] = {Op::kOpenKey,    Op::kOpenKeyToRead, Op::kCreateKey, Op::kCloseKey,
                      Op::kQueryValue, Op::kSetValue,      Op::kEnumKey,   Op::kEnumValue,
                      Op::kDeleteKey,  Op::kDeleteValue};

TEST(FaultInjectionRegistry, CleanRunsKeepEverySetting) {
    for (const auto& setup : Setups()) {
        SCOPED_TRACE(setup.name);
        Harness h;
        setup.apply(h);
        const auto before = Snapshot(h.fake.registry);
        h.Run();
        CheckRun(h, before, std::nullopt);
        EXPECT_EQ(*h.loaded, Decode(before));
        EXPECT_GT(h.fake.registry.CallCount(Op::kOpenKey), 10);
        EXPECT_EQ(h.fake.registry.CallCount(Op::kDeleteKey), 0);
        EXPECT_EQ(h.fake.registry.CallCount(Op::kDeleteValue), 0);
    }
}

TEST(FaultInjectionRegistry, EachCallOfEachKindFailsInTurn) {
    int runs = 0;
    for (const auto& setup : Setups()) {
        for (Op op : kAllOps) {
            int count = 0;
            {
                Harness clean;
                setup.apply(clean);
                clean.Run();
                count = clean.fake.registry.CallCount(op);
            }
            for (RegStatus status : StatusesFor(op)) {
                for (int k = 0; k < count; ++k) {
                    SCOPED_TRACE(std::string(setup.name) + ", op " +
                                 std::to_string(static_cast<int>(op)) + ", call " +
                                 std::to_string(k) + ", status " + std::to_string(status));
                    Harness h;
                    setup.apply(h);
                    const auto before = Snapshot(h.fake.registry);
                    h.fake.registry.FailNext(op, status, k);
                    h.Run();
                    CheckRun(h, before, h.audited.EpisodeOf(op, k));
                    ++runs;
                    if (HasFatalFailure()) return;
                }
            }
        }
    }
    EXPECT_GT(runs, 200);
}

// A read that Windows refuses for a moment replaces a setting the user made. That is how
// every settings read is meant to behave (a value that cannot be read counts as missing),
// and these runs pin down what it costs: the run obeys the default, and the default
// stays in the registry.
TEST(FaultInjectionRegistry, RefusedReadOfTheChosenScreenSaverRunsWithoutItAndKeepsIt) {
    Harness h;
    StoreAllOptions(h);
    // The ten reads of the options run in a fixed order; the screen saver's path is the
    // last text, read with two queries.
    int query = -1;
    {
        Harness clean;
        StoreAllOptions(clean);
        clean.Run();
        for (const auto& c : clean.audited.calls)
            if (c.op == Op::kQueryValue && c.name == "SelectedScreenSaver") {
                query = c.index;
                break;
            }
    }
    ASSERT_GE(query, 0);
    h.fake.registry.FailNext(Op::kQueryValue, reg::kAccessDenied, query);
    h.Run();
    // This run goes without it (the manager message); the stored path is not lost.
    EXPECT_EQ(h.loaded->SelectedScreenSaver, "");
    EXPECT_EQ(GetString(h.fake.registry, kOptionsKey, "SelectedScreenSaver"), kSaver);
    EXPECT_TRUE(h.fake.shutdownApi.calls.empty());
    EXPECT_EQ(h.Messages().size(), 1u);
}

TEST(FaultInjectionRegistry, RefusedReadOfNoByDefaultTurnsIntoYes) {
    Harness h;
    StoreAllOptions(h);
    PutDword(h.fake.registry, kOptionsKey, "DefaultConfirmYes", 0);
    int query = -1;
    {
        Harness clean;
        StoreAllOptions(clean);
        clean.Run();
        for (const auto& c : clean.audited.calls)
            if (c.op == Op::kQueryValue && c.name == "DefaultConfirmYes") {
                query = c.index;
                break;
            }
    }
    ASSERT_GE(query, 0);
    h.fake.registry.FailNext(Op::kQueryValue, reg::kAccessDenied, query);
    h.Run();
    EXPECT_TRUE(h.loaded->DefaultConfirmYes);
    EXPECT_EQ(GetDword(h.fake.registry, kOptionsKey, "DefaultConfirmYes"), -1);
    EXPECT_EQ(h.fake.shutdownApi.calls.size(), 1u);
}

TEST(FaultInjectionRegistry, WritesRefusedEverywhereStillRunWithTheDefaults) {
    // A standard user: HKEY_LOCAL_MACHINE refuses every write, so no default is stored.
    Harness h;
    StoreAllOptions(h);
    h.fake.registry.DenyWrites(reg::kLocalMachine, "");
    const auto before = Snapshot(h.fake.registry);
    h.Run();
    CheckRun(h, before, std::nullopt);
    EXPECT_EQ(Snapshot(h.fake.registry), before);
    EXPECT_FALSE(GetDword(h.fake.registry, kOptionsKey, "LogDebug").has_value());
    EXPECT_EQ(h.fake.shutdownApi.calls.size(), 1u);
}

// --- programs, the shutdown calls, the log file and the pictures -------------------

class FaultInjectionSeams : public ::testing::Test {
  protected:
    FaultInjectionSeams() {
        StoreAllOptions(h);
        PutDword(h.fake.registry, kOptionsKey, "ConfirmShutdown", 0);
    }
    void UseLauncher(const std::string& path) {
        PutDword(h.fake.registry, kOptionsKey, "RunKelvane", -1);
        PutString(h.fake.registry, kOptionsKey, "KelvanePath", path);
        PutDword(h.fake.registry, kHandlesKey, "ShutdownHwnd",
                 static_cast<std::int32_t>(kRecordedWindow));
    }
    std::vector<std::string> LogLines() const { return h.fake.files.Lines(kLogFile); }

    Harness h;
};

const std::string kBanner = "*****Error*****Error*****Error*****Error*****Error*****Error";
const std::string kGraphicMessage =
    "Couldn't load graphic.  Please reinstall Kelvane, or contact support.";
const std::string kNotFound = "The system cannot find the file specified.";

TEST_F(FaultInjectionSeams, ScreenSaverThatCannotStartEndsTheRunWithoutAnyShutdown) {
    PutDword(h.fake.registry, kOptionsKey, "ConfirmShutdown", -1);
    PutString(h.fake.registry, kOptionsKey, "SelectedScreenSaver", "C:\\Windows\\gone.scr");
    h.Run();
    EXPECT_EQ(h.exitCode, 0);
    EXPECT_EQ(h.took, 8000u);  // splash, then the confirmation's five seconds
    EXPECT_TRUE(h.starts.empty());
    EXPECT_TRUE(h.fake.shutdownApi.calls.empty());
    EXPECT_TRUE(h.fake.messageBox.shown.empty());
    EXPECT_FALSE(h.Shown("fShutWarning"));
}

TEST_F(FaultInjectionSeams, RefusedExitCodeQueryChangesNothing) {
    // The wait watches the process itself, not its exit code.
    h.fake.launcher.refuseExitCode.insert(Fold(kSaver));
    h.Run();
    EXPECT_EQ(h.took, 120'000u);
    EXPECT_EQ(h.fake.shutdownApi.calls.size(), 1u);

    Harness back;
    StoreAllOptions(back);
    back.fake.launcher.refuseExitCode.insert(Fold(kSaver));
    back.fake.launcher.RunFor(kSaver, 30'500);
    back.ClickAt(4000, "fMyMsgBox", "cmdResponse0");
    back.Run();
    EXPECT_EQ(back.took, 4000u + 30'500u);
    EXPECT_TRUE(back.fake.shutdownApi.calls.empty());
}

TEST_F(FaultInjectionSeams, RefusedPrivilegeStillAsksWindowsAndReportsNothing) {
    h.fake.shutdownApi.privilegeError = 1300;
    h.Run();
    EXPECT_EQ(h.exitCode, 0);
    EXPECT_EQ(h.fake.shutdownApi.privilegeCalls, 1);
    ASSERT_EQ(h.fake.shutdownApi.calls.size(), 1u);
    EXPECT_EQ(h.fake.shutdownApi.calls[0].flags, 2u);
    EXPECT_TRUE(h.fake.messageBox.shown.empty());
}

TEST_F(FaultInjectionSeams, RefusedExitWindowsIsAskedOnceAndTheProgramEnds) {
    h.fake.shutdownApi.accept = false;
    h.SwitchOnErrorLogging();
    h.Run();
    EXPECT_EQ(h.exitCode, 0);
    EXPECT_EQ(h.took, 120'000u);
    EXPECT_EQ(h.fake.shutdownApi.calls.size(), 1u);
    EXPECT_TRUE(h.fake.messageBox.shown.empty());
    EXPECT_TRUE(LogLines().empty());  // the status is ignored, not logged
}

TEST_F(FaultInjectionSeams, LauncherThatCannotStartIsLoggedQuietlyAndNothingShutsDown) {
    UseLauncher("C:\\Program Files\\Brellcor\\Missing.exe");
    h.SwitchOnErrorLogging();
    h.Run();
    EXPECT_EQ(h.exitCode, 0);
    EXPECT_TRUE(h.fake.shutdownApi.calls.empty());
    EXPECT_EQ(h.LauncherStarts(), 0);
    EXPECT_EQ(h.starts.size(), 1u);                 // the chosen screen saver only
    EXPECT_EQ(h.fake.desktop.messages.size(), 1u);  // posted before the start was tried
    EXPECT_TRUE(h.fake.messageBox.shown.empty());
    const auto lines = LogLines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], kBanner);
    EXPECT_EQ(lines[1].substr(lines[1].find(" - ")), " - User: <Unknown User>");
    EXPECT_EQ(lines[2], "Error: " + kNotFound);
    EXPECT_EQ(lines[3], kBanner);
    EXPECT_EQ(lines[4], "");
}

TEST_F(FaultInjectionSeams, LogFileThatCannotBeOpenedEndsFileLoggingWithOneMessage) {
    UseLauncher("");
    h.SwitchOnErrorLogging();
    h.fake.files.DenyOpen(kLogFile);
    h.Run();
    EXPECT_EQ(h.exitCode, 0);
    EXPECT_TRUE(h.fake.shutdownApi.calls.empty());
    ASSERT_EQ(h.fake.messageBox.shown.size(), 1u);
    EXPECT_EQ(h.fake.messageBox.shown[0].text, "Fatal logging error.  " + kLogFile + ".");
    EXPECT_EQ(h.fake.messageBox.shown[0].style, mb::kOk | mb::kIconInformation);
    EXPECT_FALSE(h.fake.files.FileExists(kLogFile));
}

TEST_F(FaultInjectionSeams, FailedWritesLoseTheRestOfTheRecordAndCloseTheFile) {
    for (int linesThatWork : {0, 2}) {
        Harness run;
        StoreAllOptions(run);
        PutDword(run.fake.registry, kOptionsKey, "ConfirmShutdown", 0);
        PutDword(run.fake.registry, kOptionsKey, "RunKelvane", -1);
        run.SwitchOnErrorLogging();
        run.fake.files.FailWritesAfter(linesThatWork);
        run.Run();
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_TRUE(run.fake.shutdownApi.calls.empty());
        EXPECT_TRUE(run.fake.messageBox.shown.empty());
        EXPECT_EQ(run.fake.files.Lines(kLogFile).size(), static_cast<std::size_t>(linesThatWork));
        EXPECT_EQ(run.fake.files.OpenNow(), 0);
    }
}

TEST_F(FaultInjectionSeams, PicturesThatFailAreReportedOnceAndTheRunGoesOn) {
    for (bool logFileRefused : {false, true}) {
        Harness run;
        StoreAllOptions(run);
        PutDword(run.fake.registry, kOptionsKey, "ConfirmShutdown", 0);
        run.fake.host.undecodable.push_back(kAppPath + "\\graphics\\SomnivexLgeTxt.GIF");
        run.fake.host.undecodable.push_back(kAppPath + "\\graphics\\Brellcor.gif");
        run.SwitchOnErrorLogging();
        if (logFileRefused) run.fake.files.DenyOpen(kLogFile);
        run.Run();
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.took, 120'000u);
        EXPECT_EQ(run.fake.shutdownApi.calls.size(), 1u);
        const auto messages = run.Messages();
        ASSERT_EQ(messages.size(), logFileRefused ? 2u : 1u);
        EXPECT_EQ(messages[0], kGraphicMessage);
        if (logFileRefused) {
            EXPECT_EQ(messages[1], "Fatal logging error.  " + kLogFile + ".");
        } else {
            EXPECT_EQ(run.fake.files.Lines(kLogFile).at(2), "Error: " + kGraphicMessage);
        }
    }
}

// 7 as a flag word would be a forced exit (EWX_FORCE is 4): it is taken as a shut down.
TEST_F(FaultInjectionSeams, UnlistedStoredCodeIsNeverAForcedExit) {
    PutDword(h.fake.registry, kOptionsKey, "ShutdownType", 7);
    h.Run();
    ASSERT_EQ(h.fake.shutdownApi.calls.size(), 1u);
    EXPECT_EQ(h.fake.shutdownApi.calls[0].flags, 1u);
}

// --- every string of the table missing in turn ------------------------------------

enum class Scenario { kPlain, kConfirm, kNoSaver, kLauncherLogged };

struct StringRun {
    std::unique_ptr<Harness> h = std::make_unique<Harness>();
    std::string question;
};

StringRun RunScenario(Scenario scenario, std::optional<int> refused) {
    StringRun run;
    Harness& h = *run.h;
    h.strings.refused = refused;
    switch (scenario) {
        case Scenario::kPlain:
            StoreAllOptions(h);
            PutDword(h.fake.registry, kOptionsKey, "ConfirmShutdown", 0);
            PutDword(h.fake.registry, kOptionsKey, "ShutdownType", shutdown_code::kShutDown);
            break;
        case Scenario::kConfirm:
            StoreAllOptions(h);
            h.fake.loop.At(3500, [&run, &h] {
                if (Form* f = h.fake.host.FindForm("fMyMsgBox"))
                    run.question = (*f)["lblMessage"].Text();
            });
            break;
        case Scenario::kNoSaver:
            break;
        case Scenario::kLauncherLogged:
            PutString(h.fake.registry, kOptionsKey, "AppPath", kAppPath);  // no pictures there
            PutString(h.fake.registry, kOptionsKey, "SelectedScreenSaver", kSaver);
            PutString(h.fake.registry, kOptionsKey, "KelvanePath", "C:\\Missing.exe");
            PutDword(h.fake.registry, kOptionsKey, "RunKelvane", -1);
            PutDword(h.fake.registry, kOptionsKey, "WaitMinutes", 1);
            PutDword(h.fake.registry, kHandlesKey, "ShutdownHwnd",
                     static_cast<std::int32_t>(kRecordedWindow));
            h.fake.files.AddFile(kSaver);
            h.SwitchOnErrorLogging();
            break;
    }
    h.Run();
    return run;
}

std::vector<std::uint32_t> Flags(const Harness& h) {
    std::vector<std::uint32_t> flags;
    for (const auto& c : h.fake.shutdownApi.calls) flags.push_back(c.flags);
    return flags;
}

// The texts the countdown loads: the plain run's shuts down, the other's restarts.
bool IsCountdownText(int id, Scenario s) {
    if (id == 1004 || id == 1006 || id == 1008) return true;
    return s == Scenario::kPlain ? id == 1005 || id == 1009 : id == 1010 || id == 1013;
}
bool IsButtonText(int id) {
    return (id >= 101 && id <= 107) || id == 250;
}

TEST(FaultInjectionStrings, EveryIdTheScreenSaverAsksForIsInItsTable) {
    const auto& table = BuiltInStrings(ProgramKind::ScreenSaver);
    std::set<int> asked;
    for (Scenario s :
         {Scenario::kPlain, Scenario::kConfirm, Scenario::kNoSaver, Scenario::kLauncherLogged}) {
        const StringRun run = RunScenario(s, std::nullopt);
        asked.insert(run.h->strings.asked.begin(), run.h->strings.asked.end());
    }
    for (int id : asked) EXPECT_TRUE(table.count(id)) << id;
    for (int id : {101, 103, 104, 162, 173, 250, 300, 1000, 1001, 1004, 1005, 1008, 1009, 1010,
                   1013, 1501, 1511})
        EXPECT_TRUE(asked.count(id)) << id;
}

TEST(FaultInjectionStrings, EachMissingStringGivesItsOwnOutcome) {
    const StringRun plain = RunScenario(Scenario::kPlain, std::nullopt);
    const StringRun confirm = RunScenario(Scenario::kConfirm, std::nullopt);
    const StringRun noSaver = RunScenario(Scenario::kNoSaver, std::nullopt);
    ASSERT_EQ(Flags(*plain.h), std::vector<std::uint32_t>{1});
    ASSERT_EQ(confirm.question, "Restart Windows after 1 minute(s)?");
    ASSERT_EQ(noSaver.h->Messages().size(), 1u);

    for (const auto& [id, text] : BuiltInStrings(ProgramKind::ScreenSaver)) {
        SCOPED_TRACE("string " + std::to_string(id) + " missing");
        const bool splashText = id == 1000 || id == 300;
        for (Scenario s : {Scenario::kPlain, Scenario::kConfirm}) {
            const StringRun run = RunScenario(s, id);
            const Harness& h = *run.h;
            const Harness& clean = s == Scenario::kPlain ? *plain.h : *confirm.h;
            ASSERT_FALSE(h.escaped) << *h.escaped;
            EXPECT_EQ(h.exitCode, 0);
            if (IsCountdownText(id, s)) {
                // The countdown closes at once as not cancelled: the shutdown goes on.
                EXPECT_EQ(Flags(h), Flags(clean));
                EXPECT_EQ(h.took, 60'000u);
                ASSERT_EQ(h.fake.messageBox.shown.size(), 1u);
                EXPECT_NE(h.fake.messageBox.shown[0].text.find("Resource with identifier '" +
                                                               std::to_string(id) + "' not found"),
                          std::string::npos);
            } else if (IsButtonText(id) && s == Scenario::kConfirm) {
                // A confirmation without its buttons counts as closed: No.
                EXPECT_TRUE(Flags(h).empty());
                EXPECT_FALSE(h.Shown("fShutWarning"));
                EXPECT_EQ(h.took, 3000u + kSaverRunsMs);
                EXPECT_TRUE(h.fake.messageBox.shown.empty());
            } else {
                EXPECT_EQ(Flags(h), Flags(clean));
                EXPECT_EQ(h.took, clean.took);
                EXPECT_EQ(h.Messages(), splashText ? std::vector<std::string>{kGraphicMessage}
                                                   : clean.Messages());
                std::string question = s == Scenario::kConfirm ? confirm.question : "";
                if (s == Scenario::kConfirm && id == 1511) question = "1 minute(s)?";
                if (s == Scenario::kConfirm && id == 1501) question = "Restart Windows after 1";
                EXPECT_EQ(run.question, question);
            }
        }

        const StringRun manager = RunScenario(Scenario::kNoSaver, id);
        ASSERT_FALSE(manager.h->escaped);
        std::vector<std::string> expected = noSaver.h->Messages();
        if (id == 1001) expected = {""};
        if (splashText) expected.insert(expected.begin(), kGraphicMessage);
        EXPECT_EQ(manager.h->Messages(), expected);

        const StringRun logged = RunScenario(Scenario::kLauncherLogged, id);
        const Harness& l = *logged.h;
        ASSERT_FALSE(l.escaped);
        EXPECT_EQ(l.exitCode, 0);
        EXPECT_TRUE(Flags(l).empty());
        EXPECT_EQ(l.LauncherStarts(), 0);
        EXPECT_EQ(l.fake.desktop.messages.size(), 1u);
        EXPECT_NE(l.fake.files.Content(kLogFile).find(kNotFound), std::string::npos);
    }
}

}  // namespace
