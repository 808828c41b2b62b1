// Messages, questions, the one waiting loop and the screen scale of control geometry.
#pragma once
#include <cstdint>
#include <string>

// The line break inside message texts: a line feed followed by a carriage return.
inline const std::string LineBreak = "\n\r";

// The program's standard message box (text and "OK", at 320,320).
void ShowMsg(const std::string& text);
void ShowMsgOrLog(const std::string& text);
// ShowMsg(text + "... InOut error =" + the last file result code); reading the code clears it.
void CheckIOResult(const std::string& text);
// True at once when no file of that name exists; otherwise asks name + " already exists.Overwrite?"
// and is false only when the answer is No.
bool ConfirmOverwrite(const std::string& name);
// Erases the file when it holds fewer than 4 bytes.
void EraseIfNearlyEmpty(const std::string& path);
// flag := 0, then processes window messages until flag is set. Returns false, with flag still 0
// and DialogOk := 0, when the wait ended because the application is going down.
bool WaitForFlag(uint8_t& flag);
// round(n * ScreenScale), halves to even.
int32_t Scaled(double n);
// The largest of the offered screen scales (2, 1.5, 1.25, 1) not above scale at which the main
// window (640 x 480 and its frame) fits the screen; scale itself when the screen is unknown or
// too small for any of them.
double ScaleThatFits(double scale);
