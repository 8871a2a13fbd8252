// Prints the policy values the programs read, with their checks, as JSON, so that the
// check of the Group Policy templates compares them with the code itself.
#include <iostream>

#include "common/Policy.h"
#include "common/SSOptions.h"

namespace {

const char* KindName(policy::Kind kind) {
    switch (kind) {
        case policy::Kind::kFlag:
            return "flag";
        case policy::Kind::kNumber:
            return "number";
        case policy::Kind::kChoice:
            return "choice";
        case policy::Kind::kText:
            return "text";
    }
    return "?";
}

}  // namespace

int main() {
    std::cout << "{\n  \"key\": \"";
    for (const char c : std::string(policy::kKey))
        std::cout << (c == '\\' ? "\\\\" : std::string(1, c));
    std::cout << "\",\n  \"maxTextChars\": " << policy::kMaxTextChars
              << ",\n  \"shutdownTypes\": [";
    const auto types = policy::ShutdownTypes();
    for (std::size_t i = 0; i < types.size(); ++i) std::cout << (i ? ", " : "") << types[i];
    // What counts without a policy, which a template's number box should offer first.
    std::cout << "],\n  \"defaults\": {\"WaitMinutes\": " << tSSOptions{}.WaitMinutes
              << ", \"MaxHoldMinutes\": " << policy::kDefaultMaxHoldMinutes << "}";
    std::cout << ",\n  \"values\": [\n";
    bool first = true;
    for (const auto& rule : policy::kValues) {
        std::cout << (first ? "" : ",\n") << "    {\"name\": \"" << rule.name << "\", \"kind\": \""
                  << KindName(rule.kind) << "\", \"min\": " << rule.min << ", \"max\": " << rule.max
                  << "}";
        first = false;
    }
    std::cout << "\n  ]\n}\n";
    return 0;
}
