#pragma once
// What the files of the function table share: signatures written as text,
// refusals that name the function, and frame rates read from arguments.

#include <string>
#include <vector>

#include "engine/script/functions.h"

namespace reelwork::engine::script {

// The most offsets SelectEvery and clips Interleave take in one call.
constexpr size_t kMaxOffsets = 64;

// "clip:c left:i top:i width:i? ..." -> parameters; "?" marks optional ones;
// the letter after ':' is the type (c clip, i int, f float, s string,
// b bool, anything else any value).
std::vector<Param> Signature(const std::string &text);
// Throws "Function: why".
[[noreturn]] void FailCall(const Args &a, const std::string &why);
// A frame rate given as one number, as numerator and denominator (arguments
// first and second), as a preset name ("ntsc_film") or as another clip.
void ReadRateArgs(const Args &a, size_t first, size_t second, int &num, int &den);
// A float rate as the exact fraction it stands for (23.976 -> 2997/125).
void ReadFloatRate(double fps, int &num, int &den);

// "YV12", "YUY2", "RGB24", "RGB32" (any case) as the engine's format.
PixelFormat ReadPixelType(const Args &a, const std::string &name);

// The body of functions that take any arguments and leave the picture as it
// is: their first argument, which must be a clip.
Value FirstClipGoesOn(const Args &a, CallEnv &env);

inline Value ClipValue(ClipPtr c) { return Value::OfClip(std::move(c)); }

// The families kept in files of their own.
void AddEditingFunctions(FunctionTable &t); // editing_functions.cpp

} // namespace reelwork::engine::script
