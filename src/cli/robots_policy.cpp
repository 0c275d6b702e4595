#include "cli/robots_policy.h"

namespace veltrano {
namespace {

constexpr std::string_view kAgent = "Veltrano";

}  // namespace

bool RobotsPolicy::Allowed(std::string_view address) {
    const std::string origin = RobotsOrigin(address);
    if (origin.empty()) return true;  // no host that could say anything
    auto rules = origins_.find(origin);
    if (rules == origins_.end()) {
        const auto [status, text] = fetch_(RobotsAddress(address));
        rules = origins_.emplace(origin, RobotsRules::FromAnswer(static_cast<int>(status), text, kAgent)).first;
    }
    return rules->second.Allowed(address);
}

}  // namespace veltrano
