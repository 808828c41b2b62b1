// Text files as the program keeps them: written with CR LF line ends; read with LF or CR LF line
// ends, a Ctrl-Z ending the file. A read file is taken into memory whole when it is opened.
//
// Two ways to open: the probing ones (TryReset, TryRewrite, TryAppend) return false and leave the
// reason in IoResult, for opens that may fail in ordinary use; the checked ones (Reset, Rewrite,
// Append) abandon the operation with the file name and the reason in words. Reads and writes on an
// open file are checked: a failure abandons the operation.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

// The result code of the last failed file operation (0 = none), as the runtime reported it:
// 2 no such file, 3 no such folder, 5 access denied, 100 read error, 101 write error, 103 not open.
// Reading it with IoResult() clears it.
int32_t IoResult();
void SetIoResult(int32_t code);
// The reason of a result code in words.
std::string IoResultText(int32_t code);

class TextFile {
public:
  TextFile() = default;
  ~TextFile();
  TextFile(const TextFile&) = delete;
  TextFile& operator=(const TextFile&) = delete;

  // Opening for reading.
  bool TryReset(const std::string& path);
  void Reset(const std::string& path);
  // Reads from a text held in memory (tests, clipboard texts).
  void ResetFromText(std::string_view text, const std::string& name = "(text)");

  // Opening for writing: Rewrite replaces the file, Append adds to its end.
  bool TryRewrite(const std::string& path);
  bool TryAppend(const std::string& path);
  void Rewrite(const std::string& path);
  void Append(const std::string& path);
  // Writes into memory; Contents() gives what was written.
  void RewriteToMemory(const std::string& name = "(memory)");

  bool IsOpen() const { return mode_ != Mode::Closed; }
  bool IsReading() const { return mode_ == Mode::Read; }
  bool IsWriting() const { return mode_ == Mode::Write || mode_ == Mode::Memory; }
  bool InMemory() const { return mode_ == Mode::Memory; }
  const std::string& Name() const { return name_; }

  // Reading. Eof is true at the end of the text or at a Ctrl-Z.
  bool Eof() const;
  // The next whole line without its line end; "" at the end of the file.
  std::string ReadLine();
  // Skips the next line.
  void SkipLine();

  // Writing; WriteLine ends the line with CR LF.
  void Write(std::string_view text);
  void WriteLine(std::string_view text = {});
  void Flush();
  const std::string& Contents() const { return memory_; }

  // Closes the file; a write error found on closing abandons the operation.
  void Close();

private:
  enum class Mode { Closed, Read, Write, Memory };
  [[noreturn]] void Fail(int32_t code, const char* what);
  bool OpenForWrite(const std::string& path, const char* how);
  Mode mode_ = Mode::Closed;
  std::string name_;
  std::string memory_;   // the text read, or the text written to memory
  size_t pos_ = 0;       // read position in memory_
  size_t end_ = 0;       // end of the readable text (first Ctrl-Z or the size)
  std::FILE* file_ = nullptr;
};

// Whether text written by WriteLine reads back as the same one line (no line end, no Ctrl-Z).
inline bool FitsOneLine(std::string_view text) { return text.find_first_of("\r\n\x1a") == std::string_view::npos; }
// A name kept as the head line of a settings file, whose reader skips comment lines ("*"): a
// text beginning with "*" or a blank is written after one more blank, which ReadHeadLine drops.
// A text that does not fit one line is written as an empty line.
void WriteHeadLine(TextFile& f, const std::string& text);
// The first line that does not begin with "*", one leading blank dropped; false at the end of
// the file.
bool ReadHeadLine(TextFile& f, std::string& text);

// The session's result file (opened and closed by the session). Writes to it while it is closed
// are dropped.
extern TextFile LogFile;
// The full name of the result file, kept for the whole session.
extern std::string LogFileName;
// The phase-evolution summary file of the session ("quorin" + n + ".res"), opened and closed by
// the session like LogFile.
extern TextFile QuorinFile;
// The shared file-name string: the summary file's full name at the start, reused by file dialogs.
extern std::string ResultFileName;
// Adds one line to LogFile when it is open.
void LogLine(std::string_view text);

// Abandons the operation for a failed file operation on path, with the reason of IoResult.
[[noreturn]] void AbandonFileOperation(const char* what, const std::string& path);
