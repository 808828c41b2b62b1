// A copy of the model tables and the switches around them, put back when an operation that
// changes them in place cannot finish (a command file that is not read as a whole).
#pragma once
#include <cstddef>
#include <memory>
#include <type_traits>
#include <vector>
#include "core/fit_engine.h"

class ModelSnapshot {
public:
  // Copies the tables, the spectra, the peak models, the working fitter's records and the
  // switches a model reset or a command file changes.
  ModelSnapshot();
  ~ModelSnapshot();
  ModelSnapshot(const ModelSnapshot&) = delete;
  ModelSnapshot& operator=(const ModelSnapshot&) = delete;

  // One more global kept (a table of another library).
  template <class T>
  void Keep(T& global) {
    kept_.push_back(std::make_unique<Held<T>>(global));
  }
  // The records, count and controls of a fitter other than FitParameters, found again at the
  // restore (a fitter made or replaced in between is reached, a fitter gone is passed over).
  using FitterSource = TParameter* (*)();
  void KeepFitter(FitterSource source);
  // Everything copied back.
  void Restore() const;

private:
  struct HeldBase {
    virtual ~HeldBase() = default;
    virtual void Restore() = 0;
  };
  template <class T>
  static void Assign(T& to, const T& from) {
    if constexpr (std::is_array_v<T>) {
      for (size_t i = 0; i < std::extent_v<T>; ++i) Assign(to[i], from[i]);
    } else {
      to = from;
    }
  }
  template <class T>
  struct Held : HeldBase {
    struct Box {
      T value;
    };
    explicit Held(T& g) : global(g), copy(std::make_unique<Box>()) { Assign(copy->value, g); }
    void Restore() override { Assign(global, copy->value); }
    T& global;
    std::unique_ptr<Box> copy;
  };
  struct Spectra;
  struct Fitter {
    FitterSource source;
    std::vector<ParameterRecord> records;
    int32_t count;
    TFitControls controls;
  };
  std::vector<std::unique_ptr<HeldBase>> kept_;
  std::unique_ptr<Spectra> spectra_;
  std::vector<Fitter> fitters_;
};
