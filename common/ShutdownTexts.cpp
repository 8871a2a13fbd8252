#include "common/ShutdownTexts.h"

#include "common/SSOptions.h"
#include "common/StringTable.h"

EndKind EndKindOf(bool runKelvane, std::int16_t shutdownType) {
    if (shutdownType == shutdown_code::kSleep) return EndKind::Sleep;
    if (shutdownType == shutdown_code::kHibernate) return EndKind::Hibernate;
    if (runKelvane) return EndKind::HandOver;
    switch (shutdown_code::Slot(shutdownType)) {
        case 0:
            return EndKind::LogOff;
        case 2:
            return EndKind::Restart;
        default:
            return EndKind::ShutDown;
    }
}

std::string ConfirmationQuestion(const IStringSource& strings, EndKind kind,
                                 const std::string& minutes) {
    int before = str_id::kConfirmBefore;
    switch (kind) {
        case EndKind::Restart:
            before = str_id::kConfirmRestartBefore;
            break;
        case EndKind::LogOff:
            before = str_id::kConfirmLogOffBefore;
            break;
        case EndKind::HandOver:
            before = str_id::kConfirmHandOverBefore;
            break;
        case EndKind::Sleep:
            before = str_id::kConfirmSleepBefore;
            break;
        case EndKind::Hibernate:
            before = str_id::kConfirmHibernateBefore;
            break;
        case EndKind::ShutDown:
            break;
    }
    return strings.Load(before).value_or("") + minutes +
           strings.Load(str_id::kConfirmAfter).value_or("");
}
