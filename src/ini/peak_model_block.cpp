// The block of one peak model in an INI file: the special shapes by their number, every other
// model with its header and its whole tabulated shape.
#include <algorithm>
#include <string>
#include "core/peak_model.h"
#include "ini/ini_reader.h"
#include "ini/ini_writer.h"

void WriteSpecialModelInfo(int32_t i) {
  if (i < 0 || i >= PeakModelCount || !PeakModels[static_cast<size_t>(i + 1)]) return;
  const TPeakModel& model = *PeakModels[static_cast<size_t>(i + 1)];
  const int32_t m = model.ModelNumber;
  // Pseudo-Voigt, Fourier and Step-Function have no special key that rebuilds their shape (the
  // Pseudo-Voigt tabulates empty): they go out as real models, whose block holds the shape.
  const bool special = m >= 1 && m <= 10 && m != ModelPseudoVoigt;
  const bool real = m == ModelReal || m == ModelPseudoVoigt || m == ModelFourier || m == ModelStepFunction;
  const char* kind = special ? "Special " : real ? "Real " : m == ModelDoubleSigned ? "Doublesigned " : "";
  TextFile& f = IniTextFile;
  f.WriteLine(std::string(".......Info for Entering the ") + kind + " Model");
  if (special) {
    f.WriteLine(std::string("* No of model") + " and type");
    f.WriteLine(IniIntField(2, i) + IniIntField(3, m));
    if (m == ModelVoigt || m == ModelConvExp) {
      f.WriteLine("* rvoigt");
      f.WriteLine(IniField(10, 4, SpecialModelRatio));
    }
    return;
  }
  f.WriteLine("* No of model");
  f.WriteLine(IniIntField(2, i));
  std::string line = std::to_string(model.HalfPoints) + " ";
  for (double v : {model.HalfWidth, model.Area, model.FullWidth, model.Centroid}) line += IniExponent(14, 7, v);
  f.WriteLine(line + " 0");
  for (int32_t k = 1; k <= PeakModelPoints; k += 5) {
    line.clear();
    for (int32_t j = k; j <= std::min(k + 4, PeakModelPoints); ++j) line += IniExponent(14, 7, model.Shape[j]);
    f.WriteLine(line);
  }
}
