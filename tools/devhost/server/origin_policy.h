// Which web pages may use the tool. Any page the browser opens can send
// requests to loopback; the tool serves its own origin, the origins the user
// allowed, and requests that come from no page at all (curl, scripts).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tav::devhost {

// "scheme://host[:port]" in lower case, or nullopt when text is not an
// http or https origin (no path, no "*", no "null").
std::optional<std::string> normaliseOrigin(std::string_view text);

struct OriginVerdict {
    bool served = false;
    // The origin to name in Access-Control-Allow-Origin; empty for the
    // tool's own origin and for requests without one.
    std::string corsOrigin;
    std::string refusal;  // why not, when not served
};

class OriginPolicy {
public:
    // allowed: origins as normaliseOrigin returns them.
    explicit OriginPolicy(std::vector<std::string> allowed = {});

    void setPort(std::uint16_t port);

    // origin: the Origin header, or nullopt without one; fetchSite: the
    // Sec-Fetch-Site header, empty without one. Control routes serve the
    // tool's own origin only.
    OriginVerdict judge(const std::optional<std::string_view>& origin, std::string_view fetchSite,
                        bool controlRoute) const;

private:
    bool own(std::string_view origin) const;

    std::vector<std::string> allowed_;
    std::string ownNumeric_;
    std::string ownNamed_;
};

}  // namespace tav::devhost
