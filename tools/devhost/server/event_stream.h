// The Server-Sent Events of GET /events: every connected client has its own
// queue; publishing appends to every queue (log lines only to the clients
// that asked for them) and wakes the client's connection, which sends what
// is queued. A client that falls behind by more than kMaxQueuedBytes (it
// stopped reading) loses its queue for one last event saying why, and its
// stream ends.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "server/http_message.h"

namespace tav::devhost {

class EventStream {
public:
    static constexpr std::size_t kMaxClients = 16;
    static constexpr std::size_t kMaxQueuedBytes = 256 * 1024;

    class Client;

    // One "event: NAME\ndata: DATA\n\n" message; data must be one line (JSON).
    void publish(std::string_view event, std::string_view data);
    // Only for clients connected with logs.
    void publishLog(std::string_view data);

    // A new client, or null when too many are connected or the streams
    // have been closed.
    std::shared_ptr<Client> connect(bool withLogs);
    // Queues a message for one client only (its greeting).
    void sendTo(Client& client, std::string_view event, std::string_view data);
    // Ends every client's stream (at shutdown).
    void close();

private:
    friend class Client;
    void append(Client& client, std::string_view message);
    void disconnect(Client& client);

    std::mutex mutex_;
    std::vector<Client*> clients_;
    bool closed_ = false;
};

class EventStream::Client final : public BodyStream {
public:
    Client(EventStream& owner, bool withLogs) : owner_(owner), withLogs_(withLogs) {}
    ~Client() override { close(); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    void setWake(std::function<void()> wake) override;
    bool take(std::string& out) override;
    void close() override;

private:
    friend class EventStream;
    void wakeLocked();

    EventStream& owner_;
    const bool withLogs_;
    std::string queued_;
    bool fellBehind_ = false;
    bool gone_ = false;
    std::function<void()> wake_;
};

}  // namespace tav::devhost
