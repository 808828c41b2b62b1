// Shared by the libFuzzer targets: a scripted backend that answers every dialog and question
// with a default and never blocks, the fuzz input written to a file on a RAM disk, checksums of
// the tables a reader touches, and the checks that stop the run with a report.
#pragma once
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>
#include "core/scripted_ui.h"
#include "core/spectrum.h"

// The scripted steps first; after them every dialog is closed with OK (or Cancel) and every
// question answered Yes (or No), and each default is recorded in the transcript. After 200
// defaults every dialog is cancelled, so that a dialog shown again and again cannot hang the run.
class FuzzUi : public ScriptedUi {
public:
  bool dialogsOk = true;
  bool answerYes = true;
  // Default Yes answers given before every further question is answered No (a question asked in
  // a loop, one layer or one step each, ends the loop).
  int32_t yesLimit = 1000;
  // Questions holding one of these texts are answered No: they offer to go on with a task the
  // user would have to wait for (the answer Yes is the user's choice to wait).
  std::vector<std::string> answerNoTo = {"Too many tries for hkls"};
  void ShowModal(TForm2& form) override;
  bool AskYesNo(const std::string& text, MsgKind kind) override;

private:
  int32_t defaults_ = 0, yesGiven_ = 0;
};

// Called once: a private folder on the RAM disk is made, spectra 0..4, the peak models and the fit parameters are
// created as the session start creates them, and the result
// file is kept in memory.
void FuzzSetUp();
// The private folder becomes the working folder (every file a command names or writes lands
// there). Called by the first input, not at set-up: a libFuzzer parent of parallel jobs writes
// their logs into its working folder.
void FuzzEnterFolder();
// The private folder ("/dev/shm/vkest_fuzz_<pid>", or the temporary folder without /dev/shm).
const std::string& FuzzDir();
// Copies every file of a folder of the test data into FuzzDir(), for commands that name them.
void FuzzCopyData(const std::string& folder);
// Writes bytes to FuzzDir()/name and returns the path.
std::string FuzzFile(const uint8_t* data, size_t size, const std::string& name);
// The result file emptied (it grows with every input otherwise).
void FuzzClearLog();

// The first bytes of the input as options; a missing byte reads 0.
class FuzzBytes {
public:
  FuzzBytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  uint16_t Word() { return static_cast<uint16_t>(Byte() | Byte() << 8); }
  // The next eight bytes as the bits of a double (any, NaN and infinities too).
  double Real() {
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits |= uint64_t{Byte()} << (8 * i);
    double x;
    std::memcpy(&x, &bits, sizeof x);
    return x;
  }
  const uint8_t* Rest() const { return data_ + pos_; }
  size_t RestSize() const { return size_ - pos_; }

private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// FNV-1a over 8-byte words (the tail byte by byte), chained through h.
inline uint64_t Checksum(const void* p, size_t n, uint64_t h = 14695981039346656037ull) {
  const auto* b = static_cast<const unsigned char*>(p);
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    std::memcpy(&w, b + i, 8);
    h = (h ^ w) * 1099511628211ull;
  }
  for (; i < n; ++i) h = (h ^ b[i]) * 1099511628211ull;
  return h;
}
template <class T>
uint64_t ChecksumOf(const T& v, uint64_t h) {
  return Checksum(&v, sizeof v, h);
}
// The channels and the header numbers of a spectrum.
uint64_t SpectrumChecksum(const TSpectrum& sp);

// Spectrum i made afresh in place: the header defaults, Y = 0, E = 1, X = the channel (a new
// allocation for every input would cost more than the read).
TSpectrum& FreshSpectrum(int32_t i);

// Prints the failed invariant and aborts (libFuzzer saves the input as a crash).
[[noreturn]] void FuzzFail(const std::string& what);
inline void FuzzCheck(bool ok, const std::string& what) {
  if (!ok) FuzzFail(what);
}
inline void FuzzCheckFinite(double v, const std::string& what) {
  if (!std::isfinite(v)) FuzzFail(what + " is not finite");
}
// Y, E and X of channels first..last finite.
void CheckSpectrumFinite(const TSpectrum& sp, int32_t first, int32_t last, const std::string& what);

// One input: the backend installed for its lifetime, the result file emptied.
struct FuzzSession {
  FuzzUi ui;
  ScopedUi guard{ui};
  FuzzSession() { FuzzClearLog(); }
};

// The set-up of a target that needs nothing more than FuzzSetUp.
#define VKEST_FUZZ_SET_UP()                               \
  extern "C" int LLVMFuzzerInitialize(int*, char***) {  \
    FuzzSetUp();                                          \
    return 0;                                             \
  }
