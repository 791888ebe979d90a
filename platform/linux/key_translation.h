// What a terminal sends for a key press, as the Windows console's key reads
// give it: plain keys as one code, navigation and function keys as a prefix
// (0xE0, or 0x00 for F1-F10) followed by the key's scan code.
#pragma once

#include <cstddef>

// Translates the bytes from the start. A sequence cut short at the end is
// left for more bytes to complete, unless complete says none are coming: a
// lone Esc is then the Esc key. Unknown sequences are consumed without a
// code. Stops when fewer than two code slots are left. Returns the bytes
// consumed; *produced is the number of codes written.
std::size_t TranslateKeyBytes(const unsigned char* bytes, std::size_t count, bool complete,
                              int* codes, std::size_t capacity, std::size_t* produced);
