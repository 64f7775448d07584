#include "server/http_server.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <string_view>
#include <unordered_set>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/buffers_cat.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/chunk_encode.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/serializer.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>

#ifdef _WIN32
#include <winsock2.h>
#endif

#include "server/http_answers.h"
#include "server/security.h"

namespace tav::devhost {
namespace {

namespace asio = boost::asio;
namespace http = boost::beast::http;
using tcp = asio::ip::tcp;
using boost::system::error_code;

constexpr std::size_t kReadSize = 4096;
// After a refusal the rest of what the client sends is read and dropped for
// a moment, so that closing does not reset the connection before the
// client has read the answer.
constexpr auto kLingerTime = std::chrono::seconds(2);
constexpr auto kStreamKeepAlive = std::chrono::seconds(15);

struct HeadScan {
    int status = 0;         // 414 or 431 when the head breaks a limit
    bool complete = false;  // the empty line that ends the head has come
};

// Scans the head received so far, before the parser sees any of it (it
// sees only whole heads): a request line over its limit is 414; a header
// line over its limit, too many header lines or too long a head is 431, as
// soon as the bytes that break the limit have come. Beast's parser bounds
// only the whole head (header_limit, kept as a second guard) and answers
// every overrun alike; the request line's own limit (414 apart from 431),
// the per-line limit and the field count (kMaxRequestLineBytes,
// kMaxHeaderLineBytes, kMaxHeaderCount) need this scan.
HeadScan scanHead(std::string_view data) {
    std::size_t end = data.find('\n');
    if (end == data.npos) {
        return {data.size() > kMaxRequestLineBytes ? 414 : 0, false};
    }
    const auto lineLength = [&](std::size_t from, std::size_t to) {
        return to - from - (to > from && data[to - 1] == '\r' ? 1 : 0);
    };
    if (lineLength(0, end) > kMaxRequestLineBytes) {
        return {414, false};
    }
    std::size_t count = 0;
    for (std::size_t at = end + 1;; at = end + 1) {
        end = data.find('\n', at);
        if (end == data.npos) {
            const bool over = data.size() - at > kMaxHeaderLineBytes || data.size() > kMaxHeadBytes;
            return {over ? 431 : 0, false};
        }
        const std::size_t length = lineLength(at, end);
        if (length == 0) {
            return {end + 1 > kMaxHeadBytes ? 431 : 0, true};
        }
        if (++count > kMaxHeaderCount || length > kMaxHeaderLineBytes) {
            return {431, false};
        }
    }
}

// A header name or value that could end its line early is dropped rather
// than let an answer's text split the response.
bool safeHeaderText(std::string_view text) {
    for (const char c : text) {
        if (c == '\r' || c == '\n' || c == '\0') {
            return false;
        }
    }
    return true;
}

using Answer = http::response<http::string_body>;

// The head of an answer: its status line, its headers in order, then the
// framing. A body's length is set here, not taken from the body, so that
// an answer to HEAD keeps it without the bytes.
template <class Body>
void fillHead(http::response<Body>& answer, const HttpResponse& response, bool keepAlive,
              bool chunked) {
    answer.result(static_cast<unsigned>(response.status));
    answer.reason(reasonPhrase(response.status));
    for (const auto& [name, value] : response.headers) {
        if (safeHeaderText(name) && safeHeaderText(value) && !name.empty()) {
            answer.insert(name, value);
        }
    }
    if (chunked) {
        answer.chunked(true);
    } else if (response.status != 204 && response.status != 304 && response.status >= 200) {
        answer.content_length(response.body.size());
    }
    answer.keep_alive(keepAlive);
}

// An answer whose head and body go out in one write.
std::shared_ptr<Answer> makeAnswer(const HttpResponse& response, bool keepAlive, bool withBody) {
    auto answer = std::make_shared<Answer>();
    fillHead(*answer, response, keepAlive, false);
    if (withBody) {
        answer->body() = response.body;
    }
    return answer;
}

// The head of a streamed answer, written before its chunks.
struct StreamHead {
    http::response<http::empty_body> message;
    http::response_serializer<http::empty_body> serializer{message};
};

}  // namespace

class Connection;

struct HttpServer::Impl {
    Impl(Handler h, std::size_t workers) : handler(std::move(h)), pool(workers) {}
    // The connections still held by the I/O context's handlers end with it.
    ~Impl() { destroyed = true; }

    // Posts fn to the I/O thread unless serving has ended.
    void postToIo(std::function<void()> fn) {
        std::lock_guard lock(postMutex);
        if (!ioGone) {
            asio::post(io, std::move(fn));
        }
    }
    void accept();
    // Stops accepting, lets the answers being made go out, then ends.
    void beginStop();
    void connectionEnded(Connection& connection);

    // Declared in the order they may be destroyed in: the I/O context last,
    // since destroying it destroys the connections its handlers hold.
    Handler handler;
    std::atomic<std::size_t> connections{0};
    std::mutex postMutex;
    bool ioGone = false;
    // The I/O thread's own: the open connections, and whether serving ends.
    std::unordered_set<Connection*> live;
    bool stopping = false;
    bool destroyed = false;
    asio::io_context io{1};
    asio::thread_pool pool;
    tcp::acceptor acceptor{io};
    asio::steady_timer acceptRetry{io};
    asio::steady_timer stopDeadline{io};
};

class Connection : public std::enable_shared_from_this<Connection> {
public:
    Connection(HttpServer::Impl& server, tcp::socket socket)
        : server_(server),
          socket_(std::move(socket)),
          timer_(server.io),
          streamTimer_(server.io),
          holdTimer_(server.io) {
        server_.live.insert(this);
    }

    ~Connection() {
        if (stream_) {
            stream_->close();
        }
        server_.connectionEnded(*this);
    }

    void start() { readRequest(); }

    // Serving ends: a connection waiting for a request ends now; one whose
    // answer is being made closes once it is written; a stream ends when
    // its events are closed.
    void stopServing() {
        if (!busy_ && !stream_) {
            end();
        }
        // A held answer goes out now rather than hold the tool's end up.
        holdTimer_.cancel();
    }

private:
    enum class Deadline { Request, Write, Linger };

    // On a request's deadline the read is cancelled so that 408 can go out;
    // should the cancel miss (the read had just finished), the connection
    // ends a moment later all the same. Other deadlines end it at once.
    void arm(Deadline kind, std::chrono::steady_clock::duration after) {
        const std::uint64_t generation = ++deadlineGeneration_;
        timer_.expires_after(after);
        timer_.async_wait([weak = weak_from_this(), kind, generation](const error_code& ec) {
            const auto self = weak.lock();
            if (ec || self == nullptr || self->deadlineGeneration_ != generation) {
                return;
            }
            if (kind != Deadline::Request) {
                self->end();
                return;
            }
            self->timedOut_ = true;
            error_code ignored;
            self->socket_.cancel(ignored);
            self->arm(Deadline::Linger, std::chrono::seconds(1));
        });
    }

    void disarm() {
        ++deadlineGeneration_;
        timer_.cancel();
    }

    void end() {
        if (ended_) {
            return;
        }
        ended_ = true;
        error_code ignored;
        socket_.shutdown(tcp::socket::shutdown_both, ignored);
        socket_.close(ignored);
        timer_.cancel();
        streamTimer_.cancel();
        holdTimer_.cancel();
        if (stream_) {
            stream_->close();
        }
    }

    void readRequest() {
        busy_ = false;
        timedOut_ = false;
        parser_.emplace();
        parser_->header_limit(static_cast<std::uint32_t>(kMaxHeadBytes));
        parser_->body_limit(kMaxBodyBytes);
        arm(Deadline::Request, kRequestTime);
        readHead();
    }

    std::string_view received() const {
        return {static_cast<const char*>(buffer_.data().data()), buffer_.size()};
    }

    void readHead() {
        busy_ = busy_ || buffer_.size() > 0;
        if (timedOut_ && busy_) {
            refuse(408, "The request did not arrive in time");
            return;
        }
        if ((timedOut_ || server_.stopping) && !busy_) {
            end();
            return;
        }
        const HeadScan scan = scanHead(received());
        if (scan.status != 0) {
            refuse(scan.status, scan.status == 414
                                    ? "The request line is longer than 8192 bytes"
                                    : "More than 64 header fields, a header line longer than "
                                      "8192 bytes or a head longer than 65536 bytes");
            return;
        }
        if (scan.complete) {
            parseHead();
            return;
        }
        socket_.async_read_some(buffer_.prepare(kReadSize),
                                [self = shared_from_this()](const error_code& ec, std::size_t n) {
                                    self->buffer_.commit(n);
                                    if (!ec) {
                                        self->readHead();
                                    } else if (self->timedOut_ && self->buffer_.size() > 0) {
                                        self->refuse(408, "The request did not arrive in time");
                                    } else {
                                        self->end();  // closed, or idle past its time
                                    }
                                });
    }

    // The whole head has come: the parser takes it in one piece.
    void parseHead() {
        while (!parser_->is_header_done()) {
            error_code ec;
            const std::size_t used = parser_->put(buffer_.data(), ec);
            buffer_.consume(used);
            if (ec || used == 0) {
                refuseParse(ec ? ec : make_error_code(http::error::need_more));
                return;
            }
        }
        onHead();
    }

    void onHead() {
        if (const auto length = parser_->content_length(); length && *length > kMaxBodyBytes) {
            refuse(413, "The body is larger than 1048576 bytes");
            return;
        }
        const auto& fields = parser_->get();
        if (const auto expect = fields[http::field::expect];
            !expect.empty() && headerNameIs(expect, "100-continue") && !parser_->is_done()) {
            auto interim =
                std::make_shared<http::response<http::empty_body>>(http::status::continue_, 11);
            http::async_write(
                socket_, *interim,
                [self = shared_from_this(), interim](const error_code& ec, std::size_t) {
                    if (ec) {
                        self->end();
                    } else {
                        self->readBody();
                    }
                });
            return;
        }
        readBody();
    }

    void readBody() {
        if (parser_->is_done()) {
            dispatch();
            return;
        }
        http::async_read(
            socket_, buffer_, *parser_,
            [self = shared_from_this()](const error_code& ec, std::size_t) {
                if (!ec) {
                    self->dispatch();
                } else if (self->timedOut_) {
                    self->refuse(408, "The request did not arrive in time");
                } else if (ec == http::error::body_limit || ec == http::error::header_limit) {
                    self->refuseParse(ec);
                } else if (ec == http::error::end_of_stream || ec == asio::error::eof ||
                           ec == asio::error::connection_reset) {
                    self->end();
                } else {
                    self->refuseParse(ec);
                }
            });
    }

    void refuseParse(const error_code& ec) {
        if (ec == http::error::body_limit) {
            refuse(413, "The body is larger than 1048576 bytes");
        } else if (ec == http::error::header_limit) {
            refuse(431, "The head of the request is larger than 65536 bytes");
        } else {
            refuse(400, "Malformed request: " + ec.message());
        }
    }

    void dispatch() {
        disarm();
        auto message = parser_->release();
        parser_.reset();
        HttpRequest request;
        request.method = message.method_string();
        request.target = message.target();
        for (const auto& field : message) {
            request.headers.emplace_back(field.name_string(), field.value());
        }
        request.body = std::move(message.body());
        keepAlivePlanned_ = message.keep_alive() && !server_.stopping;
        head_ = message.method() == http::verb::head;
        // The connection is only ever released on the I/O thread, which
        // alone touches its sockets and the server's list of connections.
        asio::post(
            server_.pool, [self = shared_from_this(), request = std::move(request)]() mutable {
                HttpResponse response;
                try {
                    response = self->server_.handler(request);
                } catch (const std::exception& e) {
                    response = errorResponse(500, e.what());
                } catch (...) {
                    response = errorResponse(500, "Internal error");
                }
                HttpServer::Impl& server = self->server_;
                server.postToIo([self = std::move(self), response = std::move(response)]() mutable {
                    self->respond(std::move(response));
                });
            });
    }

    void respond(HttpResponse response) {
        if (response.hold.count() > 0 && !server_.stopping) {
            const auto hold = response.hold;
            response.hold = {};
            holdTimer_.expires_after(hold);
            holdTimer_.async_wait([self = shared_from_this(),
                                   response = std::move(response)](const error_code&) mutable {
                if (!self->ended_) {
                    self->respond(std::move(response));
                }
            });
            return;
        }
        if (response.stream) {
            if (!head_) {
                startStream(std::move(response));
                return;
            }
            response.stream->close();
        }
        const bool keepAlive = keepAlivePlanned_ && !server_.stopping;
        send(makeAnswer(response, keepAlivePlanned_, !head_),
             keepAlive ? After::NextRequest : After::Close);
    }

    enum class After { NextRequest, Close, Linger };

    void send(std::shared_ptr<Answer> answer, After after) {
        arm(Deadline::Write, kWriteTime);
        http::async_write(
            socket_, *answer,
            [self = shared_from_this(), answer, after](const error_code& ec, std::size_t) {
                self->disarm();
                if (ec || after == After::Close) {
                    self->end();
                } else if (after == After::Linger) {
                    self->linger();
                } else {
                    self->readRequest();
                }
            });
    }

    // Answers a request that cannot be served and closes the connection.
    void refuse(int status, std::string_view message) {
        const HttpResponse response = errorResponse(status, message);
        send(makeAnswer(response, false, true), After::Linger);
    }

    void linger() {
        error_code ignored;
        socket_.shutdown(tcp::socket::shutdown_send, ignored);
        arm(Deadline::Linger, kLingerTime);
        readToEnd();
    }

    // Begins a write of the stream; the handler that ends it, holding keep
    // (what the write's buffers point into) until then.
    auto streamWrite(std::shared_ptr<const void> keep) {
        writing_ = true;
        arm(Deadline::Write, kWriteTime);
        return
            [self = shared_from_this(), keep = std::move(keep)](const error_code& ec, std::size_t) {
                self->writing_ = false;
                self->disarm();
                if (ec || self->streamEnded_) {
                    self->end();
                } else {
                    self->pump();
                }
            };
    }

    void startStream(HttpResponse response) {
        stream_ = std::move(response.stream);
        stream_->setWake([&server = server_, weak = weak_from_this()] {
            server.postToIo([weak] {
                if (const auto self = weak.lock()) {
                    self->pump();
                }
            });
        });
        auto head = std::make_shared<StreamHead>();
        fillHead(head->message, response, false, true);
        http::async_write_header(socket_, head->serializer, streamWrite(head));
        readToEnd();
        keepStreamAlive();
    }

    // Reads and drops what the client sends until its end: after a refusal,
    // and on a stream, whose client sends nothing more and whose read ends
    // when the client has gone.
    void readToEnd() {
        buffer_.clear();
        socket_.async_read_some(buffer_.prepare(kReadSize),
                                [self = shared_from_this()](const error_code& ec, std::size_t) {
                                    if (ec) {
                                        self->end();
                                    } else {
                                        self->readToEnd();
                                    }
                                });
    }

    void keepStreamAlive() {
        streamTimer_.expires_after(kStreamKeepAlive);
        streamTimer_.async_wait([self = shared_from_this()](const error_code& ec) {
            if (ec || self->ended_) {
                return;
            }
            if (!self->writing_) {
                static constexpr std::string_view kComment = ": keep-alive\n\n";
                asio::async_write(self->socket_,
                                  http::make_chunk(asio::buffer(kComment.data(), kComment.size())),
                                  self->streamWrite(nullptr));
            }
            self->keepStreamAlive();
        });
    }

    void pump() {
        if (writing_ || ended_ || streamEnded_) {
            return;
        }
        auto data = std::make_shared<std::string>();
        const bool more = stream_->take(*data);
        streamEnded_ = !more;
        // A chunk of no bytes would end the body: an empty part is no chunk.
        const auto part = http::make_chunk(asio::buffer(*data));
        if (!data->empty() && more) {
            asio::async_write(socket_, part, streamWrite(data));
        } else if (!data->empty()) {
            asio::async_write(socket_, boost::beast::buffers_cat(part, http::make_chunk_last()),
                              streamWrite(data));
        } else if (!more) {
            asio::async_write(socket_, http::make_chunk_last(), streamWrite(nullptr));
        }
    }

    HttpServer::Impl& server_;
    tcp::socket socket_;
    asio::steady_timer timer_;
    asio::steady_timer streamTimer_;
    asio::steady_timer holdTimer_;
    std::uint64_t deadlineGeneration_ = 0;
    bool timedOut_ = false;
    bool ended_ = false;
    boost::beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    bool busy_ = false;  // a request has begun to arrive
    bool keepAlivePlanned_ = true;
    bool head_ = false;
    std::shared_ptr<BodyStream> stream_;
    bool writing_ = false;
    bool streamEnded_ = false;
};

void HttpServer::Impl::beginStop() {
    if (stopping) {
        return;
    }
    stopping = true;
    error_code ignored;
    acceptor.close(ignored);
    acceptRetry.cancel();
    // Whatever has not ended by then is cut off.
    stopDeadline.expires_after(std::chrono::seconds(2));
    stopDeadline.async_wait([this](const error_code& ec) {
        if (!ec) {
            io.stop();
        }
    });
    for (Connection* connection : std::vector<Connection*>(live.begin(), live.end())) {
        connection->stopServing();
    }
    if (live.empty()) {
        io.stop();
    }
}

void HttpServer::Impl::connectionEnded(Connection& connection) {
    --connections;
    if (destroyed) {
        return;
    }
    live.erase(&connection);
    if (stopping && live.empty()) {
        io.stop();
    }
}

void HttpServer::Impl::accept() {
    acceptor.async_accept([this](const error_code& ec, tcp::socket socket) {
        if (!acceptor.is_open()) {
            return;
        }
        if (ec) {
            // Out of descriptors: wait for connections to end instead of
            // spinning on the listener.
            acceptRetry.expires_after(std::chrono::milliseconds(50));
            acceptRetry.async_wait([this](const error_code&) { accept(); });
            return;
        }
        if (connections.load() >= kMaxConnections) {
            error_code ignored;
            socket.close(ignored);
        } else {
            // Answers go out in one write each, but a stream's parts and a
            // 100 Continue must not wait for the client's acknowledgement.
            error_code ignored;
            socket.set_option(tcp::no_delay(true), ignored);
            ++connections;
            std::make_shared<Connection>(*this, std::move(socket))->start();
        }
        accept();
    });
}

HttpServer::HttpServer(Handler handler, std::size_t workers)
    : impl_(std::make_unique<Impl>(std::move(handler), workers)) {}

HttpServer::~HttpServer() {
    stop();
    impl_->pool.join();
}

std::uint16_t HttpServer::listen(std::uint16_t port, std::string& error) {
    const tcp::endpoint endpoint(asio::ip::make_address_v4("127.0.0.1"), port);
    tcp::acceptor& acceptor = impl_->acceptor;
    error_code ec;
    acceptor.open(endpoint.protocol(), ec);
    if (!ec) {
#ifdef _WIN32
        // Windows lets a second socket take a port that allows reuse.
        BOOL exclusive = TRUE;
        setsockopt(acceptor.native_handle(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                   reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
#else
        // Lets a restart take a port whose old connections linger; a
        // second listener still cannot bind it.
        acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
#endif
    }
    if (!ec) {
        acceptor.bind(endpoint, ec);
    }
    if (!ec) {
        acceptor.listen(asio::socket_base::max_listen_connections, ec);
    }
    if (ec) {
        error = ec == asio::error::address_in_use
                    ? "port " + std::to_string(port) + " is in use"
                    : "cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + ec.message();
        error_code ignored;
        acceptor.close(ignored);
        return 0;
    }
    return acceptor.local_endpoint().port();
}

void HttpServer::run() {
    impl_->accept();
    impl_->io.run();
    {
        std::lock_guard lock(impl_->postMutex);
        impl_->ioGone = true;
    }
    impl_->pool.stop();
    impl_->pool.join();
}

void HttpServer::stop() {
    Impl& impl = *impl_;
    impl.postToIo([&impl] { impl.beginStop(); });
}

}  // namespace tav::devhost
