// Arbitrary bytes turned into registry contents for the options, the launcher's window
// handle, the launcher's two path keys and the policy key, then the options loaded, the
// two launcher values read and a whole screen-saver run made in virtual time. Whatever
// the contents, the loaded record must say exactly what the stored values say (or hold
// the defaults), overridden by every valid policy value, the policy key must be left as
// it was, and the run must end as those settings ask, without an exception and without
// hanging.
//
// Shared by the libFuzzer target (fuzz/options_fuzzer.cpp) and the replay test that runs
// the corpus with every unit-test run (tests/unit/fuzz_replay_test.cpp), so it is all in
// this header.
//
// Input layout:
//   byte 0        files: bit 0 the chosen screen saver exists, and so does Windows' Blank
//                 one (kBlankSaver), which a screen saver never chosen loads as; bit 1
//                 the launcher exists,
//                 bit 2 the settings manager exists, bit 3 the pictures exist; bits 4-7:
//                 how long the screen saver runs, in steps of 37 s (0: until the end)
//   then records, each:
//   byte          key (bits 0-1: options, window handles, Pemrose\Kelvane,
//                 Kelvane\Kelvane), value name (bits 2-6: 0-15 see kNames; 16-31 a
//                 value of the policy key instead, see kPolicyNames, bits 0-1 unused),
//                 bit 7: the name in lower case
//   byte          value type, modulo 12 (REG_NONE to REG_QWORD)
//   byte L        0x00-0x7F: L bytes of data follow;
//                 0x80-0xBF: a number from kNumbers (index L & 0x3F), the next byte
//                 gives its width in bytes (modulo 9), little-endian;
//                 0xC0-0xFF: a long value: the next two bytes give its length in 64-byte
//                 steps (with L & 0x3F as the top bits, at most 200 KB), the next its fill
//                 byte, the next (bit 0) whether a NUL stands in its middle
//   Missing bytes at the end read as 0.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/Policy.h"
#include "common/SharedObjects.h"
#include "platform/fake/FakeServices.h"
#include "screensaver/Dispatch.h"
#include "screensaver/SSMain.h"
#include "tests/support/RegistryBytes.h"

namespace options_fuzz {

inline const char* const kKeys[] = {
    "Software\\Brellcor\\Somnivex",
    "Software\\Brellcor\\Window Handles",
    "Software\\Brellcor\\Pemrose\\Kelvane",
    "Software\\Brellcor\\Kelvane\\Kelvane",
    policy::kKey,
};
constexpr int kPolicy = 4;  // index of the policy key in kKeys

inline const char* const kNames[] = {
    "RunKelvane",
    "ConfirmShutdown",
    "DefaultConfirmYes",
    "LogDebug",
    "ShutdownType",
    "WaitMinutes",
    "LogDir",
    "AppPath",
    "KelvanePath",
    "SelectedScreenSaver",
    "ShutdownHwnd",
    "",
    "Unrelated",
};
constexpr int kNameCount = sizeof kNames / sizeof kNames[0];

inline const char* const kPolicyNames[] = {
    "RunKelvane",
    "KelvanePath",
    "ConfirmShutdown",
    "DefaultConfirmYes",
    "SelectedScreenSaver",
    "ShutdownType",
    "WaitMinutes",
    "HoldForPowerRequests",
    "HoldForOtherSessions",
    "",
    "Unrelated",
};
constexpr int kPolicyNameCount = sizeof kPolicyNames / sizeof kPolicyNames[0];

// Numbers at and beyond every bound the code could trip over.
inline const std::int64_t kNumbers[] = {
    0,
    1,
    -1,
    2,
    7,
    20,
    30,
    600,
    0x7FFF,
    0x8000,
    -0x8000,
    -0x8001,
    0xFFFF,
    0x10000,
    0x7FFFFFFF,
    -0x7FFFFFFFLL - 1,
    0xFFFFFFFFLL,
    0x100000000LL,
    0x7FFFFFFFFFFFFFFFLL,
    std::numeric_limits<std::int64_t>::min(),
    32767 * 60,
    -3,
    5,
    0x30042,
};
constexpr int kNumberCount = sizeof kNumbers / sizeof kNumbers[0];

constexpr std::size_t kLongestValue = 200 * 1024;

// Windows' Blank screen saver in the fake's system folder.
inline const char* const kBlankSaver = "C:\\Windows\\system32\\scrnsave.scr";

struct StoredEntry {
    int key;
    std::string name;
    std::uint32_t type;
    std::vector<std::uint8_t> bytes;
};

struct Contents {
    bool saverExists = false;
    bool launcherExists = false;
    bool managerExists = false;
    bool picturesExist = false;
    std::uint64_t saverRunsMs = 0;  // 0: until the run ends
    std::vector<StoredEntry> entries;
};

class Reader {
  public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool AtEnd() const { return pos_ >= size_; }
    std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

inline std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

inline Contents Decode(const std::uint8_t* data, std::size_t size) {
    Reader in(data, size);
    Contents c;
    const std::uint8_t files = in.Byte();
    c.saverExists = files & 1;
    c.launcherExists = files & 2;
    c.managerExists = files & 4;
    c.picturesExist = files & 8;
    // Off the whole seconds, so the screen saver never ends on a timer's tick.
    c.saverRunsMs = (files >> 4) ? (files >> 4) * 37'000ull + 1 : 0;
    while (!in.AtEnd()) {
        StoredEntry e;
        const std::uint8_t which = in.Byte();
        const int name = (which >> 2) & 0x1F;
        e.key = name < 16 ? which & 3 : kPolicy;
        e.name =
            name < 16 ? kNames[name % kNameCount] : kPolicyNames[(name - 16) % kPolicyNameCount];
        if (which & 0x80) e.name = Lower(e.name);
        e.type = in.Byte() % 12;
        const std::uint8_t length = in.Byte();
        if (length < 0x80) {
            for (int i = 0; i < length; ++i) e.bytes.push_back(in.Byte());
        } else if (length < 0xC0) {
            const auto number =
                static_cast<std::uint64_t>(kNumbers[(length & 0x3F) % kNumberCount]);
            const int width = in.Byte() % 9;
            for (int i = 0; i < width; ++i)
                e.bytes.push_back(static_cast<std::uint8_t>(number >> (8 * i)));
        } else {
            std::size_t n = (static_cast<std::size_t>(length & 0x3F) << 16) | (in.Byte() << 8);
            n = std::min(kLongestValue, (n | in.Byte()) * 64);
            const std::uint8_t fill = in.Byte();
            const bool nulInside = in.Byte() & 1;
            e.bytes.assign(n, fill);
            if (nulInside && n > 0) e.bytes[n / 2] = 0;
        }
        c.entries.push_back(std::move(e));
    }
    return c;
}

// The last value stored under each (key, name), as a case-insensitive registry keeps it.
class Model {
  public:
    explicit Model(const Contents& c) : blankExists_(c.saverExists) {
        for (const auto& e : c.entries) values_[{e.key, Lower(e.name)}] = {e.type, e.bytes};
    }
    // What a SelectedScreenSaver that cannot be read as a text loads as.
    std::string DefaultSaver() const { return blankExists_ ? kBlankSaver : ""; }
    // The last value stored under (key, name): type and bytes.
    const std::pair<std::uint32_t, std::vector<std::uint8_t>>* Raw(int key,
                                                                   const std::string& name) const {
        const auto it = values_.find({key, Lower(name)});
        return it == values_.end() ? nullptr : &it->second;
    }
    bool HasKey(int key) const {
        for (const auto& [where, value] : values_)
            if (where.first == key) return true;
        return false;
    }
    // A readable number: a REG_DWORD of exactly four bytes.
    std::optional<std::int32_t> Dword(int key, const std::string& name) const {
        const auto it = values_.find({key, Lower(name)});
        if (it == values_.end() || it->second.first != reg::kTypeDword) return std::nullopt;
        const auto number = regbytes::ReadDword(it->second.second);
        if (!number) return std::nullopt;
        return static_cast<std::int32_t>(*number);
    }
    // A readable text: a REG_SZ, up to its first NUL, or a REG_EXPAND_SZ, expanded.
    std::optional<std::string> Sz(int key, const std::string& name) const {
        const auto it = values_.find({key, Lower(name)});
        if (it == values_.end()) return std::nullopt;
        const std::uint32_t type = it->second.first;
        if (type != reg::kTypeSz && type != reg::kTypeExpandSz) return std::nullopt;
        const std::string head = regbytes::TextBeforeNul(it->second.second);
        return type == reg::kTypeSz ? head : FakeRegistry().ExpandEnvironmentText(head);
    }

  private:
    bool blankExists_;
    std::map<std::pair<int, std::string>, std::pair<std::uint32_t, std::vector<std::uint8_t>>>
        values_;
};

// The record that the stored values alone give.
inline tSSOptions Stored(const Model& m) {
    const tSSOptions d;
    tSSOptions o;
    auto flag = [&](const char* name, bool fallback) {
        const auto v = m.Dword(0, name);
        return v ? *v != 0 : fallback;
    };
    auto number = [&](const char* name, std::int16_t fallback) {
        const auto v = m.Dword(0, name);
        if (!v || *v < std::numeric_limits<std::int16_t>::min() ||
            *v > std::numeric_limits<std::int16_t>::max())
            return fallback;
        return static_cast<std::int16_t>(*v);
    };
    auto text = [&](const char* name, std::string fallback = "") {
        return m.Sz(0, name).value_or(fallback);
    };
    o.RunKelvane = flag("RunKelvane", d.RunKelvane);
    o.ConfirmShutdown = flag("ConfirmShutdown", d.ConfirmShutdown);
    o.DefaultConfirmYes = flag("DefaultConfirmYes", d.DefaultConfirmYes);
    o.LogDebug = flag("LogDebug", d.LogDebug);
    o.ShutdownType = number("ShutdownType", d.ShutdownType);
    o.WaitMinutes = number("WaitMinutes", d.WaitMinutes);
    o.LogDir = text("LogDir");
    o.AppPath = text("AppPath");
    // A folder stored with trailing backslashes (as Windows Installer writes them) loads
    // without them; a drive's root keeps its own.
    while (o.AppPath.size() > 3 && o.AppPath.back() == '\\') o.AppPath.pop_back();
    o.KelvanePath = text("KelvanePath");
    o.SelectedScreenSaver = text("SelectedScreenSaver", m.DefaultSaver());
    return o;
}

// What the policy key must give: the values it sets, the names it refuses (in the order
// they are read) and the hold switches.
struct PolicyModel {
    tSSOptions options;  // the stored record with every valid policy value over it
    bool setsSaver = false, setsLauncher = false;
    std::vector<std::string> refused;
    bool holdForPowerRequests = true;
    bool holdForOtherSessions = true;
};

inline PolicyModel ExpectedPolicy(const Model& m) {
    PolicyModel p;
    p.options = Stored(m);
    auto dword = [&](const char* name) -> std::optional<std::uint32_t> {
        const auto* raw = m.Raw(kPolicy, name);
        if (!raw) return std::nullopt;
        const auto number =
            raw->first == reg::kTypeDword ? regbytes::ReadDword(raw->second) : std::nullopt;
        if (!number) p.refused.push_back(name);
        return number;
    };
    auto text = [&](const char* name) -> std::optional<std::string> {
        const auto* raw = m.Raw(kPolicy, name);
        if (!raw) return std::nullopt;
        const std::uint32_t type = raw->first;
        if (type != reg::kTypeSz && type != reg::kTypeExpandSz) {
            p.refused.push_back(name);
            return std::nullopt;
        }
        const std::string all(raw->second.begin(), raw->second.end());
        const std::string head = all.substr(0, all.find('\0'));
        // UTF-16 units: a lead byte of four starts two, any other lead byte one.
        std::size_t units = 0;
        for (const unsigned char c : head) units += c >= 0xF0 ? 2 : (c < 0x80 || c >= 0xC0);
        if (all.size() > 3 * 1023 + 1 || units > 1023) {
            p.refused.push_back(name);
            return std::nullopt;
        }
        if (head.empty()) return std::nullopt;
        return type == reg::kTypeSz ? head : FakeRegistry().ExpandEnvironmentText(head);
    };
    tSSOptions& o = p.options;
    if (const auto v = dword("RunKelvane")) o.RunKelvane = *v != 0;
    if (const auto v = text("KelvanePath")) {
        o.KelvanePath = *v;
        p.setsLauncher = true;
    }
    if (const auto v = dword("ConfirmShutdown")) o.ConfirmShutdown = *v != 0;
    if (const auto v = dword("DefaultConfirmYes")) o.DefaultConfirmYes = *v != 0;
    if (const auto v = text("SelectedScreenSaver")) {
        o.SelectedScreenSaver = *v;
        p.setsSaver = true;
    }
    if (const auto v = dword("ShutdownType")) {
        if (*v == 0 || *v == 1 || *v == 2)
            o.ShutdownType = static_cast<std::int16_t>(*v);
        else
            p.refused.push_back("ShutdownType");
    }
    if (const auto v = dword("WaitMinutes")) {
        if (*v >= 1 && *v <= 32767)
            o.WaitMinutes = static_cast<std::int16_t>(*v);
        else
            p.refused.push_back("WaitMinutes");
    }
    if (const auto v = dword("HoldForPowerRequests")) p.holdForPowerRequests = *v != 0;
    if (const auto v = dword("HoldForOtherSessions")) p.holdForOtherSessions = *v != 0;
    return p;
}

// The record that these contents must load as.
inline tSSOptions Expected(const Model& m) {
    return ExpectedPolicy(m).options;
}

inline void Fill(FakeServices& fake, const Contents& c) {
    for (const auto& e : c.entries)
        fake.registry.PutValue(reg::kLocalMachine, kKeys[e.key], e.name, e.type, e.bytes);
}

// A path Windows could hold a file under; the fake would take any text. Only a full path
// is ever started.
inline bool PlausiblePath(const std::string& path) {
    if (path.empty() || !IsFullPath(path)) return false;
    for (unsigned char ch : path)
        if (ch < 0x20 || std::strchr("\"<>|*?", ch)) return false;
    return true;
}

// The launcher's hidden window, when a test input records it.
constexpr WindowRef kLauncherWindow = 0x30042;

inline std::string Describe(const tSSOptions& o) {
    return "RunKelvane " + std::to_string(o.RunKelvane) + ", ConfirmShutdown " +
           std::to_string(o.ConfirmShutdown) + ", DefaultConfirmYes " +
           std::to_string(o.DefaultConfirmYes) + ", LogDebug " + std::to_string(o.LogDebug) +
           ", ShutdownType " + std::to_string(o.ShutdownType) + ", WaitMinutes " +
           std::to_string(o.WaitMinutes) + ", text lengths " + std::to_string(o.LogDir.size()) +
           "/" + std::to_string(o.AppPath.size()) + "/" + std::to_string(o.KelvanePath.size()) +
           "/" + std::to_string(o.SelectedScreenSaver.size());
}

// Runs everything on one input; returns what went wrong, nothing when all held.
inline std::vector<std::string> CheckOptionsInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> failures;
    auto check = [&](bool ok, const std::string& what) {
        if (!ok) failures.push_back(what);
    };
    const Contents contents = Decode(data, size);
    const Model model(contents);
    const tSSOptions want = Expected(model);

    // 1. The options and the launcher's two values, read on their own.
    {
        FakeServices fake{ProgramKind::ScreenSaver, "SCRNSAVE:Somnivex"};
        Fill(fake, contents);
        if (contents.saverExists) fake.files.AddFile(kBlankSaver);
        InitSharedObjects(fake.services);
        tSSOptions got;
        got.LogDir = "stale";  // every field must be overwritten
        gSSOptions->LoadOptions(got);
        check(got == want, "loaded " + Describe(got) + ", expected " + Describe(want));
        for (const std::string* text :
             {&got.LogDir, &got.AppPath, &got.KelvanePath, &got.SelectedScreenSaver})
            check(text->find('\0') == std::string::npos, "a loaded text holds a NUL");
        // Afterwards every option is readable, and a readable one is unchanged.
        std::vector<StoredEntry> stored;
        for (const char* name : kNames)
            if (const auto v = fake.registry.Value(reg::kLocalMachine, kKeys[0], name))
                stored.push_back({0, name, v->type, v->bytes});
        const Model after(Contents{contents.saverExists, false, false, false, 0, stored});
        check(Stored(after) == Stored(model), "the stored options do not read back as loaded");

        // The policy key: read, never written, and what it says is what was found.
        const PolicyModel policyWant = ExpectedPolicy(model);
        std::vector<std::string> refused;
        for (const auto& problem : gSSOptions->Policy().Invalid) refused.push_back(problem.name);
        check(refused == policyWant.refused, "other policy values refused");
        const tHoldSwitches hold = gSSOptions->Policy().Hold();
        check(hold.PowerRequests == policyWant.holdForPowerRequests &&
                  hold.OtherSessions == policyWant.holdForOtherSessions,
              "hold switches");
        check(fake.registry.KeyExists(reg::kLocalMachine, "Software\\Policies") ==
                  model.HasKey(kPolicy),
              "the policy key was created");
        for (const char* name : kPolicyNames) {
            const auto* was = model.Raw(kPolicy, name);
            const auto now = fake.registry.Value(reg::kLocalMachine, kKeys[kPolicy], name);
            check(was ? now && now->type == was->first && now->bytes == was->second : !now,
                  std::string("the policy value ") + name + " was changed");
        }
        const std::vector<std::pair<const char*, bool>> options = {
            {"RunKelvane", true},        {"ConfirmShutdown", true},
            {"DefaultConfirmYes", true}, {"LogDebug", true},
            {"ShutdownType", true},      {"WaitMinutes", true},
            {"LogDir", false},           {"AppPath", false},
            {"KelvanePath", false},      {"SelectedScreenSaver", false}};
        for (const auto& [name, isNumber] : options) {
            // Readable as the kind of value the setting is: a text is no number.
            auto readableIn = [&, name = name, isNumber = isNumber](const Model& m) {
                return isNumber ? m.Dword(0, name).has_value() : m.Sz(0, name).has_value();
            };
            const bool readable = readableIn(model);
            const bool readableNow = readableIn(after);
            check(readableNow, std::string(name) + " left unreadable");
            if (!readable) continue;
            const auto now = fake.registry.Value(reg::kLocalMachine, kKeys[0], name);
            const StoredEntry* last = nullptr;
            for (const auto& e : contents.entries)
                if (e.key == 0 && Lower(e.name) == Lower(name)) last = &e;
            check(now && last && now->type == last->type && now->bytes == last->bytes,
                  std::string(name) + " was rewritten");
        }

        const std::int32_t handle = gSSOptions->ShutdownHandle();
        check(handle == model.Dword(1, "ShutdownHwnd").value_or(-1), "ShutdownHandle");
        const std::string pemrose = model.Sz(2, "AppPath").value_or("");
        const std::string path = gSSOptions->FindKelvanePathInReg();
        check(path == (pemrose.empty() ? model.Sz(3, "AppPath").value_or("") : pemrose),
              "FindKelvanePathInReg");
        check(gAppReg->SoftwareKey == "Brellcor", "company key not restored");
        check(fake.registry.OpenHandleCount() == 0, "a key handle was left open");
        ReleaseSharedObjects();
    }

    // 2. A whole run with these settings.
    FakeServices fake{ProgramKind::ScreenSaver, "SCRNSAVE:Somnivex"};
    Fill(fake, contents);
    fake.desktop.AddWindow({kLauncherWindow, 0, 0, "Kelvane", 2001, 1});
    const std::string& saver = want.SelectedScreenSaver;
    if (contents.saverExists && PlausiblePath(saver)) fake.files.AddFile(saver);
    if (contents.saverExists) fake.files.AddFile(kBlankSaver);
    if (contents.launcherExists && PlausiblePath(want.KelvanePath))
        fake.files.AddFile(want.KelvanePath);
    const std::string manager = want.AppPath + "\\Somniconf.exe";
    if (contents.managerExists && PlausiblePath(manager) && IsFullPath(want.AppPath))
        fake.files.AddFile(manager);
    if (contents.picturesExist && PlausiblePath(want.AppPath)) {
        fake.files.AddFile(want.AppPath + "\\graphics\\SomnivexLgeTxt.GIF");
        fake.files.AddFile(want.AppPath + "\\graphics\\Brellcor.gif");
    }
    // Which paths a run may start is the rule's own matter, tested on its own; the run
    // must start exactly those, by their final paths, and nothing else.
    const PolicyModel policy = ExpectedPolicy(model);
    const ProgramRoots roots = FindProgramRoots(fake.facts, fake.files);
    const auto take = [&](const std::string& path, bool byPolicy, std::string_view extension) {
        return ProgramCheck{fake.files, roots}(
            path, byPolicy ? PathOrigin::kPolicy : PathOrigin::kSettings, extension);
    };
    const auto final = [](const ProgramVerdict& v) { return v.program ? v.program->Path() : ""; };
    const std::string saverFinal = final(take(saver, policy.setsSaver, ".scr"));
    const std::string launcherFinal = final(take(want.KelvanePath, policy.setsLauncher, ""));
    const ProgramVerdict managerTake = take(manager, false, "");
    const std::string managerFinal = final(managerTake);
    const bool saverStarts = !saverFinal.empty();
    const bool launcherStarts = !launcherFinal.empty();
    const bool managerStarts = !managerFinal.empty();

    // The run as these settings ask for it. A user who never comes back is capped where
    // the wait could not run out in reasonable virtual time, or after a No.
    const std::uint64_t answered = want.ConfirmShutdown ? 8000 : 3000;
    const bool yes = !want.ConfirmShutdown || want.DefaultConfirmYes;
    const std::uint64_t waitOut = std::max<std::int64_t>(want.WaitMinutes, 1) * 60'000ull;
    std::uint64_t runsMs = contents.saverRunsMs;
    if (runsMs == 0 && (!yes || waitOut > 10 * 60'000)) runsMs = 10 * 60'000 + 1;
    if (runsMs != 0 && saverStarts) fake.launcher.RunFor(saverFinal, runsMs);
    const std::uint64_t saverEnd =
        runsMs == 0 ? std::numeric_limits<std::uint64_t>::max() : answered + runsMs;

    bool exitWindows = false, launcher = false, managerStarted = false;
    std::uint64_t took = 3000;
    if (saver.empty()) {
        managerStarted = managerStarts;
    } else if (!saverStarts) {
        took = answered;
    } else if (!(yes && waitOut < saverEnd)) {
        took = saverEnd;
    } else {
        took = waitOut + 60'000;
        exitWindows = !want.RunKelvane;
        launcher = want.RunKelvane && launcherStarts;
    }
    fake.loop.limitMs = took + 60'000;

    std::optional<tSSOptions> loaded;
    fake.loop.At(0, [&] { loaded = gOptions; });
    const std::uint64_t start = fake.clock.SteadyMilliseconds();
    int exitCode = -1;
    try {
        exitCode = scr::RunProgram(fake.services, fake.shutdown, "/s", false);
    } catch (const std::exception& e) {
        ReleaseSharedObjects();
        failures.push_back(std::string("escaped from the run: ") + e.what());
        return failures;
    }
    // A manager refused where it lies is named to the user as a start that fails.
    const bool managerRefused =
        saver.empty() && !managerStarts && managerTake.refusal.Number != refusal::kNotFound;
    check(exitCode == (managerRefused ? 1 : 0), "exit code " + std::to_string(exitCode));
    check(fake.clock.SteadyMilliseconds() - start == took,
          "the run took " + std::to_string(fake.clock.SteadyMilliseconds() - start) +
              " ms, expected " + std::to_string(took));
    check(loaded && *loaded == want, "the run loaded other options");
    const auto& calls = fake.shutdownApi.calls;
    check(calls.size() == (exitWindows ? 1u : 0u),
          "ExitWindows calls: " + std::to_string(calls.size()));
    for (const auto& call : calls) {
        check(call.flags != 20, "flag word 20 reached ExitWindows");
        const std::int16_t type = want.ShutdownType;
        if (type == 0 || type == 1 || type == 2)
            check(call.flags == static_cast<std::uint32_t>(type), "flag word for a listed code");
        if (type == shutdown_code::kRestartInMsDos) check(call.flags == 1, "MS-DOS mode on NT");
    }
    int launcherStartsSeen = 0, managerStartsSeen = 0;
    for (const auto& p : fake.launcher.started) {
        if (p.commandLine == QuotePath(launcherFinal) + scr::KelvaneSwitch(want.ShutdownType))
            ++launcherStartsSeen;
        else if (p.commandLine == QuotePath(managerFinal))
            ++managerStartsSeen;
        else if (p.file != saverFinal || p.parameters != " /s")
            failures.push_back("unexpected start: " + p.commandLine + p.file);
    }
    check(launcherStartsSeen == (launcher ? 1 : 0),
          "launcher starts: " + std::to_string(launcherStartsSeen));
    check(managerStartsSeen == (managerStarted ? 1 : 0),
          "manager starts: " + std::to_string(managerStartsSeen));
    check(!(launcherStartsSeen && !calls.empty()), "both the launcher and ExitWindows");
    // Message 1525 reaches the recorded launcher window or nothing: never a broadcast.
    for (const auto& m : fake.desktop.messages)
        check(m.window == kLauncherWindow, "a message went to " + std::to_string(m.window));
    check(fake.registry.OpenHandleCount() == 0, "a key handle was left open by the run");
    return failures;
}

}  // namespace options_fuzz
