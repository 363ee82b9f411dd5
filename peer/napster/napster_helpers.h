// Napster-side helper routines: link-speed names, the disguised names under
// which non-MP3 files travel through a protocol that only knows MP3 files,
// the seconds-of-day clock, duration and size texts, cutting of protocol
// lines, and a few file and shell helpers.
//
// Several of them are the same routines as the general helpers of
// core/global_functions.h and core/globals.h under the names the Napster
// code uses; they are aliases, not copies.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "core/global_functions.h"
#include "core/globals.h"

// The name of a Napster link-speed code (0 to 10); any other code is
// "Unknown".
std::string LinkSpeedToText(int code);

// The disguise of a non-MP3 file: "|||" + name with every "." turned into
// "|" + ".mp3". Other copies of the program rely on it byte for byte.
std::string EncodeNonMp3Name(std::string_view name);
// Drops the first three and the last four characters and turns every "|"
// back into ".". It does not test the marker (callers test IsMp3Name
// first); a text too short for the marker and the extension gives what is
// left of it, never an error.
std::string DecodeNonMp3Name(std::string_view name);
// False exactly when the name starts with "|||".
bool IsMp3Name(std::string_view name);

// The bit rate, frequency and length with which disguised files are
// announced; searches for non-MP3 files ask for exactly these.
constexpr int kNonMp3Bitrate = 24;
constexpr int kNonMp3Frequency = 16000;
constexpr int kNonMp3Seconds = 60;

// Whether a nick (already trimmed) can be used on a server: not empty, and
// without a blank, a tab or a double quote, which would cut it apart in a
// protocol line.
bool UsableNick(std::string_view nick);

// Seconds since midnight now (falls back to 0 at midnight): the program's
// one seconds-of-day clock. For display and stamps only; durations belong
// on plat::MonotonicMs.
int64_t SecondsOfDay();

// The ID of a new session of the client component: "P2P" for the
// program's own gateway (127.0.0.1 port 10000), otherwise the seconds of
// day and the component's session serial, joined by "-" so that no two
// pairs give the same text. The serial must never repeat within one
// component (a running count, not the number of sessions open).
std::string NapsterSessionID(std::string_view host, int port, int64_t secondsOfDay, int64_t serial);

// Minutes (not padded), ":" and the seconds in two digits: 65 -> "1:05".
// Negative lengths count as 0.
std::string FormatSongLength(int64_t seconds);

// "0" for zero, otherwise the number grouped by thousands.
inline std::string IntToThousands(int64_t n) { return FormatThousands(n); }

// Years of 365 days, days, hours, minutes and seconds, each part that is
// above zero: 3725 -> "1 Hour(s) 2 Minute(s) 5 Sec". Zero (or less) gives
// an empty text.
std::string DurationToText(int64_t seconds);
// "Unknown" when either figure is zero or less, otherwise DurationToText of
// bytesLeft / bytesPerSecond rounded to the nearest second.
std::string TimeLeftText(int64_t bytesLeft, int64_t bytesPerSecond);

// Cutting of protocol lines: the word before the first blank, and the
// trimmed text between the next two double quotes.
inline std::string CutFirstWord(std::string& s) { return SplitFirstWord(s); }
inline std::string CutFirstQuoted(std::string& s) { return ExtractQuoted(s); }

// Stored passwords pass through these; both return the text unchanged.
inline std::string DecodePassword(std::string_view text) { return std::string(text); }
inline std::string EncodePassword(std::string_view text) { return std::string(text); }

// Opens a document or link with its associated program.
inline void ShellOpen(std::string_view target) { OpenDocument(target); }
// The program file's folder without a trailing separator.
std::string ProgramFolder();
// When the trimmed text ends with "\", that one character is removed from
// the (untrimmed) text; otherwise the text is returned unchanged.
std::string StripTrailingBackslash(std::string_view folder);

// The advertising banner's wildcard comparison: pattern segments between
// "*" are looked for anywhere in the text (in either order), "?" stands for
// any one character; see the implementation for the exact rule.
bool MatchesWildcard(std::string_view pattern, std::string_view text);
