#pragma once
// Character sets and the encoding of a query in the search address.
#include <string>
#include <string_view>

// UTF-8 to Windows-1252; a character that code page lacks (and a byte that is
// no valid UTF-8) becomes "?".
std::string Utf8ToWindows1252(std::string_view utf8);

// Windows-1252 to UTF-8; the five codes the code page leaves unassigned become U+FFFD.
std::string Windows1252ToUtf8(std::string_view text);

// Valid UTF-8 only: each invalid byte becomes U+FFFD.
std::string SanitizeUtf8(std::string_view text);

// Encodes the bytes of a query for the address, each byte once: a blank
// becomes "+", the reserved characters " # % & ' ( ) , / : ; < = > ? @ [ \ ] ^
// { | } and every byte outside printable ASCII become "%" and two upper-case
// hex digits, everything else (the "+" included) stays.
std::string EncodeQuery(std::string_view bytes);
