// The programs' string tables as the C++ side sees them: the same source files that
// windres compiles into each program's STRINGTABLE.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "common/Platform.h"

enum class ProgramKind { ScreenSaver, Manager };

// Every id and text of one program's table.
const std::map<int, std::string>& BuiltInStrings(ProgramKind program);

// A string source that serves the built-in table of one program.
class BuiltInStringSource : public IStringSource {
  public:
    explicit BuiltInStringSource(ProgramKind program) : table_(BuiltInStrings(program)) {}
    std::optional<std::string> Load(int id) const override;

  private:
    const std::map<int, std::string>& table_;
};

// Ids used by code shared between the programs.
namespace str_id {
constexpr int kOk = 101;
constexpr int kCancel = 102;
constexpr int kYes = 103;
constexpr int kNo = 104;
constexpr int kAbort = 105;
constexpr int kRetry = 106;
constexpr int kIgnore = 107;
constexpr int kLogTextsFirst = 162;  // 162 to 173: the logger's twelve texts
constexpr int kDontShowAgain = 250;
constexpr int kCouldNotLoadGraphic = 262;
constexpr int kProgList = 300;
constexpr int kConfirmBefore = 1500;
constexpr int kConfirmAfter = 1501;
// The question's start for the other ends; the shut down's is kConfirmBefore.
constexpr int kConfirmRestartBefore = 1511;
constexpr int kConfirmLogOffBefore = 1512;
constexpr int kConfirmHandOverBefore = 1513;
constexpr int kConfirmSleepBefore = 1520;
constexpr int kConfirmHibernateBefore = 1521;
}  // namespace str_id
