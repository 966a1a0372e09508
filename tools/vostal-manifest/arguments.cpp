#include "arguments.hpp"

#include <algorithm>

namespace vostal::manifest_tool {

std::optional<std::string> Arguments::value(std::string_view name) const {
  const auto it = options_.find(name);
  if (it == options_.end() || it->second.empty()) return std::nullopt;
  return it->second.front();
}

std::vector<std::string> Arguments::values(std::string_view name) const {
  const auto it = options_.find(name);
  return it == options_.end() ? std::vector<std::string>{} : it->second;
}

bool Arguments::has(std::string_view name) const { return options_.find(name) != options_.end(); }

std::expected<Arguments, std::string> parse_arguments(std::span<const std::string> args,
                                                      std::span<const OptionSpec> specs) {
  Arguments out;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    if (!word.starts_with("--") || word == "--") {
      out.positional.push_back(word);
      continue;
    }
    std::string name = word.substr(2);
    std::optional<std::string> inline_value;
    if (const auto eq = name.find('='); eq != std::string::npos) {
      inline_value = name.substr(eq + 1);
      name.resize(eq);
    }
    const auto spec = std::find_if(specs.begin(), specs.end(), [&](const OptionSpec& s) { return s.name == name; });
    if (spec == specs.end()) return std::unexpected("unknown option --" + name);
    if (!spec->repeatable && out.has(name)) return std::unexpected("--" + name + " given more than once");

    auto& slot = out.options_[name];
    if (!spec->takes_value) {
      if (inline_value) return std::unexpected("--" + name + " takes no value");
      continue;
    }
    if (inline_value) {
      slot.push_back(*inline_value);
    } else if (i + 1 < args.size()) {
      slot.push_back(args[++i]);
    } else {
      return std::unexpected("--" + name + " needs a value");
    }
  }
  return out;
}

}  // namespace vostal::manifest_tool
