// Number-format masks of the log and the information panel, always with a
// point as decimal mark, whatever the locale:
//   'text'   copied literally (other characters that are not placeholders too)
//   0        a digit that is always shown        #  a digit shown when significant
//   .        the decimal point; the places after it fix the decimals (rounded)
//   e- / e+  scientific notation; "e-" writes the exponent sign only when it
//            is negative; the zeros after it are the least exponent digits
// A mask without placeholders yields its text with no number.
#pragma once

#include <string>

namespace vistrel {

std::string FormatFloat(const std::string& mask, double value);

}  // namespace vistrel
