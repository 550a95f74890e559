// http::Pipe as libprocess 1.2.0 has it: a queue of strings between one
// writer and one reader, guarded by a mutex, with the reader's pending
// reads satisfied in order. Promises are completed outside the lock, since
// their callbacks may use the pipe again.

#include <memory>
#include <mutex>
#include <queue>
#include <string>
#include <utility>

#include <process/http.hpp>

namespace process {
namespace http {

struct Pipe::Data
{
  std::mutex mutex;

  Reader::State readEnd = Reader::OPEN;
  Writer::State writeEnd = Writer::OPEN;

  // Reads waiting for a write.
  std::queue<std::shared_ptr<Promise<std::string>>> reads;

  // Writes not read yet; never empty strings, which stand for the end.
  std::queue<std::string> writes;

  // Set when the reader closes before the writer.
  Promise<Nothing> readerClosure;

  Option<std::string> failure;
};


Pipe::Pipe() : data(new Data()) {}


Pipe::Reader Pipe::reader() const
{
  return Reader(data);
}


Pipe::Writer Pipe::writer() const
{
  return Writer(data);
}


Future<std::string> Pipe::Reader::read()
{
  std::lock_guard<std::mutex> lock(data->mutex);

  if (data->readEnd == Reader::CLOSED) {
    return Failure("closed");
  }
  if (!data->writes.empty()) {
    std::string front = std::move(data->writes.front());
    data->writes.pop();
    return front;
  }
  if (data->writeEnd == Writer::CLOSED) {
    return std::string();
  }
  if (data->writeEnd == Writer::FAILED) {
    return Failure(data->failure.get());
  }

  data->reads.push(std::make_shared<Promise<std::string>>());
  return data->reads.back()->future();
}


namespace {

// readAll's loop: reads that are ready at once are taken in the loop, so
// that a long queue of writes costs no stack.
struct ReadAll : std::enable_shared_from_this<ReadAll>
{
  explicit ReadAll(const Pipe::Reader& reader) : reader(reader) {}

  void next()
  {
    while (true) {
      const Future<std::string> data = reader.read();
      if (data.isPending()) {
        std::shared_ptr<ReadAll> self = shared_from_this();
        data.onAny([self](const Future<std::string>& data) {
          if (self->take(data)) {
            self->next();
          }
        });
        return;
      }
      if (!take(data)) {
        return;
      }
    }
  }

  // Whether to read on.
  bool take(const Future<std::string>& data)
  {
    if (!data.isReady()) {
      promise.fail(data.isFailed() ? data.failure() : "discarded");
      return false;
    }
    if (data->empty()) {
      promise.set(std::move(buffer));
      return false;
    }
    buffer.append(data.get());
    return true;
  }

  Pipe::Reader reader;
  std::string buffer;
  Promise<std::string> promise;
};

} // namespace {


Future<std::string> Pipe::Reader::readAll()
{
  auto loop = std::make_shared<ReadAll>(*this);
  const Future<std::string> result = loop->promise.future();
  loop->next();
  return result;
}


bool Pipe::Reader::close()
{
  std::queue<std::shared_ptr<Promise<std::string>>> reads;
  bool notify = false;
  {
    std::lock_guard<std::mutex> lock(data->mutex);
    if (data->readEnd != Reader::OPEN) {
      return false;
    }
    data->writes = std::queue<std::string>();
    std::swap(data->reads, reads);
    data->readEnd = Reader::CLOSED;
    notify = data->writeEnd == Writer::OPEN;
  }

  while (!reads.empty()) {
    reads.front()->fail("closed");
    reads.pop();
  }

  if (notify) {
    data->readerClosure.set(Nothing());
  } else {
    data->readerClosure.discard();
  }
  return true;
}


bool Pipe::Writer::write(std::string s)
{
  std::shared_ptr<Promise<std::string>> read;
  {
    std::lock_guard<std::mutex> lock(data->mutex);
    if (data->writeEnd != Writer::OPEN || data->readEnd != Reader::OPEN) {
      return false;
    }
    if (s.empty()) {
      return true;
    }
    if (data->reads.empty()) {
      data->writes.push(std::move(s));
      return true;
    }
    read = data->reads.front();
    data->reads.pop();
  }

  read->set(std::move(s));
  return true;
}


bool Pipe::Writer::close()
{
  std::queue<std::shared_ptr<Promise<std::string>>> reads;
  {
    std::lock_guard<std::mutex> lock(data->mutex);
    if (data->writeEnd != Writer::OPEN) {
      return false;
    }
    std::swap(data->reads, reads);
    data->writeEnd = Writer::CLOSED;
  }

  while (!reads.empty()) {
    reads.front()->set(std::string());
    reads.pop();
  }
  return true;
}


bool Pipe::Writer::fail(const std::string& message)
{
  std::queue<std::shared_ptr<Promise<std::string>>> reads;
  {
    std::lock_guard<std::mutex> lock(data->mutex);
    if (data->writeEnd != Writer::OPEN) {
      return false;
    }
    std::swap(data->reads, reads);
    data->writeEnd = Writer::FAILED;
    data->failure = message;
  }

  while (!reads.empty()) {
    reads.front()->fail(message);
    reads.pop();
  }
  return true;
}


Future<Nothing> Pipe::Writer::readerClosed() const
{
  return data->readerClosure.future();
}

} // namespace http {
} // namespace process {
