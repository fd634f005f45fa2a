// JSON pieces for the tool's output. Model texts are 8-bit: every byte is
// taken as the character with the same code (Latin-1) and written as UTF-8.
// The names in paths of the file system stay as they are where they are
// valid UTF-8, and only otherwise are read as Latin-1. Either way the output is
// valid JSON whatever bytes a file or a name holds. Numbers never depend on
// the locale.
#pragma once

#include <string>
#include <string_view>

#include "P3dmodell.h"

namespace p3dtool {

// A quoted JSON string of an 8-bit text: quote, backslash and control
// characters (C0, DEL and C1) escaped, bytes 0xA0..0xFF as two UTF-8 bytes.
void AppendJsonText(std::string& out, std::string_view latin1);

// The same of a path or a name from the file system (or a message that
// names one): each name in it as it is where it is valid UTF-8, else as
// 8-bit text (vistrel::PathToUtf8); the same characters escaped.
void AppendJsonPath(std::string& out, std::string_view path);

// The shortest decimal form that reads back as the same 32-bit float; null
// for an infinity or a NaN.
void AppendJsonFloat(std::string& out, float value);

// [x,y,z] with AppendJsonFloat.
void AppendJsonVec(std::string& out, const vistrel::TVec3& v);

void AppendJsonInt(std::string& out, long long value);

// The shortest round-trip decimal form of a float for people ("inf", "nan"
// for the non-finite values).
std::string ShortFloat(float value);

}  // namespace p3dtool
