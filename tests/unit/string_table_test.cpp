#include <gtest/gtest.h>

#include "common/StringTable.h"

namespace {

TEST(StringTable, SharedIdsCarryTheSameTextInBothPrograms) {
    const auto& scr = BuiltInStrings(ProgramKind::ScreenSaver);
    const auto& mgr = BuiltInStrings(ProgramKind::Manager);
    for (int id : {101, 102, 103, 104, 105, 106, 107, 250, 262, 300, 1500, 1501}) {
        ASSERT_TRUE(scr.count(id)) << id;
        ASSERT_TRUE(mgr.count(id)) << id;
        EXPECT_EQ(scr.at(id), mgr.at(id)) << id;
    }
    for (int id = 162; id <= 173; ++id) EXPECT_EQ(scr.at(id), mgr.at(id)) << id;
}

TEST(StringTable, TextsWithSignificantBlanksAndBreaks) {
    BuiltInStringSource scr(ProgramKind::ScreenSaver);
    BuiltInStringSource mgr(ProgramKind::Manager);
    EXPECT_EQ(scr.Load(165), "Location:     ");
    EXPECT_EQ(scr.Load(172), ".  Sending log output to ");
    EXPECT_EQ(scr.Load(1501), " minute(s)?");
    EXPECT_EQ(scr.Load(1005), "&Cancel Shut Down");
    EXPECT_EQ(mgr.Load(1008),
              "Couldn't find Kelvane. \r\n\r\nWould you like to locate it yourself?");
    EXPECT_EQ(mgr.Load(209), " and ");
    EXPECT_EQ(mgr.Load(1507), " will be the default response to the confirmation dialog.");
}

TEST(StringTable, ProgramsKeepTheirOwnTextsForOverlappingIds) {
    BuiltInStringSource scr(ProgramKind::ScreenSaver);
    BuiltInStringSource mgr(ProgramKind::Manager);
    EXPECT_EQ(scr.Load(1004), "Somnivex");
    EXPECT_EQ(mgr.Load(1004), "Shut down");
    EXPECT_EQ(scr.Load(1009), "Somnivex will shut down Windows in:");
    EXPECT_EQ(mgr.Load(1009), "Locate Kelvane");
    EXPECT_FALSE(scr.Load(1101).has_value());
    EXPECT_FALSE(mgr.Load(1001) == scr.Load(1001));
}

TEST(StringTable, UnknownIdIsEmptyHanded) {
    BuiltInStringSource scr(ProgramKind::ScreenSaver);
    EXPECT_FALSE(scr.Load(0).has_value());
    EXPECT_FALSE(scr.Load(99999).has_value());
}

}  // namespace
