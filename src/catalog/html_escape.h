// Making picture file names safe inside the generated pages. A name of letters, digits, ".",
// "_" and "-" comes out of every function unchanged, so ordinary catalogs keep their bytes.
// Text the user typed is not passed through here (it is meant to be HTML), except the one text
// that goes inside a script.
#pragma once

#include <string>
#include <string_view>

namespace folivant {

// For href/src: every byte except ASCII letters, digits and "-._~" as %XX (upper-case hex).
// Names are UTF-8, so a non-ASCII letter becomes its UTF-8 bytes, each percent-encoded.
std::string UrlEncodeName(std::string_view name);

// For text and attribute values other than links: & < > " ' as entities, and letters beyond
// ASCII as numeric character references (the pages declare no character set), so the text
// reads the same whatever encoding the browser assumes. Bytes that are not UTF-8 show as U+FFFD.
std::string HtmlEscape(std::string_view text);

// The body of a single- or double-quoted JavaScript string literal: backslash, both quotes,
// control characters and < > & escaped.
std::string JsEscape(std::string_view text);

// Text the user typed, as the body of a quoted JavaScript string literal: as JsEscape, with
// letters beyond ASCII as \uXXXX escapes (the pages declare no character set) and bytes that
// start no UTF-8 sequence as U+FFFD. The right-click text goes through it.
std::string JsTextEscape(std::string_view text);

// One argument of the catalog's href="javascript:openpic('...')" call. The script gets the
// name as a relative URL (UrlEncodeName), written as a JavaScript string, and the whole is
// percent-encoded once more because the browser percent-decodes a javascript: link before it
// runs it. The result holds only URL-safe characters, so it is also a valid attribute value.
std::string OpenPicArgument(std::string_view name);

// Reverses percent-encoding (%XX with either case of hex). A "%" not followed by two hex digits
// stays as it is.
std::string PercentDecode(std::string_view text);

}  // namespace folivant
