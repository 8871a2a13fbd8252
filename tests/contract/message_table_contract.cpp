// The message table of Somnivex.scr against the run trail's catalogue: Event Viewer
// finds a text for every event the programs write, with a place for each of its
// insertion strings, and the table holds nothing else.
#include <gtest/gtest.h>

#include <set>

#include "common/RunTrail.h"
#include "contract/Backend.h"

namespace {

// The insertion numbers of a message text ("%1", "%12"); "%%", "%n", "%r" and the other
// escapes insert nothing.
std::set<int> Insertions(const std::string& text) {
    std::set<int> numbers;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != '%') continue;
        int number = 0;
        std::size_t j = i + 1;
        while (j < text.size() && text[j] >= '0' && text[j] <= '9')
            number = number * 10 + (text[j++] - '0');
        if (number > 0) numbers.insert(number);
        i = j > i + 1 ? j - 1 : i + 1;  // an escape's letter is no insertion
    }
    return numbers;
}

TEST(MessageTableContract, EveryEventHasItsTextWithAllItsInsertionStrings) {
    auto backend = MakeContractBackend();
    if (!backend->HasEventMessages()) GTEST_SKIP() << "no message table on " << backend->Name();
    for (const tCatalogueEntry& entry : EventCatalogue()) {
        const auto text = backend->EventMessage(entry.id);
        ASSERT_TRUE(text.has_value()) << entry.name << " (" << entry.id << ") has no message";
        std::set<int> expected;
        for (int n = 1; n <= entry.strings; ++n) expected.insert(n);
        EXPECT_EQ(Insertions(*text), expected) << entry.name << ": " << *text;
        // The message compiler ends every text with a line break.
        EXPECT_GE(text->size(), 2u);
        EXPECT_EQ(text->substr(text->size() - 2), "\r\n") << entry.name;
        // A line break inside is CR LF too: "%r%n" would show CR CR LF.
        EXPECT_EQ(text->find("\r\r"), std::string::npos) << entry.name;
    }
}

TEST(MessageTableContract, TheTableHoldsNoOtherEvent) {
    auto backend = MakeContractBackend();
    if (!backend->HasEventMessages()) GTEST_SKIP() << "no message table on " << backend->Name();
    std::set<std::uint32_t> known;
    for (const tCatalogueEntry& entry : EventCatalogue()) known.insert(entry.id);
    // Every message is one of the catalogue's events; anything else is a stray.
    for (std::uint32_t id = 0; id < 4000; ++id) {
        if (known.count(id)) continue;
        EXPECT_FALSE(backend->EventMessage(id).has_value()) << "message " << id;
    }
}

}  // namespace
