// Structure factors and symmetric reflection lists of real structures against gemmi
// (tools/gen_structure_golden.py): every crystal system, centred and primitive lattices, groups
// with and without an inversion centre at the origin, special positions, anisotropic atoms, a
// magnetic phase, and the table's settings (unique axis b and c, origin choices 1 and 2, R on
// rhombohedral and hexagonal axes).
//
// gemmi sums every image of every site (all operations times all centrings), so for the table's
// layout the program's F = n_c F_gemmi / 10 (the program's lengths are in 10^-12 cm, gemmi's in
// fm, and every term of the program's sum carries n_c on top of the sum over the centrings).
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>
#include "core/elements.h"
#include "crystal/phase_setup.h"
#include "crystal/reflection_lists.h"
#include "crystal/structure_factor.h"
#include "support/golden_files.h"
#include "support/temp_path.h"

namespace {

struct GoldenHkl {
  int h = 0, k = 0, l = 0, mult = 0, orbit = 0;
  bool absent = false;
  double d = 0, f2 = 0, j0 = 0, q = 1;  // f2: |F_gemmi|^2 in fm^2
};

struct GoldenStructure {
  std::string name;
  int number = 0, setting = 0, nc = 0, centro = 0, ops = 0;
  std::array<double, 6> cell{};
  double dmin = 0, dmax = 0, scale = 0, direction[3] = {};
  bool magnetic = false;
  std::vector<TestAtom> atoms;  // the program's lengths and thermal terms
  std::vector<std::pair<int, std::string>> moments;  // sign and ion of each atom, 0 and "" for none
  std::vector<GoldenHkl> hkls;
  std::map<std::array<int, 3>, size_t> index;  // (h, k, l) and its Friedel mate -> hkls

  const GoldenHkl* Find(int h, int k, int l) const {
    const auto it = index.find({h, k, l});
    return it == index.end() ? nullptr : &hkls[it->second];
  }
  // The program's |F| of a golden reflection, 10^-12 cm.
  double ProgramF(const GoldenHkl& r) const { return nc * std::sqrt(r.f2) / 10.0; }
  // Rounding of sums of a few hundred terms: 1e-13 of the largest possible |F| (program units).
  double Floor() const { return 1e-13 * nc * scale / 10.0; }
};

// The program's cell geometry takes 57.29578 degrees per radian and mirrors obtuse reciprocal
// angles with pi as 3.1415925 (1.5e-7 rad low): its d agrees with exact geometry to about 1e-6
// (the most on rhombohedral axes, alpha = 55 degrees), 5e-7 relative here at worst.
constexpr double DTolerance = 1e-6;

GoldenStructure ReadStructure(const std::filesystem::path& path) {
  GoldenStructure s;
  for (const Tokens& t : TokenRows(path)) {
    const auto num = [&](size_t i) { return std::stod(t.at(i)); };
    const auto integer = [&](size_t i) { return std::stoi(t.at(i)); };
    if (t[0] == "structure") s.name = t.at(1);
    if (t[0] == "entry")
      s.number = integer(1), s.setting = integer(2), s.nc = integer(3), s.centro = integer(4), s.ops = integer(5);
    if (t[0] == "range") s.dmin = num(1), s.dmax = num(2);
    if (t[0] == "scale") s.scale = num(1);
    for (size_t i = 0; i < 6 && t[0] == "cell"; ++i) s.cell[i] = num(i + 1);
    for (size_t i = 0; i < 3 && t[0] == "magnetic"; ++i) s.direction[i] = num(i + 1), s.magnetic = true;
    if (t[0] == "atom") {  // label element x y z occ b, "iso" B or "aniso" U11 .. U23 T11 .. T33
      TestAtom a{num(7), num(3), num(4), num(5), num(6), {}, t.at(8) == "iso"};
      for (size_t i = 0; i < (a.isotropic ? 1u : 6u); ++i) a.t[i] = num(a.isotropic ? 9 : 15 + i);
      const size_t next = a.isotropic ? 10 : 21;
      s.moments.emplace_back(0, "");
      if (t.size() > next && t[next] == "moment") s.moments.back() = {integer(next + 1), t.at(next + 2)};
      s.atoms.push_back(a);
    }
    if (t[0] == "hkl") {  // h k l d multiplicity absent orbit f2 [j0 q]
      GoldenHkl r{integer(1), integer(2), integer(3), integer(5), integer(7), t.at(6) == "1", num(4), num(8)};
      if (t.size() > 10) r.j0 = num(9), r.q = num(10);
      s.index[{r.h, r.k, r.l}] = s.index[{-r.h, -r.k, -r.l}] = s.hkls.size();
      s.hkls.push_back(r);
    }
  }
  return s;
}

class StructureGolden : public PhaseTest {
protected:
  static const std::map<std::string, GoldenStructure>& Golden() {
    static const auto all = [] {
      std::map<std::string, GoldenStructure> out;
      for (const auto& e : std::filesystem::directory_iterator(VKEST_SOURCE_DIR "/tests/crystal/data"))
        if (e.path().filename().string().starts_with("structure_golden_") && !e.path().string().ends_with("pairs.txt")) {
          GoldenStructure s = ReadStructure(e.path());
          out[s.name] = std::move(s);
        }
      return out;
    }();
    return all;
  }

  // Phase k as the structure with L1..L3 = a, b, c; a magnetic phase with the ion's form factor
  // and the moment signs.
  static void SetUpStructure(int k, const GoldenStructure& s) {
    ASSERT_TRUE(SetUpPhase(k, s.number, s.setting, s.cell, s.atoms)) << s.name;
    LATTICE& p = PhaseTable[k];
    std::copy(s.cell.begin(), s.cell.begin() + 3, p.IndexNormalisers);
    // The entry is the group gemmi names: centrings, inversion at the origin, listed operations.
    EXPECT_EQ(std::tuple(p.CentringCount + 1, p.Centrosymmetric, p.OperationCount), std::tuple(s.nc, s.centro, s.ops))
        << s.name;
    PhaseModelFlags[k] = s.magnetic ? 1 : 0;
    std::copy(s.direction, s.direction + 3, p.MomentDirection);
    for (size_t i = 0; i < s.moments.size(); ++i) {
      const auto& [sign, name] = s.moments[i];
      if (name.empty()) continue;
      const auto ion = std::find_if(IonTable.begin() + 1, IonTable.end(), [&](const TIonRow& r) { return name == r.Name; });
      ASSERT_NE(ion, IonTable.end()) << name;
      ATOM& at = AtomTable[i + 1][k];
      std::copy(ion->Coefficients, ion->Coefficients + 7, at.FormFactor);
      at.IonName = name, at.MagneticMoment = sign, at.MagneticFlag = 1;
    }
  }
};

// Per structure: |F| at every golden index is n_c |F_gemmi| to 1e-9 on |F|^2, with B = 0 when
// centrosymmetric and the magnetic amplitude 0.539 sign j0(s) with periodictable's j0 at
// Q = 2 pi / d. The symmetric list holds one record per Laue orbit that the centring allows with
// |F| >= 1e-9 (the generator keeps every |F| far from that edge), with gemmi's d and multiplicity,
// by d descending, and A and B of the stored indices (at the program's own d, which sets Q0).
TEST_F(StructureGolden, StructureFactorsAndListsAgreeWithGemmi) {
  ASSERT_EQ(Golden().size(), 19u);
  for (const auto& [name, s] : Golden()) {
    ASSERT_NO_FATAL_FAILURE(SetUpStructure(1, s));
    ASSERT_GT(s.hkls.size(), 150u) << name;
    int failures = 0;
    std::set<int> present, seen;
    for (const GoldenHkl& r : s.hkls) {
      Q0 = 1.0 / (r.d * r.d);
      double A = 0, B = 0, q = 0;
      CalcStructureFactor(0, 1, r.h, r.k, r.l, r.mult, 0, A, B, q);
      const double got = std::sqrt(A * A + B * B), want = s.ProgramF(r);
      // 1e-9 relative on |F|^2 (half of it on |F|), with the rounding floor for the zeros
      const bool ok = std::fabs(got - want) <= 5e-10 * want + s.Floor() && (s.centro == 0 || B == 0.0) &&
                      (!s.magnetic || std::fabs(q - r.q) <= 1e-12);
      if (!ok && ++failures <= 5)
        ADD_FAILURE() << name << " " << r.h << " " << r.k << " " << r.l << ": |F| " << got << " (A " << A
                      << ", B " << B << ", q " << q << "), gemmi x n_c: " << want << " (q " << r.q << ")";
      for (size_t i = 0; s.magnetic && i < s.atoms.size(); ++i)
        EXPECT_NEAR(ScatteringAmplitude(1, AtomTable[i + 1][1], Q0 / 4), 0.539 * s.moments[i].first * r.j0, 1e-13);
      if (!r.absent && want >= 1e-9) present.insert(r.orbit);
    }
    FormSymmetricHklList(1, s.dmin, s.dmax);
    const std::vector<THklRecord> list = PhaseReflections(1);
    for (size_t i = 0; i < list.size(); ++i) {
      const THklRecord& rec = list[i];
      SCOPED_TRACE(name + " " + std::to_string(rec.h) + " " + std::to_string(rec.k) + " " + std::to_string(rec.l));
      const GoldenHkl* g = s.Find(rec.h, rec.k, rec.l);
      ASSERT_NE(g, nullptr);
      EXPECT_TRUE(seen.insert(g->orbit).second) << "orbit listed twice";
      EXPECT_EQ(rec.Multiplicity, g->mult);
      EXPECT_NEAR(rec.d, g->d, DTolerance * g->d);
      if (i > 0) {
        EXPECT_GE(list[i - 1].d, rec.d);
      }
      Q0 = 1.0 / (rec.d * rec.d);
      double A = 0, B = 0, q = 0;
      CalcStructureFactor(0, 1, rec.h, rec.k, rec.l, rec.Multiplicity, 0, A, B, q);
      EXPECT_NEAR(rec.A, A, 1e-12 * std::fabs(A) + s.Floor());
      EXPECT_NEAR(rec.B, B, 1e-12 * std::fabs(B) + s.Floor());
    }
    EXPECT_EQ(seen, present) << name << ": " << list.size() << " records for " << present.size() << " orbits";
  }
  EXPECT_EQ(ui.Messages(), Tokens{});
}

// One crystal in two settings: indices h_B = h_A P / den give the same |F|^2 per cell volume.
// F_prog = n_c sum(all images) and V_A / V_B = n_A / n_B, so |F_A|^2 / n_A^4 = |F_B|^2 / n_B^4
// (n_c = 3 on hexagonal axes, 1 on rhombohedral ones).
TEST_F(StructureGolden, SettingsOfOneCrystalAgree) {
  const auto pairs = GoldenRows("structure_golden_pairs.txt", "crystal");
  ASSERT_EQ(pairs.size(), 3u);
  for (const Tokens& t : pairs) {  // pair A B den P (row by row)
    const GoldenStructure &a = Golden().at(t.at(1)), &b = Golden().at(t.at(2));
    ASSERT_NO_FATAL_FAILURE(SetUpStructure(1, a));
    ASSERT_NO_FATAL_FAILURE(SetUpStructure(2, b));
    int compared = 0;
    for (const GoldenHkl& r : a.hkls) {
      if (r.absent || a.ProgramF(r) < 1e-9) continue;
      int hb[3];
      for (int j = 0; j < 3; ++j) {
        hb[j] = r.h * std::stoi(t.at(4 + j)) + r.k * std::stoi(t.at(7 + j)) + r.l * std::stoi(t.at(10 + j));
        ASSERT_EQ(hb[j] % std::stoi(t.at(3)), 0) << t[1] << " " << r.h << " " << r.k << " " << r.l;
        hb[j] /= std::stoi(t.at(3));
      }
      Q0 = 1.0 / (r.d * r.d);
      double A1, B1, A2, B2, q;
      CalcStructureFactor(0, 1, r.h, r.k, r.l, 1, 0, A1, B1, q);
      CalcStructureFactor(0, 2, hb[0], hb[1], hb[2], 1, 0, A2, B2, q);
      const double f1 = (A1 * A1 + B1 * B1) / std::pow(a.nc, 4), f2 = (A2 * A2 + B2 * B2) / std::pow(b.nc, 4);
      EXPECT_NEAR(f1, f2, 1e-11 * f1) << t[1] << " " << r.h << " " << r.k << " " << r.l;
      ++compared;
    }
    EXPECT_GT(compared, 100) << t[1];
  }
}

// Closed-form sums: a re-run (another gemmi, numpy or libm) moves values by rounding only, about
// 1e-15 relative per term: 1e-12 relative (and absolute, for coordinates near 0), and for |F| a
// floor of 1e-13 of the largest possible |F|, where cancellation (special-position extinctions)
// leaves only rounding noise.
TEST_F(StructureGolden, GeneratorRerunMatchesTheCommittedFiles) {
  VKEST_REQUIRE_PYTHON("gemmi, numpy, periodictable");
  const std::filesystem::path dir = TestTempPath("structure_golden");
  std::filesystem::create_directories(dir);
  ASSERT_EQ(RunTool("gen_structure_golden.py", dir.string()), 0);
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    if (!name.starts_with("structure_golden_")) continue;
    const auto committed = GoldenRows(name, "crystal");
    double scale = 0;
    for (const Tokens& t : committed) scale = t[0] == "scale" ? std::stod(t.at(1)) : scale;
    const auto tolerance = [&](const Tokens& row, size_t col) {
      double y = 0;
      if (!TokenNumber(row[col], y)) return 0.0;
      if (row[0] != "hkl" || col != 8) return 1e-12 * std::fabs(y) + 1e-12;
      const double df = 1e-12 * std::sqrt(y) + 1e-13 * scale;  // on |F| = sqrt(f2)
      return df * (2 * std::sqrt(y) + df);
    };
    const auto mismatches = TokenMismatches(TokenRows(e.path()), committed, tolerance);
    EXPECT_TRUE(mismatches.empty()) << name << "\n" << JoinLines(mismatches);
    ++files;
  }
  EXPECT_EQ(files, int(Golden().size()) + 1);  // and the pairs
  std::filesystem::remove_all(dir);
}

}  // namespace
