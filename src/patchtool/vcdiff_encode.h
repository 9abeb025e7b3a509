#pragma once
#include <string>

// A VCDIFF delta (RFC 3284) that turns source into target: the default code table, no secondary
// compressor, target windows of at most 8 MiB, each with xdelta3's Adler-32 checksum, so that
// `xdelta3 -d -s SOURCE DELTA TARGET` reads it as the updater does. Both files are held in memory.
std::string encodeVcdiff(const std::string& source, const std::string& target);

#include "format/vcdiff.h"

// What a reader meets: the error's words, for messages.
const char* vcdiffErrorText(VcdiffError error);

// The target that a delta gives from source, decoded in memory; false with the decoder's words.
bool decodeVcdiffText(const std::string& source, const std::string& delta, std::string* target, std::string* problem);
