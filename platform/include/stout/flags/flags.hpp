#ifndef __STOUT_FLAGS_FLAGS_HPP__
#define __STOUT_FLAGS_FLAGS_HPP__

#include <stdlib.h>

#include <algorithm>
#include <map>
#include <ostream>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <vector>

#include <glog/logging.h>

#include <stout/abort.hpp>
#include <stout/duration.hpp>
#include <stout/error.hpp>
#include <stout/none.hpp>
#include <stout/nothing.hpp>
#include <stout/option.hpp>
#include <stout/path.hpp>
#include <stout/some.hpp>
#include <stout/stringify.hpp>
#include <stout/strings.hpp>
#include <stout/try.hpp>

#include <stout/flags/fetch.hpp>
#include <stout/flags/flag.hpp>
#include <stout/flags/parse.hpp>

#include <stout/os/environment.hpp>

namespace flags {

// The base of every flags class. A flags class inherits it virtually and
// registers its members with add() in its constructor:
//
//   class Flags : public virtual flags::FlagsBase
//   {
//   public:
//     Flags()
//     {
//       add(&Flags::timeout, "timeout", "How long to wait", Seconds(5));
//       add(&Flags::url, "url", "Where to go"); // Required.
//       add(&Flags::token, "token", "Optional secret");
//     }
//
//     Duration timeout;
//     std::string url;
//     Option<std::string> token;
//   };
//
// A flag's value text is resolved with flags::fetch<T> and converted with
// flags::parse<T>, chosen where add() is instantiated: a `template <>`
// parse (or Parser) for a type, declared before the flags class's
// constructor, takes part.
class FlagsBase
{
public:
  FlagsBase()
  {
    add(&FlagsBase::help, "help", "Prints this help message", false);
  }

  virtual ~FlagsBase() = default;

  // Copyable, but not movable: with virtual inheritance a move could leave
  // one of several paths to this base moved from.
  FlagsBase(const FlagsBase&) = default;
  FlagsBase(FlagsBase&&) = delete;
  FlagsBase& operator=(const FlagsBase&) = default;
  FlagsBase& operator=(FlagsBase&&) = delete;

  // From the environment only: variables named <prefix><name> (the name in
  // any case).
  virtual Try<Warnings> load(const std::string& prefix);

  // From "--name=value", "--name" and "--no-name" arguments (argv[0] is the
  // program), after the environment when a prefix is given; the command
  // line wins. Arguments after "--" and those not starting with "--" are
  // skipped. Without `duplicates`, naming a flag twice fails.
  virtual Try<Warnings> load(
      const Option<std::string>& prefix,
      int argc,
      const char* const* argv,
      bool unknowns = false,
      bool duplicates = false);

  // As above; on success the consumed arguments are removed from argv.
  virtual Try<Warnings> load(
      const Option<std::string>& prefix,
      int* argc,
      char*** argv,
      bool unknowns = false,
      bool duplicates = false);

  // From name -> value entries (None: a boolean flag without a value). With
  // a prefix, environment variables fill in flags that `values` leaves out.
  virtual Try<Warnings> load(
      const std::map<std::string, Option<std::string>>& values,
      bool unknowns = false,
      const Option<std::string>& prefix = None());

  virtual Try<Warnings> load(
      const std::map<std::string, std::string>& values,
      bool unknowns = false,
      const Option<std::string>& prefix = None());

  // The help text: `message`, then the usage line, then one line per flag.
  std::string usage(const Option<std::string>& message = None()) const;

  void setUsageMessage(const std::string& message)
  {
    usageMessage_ = Some(message);
  }

  typedef std::map<std::string, Flag>::const_iterator const_iterator;
  typedef std::map<std::string, Flag>::iterator iterator;

  const_iterator begin() const { return flags_.begin(); }
  const_iterator end() const { return flags_.end(); }
  iterator begin() { return flags_.begin(); }
  iterator end() { return flags_.end(); }

  // Registers member `t1` with default `*t2`; a null `t2` makes the flag
  // required. `validate` (Option<Error>(const T1&)) runs after every load.
  template <typename Flags, typename T1, typename T2, typename F>
  void add(
      T1 Flags::*t1,
      const Name& name,
      const Option<Name>& alias,
      const std::string& help,
      const T2* t2,
      F validate);

  template <typename Flags, typename T1, typename T2, typename F>
  void add(
      T1 Flags::*t1,
      const Name& name,
      const Option<Name>& alias,
      const std::string& help,
      const T2& t2,
      F validate)
  {
    add(t1, name, alias, help, &t2, validate);
  }

  template <typename Flags, typename T1, typename T2, typename F>
  void add(
      T1 Flags::*t1,
      const Name& name,
      const std::string& help,
      const T2& t2,
      F validate)
  {
    add(t1, name, None(), help, &t2, validate);
  }

  template <typename Flags, typename T1, typename T2>
  void add(
      T1 Flags::*t1,
      const Name& name,
      const std::string& help,
      const T2& t2)
  {
    add(t1, name, None(), help, &t2, [](const T1&) -> Option<Error> {
      return None();
    });
  }

  // A required flag: loading fails unless it is given.
  template <typename Flags, typename T>
  void add(T Flags::*t, const Name& name, const std::string& help)
  {
    add(t,
        name,
        None(),
        help,
        static_cast<const T*>(nullptr),
        [](const T&) -> Option<Error> { return None(); });
  }

  template <typename Flags, typename T1, typename T2>
  void add(
      T1 Flags::*t1,
      const Name& name,
      const Option<Name>& alias,
      const std::string& help,
      const T2& t2)
  {
    add(t1, name, alias, help, &t2, [](const T1&) -> Option<Error> {
      return None();
    });
  }

  // An optional flag: None unless given. `validate` takes the Option.
  template <typename Flags, typename T, typename F>
  void add(
      Option<T> Flags::*option,
      const Name& name,
      const Option<Name>& alias,
      const std::string& help,
      F validate);

  template <typename Flags, typename T, typename F>
  void add(
      Option<T> Flags::*option,
      const Name& name,
      const std::string& help,
      F validate)
  {
    add(option, name, None(), help, validate);
  }

  template <typename Flags, typename T>
  void add(Option<T> Flags::*option, const Name& name, const std::string& help)
  {
    add(option, name, None(), help, [](const Option<T>&) -> Option<Error> {
      return None();
    });
  }

  template <typename Flags, typename T>
  void add(
      Option<T> Flags::*option,
      const Name& name,
      const Option<Name>& alias,
      const std::string& help)
  {
    add(option, name, alias, help, [](const Option<T>&) -> Option<Error> {
      return None();
    });
  }

  // Registers a flag. A name or alias that is already taken, an alias equal
  // to the name, or a name starting with the reserved "no-" is a
  // programming error: it is logged and the flag is not added (Mesos exits
  // the process instead).
  void add(const Flag& flag);

  // Set by "--help".
  bool help;

  // The environment variables <prefix><name> that name known flags, as
  // lower-cased name -> value.
  std::map<std::string, Option<std::string>> extract(
      const std::string& prefix) const;

  // <prefix><NAME> -> value for every flag that has a value.
  std::map<std::string, std::string> buildEnvironment(
      const Option<std::string>& prefix = None()) const;

protected:
  std::string programName_;
  Option<std::string> usageMessage_;

private:
  // Name -> value in ascending name order; a name may repeat.
  typedef std::multimap<std::string, Option<std::string>> Values;

  Try<Warnings> load(
      Values& values,
      bool unknowns,
      bool duplicates,
      const Option<std::string>& prefix);

  // Reads "--name[=value]" arguments; returns the indices of the others.
  static Values parseArguments(
      int argc,
      const char* const* argv,
      std::vector<int>* others);

  std::map<std::string, Flag> flags_;

  // Alias -> name.
  std::map<std::string, std::string> aliases;
};


namespace internal {

// " (default: <value>)", on a line of its own if the help ends in a newline.
inline std::string defaultSuffix(
    const std::string& help,
    const Option<std::string>& value)
{
  const bool sameLine =
    !help.empty() && help.find_last_of("\n\r") != help.size() - 1;
  return (sameLine ? " (default: " : "(default: ") + value.getOrElse("") +
         ")";
}

} // namespace internal


template <typename Flags, typename T1, typename T2, typename F>
void FlagsBase::add(
    T1 Flags::*t1,
    const Name& name,
    const Option<Name>& alias,
    const std::string& help,
    const T2* t2,
    F validate)
{
  if (t1 == nullptr) {
    return;
  }

  Flags* flags = dynamic_cast<Flags*>(this);
  if (flags == nullptr) {
    ABORT("Attempted to add flag '" + name.value + "' with incompatible type");
  }

  Flag flag;
  flag.name = name;
  flag.alias = alias;
  flag.help = help;
  flag.boolean = typeid(T1) == typeid(bool);

  if (t2 != nullptr) {
    flags->*t1 = *t2;
    flag.required = false;
  } else {
    flag.required = true;
  }

  // The functions find their member through the FlagsBase they are given,
  // never through `this`: copies of the flags object share them.
  flag.load = [t1](FlagsBase* base, const std::string& value) -> Try<Nothing> {
    Flags* flags = dynamic_cast<Flags*>(base);
    if (flags != nullptr) {
      Try<T1> t = fetch<T1>(value);
      if (t.isError()) {
        return Error("Failed to load value '" + value + "': " + t.error());
      }
      flags->*t1 = t.get();
    }
    return Nothing();
  };

  flag.stringify = [t1](const FlagsBase& base) -> Option<std::string> {
    const Flags* flags = dynamic_cast<const Flags*>(&base);
    if (flags != nullptr) {
      return ::stringify(flags->*t1);
    }
    return None();
  };

  flag.validate = [t1, validate](const FlagsBase& base) -> Option<Error> {
    const Flags* flags = dynamic_cast<const Flags*>(&base);
    if (flags != nullptr) {
      return validate(flags->*t1);
    }
    return None();
  };

  flag.help += internal::defaultSuffix(
      help,
      t2 != nullptr ? Option<std::string>(::stringify(*t2)) : None());

  add(flag);
}


template <typename Flags, typename T, typename F>
void FlagsBase::add(
    Option<T> Flags::*option,
    const Name& name,
    const Option<Name>& alias,
    const std::string& help,
    F validate)
{
  if (option == nullptr) {
    return;
  }

  if (dynamic_cast<Flags*>(this) == nullptr) {
    ABORT("Attempted to add flag '" + name.value + "' with incompatible type");
  }

  Flag flag;
  flag.name = name;
  flag.alias = alias;
  flag.help = help;
  flag.boolean = typeid(T) == typeid(bool);
  flag.required = false;

  flag.load =
    [option](FlagsBase* base, const std::string& value) -> Try<Nothing> {
    Flags* flags = dynamic_cast<Flags*>(base);
    if (flags != nullptr) {
      Try<T> t = fetch<T>(value);
      if (t.isError()) {
        return Error("Failed to load value '" + value + "': " + t.error());
      }
      flags->*option = Some(t.get());
    }
    return Nothing();
  };

  flag.stringify = [option](const FlagsBase& base) -> Option<std::string> {
    const Flags* flags = dynamic_cast<const Flags*>(&base);
    if (flags != nullptr && (flags->*option).isSome()) {
      return ::stringify((flags->*option).get());
    }
    return None();
  };

  flag.validate = [option, validate](const FlagsBase& base) -> Option<Error> {
    const Flags* flags = dynamic_cast<const Flags*>(&base);
    if (flags != nullptr) {
      return validate(flags->*option);
    }
    return None();
  };

  add(flag);
}


inline void FlagsBase::add(const Flag& flag)
{
  std::vector<Name> names = {flag.name};
  if (flag.alias.isSome()) {
    if (flag.alias.get() == flag.name) {
      LOG(ERROR) << "Attempted to add flag '" << flag.name.value
                 << "' with an alias that is same as the flag name";
      return;
    }
    names.push_back(flag.alias.get());
  }

  for (const Name& name : names) {
    if (flags_.count(name.value) > 0 || aliases.count(name.value) > 0) {
      LOG(ERROR) << "Attempted to add duplicate flag '" << name.value << "'";
      return;
    }
    if (strings::startsWith(name.value, "no-")) {
      LOG(ERROR) << "Attempted to add flag '" << name.value
                 << "' that starts with the reserved 'no-' prefix";
      return;
    }
  }

  flags_[flag.name.value] = flag;
  if (flag.alias.isSome()) {
    aliases[flag.alias.get().value] = flag.name.value;
  }
}


inline std::map<std::string, Option<std::string>> FlagsBase::extract(
    const std::string& prefix) const
{
  std::map<std::string, Option<std::string>> values;

  for (const auto& entry : os::environment()) {
    if (!strings::startsWith(entry.first, prefix)) {
      continue;
    }

    // PREFIX_NAME and PREFIX_name both name flag "name".
    const std::string name = strings::lower(entry.first.substr(prefix.size()));

    // Variables that name no flag are left alone whatever `unknowns` says:
    // the environment holds much besides our flags.
    const std::string flagName = strings::remove(name, "no-", strings::PREFIX);
    if (flags_.count(flagName) > 0 || aliases.count(flagName) > 0) {
      values[name] = Some(entry.second);
    }
  }

  return values;
}


inline std::map<std::string, std::string> FlagsBase::buildEnvironment(
    const Option<std::string>& prefix) const
{
  std::map<std::string, std::string> result;

  for (const auto& entry : flags_) {
    const Flag& flag = entry.second;
    const Option<std::string> value = flag.stringify(*this);
    if (value.isSome()) {
      result[prefix.getOrElse("") +
             strings::upper(flag.effective_name().value)] = value.get();
    }
  }

  return result;
}


inline Try<Warnings> FlagsBase::load(const std::string& prefix)
{
  return load(extract(prefix));
}


inline FlagsBase::Values FlagsBase::parseArguments(
    int argc,
    const char* const* argv,
    std::vector<int>* others)
{
  Values values;

  for (int i = 1; i < argc; i++) {
    if (argv[i] == nullptr) {
      break;
    }

    const std::string arg = strings::trim(argv[i]);

    if (arg == "--") {
      for (int j = i + 1; j < argc; j++) {
        others->push_back(j);
      }
      break;
    }

    if (!strings::startsWith(arg, "--")) {
      others->push_back(i);
      continue;
    }

    std::string name;
    Option<std::string> value = None();

    const size_t eq = arg.find('=');
    if (eq == std::string::npos) {
      name = arg.substr(2);
    } else {
      name = arg.substr(2, eq - 2);
      value = arg.substr(eq + 1);
    }

    values.emplace(strings::lower(name), value);
  }

  return values;
}


inline Try<Warnings> FlagsBase::load(
    const Option<std::string>& prefix,
    int argc,
    const char* const* argv,
    bool unknowns,
    bool duplicates)
{
  programName_ =
    argc > 0 && argv[0] != nullptr ? Path(argv[0]).basename() : "";

  std::vector<int> others;
  Values values = parseArguments(argc, argv, &others);

  return load(values, unknowns, duplicates, prefix);
}


inline Try<Warnings> FlagsBase::load(
    const Option<std::string>& prefix,
    int* argc,
    char*** argv,
    bool unknowns,
    bool duplicates)
{
  programName_ =
    *argc > 0 && (*argv)[0] != nullptr ? Path((*argv)[0]).basename() : "";

  std::vector<int> others;
  Values values = parseArguments(*argc, *argv, &others);

  Try<Warnings> result = load(values, unknowns, duplicates, prefix);

  if (result.isSome()) {
    // Keep argv[0] and the arguments that were not flags, in order.
    std::vector<char*> kept;
    for (int index : others) {
      kept.push_back((*argv)[index]);
    }

    int i = 1;
    for (char* arg : kept) {
      (*argv)[i++] = arg;
    }
    *argc = i;
    (*argv)[i] = nullptr;
  }

  return result;
}


inline Try<Warnings> FlagsBase::load(
    const std::map<std::string, Option<std::string>>& values,
    bool unknowns,
    const Option<std::string>& prefix)
{
  Values values_(values.begin(), values.end());
  return load(values_, unknowns, false, prefix);
}


inline Try<Warnings> FlagsBase::load(
    const std::map<std::string, std::string>& values,
    bool unknowns,
    const Option<std::string>& prefix)
{
  Values values_;
  for (const auto& entry : values) {
    values_.emplace(entry.first, Some(entry.second));
  }
  return load(values_, unknowns, false, prefix);
}


inline Try<Warnings> FlagsBase::load(
    Values& values,
    bool unknowns,
    bool duplicates,
    const Option<std::string>& prefix)
{
  Warnings warnings;

  // The environment only fills in names that `values` does not have.
  if (prefix.isSome()) {
    for (const auto& entry : extract(prefix.get())) {
      if (values.count(entry.first) == 0) {
        values.emplace(entry.first, entry.second);
      }
    }
  }

  for (const auto& entry : values) {
    const std::string& name = entry.first;
    const Option<std::string>& value = entry.second;

    const bool negated = strings::startsWith(name, "no-");
    const std::string flagName = negated ? name.substr(3) : name;

    auto alias = aliases.find(flagName);
    auto iterator =
      flags_.find(alias != aliases.end() ? alias->second : flagName);

    if (iterator == flags_.end()) {
      if (unknowns) {
        continue;
      }
      return Error(
          "Failed to load unknown flag '" + flagName + "'" +
          (negated ? " via '" + name + "'" : ""));
    }

    Flag* flag = &iterator->second;

    if (!duplicates && flag->loaded_name.isSome()) {
      return Error(
          "Flag '" + flagName + "' is already loaded via name '" +
          flag->loaded_name->value + "'");
    }

    std::string text;
    if (!flag->boolean) {
      if (negated) {
        return Error(
            "Failed to load non-boolean flag '" + flagName + "' via '" +
            name + "'");
      }
      if (value.isNone()) {
        return Error(
            "Failed to load non-boolean flag '" + flagName +
            "': Missing value");
      }
      text = value.get();
    } else if (value.isNone() || value.get().empty()) {
      text = negated ? "false" : "true";
    } else if (!negated) {
      text = value.get();
    } else {
      return Error(
          "Failed to load boolean flag '" + flagName + "' via '" + name +
          "' with value '" + value.get() + "'");
    }

    Try<Nothing> load = flag->load(this, text);
    if (load.isError()) {
      return Error("Failed to load flag '" + flagName + "': " + load.error());
    }

    flag->loaded_name = alias != aliases.end() && flag->alias.isSome()
      ? flag->alias.get()
      : flag->name;

    if (flag->loaded_name->deprecated) {
      warnings.warnings.push_back(
          Warning("Loaded deprecated flag '" + flagName + "'"));
    }
  }

  // Flags in ascending name order: required ones must have been loaded,
  // and every validator runs, loaded or not. The first failure is returned.
  for (const auto& entry : flags_) {
    const Flag& flag = entry.second;

    if (flag.required && flag.loaded_name.isNone()) {
      return Error(
          "Flag '" + flag.name.value + "' is required, but it was not provided");
    }

    Option<Error> error = flag.validate(*this);
    if (error.isSome()) {
      return error.get();
    }
  }

  return warnings;
}


inline std::string FlagsBase::usage(const Option<std::string>& message) const
{
  const size_t PAD = 5;

  std::string usage;

  if (message.isSome()) {
    usage = message.get() + "\n\n";
  }

  if (usageMessage_.isNone()) {
    usage += "Usage: " + programName_ + " [options]\n\n";
  } else {
    usage += usageMessage_.get() + "\n\n";
  }

  // First column: the flag's spellings.
  std::map<std::string, std::string> names;
  size_t width = 0;

  for (const auto& entry : flags_) {
    const Flag& flag = entry.second;
    std::string& column = names[flag.name.value];

    if (flag.boolean) {
      column = "  --[no-]" + flag.name.value;
      if (flag.alias.isSome()) {
        column += ", --[no-]" + flag.alias->value;
      }
    } else {
      column = "  --" + flag.name.value + "=VALUE";
      if (flag.alias.isSome()) {
        column += ", --" + flag.alias->value + "=VALUE";
      }
    }

    width = std::max(width, column.size());
  }

  // Second column: the help, continuation lines aligned under it.
  for (const auto& entry : flags_) {
    const Flag& flag = entry.second;
    const std::string& column = names[flag.name.value];

    std::string indent = column + std::string(PAD + width - column.size(), ' ');
    for (const std::string& line : strings::split(flag.help, "\n\r")) {
      usage += indent + line + "\n";
      indent = std::string(PAD + width, ' ');
    }
  }

  return usage;
}


// --name="value" for every flag that has a value, separated by blanks.
inline std::ostream& operator<<(std::ostream& stream, const FlagsBase& flags)
{
  std::vector<std::string> values;

  for (const auto& entry : flags) {
    const Flag& flag = entry.second;
    const Option<std::string> value = flag.stringify(flags);
    if (value.isSome()) {
      values.push_back(
          "--" + flag.effective_name().value + "=\"" + value.get() + "\"");
    }
  }

  return stream << strings::join(" ", values);
}

} // namespace flags

#endif // __STOUT_FLAGS_FLAGS_HPP__
