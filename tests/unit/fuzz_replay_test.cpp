// The fuzzers' checks over their whole corpora, so every input they ever kept (the seeds
// and the reproducers of faults they found) runs with each unit-test run, with any
// compiler.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <vector>

#include "fuzz/OptionsInput.h"
#include "fuzz/VersionInput.h"

namespace {

namespace fs = std::filesystem;

fs::path CorpusFolder(const char* fuzzer = "options") {
    // This file lies in tests/unit; the corpora in fuzz/corpus of the same tree.
    return fs::path(__FILE__).parent_path().parent_path().parent_path() / "fuzz" / "corpus" /
           fuzzer;
}

std::vector<std::uint8_t> ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(FuzzReplay, EveryCorpusInputKeepsItsPromises) {
    const fs::path folder = CorpusFolder();
    ASSERT_TRUE(fs::is_directory(folder)) << folder;
    int inputs = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        const auto bytes = ReadAll(entry.path());
        SCOPED_TRACE(entry.path().filename().string());
        for (const auto& failure : options_fuzz::CheckOptionsInput(bytes.data(), bytes.size()))
            ADD_FAILURE() << failure;
        ++inputs;
    }
    EXPECT_GE(inputs, 5);
}

// The checks must be able to fail: contents the decoder cannot turn into what the
// loaded record says are caught.
TEST(FuzzReplay, DecoderAndExpectationsAgreeOnKnownContents) {
    // Files: screen saver and launcher exist; the screen saver runs until the end.
    // WaitMinutes 0x10000 (too big for 16 bits) and ShutdownType as a 2-byte DWORD read
    // as their defaults; RunKelvane 5 reads as true; a text stops at its NUL.
    const std::vector<std::uint8_t> input = {
        0x03,          5 << 2, 4,         0x80 | 13, 4,          // WaitMinutes = 0x10000
        4 << 2,        4,      0x80 | 3,  2,                     // ShutdownType: two bytes of 2
        0 << 2,        4,      4,         5,         0, 0,   0,  // RunKelvane = 5
        9 << 2,        1,      4,         'a',       0, 'b', 0,  // SelectedScreenSaver "a\0b"
        (10 << 2) | 1, 4,      0x80 | 23, 4,                     // ShutdownHwnd = 0x30042
    };
    const auto contents = options_fuzz::Decode(input.data(), input.size());
    ASSERT_EQ(contents.entries.size(), 5u);
    const tSSOptions want = options_fuzz::Expected(options_fuzz::Model(contents));
    EXPECT_EQ(want.WaitMinutes, 30);
    EXPECT_EQ(want.ShutdownType, 1);
    EXPECT_TRUE(want.RunKelvane);
    EXPECT_EQ(want.SelectedScreenSaver, "a");
    EXPECT_EQ(options_fuzz::Model(contents).Dword(1, "shutdownhwnd"), 0x30042);
    EXPECT_TRUE(options_fuzz::CheckOptionsInput(input.data(), input.size()).empty());
}

TEST(FuzzReplay, EveryVersionCorpusFileKeepsItsPromises) {
    // What the seeds of fuzz/make_version_corpus.py must read as; inputs the fuzzer adds
    // are held to its checks only.
    const std::map<std::string, std::string> seeds = {
        {"well-formed", "Demo Saver"},
        {"well-formed-64-bit", "Demo Saver"},
        {"french-first", "Économiseur d'écran"},
        {"old-layout", "Old Saver"},
        {"resources-claiming-4gib", "Demo Saver"},
        {"text-length-in-bytes", "Demo Saver"},
        {"block-far-into-resources", "Demo Saver"},
        {"oversize-translation", ""},
        {"old-layout-bare-block", ""},  // a block, but no image
        {"truncated", ""},
        {"header-offset-near-4gib", ""},
        {"section-near-4gib", ""},
        {"child-longer-than-parent", ""},
        {"root-longer-than-data", ""},
        {"data-outside-sections", ""},
        {"zero-length-child", ""},
        {"zero-length-directory", ""},
        {"self-referencing-directory", ""},
        {"directory-pointing-at-root", ""},
        {"huge-directory", ""},  // more entries than its section holds
        {"header-beyond-64-mib", ""},
        {"header-past-the-end", ""},
    };
    const fs::path folder = CorpusFolder("version");
    ASSERT_TRUE(fs::is_directory(folder)) << folder;
    std::size_t seedsSeen = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        const auto bytes = ReadAll(entry.path());
        const std::string name = entry.path().filename().string();
        SCOPED_TRACE(name);
        for (const auto& failure : version_fuzz::CheckVersionInput(bytes.data(), bytes.size()))
            ADD_FAILURE() << failure;
        const auto seed = seeds.find(name);
        if (seed == seeds.end()) continue;
        ++seedsSeen;
        ver::MemoryBytes file(bytes.data(), bytes.size());
        EXPECT_EQ(ver::FileDescription(file), seed->second);
    }
    EXPECT_EQ(seedsSeen, seeds.size());
}

// The old-layout block the system's copy may hand over is read too.
TEST(FuzzReplay, TheBareOldLayoutBlockReadsAsABlock) {
    const auto bytes = ReadAll(CorpusFolder("version") / "old-layout-bare-block");
    const auto block = ver::VersionBlock::Parse(bytes);
    ASSERT_TRUE(block);
    EXPECT_TRUE(block->IsOldLayout());
    EXPECT_EQ(ver::DescriptionOf(*block), "Économiseur");
}

}  // namespace
