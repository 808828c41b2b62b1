// The element and ion tables (regenerated from periodictable when it is installed) and the
// element look-up of an atom.
#include "core/elements.h"
#include "crystal_test_support.h"

namespace {
class Elements : public CrystalTest {
protected:
  uint8_t found = 7;
  ATOM& atom = AtomTable[3][2];
  static std::vector<double> Row(const std::string& symbol) {  // radius, b, weight, total, absorption
    for (const auto& e : ElementTable)
      if (e.Symbol && symbol == e.Symbol) return {e.Radius, e.ScatteringLength, e.Weight, e.TotalCrossSection, e.AbsorptionCrossSection};
    return {};
  }
};
}  // namespace

TEST_F(Elements, TablesHoldTheLongStandingRowsAndTheirSources) {
  EXPECT_EQ(std::string(ElementTable[4].Symbol) + ElementTable[100].Symbol, "HECF");  // atomic number + 2
  EXPECT_EQ(Row(" H"), (std::vector{0.32, -0.3739, 1.00797, 82.02, 0.3326}));
  EXPECT_EQ(Row(" C"), (std::vector{0.77, 0.6648, 12.01115, 5.555, 0.0035}));
  EXPECT_EQ(Row("MG"), (std::vector{1.36, 0.5375, 24.312, 3.708, 0.063}));
  EXPECT_EQ(Row("PO")[1], 0);  // no neutron data
  // Fe2+ <j0> as International Tables C (4.4.5) gives it.
  const double fe2[7] = {0.0263, 34.9597, 0.3668, 15.9435, 0.6188, 5.5935, -0.0119};
  EXPECT_EQ(std::string(IonTable[25].Name) + IonTable[IonCount].Name, "FE2U 5");
  for (int i = 0; i < 7; ++i) EXPECT_NEAR(IonTable[25].Coefficients[i], fe2[i], 1e-4);

  VKEST_REQUIRE_PYTHON("periodictable");
  ASSERT_TRUE(RunGenerator("periodictable", "gen_elements.py", LiveDir));
  // Exact: table values and sums, products and square roots of them, all correctly rounded.
  for (std::string f : {"element_table.cpp", "ion_table.cpp"})
    EXPECT_EQ(ReadWholeFile(LiveDir / f), ReadWholeFile(VKEST_SOURCE_DIR "/src/core/" + f)) << f;
}

TEST_F(Elements, NamesFindTheirRowsAndFillTheAtom) {
  for (const auto& [name, symbol] : {std::pair{"Fe3+", "FE"}, {"c", " C"}, {"PA", "PA"}, {" o2-", " O"}}) {
    atom = ATOM{};
    FindElement(name, 2, 3, found);
    EXPECT_EQ(atom.Name + char('0' + found), name + std::string("1"));
    EXPECT_EQ((std::vector{atom.Radius, atom.ScatteringLength, atom.Weight, atom.Absorption1, atom.Absorption2}), Row(symbol));
  }
  // A given length is kept; one that is not the element's is noted unless it is 1.0 or the
  // phase is magnetic.
  for (double b : {0.6648, 1.0, 0.5}) {
    atom.ScatteringLength = b;
    FindElement("C1", 2, 3, found);
    EXPECT_EQ(atom.ScatteringLength, b);
  }
  PhaseModelFlags[2] = 1;
  FindElement("C1", 2, 3, found);
  EXPECT_EQ(LogLines(), Tokens{"Scattering length    0.50000 non-standard"});
}

TEST_F(Elements, UnknownNamesAreAskedOrLogged) {
  atom = ATOM{};
  atom.Weight = 9;
  ui.ExpectQuestion("No Mendeleev match for XX Ignore?", true);
  FindElement("xx1", 2, 3, found);
  EXPECT_EQ(atom.Name + char('0' + found) + std::to_string(atom.Weight), "xx119.000000");  // name only
  ui.ExpectQuestion("No Mendeleev match for  Q Ignore?", false);
  for (const char* name : {"Q", "Zz", "  "}) {  // No; with InhibitWarnings; empty
    InhibitWarnings = name[0] == 'Z';
    FindElement(name, 2, 3, found);
    EXPECT_EQ(found, 0) << name;
  }
  EXPECT_EQ(LogLines(), Tokens{"No Mendeleev match for ZZ"});
}
