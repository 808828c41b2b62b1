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
#include <tuple>
#include <vector>
#include "core/elements.h"
#include "crystal/phase_setup.h"
#include "crystal/reflection_lists.h"
#include "crystal/structure_factor.h"
#include "support/golden_files.h"
#include "support/temp_path.h"

namespace {

struct GoldenAtom {
  std::string element, ion;
  double x = 0, y = 0, z = 0, occ = 0, b = 0;
  bool isotropic = true;
  double t[6] = {};  // B_iso in t[0], or T11, T12, T13, T22, T23, T33
  int sign = 0;
};

struct GoldenHkl {
  int h = 0, k = 0, l = 0;
  double d = 0;
  int mult = 0, orbit = 0;
  bool absent = false;
  double f2 = 0;  // |F_gemmi|^2, fm^2
  double j0 = 0, q = 1;
};

struct GoldenStructure {
  std::string name;
  int number = 0, setting = 0, nc = 0, centro = 0, ops = 0;
  std::array<double, 6> cell{};
  double dmin = 0, dmax = 0, scale = 0;
  std::vector<GoldenAtom> atoms;
  bool magnetic = false;
  double direction[3] = {};
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
  // Reflections the program lists: allowed and |F| >= 1e-9 (the generator keeps every |F| far
  // from that edge).
  bool Present(const GoldenHkl& r) const { return !r.absent && ProgramF(r) >= 1e-9; }
};

const std::string DataDir = VKEST_SOURCE_DIR "/tests/crystal/data";

// The program's cell geometry takes 57.29578 degrees per radian and mirrors obtuse reciprocal
// angles with pi as 3.1415925 (1.5e-7 rad low): its d agrees with exact geometry to about 1e-6
// (the most on rhombohedral axes, alpha = 55 degrees), 5e-7 relative here at worst.
constexpr double DTolerance = 1e-6;

GoldenStructure ReadStructure(const std::filesystem::path& path) {
  GoldenStructure s;
  for (const Tokens& t : TokenRows(path)) {
    const auto num = [&](size_t i) { return std::stod(t.at(i)); };
    if (t[0] == "structure") {
      s.name = t.at(1);
    } else if (t[0] == "entry") {
      s.number = std::stoi(t.at(1)), s.setting = std::stoi(t.at(2)), s.nc = std::stoi(t.at(3));
      s.centro = std::stoi(t.at(4)), s.ops = std::stoi(t.at(5));
    } else if (t[0] == "cell") {
      for (size_t i = 0; i < 6; ++i) s.cell[i] = num(i + 1);
    } else if (t[0] == "range") {
      s.dmin = num(1), s.dmax = num(2);
    } else if (t[0] == "scale") {
      s.scale = num(1);
    } else if (t[0] == "atom") {
      GoldenAtom a;
      a.element = t.at(2);
      a.x = num(3), a.y = num(4), a.z = num(5), a.occ = num(6), a.b = num(7);
      a.isotropic = t.at(8) == "iso";
      size_t next = 10;
      if (a.isotropic) {
        a.t[0] = num(9);
      } else {  // U11 .. U23 at 9..14, the program's T at 15..20
        for (size_t i = 0; i < 6; ++i) a.t[i] = num(15 + i);
        next = 21;
      }
      if (t.size() > next && t[next] == "moment") a.sign = std::stoi(t.at(next + 1)), a.ion = t.at(next + 2);
      s.atoms.push_back(a);
    } else if (t[0] == "magnetic") {
      s.magnetic = true;
      for (size_t i = 0; i < 3; ++i) s.direction[i] = num(i + 1);
    } else if (t[0] == "hkl") {
      GoldenHkl r;
      r.h = std::stoi(t.at(1)), r.k = std::stoi(t.at(2)), r.l = std::stoi(t.at(3));
      r.d = num(4), r.mult = std::stoi(t.at(5)), r.absent = t.at(6) == "1", r.orbit = std::stoi(t.at(7));
      r.f2 = num(8);
      if (t.size() > 10) r.j0 = num(9), r.q = num(10);
      s.index[{r.h, r.k, r.l}] = s.hkls.size();
      s.index[{-r.h, -r.k, -r.l}] = s.hkls.size();
      s.hkls.push_back(r);
    }
  }
  return s;
}

// Every structure file of the folder, by name.
std::map<std::string, GoldenStructure> ReadAll(const std::filesystem::path& dir) {
  std::map<std::string, GoldenStructure> out;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    const std::string f = e.path().filename().string();
    if (f.rfind("structure_golden_", 0) == 0 && f != "structure_golden_pairs.txt") {
      GoldenStructure s = ReadStructure(e.path());
      out[s.name] = std::move(s);
    }
  }
  return out;
}

std::string Trim(const char* s) {
  std::string out;
  for (const char* c = s; *c; ++c)
    if (*c != ' ') out += *c;
  return out;
}

class StructureGolden : public PhaseTest {
protected:
  void SetUp() override {
    PhaseTest::SetUp();
    static const auto all = ReadAll(DataDir);
    golden_ = &all;
  }

  const GoldenStructure& Get(const std::string& name) const { return golden_->at(name); }

  // Phase k as the structure: table entry, cell, atoms with the program's lengths and thermal
  // terms, L1..L3 = a, b, c; a magnetic phase with the ion's form factor and the moment signs.
  void SetUpStructure(int k, const GoldenStructure& s) {
    std::vector<TestAtom> atoms;
    for (const GoldenAtom& a : s.atoms) {
      TestAtom t;
      t.b = a.b, t.x = a.x, t.y = a.y, t.z = a.z, t.occ = a.occ, t.isotropic = a.isotropic;
      std::copy(a.t, a.t + 6, t.t.begin());
      atoms.push_back(t);
    }
    ASSERT_TRUE(SetUpPhase(k, s.number, s.setting, s.cell, atoms)) << s.name;
    LATTICE& p = PhaseTable[k];
    for (int i = 0; i < 3; ++i) p.IndexNormalisers[i] = s.cell[i];
    // The entry is the group gemmi names: centrings, inversion at the origin, listed operations.
    EXPECT_EQ(p.CentringCount + 1, s.nc) << s.name;
    EXPECT_EQ(p.Centrosymmetric, s.centro) << s.name;
    EXPECT_EQ(p.OperationCount, s.ops) << s.name;
    PhaseModelFlags[k] = s.magnetic ? 1 : 0;
    if (s.magnetic) std::copy(s.direction, s.direction + 3, p.MomentDirection);
    for (size_t i = 0; i < s.atoms.size(); ++i) {
      const GoldenAtom& a = s.atoms[i];
      ATOM& at = AtomTable[i + 1][k];
      // the generator took the element table's length
      const auto row = std::find_if(ElementTable.begin() + 1, ElementTable.end(), [&](const TElementRow& r) {
        std::string e = a.element;
        std::transform(e.begin(), e.end(), e.begin(), ::toupper);
        return Trim(r.Symbol) == e;
      });
      ASSERT_NE(row, ElementTable.end()) << a.element;
      EXPECT_EQ(row->ScatteringLength, a.b) << s.name << " " << a.element;
      if (a.ion.empty()) continue;
      const auto ion = std::find_if(IonTable.begin() + 1, IonTable.end(), [&](const TIonRow& r) { return a.ion == r.Name; });
      ASSERT_NE(ion, IonTable.end()) << a.ion;
      std::copy(ion->Coefficients, ion->Coefficients + 7, at.FormFactor);
      at.IonName = a.ion;
      at.MagneticMoment = a.sign;
      at.MagneticFlag = 1;
    }
  }

  const std::map<std::string, GoldenStructure>* golden_ = nullptr;
};

TEST_F(StructureGolden, StructureFactorsAreNcTimesGemmisSums) {
  ASSERT_EQ(golden_->size(), 19u);
  for (const auto& [name, s] : *golden_) {
    ASSERT_NO_FATAL_FAILURE(SetUpStructure(1, s));
    ASSERT_GT(s.hkls.size(), 150u) << name;
    int failures = 0;
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
      if (s.magnetic) {  // 0.539 sign j0(s) with periodictable's j0 at Q = 2 pi / d
        for (size_t i = 0; i < s.atoms.size(); ++i)
          EXPECT_NEAR(ScatteringAmplitude(1, AtomTable[i + 1][1], Q0 / 4), 0.539 * s.atoms[i].sign * r.j0, 1e-13);
      }
    }
  }
  EXPECT_EQ(ui.Messages(), Tokens{});
}

TEST_F(StructureGolden, SymmetricListHoldsOneRecordPerLaueOrbit) {
  for (const auto& [name, s] : *golden_) {
    ASSERT_NO_FATAL_FAILURE(SetUpStructure(1, s));
    FormSymmetricHklList(1, s.dmin, s.dmax);
    std::set<int> want, seen;
    for (const GoldenHkl& r : s.hkls)
      if (s.Present(r)) want.insert(r.orbit);
    const std::vector<THklRecord> list = PhaseReflections(1);
    for (size_t i = 0; i < list.size(); ++i) {
      const THklRecord& rec = list[i];
      const GoldenHkl* g = s.Find(rec.h, rec.k, rec.l);
      ASSERT_NE(g, nullptr) << name << " " << rec.h << " " << rec.k << " " << rec.l;
      EXPECT_TRUE(seen.insert(g->orbit).second) << name << ": orbit listed twice at " << rec.h << " " << rec.k << " " << rec.l;
      EXPECT_EQ(rec.Multiplicity, g->mult) << name << " " << rec.h << " " << rec.k << " " << rec.l;
      EXPECT_NEAR(rec.d, g->d, DTolerance * g->d) << name << " " << rec.h << " " << rec.k << " " << rec.l;
      if (i > 0) {
        EXPECT_GE(list[i - 1].d, rec.d) << name;
      }
      // A and B belong to the stored indices (at the program's own d, which sets Q0).
      Q0 = 1.0 / (rec.d * rec.d);
      double A = 0, B = 0, q = 0;
      CalcStructureFactor(0, 1, rec.h, rec.k, rec.l, rec.Multiplicity, 0, A, B, q);
      EXPECT_NEAR(rec.A, A, 1e-12 * std::fabs(A) + s.Floor()) << name << " " << rec.h << " " << rec.k << " " << rec.l;
      EXPECT_NEAR(rec.B, B, 1e-12 * std::fabs(B) + s.Floor()) << name << " " << rec.h << " " << rec.k << " " << rec.l;
    }
    EXPECT_EQ(seen, want) << name << ": " << list.size() << " records for " << want.size() << " orbits";
  }
  EXPECT_EQ(ui.Messages(), Tokens{});
}

// One crystal in two settings: indices h_B = h_A P give the same d, multiplicity and |F|^2 per
// cell volume. F_prog = n_c sum(all images) and V_A / V_B = n_A / n_B, so |F_A|^2 / n_A^4 =
// |F_B|^2 / n_B^4 (n_c = 3 on hexagonal axes, 1 on rhombohedral ones).
TEST_F(StructureGolden, SettingsOfOneCrystalAgree) {
  const auto pairs = GoldenRows("structure_golden_pairs.txt", "crystal");
  ASSERT_EQ(pairs.size(), 3u);
  for (const Tokens& t : pairs) {
    const GoldenStructure &a = Get(t.at(1)), &b = Get(t.at(2));
    const int den = std::stoi(t.at(3));
    int P[3][3];
    for (int i = 0; i < 9; ++i) P[i / 3][i % 3] = std::stoi(t.at(4 + i));
    ASSERT_NO_FATAL_FAILURE(SetUpStructure(1, a));
    ASSERT_NO_FATAL_FAILURE(SetUpStructure(2, b));
    FormSymmetricHklList(1, a.dmin, a.dmax);
    FormSymmetricHklList(2, b.dmin, b.dmax);
    const std::vector<THklRecord> la = PhaseReflections(1), lb = PhaseReflections(2);
    ASSERT_EQ(la.size(), lb.size()) << t[1];
    ASSERT_GT(la.size(), 10u);
    std::map<int, const THklRecord*> byOrbit;  // B's records by their golden orbit
    for (const THklRecord& r : lb) byOrbit[b.Find(r.h, r.k, r.l)->orbit] = &r;
    const double na4 = std::pow(a.nc, 4), nb4 = std::pow(b.nc, 4);
    for (const THklRecord& r : la) {
      int hb[3];
      for (int j = 0; j < 3; ++j) {
        const int n = r.h * P[0][j] + r.k * P[1][j] + r.l * P[2][j];
        ASSERT_EQ(n % den, 0) << t[1] << " " << r.h << " " << r.k << " " << r.l;
        hb[j] = n / den;
      }
      const GoldenHkl* g = b.Find(hb[0], hb[1], hb[2]);
      ASSERT_NE(g, nullptr);
      ASSERT_EQ(byOrbit.count(g->orbit), 1u) << t[2] << " lacks " << hb[0] << " " << hb[1] << " " << hb[2];
      const THklRecord& rb = *byOrbit[g->orbit];
      EXPECT_NEAR(r.d, rb.d, 2 * DTolerance * r.d);
      EXPECT_EQ(r.Multiplicity, rb.Multiplicity);
      Q0 = 1.0 / (r.d * r.d);
      double A1, B1, A2, B2, q;
      CalcStructureFactor(0, 1, r.h, r.k, r.l, 1, 0, A1, B1, q);
      CalcStructureFactor(0, 2, hb[0], hb[1], hb[2], 1, 0, A2, B2, q);
      const double f1 = (A1 * A1 + B1 * B1) / na4, f2 = (A2 * A2 + B2 * B2) / nb4;
      EXPECT_NEAR(f1, f2, 1e-11 * f1) << t[1] << " " << r.h << " " << r.k << " " << r.l;
    }
  }
}

// Closed-form sums: a re-run (another gemmi, numpy or libm) moves values by rounding only, about
// 1e-15 relative per term; 1e-12 relative, and for |F| an absolute floor of 1e-13 of the largest
// possible |F|, where cancellation (special-position extinctions) leaves only rounding noise.
TEST_F(StructureGolden, GeneratorRerunMatchesTheCommittedFiles) {
  VKEST_REQUIRE_PYTHON("gemmi, numpy, periodictable");
  const std::filesystem::path dir = TestTempPath("structure_golden");
  std::filesystem::create_directories(dir);
  ASSERT_EQ(RunTool("gen_structure_golden.py", dir.string()), 0);
  const auto fresh = ReadAll(dir);
  ASSERT_EQ(fresh.size(), golden_->size());
  EXPECT_EQ(TokenRows(dir / "structure_golden_pairs.txt"), GoldenRows("structure_golden_pairs.txt", "crystal"));
  const auto close = [](double x, double y, double rel, double floor) {
    return std::fabs(x - y) <= rel * std::fabs(y) + floor;
  };
  for (const auto& [name, s] : *golden_) {
    ASSERT_EQ(fresh.count(name), 1u) << name;
    const GoldenStructure& f = fresh.at(name);
    EXPECT_EQ(std::tie(f.number, f.setting, f.nc, f.centro, f.ops, f.magnetic),
              std::tie(s.number, s.setting, s.nc, s.centro, s.ops, s.magnetic));
    for (int j = 0; j < 6; ++j) EXPECT_TRUE(close(f.cell[j], s.cell[j], 1e-12, 0)) << name;
    ASSERT_EQ(f.atoms.size(), s.atoms.size()) << name;
    for (size_t i = 0; i < s.atoms.size(); ++i) {
      const GoldenAtom &x = f.atoms[i], &y = s.atoms[i];
      EXPECT_TRUE(x.element == y.element && x.b == y.b && x.occ == y.occ && x.sign == y.sign && x.ion == y.ion) << name;
      for (int j = 0; j < 6; ++j) EXPECT_TRUE(close(x.t[j], y.t[j], 1e-12, 0)) << name;
      EXPECT_TRUE(close(x.x, y.x, 0, 1e-12) && close(x.y, y.y, 0, 1e-12) && close(x.z, y.z, 0, 1e-12)) << name;
    }
    ASSERT_EQ(f.hkls.size(), s.hkls.size()) << name;
    int failures = 0;
    for (size_t i = 0; i < s.hkls.size(); ++i) {
      const GoldenHkl &x = f.hkls[i], &y = s.hkls[i];
      const bool ok = x.h == y.h && x.k == y.k && x.l == y.l && x.mult == y.mult && x.absent == y.absent &&
                      x.orbit == y.orbit && close(x.d, y.d, 1e-12, 0) && close(x.j0, y.j0, 1e-12, 0) &&
                      close(x.q, y.q, 0, 1e-12) &&
                      close(std::sqrt(x.f2), std::sqrt(y.f2), 1e-12, 1e-13 * s.scale);
      if (!ok && ++failures <= 5) ADD_FAILURE() << name << " line " << i << ": " << x.h << " " << x.k << " " << x.l;
    }
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
