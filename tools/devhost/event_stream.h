// The Server-Sent Events of GET /events: every connected client has its own
// queue of messages; publishing appends to every queue (log lines only to the
// clients that asked for them), and each client's connection thread takes
// its messages from there.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tav::devhost {

class EventStream {
public:
    struct Client;

    // One "event: NAME\ndata: DATA\n\n" message; data must be one line (JSON).
    void publish(std::string_view event, std::string_view data);
    // Only for clients connected with logs.
    void publishLog(std::string_view data);

    // A new client, or null when too many are connected.
    std::shared_ptr<Client> connect(bool withLogs);
    // Queues a message for one client only (its greeting).
    void sendTo(Client& client, std::string_view event, std::string_view data);
    // The client's next messages, waiting up to a while for one: empty text
    // when none came (send a keep-alive), false once the stream is closed.
    bool next(Client& client, std::string& out);
    void disconnect(const std::shared_ptr<Client>& client);
    // Ends every client's stream (at shutdown).
    void close();

private:
    void append(Client& client, std::string_view message);

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::shared_ptr<Client>> clients_;
    bool closed_ = false;
};

}  // namespace tav::devhost
