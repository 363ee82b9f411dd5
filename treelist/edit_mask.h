// Edit masks: a pattern that fixes which character may stand at each
// position of a short text and puts fixed literals between them, as the
// grid's mask columns use them.
//
// A mask has up to three fields separated by ";" (a ";" is a separator
// only within the last four characters of the mask): the pattern; the save
// flag ("0": the literals are not part of the value; anything else or no
// field: they are); the blank character shown at empty input positions
// (default "_"). Pattern characters:
//   L l   letter (required, optional)      0 9  digit (required, optional)
//   A a   letter or digit                  #    optional digit, "+", "-", space
//   C c   any character                    :  / the locale's time, date separator
//   !     the value is right-aligned (leading blanks are trimmed)
//   >  <  the characters that follow are upper / lower case; "<>" turns
//         case conversion off
//   \     the next character is a literal; any other character is a literal
//
// Offsets are 0-based. A mask offset indexes the mask; a text offset
// indexes the edit text, which has one character per literal and input
// position of the pattern (directives and the separator fields take none).
// Text is single-byte Windows-1252; a locale may name double-byte lead
// bytes, whose pair counts as one literal in a mask and is typed only into
// two positions that take any character.
#pragma once
#include <string>
#include <string_view>
#include <vector>

enum class MaskCharType {
  None,            // beyond the mask
  Literal,
  LocaleLiteral,   // ":" or "/"
  Directive,       // "!", ">", "<", "\"
  Input,           // a required input position
  OptionalInput,
  FieldSeparator,  // ";" within the last four characters
  Field,           // the save flag or the blank character
};

// Bits of MaskGetCurrentDirectives.
enum MaskDirective : unsigned {
  kMaskReverse = 1,  // "!" somewhere in the pattern
  kMaskUpper = 2,
  kMaskLower = 4,
  kMaskLiteral = 8,  // the position itself is a literal
};

struct MaskLocale {
  char timeSeparator = ':';
  char dateSeparator = '/';
  // The first byte of a double-byte character; none in Windows-1252.
  bool (*isLeadByte)(char) = nullptr;
  bool IsLead(char c) const { return isLeadByte != nullptr && isLeadByte(c); }
};

constexpr char kDefaultMaskBlank = '_';

// A mask read once: the type of every position and where the text
// positions stand. The routines below read a mask through it; the editor
// keeps one.
class TMaskLayout {
 public:
  TMaskLayout() = default;
  explicit TMaskLayout(std::string_view mask, const MaskLocale& locale = {});

  const std::string& Mask() const { return mask_; }
  const MaskLocale& Locale() const { return locale_; }
  MaskCharType TypeAt(int maskOffset) const;
  unsigned DirectivesAt(int maskOffset) const;
  bool Reverse() const { return reverse_; }
  bool Save() const { return save_; }
  char Blank() const { return blank_; }

  // The length of the edit text (MaxChars).
  int TextLength() const { return static_cast<int>(textToMask_.size()); }
  // Text characters in front of a mask position (clamped to the mask).
  int TextOffsetOf(int maskOffset) const;
  // The mask position of a text offset; -1 beyond the text.
  int MaskOffsetOf(int textOffset) const;
  bool IsLiteral(int textOffset) const;  // literal or locale literal
  bool IsInput(int textOffset) const;
  bool IsRequired(int textOffset) const;
  // The character a literal text position shows (locale literals converted).
  char LiteralAt(int textOffset) const;
  // The pattern character of an input position.
  char ClassAt(int textOffset) const;
  // The first input position at or after t (TextLength() when none), the
  // last one before t (-1 when none), and the first literal after t (-1).
  int NextInput(int t) const;
  int PrevInput(int t) const;
  int NextLiteral(int t) const;

  // The class test of a typed character at an input position, converting
  // its case as the directives say; false at literals, beyond the text, for
  // control characters and for a lead byte (which needs its trail byte).
  bool AcceptChar(int textOffset, char& ch) const;
  // Whether a double-byte character fits at t and t + 1.
  bool AcceptPair(int textOffset) const;

 private:
  bool InRange(int t) const { return t >= 0 && t < TextLength(); }

  std::string mask_;
  MaskLocale locale_;
  std::vector<MaskCharType> types_;
  std::vector<unsigned> caseBefore_;  // kMaskUpper/kMaskLower in force at each position
  std::vector<int> textToMask_;
  bool reverse_ = false;
  bool save_ = true;
  char blank_ = kDefaultMaskBlank;
};

MaskCharType MaskGetCharType(std::string_view mask, int maskOffset, const MaskLocale& = {});
unsigned MaskGetCurrentDirectives(std::string_view mask, int maskOffset, const MaskLocale& = {});
// ":" gives the locale's time separator, "/" its date separator, any other
// character itself.
char MaskIntlLiteralToChar(char c, const MaskLocale& = {});
// False when the save field is "0" (the value then leaves the literals out).
bool MaskGetMaskSave(std::string_view mask, const MaskLocale& = {});
char MaskGetMaskBlank(std::string_view mask, const MaskLocale& = {});
int MaskOffsetToOffset(std::string_view mask, int maskOffset, const MaskLocale& = {});
int OffsetToMaskOffset(std::string_view mask, int offset, const MaskLocale& = {});
bool IsLiteralChar(std::string_view mask, int offset, const MaskLocale& = {});

// value[start, stop) brought to length characters: padded with blanks
// (in front with "!", behind otherwise) or cut (its leftmost characters
// dropped with "!", its rightmost otherwise).
std::string PadSubField(std::string_view mask, std::string_view value, int start, int stop,
                        int length, char blank);
// A value that carries the literals, fitted to the mask: the text between
// two literals found in it fills the input positions between them (a
// literal it lacks ends it); spaces at input positions become the blank.
// The result always has the mask's text length with every literal in place.
std::string PadInputLiterals(std::string_view mask, std::string_view value, char blank,
                             const MaskLocale& = {});
// A value without literals, formatted: the literals inserted at their
// offsets, input positions beyond the value blank; with "!" the value is
// aligned to the right. Cut to the mask's text length.
std::string MaskDoFormatText(std::string_view mask, std::string_view value, char blank,
                             const MaskLocale& = {});
// The value of an edit text: literal positions removed, then trailing
// blanks (leading with "!"), then the remaining blanks become spaces.
std::string RemoveEditFormat(std::string_view mask, std::string_view editText, char blank,
                             const MaskLocale& = {});
// The same three over a mask already read.
std::string PadInputLiterals(const TMaskLayout& layout, std::string_view value, char blank);
std::string MaskDoFormatText(const TMaskLayout& layout, std::string_view value, char blank);
std::string RemoveEditFormat(const TMaskLayout& layout, std::string_view editText, char blank);
// Whether every required position of text is filled: the blank fails
// unless ignoreBlank, a space fails except where any character is allowed.
// pos receives the first failing text offset.
bool MaskValidateText(const TMaskLayout& layout, std::string_view text, char blank,
                      bool ignoreBlank, int& pos);
