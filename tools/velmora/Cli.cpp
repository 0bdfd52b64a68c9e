#include "Cli.h"

#include <charconv>

namespace vtool {

Args::Args(const std::vector<std::string> &argv, const std::set<std::string> &valued,
           const std::set<std::string> &flags) {
  bool optionsEnded = false;
  for (size_t i = 0; i < argv.size(); ++i) {
    const std::string &arg = argv[i];
    // "-" alone is a file name (standard input or output), "-5" a value.
    const bool shortOption =
        arg.size() >= 2 && arg[0] == '-' && arg[1] != '-' && !(arg[1] >= '0' && arg[1] <= '9') && arg[1] != '.';
    if (!optionsEnded && shortOption && arg != "-h")
      throw UsageError("unknown option " + arg + " (options are written --name)");
    if (optionsEnded || arg.size() < 2 || arg[0] != '-' || (arg[1] != '-' && arg != "-h")) {
      positionals_.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      help_ = true;
      continue;
    }
    std::string name = arg.substr(2);
    std::optional<std::string> inlineValue;
    size_t eq = name.find('=');
    if (eq != std::string::npos) {
      inlineValue = name.substr(eq + 1);
      name.erase(eq);
    }
    if (valued.count(name)) {
      if (inlineValue) {
        values_[name].push_back(*inlineValue);
      } else {
        if (i + 1 >= argv.size()) throw UsageError("option --" + name + " needs a value");
        values_[name].push_back(argv[++i]);
      }
    } else if (flags.count(name)) {
      if (inlineValue) throw UsageError("option --" + name + " takes no value");
      flags_.insert(name);
    } else {
      throw UsageError("unknown option --" + name);
    }
  }
}

std::vector<std::string> Args::values(const std::string &option) const {
  auto it = values_.find(option);
  return it == values_.end() ? std::vector<std::string>() : it->second;
}

std::optional<std::string> Args::value(const std::string &option) const {
  auto it = values_.find(option);
  if (it == values_.end()) return std::nullopt;
  if (it->second.size() > 1) throw UsageError("option --" + option + " given more than once");
  return it->second.front();
}

int32_t ParseCount(const std::string &text, const std::string &what, int32_t max) {
  int64_t value = 0;
  const char *end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || value < 0 || value > max)
    throw UsageError(what + " must be a whole number from 0 to " + std::to_string(max) + ", not '" + text + "'");
  return static_cast<int32_t>(value);
}

std::vector<std::string> SplitOn(const std::string &text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t at = text.find(separator, start);
    parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) return parts;
    start = at + 1;
  }
}

}  // namespace vtool
