// cSystemInfo: facts about the machine and the user, gathered once when the object is
// created (folders, logon name, locale language, Explorer's last shut-down choice, the
// hardware profile), plus drive and hardware-profile lists on request.
//
// This header declares DRIVE_CDROM and friends, which <windows.h> defines as macros:
// never include it beside <windows.h>.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/Logger.h"
#include "common/OSInfo.h"
#include "common/Platform.h"
#include "common/RegistryAPI.h"

class cSystemInfo {
  public:
    // Reads everything. Throws RaisedError 999 when neither the registry nor the shell
    // knows the user's Start-menu programs folder or start-up folder.
    cSystemInfo(ISystemFacts& facts, IRegistryPort& registry, const cOSInfo& osInfo,
                cLogger& logger);

    // The platform's drive-type codes.
    static constexpr std::int16_t DRIVE_CDROM = 5;
    static constexpr std::int16_t DRIVE_FIXED = 3;
    static constexpr std::int16_t DRIVE_RAMDISK = 6;
    static constexpr std::int16_t DRIVE_REMOTE = 4;
    static constexpr std::int16_t DRIVE_REMOVABLE = 2;

    const std::string& EnglishNameOfLang() const { return englishNameOfLang_; }
    const std::string& LocalNameOfLang() const { return localNameOfLang_; }
    const std::string& CurrentLanguageID() const { return currentLanguageID_; }
    const std::string& StartupFolder() const { return startupFolder_; }
    const std::string& CommonStartupFolder() const { return commonStartupFolder_; }
    const std::string& StartMenuDir() const { return startMenuDir_; }
    const std::string& WindowsDir() const { return windowsDir_; }
    const std::string& SystemDir() const { return systemDir_; }
    const std::string& TempPath() const { return tempPath_; }
    bool MultiUsers() const { return multiUsers_; }
    const std::string& logonName() const { return logonName_; }
    std::int16_t LastShutdownSetting() const { return lastShutdownSetting_; }
    // Keeps the value and records it as Explorer's choice when Explorer's key exists.
    void LastShutdownSetting(std::int16_t iSetting);
    std::int16_t CurrentHardwareConfig() const { return currentHardwareConfig_; }

    // Fills the list with the roots ("C:") of every drive of the given type, in letter
    // order. False (and 27 empty entries) when the type is not 2 to 6 or no drive has it.
    bool GetDriveList(std::int16_t iDriveType, std::vector<std::string>& sArrDriveList);
    // The hardware profiles' names and numbers, index for index, with one empty slot
    // after the last. False when there is none or the registry holds a malformed entry
    // (which is reported through the logger).
    bool GetHardwareConfigList(std::vector<std::string>& szArrConfigList,
                               std::vector<std::int16_t>& iArrConfigNumber);

    // One locale string (GetLocaleInfo's LOCALE_* kind); empty when the platform has none.
    std::string GetLocaleString(std::uint32_t locale, std::uint32_t kind);

    static constexpr std::uint32_t LOCALE_ILANGUAGE = 0x1;
    static constexpr std::uint32_t LOCALE_SLANGUAGE = 0x2;
    static constexpr std::uint32_t LOCALE_SENGLANGUAGE = 0x1001;

  private:
    void ReadShellFolders();
    void ReadCurrentHardwareConfig();
    // Opens `key` below `hive`, reads one value and closes the key again.
    bool ReadString(RegKey hive, const std::string& key, const std::string& value,
                    std::string& data);
    bool ReadNumber(RegKey hive, const std::string& key, const std::string& value,
                    std::int32_t& data);
    // The registry's folder, else the shell's; empty when neither has one.
    std::string ShellFolder(RegKey hive, const std::string& value, KnownFolder folder);
    void AppendProfile(std::vector<std::string>& names, std::vector<std::int16_t>& numbers,
                       std::size_t& count, const std::string& name, std::int16_t number);

    ISystemFacts& facts_;
    cRegistryAPI registry_;
    const cOSInfo& osInfo_;
    cLogger& logger_;

    std::string startupFolder_, commonStartupFolder_, startMenuDir_, windowsDir_, systemDir_,
        tempPath_, logonName_, englishNameOfLang_, localNameOfLang_, currentLanguageID_;
    bool multiUsers_ = false;
    std::int16_t lastShutdownSetting_ = 1;
    std::int16_t currentHardwareConfig_ = 0;
};
