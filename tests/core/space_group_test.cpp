// The space-group table against gemmi's general positions (tools/gen_crystal_golden.py), its
// look-ups, and the atom copies and parameter links built from it.
#include <map>
#include "core/parameter_layout.h"
#include "core/space_groups.h"
#include "core/symmetry_expansion.h"
#include "crystal_test_support.h"

namespace {

// Code of s (R, t + centring c) of operation j as the golden file writes it: R by rows in
// "-0+", the translation in 24ths.
std::string Code(int s, const LATTICE& p, int j, int c = 0) {
  std::string code;
  for (int r = 0; r < 9; ++r) code += "-0+"[int(s * p.Rotations[r / 3][r % 3][j]) + 1];
  for (int r = 0; r < 3; ++r) {
    const double t = 24 * s * (p.Translations[r][j] + (c ? p.CentringVectors[r][c] : 0)), n = std::round(t);
    code += std::fabs(t - n) > 1e-9 ? "??" : std::to_string(int(n + 48) % 24 + 100).substr(1);
  }
  return code;
}

// The atoms of phase k as the golden "orbit" lines write them: x, y, z mod 1 in millionths.
Tokens Atoms(int k) {
  Tokens out;
  for (int i = 1; i <= PhaseTable[k].AtomCount; ++i) {
    out.emplace_back();
    for (double v : {AtomTable[i][k].X, AtomTable[i][k].Y, AtomTable[i][k].Z}) out.back() += std::to_string(std::lround((v - std::floor(v)) * 1e6) % 1000000 + 1000000).substr(1);
  }
  std::sort(out.begin(), out.end());
  return out;
}

class SpaceGroups : public CrystalTest {
protected:
  void Group(int k, int number, int setting, int atoms = 0) {
    PhaseTable[k].SpaceGroup = number, PhaseTable[k].Setting = setting, PhaseTable[k].AtomCount = atoms;
    ExpandSpaceGroup(k);
    ATOM& a = AtomTable[1][k];  // a magnetic atom at a general position
    a.X = x_[0], a.Y = x_[1], a.Z = x_[2], a.MagneticFlag = 1;
  }
  const double x_[3] = {0.1234, 0.2345, 0.3456};
  // "N" -> gemmi's operation codes of entry N, "orbitN" -> the images of x_ under them
  std::map<std::string, Tokens> golden_;
  void SetUp() override {
    CrystalTest::SetUp();
    for (const auto& t : GoldenRows("space_group_golden.txt")) golden_[t[0]] = Tokens(t.begin() + 2, t.end());
  }
};

}  // namespace

TEST_F(SpaceGroups, EveryEntryWithInversionAndCentringsIsGemmisGroup) {
  ASSERT_EQ(golden_.size(), 277u + 3);
  std::vector<int> second;
  for (const auto& [key, codes] : golden_) {
    const int n = key[0] == 'o' ? 0 : std::stoi(key);
    if (n == 0) continue;
    if (n < 0) second.push_back(-n);
    Group(1, std::abs(n), n < 0 ? 2 : 1);
    const LATTICE& p = PhaseTable[1];
    ASSERT_EQ(DialogOk, 1) << n;
    Tokens got;
    for (int s = 0; s <= p.Centrosymmetric; ++s)
      for (int c = 0; c <= p.CentringCount; ++c)
        for (int j = 1; j <= p.OperationCount; ++j) got.push_back(Code(s ? -1 : 1, p, j, c));
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, codes) << "entry " << n;
  }
  std::sort(second.begin(), second.end());
  EXPECT_EQ(second, (std::vector{3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 48, 50, 59, 68, 70, 85, 86, 88, 125, 126, 129, 130,
                                 133, 134, 137, 138, 141, 142, 146, 148, 155, 160, 161, 166, 167, 201, 203, 222, 224, 227, 228}));
  VKEST_REQUIRE_PYTHON("gemmi, numpy");
  ASSERT_TRUE(RunGenerator("gemmi", "gen_space_groups.py", LiveDir / "space_group_table.cpp") &&
              RunGenerator("gemmi", "gen_crystal_golden.py", LiveDir));
  // Integer codes and the source made of them: exact.
  EXPECT_EQ(ReadWholeFile(LiveDir / "space_group_table.cpp"),
            ReadWholeFile(VKEST_SOURCE_DIR "/src/core/space_group_table.cpp"));
  EXPECT_EQ(ReadWholeFile(LiveDir / "space_group_golden.txt"),
            ReadWholeFile(VKEST_SOURCE_DIR "/tests/core/data/space_group_golden.txt"));
  // Printed results of double arithmetic: a unit in the last printed digit, where an ulp can
  // tip the rounding, plus what the computation of each column lets rounding grow to.
  const TokenTolerance tolerance = [](const Tokens& row, size_t col) {
    const double v = std::fabs(std::stod(row[col])), unit = LastDigitUnit(row[col]);
    if (row[0] == "cell")  // 1/d^2 = |h B|^2, three-term sums cancelling by at most 3 here
      return col == 10 ? 1e-14 * v : 0.0;
    if (row[0] == "magnetic") {
      if (col == 14) return unit + 1e-13;  // q^2, a mean of 1 - cos^2 terms: ~10 eps
      // Central differences of step 1e-6 divide that rounding of q^2 by 2e-6.
      if (col >= 15 && col <= 17) return unit + 1e-8;
      // acos near +-1 turns an ulp of the cosine into sqrt(2 eps) rad, 1.2e-6 degree.
      if (col >= 18) return unit + 2e-6;
      return 0.0;  // cell, moment and indices: the inputs as drawn
    }
    // niggli: cells built from lattice vectors of lengths up to 30 A; their 90-degree cosines
    // show the rounding left by the cancellation, up to 3e-14.
    return unit + 1e-12 * std::max(v, 1.0);
  };
  for (std::string f : {"metric_golden.txt", "magnetic_golden.txt", "niggli_golden.txt"})
    EXPECT_EQ(TokenMismatches(TokenRows(LiveDir / f), GoldenRows(f), tolerance), Tokens{}) << f;
}

TEST_F(SpaceGroups, SettingsSymbolsLookUpsAndRefusals) {
  // 3: c unique -x,-y,z, b unique -x,y,-z; 5 setting 1: B (type 2) with (1/2, 0, 1/2).
  Group(1, 3, 1);
  std::string codes = Code(1, PhaseTable[1], 2);
  Group(1, 3, 2);
  codes += " " + Code(1, PhaseTable[1], 2);
  Group(1, 5, 1);
  codes += " " + Code(1, PhaseTable[1], 1, 1) + std::to_string(PhaseTable[1].LatticeType * 10 + PhaseTable[1].CentringCount);
  EXPECT_EQ(codes, "-000-000+000000 -000+000-000000 +000+000+12001221");
  Group(1, 227, 1);  // origin choice 1: no inversion at the origin, all 48 cosets listed
  EXPECT_EQ(PhaseTable[1].Schoenflies + PhaseTable[1].HermannMauguin, "Oh/7   Fd-3m");
  const auto text = [](int i) { std::string s; OperationText(i, 1, s); return s; };
  Group(1, 14, 2);
  EXPECT_EQ(text(1) + "|" + text(2), "  x          ,       y       ,          z    | -x          ,       y   +.50,         -z+.50");

  int32_t number = 0;
  for (const auto& [name, want] : {std::pair{"p21", 4}, {"P21/c", 14}, {"r-3m", 166}, {"Fm-3m", 225}}) {
    FindSpaceGroup(name, number);
    EXPECT_EQ(number * DialogOk, want) << name;
  }
  // Refusals leave the number and the phase as they were, the operation count included.
  for (const char* name : {"P7", ""}) FindSpaceGroup(name, number);
  PhaseTable[1].SpaceGroup = 233;
  ExpandSpaceGroup(1);
  EXPECT_EQ(number * 10 + DialogOk + PhaseTable[1].OperationCount * 100, 2450);
  EXPECT_EQ(ui.Messages(), (Tokens{"No space group with name P7", "No space group with name ", "No group 233, setting 2"}));
}

TEST_F(SpaceGroups, CopiesAreGemmisOrbitsWithinTheTables) {
  Group(1, 225, 1, 1);
  ExpandAtomsBySymmetry(1, 0);
  EXPECT_EQ(Atoms(2), golden_.at("orbit225"));  // 192 copies
  PhaseTable[1].AtomCount = 2;  // 384 copies: cut at 200
  ExpandAtomsBySymmetry(1, 0);
  EXPECT_EQ(PhaseTable[2].AtomCount, 200);
  ExpandAtomsBySymmetry(6, 0);  // there is no phase 7
  // Appended to the phase itself: the inversion images of the listed operations too.
  Group(3, 14, 2, 1);
  ExpandAtomsBySymmetry(3, 2);
  EXPECT_EQ(Atoms(3), golden_.at("orbit-14"));
  EXPECT_EQ(ui.Messages(), (Tokens{"Error, atoms: 384 cut to 200", "Error, phase index 7 outside 1..6"}));
}

TEST_F(SpaceGroups, CopyCoordinatesFollowTheirSources) {
  MainMode = 0, PhaseCount = 3;
  Group(1, 14, 2, 1);
  ExpandAtomsBySymmetry(1, 1);
  Group(3, 63, 1, 1);  // C m c m: 4 operations, inversion and one centring: 16 atoms
  ExpandAtomsBySymmetry(3, 2);
  EXPECT_EQ(Atoms(3), golden_.at("orbit63"));
  AtomTable[5][3].X = 0.5;  // a special value stays free
  const auto record = [](int k, int i, int c) -> ParameterRecord& { return parar[PhaseParameterOffset(k) + 10 * i + 2 + c]; };
  for (int k = 1; k <= 3; ++k)
    for (int i = 1; i <= PhaseTable[k].AtomCount; ++i)
      for (int c = 0; c < 3; ++c) {  // free, holding the atom's coordinate
        ParameterRecord& r = record(k, i, c) = ParameterRecord{};
        r.n = int(&r - parar), r.a = 1, r.value = c == 0 ? AtomTable[i][k].X : c == 1 ? AtomTable[i][k].Y : AtomTable[i][k].Z;
      }
  GenerateEquivalentPositions(2);
  GenerateEquivalentMoments(3);
  for (int k : {2, 3})
    for (int i = k - 1; i <= PhaseTable[k].AtomCount; ++i)
      for (int c = 0; c < 3; ++c) {
        const ParameterRecord& r = record(k, i, c);
        EXPECT_EQ(r.n < &r - parar, k != 3 || i != 5 || c != 0) << k << " " << i;
        EXPECT_NEAR(r.a * parar[r.n].value + r.b, r.value, 1e-12) << k << " " << i << " " << c;
      }
  GenerateEquivalentPositions(1);  // no phase 0 to tie to
  EXPECT_EQ(ui.Messages(), Tokens{"Error, phase index 1 outside 2..6"});
}
