// cOSInfo: which Windows runs, decoded once from the platform's version record.
#pragma once

#include <cstdint>

#include "common/Platform.h"

class cOSInfo {
  public:
    explicit cOSInfo(ISystemFacts& facts);
    // Decodes a given record; the platform is not asked.
    explicit cOSInfo(const OsVersionRecord& record) { DecodeVersionInfo(record); }

    static constexpr std::uint32_t VER_PLATFORM_WIN32_WINDOWS = 1;
    static constexpr std::uint32_t VER_PLATFORM_WIN32_NT = 2;

    bool isOsUnknown() const { return isOsUnknown_; }
    bool isWin2000() const { return isWin2000_; }
    bool isWin95() const { return isWin95_; }
    bool isWin98() const { return isWin98_; }
    bool isWinNT3() const { return isWinNT3_; }
    bool isWinNT4() const { return isWinNT4_; }
    bool canRestartInDosMode() const { return isWin98_ || isWin95_; }
    std::int16_t interfaceUsed() const { return (isWinNT4_ || isWin98_ || isWin2000_) ? 2 : 1; }
    double OSVersion() const { return major_ + minor_ / 10.0; }

  private:
    void DecodeVersionInfo(const OsVersionRecord& record);

    bool isWin95_ = false, isWin98_ = false, isWinNT3_ = false, isWinNT4_ = false,
         isWin2000_ = false, isOsUnknown_ = false;
    std::uint32_t major_ = 0, minor_ = 0;
};
