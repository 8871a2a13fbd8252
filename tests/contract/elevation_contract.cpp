// Elevating the save, against the fake (Linux) and Win32 (Wine). Wine has no UAC: its
// "runas" runs the program at once and every key may be written, which is the
// situation of an elevated administrator; the fake's other accounts are covered by the
// manager's unit tests.
#include <gtest/gtest.h>

#include "contract/Backend.h"

namespace {

class ElevationContract : public ::testing::Test {
  protected:
    std::unique_ptr<ContractBackend> backend = MakeContractBackend();
    std::string Key(const std::string& below = "") {
        return "Software\\" + backend->ScratchSoftwareKey() + below;
    }
};

TEST_F(ElevationContract, WritableKeyIsWrittenAndAMissingOneCreated) {
    mgr::IElevation& elevation = backend->Elevation();
    IRegistryPort& registry = backend->Registry();
    // Missing, with missing parents: asked of the nearest key that exists.
    const std::string key = Key("\\Somnivex");
    EXPECT_TRUE(elevation.CanWriteMachineKey(key));
    RegKey handle = 0;
    ASSERT_EQ(registry.CreateKey(reg::kLocalMachine, key, handle), reg::kSuccess);
    const std::uint8_t value[] = {7, 0, 0, 0};
    EXPECT_EQ(registry.SetValue(handle, "WaitMinutes", reg::kTypeDword, value, 4), reg::kSuccess);
    registry.CloseKey(handle);
    // Existing now.
    EXPECT_TRUE(elevation.CanWriteMachineKey(key));
}

TEST_F(ElevationContract, RunasStartRunsTheProgramAndItsExitCodeComesBack) {
    for (const std::uint32_t code : {0u, 3u, 1223u}) {
        const mgr::ElevatedStart start = backend->Elevation().StartElevated(
            backend->ExitingProgram(), "/c exit " + std::to_string(code));
        ASSERT_TRUE(start.process.has_value()) << "error " << start.error;
        EXPECT_TRUE(backend->Loop().WaitForProcess(*start.process, [] { return false; }));
        std::uint32_t exitCode = kStillActive;
        EXPECT_TRUE(backend->Launcher().ExitCode(*start.process, exitCode));
        EXPECT_EQ(exitCode, code);
        backend->Launcher().CloseProcess(*start.process);
    }
}

TEST_F(ElevationContract, MissingProgramStartsNothingAndSaysWhy) {
    const mgr::ElevatedStart start =
        backend->Elevation().StartElevated(backend->ScratchFolder() + "\\missing.exe", "/save");
    EXPECT_FALSE(start.process.has_value());
    EXPECT_EQ(start.error, 2u);  // ERROR_FILE_NOT_FOUND
}

}  // namespace
