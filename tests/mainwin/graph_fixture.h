// The main graph under the scripted backend: fresh spectra, a fresh main window at screen scale 1,
// and every table and switch the graph routines change put back at the end.
#pragma once
#include <cmath>
#include <functional>
#include <string>
#include "core/dialog_state.h"
#include "core/graph_drawing.h"
#include "core/model_switches.h"
#include "core/model_tables.h"
#include "core/neighbour_services.h"
#include "core/settings_file.h"
#include "core/spectrum.h"
#include "core/toolbox.h"
#include "mainwin/click_modes.h"
#include "mainwin/graph_view.h"
#include "mainwin/main_window.h"
#include "support/keep_values.h"
#include "support/scripted_fixture.h"

class GraphTest : public ScriptedTest {
protected:
  void SetUp() override {
    ScriptedTest::SetUp();
    Form1 = TForm1();
    Form4 = TForm4();
    ScreenScale = 1.0;
    FontSize = 10;
    MainMode = 0, PhaseCount = 1, GraphMode = 0, GraphXAxis = 0;
    PixelMode = 1, GraphScaleMode = 0, TrimmingCoefficient = 0.5;
    LogXScale = LongReflectionIndicators = GraphFitErrors = 0;
    Form1BackColor = 128, ExpDataColor = AquaColor, BackgroundColor = BlackColor;
    MarkedPointCount = 0;
    for (auto& f : FitPending) f = 1;
    for (int32_t k = 0; k <= MaxPhases; ++k) PhaseTable[k].ReflectionCount = 0;
    SideButtonMask = "000011111111";
  }
  void TearDown() override {
    ScreenScale = 1.0;
    ScriptedTest::TearDown();
  }

  // Spectrum 1, current and alone on the graph, of n channels (all shown) with counts y(c).
  TSpectrum& ShowSpectrum(int32_t n, const std::function<double(int32_t)>& y) {
    TSpectrum& sp = *SpectrumList[1];
    sp.Name = "data/one.dat";
    sp.FirstChannel = sp.WorkFirst = 1;
    sp.LastChannel = sp.WorkLast = n;
    for (int32_t c = 1; c <= n; ++c) sp.Y[c] = y(c), sp.E[c] = std::sqrt(std::fabs(sp.Y[c]) + 1);
    CurrentSpectrum = 1;
    SpectrumSlots = " x   ";
    IntervalFirst = 1, IntervalLast = n, NChannels = n;
    GraphMode = 1;
    return sp;
  }
  // A left click on the graph at the column of channel c, run by the next wait.
  void QueueClickAt(double c, int32_t y = 100) {
    ui.QueueEvent([c, y] { Image2MouseDown(TMouseButton::Left, Scaled(ChannelColumn(c)), y); });
  }
  // Side button OK and Cancel of the click loops.
  void QueueOk() {
    ui.QueueEvent([] { DialogOk = 0, ClickFlag = 1; });
  }
  int32_t GraphPixel(int32_t x, int32_t y) const { return Form1.Image2.canvas.GetPixel(x, y); }

  FreshSpectra spectra_;
  KeepValues<THklRecord> hkls_{&HklTable[0][0], (MaxReflections + 1) * (MaxPhases + 1)};
  KeepValues<LATTICE> phases_{PhaseTable, MaxPhases + 1};
  KeepValues<double> points_{MarkedPoints, MarkedPointCapacity + 1}, trim_{&TrimmingCoefficient, 1};
  KeepValues<int32_t> models_{MarkedPointModels, MarkedPointModelCount + 1},
      ints_{&MarkedPointCount, 1}, mode_{&MainMode, 1}, phaseCount_{&PhaseCount, 1}, graph_{&GraphMode, 1},
      current_{&CurrentSpectrum, 1}, first_{&IntervalFirst, 1}, last_{&IntervalLast, 1}, n_{&NChannels, 1},
      pixel_{&PixelMode, 1}, scale_{&GraphScaleMode, 1}, back_{&Form1BackColor, 1}, exp_{&ExpDataColor, 1},
      bg_{&BackgroundColor, 1}, bounds1_{&PeakModelBoundFirst, 1}, bounds2_{&PeakModelBoundLast, 1},
      view_{&GraphIntervalView, 1};
  KeepValues<uint8_t> fits_{FitPending, ModeCount}, params_{ParametersPending, ModeCount}, logx_{&LogXScale, 1},
      longInd_{&LongReflectionIndicators, 1}, errors_{&GraphFitErrors, 1}, axis_{&GraphXAxis, 1},
      plot_{PhasesToPlot, MaxPhases + 1};
  KeepValues<std::string> slots_{&SpectrumSlots, 1}, mask_{&SideButtonMask, 1};
};
