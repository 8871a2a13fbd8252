#include "common/StringTable.h"

namespace {

#define STR(id, text) {id, text},

const std::map<int, std::string> kScreenSaver = {
#include "resources/strings/common.inc"
#include "resources/strings/screensaver.inc"
};

const std::map<int, std::string> kManager = {
#include "resources/strings/common.inc"
#include "resources/strings/manager.inc"
};

#undef STR

}  // namespace

const std::map<int, std::string>& BuiltInStrings(ProgramKind program) {
    return program == ProgramKind::ScreenSaver ? kScreenSaver : kManager;
}

std::optional<std::string> BuiltInStringSource::Load(int id) const {
    const auto it = table_.find(id);
    if (it == table_.end()) return std::nullopt;
    return it->second;
}
