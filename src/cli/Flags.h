// A small flag reader shared by the commands: "--name value" and "--name=value",
// integers with their ranges, WxH pairs, named choices and --[no-]switches.
// Every refusal names the flag and what it accepts.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli/Command.h"
#include "imaging/Status.h"

namespace velmora::cli {

class Flags {
public:
  // `valued`: flags that take a value; `switches`: flags without one, each
  // also accepted as --no-NAME when listed in `negatable`.
  Flags(std::vector<std::string> valued, std::vector<std::string> switches, std::vector<std::string> negatable);

  // Fills the flags from args; positional arguments are collected in order.
  Status Parse(const Args& args);

  const std::vector<std::string>& Positional() const { return positional_; }
  bool Has(const std::string& name) const { return values_.count(name) != 0; }
  std::optional<std::string> Value(const std::string& name) const;
  // nullopt when the switch was not given; true for --NAME, false for --no-NAME.
  std::optional<bool> Switch(const std::string& name) const;

  // The flag's value as an integer in lo..hi; `out` is unchanged when absent.
  Status Int(const std::string& name, int lo, int hi, int& out) const;
  // "AxB" with both parts in lo..hi.
  Status Pair(const std::string& name, int lo, int hi, int& a, int& b) const;
  // One of `choices`; `out` gets its index.
  Status Choice(const std::string& name, const std::vector<std::string>& choices, int& out) const;

private:
  std::vector<std::string> valued_, switches_, negatable_;
  std::map<std::string, std::string> values_;
  std::map<std::string, bool> switchValues_;
  std::vector<std::string> positional_;
};

// Parses a whole decimal integer (optional sign); false on anything else.
bool ParseInt(const std::string& text, long long& out);

}  // namespace velmora::cli
