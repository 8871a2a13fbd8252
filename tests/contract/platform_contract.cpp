// The small seams, against the fakes on Linux and against Win32 under Wine.
#include <gtest/gtest.h>

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

TEST_F(PlatformContract, OpenFailsWhereNoFileCanBe) {
    IFileSystem& files = backend->Files();
    EXPECT_EQ(files.OpenAppend(""), nullptr);
    EXPECT_EQ(files.OpenAppend(backend->ScratchFolder() + "\\no such folder\\x.log"), nullptr);
    EXPECT_FALSE(files.FileExists(""));
    EXPECT_FALSE(files.FileExists(backend->ScratchFolder() + "\\missing.txt"));
}

}  // namespace
