#include "server/event_stream.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace tav::devhost {
namespace {

// Without an id the client's last id stays as it was.
std::string message(std::string_view event, std::string_view data,
                    std::optional<std::uint64_t> id = std::nullopt) {
    std::string text;
    text.reserve(event.size() + data.size() + 40);
    if (id) {
        text.append("id: ").append(std::to_string(*id)).append("\n");
    }
    text.append("event: ").append(event).append("\ndata: ").append(data).append("\n\n");
    return text;
}

std::optional<std::uint64_t> eventId(std::string_view text) {
    std::uint64_t id = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), id);
    if (ec != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return id;
}

}  // namespace

void EventStream::Client::wakeLocked() {
    if (wake_) {
        wake_();
    }
}

void EventStream::Client::setWake(std::function<void()> wake) {
    std::lock_guard lock(owner_.mutex_);
    wake_ = std::move(wake);
    wakeLocked();
}

bool EventStream::Client::take(std::string& out) {
    std::lock_guard lock(owner_.mutex_);
    out.append(queued_);
    // A queue that grew while the client was slow gives its memory back.
    std::string().swap(queued_);
    return !fellBehind_ && !dropped_ && !owner_.closed_ && !gone_;
}

void EventStream::Client::close() {
    owner_.disconnect(*this);
}

void EventStream::disconnect(Client& client) {
    bool trim = false;
    {
        std::lock_guard lock(mutex_);
        if (client.gone_) {
            return;
        }
        client.gone_ = true;
        client.wake_ = nullptr;
        trim = client.fellBehind_;
        std::erase(clients_, &client);
    }
#ifdef __GLIBC__
    // What a stalled client's queue held returns to the system, not only to
    // the allocator's free lists.
    if (trim) {
        malloc_trim(0);
    }
#else
    (void)trim;
#endif
}

void EventStream::append(Client& client, std::string_view text) {
    if (client.fellBehind_ || client.dropped_ || client.gone_) {
        return;
    }
    if (client.queued_.size() + text.size() > kMaxQueuedBytes) {
        client.fellBehind_ = true;
        client.queued_ =
            message("stream-closed", R"({"reason":"This client fell more than )" +
                                         std::to_string(kMaxQueuedBytes) +
                                         R"( bytes of events behind; connect again to go on"})");
        std::fprintf(stderr, "tav-devhost: ended an event stream that fell %zu bytes behind\n",
                     kMaxQueuedBytes);
    } else {
        client.queued_.append(text);
    }
    client.wakeLocked();
}

void EventStream::keep(bool log, std::string text) {
    keptBytes_ += text.size();
    kept_.push_back({lastId_, log, std::move(text)});
    while (kept_.size() > kKeptEvents || keptBytes_ > kKeptBytes) {
        keptBytes_ -= kept_.front().text.size();
        kept_.pop_front();
    }
}

void EventStream::publish(std::string_view event, std::string_view data) {
    std::lock_guard lock(mutex_);
    std::string text = message(event, data, ++lastId_);
    for (Client* client : clients_) {
        append(*client, text);
    }
    keep(false, std::move(text));
}

void EventStream::publishLog(std::string_view data) {
    std::lock_guard lock(mutex_);
    std::string text = message("log", data, ++lastId_);
    for (Client* client : clients_) {
        if (client->withLogs_) {
            append(*client, text);
        }
    }
    keep(true, std::move(text));
}

void EventStream::resume(Client& client, std::string_view lastEventId) {
    const std::uint64_t firstKept = kept_.empty() ? lastId_ + 1 : kept_.front().id;
    const std::optional<std::uint64_t> last = eventId(lastEventId);
    if (last && *last <= lastId_ && *last + 1 >= firstKept) {
        for (const Kept& kept : kept_) {
            if (kept.id > *last && (!kept.log || client.withLogs_)) {
                append(client, kept.text);
            }
        }
        return;
    }
    // Its id is the latest, so that the client's next return resumes from
    // here.
    const std::string reason = last && *last <= lastId_
                                   ? "The events after this id are no longer kept"
                                   : "This id is not one of this run's events";
    const std::string given = last ? std::to_string(*last) : "null";
    append(client, message("events-missed",
                           R"({"lastEventId":)" + given + R"(,"firstKeptId":)" +
                               std::to_string(firstKept) + R"(,"reason":")" + reason +
                               R"(; read the state again, events go on from here"})",
                           lastId_));
}

std::shared_ptr<EventStream::Client> EventStream::connect(
    bool withLogs, std::string_view greeting, std::string_view data,
    std::optional<std::string_view> lastEventId) {
    std::lock_guard lock(mutex_);
    if (closed_ || clients_.size() >= kMaxClients) {
        return nullptr;
    }
    auto client = std::make_shared<Client>(*this, withLogs);
    clients_.push_back(client.get());
    append(*client, message(greeting, data));
    if (lastEventId) {
        resume(*client, *lastEventId);
    }
    return client;
}

std::size_t EventStream::dropClients() {
    std::lock_guard lock(mutex_);
    const std::size_t dropped = clients_.size();
    for (Client* client : clients_) {
        client->dropped_ = true;
        client->wakeLocked();
    }
    clients_.clear();
    return dropped;
}

void EventStream::close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    for (Client* client : clients_) {
        client->wakeLocked();
    }
}

}  // namespace tav::devhost
