// Sequential text files with free file numbers from 1 to 255, as the
// original runtime kept them (one table per thread). Text is UTF-8 inside
// and the ANSI code page on disk. Writes are buffered.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qx6::TextFile {

// The lowest free number from 1 to 255; error 67 when all are in use.
int16_t FreeFile();

// Error 52 for a number outside 1..255, 55 when the number is open or the
// file is already open for writing (or, for output and append, open at all);
// 75 for an empty path or a folder; file system failures map to 53, 76, 70,
// 75, 61 (RuntimeErrorFromErrno). The ANSI code page in force at the open is
// the file's for as long as it stays open.
void OpenForOutput(int16_t fileNumber, const std::string& path);  // create or empty
void OpenForAppend(int16_t fileNumber, const std::string& path);  // create or keep
void OpenForInput(int16_t fileNumber, const std::string& path);   // must exist

// Writes the text (converted to the ANSI code page) with nothing added.
// Error 52 when the number is not open, 54 when it is open for input; 61/57
// when the disk refuses the bytes (possibly only reported at Close). The
// bytes a failed write could not place stay pending for the next attempt.
void Write(int16_t fileNumber, std::string_view text);
// Writes bytes that are already in the ANSI code page.
void WriteBytes(int16_t fileNumber, std::string_view bytes);
// Writes the text followed by CR LF.
void WriteLine(int16_t fileNumber, std::string_view text);

// Reads the next line (converted from the ANSI code page) into `line`; a
// line ends at CR or at CR LF, a lone LF stays in the line. False at the end
// of the file. Error 54 when the number is open for writing. A UTF-8 file's
// byte-order mark is skipped.
bool ReadLine(int16_t fileNumber, std::string& line);
bool AtEnd(int16_t fileNumber);

// Flushes and closes; error 52 when not open. Errors of the final flush are
// raised after the number is released.
void Close(int16_t fileNumber);
// Closes every file of this thread (ignores errors).
void CloseAll() noexcept;
bool IsOpen(int16_t fileNumber) noexcept;

}  // namespace qx6::TextFile
