// A registry port that passes every call on to another one and shows each call to the
// test on its way: Before() as it starts, After() with what it did once it has returned.
// Tests that count handles or keep a journal of calls derive from it and write only what
// they keep.
#pragma once

#include <cstdint>
#include <string>

#include "common/RegistryPort.h"
#include "platform/fake/FakeRegistry.h"

class RegistryTap : public IRegistryPort {
  public:
    using Op = FakeRegistry::Op;

    // One call as it returned. `key` is the handle the call was given (the parent for the
    // calls that open, create or delete a key); `opened` the handle it handed out.
    struct Seen {
        Op op;
        RegKey key = 0;
        std::string subKey;  // the calls that open, create or delete a key
        std::string name;    // value name; for EnumValue, the one enumerated
        RegStatus status = reg::kSuccess;
        RegKey opened = 0;                    // when Opened()
        std::uint32_t type = reg::kTypeNone;  // SetValue's data
        const std::uint8_t* data = nullptr;
        std::uint32_t size = 0;

        // A call that handed out a handle the caller must close.
        bool Opened() const {
            return status == reg::kSuccess &&
                   (op == Op::kOpenKey || op == Op::kOpenKeyToRead || op == Op::kCreateKey);
        }
    };

    explicit RegistryTap(IRegistryPort& inner) : inner_(inner) {}

    RegStatus OpenKey(RegKey parent, const std::string& subKey, RegKey& result) override {
        Before(Op::kOpenKey);
        const RegStatus status = inner_.OpenKey(parent, subKey, result);
        return Done({Op::kOpenKey, parent, subKey, {}, status, result});
    }
    RegStatus OpenKeyToRead(RegKey parent, const std::string& subKey, RegView view,
                            RegKey& result) override {
        Before(Op::kOpenKeyToRead);
        const RegStatus status = inner_.OpenKeyToRead(parent, subKey, view, result);
        return Done({Op::kOpenKeyToRead, parent, subKey, {}, status, result});
    }
    RegStatus CreateKey(RegKey parent, const std::string& subKey, RegKey& result) override {
        Before(Op::kCreateKey);
        const RegStatus status = inner_.CreateKey(parent, subKey, result);
        return Done({Op::kCreateKey, parent, subKey, {}, status, result});
    }
    RegStatus CloseKey(RegKey key) override {
        Before(Op::kCloseKey);
        return Done({Op::kCloseKey, key, {}, {}, inner_.CloseKey(key)});
    }
    RegStatus QueryValue(RegKey key, const std::string& name, std::uint32_t* type,
                         std::uint8_t* data, std::uint32_t* size) override {
        Before(Op::kQueryValue);
        return Done(
            {Op::kQueryValue, key, {}, name, inner_.QueryValue(key, name, type, data, size)});
    }
    RegStatus SetValue(RegKey key, const std::string& name, std::uint32_t type,
                       const std::uint8_t* data, std::uint32_t size) override {
        Before(Op::kSetValue);
        const RegStatus status = inner_.SetValue(key, name, type, data, size);
        return Done({Op::kSetValue, key, {}, name, status, 0, type, data, size});
    }
    RegStatus EnumKey(RegKey key, std::uint32_t index, std::uint32_t nameCapacity,
                      std::string& name) override {
        Before(Op::kEnumKey);
        return Done({Op::kEnumKey, key, {}, {}, inner_.EnumKey(key, index, nameCapacity, name)});
    }
    RegStatus EnumValue(RegKey key, std::uint32_t index, std::uint32_t nameCapacity,
                        std::string& name, std::uint32_t* type, std::uint8_t* data,
                        std::uint32_t* dataSize) override {
        Before(Op::kEnumValue);
        const RegStatus status =
            inner_.EnumValue(key, index, nameCapacity, name, type, data, dataSize);
        return Done({Op::kEnumValue, key, {}, name, status});
    }
    RegStatus DeleteKey(RegKey key, const std::string& subKey) override {
        Before(Op::kDeleteKey);
        return Done({Op::kDeleteKey, key, subKey, {}, inner_.DeleteKey(key, subKey)});
    }
    RegStatus DeleteValue(RegKey key, const std::string& name) override {
        Before(Op::kDeleteValue);
        return Done({Op::kDeleteValue, key, {}, name, inner_.DeleteValue(key, name)});
    }
    std::string ExpandEnvironmentText(const std::string& text) override {
        return inner_.ExpandEnvironmentText(text);
    }

  protected:
    virtual void Before(Op) {}
    virtual void After(const Seen& call) = 0;

  private:
    RegStatus Done(const Seen& call) {
        After(call);
        return call.status;
    }

    IRegistryPort& inner_;
};
