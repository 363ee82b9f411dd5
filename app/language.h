// The captions of the program's windows: the text of the language store
// ("Application.flf") under the window's section and a five-digit key, or
// the program's own English text when the file lacks the key. The program
// ships that file with the same texts.
#pragma once
#include <string>
#include <vector>

std::string LangText(const char* section, const char* key, const char* english);

// Every caption asked for since the program started, once each.
struct TLangEntry {
  std::string Section;
  std::string Key;
  std::string English;
};
std::vector<TLangEntry> LangTextsAsked();
