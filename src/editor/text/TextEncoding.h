#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// How a document's bytes are shown: as GBK (the classic, and every received
// program) or as UTF-8. The bytes themselves never change with it; only
// drawing, hit-testing and the caret's character steps follow it.
enum class TextEncoding : uint8_t { Gbk, Utf8 };

// "GBK" or "UTF-8", as the status bar names it.
const char* EncodingName(TextEncoding encoding);

// UTF-8 when the block starts with a byte-order mark, or is well-formed UTF-8
// holding at least one multi-byte character (a sequence cut by the end of the
// block counts as well-formed); GBK otherwise, so pure ASCII stays GBK.
TextEncoding DetectTextEncoding(std::string_view block);

// Bytes of the character that starts at i: a GBK pair or a well-formed UTF-8
// sequence, otherwise 1 (0 at or past the end).
size_t CharLength(std::string_view s, size_t i, TextEncoding encoding);

// Screen cells of the character of length len at i (a tab is the caller's):
// a GBK character takes one cell per byte; a UTF-8 character one cell, or two
// for East Asian wide and fullwidth ones, and none for a byte-order mark; a
// byte that starts no character one cell.
int CharCells(std::string_view s, size_t i, size_t len, TextEncoding encoding);

// True when index falls inside a character rather than between two.
bool SplitsChar(std::string_view line, int index, TextEncoding encoding);

// Text for the world outside (dialogs, the profile, other programs), as UTF-8:
// bytes that start no character become U+FFFD, one per byte.
std::string ShownAsUtf8(std::string_view bytes, TextEncoding encoding);
// The document's bytes for text from outside; a GBK document gets '?' for
// what GBK cannot hold.
std::string Utf8AsDocument(std::string_view utf8, TextEncoding encoding);

// The code point of the well-formed UTF-8 sequence of length len at i.
char32_t DecodeUtf8(std::string_view s, size_t i, size_t len);
