#include "monitor/monitor_server.h"

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <array>
#include <charconv>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include "listen_options.h"
#include "merge_patch.h"
#include "monitor/page.h"

namespace monitor {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;
using nlohmann::json;

namespace {

// With nothing to send, a stream gets a comment this often, which finds a client gone.
constexpr auto kHeartbeat = std::chrono::seconds(10);
constexpr auto kDrainLimit = std::chrono::seconds(1);

// A rack's bytes that are no UTF-8 (in a JSON error's text) are shown replaced, never
// allowed to stop the page.
std::string jsonText(const json& value) {
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace

class Connection;

struct MonitorServer::Impl {
    Impl(Snapshot snapshotOf, MonitorLimits limitsOf)
        : snapshot(std::move(snapshotOf)), limits(limitsOf) {}

    void accept();
    void startTicking();
    void tick();
    // Takes a fresh snapshot; when it differs from the last, the patch between them is
    // what every stream that has the last one is sent next.
    // False when no snapshot could be taken; the last one stays.
    bool refresh();
    void dropStream(const Connection* stream);

    Snapshot snapshot;
    MonitorLimits limits;
    std::size_t connections = 0;
    json state = json::object();
    std::string patchEvent;
    std::uint64_t version = 0;
    bool ticking = false;
    std::string url;
    std::uint16_t port = 0;
    // Declared after what the connections touch as they go, so that it is destroyed
    // before it, along with the connections its handlers still hold.
    net::io_context io{1};
    tcp::acceptor acceptor{io};
    net::steady_timer ticker{io};
    std::vector<std::shared_ptr<Connection>> streams;
    std::thread thread;
};

// One client connection: requests answered one after another, until it asks for the
// event stream, which it then keeps.
class Connection : public std::enable_shared_from_this<Connection> {
public:
    Connection(tcp::socket socket, MonitorServer::Impl& server)
        : stream_(std::move(socket)), server_(server), buffer_(server.limits.headerBytes + server.limits.bodyBytes) {
        ++server_.connections;
    }
    ~Connection() { --server_.connections; }

    void start() {
        if (server_.connections > server_.limits.connections + server_.limits.streams)
            return respond(http::status::service_unavailable, "Too many clients\n", "text/plain", false);
        readRequest();
    }

    // Sends the stream what it lacks of the newest state, if it is not still writing.
    void update() {
        if (writing_) return;
        if (sentVersion_ == server_.version) {
            if (std::chrono::steady_clock::now() - lastWrite_ < kHeartbeat) return;
            return writeEvent(std::make_shared<std::string>(": still here\n\n"));
        }
        auto text = std::make_shared<std::string>(
            sentVersion_ + 1 == server_.version
                ? server_.patchEvent
                : "data: " + jsonText(mergePatch(sent_, server_.state)) + "\n\n");
        sent_ = server_.state;
        sentVersion_ = server_.version;
        writeEvent(std::move(text));
    }

    void close() {
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
        stream_.close();
    }

private:
    void readRequest() {
        parser_.emplace();
        parser_->header_limit(static_cast<std::uint32_t>(server_.limits.headerBytes));
        parser_->body_limit(server_.limits.bodyBytes);
        stream_.expires_after(std::chrono::milliseconds(server_.limits.idleTimeoutMs));
        http::async_read(stream_, buffer_, *parser_,
                         [self = shared_from_this()](beast::error_code error, std::size_t) {
                             self->onRequest(error);
                         });
    }

    void onRequest(beast::error_code error) {
        if (error == http::error::header_limit || error == http::error::buffer_overflow)
            return respond(http::status::request_header_fields_too_large, "Request header too large\n",
                           "text/plain", false);
        if (error == http::error::body_limit)
            return respond(http::status::payload_too_large, "Request body too large\n", "text/plain", false);
        if (error == http::error::end_of_stream || error == beast::error::timeout ||
            error == net::error::operation_aborted || error == net::error::connection_reset ||
            error == net::error::eof)
            return close();
        if (error) return respond(http::status::bad_request, "Bad request\n", "text/plain", false);

        const auto& request = parser_->get();
        head_ = request.method() == http::verb::head;
        if (request.method() != http::verb::get && !head_)
            return respond(http::status::method_not_allowed, "Only GET\n", "text/plain", false);
        keepAlive_ = request.keep_alive();
        const std::string_view whole(request.target().data(), request.target().size());
        std::string_view target = whole;
        target = target.substr(0, target.find('?'));
        if (target == "/")
            return respond(http::status::ok, pageHtml(), "text/html; charset=utf-8", keepAlive_);
        if (target == "/api/state") {
            if (!server_.refresh())
                return respond(http::status::internal_server_error, "No state\n", "text/plain", false);
            return respond(http::status::ok, jsonText(server_.state), "application/json", keepAlive_);
        }
        if (target == "/api/events") return startStream();
        respond(http::status::not_found, "Not found\n", "text/plain", keepAlive_);
    }

    void respond(http::status status, const std::string& body, const char* type, bool keepAlive) {
        auto response = std::make_shared<http::response<http::string_body>>(status, 11);
        response->set(http::field::server, "orvendale-fs");
        response->set(http::field::content_type, type);
        response->set(http::field::cache_control, "no-store");
        if (status == http::status::method_not_allowed) response->set(http::field::allow, "GET, HEAD");
        response->keep_alive(keepAlive);
        if (!head_) response->body() = body;
        response->content_length(body.size());
        stream_.expires_after(std::chrono::milliseconds(server_.limits.writeTimeoutMs));
        http::async_write(stream_, *response,
                          [self = shared_from_this(), response, keepAlive](beast::error_code error, std::size_t) {
                              if (error) return self->close();
                              if (!keepAlive) return self->closeAfterReading();
                              self->readRequest();
                          });
    }

    // Ends the sending side and reads what the client still sends (the rest of a request
    // refused for its size) until it closes too, or a second has passed: closing with bytes
    // unread would reset the connection and could lose the answer on the way.
    void closeAfterReading() {
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
        stream_.expires_after(kDrainLimit);
        discard();
    }

    void discard() {
        stream_.async_read_some(net::buffer(drain_),
                                [self = shared_from_this()](beast::error_code error, std::size_t) {
                                    if (error) return self->close();
                                    self->discard();
                                });
    }

    void startStream() {
        if (server_.streams.size() >= server_.limits.streams)
            return respond(http::status::service_unavailable, "Too many clients\n", "text/plain", false);
        if (head_) return respond(http::status::ok, "", "text/event-stream", keepAlive_);
        server_.streams.push_back(shared_from_this());
        server_.refresh();
        sent_ = server_.state;
        sentVersion_ = server_.version;
        writeEvent(std::make_shared<std::string>(
            "HTTP/1.1 200 OK\r\nServer: orvendale-fs\r\nContent-Type: text/event-stream\r\n"
            "Cache-Control: no-store\r\nConnection: keep-alive\r\n\r\nretry: 2000\n\ndata: " +
            jsonText(server_.state) + "\n\n"));
        server_.startTicking();
    }

    void writeEvent(std::shared_ptr<std::string> text) {
        writing_ = true;
        lastWrite_ = std::chrono::steady_clock::now();
        stream_.expires_after(std::chrono::milliseconds(server_.limits.writeTimeoutMs));
        net::async_write(stream_, net::buffer(*text),
                         [self = shared_from_this(), text](beast::error_code error, std::size_t) {
                             self->writing_ = false;
                             if (error) {
                                 self->close();
                                 return self->server_.dropStream(self.get());
                             }
                             self->stream_.expires_never();
                         });
    }

    beast::tcp_stream stream_;
    MonitorServer::Impl& server_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    bool head_ = false;
    bool keepAlive_ = false;
    bool writing_ = false;
    json sent_;
    std::uint64_t sentVersion_ = 0;
    std::chrono::steady_clock::time_point lastWrite_;
    std::array<char, 4096> drain_{};
};

void MonitorServer::Impl::accept() {
    acceptor.async_accept([this](beast::error_code error, tcp::socket socket) {
        if (error == net::error::operation_aborted) return;
        if (!error) std::make_shared<Connection>(std::move(socket), *this)->start();
        accept();
    });
}

void MonitorServer::Impl::startTicking() {
    if (ticking) return;
    ticking = true;
    ticker.expires_after(std::chrono::milliseconds(1000 / limits.updatesPerSecond));
    ticker.async_wait([this](beast::error_code error) {
        ticking = false;
        if (!error) tick();
    });
}

// At most `updatesPerSecond` times a second, and only while a stream is open.
void MonitorServer::Impl::tick() {
    if (streams.empty()) return;
    refresh();
    // A stream may drop itself while being updated.
    const std::vector<std::shared_ptr<Connection>> current = streams;
    for (const auto& stream : current) stream->update();
    startTicking();
}

bool MonitorServer::Impl::refresh() {
    json next;
    try {
        next = snapshot();
    } catch (const std::exception&) {
        return false;
    }
    if (next == state) return true;
    patchEvent = "data: " + jsonText(mergePatch(state, next)) + "\n\n";
    state = std::move(next);
    ++version;
    return true;
}

void MonitorServer::Impl::dropStream(const Connection* stream) {
    std::erase_if(streams, [stream](const auto& held) { return held.get() == stream; });
}

std::optional<MonitorAddress> parseMonitorAddress(std::string_view text) {
    MonitorAddress address;
    std::string_view port = text;
    if (const auto colon = text.rfind(':'); colon != std::string_view::npos) {
        std::string_view host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
            host = host.substr(1, host.size() - 2);
        boost::system::error_code error;
        const auto parsed = net::ip::make_address(std::string(host), error);
        // Some systems' parsers also take the short forms ("1.2.3"); only a dotted quad is
        // an IPv4 address here, so the page listens where the option says on every system.
        if (host.empty() || error || (parsed.is_v4() && parsed.to_string() != host))
            return std::nullopt;
        address.host = std::string(host);
    }
    unsigned value = 0;
    const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (port.empty() || error != std::errc() || end != port.data() + port.size() || value > 65535)
        return std::nullopt;
    address.port = static_cast<std::uint16_t>(value);
    return address;
}

MonitorServer::MonitorServer(const MonitorAddress& address, Snapshot snapshot, MonitorLimits limits)
    : impl_(std::make_unique<Impl>(std::move(snapshot), limits)) {
    try {
        const tcp::endpoint endpoint(net::ip::make_address(address.host), address.port);
        impl_->acceptor.open(endpoint.protocol());
        setListenOptions(impl_->acceptor);
        impl_->acceptor.bind(endpoint);
        impl_->acceptor.listen();
    } catch (const boost::system::system_error& error) {
        throw std::runtime_error("cannot listen on " + address.host + ":" +
                                 std::to_string(address.port) + ": " + error.code().message());
    }
    const auto endpoint = impl_->acceptor.local_endpoint();
    const std::string host = endpoint.address().is_v6() ? "[" + endpoint.address().to_string() + "]"
                                                        : endpoint.address().to_string();
    impl_->url = "http://" + host + ":" + std::to_string(endpoint.port()) + "/";
    impl_->port = endpoint.port();
    impl_->accept();
    impl_->thread = std::thread([impl = impl_.get()] { impl->io.run(); });
}

MonitorServer::~MonitorServer() {
    impl_->io.stop();
    impl_->thread.join();
    for (const auto& stream : impl_->streams) stream->close();
    impl_->streams.clear();
}

std::uint16_t MonitorServer::port() const {
    return impl_->port;
}

std::string MonitorServer::url() const {
    return impl_->url;
}

}  // namespace monitor
