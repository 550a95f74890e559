#ifndef __TESTS_SUPPORT_JSON_TEXT_HPP__
#define __TESTS_SUPPORT_JSON_TEXT_HPP__

#include <string>

namespace ovra_test {
namespace json_text {

// `value` between double quotes, as a JSON string of text that needs no
// escapes.
inline std::string quoted(const std::string& value)
{
  return "\"" + value + "\"";
}

} // namespace json_text {
} // namespace ovra_test {

#endif // __TESTS_SUPPORT_JSON_TEXT_HPP__
