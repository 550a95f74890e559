#include "common/sentrel/bounded_request.hpp"

#include <memory>
#include <utility>

#include <stout/numify.hpp>
#include <stout/stringify.hpp>
#include <stout/try.hpp>

#include "common/sentrel/time_limit.hpp"

using process::Failure;
using process::Future;
using process::Promise;

using process::http::Connection;
using process::http::Headers;
using process::http::Pipe;
using process::http::Request;
using process::http::Response;
using process::http::URL;

namespace mesos {
namespace sentrel {

namespace {

// Reads a streamed answer's body to its end, failing past the bound. The
// reads that are ready at once are taken in a loop, so that a fast peer's
// long body costs no stack; the reader passes from each read's
// continuation to the next, never to two threads at once.
class BodyReader : public std::enable_shared_from_this<BodyReader>
{
public:
  // REQUIRES: `head` is a PIPE answer with its reader.
  static Future<Response> read(const Response& head, size_t limit)
  {
    std::shared_ptr<BodyReader> reader(new BodyReader(head, limit));
    const Future<Response> body = reader->promise_.future();
    if (reader->declared_.isSome() && reader->declared_.get() > limit) {
      reader->reader_.close();
      reader->promise_.fail(reader->tooLarge());
      return body;
    }
    if (reader->declared_.isSome()) {
      reader->answer_.body.reserve(reader->declared_.get());
    }
    reader->next();
    return body;
  }

private:
  BodyReader(const Response& head, size_t limit)
    : reader_(head.reader.get()), answer_(head), limit_(limit)
  {
    answer_.type = Response::BODY;
    answer_.reader = None();

    // The body is read into room made once, so that a body near the bound
    // is never copied while it grows: the declared length, or the bound
    // for a body of no declared length once it passes a mebibyte (pages
    // reserved and not written cost no memory).
    const Option<std::string> length = head.headers.get("Content-Length");
    if (length.isSome()) {
      Try<size_t> declared = numify<size_t>(length.get());
      if (declared.isSome()) {
        declared_ = declared.get();
      }
    }
  }

  void next()
  {
    while (true) {
      const Future<std::string> chunk = reader_.read();
      if (chunk.isPending()) {
        std::shared_ptr<BodyReader> self = shared_from_this();
        chunk.onAny([self](const Future<std::string>& chunk) {
          if (self->take(chunk)) {
            self->next();
          }
        });
        return;
      }
      if (!take(chunk)) {
        return;
      }
    }
  }

  // Whether to read on.
  bool take(const Future<std::string>& chunk)
  {
    if (!chunk.isReady()) {
      promise_.fail(ANSWER_CUT_SHORT);
      return false;
    }

    if (chunk->empty()) {
      promise_.set(std::move(answer_));
      return false;
    }

    if (chunk->size() > limit_ - answer_.body.size()) {
      reader_.close();
      promise_.fail(tooLarge());
      return false;
    }

    if (declared_.isNone() && answer_.body.capacity() < limit_ &&
        answer_.body.size() + chunk->size() > GROWTH_LIMIT) {
      answer_.body.reserve(limit_);
    }

    answer_.body += chunk.get();
    return true;
  }

  std::string tooLarge() const
  {
    return "The answer's body exceeds the limit of " + stringify(limit_) +
           " bytes";
  }

  // How far a body of no declared length grows by doubling.
  static constexpr size_t GROWTH_LIMIT = 1024 * 1024;

  Pipe::Reader reader_;
  Response answer_;
  const size_t limit_;
  Option<size_t> declared_;
  Promise<Response> promise_;
};

} // namespace {


Future<Response> boundedRequest(
    const Request& request,
    const RequestLimits& limits)
{
  Request closing = request;
  closing.keepAlive = false;
  const size_t bodyLimit = limits.bodyLimit;

  const Future<Response> answer = process::http::connect(request.url).then(
      [closing, bodyLimit](Connection connection) -> Future<Response> {
        const Future<Response> whole = connection.send(closing, true).then(
            [bodyLimit](const Response& head) -> Future<Response> {
              if (head.type != Response::PIPE || head.reader.isNone()) {
                return head;
              }
              return BodyReader::read(head, bodyLimit);
            });

        // Closed when the exchange ends, and when the caller gives up on it
        // first: libprocess keeps a connection open as long as it has not
        // been told otherwise.
        whole.onAny([connection](const Future<Response>&) mutable {
          connection.disconnect();
        });
        whole.onDiscard([connection]() mutable { connection.disconnect(); });
        return whole;
      });

  if (limits.timeout.isNone()) {
    return answer;
  }
  return withTimeLimit(
      answer,
      limits.timeout.get(),
      limits.timeoutMessage,
      PastTheLimit::DISCARDED);
}


Future<Response> boundedGet(
    const URL& url,
    const Option<Headers>& headers,
    const RequestLimits& limits)
{
  Request request;
  request.method = "GET";
  request.url = url;
  if (headers.isSome()) {
    request.headers = headers.get();
  }
  return boundedRequest(request, limits);
}


Future<Response> boundedPost(
    const URL& url,
    const Option<Headers>& headers,
    const std::string& body,
    const RequestLimits& limits)
{
  Request request;
  request.method = "POST";
  request.url = url;
  if (headers.isSome()) {
    request.headers = headers.get();
  }
  request.body = body;
  return boundedRequest(request, limits);
}

} // namespace sentrel {
} // namespace mesos {
