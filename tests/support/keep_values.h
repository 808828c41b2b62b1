// What a test changes of the session, put back when it ends: values of tables and switches, and
// the spectra.
#pragma once
#include <algorithm>
#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>
#include "core/spectrum.h"

// n values from p, written back when the keeper goes.
template <class T>
struct KeepValues {
  KeepValues(T* p, size_t n) : at(p), copy(p, p + n) {}
  ~KeepValues() { std::copy(copy.begin(), copy.end(), at); }
  KeepValues(const KeepValues&) = delete;
  KeepValues& operator=(const KeepValues&) = delete;
  T* at;
  std::vector<T> copy;
};

// Fresh spectra 0..4 for the life of a test fixture; the session's come back afterwards.
struct FreshSpectra {
  FreshSpectra() {
    for (int32_t s = 0; s <= 4; ++s)
      saved[s] = std::exchange(SpectrumList[s], std::make_unique<TSpectrum>("sp" + std::to_string(s)));
  }
  ~FreshSpectra() {
    for (int32_t s = 0; s <= 4; ++s) SpectrumList[s] = std::move(saved[s]);
  }
  std::unique_ptr<TSpectrum> saved[5];  // not copyable
};
