#include "core/text_file.h"
#include <cerrno>
#include <cstring>
#include "core/abandon.h"

TextFile LogFile;
std::string LogFileName;
TextFile QuorinFile;
std::string ResultFileName;

namespace {
int32_t g_ioResult = 0;

int32_t CodeOfErrno(int e) {
  switch (e) {
    case ENOENT: return 2;
    case ENOTDIR: return 3;
    case EACCES: case EPERM: case EISDIR: case EROFS: return 5;
    default: return 100;
  }
}
}  // namespace

int32_t IoResult() {
  int32_t r = g_ioResult;
  g_ioResult = 0;
  return r;
}

void SetIoResult(int32_t code) { g_ioResult = code; }

std::string IoResultText(int32_t code) {
  switch (code) {
    case 0: return "no error";
    case 2: return "no such file";
    case 3: return "no such folder";
    case 5: return "access denied";
    case 100: return "read error";
    case 101: return "write error (disk full?)";
    case 103: return "file not open";
    default: return "input/output error " + std::to_string(code);
  }
}

TextFile::~TextFile() {
  if (file_) std::fclose(file_);
}

void TextFile::Fail(int32_t code, const char* what) {
  if (file_) {
    std::fclose(file_);
    file_ = nullptr;
  }
  mode_ = Mode::Closed;
  SetIoResult(code);
  AbandonFileOperation(what, name_);
}

bool TextFile::TryReset(const std::string& path) {
  Close();
  name_ = path;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    SetIoResult(CodeOfErrno(errno));
    return false;
  }
  std::string text;
  char buf[65536];
  size_t got;
  while ((got = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, got);
  const bool bad = std::ferror(f) != 0;
  const int reason = errno;  // before fclose, which may set errno itself
  std::fclose(f);
  if (bad) {
    // A folder opens under Linux but cannot be read.
    SetIoResult(reason == EISDIR ? 5 : 100);
    return false;
  }
  ResetFromText(text, path);
  return true;
}

void TextFile::Reset(const std::string& path) {
  if (!TryReset(path)) {
    int32_t code = IoResult();
    name_ = path;
    Fail(code, "Cannot open");
  }
}

void TextFile::ResetFromText(std::string_view text, const std::string& name) {
  Close();
  name_ = name;
  memory_.assign(text);
  size_t z = memory_.find('\x1A');
  end_ = z == std::string::npos ? memory_.size() : z;
  pos_ = 0;
  mode_ = Mode::Read;
}

bool TextFile::OpenForWrite(const std::string& path, const char* how) {
  Close();
  name_ = path;
  file_ = std::fopen(path.c_str(), how);
  if (!file_) {
    // A file being created is missing only when a folder of its path is.
    int e = errno;
    SetIoResult(e == ENOENT ? 3 : CodeOfErrno(e));
    return false;
  }
  mode_ = Mode::Write;
  return true;
}

bool TextFile::TryRewrite(const std::string& path) { return OpenForWrite(path, "wb"); }
bool TextFile::TryAppend(const std::string& path) { return OpenForWrite(path, "ab"); }

void TextFile::Rewrite(const std::string& path) {
  if (!TryRewrite(path)) Fail(IoResult(), "Cannot create");
}

void TextFile::Append(const std::string& path) {
  if (!TryAppend(path)) Fail(IoResult(), "Cannot append to");
}

void TextFile::RewriteToMemory(const std::string& name) {
  Close();
  name_ = name;
  memory_.clear();
  mode_ = Mode::Memory;
}

bool TextFile::Eof() const { return mode_ != Mode::Read || pos_ >= end_; }

std::string TextFile::ReadLine() {
  if (mode_ != Mode::Read) Fail(103, "Cannot read");
  if (pos_ >= end_) return {};
  size_t nl = memory_.find('\n', pos_);
  size_t stop = (nl == std::string::npos || nl > end_) ? end_ : nl;
  size_t len = stop - pos_;
  if (len > 0 && memory_[pos_ + len - 1] == '\r') --len;
  std::string line = memory_.substr(pos_, len);
  pos_ = stop < end_ ? stop + 1 : end_;
  return line;
}

void TextFile::SkipLine() { (void)ReadLine(); }

void TextFile::Write(std::string_view text) {
  if (mode_ == Mode::Memory) {
    memory_.append(text);
    return;
  }
  if (mode_ != Mode::Write) Fail(103, "Cannot write");
  if (!text.empty() && std::fwrite(text.data(), 1, text.size(), file_) != text.size())
    Fail(101, "Cannot write");
}

void TextFile::WriteLine(std::string_view text) {
  Write(text);
  Write("\r\n");
}

void TextFile::Flush() {
  if (mode_ == Mode::Write && std::fflush(file_) != 0) Fail(101, "Cannot write");
}

void TextFile::Close() {
  if (mode_ == Mode::Write && file_) {
    std::FILE* f = file_;
    file_ = nullptr;
    mode_ = Mode::Closed;
    if (std::fclose(f) != 0) Fail(101, "Cannot close");
  }
  if (mode_ == Mode::Read) memory_.clear();
  mode_ = Mode::Closed;
  pos_ = end_ = 0;
}

void LogLine(std::string_view text) {
  if (LogFile.IsWriting()) LogFile.WriteLine(text);
}

void AbandonFileOperation(const char* what, const std::string& path) {
  int32_t code = IoResult();
  throw OperationAbandoned(std::string(what) + " \"" + path + "\": " + IoResultText(code));
}

void WriteHeadLine(TextFile& f, const std::string& text) {
  if (!FitsOneLine(text)) return f.WriteLine();
  if (!text.empty() && (text.front() == '*' || text.front() == ' ')) return f.WriteLine(" " + text);
  f.WriteLine(text);
}

bool ReadHeadLine(TextFile& f, std::string& text) {
  while (!f.Eof()) {
    std::string line = f.ReadLine();
    if (!line.empty() && line.front() == '*') continue;
    if (!line.empty() && line.front() == ' ') line.erase(0, 1);
    text = std::move(line);
    return true;
  }
  return false;
}
