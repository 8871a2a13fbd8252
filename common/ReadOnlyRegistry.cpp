#include "common/ReadOnlyRegistry.h"

RegStatus ReadOnlyRegistryPort::OpenKey(RegKey parent, const std::string& subKey, RegKey& result) {
    if (IsEmptyKey(parent)) return reg::kFileNotFound;
    return port_.OpenKey(parent, subKey, result);
}

RegStatus ReadOnlyRegistryPort::OpenKeyToRead(RegKey parent, const std::string& subKey,
                                              RegView view, RegKey& result) {
    if (IsEmptyKey(parent)) return reg::kFileNotFound;
    return port_.OpenKeyToRead(parent, subKey, view, result);
}

RegStatus ReadOnlyRegistryPort::CreateKey(RegKey parent, const std::string& subKey,
                                          RegKey& result) {
    if (!IsEmptyKey(parent) && port_.OpenKey(parent, subKey, result) == reg::kSuccess)
        return reg::kSuccess;
    result = nextEmpty_++;
    empty_.insert(result);
    return reg::kSuccess;
}

RegStatus ReadOnlyRegistryPort::CloseKey(RegKey key) {
    if (empty_.erase(key) != 0) return reg::kSuccess;
    return port_.CloseKey(key);
}

RegStatus ReadOnlyRegistryPort::QueryValue(RegKey key, const std::string& name, std::uint32_t* type,
                                           std::uint8_t* data, std::uint32_t* size) {
    if (IsEmptyKey(key)) return reg::kFileNotFound;
    return port_.QueryValue(key, name, type, data, size);
}

RegStatus ReadOnlyRegistryPort::SetValue(RegKey, const std::string&, std::uint32_t,
                                         const std::uint8_t*, std::uint32_t) {
    return reg::kAccessDenied;
}

RegStatus ReadOnlyRegistryPort::EnumKey(RegKey key, std::uint32_t index, std::uint32_t nameCapacity,
                                        std::string& name) {
    if (IsEmptyKey(key)) return reg::kNoMoreItems;
    return port_.EnumKey(key, index, nameCapacity, name);
}

RegStatus ReadOnlyRegistryPort::EnumValue(RegKey key, std::uint32_t index,
                                          std::uint32_t nameCapacity, std::string& name,
                                          std::uint32_t* type, std::uint8_t* data,
                                          std::uint32_t* dataSize) {
    if (IsEmptyKey(key)) return reg::kNoMoreItems;
    return port_.EnumValue(key, index, nameCapacity, name, type, data, dataSize);
}

RegStatus ReadOnlyRegistryPort::DeleteKey(RegKey, const std::string&) {
    return reg::kAccessDenied;
}

RegStatus ReadOnlyRegistryPort::DeleteValue(RegKey, const std::string&) {
    return reg::kAccessDenied;
}

std::string ReadOnlyRegistryPort::ExpandEnvironmentText(const std::string& text) {
    return port_.ExpandEnvironmentText(text);
}
