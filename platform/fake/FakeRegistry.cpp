#include "platform/fake/FakeRegistry.h"

#include <algorithm>
#include <cstring>

namespace {

// Windows compares registry names in upper case; ASCII is as far as the fake folds.
char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string Fold(const std::string& text) {
    std::string folded = text;
    std::transform(folded.begin(), folded.end(), folded.begin(), Upper);
    return folded;
}

// Splits a subkey path. A leading backslash is refused as Windows refuses it; empty
// parts (a trailing or doubled backslash) are skipped.
RegStatus SplitPath(const std::string& path, std::vector<std::string>& parts) {
    parts.clear();
    if (!path.empty() && path.front() == '\\') return FakeRegistry::kBadPathname;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string::npos) end = path.size();
        if (end > start) parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return reg::kSuccess;
}

bool IsHive(RegKey key) {
    return key == reg::kClassesRoot || key == reg::kCurrentUser || key == reg::kLocalMachine ||
           key == reg::kUsers;
}

}  // namespace

struct FakeRegistry::Node : std::enable_shared_from_this<Node> {
    std::string name;
    std::string folded;
    Node* parent = nullptr;  // valid while the node is not deleted
    RegKey hive = 0;
    bool deleted = false;
    // Kept in Windows' enumeration order: sorted by the upper-cased name.
    std::vector<std::shared_ptr<Node>> subkeys;
    // Kept in the order of creation, as Windows enumerates them.
    std::vector<std::pair<std::string, StoredValue>> values;

    Node* Child(const std::string& childName) const {
        const std::string key = Fold(childName);
        for (const auto& sub : subkeys)
            if (sub->folded == key) return sub.get();
        return nullptr;
    }

    Node* AddChild(const std::string& childName) {
        auto node = std::make_shared<Node>();
        node->name = childName;
        node->folded = Fold(childName);
        node->parent = this;
        node->hive = hive;
        const auto at = std::lower_bound(subkeys.begin(), subkeys.end(), node->folded,
                                         [](const std::shared_ptr<Node>& sub,
                                            const std::string& key) { return sub->folded < key; });
        return subkeys.insert(at, node)->get();
    }

    std::pair<std::string, StoredValue>* FindValue(const std::string& valueName) {
        const std::string key = Fold(valueName);
        for (auto& value : values)
            if (Fold(value.first) == key) return &value;
        return nullptr;
    }
};

FakeRegistry::FakeRegistry() {
    for (RegKey hive : {reg::kClassesRoot, reg::kCurrentUser, reg::kLocalMachine, reg::kUsers}) {
        auto root = std::make_shared<Node>();
        root->hive = hive;
        hives_[hive] = root;
    }
}

FakeRegistry::~FakeRegistry() = default;

int FakeRegistry::CallCount(Op op) const {
    const auto it = calls_.find(op);
    return it == calls_.end() ? 0 : it->second;
}

namespace {

std::string FoldedPath(RegKey hive, const std::string& path) {
    std::vector<std::string> parts;
    SplitPath(path, parts);
    std::string folded = std::to_string(hive);
    for (const auto& part : parts) folded += "\\" + Fold(part);
    return folded;
}

}  // namespace

void FakeRegistry::DenyWrites(RegKey hive, const std::string& path, bool evenElevated) {
    denied_.push_back({FoldedPath(hive, path), evenElevated});
}

bool FakeRegistry::WritesDenied(RegKey hive, const std::string& path) const {
    return PathDenied(FoldedPath(hive, path));
}

void FakeRegistry::FailNext(Op op, RegStatus status, int skip) {
    failures_.push_back({op, skip, status});
}

void FakeRegistry::BeforeNext(Op op, std::function<void()> action, int skip) {
    actions_.push_back({op, skip, std::move(action)});
}

// Counts the call, runs a scripted change that is due and fires a scripted failure that
// is due.
bool FakeRegistry::Intercept(Op op, RegStatus& status) {
    ++calls_[op];
    std::function<void()> due;
    for (auto it = actions_.begin(); it != actions_.end();) {
        if (it->op != op) {
            ++it;
        } else if (!due && it->skip == 0) {
            due = std::move(it->action);
            it = actions_.erase(it);
        } else {
            if (it->skip > 0) --it->skip;
            ++it;
        }
    }
    if (due) due();
    bool fired = false;
    for (auto it = failures_.begin(); it != failures_.end();) {
        if (it->op != op) {
            ++it;
        } else if (!fired && it->skip == 0) {
            status = it->status;
            fired = true;
            it = failures_.erase(it);
        } else {
            if (it->skip > 0) --it->skip;
            ++it;
        }
    }
    return fired;
}

RegStatus FakeRegistry::Resolve(RegKey key, Node*& node) const {
    if (const auto hive = hives_.find(key); hive != hives_.end()) {
        node = hive->second.get();
        return reg::kSuccess;
    }
    const auto it = handles_.find(key);
    if (it == handles_.end()) return reg::kInvalidHandle;
    if (it->second->deleted) return reg::kKeyDeleted;
    node = it->second.get();
    return reg::kSuccess;
}

RegKey FakeRegistry::NewHandle(const std::shared_ptr<Node>& node) {
    // Never reused, so a handle used after closing is always caught.
    const RegKey handle = nextHandle_;
    nextHandle_ += 4;
    handles_[handle] = node;
    return handle;
}

std::shared_ptr<FakeRegistry::Node> FakeRegistry::SharedOf(Node* node) const {
    return node->shared_from_this();
}

FakeRegistry::Node* FakeRegistry::Find(Node* from, const std::vector<std::string>& parts) const {
    Node* node = from;
    for (const auto& part : parts) {
        node = node->Child(part);
        if (!node) return nullptr;
    }
    return node;
}

FakeRegistry::Node* FakeRegistry::FindPath(RegKey hive, const std::string& path) const {
    const auto root = hives_.find(hive);
    std::vector<std::string> parts;
    if (root == hives_.end() || SplitPath(path, parts) != reg::kSuccess) return nullptr;
    return Find(root->second.get(), parts);
}

std::string FakeRegistry::FullPath(const Node* node) {
    std::string path;
    for (; node->parent; node = node->parent) path.insert(0, "\\" + node->folded);
    return std::to_string(node->hive) + path;
}

bool FakeRegistry::WriteDenied(const Node* node, const std::string& childName) const {
    if (denied_.empty()) return false;
    std::string path = FullPath(node);
    if (!childName.empty()) path += "\\" + Fold(childName);
    return PathDenied(path);
}

bool FakeRegistry::PathDenied(const std::string& path) const {
    for (const auto& [prefix, evenElevated] : denied_) {
        if (callerElevated && !evenElevated) continue;
        if (path == prefix) return true;
        if (path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0 &&
            path[prefix.size()] == '\\')
            return true;
    }
    return false;
}

RegStatus FakeRegistry::Enter(Op op, RegKey key, Node*& node) {
    RegStatus status = reg::kSuccess;
    if (Intercept(op, status)) return status;
    return Resolve(key, node);
}

RegStatus FakeRegistry::Enter(Op op, RegKey key, const std::string& subKey, Node*& node,
                              std::vector<std::string>& parts) {
    const RegStatus status = Enter(op, key, node);
    return status != reg::kSuccess ? status : SplitPath(subKey, parts);
}

RegStatus FakeRegistry::FindExisting(Op op, RegKey parent, const std::string& subKey,
                                     Node*& target) {
    Node* node = nullptr;
    std::vector<std::string> parts;
    RegStatus status = Enter(op, parent, subKey, node, parts);
    if (status != reg::kSuccess) return status;
    target = Find(node, parts);
    return target ? reg::kSuccess : reg::kFileNotFound;
}

RegStatus FakeRegistry::OpenKey(RegKey parent, const std::string& subKey, RegKey& result) {
    Node* target = nullptr;
    const RegStatus status = FindExisting(Op::kOpenKey, parent, subKey, target);
    if (status == reg::kSuccess) result = NewHandle(SharedOf(target));
    return status;
}

RegStatus FakeRegistry::OpenKeyToRead(RegKey parent, const std::string& subKey, RegView view,
                                      RegKey& result) {
    Node* target = nullptr;
    const RegStatus status = FindExisting(Op::kOpenKeyToRead, parent, subKey, target);
    if (status != reg::kSuccess) return status;
    if (view == RegView::kNative && !SharedBetweenViews(target)) return reg::kFileNotFound;
    result = NewHandle(SharedOf(target));
    readOnly_.insert(result);
    return reg::kSuccess;
}

bool FakeRegistry::SharedBetweenViews(const Node* node) {
    std::vector<const Node*> chain;  // from the hive's first key down
    for (; node->parent; node = node->parent) chain.insert(chain.begin(), node);
    if (node->hive != reg::kLocalMachine || chain.empty() || chain[0]->folded != "SOFTWARE")
        return true;
    return chain.size() >= 2 && chain[1]->folded == "POLICIES";
}

RegStatus FakeRegistry::CreateKey(RegKey parent, const std::string& subKey, RegKey& result) {
    Node* node = nullptr;
    std::vector<std::string> parts;
    RegStatus status = Enter(Op::kCreateKey, parent, subKey, node, parts);
    if (status != reg::kSuccess) return status;

    // Walk the existing part; the first missing key decides whether creating is allowed,
    // and nothing is created when it is not.
    std::size_t i = 0;
    for (; i < parts.size(); ++i) {
        Node* child = node->Child(parts[i]);
        if (!child) break;
        node = child;
    }
    if (i < parts.size()) {
        // A denial may name a key further down that does not exist yet.
        std::string pathSoFar;
        const Node* probe = node;
        for (std::size_t j = i; j < parts.size(); ++j) {
            pathSoFar += (pathSoFar.empty() ? "" : "\\") + parts[j];
            if (WriteDenied(probe, pathSoFar)) return reg::kAccessDenied;
        }
        for (; i < parts.size(); ++i) node = node->AddChild(parts[i]);
    }
    result = NewHandle(SharedOf(node));
    return reg::kSuccess;
}

RegStatus FakeRegistry::CloseKey(RegKey key) {
    RegStatus status = reg::kSuccess;
    if (Intercept(Op::kCloseKey, status)) return status;
    if (IsHive(key)) return reg::kSuccess;
    readOnly_.erase(key);
    // A handle to a deleted key still closes.
    return handles_.erase(key) ? reg::kSuccess : reg::kInvalidHandle;
}

RegStatus FakeRegistry::QueryValue(RegKey key, const std::string& name, std::uint32_t* type,
                                   std::uint8_t* data, std::uint32_t* size) {
    RegStatus status = reg::kSuccess;
    if (Intercept(Op::kQueryValue, status)) return status;
    if (data && !size) return reg::kInvalidParameter;
    Node* node = nullptr;
    if ((status = Resolve(key, node)) != reg::kSuccess) return status;
    const auto* value = node->FindValue(name);
    if (!value) return reg::kFileNotFound;

    if (type) *type = value->second.type;
    return reg::Deliver(value->second.bytes, data, size);
}

std::string FakeRegistry::ExpandEnvironmentText(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t close = text[i] == '%' ? text.find('%', i + 1) : std::string::npos;
        const auto it = close == std::string::npos
                            ? environment.end()
                            : environment.find(Fold(text.substr(i + 1, close - i - 1)));
        if (it == environment.end()) {
            // Not a variable that is set: the percent sign stays, as Windows leaves it.
            out += text[i++];
            continue;
        }
        out += it->second;
        i = close + 1;
    }
    return out;
}

RegStatus FakeRegistry::SetValue(RegKey key, const std::string& name, std::uint32_t type,
                                 const std::uint8_t* data, std::uint32_t size) {
    Node* node = nullptr;
    RegStatus status = Enter(Op::kSetValue, key, node);
    if (status != reg::kSuccess) return status;
    if (readOnly_.count(key) || WriteDenied(node)) return reg::kAccessDenied;
    if (!data && size) return kNoAccess;

    StoredValue stored{
        type, size ? std::vector<std::uint8_t>(data, data + size) : std::vector<std::uint8_t>()};
    // An existing value keeps the case of its name.
    if (auto* existing = node->FindValue(name))
        existing->second = std::move(stored);
    else
        node->values.emplace_back(name, std::move(stored));
    return reg::kSuccess;
}

RegStatus FakeRegistry::EnumKey(RegKey key, std::uint32_t index, std::uint32_t nameCapacity,
                                std::string& name) {
    Node* node = nullptr;
    RegStatus status = Enter(Op::kEnumKey, key, node);
    if (status != reg::kSuccess) return status;
    if (index >= node->subkeys.size()) return reg::kNoMoreItems;
    const std::string& found = node->subkeys[index]->name;
    if (found.size() + 1 > nameCapacity) return reg::kMoreData;
    name = found;
    return reg::kSuccess;
}

RegStatus FakeRegistry::EnumValue(RegKey key, std::uint32_t index, std::uint32_t nameCapacity,
                                  std::string& name, std::uint32_t* type, std::uint8_t* data,
                                  std::uint32_t* dataSize) {
    RegStatus status = reg::kSuccess;
    if (Intercept(Op::kEnumValue, status)) return status;
    if (data && !dataSize) return reg::kInvalidParameter;
    Node* node = nullptr;
    if ((status = Resolve(key, node)) != reg::kSuccess) return status;
    if (index >= node->values.size()) return reg::kNoMoreItems;
    const auto& [valueName, value] = node->values[index];
    if (valueName.size() + 1 > nameCapacity) return reg::kMoreData;

    if (type) *type = value.type;
    status = reg::Deliver(value.bytes, data, dataSize);
    if (status == reg::kSuccess) name = valueName;
    return status;
}

RegStatus FakeRegistry::DeleteKey(RegKey key, const std::string& subKey) {
    Node* node = nullptr;
    std::vector<std::string> parts;
    RegStatus status = Enter(Op::kDeleteKey, key, subKey, node, parts);
    if (status != reg::kSuccess) return status;
    // An empty subkey names the key itself; a hive cannot go.
    Node* target = Find(node, parts);
    if (!target) return reg::kFileNotFound;
    if (!target->parent || !target->subkeys.empty() || WriteDenied(target))
        return reg::kAccessDenied;

    target->deleted = true;
    auto& siblings = target->parent->subkeys;
    siblings.erase(
        std::find_if(siblings.begin(), siblings.end(),
                     [&](const std::shared_ptr<Node>& sub) { return sub.get() == target; }));
    return reg::kSuccess;
}

RegStatus FakeRegistry::DeleteValue(RegKey key, const std::string& name) {
    Node* node = nullptr;
    RegStatus status = Enter(Op::kDeleteValue, key, node);
    if (status != reg::kSuccess) return status;
    if (readOnly_.count(key) || WriteDenied(node)) return reg::kAccessDenied;
    auto* value = node->FindValue(name);
    if (!value) return reg::kFileNotFound;
    node->values.erase(node->values.begin() + (value - node->values.data()));
    return reg::kSuccess;
}

bool FakeRegistry::KeyExists(RegKey hive, const std::string& path) const {
    return FindPath(hive, path) != nullptr;
}

std::optional<FakeRegistry::StoredValue> FakeRegistry::Value(RegKey hive, const std::string& path,
                                                             const std::string& name) const {
    Node* node = FindPath(hive, path);
    if (!node) return std::nullopt;
    const auto* value = node->FindValue(name);
    if (!value) return std::nullopt;
    return value->second;
}

void FakeRegistry::PutValue(RegKey hive, const std::string& path, const std::string& name,
                            std::uint32_t type, std::vector<std::uint8_t> bytes) {
    std::vector<std::string> parts;
    SplitPath(path, parts);
    Node* node = hives_.at(hive).get();
    for (const auto& part : parts) {
        Node* child = node->Child(part);
        node = child ? child : node->AddChild(part);
    }
    if (auto* existing = node->FindValue(name))
        existing->second = {type, std::move(bytes)};
    else
        node->values.emplace_back(name, StoredValue{type, std::move(bytes)});
}

std::vector<std::string> FakeRegistry::SubkeyNames(RegKey hive, const std::string& path) const {
    std::vector<std::string> names;
    if (const Node* node = FindPath(hive, path))
        for (const auto& sub : node->subkeys) names.push_back(sub->name);
    return names;
}
