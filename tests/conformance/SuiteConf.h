#pragma once
// Reading the conformance suite's .conf files: INI-style sections of
// "key = value" lines, '#' comments, and comma-separated lists.

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace suiteconf {

using Ini = std::map<std::string, std::map<std::string, std::string>>;

inline Ini ReadConf(const std::string& path) {
  Ini ini;
  std::ifstream in(path);
  std::string line, section;
  auto trim = [](std::string s) {
    s.erase(0, s.find_first_not_of(" \t"));
    s.erase(s.find_last_not_of(" \t\r") + 1);
    return s;
  };
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      section = line.substr(1, line.find(']') - 1);
      continue;
    }
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    ini[section][trim(line.substr(0, eq))] = trim(line.substr(eq + 1));
  }
  return ini;
}

// The items of a comma-separated list, empty items left out.
inline std::vector<std::string> Split(const std::string& s) {
  std::vector<std::string> out;
  std::stringstream in(s);
  for (std::string item; std::getline(in, item, ',');)
    if (!item.empty()) out.push_back(item);
  return out;
}

}  // namespace suiteconf
