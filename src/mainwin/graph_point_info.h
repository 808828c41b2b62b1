// The point-information box TForm4 of the main graph: the channel, its count, its d-spacing (with
// the indices of a reflection on that channel) or abscissa, and the peak refined there; the cell
// of the event map.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The box's lines as last filled.
extern std::vector<std::string> PointInfoLines;

// The box at the main window's Left + Scaled(420), Top + Scaled(y), Scaled(200) x Scaled(90).
void PlacePointInfoForm(int32_t y);
// The box at y = 44 with its list emptied.
void ShowPointInfoBox();
// The box for channel c of the current spectrum (installed as ShowPointInfoHook).
void ShowChannelInfo(double c);
// The box for cell (x, y) of the event map with its count; nothing outside the map's cells.
void ShowMapPointInfo(double y, double x);
// Installs ShowChannelInfo as the core's ShowPointInfoHook.
void InstallPointInfoHook();
