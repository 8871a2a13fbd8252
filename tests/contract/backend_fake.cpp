#include "contract/Backend.h"
#include "platform/fake/FakeLoop.h"
#include "platform/fake/FakePlatform.h"
#include "platform/fake/FakeRegistry.h"
#include "platform/fake/HeadlessHost.h"

namespace {

class FakeBackend : public ContractBackend {
  public:
    FakeBackend() { files_.AddFolder("C:\\scratch"); }
    const char* Name() const override { return "fake"; }
    IRegistryPort& Registry() override { return registry_; }
    // Each test has a registry of its own, so one name serves every test.
    std::string ScratchSoftwareKey() override { return "SomnivexContract\\1"; }
    IFileSystem& Files() override { return files_; }
    std::string ScratchFolder() override { return "C:\\scratch"; }
    const IStringSource* CompiledStrings() override { return nullptr; }
    FormHost& Forms() override { return host_; }
    std::optional<std::vector<std::string>> ListControlOrder(
        const std::vector<std::string>&) override {
        return std::nullopt;
    }

  private:
    FakeRegistry registry_;
    FakeFileSystem files_;
    FakeClock clock_;
    FakeEventLoop loop_{clock_};
    HeadlessHost host_{loop_, files_};
};

}  // namespace

std::unique_ptr<ContractBackend> MakeContractBackend() {
    return std::make_unique<FakeBackend>();
}
