#include "common/OSInfo.h"

cOSInfo::cOSInfo(ISystemFacts& facts) {
    // A refused call leaves the record zeroed, which decodes as an unknown system.
    OsVersionRecord record;
    facts.GetVersionRecord(record);
    DecodeVersionInfo(record);
}

void cOSInfo::DecodeVersionInfo(const OsVersionRecord& record) {
    isWin95_ = isWin98_ = isWinNT3_ = isWinNT4_ = isWin2000_ = false;
    major_ = record.dwMajorVersion;
    minor_ = record.dwMinorVersion;
    if (record.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) {
        if (record.dwMinorVersion == 0) isWin95_ = true;
        if (record.dwMinorVersion == 10) isWin98_ = true;
    } else if (record.dwPlatformId == VER_PLATFORM_WIN32_NT) {
        if (record.dwMajorVersion == 3) {
            isWinNT3_ = true;
        } else if (record.dwMajorVersion == 4) {
            isWinNT4_ = true;
        } else if (record.dwMajorVersion >= 5) {
            // Every NT since 2000 (XP, Vista, 7, 8, 10, 11) belongs to this family: the
            // shutdown privilege and the multi-user rules apply to all of them.
            isWinNT4_ = true;
            isWin2000_ = true;
        }
    }
    isOsUnknown_ = !(isWinNT4_ || isWin98_ || isWinNT3_ || isWin95_);
}
