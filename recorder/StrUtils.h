#pragma once
// String search and slicing shared by the deck and its dialogs. Positions are 1-based; searches
// "without regard to case" fold ASCII letters only.
#include <bitset>
#include <string>

using TCharSet = std::bitset<256>;

// The locale's separators, read once at start ("." ":" "/" "," when the locale gives none).
char DecimalSeparator();
char TimeSeparator();
char DateSeparator();
char ThousandSeparator();

char UpCaseChar(char c);
char LoCaseChar(char c);
extern const TCharSet UpperCaseLetters, LowerCaseLetters, Letters;

// Position of pattern in text from start; "?" in the pattern matches anything; a negative start
// searches from its absolute value without regard to case. 0 when not found or when an argument
// is empty or out of range.
int StrScanForward(const std::string& text, const std::string& pattern, int start);
// The same search running from start towards the beginning.
int StrScanBackward(const std::string& text, const std::string& pattern, int start);
TCharSet BuildCharSet(const std::string& chars, bool ignoreCase);
// First position from start whose character is one of chars; text between the quoting
// characters is skipped. Negative start: without regard to case.
int StrScanSet(const std::string& text, const std::string& chars, int start);
extern char QuoteOpenChar, QuoteCloseChar;

// A character that follows one below "0" (or starts the text) is upper-cased, every other one
// lower-cased.
void ProperCaseInPlace(std::string& text);
// The text from position up to the next delimiter; position moves past the delimiter, or to 0
// at the end.
std::string NextToken(const std::string& text, const std::string& delimiters, int& position);
std::string NextTokenBackward(const std::string& text, const std::string& delimiters, int& position);
// Index of the first character that differs from c (0 when all are c).
int LengthWithoutLeading(const std::string& text, char c);
// Index of the last character that differs from c (0 when all are c).
int LengthWithoutTrailing(const std::string& text, char c);

std::string LeftStr(const std::string& text, int n);
std::string RightStr(const std::string& text, int n);
std::string MidStr(const std::string& text, int p, int n);
std::string StrFromPos(const std::string& text, int p);
std::string TrimLeftChar(const std::string& text, char c);
std::string TrimRightChar(const std::string& text, char c);
void ReplaceCharInPlace(std::string& text, char oldChar, char newChar);

std::string UpperCase(const std::string& s);  // ASCII letters
std::string LowerCase(const std::string& s);
bool SameText(const std::string& a, const std::string& b);
std::string Trim(const std::string& s);  // blanks and control characters at both ends
std::string IntToStr(long long v);
// The whole text as an integer, or def when it is not one.
long long StrToIntDef(const std::string& s, long long def);
bool TryStrToInt(const std::string& s, long long& v);
