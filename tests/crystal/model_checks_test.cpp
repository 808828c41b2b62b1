#include "crystal/model_checks.h"

#include <gtest/gtest.h>
#include "crystal/profile_model.h"
#include "crystal/profile_setup.h"

namespace {

class ModelChecksTest : public ProfileTest {
protected:
  // Phases 1..n tetragonal (P4/mmm) with one atom, in the engine tied as the preparation ties
  // them (B follows A; kl, hl, hk fixed at 0); parar a copy.
  void TetragonalPhases(int32_t n) {
    PhaseCount = n;
    for (int32_t k = 1; k <= n; ++k)
      ASSERT_TRUE(SetUpPhase(k, 123, 1, {3 + 0.1 * k, 3 + 0.1 * k, 5, 90, 90, 90}, {IsoAtom(0.5, 0, 0, 0)}));
    SetUpProfileSpectrum({});
    LayOutProfileParameters();
    for (int32_t k = 1; k <= n; ++k) {
      TieRecord(MetricRecord(k, 2), MetricRecord(k, 1));
      for (int32_t i : {4, 5, 6}) FixRecord(MetricRecord(k, i));
    }
    CopyEngineToParar();
  }
  static void CopyEngineToParar() { std::copy_n(FitParameters->Records.begin(), MaxParameters + 1, parar); }
  KeepValues<ParameterRecord> parar_{parar, MaxParameters + 1};
};

TEST(TieToMaster, ComposesAChainIntoOneTie) {
  ParameterRecord r[4];
  for (int32_t i = 1; i <= 3; ++i) r[i].n = i, r[i].lower = -10, r[i].value = 2, r[i].upper = 10, r[i].a = 1;
  TieToMaster(r, 2, 1, 2, 1);    // 2 v1 + 1
  TieToMaster(r, 3, 2, 3, 0.5);  // 3 (2 v1 + 1) + 0.5
  EXPECT_EQ(r[3].n, 1);
  EXPECT_EQ(std::vector<double>({r[3].a, r[3].b, r[3].lower, r[3].value}), std::vector<double>({6, 3.5, -56.5, 15.5}));
}

TEST_F(ModelChecksTest, LinkPhasesLoopLinksToMastersThatTheEngineAccepts) {
  TetragonalPhases(3);
  ui.ExpectDialog("").Radio(3).Radio2(2).Ok();  // left > right: swapped, nothing linked
  ui.ExpectDialog("")
      .Inspect([](TForm2& f) { EXPECT_EQ(f.RadioGroup2.itemIndex - f.RadioGroup1.itemIndex, 1); })
      .Radio2(5).Ok();
  ui.ExpectMessage("Wrong phase");
  ui.ExpectDialog("").Radio(2).Radio2(2).Ok();
  ui.ExpectMessage("Same phase");
  ui.ExpectDialog("").Radio(1).Radio2(2).Check(2).Ok();
  ui.ExpectDialog("")
      .Inspect([](TForm2& f) { EXPECT_EQ(f.Label5.caption, "Done for phases 1,2"); })
      .Radio(2).Radio2(3).Check(1).Check(2).Ok();
  ui.ExpectDialog("").Cancel();
  LinkPhases();
  for (const ParameterRecord* r : std::array<const ParameterRecord*, 2>{parar, FitParameters->Records.data()}) {
    for (int32_t k : {2, 3})
      for (int32_t i : {1, 2, 3}) {  // A, B, C: phase 1's A or C; B follows A through two ties
        const int32_t master = MetricRecord(1, i == 3 ? 3 : 1);
        EXPECT_EQ(r[MetricRecord(k, i)].n, master) << k << " " << i;
        EXPECT_EQ(r[MetricRecord(k, i)].value, r[master].value);
      }
    EXPECT_EQ(r[MetricRecord(2, 4)].n, MetricRecord(2, 4));  // fixed: left alone
    EXPECT_EQ(r[ScaleRecord(2)].n, ScaleRecord(2));          // no scale link 1-2 asked
    EXPECT_EQ(r[ScaleRecord(3)].n, ScaleRecord(2));
  }
  FitParameters->PrepareFit();
  EXPECT_TRUE(FitParameters->CheckFitInput()) << FitParameters->WrongArrayError;

  PhaseCount = 2;  // one link ends the loop
  ui.ExpectDialog("").Radio(1).Radio2(2).Check(3).Ok();
  LinkPhases();
  for (int32_t i = 0; i <= 2; ++i) EXPECT_EQ(parar[WidthRecord(2, i)].n, WidthRecord(1, i));
}

TEST_F(ModelChecksTest, CorrectScalingBringsTheModelMaximumToTheSpectrumMaximum) {
  PhaseCount = 2;
  ASSERT_TRUE(SetUpAluminium(1) && SetUpAluminium(2));
  TSpectrum& sp = SetUpProfileSpectrum({});
  FormProfileReflections(1), FormProfileReflections(2);
  LayOutProfileParameters();
  // The largest model value over the odd channels; Y := times the model there, 0 elsewhere.
  auto oddMax = [&](double times) {
    double m = 0, y, w, f;
    for (int32_t ch = sp.WorkFirst; ch <= sp.WorkLast; ++ch) {
      ModelChannel = ch;
      RietveldModel(y, w, f, 1, 4);
      sp.Y[ch] = ch % 2 ? times * f : 0;
      if (ch % 2) m = std::max(m, f);
    }
    CopyEngineToParar();
    return m;
  };
  const double m0 = oddMax(3.0);
  ASSERT_GT(m0, 1.0);
  ui.ExpectQuestion("Ratio max_sp / max_mod =    3.00000 Correct the scaling?", true);
  CorrectScaling();
  for (int32_t p : {1, 2}) {  // parar and the engine
    EXPECT_NEAR(RecValue(ScaleRecord(p)), 3, 1e-12);
    EXPECT_NEAR(parar[ScaleRecord(p)].upper, 3e15, 1e3);
  }
  EXPECT_NEAR(oddMax(1.0), 3 * m0, 1e-9 * m0);
  EXPECT_EQ(LogLines().back(), "Scaling has been corrected by     3.000");

  // A model maximum of 0.5 counts as 1; a zero model or spectrum changes nothing.
  const struct { double scale, times; std::string shown; } cases[] = {
      {0.5 / m0, 2.0, "ASK: Ratio max_sp / max_mod =    1.00000 Correct the scaling? -> No"},
      {0, 1.0, "MSG: Rietveld model max=0"}, {1, 0.0, "MSG: Spectrum max=0"}};
  for (const auto& c : cases) {
    SetRecord(ScaleRecord(1), c.scale), SetRecord(ScaleRecord(2), c.scale);
    oddMax(c.times);
    if (c.shown[0] == 'A') ui.QueueAnswer(false);
    ui.transcript.clear();
    CorrectScaling();
    EXPECT_EQ(ui.transcript, std::vector<std::string>{c.shown});
    EXPECT_EQ(parar[ScaleRecord(1)].value, c.scale);
  }
}

TEST_F(ModelChecksTest, IntervalAndReflectionListChecks) {
  const std::pair<int32_t, std::string> intervals[] = {
      {11, "Wrong interval"}, {12, ""}, {8, ""}, {32768, ""}, {32769, "Error, 32769 interval too long"}};
  for (const auto& [last, message] : intervals) {
    uint8_t ok = 9;
    if (!message.empty()) ui.ExpectMessage(message);
    CheckInterval(last > 100 ? 1 : 10, last, ok);
    EXPECT_EQ(ok, message.empty());
    EXPECT_EQ(StatusMessage, message);
  }
  // CheckPhaseHkls shows nothing; it stops at a phase without reflections.
  const std::string noAtoms = "Phase 3= No atoms for " + ModeNames[0];
  const struct { int32_t atoms3, hkls[3]; std::string status; } cases[] = {
      {1, {2000, 5, 5}, ""}, {0, {2001, 5, 5}, noAtoms}, {0, {5, 0, 2001}, "Phase 2= No hkls"},
      {1, {5, 2001, 5}, "Phase 2= Too many hkls, > 2000"}};
  PhaseCount = 3;
  ui.transcript.clear();
  for (const auto& c : cases) {
    for (int32_t p = 1; p <= 3; ++p)
      PhaseTable[p].AtomCount = p < 3 || c.atoms3, PhaseTable[p].ReflectionCount = c.hkls[p - 1];
    StatusMessage.clear();
    CheckPhaseHkls();
    EXPECT_EQ(DialogOk, c.status.empty());
    EXPECT_EQ(StatusMessage, c.status);
  }
  EXPECT_TRUE(ui.transcript.empty());
}

}  // namespace
