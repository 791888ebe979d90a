#include "presentation/log_format.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "control/settings.h"
#include "control/version.h"
#include "presentation/display_text.h"

namespace {

struct LineWriter {
  char* out;
  std::size_t size;
  std::size_t used;
};

void Append(LineWriter& line, const char* piece) {
  std::size_t length = std::strlen(piece);
  if (line.used + length >= line.size) length = line.size - 1 - line.used;
  std::memcpy(line.out + line.used, piece, length);
  line.used += length;
  line.out[line.used] = 0;
}

// Formats one piece in its own small area, then appends it.
template <typename... Values>
void AppendPiece(LineWriter& line, const char* format, Values... values) {
  char piece[260];
  std::snprintf(piece, sizeof(piece), format, values...);
  Append(line, piece);
}

const char* HandleState(const ProcessData& record) {
  if (record.HandleOpen == 1) return record.HandleClosed == 1 ? "Handle=?    , " : "Handle=Open , ";
  return record.HandleClosed == 1 ? "Handle=Close, " : "Handle=NA   , ";
}

}  // namespace

std::size_t ToAnsi(const WCHAR* text, char* out, std::size_t size) {
  int written =
      WideCharToMultiByte(CP_ACP, 0, text, -1, out, static_cast<int>(size), nullptr, nullptr);
  if (written <= 0) {
    out[0] = 0;
    return 0;
  }
  return static_cast<std::size_t>(written - 1);
}

std::size_t FormatLogHeader(const SYSTEMTIME& start, const SYSTEMTIME& now, char* out,
                            std::size_t size) {
  int written = std::snprintf(
      out, size, " Tolvane Utility, Rev: %s, Start: %u-%u-%u %u:%u:%u, End: %u-%u-%u %u:%u:%u\r\n",
      TOLVANE_VERSION, start.wYear, start.wMonth, start.wDay, start.wHour, start.wMinute,
      start.wSecond, now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
  return written < 0 ? 0 : static_cast<std::size_t>(written);
}

std::size_t FormatLogLine(const ProcessData& record, DWORD index, char* out, std::size_t size) {
  LineWriter line{out, size, 0};
  out[0] = 0;
  AppendPiece(line, "No:%-4d, ", static_cast<int>(index + 1));
  Append(line, record.Valid ? "Valid=Yes, " : "Valid=No , ");
  Append(line, record.LostClose ? "LostClose=Yes, " : "LostClose=No , ");
  Append(line, HandleState(record));
  AppendPiece(line, "ParentID=%08X, ", record.ParentID);
  AppendPiece(line, "ProcessID=%08X, ", record.ProcessID);
  AppendPiece(line, "Handle=%08X, ",
              static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(record.Handle)));
  AppendPiece(line, "SubProcessNo=%-4d, ", static_cast<int>(record.SubProcessNo));
  AppendPiece(line, "ExitCode=%08X, ", record.ExitCode);
  if (record.LostClose) AppendPiece(line, "EndExitCode=%08X, ", record.EndExitCode);
  AppendPiece(line, "tStart=%08X %08X, ", record.tStart.dwHighDateTime,
              record.tStart.dwLowDateTime);
  AppendPiece(line, "tEnd=%08X %08X, ", record.tEnd.dwHighDateTime, record.tEnd.dwLowDateTime);
  const std::uint64_t end = FileTimeValue(record.tEnd);
  if (end == 0) {
    Append(line, "TakeTime=unknown, ");
  } else {
    const std::uint64_t seconds = (end - FileTimeValue(record.tStart)) / 10000000u;
    AppendPiece(line, "tUseTime=%-dM:%-dS, ", static_cast<int>((seconds / 60) % 65536),
                static_cast<int>(seconds % 60));
  }
  WCHAR shown[MAX_PATH];
  CopyForDisplay(shown, MAX_PATH, record.FilePathName);
  char path[4 * MAX_PATH];
  ToAnsi(shown, path, sizeof(path));
  Append(line, "FilePathName=");
  Append(line, path);
  Append(line, "\r\n");
  return line.used;
}
