#include "platform/wide_text.h"

#include <cstdint>

namespace {

struct WideSink {
  WCHAR* buffer;
  std::size_t size;
  std::size_t used;
};

void Put(WideSink& sink, WCHAR unit) {
  if (sink.used + 1 < sink.size) sink.buffer[sink.used] = unit;
  ++sink.used;
}

void PutPadded(WideSink& sink, const WCHAR* text, std::size_t length, std::size_t width,
               bool leftAlign, WCHAR pad) {
  std::size_t fill = width > length ? width - length : 0;
  if (!leftAlign) {
    // Zero padding goes after a sign, as printf does.
    if (pad == u'0' && length > 0 && text[0] == u'-') {
      Put(sink, text[0]);
      ++text;
      --length;
    }
    for (std::size_t i = 0; i < fill; ++i) Put(sink, pad);
  }
  for (std::size_t i = 0; i < length; ++i) Put(sink, text[i]);
  if (leftAlign)
    for (std::size_t i = 0; i < fill; ++i) Put(sink, u' ');
}

std::size_t Digits(WCHAR* out, std::uint32_t value, unsigned base, bool upper) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  WCHAR reversed[16];
  std::size_t n = 0;
  do {
    reversed[n++] = static_cast<WCHAR>(digits[value % base]);
    value /= base;
  } while (value != 0);
  for (std::size_t i = 0; i < n; ++i) out[i] = reversed[n - 1 - i];
  return n;
}

// A conversion's output: whole characters while they fit, always
// terminated, and the length the whole text needs.
template <typename Unit>
struct ConvertedText {
  Unit* buffer;
  std::size_t size;
  std::size_t needed = 0;
  bool full = false;

  void Put(const Unit* units, std::size_t count) {
    if (!full && needed + count < size) {
      for (std::size_t k = 0; k < count; ++k) buffer[needed + k] = units[k];
    } else if (!full && size > 0) {
      buffer[needed] = 0;
      full = true;
    }
    needed += count;
  }
  std::size_t Finish() {
    if (!full && size > 0) buffer[needed] = 0;
    return needed;
  }
};

}  // namespace

std::size_t FormatTextListW(WCHAR* buffer, std::size_t size, const WCHAR* format,
                            va_list arguments) {
  WideSink sink{buffer, size, 0};
  for (const WCHAR* p = format; *p != 0; ++p) {
    if (*p != u'%') {
      Put(sink, *p);
      continue;
    }
    ++p;
    bool leftAlign = false;
    WCHAR pad = u' ';
    for (;; ++p) {
      if (*p == u'-')
        leftAlign = true;
      else if (*p == u'0')
        pad = u'0';
      else
        break;
    }
    std::size_t width = 0;
    while (*p >= u'0' && *p <= u'9') width = width * 10 + static_cast<std::size_t>(*p++ - u'0');
    while (*p == u'l' || *p == u'h') ++p;
    if (leftAlign) pad = u' ';

    WCHAR number[24];
    switch (*p) {
      case u'd':
      case u'i': {
        int value = va_arg(arguments, int);
        std::size_t n = 0;
        std::uint32_t magnitude = static_cast<std::uint32_t>(value);
        if (value < 0) {
          number[n++] = u'-';
          magnitude = 0u - magnitude;
        }
        n += Digits(number + n, magnitude, 10, false);
        PutPadded(sink, number, n, width, leftAlign, pad);
        break;
      }
      case u'u':
      case u'x':
      case u'X': {
        unsigned base = *p == u'u' ? 10u : 16u;
        std::size_t n = Digits(number, va_arg(arguments, unsigned), base, *p == u'X');
        PutPadded(sink, number, n, width, leftAlign, pad);
        break;
      }
      case u'c': {
        WCHAR unit = static_cast<WCHAR>(va_arg(arguments, int));
        PutPadded(sink, &unit, 1, width, leftAlign, u' ');
        break;
      }
      case u's': {
        const WCHAR* text = va_arg(arguments, const WCHAR*);
        static const WCHAR nullText[] = {u'(', u'n', u'u', u'l', u'l', u')', 0};
        if (text == nullptr) text = nullText;
        PutPadded(sink, text, WideLength(text), width, leftAlign, u' ');
        break;
      }
      case u'%':
        Put(sink, u'%');
        break;
      case 0:
        --p;  // a lone '%' at the end: stop at the terminator
        break;
      default:
        Put(sink, u'%');
        Put(sink, *p);
        break;
    }
  }
  if (size > 0) buffer[sink.used < size ? sink.used : size - 1] = 0;
  return sink.used < size ? sink.used : (size > 0 ? size - 1 : 0);
}

std::size_t FormatTextW(WCHAR* buffer, std::size_t size, const WCHAR* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  std::size_t written = FormatTextListW(buffer, size, format, arguments);
  va_end(arguments);
  return written;
}

std::size_t WideLength(const WCHAR* text) {
  std::size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

void WideCopy(WCHAR* destination, std::size_t size, const WCHAR* source) {
  if (size == 0) return;
  std::size_t i = 0;
  for (; i + 1 < size && source[i] != 0; ++i) destination[i] = source[i];
  destination[i] = 0;
}

bool WideEqualsIgnoringAsciiCase(const WCHAR* a, const WCHAR* b) {
  auto fold = [](WCHAR c) -> WCHAR {
    return (c >= u'A' && c <= u'Z') ? static_cast<WCHAR>(c - u'A' + u'a') : c;
  };
  for (;; ++a, ++b) {
    if (fold(*a) != fold(*b)) return false;
    if (*a == 0) return true;
  }
}

std::size_t Utf16ToUtf8(const WCHAR* text, char* buffer, std::size_t size) {
  ConvertedText<char> out{buffer, size};
  for (std::size_t i = 0; text[i] != 0; ++i) {
    std::uint32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<std::uint32_t>(text[i + 1]) - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    char bytes[4];
    std::size_t n;
    if (c < 0x80) {
      bytes[0] = static_cast<char>(c);
      n = 1;
    } else if (c < 0x800) {
      bytes[0] = static_cast<char>(0xC0 | (c >> 6));
      bytes[1] = static_cast<char>(0x80 | (c & 0x3F));
      n = 2;
    } else if (c < 0x10000) {
      bytes[0] = static_cast<char>(0xE0 | (c >> 12));
      bytes[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      bytes[2] = static_cast<char>(0x80 | (c & 0x3F));
      n = 3;
    } else {
      bytes[0] = static_cast<char>(0xF0 | (c >> 18));
      bytes[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      bytes[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      bytes[3] = static_cast<char>(0x80 | (c & 0x3F));
      n = 4;
    }
    out.Put(bytes, n);
  }
  return out.Finish();
}

std::size_t Utf8ToUtf16(const char* text, WCHAR* buffer, std::size_t size) {
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
  ConvertedText<WCHAR> out{buffer, size};
  while (*s != 0) {
    std::uint32_t c = 0xFFFD;
    std::size_t length = 1;
    unsigned char lead = s[0];
    std::size_t expected = lead < 0x80         ? 1
                           : (lead >> 5) == 6  ? 2
                           : (lead >> 4) == 14 ? 3
                           : (lead >> 3) == 30 ? 4
                                               : 0;
    if (expected == 1) {
      c = lead;
    } else if (expected > 1) {
      std::uint32_t value = lead & (0x7F >> expected);
      std::size_t k = 1;
      for (; k < expected && (s[k] & 0xC0) == 0x80; ++k) value = (value << 6) | (s[k] & 0x3F);
      if (k == expected) {
        static const std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
        bool valid = value >= smallest[expected] && value <= 0x10FFFF &&
                     !(value >= 0xD800 && value <= 0xDFFF);
        if (valid) c = value;
        length = k;
      } else {
        length = k;  // a cut sequence: replace what was read of it
      }
    }
    s += length;
    WCHAR units[2];
    std::size_t n = 1;
    if (c >= 0x10000) {
      units[0] = static_cast<WCHAR>(0xD800 + ((c - 0x10000) >> 10));
      units[1] = static_cast<WCHAR>(0xDC00 + ((c - 0x10000) & 0x3FF));
      n = 2;
    } else {
      units[0] = static_cast<WCHAR>(c);
    }
    out.Put(units, n);
  }
  return out.Finish();
}
