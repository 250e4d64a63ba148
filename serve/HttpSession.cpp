#include "serve/HttpSession.h"

// Boost 1.74's asio uses std::exchange without including <utility> itself.
// clang-format off
#include <utility>
// clang-format on

#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <boost/asio.hpp>
#include <boost/beast.hpp>
#include <cerrno>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/text/AsciiCase.h"
#include "serve/DocumentSite.h"
#include "serve/Replies.h"
#include "serve/ReplyHead.h"
#include "serve/RequestRefusal.h"

namespace tomelet::serve {

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

// After the last reply, what the client still sends is read and dropped for a moment before
// the connection closes: closing with unread bytes would reset it and could destroy the reply
// before the client has read it.
constexpr auto kLingerTime = std::chrono::seconds(2);
constexpr std::size_t kLingerBytes = std::size_t{1} << 20;
// A reply's progress is looked at this many times per timeout, and at most this often.
constexpr int kProgressChecks = 4;
constexpr auto kShortestCheck = std::chrono::milliseconds(100);

using TRequestParser = http::request_parser<http::string_body>;

constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";

std::string_view View(beast::string_view text) {
  return {text.data(), text.size()};
}

// A client may name the server in the target, as it does to a proxy ("GET http://host/page"):
// every server must take that form, and the path in it is what is asked for.
std::string_view OriginForm(std::string_view target) {
  const auto scheme = target.find("://");
  if (scheme == std::string_view::npos || (!EqualsFoldedAscii(target.substr(0, scheme), "http") &&
                                           !EqualsFoldedAscii(target.substr(0, scheme), "https"))) {
    return target;
  }
  const auto path = target.find('/', scheme + 3);
  return path == std::string_view::npos ? "/" : target.substr(path);
}

// Where the site reads each field the request may carry; null for the fields it never reads.
std::string_view* FieldOfSite(TSiteRequest& site, http::field name) {
  switch (name) {
    case http::field::accept_encoding:
      return &site.AcceptEncoding;
    case http::field::if_none_match:
      return &site.IfNoneMatch;
    case http::field::range:
      return &site.Range;
    case http::field::if_range:
      return &site.IfRange;
    case http::field::if_modified_since:
      return &site.IfModifiedSince;
    case http::field::authorization:
      return &site.Authorization;
    default:
      return nullptr;
  }
}

// The request's fields in one pass rather than a search per field; of a field sent twice the
// first counts, as a search by name would find it.
TSiteRequest SiteRequestOf(const TRequestParser::value_type& request) {
  TSiteRequest site;
  site.Method = View(request.method_string());
  site.Target = OriginForm(View(request.target()));
  for (const auto& field : request) {
    std::string_view* const slot = FieldOfSite(site, field.name());
    if (slot && slot->data() == nullptr) {
      *slot = View(field.value());
    }
  }
  return site;
}

TSiteResponse TooManySearches() {
  TSiteResponse busy =
      StatusPage(503, "Service Unavailable", "Too many searches at once; try again in a moment.");
  busy.Headers.emplace_back("Retry-After", "1");
  busy.Headers.emplace_back("Cache-Control", "no-store");
  return busy;
}

class TSession : public TTrackedConnection, public std::enable_shared_from_this<TSession> {
 public:
  TSession(tcp::socket socket, const TSessionShared& shared)
      : stream_(std::move(socket)), shared_(shared) {}
  ~TSession() override { shared_.Limit.Leave(*this); }

  // Closes the connection on its own loop; what is pending on it then ends.
  void Drop() override {
    asio::post(stream_.get_executor(), [self = shared_from_this()] {
      self->clientGone_ = true;
      beast::error_code ignored;
      self->stream_.socket().close(ignored);
    });
  }

  void CloseIfIdle() override {
    asio::post(stream_.get_executor(), [self = shared_from_this()] {
      beast::error_code ec;
      auto& socket = self->stream_.socket();
      if (self->awaitingRequest_ && self->buffer_.size() == 0 && socket.available(ec) == 0) {
        socket.close(ec);
      }
    });
  }

  // Counted as waiting at once, so that a burst of new connections can make room before their
  // loops have run; the first read starts on the connection's own loop, the only one that
  // touches it from then on (a search's answer comes back to it the same way).
  void Start() {
    shared_.Limit.Waiting(shared_from_this());
    asio::post(stream_.get_executor(), [self = shared_from_this()] { self->ReadRequest(); });
  }

 private:
  // The whole request must arrive within the timeout; an idle keep-alive connection counts as
  // a request that does not come.
  void ReadRequest() {
    shared_.Limit.Waiting(shared_from_this());
    awaitingRequest_ = true;
    parser_.emplace();
    parser_->header_limit(kRequestHeaderLimit);
    parser_->body_limit(kRequestBodyLimit);
    stream_.expires_after(shared_.Settings.IdleTimeout);
    http::async_read_header(
        stream_, buffer_, *parser_,
        [self = shared_from_this()](beast::error_code ec, std::size_t) { self->AfterHeader(ec); });
  }

  // A client that sends "Expect: 100-continue" holds its body back until told to go on.
  void AfterHeader(beast::error_code ec) {
    if (ec || parser_->is_done()) {
      AfterRead(ec);
      return;
    }
    const auto& request = parser_->get();
    if (request.version() < 11 || !beast::iequals(request[http::field::expect], "100-continue")) {
      ReadBody();
      return;
    }
    asio::async_write(stream_, asio::buffer(kContinue),
                      [self = shared_from_this()](beast::error_code written, std::size_t) {
                        if (!written) {
                          self->ReadBody();
                        }
                      });
  }

  void ReadBody() {
    http::async_read(
        stream_, buffer_, *parser_,
        [self = shared_from_this()](beast::error_code ec, std::size_t) { self->AfterRead(ec); });
  }

  void AfterRead(beast::error_code ec) {
    awaitingRequest_ = false;
    if (ec) {
      const auto* unread = static_cast<const char*>(buffer_.data().data());
      const bool startLineRead = !parser_->get().method_string().empty();
      const auto refusal = RefusalOfReadError(ec, startLineRead, {unread, buffer_.size()});
      if (refusal) {
        Refuse(*refusal);
      }
      return;
    }
    if (const auto refusal = RefusalOfRequest(parser_->get())) {
      Refuse(*refusal);
      return;
    }
    Answer();
  }

  void Answer() {
    shared_.Limit.Busy(*this);
    request_ = SiteRequestOf(parser_->get());
    if (!shared_.Site.IsSlow(request_.Target)) {
      Send(shared_.Site.Respond(request_), true);
      return;
    }
    const bool queued = shared_.SlowWork.Submit(
        [self = shared_from_this()] {
          self->reply_ = self->shared_.Site.Respond(self->request_);
          asio::post(self->stream_.get_executor(), [self] {
            beast::error_code ignored;
            self->stream_.socket().cancel(ignored);
            self->Send(std::move(self->reply_), true);
          });
        },
        [self = shared_from_this()] { return !self->clientGone_; });
    if (!queued) {
      Send(TooManySearches(), true);
      return;
    }
    WatchForHangUp();
  }

  // While its search waits, a client that hangs up gives up its search: a burst of clients that
  // gave up must not keep the queue full for those who come after them. Bytes that arrive
  // instead are the next request, read after the reply.
  void WatchForHangUp() {
    stream_.socket().async_wait(
        tcp::socket::wait_read, [self = shared_from_this()](beast::error_code ec) {
          if (ec) {
            return;
          }
          char next = 0;
          const ssize_t peeked =
              ::recv(self->stream_.socket().native_handle(), &next, 1, MSG_PEEK | MSG_DONTWAIT);
          if (peeked == 0 || (peeked < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) {
            self->clientGone_ = true;
          }
        });
  }

  // Answered with HTTP/1.1 and the connection closed after the reply.
  void Refuse(const TRefusal& refusal) {
    shared_.Limit.Busy(*this);
    request_ = TSiteRequest{};
    request_.Method = "-";
    request_.Target = "-";
    if (parser_->is_header_done()) {
      request_.Method = View(parser_->get().method_string());
      request_.Target = View(parser_->get().target());
    }
    Send(StatusPage(refusal.Status, refusal.Title, refusal.Message), false);
  }

  void Send(TSiteResponse site, bool mayKeepAlive) {
    if (shared_.Settings.OnRequest) {
      shared_.Settings.OnRequest({std::string(request_.Method), std::string(request_.Target),
                                  site.Status, site.ContentLength});
    }
    const auto& request = parser_->get();
    const bool served = mayKeepAlive;
    keepAlive_ = served && request.keep_alive() && !shared_.Draining;
    WriteReplyHead(head_, site, served ? request.version() : 11, keepAlive_);
    headSent_ = 0;
    body_ = served && request.method() == http::verb::head ? nullptr : std::move(site.Body);
    piece_ = {};
    replying_ = true;
    lastProgress_ = std::chrono::steady_clock::now();
    unsent_ = 0;
    stream_.expires_never();
    if (!watching_) {
      WatchProgress();
    }
    if (NextPiece()) {
      WriteSome();
    }
  }

  // The timeout runs from the client's last progress, so a slow but steady reader gets all of a
  // reply however long it takes, and a client that stops reading is let go. Progress is the
  // kernel's send queue shrinking as well as a write completing: the kernel wakes a writer only
  // once much of a large queue has gone, which a slow reader may take longer than that to free.
  // The watch stays armed across the replies of a busy connection, so quick replies cost no
  // timer of their own; it ends when it finds no reply being written, and holds the session
  // only weakly.
  void WatchProgress() {
    watching_ = true;
    watch_.expires_after(std::max<std::chrono::steady_clock::duration>(
        shared_.Settings.IdleTimeout / kProgressChecks, kShortestCheck));
    watch_.async_wait([weak = weak_from_this()](beast::error_code ec) {
      const auto self = weak.lock();
      if (!self) {
        return;
      }
      self->watching_ = false;
      if (!ec && self->replying_) {
        self->CheckProgress();
      }
    });
  }

  void CheckProgress() {
    const auto now = std::chrono::steady_clock::now();
    int unsent = 0;
    if (::ioctl(stream_.socket().native_handle(), SIOCOUTQ, &unsent) == 0 && unsent < unsent_) {
      lastProgress_ = now;
      shared_.Limit.Waiting(shared_from_this());
    }
    unsent_ = unsent;
    if (now - lastProgress_ >= shared_.Settings.IdleTimeout) {
      beast::error_code ignored;
      stream_.socket().close(ignored);
      return;
    }
    WatchProgress();
  }

  // The next piece of the body, once the last one has gone; false when the body failed and the
  // connection is closed: damaged data found after the head went out is a cut reply to the
  // client rather than wrong bytes.
  bool NextPiece() {
    if (!body_) {
      return true;
    }
    try {
      piece_ = body_->Next();
    } catch (const std::exception&) {
      beast::error_code ignored;
      stream_.socket().close(ignored);
      return false;
    }
    if (piece_.empty()) {
      body_.reset();
    }
    return true;
  }

  // What is left of the head goes out with the body piece in one write.
  void WriteSome() {
    shared_.Limit.Waiting(shared_from_this());
    const std::array<asio::const_buffer, 2> unsent{
        asio::buffer(head_.data() + headSent_, head_.size() - headSent_),
        asio::buffer(piece_.data(), piece_.size())};
    stream_.socket().async_write_some(
        unsent, [self = shared_from_this()](beast::error_code ec, std::size_t written) {
          self->AfterWriteSome(ec, written);
        });
  }

  void AfterWriteSome(beast::error_code ec, std::size_t written) {
    if (ec) {
      return;
    }
    lastProgress_ = std::chrono::steady_clock::now();
    const std::size_t ofHead = std::min(written, head_.size() - headSent_);
    headSent_ += ofHead;
    piece_ = piece_.subspan(written - ofHead);
    if (piece_.empty() && !NextPiece()) {
      return;
    }
    if (headSent_ < head_.size() || !piece_.empty()) {
      WriteSome();
      return;
    }
    Finish();
  }

  void Finish() {
    replying_ = false;
    body_.reset();
    if (keepAlive_ && !shared_.Draining) {
      ReadRequest();
    } else {
      Linger();
    }
  }

  void Linger() {
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
    stream_.expires_after(kLingerTime);
    DiscardInput();
  }

  void DiscardInput() {
    stream_.async_read_some(asio::buffer(discard_),
                            [self = shared_from_this()](beast::error_code ec, std::size_t got) {
                              self->discarded_ += got;
                              if (!ec && self->discarded_ < kLingerBytes) {
                                self->DiscardInput();
                              }
                            });
  }

  beast::tcp_stream stream_;
  const TSessionShared& shared_;
  beast::flat_buffer buffer_;
  std::optional<TRequestParser> parser_;
  TSiteRequest request_;
  TSiteResponse reply_;
  // The reply being written: its head, then its body piece by piece.
  std::string head_;
  std::size_t headSent_ = 0;
  std::unique_ptr<TBodySource> body_;
  std::span<const std::byte> piece_;
  bool keepAlive_ = false;
  bool replying_ = false;
  asio::steady_timer watch_{stream_.get_executor()};
  std::chrono::steady_clock::time_point lastProgress_;
  int unsent_ = 0;
  bool watching_ = false;
  bool awaitingRequest_ = false;
  // Read by the work pool while a search waits there.
  std::atomic<bool> clientGone_ = false;
  std::array<char, 16384> discard_{};
  std::size_t discarded_ = 0;
};

}  // namespace

void StartSession(tcp::socket socket, const TSessionShared& shared) {
  std::make_shared<TSession>(std::move(socket), shared)->Start();
}

}  // namespace tomelet::serve
