#include "platform/linux/key_translation.h"

namespace {

constexpr unsigned char escape = 0x1B;

struct KeyCode {
  int prefix;  // -1: a one-code key
  int code;
};

constexpr KeyCode noKey{-1, -1};
constexpr KeyCode upKey{0xE0, 0x48}, downKey{0xE0, 0x50}, rightKey{0xE0, 0x4D}, leftKey{0xE0, 0x4B},
    homeKey{0xE0, 0x47}, endKey{0xE0, 0x4F}, insertKey{0xE0, 0x52}, deleteKey{0xE0, 0x53},
    pageUpKey{0xE0, 0x49}, pageDownKey{0xE0, 0x51}, f11Key{0xE0, 0x85}, f12Key{0xE0, 0x86};

KeyCode FunctionKey(int number) {  // F1..F10
  return KeyCode{0x00, 0x3A + number};
}

// The keys named by a final letter, after CSI or SS3.
KeyCode LetterKey(unsigned char letter) {
  switch (letter) {
    case 'A':
      return upKey;
    case 'B':
      return downKey;
    case 'C':
      return rightKey;
    case 'D':
      return leftKey;
    case 'H':
      return homeKey;
    case 'F':
      return endKey;
    case 'P':
    case 'Q':
    case 'R':
    case 'S':
      return FunctionKey(letter - 'P' + 1);
    case 'M':
      return KeyCode{-1, 0x0D};  // keypad Enter
    default:
      return noKey;
  }
}

// The keys of "CSI number ~".
KeyCode TildeKey(int number) {
  switch (number) {
    case 1:
    case 7:
      return homeKey;
    case 2:
      return insertKey;
    case 3:
      return deleteKey;
    case 4:
    case 8:
      return endKey;
    case 5:
      return pageUpKey;
    case 6:
      return pageDownKey;
    case 23:
      return f11Key;
    case 24:
      return f12Key;
    default:
      if (number >= 11 && number <= 15) return FunctionKey(number - 10);  // F1..F5
      if (number >= 17 && number <= 21) return FunctionKey(number - 11);  // F6..F10
      return noKey;
  }
}

KeyCode PlainKey(unsigned char byte) {
  if (byte == '\r' || byte == '\n') return KeyCode{-1, 0x0D};  // the terminal may map CR to NL
  if (byte == 0x7F) return KeyCode{-1, 0x08};                  // Backspace
  return KeyCode{-1, byte};
}

// Reads one escape sequence starting at bytes[0] == Esc. Returns the bytes
// it spans, or 0 when it is cut short.
std::size_t ReadEscapeSequence(const unsigned char* bytes, std::size_t count, KeyCode* key) {
  *key = noKey;
  if (count < 2) return 0;
  if (bytes[1] == 'O') {  // SS3 letter
    if (count < 3) return 0;
    *key = LetterKey(bytes[2]);
    return 3;
  }
  if (bytes[1] != '[') {
    // Esc followed by another key: the Esc stands alone.
    *key = KeyCode{-1, escape};
    return 1;
  }
  if (count < 3) return 0;
  if (bytes[2] == '[') {  // the Linux console's F1..F5: "Esc [ [ A".."E"
    if (count < 4) return 0;
    if (bytes[3] >= 'A' && bytes[3] <= 'E') *key = FunctionKey(bytes[3] - 'A' + 1);
    return 4;
  }
  // CSI: parameters 0x30-0x3F, intermediates 0x20-0x2F, a final 0x40-0x7E.
  // Only the first parameter matters; modifiers after ';' are ignored.
  int number = 0;
  bool inFirst = true;
  for (std::size_t i = 2; i < count; ++i) {
    unsigned char byte = bytes[i];
    if (byte >= '0' && byte <= '9') {
      if (inFirst && number < 1000) number = number * 10 + (byte - '0');
    } else if (byte >= 0x3A && byte <= 0x3F) {
      inFirst = false;
    } else if (byte >= 0x20 && byte <= 0x2F) {
      inFirst = false;
    } else if (byte >= 0x40 && byte <= 0x7E) {
      *key = byte == '~' ? TildeKey(number) : LetterKey(byte);
      return i + 1;
    } else {
      return i;  // broken off by a byte that belongs to no sequence
    }
  }
  return 0;
}

}  // namespace

std::size_t TranslateKeyBytes(const unsigned char* bytes, std::size_t count, bool complete,
                              int* codes, std::size_t capacity, std::size_t* produced) {
  std::size_t used = 0;
  *produced = 0;
  while (used < count && capacity - *produced >= 2) {
    KeyCode key;
    std::size_t length;
    if (bytes[used] != escape) {
      key = PlainKey(bytes[used]);
      length = 1;
    } else {
      length = ReadEscapeSequence(bytes + used, count - used, &key);
      if (length == 0) {
        if (!complete) break;
        // Nothing more came: a lone Esc is the Esc key; a cut sequence is
        // dropped.
        key = count - used == 1 ? KeyCode{-1, escape} : noKey;
        length = count - used;
      }
    }
    used += length;
    if (key.code < 0) continue;
    if (key.prefix >= 0) codes[(*produced)++] = key.prefix;
    codes[(*produced)++] = key.code;
  }
  return used;
}
