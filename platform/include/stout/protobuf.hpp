#ifndef __STOUT_PROTOBUF_HPP__
#define __STOUT_PROTOBUF_HPP__

#include <stdint.h>

#include <ostream>
#include <string>
#include <type_traits>
#include <vector>

#include <boost/variant.hpp>

#include <google/protobuf/descriptor.h>
#include <google/protobuf/message.h>
#include <google/protobuf/repeated_field.h>

#include <stout/base64.hpp>
#include <stout/error.hpp>
#include <stout/json.hpp>
#include <stout/nothing.hpp>
#include <stout/try.hpp>

// Conversions between protobuf messages and JSON, by field name:
//
//   Try<mesos::Credential> credential =
//     protobuf::parse<mesos::Credential>(json);
//   JSON::Object object = JSON::protobuf(credential.get());
//
// Enums travel as their value names, bytes fields as base64 text.
namespace protobuf {

namespace internal {

inline Try<Nothing> parse(
    google::protobuf::Message* message,
    const JSON::Object& object);


// Stores one JSON value into one field of `message`. For a repeated field
// each value is appended; a JSON array is only accepted for repeated fields.
// Errors from nested messages are passed up unchanged.
class FieldParser : public boost::static_visitor<Try<Nothing>>
{
public:
  FieldParser(
      google::protobuf::Message* _message,
      const google::protobuf::FieldDescriptor* _field)
    : message(_message),
      reflection(_message->GetReflection()),
      field(_field) {}

  Try<Nothing> operator()(const JSON::Object& object) const
  {
    if (field->type() != google::protobuf::FieldDescriptor::TYPE_MESSAGE) {
      return Error(
          "Not expecting a JSON object for field '" + field->name() + "'");
    }

    return parse(
        field->is_repeated()
          ? reflection->AddMessage(message, field)
          : reflection->MutableMessage(message, field),
        object);
  }

  Try<Nothing> operator()(const JSON::String& string) const
  {
    switch (field->type()) {
      case google::protobuf::FieldDescriptor::TYPE_STRING:
        setString(string.value);
        return Nothing();
      case google::protobuf::FieldDescriptor::TYPE_BYTES: {
        Try<std::string> decoded = base64::decode(string.value);
        if (decoded.isError()) {
          return Error(
              "Failed to base64 decode bytes field '" + field->name() +
              "': " + decoded.error());
        }
        setString(decoded.get());
        return Nothing();
      }
      case google::protobuf::FieldDescriptor::TYPE_ENUM: {
        const google::protobuf::EnumValueDescriptor* value =
          field->enum_type()->FindValueByName(string.value);
        if (value == nullptr) {
          return Error("Failed to find enum for '" + string.value + "'");
        }
        if (field->is_repeated()) {
          reflection->AddEnum(message, field, value);
        } else {
          reflection->SetEnum(message, field, value);
        }
        return Nothing();
      }
      default:
        return Error(
            "Not expecting a JSON string for field '" + field->name() + "'");
    }
  }

  Try<Nothing> operator()(const JSON::Number& number) const
  {
    typedef google::protobuf::FieldDescriptor F;

    const bool repeated = field->is_repeated();
    switch (field->type()) {
      case F::TYPE_DOUBLE:
        repeated
          ? reflection->AddDouble(message, field, number.as<double>())
          : reflection->SetDouble(message, field, number.as<double>());
        return Nothing();
      case F::TYPE_FLOAT:
        repeated
          ? reflection->AddFloat(message, field, number.as<float>())
          : reflection->SetFloat(message, field, number.as<float>());
        return Nothing();
      case F::TYPE_INT64:
      case F::TYPE_SINT64:
      case F::TYPE_SFIXED64:
        repeated
          ? reflection->AddInt64(message, field, number.as<int64_t>())
          : reflection->SetInt64(message, field, number.as<int64_t>());
        return Nothing();
      case F::TYPE_UINT64:
      case F::TYPE_FIXED64:
        repeated
          ? reflection->AddUInt64(message, field, number.as<uint64_t>())
          : reflection->SetUInt64(message, field, number.as<uint64_t>());
        return Nothing();
      case F::TYPE_INT32:
      case F::TYPE_SINT32:
      case F::TYPE_SFIXED32:
        repeated
          ? reflection->AddInt32(message, field, number.as<int32_t>())
          : reflection->SetInt32(message, field, number.as<int32_t>());
        return Nothing();
      case F::TYPE_UINT32:
      case F::TYPE_FIXED32:
        repeated
          ? reflection->AddUInt32(message, field, number.as<uint32_t>())
          : reflection->SetUInt32(message, field, number.as<uint32_t>());
        return Nothing();
      default:
        return Error(
            "Not expecting a JSON number for field '" + field->name() + "'");
    }
  }

  Try<Nothing> operator()(const JSON::Array& array) const
  {
    if (!field->is_repeated()) {
      return Error(
          "Not expecting a JSON array for field '" + field->name() + "'");
    }

    for (const JSON::Value& value : array.values) {
      Try<Nothing> result = boost::apply_visitor(*this, value);
      if (result.isError()) {
        return result;
      }
    }

    return Nothing();
  }

  Try<Nothing> operator()(const JSON::Boolean& boolean) const
  {
    if (field->type() != google::protobuf::FieldDescriptor::TYPE_BOOL) {
      return Error(
          "Not expecting a JSON boolean for field '" + field->name() + "'");
    }

    if (field->is_repeated()) {
      reflection->AddBool(message, field, boolean.value);
    } else {
      reflection->SetBool(message, field, boolean.value);
    }
    return Nothing();
  }

  // null leaves the field unset; missing required fields are reported once
  // for the whole message by the caller.
  Try<Nothing> operator()(const JSON::Null&) const { return Nothing(); }

private:
  void setString(const std::string& value) const
  {
    if (field->is_repeated()) {
      reflection->AddString(message, field, value);
    } else {
      reflection->SetString(message, field, value);
    }
  }

  google::protobuf::Message* message;
  const google::protobuf::Reflection* reflection;
  const google::protobuf::FieldDescriptor* field;
};


// Keys that name no field are ignored.
inline Try<Nothing> parse(
    google::protobuf::Message* message,
    const JSON::Object& object)
{
  const google::protobuf::Descriptor* descriptor = message->GetDescriptor();

  for (const auto& entry : object.values) {
    const google::protobuf::FieldDescriptor* field =
      descriptor->FindFieldByName(entry.first);
    if (field == nullptr) {
      continue;
    }

    Try<Nothing> result =
      boost::apply_visitor(FieldParser(message, field), entry.second);
    if (result.isError()) {
      return result;
    }
  }

  return Nothing();
}


// parse<T> for one message; the RepeatedPtrField version below handles
// sequences.
template <typename T>
struct Parse
{
  static_assert(
      std::is_convertible<T*, google::protobuf::Message*>::value,
      "T must be a protobuf message");

  Try<T> operator()(const JSON::Value& value) const
  {
    if (!value.is<JSON::Object>()) {
      return Error("Expecting a JSON object");
    }

    T message;

    Try<Nothing> result = parse(&message, value.as<JSON::Object>());
    if (result.isError()) {
      return Error(result.error());
    }

    if (!message.IsInitialized()) {
      return Error(
          "Missing required fields: " + message.InitializationErrorString());
    }

    return message;
  }
};


template <typename T>
struct Parse<google::protobuf::RepeatedPtrField<T>>
{
  static_assert(
      std::is_convertible<T*, google::protobuf::Message*>::value,
      "T must be a protobuf message");

  Try<google::protobuf::RepeatedPtrField<T>> operator()(
      const JSON::Value& value) const
  {
    if (!value.is<JSON::Array>()) {
      return Error("Expecting a JSON array");
    }

    const JSON::Array& array = value.as<JSON::Array>();

    google::protobuf::RepeatedPtrField<T> collection;
    collection.Reserve(static_cast<int>(array.values.size()));

    for (const JSON::Value& element : array.values) {
      Try<T> message = Parse<T>()(element);
      if (message.isError()) {
        return Error(message.error());
      }
      collection.Add()->Swap(&message.get());
    }

    return collection;
  }
};

} // namespace internal


// A message T from a JSON object, or a RepeatedPtrField<M> from a JSON array
// of objects. Errors: "Expecting a JSON object", "Expecting a JSON array",
// "Missing required fields: <protobuf's list>", and the field errors
// ("Not expecting a JSON <kind> for field '<name>'", "Failed to find enum
// for '<name>'", "Failed to base64 decode bytes field '<name>': <error>").
template <typename T>
Try<T> parse(const JSON::Value& value)
{
  return internal::Parse<T>()(value);
}

} // namespace protobuf


namespace JSON {

// A JSON object of the message: every set singular field, every unset
// singular field that declares a default (with that default), every
// non-empty repeated field. Keys are the field names.
inline Object protobuf(const google::protobuf::Message& message);


namespace internal {

// The JSON value of one (singular or repeated, at `index`) field value.
inline Value protobufField(
    const google::protobuf::Message& message,
    const google::protobuf::FieldDescriptor* field,
    int index)
{
  typedef google::protobuf::FieldDescriptor F;

  const google::protobuf::Reflection* reflection = message.GetReflection();
  const bool repeated = field->is_repeated();

  switch (field->type()) {
    case F::TYPE_DOUBLE:
      return Number(
          repeated ? reflection->GetRepeatedDouble(message, field, index)
                   : reflection->GetDouble(message, field));
    case F::TYPE_FLOAT:
      return Number(
          repeated ? reflection->GetRepeatedFloat(message, field, index)
                   : reflection->GetFloat(message, field));
    case F::TYPE_INT64:
    case F::TYPE_SINT64:
    case F::TYPE_SFIXED64:
      return Number(
          repeated ? reflection->GetRepeatedInt64(message, field, index)
                   : reflection->GetInt64(message, field));
    case F::TYPE_UINT64:
    case F::TYPE_FIXED64:
      return Number(
          repeated ? reflection->GetRepeatedUInt64(message, field, index)
                   : reflection->GetUInt64(message, field));
    case F::TYPE_INT32:
    case F::TYPE_SINT32:
    case F::TYPE_SFIXED32:
      return Number(
          repeated ? reflection->GetRepeatedInt32(message, field, index)
                   : reflection->GetInt32(message, field));
    case F::TYPE_UINT32:
    case F::TYPE_FIXED32:
      return Number(
          repeated ? reflection->GetRepeatedUInt32(message, field, index)
                   : reflection->GetUInt32(message, field));
    case F::TYPE_BOOL:
      return Boolean(
          repeated ? reflection->GetRepeatedBool(message, field, index)
                   : reflection->GetBool(message, field));
    case F::TYPE_STRING:
      return String(
          repeated ? reflection->GetRepeatedString(message, field, index)
                   : reflection->GetString(message, field));
    case F::TYPE_BYTES:
      return String(base64::encode(
          repeated ? reflection->GetRepeatedString(message, field, index)
                   : reflection->GetString(message, field)));
    case F::TYPE_ENUM:
      return String(
          (repeated ? reflection->GetRepeatedEnum(message, field, index)
                    : reflection->GetEnum(message, field))->name());
    case F::TYPE_MESSAGE:
    case F::TYPE_GROUP:
      // Groups (deprecated proto2 syntax) convert like nested messages.
      return protobuf(
          repeated ? reflection->GetRepeatedMessage(message, field, index)
                   : reflection->GetMessage(message, field));
  }

  return Null();
}

} // namespace internal


inline Object protobuf(const google::protobuf::Message& message)
{
  const google::protobuf::Descriptor* descriptor = message.GetDescriptor();
  const google::protobuf::Reflection* reflection = message.GetReflection();

  Object object;

  for (int i = 0; i < descriptor->field_count(); ++i) {
    const google::protobuf::FieldDescriptor* field = descriptor->field(i);

    if (field->is_repeated()) {
      const int size = reflection->FieldSize(message, field);
      if (size == 0) {
        continue;
      }

      Array array;
      array.values.reserve(static_cast<size_t>(size));
      for (int index = 0; index < size; ++index) {
        array.values.push_back(internal::protobufField(message, field, index));
      }
      object.values[field->name()] = std::move(array);
    } else if (
        reflection->HasField(message, field) || field->has_default_value()) {
      object.values[field->name()] =
        internal::protobufField(message, field, 0);
    }
  }

  return object;
}


template <typename T>
Array protobuf(const google::protobuf::RepeatedPtrField<T>& repeated)
{
  static_assert(
      std::is_convertible<T*, google::protobuf::Message*>::value,
      "T must be a protobuf message");

  Array array;
  array.values.reserve(static_cast<size_t>(repeated.size()));
  for (const T& element : repeated) {
    array.values.push_back(protobuf(element));
  }
  return array;
}


// For jsonify(JSON::Protobuf(message)): the fields JSON::protobuf(message)
// holds, written as stout's streaming writer writes them: in the order the
// message declares them, nested messages likewise, not sorted by name.
struct Protobuf
{
  explicit Protobuf(const google::protobuf::Message& _message)
    : message(_message) {}

  const google::protobuf::Message& message;
};


namespace internal {

inline void writeProtobuf(
    std::ostream& stream,
    const google::protobuf::Message& message);


inline void writeProtobufField(
    std::ostream& stream,
    const google::protobuf::Message& message,
    const google::protobuf::FieldDescriptor* field,
    int index)
{
  const google::protobuf::Reflection* reflection = message.GetReflection();
  if (field->cpp_type() == google::protobuf::FieldDescriptor::CPPTYPE_MESSAGE) {
    writeProtobuf(
        stream,
        field->is_repeated()
          ? reflection->GetRepeatedMessage(message, field, index)
          : reflection->GetMessage(message, field));
    return;
  }
  stream << protobufField(message, field, index);
}


inline void writeProtobuf(
    std::ostream& stream,
    const google::protobuf::Message& message)
{
  const google::protobuf::Descriptor* descriptor = message.GetDescriptor();
  const google::protobuf::Reflection* reflection = message.GetReflection();

  stream << '{';
  bool first = true;
  for (int i = 0; i < descriptor->field_count(); ++i) {
    const google::protobuf::FieldDescriptor* field = descriptor->field(i);

    const int size = field->is_repeated() ? reflection->FieldSize(message, field) : 0;
    if (field->is_repeated() ? size == 0
                             : !reflection->HasField(message, field) &&
                                 !field->has_default_value()) {
      continue;
    }

    if (!first) {
      stream << ',';
    }
    first = false;
    writeString(stream, field->name());
    stream << ':';

    if (!field->is_repeated()) {
      writeProtobufField(stream, message, field, 0);
      continue;
    }

    stream << '[';
    for (int index = 0; index < size; ++index) {
      if (index > 0) {
        stream << ',';
      }
      writeProtobufField(stream, message, field, index);
    }
    stream << ']';
  }
  stream << '}';
}

} // namespace internal


inline void json(std::ostream& stream, const Protobuf& protobuf)
{
  internal::writeProtobuf(stream, protobuf.message);
}

} // namespace JSON

#endif // __STOUT_PROTOBUF_HPP__
