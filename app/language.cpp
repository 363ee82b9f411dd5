#include "app/language.h"

#include <map>
#include <utility>

#include "core/simple_config.h"

namespace {

std::map<std::pair<std::string, std::string>, std::string>& Asked() {
  static std::map<std::pair<std::string, std::string>, std::string> asked;
  return asked;
}

}  // namespace

std::string LangText(const char* section, const char* key, const char* english) {
  Asked().emplace(std::make_pair(std::string(section), std::string(key)), english);
  SetLanguageSection(section);
  std::string text = GetLanguageText(key);
  return text.empty() ? english : text;
}

std::vector<TLangEntry> LangTextsAsked() {
  std::vector<TLangEntry> out;
  for (const auto& [at, english] : Asked()) out.push_back({at.first, at.second, english});
  return out;
}
