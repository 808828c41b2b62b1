// The dat dialect: the committed ZrO2 dat file (every key once) against the same set-up read as
// INI (metamorphic: one phase, two dialects), the tie-keeping reorder of the metric rows, and the
// signed groups, atom names and clamped counts.
#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include "core/model_tables.h"
#include "core/parameter_layout.h"
#include "crystal/cell_rows.h"
#include "ini/ini_commands.h"
#include "ini/ini_setup.h"

namespace {

class DatTest : public IniTest {
protected:
  void SetUp() override {
    IniTest::SetUp();
    ui.onUnexpected = [](const std::string&) {};  // the normalisation dialog of IESN is cancelled
    if (!FitParameters) CreateFitParameters();
  }
  KeepValues<uint8_t> unsaved_{ResultsUnsaved, ModeCount};
  void ReadDat(const std::string& text, bool reset = true) { ReadIniText(text, 0, reset, false, IniDataFile("t.dat")); }
};

TEST_F(DatTest, Zro2DatGivesThePhaseOfTheIniFile) {
  ReadIniText(ReadWholeFile(IniDataFile("zro2.ini")), 1, true, false, IniDataFile("zro2.ini"));
  const LATTICE ini = PhaseTable[1];
  std::vector<std::vector<double>> atoms, hkl;
  const auto take = [&] {
    atoms.clear(), hkl.clear();
    for (int32_t i = 1; i <= 4; ++i)
      for (const ATOM& a = AtomTable[i][1]; const double v : {a.X, a.Y, a.Z, a.Occupation, a.ScatteringLength})
        atoms.push_back({v, 0, 0, 0});
    for (int32_t i = 1; i <= PhaseTable[1].ReflectionCount; ++i)
      hkl.push_back({double(HklTable[i][1].h), double(HklTable[i][1].k), double(HklTable[i][1].l), HklTable[i][1].d});
  };
  take();
  const auto iniAtoms = atoms, iniHkl = hkl;
  for (auto& f : ResultsUnsaved) f = 0;
  ui.ChooseFile(IniDataFile("zro2.dat"));  // through "Input KEST dat-file"
  ui.ExpectDialog("Input of ini-file").Ok();
  ReadIniFile(0);
  std::set<std::string> keys;
  for (const auto& t : IniDispatchTrace) {
    EXPECT_TRUE(t.known == 1 && !t.handler.empty()) << t.key << " at line " << t.line;
    keys.insert(t.key);
  }
  for (const TIniKey& k : DatKeyTable) EXPECT_TRUE(k.handler == nullptr || keys.count(k.key)) << k.key;
  EXPECT_FALSE(Shown("Wrong parameter array"));
  // The cell from gemmi's reciprocal metric in the dat order: edges to 1e-6; the program's pi
  // (3.1415925, 5e-8 relative) moves a 99-degree angle by 5e-6 in each conversion.
  for (int32_t q = 0; q < 6; ++q) EXPECT_NEAR(PhaseTable[1].Cell[q], ini.Cell[q], q < 3 ? 1e-6 : 2e-5) << q;
  EXPECT_EQ(std::make_tuple(PhaseTable[1].SpaceGroup, PhaseTable[1].Setting, PhaseTable[1].CrystalSystem),
            std::make_tuple(14, 2, 2));
  take();
  ASSERT_EQ(hkl.size(), iniHkl.size());
  for (auto [x, y] : {std::pair{&atoms, &iniAtoms}, {&hkl, &iniHkl}})
    for (size_t i = 0; i < x->size(); ++i)
      for (size_t j = 0; j < 4; ++j) EXPECT_NEAR((*x)[i][j], (*y)[i][j], 1e-6) << i;
  // A few effects of the other keys.
  const TSpectrum& sp = *SpectrumList[1];
  EXPECT_EQ(std::make_tuple(sp.WorkFirst, sp.WorkLast, sp.FlightPath, sp.ChanWidth, sp.Theta, sp.E[405], WidthMode),
            std::make_tuple(305, 740, 25.0, 64.0, 75.0, 0.0, 0));
  EXPECT_EQ(std::make_tuple(DefaultFitControls.GNIter, DefaultFitControls.Step, int32_t{FitControlsGiven}),
            std::make_tuple(6, 0.99, 1));
}

// ICSA: items end at a blank or a comma; a number is a scattering length of an atom "NN" + the
// running number, and the phase is reported. The clamps of SNP and INPAP, the signed ISGI.
TEST_F(DatTest, AtomNamesGroupsAndPhaseCounts) {
  ReadDat("SNP\n1\nSNA\n3\nICSA\n0\nZr,O 0.58\nSTOP\n");
  EXPECT_EQ(AtomTable[3][1].Name, "NN1");
  EXPECT_DOUBLE_EQ(AtomTable[3][1].ScatteringLength, 0.58);
  EXPECT_EQ(AtomTable[1][1].Name, "ZR");
  EXPECT_NEAR(AtomTable[1][1].ScatteringLength, 0.716, 1e-3);
  EXPECT_TRUE(Shown("Blank atom name[s], replaced by NN, phase 1"));
  ReadDat("ICSA\n0\nXq\n", false);
  EXPECT_TRUE(Shown("No match in Mendeleev table for XQ"));
  ReadDat("SNP\n2\nISGI\n-14 225 0\n");
  EXPECT_EQ(std::make_tuple(PhaseTable[1].SpaceGroup, PhaseTable[1].Setting, PhaseTable[2].Setting), std::make_tuple(14, 2, 1));
  ReadDat("SNP\n6\n");
  EXPECT_EQ(PhaseCount, 4);
  ReadDat("INPAP\n6\n1 1 1 1 1 1\n0 0 0 0 0 0\n");
  EXPECT_EQ(PhaseCount, 6);
}

// Random arrays with ties into, out of and inside the metric blocks: after the reorder every tie
// names the same quantity (tagged by its value), and a free record stays free at its new place.
TEST_F(DatTest, ReorderKeepsEveryTieOnItsQuantity) {
  Read("SNP\n2\n");
  int32_t n = 0;
  CountParameters(n, 0);
  std::mt19937 rng(36);
  const auto uniform = [&](int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(rng); };
  // Where each dat quantity lands, worked out here from A, F, E, B, D, C -> A, B, C, D, E, F.
  std::vector<size_t> place(static_cast<size_t>(n) + 1);
  for (size_t i = 0; i < place.size(); ++i) place[i] = i;
  for (const int32_t first : {FirstCellRecord(1), FirstCellRecord(2)})
    for (size_t j = 0; j < 6; ++j) place[static_cast<size_t>(first) + j] = static_cast<size_t>(first) + std::string("ABCDEF").find("AFEBDC"[j]);
  for (int32_t trial = 0; trial < 50; ++trial) {
    std::vector<ParameterRecord> r(static_cast<size_t>(n) + 1);
    for (int32_t i = 1; i <= n; ++i)  // the value tags the quantity
      r[static_cast<size_t>(i)].value = i, r[static_cast<size_t>(i)].n = i > 1 && uniform(0, 2) == 0 ? uniform(1, i - 1) : i;
    const std::vector<ParameterRecord> before = r;
    ReorderDatMetricRows(r, n);
    for (size_t i = 1; i < r.size(); ++i) {
      const ParameterRecord &was = before[i], &now = r[place[i]];
      ASSERT_EQ(now.value, was.value);
      ASSERT_EQ(r[static_cast<size_t>(now.n)].value, before[static_cast<size_t>(was.n)].value) << "record " << i;
    }
  }
}

// IAC: one line per spectrum, the channel width (microseconds) and the Bragg angle (degrees) of
// that spectrum; nothing later in the file sets them again.
TEST_F(DatTest, IacGivesEachSpectrumItsChannelWidthAndAngle) {
  KeepValues<int32_t> count{&SpectrumCount, 1};
  ReadDat("INSP\n2\nIAC\n12.5 33.0 0\n40.0 150.0 0\nSTOP\n");
  EXPECT_EQ(std::make_tuple(SpectrumList[1]->ChanWidth, SpectrumList[1]->Theta, SpectrumList[2]->ChanWidth,
                            SpectrumList[2]->Theta),
            std::make_tuple(12.5, 33.0, 40.0, 150.0));
}

}  // namespace

// The effective spectrum corrected for absorption up to counts near the largest double and given
// a channel of no error, then a real peak model from it (one- and double-signed): the outlier
// filter of the model once left an infinite count and error in spectrum 0.
TEST_F(DatTest, RealModelOfAHugeEffectiveSpectrumKeepsItFinite) {
  for (const std::string key : {"FPM", "FDSPM"}) {
    ReadDat("IS\n1 1024 3 0 0\neffective.txt\nAC\n1 25.0 1e300 0 0 0\nAC\n1 25.0 3e4 0 0 0\n"
            "NFS\n0 0 0 0 4.0 0 1 4.0 0 0\nZW\n492 492 0\n" + key + "\n0 450 540 0 0 0 0 0 0\n");
    const TSpectrum& s = *SpectrumList[0];
    ASSERT_GT(s.Ymax, 1e308) << key;
    for (int32_t c = s.FirstChannel; c <= s.LastChannel; ++c)
      ASSERT_TRUE(std::isfinite(s.Y[c]) && std::isfinite(s.E[c])) << key << " channel " << c;
  }
}
