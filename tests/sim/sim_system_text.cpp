// System error texts as an English Windows gives them, and the conversion
// to the "ANSI code page", which here is UTF-8.
#include <cstring>

#include "platform/wide_text.h"
#include "tests/sim/sim_world.h"

namespace {

constexpr DWORD ErrorMessageNotFound = 317;  // ERROR_MR_MID_NOT_FOUND
constexpr DWORD FormatMessageAllocateBuffer = 0x00000100u;

struct SystemText {
  DWORD code;
  const char* text;
};

const SystemText SystemTexts[] = {
    {0, "The operation completed successfully.\r\n"},
    {2, "The system cannot find the file specified.\r\n"},
    {3, "The system cannot find the path specified.\r\n"},
    {4, "The system cannot open the file.\r\n"},
    {5, "Access is denied.\r\n"},
    {6, "The handle is invalid.\r\n"},
    {8, "Not enough memory resources are available to process this command.\r\n"},
    {18, "There are no more files.\r\n"},
    {19, "The media is write protected.\r\n"},
    {24, "The program issued a command but the command length is incorrect.\r\n"},
    {31, "A device attached to the system is not functioning.\r\n"},
    {32, "The process cannot access the file because it is being used by another process.\r\n"},
    {38, "Reached the end of the file.\r\n"},
    {50, "The request is not supported.\r\n"},
    {80, "The file exists.\r\n"},
    {87, "The parameter is incorrect.\r\n"},
    {112, "There is not enough space on the disk.\r\n"},
    {122, "The data area passed to a system call is too small.\r\n"},
    {183, "Cannot create a file when that file already exists.\r\n"},
    {267, "The directory name is invalid.\r\n"},
};

const char* FindSystemText(DWORD code) {
  for (const SystemText& entry : SystemTexts)
    if (entry.code == code) return entry.text;
  return nullptr;
}

bool FaultDue(sim::Op op, DWORD* error) {
  std::lock_guard<std::mutex> lock(sim::WorldMutex());
  return sim::FaultDueLocked(sim::TheWorld(), op, error);
}

// UTF-8 of exactly these units; zero units stay zero bytes.
std::string Utf8OfUnits(const std::u16string& units) {
  std::string bytes;
  std::size_t start = 0;
  for (;;) {
    std::size_t zero = units.find(u'\0', start);
    std::u16string piece = units.substr(start, zero == std::u16string::npos ? zero : zero - start);
    bytes += sim::ToUtf8(piece.c_str());
    if (zero == std::u16string::npos) return bytes;
    bytes += '\0';
    start = zero + 1;
  }
}

}  // namespace

DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPWSTR buffer,
                     DWORD size, va_list* arguments) {
  static_cast<void>(source);
  static_cast<void>(languageId);
  static_cast<void>(arguments);
  DWORD error = 0;
  if (FaultDue(sim::Op::FormatMessage, &error)) {
    SetLastError(error);
    return 0;
  }
  if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 || (flags & FormatMessageAllocateBuffer) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const char* text = FindSystemText(messageId);
  if (text == nullptr) {
    SetLastError(ErrorMessageNotFound);
    return 0;
  }
  std::u16string wide = sim::ToUtf16(text);
  if (buffer == nullptr || wide.size() + 1 > size) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  wide.copy(buffer, wide.size());
  buffer[wide.size()] = 0;
  return static_cast<DWORD>(wide.size());
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideCount, LPSTR narrow,
                        int narrowSize, LPCSTR defaultChar, BOOL* usedDefault) {
  static_cast<void>(flags);
  DWORD error = 0;
  if (FaultDue(sim::Op::WideCharToMultiByte, &error)) {
    SetLastError(error);
    return 0;
  }
  bool utf8 = codePage == CP_UTF8;
  if ((codePage != CP_ACP && !utf8) || wide == nullptr || wideCount == 0 || wideCount < -1 ||
      narrowSize < 0 || (narrow == nullptr && narrowSize > 0) ||
      (utf8 && (defaultChar != nullptr || usedDefault != nullptr))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (usedDefault != nullptr) *usedDefault = FALSE;
  // A count of -1 takes the text with its terminator, which is then counted.
  std::u16string units = wideCount == -1
                             ? std::u16string(wide, WideLength(wide) + 1)
                             : std::u16string(wide, static_cast<std::size_t>(wideCount));
  std::string bytes = Utf8OfUnits(units);
  int needed = static_cast<int>(bytes.size());
  if (narrowSize == 0) return needed;
  if (needed > narrowSize) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(narrow, bytes.data(), bytes.size());
  return needed;
}
