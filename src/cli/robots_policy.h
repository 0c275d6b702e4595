// --robots: the rules of each site's robots.txt, fetched once per origin
// before the first page of it is downloaded.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "parse/robots.h"

namespace veltrano {

// The most of a robots.txt that is read; the rules look at no more.
inline constexpr std::size_t kRobotsTextMax = 500 * 1024;

class RobotsPolicy {
public:
    // `fetch` brings a robots.txt: the status of the answer (0 for none) and its text.
    using Fetch = std::function<std::pair<long, std::string>(const std::string& address)>;
    explicit RobotsPolicy(Fetch fetch) : fetch_(std::move(fetch)) {}

    bool Allowed(std::string_view address);

private:
    Fetch fetch_;
    std::map<std::string, RobotsRules> origins_;
};

}  // namespace veltrano
