// Cutting command lines into words and quoted tokens, and formatting
// numbers for display.
//
// Numbers are grouped every three digits by the user's separator
// (plat::ThousandsSeparator: the locale's on Windows, "," elsewhere) and
// use "." before the decimal digit.
#pragma once
#include <cstdint>
#include <string>

// Returns the text of s before its first blank; s keeps what follows that
// blank. Without a blank the whole of s is returned and s becomes empty.
std::string SplitFirstWord(std::string& s);

// Returns the trimmed text between the first two double quotes of s; s
// loses everything up to the closing quote and is trimmed. Without a
// closing quote the result is the trimmed text after the opening quote and
// s is only trimmed; without any quote the result is empty and s is only
// trimmed.
std::string ExtractQuoted(std::string& s);

// n with its digits grouped by thousands: "0", "1,234", "-1,234,567" (with
// the user's separator).
std::string FormatThousands(int64_t n);

// A size in decimal units: "999 B", "1.5 KB", "1,000 KB", "2.3 MB",
// "1 GB", "1 TB"; one decimal at most, halves rounded away from zero;
// "0 B" for zero. Grouped as FormatThousands groups.
std::string FormatByteSize(int64_t n);
