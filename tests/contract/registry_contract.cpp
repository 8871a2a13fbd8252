// The registry seam, the same cases against the in-memory port (Linux) and the advapi32
// port (Wine): the settings store and the wrapper below it, and the port's own buffer,
// handle and naming rules that they rely on. Every test works below a company key of its
// own in HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/AppRegAPI.h"
#include "common/RegistryAPI.h"
#include "common/SSOptions.h"
#include "common/SharedObjects.h"
#include "contract/Backend.h"
#include "support/RegistryBytes.h"
#include "support/RegistryTap.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr auto kHklm = cAppRegAPI::HKEY_LOCAL_MACHINE;
constexpr auto kHkcu = cAppRegAPI::HKEY_CURRENT_USER;

using regbytes::Dword;
using regbytes::Sz;

struct Raw {
    std::uint32_t type;
    Bytes bytes;
    bool operator==(const Raw&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Raw& raw) {
    out << "type " << raw.type << ", " << raw.bytes.size() << " bytes:";
    for (auto b : raw.bytes) out << ' ' << static_cast<int>(b);
    return out;
}

// Keeps account of the handles handed out and the calls made, so each test can prove
// that it closed what it opened, on either port.
class TrackingPort : public RegistryTap {
  public:
    using RegistryTap::RegistryTap;

    std::set<RegKey> open;
    int calls = 0;
    std::vector<std::string> createdPaths;  // as handed to CreateKey

  private:
    void Before(Op) override { ++calls; }
    void After(const Seen& call) override {
        if (call.op == Op::kCreateKey) createdPaths.push_back(call.subKey);
        if (call.Opened()) open.insert(call.opened);
        if (call.op == Op::kCloseKey && call.status == reg::kSuccess) open.erase(call.key);
    }
};

class RegistryContract : public ::testing::Test {
  protected:
    void SetUp() override {
        backend_ = MakeContractBackend();
        port_ = std::make_unique<TrackingPort>(backend_->Registry());
        appReg_ = std::make_unique<cAppRegAPI>(*port_, "Somnivex");
        scratch_ = backend_->ScratchSoftwareKey();
        appReg_->SoftwareKey = scratch_;
        root_ = "Software\\" + scratch_;
    }

    void TearDown() override {
        EXPECT_TRUE(port_->open.empty())
            << port_->open.size() << " handle(s) left open on the " << backend_->Name() << " port";
    }

    IRegistryPort& Port() { return *port_; }

    RegKey Create(RegKey hive, const std::string& path) {
        RegKey key = 0;
        EXPECT_EQ(Port().CreateKey(hive, path, key), reg::kSuccess) << path;
        return key;
    }

    void Close(RegKey key) { EXPECT_EQ(Port().CloseKey(key), reg::kSuccess); }

    bool Exists(RegKey hive, const std::string& path) {
        RegKey key = 0;
        if (Port().OpenKey(hive, path, key) != reg::kSuccess) return false;
        Close(key);
        return true;
    }

    void Put(RegKey hive, const std::string& path, const std::string& name, std::uint32_t type,
             const Bytes& bytes) {
        const RegKey key = Create(hive, path);
        EXPECT_EQ(Port().SetValue(key, name, type, bytes.data(),
                                  static_cast<std::uint32_t>(bytes.size())),
                  reg::kSuccess)
            << name;
        Close(key);
    }

    std::optional<Raw> Read(RegKey hive, const std::string& path, const std::string& name) {
        RegKey key = 0;
        if (Port().OpenKey(hive, path, key) != reg::kSuccess) return std::nullopt;
        std::optional<Raw> result;
        std::uint32_t type = 0;
        std::uint32_t size = 0;
        if (Port().QueryValue(key, name, &type, nullptr, &size) == reg::kSuccess) {
            Raw raw{type, Bytes(size + 1, 0xCD)};
            std::uint32_t got = size;
            if (Port().QueryValue(key, name, &raw.type, raw.bytes.data(), &got) == reg::kSuccess) {
                EXPECT_EQ(got, size) << name;
                EXPECT_EQ(raw.bytes[size], 0xCD) << name << ": written past the size";
                raw.bytes.resize(got);
                result = raw;
            }
        }
        Close(key);
        return result;
    }

    std::vector<std::string> Subkeys(RegKey hive, const std::string& path) {
        std::vector<std::string> names;
        RegKey key = 0;
        if (Port().OpenKey(hive, path, key) != reg::kSuccess) return names;
        std::string name;
        for (std::uint32_t i = 0; Port().EnumKey(key, i, 1024, name) == reg::kSuccess; ++i)
            names.push_back(name);
        Close(key);
        return names;
    }

    std::vector<std::string> ValueNames(RegKey hive, const std::string& path) {
        std::vector<std::string> names;
        RegKey key = 0;
        if (Port().OpenKey(hive, path, key) != reg::kSuccess) return names;
        std::string name;
        for (std::uint32_t i = 0;
             Port().EnumValue(key, i, 1024, name, nullptr, nullptr, nullptr) == reg::kSuccess; ++i)
            names.push_back(name);
        Close(key);
        return names;
    }

    std::unique_ptr<ContractBackend> backend_;
    std::unique_ptr<TrackingPort> port_;
    std::unique_ptr<cAppRegAPI> appReg_;
    std::string scratch_;
    std::string root_;

    cRegistryAPI Api() { return cRegistryAPI(*port_); }
};

// --- The settings store: create on read -------------------------------------------------

TEST_F(RegistryContract, FirstStringReadCreatesKeyStoresDefaultAndSecondReadReturnsStored) {
    for (auto hive : {kHklm, kHkcu}) {
        SCOPED_TRACE(hive);
        const std::string key = root_ + "\\Somnivex";
        ASSERT_FALSE(Exists(hive, key));
        EXPECT_EQ(appReg_->GetStringSetting(hive, "Somnivex", "Name", "first"), "first");
        EXPECT_TRUE(Exists(hive, key));
        EXPECT_EQ(Read(hive, key, "Name"), (Raw{reg::kTypeSz, Sz("first")}));

        Put(hive, key, "Name", reg::kTypeSz, Sz("stored"));
        EXPECT_EQ(appReg_->GetStringSetting(hive, "Somnivex", "Name", "first"), "stored");
        EXPECT_EQ(Read(hive, key, "Name"), (Raw{reg::kTypeSz, Sz("stored")}));
    }
}

TEST_F(RegistryContract, FirstNumericReadCreatesKeyStoresDefaultAndSecondReadReturnsStored) {
    for (auto hive : {kHklm, kHkcu}) {
        SCOPED_TRACE(hive);
        const std::string key = root_ + "\\Somnivex";
        EXPECT_EQ(appReg_->GetNumericSetting(hive, "Somnivex", "Minutes", -2, -1, -1), -2);
        EXPECT_EQ(Read(hive, key, "Minutes"), (Raw{reg::kTypeDword, Dword(-2)}));

        Put(hive, key, "Minutes", reg::kTypeDword, Dword(0x12345678));
        EXPECT_EQ(appReg_->GetNumericSetting(hive, "Somnivex", "Minutes", -2, -1, -1), 0x12345678);
    }
}

TEST_F(RegistryContract, MissingValueInExistingKeyIsAddedBesideTheOthers) {
    const std::string key = root_ + "\\Somnivex";
    Put(kHklm, key, "Other", reg::kTypeSz, Sz("kept"));
    EXPECT_EQ(appReg_->GetNumericSetting(kHklm, "Somnivex", "New", 7, -1, -1), 7);
    EXPECT_EQ(Read(kHklm, key, "New"), (Raw{reg::kTypeDword, Dword(7)}));
    EXPECT_EQ(Read(kHklm, key, "Other"), (Raw{reg::kTypeSz, Sz("kept")}));
}

TEST_F(RegistryContract, StringOfAnotherTypeIsReplacedByTheDefault) {
    const std::string key = root_ + "\\Somnivex";
    const std::vector<Raw> wrong = {
        {reg::kTypeBinary, Sz("binary")},
        {reg::kTypeDword, Dword(5)},
        {reg::kTypeMultiSz, {'a', 0, 'b', 0, 0}},
    };
    for (const auto& value : wrong) {
        SCOPED_TRACE(value.type);
        Put(kHklm, key, "Path", value.type, value.bytes);
        EXPECT_EQ(appReg_->GetStringSetting(kHklm, "Somnivex", "Path", "dflt"), "dflt");
        EXPECT_EQ(Read(kHklm, key, "Path"), (Raw{reg::kTypeSz, Sz("dflt")}));
    }
}

TEST_F(RegistryContract, ExpandableTextIsReadExpandedAndKeptAsStored) {
    const std::string key = root_ + "\\Somnivex";
    // A variable every Windows sets: expanded, it names a folder by its full path.
    const std::string windows = Port().ExpandEnvironmentText("%SystemRoot%");
    ASSERT_TRUE(IsFullPath(windows)) << windows;
    const struct {
        std::string stored, read;
    } cases[] = {
        {"%SystemRoot%\\Savers\\Ünïcode.scr", windows + "\\Savers\\Ünïcode.scr"},
        {"%systemroot%", windows},
        // What is not a variable that is set stays as written.
        {"%SomnivexUnsetVariable%\\x.scr", "%SomnivexUnsetVariable%\\x.scr"},
        {"100% sure", "100% sure"},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        Put(kHklm, key, "Path", reg::kTypeExpandSz, Sz(c.stored));
        EXPECT_EQ(appReg_->GetStringSetting(kHklm, "Somnivex", "Path", "dflt"), c.read);
        EXPECT_EQ(Read(kHklm, key, "Path"), (Raw{reg::kTypeExpandSz, Sz(c.stored)}));
    }
}

TEST_F(RegistryContract, NumberOfAnotherTypeOrSizeIsReplacedByTheDefault) {
    const std::string key = root_ + "\\Somnivex";
    const std::vector<Raw> wrong = {
        {reg::kTypeBinary, Dword(9)},
        {reg::kTypeSz, Sz("9")},
        {reg::kTypeDword, {9, 0}},
        {reg::kTypeDword, {9, 0, 0, 0, 0, 0, 0, 0}},
        {reg::kTypeQword, {9, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const auto& value : wrong) {
        SCOPED_TRACE(::testing::PrintToString(value));
        Put(kHklm, key, "Count", value.type, value.bytes);
        EXPECT_EQ(appReg_->GetNumericSetting(kHklm, "Somnivex", "Count", 3, -1, -1), 3);
        EXPECT_EQ(Read(kHklm, key, "Count"), (Raw{reg::kTypeDword, Dword(3)}));
    }
}

// --- The settings store: range checks ---------------------------------------------------

TEST_F(RegistryContract, NumericBoundsAreCheckedOnTheSidesGiven) {
    const std::string key = root_ + "\\Range";
    struct Case {
        std::int32_t stored, low, high, expected;
    };
    const std::vector<Case> cases = {
        // Both negative: no check at all.
        {-5, -1, -1, -5},
        {1000000, -1, -1, 1000000},
        // Both bounds, inclusive.
        {0, 1, 10, 5},
        {11, 1, 10, 5},
        {1, 1, 10, 1},
        {10, 1, 10, 10},
        // Low bound only.
        {4, 5, -1, 5},
        {5, 5, -1, 5},
        {1000000, 5, -1, 1000000},
        // High bound only.
        {11, -1, 10, 5},
        {10, -1, 10, 10},
        {-3, -1, 10, -3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.stored << " in " << c.low << ".." << c.high);
        Put(kHklm, key, "N", reg::kTypeDword, Dword(c.stored));
        EXPECT_EQ(appReg_->GetNumericSetting(kHklm, "Range", "N", 5, c.low, c.high), c.expected);
        // A replaced value is replaced in the registry too; a kept one is left alone.
        EXPECT_EQ(Read(kHklm, key, "N"), (Raw{reg::kTypeDword, Dword(c.expected)}));
    }
}

TEST_F(RegistryContract, DefaultOutOfRangeIsReturnedAndWritten) {
    const std::string key = root_ + "\\Range";
    EXPECT_EQ(appReg_->GetNumericSetting(kHklm, "Range", "Missing", 50, 1, 10), 50);
    EXPECT_EQ(Read(kHklm, key, "Missing"), (Raw{reg::kTypeDword, Dword(50)}));

    Put(kHklm, key, "Low", reg::kTypeDword, Dword(0));
    EXPECT_EQ(appReg_->GetNumericSetting(kHklm, "Range", "Low", -7, 1, 10), -7);
    EXPECT_EQ(Read(kHklm, key, "Low"), (Raw{reg::kTypeDword, Dword(-7)}));
}

// --- The settings store: writes and texts ------------------------------------------------

TEST_F(RegistryContract, SettingsWritesCreateTheKeyAndOverwrite) {
    const std::string key = root_ + "\\Somnivex";
    EXPECT_TRUE(appReg_->SetNumericSetting(kHklm, "Somnivex", "Minutes", -1));
    EXPECT_TRUE(appReg_->SetStringSetting(kHklm, "Somnivex", "Path", "C:\\a b\\c.scr"));
    EXPECT_EQ(Read(kHklm, key, "Minutes"), (Raw{reg::kTypeDword, Dword(-1)}));
    EXPECT_EQ(Read(kHklm, key, "Path"), (Raw{reg::kTypeSz, Sz("C:\\a b\\c.scr")}));

    // A write replaces a value of another type.
    EXPECT_TRUE(appReg_->SetStringSetting(kHklm, "Somnivex", "Minutes", "30"));
    EXPECT_EQ(Read(kHklm, key, "Minutes"), (Raw{reg::kTypeSz, Sz("30")}));
    EXPECT_TRUE(appReg_->SetNumericSetting(kHklm, "Somnivex", "Path", 2));
    EXPECT_EQ(appReg_->GetNumericSetting(kHklm, "Somnivex", "Path", 0, -1, -1), 2);
    // Nothing landed in the other hive.
    EXPECT_FALSE(Exists(kHkcu, key));
}

TEST_F(RegistryContract, TextWithEmbeddedNulReadsBackAsThePartBeforeIt) {
    const std::string key = root_ + "\\Somnivex";
    Put(kHklm, key, "Text", reg::kTypeSz, {'a', 'b', 'c', 0, 'd', 'e', 'f', 0});
    EXPECT_EQ(appReg_->GetStringSetting(kHklm, "Somnivex", "Text", "dflt"), "abc");

    // Written through the store, the text is cut at the same place on reading.
    EXPECT_TRUE(appReg_->SetStringSetting(kHklm, "Somnivex", "Text", std::string("xy\0z", 4)));
    EXPECT_EQ(appReg_->GetStringSetting(kHklm, "Somnivex", "Text", "dflt"), "xy");
}

TEST_F(RegistryContract, EmptyTextIsStoredAsOneNulAndReadsBackEmpty) {
    const std::string key = root_ + "\\Somnivex";
    EXPECT_TRUE(appReg_->SetStringSetting(kHklm, "Somnivex", "Empty", ""));
    EXPECT_EQ(Read(kHklm, key, "Empty"), (Raw{reg::kTypeSz, Bytes{0}}));
    // Read, not defaulted: the default would show here.
    EXPECT_EQ(appReg_->GetStringSetting(kHklm, "Somnivex", "Empty", "dflt"), "");
}

TEST_F(RegistryContract, CompanyKeyWithBackslashCreatesTheNestedKey) {
    appReg_->SoftwareKey = scratch_ + "\\Brellcor\\Pemrose";
    EXPECT_EQ(appReg_->GetStringSetting(kHklm, "Kelvane", "AppPath", ""), "");
    const std::string key = root_ + "\\Brellcor\\Pemrose\\Kelvane";
    EXPECT_TRUE(Exists(kHklm, key));
    EXPECT_EQ(Read(kHklm, key, "AppPath"), (Raw{reg::kTypeSz, Bytes{0}}));

    Put(kHklm, key, "AppPath", reg::kTypeSz, Sz("C:\\Kelvane\\Kelvane.exe"));
    EXPECT_EQ(appReg_->GetStringSetting(kHklm, "Kelvane", "AppPath", ""),
              "C:\\Kelvane\\Kelvane.exe");
}

TEST_F(RegistryContract, UnicodeKeyNamesValueNamesAndTextsRoundTrip) {
    const std::string company = "Bildschirmschoner \xC3\x9C \xE6\x97\xA5\xE6\x9C\xAC";
    const std::string section =
        "\xC3\x9C"
        "bersicht";
    const std::string name = "Pfad \xC3\xA4\xC3\xB6\xC3\xBC";
    const std::string text = "C:\\Programme\\\xE6\x97\xA5\xE6\x9C\xAC\\Sch\xC3\xB6n.scr";
    appReg_->SoftwareKey = scratch_ + "\\" + company;

    EXPECT_TRUE(appReg_->SetStringSetting(kHklm, section, name, text));
    EXPECT_EQ(appReg_->GetStringSetting(kHklm, section, name, ""), text);
    EXPECT_EQ(Subkeys(kHklm, root_), std::vector<std::string>{company});
    EXPECT_EQ(Subkeys(kHklm, root_ + "\\" + company), std::vector<std::string>{section});
    EXPECT_EQ(ValueNames(kHklm, root_ + "\\" + company + "\\" + section),
              std::vector<std::string>{name});
    // Sizes through the port count UTF-8 bytes and the NUL.
    EXPECT_EQ(Read(kHklm, root_ + "\\" + company + "\\" + section, name),
              (Raw{reg::kTypeSz, Sz(text)}));

    EXPECT_EQ(appReg_->GetNumericSetting(kHklm, section, "Z\xC3\xA4hler", 12, -1, -1), 12);
    EXPECT_EQ(appReg_->GetNumericSetting(kHklm, section, "Z\xC3\xA4hler", 0, -1, -1), 12);
}

TEST_F(RegistryContract, LargeTextRoundTrips) {
    std::string text;
    for (int i = 0; text.size() < 100 * 1024; ++i)
        text += (i % 7 == 0) ? "\xE6\x97\xA5" : std::string(1, static_cast<char>('a' + i % 26));
    EXPECT_TRUE(appReg_->SetStringSetting(kHkcu, "Big", "Text", text));
    EXPECT_EQ(appReg_->GetStringSetting(kHkcu, "Big", "Text", "dflt"), text);
}

// --- The wrapper -------------------------------------------------------------------------

TEST_F(RegistryContract, CreateKeyJoinsItsTwoParts) {
    auto api = Api();
    RegKey key = 4242;
    // An empty permanent part creates nothing and leaves the handle alone.
    const int callsBefore = port_->calls;
    EXPECT_FALSE(api.RegCreateKey(kHklm, "", "Orphan", key));
    EXPECT_EQ(key, 4242);
    EXPECT_EQ(port_->calls, callsBefore);

    struct Case {
        std::string permanent, removable, path;
    };
    const std::vector<Case> cases = {
        {root_, "\\One", root_ + "\\One"},  // one backslash between the parts
        {root_ + "\\", "Two", root_ + "\\Two"},
        {root_ + "\\", "\\Three", root_ + "\\Three"},  // only the one is dropped
        {root_ + "\\Four", "", root_ + "\\Four\\"},    // a trailing backslash is accepted
        {root_, "Five\\Six", root_ + "\\Five\\Six"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.permanent + " + " + c.removable);
        key = 0;
        port_->createdPaths.clear();
        ASSERT_TRUE(api.RegCreateKey(kHklm, c.permanent, c.removable, key));
        EXPECT_EQ(port_->createdPaths, std::vector<std::string>{c.path});
        EXPECT_TRUE(api.RegCloseKey(key));
    }
    EXPECT_EQ(Subkeys(kHklm, root_),
              (std::vector<std::string>{"Five", "Four", "One", "Three", "Two"}));
    EXPECT_EQ(Subkeys(kHklm, root_ + "\\Five"), std::vector<std::string>{"Six"});
    EXPECT_TRUE(Subkeys(kHklm, root_ + "\\Four").empty());
}

TEST_F(RegistryContract, SetStringValueOnHandleZeroFailsWithoutACall) {
    auto api = Api();
    const int callsBefore = port_->calls;
    EXPECT_FALSE(api.RegSetStringValue(0, "Name", "text"));
    EXPECT_EQ(port_->calls, callsBefore);
    // The numeric write has no such guard: the port itself refuses handle 0.
    EXPECT_FALSE(api.RegSetNumericValue(0, "Name", 1));
}

TEST_F(RegistryContract, EnumValueFailsAtAValueOfMoreThan500Bytes) {
    const std::string key = root_ + "\\Enum";
    Put(kHklm, key, "Edge", reg::kTypeBinary, Bytes(500, 1));
    Put(kHklm, key, "Big", reg::kTypeBinary, Bytes(501, 1));
    // Sizes count UTF-8 bytes: 301 bytes fits although the stored UTF-16 has 602.
    Put(kHklm, key, "Ascii", reg::kTypeSz, Sz(std::string(300, 'x')));
    // 200 three-byte characters: 601 bytes, too big although the UTF-16 has 402.
    std::string wide;
    for (int i = 0; i < 200; ++i) wide += "\xE6\x97\xA5";
    Put(kHklm, key, "Wide", reg::kTypeSz, Sz(wide));

    const auto names = ValueNames(kHklm, key);
    ASSERT_EQ(names.size(), 4u);
    auto api = Api();
    RegKey handle = 0;
    ASSERT_TRUE(api.RegOpenKey(kHklm, key, handle));
    for (std::size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i]);
        std::string name = "untouched";
        const bool fits = names[i] == "Edge" || names[i] == "Ascii";
        EXPECT_EQ(api.RegEnumValue(handle, static_cast<std::int32_t>(i), name), fits);
        EXPECT_EQ(name, fits ? names[i] : "untouched");
    }
    std::string name;
    EXPECT_FALSE(api.RegEnumValue(handle, 4, name));
    EXPECT_TRUE(api.RegCloseKey(handle));
}

TEST_F(RegistryContract, EnumKeyListsSubkeysInOrderWithTheirCase) {
    for (const char* sub : {"Gamma", "alpha", "Beta", "delta"})
        Close(Create(kHklm, root_ + "\\" + sub));
    auto api = Api();
    RegKey handle = 0;
    ASSERT_TRUE(api.RegOpenKey(kHklm, root_, handle));
    std::vector<std::string> names;
    std::string name;
    for (std::int32_t i = 0; api.RegEnumKey(handle, i, name); ++i) names.push_back(name);
    // Sorted without regard to case. (Windows compares upper-cased names and Wine
    // lower-cased ones, so names with "_" or "^" sort differently there.)
    EXPECT_EQ(names, (std::vector<std::string>{"alpha", "Beta", "delta", "Gamma"}));
    EXPECT_TRUE(api.RegCloseKey(handle));
}

TEST_F(RegistryContract, FailedReadsLeaveTheirOutParametersAlone) {
    const std::string key = root_ + "\\Out";
    Put(kHklm, key, "Text", reg::kTypeSz, Sz("text"));
    Put(kHklm, key, "Number", reg::kTypeDword, Dword(1));
    Put(kHklm, key, "Long", reg::kTypeBinary, Bytes(8, 7));
    auto api = Api();
    RegKey handle = 0;
    ASSERT_TRUE(api.RegOpenKey(kHklm, key, handle));

    for (const char* name : {"Missing", "Text", "Long"}) {
        SCOPED_TRACE(name);
        std::int32_t number = 1234;
        EXPECT_FALSE(api.RegQueryNumericValue(handle, name, number));
        EXPECT_EQ(number, 1234);
    }
    for (const char* name : {"Missing", "Number", "Long"}) {
        SCOPED_TRACE(name);
        std::string text = "keep";
        EXPECT_FALSE(api.RegQueryStringValue(handle, name, text));
        EXPECT_EQ(text, "keep");
    }
    std::string subkey = "keep";
    EXPECT_FALSE(api.RegEnumKey(handle, 0, subkey));
    EXPECT_FALSE(api.RegEnumKey(handle, -1, subkey));
    EXPECT_EQ(subkey, "keep");

    std::int32_t number = 0;
    EXPECT_TRUE(api.RegQueryNumericValue(handle, "Number", number));
    EXPECT_EQ(number, 1);
    EXPECT_TRUE(api.RegCloseKey(handle));
}

TEST_F(RegistryContract, DeleteValueAndDeleteKey) {
    const std::string key = root_ + "\\Del";
    Put(kHklm, key + "\\Child", "V", reg::kTypeDword, Dword(1));
    auto api = Api();
    RegKey handle = 0;
    ASSERT_TRUE(api.RegOpenKey(kHklm, key, handle));
    // A key with subkeys stays.
    EXPECT_FALSE(api.RegDeleteKey(kHklm, key));
    EXPECT_TRUE(api.RegDeleteKey(handle, "Child"));
    EXPECT_FALSE(api.RegDeleteKey(handle, "Child"));
    EXPECT_FALSE(Exists(kHklm, key + "\\Child"));

    Put(kHklm, key, "V", reg::kTypeSz, Sz("x"));
    EXPECT_TRUE(api.RegDeleteValue(handle, "v"));
    EXPECT_FALSE(api.RegDeleteValue(handle, "v"));
    EXPECT_EQ(Read(kHklm, key, "V"), std::nullopt);
    EXPECT_TRUE(api.RegCloseKey(handle));
}

// --- The port's own rules -----------------------------------------------------------------

TEST_F(RegistryContract, PortQueryValueFollowsTheBufferRules) {
    const std::string path = root_ + "\\Query";
    const std::string text = "\xC3\x9C\xE6\x97\xA5";  // 2 + 3 bytes
    Put(kHklm, path, "Text", reg::kTypeSz, Sz(text));
    Put(kHklm, path, "Number", reg::kTypeDword, Dword(-1));
    const RegKey key = Create(kHklm, path);

    std::uint32_t type = 0;
    std::uint32_t size = 0;
    EXPECT_EQ(Port().QueryValue(key, "text", &type, nullptr, &size), reg::kSuccess);
    EXPECT_EQ(type, reg::kTypeSz);
    EXPECT_EQ(size, 6u);

    std::uint8_t buffer[16];
    std::memset(buffer, 0xAB, sizeof buffer);
    size = 5;
    EXPECT_EQ(Port().QueryValue(key, "Text", &type, buffer, &size), reg::kMoreData);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(buffer[0], 0xAB);

    size = sizeof buffer;
    EXPECT_EQ(Port().QueryValue(key, "Text", nullptr, buffer, &size), reg::kSuccess);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(Bytes(buffer, buffer + 6), Sz(text));
    EXPECT_EQ(buffer[6], 0xAB);

    size = 2;
    type = 0;
    EXPECT_EQ(Port().QueryValue(key, "NUMBER", &type, buffer, &size), reg::kMoreData);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(type, reg::kTypeDword);

    EXPECT_EQ(Port().QueryValue(key, "Missing", &type, nullptr, &size), reg::kFileNotFound);
    EXPECT_EQ(Port().QueryValue(key, "Text", &type, buffer, nullptr), reg::kInvalidParameter);
    Close(key);
}

TEST_F(RegistryContract, PortStoresEveryTypeAsGiven) {
    const std::string path = root_ + "\\Types";
    const std::vector<std::pair<std::string, Raw>> values = {
        {"Qword", {reg::kTypeQword, {1, 2, 3, 4, 5, 6, 7, 8}}},
        {"Empty", {reg::kTypeBinary, {}}},
        {"None", {reg::kTypeNone, {0, 255}}},
        {"Multi", {reg::kTypeMultiSz, {'a', 0, 0xC3, 0x9C, 0, 0}}},
        {"Expand", {reg::kTypeExpandSz, Sz("%TEMP%\\x")}},
        // No terminator given, none added.
        {"Bare", {reg::kTypeSz, {'a', 'b', 'c'}}},
        {"ZeroSz", {reg::kTypeSz, {}}},
    };
    for (const auto& [name, raw] : values) Put(kHklm, path, name, raw.type, raw.bytes);
    for (const auto& [name, raw] : values) EXPECT_EQ(Read(kHklm, path, name), raw) << name;

    // A second write under another case replaces the value and keeps the first name.
    Put(kHklm, path, "QWORD", reg::kTypeDword, Dword(3));
    EXPECT_EQ(Read(kHklm, path, "Qword"), (Raw{reg::kTypeDword, Dword(3)}));
    const auto names = ValueNames(kHklm, path);
    EXPECT_EQ(
        std::set<std::string>(names.begin(), names.end()),
        (std::set<std::string>{"Qword", "Empty", "None", "Multi", "Expand", "Bare", "ZeroSz"}));
}

TEST_F(RegistryContract, PortEnumerationsFollowTheirCapacities) {
    const std::string path = root_ + "\\Caps";
    Close(Create(kHklm, path + "\\Abcdef"));
    Put(kHklm, path, "Value8ch", reg::kTypeSz, Sz("\xC3\x9C"));
    const RegKey key = Create(kHklm, path);

    std::string name = "keep";
    EXPECT_EQ(Port().EnumKey(key, 0, 6, name), reg::kMoreData);
    EXPECT_EQ(name, "keep");
    EXPECT_EQ(Port().EnumKey(key, 0, 7, name), reg::kSuccess);
    EXPECT_EQ(name, "Abcdef");
    EXPECT_EQ(Port().EnumKey(key, 1, 7, name), reg::kNoMoreItems);

    name = "keep";
    std::uint32_t type = 0;
    std::uint8_t data[8] = {};
    std::uint32_t size = sizeof data;
    EXPECT_EQ(Port().EnumValue(key, 0, 8, name, &type, data, &size), reg::kMoreData);
    EXPECT_EQ(name, "keep");
    size = 2;
    EXPECT_EQ(Port().EnumValue(key, 0, 9, name, &type, data, &size), reg::kMoreData);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(name, "keep");
    size = 3;
    EXPECT_EQ(Port().EnumValue(key, 0, 9, name, &type, data, &size), reg::kSuccess);
    EXPECT_EQ(name, "Value8ch");
    EXPECT_EQ(type, reg::kTypeSz);
    EXPECT_EQ(Bytes(data, data + size), Sz("\xC3\x9C"));
    // Without a data buffer the size does not matter.
    name.clear();
    EXPECT_EQ(Port().EnumValue(key, 0, 9, name, nullptr, nullptr, nullptr), reg::kSuccess);
    EXPECT_EQ(name, "Value8ch");
    EXPECT_EQ(Port().EnumValue(key, 1, 9, name, nullptr, nullptr, nullptr), reg::kNoMoreItems);
    Close(key);
}

TEST_F(RegistryContract, PortNamesIgnoreCaseAndKeepTheirFirstSpelling) {
    Close(Create(kHklm, root_ + "\\MixedCase"));
    Close(Create(kHklm, root_ + "\\MIXEDCASE\\Inner"));
    RegKey key = 0;
    std::string lower = root_;
    for (auto& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    ASSERT_EQ(Port().OpenKey(kHklm, lower + "\\mixedcase\\INNER", key), reg::kSuccess);
    Close(key);
    EXPECT_EQ(Subkeys(kHklm, root_), std::vector<std::string>{"MixedCase"});
}

TEST_F(RegistryContract, PortPathsRefuseALeadingBackslashAndAcceptATrailingOne) {
    RegKey key = 77;
    EXPECT_NE(Port().CreateKey(kHklm, "\\" + root_ + "\\Lead", key), reg::kSuccess);
    EXPECT_EQ(key, 77);
    EXPECT_NE(Port().OpenKey(kHklm, "\\" + root_, key), reg::kSuccess);
    EXPECT_EQ(key, 77);
    EXPECT_FALSE(Exists(kHklm, root_ + "\\Lead"));

    key = Create(kHklm, root_ + "\\Trail\\");
    Close(key);
    ASSERT_EQ(Port().OpenKey(kHklm, root_ + "\\Trail\\", key), reg::kSuccess);
    Close(key);
    EXPECT_EQ(Subkeys(kHklm, root_), std::vector<std::string>{"Trail"});
    EXPECT_EQ(Port().OpenKey(kHklm, root_ + "\\Absent", key), reg::kFileNotFound);
}

TEST_F(RegistryContract, PortHandlesAreDistinctAndDieWhenClosed) {
    const RegKey first = Create(kHklm, root_);
    const RegKey second = Create(kHklm, root_);
    EXPECT_NE(first, second);
    EXPECT_NE(first, 0);
    Close(second);

    const std::uint8_t byte = 1;
    EXPECT_EQ(Port().SetValue(second, "V", reg::kTypeBinary, &byte, 1), reg::kInvalidHandle);
    EXPECT_EQ(Port().CloseKey(second), reg::kInvalidHandle);
    EXPECT_EQ(Port().SetValue(first, "V", reg::kTypeBinary, &byte, 1), reg::kSuccess);

    RegKey key = 0;
    EXPECT_EQ(Port().OpenKey(0, "Software", key), reg::kInvalidHandle);
    EXPECT_EQ(Port().CloseKey(0), reg::kInvalidHandle);
    std::uint32_t size = 0;
    EXPECT_EQ(Port().QueryValue(0, "V", nullptr, nullptr, &size), reg::kInvalidHandle);
    // A hive closes without harm and stays usable.
    EXPECT_EQ(Port().CloseKey(reg::kCurrentUser), reg::kSuccess);
    EXPECT_TRUE(Exists(kHklm, root_));
    Close(first);
}

TEST_F(RegistryContract, PortHandleToADeletedKeyReportsIt) {
    const RegKey parent = Create(kHklm, root_);
    const RegKey doomed = Create(kHklm, root_ + "\\Doomed");
    Close(Create(kHklm, root_ + "\\Doomed\\Child"));
    EXPECT_EQ(Port().DeleteKey(parent, "Doomed"), reg::kAccessDenied);
    EXPECT_EQ(Port().DeleteKey(parent, "Doomed\\Child"), reg::kSuccess);
    EXPECT_EQ(Port().DeleteKey(parent, "Doomed"), reg::kSuccess);
    EXPECT_EQ(Port().DeleteKey(parent, "Doomed"), reg::kFileNotFound);

    const std::uint8_t byte = 1;
    std::uint32_t size = 0;
    std::string name;
    RegKey key = 0;
    EXPECT_EQ(Port().SetValue(doomed, "V", reg::kTypeBinary, &byte, 1), reg::kKeyDeleted);
    EXPECT_EQ(Port().QueryValue(doomed, "V", nullptr, nullptr, &size), reg::kKeyDeleted);
    EXPECT_EQ(Port().EnumKey(doomed, 0, 300, name), reg::kKeyDeleted);
    EXPECT_EQ(Port().CreateKey(doomed, "Again", key), reg::kKeyDeleted);
    Close(doomed);
    EXPECT_TRUE(Subkeys(kHklm, root_).empty());
    Close(parent);
}

// --- The options record over the store ------------------------------------------------------

TEST_F(RegistryContract, FirstLoadOptionsGivesDefaultsAndStoresEveryValue) {
    cSSOptions options(*appReg_);
    tSSOptions record;
    record.RunKelvane = true;
    record.WaitMinutes = 99;
    record.LogDir = "stale";
    options.LoadOptions(record);
    EXPECT_EQ(record, tSSOptions{});

    const std::string key = root_ + "\\Somnivex";
    const std::vector<std::pair<std::string, Raw>> expected = {
        {"RunKelvane", {reg::kTypeDword, Dword(0)}},
        {"ConfirmShutdown", {reg::kTypeDword, Dword(0)}},
        {"DefaultConfirmYes", {reg::kTypeDword, Dword(-1)}},
        {"LogDebug", {reg::kTypeDword, Dword(0)}},
        {"ShutdownType", {reg::kTypeDword, Dword(1)}},
        {"WaitMinutes", {reg::kTypeDword, Dword(30)}},
        {"InstallUpdates", {reg::kTypeDword, Dword(1)}},
        {"LogDir", {reg::kTypeSz, Bytes{0}}},
        {"AppPath", {reg::kTypeSz, Bytes{0}}},
        {"KelvanePath", {reg::kTypeSz, Bytes{0}}},
        {"SelectedScreenSaver", {reg::kTypeSz, Bytes{0}}},
    };
    for (const auto& [name, raw] : expected) EXPECT_EQ(Read(kHklm, key, name), raw) << name;
    EXPECT_EQ(ValueNames(kHklm, key).size(), expected.size());
    EXPECT_EQ(appReg_->SoftwareKey, scratch_);
}

TEST_F(RegistryContract, OptionsSavedAreLoadedBackWithTrueAsMinusOne) {
    cSSOptions options(*appReg_);
    const std::string key = root_ + "\\Somnivex";
    Put(kHklm, key, "ConfirmShutdown", reg::kTypeDword, Dword(5));
    tSSOptions record;
    options.LoadOptions(record);
    EXPECT_TRUE(record.ConfirmShutdown);

    record.SelectedScreenSaver = "C:\\Bildschirmschoner \xC3\x9C\\\xE6\x97\xA5.scr";
    record.ShutdownType = shutdown_code::kRestart;
    record.WaitMinutes = 45;
    record.InstallUpdates = false;
    EXPECT_TRUE(options.SaveOptions(record));
    EXPECT_EQ(Read(kHklm, key, "ConfirmShutdown"), (Raw{reg::kTypeDword, Dword(-1)}));
    EXPECT_EQ(Read(kHklm, key, "InstallUpdates"), (Raw{reg::kTypeDword, Dword(0)}));

    tSSOptions loaded;
    options.LoadOptions(loaded);
    EXPECT_EQ(loaded, record);
}

}  // namespace
