// Small routines on 8-bit strings: delimited words, extensions, folder parts,
// centring. Positions are 1-based; inputs are never modified.
#pragma once

#include <string>

namespace oru {

std::string CenterPad(const std::string& s, char fill, size_t width);
std::string CenterPadSpaces(const std::string& s, size_t width);
bool CharInDelims(const std::string& delims, char c);
bool WordPosition(size_t n, const std::string& s, const std::string& delims, size_t& pos);
std::string ExtractWord(size_t n, const std::string& s, const std::string& delims);
bool HasExtension(const std::string& name, size_t& dotPos);
std::string ForceExtension(const std::string& name, const std::string& ext);
std::string JustExtension(const std::string& name);
std::string JustPathname(const std::string& name);
std::string AddBackSlash(const std::string& path);

} // namespace oru
