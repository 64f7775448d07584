#include "server/origin_policy.h"

#include <algorithm>

namespace tav::devhost {
namespace {

std::string lowerCase(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c + ('a' - 'A'));
        }
    }
    return out;
}

bool hostCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '[' ||
           c == ']' || c == ':';
}

}  // namespace

std::optional<std::string> normaliseOrigin(std::string_view text) {
    const std::string origin = lowerCase(text);
    std::string_view rest = origin;
    if (rest.starts_with("http://")) {
        rest.remove_prefix(7);
    } else if (rest.starts_with("https://")) {
        rest.remove_prefix(8);
    } else {
        return std::nullopt;
    }
    if (rest.empty() || rest.front() == ':' ||
        !std::all_of(rest.begin(), rest.end(), hostCharacter)) {
        return std::nullopt;
    }
    // A port, when given, is digits after the last colon outside brackets.
    if (const std::size_t colon = rest.rfind(':');
        colon != rest.npos && rest.find(']') == rest.npos) {
        const std::string_view port = rest.substr(colon + 1);
        if (port.empty() || port.size() > 5 ||
            !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
            rest.substr(0, colon).find(':') != rest.npos) {
            return std::nullopt;
        }
    }
    return origin;
}

OriginPolicy::OriginPolicy(std::vector<std::string> allowed) : allowed_(std::move(allowed)) {}

void OriginPolicy::setPort(std::uint16_t port) {
    ownNumeric_ = "http://127.0.0.1:" + std::to_string(port);
    ownNamed_ = "http://localhost:" + std::to_string(port);
}

bool OriginPolicy::own(std::string_view origin) const {
    return origin == ownNumeric_ || origin == ownNamed_;
}

OriginVerdict OriginPolicy::judge(const std::optional<std::string_view>& origin,
                                  std::string_view fetchSite, bool controlRoute) const {
    OriginVerdict verdict;
    if (!origin) {
        // Browsers send Sec-Fetch-Site where they leave Origin out (a GET
        // from an image or a script tag); curl and scripts send neither.
        const std::string site = lowerCase(fetchSite);
        verdict.served = site.empty() || site == "same-origin" || site == "none";
        if (!verdict.served) {
            verdict.refusal = "A request from another site (Sec-Fetch-Site: " + site +
                              ") may not use this server";
        }
        return verdict;
    }
    const std::string normalised = lowerCase(*origin);
    if (own(normalised)) {
        verdict.served = true;
        return verdict;
    }
    const bool allowed = std::find(allowed_.begin(), allowed_.end(), normalised) != allowed_.end();
    if (allowed && !controlRoute) {
        verdict.served = true;
        verdict.corsOrigin = normalised;
        return verdict;
    }
    const std::string named(*origin);
    if (allowed) {
        verdict.refusal = "The control routes answer only this server's own page, not " + named;
    } else if (normaliseOrigin(named)) {
        verdict.refusal = "Origin " + named +
                          " may not use this server; start tav-devhost with --allow-origin " +
                          named + " to let its pages use the API";
    } else {
        verdict.refusal = "Origin " + named + " may not use this server";
    }
    return verdict;
}

}  // namespace tav::devhost
