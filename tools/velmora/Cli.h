// Command-line plumbing shared by every command: the argument parser and the
// two kinds of failure a command reports (a misuse of the command line, and a
// failure of the work itself).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace vtool {

// The command line was used wrongly: reported with a pointer to --help, exit status 2.
class UsageError : public std::runtime_error {
 public:
  explicit UsageError(const std::string &message) : std::runtime_error(message) {}
};

// The command could not do its work: reported as it is, exit status 1.
class ToolError : public std::runtime_error {
 public:
  explicit ToolError(const std::string &message) : std::runtime_error(message) {}
};

// Options come as "--name value" or "--name=value"; "--" ends the options.
// Options named in `valued` take a value and may be repeated; those in `flags`
// take none.  "--help" and "-h" are always known.
class Args {
 public:
  Args(const std::vector<std::string> &argv, const std::set<std::string> &valued, const std::set<std::string> &flags);

  bool help() const { return help_; }
  bool has(const std::string &flag) const { return flags_.count(flag) != 0; }
  const std::vector<std::string> &positionals() const { return positionals_; }
  // Every value given for the option, in command-line order.
  std::vector<std::string> values(const std::string &option) const;
  // The option's value; refuses an option given more than once.
  std::optional<std::string> value(const std::string &option) const;

 private:
  bool help_ = false;
  std::set<std::string> flags_;
  std::map<std::string, std::vector<std::string>> values_;
  std::vector<std::string> positionals_;
};

// A whole non-negative decimal number for the option `what`, at most `max`.
int32_t ParseCount(const std::string &text, const std::string &what, int32_t max);

// Splits "a,b,c" at every comma (no quoting), keeping empty parts.
std::vector<std::string> SplitOn(const std::string &text, char separator);

}  // namespace vtool
