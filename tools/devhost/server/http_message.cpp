#include "server/http_message.h"

namespace tav::devhost {

bool headerNameIs(std::string_view name, std::string_view wanted) {
    if (name.size() != wanted.size()) {
        return false;
    }
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto lower = [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
        };
        if (lower(name[i]) != lower(wanted[i])) {
            return false;
        }
    }
    return true;
}

std::optional<std::string_view> HttpRequest::header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
        if (headerNameIs(key, name)) {
            return value;
        }
    }
    return std::nullopt;
}

std::size_t HttpRequest::headerCount(std::string_view name) const {
    std::size_t count = 0;
    for (const auto& header : headers) {
        count += headerNameIs(header.first, name) ? 1 : 0;
    }
    return count;
}

void HttpResponse::setHeader(std::string name, std::string value) {
    for (auto& header : headers) {
        if (headerNameIs(header.first, name)) {
            header.second = std::move(value);
            return;
        }
    }
    headers.emplace_back(std::move(name), std::move(value));
}

void HttpResponse::setContent(std::string content, std::string contentType) {
    body = std::move(content);
    setHeader("Content-Type", std::move(contentType));
}

}  // namespace tav::devhost
