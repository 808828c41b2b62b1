// The command-file reader: INI files and the older dat command files, read line by line. A line
// that is not a comment is a title; its key is its capital letters A..Z, and the handler bound to
// that key in the dialect's table reads the value lines that follow it.
//
// ReadIniFile(iniMode) is declared in core/neighbour_services.h (the main window calls it):
// iniMode 1 reads an INI file, 0 a dat file.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>
#include "core/neighbour_services.h"
#include "core/text_file.h"

// The command file being read (also written by the INI writer).
extern TextFile IniTextFile;
// Cleared before each title is dispatched; every handler sets it (IS, IAS, IV and IES only when
// they succeed). Still 0 after the dispatch: "Wrong command ".
extern uint8_t KnownCommand;

// One key of a dialect's table: its handler (none while the command is not built) and the
// handler's name for the dispatch trace.
using IniHandler = void (*)();
struct TIniKey {
  const char* key;
  IniHandler handler;
  const char* handlerName;
};
constexpr int32_t IniKeyCount = 55;
constexpr int32_t DatKeyCount = 31;
// The tables in dispatch order, "STOP" last.
extern const TIniKey IniKeyTable[IniKeyCount];
extern const TIniKey DatKeyTable[DatKeyCount];

// The key of a title: its capitals A..Z in order (blanks and everything else dropped).
std::string IniKey(std::string_view title);

// One dispatched title: key, physical line number, the handler that ran ("" for none) and
// KnownCommand after it.
struct TIniDispatch {
  std::string key;
  int32_t line = 0;
  std::string handler;
  uint8_t known = 0;
};
// The titles of the last reading, in order.
extern std::vector<TIniDispatch> IniDispatchTrace;

// ---- the line source over IniTextFile ----
// The next physical line (or the line given back); false at the end of the file.
bool IniNextLine(std::string& line);
// Hands a line back: the next IniNextLine returns it again.
void IniGiveBack(std::string line);
// Physical line number of the line last taken (1-based).
int32_t IniLineNumber();
// A title met among value lines: a line beginning with "..".
bool IsIniTitle(std::string_view line);

// ---- the four ways of reading value lines ----
// One line: the next non-comment line split into NumberBuffer[1..n] (cleared first); returns n.
// A title line is given back and gives 0. The line (cut to 255) is left in InputLine.
int32_t IniReadLine();
// n numbers into a[1..n] (cleared first) from as many lines as needed; "*" comments, "/" ends
// the list, a title line is given back and ends it. Returns how many were read.
int32_t IniReadNumbers(int32_t n, std::span<double> a);
// The same; with stopAtName a line beginning with a letter (the next name) also ends the list.
int32_t IniReadNumbers(int32_t n, std::span<double> a, bool stopAtName);
// The same into NumberBuffer[1..n] (n at most NumberBufferSize).
int32_t IniReadNumbers(int32_t n);
// The dat dialect's numbers: its keys stand without titles, so a line beginning with a letter (the
// next key) also ends the list. Into a[1..n], or NumberBuffer[1..n].
int32_t DatReadNumbers(int32_t n, std::span<double> a);
int32_t DatReadNumbers(int32_t n);
// A text line: the next non-comment line unchanged (cut to 255); false (nothing taken) at the
// end of the file or at a title line, which is given back.
bool IniReadText(std::string& text);
// A name line as the writer puts it (IniNameLine): a name beginning with "*" or "..", which would
// read as a comment or a title, goes out behind one blank; that blank is taken off again.
std::string IniNameLine(const std::string& name);
void IniTakeName(std::string& line);
// A file-name line: the next non-comment line, blanks trimmed at both ends and kept whole. A name
// without folder is taken beside the command file when it is there, else in WorkDir (refreshed
// from the process's folder). When that path does not exist, a name of the same spelling in
// another case in its folder is taken, then the name with every blank removed; a name whose
// folder holds none of these is last looked for beside the command file.
void ReadIniFileName(std::string& name);
// "DUMMY" as the bare name of a file, in any case.
bool IsDummyName(const std::string& name);

// ---- values ----
// x as an integer of lo..hi; false when x is out of range or not a whole number.
bool IniInteger(double x, int32_t lo, int32_t hi, int32_t& out);
// A handler's error: text in a message box exactly, and "file <name>, line <n>" as a line of its
// own to the result file and the status line. The file is then not read as a whole: the reading
// goes on to name what else is wrong, and the model held before it comes back at its end.
void IniError(const std::string& text);
// A warning the reading goes on after (a value cut or replaced): shown and located the same way.
void IniWarning(const std::string& text);
// The location line alone, after a message that a shared check has shown; with why, the check
// refused the command (an error as IniError's).
void IniReportLocation();
void IniReportLocation(const std::string& why);
// The first error of the reading (line 0: none) and how many the reading met.
struct TIniFailure {
  int32_t line = 0;
  std::string why;
  int32_t count = 0;
};
extern TIniFailure IniFailure;

// ---- entries ----
// Reads a command file held in memory: no file dialog and no options dialog; the step-wise flag
// as given, InhibitWarnings and KeepParameterBounds as they are. With reset the model is reset
// first and MainMode := 0 as for a file. DialogOk := 1 before the reading.
void ReadIniText(std::string_view text, int32_t iniMode, bool reset = true, bool stepWise = false,
                 const std::string& name = "(text)");
