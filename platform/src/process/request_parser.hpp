#ifndef __PROCESS_REQUEST_PARSER_HPP__
#define __PROCESS_REQUEST_PARSER_HPP__

// The server's parser of a request: Beast's parsing, with the head kept in
// plain strings. Beast's own message fields hold a value of at most 64 KiB;
// libprocess's parser takes any fields within a head of 80 KiB, so a token
// of 70 KiB must reach the HTTP authenticator, which decides on it.

#include <stdint.h>

#include <string>
#include <utility>
#include <vector>

#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/optional.hpp>

namespace process {
namespace internal {

class RequestParser : public boost::beast::http::basic_parser<true>
{
public:
  std::string method;
  std::string target;
  unsigned version = 11;
  std::vector<std::pair<std::string, std::string>> fields;
  std::string body;

private:
  typedef boost::beast::error_code error_code;
  typedef boost::beast::string_view string_view;

  void on_request_impl(
      boost::beast::http::verb,
      string_view methodText,
      string_view targetText,
      int versionNumber,
      error_code&) override
  {
    method.assign(methodText.data(), methodText.size());
    target.assign(targetText.data(), targetText.size());
    version = static_cast<unsigned>(versionNumber);
  }

  void on_response_impl(int, string_view, int, error_code&) override {}

  void on_field_impl(
      boost::beast::http::field,
      string_view name,
      string_view value,
      error_code&) override
  {
    fields.emplace_back(
        std::string(name.data(), name.size()),
        std::string(value.data(), value.size()));
  }

  void on_header_impl(error_code&) override {}

  // As Beast's string body does: room for a declared length (within the
  // body limit, which the parser checks first).
  void on_body_init_impl(
      const boost::optional<uint64_t>& length,
      error_code&) override
  {
    if (length) {
      body.reserve(static_cast<size_t>(*length));
    }
  }

  size_t on_body_impl(string_view data, error_code&) override
  {
    body.append(data.data(), data.size());
    return data.size();
  }

  void on_chunk_header_impl(uint64_t, string_view, error_code&) override {}

  size_t on_chunk_body_impl(uint64_t, string_view data, error_code&) override
  {
    body.append(data.data(), data.size());
    return data.size();
  }

  void on_finish_impl(error_code&) override {}
};

} // namespace internal {
} // namespace process {

#endif // __PROCESS_REQUEST_PARSER_HPP__
