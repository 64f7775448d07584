#include "event_stream.h"

#include <algorithm>
#include <chrono>

namespace tav::devhost {
namespace {

// Each client holds one of the server's threads.
constexpr std::size_t kMaxClients = 16;
// A client that reads nothing loses its oldest messages beyond this.
constexpr std::size_t kMaxQueued = 4096;
constexpr auto kKeepAlive = std::chrono::seconds(15);

std::string message(std::string_view event, std::string_view data) {
    std::string text;
    text.reserve(event.size() + data.size() + 16);
    text.append("event: ").append(event).append("\ndata: ").append(data).append("\n\n");
    return text;
}

}  // namespace

struct EventStream::Client {
    bool withLogs = false;
    std::deque<std::string> queue;
};

void EventStream::append(Client& client, std::string_view text) {
    if (client.queue.size() >= kMaxQueued) {
        client.queue.pop_front();
    }
    client.queue.emplace_back(text);
}

void EventStream::publish(std::string_view event, std::string_view data) {
    const std::string text = message(event, data);
    {
        std::lock_guard lock(mutex_);
        for (const auto& client : clients_) {
            append(*client, text);
        }
    }
    changed_.notify_all();
}

void EventStream::publishLog(std::string_view data) {
    const std::string text = message("log", data);
    {
        std::lock_guard lock(mutex_);
        for (const auto& client : clients_) {
            if (client->withLogs) {
                append(*client, text);
            }
        }
    }
    changed_.notify_all();
}

std::shared_ptr<EventStream::Client> EventStream::connect(bool withLogs) {
    std::lock_guard lock(mutex_);
    if (closed_ || clients_.size() >= kMaxClients) {
        return nullptr;
    }
    auto client = std::make_shared<Client>();
    client->withLogs = withLogs;
    clients_.push_back(client);
    return client;
}

void EventStream::sendTo(Client& client, std::string_view event, std::string_view data) {
    {
        std::lock_guard lock(mutex_);
        append(client, message(event, data));
    }
    changed_.notify_all();
}

bool EventStream::next(Client& client, std::string& out) {
    out.clear();
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, kKeepAlive, [&] { return closed_ || !client.queue.empty(); });
    if (closed_) {
        return false;
    }
    while (!client.queue.empty()) {
        out += client.queue.front();
        client.queue.pop_front();
    }
    return true;
}

void EventStream::disconnect(const std::shared_ptr<Client>& client) {
    std::lock_guard lock(mutex_);
    std::erase(clients_, client);
}

void EventStream::close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    changed_.notify_all();
}

}  // namespace tav::devhost
