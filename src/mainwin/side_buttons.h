// The 13 side buttons of the main window beside the graph: OK and Cancel of the click loops, the
// interval and spectrum steps, the x axis, the GPH, BMP and PRF outputs, the phase curves, the
// zoom and the position store of button 13. The handlers are members of TForm1.
#pragma once
#include <string>

// The save dialogs of buttons 6 and 12. The filters of the form ("Files(.gph)|All|*.*") pair a
// description with a description; shown so that every file is listed.
inline constexpr const char* GphFileFilter = "Files(.gph)|*.*;|All|*.*";
inline constexpr const char* PrfFileFilter = "Files(.prf)|*.*;|All|*.*";
inline constexpr const char* CannotWriteMessage = "Can not write to ";

// The save dialog with WorkDir + "/" + defaultName offered; ext (".gph") is appended to a chosen
// file name without "." in it. False after Cancel (or No to the overwrite question).
bool AskOutputFileName(const std::string& filter, const std::string& defaultName, const std::string& ext,
                       std::string& name);
