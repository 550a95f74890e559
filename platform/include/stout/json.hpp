#ifndef __STOUT_JSON_HPP__
#define __STOUT_JSON_HPP__

#include <stdint.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <ostream>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include <boost/variant.hpp>

#include <picojson.h>

#include <stout/abort.hpp>
#include <stout/error.hpp>
#include <stout/jsonify.hpp>
#include <stout/none.hpp>
#include <stout/numify.hpp>
#include <stout/option.hpp>
#include <stout/result.hpp>
#include <stout/strings.hpp>
#include <stout/try.hpp>

// A JSON document model. Values are built from C++ values or parsed from
// text (JSON::parse); they print (operator<<, stringify, jsonify) without
// whitespace, object keys in byte order.
namespace JSON {

struct String;
struct Number;
struct Object;
struct Array;
struct Boolean;
struct Null;
struct Value;


struct String
{
  String() {}
  String(const char* _value) : value(_value) {}
  String(const std::string& _value) : value(_value) {}

  std::string value;
};


// A number keeps the kind it was made from: parsed integers that fit into
// int64 are SIGNED_INTEGER, other parsed numbers FLOATING.
struct Number
{
  enum Type
  {
    FLOATING,
    SIGNED_INTEGER,
    UNSIGNED_INTEGER,
  };

  Number() : type(SIGNED_INTEGER), signed_integer(0) {}

  template <
      typename T,
      typename std::enable_if<std::is_floating_point<T>::value, int>::type = 0>
  Number(T _value) : type(FLOATING), value(static_cast<double>(_value)) {}

  template <
      typename T,
      typename std::enable_if<
          std::is_integral<T>::value && std::is_signed<T>::value,
          int>::type = 0>
  Number(T _value)
    : type(SIGNED_INTEGER), signed_integer(static_cast<int64_t>(_value)) {}

  template <
      typename T,
      typename std::enable_if<
          std::is_integral<T>::value && std::is_unsigned<T>::value,
          int>::type = 0>
  Number(T _value)
    : type(UNSIGNED_INTEGER), unsigned_integer(static_cast<uint64_t>(_value))
  {}

  // The value cast to T. Fractions truncate towards zero; a floating value
  // outside an integral T's range saturates (NaN gives 0) instead of being
  // undefined; integers convert as static_cast does.
  template <typename T>
  T as() const
  {
    switch (type) {
      case FLOATING:
        return fromDouble<T>(value);
      case SIGNED_INTEGER:
        return static_cast<T>(signed_integer);
      case UNSIGNED_INTEGER:
        return static_cast<T>(unsigned_integer);
    }
    return T();
  }

  Type type;

private:
  template <typename T>
  static T fromDouble(double d)
  {
    if constexpr (std::is_integral<T>::value && !std::is_same<T, bool>::value) {
      if (d != d) {
        return T();
      }
      // The limits as doubles: min() is exact (0 or a power of two), max()
      // rounds up to the next power of two, itself out of range.
      const double low = static_cast<double>(std::numeric_limits<T>::min());
      const double high = static_cast<double>(std::numeric_limits<T>::max());
      if (d <= low) {
        return std::numeric_limits<T>::min();
      }
      if (d >= high) {
        return std::numeric_limits<T>::max();
      }
    }
    return static_cast<T>(d);
  }

  friend bool operator==(const Number& left, const Number& right);
  friend std::ostream& operator<<(std::ostream& stream, const Number& number);

  union
  {
    double value;
    int64_t signed_integer;
    uint64_t unsigned_integer;
  };
};


struct Object
{
  // The value at a dotted path with optional array subscripts, e.g.
  // "a.b[2].c". None when a key is missing, an index is past the end, or
  // the value found is null (unless T is Null or Value); errors for a value
  // of another type ("Found JSON value of wrong type"), a non-object or
  // non-array on the way, and malformed subscripts.
  template <typename T>
  Result<T> find(const std::string& path) const;

  // The value of one key (no path syntax). None when absent; null counts as
  // a wrong type.
  template <typename T>
  Result<T> at(const std::string& key) const;

  std::map<std::string, Value> values;
};


struct Array
{
  std::vector<Value> values;
};


struct Boolean
{
  Boolean() : value(false) {}
  Boolean(bool _value) : value(_value) {}

  bool value;
};


struct True : Boolean
{
  True() : Boolean(true) {}
};


struct False : Boolean
{
  False() : Boolean(false) {}
};


struct Null {};


namespace internal {

typedef boost::variant<
    boost::recursive_wrapper<Null>,
    boost::recursive_wrapper<String>,
    boost::recursive_wrapper<Number>,
    boost::recursive_wrapper<Object>,
    boost::recursive_wrapper<Array>,
    boost::recursive_wrapper<Boolean>> Variant;

} // namespace internal


// Any JSON value; default constructed it is null.
struct Value : internal::Variant
{
  Value() {}

  Value(bool value) : internal::Variant(Boolean(value)) {}

  Value(char* value) : internal::Variant(String(value)) {}
  Value(const char* value) : internal::Variant(String(value)) {}

  template <
      typename T,
      typename std::enable_if<std::is_arithmetic<T>::value, int>::type = 0>
  Value(const T& value) : internal::Variant(Number(value)) {}

  Value(const std::string& value) : internal::Variant(String(value)) {}

  Value(const String& value) : internal::Variant(value) {}
  Value(String&& value) : internal::Variant(std::move(value)) {}
  Value(const Number& value) : internal::Variant(value) {}
  Value(const Object& value) : internal::Variant(value) {}
  Value(Object&& value) : internal::Variant(std::move(value)) {}
  Value(const Array& value) : internal::Variant(value) {}
  Value(Array&& value) : internal::Variant(std::move(value)) {}
  // True and False arrive here as Booleans.
  Value(const Boolean& value) : internal::Variant(value) {}
  Value(const Null& value) : internal::Variant(value) {}

  // Moves do not throw (short of running out of memory), so containers
  // move values when they grow instead of copying whole subtrees.
  Value(const Value&) = default;
  Value(Value&& that) noexcept
    : internal::Variant(std::move(static_cast<internal::Variant&>(that))) {}
  Value& operator=(const Value&) = default;
  Value& operator=(Value&& that) noexcept
  {
    internal::Variant::operator=(std::move(static_cast<internal::Variant&>(that)));
    return *this;
  }

  template <typename T>
  bool is() const
  {
    return boost::get<T>(static_cast<const internal::Variant*>(this)) !=
           nullptr;
  }

  // REQUIRES: is<T>().
  template <typename T>
  const T& as() const
  {
    const T* t = boost::get<T>(static_cast<const internal::Variant*>(this));
    if (t == nullptr) {
      ABORT("JSON::Value::as() with a value of another type");
    }
    return *t;
  }
};


template <>
inline bool Value::is<Value>() const
{
  return true;
}


template <>
inline const Value& Value::as<Value>() const
{
  return *this;
}


// Numbers compare by value across kinds: 1 == 1.0 == 1u.
inline bool operator==(const Number& left, const Number& right)
{
  switch (left.type) {
    case Number::FLOATING:
      switch (right.type) {
        case Number::FLOATING:
          return left.value == right.value;
        case Number::SIGNED_INTEGER:
          return left.value == static_cast<double>(right.signed_integer);
        case Number::UNSIGNED_INTEGER:
          return left.value == static_cast<double>(right.unsigned_integer);
      }
      break;
    case Number::SIGNED_INTEGER:
      switch (right.type) {
        case Number::FLOATING:
          return static_cast<double>(left.signed_integer) == right.value;
        case Number::SIGNED_INTEGER:
          return left.signed_integer == right.signed_integer;
        case Number::UNSIGNED_INTEGER:
          return left.signed_integer >= 0 &&
                 static_cast<uint64_t>(left.signed_integer) ==
                   right.unsigned_integer;
      }
      break;
    case Number::UNSIGNED_INTEGER:
      switch (right.type) {
        case Number::FLOATING:
          return static_cast<double>(left.unsigned_integer) == right.value;
        case Number::SIGNED_INTEGER:
          return right.signed_integer >= 0 &&
                 left.unsigned_integer ==
                   static_cast<uint64_t>(right.signed_integer);
        case Number::UNSIGNED_INTEGER:
          return left.unsigned_integer == right.unsigned_integer;
      }
      break;
  }
  return false;
}


inline bool operator==(const Value& left, const Value& right);


inline bool operator==(const String& left, const String& right)
{
  return left.value == right.value;
}


inline bool operator==(const Object& left, const Object& right)
{
  return left.values == right.values;
}


inline bool operator==(const Array& left, const Array& right)
{
  return left.values == right.values;
}


inline bool operator==(const Boolean& left, const Boolean& right)
{
  return left.value == right.value;
}


inline bool operator==(const Null&, const Null&)
{
  return true;
}


namespace internal {

struct Equals : boost::static_visitor<bool>
{
  template <typename T, typename U>
  bool operator()(const T&, const U&) const
  {
    return false;
  }

  template <typename T>
  bool operator()(const T& left, const T& right) const
  {
    return left == right;
  }
};

} // namespace internal


inline bool operator==(const Value& left, const Value& right)
{
  return boost::apply_visitor(
      internal::Equals(),
      static_cast<const internal::Variant&>(left),
      static_cast<const internal::Variant&>(right));
}


inline bool operator!=(const Value& left, const Value& right)
{
  return !(left == right);
}


template <typename T>
Result<T> Object::find(const std::string& path) const
{
  const std::vector<std::string> names = strings::split(path, ".", 2);

  std::string name = names[0];

  Option<size_t> subscript = None();
  const size_t bracket = name.find('[');
  if (bracket != std::string::npos) {
    if (name.back() != ']') {
      return Error("Malformed array subscript, expecting ']'");
    }

    const std::string index = name.substr(bracket + 1, name.size() - bracket - 2);

    Try<int> i = numify<int>(index);
    if (i.isError()) {
      return Error("Failed to numify array subscript '" + index + "'");
    } else if (i.get() < 0) {
      return Error("Array subscript '" + index + "' must be >= 0");
    }

    subscript = static_cast<size_t>(i.get());
    name = name.substr(0, bracket);
  }

  auto entry = values.find(name);
  if (entry == values.end()) {
    return None();
  }

  const Value* value = &entry->second;

  if (subscript.isSome()) {
    if (value->is<Array>()) {
      const Array& array = value->as<Array>();
      if (subscript.get() >= array.values.size()) {
        return None();
      }
      value = &array.values[subscript.get()];
    } else if (value->is<Null>()) {
      return None();
    } else {
      return Error("Intermediate JSON value not an array");
    }
  }

  if (names.size() == 1) {
    if (value->is<T>()) {
      return value->as<T>();
    } else if (value->is<Null>()) {
      return None();
    }
    return Error("Found JSON value of wrong type");
  }

  if (!value->is<Object>()) {
    return Error("Intermediate JSON value not an object");
  }

  return value->as<Object>().find<T>(names[1]);
}


template <typename T>
Result<T> Object::at(const std::string& key) const
{
  if (key.empty()) {
    return None();
  }

  auto entry = values.find(key);
  if (entry == values.end()) {
    return None();
  }

  if (!entry->second.is<T>()) {
    return Error("Found JSON value of wrong type");
  }

  return entry->second.as<T>();
}


// Printing: no whitespace, keys in byte order, strings escaped as
// jsonify() does.

inline std::ostream& operator<<(std::ostream& stream, const String& string)
{
  internal::writeString(stream, string.value);
  return stream;
}


inline std::ostream& operator<<(std::ostream& stream, const Number& number)
{
  switch (number.type) {
    case Number::FLOATING:
      internal::writeDouble(stream, number.value);
      break;
    case Number::SIGNED_INTEGER:
      internal::writeInteger(stream, number.signed_integer);
      break;
    case Number::UNSIGNED_INTEGER:
      internal::writeInteger(stream, number.unsigned_integer);
      break;
  }
  return stream;
}


inline std::ostream& operator<<(std::ostream& stream, const Boolean& boolean)
{
  return stream << (boolean.value ? "true" : "false");
}


inline std::ostream& operator<<(std::ostream& stream, const Null&)
{
  return stream << "null";
}


inline std::ostream& operator<<(std::ostream& stream, const Value& value);


inline std::ostream& operator<<(std::ostream& stream, const Object& object)
{
  stream << '{';
  for (auto it = object.values.begin(); it != object.values.end(); ++it) {
    if (it != object.values.begin()) {
      stream << ',';
    }
    internal::writeString(stream, it->first);
    stream << ':' << it->second;
  }
  return stream << '}';
}


inline std::ostream& operator<<(std::ostream& stream, const Array& array)
{
  stream << '[';
  for (auto it = array.values.begin(); it != array.values.end(); ++it) {
    if (it != array.values.begin()) {
      stream << ',';
    }
    stream << *it;
  }
  return stream << ']';
}


namespace internal {

struct Printer : boost::static_visitor<>
{
  explicit Printer(std::ostream& _stream) : stream(_stream) {}

  template <typename T>
  void operator()(const T& t) const
  {
    stream << t;
  }

  std::ostream& stream;
};

} // namespace internal


inline std::ostream& operator<<(std::ostream& stream, const Value& value)
{
  boost::apply_visitor(
      internal::Printer(stream),
      static_cast<const internal::Variant&>(value));
  return stream;
}


// jsonify() of the JSON types prints what operator<< prints.
inline void json(std::ostream& stream, const Value& value) { stream << value; }
inline void json(std::ostream& stream, const Object& v) { stream << v; }
inline void json(std::ostream& stream, const Array& v) { stream << v; }
inline void json(std::ostream& stream, const String& v) { stream << v; }
inline void json(std::ostream& stream, const Number& v) { stream << v; }
inline void json(std::ostream& stream, const Boolean& v) { stream << v; }
inline void json(std::ostream& stream, const Null& v) { stream << v; }


namespace internal {

// How deep arrays and objects may nest, together, in a parsed document.
// picojson bounds only arrays; the bound here also keeps the recursion of
// parsing, printing, copying and freeing a document off the stack's end.
constexpr size_t MAX_NESTING = 100;

// Longest piece of the input that a parse error quotes.
constexpr size_t MAX_QUOTED = 1024;


inline std::string quoted(const std::string& text)
{
  if (text.size() <= MAX_QUOTED) {
    return text;
  }
  return text.substr(0, MAX_QUOTED) + "...";
}


struct ParseState
{
  size_t depth = 0;
  bool tooDeep = false;
  bool outOfRange = false;
};


// A picojson parse context that builds stout's values in place, so a
// document is converted once, in time linear in its size, and counts the
// nesting of arrays and objects alike. Each value is constructed once,
// where it belongs: at the root, at the end of its array, or under its key.
class ParseContext
{
public:
  ParseContext(Value* root, ParseState* state) : root_(root), state_(state) {}

  ParseContext(std::vector<Value>* array, ParseState* state)
    : array_(array), state_(state) {}

  ParseContext(
      std::map<std::string, Value>* object,
      const std::string* key,
      ParseState* state)
    : object_(object), key_(key), state_(state) {}

  ParseContext(const ParseContext&) = delete;
  ParseContext& operator=(const ParseContext&) = delete;

  bool set_null()
  {
    put(Null());
    return true;
  }

  bool set_bool(bool b)
  {
    put(Boolean(b));
    return true;
  }

  bool set_int64(int64_t i)
  {
    put(Number(i));
    return true;
  }

  // picojson ignores the result here, hence the flag.
  bool set_number(double f)
  {
    if (!std::isfinite(f)) {
      state_->outOfRange = true;
      return false;
    }
    put(Number(f));
    return true;
  }

  template <typename Iter>
  bool parse_string(picojson::input<Iter>& in)
  {
    String string;
    if (!picojson::_parse_string(string.value, in)) {
      return false;
    }
    put(std::move(string));
    return true;
  }

  bool parse_array_start()
  {
    if (!enter()) {
      return false;
    }
    array_ = &contents<Array>(put(Array())).values;
    object_ = nullptr;
    return true;
  }

  template <typename Iter>
  bool parse_array_item(picojson::input<Iter>& in, size_t)
  {
    ParseContext element(array_, state_);
    return picojson::_parse(element, in);
  }

  bool parse_array_stop(size_t)
  {
    --state_->depth;
    return true;
  }

  bool parse_object_start()
  {
    if (!enter()) {
      return false;
    }
    object_ = &contents<Object>(put(Object())).values;
    array_ = nullptr;
    return true;
  }

  template <typename Iter>
  bool parse_object_item(picojson::input<Iter>& in, const std::string& key)
  {
    ParseContext member(object_, &key, state_);
    return picojson::_parse(member, in);
  }

  bool parse_object_stop()
  {
    --state_->depth;
    return true;
  }

private:
  bool enter()
  {
    if (state_->depth >= MAX_NESTING) {
      state_->tooDeep = true;
      return false;
    }
    ++state_->depth;
    return true;
  }

  // Stores `value` where this context writes; a key given twice keeps its
  // last value.
  template <typename T>
  Value* put(T&& value)
  {
    if (array_ != nullptr) {
      array_->emplace_back(std::forward<T>(value));
      return &array_->back();
    }

    if (object_ != nullptr) {
      // try_emplace leaves `value` alone when the key is there already.
      auto entry = object_->try_emplace(*key_, std::forward<T>(value));
      if (!entry.second) {
        entry.first->second = Value(std::forward<T>(value));
      }
      return &entry.first->second;
    }

    *root_ = Value(std::forward<T>(value));
    return root_;
  }

  template <typename T>
  static T& contents(Value* value)
  {
    return *boost::get<T>(static_cast<Variant*>(value));
  }

  // Where the value goes; once an array or object has started, the
  // container that its elements go to.
  Value* root_ = nullptr;
  std::vector<Value>* array_ = nullptr;
  std::map<std::string, Value>* object_ = nullptr;
  const std::string* key_ = nullptr;
  ParseState* state_;
};

} // namespace internal


// Parses a JSON document (any kind of value), in time linear in its size.
// Errors:
//   "syntax error at line <n> near: <rest of that line>" (from picojson),
//   "Parsed JSON included non-whitespace trailing characters: <rest>",
//   "Failed to parse JSON: nesting deeper than 100 levels",
//   "Failed to parse JSON: number out of range" (beyond double's range).
// The quoted input is cut after 1 KiB.
inline Try<Value> parse(const std::string& s)
{
  Value value;
  internal::ParseState state;
  internal::ParseContext context(&value, &state);

  std::string error;
  const char* begin = s.data();
  const char* end =
    picojson::_parse(context, begin, begin + s.size(), &error);

  if (state.tooDeep) {
    return Error(
        "Failed to parse JSON: nesting deeper than " +
        std::to_string(internal::MAX_NESTING) + " levels");
  }

  if (state.outOfRange) {
    return Error("Failed to parse JSON: number out of range");
  }

  if (!error.empty()) {
    return Error(internal::quoted(error));
  }

  const size_t last = s.find_last_not_of(strings::WHITESPACE);
  const size_t stop = static_cast<size_t>(end - begin);
  if (last != std::string::npos && stop != last + 1) {
    return Error(
        "Parsed JSON included non-whitespace trailing characters: " +
        (stop < last + 1
           ? internal::quoted(s.substr(
                 stop, std::min(last + 1 - stop, internal::MAX_QUOTED + 1)))
           : std::string()));
  }

  return value;
}


// Parses a document that must be a T (Object, Array, ...); another kind
// fails with "Unexpected JSON type parsed".
template <typename T>
Try<T> parse(const std::string& s)
{
  Try<Value> value = parse(s);
  if (value.isError()) {
    return Error(value.error());
  }

  if (!value->is<T>()) {
    return Error("Unexpected JSON type parsed");
  }

  // Moved out, not copied: the document can be large.
  return std::move(*boost::get<T>(static_cast<internal::Variant*>(&value.get())));
}


template <>
inline Try<Value> parse<Value>(const std::string& s)
{
  return parse(s);
}

} // namespace JSON

#endif // __STOUT_JSON_HPP__
