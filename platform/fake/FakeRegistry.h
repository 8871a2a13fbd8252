// An in-memory registry with the behaviour of Windows' own: four hives that are always
// open, names compared without regard to case but kept as created, backslash paths,
// typed values of any size, and handles that must be closed. Tests script refusals
// (a standard user below HKEY_LOCAL_MACHINE) and one-off failures, and inspect the tree
// without going through handles.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/RegistryPort.h"

class FakeRegistry : public IRegistryPort {
  public:
    // Codes Windows gives that the callers never test for by name.
    static constexpr RegStatus kBadPathname = 161;
    static constexpr RegStatus kNoAccess = 998;

    enum class Op {
        kOpenKey,
        kOpenKeyToRead,
        kCreateKey,
        kCloseKey,
        kQueryValue,
        kSetValue,
        kEnumKey,
        kEnumValue,
        kDeleteKey,
        kDeleteValue,
    };

    struct StoredValue {
        std::uint32_t type = reg::kTypeNone;
        std::vector<std::uint8_t> bytes;
        bool operator==(const StoredValue&) const = default;
    };

    FakeRegistry();
    ~FakeRegistry() override;
    FakeRegistry(const FakeRegistry&) = delete;
    FakeRegistry& operator=(const FakeRegistry&) = delete;

    RegStatus OpenKey(RegKey parent, const std::string& subKey, RegKey& result) override;
    // The fake's tree is the 32-bit view. The native view shares Software\Policies (and
    // everything outside HKEY_LOCAL_MACHINE\Software) with it, as Windows does; its own
    // part of HKEY_LOCAL_MACHINE\Software holds nothing here. Values cannot be set or
    // deleted through a handle opened to read.
    RegStatus OpenKeyToRead(RegKey parent, const std::string& subKey, RegView view,
                            RegKey& result) override;
    RegStatus CreateKey(RegKey parent, const std::string& subKey, RegKey& result) override;
    RegStatus CloseKey(RegKey key) override;
    RegStatus QueryValue(RegKey key, const std::string& name, std::uint32_t* type,
                         std::uint8_t* data, std::uint32_t* size) override;
    RegStatus SetValue(RegKey key, const std::string& name, std::uint32_t type,
                       const std::uint8_t* data, std::uint32_t size) override;
    RegStatus EnumKey(RegKey key, std::uint32_t index, std::uint32_t nameCapacity,
                      std::string& name) override;
    RegStatus EnumValue(RegKey key, std::uint32_t index, std::uint32_t nameCapacity,
                        std::string& name, std::uint32_t* type, std::uint8_t* data,
                        std::uint32_t* dataSize) override;
    RegStatus DeleteKey(RegKey key, const std::string& subKey) override;
    RegStatus DeleteValue(RegKey key, const std::string& name) override;
    std::string ExpandEnvironmentText(const std::string& text) override;

    // The process environment that expansion reads, by upper-case name.
    std::map<std::string, std::string> environment{{"SYSTEMROOT", "C:\\Windows"},
                                                   {"WINDIR", "C:\\Windows"},
                                                   {"SYSTEMDRIVE", "C:"},
                                                   {"PROGRAMFILES", "C:\\Program Files"}};

    // Handles handed out and not yet closed (the hives are not counted).
    int OpenHandleCount() const { return static_cast<int>(handles_.size()); }
    // Calls of `op` so far, failed ones included.
    int CallCount(Op op) const;

    // The key `path` of `hive` and everything below it refuse changes with kAccessDenied,
    // as HKEY_LOCAL_MACHINE does for a standard user: values cannot be set or deleted,
    // keys cannot be created or deleted, while opening, reading and creating (that is,
    // opening) an existing key still work. An empty path covers the whole hive. The usual
    // security of HKEY_LOCAL_MACHINE\Software lets an elevated token through; with
    // `evenElevated` the key refuses administrators too.
    void DenyWrites(RegKey hive, const std::string& path, bool evenElevated = false);
    // Whether the caller's token is elevated (a full administrator token).
    bool callerElevated = false;
    // Whether changing the key `path` of `hive`, or creating it, would be refused now.
    bool WritesDenied(RegKey hive, const std::string& path) const;
    // The call of `op` after `skip` further calls fails with `status` and does nothing.
    void FailNext(Op op, RegStatus status, int skip = 0);
    // `action` runs just before the call of `op` after `skip` further calls, as another
    // program changing the registry between two of ours.
    void BeforeNext(Op op, std::function<void()> action, int skip = 0);

    // Inspection and set-up, past every refusal and without handles.
    bool KeyExists(RegKey hive, const std::string& path) const;
    std::optional<StoredValue> Value(RegKey hive, const std::string& path,
                                     const std::string& name) const;
    // Creates the key (and its parents) when missing and stores the value.
    void PutValue(RegKey hive, const std::string& path, const std::string& name, std::uint32_t type,
                  std::vector<std::uint8_t> bytes);
    // Names of the subkeys of `path`, in enumeration order; empty when it is missing.
    std::vector<std::string> SubkeyNames(RegKey hive, const std::string& path) const;

  private:
    struct Node;
    struct PendingFailure {
        Op op;
        int skip;
        RegStatus status;
    };

    bool Intercept(Op op, RegStatus& status);
    RegStatus Resolve(RegKey key, Node*& node) const;
    // The start of a call of `op`: counted, any scripted change or failure that is due
    // applied, and the handle resolved to its key; the second form also splits `subKey`.
    RegStatus Enter(Op op, RegKey key, Node*& node);
    RegStatus Enter(Op op, RegKey key, const std::string& subKey, Node*& node,
                    std::vector<std::string>& parts);
    // The existing key `subKey` below `parent`, as the calls of `op` find it.
    RegStatus FindExisting(Op op, RegKey parent, const std::string& subKey, Node*& target);
    RegKey NewHandle(const std::shared_ptr<Node>& node);
    std::shared_ptr<Node> SharedOf(Node* node) const;
    Node* Find(Node* from, const std::vector<std::string>& parts) const;
    Node* FindPath(RegKey hive, const std::string& path) const;
    bool WriteDenied(const Node* node, const std::string& childName = {}) const;
    bool PathDenied(const std::string& path) const;
    static std::string FullPath(const Node* node);
    static bool SharedBetweenViews(const Node* node);

    std::map<RegKey, std::shared_ptr<Node>> hives_;
    std::map<RegKey, std::shared_ptr<Node>> handles_;
    std::set<RegKey> readOnly_;
    RegKey nextHandle_ = 0x100;
    struct Denial {
        std::string prefix;  // folded "hive\path"
        bool evenElevated;
    };
    std::vector<Denial> denied_;
    std::vector<PendingFailure> failures_;
    struct PendingAction {
        Op op;
        int skip;
        std::function<void()> action;
    };
    std::vector<PendingAction> actions_;
    std::map<Op, int> calls_;
};
