#include "cli/Flags.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace velmora::cli {
namespace {

bool Contains(const std::vector<std::string>& list, const std::string& name) {
  return std::find(list.begin(), list.end(), name) != list.end();
}

std::string Join(const std::vector<std::string>& list, const char* sep) {
  std::string out;
  for (size_t i = 0; i < list.size(); ++i) out += (i ? sep : "") + list[i];
  return out;
}

}  // namespace

bool ParseInt(const std::string& text, long long& out) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || end == text.c_str() || *end != '\0') return false;
  out = v;
  return true;
}

Flags::Flags(std::vector<std::string> valued, std::vector<std::string> switches, std::vector<std::string> negatable)
    : valued_(std::move(valued)), switches_(std::move(switches)), negatable_(std::move(negatable)) {}

Status Flags::Parse(const Args& args) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.size() < 3 || arg.compare(0, 2, "--") != 0) {
      if (!arg.empty() && arg[0] == '-' && arg != "-") return Status::Error("unknown option " + arg);
      positional_.push_back(arg);
      continue;
    }
    std::string name = arg.substr(2);
    std::optional<std::string> inlineValue;
    if (auto eq = name.find('='); eq != std::string::npos) {
      inlineValue = name.substr(eq + 1);
      name.resize(eq);
    }
    if (Contains(valued_, name)) {
      if (inlineValue) {
        values_[name] = *inlineValue;
      } else if (i + 1 < args.size()) {
        values_[name] = args[++i];
      } else {
        return Status::Error("--" + name + " needs a value");
      }
      continue;
    }
    if (inlineValue) return Status::Error("--" + name + " takes no value");
    if (Contains(switches_, name) || Contains(negatable_, name)) {
      switchValues_[name] = true;
      continue;
    }
    if (name.compare(0, 3, "no-") == 0 && Contains(negatable_, name.substr(3))) {
      switchValues_[name.substr(3)] = false;
      continue;
    }
    return Status::Error("unknown option --" + name);
  }
  return Status::Ok();
}

std::optional<std::string> Flags::Value(const std::string& name) const {
  auto it = values_.find(name);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

std::optional<bool> Flags::Switch(const std::string& name) const {
  auto it = switchValues_.find(name);
  if (it == switchValues_.end()) return std::nullopt;
  return it->second;
}

Status Flags::Int(const std::string& name, int lo, int hi, int& out) const {
  auto v = Value(name);
  if (!v) return Status::Ok();
  long long n = 0;
  if (!ParseInt(*v, n) || n < lo || n > hi)
    return Status::Error(Format("--%s must be a whole number from %d to %d, not '%s'", name.c_str(), lo, hi,
                                v->c_str()));
  out = static_cast<int>(n);
  return Status::Ok();
}

Status Flags::Pair(const std::string& name, int lo, int hi, int& a, int& b) const {
  auto v = Value(name);
  if (!v) return Status::Ok();
  const auto x = v->find_first_of("xX");
  long long first = 0, second = 0;
  if (x == std::string::npos || !ParseInt(v->substr(0, x), first) || !ParseInt(v->substr(x + 1), second) ||
      first < lo || first > hi || second < lo || second > hi)
    return Status::Error(Format("--%s must be WxH with both numbers from %d to %d, not '%s'", name.c_str(), lo, hi,
                                v->c_str()));
  a = static_cast<int>(first);
  b = static_cast<int>(second);
  return Status::Ok();
}

Status Flags::Choice(const std::string& name, const std::vector<std::string>& choices, int& out) const {
  auto v = Value(name);
  if (!v) return Status::Ok();
  for (size_t i = 0; i < choices.size(); ++i) {
    if (choices[i] == *v) {
      out = static_cast<int>(i);
      return Status::Ok();
    }
  }
  return Status::Error("--" + name + " must be one of " + Join(choices, ", ") + ", not '" + *v + "'");
}

}  // namespace velmora::cli
