// How the programs end: the exit statuses of the programs that read one
// model (p3dtool, vistrel --screenshot), and leaving without teardown.
#pragma once

namespace vistrel {

// Read completely; read part-way (or an unknown magic); not read at all (or
// bad arguments, or nothing written).
inline constexpr int kExitComplete = 0;
inline constexpr int kExitIncomplete = 1;
inline constexpr int kExitFailure = 2;

// Ends a program whose work is done: flushes the standard streams and leaves
// at once, without unloading the OpenGL driver or running any destructor
// (which takes about as long as drawing a picture); the system takes back
// the rest. A sanitizer build checks for leaks first.
[[noreturn]] void LeaveWithoutTeardown(int status);

}  // namespace vistrel
