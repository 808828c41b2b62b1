// Peak areas of fitted Gauss, Lorentz and pseudo-Voigt peaks against their analytic integrals and
// scipy's quadrature (tools/gen_area_shapes.py): the width law free or its slope held at 0, one
// answer within 1 %.
#include <gtest/gtest.h>
#include <cmath>
#include <string>
#include <vector>
#include "core/peak_model.h"
#include "core/toolbox.h"
#include "peaks/peak_areas.h"
#include "peaks/peak_model_tools.h"
#include "fitra_setup.h"

namespace {

struct ShapeCase {
  std::string name;
  double eta = 0;
  std::vector<double> y, e, positions, areas;
};

std::vector<ShapeCase> Cases() {
  std::vector<ShapeCase> all;
  for (const Tokens& row : GoldenRows("area_shapes.txt", "peaks")) {
    const std::vector<double> v = Numbers(row);
    if (row[0] == "shape") all.push_back({row[1], v[1], {}, {}, {}, {}});
    if (row[0] == "ch") all.back().y.push_back(v[1]), all.back().e.push_back(v[2]);
    if (row[0] == "area") all.back().positions.push_back(v[0]), all.back().areas.push_back(v[1]);
  }
  return all;
}

class AreaShapesTest : public FitraTest {
protected:
  // Peak model 1 of the case's shape; the start width in the model's unit (the Lorentz's is the
  // half width).
  double FormModel(const ShapeCase& c) {
    TPeakModel& model = *PeakModels[2];
    if (c.name == "lorentz") {
      model.ModelNumber = ModelLorentz;
      model.TabulatePeakModel();
      return 5;
    }
    if (c.name == "pvoigt") {
      // The editor's components of one full width of 20 table points: exp(-u^2) of WG =
      // 10 / sqrt(ln 2) and 1 / (1 + u^2) of WL = 10, heights (1 - eta) and eta.
      TPseudoVoigt v;
      v.AG = 700 * (1 - c.eta), v.AL = 700 * c.eta, v.WG = 10 / std::sqrt(std::log(2.0)), v.WL = 10;
      v.CG = v.CL = PeakModelCentre, v.asymmetry = 0;
      double profile[PeakModelPoints + 1];
      PseudoVoigtProfile(v, profile, nullptr, nullptr);
      model.ModelNumber = ModelPseudoVoigt;
      FormPseudoVoigtModel(model, profile);
    }
    return 10;
  }
  // The two peaks fitted from their marked channels, counts and errors multiplied by `scale`; W1
  // held at 0 or free. The areas, then their errors.
  std::vector<double> FittedAreas(const ShapeCase& c, bool slopeFree, double scale = 1) {
    TSpectrum& sp = Sp();
    for (size_t i = 0; i < c.y.size(); ++i) sp.Y[i + 1] = scale * c.y[i], sp.E[i + 1] = scale * c.e[i];
    sp.FirstChannel = sp.WorkFirst = 1, sp.LastChannel = sp.WorkLast = static_cast<int32_t>(c.y.size());
    sp.W0 = sp.W1 = FormModel(c), sp.BackgroundDegree = 0;
    MainMode = ParameterArrayMode = FitraMode, UsedPeakModelCount = 1, MarkedPointCount = 2;
    for (int32_t i = 1; i <= 2; ++i) MarkedPoints[i] = std::round(c.positions[i - 1]), MarkedPointModels[i] = 1;
    const int32_t n = BuildPeakArray(sp);
    ParameterRecord& slope = parar[WidthW1Record(2, 1)];
    if (!slopeFree) slope.lower = slope.value = slope.upper = 0;
    FitFromArray(n);
    bool vary = false;
    ComputePeakAreas(vary);
    EXPECT_EQ(vary, FitParameters->Records[WidthW1Record(2, 1)].value != 0);
    return {NumberBuffer[1], NumberBuffer[2], NumberBuffer[3], NumberBuffer[4]};
  }
};

}  // namespace

TEST_F(AreaShapesTest, WholeAreaOfEveryShapeWhateverTheWidthLaw) {
  const std::vector<ShapeCase> cases = Cases();
  ASSERT_EQ(cases.size(), 3u);
  for (const ShapeCase& c : cases) {
    const std::vector<double> held = FittedAreas(c, false), free = FittedAreas(c, true);
    for (size_t i = 0; i < 2; ++i) {
      EXPECT_NEAR(held[i], c.areas[i], 0.01 * c.areas[i]) << c.name << " W1 = 0, peak " << i + 1;
      EXPECT_NEAR(free[i], c.areas[i], 0.01 * c.areas[i]) << c.name << " W1 free, peak " << i + 1;
      EXPECT_NEAR(free[i], held[i], 0.002 * c.areas[i]) << c.name << " peak " << i + 1;
    }
  }
}

// Counts and errors multiplied by s (a normalised spectrum, E = sqrt(s Y), 0.35 sqrt(Y) at s =
// 0.1225; or counts per microsecond): the areas and their errors are s times those of the counts
// (errors scale with E); the counting floor sqrt(area) of the counts stays below the propagated
// error, so it takes no part.
TEST_F(AreaShapesTest, AreaErrorsScaleWithTheErrorsOfTheData) {
  for (const ShapeCase& c : Cases()) {
    const std::vector<double> counts = FittedAreas(c, false);
    for (size_t i = 0; i < 2; ++i) ASSERT_GT(counts[2 + i], std::sqrt(counts[i])) << c.name;
    for (double s : {0.1225, 0.01, 8.0}) {
      const std::vector<double> scaled = FittedAreas(c, false, s);
      for (size_t k = 0; k < 4; ++k)
        EXPECT_NEAR(scaled[k] / s, counts[k], 1e-3 * counts[k]) << c.name << " s " << s << (k < 2 ? " area " : " error ") << k % 2 + 1;
    }
  }
}
