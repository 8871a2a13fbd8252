#include "contract/Backend.h"
#include "platform/fake/FakePlatform.h"
#include "platform/fake/FakeRegistry.h"

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

  private:
    FakeRegistry registry_;
    FakeFileSystem files_;
};

}  // namespace

std::unique_ptr<ContractBackend> MakeContractBackend() {
    return std::make_unique<FakeBackend>();
}
