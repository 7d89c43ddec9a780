// Helpers for the tests and fuzz targets that write the other tools'
// layouts and read them back: the text a layout's writer makes of data,
// the reading its settings name, reading a whole text with a reader, and
// data shaped as real files are (text led by blanks, printable runs,
// repeated records, padding), which trips a reader that finds a column by
// its blanks or a reading by a lead of characters.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "quarnel/undump.h"
#include "quarnel/write_layout.h"

namespace quarnel::testing {

// The text settings write of data, handed over in pieces of piece bytes.
std::string written_layout(const LayoutSettings& settings, std::string_view data,
                           std::size_t piece);

// The reading that reads the settings' layout back; any for none (a * line
// without addresses does not tell how many lines it stands for).
DumpReading settings_reading(const LayoutSettings& settings);

struct ReadAll {
  ReadStep stop;      // the error, or none
  std::string bytes;  // in order; or, in lines mode, laid on the file at their addresses
};

// Reads text, all of it, as one text, with a reader of mode and reading;
// in lines mode the bytes are laid on file.
ReadAll read_all(std::string_view text, ReadMode mode, DumpReading reading, std::string file = {});

// Data shaped as files are, made of the bytes of source: the first picks
// the shape, the rest fill it. At most most bytes.
std::string file_shaped(std::span<const std::uint8_t> source, std::size_t most);

// The ways a text reaches a reader besides as written: its lines ended in
// CR LF (way 1), its trailing blanks taken off (2), its last line end lost (3).
std::string pasted(std::string_view text, int way);

}  // namespace quarnel::testing
