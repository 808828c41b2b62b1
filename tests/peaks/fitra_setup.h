// The fixture of the Fitra tests: the peak fixture with a fresh engine and the model reset, and the
// golden data of tools/gen_fitra_golden.py.
#pragma once
#include <cmath>
#include <map>
#include <memory>
#include <string>
#include "core/fit_engine.h"
#include "core/model_switches.h"
#include "core/model_tables.h"
#include "crystal/peak_fit_models.h"
#include "crystal/profile_model.h"
#include "crystal/refinement_results.h"
#include "peaks/fitra_arrays.h"
#include "peaks/fitra_state.h"
#include "peaks_setup.h"

class FitraTest : public PeaksTest {
protected:
  void SetUp() override {
    PeaksTest::SetUp();
    fit_ = std::move(FitParameters);
    CreateFitParameters();
    Clean();
  }
  void TearDown() override {
    Clean();
    FitParameters = std::move(fit_);
    PeaksTest::TearDown();
  }
  static void Clean() {
    ResetModelState(1024);
    MainMode = 0, ExponentialCount = SequenceCount = TotalFitIterations = 0;
    for (auto& r : parar) r = ParameterRecord{};
    for (int32_t m = 1; m <= 6; ++m) DeltaPosition[m] = 5.0, DeltaW0[m] = 4.0, DeltaW1[m] = 100.0;
    StatusText.clear();
  }
  // Rows "tag ch y e" as spectrum 1, working range first..last.
  void LoadRows(const std::string& tag, int32_t first, int32_t last) {
    TSpectrum& sp = Sp();
    for (const Tokens& row : golden)
      if (row[0] == tag) {
        const std::vector<double> v = Numbers(row);
        sp.LastChannel = static_cast<int32_t>(v[0]), sp.Y[sp.LastChannel] = v[1], sp.E[sp.LastChannel] = v[2];
      }
    sp.FirstChannel = 1, sp.WorkFirst = first, sp.WorkLast = last;
  }
  // Rows "tag name value [error]" by name.
  using Values = std::map<std::string, std::pair<double, double>>;
  static Values Golden(const std::vector<Tokens>& rows, const std::string& tag) {
    Values m;
    for (const Tokens& row : rows)
      if (row[0] == tag) m[row[1]] = {Numbers(row, 2)[0], row.size() > 3 ? Numbers(row, 2)[1] : 0.0};
    return m;
  }
  Values Golden(const std::string& tag) const { return Golden(golden, tag); }
  // The five-peak spectrum, its true peaks marked at whole channels (Gauss model 1, Lorentz 2), a
  // linear background, the array built.
  void PrepareGoldenFit() {
    LoadRows("sp", 21, 380);
    TSpectrum& sp = Sp();
    sp.W0 = sp.W1 = 6, sp.BackgroundDegree = 1;
    PeakModels[3]->ModelNumber = ModelLorentz;
    PeakModels[3]->TabulatePeakModel();
    MainMode = ParameterArrayMode = FitraMode, UsedPeakModelCount = 2, MarkedPointCount = 5;
    for (int32_t i = 1; i <= 5; ++i) {
      MarkedPoints[i] = std::round(Golden("true").at("P" + std::to_string(i)).first);
      MarkedPointModels[i] = i == 2 || i == 5 ? 2 : 1;
    }
    TParameter& fit = *FitParameters;
    fit.NPar = BuildPeakArray(sp), fit.NPoints = sp.WorkLast - sp.WorkFirst + 1;
    for (int32_t i = 1; i <= fit.NPar; ++i) fit.Records[i] = parar[i];
    ParametersPending[FitraMode] = 0;
  }
  // Record of a golden name: b0 b1, A1..A5, P1..P5, W0_1 W0_2, W1_1 W1_2.
  static size_t RecordOf(const std::string& name) {
    const int32_t k = name.back() - '0';
    if (name[0] == 'b') return k + 1;
    if (name[0] == 'A' || name[0] == 'P') return name[0] == 'A' ? AmplitudeRecord(5, k) : PositionRecord(5, k);
    return name[1] == '0' ? WidthW0Record(5, k) : WidthW1Record(5, k);
  }
  // Full steps, no damping, until every parameter is within 1e-3 of a standard deviation.
  static void ConvergenceControls() {
    FitParameters->SetFitDefaults();
    FitParameters->Step = 1, FitParameters->Damp = 0, FitParameters->GNIter = 100, FitParameters->EpsReq = 1e-2;
  }
  // parar 1..n into the engine, fitted to convergence over the working range.
  void FitFromArray(int32_t n) {
    TParameter& fit = *FitParameters;
    fit.NPar = n, fit.NPoints = Sp().WorkLast - Sp().WorkFirst + 1;
    for (int32_t i = 1; i <= n; ++i) fit.Records[i] = parar[i];
    ConvergenceControls();
    fit.Fit(PeakFitModel, NoProgress);
  }

  std::vector<Tokens> golden = GoldenRows("fitra_golden.txt", "peaks");

private:
  std::unique_ptr<TParameter> fit_;
  KeepValues<TFitControls> controls_{&DefaultFitControls, 1};
  KeepValues<std::string> mask_{&SideButtonMask, 1};
};
