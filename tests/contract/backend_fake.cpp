#include "contract/Backend.h"
#include "platform/fake/FakeLoop.h"
#include "platform/fake/FakeManager.h"
#include "platform/fake/FakePlatform.h"
#include "platform/fake/FakeRegistry.h"
#include "platform/fake/HeadlessHost.h"

namespace {

class FakeBackend : public ContractBackend {
  public:
    FakeBackend() {
        files_.AddFolder("C:\\scratch");
        files_.AddFile(kCmd);
        loop_.SetLauncher(&launcher_);
        // The stand-in for cmd.exe: "/c exit N" ends with N.
        elevation_.elevatedProgram = [](const std::string& parameters) {
            const std::string prefix = "/c exit ";
            return parameters.rfind(prefix, 0) == 0
                       ? static_cast<std::uint32_t>(std::stoul(parameters.substr(prefix.size())))
                       : 1u;
        };
    }
    const char* Name() const override { return "fake"; }
    IRegistryPort& Registry() override { return registry_; }
    // Each test has a registry of its own, so one name serves every test.
    std::string ScratchSoftwareKey() override { return "SomnivexContract\\1"; }
    // The fake's one tree is the 32-bit view; the tests write shared keys in either view.
    void PutMachineValue(RegView, const std::string& path, const std::string& name,
                         std::uint32_t type, const std::vector<std::uint8_t>& bytes) override {
        registry_.PutValue(reg::kLocalMachine, path, name, type, bytes);
    }
    IFileSystem& Files() override { return files_; }
    std::string ScratchFolder() override { return "C:\\scratch"; }
    const IStringSource* CompiledStrings() override { return nullptr; }
    mgr::IElevation& Elevation() override { return elevation_; }
    IEventLoop& Loop() override { return loop_; }
    IClock& Clock() override { return clock_; }
    ILauncher& Launcher() override { return launcher_; }
    std::string ExitingProgram() override { return kCmd; }
    FormHost& Forms() override { return host_; }
    std::optional<std::vector<std::string>> ListControlOrder(
        const std::vector<std::string>&) override {
        return std::nullopt;
    }
    // Event messages exist only in the Windows program.
    bool HasEventMessages() override { return false; }
    std::optional<std::string> EventMessage(std::uint32_t) override { return std::nullopt; }

  private:
    static constexpr const char* kCmd = "C:\\windows\\system32\\cmd.exe";
    FakeRegistry registry_;
    FakeFileSystem files_;
    FakeClock clock_;
    FakeEventLoop loop_{clock_};
    FakeLauncher launcher_{clock_, files_};
    FakeElevation elevation_{registry_, launcher_, files_};
    HeadlessHost host_{loop_, files_};
};

}  // namespace

std::unique_ptr<ContractBackend> MakeContractBackend() {
    return std::make_unique<FakeBackend>();
}
