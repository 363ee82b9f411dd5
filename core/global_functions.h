// Free helper routines used all over the program: unique identifiers, a
// seconds clock, number and text conversions, base64, a wildcard matcher,
// boolean text, the shell, the program folder and the program-wide random
// generator.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/clock.h"

// A new unique identifier: the braced upper-case GUID text (38 characters)
// followed directly by two decimal numbers of 0 to 999 each (no leading
// zeros, no separator): 40 to 44 characters. Safe to call from any thread;
// identifiers made in the same millisecond differ.
std::string CreateUniqueID();

// Seconds between t and now with whole days dropped (0 to 86399). A t in
// the future counts by the size of the difference.
int SecondsSince(plat::DateTime t);

// The characters '0' to '9' of s (up to its first NUL character), in order,
// read as a decimal number; 0 when there are none or when the number does
// not fit into 64 bits. Never throws: the text may come from a peer.
int64_t DigitsToInt64(std::string_view s);
// The same over the whole of s, NUL characters included (the socket
// component's unit makes it available to its users).
int64_t EasyStrToInt64(std::string_view s);

// Opens target (trimmed) with the program the system associates with it,
// its folder being the working folder. Empty targets are ignored.
void OpenDocument(std::string_view target);

// Standard base64 with "=" padding; a CR LF follows every 60 input bytes
// (80 output characters), also at the very end when the length is a
// positive multiple of 60. An empty input gives an empty text.
std::string Base64Encode(std::string_view s);
// The same without any line break, for a value that must stay on one line
// (a protocol header, where a CR LF would end the value).
std::string Base64EncodeOneLine(std::string_view s);
// Decodes base64, skipping every character outside the alphabet (line
// breaks, blanks, "=" padding, anything else). A final group of two or
// three symbols gives one or two bytes; a lone final symbol gives nothing.
std::string Base64Decode(std::string_view s);

// The program's folder, ending in the path separator.
std::string AppDirectory();

std::string BoolToStr(bool b);  // "TRUE" / "FALSE"
// True exactly when s, trimmed and upper-cased, is "TRUE".
bool StrToBool(std::string_view s);

// Wildcard match of text against pattern: "*" stands for any run of
// characters (also none), "?" for any one character. Letters a-z match
// their upper-case forms; all other bytes, Windows-1252 letters included,
// must be equal. An empty pattern matches every text. Runs in
// O(pattern x text) time at worst.
bool MatchWildcard(std::string_view pattern, std::string_view text);

// Copies at most n characters of source (up to its first NUL) to dest and
// terminates it: dest must hold n + 1 bytes.
void StrLCopyFromString(char* dest, std::string_view source, std::size_t n);

// The program-wide random generator; any thread may use it.
// Random(n): a number from 0 to n - 1 (0 when n <= 0).
int Random(int n);
// Stirs the time of day in milliseconds into the generator.
void Randomize();
