// The session: its start (the result and summary files, the settings, every shared object with
// its defaults), its end (objects freed, settings written back, files closed) and the two ways
// out of the main window. All session files live in WorkDir.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

// A local date and time.
struct TSessionTime {
  int32_t year = 2000, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};
// The clock of the session stamps; the system's local time unless a test installs its own.
extern std::function<TSessionTime()> SessionClock;
TSessionTime SystemClock();
// "yyyy-mm-dd hh:nn:ss", the date and time of the START and FINISH lines.
std::string SessionDateTime(const TSessionTime& t);
// The stamp of the result-file name: day, hour and minute in two digits each ("ddhhnn").
std::string SessionStamp(const TSessionTime& t);

// Asked by FinishSession to end the program (the program installs the event loop's quit).
extern std::function<void()> TerminateApplication;
// 1 once FinishSession has run (and before any session started); a second FinishSession, or a
// close request after the end, does nothing more.
extern uint8_t SessionEnded;

inline constexpr const char* OutputFileFailure = "Output file failure: possibly shared or read only";
inline constexpr const char* ScaleQuestion = "Form scale > 1.25; Set to 1.25 ?";

// The first name of WorkDir + "/" + base + n + ".res" (n empty, then 1, 2, ...) that no file
// takes; counting goes on until one is free, so an earlier file is never overwritten.
std::string FreeSessionFileName(const std::string& base);
// The working folder with its "/": where the session's files are.
std::string SessionFolder();
// Where the windows are before the start dialog: the main window grey at 0,0, the dialog window
// 780 x 580 with its first image over the whole of it, the information and point boxes.
void CreateSessionWindows();
// Opens the session. False, after OutputFileFailure, when the result file or the summary file
// cannot be created; no session objects exist then and the program must end.
bool StartSession();
// Erases "quorin1.res" .. "quorin30.res" of WorkDir; "quorin.res" stays.
void EraseQuorinFiles();
// Ends the session once; a failure to write "vkest.def" is reported and the end goes on.
void FinishSession();
// The main window's close request: true (and the session ended) when the program may end.
bool SessionCloseQuery();
// File "Exit" and Esc: the exit question, then the session end.
void SessionExit();
