// The Server-Sent Events of GET /events: every connected client has its own
// queue; publishing appends to every queue (log lines only to the clients
// that asked for them) and wakes the client's connection, which sends what
// is queued. A client that falls behind by more than kMaxQueuedBytes (it
// stopped reading) loses its queue for one last event saying why, and its
// stream ends.
//
// Every published event has an id that grows through the run, and the most
// recent ones are kept (kKeptEvents, kKeptBytes), so that a client coming
// back with the last id it saw (Last-Event-ID) gets what it missed. When
// the kept events no longer reach back that far, or the id is not one this
// run gave, it gets one "events-missed" event instead and goes on live.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "server/http_message.h"

namespace tav::devhost {

class EventStream {
public:
    static constexpr std::size_t kMaxClients = 16;
    static constexpr std::size_t kMaxQueuedBytes = 256 * 1024;
    // What is kept stays below a queue's bound, so that a resume never ends
    // the stream it resumes.
    static constexpr std::size_t kKeptEvents = 1024;
    static constexpr std::size_t kKeptBytes = 192 * 1024;

    class Client;

    // One "id: N\nevent: NAME\ndata: DATA\n\n" message; data must be one
    // line (JSON).
    void publish(std::string_view event, std::string_view data);
    // Only for clients connected with logs.
    void publishLog(std::string_view data);

    // A new client with greeting (an event without id, data) queued first,
    // then what it missed since lastEventId (when given): all at once, so
    // that nothing published meanwhile is lost or sent twice. Null when too
    // many are connected or the streams have been closed.
    std::shared_ptr<Client> connect(bool withLogs, std::string_view greeting, std::string_view data,
                                    std::optional<std::string_view> lastEventId = std::nullopt);
    // Ends every client's stream after what it has queued, leaving the
    // stream open to new ones; how many were connected.
    std::size_t dropClients();
    // Ends every client's stream (at shutdown).
    void close();

private:
    friend class Client;
    struct Kept {
        std::uint64_t id;
        bool log;
        std::string text;
    };
    void append(Client& client, std::string_view message);
    void disconnect(Client& client);
    void keep(bool log, std::string text);
    void resume(Client& client, std::string_view lastEventId);

    std::mutex mutex_;
    std::vector<Client*> clients_;
    bool closed_ = false;
    std::uint64_t lastId_ = 0;
    std::deque<Kept> kept_;
    std::size_t keptBytes_ = 0;
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
    bool dropped_ = false;
    bool gone_ = false;
    std::function<void()> wake_;
};

}  // namespace tav::devhost
