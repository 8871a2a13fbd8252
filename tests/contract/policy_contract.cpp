// The policy key through the registry port, against the in-memory port (Linux) and the
// advapi32 port (Wine): Software\Policies is one key in the 32-bit and the 64-bit view,
// the native view does not see the 32-bit view's own keys, a key opened to read takes no
// writes, and the reader's checks hold for values as Windows stores them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Policy.h"
#include "contract/Backend.h"
#include "support/RegistryBytes.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

using regbytes::Dword;
using regbytes::LittleEndian;
using regbytes::Sz;

class PolicyContract : public ::testing::Test {
  protected:
    void SetUp() override {
        backend_ = MakeContractBackend();
        key_ = "Software\\Policies\\" + backend_->ScratchSoftwareKey();
    }

    IRegistryPort& Port() { return backend_->Registry(); }

    // Whether the key opens to read in `view`; the handle is closed again.
    RegStatus Opens(const std::string& path, RegView view) {
        RegKey key = 0;
        const RegStatus status = Port().OpenKeyToRead(reg::kLocalMachine, path, view, key);
        if (status == reg::kSuccess) Port().CloseKey(key);
        return status;
    }

    std::unique_ptr<ContractBackend> backend_;
    std::string key_;
};

TEST_F(PolicyContract, ValuesWrittenInEitherViewAreReadInBoth) {
    backend_->PutMachineValue(RegView::kNative, key_, "WaitMinutes", reg::kTypeDword, Dword(5));
    backend_->PutMachineValue(RegView::kWow32, key_, "ShutdownType", reg::kTypeDword, Dword(2));
    for (const RegView view : {RegView::kNative, RegView::kWow32}) {
        RegKey key = 0;
        ASSERT_EQ(Port().OpenKeyToRead(reg::kLocalMachine, key_, view, key), reg::kSuccess);
        std::uint32_t type = 0, size = 0;
        EXPECT_EQ(Port().QueryValue(key, "WaitMinutes", &type, nullptr, &size), reg::kSuccess);
        EXPECT_EQ(Port().QueryValue(key, "ShutdownType", &type, nullptr, &size), reg::kSuccess);
        Port().CloseKey(key);
    }
    const PolicyValues values = ReadPolicy(Port(), key_);
    EXPECT_EQ(values.WaitMinutes, 5);
    EXPECT_EQ(values.ShutdownType, 2);
    EXPECT_TRUE(values.Invalid.empty());
}

TEST_F(PolicyContract, TheNativeViewDoesNotSeeThe32BitSettings) {
    const std::string settings = "Software\\" + backend_->ScratchSoftwareKey();
    backend_->PutMachineValue(RegView::kWow32, settings, "WaitMinutes", reg::kTypeDword, Dword(7));
    EXPECT_EQ(Opens(settings, RegView::kWow32), reg::kSuccess);
    EXPECT_EQ(Opens(settings, RegView::kNative), reg::kFileNotFound);
}

TEST_F(PolicyContract, ReadingAMissingKeyCreatesNothing) {
    EXPECT_EQ(ReadPolicy(Port(), key_), PolicyValues{});
    EXPECT_EQ(Opens(key_, RegView::kNative), reg::kFileNotFound);
    EXPECT_EQ(Opens(key_, RegView::kWow32), reg::kFileNotFound);
}

TEST_F(PolicyContract, AKeyOpenedToReadTakesNoWrites) {
    backend_->PutMachineValue(RegView::kNative, key_, "WaitMinutes", reg::kTypeDword, Dword(5));
    RegKey key = 0;
    ASSERT_EQ(Port().OpenKeyToRead(reg::kLocalMachine, key_, RegView::kNative, key), reg::kSuccess);
    const Bytes other = Dword(9);
    EXPECT_EQ(Port().SetValue(key, "WaitMinutes", reg::kTypeDword, other.data(), 4),
              reg::kAccessDenied);
    EXPECT_EQ(Port().SetValue(key, "New", reg::kTypeDword, other.data(), 4), reg::kAccessDenied);
    EXPECT_EQ(Port().DeleteValue(key, "WaitMinutes"), reg::kAccessDenied);
    Port().CloseKey(key);
    EXPECT_EQ(ReadPolicy(Port(), key_).WaitMinutes, 5);
}

TEST_F(PolicyContract, ValuesAsWindowsStoresThemAreCheckedAlike) {
    struct Case {
        const char* name;
        std::uint32_t type;
        Bytes bytes;
    };
    const Case cases[] = {
        {"WaitMinutes", reg::kTypeDword, LittleEndian(5, 3)},
        {"ShutdownType", reg::kTypeSz, Sz("2")},
        {"RunKelvane", reg::kTypeDword, Dword(0x10000)},
        {"ConfirmShutdown", reg::kTypeQword, LittleEndian(1, 8)},
        {"KelvanePath", reg::kTypeSz, Sz(std::string(1024, 'k'))},
        {"SelectedScreenSaver", reg::kTypeExpandSz, Sz("%SystemRoot%\\System32\\Ribbons.scr")},
        {"HoldForPowerRequests", reg::kTypeDword, Dword(0)},
    };
    for (const auto& c : cases)
        backend_->PutMachineValue(RegView::kNative, key_, c.name, c.type, c.bytes);
    const PolicyValues values = ReadPolicy(Port(), key_);

    EXPECT_EQ(values.RunKelvane, true);
    EXPECT_EQ(values.HoldForPowerRequests, false);
    ASSERT_TRUE(values.SelectedScreenSaver);
    const std::string& saver = *values.SelectedScreenSaver;
    EXPECT_EQ(saver.find('%'), std::string::npos) << saver;
    EXPECT_GT(saver.size(), std::string("\\System32\\Ribbons.scr").size()) << saver;
    std::vector<std::string> refused;
    for (const auto& problem : values.Invalid)
        refused.push_back(problem.name + ": " + problem.found);
    EXPECT_EQ(refused, (std::vector<std::string>{
                           "KelvanePath: 1024 characters", "ConfirmShutdown: REG_QWORD",
                           "ShutdownType: REG_SZ", "WaitMinutes: REG_DWORD of 3 bytes"}));
}

}  // namespace
