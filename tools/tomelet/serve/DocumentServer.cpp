#include "tools/tomelet/serve/DocumentServer.h"

// Boost 1.74's asio uses std::exchange without including <utility> itself.
// clang-format off
#include <utility>
// clang-format on

#include <algorithm>
#include <boost/asio.hpp>
#include <boost/beast.hpp>
#include <chrono>
#include <csignal>
#include <list>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <vector>

#include "tools/tomelet/serve/ConnectionLimit.h"
#include "tools/tomelet/serve/DocumentSite.h"

namespace tomelet::serve {

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

// An idle keep-alive connection, or a client that sends too slowly, is let go after this.
constexpr auto kIdleTimeout = std::chrono::seconds(60);
// GET and HEAD carry no body worth reading; anything larger is refused by the parser.
constexpr std::uint64_t kRequestBodyLimit = 65536;

// A reply body that pulls its pieces from the site's body source as the socket takes them.
struct TSourceBody {
  using value_type = std::unique_ptr<TBodySource>;

  class writer {
   public:
    using const_buffers_type = asio::const_buffer;

    template <bool isRequest, class Fields>
    writer(const http::header<isRequest, Fields>&, const value_type& body) : body_(body) {}

    void init(beast::error_code& ec) { ec = {}; }

    boost::optional<std::pair<const_buffers_type, bool>> get(beast::error_code& ec) {
      ec = {};
      if (!body_) {
        return boost::none;
      }
      try {
        const auto piece = body_->Next();
        if (piece.empty()) {
          return boost::none;
        }
        return std::make_pair(const_buffers_type(piece.data(), piece.size()), true);
      } catch (const std::exception&) {
        // Damaged data found after the header went out: the connection is closed, which the
        // client sees as a cut reply rather than as wrong bytes.
        ec = make_error_code(beast::errc::io_error);
        return boost::none;
      }
    }

   private:
    const value_type& body_;
  };
};

using TResponse = http::response<TSourceBody>;

std::string_view View(beast::string_view text) {
  return {text.data(), text.size()};
}

TResponse ToBeast(TSiteResponse site, unsigned version, bool keepAlive, bool headOnly) {
  TResponse response{static_cast<http::status>(site.Status), version};
  for (auto& [name, value] : site.Headers) {
    response.set(name, value);
  }
  response.set(http::field::server, "tomelet");
  if (site.Status != 304) {
    response.content_length(static_cast<std::uint64_t>(site.ContentLength));
  }
  if (!headOnly) {
    response.body() = std::move(site.Body);
  }
  response.keep_alive(keepAlive);
  return response;
}

class TSession : public TIdleConnection, public std::enable_shared_from_this<TSession> {
 public:
  TSession(tcp::socket socket, const TDocumentSite& site, const TServerSettings& settings,
           TConnectionLimit& limit)
      : stream_(std::move(socket)), site_(site), settings_(settings), limit_(limit) {}
  ~TSession() override { limit_.Leave(*this); }

  // Closes the connection on its own strand; the pending read then ends.
  void Drop() override {
    asio::post(stream_.get_executor(), [self = shared_from_this()] {
      beast::error_code ignored;
      self->stream_.socket().close(ignored);
    });
  }

  // Counted as waiting at once, so that a burst of new connections can make room before their
  // loops have run; the first read starts on the connection's own loop, the only one that
  // touches it from then on.
  void Start() {
    limit_.Waiting(shared_from_this());
    asio::post(stream_.get_executor(), [self = shared_from_this()] { self->ReadRequest(); });
  }

 private:
  void ReadRequest() {
    limit_.Waiting(shared_from_this());
    parser_.emplace();
    parser_->body_limit(kRequestBodyLimit);
    stream_.expires_after(kIdleTimeout);
    http::async_read(stream_, buffer_, *parser_,
                     [self = shared_from_this()](beast::error_code ec, std::size_t) {
                       if (!ec) {
                         self->Answer();
                       }
                     });
  }

  void Answer() {
    limit_.Busy(*this);
    const auto& request = parser_->get();
    const TSiteRequest siteRequest{
        .Method = View(request.method_string()),
        .Target = View(request.target()),
        .AcceptEncoding = View(request[http::field::accept_encoding]),
        .IfNoneMatch = View(request[http::field::if_none_match]),
        .Range = View(request[http::field::range]),
        .IfRange = View(request[http::field::if_range]),
    };
    TSiteResponse site = site_.Respond(siteRequest);
    if (settings_.OnRequest) {
      settings_.OnRequest({std::string(siteRequest.Method), std::string(siteRequest.Target),
                           site.Status, site.ContentLength});
    }
    response_ = ToBeast(std::move(site), request.version(), request.keep_alive(),
                        request.method() == http::verb::head);
    http::async_write(
        stream_, *response_,
        [self = shared_from_this()](beast::error_code ec, std::size_t) { self->AfterWrite(ec); });
  }

  void AfterWrite(beast::error_code ec) {
    const bool keepAlive = response_->keep_alive();
    response_.reset();
    if (ec || !keepAlive) {
      beast::error_code ignored;
      stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
      return;
    }
    ReadRequest();
  }

  beast::tcp_stream stream_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  std::optional<TResponse> response_;
  const TDocumentSite& site_;
  const TServerSettings& settings_;
  TConnectionLimit& limit_;
};

unsigned ThreadCount(unsigned asked) {
  if (asked > 0) {
    return asked;
  }
  return std::max(2u, std::thread::hardware_concurrency());
}

}  // namespace

// One event loop per thread, each connection living on one of them: no loop is shared, so
// threads never contend for a loop's queue or wake each other for work that is not theirs.
struct TDocumentServer::Impl {
  using TWorkGuard = asio::executor_work_guard<asio::io_context::executor_type>;

  Impl(const TDocumentSite& site, TServerSettings settings)
      : site(site),
        settings(std::move(settings)),
        loops(MakeLoops(ThreadCount(this->settings.Threads))),
        acceptor(*loops.front()),
        signals(*loops.front()),
        retry(*loops.front()) {}

  static std::vector<std::unique_ptr<asio::io_context>> MakeLoops(unsigned count) {
    std::vector<std::unique_ptr<asio::io_context>> made;
    for (unsigned i = 0; i < count; ++i) {
      made.push_back(std::make_unique<asio::io_context>(1));
    }
    return made;
  }

  void Bind() {
    const tcp::endpoint endpoint(asio::ip::make_address(settings.Host), settings.Port);
    acceptor.open(endpoint.protocol());
    acceptor.set_option(asio::socket_base::reuse_address(true));
    acceptor.bind(endpoint);
    acceptor.listen(asio::socket_base::max_listen_connections);
  }

  asio::io_context& NextLoop() {
    nextLoop = (nextLoop + 1) % loops.size();
    return *loops[nextLoop];
  }

  void Accept() {
    acceptor.async_accept(NextLoop(), [this](beast::error_code ec, tcp::socket socket) {
      if (ec == asio::error::operation_aborted) {
        return;
      }
      if (ec) {
        // Out of descriptors (or any other refusal): make room and wait before trying again,
        // instead of spinning on an accept that keeps failing.
        limit.DropOldestWaiting();
        retry.expires_after(backOff);
        backOff = std::min(backOff * 2, kLongestBackOff);
        retry.async_wait([this](beast::error_code waited) {
          if (!waited) {
            Accept();
          }
        });
        return;
      }
      backOff = kShortestBackOff;
      if (!limit.Admit()) {
        beast::error_code ignored;
        socket.close(ignored);
      } else {
        socket.set_option(tcp::no_delay(true), ec);
        std::make_shared<TSession>(std::move(socket), site, settings, limit)->Start();
      }
      Accept();
    });
  }

  static constexpr auto kShortestBackOff = std::chrono::milliseconds(10);
  static constexpr auto kLongestBackOff = std::chrono::milliseconds(1000);

  const TDocumentSite& site;
  TServerSettings settings;
  // Before the event loops, so sessions that the loops destroy still find it.
  TConnectionLimit limit{settings.MaxConnections};
  std::vector<std::unique_ptr<asio::io_context>> loops;
  std::vector<TWorkGuard> keepRunning;
  std::size_t nextLoop = 0;
  tcp::acceptor acceptor;
  asio::signal_set signals;
  asio::steady_timer retry;
  std::chrono::milliseconds backOff = kShortestBackOff;
  std::vector<std::thread> threads;
};

TDocumentServer::TDocumentServer(const TDocumentSite& site, TServerSettings settings)
    : impl_(std::make_unique<Impl>(site, std::move(settings))) {
  impl_->Bind();
}

TDocumentServer::~TDocumentServer() {
  Stop();
  Wait();
}

std::uint16_t TDocumentServer::Port() const {
  return impl_->acceptor.local_endpoint().port();
}

void TDocumentServer::StopOnSignals() {
  impl_->signals.add(SIGINT);
  impl_->signals.add(SIGTERM);
  impl_->signals.async_wait([this](beast::error_code ec, int) {
    if (!ec) {
      Stop();
    }
  });
}

void TDocumentServer::Start() {
  impl_->Accept();
  for (auto& loop : impl_->loops) {
    impl_->keepRunning.emplace_back(loop->get_executor());
    impl_->threads.emplace_back([&loop = *loop] { loop.run(); });
  }
}

void TDocumentServer::Wait() {
  for (auto& thread : impl_->threads) {
    if (thread.joinable()) {
      thread.join();
    }
  }
  impl_->threads.clear();
}

void TDocumentServer::Stop() {
  for (auto& loop : impl_->loops) {
    loop->stop();
  }
}

}  // namespace tomelet::serve
