// Command-line options of vostal-manifest: "--name value" (or "--name=value"),
// flags without a value, and positional arguments. Every option must be known
// to the command; an option given twice is refused unless it may repeat.
#pragma once

#include <expected>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vostal::manifest_tool {

struct OptionSpec {
  std::string_view name;  // without the leading "--"
  bool takes_value = true;
  bool repeatable = false;
};

class Arguments {
 public:
  // The value of an option that may appear once, if it was given.
  std::optional<std::string> value(std::string_view name) const;
  // Every value of a repeatable option, in command-line order.
  std::vector<std::string> values(std::string_view name) const;
  bool has(std::string_view name) const;

  std::vector<std::string> positional;

 private:
  friend std::expected<Arguments, std::string> parse_arguments(std::span<const std::string>,
                                                               std::span<const OptionSpec>);
  std::map<std::string, std::vector<std::string>, std::less<>> options_;
};

// `args` are the words after the command name.
std::expected<Arguments, std::string> parse_arguments(std::span<const std::string> args,
                                                      std::span<const OptionSpec> specs);

}  // namespace vostal::manifest_tool
