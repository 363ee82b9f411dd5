// 8-bit text helpers. All text in this program is Windows-1252 bytes kept
// as they are; this is the one place that decides how letters fold.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace plat {

// Upper-case fold of one byte: ASCII a-z and the Windows-1252 Latin
// letters (0xE0-0xFE except 0xF7, plus 0x9A, 0x9C, 0x9E, 0xFF).
char FoldChar(char c);
// Lower-case counterpart of FoldChar.
char LowerChar(char c);
// ASCII-only upper-casing of one byte (a-z), for protocol keys and tags.
inline char UpperAsciiChar(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }

std::string UpperCase(std::string_view s);   // FoldChar on every byte
std::string LowerCase(std::string_view s);   // LowerChar on every byte
std::string UpperAscii(std::string_view s);  // UpperAsciiChar on every byte

// Case-insensitive comparison under FoldChar: <0, 0, >0.
int CompareText(std::string_view a, std::string_view b);
inline bool SameText(std::string_view a, std::string_view b) { return CompareText(a, b) == 0; }
// A hash of the text under FoldChar: texts that SameText calls equal hash
// alike.
size_t FoldedHash(std::string_view s);

// Removes bytes 0..32 from both ends / the start / the end.
std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);

std::string IntToStr(int64_t v);

// The Windows-1252 byte of a Unicode code point; '?' for one the code page
// does not have (the C1 controls U+0080-U+009F included).
char AnsiFromCodePoint(uint32_t cp);
// UTF-8 text as Windows-1252: every character the code page lacks, and
// every byte that starts no valid sequence, becomes '?'.
std::string AnsiFromUtf8(std::string_view utf8);
// UTF-16 code units as Windows-1252 (bigEndian: the byte order of the
// units). A unit U+FEFF or U+FFFE (a byte-order mark) sets the byte order
// of the units after it and gives no character; a unit 0 gives a 0 byte;
// an odd last byte is dropped; characters beyond the code page become '?'.
std::string AnsiFromUtf16(std::string_view bytes, bool bigEndian);

}  // namespace plat
