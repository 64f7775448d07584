#include "server/event_stream.h"

#include <algorithm>
#include <cstdio>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace tav::devhost {
namespace {

std::string message(std::string_view event, std::string_view data) {
    std::string text;
    text.reserve(event.size() + data.size() + 16);
    text.append("event: ").append(event).append("\ndata: ").append(data).append("\n\n");
    return text;
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
    return !fellBehind_ && !owner_.closed_ && !gone_;
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
    if (client.fellBehind_ || client.gone_) {
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

void EventStream::publish(std::string_view event, std::string_view data) {
    const std::string text = message(event, data);
    std::lock_guard lock(mutex_);
    for (Client* client : clients_) {
        append(*client, text);
    }
}

void EventStream::publishLog(std::string_view data) {
    const std::string text = message("log", data);
    std::lock_guard lock(mutex_);
    for (Client* client : clients_) {
        if (client->withLogs_) {
            append(*client, text);
        }
    }
}

std::shared_ptr<EventStream::Client> EventStream::connect(bool withLogs) {
    std::lock_guard lock(mutex_);
    if (closed_ || clients_.size() >= kMaxClients) {
        return nullptr;
    }
    auto client = std::make_shared<Client>(*this, withLogs);
    clients_.push_back(client.get());
    return client;
}

void EventStream::sendTo(Client& client, std::string_view event, std::string_view data) {
    std::lock_guard lock(mutex_);
    append(client, message(event, data));
}

void EventStream::close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    for (Client* client : clients_) {
        client->wakeLocked();
    }
}

}  // namespace tav::devhost
